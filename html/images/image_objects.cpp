// Image objects: attributes, sizing, placeholders, drawing and hit tests.
#include <algorithm>
#include <cstdlib>

#include "html/parse/html_common.h"
#include "html/paint/borders.h"
#include "html/model/document.h"
#include "html/model/font_runs.h"
#include "html/forms/form_kinds.h"
#include "html/images/gdiplus_images.h"
#include "html/images/gif_images.h"
#include "html/images/image_cache.h"
#include "html/images/image_draw.h"
#include "html/model/image_map.h"
#include "html/images/image_object.h"
#include "html/model/text_buffers.h"
#include "html/model/viewer_base.h"

namespace {

constexpr int kPlaceholderMin = 24;

String cacheKey(const String& name) { return htUpperCase(WideTrim(name)); }

THtmlViewBase* viewerOf(ThtDocument* doc) { return doc ? dynamic_cast<THtmlViewBase*>(doc->Viewer) : nullptr; }

void setPlaceholderFont(TCanvas* Canvas) {
  Canvas->Font()->SetName(u"Arial");
  Canvas->Font()->SetSize(8);
  Canvas->Font()->SetStyle(TFontStyles());
}

bool isAnimatedIn(const ThtDocument* doc, TObject* obj) {
  return std::find(doc->AnimatedImages.begin(), doc->AnimatedImages.end(), obj) != doc->AnimatedImages.end();
}

}  // namespace

// ---- creation -----------------------------------------------------------------------

TImageObj::TImageObj(ThtDocument* AMasterList, int Position, TAttributeList* L) : MasterList(AMasterList) {
  VertAlign = ABottom;
  Floating = ANone;
  SpecWidth = SpecHeight = -1;
  Pos = Position;
  int HSpace = -1;
  for (int i = 0; L && i < L->Count(); ++i) {
    TAttribute* A = L->Items(i);
    switch (A->Symbol) {
      case symSrc: Source = WideTrim(A->Text); break;
      case symAlt:
        SetAlt(A->Text);
        Title = Alt;
        break;
      case symName:
        if (MasterList && MasterList->IdList) MasterList->IdList->AddObject(A->Text, this);
        break;
      case symAlign: {
        const String v = htUpperCase(A->Text);
        if (v == u"TOP") {
          VertAlign = ATop;
        } else if (v == u"MIDDLE" || v == u"ABSMIDDLE") {
          VertAlign = AMiddle;
        } else if (v == u"LEFT") {
          VertAlign = ANone;
          Floating = ALeft;
        } else if (v == u"RIGHT") {
          VertAlign = ANone;
          Floating = ARight;
        }
        break;
      }
      case symBorder:
        NoBorder = A->Value == 0;
        BorderWidth = std::clamp(A->Value, 0, 10);
        break;
      case symWidth:
      case symHeight: {
        const bool percent = A->Text.find(u'%') != String::npos;
        int32_t& spec = A->Symbol == symWidth ? SpecWidth : SpecHeight;
        bool& isPercent = A->Symbol == symWidth ? PercentWidth : PercentHeight;
        if (percent) {
          if (A->Value >= 0 && A->Value <= 100) {
            spec = A->Value;
            isPercent = true;
          }
        } else {
          spec = A->Value;
        }
        break;
      }
      case symHSpace: HSpace = std::min(std::abs(A->Value), 40); break;
      case symVSpace: VSpaceT = std::min(std::abs(A->Value), 40); break;
      case symTransp: Transparent = TranspLowerLeft; break;
      case symIsMap: IsMap = true; break;
      case symUseMap: {
        UseMap = true;
        MapName = htUpperCase(WideTrim(A->Text));
        if (MapName.size() > 1 && MapName[0] == u'#') MapName.erase(0, 1);
        break;
      }
      case symActive: HoverImage = true; break;
      default: break;
    }
  }
  if (L) {
    TAttribute* T = nullptr;
    if (L->Find(symTitle, T)) Title = T->Text;
    const String id = L->GetID();
    if (!id.empty() && MasterList && MasterList->IdList) MasterList->IdList->AddObject(id, this);
  }
  HSpaceL = HSpace >= 0 ? HSpace : (Floating == ALeft || Floating == ARight) ? 3 : 0;
  HSpaceR = HSpaceL;
  VSpaceB = VSpaceT;
}

