// Panels on paper: a printed page shows what the application draws of its
// panel window, or the panel's box with its alternative text.
#include "html/model/document.h"
#include "html/model/panel_window.h"
#include "html/model/viewer_base.h"
#include "html/paint/borders.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/canvas.h"

void TPanelObj::Draw(TCanvas* Canvas, int X, int Y) {
  if (!Canvas || ObjWidth <= 0 || ObjHeight <= 0) return;
  if (Panel && !Panel->Visible()) return;
  TPen oldPen;
  TBrush oldBrush;
  TFont oldFont;
  oldPen.Assign(*Canvas->Pen());
  oldBrush.Assign(*Canvas->Brush());
  oldFont.Assign(*Canvas->Font());
  const TRect target(X, Y, X + ObjWidth, Y + ObjHeight);
  // The application knows the window it filled, not the copy's: it is
  // asked to draw that one, at the printed size.
  ThvPanel* shown = CopiedFrom && CopiedFrom->Panel ? CopiedFrom->Panel : Panel;
  // A trial of the page (is anything on it?) does not bother the
  // application; the panel's own box answers that as well.
  if (Document && Document->OnPanelPrint && shown && !Document->PrintTrial) {
    TBitmap bitmap(ObjWidth, ObjHeight);
    const TRect old = shown->BoundsRect();
    shown->SetBounds(old.Left, old.Top, ObjWidth, ObjHeight);
    htRaiseEvent(Document->Life, Document->OnPanelPrint, Document->Viewer, shown, &bitmap).UnwindIfGone();
    Canvas->StretchDraw(target, &bitmap);
    shown->SetBoundsRect(old);
  } else {
    Canvas->Brush()->SetStyle(bsSolid);
    Canvas->Brush()->SetColor(Panel ? Panel->Color() : clWhite);
    Canvas->Pen()->SetStyle(psSolid);
    Canvas->Pen()->SetColor(clBlack);
    Canvas->Pen()->SetWidth(1);
    Canvas->Rectangle(target);
    if (!Alt.empty()) {
      Canvas->Font()->SetName(u"Arial");
      Canvas->Font()->SetSize(8);
      Canvas->Font()->SetStyle({});
      Canvas->Font()->SetColor(clBlack);
      Canvas->Brush()->SetStyle(bsClear);
      WrapTextW(Canvas, X + 2, Y + 2, X + ObjWidth - 2, Y + ObjHeight - 2, Alt);
    }
  }
  Canvas->SetPen(oldPen);
  Canvas->SetBrush(oldBrush);
  Canvas->SetFont(oldFont);
}
