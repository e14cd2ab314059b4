// The document's picture fetch (through the image cache, the viewer's
// image events and the loader), its background picture, and the images
// painted after the text.
#include <algorithm>

#include "html/parse/html_common.h"
#include "html/model/document.h"
#include "html/images/gif_images.h"
#include "html/images/image_animation.h"
#include "html/images/image_cache.h"
#include "html/images/image_object.h"
#include "html/model/text_buffers.h"
#include "html/model/viewer_base.h"
#include "platform/gui/extctrls.h"

namespace {
String expandedName(ThtDocument* doc, const String& name) {
  String full = name;
  if (auto* viewer = dynamic_cast<THtmlViewBase*>(doc->Viewer)) viewer->ExpandName(name, full);
  return full;
}
}  // namespace

TGraphic* ThtDocument::FetchImage(const String& Name, uint8_t& Transparent, TBitmap*& Mask, bool& FromCache,
                                  bool& Delayed) {
  Mask = nullptr;
  FromCache = Delayed = false;
  if (Name.empty() || !ImageCache) return nullptr;  // without a cache nothing could own the picture
  const String key = htUpperCase(WideTrim(Name));

  const bool counted = std::find(PicturesCounted.begin(), PicturesCounted.end(), key) != PicturesCounted.end();
  const uint64_t room = PictureBytes >= PictureBudget ? 0 : PictureBudget - PictureBytes;
  const int index = ImageCache->IndexOf(key);
  if (index >= 0) {
    TBitmapItem* item = ImageCache->Item(index);
    if (!counted) {
      const uint64_t bytes = DecodedBytes(item->MImage.get());
      if (bytes > room) return nullptr;
      PictureBytes += bytes;
      PicturesCounted.push_back(key);
    }
    TGraphic* cached = ImageCache->GetImage(index);
    FromCache = true;
    if (auto* bitmap = dynamic_cast<TBitmap*>(cached)) {
      if (item->Transp == TranspOwnMask || item->Transp == TranspCached) {
        Transparent = item->Transp;
      } else if (Transparent == TranspLowerLeft && !item->Mask) {
        item->Mask = GetImageMask(bitmap, false, 0);
        item->Transp = TranspLowerLeft;
      }
    }
    Mask = item->Mask.get();
    return cached;
  }

  std::unique_ptr<TGraphic> result;
  std::unique_ptr<TBitmap> mask;
  if (!OnBitmapRequest && !OnImageRequest) {
    result = LoadImageFromFile(Name, Transparent, mask, room);
  } else {
    if (OnBitmapRequest) {
      TBitmap* bitmap = nullptr;
      TColor color = TColor(-1);
      const ThtEventToken asked = htRaiseEvent(Life, OnBitmapRequest, Viewer, String(Name), bitmap, color);
      if (bitmap) result.reset(bitmap);  // handed over to the cache
      asked.UnwindIfGone();
      if (bitmap) {
        if (color != TColor(-1)) {
          mask = GetImageMask(bitmap, true, color);
          Transparent = TranspOwnMask;
        } else if (Transparent == TranspLowerLeft) {
          mask = GetImageMask(bitmap, false, 0);
        }
      }
    }
    if (!result && OnImageRequest) {
      TStream* stream = nullptr;
      htRaiseEvent(Life, OnImageRequest, Viewer, String(Name), stream).UnwindIfGone();
      if (stream == WaitStream()) {
        Delayed = true;
      } else if (stream == ErrorStream()) {
        // No picture.
      } else if (stream) {
        // The application keeps its stream: it is read here, never freed.
        result = LoadImageFromStream(stream, Transparent, mask, room);
        htRaiseEvent(Life, OnImageRequested, Viewer, String(Name), stream).UnwindIfGone();
      } else {
        result = LoadImageFromFile(expandedName(this, Name), Transparent, mask, room);
      }
    }
  }
  if (!result) return nullptr;
  // A picture whose header told nothing (or one handed over as a bitmap)
  // is weighed once it is there.
  const uint64_t bytes = DecodedBytes(result.get());
  if (bytes > room) return nullptr;
  PictureBytes += bytes;
  PicturesCounted.push_back(key);
  TGraphic* picture = result.get();
  Mask = mask.get();
  const uint8_t kind = mask ? Transparent : uint8_t(TranspNone);
  ImageCache->AddObject(key, std::make_unique<TBitmapItem>(std::move(result), std::move(mask), kind));
  return picture;
}

