// Extracting 200 MB archives (one large entry, 20,000 small entries,
// stored entries) and listing a 100,000-entry archive with the component
// as the dictionary manager uses it, beside Debian's unzip on the same
// files in the same run; names made to collide beside random names of the
// same count and length; then the component's inflater beside zlib.
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench/common/best_time.h"
#include "bench/common/limit.h"
#include "tests/zip/colliding_names.h"
#include "platform/core/files.h"
#include "platform/core/strings.h"
#include "zip/zip_archiver.h"
#include "zip/zip_inflate.h"

namespace fs = std::filesystem;

namespace {

void put16(std::string& s, unsigned v) {
  s += char(v & 0xFF);
  s += char((v >> 8) & 0xFF);
}
void put32(std::string& s, uint32_t v) {
  put16(s, v & 0xFFFF);
  put16(s, v >> 16);
}
void put64(std::string& s, uint64_t v) {
  put32(s, uint32_t(v));
  put32(s, uint32_t(v >> 32));
}

std::string deflateRaw(const std::string& data, int level) {
  z_stream zs{};
  deflateInit2(&zs, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
  std::string out(deflateBound(&zs, uLong(data.size())) + 16, '\0');
  zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  zs.avail_in = uInt(data.size());
  zs.next_out = reinterpret_cast<Bytef*>(out.data());
  zs.avail_out = uInt(out.size());
  deflate(&zs, Z_FINISH);
  out.resize(zs.total_out);
  deflateEnd(&zs);
  return out;
}

// Dictionary-like text: words and markup, compressing about 3:1.
std::string text(size_t n, uint32_t seed) {
  static const char* words[] = {"слово", "word", "<b>", "</b>", "перевод", "translation", "\n", "the", "и", "of"};
  std::string s;
  s.reserve(n + 32);
  uint32_t x = seed * 2654435761u + 7;
  while (s.size() < n) {
    x = x * 1103515245u + 12345u;
    s += words[(x >> 16) % 10];
    s += char('a' + (x >> 8) % 26);
    s += ' ';
  }
  s.resize(n);
  return s;
}

// Writes an archive entry by entry without holding it in memory.
class Writer {
public:
  explicit Writer(const std::string& path) : FOut(path, std::ios::binary) {}
  void add(const std::string& name, const std::string& data, bool stored) {
    std::string packed = stored ? data : deflateRaw(data, 6);
    uint32_t crc = uint32_t(crc32(0, reinterpret_cast<const Bytef*>(data.data()), uInt(data.size())));
    std::string h;
    put32(h, 0x04034B50);
    put16(h, 20);
    put16(h, 0);
    put16(h, stored ? 0 : 8);
    put32(h, 0x5A8E6000);
    put32(h, crc);
    put32(h, uint32_t(packed.size()));
    put32(h, uint32_t(data.size()));
    put16(h, unsigned(name.size()));
    put16(h, 0);
    h += name;
    put32(FCentral, 0x02014B50);
    put16(FCentral, 0x031E);
    put16(FCentral, 20);
    put16(FCentral, 0);
    put16(FCentral, stored ? 0 : 8);
    put32(FCentral, 0x5A8E6000);
    put32(FCentral, crc);
    put32(FCentral, uint32_t(packed.size()));
    put32(FCentral, uint32_t(data.size()));
    put16(FCentral, unsigned(name.size()));
    put32(FCentral, 0);
    put32(FCentral, 0);
    put32(FCentral, 0100644u << 16);
    put32(FCentral, uint32_t(FOffset));
    FCentral += name;
    FOut << h << packed;
    FOffset += h.size() + packed.size();
    ++FCount;
  }
  void finish() {
    std::string e;
    bool z64 = FCount >= 0xFFFF;
    if (z64) {
      // More entries than the end record counts: zip64 end records.
      uint64_t at = FOffset + FCentral.size();
      put32(e, 0x06064B50);
      put64(e, 44);
      put16(e, 45);
      put16(e, 45);
      put32(e, 0);
      put32(e, 0);
      put64(e, FCount);
      put64(e, FCount);
      put64(e, FCentral.size());
      put64(e, FOffset);
      put32(e, 0x07064B50);
      put32(e, 0);
      put64(e, at);
      put32(e, 1);
    }
    put32(e, 0x06054B50);
    put32(e, 0);
    put16(e, z64 ? 0xFFFF : unsigned(FCount));
    put16(e, z64 ? 0xFFFF : unsigned(FCount));
    put32(e, uint32_t(FCentral.size()));
    put32(e, uint32_t(FOffset));
    put16(e, 0);
    FOut << FCentral << e;
  }

private:
  std::ofstream FOut;
  std::string FCentral;
  uint64_t FOffset = 0;
  size_t FCount = 0;
};

int extractWithComponent(const std::string& archive, const std::string& dest) {
  TZipArchiver zip(nullptr);
  zip.SetUnattended(true);
  int lastPerCent = 0;
  zip.OnProgress = [&](TObject*, TZAProgressDetails& d) { lastPerCent = d.ItemPerCent(); };
  zip.SetActive(true);
  zip.SetDLLDirectory(UTF8ToUTF16(TAMRIX_ZIPLIB_DIR));
  zip.SetDLL_Load(true);
  zip.SetZipFileName(UTF8ToUTF16(archive));
  zip.FSpecArgs()->Clear();
  zip.SetExtrBaseDir(UTF8ToUTF16(dest));
  zip.SetExtrOptions(TZAExtrOpts{ExtrDirNames, ExtrOverWrite});
  return zip.Extract();
}

void compare(const char* what, const std::string& archive, const std::string& work) {
  std::string mine = work + "/mine", theirs = work + "/unzip";
  fs::create_directories(mine);
  fs::create_directories(theirs);
  int failures = 0;
  double t = bestSeconds(3, [&] { failures += extractWithComponent(archive, mine + "/") != 0; });
  std::string cmd = "unzip -qo '" + archive + "' -d '" + theirs + "'";
  double u = bestSeconds(3, [&] { failures += std::system(cmd.c_str()) != 0; });
  std::printf("%-34s tamrix %7.3f s   unzip %7.3f s   ratio %.2f%s\n", what, t, u, t / u,
              failures ? "   (FAILURES)" : "");
  fs::remove_all(mine);
  fs::remove_all(theirs);
}

struct ChildRun {
  double seconds = 0;
  long maxRssKb = 0;
  bool ok = false;
};

// Runs work in a child process and reports its time and peak memory.
template <typename F>
ChildRun inChild(F work) {
  auto start = std::chrono::steady_clock::now();
  pid_t pid = ::fork();
  if (pid == 0) ::_exit(work() ? 0 : 1);
  int status = 0;
  rusage ru{};
  ::wait4(pid, &status, 0, &ru);
  ChildRun r;
  r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  r.maxRssKb = ru.ru_maxrss;
  r.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  return r;
}

ChildRun unzipInChild(const std::vector<std::string>& args) {
  return inChild([&] {
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    int devnull = ::open("/dev/null", O_WRONLY);
    ::dup2(devnull, 1);
    ::execvp(argv[0], argv.data());
    return false;
  });
}

// Extraction and listing of an archive of very many tiny entries: time and
// the memory each entry costs, beside unzip.
void manyEntries(const std::string& work, size_t entries) {
  std::string many = work + "/huge.zip", one = work + "/one.zip";
  {
    Writer w(many);
    for (size_t i = 0; i < entries; ++i) w.add("e" + std::to_string(i % 1000) + "/" + std::to_string(i) + ".txt", "x", true);
    w.finish();
    Writer o(one);
    o.add("e/0.txt", "x", true);
    o.finish();
  }
  auto extractIn = [&](const std::string& archive, const std::string& dest) {
    fs::create_directories(dest);
    return inChild([&] { return extractWithComponent(archive, dest + "/") == 0; });
  };
  ChildRun base = extractIn(one, work + "/base");
  ChildRun mine = extractIn(many, work + "/mine");
  fs::remove_all(work + "/mine");
  fs::create_directories(work + "/ubase");
  fs::create_directories(work + "/unzip");
  ChildRun ubase = unzipInChild({"unzip", "-qo", one, "-d", work + "/ubase"});
  ChildRun theirs = unzipInChild({"unzip", "-qo", many, "-d", work + "/unzip"});
  fs::remove_all(work + "/unzip");
  auto perEntry = [&](const ChildRun& r, const ChildRun& b) {
    return double(r.maxRssKb - b.maxRssKb) * 1024.0 / double(entries);
  };
  std::printf("%-34s tamrix %7.3f s   unzip %7.3f s   ratio %.2f   memory per entry: tamrix %.0f B, unzip %.0f B%s\n",
              ("extract " + std::to_string(entries) + " entries").c_str(), mine.seconds, theirs.seconds,
              mine.seconds / theirs.seconds, perEntry(mine, base), perEntry(theirs, ubase),
              mine.ok && theirs.ok ? "" : "   (FAILURES)");
  ChildRun list = inChild([&] {
    TZipArchiver zip(nullptr);
    zip.SetUnattended(true);
    zip.SetActive(true);
    zip.SetZipFileName(UTF8ToUTF16(many));
    return size_t(zip.Count()) == entries;
  });
  ChildRun ulist = unzipInChild({"unzip", "-l", many});
  ChildRun unames = unzipInChild({"unzip", "-Z1", many});
  std::printf("%-34s tamrix %7.3f s   unzip -l %7.3f s   ratio %.2f   unzip -Z1 (names only) %7.3f s   ratio %.2f%s\n",
              ("list " + std::to_string(entries) + " entries (cold)").c_str(), list.seconds, ulist.seconds,
              list.seconds / ulist.seconds, unames.seconds, list.seconds / unames.seconds,
              list.ok ? "" : "   (FAILURES)");
  fs::remove(many);
}

// ---- names made to collide --------------------------------------------------------------------

// What a series of rounds made of one work: its best time, or why there is
// none. A work the child was still at when the limit came is over the
// limit; one it never started, or that never ended a round, is not
// measured.
struct Measured {
  enum Kind { Best, OverLimit, Failed, NotMeasured } State = NotMeasured;
  double Seconds = 0;  // the best time, or how long the unfinished run took
};

// The best times of reps rounds of the works (each its own measure of the
// work, in seconds; negative on failure), taken in turn in every round so
// that the machine's load weighs on all alike, in one child process that
// is stopped after limit seconds a round. The child reports each run as it
// ends, so a stop or a failure costs only the works it reached.
std::vector<Measured> bestInChild(double limit, int reps, const std::vector<std::function<double()>>& works) {
  const size_t n = works.size();
  std::vector<Measured> best(n);
  int fds[2];
  if (n == 0 || ::pipe(fds) != 0) return best;
  using Clock = std::chrono::steady_clock;
  const Clock::time_point start = Clock::now();
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::close(fds[0]);
    for (int i = 0; i < reps; ++i)
      for (size_t w = 0; w < n; ++w) {
        const double t = works[w]();
        if (::write(fds[1], &t, sizeof t) != ssize_t(sizeof t) || t < 0) ::_exit(1);
      }
    ::_exit(0);
  }
  ::close(fds[1]);
  if (pid < 0) {
    ::close(fds[0]);
    return best;
  }
  ::fcntl(fds[0], F_SETFL, O_NONBLOCK);
  // Runs are reported in the order they run: the k-th report is work k % n.
  size_t reported = 0;
  Clock::time_point runStart = start;
  bool killed = false;
  auto seconds = [](Clock::time_point from) { return std::chrono::duration<double>(Clock::now() - from).count(); };
  for (bool ended = false; !ended;) {
    ended = ::waitpid(pid, nullptr, WNOHANG) == pid;
    double t;
    while (::read(fds[0], &t, sizeof t) == ssize_t(sizeof t)) {
      Measured& m = best[reported++ % n];
      runStart = Clock::now();
      if (t < 0) m.State = Measured::Failed;
      else if (m.State != Measured::Best || t < m.Seconds) m = {Measured::Best, t};
    }
    if (!ended && seconds(start) > limit * reps) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, nullptr, 0);
      killed = true;
      ended = true;
    }
    if (!ended) ::usleep(2000);
  }
  ::close(fds[0]);
  // The run the child was at when it was stopped: over the limit unless an
  // earlier round measured it.
  if (killed && reported < n * size_t(reps)) {
    Measured& m = best[reported % n];
    if (m.State == Measured::NotMeasured) m = {Measured::OverLimit, seconds(runStart)};
  }
  return best;
}

