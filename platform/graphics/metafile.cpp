// Metafiles over QPicture. Text is recorded as glyph outlines (see the text
// routines), so a page plays back with every glyph where it was measured,
// at any scale.
#include "platform/graphics/metafile.h"

#include <QBuffer>
#include <QPicture>
#include <cstring>

#include "platform/core/exception.h"
#include "platform/graphics/gdi_internal.h"

struct TMetafile::Impl {
  QPicture picture;
  bool recorded = false;
  int outline = 0;  // 1 when thin outlines reach one pixel past the bounds
  int width = 0, height = 0;  // 0 = from the recorded extent
  int dpiX = 96, dpiY = 96;
};

namespace {
constexpr char kMagic[8] = {'T', 'M', 'X', 'M', 'E', 'T', 'A', '1'};
}

TMetafile::TMetafile() : FImpl(std::make_unique<Impl>()) {}
TMetafile::~TMetafile() = default;

int TMetafile::Width() const {
  if (FImpl->width > 0) return FImpl->width;
  QRect b = FImpl->picture.boundingRect();
  return FImpl->recorded && b.isValid() ? std::max(0, b.right() + 1 + FImpl->outline) : 0;
}
int TMetafile::Height() const {
  if (FImpl->height > 0) return FImpl->height;
  QRect b = FImpl->picture.boundingRect();
  return FImpl->recorded && b.isValid() ? std::max(0, b.bottom() + 1 + FImpl->outline) : 0;
}
void TMetafile::SetWidth(int value) {
  FImpl->width = std::max(0, value);
  Changed();
}
void TMetafile::SetHeight(int value) {
  FImpl->height = std::max(0, value);
  Changed();
}
int TMetafile::MMWidth() const { return MulDiv(Width(), 2540, FImpl->dpiX); }
int TMetafile::MMHeight() const { return MulDiv(Height(), 2540, FImpl->dpiY); }
void TMetafile::SetMMWidth(int value) { SetWidth(MulDiv(value, FImpl->dpiX, 2540)); }
void TMetafile::SetMMHeight(int value) { SetHeight(MulDiv(value, FImpl->dpiY, 2540)); }
bool TMetafile::Empty() const { return !FImpl->recorded; }

void TMetafile::Clear() {
  FImpl = std::make_unique<Impl>();
  Changed();
}

void TMetafile::Draw(TCanvas& canvas, const TRect& r) {
  if (Empty() || Width() <= 0 || Height() <= 0) return;
  HDC dc = canvas.Handle();
  if (!dc->ready()) return;
  QPainter& p = *dc->painter;
  p.save();
  p.translate(r.Left, r.Top);
  p.scale(double(r.Width()) / Width(), double(r.Height()) / Height());
  p.setClipRect(QRect(0, 0, Width(), Height()), Qt::IntersectClip);
  p.drawPicture(0, 0, FImpl->picture);
  p.restore();
  dc->dirty = true;
}

void TMetafile::SaveToStream(TStream& stream) {
  QByteArray bytes;
  {
    QBuffer buf(&bytes);
    buf.open(QIODevice::WriteOnly);
    FImpl->picture.save(&buf);
  }
  stream.WriteBuffer(kMagic, 8);
  // The size is stored as it reads now, so the copy plays back the same.
  std::int32_t head[5] = {Width(), Height(), FImpl->dpiX, FImpl->dpiY, std::int32_t(bytes.size())};
  for (std::int32_t v : head) {
    std::uint8_t le[4] = {std::uint8_t(v), std::uint8_t(v >> 8), std::uint8_t(v >> 16), std::uint8_t(v >> 24)};
    stream.WriteBuffer(le, 4);
  }
  stream.WriteBuffer(bytes.constData(), bytes.size());
}

void TMetafile::LoadFromStream(TStream& stream) {
  char magic[8];
  if (stream.Read(magic, 8) != 8 || std::memcmp(magic, kMagic, 8) != 0)
    throw EInvalidGraphic("Metafile is not valid");
  std::int32_t head[5];
  for (auto& v : head) {
    std::uint8_t le[4];
    if (stream.Read(le, 4) != 4) throw EInvalidGraphic("Metafile is not valid");
    v = std::int32_t(std::uint32_t(le[0]) | std::uint32_t(le[1]) << 8 | std::uint32_t(le[2]) << 16 |
                     std::uint32_t(le[3]) << 24);
  }
  if (head[4] < 0 || head[4] > stream.Size() - stream.Position() || head[2] <= 0 || head[3] <= 0)
    throw EInvalidGraphic("Metafile is not valid");
  QByteArray bytes(head[4], Qt::Uninitialized);
  stream.ReadBuffer(bytes.data(), head[4]);
  auto impl = std::make_unique<Impl>();
  QBuffer buf(&bytes);
  buf.open(QIODevice::ReadOnly);
  if (!impl->picture.load(&buf)) throw EInvalidGraphic("Metafile is not valid");
  impl->recorded = true;
  impl->width = std::max(0, head[0]);
  impl->height = std::max(0, head[1]);
  impl->dpiX = head[2];
  impl->dpiY = head[3];
  FImpl = std::move(impl);
  Changed();
}

void TMetafile::Assign(const TGraphic& source) {
  if (&source == this) return;
  auto* m = dynamic_cast<const TMetafile*>(&source);
  if (!m) TGraphic::Assign(source);
  *FImpl = *m->FImpl;
  Changed();
}

// ---- recording ------------------------------------------------------------------------

struct TMetafileCanvas::Recording {
  QPicture picture;
  QPainter painter;
  HDC dc = nullptr;
};

TMetafileCanvas::TMetafileCanvas(TMetafile* metafile, HDC referenceDevice)
    : FRecording(std::make_unique<Recording>()), FMetafile(metafile) {
  EnsureGuiApplication();
  HDC ref = referenceDevice ? referenceDevice : GetScreenDC();
  FRecording->painter.begin(&FRecording->picture);
  HDC dc = NewDC(TDcKind::Picture);
  DcAttachPainter(dc, &FRecording->painter);
  dc->dpiX = ref->dpiX;
  dc->dpiY = ref->dpiY;
  dc->deviceSize = ref->deviceSize;
  dc->physicalSize = ref->physicalSize;
  dc->physicalOffset = ref->physicalOffset;
  dc->recordsText = true;
  FRecording->dc = dc;
  FHandle = dc;
  FOwnHandle = false;
  Font()->SetPixelsPerInch(ref->dpiY);
}

TMetafileCanvas::~TMetafileCanvas() {
  DeselectHandles();
  HDC dc = FRecording->dc;
  FHandle = nullptr;
  DcDetachPainter(dc);
  FRecording->painter.end();
  if (FMetafile) {
    TMetafile::Impl& m = FMetafile->impl();
    m.picture = FRecording->picture;
    m.recorded = true;
    m.outline = dc->drewOutline ? 1 : 0;
    m.dpiX = dc->dpiX;
    m.dpiY = dc->dpiY;
  }
  DeleteDC(dc);
}
