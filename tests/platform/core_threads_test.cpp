#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>

#include "platform/core/exception.h"
#include "platform/core/threads.h"

namespace {

class CountingThread : public TThread {
public:
  explicit CountingThread(bool suspended) : TThread(suspended) {}
  std::atomic<int> Loops{0};
  std::atomic<TThreadID> RanOn{0};
  void Execute() override {
    RanOn = GetCurrentThreadID();
    while (!Terminated()) {
      ++Loops;
      Sleep(1);
    }
    SetReturnValue(7);
  }
};

class ThrowingThread : public TThread {
public:
  ThrowingThread() : TThread(true) {}
  void Execute() override { throw std::runtime_error("worker failed"); }
};

class SelfFreeingThread : public TThread {
public:
  explicit SelfFreeingThread(TEvent& done) : TThread(true), FDone(done) { SetFreeOnTerminate(true); }
  ~SelfFreeingThread() override { FDone.SetEvent(); }
  void Execute() override {}

private:
  TEvent& FDone;
};

}  // namespace

TEST(CoreThreads, StartTerminateAndWaitFor) {
  CountingThread t(true);
  EXPECT_TRUE(t.Suspended());
  EXPECT_EQ(t.ThreadID(), 0);
  t.Start();
  EXPECT_THROW(t.Start(), EThread);
  while (t.Loops < 3) Sleep(1);
  EXPECT_NE(t.ThreadID(), MainThreadID());
  EXPECT_EQ(t.RanOn.load(), t.ThreadID());
  EXPECT_FALSE(t.Finished());
  t.Terminate();
  EXPECT_EQ(t.WaitFor(), 7);
  EXPECT_TRUE(t.Finished());
  EXPECT_TRUE(IsMainThread());
}

TEST(CoreThreads, NotSuspendedThreadsStartOnceBuilt) {
  CountingThread* t = NewThread<CountingThread>(false);
  while (t->Loops < 1) Sleep(1);
  delete t;  // terminates and waits
}

TEST(CoreThreads, SuspendedThreadNeverRunsAndItsExecuteRunsInline) {
  auto* t = new CountingThread(true);
  t->Terminate();
  t->Execute();  // on this thread, as a plain call
  EXPECT_EQ(t->RanOn.load(), GetCurrentThreadID());
  t->RanOn = 0;
  delete t;  // must not start the thread
}

TEST(CoreThreads, ExceptionInExecuteIsKept) {
  ThrowingThread t;
  t.Start();
  t.WaitFor();
  ASSERT_TRUE(t.FatalException());
  EXPECT_THROW(std::rethrow_exception(t.FatalException()), std::runtime_error);
}

TEST(CoreThreads, FreeOnTerminateDeletesItself) {
  TEvent done(true, false);
  auto* t = new SelfFreeingThread(done);
  t->Start();
  EXPECT_EQ(done.WaitFor(5000), wrSignaled);
}

TEST(CoreThreads, OnTerminateRunsOnTheMainThreadWhileItWaits) {
  CountingThread t(true);
  TThreadID calledOn = 0;
  t.OnTerminate = [&](TObject* sender) {
    EXPECT_EQ(sender, &t);
    calledOn = GetCurrentThreadID();
  };
  t.Start();
  t.Terminate();
  t.WaitFor();
  EXPECT_EQ(calledOn, MainThreadID());
}

TEST(CoreThreads, AutoResetEventReleasesOneWaiterPerSignal) {
  TEvent ev(false, false);
  std::atomic<int> released{0};
  std::thread a([&] { if (ev.WaitFor(3000) == wrSignaled) ++released; });
  std::thread b([&] { if (ev.WaitFor(3000) == wrSignaled) ++released; });
  ev.SetEvent();
  for (int i = 0; i < 5000 && released == 0; ++i) Sleep(1);
  Sleep(50);  // a second release would show up here
  EXPECT_EQ(released.load(), 1);
  ev.SetEvent();
  a.join();
  b.join();
  EXPECT_EQ(released.load(), 2);
  EXPECT_EQ(ev.WaitFor(10), wrTimeout);  // reset by the last release
}

TEST(CoreThreads, ManualResetEventStaysSet) {
  TEvent ev(true, false);
  EXPECT_EQ(ev.WaitFor(5), wrTimeout);
  ev.SetEvent();
  EXPECT_EQ(ev.WaitFor(0), wrSignaled);
  EXPECT_EQ(ev.WaitFor(0), wrSignaled);
  ev.ResetEvent();
  EXPECT_EQ(ev.WaitFor(0), wrTimeout);
  const std::uint64_t start = GetTickCount64();
  EXPECT_EQ(ev.WaitFor(30), wrTimeout);
  EXPECT_GE(GetTickCount64() - start, 29u);
}

TEST(CoreThreads, CriticalSectionIsRecursiveAndExclusive) {
  TCriticalSection cs;
  cs.Enter();
  EXPECT_TRUE(cs.TryEnter());  // same thread again
  bool otherGot = true;
  std::thread([&] { otherGot = cs.TryEnter(); }).join();
  EXPECT_FALSE(otherGot);
  cs.Leave();
  cs.Leave();
  std::thread([&] {
    otherGot = cs.TryEnter();
    if (otherGot) cs.Leave();
  }).join();
  EXPECT_TRUE(otherGot);
}
