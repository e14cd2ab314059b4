#pragma once
// The rule of an HR element and the page break of a PAGE element.
#include <cstdint>
#include <memory>

#include "html/model/section_base.h"

class THorzLine : public TSectionBase {
public:
  THorzLine(ThtDocument* Document, TAttributeList* L, TProperties* Prop);
  std::unique_ptr<TSectionBase> CreateCopy(ThtDocument* NewDocument) const override;
  int DrawLogic(TCanvas* Canvas, int X, int Y, int XRef, int YRef, int AvailWidth,
                int AvailHeight, int BlockHeight, TIndentManager* IMgr, int& MaxWidth,
                int& Curs) override;
  int Draw(TCanvas* Canvas, const TRect& ARect, TIndentManager* IMgr, int X, int XRef,
           int YRef) override;
  void CopyToClipboard() override;

  int32_t RuleHeight = 2;
  TColor RuleColor = clNone;  // clNone: a shaded rule
  uint8_t RuleAlign = 2;      // 1 left, 2 centre, 3 right
  bool NoShade = false;
  int32_t RuleWidth = 0;
  int32_t RuleLeft = 0;

protected:
  THorzLine(ThtDocument* NewDocument, const THorzLine& Source);
};

class TPage : public TSectionBase {
public:
  using TSectionBase::TSectionBase;
  std::unique_ptr<TSectionBase> CreateCopy(ThtDocument* NewDocument) const override;
  int Draw(TCanvas* Canvas, const TRect& ARect, TIndentManager* IMgr, int X, int XRef,
           int YRef) override;
};
