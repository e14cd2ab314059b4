#pragma once
// Measuring a text section: the shared walk behind line breaking, min/max
// widths, drawing and the position queries. Internal to the layout code.
#include <cstdint>
#include <vector>

#include "html/layout/layout_device.h"
#include "html/model/section.h"

class TImageObj;
class TPanelObj;

// Character classes of line breaking.
inline bool htIsWideChar(char16_t c) { return c >= 0x3000 && !(c >= 0xD800 && c < 0xE000); }
inline bool htIsBreakChar(char16_t c) {
  return c == u' ' || c == FmCtl || c == ImgPan || c == BrkCh || c == u'-' || c == u'/' || c == u'?' ||
         htIsWideChar(c);
}

// The spread of a justified line's blanks.
inline ThtJustify lineJustify(const TSection& S, const LineRec& L) {
  const TLineStretch stretch = S.StretchOf(L);
  return ThtJustify(stretch.ExtraWidth, stretch.BlankCount);
}

// One measuring pass over a section: looks up objects and controls by
// character index without scanning their lists, and keeps the canvas font
// selected across calls.
class ThtSectionMeasure {
public:
  ThtSectionMeasure(TSection& Section, TCanvas* Canvas);

  TSection& S;
  ThtMeasurer M;

  TFloatingObj* ObjectAt(int I) const;
  TFormControlObj* ControlAt(int I) const;
  // Index of the first 2 or 4 placeholder at or after I (Length when none).
  int NextSpecial(int I) const;
  // Index of the first line break character at or after I (Length when none).
  int NextBreak(int I) const;
  // Selects the font of the run at I; returns the run.
  TFontObj* SelectRunAt(int I);
  // End of the run of plain text starting at I (next font change, object,
  // control, or Limit).
  int TextRunEnd(int I, int Limit) const;

  // Width of N characters from From (text with its fonts plus italic
  // overhang, inline objects and controls with their margins, floats 0).
  int MeasureChars(int From, int N, bool RemoveBlanks, ThtJustify* Just = nullptr, bool Tight = false);
  // How many characters from From fit in Width (no floats placed, no
  // soft-hyphen rule); a surrogate pair counts as one.
  int CountCharsInWidth(int Width, int MaxChars, int From, ThtJustify* Just = nullptr);
  int HyphenWidth(int I);
  // Room of inline boxes around the characters From..End-1 (a text run
  // never has room inside it: runs end where a box opens or closes).
  int EdgesOf(int From, int End) const {
    return From < End ? S.EdgeBeforeAt(From) + S.EdgeAfterAt(End - 1) : 0;
  }

private:
  std::vector<int32_t> FSpecials;  // indexes of 2 and 4
  std::vector<int32_t> FBreaks;    // indexes of 8
  std::vector<int32_t> FEdgeStops; // where an inline box opens or after it closes
  std::vector<TFloatingObj*> FObjByIndex;  // parallel to sorted object positions
  std::vector<int32_t> FObjPos;
  std::vector<TFormControlObj*> FCtlByIndex;
  std::vector<int32_t> FCtlPos;
  TMyFont* FCurrentFont = nullptr;
};

// Is the object a floating one (left or right)?
inline bool htFloats(const TFloatingObj* Obj) { return Obj && (Obj->Floating == ALeft || Obj->Floating == ARight); }
