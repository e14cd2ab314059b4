#include "html/parse/style_model.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <new>
#include <unordered_map>

#include "html/parse/style_colors.h"
#include "html/parse/style_fonts.h"
#include "html/parse/style_text.h"
#include "html/parse/source_buffer.h"
#include "platform/core/exception.h"
#include "platform/graphics/gdi.h"

using namespace styletext;
using namespace std::string_view_literals;

// ---------------------------------------------------------------- values

int32_t TPropValue::roundedInt() const {
  if (FKind == kDouble) {
    const double d = std::bit_cast<double>(FBits);
    if (!(std::fabs(d) < 2147483647.0)) return d < 0 ? INT32_MIN : INT32_MAX;
    return int32_t(std::lround(d));
  }
  return 0;
}

void TPropValue::releaseText() {
  if (text()->Refs.fetch_sub(1, std::memory_order_acq_rel) == 1) delete text();
}

const String TPropValue::FNoText;

bool TPropValue::operator==(const TPropValue& v) const {
  if (FKind != v.FKind) return false;
  switch (FKind) {
    case kEmpty: return true;
    case kInt: return FBits == v.FBits;
    // Reals compare as numbers (0.0 equals -0.0, NaN equals nothing).
    case kDouble: return std::bit_cast<double>(FBits) == std::bit_cast<double>(v.FBits);
    case kString: return FBits == v.FBits || text()->Text == v.text()->Text;
  }
  return false;
}

const char16_t* const PropertyNames[PropertyCount] = {
    u"font-family", u"font-size", u"font-style", u"font-weight", u"text-align",
    u"text-decoration", u"letter-spacing", u"color", u"background-color", u"margin-top",
    u"margin-right", u"margin-bottom", u"margin-left", u"padding-top", u"padding-right",
    u"padding-bottom", u"padding-left", u"border-top-width", u"border-right-width",
    u"border-bottom-width", u"border-left-width", u"border-top-color", u"border-right-color",
    u"border-bottom-color", u"border-left-color", u"border-top-style", u"border-right-style",
    u"border-bottom-style", u"border-left-style", u"width", u"height", u"top", u"bottom",
    u"right", u"left", u"visibility", u"line-height", u"background-image",
    u"background-position", u"background-repeat", u"background-attachment", u"vertical-align",
    u"position", u"z-index", u"list-style-type", u"list-style-image", u"float", u"clear",
    u"text-indent", u"page-break-before", u"page-break-after", u"page-break-inside",
    u"text-transform", u"word-wrap", u"font-variant", u"border-collapse", u"overflow",
    u"display", u"empty-cells"};

int PropertyIndexFromName(const String& name) {
  static const auto byName = [] {
    std::unordered_map<std::u16string_view, int> m;
    for (int i = 0; i < PropertyCount; ++i) m.emplace(PropertyNames[i], i);
    return m;
  }();
  auto it = byName.find(name);
  return it == byName.end() ? -1 : it->second;
}

// ---------------------------------------------------------------- lengths

bool ParseNumberAndUnit(const String& text, double& value, String& unit) {
  const String t = trim(text);
  // An exponent is never part of the number: "2em" is 2 with the unit em.
  const size_t n = numberPrefix(t, false);
  if (n == 0) return false;
  if (!tryStrToFloat(std::u16string_view(t).substr(0, n), value)) return false;
  unit = trim(std::u16string_view(t).substr(n));
  return true;
}

static int clampToInt(long long v) {
  return int(std::clamp<long long>(v, INT32_MIN, INT32_MAX));
}

// Pixel values are rounded half to even and kept well inside the integer
// range (+/-10,000,000 px, far beyond any real page), so that the layout's
// sums of margins, borders, paddings, sizes and offsets built from absurd
// lengths in a page cannot overflow.
constexpr double PixelBound = 10000000.0;
static int32_t roundPixels(double v) {
  if (std::isnan(v)) return 0;
  return int32_t(std::nearbyint(std::clamp(v, -PixelBound, PixelBound)));
}

