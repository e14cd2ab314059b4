#pragma once
// Points, sizes and rectangles in device or logical pixels. A rectangle's
// right and bottom edges are exclusive, as everywhere in the drawing layer.
#include <algorithm>
#include <cstdint>

struct TPoint {
  int x = 0;
  int y = 0;
  constexpr TPoint() = default;
  constexpr TPoint(int ax, int ay) : x(ax), y(ay) {}
  constexpr bool operator==(const TPoint&) const = default;
};
using POINT = TPoint;

struct TSize {
  int cx = 0;
  int cy = 0;
  constexpr TSize() = default;
  constexpr TSize(int w, int h) : cx(w), cy(h) {}
  constexpr bool operator==(const TSize&) const = default;
};
using SIZE = TSize;

struct TRect {
  int Left = 0;
  int Top = 0;
  int Right = 0;
  int Bottom = 0;
  constexpr TRect() = default;
  constexpr TRect(int l, int t, int r, int b) : Left(l), Top(t), Right(r), Bottom(b) {}
  constexpr TRect(TPoint tl, TPoint br) : Left(tl.x), Top(tl.y), Right(br.x), Bottom(br.y) {}
  constexpr int Width() const { return Right - Left; }
  constexpr int Height() const { return Bottom - Top; }
  constexpr TPoint TopLeft() const { return {Left, Top}; }
  constexpr TPoint BottomRight() const { return {Right, Bottom}; }
  constexpr bool IsEmpty() const { return Right <= Left || Bottom <= Top; }
  constexpr bool Contains(TPoint p) const {
    return p.x >= Left && p.x < Right && p.y >= Top && p.y < Bottom;
  }
  constexpr bool operator==(const TRect&) const = default;
};
using RECT = TRect;

constexpr TRect Rect(int l, int t, int r, int b) { return {l, t, r, b}; }
constexpr TRect Bounds(int l, int t, int w, int h) { return {l, t, l + w, t + h}; }
constexpr TPoint Point(int x, int y) { return {x, y}; }

// The window-style rectangle helpers; each returns false for an empty result.
inline bool IsRectEmpty(const TRect& r) { return r.IsEmpty(); }
inline bool PtInRect(const TRect& r, TPoint p) { return r.Contains(p); }
inline void SetRect(TRect& r, int l, int t, int rt, int b) { r = {l, t, rt, b}; }
inline void SetRectEmpty(TRect& r) { r = {}; }
inline void OffsetRect(TRect& r, int dx, int dy) {
  r.Left += dx; r.Right += dx; r.Top += dy; r.Bottom += dy;
}
inline void InflateRect(TRect& r, int dx, int dy) {
  r.Left -= dx; r.Right += dx; r.Top -= dy; r.Bottom += dy;
}
inline bool IntersectRect(TRect& dst, const TRect& a, const TRect& b) {
  TRect r{std::max(a.Left, b.Left), std::max(a.Top, b.Top),
          std::min(a.Right, b.Right), std::min(a.Bottom, b.Bottom)};
  if (r.IsEmpty()) { dst = {}; return false; }
  dst = r;
  return true;
}
inline bool UnionRect(TRect& dst, const TRect& a, const TRect& b) {
  if (a.IsEmpty()) { dst = b; return !b.IsEmpty(); }
  if (b.IsEmpty()) { dst = a; return true; }
  dst = {std::min(a.Left, b.Left), std::min(a.Top, b.Top),
         std::max(a.Right, b.Right), std::max(a.Bottom, b.Bottom)};
  return true;
}
inline bool EqualRect(const TRect& a, const TRect& b) { return a == b; }
