#include "platform/core/http.h"

#include <curl/curl.h>
#include <strings.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>

#include "platform/core/exception.h"
#include "platform/core/files.h"
#include "platform/core/strings.h"

namespace {

void globalInit() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

String fromUtf8(const char* text) { return UTF8ToUTF16(text ? UTF8String(text) : UTF8String()); }

// Where the body goes: memory, or a temporary file beside the target,
// written as the program writes every file (see TSafeFileSet).
struct Sink {
  RawByteString* Body = nullptr;
  std::int64_t Limit = 0;
  std::unique_ptr<TSafeFileSet> Target;
  std::FILE* File = nullptr;
  UTF8String TempName;
  String WriteError;
};

size_t writeBody(char* data, size_t size, size_t count, void* user) {
  // Nothing may escape into the library: any failure becomes a short write,
  // which ends the transfer with a write error.
  auto* sink = static_cast<Sink*>(user);
  try {
    const size_t bytes = size * count;
    if (sink->File) {
      if (std::fwrite(data, 1, bytes, sink->File) != bytes) {
        sink->WriteError = u"cannot write " + UTF8ToUTF16(sink->TempName) + u": " + fromUtf8(std::strerror(errno));
        return 0;
      }
    } else {
      if (sink->Limit > 0 && std::int64_t(sink->Body->size() + bytes) > sink->Limit) {
        sink->WriteError = u"the answer is larger than " + IntToStr(sink->Limit) + u" bytes";
        return 0;
      }
      sink->Body->append(data, bytes);
    }
    return bytes;
  } catch (...) {
    sink->WriteError = u"out of memory";
    return 0;
  }
}

}  // namespace

// The progress callback and the write callback need the owner's counters;
// they are reached through the sink.
namespace {

struct Progress {
  std::atomic<bool>* Cancel;
  std::atomic<std::int64_t>* Received;
  std::atomic<std::int64_t>* Length;
  CURL* Handle;
};

int onProgress(void* user, curl_off_t, curl_off_t now, curl_off_t, curl_off_t) {
  auto* p = static_cast<Progress*>(user);
  p->Received->store(std::int64_t(now));
  curl_off_t length = -1;
  if (curl_easy_getinfo(p->Handle, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length) == CURLE_OK && length >= 0)
    p->Length->store(std::int64_t(length));
  return p->Cancel->load() ? 1 : 0;
}

}  // namespace

THttpTransfer::THttpTransfer(THttpRequest Request) : FRequest(std::move(Request)) {
  globalInit();
  FThread = std::thread([this] { run(); });
}

THttpTransfer::~THttpTransfer() {
  Cancel();
  if (FThread.joinable()) FThread.join();
}

bool THttpTransfer::WaitFor(unsigned Ms) {
  std::unique_lock<std::mutex> lock(FLock);
  return FDone.wait_for(lock, std::chrono::milliseconds(Ms), [this] { return FFinished.load(); });
}

void THttpTransfer::finish(bool ok, String error) {
  FSucceeded = ok;
  FError = ok ? String() : u"Cannot fetch " + UTF8ToUTF16(FRequest.Url) + u": " + error;
  {
    std::lock_guard<std::mutex> lock(FLock);
    FFinished.store(true);
  }
  FDone.notify_all();
}

