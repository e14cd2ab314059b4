// Breaking a text section into lines: fitting, break points, floats placed
// beside the text, line heights and alignment; and the section's minimum
// and maximum widths.
#include <algorithm>

#include "html/model/document.h"
#include "html/model/font_runs.h"
#include "html/forms/form_controls.h"
#include "html/images/image_object.h"
#include "html/model/indent_manager.h"
#include "html/layout/section_layout.h"
#include "html/model/viewer_base.h"

namespace {

int clearanceHeight(TClearType kind, TIndentManager* IMgr, int Y) {
  if (kind == clrNone || !IMgr) return 0;
  int cl = 0, cr = 0;
  IMgr->GetClearY(cl, cr);
  const int left = std::max(0, cl - Y - 1), right = std::max(0, cr - Y - 1);
  switch (kind) {
    case clrLeft: return left;
    case clrRight: return right;
    default: return std::max(left, right);
  }
}

bool isBlank(char16_t c) { return c == u' ' || c == 0xA0; }

// Lays out one section; the state of one pass.
struct LineBreaker {
  TSection& S;
  // Nothing in a layout adds flags: a section without them keeps reading
  // the shared empty ones.
  const TBreakFlags& Flags;
  ThtSectionMeasure Ms;
  TIndentManager* IMgr;
  int X;
  int Len;
  int Last;
  int FloatPos = -1;
  int FloatY = 0;
  int ImageBottom = 0;
  int Height = 0;
  int& MaxWidth;

  LineBreaker(TSection& s, TCanvas* canvas, TIndentManager* imgr, int x, int& maxWidth)
      : S(s), Flags(s.BreakFlags()), Ms(s, canvas), IMgr(imgr), X(x), Len(int(s.Chars.size())), Last(Len - 1),
        MaxWidth(maxWidth) {}

  char flagAt(int i) const { return Flags[size_t(i)]; }
  char16_t ch(int i) const { return S.Chars[size_t(i)]; }

  int blanksAfter(int i) const {
    int n = 0;
    while (i + n <= Last && ch(i + n) == u' ') ++n;
    return n;
  }

  // Never leave a line between the halves of a surrogate pair.
  int keepPairs(int start, int count) const {
    const int end = start + count;
    if (count > 0 && end <= Last && htIsHighSurrogate(ch(end - 1)) && htIsLowSurrogate(ch(end))) return count + 1;
    return count;
  }

  // How many characters from From fit on the line at Y; places the floats
  // met on the way. Returns 0 when not even the first character fits.
  int countCharsThatFit(int From, int MaxChars, int& ImgHt, int Y, bool firstLine) {
    bool breakFollows = false;
    const int brk = Ms.NextBreak(From);
    if (brk < From + MaxChars) {
      MaxChars = brk - From;
      if (MaxChars == 0) return 1;
      breakFollows = true;
    }
    const int indent = firstLine ? S.TextIndent() : 0;
    int left = IMgr->LeftIndent(Y) + indent, right = IMgr->RightSide(Y);
    int64_t room = int64_t(right) - left;
    if (firstLine && S.Objects().Count() == 0 && S.Controls().Count() == 0 && S.FontRuns.Count() == 1 &&
        !S.Edges()) {
      const int64_t widest = int64_t(S.FontRuns[0]->tmMaxCharWidth()) * MaxChars;
      if (widest <= room) return MaxChars + (breakFollows ? 1 : 0);
    }
    int count = 0;
  restart:
    int64_t used = 0;
    int lineTextHt = 0;
    count = 0;
    int i = From;
    // Whether everything walked so far is floats already placed (or
    // nothing): walking it again after a float is placed would change
    // nothing, so a row of floats is not walked again per float.
    bool onlyPlaced = true;
    while (count < MaxChars) {
      const char16_t c = ch(i);
      if (c == ImgPan) {
        TFloatingObj* obj = Ms.ObjectAt(i);
        if (htFloats(obj)) {
          if (i > FloatPos) {
            placeFloat(obj, Y, int(used), lineTextHt);
            ImgHt = std::max(ImgHt, obj->TotalHeight());
            FloatPos = i;
            left = IMgr->LeftIndent(Y) + indent;
            right = IMgr->RightSide(Y);
            room = int64_t(right) - left;
            if (!onlyPlaced) {
              IMgr->AddSteps(uint64_t(i - From));
              goto restart;
            }
          }
        } else if (obj) {
          onlyPlaced = false;
          ImgHt = std::max(ImgHt, obj->TotalHeight());
          used += obj->TotalWidth() + Ms.EdgesOf(i, i + 1);
          if (used > room) break;
        }
        ++count;
        ++i;
        continue;
      }
      onlyPlaced = false;
      if (c == FmCtl) {
        if (TFormControlObj* ctl = Ms.ControlAt(i)) used += ctl->TotalWidth();
        used += Ms.EdgesOf(i, i + 1);
        if (used > room) break;
        ++count;
        ++i;
        continue;
      }
      const int runEnd = Ms.TextRunEnd(i, From + MaxChars);
      TFontObj* run = Ms.SelectRunAt(i);
      // The left side of an inline box opening here comes before its text.
      used += S.EdgeBeforeAt(i);
      int w = 0;
      const int avail = int(std::clamp<int64_t>(room - used, -1, INT32_MAX));
      int fit = Ms.M.Fit(S.Chars.data() + i, runEnd - i, avail, w);
      if (fit > 0 && flagAt(i + fit - 1) == 's' && used + w + Ms.HyphenWidth(i + fit - 1) > room) {
        --fit;
        Ms.SelectRunAt(i);
        w = Ms.M.Width(S.Chars.data() + i, fit);
      }
      count += fit;
      if (fit < runEnd - i) break;
      used += w + S.EdgeAfterAt(runEnd - 1);
      if (run) lineTextHt = std::max(lineTextHt, run->FontHeight());
      i += fit;
    }
    return count + (breakFollows && count == MaxChars ? 1 : 0);
  }