int32_t ConvertLength(const String& text, bool relative, double base, int emSize, int exSize,
                      int32_t defaultValue) {
  double v;
  String u;
  if (!ParseNumberAndUnit(text, v, u)) return defaultValue;
  u = lower(u);
  const double ppi = ScreenPixelsPerInch();
  double r;
  if (u.empty()) r = relative ? v * base : v;
  else if (u == u"%"sv) r = v * base * 0.01;
  else if (u == u"in"sv) r = v * ppi;
  else if (u == u"cm"sv) r = v * ppi * 0.3937007874015748;
  else if (u == u"mm"sv) r = v * ppi * 0.03937007874015748;
  else if (u == u"pt"sv) r = v * ppi / 72;
  else if (u == u"px"sv) r = v;
  else if (u == u"pc"sv) r = v * ppi / 6;
  else if (u == u"em"sv) r = v * emSize;
  else if (u == u"ex"sv) r = v * exSize;
  else return defaultValue;
  return roundPixels(r);
}

int32_t LengthVarToPixels(const TPropValue& value, bool relative, double base, int emSize,
                          int exSize, int32_t defaultValue) {
  if (value.IsString())
    return ConvertLength(value.AsString(), relative, base, emSize, exSize, defaultValue);
  if (value.IsNumber() && value.AsInt() != NotSetValue) return value.AsInt();
  return defaultValue;
}

String ExtractUrl(const TPropValue& value) {
  if (!value.IsString()) return String();
  const String& s = value.AsString();
  size_t i = s.find(u"url(");
  if (i == String::npos) return String();
  i += 4;
  while (i < s.size() && (s[i] == u' ' || s[i] == u'\n' || s[i] == u'\f' || s[i] == u'\r')) ++i;
  if (i < s.size() && (s[i] == u'"' || s[i] == u'\'')) {
    const size_t e = s.find(s[i], i + 1);
    return s.substr(i + 1, e == String::npos ? String::npos : e - i - 1);
  }
  size_t j = i;
  int depth = 0;
  for (; j < s.size(); ++j) {
    const char16_t c = s[j];
    if (c == u' ' || c == u'\n' || c == u'\f' || c == u'\r') break;
    if (c == u'(') ++depth;
    else if (c == u')') {
      if (depth == 0) break;
      --depth;
    }
  }
  return s.substr(i, j - i);
}

int BorderStyleFromString(const String& text, bool& found) {
  static constexpr std::u16string_view names[] = {u"none",   u"solid", u"inset",  u"outset", u"groove",
                                          u"ridge",  u"dashed", u"dotted", u"double"};
  const String t = lower(trim(text));
  for (int i = 0; i < 9; ++i)
    if (t == names[i]) {
      found = true;
      return i;
    }
  found = false;
  return 0;
}

// ---------------------------------------------------------------- box arrays

static bool isIntValue(const TPropValue& v, int32_t x) { return v.IsNumber() && v.AsInt() == x; }

// A string through ConvertLength, an integer as is (NotSetValue giving
// notSet), anything else other.
// Lengths the layout receives stay clear of the sentinels ("auto", "not
// set", the paragraph space), which are large negative numbers: a page
// asking for -12348765px must not be read as "auto".
constexpr int32_t LengthFloor = -10000000;
// And well inside an int: the layout adds a box's margins, borders,
// paddings, height and offsets together, and a page asking for
// "height: 1e10px" must give a very tall box, not a sum that wraps.
constexpr int32_t LengthCeiling = 10000000;

static int32_t boundLength(int32_t r) { return std::clamp(r, LengthFloor, LengthCeiling); }

static int32_t convertText(const String& text, double base, int em, int ex, int32_t dflt) {
  const int32_t r = ConvertLength(text, false, base, em, ex, INT32_MIN);
  return r == INT32_MIN ? dflt : boundLength(r);
}

// Inline: box slots are mostly plain numbers, and every box converts 27.
[[gnu::always_inline]] static inline int32_t convertSlot(const TPropValue& v, double base, int em, int ex,
                                                         int32_t dflt, int32_t notSet, int32_t other) {
  if (v.IsString()) return convertText(v.AsString(), base, em, ex, dflt);
  if (v.IsNumber()) return v.AsInt() == NotSetValue ? notSet : v.AsInt();
  return other;
}

static int32_t borderWidth(const TVMarginArray& vm, int side, int em, int ex, int dflt,
                           int32_t untouched) {
  const TPropValue& style = vm[MA(TPropertyIndex(piBorderTopStyle + side))];
  if (isIntValue(style, bssNone)) return 0;
  const TPropValue& w = vm[MA(TPropertyIndex(piBorderTopWidth + side))];
  if (w.IsString()) {
    const String t = lower(trim(w.AsString()));
    if (t == u"thin"sv) return 2;
    if (t == u"medium"sv) return 4;
    if (t == u"thick"sv) return 6;
    const int32_t r = ConvertLength(t, false, 0, em, ex, INT32_MIN);
    return r == INT32_MIN ? dflt : boundLength(r);
  }
  if (w.IsNumber()) return w.AsInt() == NotSetValue ? dflt : w.AsInt();
  return untouched;
}

