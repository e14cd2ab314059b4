// The tree's drag manager (drop source and drop target) and the picture
// that follows a drag.
#include <algorithm>
#include <cmath>

#include "platform/graphics/canvas.h"
#include "platform/gui/windows.h"
#include "tree/base_tree.h"
#include "tree/data_object.h"
#include "tree/globals.h"

// ---- drag manager ---------------------------------------------------------------------

TDTDragManager::TDTDragManager(TBaseDataTree* AOwner) : FOwner(AOwner) {}

TDTDragManager::~TDTDragManager() = default;

std::shared_ptr<IDataObject> TDTDragManager::DataObject() {
  if (FDataObject) return FDataObject;
  if (!FOwner) return nullptr;
  if (std::shared_ptr<IDataObject> own = FOwner->DoCreateDataObject()) return own;
  return std::make_shared<TDTDataObject>(FOwner, false);
}

TBaseDataTree* TDTDragManager::DragSource() { return LiveTree(FDragSourceToken); }

HRESULT TDTDragManager::QueryContinueDrag(bool EscapePressed, std::uint32_t KeyState) {
  const bool left = KeyState & MK_LBUTTON;
  const bool right = KeyState & MK_RBUTTON;
  if (EscapePressed || (left && right)) return DRAGDROP_S_CANCEL;
  if (left || right) return S_OK;
  return DRAGDROP_S_DROP;
}

HRESULT TDTDragManager::GiveFeedback(std::uint32_t) { return DRAGDROP_S_USEDEFAULTCURSORS; }

HRESULT TDTDragManager::DragEnter(const std::shared_ptr<IDataObject>& DataObject, std::uint32_t KeyState, TPoint Pt,
                                  std::uint32_t& Effect) {
  FDataObject = DataObject;
  FIsDropTarget = true;
  if (!FOwner) {
    Effect = DROPEFFECT_NONE;
    return S_OK;
  }
  TBaseDataTree* source = FOwner->GetTreeFromDataObject(DataObject.get());
  FDragSourceToken = source ? source->TreeToken() : 0;
  return FOwner->DragEnter(KeyState, Pt, Effect);
}

HRESULT TDTDragManager::DragOver(std::uint32_t KeyState, TPoint Pt, std::uint32_t& Effect) {
  if (!FOwner) {
    Effect = DROPEFFECT_NONE;
    return S_OK;
  }
  return FOwner->DragOver(DragSource(), KeyState, dsDragMove, Pt, Effect);
}

HRESULT TDTDragManager::DragLeave() {
  if (FOwner) FOwner->DragLeave();
  FDragSourceToken = 0;
  FIsDropTarget = false;
  FDataObject.reset();
  return S_OK;
}

HRESULT TDTDragManager::Drop(const std::shared_ptr<IDataObject>& DataObject, std::uint32_t KeyState, TPoint Pt,
                             std::uint32_t& Effect) {
  HRESULT result = E_FAIL;
  if (FOwner) {
    result = FOwner->DragDrop(DataObject, KeyState, Pt, Effect);
  } else {
    Effect = DROPEFFECT_NONE;
  }
  FDragSourceToken = 0;
  FIsDropTarget = false;
  FDataObject.reset();
  return result;
}

// ---- drag image ---------------------------------------------------------------------------

namespace {
void clearBitmap(TBitmap& b) { b.SetSize(0, 0); }

void copyBitmap(TBitmap& from, TBitmap& to) {
  to.SetPixelFormat(pf32bit);
  to.SetSize(from.Width(), from.Height());
  for (int y = 0; y < from.Height(); ++y)
    std::copy_n(static_cast<const std::uint8_t*>(from.ScanLine(y)), std::size_t(from.Width()) * 4,
                static_cast<std::uint8_t*>(to.ScanLine(y)));
}
}  // namespace

TDTDragImage::TDTDragImage(TBaseDataTree* AOwner) : FOwner(AOwner) {}
TDTDragImage::~TDTDragImage() = default;

