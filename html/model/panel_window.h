#pragma once
// The window a PANEL or OBJECT element occupies in a page. What it shows is
// the application's (it receives the window through OnPanelCreate or
// OnObjectTag); the page sizes it and moves it with the text.
#include "platform/gui/stdctrls.h"

class ThtDocument;

class ThvPanel : public TPanel {
public:
  explicit ThvPanel(TComponent* AOwner);
};

// The window of a new panel object: on the document's paint surface, out of
// sight until the page paints it in place.
ThvPanel* CreateDocumentPanel(ThtDocument* Document);
