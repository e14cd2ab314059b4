#pragma once
// The library's side of the callback conversation with the component: one
// record per report, answered in place, and the component's cancel or
// abort turned into the command's stop reason.
#include <atomic>
#include <cstdint>
#include <string>

#include "ziplib/ziplib.h"

namespace ziplib {

class Reporter {
public:
  Reporter(ZLCommand* cmd, std::atomic<bool>& abortFlag) : FCmd(cmd), FAbort(abortFlag) {}

protected:
  int32_t call(int code, const char* msg, int64_t size = 0, int64_t written = 0, int32_t a1 = 0, int32_t a2 = 0,
               int32_t a3 = 0, ZLCallbackRec* answer = nullptr) {
    ZLCallbackRec rec{};
    rec.Caller = FCmd->Caller;
    rec.ActionCode = code;
    rec.Msg = msg;
    rec.Size = size;
    rec.Written = written;
    rec.Arg1 = a1;
    rec.Arg2 = a2;
    rec.Arg3 = a3;
    rec.Check = ZL_CALLBACK_CHECK;
    int32_t r = FCmd->Callback ? FCmd->Callback(&rec) : 0;
    if (r == -2) FStop = ZL_ERR_CANCELLED;
    else if (r == -3) FStop = ZL_ERR_ABORTED;
    else if (r == -4) FStop = ZL_ERR_CALLBACK;
    if (answer) *answer = rec;
    return r;
  }
  bool stopped() {
    if (FAbort.load() && !FStop) FStop = ZL_ERR_ABORTED;
    return FStop != 0;
  }
  // An error (number != 0) or a plain line for the component.
  void message(int number, const std::string& text, bool prefix = true) {
    uint32_t e = uint32_t(number) | (prefix && number ? ZL_MSG_PREFIX : 0u);
    // A prefixed text follows the component's own words for the error.
    const std::string shown = (e & ZL_MSG_PREFIX) ? " " + text : text;
    call(ZL_CB_MESSAGE, shown.c_str(), 0, 0, int32_t(e));
    if (number && !FFirstError) FFirstError = number;
  }
  void trace(const std::string& text) {
    if (FCmd->TraceLevel != 0) call(ZL_CB_MESSAGE, text.c_str());
  }

  ZLCommand* FCmd;
  std::atomic<bool>& FAbort;
  int FStop = 0;
  int FFirstError = 0;
};

}  // namespace ziplib
