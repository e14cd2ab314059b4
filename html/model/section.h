#pragma once
// A text section: one paragraph of inline content (characters with their
// font runs, inline and floating objects and form controls), and its
// preformatted kind.
#include <cstdint>
#include <memory>
#include <vector>

#include "html/model/break_flags.h"
#include "html/model/object_pool.h"
#include "html/model/floating_objects.h"
#include "html/model/font_runs.h"
#include "html/forms/form_controls.h"
#include "html/model/section_base.h"
#include "html/model/small_list.h"

class TokenObj;
class TPanelObj;
class TImageObj;

// Placeholder characters in section text.
constexpr char16_t FmCtl = 2;      // a form control
constexpr char16_t ImgPan = 4;     // an image, panel or object
constexpr char16_t BrkCh = 8;      // a line break

// Where a run of consecutive source positions starts: the characters of a
// run stand one source step apart (see TSection::SourceStep).
struct IndexObj {
  int32_t Pos = 0;    // character index
  int32_t Index = 0;  // source position
};

// One laid-out line (written by layout, read by drawing and queries).
// The section holds its lines by value, the first (most sections have one)
// in its own room. A line starts where the one before it ends (the first
// at character 0), so its first character is counted along the lines.
struct LineRec {
  int32_t SpaceAbove = 0;
  int32_t SpaceBelow = 0;
  int32_t TextHeight = 0;
  int32_t FullHeight = 0;
  int32_t LineChars : 31 = 0;
  bool EndsWithHyphen : 1 = false;
  int32_t Descent = 0;
  int32_t LineOffset = 0;
  int32_t DrawX = 0;
  int32_t Room = 0;
  int32_t DrawY = 0;
};

// The room a justified line spreads over the blanks it draws.
struct TLineStretch {
  int32_t ExtraWidth = 0;
  int32_t BlankCount = 0;
};

class TSection : public TSectionBase {
public:
  TSection(ThtDocument* Document, TAttributeList* L, TProperties* Prop, const TUrlTarget* AnURL,
           TCellBasic* ACell, bool FirstItem);
  ~TSection() override;

  std::unique_ptr<TSectionBase> CreateCopy(ThtDocument* NewDocument) const override;
  TSection* AsSection() override { return this; }

  // Building.
  void AddChar(char16_t C, int Index);
  virtual void AddTokenObj(TokenObj& T);
  // N characters with their source positions.
  void AddRun(const char16_t* P, const int32_t* Indexes, int N);
  // Appends text whose characters take consecutive source positions from Index.
  void AddText(const String& S, const std::vector<int32_t>& Indexes);
  virtual void FinishText(int EndPos);
  void AllowBreakAfterLast();
  void ChangeFont(TProperties* Prop);
  // Sy = symHref starts a link, anything else ends it.
  void HRef(THtmlSymbol Sy, ThtDocument* Document, const TUrlTarget* AnURL, TProperties* Prop);
  TImageObj* AddImage(TAttributeList* L, TCellBasic* ACell, int Index);
  TPanelObj* AddPanel(TAttributeList* L, TCellBasic* ACell, int Index);
  std::unique_ptr<TPanelObj> CreatePanel(TAttributeList* L, TCellBasic* ACell);
  void AddObject(std::unique_ptr<TFloatingObj> Obj, int Index);
  // Makes the control of an INPUT, SELECT or TEXTAREA element, hands it to
  // its form (CurrentForm, or an implicit form that becomes current) and
  // places it in the text.
  TFormControlObj* AddFormControl(THtmlSymbol Which, ThtDocument* AMasterList, TAttributeList* L,
                                  TCellBasic* ACell, int Index, TProperties* Prop, ThtmlForm*& CurrentForm);
  // Takes the section out of the document's lists before it is dropped.
  void DetachFromDocument();
  bool Finished() const { return FFinished; }
  // Finished text without line breaks, objects or controls in it: the
  // passes over it need not look for them.
  bool PlainChars() const { return FPlainChars; }
  bool IsPreformatted() const { return FPreformatted; }

  // Layout, drawing and queries (bodies belong to the layout code).
  int DrawLogic(TCanvas* Canvas, int X, int Y, int XRef, int YRef, int AvailWidth,
                int AvailHeight, int BlockHeight, TIndentManager* IMgr, int& MaxWidth,
                int& Curs) override;
  int Draw(TCanvas* Canvas, const TRect& ARect, TIndentManager* IMgr, int X, int XRef,
           int YRef) override;
  void MinMaxWidth(TCanvas* Canvas, int& Min, int& Max) override;
  bool CursorToXY(TCanvas* Canvas, int Cursor, int& X, int& Y) override;
  int FindCursor(TCanvas* Canvas, int X, int Y, int& XR, int& YR, int& CaretHt,
                 bool& Intext) override;
  int FindDocPos(int SourcePos, bool Prev) override;
  int FindSourcePos(int DocPos) override;
  int FindString(int From, const String& ToFind, bool MatchCase) override;
  int FindStringR(int From, const String& ToFind, bool MatchCase) override;
  bool GetChAtPos(int Pos, char16_t& Ch, TObject*& Obj) override;
  uint8_t GetURL(TCanvas* Canvas, int X, int Y, std::unique_ptr<TUrlTarget>& UrlTarg,
                 TFormControlObj*& FormControl, String& ATitle) override;
  bool PtInObject(int X, int Y, TObject*& Obj, int& IX, int& IY) override;
  void CopyToClipboard() override;