// A run stopped at the limit is marked past it (limit: seconds a run).
std::string shown(const Measured& m, double limit) {
  char buf[96];
  switch (m.State) {
    case Measured::Best: std::snprintf(buf, sizeof buf, "%7.3f s", m.Seconds); break;
    case Measured::OverLimit:
      std::snprintf(buf, sizeof buf, ">%5.0f s, stopped (%s)", m.Seconds,
                    limitStated(limit, "s", true).c_str());
      break;
    case Measured::Failed: return "FAILED";
    case Measured::NotMeasured: return "not measured";
  }
  return buf;
}

// The ratio of two measured times, or nothing when either is not one.
std::string ratio(const Measured& a, const Measured& b) {
  if (a.State != Measured::Best || b.State != Measured::Best || b.Seconds <= 0) return "";
  char buf[32];
  std::snprintf(buf, sizeof buf, "   ratio %.2f", a.Seconds / b.Seconds);
  return buf;
}

// Listing (the directory read into the component, warm cache; best of 7)
// and extracting (listing, then every file written into an empty folder;
// best of 3, one run of the large archives) count names made to collide,
// beside count random names of the same lengths and folders. Each series
// of one archive runs in a child process of its own, stopped after limit
// seconds a round, so that neither archive's figure holds any of the
// other's work; every extraction writes into a fresh folder, and the
// folders are removed once the series has ended, outside any figure.
void collidingEntries(const std::string& work, size_t count, double limit) {
  std::vector<std::string> chosen = colliding::collidingNames(count), random = colliding::randomNames(chosen);
  std::string chosenZip = work + "/colliding.zip", randomZip = work + "/random.zip";
  for (auto [names, path] : {std::pair{&chosen, chosenZip}, std::pair{&random, randomZip}}) {
    Writer w(path);
    for (const std::string& n : *names) w.add(n, "x", true);
    w.finish();
  }
  using Clock = std::chrono::steady_clock;
  auto since = [](Clock::time_point t) { return std::chrono::duration<double>(Clock::now() - t).count(); };
  auto list = [&](const std::string& archive) {
    return [&, archive] {
      auto t = Clock::now();
      TZipArchiver zip(nullptr);
      zip.SetUnattended(true);
      zip.SetActive(true);
      zip.SetZipFileName(UTF8ToUTF16(archive));
      return size_t(zip.Count()) == count ? since(t) : -1.0;
    };
  };
  const std::string dest = work + "/out";
  auto extract = [&](const std::string& archive) {
    return [&, archive, round = 0]() mutable {
      const std::string into = dest + "/" + std::to_string(round++) + "/";
      fs::create_directories(into);
      auto t = Clock::now();
      return extractWithComponent(archive, into) == 0 ? since(t) : -1.0;
    };
  };
  auto alone = [&](int reps, auto work, const std::string& archive) {
    fs::remove_all(dest);
    const Measured m = bestInChild(limit, reps, {work(archive)})[0];
    fs::remove_all(dest);
    return m;
  };
  const std::string n = std::to_string(count);
  Measured l[] = {alone(7, list, chosenZip), alone(7, list, randomZip)};
  std::printf("%-34s colliding %s   random %s%s\n", ("list " + n + " colliding names").c_str(), shown(l[0], limit).c_str(),
              shown(l[1], limit).c_str(), ratio(l[0], l[1]).c_str());
  const int reps = count > 50000 ? 1 : 3;
  Measured e[] = {alone(reps, extract, chosenZip), alone(reps, extract, randomZip)};
  std::printf("%-34s colliding %s   random %s%s\n", ("extract " + n + " colliding names").c_str(),
              shown(e[0], limit).c_str(), shown(e[1], limit).c_str(), ratio(e[0], e[1]).c_str());
  fs::remove(chosenZip);
  fs::remove(randomZip);
}

}  // namespace