void ConvertMarginArray(const TVMarginArray& vm, int baseWidth, int baseHeight, int emSize,
                        int exSize, int defaultBorderWidth, int& autoCount, TMarginArray& m) {
  // Slot by slot in slot order (the height reads the borders and paddings
  // before it); every cell and block comes here, so the groups are written
  // out rather than switched on per slot.
  autoCount = 0;
  const double width = baseWidth, height = baseHeight;
  const auto in = [&](int i) -> const TPropValue& { return vm[size_t(i - MarginFirst)]; };
  const auto out = [&](int i) -> int32_t& { return m[size_t(i - MarginFirst)]; };
  out(piBackgroundColor) = in(piBackgroundColor).IsNumber() ? in(piBackgroundColor).AsInt() : clNone;
  // Vertical margins are converted separately.
  for (int i : {piMarginRight, piMarginLeft}) {
    const TPropValue& v = in(i);
    if (v.IsString() && lower(trim(v.AsString())) == u"auto"sv) {
      out(i) = AutoValue;
      ++autoCount;
    } else {
      out(i) = convertSlot(v, width, emSize, exSize, 0, 0, 0);
    }
  }
  // A negative padding has no meaning; it would push content out of its
  // own box.
  for (int i = piPaddingTop; i <= piPaddingLeft; ++i)
    out(i) = std::max<int32_t>(0, convertSlot(in(i), width, emSize, exSize, 0, 0, 0));
  for (int side = 0; side < 4; ++side)
    out(piBorderTopWidth + side) =
        borderWidth(vm, side, emSize, exSize, defaultBorderWidth, out(piBorderTopWidth + side));
  for (int i = piBorderTopColor; i <= piBorderLeftStyle; ++i) out(i) = convertSlot(in(i), width, emSize, exSize, 0, 0, 0);
  out(piWidth) = convertSlot(in(piWidth), width, emSize, exSize, AutoValue, AutoValue, AutoValue);
  if (out(piWidth) == AutoValue) ++autoCount;
  const TPropValue& h = in(piHeight);
  int32_t& r = out(piHeight);
  r = convertSlot(h, height, emSize, exSize, 0, 0, 0);
  if (h.IsString() && contains(h.AsString(), u"%"sv))
    r = boundLength(clampToInt((long long)r - m[MA(piBorderTopWidth)] - m[MA(piBorderBottomWidth)] -
                               m[MA(piPaddingTop)] - m[MA(piPaddingBottom)]));
  out(piTop) = convertSlot(in(piTop), height, emSize, exSize, AutoValue, AutoValue, AutoValue);
  for (int i : {piBottom, piRight, piLeft})
    out(i) = convertSlot(in(i), width, emSize, exSize, AutoValue, AutoValue, AutoValue);
}

void ConvertInlineMarginArray(const TVMarginArray& vm, int baseWidth, int baseHeight, int emSize,
                              int exSize, TMarginArray& m) {
  for (int i = piMarginTop; i <= piMarginLeft; ++i)
    m[i - MarginFirst] =
        convertSlot(vm[i - MarginFirst], baseWidth, emSize, exSize, 0, NotSetValue, NotSetValue);
  for (int side = 0; side < 4; ++side)
    m[MA(TPropertyIndex(piBorderTopWidth + side))] =
        borderWidth(vm, side, emSize, exSize, 4, m[MA(TPropertyIndex(piBorderTopWidth + side))]);
  m[MA(piWidth)] =
      convertSlot(vm[MA(piWidth)], baseWidth, emSize, exSize, AutoValue, NotSetValue, NotSetValue);
  m[MA(piHeight)] = convertSlot(vm[MA(piHeight)], baseHeight, emSize, exSize, AutoValue,
                                NotSetValue, NotSetValue);
}

void ConvertPaddingArray(const TVMarginArray& vm, int emSize, int exSize, TMarginArray& m) {
  for (int i = piPaddingTop; i <= piPaddingLeft; ++i) {
    const TPropValue& v = vm[i - MarginFirst];
    int32_t r = -1;
    if (v.IsString()) {
      // Percentages come out negative (-p for p %); a negative length would
      // then be mistaken for a percentage, so it is clamped to 0.
      const bool percent = contains(v.AsString(), u"%"sv);
      r = ConvertLength(v.AsString(), false, -100, emSize, exSize, -1);
      if (percent) r = std::min<int32_t>(r, 0);
      else if (r < 0) r = 0;
    } else if (v.IsNumber() && v.AsInt() != NotSetValue) {
      r = std::max<int32_t>(v.AsInt(), 0);
    }
    m[i - MarginFirst] = r;
  }
}