void ThtDocument::FetchBackground() {
  if (!ImagesOn || BackgroundTried || BackgroundName.empty() || BackgroundImage) return;
  if (!OnBitmapRequest && !OnImageRequest) {
    BackgroundName = expandedName(this, BackgroundName);
  } else if (OnExpandName) {
    String expanded;
    htRaiseEvent(Life, OnExpandName, Viewer, String(BackgroundName), expanded).UnwindIfGone();
    BackgroundName = expanded;
  }
  uint8_t transparent = TranspNone;
  TBitmap* mask = nullptr;
  bool fromCache = false, delayed = false;
  TGraphic* picture = FetchImage(BackgroundName, transparent, mask, fromCache, delayed);
  if (auto* gif = dynamic_cast<TGIFImage*>(picture)) {
    ThtBitmap* frame = gif->CurrentFrame();
    BackgroundImage = frame;
    BackgroundMask = frame ? frame->Mask() : nullptr;
    if (gif->Animated() && !IsCopy) {
      BackgroundGif = gif;
      if (std::find(AnimatedImages.begin(), AnimatedImages.end(), gif) == AnimatedImages.end())
        AnimatedImages.push_back(gif);
      gif->SetRunning(true);
    }
  } else if (picture) {
    BackgroundImage = picture;
    BackgroundMask = mask;
  } else {
    BackgroundImage = nullptr;
    // The document's own background waits with no object: the name says it all.
    if (delayed) AddWaitingImage(htUpperCase(WideTrim(BackgroundName)), nullptr);
  }
  BackgroundTried = true;
}

void ReleaseBackgroundImage(ThtDocument* Doc) {
  if (Doc->IsCopy || !Doc->BackgroundTried || Doc->BackgroundName.empty() || !Doc->ImageCache) return;
  Doc->ImageCache->DecUsage(htUpperCase(WideTrim(Doc->BackgroundName)));
}

void TDrawList::DrawImages() {
  for (const TImageRec& r : FItems)
    if (r.AObj) r.AObj->Draw(r.ACanvas, r.AX, r.AY, r.AYBaseline, r.AFO);
}

// ---- animation ---------------------------------------------------------------------------

namespace {
TGIFImage* gifOf(TObject* o) { return dynamic_cast<TGIFImage*>(o); }
}  // namespace

void StartImageAnimations(ThtDocument* Doc) {
  // A running animation keeps its frame and the time its frame has
  // already shown: restarting the count at every layout would hold a GIF
  // still for as long as the window is being resized.
  for (TObject* o : Doc->AnimatedImages)
    if (TGIFImage* gif = gifOf(o)) {
      if (Doc->IsCopy) gif->SetRunning(false);
      else if (!gif->Running()) gif->SetRunning(true);
    }
  if (Doc->IsCopy) return;
  if (!Doc->AnimTimer) {
    Doc->AnimTimer = std::make_unique<TTimer>(dynamic_cast<TComponent*>(Doc->Viewer));
    Doc->AnimTimer->SetInterval(50);
    Doc->AnimTimer->SetOnTimer([Doc](TObject*) { StepImageAnimations(Doc); });
  }
  Doc->AnimTimer->SetEnabled(!Doc->AnimatedImages.empty());
}

void MarkImagesUnpainted(ThtDocument* Doc) {
  for (TObject* o : Doc->AnimatedImages)
    if (TGIFImage* gif = gifOf(o)) gif->SetShown(false);
  if (TGIFImage* bg = gifOf(Doc->BackgroundGif); bg && !Doc->IsCopy) bg->SetShown(true);
}

void StepImageAnimations(ThtDocument* Doc) {
  if (Doc->IsCopy) return;
  // Pictures are painted on the paint panel, in its client coordinates: a
  // step repaints just the picture's rectangle there.
  TWinControl* control = Doc->PaintPanel ? Doc->PaintPanel : dynamic_cast<TWinControl*>(Doc->Viewer);
  TGIFImage* bg = gifOf(Doc->BackgroundGif);
  const int bgFrame = bg ? bg->FrameIndex() : 0;
  // A copy of the list: a step may lead to a repaint that changes it.
  const std::vector<TObject*> images = Doc->AnimatedImages;
  for (TObject* o : images)
    if (TGIFImage* gif = gifOf(o); gif && gif->Shown()) gif->StepAnimation(control);
  if (bg && bg->FrameIndex() != bgFrame) {
    // The background changes everywhere: point the background at the new frame.
    Doc->BackgroundImage = bg->CurrentFrame();
    Doc->BackgroundMask = bg->CurrentFrame() ? bg->CurrentFrame()->Mask() : nullptr;
    if (Doc->PaintPanel) Doc->PaintPanel->Invalidate();
  }
  if (Doc->AnimTimer) Doc->AnimTimer->SetInterval(40);
}
