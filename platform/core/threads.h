#pragma once
// Threads, synchronisation objects and time keeping.
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <utility>

#include "platform/core/object.h"

using TThreadID = std::int64_t;

// The id of the calling thread (the kernel's thread id).
TThreadID GetCurrentThreadID();
// The thread that started the program.
TThreadID MainThreadID();
bool IsMainThread();

// ---- time
constexpr std::uint32_t INFINITE = 0xFFFFFFFF;
// Milliseconds since an arbitrary start, monotonic; the 32-bit form wraps
// after 49.7 days like the counter it stands in for.
std::uint32_t GetTickCount();
std::uint64_t GetTickCount64();
// The multimedia timer's clock: the same monotonic milliseconds.
std::uint32_t timeGetTime();
// Timer resolution requests; the system clock is already fine-grained,
// so these only report success (0).
unsigned timeBeginPeriod(unsigned periodMs);
unsigned timeEndPeriod(unsigned periodMs);
// Nanoseconds on a monotonic high-resolution clock.
std::int64_t HighResolutionNanoseconds();
void Sleep(std::uint32_t milliseconds);

// ---- TThread
// A thread object: derive, override Execute, start. Created suspended, it
// runs only after Start (a never-started thread never runs, not even when
// it is destroyed, so its Execute may be called directly on any thread).
// Created not suspended, it starts in AfterConstruction, which must run
// once the most derived constructor is done (NewThread does both), since
// Execute cannot run before the object it belongs to exists.
class TThread : public TObject {
public:
  explicit TThread(bool CreateSuspended);
  // Destroying a running thread terminates it and waits for it. By then
  // the derived part is already gone, so a derived class whose Execute
  // uses its own members terminates and waits in its own destructor.
  ~TThread() override;

  void Start();
  void Resume() { Start(); }
  // Starts the thread when it was not created suspended.
  void AfterConstruction();
  // Asks Execute to stop; Execute polls Terminated().
  void Terminate();
  bool Terminated() const;
  // Waits until Execute has returned; gives ReturnValue. Raises EThread
  // when called from the thread itself or on a FreeOnTerminate thread.
  int WaitFor();

  bool Started() const;
  bool Suspended() const { return !Started(); }
  bool Finished() const;
  TThreadID ThreadID() const;
  bool FreeOnTerminate() const { return FFreeOnTerminate; }
  void SetFreeOnTerminate(bool value) { FFreeOnTerminate = value; }
  int ReturnValue() const { return FReturnValue; }
  // The exception that ended Execute, if any.
  std::exception_ptr FatalException() const { return FFatalException; }

  // Called on the main thread (through Synchronize) after Execute ends.
  TNotifyEvent OnTerminate;

  // Runs method on the main thread and waits for it. The main thread runs
  // queued methods in CheckSynchronize (the message loop calls it; the
  // WakeMainThread hook tells the loop that work is waiting). Called on
  // the main thread, method runs at once.
  static void Synchronize(const std::function<void()>& method);
  // Runs the queued methods; returns true when any ran. Main thread only.
  static bool CheckSynchronize();
  // Set by the message loop: called (from any thread) when a method is
  // queued for the main thread.
  static std::function<void()> WakeMainThread;

protected:
  virtual void Execute() = 0;
  virtual void DoTerminate();
  void SetReturnValue(int value) { FReturnValue = value; }

private:
  struct TState;
  static void run(TThread* self, std::shared_ptr<TState> state);

  std::shared_ptr<TState> FState;
  bool FCreateSuspended;
  bool FFreeOnTerminate = false;
  int FReturnValue = 0;
  std::exception_ptr FFatalException;
};

// Creates a thread object and, unless it was created suspended, starts it.
template <typename T, typename... A>
T* NewThread(A&&... args) {
  T* thread = new T(std::forward<A>(args)...);
  thread->AfterConstruction();
  return thread;
}

// ---- TCriticalSection: a recursive lock.
class TCriticalSection : public TObject {
public:
  void Enter() { FLock.lock(); }
  void Leave() { FLock.unlock(); }
  bool TryEnter() { return FLock.try_lock(); }
  void Acquire() { Enter(); }
  void Release() { Leave(); }

private:
  std::recursive_mutex FLock;
};

enum TWaitResult { wrSignaled, wrTimeout, wrAbandoned, wrError };

// ---- TEvent: manual-reset events stay set until ResetEvent; auto-reset
// events let one waiter through per SetEvent and reset themselves.
class TEvent : public TObject {
public:
  explicit TEvent(bool ManualReset = true, bool InitialState = false)
      : FManualReset(ManualReset), FSignaled(InitialState) {}

  void SetEvent();
  void ResetEvent();
  TWaitResult WaitFor(std::uint32_t timeoutMs = INFINITE);

private:
  std::mutex FLock;
  std::condition_variable FChanged;
  const bool FManualReset;
  bool FSignaled;
};

// A manual-reset event that starts clear.
class TSimpleEvent : public TEvent {
public:
  TSimpleEvent() : TEvent(true, false) {}
};
