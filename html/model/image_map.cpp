// Client-side image maps: areas as regions, hit-tested in document order.
#include "html/model/image_map.h"

#include "html/parse/html_common.h"
#include "html/model/text_buffers.h"
#include "platform/graphics/geometry.h"

TMapArea::~TMapArea() {
  if (Region) DeleteObject(Region);
}

bool TMapArea::PtInArea(int X, int Y) const { return Region && PtInRegion(Region, X, Y); }

namespace {
enum TShape { shRect, shCircle, shPoly };

// Numbers of a COORDS value: each ends at a comma or a blank.
std::vector<int> readCoords(const String& text) {
  std::vector<int> result;
  const String s = WideTrim(text);
  size_t i = 0;
  while (i < s.size() && result.size() < 301) {
    size_t j = i;
    while (j < s.size() && s[j] != u',' && s[j] != u' ') ++j;
    int64_t value = 0;
    bool negative = false;
    size_t k = i;
    if (k < j && (s[k] == u'-' || s[k] == u'+')) negative = s[k++] == u'-';
    bool digits = false;
    for (; k < j && s[k] >= u'0' && s[k] <= u'9'; ++k) {
      digits = true;
      if (value < 100000000) value = value * 10 + (s[k] - u'0');
    }
    result.push_back(digits && k == j ? int(negative ? -value : value) : 0);
    while (j < s.size() && (s[j] == u',' || s[j] == u' ')) ++j;
    i = j;
  }
  return result;
}
}  // namespace

void TMapItem::AddArea(TAttributeList* Attrib) {
  if (int(Areas.size()) >= MaxAreas || !Attrib) return;
  auto area = std::make_unique<TMapArea>();
  TShape shape = shRect;
  std::vector<int> coords;
  for (const auto& A : *Attrib) {
    switch (A->Symbol) {
      case symHref: area->HRef = A->Text; break;
      case symNoHref: area->HRef.clear(); break;
      case symTarget: area->Target = A->Text; break;
      case symTitle: area->Title = A->Text; break;
      case symShape: {
        const String s = htLowerCase(A->Text).substr(0, 4);
        if (s == u"circ") shape = shCircle;
        else if (s == u"poly") shape = shPoly;
        else if (s == u"rect") shape = shRect;
        break;
      }
      case symCoords: coords = readCoords(A->Text); break;
      default: break;
    }
  }
  const size_t n = coords.size();
  switch (shape) {
    case shRect:
      if (n < 4) return;
      area->Region = CreateRectRgn(coords[0], coords[1], coords[2] + 1, coords[3] + 1);
      break;
    case shCircle:
      if (n < 3) return;
      area->Region = CreateEllipticRgn(coords[0] - coords[2], coords[1] - coords[2],
                                       coords[0] + coords[2] + 1, coords[1] + coords[2] + 1);
      break;
    case shPoly: {
      if (n < 6) return;
      std::vector<TPoint> points;
      for (size_t i = 0; i + 1 < n; i += 2) points.push_back(TPoint{coords[i], coords[i + 1]});
      area->Region = CreatePolygonRgn(points.data(), int(points.size()), WINDING);
      break;
    }
  }
  if (!area->Region) return;
  Areas.push_back(std::move(area));
}

bool TMapItem::GetURL(int X, int Y, std::unique_ptr<TUrlTarget>& URLTarg, String& ATitle) const {
  ATitle.clear();
  for (const auto& area : Areas) {
    if (!area->PtInArea(X, Y)) continue;
    if (area->HRef.empty()) return false;
    URLTarg = std::make_unique<TUrlTarget>();
    URLTarg->URL = area->HRef;
    URLTarg->Target = area->Target;
    ATitle = area->Title;
    return true;
  }
  return false;
}