TImageObj::TImageObj(ThtDocument* AMasterList, const String& AnURL) : Source(AnURL), MasterList(AMasterList) {
  VertAlign = ABottom;
  Floating = ANone;
  NoBorder = true;
  BorderWidth = 0;
  SpecWidth = SpecHeight = -1;
}

TImageObj::TImageObj(ThtDocument* AMasterList, const TImageObj& T)
    : TFloatingObj(AMasterList, T), Source(T.Source), MasterList(AMasterList) {
  ImageKnown = T.ImageKnown;
  PicHeight = T.PicHeight;
  PicWidth = T.PicWidth;
  SpecHeight = T.SpecHeight;
  SpecWidth = T.SpecWidth;
  PercentWidth = T.PercentWidth;
  PercentHeight = T.PercentHeight;
  Image = T.Image;
  Mask = T.Mask;
  IsMap = T.IsMap;
  Transparent = T.Transparent;
  HoverImage = T.HoverImage;
  AltWidth = T.AltWidth;
  AltHeight = T.AltHeight;
  UseMap = T.UseMap;
  MapName = T.MapName;
}

TImageObj::~TImageObj() {
  // An image input's control outlives its picture when the page is cleared.
  if (auto* ctl = dynamic_cast<TImageFormControlObj*>(MyFormControl)) ctl->MyImage = nullptr;
  if (MasterList && !MasterList->IsCopy) {
    // Released under the key it was fetched by, so the cache's count drops.
    if (!FCacheKey.empty() && OrigImage && MasterList->ImageCache) MasterList->ImageCache->DecUsage(FCacheKey);
    auto& anim = MasterList->AnimatedImages;
    if (FOwnGif) anim.erase(std::remove(anim.begin(), anim.end(), FOwnGif.get()), anim.end());
    MasterList->RemoveWaitingImage(this);
  }
}

std::unique_ptr<TFloatingObj> TImageObj::CreateCopy(ThtDocument* Document) const {
  return std::make_unique<TImageObj>(Document, *this);
}

void TImageObj::SetImage(TGraphic* Value) {
  if (Image != Value) Image = Value;
}

bool TImageObj::IsPlaceholder() const {
  const bool imagesOn = !MasterList || MasterList->ImagesOn;
  TGraphic* shown = imagesOn ? Image : DefBitmap();
  return Image == ErrorBitmap() || shown == DefBitmap() || !shown;
}

// ---- layout ---------------------------------------------------------------------------

