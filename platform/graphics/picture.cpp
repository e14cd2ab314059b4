// TJPEGImage and TPicture.
#include "platform/graphics/picture.h"

#include <vector>

#include "platform/core/exception.h"
#include "platform/graphics/metafile.h"

TJPEGImage::TJPEGImage() : FBitmap(std::make_unique<TBitmap>()) {}
TJPEGImage::~TJPEGImage() = default;

void TJPEGImage::Draw(TCanvas& canvas, const TRect& r) { FBitmap->Draw(canvas, r); }

void TJPEGImage::LoadFromStream(TStream& stream) {
  std::int64_t size = stream.Size() - stream.Position();
  if (size <= 0 || size > (std::int64_t(1) << 30)) throw EInvalidGraphic("JPEG image is not valid");
  std::vector<unsigned char> data(static_cast<size_t>(size));
  stream.ReadBuffer(data.data(), size);
  if (KindOfPicture(data.data(), data.size()) != TPictureKind::Jpeg) throw EInvalidGraphic("JPEG image is not valid");
  auto b = std::make_unique<TBitmap>();
  DecodePicture(data.data(), data.size(), *b);
  bool gray = true;
  for (int y = 0; y < b->Height() && gray; ++y) {
    const auto* p = static_cast<const unsigned char*>(b->ScanLine(y));
    for (int x = 0; x < b->Width(); ++x, p += 4)
      if (p[0] != p[1] || p[1] != p[2]) { gray = false; break; }
  }
  FBitmap = std::move(b);
  FData = std::move(data);
  FGrayscale = gray;
  Changed();
}

void TJPEGImage::SaveToStream(TStream& stream) {
  if (!FData.empty()) stream.WriteBuffer(FData.data(), std::int64_t(FData.size()));
}

void TJPEGImage::Assign(const TGraphic& source) {
  if (&source == this) return;
  if (auto* j = dynamic_cast<const TJPEGImage*>(&source)) {
    FBitmap->Assign(*j->FBitmap);
    FData = j->FData;
    FGrayscale = j->FGrayscale;
    FPixelFormat = j->FPixelFormat;
    Changed();
    return;
  }
  TGraphic::Assign(source);
}

// ---- TPicture -------------------------------------------------------------------------

TPicture::TPicture() = default;
TPicture::~TPicture() = default;

void TPicture::changed() {
  if (OnChange) OnChange(this);
}

void TPicture::SetGraphic(TGraphic* value) {
  if (value == FGraphic.get()) return;
  std::unique_ptr<TGraphic> copy;
  if (value) {
    if (dynamic_cast<TMetafile*>(value)) copy = std::make_unique<TMetafile>();
    else if (dynamic_cast<TJPEGImage*>(value)) copy = std::make_unique<TJPEGImage>();
    else copy = std::make_unique<TBitmap>();  // other pictures are kept rendered
    copy->Assign(*value);
  }
  FGraphic = std::move(copy);
  if (FGraphic) FGraphic->OnChange = [this](TObject*) { changed(); };
  changed();
}

TBitmap* TPicture::Bitmap() {
  auto* b = dynamic_cast<TBitmap*>(FGraphic.get());
  if (!b) {
    FGraphic = std::make_unique<TBitmap>();
    FGraphic->OnChange = [this](TObject*) { changed(); };
    b = static_cast<TBitmap*>(FGraphic.get());
    changed();
  }
  return b;
}

void TPicture::LoadFromStream(TStream& stream) {
  std::int64_t start = stream.Position();
  unsigned char head[8] = {};
  std::int64_t n = stream.Read(head, 8);
  stream.SetPosition(start);
  std::unique_ptr<TGraphic> g;
  if (KindOfPicture(head, size_t(n)) != TPictureKind::Unknown) g = std::make_unique<TBitmap>();
  else g = std::make_unique<TMetafile>();
  g->LoadFromStream(stream);
  FGraphic = std::move(g);
  FGraphic->OnChange = [this](TObject*) { changed(); };
  changed();
}

void TPicture::LoadFromFile(const String& fileName) {
  TFileStream s(fileName, fmOpenRead | fmShareDenyWrite);
  LoadFromStream(s);
}

void TPicture::SaveToFile(const String& fileName) {
  if (FGraphic) FGraphic->SaveToFile(fileName);
}