int main(int argc, char** argv) {
  // Each figure shows as soon as it is measured, also into a file.
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  if (argc > 2 && std::string(argv[1]) == "entries") {
    // bench_zip entries N: only the many-entries figures.
    std::string work = UTF16ToUTF8(CreateTempFolder(u"tamrix-bench-zip-"));
    manyEntries(work, size_t(std::atol(argv[2])));
    fs::remove_all(work);
    return 0;
  }
  if (argc > 1 && std::string(argv[1]) == "colliding") {
    // bench_zip colliding [limit seconds]: only the colliding-names figures.
    std::string work = UTF16ToUTF8(CreateTempFolder(u"tamrix-bench-zip-"));
    double limit = argc > 2 ? std::atof(argv[2]) : 120;
    collidingEntries(work, 8192, limit);
    collidingEntries(work, 200000, limit);
    fs::remove_all(work);
    return 0;
  }
  // bench_zip files [megabytes]: only the archive files and the inflater.
  const bool filesOnly = argc > 1 && std::string(argv[1]) == "files";
  if (filesOnly) {
    --argc;
    ++argv;
  }
  size_t mb = argc > 1 ? size_t(std::atoi(argv[1])) : 200;
  std::string work = UTF16ToUTF8(CreateTempFolder(u"tamrix-bench-zip-"));
  if (!work.empty() && work.back() == '/') work.pop_back();
  std::printf("zip benchmark: %zu MB archives in %s\n", mb, work.c_str());

  {
    Writer w(work + "/large.zip");
    std::string data = text(mb << 20, 1);
    w.add("large.tamrix", data, false);
    w.finish();
  }
  {
    Writer w(work + "/small.zip");
    size_t each = (mb << 20) / 20000;
    for (int i = 0; i < 20000; ++i)
      w.add("d" + std::to_string(i % 100) + "/f" + std::to_string(i) + ".txt", text(each, uint32_t(i)), false);
    w.finish();
  }
  {
    Writer w(work + "/stored.zip");
    for (int i = 0; i < 20; ++i) w.add("s" + std::to_string(i) + ".bin", text((mb << 20) / 20, uint32_t(i)), true);
    w.finish();
  }
  {
    Writer w(work + "/many.zip");
    for (int i = 0; i < 100000; ++i) w.add("e/" + std::to_string(i) + ".txt", "x", true);
    w.finish();
  }

  compare("extract one large entry", work + "/large.zip", work);
  compare("extract 20,000 small entries", work + "/small.zip", work);
  compare("extract stored entries", work + "/stored.zip", work);

  std::string many = work + "/many.zip";
  int count = 0;
  double list = bestSeconds(3, [&] {
    TZipArchiver zip(nullptr);
    zip.SetUnattended(true);
    zip.SetActive(true);
    zip.SetZipFileName(UTF8ToUTF16(many));
    count = zip.Count();
  });
  std::string cmd = "unzip -l '" + many + "' > /dev/null";
  double ulist = bestSeconds(3, [&] { (void)std::system(cmd.c_str()); });
  std::printf("%-34s tamrix %7.3f s   unzip %7.3f s   ratio %.2f   (%d entries)\n", "list 100,000 entries", list, ulist,
              list / ulist, count);

  if (!filesOnly) {
    manyEntries(work, argc > 2 ? size_t(std::atol(argv[2])) : 1000000);
    collidingEntries(work, 8192, 120);
    collidingEntries(work, 200000, 120);
  }

  // The resource inflater beside zlib on the same raw deflate stream.
  std::string data = text(64 << 20, 9);
  std::string packed = deflateRaw(data, 6);
  uint32_t crc = uint32_t(crc32(0, reinterpret_cast<const Bytef*>(data.data()), uInt(data.size())));
  int bad = 0;
  double mine = bestSeconds(3, [&] {
    TMemoryStream src;
    src.WriteBuffer(packed.data(), int64_t(packed.size()));
    src.SetPosition(0);
    TZAInflate inf(nullptr, &src);
    uint32_t c = crc;
    bad += inf.Unpack(8, c, packed.size()) != 0;
  });
  double theirs = bestSeconds(3, [&] {
    z_stream zs{};
    inflateInit2(&zs, -15);
    std::vector<char> out(1 << 16);
    zs.next_in = reinterpret_cast<Bytef*>(packed.data());
    zs.avail_in = uInt(packed.size());
    uLong c = crc32(0, nullptr, 0);
    int r;
    do {
      zs.next_out = reinterpret_cast<Bytef*>(out.data());
      zs.avail_out = uInt(out.size());
      r = inflate(&zs, Z_NO_FLUSH);
      c = crc32(c, reinterpret_cast<Bytef*>(out.data()), uInt(out.size() - zs.avail_out));
    } while (r == Z_OK);
    inflateEnd(&zs);
    bad += c != crc;
  });
  std::printf("%-34s tamrix %7.3f s   zlib  %7.3f s   ratio %.2f%s\n", "inflate 64 MB (resource inflater)", mine, theirs,
              mine / theirs, bad ? "   (FAILURES)" : "");
  fs::remove_all(work);
  return 0;
}