void TImageObj::DrawLogic(ThtDocument* Document, TCanvas* Canvas, TFontObj* FO, int AvailableWidth,
                          int AvailableHeight) {
  ThtDocument* doc = Document ? Document : MasterList;
  const bool imagesOn = !doc || doc->ImagesOn;
  if (imagesOn && !Image) {
    TGraphic* picture = nullptr;
    if (!Source.empty() && doc) {
      if (!doc->OnBitmapRequest && !doc->OnImageRequest) {
        if (THtmlViewBase* viewer = viewerOf(doc)) {
          String expanded;
          viewer->ExpandName(Source, expanded);
          Source = expanded;
        }
      } else if (doc->OnExpandName) {
        String expanded;
        htRaiseEvent(doc->Life, doc->OnExpandName, doc->Viewer, String(Source), expanded).UnwindIfGone();
        Source = expanded;
      }
      const String key = cacheKey(Source);
      const bool waiting = std::any_of(doc->WaitingImages.begin(), doc->WaitingImages.end(),
                                       [&](const TWaitingImage& w) { return w.Name == key; });
      if (!waiting) {
        bool fromCache = false;
        picture = doc->FetchImage(Source, Transparent, Mask, fromCache, Delayed);
        if (picture) FCacheKey = key;
      } else {
        Delayed = true;
      }
      if (!picture && Delayed) {
        Image = DefBitmap();
        doc->AddWaitingImage(key, this);
      }
    }
    if (!picture && !Image) {
      // Nothing to show: the error picture (also for an empty source).
      Image = ErrorBitmap();
      Mask = ErrorBitmapMask();
      Transparent = TranspLowerLeft;
    } else if (auto* gif = dynamic_cast<TGIFImage*>(picture)) {
      FOwnGif = TGIFImage::CreateCopy(*gif);
      Image = OrigImage = FOwnGif.get();
      if (FOwnGif->Animated()) {
        if (HoverImage) FOwnGif->SetRunning(false);
        else if (!isAnimatedIn(doc, FOwnGif.get())) doc->AnimatedImages.push_back(FOwnGif.get());
      }
    } else if (picture) {
      Image = OrigImage = picture;
    }
  }

  TGraphic* measured = imagesOn ? Image : DefBitmap();
  if (!measured) measured = DefBitmap();
  const int IW = GetImageWidth(measured), IH = GetImageHeight(measured);
  const bool placeholder = Image == ErrorBitmap() || measured == DefBitmap();

  if (!ImageKnown || PercentWidth || PercentHeight) {
    if (PercentWidth) {
      PicWidth = MulDiv(AvailableWidth - 2 * BorderWidth, SpecWidth, 100);
      if (PercentHeight) PicHeight = MulDiv(AvailableHeight - 2 * BorderWidth, SpecHeight, 100);
      else if (SpecHeight >= 0) PicHeight = SpecHeight;
      else PicHeight = MulDiv(PicWidth, IH, IW);
    } else if (PercentHeight) {
      PicHeight = MulDiv(AvailableHeight - 2 * BorderWidth, SpecHeight, 100);
      PicWidth = SpecWidth >= 0 ? SpecWidth : MulDiv(PicHeight, IW, IH);
    } else if (SpecWidth >= 0 && SpecHeight >= 0) {
      PicHeight = SpecHeight;
      PicWidth = SpecWidth;
      ImageKnown = true;
    } else {
      if (SpecHeight >= 0) {
        PicHeight = SpecHeight;
        PicWidth = MulDiv(SpecHeight, IW, IH);
      } else if (SpecWidth >= 0) {
        PicWidth = SpecWidth;
        PicHeight = MulDiv(SpecWidth, IH, IW);
      } else {
        PicWidth = IW;
        PicHeight = IH;
      }
      ImageKnown = !placeholder;
    }
  }

  if (imagesOn && !placeholder) {
    ObjHeight = PicHeight;
    ObjWidth = PicWidth;
  } else {
    if (SpecWidth >= 0 || SpecHeight >= 0) {
      AltWidth = PicWidth;
      AltHeight = PicHeight;
    } else if (!Alt.empty() && Canvas) {
      setPlaceholderFont(Canvas);
      TRect r = Rect(0, 0, 0, 0);
      DrawTextW(Canvas->Handle(), Alt + u"\r\n", &r, DT_CALCRECT);
      AltWidth = r.Right + 26;  // the icon and its margins
      AltHeight = std::max(int(r.Bottom), kPlaceholderMin);
    } else {
      AltWidth = std::max(int(PicWidth), kPlaceholderMin);
      AltHeight = std::max(int(PicHeight), kPlaceholderMin);
    }
    ObjHeight = AltHeight;
    ObjWidth = AltWidth;
  }

  if (!NoBorder && FO && !FO->GetURL().empty()) BorderWidth = std::max(int(BorderWidth), 1);
  if (BorderWidth > 0) {
    ObjHeight += 2 * BorderWidth;
    ObjWidth += 2 * BorderWidth;
  }
}

// ---- drawing ---------------------------------------------------------------------------