  void placeFloat(TFloatingObj* obj, int Y, int used, int lineTextHt) {
    FloatY = std::max(FloatY, Y);
    const int w = obj->TotalWidth(), h = obj->TotalHeight();
    int x;
    if (obj->Floating == ALeft) {
      x = IMgr->AlignLeft(FloatY, w, used, lineTextHt);
      IMgr->AddLeft(FloatY, FloatY + h, w);
    } else {
      x = IMgr->AlignRight(FloatY, w, used, lineTextHt);
      IMgr->AddRight(FloatY, FloatY + h, w);
    }
    obj->Indent = x - IMgr->LeftEdge + obj->HSpaceL;
    obj->YPosition = FloatY + obj->VSpaceT;
    ImageBottom = std::max(ImageBottom, FloatY + h);
  }

  // Adds a line of no characters that only moves the text down.
  void moveDown(int drop, int& y) {
    LineRec lr;
    lr.TextHeight = drop;
    lr.FullHeight = drop;
    lr.DrawY = y;
    lr.DrawX = X;
    S.Lines.push_back(lr);
    Height += drop;
    y += drop;
  }

  void finishLine(LineRec lr, int start, int n, int imgHt, int& y, bool firstLine, bool lastLine) {
    ThtDocument* doc = S.Document;
    bool text = false;
    for (int i = start; i < start + n && !text; ++i) {
      const char16_t c = ch(i);
      if (c != FmCtl && c != ImgPan && c != BrkCh && !(i == Last && c == u' ')) text = true;
    }
    if (n == 1 && ch(start) == BrkCh) text = true;
    // An empty preformatted line (only its closing blank) is a blank line
    // of its font's height.
    if (S.IsPreformatted() && !text && n == 1 && start == Last && ch(start) == u' ') text = true;
    int maxHt = 0, descent = 0;
    int runIndex = 0;
    S.FontRuns.GetFontObjAt(start, runIndex);
    if (text) {
      for (int r = std::max(runIndex, 0); r < S.FontRuns.Count(); ++r) {
        TFontObj* run = S.FontRuns[r];
        if (r > runIndex && run->Pos >= start + n) break;
        maxHt = std::max(maxHt, run->FontHeight());
        descent = std::max(descent, run->Descent());
      }
    }
    int sb = 0, sa = 0;
    if (S.LineHeight >= 0) {
      sb = (S.LineHeight - maxHt) / 2;
      sa = S.LineHeight - maxHt - sb;
    }
    for (int i = start; i < start + n; ++i) {
      if (ch(i) == ImgPan) {
        TFloatingObj* obj = Ms.ObjectAt(i);
        if (!obj || htFloats(obj)) continue;
        obj->YPosition = y;
        // The picture of an image input: its control scrolls here on focus.
        if (auto* img = dynamic_cast<TImageObj*>(obj); img && img->MyFormControl && !(doc && doc->IsCopy))
          img->MyFormControl->YValue = y;
        const int ht = obj->TotalHeight();
        switch (obj->VertAlign) {
          case ATop: sa = std::max(sa, ht - maxHt); break;
          case AMiddle: {
            if (maxHt == 0) {
              if (TFontObj* run = S.FontRuns.GetFontObjAt(start)) {
                maxHt = run->FontHeight();
                descent = run->Descent();
              }
            }
            const int half = (ht - maxHt) / 2;
            sa = std::max(sa, half);
            sb = std::max(sb, ht - maxHt - half);
            break;
          }
          case ABaseline:
          case ABottom: sb = std::max(sb, ht - (maxHt - descent)); break;
          default: break;
        }
      } else if (ch(i) == FmCtl) {
        TFormControlObj* ctl = Ms.ControlAt(i);
        if (!ctl) continue;
        const int ht = ctl->Height(), t = ctl->VSpaceT, b = ctl->VSpaceB;
        switch (ctl->VertAlign) {
          case ATop: sa = std::max(sa, b + ht + t - maxHt); break;
          case AMiddle: {
            const int half = (ht - maxHt) / 2;
            sa = std::max(sa, b + half);
            sb = std::max(sb, ht - maxHt - half + t);
            break;
          }
          case ABaseline: sb = std::max(sb, t + ht + b - (maxHt - descent)); break;
          case ABottom: sb = std::max(sb, t + ht + b - maxHt); break;
          default: break;
        }
        if (!doc || !doc->IsCopy) ctl->YValue = y;
      }
    }
    if (doc && !doc->IsCopy)
      for (int r = std::max(runIndex, 0); r < S.FontRuns.Count(); ++r) {
        TFontObj* run = S.FontRuns[r];
        if (r > runIndex && run->Pos >= start + n) break;
        run->SetYValue(y);
      }
    lr.TextHeight = maxHt;
    lr.LineChars = n;
    lr.Descent = descent;
    lr.EndsWithHyphen = flagAt(start + n - 1) == 's';
    const int right = IMgr->RightSide(y);
    const int left = IMgr->LeftIndent(y) + (firstLine ? S.TextIndent() : 0);
    int w = Ms.MeasureChars(start, n, true);
    if (lr.EndsWithHyphen) w += Ms.HyphenWidth(start + n - 1);
    S.WidestLine = std::max(S.WidestLine, w);
    const int start0 = left - X;
    TLineStretch stretch;
    switch (S.Alignment) {
      // A line wider than its box starts at the content edge.
      case 2: lr.LineOffset = std::max(start0, int((int64_t(right) + left - w) / 2) - X); break;
      case 3: lr.LineOffset = std::max(start0, right - X - w); break;
      case 4: {
        lr.LineOffset = start0;
        if (!lastLine) {
          stretch.ExtraWidth = std::max(0, right - left - w);
          // Only the blanks that are drawn (not a trailing one) stretch.
          int end = start + n;
          while (end > start && (ch(end - 1) == u' ' || ch(end - 1) == BrkCh)) --end;
          int blanks = 0;
          for (int i = start; i < end; ++i)
            if (isBlank(ch(i))) ++blanks;
          stretch.BlankCount = blanks;
          if (blanks == 0) stretch.ExtraWidth = 0;
        }
        break;
      }
      default: lr.LineOffset = start0; break;
    }
    lr.Room = right - left;
    lr.SpaceAbove += sb;
    lr.SpaceBelow = sa;
    lr.FullHeight = std::max(imgHt, maxHt + sa + sb);
    // Caret positions are known before the first paint.
    lr.DrawX = X + lr.LineOffset;
    lr.DrawY = y + lr.SpaceAbove;
    Height += maxHt + sa + lr.SpaceAbove;
    y += maxHt + sa + sb;
    S.Lines.push_back(lr);
    if (stretch.BlankCount != 0) S.SetStretch(S.Lines.size() - 1, stretch);
  }
};

}  // namespace

