// Painting a laid-out text section: runs with their fonts and colours,
// selection, sub- and superscript, justification, soft hyphens, inline
// images and controls, floats handed to the late-draw list, and the page
// test of printing.
#include <algorithm>
#include <optional>

#include "html/model/block.h"
#include "html/paint/borders.h"
#include "html/model/document.h"
#include "html/model/font_runs.h"
#include "html/forms/form_kinds.h"
#include "html/images/image_object.h"
#include "html/model/indent_manager.h"
#include "html/layout/section_layout.h"
#include "html/model/viewer_base.h"
#include "platform/graphics/canvas.h"

namespace {

TColor inverse(TColor c) { return TColor(ColorToRGB(c) ^ 0xFFFFFF); }

struct SectionPainter {
  TSection& S;
  ThtSectionMeasure Ms;
  TCanvas* Canvas;
  TIndentManager* IMgr;
  ThtDocument* Doc;
  int YOff;
  int SelStart, SelEnd;
  bool ShowSelection;
  bool DummyCaret;  // a caret bar drawn at the selection start (never on paper)

  SectionPainter(TSection& s, TCanvas* canvas, TIndentManager* imgr)
      : S(s), Ms(s, canvas), Canvas(canvas), IMgr(imgr), Doc(s.Document), YOff(s.Document ? s.Document->ScrollY : 0) {
    SelStart = Doc ? Doc->SelStart - S.StartPos : 0;
    SelEnd = Doc ? Doc->SelEnd - S.StartPos : 0;
    ShowSelection = Doc && !Doc->IsCopy && SelEnd > SelStart;
    DummyCaret = Doc && Doc->ShowDummyCaret && !Doc->IsCopy && !Doc->Printing;
  }

  bool selected(int i) const { return ShowSelection && i >= SelStart && i < SelEnd; }

  // y is the line's top on entry; on return the next line's top. First:
  // the line's first character.
  void drawLine(LineRec& line, int first, int X, int& y) {
    y += line.TextHeight + line.SpaceAbove;  // the text's bottom
    drawInlineBorders(line, first, X, y);
    drawText(line, first, X, y);
    y += line.SpaceBelow;
    if (Doc) Doc->FirstOnPage = false;
  }

