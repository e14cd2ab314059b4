#pragma once
// Client-side image maps: each AREA of a MAP as a region with its link.
#include <memory>
#include <vector>

#include "html/model/attributes.h"
#include "platform/graphics/gdi.h"

class TMapArea : public TObject {
public:
  ~TMapArea() override;
  bool PtInArea(int X, int Y) const;

  String HRef;
  HRGN Region = nullptr;
  String Target;
  String Title;
};

class TMapItem : public TObject {
public:
  // At most this many areas per map.
  static constexpr int MaxAreas = 1000;
  void AddArea(TAttributeList* Attrib);
  // The link of the first area holding (X, Y); false when it has none.
  bool GetURL(int X, int Y, std::unique_ptr<TUrlTarget>& URLTarg, String& ATitle) const;

  std::vector<std::unique_ptr<TMapArea>> Areas;
  String MapName;  // upper case
};