int TImageObj::InlineTop(int TopY, int YBaseline, const TFontObj* FO) const {
  switch (VertAlign) {
    case ANone:
    case ATop: return TopY + VSpaceT;
    case AMiddle: {
      const int descent = FO ? FO->Descent() : 0, cellHeight = FO ? FO->tmHeight() : 0;
      return YBaseline + descent - cellHeight / 2 - (ObjHeight - VSpaceT + VSpaceB) / 2;
    }
    default: return YBaseline - ObjHeight - VSpaceB;
  }
}

void TImageObj::Draw(TCanvas* Canvas, int X, int TopY, int YBaseline, TFontObj* FO) {
  ThtDocument* doc = MasterList;
  const int scrollY = doc ? doc->ScrollY : 0;
  TopY -= scrollY;
  YBaseline -= scrollY;
  const bool imagesOn = !doc || doc->ImagesOn;
  TGraphic* picture = imagesOn ? Image : DefBitmap();
  TBitmap* mask = imagesOn && dynamic_cast<TBitmap*>(Image) ? Mask : nullptr;
  if (!picture) picture = DefBitmap();
  const bool placeholder = Image == ErrorBitmap() || picture == DefBitmap();
  const int offset = placeholder ? 4 : 0;

  Canvas->Brush()->SetStyle(bsClear);
  setPlaceholderFont(Canvas);

  DrawXX = X;
  YPosition = Floating != ANone ? TopY : InlineTop(TopY, YBaseline, FO);
  const int boxTop = YPosition;
  if (BorderWidth > 0) {
    DrawXX += BorderWidth;
    YPosition += BorderWidth;
  }
  if (!(placeholder && (ObjWidth < kPlaceholderMin || ObjHeight < kPlaceholderMin)))
    DoDraw(Canvas, DrawXX + offset, YPosition + offset, picture, mask);
  YPosition += scrollY;

  const TColor textColor = FO && FO->Font() ? FO->Font()->Color() : clBlack;
  int altY = TopY;
  if (Floating == ANone) {
    if (VertAlign == AMiddle) altY = InlineTop(TopY, YBaseline, FO);
    else if (VertAlign != ANone && VertAlign != ATop) altY = YBaseline - AltHeight - VSpaceB;
  }
  auto drawAlt = [&] {
    if (Alt.empty()) return;
    Canvas->Font()->SetColor(textColor);
    WrapTextW(Canvas, X + 24, altY + offset, X + AltWidth - 2, altY + AltHeight - 1, Alt);
  };
  if (placeholder && BorderWidth <= 0) {
    drawAlt();
    TColor light, dark;
    GetRaisedColorsFor(true, false, light, dark);
    RaisedRectColors(Canvas, X, altY, X + AltWidth - 1, altY + AltHeight - 1, light, dark, false, 1);
  }
  if (BorderWidth > 0) {
    TPen* pen = Canvas->Pen();
    const TColor oldColor = pen->Color();
    const int oldWidth = pen->Width();
    const TPenStyle oldStyle = pen->Style();
    pen->SetColor(textColor);
    pen->SetWidth(BorderWidth);
    pen->SetStyle(psInsideFrame);
    if (placeholder) drawAlt();
    Canvas->Brush()->SetStyle(bsClear);
    Canvas->Rectangle(X, boxTop, X + ObjWidth, boxTop + ObjHeight);
    pen->SetColor(oldColor);
    pen->SetWidth(oldWidth);
    pen->SetStyle(oldStyle);
  }
  if (((FO && FO->Active()) || (MyFormControl && MyFormControl->Active)) && doc && !doc->IsCopy) {
    THtmlViewBase* viewer = viewerOf(doc);
    if (viewer && viewer->ShowFocusRect()) {
      const COLORREF oldText = SetTextColor(Canvas->Handle(), 0);
      Canvas->Brush()->SetColor(clWhite);
      Canvas->DrawFocusRect(Rect(X, boxTop, X + ObjWidth, boxTop + ObjHeight));
      SetTextColor(Canvas->Handle(), oldText);
    }
  }
}

