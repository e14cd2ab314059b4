#pragma once
// Deferred window positioning: several windows are moved or sized in one
// step, so that none is repainted half-way through the arrangement.
#include "platform/gui/windows.h"

struct TDeferWindowPos;
using HDWP = TDeferWindowPos*;

// Starts a batch for about NumWindows windows (a hint only).
HDWP BeginDeferWindowPos(int NumWindows);
// Adds one window's new place to the batch (SetWindowPos arguments);
// returns the batch, or nullptr (and frees it) for a window that does not exist.
HDWP DeferWindowPos(HDWP WinPosInfo, HWND Wnd, HWND InsertAfter, int X, int Y, int CX, int CY, UINT Flags);
// Applies every place of the batch and frees it.
bool EndDeferWindowPos(HDWP WinPosInfo);
