#pragma once
// Transfers over HTTPS (and plain HTTP) for the dictionary download. Each
// transfer runs on a worker thread of its own, so that the GUI thread can go
// on handling its messages while it waits; it polls Finished or WaitFor and
// reads the progress counters, which are safe to read at any time.
//
// Certificates are always verified, against the system's certificate store
// or, when the environment names one in SSL_CERT_FILE (as other programs on
// the system honour it), against that file.
//
// A failure is never reported as success: a status other than 2xx, a
// connection cut before the announced length, an unreachable host or a bad
// certificate, a redirect from HTTPS to an address that is not HTTPS all
// end with Succeeded() false and a reason in Error() that
// names the address. A body bound for a file is written beside it under a
// temporary name and renamed only when complete, so a failed or repeated
// download never leaves half a file under the real name.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/core/types.h"

enum THttpMethod { hmGet, hmHead };

struct THttpRequest {
  UTF8String Url;
  UTF8String Agent;
  THttpMethod Method = hmGet;
  // Non-empty: the body goes to this file; empty: into Body().
  String FileName;
  // A body held in memory longer than this fails (0: no limit).
  std::int64_t MaxBodySize = 0;
  // Seconds to wait for the connection (TCP and TLS).
  long ConnectTimeout = 30;
  // A transfer slower than LowSpeedLimit bytes a second for StallTimeout
  // seconds on end fails (by default: one that moves nothing for a minute).
  long StallTimeout = 60;
  long LowSpeedLimit = 1;
};

class THttpTransfer {
public:
  // Starts the transfer at once.
  explicit THttpTransfer(THttpRequest Request);
  // Cancels a running transfer and waits for its thread.
  ~THttpTransfer();
  THttpTransfer(const THttpTransfer&) = delete;
  THttpTransfer& operator=(const THttpTransfer&) = delete;

  // Waits up to Ms milliseconds; true once the transfer has ended.
  bool WaitFor(unsigned Ms);
  bool Finished() const { return FFinished.load(); }
  // Asks the transfer to stop; it ends soon after with Error() "cancelled".
  void Cancel() { FCancel.store(true); }

  // Body bytes received so far.
  std::int64_t Received() const { return FReceived.load(); }
  // The length the server announced (Content-Length), -1 while unknown.
  std::int64_t ContentLength() const { return FContentLength.load(); }

  // Valid once Finished():
  bool Succeeded() const { return FSucceeded; }
  long Status() const { return FStatus; }
  const RawByteString& Body() const { return FBody; }
  const String& Error() const { return FError; }
  const THttpRequest& Request() const { return FRequest; }

private:
  void run();
  void finish(bool ok, String error);

  THttpRequest FRequest;
  std::atomic<bool> FCancel{false};
  std::atomic<bool> FFinished{false};
  std::atomic<std::int64_t> FReceived{0};
  std::atomic<std::int64_t> FContentLength{-1};
  bool FSucceeded = false;
  long FStatus = 0;
  RawByteString FBody;
  String FError;
  std::mutex FLock;
  std::condition_variable FDone;
  std::thread FThread;
};

// The address with every byte outside the unreserved set (letters, digits,
// "-", ".", "_", "~") written as %XX: a file name made safe to append to a
// base address.
UTF8String UrlEncodePathSegment(const UTF8String& Segment);