void TImageObj::DoDraw(TCanvas* Canvas, int X, int Y, TGraphic* ddImage, TBitmap* ddMask) {
  if (!ddImage) return;
  ThtDocument* doc = MasterList;
  const bool printing = doc && (doc->IsCopy || doc->Printing);
  const int W = PicWidth, H = PicHeight;
  HDC dc = Canvas->Handle();
  const bool special = ddImage == ErrorBitmap() || ddImage == DefBitmap();

  if (auto* gp = dynamic_cast<TGpImage*>(ddImage)) {
    if (!printing) {
      StretchDrawGpImage(dc, gp, X, Y, W, H);
      return;
    }
    if (!(doc->PrintPageBackground || PrintFill)) StretchPrintGpImageOnColor(Canvas, gp, X, Y, W, H, clWhite);
    StretchPrintGpImageDirect(dc, gp, X, Y, W, H, doc->ScaleX, doc->ScaleY);
    return;
  }
  if (auto* meta = dynamic_cast<ThtMetaFile*>(ddImage)) {
    Canvas->StretchDraw(Rect(X, Y, X + W, Y + H), meta);
    return;
  }
  if (auto* gif = dynamic_cast<TGIFImage*>(ddImage)) {
    if (!printing) {
      gif->SetShown(true);
      gif->SetVisible(true);
      gif->Draw(*Canvas, X, Y, W, H);
      return;
    }
    ThtBitmap* frame = gif->CurrentFrame();
    if (!frame) return;
    TBitmap* frameMask = frame->Mask();
    if (frameMask) PrintTransparentBitmap3(Canvas, X, Y, W, H, frame, frameMask, 0, frame->Height());
    else PrintBitmap(Canvas, X, Y, W, H, frame);
    return;
  }
  auto* bitmap = dynamic_cast<TBitmap*>(ddImage);
  if (!bitmap || bitmap->Empty()) return;
  const bool masked = (Transparent != TranspNone && ddMask) || ddImage == ErrorBitmap();
  TBitmap* useMask = ddImage == ErrorBitmap() ? ErrorBitmapMask() : ddMask;
  const int w = special ? bitmap->Width() : W, h = special ? bitmap->Height() : H;
  if (printing) {
    if (masked) PrintTransparentBitmap3(Canvas, X, Y, w, h, bitmap, useMask, 0, bitmap->Height());
    else PrintBitmap(Canvas, X, Y, w, h, bitmap);
    return;
  }
  if (masked) {
    FinishTransparentBitmap(dc, bitmap, useMask, X, Y, w, h);
    return;
  }
  if (special) {
    BitBlt(dc, X, Y, bitmap->Width(), bitmap->Height(), bitmap->Canvas()->Handle(), 0, 0, SRCCOPY);
    return;
  }
  if (bitmap->PixelFormat() == pf32bit && bitmap->AlphaFormat() != afIgnored) {
    // A picture with its own alpha is blended, never copied over the page.
    bitmap->Draw(*Canvas, Rect(X, Y, X + W, Y + H));
    return;
  }
  SetStretchBltMode(dc, HALFTONE);
  SetBrushOrgEx(dc, 0, 0, nullptr);
  StretchBlt(dc, X, Y, W, H, bitmap->Canvas()->Handle(), 0, 0, bitmap->Width(), bitmap->Height(), SRCCOPY);
}

TBitmap* TImageObj::GetBitmap() {
  if (!Image || Image == ErrorBitmap()) return nullptr;
  if (auto* gif = dynamic_cast<TGIFImage*>(Image)) return gif->CurrentFrame();
  if (FBitmap) return FBitmap.get();
  if (auto* b = dynamic_cast<TBitmap*>(Image)) {
    FBitmap = std::make_unique<TBitmap>();
    FBitmap->Assign(*b);
  } else if (auto* gp = dynamic_cast<TGpImage*>(Image)) {
    FBitmap = gp->GetBitmap();
  } else if (auto* meta = dynamic_cast<ThtMetaFile*>(Image)) {
    return meta->GetWhiteBGBitmap();
  }
  return FBitmap.get();
}

