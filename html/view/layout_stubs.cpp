// Placeholder bodies of the layout, drawing and position-query methods of
// the document model. The layout code replaces this file with its own.
#include "html/view/block.h"
#include "html/view/document.h"
#include "html/view/rule_page.h"
#include "html/view/section.h"
#include "html/view/table.h"

// Text sections.
bool TSection::CursorToXY(TCanvas*, int, int&, int&) { return false; }
int TSection::FindCursor(TCanvas*, int, int, int&, int&, int&, bool&) { return -1; }
int TSection::FindDocPos(int, bool) { return -1; }
int TSection::FindSourcePos(int) { return -1; }
int TSection::FindString(int, const String&, bool) { return -1; }
int TSection::FindStringR(int, const String&, bool) { return -1; }
bool TSection::GetChAtPos(int, char16_t&, TObject*&) { return false; }
uint8_t TSection::GetURL(TCanvas*, int, int, std::unique_ptr<TUrlTarget>& UrlTarg,
                         TFormControlObj*&, String&) {
  UrlTarg.reset();
  return 0;
}
bool TSection::PtInObject(int, int, TObject*&, int&, int&) { return false; }
void TSection::CopyToClipboard() {}

// Blocks.
int TBlockLI::DrawLogic(TCanvas* Canvas, int X, int Y, int XRef, int YRef, int AvailWidth,
                        int AvailHeight, int BlockHeight, TIndentManager* IMgr, int& MaxWidth,
                        int& Curs) {
  return TBlock::DrawLogic(Canvas, X, Y, XRef, YRef, AvailWidth, AvailHeight, BlockHeight, IMgr,
                           MaxWidth, Curs);
}
int TBlockLI::Draw(TCanvas* Canvas, const TRect& ARect, TIndentManager* IMgr, int X, int XRef, int YRef) {
  return TBlock::Draw(Canvas, ARect, IMgr, X, XRef, YRef);
}
int TBodyBlock::DrawLogic(TCanvas* Canvas, int X, int Y, int XRef, int YRef, int AvailWidth,
                          int AvailHeight, int BlockHeight, TIndentManager* IMgr, int& MaxWidth,
                          int& Curs) {
  return TBlock::DrawLogic(Canvas, X, Y, XRef, YRef, AvailWidth, AvailHeight, BlockHeight, IMgr,
                           MaxWidth, Curs);
}
int TBodyBlock::Draw(TCanvas* Canvas, const TRect& ARect, TIndentManager* IMgr, int X, int XRef, int YRef) {
  return TBlock::Draw(Canvas, ARect, IMgr, X, XRef, YRef);
}
uint8_t TBodyBlock::GetURL(TCanvas* Canvas, int X, int Y, std::unique_ptr<TUrlTarget>& UrlTarg,
                           TFormControlObj*& FormControl, String& ATitle) {
  return TBlock::GetURL(Canvas, X, Y, UrlTarg, FormControl, ATitle);
}
int TTableBlock::BorderWidthDefault() { return Table ? Table->BorderWidth : 0; }
int TTableBlock::FindWidth(TCanvas* Canvas, int AWidth, int AHeight, int AutoCount) {
  return TBlock::FindWidth(Canvas, AWidth, AHeight, AutoCount);
}
void TTableBlock::MinMaxWidth(TCanvas* Canvas, int& Min, int& Max) { TBlock::MinMaxWidth(Canvas, Min, Max); }
int TTableBlock::DrawLogic(TCanvas* Canvas, int X, int Y, int XRef, int YRef, int AvailWidth,
                           int AvailHeight, int BlockHeight, TIndentManager* IMgr, int& MaxWidth,
                           int& Curs) {
  return TBlock::DrawLogic(Canvas, X, Y, XRef, YRef, AvailWidth, AvailHeight, BlockHeight, IMgr,
                           MaxWidth, Curs);
}
int TTableBlock::Draw(TCanvas* Canvas, const TRect& ARect, TIndentManager* IMgr, int X, int XRef, int YRef) {
  return TBlock::Draw(Canvas, ARect, IMgr, X, XRef, YRef);
}
void TTableBlock::AddSectionsToList() { TBlock::AddSectionsToList(); }
int TTableAndCaptionBlock::FindWidth(TCanvas* Canvas, int AWidth, int AHeight, int AutoCount) {
  return TBlock::FindWidth(Canvas, AWidth, AHeight, AutoCount);
}
void TTableAndCaptionBlock::MinMaxWidth(TCanvas* Canvas, int& Min, int& Max) { TBlock::MinMaxWidth(Canvas, Min, Max); }
int THRBlock::FindWidth(TCanvas* Canvas, int AWidth, int AHeight, int AutoCount) {
  return TBlock::FindWidth(Canvas, AWidth, AHeight, AutoCount);
}
int TFieldsetBlock::DrawLogic(TCanvas* Canvas, int X, int Y, int XRef, int YRef, int AvailWidth,
                              int AvailHeight, int BlockHeight, TIndentManager* IMgr, int& MaxWidth,
                              int& Curs) {
  return TBlock::DrawLogic(Canvas, X, Y, XRef, YRef, AvailWidth, AvailHeight, BlockHeight, IMgr,
                           MaxWidth, Curs);
}
void TFieldsetBlock::DrawBlockBorder(TCanvas*, const TRect&, const TRect&) {}
void TFieldsetBlock::ContentMinMax(TCanvas* Canvas, int& Min, int& Max) { TBlock::ContentMinMax(Canvas, Min, Max); }