int TSection::DrawLogic(TCanvas* Canvas, int X, int Y, int /*XRef*/, int /*YRef*/, int AvailWidth, int AvailHeight,
                        int BlockHeight, TIndentManager* IMgr, int& MaxWidth, int& Curs) {
  LayoutTop = BorderTop = ContentY = Y;
  StartPos = Curs;
  Lines.clear();
  if (FExtras) FExtras->Stretch.clear();
  WidestLine = 0;
  const int len = int(Chars.size());
  if (len == 0 || !IMgr) {
    const int clearance = clearanceHeight(ClearKind, IMgr, Y);
    Height = PaintHeight = clearance;
    OuterBottom = PaintBottom = Y + clearance;
    MaxWidth = 0;
    Curs = StartPos + len;
    return clearance;
  }
  if (TextIndentPercent() > 0 && TextIndentPercent() <= 90)
    FExtras->TextIndent = int(int64_t(TextIndentPercent()) * AvailWidth / 100);
  const int width = std::min(IMgr->RightSide(Y) - IMgr->LeftIndent(Y), AvailWidth);
  MaxWidth = width;
  const int pctHeight = AvailHeight != 0 ? AvailHeight : BlockHeight;
  for (const auto& obj : Objects()) {
    obj->DrawLogic(Document, Canvas, FontRuns.GetFontObjAt(obj->Pos), width, pctHeight);
    MaxWidth = std::max(MaxWidth, obj->ObjWidth);
  }
  for (TFormControlObj* ctl : Controls()) {
    // A control sized in per cent takes its share of this width (a print
    // copy keeps the screen's controls as they are).
    if (ctl->PercentWidth && !(Document && Document->IsCopy))
      ctl->SetWidth(std::max(10, std::min(int(int64_t(ctl->FWidth) * width / 100), width - ctl->HSpaceL - ctl->HSpaceR)));
    MaxWidth = std::max(MaxWidth, ctl->TotalWidth());
  }

  LineBreaker lb(*this, Canvas, IMgr, X, MaxWidth);
  lb.FloatY = Y;
  const bool unwrapped = IsPreformatted() && !BreakWord;
  int y = Y, lineStart = 0;
  bool done = false;
  while (!done) {
    const int remaining = lb.Last - lineStart + 1;
    const bool firstLine = lineStart == 0;
    if (firstLine && Lines.empty() && ClearKind != clrNone) {
      const int clearance = clearanceHeight(ClearKind, IMgr, y);
      if (clearance > 0) lb.moveDown(clearance, y);
    }
    LineRec lr;
    int imgHt = 0, measured = 0, count;
    if (unwrapped) {
      count = remaining;
    } else {
      measured = lb.countCharsThatFit(lineStart, remaining, imgHt, y, firstLine);
      count = lb.keepPairs(lineStart, std::max(1, measured));
    }
    lb.ImageBottom = std::max(lb.ImageBottom, y + imgHt);
    const int drop = IMgr->GetNextWiderY(y) - y;
    if (measured == 0 && drop > 0) {
      const char16_t c = lb.ch(lineStart);
      const bool breakFirst = ((c == u' ' || c == ImgPan || htIsWideChar(c)) && lb.flagAt(lineStart) != 'n') || c == BrkCh;
      if (unwrapped) {
        if (lb.Ms.MeasureChars(lineStart, count, true) > IMgr->RightSide(y) - IMgr->LeftIndent(y)) {
          lb.moveDown(drop, y);
          continue;
        }
      } else if (breakFirst) {
        count = std::min(remaining, 1 + lb.blanksAfter(lineStart + 1));
      } else {
        lb.moveDown(drop, y);
        continue;
      }
    }
    bool lastLine = count >= remaining;
    if (lastLine) {
      count = remaining;
    } else if (!unwrapped) {
      const int cIdx = lineStart + count - 1;
      const char16_t c = lb.ch(cIdx);
      const char f = lb.flagAt(cIdx);
      const char16_t next = lb.ch(cIdx + 1);
      bool found = false;
      if (((c == u' ' || c == FmCtl || c == ImgPan || htIsWideChar(c)) && f != 'n') || c == BrkCh) {
        count += lb.blanksAfter(cIdx + 1);
        found = true;
      } else if (next == u' ' && lb.flagAt(cIdx + 1) != 'n') {
        count += lb.blanksAfter(cIdx + 1);
        found = true;
      } else if ((next == FmCtl || next == ImgPan) && f != 'n') {
        found = true;
      }
      if (!found) {
        for (int k = cIdx; k > lineStart; --k) {
          const char fk = lb.flagAt(k);
          if (fk == 'n') continue;
          const char16_t ck = lb.ch(k);
          if (htIsHighSurrogate(ck)) continue;
          if (fk == 'a' || fk == 's' || htIsBreakChar(ck) || (k + 1 <= lb.Last && htIsWideChar(lb.ch(k + 1)))) {
            count = k - lineStart + 1;
            count += lb.blanksAfter(lineStart + count);
            found = true;
            break;
          }
        }
      }
      if (!found) {
        const char16_t first = lb.ch(lineStart);
        if ((first == FmCtl || first == ImgPan) && lb.flagAt(lineStart) != 'n') {
          count = 1;
        } else if (BreakWord) {
          count = lb.keepPairs(lineStart, count);
        } else {
          // The word overflows: the line runs to its end.
          int j = lineStart + count;
          while (j <= lb.Last) {
            const char16_t prev = lb.ch(j - 1);
            const char pf = lb.flagAt(j - 1);
            if (prev == u'-' || prev == u'/' || prev == u'?' || pf == 'a' || pf == 's') break;
            const char16_t cj = lb.ch(j);
            if ((cj == FmCtl || cj == ImgPan || cj == BrkCh || cj == u' ' || htIsWideChar(cj)) && lb.flagAt(j) != 'n')
              break;
            ++j;
          }
          count = j - lineStart;
          count += lb.blanksAfter(lineStart + count);
          if (lineStart + count <= lb.Last && lb.ch(lineStart + count) == BrkCh) ++count;
          if (drop > 0) {
            lb.moveDown(drop, y);
            continue;
          }
          MaxWidth = std::max(MaxWidth, lb.Ms.MeasureChars(lineStart, count, true));
        }
      }
      count = std::min(count, remaining);
      lastLine = count >= remaining;
    }
    lb.finishLine(lr, lineStart, count, imgHt, y, firstLine, lastLine);
    lineStart += count;
    done = lineStart > lb.Last;
  }
  Curs = StartPos + len;

  if (Document && Document->FirstLineReceiver && *Document->FirstLineReceiver == 0) {
    int top = Y;
    for (const auto& line : Lines) {
      if (line.LineChars > 0) {
        *Document->FirstLineReceiver = top + line.SpaceAbove + line.TextHeight - line.Descent;
        break;
      }
      top += line.SpaceAbove + line.TextHeight + line.SpaceBelow;
    }
  }
  Height = lb.Height;
  PaintHeight = std::max(lb.ImageBottom - Y, Height);
  OuterBottom = Y + Height;
  PaintBottom = Y + PaintHeight;

  if (Document && !Document->IsCopy && SequenceNumber % 50 == 0 && Document->SectionCount > 0 &&
      (Document->ReportedCycle != Document->LayoutCycle || Document->ReportedSection != SequenceNumber)) {
    if (auto* viewer = dynamic_cast<THtmlViewBase*>(Document->Viewer)) {
      const int base = Document->ProgressBase;
      viewer->ProgressRun(base + int(int64_t(100 - base) * SequenceNumber / Document->SectionCount));
    }
    Document->ReportedCycle = Document->LayoutCycle;
    Document->ReportedSection = SequenceNumber;
  }
  return Height;
}

