#include "platform/core/threads.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <deque>
#include <thread>

#include "platform/core/exception.h"

// ---- thread ids

TThreadID GetCurrentThreadID() {
  thread_local const TThreadID id = TThreadID(::syscall(SYS_gettid));
  return id;
}

namespace {
// Static initialisation runs on the thread that starts the program.
const TThreadID gMainThreadID = GetCurrentThreadID();
}  // namespace

TThreadID MainThreadID() { return gMainThreadID; }

bool IsMainThread() { return GetCurrentThreadID() == gMainThreadID; }

// ---- time

std::uint64_t GetTickCount64() {
  using namespace std::chrono;
  return std::uint64_t(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

std::uint32_t GetTickCount() { return std::uint32_t(GetTickCount64()); }

std::uint32_t timeGetTime() { return GetTickCount(); }

unsigned timeBeginPeriod(unsigned) { return 0; }

unsigned timeEndPeriod(unsigned) { return 0; }

std::int64_t HighResolutionNanoseconds() {
  using namespace std::chrono;
  return std::int64_t(duration_cast<nanoseconds>(steady_clock::now().time_since_epoch()).count());
}

void Sleep(std::uint32_t milliseconds) {
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

// ---- methods waiting for the main thread

namespace {

struct SyncItem {
  const std::function<void()>* method = nullptr;
  bool done = false;
  std::exception_ptr error;
};

struct SyncQueue {
  std::mutex lock;
  std::condition_variable doneChanged;
  std::deque<SyncItem*> items;
};

SyncQueue& syncQueue() {
  static SyncQueue* queue = new SyncQueue;  // outlives every thread object
  return *queue;
}

}  // namespace

std::function<void()> TThread::WakeMainThread;

void TThread::Synchronize(const std::function<void()>& method) {
  if (!method) return;
  if (IsMainThread()) {
    method();
    return;
  }
  SyncQueue& q = syncQueue();
  SyncItem item;
  item.method = &method;
  {
    std::lock_guard<std::mutex> guard(q.lock);
    q.items.push_back(&item);
  }
  if (WakeMainThread) WakeMainThread();
  std::unique_lock<std::mutex> guard(q.lock);
  q.doneChanged.wait(guard, [&] { return item.done; });
  if (item.error) std::rethrow_exception(item.error);
}

bool TThread::CheckSynchronize() {
  if (!IsMainThread()) return false;
  SyncQueue& q = syncQueue();
  bool ranAny = false;
  for (;;) {
    SyncItem* item = nullptr;
    {
      std::lock_guard<std::mutex> guard(q.lock);
      if (q.items.empty()) break;
      item = q.items.front();
      q.items.pop_front();
    }
    ranAny = true;
    std::exception_ptr error;
    try {
      (*item->method)();
    } catch (...) {
      error = std::current_exception();
    }
    std::lock_guard<std::mutex> guard(q.lock);
    item->error = error;
    item->done = true;
    q.doneChanged.notify_all();
  }
  return ranAny;
}

// ---- TThread

struct TThread::TState {
  std::mutex lock;
  std::condition_variable changed;
  std::thread thread;
  bool started = false;
  bool finished = false;
  std::atomic<bool> terminated{false};
  TThreadID id = 0;
};

TThread::TThread(bool CreateSuspended)
    : FState(std::make_shared<TState>()), FCreateSuspended(CreateSuspended) {}

void TThread::AfterConstruction() {
  if (!FCreateSuspended && !Started()) Start();
}

TThread::~TThread() {
  TState& s = *FState;
  if (s.thread.joinable()) {
    if (s.thread.get_id() == std::this_thread::get_id()) {
      s.thread.detach();  // deleted from its own Execute
      return;
    }
    Terminate();
    try {
      WaitFor();
    } catch (...) {
    }
    s.thread.join();
  }
}

void TThread::Start() {
  // A thread that frees itself may be gone before this returns; the state
  // it shares with us stays alive through this reference.
  const std::shared_ptr<TState> state = FState;
  TState& s = *state;
  std::unique_lock<std::mutex> guard(s.lock);
  if (s.started) throw EThread("Cannot call Start on a running or finished thread");
  s.started = true;
  s.thread = std::thread(&TThread::run, this, FState);
  s.changed.wait(guard, [&] { return s.id != 0; });
}

void TThread::run(TThread* self, std::shared_ptr<TState> state) {
  {
    std::lock_guard<std::mutex> guard(state->lock);
    state->id = GetCurrentThreadID();
    state->changed.notify_all();
  }
  try {
    self->Execute();
  } catch (...) {
    self->FFatalException = std::current_exception();
  }
  try {
    self->DoTerminate();
  } catch (...) {
  }
  const bool freeSelf = self->FFreeOnTerminate;
  {
    std::lock_guard<std::mutex> guard(state->lock);
    state->finished = true;
    state->changed.notify_all();
  }
  // Past this point a waiter may free a thread object that is not
  // FreeOnTerminate, so self is touched only when it frees itself.
  if (freeSelf) {
    state->thread.detach();
    delete self;
  }
}

void TThread::DoTerminate() {
  if (OnTerminate) Synchronize([this] { OnTerminate(this); });
}

void TThread::Terminate() { FState->terminated = true; }

bool TThread::Terminated() const { return FState->terminated; }

bool TThread::Started() const {
  std::lock_guard<std::mutex> guard(FState->lock);
  return FState->started;
}

bool TThread::Finished() const {
  std::lock_guard<std::mutex> guard(FState->lock);
  return FState->finished;
}

TThreadID TThread::ThreadID() const {
  std::lock_guard<std::mutex> guard(FState->lock);
  return FState->id;
}

int TThread::WaitFor() {
  TState& s = *FState;
  {
    std::lock_guard<std::mutex> guard(s.lock);
    if (s.started && s.id == GetCurrentThreadID())
      throw EThread("Cannot call WaitFor on the thread being waited for");
    if (!s.started) return FReturnValue;
  }
  if (FFreeOnTerminate) throw EThread("Cannot call WaitFor on a thread that frees itself");
  std::unique_lock<std::mutex> guard(s.lock);
  while (!s.finished) {
    if (!IsMainThread()) {
      s.changed.wait(guard);
      continue;
    }
    // The main thread keeps serving Synchronize calls while it waits, so a
    // thread that synchronises on its way out cannot dead-lock with it.
    guard.unlock();
    TThread::CheckSynchronize();
    guard.lock();
    s.changed.wait_for(guard, std::chrono::milliseconds(2));
  }
  return FReturnValue;
}

// ---- TEvent

void TEvent::SetEvent() {
  std::lock_guard<std::mutex> guard(FLock);
  FSignaled = true;
  if (FManualReset)
    FChanged.notify_all();
  else
    FChanged.notify_one();
}

void TEvent::ResetEvent() {
  std::lock_guard<std::mutex> guard(FLock);
  FSignaled = false;
}

TWaitResult TEvent::WaitFor(std::uint32_t timeoutMs) {
  std::unique_lock<std::mutex> guard(FLock);
  if (timeoutMs == INFINITE) {
    FChanged.wait(guard, [&] { return FSignaled; });
  } else if (!FChanged.wait_for(guard, std::chrono::milliseconds(timeoutMs), [&] { return FSignaled; })) {
    return wrTimeout;
  }
  if (!FManualReset) FSignaled = false;
  return wrSignaled;
}
