// Incremental search: typed characters jump to the next node whose text
// starts with them; typing the same single letter again cycles through the
// nodes starting with it. The text is compared as UTF-16, so Cyrillic typed
// on any layout (or through an input method) finds Cyrillic headwords.
#include "platform/gui/windows.h"
#include "tree/base_tree.h"

namespace {

bool isHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool isLowSurrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// Number of characters (a surrogate pair counts once).
std::size_t characterCount(const String& s) {
  std::size_t n = 0;
  for (char16_t c : s)
    if (!isLowSurrogate(c)) ++n;
  return n;
}

void removeLastCharacter(String& s) {
  if (s.empty()) return;
  const bool pair = s.size() >= 2 && isLowSurrogate(s.back()) && isHighSurrogate(s[s.size() - 2]);
  s.resize(s.size() - (pair ? 2 : 1));
}

}  // namespace

void TBaseDataTree::SetIncrementalSearch(TDTIncrementalSearch Value) {
  if (Value == FIncrementalSearch) return;
  FIncrementalSearch = Value;
  StopIncrementalSearch();
}

void TBaseDataTree::StopIncrementalSearch() {
  StopTimer(SearchTimer);
  DoStateChange({}, {tsIncrementalSearching, tsIncrementalSearchPending});
  FSearchBuffer.clear();
  FPendingHighSurrogate = 0;
}

void TBaseDataTree::HandleIncrementalSearch(WORD CharCode) {
  StopTimer(SearchTimer);
  if (FIncrementalSearch == isNone || CharCode == 0) return;
  DoStateChange({tsIncrementalSearching});
  auto restartTimer = [this] { StartTreeTimer(SearchTimer, FSearchTimeout); };

  // A character outside the BMP comes as two messages; it is searched for
  // as one character once both halves are here.
  const char16_t unit = char16_t(CharCode);
  String typed;
  if (isHighSurrogate(unit)) {
    FPendingHighSurrogate = unit;
    restartTimer();
    return;
  }
  if (isLowSurrogate(unit)) {
    if (!FPendingHighSurrogate) {
      restartTimer();
      return;
    }
    typed = {FPendingHighSurrogate, unit};
  } else {
    typed = String(1, unit);
  }
  FPendingHighSurrogate = 0;
  const bool backspace = unit == VK_BACK;
  if (backspace && FSearchBuffer.empty()) {
    restartTimer();
    return;
  }

  const bool forward = FSearchDirection == sdForward;
  auto suits = [this](PDataNode node) {
    switch (FIncrementalSearch) {
      case isInitializedOnly: return node->States.Contains(vsInitialized);
      case isVisibleOnly: return FullyVisible(node);
      default: return true;
    }
  };
  auto firstOfKind = [&]() -> PDataNode {
    switch (FIncrementalSearch) {
      case isVisibleOnly: return forward ? GetFirstVisible() : GetLastVisible();
      case isInitializedOnly: {
        if (forward) return GetFirstInitialized();
        PDataNode last = GetLastNoInit();
        return last && !last->States.Contains(vsInitialized) ? GetPreviousInitialized(last) : last;
      }
      default: return forward ? GetFirst() : GetLast();
    }
  };
  auto nextOfKind = [&](PDataNode node) -> PDataNode {
    PDataNode next;
    switch (FIncrementalSearch) {
      case isVisibleOnly: next = forward ? GetNextVisible(node) : GetPreviousVisible(node); break;
      case isInitializedOnly:
        next = forward ? GetNextInitialized(node) : GetPreviousInitialized(node);
        break;
      default: next = forward ? GetNext(node) : GetPrevious(node); break;
    }
    return next ? next : firstOfKind();
  };

  PDataNode start = nullptr;
  if (FSearchStart == ssFocusedNode) start = FFocusedNode;
  else if (FSearchStart == ssLastHit) start = FLastSearchNode;
  if (start && !suits(start)) start = nullptr;

  // The search handler may delete any node, the one it is asked about
  // included: every node held across a call is watched.
  TNodeWatch startWatch(*this, start);
  bool cycle = false;
  if (!backspace && characterCount(FSearchBuffer) == 1 && FSearchBuffer == typed)
    cycle = !(start && DoIncrementalSearch(start, FSearchBuffer + typed) == 0);
  // The handler may have destroyed the whole tree: nothing more then.
  if (startWatch.TreeGone()) return;
  start = startWatch.Node();

  String text = FSearchBuffer;
  if (backspace) removeLastCharacter(text);
  else if (!cycle) text += typed;
  if (text.empty()) {
    // Everything typed was taken back: nothing is left to look for.
    FSearchBuffer.clear();
    restartTimer();
    return;
  }

  // The walk visits every node of the kind once at most, also when there is
  // no start node to come back to.
  // A node deleted by the handler is left by way of the node that followed
  // it; a deleted start or first node hands its role of end mark to the
  // node the walk is at, so the walk still ends.
  TNodeWatch found(*this, nullptr);
  TNodeWatch first(*this, start && (FSearchBuffer.empty() || cycle) ? nextOfKind(start)
                          : start                                    ? start
                                                                     : firstOfKind());
  TNodeWatch run(*this, first.Node());
  while (run.Node()) {
    TNodeWatch next(*this, nextOfKind(run.Node()));
    const bool hit = DoIncrementalSearch(run.Node(), text) == 0;
    if (run.TreeGone()) return;
    if (hit && run.Node()) {
      found.Reset(run.Node());
      break;
    }
    PDataNode following = run.Node() ? nextOfKind(run.Node()) : next.Node();
    if (!following) break;
    run.Reset(following);
    if (!first.Node()) {
      first.Reset(following);
      continue;
    }
    if (following == first.Node()) break;
    if (startWatch.Node() && following == startWatch.Node()) {
      const bool lastHit = DoIncrementalSearch(following, text) == 0;
      if (run.TreeGone()) return;
      if (lastHit && run.Node()) found.Reset(following);
      break;
    }
  }

  if (found.Node()) {
    ClearSelection();
    if (found.TreeGone()) return;
    if (PDataNode node = found.Node()) {
      FSearchBuffer = text;
      FLastSearchNode = node;
      SetFocusedNodeAndColumn(node, FFocusedColumn);
      if (!found.TreeGone() && found.Node() && FFocusedNode == node) AddToSelection(node);
    }
    if (found.TreeGone()) return;
  } else {
    MessageBeep(0);
  }
  restartTimer();
}