  // Backgrounds and borders of inline elements (spans with a border) that
  // cover part of the line; a side where the element goes on on another
  // line has no border.
  void drawInlineBorders(const LineRec& line, int first, int blockX, int y) {
    if (!Doc || !Doc->Inlines || Doc->Inlines->Count() == 0 || line.LineChars == 0) return;
    TInlineList& inl = *Doc->Inlines;
    const int end = first + line.LineChars;
    const int x0 = blockX + line.LineOffset;
    for (int k = 0; k < inl.Count(); ++k) {
      const int s = inl.StartOf(k) - S.StartPos, e = inl.EndOf(k) - S.StartPos;
      if (!(s < end && e > first)) continue;
      const bool opensBefore = s < first, goesOn = e > end;
      ThtJustify j1 = lineJustify(S, line), j2 = j1;
      // The box's text lies inside the room the line gave its sides.
      const InlineRec& rec = inl.Items(k);
      int left = opensBefore ? x0 : x0 + Ms.MeasureChars(first, s - first, false, &j1) + rec.InnerLeft;
      int right = x0 + Ms.MeasureChars(first, std::min(e, end) - first, goesOn, &j2) - (goesOn ? 0 : rec.OuterRight);
      // The box spans the fonts of the element's own text, not the line's
      // tallest: a bordered word beside big letters keeps a box of its size.
      int top = line.DrawY, bottom = y;
      {
        const int baseline = y - line.Descent, stop = std::min(e, end);
        int ascent = 0, descent = 0;
        for (int i = std::max(s, first); i < stop;) {
          if (const TFontObj* run = Ms.SelectRunAt(i)) {
            ascent = std::max(ascent, run->FontHeight() - run->Descent());
            descent = std::max(descent, int(run->Descent()));
          }
          i = std::max(i + 1, Ms.TextRunEnd(i, stop));
        }
        if (ascent > 0) {
          top = baseline - ascent + 1;
          bottom = baseline + descent;
        }
      }
      // A bordered image is framed where it is drawn, not by the line's text.
      TFloatingObj* obj = e - s == 1 && s >= first && S.Chars[size_t(s)] == ImgPan ? Ms.ObjectAt(s) : nullptr;
      // A floating picture is drawn apart from the line: its record has no
      // box in the line and is dropped.
      if (obj && htFloats(obj)) continue;
      if (auto* img = dynamic_cast<TImageObj*>(obj)) {
        left += img->HSpaceL;
        right = left + img->ObjWidth;
        top = img->InlineTop(line.DrawY, y - line.Descent, Ms.SelectRunAt(s));
        bottom = top + img->ObjHeight;
      }
      const TMarginArray& m = inl.Items(k).MargArray;
      auto v = [&](TPropertyIndex i) {
        const int32_t x = m[size_t(MA(i))];
        return x == AutoValue || x == NotSetValue ? 0 : x;
      };
      const TRect inner(left - (opensBefore ? 0 : v(piPaddingLeft)), top - YOff - v(piPaddingTop),
                        right + (goesOn ? 0 : v(piPaddingRight)), bottom - YOff + v(piPaddingBottom));
      const TRect outer(inner.Left - (opensBefore ? 0 : v(piBorderLeftWidth)), inner.Top - v(piBorderTopWidth),
                        inner.Right + (goesOn ? 0 : v(piBorderRightWidth)), inner.Bottom + v(piBorderBottomWidth));
      const TColor bg = m[size_t(MA(piBackgroundColor))];
      if (bg != clNone && bg != NotSetValue && bg != AutoValue) htPaint::FillRect(Canvas, inner, bg);
      auto style = [&](TPropertyIndex i, bool off) {
        const int32_t x = m[size_t(MA(i))];
        return off || x < 0 || x > 8 ? bssNone : TBorderStyleType(x);
      };
      auto color = [&](TPropertyIndex i) {
        const int32_t x = m[size_t(MA(i))];
        return x == clNone || x == NotSetValue || x == AutoValue ? TColor(clBlack) : TColor(x);
      };
      DrawBorder(Canvas, outer, inner, Doc->Printing, clNone,
                 {style(piBorderLeftStyle, opensBefore), style(piBorderTopStyle, false),
                  style(piBorderRightStyle, goesOn), style(piBorderBottomStyle, false)},
                 {color(piBorderLeftColor), color(piBorderTopColor), color(piBorderRightColor), color(piBorderBottomColor)});
    }
  }