void ConvertVertMargins(const TVMarginArray& vm, int baseHeight, int emSize, int exSize,
                        int32_t& top, int32_t& bottom, bool& topIsParaSpace,
                        bool& bottomIsParaSpace) {
  auto one = [&](const TPropValue& v, bool& para) -> int32_t {
    para = false;
    if (v.IsString()) return ConvertLength(v.AsString(), false, baseHeight, emSize, exSize, 0);
    if (!v.IsNumber()) return 0;
    if (v.AsInt() == NotSetValue) return 0;
    if (v.AsInt() == ParagraphSpaceValue) {
      para = true;
      return 14;
    }
    return v.AsInt();
  };
  top = one(vm[MA(piMarginTop)], topIsParaSpace);
  bottom = one(vm[MA(piMarginBottom)], bottomIsParaSpace);
}

// ---------------------------------------------------------------- background

int CalcBackgroundOffset(const TBackgroundPosRec& pos, int areaSize, int imageSize) {
  const int room = areaSize - imageSize;
  switch (pos.Kind) {
    case bpTop:
    case bpLeft: return 0;
    case bpCenter: return room / 2;
    case bpBottom:
    case bpRight: return room;
    case bpPercent: return roundPixels(double(room) * pos.Value / 100.0);
    case bpDim: return pos.Value;
  }
  return 0;
}

void CalcBackgroundTiling(const TBackgroundPosRec& pos, int areaStart, int areaSize, int imageSize,
                          int& first, int& last) {
  // Positions from a page may be huge: the sums are taken wide and the
  // results kept inside the integer range.
  long long f = (long long)areaStart + CalcBackgroundOffset(pos, areaSize, imageSize);
  first = last = clampToInt(f);
  if (!pos.Repeat || imageSize <= 0) return;
  // Step back to the tile at or before the area start, then across.
  if (f > areaStart) f -= ((f - areaStart + imageSize - 1) / imageSize) * (long long)imageSize;
  else f += ((areaStart - f) / imageSize) * (long long)imageSize;
  first = clampToInt(f);
  const long long end = (long long)areaStart + areaSize;
  last = end <= f ? first : clampToInt(f + ((end - 1 - f) / imageSize) * (long long)imageSize);
}

void CalcBackgroundLocationAndTiling(const TBackgroundPosRecs& pos, int areaLeft, int areaTop,
                                     int xOff, int yOff, int imageWidth, int imageHeight,
                                     int areaWidth, int areaHeight, int& xStart, int& yStart,
                                     int& xLast, int& yLast) {
  CalcBackgroundTiling(pos[0], areaLeft + xOff, areaWidth, imageWidth, xStart, xLast);
  CalcBackgroundTiling(pos[1], areaTop + yOff, areaHeight, imageHeight, yStart, yLast);
}

// ---------------------------------------------------------------- TProperties

static uint32_t GPropertiesSerial = 0;

TProperties::TProperties(TPropStack* stack) : FPropStack(stack), FID(++GPropertiesSerial) {
  for (int i = piMarginTop; i <= piLeft; ++i) Props[i] = NotSetValue;
  Props[piZIndex] = 0;
}

TProperties::~TProperties() = default;

void TProperties::Renew(TPropStack* stack) {
  // Only sets made as TProperties come back here (the stack makes them).
  this->~TProperties();
  ::new (static_cast<void*>(this)) TProperties(stack);
}

void TProperties::CopyFrom(const TProperties& source) {
  Props = source.Props;
  Important = source.Important;
}

