// The local dictionary site: packages and the list page served over HTTPS
// with a throw-away certificate authority, sizes from HEAD answers on the
// same address, and the answers the download must survive.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <map>
#include <regex>
#include <thread>

#include "tests/tools/test_util.h"
#include "tools/dictbuilder/dictionary_writer.h"

namespace fs = std::filesystem;

extern char** environ;

namespace {

struct Row {
  std::string FileName, Caption, Size, Words;
};

// Reads the rows of the list page step by step as the dictionary manager
// does: positions count from 1 (0: not found), and each step drops the page
// up to a fixed distance after its closing marker (one byte past the marker
// after the file name).
std::vector<Row> parseListPage(std::string page) {
  std::vector<Row> rows;
  const std::string rowStart = "<TD><a href=\"", nameEnd = "\" name=\"", titleStart = "\">",
                    titleEnd = "</a></TD>", cellStart = "<TD>", cellEnd = "</TD>";
  auto pos = [&](const std::string& marker) -> long {
    const size_t at = page.find(marker);
    return at == std::string::npos ? 0 : static_cast<long>(at) + 1;
  };
  auto copy = [&](long from, long count) {
    if (count <= 0 || from < 1 || from > static_cast<long>(page.size())) return std::string();
    return page.substr(static_cast<size_t>(from - 1), static_cast<size_t>(count));
  };
  auto drop = [&](long count) { page.erase(0, std::min(page.size(), static_cast<size_t>(std::max(0L, count)))); };
  while (pos(rowStart) > 0) {
    Row r;
    long p = pos(rowStart), q = pos(nameEnd);
    r.FileName = copy(p + 13, q - p - 13);
    drop(q + 8);
    p = pos(titleStart), q = pos(titleEnd);
    r.Caption = copy(p + 2, q - p - 2);
    drop(q + 8);
    p = pos(cellStart), q = pos(cellEnd);
    r.Size = copy(p + 4, q - p - 4);
    drop(q + 4);
    p = pos(cellStart), q = pos(cellEnd);
    r.Words = copy(p + 4, q - p - 4);
    drop(q + 4);
    rows.push_back(r);
  }
  return rows;
}

std::string run(const std::string& cmd, int* status = nullptr) {
  FILE* p = popen(cmd.c_str(), "r");
  std::string out;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  const int rc = pclose(p);
  if (status) *status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
  return out;
}

class SiteTest : public ::testing::Test {
protected:
  void SetUp() override {
    if (!fs::exists("/usr/bin/curl") || !fs::exists("/usr/bin/zip") || !fs::exists("/usr/bin/openssl"))
      GTEST_SKIP() << "curl, zip or openssl missing (scripts/deps installs them)";
    fs::create_directories(FDir.Path() / "dicts");
    {
      dictbuilder::DictionaryWriter w(FDir / "dicts/tiny.tamrix");
      for (const char* word : {"one", "two", "три"}) w.AddArticle({word, word});
      dictbuilder::DictionaryProperties p;
      p.FullCaption = "Крошечный словарь & co";
      w.Finish(p);
    }
    const std::string script = std::string(TAMRIX_SOURCE_DIR) + "/tools/site/serve";
    const std::string root = FDir / "site", dicts = FDir / "dicts", ready = FDir / "ready.json";
    std::vector<std::string> args = {script, "--root", root, "--dicts", dicts, "--ready", ready};
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    ASSERT_EQ(posix_spawn(&FPid, script.c_str(), nullptr, nullptr, argv.data(), environ), 0);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!fs::exists(ready) && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_TRUE(fs::exists(ready)) << "the site did not start";
    const std::string info = tooltest::ReadFile(ready);
    std::smatch m;
    ASSERT_TRUE(std::regex_search(info, m, std::regex("\"https_port\": (\\d+)")));
    FHttps = m[1];
    ASSERT_TRUE(std::regex_search(info, m, std::regex("\"ca\": \"([^\"]+)\"")));
    FCa = m[1];
  }