// Rules and page breaks.
int THorzLine::DrawLogic(TCanvas* Canvas, int X, int Y, int XRef, int YRef, int AvailWidth,
                         int AvailHeight, int BlockHeight, TIndentManager* IMgr, int& MaxWidth,
                         int& Curs) {
  Height = RuleHeight;
  return TSectionBase::DrawLogic(Canvas, X, Y, XRef, YRef, AvailWidth, AvailHeight, BlockHeight,
                                 IMgr, MaxWidth, Curs);
}
int THorzLine::Draw(TCanvas*, const TRect&, TIndentManager*, int, int, int) { return LayoutTop + Height; }
void THorzLine::CopyToClipboard() {}
int TPage::Draw(TCanvas*, const TRect&, TIndentManager*, int, int, int) { return LayoutTop + Height; }

// Tables.
void THtmlTable::Initialize() { Initialized = true; }
int THtmlTable::DrawLogic(TCanvas* Canvas, int X, int Y, int XRef, int YRef, int AvailWidth,
                          int AvailHeight, int BlockHeight, TIndentManager* IMgr, int& MaxWidth,
                          int& Curs) {
  return TSectionBase::DrawLogic(Canvas, X, Y, XRef, YRef, AvailWidth, AvailHeight, BlockHeight,
                                 IMgr, MaxWidth, Curs);
}
int THtmlTable::Draw(TCanvas*, const TRect&, TIndentManager*, int, int, int) { return LayoutTop + Height; }
void THtmlTable::MinMaxWidth(TCanvas*, int& Min, int& Max) { Min = Max = 0; }
uint8_t THtmlTable::GetURL(TCanvas*, int, int, std::unique_ptr<TUrlTarget>& UrlTarg,
                           TFormControlObj*&, String&) {
  UrlTarg.reset();
  return 0;
}
bool THtmlTable::PtInObject(int, int, TObject*&, int&, int&) { return false; }
int THtmlTable::FindCursor(TCanvas*, int, int, int&, int&, int&, bool&) { return -1; }
bool THtmlTable::CursorToXY(TCanvas*, int, int&, int&) { return false; }
int THtmlTable::FindDocPos(int, bool) { return -1; }
int THtmlTable::FindSourcePos(int) { return -1; }
int THtmlTable::FindString(int, const String&, bool) { return -1; }
int THtmlTable::FindStringR(int, const String&, bool) { return -1; }
bool THtmlTable::GetChAtPos(int, char16_t&, TObject*&) { return false; }
void THtmlTable::AddSectionsToList() { TSectionBase::AddSectionsToList(); }
void THtmlTable::CopyToClipboard() {}

// The document.
int ThtDocument::DoLogic(TCanvas* Canvas, int Y, int Width, int AvailHeight, int BlockHeight,
                         int& ScrollWidth, int& Curs) {
  return TCell::DoLogic(Canvas, Y, Width, AvailHeight, BlockHeight, ScrollWidth, Curs);
}
int ThtDocument::Draw(TCanvas* Canvas, const TRect& ARect, int ClipWidth, int X, int Y, int XRef, int YRef) {
  return TCell::Draw(Canvas, ARect, ClipWidth, X, Y, XRef, YRef);
}
uint8_t ThtDocument::GetURL(TCanvas* Canvas, int X, int Y, std::unique_ptr<TUrlTarget>& UrlTarg,
                            TFormControlObj*& FormControl, String& ATitle) {
  return TCell::GetURL(Canvas, X, Y, UrlTarg, FormControl, ATitle);
}
bool ThtDocument::CursorToXY(TCanvas* Canvas, int Cursor, int& X, int& Y) {
  return TCell::CursorToXY(Canvas, Cursor, X, Y);
}
int ThtDocument::FindDocPos(int SourcePos, bool Prev) {
  const int result = TCell::FindDocPos(SourcePos, Prev);
  return result < 0 ? Length : result;
}
void ThtDocument::SetScrollY(int Y) {
  ScrollY = Y;
  ControlsPending = true;
}
TSectionBase* ThtDocument::FindItemAtY(int, int& TopPos, int& Index) const {
  TopPos = 0;
  Index = -1;
  return nullptr;
}
int ThtDocument::SelectionLength() { return 0; }
void ThtDocument::CopySelectionToClipboard() {}
int ThtDocument::CopySelectionToBuffer(char16_t* Buffer, int BufSize) {
  if (BufSize >= 1) {
    Buffer[0] = 0;
    return 1;
  }
  return 0;
}
void ThtDocument::SetHoverControlPressed(bool) {}
void ThtDocument::ClearHover() { HoverLink = nullptr; HoverControl = nullptr; }

// Panels.
void TPanelObj::Draw(TCanvas*, int, int) {}
