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

// Rules and page breaks.

// Tables.
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
