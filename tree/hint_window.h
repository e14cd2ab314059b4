#pragma once
// The window in which trees show hints and tool tips: a classic hint in the
// desktop's hint font and colours, or, as a tool tip, the whole text of a
// cell that does not fit, laid exactly over the cell. It may fade or slide
// in, over a copy of the screen beneath it, with a soft shadow.
#include <memory>

#include "platform/graphics/bitmap.h"
#include "platform/gui/hints.h"
#include "tree/node.h"

class TBaseDataTree;

enum TDTTooltipLineBreakStyle : std::uint8_t { hlbDefault, hlbForceSingleLine, hlbForceMultiLine };

// What a tree hands its hint window for one hint.
struct TDTHintData {
  TBaseDataTree* Tree = nullptr;
  PDataNode Node = nullptr;
  TColumnIndex Column = NoColumn;
  TRect HintRect;
  String DefaultHint;
  String HintText;
  std::uint8_t BidiMode = 0;
  std::uint8_t Alignment = 0;
  TDTTooltipLineBreakStyle LineBreakStyle = hlbDefault;
};

class TDataTreeHintWindow : public THintWindow {
public:
  explicit TDataTreeHintWindow(TComponent* AOwner);
  ~TDataTreeHintWindow() override;

  TRect CalcHintRect(int MaxWidth, const String& AHint, void* AData) override;
  void ActivateHint(TRect Rect, const String& AHint) override;
  void ActivateHintData(TRect Rect, const String& AHint, void* AData) override;
  bool IsHintMsg(const TMessage& Msg) override;
  void ReleaseHandle() override;

  const TDTHintData& HintData() const { return FHintData; }
  // The picture of one animation step: Step of StepSize steps shown (fade:
  // the opacity out of 255; slide: the rows revealed). Step 0 also prepares
  // the hint's own picture.
  void InternalPaint(int Step, int StepSize);
  TBitmap& Background() { return *FBackground; }
  TBitmap& DrawBuffer() { return *FDrawBuffer; }
  TBitmap& Target() { return *FTarget; }
  // Room along the right and bottom edge for the shadow.
  static constexpr int ShadowSize = 5;

protected:
  void CreateParams(TCreateParams& Params) override;
  void Paint() override;

private:
  // The tree the hint belongs to, or nil once that tree is gone: the window
  // may outlive it (the tree can go while the hint shows or animates).
  TBaseDataTree* tree() const { return FTreeLife.expired() ? nullptr : FHintData.Tree; }
  bool tooltipMode() const;
  void prepareTarget();
  void drawShadow(TBitmap& Picture);
  bool animationStep(int Step, int StepSize, const std::weak_ptr<const bool>& Self,
                     const std::weak_ptr<const bool>& TreeLife);
  TDTHintData FHintData;
  std::weak_ptr<const bool> FTreeLife;
  std::unique_ptr<TBitmap> FBackground, FDrawBuffer, FTarget;
  int FTextHeight = 0;
  // The font the hint's text is drawn in (the tree's in tool-tip mode).
  TFont FHintFont;
  bool FComposed = false;
  // Expires with the window: a running animation then stops at once.
  std::shared_ptr<const bool> FAlive = std::make_shared<const bool>(true);
};
