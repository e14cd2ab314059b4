// A text section's answers about positions: caret points, the character
// under the mouse, links and titles, objects, source positions, search and
// the selected text.
#include <algorithm>

#include "html/model/document.h"
#include "html/model/font_runs.h"
#include "html/forms/form_kinds.h"
#include "html/model/image_map.h"
#include "html/images/image_object.h"
#include "html/layout/section_layout.h"
#include "html/model/text_buffers.h"
#include "platform/core/strings.h"

namespace {

int lineHeightOf(const LineRec& l) { return l.SpaceAbove + l.TextHeight + l.SpaceBelow; }

// Moves a character index off the second half of a surrogate pair.
int pairStart(const String& s, int i) {
  if (i > 0 && i < int(s.size()) && htIsLowSurrogate(s[size_t(i)]) && htIsHighSurrogate(s[size_t(i) - 1])) return i - 1;
  return i;
}

TFloatingObj* objectAtPoint(TSection& s, int X, int Y) {
  for (const auto& obj : s.Objects())
    if (X >= obj->DrawXX && X < obj->DrawXX + obj->ObjWidth && Y >= obj->YPosition && Y < obj->YPosition + obj->ObjHeight)
      return obj.get();
  return nullptr;
}

}  // namespace

bool TSection::CursorToXY(TCanvas* Canvas, int Cursor, int& X, int& Y) {
  if (Chars.empty() || Cursor > StartPos + Length || Cursor < StartPos) return false;
  int i = Cursor - StartPos;
  Y = ContentY;
  int first = 0;  // the line's first character
  for (const auto& line : Lines) {
    if (line.LineChars <= i && !(line.LineChars > 0 && &line == &Lines.back() && i == line.LineChars)) {
      i -= line.LineChars;
      first += line.LineChars;
      Y += lineHeightOf(line);
      continue;
    }
    if (!Canvas) {
      X = line.DrawX;
      return true;
    }
    ThtSectionMeasure ms(*this, Canvas);
    ThtJustify just = lineJustify(*this, line);
    const int n = pairStart(Chars, first + i) - first;
    X = line.DrawX + ms.MeasureChars(first, n, false, &just);
    return true;
  }
  return false;
}

int TSection::FindCursor(TCanvas* Canvas, int X, int Y, int& XR, int& YR, int& CaretHt, bool& Intext) {
  int top = ContentY, before = 0;
  const LineRec* found = nullptr;
  for (const auto& line : Lines) {
    const int h = lineHeightOf(line);
    if (Y >= top && Y < top + h) {
      found = &line;
      break;
    }
    top += h;
    before += line.LineChars;
  }
  if (!found) return -1;
  const LineRec& line = *found;
  if (X < line.DrawX - 10 || X > line.DrawX + line.Room) return -1;
  Intext = true;
  CaretHt = line.TextHeight;
  YR = top + line.SpaceAbove;
  if (X < line.DrawX) {
    Intext = false;
    XR = line.DrawX;
    return StartPos + before;
  }
  ThtSectionMeasure ms(*this, Canvas);
  ThtJustify fitJust = lineJustify(*this, line);
  int n = ms.CountCharsInWidth(X - line.DrawX, line.LineChars, before, &fitJust);
  ThtJustify just = lineJustify(*this, line);
  XR = line.DrawX + ms.MeasureChars(before, n, false, &just);
  if (n < line.LineChars) {
    const int first = before + n;
    const int step = (htIsHighSurrogate(Chars[size_t(first)]) && n + 1 < line.LineChars) ? 2 : 1;
    ThtJustify j1 = lineJustify(*this, line), j2 = j1;
    const int w = ms.MeasureChars(before, n + step, false, &j1, true) -
                  ms.MeasureChars(before, n, false, &j2, true);
    if (XR + w / 2 < X) {
      XR += w;
      n += step;
    }
  }
  if (n >= line.LineChars) Intext = false;
  return StartPos + before + n;
}

