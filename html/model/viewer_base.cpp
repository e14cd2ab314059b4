#include "html/model/viewer_base.h"

#include <vector>

#include "html/parse/html_common.h"
#include "platform/core/strings.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/canvas.h"
#include "platform/gui/forms.h"
#include "platform/gui/windows.h"

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