void THttpTransfer::run() {
  CURL* h = curl_easy_init();
  if (!h) {
    finish(false, u"the network library could not start");
    return;
  }
  Sink sink;
  sink.Body = &FBody;
  sink.Limit = FRequest.MaxBodySize;
  const UTF8String target = UTF16ToUTF8(FRequest.FileName);
  if (!target.empty() && FRequest.Method == hmGet) {
    String reason;
    try {
      sink.Target = std::make_unique<TSafeFileSet>();
      sink.TempName = UTF16ToUTF8(sink.Target->AddByName(FRequest.FileName));
      sink.File = std::fopen(sink.TempName.c_str(), "wb");
      if (!sink.File) reason = u"cannot write " + UTF8ToUTF16(sink.TempName) + u": " + fromUtf8(std::strerror(errno));
    } catch (const EFCreateError& e) {
      reason = e.Message();
    }
    if (!sink.File) {
      curl_easy_cleanup(h);
      finish(false, reason);
      return;
    }
  }
  Progress progress{&FCancel, &FReceived, &FContentLength, h};
  char errorBuffer[CURL_ERROR_SIZE] = {0};

  curl_easy_setopt(h, CURLOPT_URL, FRequest.Url.c_str());
  curl_easy_setopt(h, CURLOPT_USERAGENT, FRequest.Agent.c_str());
  curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(h, CURLOPT_ERRORBUFFER, errorBuffer);
  curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
  // What came over HTTPS is never handed on to plain HTTP.
  const bool secure = FRequest.Url.size() >= 6 && strncasecmp(FRequest.Url.c_str(), "https:", 6) == 0;
  curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, secure ? "https" : "http,https");
  curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(h, CURLOPT_MAXREDIRS, 5L);
  curl_easy_setopt(h, CURLOPT_FAILONERROR, 1L);
  curl_easy_setopt(h, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(h, CURLOPT_SSL_VERIFYHOST, 2L);
  if (const char* ca = std::getenv("SSL_CERT_FILE"); ca && *ca) curl_easy_setopt(h, CURLOPT_CAINFO, ca);
  curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT, FRequest.ConnectTimeout);
  curl_easy_setopt(h, CURLOPT_LOW_SPEED_LIMIT, std::max(1L, FRequest.LowSpeedLimit));
  curl_easy_setopt(h, CURLOPT_LOW_SPEED_TIME, FRequest.StallTimeout);
  curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, onProgress);
  curl_easy_setopt(h, CURLOPT_XFERINFODATA, &progress);
  curl_easy_setopt(h, CURLOPT_BUFFERSIZE, 256L * 1024L);
  if (FRequest.Method == hmHead) curl_easy_setopt(h, CURLOPT_NOBODY, 1L);
  curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, writeBody);
  curl_easy_setopt(h, CURLOPT_WRITEDATA, &sink);

  const CURLcode rc = curl_easy_perform(h);
  long status = 0;
  curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &status);
  // A redirect the protocols above refuse: said as such, with the address
  // when the library kept it.
  String refused;
  if (rc == CURLE_UNSUPPORTED_PROTOCOL && secure && status >= 300 && status <= 399) {
    char* where = nullptr;
    const bool known =
        curl_easy_getinfo(h, CURLINFO_EFFECTIVE_URL, &where) == CURLE_OK && where && FRequest.Url != where;
    refused = u"the server redirected to " + (known ? fromUtf8(where) + u", which is" : String(u"what is")) +
              u" not an HTTPS address";
  }
  curl_off_t length = -1;
  if (curl_easy_getinfo(h, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length) == CURLE_OK && length >= 0)
    FContentLength.store(std::int64_t(length));
  curl_easy_cleanup(h);
  FStatus = status;

  String error;
  if (rc == CURLE_HTTP_RETURNED_ERROR || (rc == CURLE_OK && (status < 200 || status > 299) &&
                                           FRequest.Url.rfind("http", 0) == 0)) {
    error = u"the server answered with status " + IntToStr(int(status));
  } else if (!refused.empty()) {
    error = refused;
  } else if (rc == CURLE_OPERATION_TIMEDOUT && FReceived.load() > 0) {
    error = u"the transfer was slower than " + IntToStr(int(std::max(1L, FRequest.LowSpeedLimit))) +
            u" bytes a second for " + IntToStr(int(FRequest.StallTimeout)) + u" seconds";
  } else if (rc == CURLE_ABORTED_BY_CALLBACK) {
    error = u"cancelled";
  } else if (rc == CURLE_WRITE_ERROR && !sink.WriteError.empty()) {
    error = sink.WriteError;
  } else if (rc != CURLE_OK) {
    error = fromUtf8(curl_easy_strerror(rc));
    if (errorBuffer[0]) error += u" (" + fromUtf8(errorBuffer) + u")";
  }

  if (sink.File) {
    const bool closed = std::fclose(sink.File) == 0;
    if (error.empty() && !closed)
      error = u"cannot write " + UTF8ToUTF16(sink.TempName) + u": " + fromUtf8(std::strerror(errno));
    // Flushed to the disk and renamed when whole; else the temporary goes.
    if (error.empty()) {
      try {
        sink.Target->Commit();
      } catch (const EFCreateError& e) {
        error = e.Message();
      }
    }
    sink.Target.reset();
  }
  finish(error.empty(), error);
}

UTF8String UrlEncodePathSegment(const UTF8String& Segment) {
  static const char hex[] = "0123456789ABCDEF";
  UTF8String out;
  for (unsigned char c : Segment) {
    const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
                       c == '.' || c == '_' || c == '~';
    if (plain) {
      out += char(c);
    } else {
      out += '%';
      out += hex[c >> 4];
      out += hex[c & 15];
    }
  }
  return out;
}
