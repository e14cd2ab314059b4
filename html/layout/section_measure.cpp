// The measuring walk over a text section's characters, objects and controls.
#include <algorithm>

#include "html/model/font_runs.h"
#include "html/forms/form_controls.h"
#include "html/layout/section_layout.h"
#include "platform/graphics/canvas.h"

ThtSectionMeasure::ThtSectionMeasure(TSection& Section, TCanvas* Canvas) : S(Section), M(Canvas) {
  const int n = int(S.Chars.size());
  // Made for every pass over the section: the plain characters of a long
  // text take one comparison each.
  const char16_t* chars = S.Chars.data();
  for (int i = S.PlainChars() ? n : 0; i < n; ++i) {
    const char16_t c = chars[i];
    if (c > BrkCh) continue;
    if (c == FmCtl || c == ImgPan) FSpecials.push_back(i);
    else if (c == BrkCh) FBreaks.push_back(i);
  }
  if (S.Edges())
    for (int i = 0; i < n; ++i) {
      if (S.EdgeBeforeAt(i) != 0) FEdgeStops.push_back(i);
      if (S.EdgeAfterAt(i) != 0) FEdgeStops.push_back(i + 1);
    }
  std::vector<std::pair<int32_t, TFloatingObj*>> objs;
  for (const auto& o : S.Objects()) objs.emplace_back(o->Pos, o.get());
  std::stable_sort(objs.begin(), objs.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  for (auto& [p, o] : objs) {
    FObjPos.push_back(p);
    FObjByIndex.push_back(o);
  }
  std::vector<std::pair<int32_t, TFormControlObj*>> ctls;
  for (TFormControlObj* c : S.Controls()) ctls.emplace_back(c->Pos, c);
  std::stable_sort(ctls.begin(), ctls.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  for (auto& [p, c] : ctls) {
    FCtlPos.push_back(p);
    FCtlByIndex.push_back(c);
  }
}

TFloatingObj* ThtSectionMeasure::ObjectAt(int I) const {
  auto it = std::lower_bound(FObjPos.begin(), FObjPos.end(), I);
  return it != FObjPos.end() && *it == I ? FObjByIndex[size_t(it - FObjPos.begin())] : nullptr;
}

TFormControlObj* ThtSectionMeasure::ControlAt(int I) const {
  auto it = std::lower_bound(FCtlPos.begin(), FCtlPos.end(), I);
  return it != FCtlPos.end() && *it == I ? FCtlByIndex[size_t(it - FCtlPos.begin())] : nullptr;
}

int ThtSectionMeasure::NextSpecial(int I) const {
  auto it = std::lower_bound(FSpecials.begin(), FSpecials.end(), I);
  return it == FSpecials.end() ? int(S.Chars.size()) : *it;
}

int ThtSectionMeasure::NextBreak(int I) const {
  auto it = std::lower_bound(FBreaks.begin(), FBreaks.end(), I);
  return it == FBreaks.end() ? int(S.Chars.size()) : *it;
}

TFontObj* ThtSectionMeasure::SelectRunAt(int I) {
  TFontObj* run = S.FontRuns.GetFontObjAt(I);
  // Anything else drawing on the canvas (an image, another section) may
  // have changed its font since: the canvas's own font is the check.
  if (run && (run->TheFont.get() != FCurrentFont || M.Canvas()->Font()->Handle() != run->TheFont->Handle())) {
    M.SelectFont(run->TheFont.get());
    FCurrentFont = run->TheFont.get();
  }
  return run;
}

int ThtSectionMeasure::TextRunEnd(int I, int Limit) const {
  const int n = int(S.Chars.size());
  int end = std::min(Limit, n);
  end = std::min(end, I + S.FontRuns.GetFontCountAt(I, n));
  end = std::min(end, NextSpecial(I));
  if (!FEdgeStops.empty()) {
    auto it = std::upper_bound(FEdgeStops.begin(), FEdgeStops.end(), I);
    if (it != FEdgeStops.end()) end = std::min(end, int(*it));
  }
  return std::max(end, I);
}

int ThtSectionMeasure::HyphenWidth(int I) {
  SelectRunAt(I);
  const char16_t h = u'-';
  return M.Width(&h, 1);
}

int ThtSectionMeasure::MeasureChars(int From, int N, bool RemoveBlanks, ThtJustify* Just, bool Tight) {
  const int n = int(S.Chars.size());
  From = std::max(From, 0);
  int end = std::min(From + std::max(N, 0), n);
  if (RemoveBlanks)
    while (end > From && (S.Chars[size_t(end) - 1] == u' ' || S.Chars[size_t(end) - 1] == BrkCh)) --end;
  int64_t width = 0;
  int i = From;
  while (i < end) {
    const char16_t c = S.Chars[size_t(i)];
    if (c == ImgPan) {
      if (TFloatingObj* obj = ObjectAt(i); obj && !htFloats(obj)) width += obj->TotalWidth();
      width += EdgesOf(i, i + 1);
      ++i;
      continue;
    }
    if (c == FmCtl) {
      if (TFormControlObj* ctl = ControlAt(i)) width += ctl->TotalWidth();
      width += EdgesOf(i, i + 1);
      ++i;
      continue;
    }
    const int runEnd = TextRunEnd(i, end);
    TFontObj* run = SelectRunAt(i);
    width += EdgesOf(i, runEnd);
    width += M.Width(S.Chars.data() + i, runEnd - i, Just);
    if (run) width += Tight ? -run->Overhang() : run->Overhang();
    i = runEnd;
  }
  return int(std::clamp<int64_t>(width, INT32_MIN, INT32_MAX));
}

int ThtSectionMeasure::CountCharsInWidth(int Width, int MaxChars, int From, ThtJustify* Just) {
  const int n = int(S.Chars.size());
  const int limit = std::min(n, From + std::max(MaxChars, 0));
  int64_t used = 0;
  int i = From;
  while (i < limit) {
    const char16_t c = S.Chars[size_t(i)];
    if (c == ImgPan || c == FmCtl) {
      int w = 0;
      if (c == ImgPan) {
        if (TFloatingObj* obj = ObjectAt(i); obj && !htFloats(obj)) w = obj->TotalWidth();
      } else if (TFormControlObj* ctl = ControlAt(i)) {
        w = ctl->TotalWidth();
      }
      w += EdgesOf(i, i + 1);
      if (used + w > Width) break;
      used += w;
      ++i;
      continue;
    }
    const int runEnd = TextRunEnd(i, limit);
    SelectRunAt(i);
    used += S.EdgeBeforeAt(i);
    int w = 0;
    const int room = int(std::clamp<int64_t>(Width - used, -1, INT32_MAX));
    const int fit = M.Fit(S.Chars.data() + i, runEnd - i, room, w, Just);
    i += fit;
    if (i < runEnd) break;
    used += w + S.EdgeAfterAt(runEnd - 1);
  }
  return i - From;
}
