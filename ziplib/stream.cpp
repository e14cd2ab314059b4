// Packing and unpacking one stream into another. The streams belong to the
// component: every byte is read, written and positioned through its stream
// callback, so the library never sees what kind of stream it works on.
#include "ziplib/stream.h"

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include <zlib.h>

#include "ziplib/archive.h"
#include "ziplib/callbacks.h"

namespace ziplib {

namespace {

constexpr size_t kChunk = 256 * 1024;

class StreamJob : private Reporter {
public:
  StreamJob(ZLCommand* cmd, ZLStreamRec* rec, std::atomic<bool>& abortFlag)
      : Reporter(cmd, abortFlag), FRec(rec), FIn(kChunk), FOut(kChunk) {}

  int32_t run(uint32_t abortHandle);

private:
  // ---- the component's streams
  int32_t request(int what, void* stream, void* buffer, int32_t count, int64_t position, ZLStreamRec* answer) {
    ZLStreamRec r{};
    r.Caller = FCmd->Caller;
    r.Stream = stream;
    r.Request = what;
    r.Buffer = buffer;
    r.Count = count;
    r.Position = position;
    r.Check = ZL_STREAM_CHECK;
    int32_t result = FCmd->StreamCallback ? FCmd->StreamCallback(&r) : 0;
    if (answer) *answer = r;
    return result;
  }
  // Bytes read (0 at the end of the source), -1 on failure.
  int64_t readSource(size_t want) {
    ZLStreamRec r{};
    if (request(ZL_SR_READ, FRec->Stream, FIn.data(), int32_t(want), 0, &r) != 1 || r.Count < 0 ||
        size_t(r.Count) > want)
      return -1;
    return r.Count;
  }
  bool writeDest(const char* data, size_t n) {
    if (n == 0) return true;
    if (request(ZL_SR_WRITE, FRec->Buffer, const_cast<char*>(data), int32_t(n), 0, nullptr) != 1) {
      fail(ZL_ERR_WRITE, "cannot write the destination stream");
      return false;
    }
    FWritten += n;
    return true;
  }
  // How much of the source to ask for next: never past the declared size.
  size_t nextRead() const {
    if (FSize < 0) return kChunk;
    return size_t(std::min<uint64_t>(kChunk, uint64_t(FSize) - FTaken));
  }
  bool progress(size_t n) {
    call(ZL_CB_PROGRESS, nullptr, int64_t(n), int64_t(FWritten));
    return !stopped();
  }
  int32_t fail(int number, const std::string& text) {
    if (!FStop) message(number, text);
    if (!FFailure) FFailure = number;
    return -number;
  }
  int32_t result() { return FStop ? -FStop : FFailure ? -FFailure : 1; }

  int32_t pack(int level);
  int32_t store();
  int32_t unpackStored();
  int32_t inflateData();
  bool checkCrc();