void TImageObj::SetHover(std::uint8_t Value) {
  auto* gif = dynamic_cast<TGIFImage*>(Image);
  if (Value == FHover || !HoverImage || !gif) return;
  ThtDocument* doc = MasterList;
  auto& anim = doc->AnimatedImages;
  const int frames = gif->FrameCount();
  if (Value != 0) {
    if (frames == 2) {
      gif->SetFrameIndex(2);
    } else if (frames == 3) {
      gif->SetFrameIndex(Value == 2 ? 3 : 2);
    } else {
      gif->SetRunning(true);
      if (!isAnimatedIn(doc, gif)) anim.push_back(gif);
    }
  } else {
    gif->SetRunning(false);
    if (frames < 4) gif->SetFrameIndex(1);
    anim.erase(std::remove(anim.begin(), anim.end(), gif), anim.end());
  }
  FHover = Value;
  if (doc->PaintPanel) doc->PaintPanel->Invalidate();
}

// ---- the section's list of floating objects -----------------------------------------------

int TFloatingObjList::GetHeightAt(int Posn, TAlignmentType& AAlign, TFloatingObj*& FlObj) const {
  FlObj = FindObject(Posn);
  if (!FlObj) return -1;
  AAlign = FlObj->VertAlign;
  return FlObj->ObjHeight + FlObj->VSpaceT + FlObj->VSpaceB;
}

int TFloatingObjList::GetWidthAt(int Posn, TAlignmentType& AAlign, int& HSpcL, int& HSpcR,
                                 TFloatingObj*& FlObj) const {
  FlObj = FindObject(Posn);
  if (!FlObj) return -1;
  AAlign = FlObj->Floating;
  HSpcL = FlObj->HSpaceL;
  HSpcR = FlObj->HSpaceR;
  return FlObj->ObjWidth;
}

int TFloatingObjList::GetImageCountAt(int Posn) const {
  for (int i = 0; i < Count(); ++i)
    if (Items(i)->Pos >= Posn) return Items(i)->Pos - Posn;
  return 99999999;
}

bool TFloatingObjList::PtInImage(int X, int Y, int& IX, int& IY, int& Posn, bool& AMap, bool& UMap,
                                 TMapItem*& MapItem, TImageObj*& ImageObj) const {
  UMap = false;
  MapItem = nullptr;
  for (int i = 0; i < Count(); ++i) {
    auto* img = dynamic_cast<TImageObj*>(Items(i));
    if (!img) continue;  // panels take no clicks here
    const int ix = X - img->DrawXX, iy = Y - img->YPosition;
    if (ix < 0 || iy < 0 || ix >= img->ObjWidth - 2 * img->BorderWidth || iy >= img->ObjHeight - 2 * img->BorderWidth)
      continue;
    IX = ix;
    IY = iy;
    ImageObj = img;
    AMap = img->IsMap;
    Posn = img->Pos;
    if (img->UseMap && img->MasterList)
      for (const auto& map : img->MasterList->Maps)
        if (map->MapName == img->MapName) {
          UMap = true;
          MapItem = map.get();
          break;
        }
    return true;
  }
  return false;
}

bool TFloatingObjList::PtInObject(int X, int Y, TObject*& Obj, int& IX, int& IY) const {
  for (int i = 0; i < Count(); ++i) {
    auto* img = dynamic_cast<TImageObj*>(Items(i));
    if (!img) continue;
    const int ix = X - img->DrawXX, iy = Y - img->YPosition;
    if (ix >= 0 && iy >= 0 && ix < img->ObjWidth - 2 * img->BorderWidth && iy < img->ObjHeight - 2 * img->BorderWidth) {
      Obj = img;
      IX = ix;
      IY = iy;
      return true;
    }
  }
  return false;
}