void TProperties::CopyComputed(const TProperties& source) {
  // The stack makes sets this way in the place of freed ones, mostly of one
  // computed alike before: what is equal already is left as it is.
  if (!TPropValue::SameSlots(Props.data(), source.Props.data(), PropertyCount))
    for (int i = 0; i < PropertyCount; ++i)
      if (!Props[i].SameAs(source.Props[i])) Props[i] = source.Props[i];
  Originals = source.Originals;
  Important = source.Important;
  EmSize = source.EmSize;
  ExSize = source.ExSize;
  FPropStack = source.FPropStack;
  FTheFont = nullptr;
  FFontGeneration = 0;
  FFontColor = clBlack;
  FFontBGColor = clNone;
  FInLink = source.FInLink;
  FDefFontname = source.FDefFontname;
  auto assign = [](String& to, const String& from) {
    if (to != from) to = from;
  };
  assign(FPropTag, source.FPropTag);
  assign(FPropClass, source.FPropClass);
  assign(FPropID, source.FPropID);
  assign(FPropPseudo, source.FPropPseudo);
  assign(FPropTitle, source.FPropTitle);
  FPropStyle = source.FPropStyle;
  if (FOwnStyle != source.FOwnStyle) FOwnStyle = source.FOwnStyle;
  FFontBG = source.FFontBG;
  FCharSet = source.FCharSet;
  FCodePage = source.FCodePage;
  if (!source.FIArray) {
    FIArray.reset();
  } else {
    if (!FIArray) FIArray = std::make_unique<TFontInfoArray>();
    FIArray->Assign(*source.FIArray);
  }
  FID = ++GPropertiesSerial;
  FFamilyText = source.FFamilyText;
  FFamilyName = source.FFamilyName;
  FShare.reset();  // the stack gives the set its place among the kept ones
  FShareWanted = false;
}

static bool sameFontInfo(const ThtFontInfo& a, const ThtFontInfo& b) {
  return a.iName == b.iName && a.iSize == b.iSize && a.iStyle == b.iStyle && a.iColor == b.iColor &&
         a.ibgColor == b.ibgColor && a.iCharSet == b.iCharSet && a.iCharExtra == b.iCharExtra;
}

bool TProperties::SameInheritedState(const TProperties& other) const {
  if (!TPropValue::SameSlots(Props.data(), other.Props.data(), PropertyCount)) return false;
  if (Originals != other.Originals || FPropTag != other.FPropTag || !FDefFontname.SameAs(other.FDefFontname) ||
      FFontBG != other.FFontBG || FCharSet != other.FCharSet || FCodePage != other.FCodePage ||
      FInLink != other.FInLink || FPropTitle != other.FPropTitle)
    return false;
  if (!FIArray || !other.FIArray) return !FIArray && !other.FIArray;
  for (int i = 0; i < 4; ++i)
    if (!sameFontInfo(FIArray->Ar[i], other.FIArray->Ar[i])) return false;
  return true;
}

void TProperties::CopyDefaultFrom(const TProperties& source) {
  Props = source.Props;
  AssignCharSet(source.FCharSet);
  FDefFontname = source.FDefFontname;
  FPropTag = u"default";
}

void TProperties::AddPropertyByName(const String& name, const String& value) {
  const int i = PropertyIndexFromName(name);
  if (i >= 0) AddPropertyByIndex(TPropertyIndex(i), value);
}

void TProperties::AddPropertyByIndex(TPropertyIndex index, const String& value) {
  int32_t color;
  switch (index) {
    case piColor:
    case piBackgroundColor:
    case piBorderTopColor:
    case piBorderRightColor:
    case piBorderBottomColor:
    case piBorderLeftColor:
      // A value that is no colour leaves the slot as it was: turning a typo
      // into black text (or no background) is never what the author meant.
      if (ColorFromString(value, false, color)) Props[index] = color;
      break;
    case piVisibility:
      if (value == u"visible"sv) Props[index] = 2;
      else if (value == u"hidden"sv) Props[index] = 1;
      break;
    case piTextTransform:
      Props[index] = value == u"uppercase"sv ? 1 : value == u"lowercase"sv ? 2 : 0;
      break;
    case piWordWrap:
      Props[index] = value == u"break-word"sv ? value : String(u"normal");
      break;
    case piFontVariant:
      if (value == u"small-caps"sv || value == u"normal"sv) Props[index] = value;
      break;
    default:
      Props[index] = value;
      break;
  }
}

void TProperties::TakeOwnBackgroundColor() {
  if (Props[piBackgroundColor].IsNumber() && Originals[piBackgroundColor])
    FFontBG = Props[piBackgroundColor].AsInt();
}

// ---------------------------------------------------------------- read operations

// The text of a slot, empty for a slot that holds none.
static const String& slotText(const TPropValue& v) { return v.AsString(); }

bool TProperties::GetBackgroundImage(String& url) const {
  const TPropValue& v = Props[piBackgroundImage];
  if (!v.IsString()) return false;
  url = v.AsString() == u"none"sv ? String() : ExtractUrl(v);
  return true;
}

