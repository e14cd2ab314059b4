#include "html/parse/style_colors.h"

#include <algorithm>
#include <cmath>
#include <string_view>

#include "html/parse/style_model.h"
#include "html/parse/style_text.h"

using namespace styletext;

namespace {

struct ColorName {
  const char16_t* Name;
  int32_t Color;
};

// Colour names, sorted for binary search (generated from the published
// colour keyword values; colours in 0x00BBGGRR form).
const ColorName ColorNames[] = {
    {u"activeborder", int32_t(0xFF00000A)},
    {u"activecaption", int32_t(0xFF000002)},
    {u"aliceblue", 0x00FFF8F0},
    {u"antiquewhite", 0x00D7EBFA},
    {u"appworkspace", int32_t(0xFF00000C)},
    {u"aqua", 0x00FFFF00},
    {u"aquamarine", 0x00D4FF7F},
    {u"azure", 0x00FFFFF0},
    {u"background", int32_t(0xFF000001)},
    {u"beige", 0x00DCF5F5},
    {u"bisque", 0x00C4E4FF},
    {u"black", 0x00000000},
    {u"blanchedalmond", 0x00CDEBFF},
    {u"blue", 0x00FF0000},
    {u"blueviolet", 0x00E22B8A},
    {u"brown", 0x002A2AA5},
    {u"burlywood", 0x0087B8DE},
    {u"buttonface", int32_t(0xFF00000F)},
    {u"buttonhighlight", int32_t(0xFF000014)},
    {u"buttonshadow", int32_t(0xFF000010)},
    {u"buttontext", int32_t(0xFF000012)},
    {u"cadetblue", 0x00A09E5F},
    {u"captiontext", int32_t(0xFF000009)},
    {u"chartreuse", 0x0000FF7F},
    {u"chocolate", 0x001E69D2},
    {u"coral", 0x00507FFF},
    {u"cornflowerblue", 0x00ED9564},
    {u"cornsilk", 0x00DCF8FF},
    {u"crimson", 0x003C14DC},
    {u"cyan", 0x00FFFF00},
    {u"darkblue", 0x008B0000},
    {u"darkcyan", 0x008B8B00},
    {u"darkgoldenrod", 0x000B86B8},
    {u"darkgray", 0x00A9A9A9},
    {u"darkgreen", 0x00006400},
    {u"darkgrey", 0x00A9A9A9},
    {u"darkkhaki", 0x006BB7BD},
    {u"darkmagenta", 0x008B008B},
    {u"darkolivegreen", 0x002F6B55},
    {u"darkorange", 0x00008CFF},
    {u"darkorchid", 0x00CC3299},
    {u"darkred", 0x0000008B},
    {u"darksalmon", 0x007A96E9},
    {u"darkseagreen", 0x008FBC8F},
    {u"darkslateblue", 0x008B3D48},
    {u"darkslategray", 0x004F4F2F},
    {u"darkslategrey", 0x004F4F2F},
    {u"darkturquoise", 0x00D1CE00},
    {u"darkviolet", 0x00D30094},
    {u"deeppink", 0x009314FF},
    {u"deepskyblue", 0x00FFBF00},
    {u"dimgray", 0x00696969},
    {u"dimgrey", 0x00696969},
    {u"dodgerblue", 0x00FF901E},
    {u"firebrick", 0x002222B2},
    {u"floralwhite", 0x00F0FAFF},
    {u"forestgreen", 0x00228B22},
    {u"fuchsia", 0x00FF00FF},
    {u"gainsboro", 0x00DCDCDC},
    {u"ghostwhite", 0x00FFF8F8},
    {u"gold", 0x0000D7FF},
    {u"goldenrod", 0x0020A5DA},
    {u"gray", 0x00808080},
    {u"graytext", int32_t(0xFF000011)},
    {u"green", 0x00008000},
    {u"greenyellow", 0x002FFFAD},
    {u"grey", 0x00808080},
    {u"highlight", int32_t(0xFF00000D)},
    {u"highlighttext", int32_t(0xFF00000E)},
    {u"honeydew", 0x00F0FFF0},
    {u"hotpink", 0x00B469FF},
    {u"inactiveborder", int32_t(0xFF00000B)},
    {u"inactivecaption", int32_t(0xFF000003)},
    {u"inactivecaptiontext", int32_t(0xFF000013)},
    {u"indianred", 0x005C5CCD},
    {u"indigo", 0x0082004B},
    {u"infobackground", int32_t(0xFF000018)},
    {u"infotext", int32_t(0xFF000017)},
    {u"ivory", 0x00F0FFFF},
    {u"khaki", 0x008CE6F0},
    {u"lavender", 0x00FAE6E6},
    {u"lavenderblush", 0x00F5F0FF},
    {u"lawngreen", 0x0000FC7C},
    {u"lemonchiffon", 0x00CDFAFF},
    {u"lightblue", 0x00E6D8AD},
    {u"lightcoral", 0x008080F0},
    {u"lightcyan", 0x00FFFFE0},
    {u"lightgoldenrodyellow", 0x00D2FAFA},
    {u"lightgray", 0x00D3D3D3},
    {u"lightgreen", 0x0090EE90},
    {u"lightgrey", 0x00D3D3D3},
    {u"lightpink", 0x00C1B6FF},
    {u"lightsalmon", 0x007AA0FF},
    {u"lightseagreen", 0x00AAB220},
    {u"lightskyblue", 0x00FACE87},
    {u"lightslategray", 0x00998877},
    {u"lightslategrey", 0x00998877},
    {u"lightsteelblue", 0x00DEC4B0},
    {u"lightyellow", 0x00E0FFFF},
    {u"lime", 0x0000FF00},
    {u"limegreen", 0x0032CD32},
    {u"linen", 0x00E6F0FA},
    {u"magenta", 0x00FF00FF},
    {u"maroon", 0x00000080},
    {u"mediumaquamarine", 0x00AACD66},
    {u"mediumblue", 0x00CD0000},
    {u"mediumorchid", 0x00D355BA},
    {u"mediumpurple", 0x00DB7093},
    {u"mediumseagreen", 0x0071B33C},
    {u"mediumslateblue", 0x00EE687B},
    {u"mediumspringgreen", 0x009AFA00},
    {u"mediumturquoise", 0x00CCD148},
    {u"mediumvioletred", 0x008515C7},
    {u"menu", int32_t(0xFF000004)},
    {u"menutext", int32_t(0xFF000007)},
    {u"midnightblue", 0x00701919},
    {u"mintcream", 0x00FAFFF5},
    {u"mistyrose", 0x00E1E4FF},
    {u"moccasin", 0x00B5E4FF},
    {u"navajowhite", 0x00ADDEFF},
    {u"navy", 0x00800000},
    {u"oldlace", 0x00E6F5FD},
    {u"olive", 0x00008080},
    {u"olivedrab", 0x00238E6B},
    {u"orange", 0x0000A5FF},
    {u"orangered", 0x000045FF},
    {u"orchid", 0x00D670DA},
    {u"palegoldenrod", 0x00AAE8EE},
    {u"palegreen", 0x0098FB98},
    {u"paleturquoise", 0x00EEEEAF},
    {u"palevioletred", 0x009370DB},
    {u"papayawhip", 0x00D5EFFF},
    {u"peachpuff", 0x00B9DAFF},
    {u"peru", 0x003F85CD},
    {u"pink", 0x00CBC0FF},
    {u"plum", 0x00DDA0DD},
    {u"powderblue", 0x00E6E0B0},
    {u"purple", 0x00800080},
    {u"red", 0x000000FF},
    {u"rosybrown", 0x008F8FBC},
    {u"royalblue", 0x00E16941},
    {u"saddlebrown", 0x0013458B},
    {u"salmon", 0x007280FA},
    {u"sandybrown", 0x0060A4F4},
    {u"scrollbar", int32_t(0xFF000000)},
    {u"seagreen", 0x00578B2E},
    {u"seashell", 0x00EEF5FF},
    {u"sienna", 0x002D52A0},
    {u"silver", 0x00C0C0C0},
    {u"skyblue", 0x00EBCE87},
    {u"slateblue", 0x00CD5A6A},
    {u"slategray", 0x00908070},
    {u"slategrey", 0x00908070},
    {u"snow", 0x00FAFAFF},
    {u"springgreen", 0x007FFF00},
    {u"steelblue", 0x00B48246},
    {u"tan", 0x008CB4D2},
    {u"teal", 0x00808000},
    {u"thistle", 0x00D8BFD8},
    {u"threeddarkshadow", int32_t(0xFF000015)},
    {u"threedface", int32_t(0xFF00000F)},
    {u"threedhighlight", int32_t(0xFF000016)},
    {u"threedlightshadow", int32_t(0xFF000014)},
    {u"threedshadow", int32_t(0xFF000010)},
    {u"tomato", 0x004763FF},
    {u"transparent", clNone},
    {u"turquoise", 0x00D0E040},
    {u"violet", 0x00EE82EE},
    {u"wheat", 0x00B3DEF5},
    {u"white", 0x00FFFFFF},
    {u"whitesmoke", 0x00F5F5F5},
    {u"window", int32_t(0xFF000005)},
    {u"windowframe", int32_t(0xFF000006)},
    {u"windowtext", int32_t(0xFF000008)},
    {u"yellow", 0x0000FFFF},
    {u"yellowgreen", 0x0032CD9A},
};

bool lookUpName(const String& name, int32_t& color) {
  auto first = std::begin(ColorNames), last = std::end(ColorNames);
  auto it = std::lower_bound(first, last, name, [](const ColorName& e, const String& key) {
    return std::u16string_view(e.Name) < key;
  });
  if (it == last || name != it->Name) return false;
  color = it->Color;
  return true;
}

bool hexColor(const String& text, bool needPound, int32_t& color) {
  const size_t pound = text.rfind(u'#');
  if (pound == String::npos && needPound) return false;
  String digits = trim(pound == String::npos ? std::u16string_view(text)
                                             : std::u16string_view(text).substr(pound + 1));
  if (digits.empty() || digits.size() > 6) return false;
  if (digits.size() < 4) {
    String doubled;
    for (char16_t c : digits) doubled.append(2, c);
    digits = doubled;
  }
  int32_t v = 0;
  for (char16_t c : digits) {
    const int d = digitValue(c, 16);
    if (d < 0) return false;
    v = v * 16 + d;
  }
  const int32_t r = (v >> 16) & 0xFF, g = (v >> 8) & 0xFF, b = v & 0xFF;
  color = (b << 16 | g << 8 | r) + PaletteRelativeFlag;
  return true;
}

int rgbPart(const String& part) {
  const String t = trim(part);
  double v = 0;
  if (contains(t, u"%")) {
    size_t n = numberPrefix(t, false);
    if (n > 0) tryStrToFloat(std::u16string_view(t).substr(0, n), v);
    v = std::nearbyint(v * 2.55);
  } else {
    int i = 0;
    if (tryStrToInt(t, i)) v = i;
    else if (size_t n = numberPrefix(t, false); n > 0 && n == t.size())
      tryStrToFloat(t, v);  // a real number counts by its whole value
    v = std::trunc(v);
  }
  return int(std::clamp(v, 0.0, 255.0));
}

bool rgbColor(const String& text, int32_t& color) {
  const size_t at = text.find(u"rgb");
  const size_t open = text.find(u'(', at);
  if (open == String::npos) return false;
  const size_t close = text.find(u')', open);
  if (close == String::npos) return false;
  const std::u16string_view inner = std::u16string_view(text).substr(open + 1, close - open - 1);
  String parts[3];
  size_t start = 0;
  for (int i = 0; i < 3; ++i) {
    const size_t comma = inner.find(u',', start);
    if (i < 2 && comma == std::u16string_view::npos) return false;
    parts[i] = String(inner.substr(start, i < 2 ? comma - start : std::u16string_view::npos));
    start = comma + 1;
  }
  // rgba(): anything after the third value (alpha) is ignored.
  if (const size_t extra = parts[2].find(u','); extra != String::npos) parts[2].resize(extra);
  color = rgbPart(parts[2]) << 16 | rgbPart(parts[1]) << 8 | rgbPart(parts[0]);
  return true;
}

// Runs of equal colour texts convert once. The answer depends on the text
// and on whether bare hex digits are accepted, so both form the key.
struct LastColor {
  String Text;
  bool NeedPound = false;
  bool Valid = false;
  int32_t Color = 0;
};
LastColor GLastColor;

}  // namespace

bool ColorFromString(const String& text, bool needPound, TColor& color) {
  if (text.empty()) return false;
  const String s = lower(trim(text));
  if (GLastColor.Valid && GLastColor.NeedPound == needPound && GLastColor.Text == s) {
    color = GLastColor.Color;
    return true;
  }
  int32_t c = 0;
  bool ok = false;
  const bool hasRgb = contains(s, u"rgb");
  if (!hasRgb && !startsWith(s, u"#")) ok = lookUpName(s, c);
  if (!ok && !hasRgb) ok = hexColor(s, needPound, c);
  if (!ok && hasRgb) ok = rgbColor(s, c);
  if (!ok) return false;
  GLastColor = {s, needPound, true, c};
  color = c;
  return true;
}