uint8_t TSection::GetURL(TCanvas* Canvas, int X, int Y, std::unique_ptr<TUrlTarget>& UrlTarg,
                         TFormControlObj*& FormControl, String& ATitle) {
  if (TFloatingObj* obj = objectAtPoint(*this, X, Y)) {
    uint8_t flags = 0;
    const String title = !obj->Title.empty() ? obj->Title : obj->Alt;
    if (!title.empty()) {
      ATitle = title;
      flags |= guTitle;
    }
    auto* img = dynamic_cast<TImageObj*>(obj);
    if (auto* ctl = img ? dynamic_cast<TImageFormControlObj*>(img->MyFormControl) : nullptr) {
      // The picture of an image input: the control, with the point in it.
      ctl->XTmp = X - obj->DrawXX;
      ctl->YTmp = Y - obj->YPosition;
      if (Document) Document->HoverControl = ctl;
      FormControl = ctl;
      return flags | guControl;
    }
    if (img && img->UseMap) {
      if (Document)
        for (const auto& map : Document->Maps)
          if (map->MapName == img->MapName) {
            String areaTitle;
            if (map->GetURL(X - obj->DrawXX, Y - obj->YPosition, UrlTarg, areaTitle)) {
              flags |= guUrl;
              if (!areaTitle.empty()) {
                ATitle = areaTitle;
                flags |= guTitle;
              }
            }
            break;
          }
      return flags;
    }
    TFontObj* run = FontRuns.GetFontObjAt(obj->Pos);
    if (run && !run->UrlTarget()->URL.empty()) {
      UrlTarg = std::make_unique<TUrlTarget>();
      UrlTarg->Copy(*run->UrlTarget());
      if (img && img->IsMap) {
        const std::string q = "?" + std::to_string(X - obj->DrawXX) + "," + std::to_string(Y - obj->YPosition);
        UrlTarg->URL += String(q.begin(), q.end());
      }
      if (Document) Document->HoverLink = run;
      flags |= guUrl;
    }
    return flags;
  }
  int next = 0;
  for (const auto& line : Lines) {
    const int first = next;  // the line's first character
    next += line.LineChars;
    if (line.LineChars == 0 || !(Y > line.DrawY && Y <= line.DrawY + line.TextHeight)) continue;
    if (X < line.DrawX) return 0;
    ThtSectionMeasure ms(*this, Canvas);
    ThtJustify just = lineJustify(*this, line);
    const int n = ms.CountCharsInWidth(X - line.DrawX, line.LineChars, first, &just);
    if (n >= line.LineChars) return 0;
    const int i = first + n;
    if (Chars[size_t(i)] == ImgPan) return 0;
    TFontObj* run = FontRuns.GetFontObjAt(i);
    if (!run) return 0;
    uint8_t flags = 0;
    if (!run->UrlTarget()->URL.empty()) {
      UrlTarg = std::make_unique<TUrlTarget>();
      UrlTarg->Copy(*run->UrlTarget());
      if (Document) Document->HoverLink = run;
      flags |= guUrl;
    }
    if (!run->Title().empty()) {
      ATitle = run->Title();
      flags |= guTitle;
    }
    return flags;
  }
  return 0;
}

bool TSection::PtInObject(int X, int Y, TObject*& Obj, int& IX, int& IY) {
  TFloatingObj* obj = objectAtPoint(*this, X, Y);
  if (!obj) return false;
  Obj = obj;
  IX = X - obj->DrawXX;
  IY = Y - obj->YPosition;
  return true;
}

int TSection::FindSourcePos(int DocPos) {
  if (Length == 0 || DocPos >= StartPos + Length || SourceRuns.empty()) return -1;
  const int i = DocPos - StartPos;
  // The runs are searched: a paragraph of many small elements has as many.
  auto it = std::upper_bound(SourceRuns.begin(), SourceRuns.end(), i,
                             [](int pos, const IndexObj& r) { return pos < r.Pos; });
  if (it == SourceRuns.begin()) return -1;
  const IndexObj& run = *std::prev(it);
  return run.Index + (i - run.Pos) * SourceStep;
}