  // The small fields first: they take the room the item's fields leave.
  TClearType ClearKind = clrNone;
  uint8_t Alignment : 3 = 1;  // 1 left, 2 centre, 3 right, 4 justify
  // The distance in the source between two consecutive characters of a
  // run: 2 for a UTF-16 source, 1 for every other.
  uint8_t SourceStep : 2 = 1;
  bool BreakWord : 1 = false;
  // Set when an anchor name was entered in this section: it is kept even
  // without characters.
  bool AnchorName : 1 = false;

protected:
  bool FPreformatted : 1 = false;
  bool FFinished : 1 = false;
  bool FPlainChars : 1 = false;

public:
  // The section's place among the document's sections with text (for
  // the progress of a layout).
  int32_t SequenceNumber = 0;
  String Chars;
  // Where lines may break (see TBreakFlags): held apart with the rarer
  // data, as most text breaks at its blanks only and keeps no flags.
  const TBreakFlags& BreakFlags() const {
    static const TBreakFlags none;
    return FExtras ? FExtras->BreakFlags : none;
  }
  TFontList FontRuns;
  // The inline and floating objects, and the form controls (not owning:
  // the forms own their controls). Held apart with the room of inline
  // boxes and the first line's indent, as most sections have none of them.
  const TFloatingObjList& Objects() const;
  const TFormControlObjList& Controls() const;
  // The source position of every character, as runs: kept this way while
  // the text is built too, so that a long text costs no position array.
  TSmallList<IndexObj> SourceRuns;
  int32_t LineHeight = -1;
  int32_t CachedMin = 0, CachedMax = 0;
  int32_t WidestLine = 0;

protected:
  struct TExtras;
  std::unique_ptr<TExtras> FExtras;

public:
  TSmallList<LineRec> Lines;
  // Horizontal room that inline boxes (bordered or padded elements) take
  // before and after a character, one entry a character where a side has
  // any; none at all when no box touches the section (most sections).
  // Placed by the document before each layout.
  struct TEdges {
    std::vector<int32_t> Before, After;
  };
  const TEdges* Edges() const { return FExtras ? FExtras->Edges.get() : nullptr; }
  TEdges& OwnEdges();
  void DropEdges() {
    if (FExtras) FExtras->Edges.reset();
  }
  int EdgeBeforeAt(int I) const {
    const TEdges* e = Edges();
    return e && !e->Before.empty() ? e->Before[size_t(I)] : 0;
  }
  int EdgeAfterAt(int I) const {
    const TEdges* e = Edges();
    return e && !e->After.empty() ? e->After[size_t(I)] : 0;
  }
  // The first line's indent (pixels; while laid out, also from a
  // percentage) and the percentage of the width it was given as.
  int32_t TextIndent() const { return FExtras ? FExtras->TextIndent : 0; }
  int32_t TextIndentPercent() const { return FExtras ? FExtras->TextIndentPercent : 0; }
  // How line L (one of Lines) is stretched: kept apart, as only justified
  // text is.
  TLineStretch StretchOf(const LineRec& L) const {
    const size_t i = size_t(&L - Lines.data());
    return FExtras && i < FExtras->Stretch.size() ? FExtras->Stretch[i] : TLineStretch{};
  }
  void SetStretch(size_t Line, TLineStretch S);
  // Source position of the first character, -1 when there is none.
  int32_t FirstSourcePos() const { return SourceRuns.empty() ? -1 : SourceRuns.front().Index; }

protected:
  TSection(ThtDocument* NewDocument, const TSection& Source);
  // The steps shared by both kinds after trimming.
  void finishCommon(int EndPos);
  void appendRaw(const char16_t* P, const int32_t* Indexes, int N, char Flag);
  // The source position of character I while building (EndPos past the
  // characters).
  int32_t positionAt(int32_t I, int32_t EndPos) const;
  struct TExtras {
    TExtras() = default;
    TExtras(ThtDocument* NewDocument, const TExtras& Source)
        : BreakFlags(Source.BreakFlags), Objects(NewDocument, Source.Objects), Controls(Source.Controls),
          Edges(Source.Edges ? std::make_unique<TEdges>(*Source.Edges) : nullptr), TextIndent(Source.TextIndent),
          TextIndentPercent(Source.TextIndentPercent) {}
    TBreakFlags BreakFlags;
    TFloatingObjList Objects;
    TFormControlObjList Controls;
    std::unique_ptr<TEdges> Edges;
    int32_t TextIndent = 0;
    int32_t TextIndentPercent = 0;
    // Of each line up to the last stretched one (laid out again, not copied).
    std::vector<TLineStretch> Stretch;
  };
  TExtras& extras();
  // Writes the flags of N characters from I on: anything but 'y' makes
  // room for them.
  void setBreakFlags(size_t I, size_t N, char Flag) {
    if (Flag != 'y') extras().BreakFlags.Fill(I, N, Flag);
    else if (FExtras) FExtras->BreakFlags.Fill(I, N, Flag);
  }
  void setBreakFlag(size_t I, char Flag) { setBreakFlags(I, 1, Flag); }
};

// Preformatted text: no trimming, no wrapping.
class TPreFormated : public TSection {
public:
  TPreFormated(ThtDocument* Document, TAttributeList* L, TProperties* Prop,
               const TUrlTarget* AnURL, TCellBasic* ACell, bool FirstItem);
  std::unique_ptr<TSectionBase> CreateCopy(ThtDocument* NewDocument) const override;
  void FinishText(int EndPos) override;
  void MinMaxWidth(TCanvas* Canvas, int& Min, int& Max) override;
  int DrawLogic(TCanvas* Canvas, int X, int Y, int XRef, int YRef, int AvailWidth,
                int AvailHeight, int BlockHeight, TIndentManager* IMgr, int& MaxWidth,
                int& Curs) override;

protected:
  TPreFormated(ThtDocument* NewDocument, const TPreFormated& Source);
};
