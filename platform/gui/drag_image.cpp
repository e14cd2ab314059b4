// Reading the screen and showing a picture above every window.
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <QScreen>
#include <QWidget>

#include <cstring>

#include "platform/graphics/bitmap.h"
#include "platform/gui/drag_image.h"
#include "platform/gui/gui_private.h"

QImage ImageOfBitmap(TBitmap& bitmap) {
  if (bitmap.Empty()) return {};
  bitmap.SetPixelFormat(pf32bit);
  QImage image(bitmap.Width(), bitmap.Height(), QImage::Format_ARGB32);
  for (int y = 0; y < bitmap.Height(); ++y)
    std::memcpy(image.scanLine(y), bitmap.ScanLine(y), std::size_t(bitmap.Width()) * 4);
  return image;
}

bool CaptureScreen(const TRect& R, TBitmap& Target) {
  EnsureQtApplication();
  Target.SetPixelFormat(pf32bit);
  Target.SetSize(std::max(R.Width(), 0), std::max(R.Height(), 0));
  for (int y = 0; y < Target.Height(); ++y) std::memset(Target.ScanLine(y), 0, std::size_t(Target.Width()) * 4);
  if (Target.Empty()) return false;
  QScreen* screen = QGuiApplication::screenAt(QPoint(R.Left, R.Top));
  if (!screen) screen = QGuiApplication::primaryScreen();
  if (!screen) return false;
  QPoint origin = screen->geometry().topLeft();
  QImage shot = screen->grabWindow(0, R.Left - origin.x(), R.Top - origin.y(), R.Width(), R.Height())
                    .toImage()
                    .convertToFormat(QImage::Format_ARGB32);
  if (shot.isNull()) return false;
  int w = std::min(shot.width(), Target.Width());
  for (int y = 0; y < std::min(shot.height(), Target.Height()); ++y)
    std::memcpy(Target.ScanLine(y), shot.constScanLine(y), std::size_t(w) * 4);
  return true;
}

namespace {
// A borderless window above the others that shows one picture.
class TOverlayWidget : public QWidget {
public:
  TOverlayWidget()
      : QWidget(nullptr, Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                             Qt::WindowTransparentForInput | Qt::WindowDoesNotAcceptFocus) {
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_TransparentForMouseEvents);
  }
  QImage Picture;

protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    p.setCompositionMode(QPainter::CompositionMode_Source);
    p.drawImage(0, 0, Picture);
  }
};
}  // namespace

struct TScreenOverlay::TImpl {
  std::unique_ptr<TOverlayWidget> Widget;
};

TScreenOverlay::TScreenOverlay() : FImpl(std::make_unique<TImpl>()) {}
TScreenOverlay::~TScreenOverlay() = default;

void TScreenOverlay::Show(TBitmap& Image, TPoint Position) {
  EnsureQtApplication();
  if (!FImpl->Widget) FImpl->Widget = std::make_unique<TOverlayWidget>();
  TOverlayWidget& w = *FImpl->Widget;
  // The picture is shown as it is: what lay under it is part of it.
  w.Picture = ImageOfBitmap(Image).convertToFormat(QImage::Format_RGB32);
  w.setGeometry(Position.x, Position.y, w.Picture.width(), w.Picture.height());
  if (!w.isVisible()) w.show();
  w.update();
}

void TScreenOverlay::Hide() {
  if (FImpl->Widget) FImpl->Widget->hide();
}

bool TScreenOverlay::Visible() const { return FImpl->Widget && FImpl->Widget->isVisible(); }

TRect TScreenOverlay::BoundsRect() const {
  if (!FImpl->Widget) return {};
  QRect g = FImpl->Widget->geometry();
  return {g.left(), g.top(), g.left() + g.width(), g.top() + g.height()};
}