String TProperties::GetListStyleImage() const { return ExtractUrl(Props[piListStyleImage]); }

void TProperties::GetBackgroundPos(int emSize, int exSize, TBackgroundPosRecs& pos) const {
  pos[0] = TBackgroundPosRec();
  pos[1] = TBackgroundPosRec();
  const bool fixed = slotText(Props[piBackgroundAttachment]) == u"fixed"sv;
  pos[0].Fixed = pos[1].Fixed = fixed;
  const String& rep = slotText(Props[piBackgroundRepeat]);
  if (rep == u"no-repeat"sv) pos[0].Repeat = pos[1].Repeat = false;
  else if (rep == u"repeat-x"sv) pos[1].Repeat = false;
  else if (rep == u"repeat-y"sv) pos[0].Repeat = false;
  if (!Props[piBackgroundPosition].IsString()) return;  // both dimension 0
  const String t = trim(Props[piBackgroundPosition].AsString());
  String words[2];
  int count = 1;
  const size_t sp = t.find(u' ');
  if (sp == String::npos) {
    words[0] = t;
  } else {
    words[0] = t.substr(0, sp);
    words[1] = trim(std::u16string_view(t).substr(sp + 1));
    count = words[1].empty() ? 1 : 2;
  }
  int k = 0;  // 0 fills X, 1 fills Y
  bool filledX = false;
  for (int w = 0; w < count; ++w) {
    const String& word = words[w];
    TBackgroundPosRec& r = pos[k];
    r.Kind = bpDim;
    int stayOn = -1;
    if (word == u"center"sv) {
      r.Kind = bpCenter;
    } else if (contains(word, u"%"sv)) {
      r.Kind = bpPercent;
    } else if (word == u"left"sv || word == u"right"sv) {
      if (k == 1) pos[1] = pos[0];
      pos[0].Kind = word == u"left"sv ? bpLeft : bpRight;
      filledX = true;
      k = 0;
    } else if (word == u"top"sv || word == u"bottom"sv) {
      pos[1].Kind = word == u"top"sv ? bpTop : bpBottom;
      if (k == 0) stayOn = 0;
    }
    if (pos[k].Kind == bpPercent || pos[k].Kind == bpDim)
      pos[k].Value = ConvertLength(word, false, 100, emSize, exSize, 0);
    if (k == 0 && stayOn < 0) filledX = true;
    k = stayOn >= 0 ? stayOn : k + 1;
    if (k > 1) break;
  }
  if (count == 1) {
    if (filledX) pos[1].Kind = bpCenter;
    else pos[0].Kind = bpCenter;
  }
}

bool TProperties::GetVertAlign(TAlignmentType& align) const {
  const String& t = slotText(Props[piVerticalAlign]);
  if (t == u"top"sv || t == u"text-top"sv) align = ATop;
  else if (t == u"middle"sv) align = AMiddle;
  else if (t == u"baseline"sv) align = ABaseline;
  else if (t == u"bottom"sv) align = ABottom;
  else if (t == u"sub"sv) align = ASub;
  else if (t == u"super"sv) align = ASuper;
  else return false;
  return true;
}

bool TProperties::GetFloat(TAlignmentType& align) const {
  const String& t = slotText(Props[piFloat]);
  if (t == u"left"sv) align = ALeft;
  else if (t == u"right"sv) align = ARight;
  else if (t == u"none"sv) align = ANone;
  else return false;
  return true;
}

bool TProperties::GetClear(TClearType& clear) {
  if (!Props[piClear].IsString()) return false;
  const String t = Props[piClear].AsString();
  Props[piClear].Clear();  // a clear applies once
  if (t == u"left"sv) clear = clrLeft;
  else if (t == u"right"sv) clear = clrRight;
  else if (t == u"both"sv) clear = clrAll;
  else if (t == u"none"sv) clear = clrNone;
  else return false;
  return true;
}

bool TProperties::IsOverflowHidden() const { return slotText(Props[piOverflow]) == u"hidden"sv; }

TDisplayStyle TProperties::GetDisplay() const {
  static constexpr std::u16string_view names[] = {u"block",    u"inline", u"inline-block",
                                          u"list-item", u"run-in", u"none"};
  const String& t = slotText(Props[piDisplay]);
  for (int i = 0; i < 6; ++i)
    if (t == names[i]) return TDisplayStyle(i + 1);
  return pdUnassigned;
}

