#include "platform/graphics/icon.h"

#include <cstring>

TIcon::TIcon() = default;
TIcon::~TIcon() = default;

bool TIcon::Empty() const { return !FBitmap || FBitmap->Empty(); }
int TIcon::Width() const { return FBitmap ? FBitmap->Width() : 0; }
int TIcon::Height() const { return FBitmap ? FBitmap->Height() : 0; }

void TIcon::Assign(const TIcon& Source) {
  if (&Source == this) return;
  if (Source.Empty()) {
    FBitmap.reset();
  } else {
    FBitmap = std::make_unique<TBitmap>();
    FBitmap->Assign(*Source.FBitmap);
  }
  changed();
}

void TIcon::AssignBitmap(TBitmap* Source) {
  if (!Source || Source->Empty()) {
    FBitmap.reset();
    changed();
    return;
  }
  auto copy = std::make_unique<TBitmap>(Source->Width(), Source->Height());
  copy->SetPixelFormat(pf32bit);
  const bool hasAlpha = Source->PixelFormat() == pf32bit;
  const int w = Source->Width(), h = Source->Height();
  const std::uint32_t key = static_cast<std::uint32_t*>(Source->ScanLine(h - 1))[0] & 0x00FFFFFF;
  for (int y = 0; y < h; ++y) {
    const auto* from = static_cast<const std::uint32_t*>(Source->ScanLine(y));
    auto* to = static_cast<std::uint32_t*>(copy->ScanLine(y));
    for (int x = 0; x < w; ++x) {
      const std::uint32_t p = from[x];
      if (hasAlpha) to[x] = p;
      else to[x] = (p & 0x00FFFFFF) == key ? 0 : (p | 0xFF000000u);
    }
  }
  copy->SetAlphaFormat(afPremultiplied);
  FBitmap = std::move(copy);
  changed();
}

void TIcon::changed() {
  if (OnChange) OnChange(this);
}