void TDTDragImage::PrepareDrag(TBitmap& DragImage, TPoint ImagePosition, TPoint HotSpot, IDataObject* DataObject) {
  const int width = DragImage.Width(), height = DragImage.Height();
  FDragImage.SetPixelFormat(pf32bit);
  FDragImage.SetSize(width, height);
  DragImage.SetPixelFormat(pf32bit);
  if (PreBlendBias == 0) {
    copyBitmap(DragImage, FDragImage);
  } else {
    AlphaBlend(&DragImage, &FDragImage, {0, 0, width, height}, {0, 0}, bmConstantAlpha, 255, PreBlendBias);
  }
  // The alpha channel fades from the centre outwards; pixels of the key
  // colour vanish.
  const COLORREF key = ColorKey == clNone ? 0xFFFFFFFFu : ColorToRGB(ColorKey);
  const double radius = std::max(width, height);
  for (int y = 0; y < height; ++y) {
    auto* row = static_cast<std::uint8_t*>(FDragImage.ScanLine(y));
    const double dy = (y - height / 2) / radius;
    for (int x = 0; x < width; ++x, row += 4) {
      const COLORREF rgb = COLORREF(row[2]) | (COLORREF(row[1]) << 8) | (COLORREF(row[0]) << 16);
      if (rgb == key) {
        row[3] = 0;
        continue;
      }
      const double dx = (x - width / 2) / radius;
      row[3] = std::uint8_t(std::lround(255.0 * std::exp(-8.0 * std::sqrt(dx * dx + dy * dy))));
    }
  }
  FImagePosition = ImagePosition;
  FLastPosition = {ImagePosition.x + HotSpot.x, ImagePosition.y + HotSpot.y};
  States = {disHidden, disInDrag, disPrepared};
  if (DataObject) {
    // The drag itself carries the picture, over this and other programs'
    // windows alike.
    // Only the part that shows is handed over: windows under a picture's
    // clear pixels are not always seen through it.
    int left = width, top = height, right = 0, bottom = 0;
    for (int y = 0; y < height; ++y) {
      const auto* row = static_cast<const std::uint8_t*>(FDragImage.ScanLine(y));
      for (int x = 0; x < width; ++x)
        if (row[x * 4 + 3] != 0) {
          left = std::min(left, x);
          right = std::max(right, x + 1);
          top = std::min(top, y);
          bottom = std::max(bottom, y + 1);
        }
    }
    TBitmap shown;
    shown.SetPixelFormat(pf32bit);
    shown.SetSize(std::max(right - left, 0), std::max(bottom - top, 0));
    const bool perPixel = Fade || ColorKey != clNone;
    for (int y = top; y < bottom; ++y) {
      const auto* from = static_cast<const std::uint8_t*>(FDragImage.ScanLine(y)) + left * 4;
      auto* to = static_cast<std::uint8_t*>(shown.ScanLine(y - top));
      for (int x = left; x < right; ++x, from += 4, to += 4) {
        std::copy_n(from, 3, to);
        // How much of each pixel shows: its own fade, or the same for all.
        to[3] = std::uint8_t(from[3] == 0 ? 0 : perPixel ? (from[3] * Transparency) / 256 : Transparency);
      }
    }
    HotSpot = {HotSpot.x - left, HotSpot.y - top};
    SetDragSourceImage(&shown, HotSpot);
    States.Include(disSystemSupport);
  }
}

void TDTDragImage::InternalShowDragImage() {
  copyBitmap(FBackImage, FAlphaImage);
  const bool perPixel = Fade || ColorKey != clNone;
  AlphaBlend(&FDragImage, &FAlphaImage, {0, 0, FDragImage.Width(), FDragImage.Height()}, {0, 0},
             perPixel ? bmMasterAlpha : bmConstantAlpha, Transparency, PostBlendBias);
  FOverlay.Show(FAlphaImage, FImagePosition);
}

void TDTDragImage::ShowDragImage() {
  if (!States.Contains(disHidden) || !States.Contains(disInDrag) || !States.Contains(disPrepared)) return;
  if (States.Contains(disSystemSupport)) return;
  States.Exclude(disHidden);
  CaptureScreen(GetDragImageRect(), FBackImage);
  InternalShowDragImage();
}

void TDTDragImage::HideDragImage() {
  if (!Visible()) return;
  States.Include(disHidden);
  FOverlay.Hide();
}

bool TDTDragImage::WillMove(TPoint P) const {
  if (!Visible()) return false;
  int dx = P.x - FLastPosition.x, dy = P.y - FLastPosition.y;
  if (MoveRestriction == dmrHorizontalOnly) dy = 0;
  if (MoveRestriction == dmrVerticalOnly) dx = 0;
  return dx != 0 || dy != 0;
}

bool TDTDragImage::DragTo(TPoint P, bool ForceRepaint) {
  int dx = P.x - FLastPosition.x, dy = P.y - FLastPosition.y;
  if (MoveRestriction == dmrHorizontalOnly) dy = 0;
  if (MoveRestriction == dmrVerticalOnly) dx = 0;
  if (dx == 0 && dy == 0 && !ForceRepaint) return false;
  FImagePosition.x += dx;
  FImagePosition.y += dy;
  FLastPosition = P;
  if (!Visible()) return dx != 0 || dy != 0;
  // The overlay must not be in the picture of what lies under it.
  FOverlay.Hide();
  // What changed under the picture is painted before it is taken. The
  // picture goes with the tree when the paint's handler destroys it.
  if (ForceRepaint && FOwner && FOwner->HandleAllocated()) {
    TBaseDataTree* owner = FOwner;
    owner->ThroughToolkit(
        [owner] { RedrawWindow(owner->Handle(), nullptr, nullptr, RDW_FRAME | RDW_UPDATENOW | RDW_NOCHILDREN); });
  }
  CaptureScreen(GetDragImageRect(), FBackImage);
  InternalShowDragImage();
  return true;
}

void TDTDragImage::RecaptureBackground(const TRect& R, bool ReshowDragImage) {
  if (!Visible()) return;
  TRect image = GetDragImageRect();
  TRect common;
  if (!IntersectRect(common, R, image)) return;
  FOverlay.Hide();
  CaptureScreen(image, FBackImage);
  if (ReshowDragImage)
    InternalShowDragImage();
  else
    States.Include(disHidden);
}

void TDTDragImage::EndDrag() {
  HideDragImage();
  if (States.Contains(disSystemSupport)) SetDragSourceImage(nullptr, {});
  States.Exclude(disInDrag);
  States.Exclude(disPrepared);
  States.Exclude(disSystemSupport);
  clearBitmap(FBackImage);
  clearBitmap(FAlphaImage);
  clearBitmap(FDragImage);
}

TRect TDTDragImage::GetDragImageRect() const {
  return {FImagePosition.x, FImagePosition.y, FImagePosition.x + FDragImage.Width(),
          FImagePosition.y + FDragImage.Height()};
}

bool TDTDragImage::Visible() const {
  return States.Contains(disInDrag) && States.Contains(disPrepared) && !States.Contains(disHidden) &&
         !States.Contains(disSystemSupport);
}