TListStyleType TProperties::GetListStyleType() const {
  static constexpr std::u16string_view names[] = {u"blank",       u"circle", u"decimal",    u"disc",
                                          u"lower-alpha", u"lower-roman", u"none", u"square",
                                          u"upper-alpha", u"upper-roman"};
  const String& t = slotText(Props[piListStyleType]);
  for (int i = 0; i < 10; ++i)
    if (t == names[i]) return TListStyleType(i);
  return lbBlank;
}

TPositionType TProperties::GetPosition() const {
  const String& t = slotText(Props[piPosition]);
  if (t == u"absolute"sv) return posAbsolute;
  if (t == u"fixed"sv) return posFixed;
  if (t == u"relative"sv) return posRelative;
  return posStatic;
}

int TProperties::GetVisibility() const { return isIntValue(Props[piVisibility], 1) ? 1 : 2; }

int TProperties::GetZIndex() const {
  const TPropValue& v = Props[piZIndex];
  if (v.IsNumber()) return v.AsInt();
  int r = 0;
  if (v.IsString() && tryStrToInt(v.AsString(), r)) return r;
  return 0;
}

bool TProperties::HasBorderWidth() const {
  for (int i = piBorderTopWidth; i <= piBorderLeftWidth; ++i) {
    const TPropValue& v = Props[i];
    if (v.IsString() || (v.IsNumber() && v.AsInt() != NotSetValue)) return true;
  }
  return false;
}

bool TProperties::IsBorderCollapse() const {
  return slotText(Props[piBorderCollapse]) == u"collapse"sv;
}

int TProperties::GetLineHeight(int normalHeight) const {
  const TPropValue& v = Props[piLineHeight];
  if (v.IsNumber()) return roundPixels(v.AsDouble() * normalHeight);
  if (!v.IsString()) return -1;
  double f;
  if (tryStrToFloat(v.AsString(), f)) return roundPixels(f * normalHeight);
  return ConvertLength(v.AsString(), true, EmSize, EmSize, ExSize, -1);
}

int TProperties::GetTextIndent(bool& isPercent) const {
  isPercent = false;
  const TPropValue& v = Props[piTextIndent];
  if (v.IsNumber()) return v.AsInt();
  if (!v.IsString()) return 0;
  const String& t = v.AsString();
  if (contains(t, u"%"sv)) {
    double p;
    String unit;
    isPercent = true;
    return ParseNumberAndUnit(t, p, unit) ? roundPixels(p) : 0;
  }
  return ConvertLength(t, false, 0, EmSize, EmSize, 0);
}

int TProperties::GetTextTransform() const {
  return Props[piTextTransform].IsInt() ? Props[piTextTransform].AsInt() : 0;
}

String TProperties::GetFontVariant() const {
  return Props[piFontVariant].IsString() ? Props[piFontVariant].AsString() : String(u"normal");
}

void TProperties::GetPageBreaks(bool& before, bool& after, bool& inside) const {
  before = slotText(Props[piPageBreakBefore]) == u"always"sv;
  after = slotText(Props[piPageBreakAfter]) == u"always"sv;
  inside = slotText(Props[piPageBreakInside]) == u"avoid"sv;
}

TColor TProperties::GetBackgroundColor() const {
  const TPropValue& v = Props[piBackgroundColor];
  return v.IsNumber() && Originals[piBackgroundColor] ? v.AsInt() : clNone;
}

TColor TProperties::GetOriginalForegroundColor() const {
  const TPropValue& v = Props[piColor];
  return v.IsNumber() && Originals[piColor] ? v.AsInt() : clNone;
}

bool TProperties::GetBorderStyle(TPropertyIndex index, TBorderStyleType& style) const {
  const TPropValue& v = Props[index];
  if (v.IsString()) {
    bool found;
    const int s = BorderStyleFromString(v.AsString(), found);
    if (!found) return false;
    style = TBorderStyleType(s);
    return true;
  }
  if (v.IsNumber() && v.AsInt() >= 0 && v.AsInt() <= 8) {
    style = TBorderStyleType(v.AsInt());
    return true;
  }
  return false;
}

// Both ask every element, and most have no border style at all: their
// slots are empty or hold NotSetValue, which GetBorderStyle refuses.
static bool unsetBoxSlot(const TPropValue& v) { return v.IsEmpty() || (v.IsInt() && v.AsInt() == NotSetValue); }

