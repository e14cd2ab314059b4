#include "html/view/viewer_base.h"

#include <vector>

#include "html/parse/html_common.h"
#include "platform/core/strings.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/canvas.h"
#include "platform/gui/forms.h"
#include "platform/gui/windows.h"

// ---- image maps ----------------------------------------------------------------

TMapArea::~TMapArea() {
  if (Region) DeleteObject(Region);
}

bool TMapArea::PtInArea(int X, int Y) const { return Region && PtInRegion(Region, X, Y); }

TMapItem::TMapItem() : Areas(std::make_unique<TMapAreaList>()) {}
TMapItem::~TMapItem() = default;

namespace {

enum TShape { shRect, shCircle, shPoly };

constexpr std::size_t MaxCoords = 301;

// The numbers of a COORDS value: each token ends at the first comma or
// blank; further separators are skipped; a token that is no number is 0.
std::vector<int> readCoords(const String& value) {
  std::vector<int> result;
  const String s = Trim(value);
  std::size_t i = 0;
  while (i < s.size() && result.size() < MaxCoords) {
    std::size_t j = i;
    while (j < s.size() && s[j] != u',' && s[j] != u' ') ++j;
    result.push_back(StrToIntDef(s.substr(i, j - i), 0));
    while (j < s.size() && (s[j] == u',' || s[j] == u' ')) ++j;
    i = j;
  }
  return result;
}

HRGN makeRegion(TShape shape, const std::vector<int>& c) {
  switch (shape) {
    case shRect:
      if (c.size() < 4) return nullptr;
      return CreateRectRgn(c[0], c[1], c[2] + 1, c[3] + 1);
    case shCircle:
      if (c.size() < 3) return nullptr;
      return CreateEllipticRgn(c[0] - c[2], c[1] - c[2], c[0] + c[2] + 1, c[1] + c[2] + 1);
    case shPoly: {
      if (c.size() < 6) return nullptr;
      std::vector<TPoint> pts;
      for (std::size_t k = 0; k + 1 < c.size(); k += 2) pts.push_back(TPoint{c[k], c[k + 1]});
      return CreatePolygonRgn(pts.data(), int(pts.size()), WINDING);
    }
  }
  return nullptr;
}

}  // namespace

void TMapItem::AddArea(const TAttributeList* Attrib) {
  if (Areas->Count() >= MaxAreas || !Attrib) return;
  auto area = std::make_unique<TMapArea>();
  TShape shape = shRect;
  std::vector<int> coords;
  for (const auto& a : *Attrib) {
    switch (a->Symbol) {
      case symHref: area->HRef = a->Text; break;
      case symNoHref: area->HRef.clear(); break;
      case symTarget: area->Target = a->Text; break;
      case symTitle: area->Title = a->Text; break;
      case symShape: {
        const String kind = htLowerCase(a->Text).substr(0, 4);
        if (kind == u"circ") shape = shCircle;
        else if (kind == u"poly") shape = shPoly;
        else if (kind == u"rect") shape = shRect;
        break;
      }
      case symCoords: coords = readCoords(a->Text); break;
      default: break;
    }
  }
  area->Region = makeRegion(shape, coords);
  if (!area->Region) return;
  Areas->Add(std::move(area));
}

bool TMapItem::GetURL(int X, int Y, TUrlTarget*& URLTarg, String& ATitle) const {
  ATitle.clear();
  for (const auto& area : *Areas) {
    if (!area->PtInArea(X, Y)) continue;
    if (area->HRef.empty()) return false;
    URLTarg = new TUrlTarget();
    URLTarg->URL = area->HRef;
    URLTarg->Target = area->Target;
    ATitle = area->Title;
    return true;
  }
  return false;
}

// ---- the id list ---------------------------------------------------------------

TIDObjectList::TIDObjectList() { SetSorted(true); }

TIDObjectList::~TIDObjectList() { Clear(); }

int TIDObjectList::AddObject(const String& S, TObject* AObject) {
  int index;
  if (Find(S, index)) {
    if (auto* old = dynamic_cast<TIDObject*>(Objects(index)); old && old->FreeMe()) delete old;
    Delete(index);
  }
  return TStringList::AddObject(S, AObject);
}

void TIDObjectList::Clear() {
  for (int i = 0; i < Count(); ++i)
    if (auto* obj = dynamic_cast<TIDObject*>(Objects(i)); obj && obj->FreeMe()) delete obj;
  TStringList::Clear();
}

TIDObject* TIDObjectList::FindObject(const String& S) const {
  int index;
  if (!Find(S, index)) return nullptr;
  return dynamic_cast<TIDObject*>(Objects(index));
}

// ---- shared objects ------------------------------------------------------------

TMemoryStream* WaitStream() {
  static TMemoryStream stream;
  return &stream;
}

TMemoryStream* ErrorStream() {
  static TMemoryStream stream;
  return &stream;
}

namespace {

constexpr int PlaceholderSize = 16;

// A framed square with a red cross: the picture that could not be shown.
std::unique_ptr<TBitmap> makeErrorBitmap() {
  auto bmp = std::make_unique<TBitmap>(PlaceholderSize, PlaceholderSize);
  TCanvas* c = bmp->Canvas();
  c->Brush()->SetColor(clWhite);
  c->FillRect(TRect{0, 0, PlaceholderSize, PlaceholderSize});
  c->Brush()->SetColor(clGray);
  c->FrameRect(TRect{0, 0, PlaceholderSize, PlaceholderSize});
  c->Pen()->SetColor(clRed);
  c->Pen()->SetWidth(2);
  c->MoveTo(4, 4);
  c->LineTo(PlaceholderSize - 4, PlaceholderSize - 4);
  c->MoveTo(PlaceholderSize - 4, 4);
  c->LineTo(4, PlaceholderSize - 4);
  return bmp;
}

}  // namespace

TBitmap* DefBitmap() {
  static std::unique_ptr<TBitmap> bmp = [] {
    auto b = std::make_unique<TBitmap>(PlaceholderSize, PlaceholderSize);
    TCanvas* c = b->Canvas();
    c->Brush()->SetColor(clWhite);
    c->FillRect(TRect{0, 0, PlaceholderSize, PlaceholderSize});
    c->Brush()->SetColor(clSilver);
    c->FrameRect(TRect{0, 0, PlaceholderSize, PlaceholderSize});
    return b;
  }();
  return bmp.get();
}

TBitmap* ErrorBitmap() {
  static std::unique_ptr<TBitmap> bmp = makeErrorBitmap();
  return bmp.get();
}

TBitmap* ErrorBitmapMask() {
  // Opaque everywhere: black in a mask is where the picture shows.
  static std::unique_ptr<TBitmap> bmp = [] {
    auto b = std::make_unique<TBitmap>(PlaceholderSize, PlaceholderSize);
    b->Canvas()->Brush()->SetColor(clBlack);
    b->Canvas()->FillRect(TRect{0, 0, PlaceholderSize, PlaceholderSize});
    return b;
  }();
  return bmp.get();
}

void RegisterViewerCursors() {
  static bool done = false;
  if (done || !Screen) return;
  done = true;
  Screen->SetCursors(HandCursor, LoadStandardCursor(crHandPoint));
  Screen->SetCursors(UpDownCursor, LoadStandardCursor(crSizeNS));
  Screen->SetCursors(UpOnlyCursor, LoadStandardCursor(crUpArrow));
  Screen->SetCursors(DownOnlyCursor, LoadStandardCursor(crSizeNS));
}