void TSection::MinMaxWidth(TCanvas* Canvas, int& Min, int& Max) {
  if (CachedMin > 0 && Objects().Count() == 0) {
    Min = CachedMin;
    Max = CachedMax;
    return;
  }
  Min = Max = 0;
  const int len = int(Chars.size());
  if (len == 0) return;
  ThtSectionMeasure ms(*this, Canvas);
  for (const auto& obj : Objects()) {
    obj->DrawLogic(Document, Canvas, FontRuns.GetFontObjAt(obj->Pos), 0, 0);
    if (obj->PercentWidth) continue;
    if (htFloats(obj.get())) {
      const int w = obj->ObjWidth + obj->HSpaceL + obj->HSpaceR;
      Max += w;
      if (obj->Pos >= 0) setBreakFlag(size_t(obj->Pos), 'y');
      Min = std::max(Min, w);
    } else {
      Min = std::max(Min, obj->ObjWidth);
    }
  }
  for (TFormControlObj* ctl : Controls())
    if (!ctl->PercentWidth) Min = std::max(Min, ctl->TotalWidth());

  // Text in one font with nothing else in it: the width of a word or piece
  // is the sum of advances taken in one pass along the text, not a
  // measuring call for each word (a page of one huge paragraph has
  // millions).
  const bool plainText = FontRuns.Count() == 1 && FontRuns[0]->Pos == 0 && Objects().Count() == 0 &&
                         Controls().Count() == 0 && !Edges() && ms.NextSpecial(0) >= len;
  const TFontObj* plainRun = plainText ? ms.SelectRunAt(0) : nullptr;
  std::vector<int> adv;
  int advFrom = 0, advTo = 0;  // adv holds the advances of these characters
  auto advanceAt = [&](int i) {
    if (i < advFrom || i >= advTo) {
      advFrom = i;
      // Pieces start and end on whole pairs.
      if (advFrom > 0 && htIsLowSurrogate(Chars[size_t(advFrom)]) && htIsHighSurrogate(Chars[size_t(advFrom) - 1]))
        --advFrom;
      advTo = std::min(len, advFrom + 4096);
      if (advTo < len && htIsHighSurrogate(Chars[size_t(advTo) - 1]) && htIsLowSurrogate(Chars[size_t(advTo)])) ++advTo;
      adv.resize(size_t(advTo - advFrom));
      ms.M.Advances(Chars.data() + advFrom, advTo - advFrom, adv.data(), nullptr);
    }
    return adv[size_t(i - advFrom)];
  };
  auto measure = [&](int from, int n, bool removeBlanks) {
    if (!plainText) return ms.MeasureChars(from, n, removeBlanks);
    int end = std::min(from + std::max(n, 0), len);
    if (removeBlanks)
      while (end > from && (Chars[size_t(end) - 1] == u' ' || Chars[size_t(end) - 1] == BrkCh)) --end;
    if (end <= from) return 0;
    int64_t w = plainRun ? plainRun->Overhang() : 0;
    for (int i = from; i < end; ++i) w += advanceAt(i);
    return int(std::clamp<int64_t>(w, INT32_MIN, INT32_MAX));
  };
  auto firstIndent = [&](int w) {
    if (TextIndentPercent() > 0 && TextIndentPercent() < 100) return int(int64_t(w) * 100 / (100 - TextIndentPercent()));
    return w + TextIndent();
  };
  auto clampWidth = [](int64_t w) { return int(std::clamp<int64_t>(w, INT32_MIN, INT32_MAX)); };
  int64_t maxPiece = 0;
  bool firstPiece = true;
  auto takePiece = [&](int w) {
    if (firstPiece) w = firstIndent(w);
    maxPiece = std::max<int64_t>(maxPiece, w);
    firstPiece = false;
  };
  // Plain text that breaks at its words is measured in one walk along it:
  // each character's advance is taken once, for the piece between line
  // breaks it belongs to (Max) and for its word (Min).
  const bool oneWalk = plainText && !BreakWord;
  const int64_t overhang = plainRun ? plainRun->Overhang() : 0;
  int walked = 0, pieceStart = 0, trailingBlanks = 0;
  int64_t total = 0, piece = 0, trailing = 0;  // advances of all walked characters, of the piece, of its last blanks
  auto walkTo = [&](int k) {
    for (; walked < k; ++walked) {
      const char16_t c = Chars[size_t(walked)];
      const int a = advanceAt(walked);
      total += a;
      if (c == BrkCh) {  // a piece a line break ends counts all its characters
        takePiece(walked > pieceStart ? clampWidth(piece + overhang) : 0);
        piece = trailing = 0;
        trailingBlanks = 0;
        pieceStart = walked + 1;
        continue;
      }
      piece += a;
      trailing = c == u' ' ? trailing + a : 0;
      trailingBlanks = c == u' ' ? trailingBlanks + 1 : 0;
    }
  };
  // Max: the widest piece between line breaks.
  if (!oneWalk) {
    int start = 0;
    while (start < len) {
      const int brk = ms.NextBreak(start);
      takePiece(measure(start, brk - start, brk >= len));
      start = brk + 1;
    }
  }
  // Min: the widest word.
  const TBreakFlags& flags = BreakFlags();
  auto flag = [&](int i) { return flags[size_t(i)]; };
  if (BreakWord) {
    for (int i = 0; i < len; ++i) {
      int n = (htIsHighSurrogate(Chars[size_t(i)]) && i + 1 < len) ? 2 : 1;
      Min = std::max(Min, ms.MeasureChars(i, n, false));
      i += n - 1;
    }
  } else {
    int i = 0;
    while (i < len && Chars[size_t(i)] == u' ') ++i;
    bool first = true;
    while (i < len) {
      const int start = i;
      if (htIsBreakChar(Chars[size_t(i)]) && flag(i) == 'y') {
        ++i;
      } else {
        while (i < len) {
          const char f = flag(i);
          ++i;
          if (f == 'a' || f == 's') break;
          if (i < len && htIsBreakChar(Chars[size_t(i)]) && flag(i) == 'y') break;
        }
        if (i < len && (Chars[size_t(i)] == u'-' || Chars[size_t(i)] == u'/' || Chars[size_t(i)] == u'?')) ++i;
      }
      int w;
      if (oneWalk) {
        int end = i;
        while (end > start && (Chars[size_t(end) - 1] == u' ' || Chars[size_t(end) - 1] == BrkCh)) --end;
        walkTo(start);
        const int64_t before = total;
        walkTo(end);
        w = end > start ? clampWidth(total - before + overhang) : 0;
      } else {
        w = measure(start, i - start, true);
      }
      if (first) w = firstIndent(w);
      if (flag(i - 1) == 's') w += ms.HyphenWidth(i - 1);
      Min = std::max(Min, w);
      first = false;
      while (i < len) {
        const char16_t c = Chars[size_t(i)];
        if (c != FmCtl && c != ImgPan && c != BrkCh && c != u' ') break;
        ++i;
      }
    }
  }
  if (oneWalk) {
    walkTo(len);
    // The last piece, without its closing blanks.
    if (pieceStart < len) takePiece(len - pieceStart > trailingBlanks ? clampWidth(piece - trailing + overhang) : 0);
  }
  Max = std::max<int64_t>(Max, maxPiece) > INT32_MAX ? INT32_MAX : std::max(Max, int(maxPiece));
  CachedMin = Min;
  CachedMax = Max;
}