bool TProperties::HasBorderStyle() const {
  TBorderStyleType s;
  for (int i = piBorderTopStyle; i <= piBorderLeftStyle; ++i)
    if (!unsetBoxSlot(Props[i]) && GetBorderStyle(TPropertyIndex(i), s)) return true;
  return false;
}

bool TProperties::BorderStyleNotNone() const {
  TBorderStyleType s;
  for (int i = piBorderTopStyle; i <= piBorderLeftStyle; ++i)
    if (!unsetBoxSlot(Props[i]) && GetBorderStyle(TPropertyIndex(i), s) && s != bssNone) return true;
  return false;
}

bool TProperties::HasInlineBox() const {
  if (BorderStyleNotNone()) return true;
  const TPropertyIndex sides[] = {piMarginLeft, piMarginRight, piPaddingLeft, piPaddingRight};
  if (std::all_of(std::begin(sides), std::end(sides), [&](TPropertyIndex i) { return unsetBoxSlot(Props[i]); }))
    return false;
  TVMarginArray vm;
  GetVMarginArray(vm);
  TMarginArray m{};
  int autoCount = 0;
  ConvertMarginArray(vm, 200, 200, EmSize, ExSize, 0, autoCount, m);
  return std::any_of(std::begin(sides), std::end(sides), [&](TPropertyIndex i) {
    const int32_t v = m[size_t(MA(i))];
    return v != AutoValue && v != NotSetValue && v > 0;
  });
}

bool TProperties::ShowEmptyCells() const { return slotText(Props[piEmptyCells]) == u"show"sv; }

void TProperties::GetVMarginArray(TVMarginArray& vm) const {
  // Every block asks: slots left unset are skipped before anything else.
  for (int i = MarginFirst; i <= MarginLast; ++i) {
    const TPropValue& v = Props[i];
    if (v.IsInt() && v.AsInt() == NotSetValue) continue;
    TPropValue& r = vm[i - MarginFirst];
    if (i >= piBorderTopStyle && i <= piBorderLeftStyle && v.IsString()) {
      bool found;
      r = BorderStyleFromString(v.AsString(), found);
    } else if (!(v.IsNumber() && v.AsInt() == NotSetValue)) {
      r = v;
    }
  }
}

void TProperties::SetPropertyDefault(TPropertyIndex index, const TPropValue& value) {
  if (Originals[index]) return;
  Props[index] = value;
  Originals[index] = true;
  if (!FInLink || !FIArray) return;
  for (ThtFontInfo& f : FIArray->Ar) {
    if (index == piFontFamily) f.iName = value.AsString();
    else if (index == piFontSize) {
      // A size given as text counts by its number; one that is no number
      // leaves the states' size rather than making it 0.
      double size;
      if (value.IsNumber()) f.iSize = value.AsDouble();
      else if (tryStrToFloat(trim(value.AsString()), size)) f.iSize = size;
    } else if (index == piColor && value.IsNumber()) {
      f.iColor = value.AsInt();
    }
  }
}

// ---------------------------------------------------------------- charsets

namespace {
bool pairedCodePage(int charSet, int& codePage) {
  try {
    codePage = CharSetToCodePage(charSet);
    return true;
  } catch (const Exception&) {
    return false;
  }
}

bool pairedCharSet(int codePage, int& charSet) {
  try {
    charSet = CodePageToCharSet(codePage);
    return true;
  } catch (const Exception&) {
    return false;
  }
}
}  // namespace

void TProperties::AssignCharSet(int charSet) {
  int codePage;
  // A charset with no known code page leaves the set as it was rather than
  // aborting the page.
  if (pairedCodePage(charSet, codePage)) AssignCharSetAndCodePage(charSet, codePage);
}

void TProperties::AssignCodePage(int codePage) {
  int charSet = DEFAULT_CHARSET;
  if (codePage != -3 && codePage != -4 && codePage != 65001 && !pairedCharSet(codePage, charSet))
    charSet = DEFAULT_CHARSET;
  AssignCharSetAndCodePage(charSet, codePage);
}

void TProperties::AssignCharSetAndCodePage(int charSet, int codePage) {
  if (charSet == FCharSet && codePage == FCodePage) return;
  if (charSet == DEFAULT_CHARSET) FCharSet = charSet;
  else if (charSet == 31) FCharSet = ResolveCharSet(EASTEUROPE_CHARSET);
  else FCharSet = ResolveCharSet(charSet);
  if (FIArray)
    for (ThtFontInfo& f : FIArray->Ar) f.iCharSet = FCharSet;
  FCodePage = codePage;
}