  ZLStreamRec* FRec;
  std::vector<char> FIn, FOut;
  int64_t FSize = -1;       // uncompressed bytes, negative when not known
  uint64_t FTaken = 0;      // uncompressed bytes seen so far
  uint64_t FWritten = 0;
  uint32_t FCrc = 0;
  int FFailure = 0;
};

int32_t StreamJob::store() {
  for (;;) {
    size_t want = nextRead();
    if (want == 0) break;
    int64_t got = readSource(want);
    if (got < 0) return fail(ZL_ERR_READ, "cannot read the source stream");
    if (got == 0) break;
    FCrc = crc32Of(FIn.data(), size_t(got), FCrc);
    FTaken += uint64_t(got);
    if (!writeDest(FIn.data(), size_t(got)) || !progress(size_t(got))) return result();
  }
  if (FSize >= 0 && FTaken != uint64_t(FSize)) return fail(ZL_ERR_UNEXPECTED_END, "the source stream ends early");
  return 1;
}

int32_t StreamJob::pack(int level) {
  // Nothing to pack is stored: an empty deflate stream would only add bytes.
  int64_t first = readSource(nextRead());
  if (first < 0) return fail(ZL_ERR_READ, "cannot read the source stream");
  if (first == 0) {
    FRec->Number = 0;
    if (FSize > 0) return fail(ZL_ERR_UNEXPECTED_END, "the source stream ends early");
    return 1;
  }
  z_stream zs{};
  if (deflateInit2(&zs, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK)
    return fail(ZL_ERR_NOMEMORY, "cannot start deflating");
  std::unique_ptr<z_stream, int (*)(z_stream*)> end(&zs, deflateEnd);
  int64_t got = first;
  for (;;) {
    bool last = got == 0 || (FSize >= 0 && FTaken + uint64_t(got) == uint64_t(FSize));
    FCrc = crc32Of(FIn.data(), size_t(got), FCrc);
    FTaken += uint64_t(got);
    zs.next_in = reinterpret_cast<Bytef*>(FIn.data());
    zs.avail_in = uInt(got);
    int r;
    do {
      zs.next_out = reinterpret_cast<Bytef*>(FOut.data());
      zs.avail_out = uInt(FOut.size());
      r = deflate(&zs, last ? Z_FINISH : Z_NO_FLUSH);
      if (r == Z_STREAM_ERROR) return fail(ZL_ERR_FATAL, "deflate failed");
      if (!writeDest(FOut.data(), FOut.size() - zs.avail_out)) return result();
    } while (zs.avail_out == 0 || (last && r != Z_STREAM_END));
    if (!progress(size_t(got))) return result();
    if (last) break;
    got = readSource(nextRead());
    if (got < 0) return fail(ZL_ERR_READ, "cannot read the source stream");
  }
  if (FSize >= 0 && FTaken != uint64_t(FSize)) return fail(ZL_ERR_UNEXPECTED_END, "the source stream ends early");
  return 1;
}

bool StreamJob::checkCrc() {
  if (FCrc == FRec->DosDate) return true;
  // The component may insist on keeping the data (its CRC event).
  if (call(ZL_CB_CRCERROR, "", 0, 0, int32_t(FCrc), int32_t(FRec->DosDate)) == 1) return true;
  fail(ZL_ERR_GENERIC, "CRC error");
  return false;
}

int32_t StreamJob::unpackStored() {
  int32_t r = store();
  if (r != 1) return r;
  return checkCrc() ? 1 : result();
}

int32_t StreamJob::inflateData() {
  z_stream zs{};
  if (inflateInit2(&zs, -15) != Z_OK) return fail(ZL_ERR_NOMEMORY, "cannot start inflating");
  std::unique_ptr<z_stream, int (*)(z_stream*)> end(&zs, inflateEnd);
  bool done = false;
  while (!done) {
    int64_t got = readSource(kChunk);
    if (got < 0) return fail(ZL_ERR_READ, "cannot read the source stream");
    if (got == 0) return fail(ZL_ERR_UNEXPECTED_END, "compressed data ends early");
    zs.next_in = reinterpret_cast<Bytef*>(FIn.data());
    zs.avail_in = uInt(got);
    do {
      zs.next_out = reinterpret_cast<Bytef*>(FOut.data());
      zs.avail_out = uInt(FOut.size());
      int r = inflate(&zs, Z_NO_FLUSH);
      if (r == Z_STREAM_END) done = true;
      else if (r != Z_OK && r != Z_BUF_ERROR)
        return fail(ZL_ERR_STRUCTURE, std::string("corrupt compressed data") + (zs.msg ? std::string(" (") + zs.msg + ")" : ""));
      size_t n = FOut.size() - zs.avail_out;
      // Never more than the caller declared: a small claim cannot fill the
      // destination with a huge one.
      if (FSize >= 0 && n > uint64_t(FSize) - FTaken) return fail(ZL_ERR_STRUCTURE, "data inflates beyond its declared size");
      FCrc = crc32Of(FOut.data(), n, FCrc);
      FTaken += n;
      if (!writeDest(FOut.data(), n) || !progress(n)) return result();
      if (r == Z_BUF_ERROR && n == 0) break;
      // A full output buffer may leave output behind in zlib.
    } while (!done && (zs.avail_in > 0 || zs.avail_out == 0));
  }
  // Leave the source just behind the compressed data.
  if (zs.avail_in > 0 && request(ZL_SR_SEEK, FRec->Stream, nullptr, 1, -int64_t(zs.avail_in), nullptr) != 1)
    return fail(ZL_ERR_SEEK, "cannot position the source stream");
  if (FSize >= 0 && FTaken != uint64_t(FSize)) return fail(ZL_ERR_STRUCTURE, "data is shorter than its declared size");
  return checkCrc() ? 1 : result();
}

int32_t StreamJob::run(uint32_t abortHandle) {
  call(ZL_CB_ABORTHANDLE, nullptr, 0, 0, int32_t(abortHandle));
  if (stopped()) return -FStop;
  if (!FRec->Stream) return fail(ZL_ERR_BAD_OPTIONS, "no source stream");
  if (!FRec->Buffer) return fail(ZL_ERR_BAD_OPTIONS, "no destination stream");
  if (FCmd->Options & ZL_OPT_ENCRYPT) return fail(ZL_ERR_BAD_OPTIONS, "encryption not supported");
  int method = FRec->Number;
  if (method != 0 && method != 8) return fail(ZL_ERR_BAD_OPTIONS, "unsupported method " + std::to_string(method));
  FSize = FRec->Position;
  const bool unpack = (FCmd->Options & ZL_OPT_EXTRACT) != 0;
  int32_t r;
  if (unpack) {
    r = method == 8 ? inflateData() : unpackStored();
  } else {
    int level = std::clamp(FCmd->AddCompLevel, 0, 9);
    if (method == 8 && level > 0) {
      r = pack(level);
    } else {
      FRec->Number = 0;
      r = store();
    }
  }
  if (r == 1 && stopped()) r = -FStop;
  if (r != 1) return r;
  FRec->DosDate = FCrc;
  FRec->Position = int64_t(FWritten);
  trace((unpack ? "unpacked " : "packed ") + std::to_string(FTaken) + " bytes into " + std::to_string(FWritten));
  return 1;
}

}  // namespace

int32_t runStreamCommand(ZLCommand* cmd, std::atomic<bool>& abortFlag, uint32_t abortHandle) {
  auto* rec = static_cast<ZLStreamRec*>(cmd->StreamRecord);
  if (rec->Check != ZL_STREAM_CHECK || !cmd->StreamCallback) return -ZL_ERR_BAD_OPTIONS;
  StreamJob job(cmd, rec, abortFlag);
  return job.run(abortHandle);
}

}  // namespace ziplib