void TPreFormated::MinMaxWidth(TCanvas* Canvas, int& Min, int& Max) {
  if (BreakWord) {
    TSection::MinMaxWidth(Canvas, Min, Max);
    return;
  }
  const int len = int(Chars.size());
  if (len == 0) {
    Min = Max = 0;
    return;
  }
  if (CachedMax <= 0) {
    ThtSectionMeasure ms(*this, Canvas);
    CachedMax = ms.MeasureChars(0, len - 1, false);
  }
  Max = CachedMax;
  Min = std::min(Max, 6000);
}

int TPreFormated::DrawLogic(TCanvas* Canvas, int X, int Y, int XRef, int YRef, int AvailWidth, int AvailHeight,
                            int BlockHeight, TIndentManager* IMgr, int& MaxWidth, int& Curs) {
  if (Chars.empty()) {
    LayoutTop = ContentY = Y;
    const int h = FontRuns.Count() > 0 ? FontRuns[0]->FontHeight() : 0;
    Height = PaintHeight = h;
    OuterBottom = PaintBottom = Y + h;
    MaxWidth = 0;
    return h;
  }
  if (BreakWord || !IMgr)
    return TSection::DrawLogic(Canvas, X, Y, XRef, YRef, AvailWidth, AvailHeight, BlockHeight, IMgr, MaxWidth,
                               Curs);
  const int saveWidth = IMgr->Width;
  IMgr->Width = 32000;
  const int result =
      TSection::DrawLogic(Canvas, X, Y, XRef, YRef, AvailWidth, AvailHeight, BlockHeight, IMgr, MaxWidth, Curs);
  IMgr->Width = saveWidth;
  int mn = 0, mx = 0;
  MinMaxWidth(Canvas, mn, mx);
  MaxWidth = mx;
  return result;
}
