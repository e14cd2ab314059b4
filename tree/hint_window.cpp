// The trees' hint window. Its picture is composed off screen: the hint
// itself (Target), what the screen showed beneath the window (Background),
// and for each animation step the two blended or partly revealed, with a
// shadow along the right and bottom edge (DrawBuffer), which the window
// then shows.
#include "tree/hint_window.h"

#include <algorithm>
#include <cstring>

#include "platform/graphics/canvas.h"
#include "platform/graphics/gdi.h"
#include "platform/gui/drag_image.h"
#include "platform/gui/forms.h"
#include "tree/base_tree.h"
#include "tree/globals.h"

namespace {
// Cleared when a hint window is made or hidden, set when one is destroyed.
bool gHintWindowDestroyed = false;

void makeBitmap(TBitmap& b, int w, int h) {
  b.SetPixelFormat(pf32bit);
  b.SetSize(std::max(w, 0), std::max(h, 0));
}
}  // namespace

TDataTreeHintWindow::TDataTreeHintWindow(TComponent* AOwner)
    : THintWindow(AOwner),
      FBackground(std::make_unique<TBitmap>()),
      FDrawBuffer(std::make_unique<TBitmap>()),
      FTarget(std::make_unique<TBitmap>()) {
  for (TBitmap* b : {FBackground.get(), FDrawBuffer.get(), FTarget.get()}) b->SetPixelFormat(pf32bit);
  gHintWindowDestroyed = false;
}

TDataTreeHintWindow::~TDataTreeHintWindow() {
  FAlive.reset();
  gHintWindowDestroyed = true;
}

void TDataTreeHintWindow::CreateParams(TCreateParams& Params) {
  THintWindow::CreateParams(Params);
  Params.Style = WS_POPUP;
  Params.ExStyle &= ~DWORD(WS_EX_CLIENTEDGE);
}

bool TDataTreeHintWindow::tooltipMode() const {
  TBaseDataTree* t = tree();
  return t && FHintData.Node && t->HintMode() == hmTooltip;
}

