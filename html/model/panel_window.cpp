#include "html/model/panel_window.h"

#include "html/model/document.h"
#include "platform/graphics/colors.h"

ThvPanel::ThvPanel(TComponent* AOwner) : TPanel(AOwner) {}

ThvPanel* CreateDocumentPanel(ThtDocument* Document) {
  auto* panel = new ThvPanel(nullptr);
  panel->SetBounds(-4000, -4000, 30, 20);
  panel->SetBevelOuter(bvNone);
  panel->SetBevelInner(bvNone);
  panel->SetBorderStyle(bsSingle);
  panel->SetColor(clWhite);
  panel->SetCtl3D(false);
  panel->SetShowCaption(false);
  if (Document && Document->PaintPanel) panel->SetParent(Document->PaintPanel);
  panel->SetVisible(true);
  return panel;
}