  void drawText(LineRec& line, int first, int blockX, int y) {
    int x = blockX + line.LineOffset;
    line.DrawX = x;
    line.DrawY = y - line.TextHeight;
    const int baseline = y - line.Descent;
    const int end = first + line.LineChars;
    // A trailing blank or line break is not drawn.
    int drawEnd = end;
    while (drawEnd > first && (S.Chars[size_t(drawEnd) - 1] == u' ' || S.Chars[size_t(drawEnd) - 1] == BrkCh)) --drawEnd;
    ThtJustify just = lineJustify(S, line);
    int i = first;
    while (i < end) {
      const char16_t c = S.Chars[size_t(i)];
      TFontObj* run = Ms.SelectRunAt(i);
      // Inline boxes opening here take their room before the character.
      x += S.EdgeBeforeAt(i);
      if (c == ImgPan) {
        x += drawObject(Ms.ObjectAt(i), run, x, line, baseline);
        x += S.EdgeAfterAt(i);
        ++i;
        continue;
      }
      if (c == FmCtl) {
        if (TFormControlObj* ctl = Ms.ControlAt(i)) x += drawControl(ctl, x, line, y);
        x += S.EdgeAfterAt(i);
        ++i;
        continue;
      }
      int runEnd = Ms.TextRunEnd(i, end);
      // Selection boundaries split runs.
      if (ShowSelection || DummyCaret) {
        if (i < SelStart && runEnd > SelStart) runEnd = SelStart;
        else if (ShowSelection && i < SelEnd && runEnd > SelEnd) runEnd = SelEnd;
      }
      const int n = std::min(runEnd, drawEnd) - i;
      const bool endsLine = runEnd >= drawEnd;
      if (n > 0 && run) {
        TMyFont* font = run->TheFont.get();
        TColor color = font->Color();
        if (Doc && Doc->Printing && !Doc->PrintBlockBackgrounds && (ColorToRGB(color) & 0xE0E0) == 0xE0E0)
          color = TColor(0xA0A0A0);
        int offset = 0;
        if (run->SScript == ASuper) offset = -(run->FontHeight() / 3);
        else if (run->SScript == ASub) offset = run->Descent() / 2 + 1;
        const int by = baseline + offset - YOff;
        const int startX = x;
        const bool isSelected = selected(i);
        if (isSelected) {
          const TColor textColor = font->bgColor != clNone ? font->bgColor : inverse(color);
          x += htPaint::Text(Canvas, x, by, S.Chars.data() + i, n, textColor, true, color, &just);
        } else {
          x += htPaint::Text(Canvas, x, by, S.Chars.data() + i, n, color, font->bgColor != clNone, font->bgColor, &just);
        }
        if (endsLine && line.EndsWithHyphen) {
          const char16_t h = u'-';
          htPaint::Text(Canvas, x, by, &h, 1, color, false, clNone);
        }
        if (DummyCaret && !isSelected) {
          // The caret stands before the run that starts at it, or after the
          // section's last character.
          if (i == SelStart) caretBar(startX, by, run, color);
          if (SelStart == S.Length && endsLine && !S.Lines.empty() && &line == &S.Lines.back())
            caretBar(x, by, run, color);
        }
        if (run->Active() && Doc) {
          auto* viewer = dynamic_cast<THtmlViewBase*>(Doc->Viewer);
          if (viewer && viewer->ShowFocusRect())
            Canvas->DrawFocusRect(TRect(startX, line.DrawY - YOff, x + 1, y - YOff));
        }
      }
      if (runEnd > i) x += S.EdgeAfterAt(runEnd - 1);
      i = runEnd;
    }
  }

  // Places a form control in the line (a print copy paints its look
  // instead); returns the room it takes. y is the text's bottom.
  int drawControl(TFormControlObj* ctl, int x, LineRec& line, int y) {
    if (ctl->Hidden()) return 0;
    const int ht = ctl->Height();
    int top;
    switch (ctl->VertAlign) {
      case ATop: top = line.DrawY + ctl->VSpaceT - YOff; break;
      case AMiddle: top = y - (ht + line.TextHeight) / 2 - YOff; break;
      case ABaseline: top = y - ht - ctl->VSpaceB - line.Descent - YOff; break;
      default: top = y - ht - ctl->VSpaceB - YOff; break;
    }
    const bool radio = dynamic_cast<TRadioButtonFormControlObj*>(ctl) != nullptr;
    const bool check = dynamic_cast<TCheckBoxFormControlObj*>(ctl) != nullptr;
    if (radio) top += 2;
    else if (check) top += 1;
    const int left = x + ctl->HSpaceL;
    if (Doc && Doc->IsCopy) {
      ctl->Draw(Canvas, left, top);
    } else {
      if (!Doc || !Doc->Printing) ctl->YValue = line.DrawY;
      ctl->PlaceAt(left, top);
      if (ctl->Active && (radio || check)) {
        auto* viewer = Doc ? dynamic_cast<THtmlViewBase*>(Doc->Viewer) : nullptr;
        if (viewer && viewer->ShowFocusRect()) {
          TRect r = check ? TRect(left - 3, top - 3, left + 16, top + 16)
                          : ScreenPixelsPerInch() > 100 ? TRect(left - 2, top - 2, left + 18, top + 18)
                                                        : TRect(left - 3, top - 2, left + 16, top + 16);
          Canvas->Brush()->SetColor(clWhite);
          Canvas->DrawFocusRect(r);
        }
      }
    }
    return ctl->TotalWidth();
  }

  // A one-pixel bar as high as the run's font, standing on its bottom.
  void caretBar(int x, int baseline, const TFontObj* run, TColor color) {
    const int bottom = baseline + run->Descent();
    htPaint::FillRect(Canvas, TRect(x, bottom - run->FontHeight(), x + 1, bottom), color);
  }