  void TearDown() override {
    if (FPid <= 0) return;
    kill(FPid, SIGTERM);
    int status = 0;
    waitpid(FPid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the site did not stop cleanly";
  }

  std::string curl(const std::string& args, int* status = nullptr) {
    return run("/usr/bin/curl -sS --max-time 20 " + args + " 2>&1", status);
  }

  tooltest::TempDir FDir;
  pid_t FPid = 0;
  std::string FHttps, FCa;
};

}  // namespace

TEST_F(SiteTest, ServesTheListPageAndPackagesOverHttps) {
  int status = -1;
  const std::string page =
      curl("--cacert '" + FCa + "' https://127.0.0.1:" + FHttps + "/download/", &status);
  ASSERT_EQ(status, 0) << page;
  const auto rows = parseListPage(page);
  ASSERT_EQ(rows.size(), 1u) << page;
  EXPECT_EQ(rows[0].FileName, "tiny.zip");
  EXPECT_EQ(rows[0].Caption, "Крошечный словарь & co");  // taken as it stands, no entities
  EXPECT_EQ(rows[0].Words, "3");
  EXPECT_NE(rows[0].Size.find("КБ"), std::string::npos);

  // The package holds the dictionary at the archive's top level.
  const std::string zip = FDir / "got.zip";
  curl("--cacert '" + FCa + "' -o '" + zip + "' https://localhost:" + FHttps + "/download/tiny.zip", &status);
  ASSERT_EQ(status, 0);
  const std::string listing = run("/usr/bin/unzip -Z1 '" + zip + "'");
  EXPECT_EQ(listing, "tiny.tamrix\n");
  run("/usr/bin/unzip -q -o '" + zip + "' -d '" + (FDir / "out") + "'");
  EXPECT_EQ(tooltest::ReadFile(FDir / "out/tiny.tamrix"), tooltest::ReadFile(FDir / "dicts/tiny.tamrix"));

  // The size comes from a HEAD request to the same address.
  const std::string head =
      curl("-I --cacert '" + FCa + "' https://127.0.0.1:" + FHttps + "/download/tiny.zip", &status);
  ASSERT_EQ(status, 0) << head;
  EXPECT_NE(head.find("Content-Length: " + std::to_string(fs::file_size(zip))), std::string::npos) << head;

  // A missing package is a real error, not an empty success.
  curl("--fail --cacert '" + FCa + "' -o /dev/null https://127.0.0.1:" + FHttps + "/download/none.zip", &status);
  EXPECT_EQ(status, 22);
}

TEST_F(SiteTest, CertificateIsTrustedOnlyThroughItsAuthority) {
  int status = -1;
  curl("-o /dev/null https://127.0.0.1:" + FHttps + "/download/", &status);
  EXPECT_EQ(status, 60);  // peer certificate cannot be authenticated
  curl("--cacert '" + FCa + "' -o /dev/null https://127.0.0.1:" + FHttps + "/download/", &status);
  EXPECT_EQ(status, 0);
}

TEST_F(SiteTest, AnIdleClientDoesNotStallOthers) {
  // A client that connects to the HTTPS port and sends nothing.
  const int idle = socket(AF_INET, SOCK_STREAM, 0);
  ASSERT_GE(idle, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(std::stoi(FHttps)));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(connect(idle, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  int status = -1;
  const std::string page =
      curl("--max-time 5 --cacert '" + FCa + "' https://127.0.0.1:" + FHttps + "/download/", &status);
  EXPECT_EQ(status, 0) << page;
  EXPECT_EQ(parseListPage(page).size(), 1u);
  // Plain HTTP to the HTTPS port fails for that client alone.
  curl("--max-time 5 -o /dev/null http://127.0.0.1:" + FHttps + "/download/", &status);
  EXPECT_NE(status, 0);
  curl("--max-time 5 --cacert '" + FCa + "' -o /dev/null https://127.0.0.1:" + FHttps + "/download/", &status);
  EXPECT_EQ(status, 0);
  close(idle);
}

TEST(SiteList, OddFileNamesAndMissingCaptions) {
  if (!fs::exists("/usr/bin/zip")) GTEST_SKIP() << "zip missing (scripts/deps installs it)";
  tooltest::TempDir dir;
  fs::create_directories(dir.Path() / "dicts");
  // "%", "?" and "#" in a file name must not be read as parts of a URI.
  for (const char* name : {"a%20b", "what?", "no#1"}) {
    dictbuilder::DictionaryWriter w(dir / (std::string("dicts/") + name + ".tamrix"));
    w.AddArticle({"word", "text"});
    dictbuilder::DictionaryProperties p;
    p.FullCaption = std::string("Словарь ") + name;
    w.Finish(p);
  }
  {
    // A dictionary made elsewhere, with no caption and no headword count.
    tooltest::WriteFile(dir / "dicts/bare.tamrix", "");
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open((dir / "dicts/bare.tamrix").c_str(), &db), SQLITE_OK);
    sqlite3_exec(db,
                 "CREATE TABLE properties(author, full_caption, description, words_count);"
                 "INSERT INTO properties VALUES('a', NULL, 'd', NULL);",
                 nullptr, nullptr, nullptr);
    sqlite3_close(db);
  }
  int status = -1;
  run("'" + std::string(TAMRIX_SOURCE_DIR) + "/tools/site/serve' --root '" + (dir / "site") + "' --dicts '" +
          (dir / "dicts") + "' --generate-only",
      &status);
  ASSERT_EQ(status, 0);
  const auto rows = parseListPage(tooltest::ReadFile(dir / "site/download/index.html"));
  ASSERT_EQ(rows.size(), 4u);
  std::map<std::string, Row> byFile;
  for (const auto& r : rows) byFile[r.FileName] = r;
  EXPECT_EQ(byFile["a%20b.zip"].Caption, "Словарь a%20b");
  EXPECT_EQ(byFile["a%20b.zip"].Words, "1");
  EXPECT_EQ(byFile["what?.zip"].Caption, "Словарь what?");
  EXPECT_EQ(byFile["no#1.zip"].Caption, "Словарь no#1");
  EXPECT_EQ(byFile["bare.zip"].Caption, "bare");
  EXPECT_EQ(byFile["bare.zip"].Words, "");
}