TRect TDataTreeHintWindow::CalcHintRect(int MaxWidth, const String& AHint, void* AData) {
  FHintData = AData ? *static_cast<const TDTHintData*>(AData) : TDTHintData{};
  FHintData.DefaultHint = AHint;
  FTreeLife = FHintData.Tree ? FHintData.Tree->LifeToken() : std::weak_ptr<const bool>();
  TBaseDataTree* tree = this->tree();
  TBiDiMode bidi = tree ? tree->BiDiMode() : bdLeftToRight;
  TAlignment alignment = tree ? tree->Alignment() : taLeftJustify;
  if (tree && tree->Header().Columns().IsValidColumn(FHintData.Column)) {
    bidi = tree->Header().Columns()[FHintData.Column]->BiDiMode();
    alignment = tree->Header().Columns()[FHintData.Column]->Alignment();
  }
  if (bidi != bdLeftToRight && alignment != taCenter)
    alignment = alignment == taLeftJustify ? taRightJustify : taLeftJustify;
  FHintData.BidiMode = std::uint8_t(bidi);
  FHintData.Alignment = std::uint8_t(alignment);

  const bool tooltip = tooltipMode();
  FHintFont.Assign(tooltip ? *tree->Font() : (Screen ? *Screen->HintFont() : *Font()));
  TCanvas& c = *Canvas();
  c.Font()->Assign(FHintFont);
  TEXTMETRICW tm;
  GetTextMetricsW(c.Handle(), &tm);
  FTextHeight = tm.tmHeight;

  if (FHintData.LineBreakStyle == hlbDefault && tooltip)
    FHintData.LineBreakStyle = FHintData.Node->States.Contains(vsMultiline) ? hlbForceMultiLine : hlbForceSingleLine;
  TDTTooltipLineBreakStyle style = FHintData.LineBreakStyle;
  if (!tree || !FHintData.Node)
    FHintData.HintText = AHint;
  else
    tree->ToolkitEntry([&] {
      FHintData.HintText = tooltip ? tree->DoGetNodeToolTip(FHintData.Node, FHintData.Column, style)
                                   : tree->DoGetNodeHint(FHintData.Node, FHintData.Column, style);
    });
  if (FHintData.LineBreakStyle == hlbDefault) FHintData.LineBreakStyle = style;
  // The owner's hint handler may have destroyed the tree.
  if (tree && !this->tree()) return {};
  if (FHintData.HintText.empty() || FHintData.HintText == u" ") return {};

  TRect r;
  if (tooltip && FHintData.LineBreakStyle == hlbForceSingleLine) {
    // The text's own line, as wide as the text and the margins on both sides.
    const int margin = tree->TextMargin();
    TRect measure{0, 0, 0, 0};
    c.TextRectFlags(measure, FHintData.HintText, DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
    r = {0, 0, measure.Width() + 2 * margin, std::max(FHintData.HintRect.Height(), FTextHeight)};
    if (r.Width() <= FHintData.HintRect.Width()) return {};
  } else {
    r = {0, 0, std::max(MaxWidth, 1), 0};
    c.TextRectFlags(r, FHintData.HintText, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
    r.Right += tooltip ? 2 * tree->TextMargin() : 6;
    r.Bottom += 6;
  }
  InflateRect(r, 1, 1);
  OffsetRect(r, -r.Left, -r.Top);
  if (tooltip) {
    r.Right += ShadowSize;
    r.Bottom += ShadowSize;
  }
  return r;
}

void TDataTreeHintWindow::ActivateHintData(TRect Rect, const String& AHint, void* AData) {
  (void)AData;
  ActivateHint(Rect, AHint);
}

void TDataTreeHintWindow::ActivateHint(TRect Rect, const String& AHint) {
  (void)AHint;
  if (Rect.IsEmpty()) {
    if (Application) Application->CancelHint();
    return;
  }
  TBaseDataTree* tree = this->tree();
  if (tree) tree->ToolkitEntry([&] { tree->DoStateChange({}, {tsCancelHintAnimation}); });
  // The state handler may have destroyed the tree.
  tree = this->tree();
  // The whole hint stays on the monitor that holds it.
  if (Screen) {
    const TRect m = Screen->MonitorRect(Rect);
    if (!m.IsEmpty()) {
      if (Rect.Right > m.Right) OffsetRect(Rect, m.Right - Rect.Right, 0);
      if (Rect.Bottom > m.Bottom) OffsetRect(Rect, 0, m.Bottom - Rect.Bottom);
      if (Rect.Left < m.Left) OffsetRect(Rect, m.Left - Rect.Left, 0);
      if (Rect.Top < m.Top) OffsetRect(Rect, 0, m.Top - Rect.Top);
    }
  }
  SetBoundsRect(Rect);
  for (TBitmap* b : {FBackground.get(), FDrawBuffer.get(), FTarget.get()})
    makeBitmap(*b, Rect.Width(), Rect.Height());
  // What the screen shows where the window will be, before it shows.
  CaptureScreen(Rect, *FBackground);
  FComposed = false;
  THintWindow::ActivateHint(Rect, FHintData.HintText);

  tree = this->tree();
  const THintAnimationType animation = tree ? tree->DoGetAnimationType() : hatNone;
  if (animation == hatNone || !tree) {
    InternalPaint(0, 0);
    Invalidate();
    return;
  }
  const std::weak_ptr<const bool> self = FAlive;
  const std::weak_ptr<const bool> treeLife = tree->LifeToken();
  const std::uint32_t duration = tree->AnimationDuration();
  const int height = Rect.Height();
  // The tree counts the steps down; the window shows how far it has come.
  // The tree's state handlers may destroy it (and this window) meanwhile.
  tree->ToolkitEntry([&] {
    if (animation == hatFade) {
      tree->Animate(255, 2 * duration, [this, self, treeLife](int Step, int StepSize, void*) {
        return animationStep(255 - Step, StepSize, self, treeLife);
      }, nullptr);
    } else {
      tree->Animate(std::uint32_t(height), duration, [this, self, treeLife, height](int Step, int StepSize, void*) {
        return animationStep(height - Step, StepSize, self, treeLife);
      }, nullptr);
    }
  });
}

bool TDataTreeHintWindow::animationStep(int Step, int StepSize, const std::weak_ptr<const bool>& Self,
                                        const std::weak_ptr<const bool>& TreeLife) {
  if (Self.expired() || TreeLife.expired() || gHintWindowDestroyed) return false;
  if (!Active() || !Visible() || !tree() || tree()->TreeStates().Contains(tsCancelHintAnimation)) return false;
  InternalPaint(Step, StepSize);
  Repaint();
  if (Application) Application->ProcessMessages();
  return !Self.expired() && !TreeLife.expired();
}

void TDataTreeHintWindow::prepareTarget() {
  TBitmap& t = *FTarget;
  TCanvas& c = *t.Canvas();
  const bool tooltip = tooltipMode();
  TRect r{0, 0, t.Width(), t.Height()};
  if (tooltip) {
    r.Right -= ShadowSize;
    r.Bottom -= ShadowSize;
  }
  TBaseDataTree* tree = this->tree();
  c.Brush()->SetColor(tooltip ? tree->Color() : clInfoBk);
  c.Brush()->SetStyle(bsSolid);
  c.FillRect({0, 0, t.Width(), t.Height()});
  c.Brush()->SetColor(clBlack);
  c.FrameRect(r);
  InflateRect(r, -1, -1);
  c.Font()->Assign(FHintFont);
  if (!tooltip) c.Font()->SetColor(clInfoText);
  const bool rtl = FHintData.BidiMode != bdLeftToRight;
  const int margin = tooltip ? tree->TextMargin() : 2;
  UINT flags = DT_NOPREFIX;
  if (rtl) {
    flags |= DT_RTLREADING | DT_RIGHT;
    r.Right -= margin;
  } else {
    r.Left += margin;
  }
  if (FHintData.LineBreakStyle == hlbForceSingleLine && tooltip)
    flags |= DT_SINGLELINE | DT_VCENTER;
  else {
    flags |= DT_WORDBREAK;
    r.Top += 2;
  }
  c.Brush()->SetStyle(bsClear);
  c.TextRectFlags(r, FHintData.HintText, flags);
}

void TDataTreeHintWindow::drawShadow(TBitmap& Picture) {
  if (!tooltipMode()) return;
  const int w = Picture.Width(), h = Picture.Height();
  static const int alphas[ShadowSize] = {5, 10, 20, 35, 50};  // from the outside in
  for (int i = 0; i < ShadowSize; ++i) {
    const int alpha = alphas[i];
    const int x = w - 1 - i, y = h - 1 - i;
    auto darken = [alpha](std::uint8_t* px) {
      for (int ch = 0; ch < 3; ++ch) px[ch] = std::uint8_t(px[ch] * (255 - alpha) / 255);
    };
    // The right edge from below the top shadow offset, the bottom edge from the left one.
    for (int row = ShadowSize; row <= y && row < h; ++row)
      darken(static_cast<std::uint8_t*>(Picture.ScanLine(row)) + 4 * x);
    auto* line = static_cast<std::uint8_t*>(Picture.ScanLine(y));
    for (int col = ShadowSize; col < x; ++col) darken(line + 4 * col);
  }
}

void TDataTreeHintWindow::InternalPaint(int Step, int StepSize) {
  (void)StepSize;  // each step is painted whole, however far it jumps
  if (FTarget->Empty()) return;
  if (Step == 0 || !FComposed) prepareTarget();
  const int w = FTarget->Width(), h = FTarget->Height();
  const THintAnimationType animation = tree() ? tree()->DoGetAnimationType() : hatNone;
  TBitmap& out = *FDrawBuffer;
  // The shadow lies over what the screen shows; the hint's own part over that.
  for (int y = 0; y < h; ++y) std::memcpy(out.ScanLine(y), FBackground->ScanLine(y), std::size_t(w) * 4);
  drawShadow(out);
  const int contentW = tooltipMode() ? w - ShadowSize : w;
  const int contentH = tooltipMode() ? h - ShadowSize : h;
  if (animation == hatFade && Step > 0 && Step < 255) {
    AlphaBlend(FTarget.get(), &out, {0, 0, contentW, contentH}, {0, 0}, bmConstantAlpha, MulDiv(Step, 256, 255), 0);
  } else if (animation == hatSlide && Step > 0 && Step < h) {
    // The hint unrolls downwards from its top edge.
    const int rows = std::min(contentH, Step);
    for (int y = 0; y < rows; ++y)
      std::memcpy(out.ScanLine(y), FTarget->ScanLine(y + contentH - rows), std::size_t(contentW) * 4);
  } else {
    for (int y = 0; y < contentH; ++y) std::memcpy(out.ScanLine(y), FTarget->ScanLine(y), std::size_t(contentW) * 4);
  }
  FComposed = true;
}

void TDataTreeHintWindow::Paint() {
  if (!FComposed) InternalPaint(0, 0);
  if (FDrawBuffer->Empty()) return;
  Canvas()->Draw(0, 0, FDrawBuffer.get());
}

bool TDataTreeHintWindow::IsHintMsg(const TMessage& Msg) {
  const bool keyboard = Msg.Msg >= WM_KEYFIRST && Msg.Msg <= WM_KEYLAST;
  // Typing goes on under a hint; a move over the frame does not end it.
  if ((keyboard || Msg.Msg == WM_NCMOUSEMOVE) && Visible()) return false;
  return THintWindow::IsHintMsg(Msg);
}

void TDataTreeHintWindow::ReleaseHandle() {
  THintWindow::ReleaseHandle();
  FHintData = TDTHintData{};
  FTreeLife.reset();
  gHintWindowDestroyed = false;
}