  // Draws an image or panel at its place in the line; returns the room it takes.
  int drawObject(TFloatingObj* obj, TFontObj* run, int x, LineRec& line, int baseline) {
    if (!obj) return 0;
    if (htFloats(obj)) {
      obj->DrawXX = (IMgr ? IMgr->LeftEdge : 0) + obj->Indent;
      if (auto* img = dynamic_cast<TImageObj*>(obj); img && Doc)
        Doc->DeferredImages.AddImage(img, Canvas, (IMgr ? IMgr->LeftEdge : 0) + obj->Indent, obj->YPosition, baseline,
                                     run);
      else if (auto* panel = dynamic_cast<TPanelObj*>(obj)) {
        const int left = (IMgr ? IMgr->LeftEdge : 0) + obj->Indent;
        if (Doc && Doc->IsCopy) panel->Draw(Canvas, left, obj->YPosition - YOff);
        else panel->PlaceAt(left, obj->YPosition - YOff);
      }
      return 0;
    }
    obj->DrawXX = x + obj->HSpaceL;
    switch (obj->VertAlign) {
      case ATop:
      case ANone: obj->YPosition = line.DrawY + obj->VSpaceT; break;
      case AMiddle: obj->YPosition = baseline - obj->ObjHeight / 2 - line.TextHeight / 4; break;
      default: obj->YPosition = baseline - obj->ObjHeight - obj->VSpaceB; break;
    }
    if (auto* img = dynamic_cast<TImageObj*>(obj)) {
      img->Draw(Canvas, x + obj->HSpaceL, line.DrawY, baseline, run);
    } else if (auto* panel = dynamic_cast<TPanelObj*>(obj)) {
      const int top = obj->YPosition - YOff;
      if (Doc && Doc->IsCopy) panel->Draw(Canvas, x + obj->HSpaceL, top);
      else panel->PlaceAt(x + obj->HSpaceL, top);
    }
    return obj->TotalWidth();
  }
};

}  // namespace

int TSection::Draw(TCanvas* Canvas, const TRect& ARect, TIndentManager* IMgr, int X, int /*XRef*/, int /*YRef*/) {
  if (Chars.empty() || !Document) return LayoutTop + Height;
  const int yOff = Document->ScrollY;
  if (LayoutTop - yOff + PaintHeight + 40 < ARect.Top || LayoutTop - yOff - 40 >= ARect.Bottom)
    return LayoutTop + Height;
  // A trial run of a printed page only finds where the page ends: its
  // lines are passed over, not drawn.
  const bool measureOnly = Document->Printing && Document->PrintMeasureOnly;
  std::optional<SectionPainter> p;
  if (!measureOnly) p.emplace(*this, Canvas, IMgr);
  const bool printing = Document->Printing;
  const bool absolute = ParentBlock && ParentBlock->Positioning == posAbsolute;
  int y = LayoutTop;
  int next = 0;
  for (auto& line : Lines) {
    const int first = next;
    next += line.LineChars;
    const int lineHeight = line.SpaceAbove + line.TextHeight + line.SpaceBelow;
    bool draw;
    if (!printing) {
      draw = y - yOff + line.FullHeight + 40 >= ARect.Top && y - yOff - 40 < ARect.Bottom;
    } else if (y + line.FullHeight <= Document->PageBottom) {
      draw = y + line.FullHeight - 1 >= ARect.Top + yOff && y + line.FullHeight <= Document->PrintDrawLimit;
    } else if (line.FullHeight >= ARect.Height() || Document->PageBreakFlag || absolute ||
               y <= ARect.Top + yOff) {
      // Taller than a page, or already at the page's top: printed (and cut)
      // here rather than pushed on for ever.
      draw = true;
    } else {
      Document->PageBottom = std::min(Document->PageBottom, y);
      draw = false;
    }
    if (draw && p) {
      p->drawLine(line, first, X, y);
    } else {
      if (draw) Document->FirstOnPage = false;
      y += lineHeight;
    }
  }
  return LayoutTop + Height;
}