int TSection::FindDocPos(int SourcePos, bool Prev) {
  if (Length == 0 || SourceRuns.empty()) return -1;
  const size_t n = SourceRuns.size();
  const int step = SourceStep;
  auto runLen = [&](size_t k) { return (k + 1 < n ? SourceRuns[k + 1].Pos : Length) - SourceRuns[k].Pos; };
  // A run covers its characters' first source units, each char one unit
  // wide; the units between them (the rest of a wide character) belong to
  // no character.
  auto runEnd = [&](size_t k) { return SourceRuns[k].Index + (runLen(k) - 1) * step + 1; };
  const int end = runEnd(n - 1);
  if (Prev) {
    if (SourcePos < SourceRuns.front().Index) return -1;
    if (SourcePos >= end) return StartPos + Length - 1;
  } else {
    if (SourcePos >= end) return -1;
    if (SourcePos <= SourceRuns.front().Index) return StartPos;
  }
  // The last run starting at or before the position (source positions only
  // grow along a section).
  auto it = std::upper_bound(SourceRuns.begin(), SourceRuns.end(), SourcePos,
                             [](int pos, const IndexObj& r) { return pos < r.Index; });
  const size_t k = it == SourceRuns.begin() ? 0 : size_t(it - SourceRuns.begin()) - 1;
  const IndexObj& r = SourceRuns[k];
  if (SourcePos < runEnd(k)) {
    const int offset = SourcePos - r.Index;
    const int q = offset / step;
    if (offset % step == 0 || Prev) return StartPos + r.Pos + q;
    // Inside a wide character: the next one.
    if (q + 1 < runLen(k)) return StartPos + r.Pos + q + 1;
    return k + 1 < n ? StartPos + SourceRuns[k + 1].Pos : StartPos + Length - 1;
  }
  // In the gap after run k.
  if (Prev) return StartPos + r.Pos + runLen(k) - 1;
  return k + 1 < n ? StartPos + SourceRuns[k + 1].Pos : StartPos + Length - 1;
}

int TSection::FindString(int From, const String& ToFind, bool MatchCase) {
  if (Length == 0 || From >= StartPos + Length || ToFind.empty()) return -1;
  // Without match case both sides are compared lower-cased.
  const String text = MatchCase ? Chars : AnsiLowerCase(Chars);
  const String needle = MatchCase ? ToFind : AnsiLowerCase(ToFind);
  const size_t at = text.find(needle, size_t(std::max(0, From - StartPos)));
  return at == String::npos ? -1 : StartPos + int(at);
}

int TSection::FindStringR(int From, const String& ToFind, bool MatchCase) {
  const int len = int(ToFind.size());
  if (Length == 0 || From < StartPos || len == 0 || len > Length || len > From - StartPos + 1) return -1;
  const String text = MatchCase ? Chars : AnsiLowerCase(Chars);
  const int lastStart = std::min(From - StartPos + 1, Length) - len;
  if (lastStart < 0) return -1;
  const String needle = MatchCase ? ToFind : AnsiLowerCase(ToFind);
  const size_t at = text.rfind(needle, size_t(lastStart));
  return at == String::npos ? -1 : StartPos + int(at);
}

bool TSection::GetChAtPos(int Pos, char16_t& Ch, TObject*& Obj) {
  if (Pos < StartPos || Pos >= StartPos + Length) return false;
  Ch = Chars[size_t(Pos - StartPos)];
  Obj = this;
  return true;
}

void TSection::CopyToClipboard() {
  if (!Document || !Document->SelBuffer) return;
  // Selection ends never split a surrogate pair.
  int start = pairStart(Chars, Document->SelStart - StartPos);
  int end = Document->SelEnd - StartPos;
  if (end > 0 && end < Length && htIsLowSurrogate(Chars[size_t(end)])) ++end;
  int next = 0;
  for (const LineRec& line : Lines) {
    const int ls = next;  // the line's first character
    next += line.LineChars;
    if (line.LineChars == 0 || !(ls < end && ls + line.LineChars >= start)) continue;
    const int from = std::max(start - ls, 0);
    int to = std::min(end - ls, int(line.LineChars));
    const bool lastLine = ls + line.LineChars >= Length;
    if (lastLine && to == line.LineChars) --to;
    if (to > from) Document->SelBuffer->AddText(Chars.data() + ls + from, to - from);
  }
  if (end > Length) Document->SelBuffer->AddTextCR(u"", 0);
}
