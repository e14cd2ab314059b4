#pragma once
// The one background thread that fills the position caches of all trees.
//
// The GUI thread only queues a tree; the worker walks its visible rows and
// reports back by posting WM_CHANGESTATE to the tree's window. It never
// waits for the GUI thread, so the GUI thread may wait for it.
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

class TBaseDataTree;

class TWorkerThread {
public:
  TWorkerThread();
  ~TWorkerThread();  // asks the thread to end and waits for it
  TWorkerThread(const TWorkerThread&) = delete;
  TWorkerThread& operator=(const TWorkerThread&) = delete;

  // Queues the tree (once) and wakes the thread.
  void AddTree(TBaseDataTree* Tree);
  // Takes the tree off the queue and waits until the thread no longer works
  // on it. Returns whether a fill of this tree was running.
  bool RemoveTree(TBaseDataTree* Tree);
  // The tree being worked on (for inspection; changes at any time).
  TBaseDataTree* CurrentTree();
  bool IsQueued(TBaseDataTree* Tree);

private:
  void Execute();

  std::mutex FLock;
  std::condition_variable FWorkEvent;  // signalled with work or termination
  std::condition_variable FIdle;       // signalled when CurrentTree is let go
  bool FSignalled = false;
  bool FTerminated = false;
  TBaseDataTree* FCurrentTree = nullptr;
  std::deque<TBaseDataTree*> FWaiterList;
  std::thread FThread;
};

// Every tree holds a reference; the thread lives from the first reference
// to the release of the last one.
void AddThreadReference();
void ReleaseThreadReference(TBaseDataTree* Tree);
// The running worker, or nullptr (GUI thread only).
TWorkerThread* WorkerThread();
