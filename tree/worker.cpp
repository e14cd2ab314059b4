#include "tree/worker.h"

#include <algorithm>

#include "platform/gui/windows.h"
#include "tree/base_tree.h"

namespace {
TWorkerThread* GWorkerThread = nullptr;
int GThreadReferences = 0;
}  // namespace

TWorkerThread* WorkerThread() { return GWorkerThread; }

void AddThreadReference() {
  if (!GWorkerThread) GWorkerThread = new TWorkerThread();
  ++GThreadReferences;
}

void ReleaseThreadReference(TBaseDataTree* Tree) {
  if (GThreadReferences > 0) --GThreadReferences;
  if (Tree) Tree->InterruptValidation();
  if (GThreadReferences == 0 && GWorkerThread) {
    delete GWorkerThread;
    GWorkerThread = nullptr;
  }
}

TWorkerThread::TWorkerThread() : FThread([this] { Execute(); }) {}

TWorkerThread::~TWorkerThread() {
  {
    std::lock_guard<std::mutex> lock(FLock);
    FTerminated = true;
  }
  FWorkEvent.notify_all();
  if (FThread.joinable()) FThread.join();
}

void TWorkerThread::AddTree(TBaseDataTree* Tree) {
  TAMRIX_ASSERT(Tree != nullptr, "Tree must not be nil.");
  Tree->DoStateChange({}, {tsStopValidation});
  Tree->FStopValidation.store(false, std::memory_order_relaxed);
  {
    std::lock_guard<std::mutex> lock(FLock);
    Tree->FWorkerBusy.store(true, std::memory_order_release);
    if (std::find(FWaiterList.begin(), FWaiterList.end(), Tree) == FWaiterList.end())
      FWaiterList.push_back(Tree);
    FSignalled = true;
  }
  FWorkEvent.notify_one();
}

bool TWorkerThread::RemoveTree(TBaseDataTree* Tree) {
  TAMRIX_ASSERT(Tree != nullptr, "Tree must not be nil.");
  std::unique_lock<std::mutex> lock(FLock);
  FWaiterList.erase(std::remove(FWaiterList.begin(), FWaiterList.end(), Tree), FWaiterList.end());
  bool wasWorking = FCurrentTree == Tree;
  FIdle.wait(lock, [&] { return FCurrentTree != Tree; });
  Tree->FWorkerBusy.store(false, std::memory_order_release);
  return wasWorking;
}

TBaseDataTree* TWorkerThread::CurrentTree() {
  std::lock_guard<std::mutex> lock(FLock);
  return FCurrentTree;
}

bool TWorkerThread::IsQueued(TBaseDataTree* Tree) {
  std::lock_guard<std::mutex> lock(FLock);
  return std::find(FWaiterList.begin(), FWaiterList.end(), Tree) != FWaiterList.end();
}

void TWorkerThread::Execute() {
  for (;;) {
    TBaseDataTree* tree = nullptr;
    std::uint32_t generation = 0;
    HWND window = nullptr;
    {
      std::unique_lock<std::mutex> lock(FLock);
      FWorkEvent.wait(lock, [&] { return FSignalled || FTerminated; });
      FSignalled = false;
      if (FTerminated) break;
      if (!FWaiterList.empty()) {
        tree = FWaiterList.front();
        FWaiterList.pop_front();
        // More trees waiting: make sure the next pass picks them up.
        if (!FWaiterList.empty()) FSignalled = true;
        generation = tree->FCacheGeneration.load(std::memory_order_acquire);
        window = tree->FCacheWindow;
      }
      FCurrentTree = tree;
    }
    if (!tree) continue;

    // Reports carry the pass number above the 4-bit state masks.
    auto report = [&](std::uintptr_t enter, std::intptr_t leave) {
      if (window)
        PostMessage(window, WM_CHANGESTATE, enter | (std::uintptr_t(generation) << 4), leave);
    };
    report(4, 2);  // validating, cache not usable
    bool filled = false;
    if (!tree->FStopValidation.load(std::memory_order_acquire)) {
      try {
        filled = tree->fillPositionCache();
      } catch (...) {
        filled = false;
      }
    }
    if (filled)
      report(2, 13);  // cache usable; no longer stopping, validating or needed
    else
      report(0, 5);   // no longer stopping or validating

    {
      std::lock_guard<std::mutex> lock(FLock);
      FCurrentTree = nullptr;
      if (std::find(FWaiterList.begin(), FWaiterList.end(), tree) == FWaiterList.end())
        tree->FWorkerBusy.store(false, std::memory_order_release);
    }
    FIdle.notify_all();
  }
}
