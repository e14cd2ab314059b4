// Deferred window positioning: the places are collected and applied with
// repainting held back until the last one is in.
#include "platform/gui/defer_window_pos.h"

#include <vector>

struct TDeferWindowPos {
  struct TPlace {
    HWND Wnd;
    HWND InsertAfter;
    int X, Y, CX, CY;
    UINT Flags;
  };
  std::vector<TPlace> Places;
};

HDWP BeginDeferWindowPos(int NumWindows) {
  auto* batch = new TDeferWindowPos;
  if (NumWindows > 0) batch->Places.reserve(std::size_t(NumWindows));
  return batch;
}

HDWP DeferWindowPos(HDWP WinPosInfo, HWND Wnd, HWND InsertAfter, int X, int Y, int CX, int CY, UINT Flags) {
  if (!WinPosInfo) return nullptr;
  if (!IsWindow(Wnd)) {
    delete WinPosInfo;
    return nullptr;
  }
  WinPosInfo->Places.push_back({Wnd, InsertAfter, X, Y, CX, CY, Flags});
  return WinPosInfo;
}

bool EndDeferWindowPos(HDWP WinPosInfo) {
  if (!WinPosInfo) return false;
  bool ok = true;
  std::vector<HWND> held;
  for (const auto& p : WinPosInfo->Places) {
    if (!IsWindow(p.Wnd)) continue;
    SendMessage(p.Wnd, WM_SETREDRAW, 0, 0);
    held.push_back(p.Wnd);
  }
  for (const auto& p : WinPosInfo->Places)
    if (IsWindow(p.Wnd)) ok = SetWindowPos(p.Wnd, p.InsertAfter, p.X, p.Y, p.CX, p.CY, p.Flags) && ok;
  for (HWND w : held) {
    if (!IsWindow(w)) continue;
    SendMessage(w, WM_SETREDRAW, 1, 0);
    InvalidateRect(w, nullptr, false);
  }
  delete WinPosInfo;
  return ok;
}
