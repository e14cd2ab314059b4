#pragma once
// CSS property values of one rule or one element, and the conversions the
// layout needs (lengths, box arrays, background placement).
#include <array>
#include <atomic>
#include <bit>
#include <cstdint>
#include <cstring>
#include <memory>

#include "platform/core/object.h"
#include "platform/core/types.h"
#include "platform/graphics/colors.h"

class TMyFont;
class TFontInfoArray;
class ThtFontInfo;
class TPropStack;
class TStyleList;
struct TStyleShare;

// A property slot: empty, an integer (colours, codes, pixel values), a real
// number (font sizes in points) or the text as written in the style sheet.
// Text is shared between copies: a style is copied into every element that
// inherits it, and copying a slot must not copy its text each time.
class TPropValue {
public:
  TPropValue() = default;
  TPropValue(int v) : FKind(kInt), FBits(uint32_t(v)) {}
  TPropValue(double v) : FKind(kDouble), FBits(std::bit_cast<uint64_t>(v)) {}
  TPropValue(const String& v) : FKind(kString), FBits(bitsOf(new SharedText{{1}, v})) {}
  TPropValue(String&& v) : FKind(kString), FBits(bitsOf(new SharedText{{1}, std::move(v)})) {}
  TPropValue(const char16_t* v) : TPropValue(String(v)) {}
  TPropValue(const TPropValue& v) : FKind(v.FKind), FBits(v.FBits) {
    if (FKind == kString) text()->Refs.fetch_add(1, std::memory_order_relaxed);
  }
  TPropValue(TPropValue&& v) noexcept : FKind(v.FKind), FBits(v.FBits) {
    v.FKind = kEmpty;
    v.FBits = 0;
  }
  TPropValue& operator=(const TPropValue& v) {
    if (v.FKind == kString) v.text()->Refs.fetch_add(1, std::memory_order_relaxed);
    release();
    FKind = v.FKind;
    FBits = v.FBits;
    return *this;
  }
  TPropValue& operator=(TPropValue&& v) noexcept {
    if (this != &v) {
      release();
      FKind = v.FKind;
      FBits = v.FBits;
      v.FKind = kEmpty;
      v.FBits = 0;
    }
    return *this;
  }
  ~TPropValue() { release(); }

  bool IsEmpty() const { return FKind == kEmpty; }
  bool IsInt() const { return FKind == kInt; }
  bool IsDouble() const { return FKind == kDouble; }
  bool IsNumber() const { return IsInt() || IsDouble(); }
  bool IsString() const { return FKind == kString; }
  // Integer view of a number slot (reals rounded); 0 for anything else.
  int32_t AsInt() const { return FKind == kInt ? int32_t(uint32_t(FBits)) : roundedInt(); }
  double AsDouble() const {
    return FKind == kDouble ? std::bit_cast<double>(FBits) : FKind == kInt ? double(int32_t(uint32_t(FBits))) : 0;
  }
  // The text of a string slot; empty for anything else.
  const String& AsString() const { return FKind == kString ? text()->Text : FNoText; }
  void Clear() {
    release();
    FKind = kEmpty;
    FBits = 0;
  }
  bool operator==(const TPropValue& v) const;
  // The same slot value: the same number, or text shared with v (not just
  // equal to it).
  bool SameAs(const TPropValue& v) const { return FKind == v.FKind && FBits == v.FBits; }
  // Whether the first count slots of a and b are each SameAs the other.
  // A slot is its kind and its bits with no padding between them, and an
  // empty slot has no bits, so the same slots are the same bytes: the
  // property stack compares whole sets this way on every element.
  static bool SameSlots(const TPropValue* a, const TPropValue* b, size_t count) {
    return std::memcmp(static_cast<const void*>(a), static_cast<const void*>(b), count * sizeof(TPropValue)) == 0;
  }

private:
  struct SharedText {
    std::atomic<int> Refs;
    String Text;
  };
  int32_t roundedInt() const;  // AsInt of anything but an integer
  static uint64_t bitsOf(SharedText* t) { return uint64_t(reinterpret_cast<uintptr_t>(t)); }
  SharedText* text() const { return reinterpret_cast<SharedText*>(uintptr_t(FBits)); }
  // Inline for the common case of a slot without text.
  void release() {
    if (FKind == kString) releaseText();
  }
  void releaseText();
  static const String FNoText;  // constant-initialised: safe at any time
  // As wide as the bits, so that a slot has no padding (see SameSlots).
  enum Kind : uint64_t { kEmpty, kInt, kDouble, kString };
  Kind FKind = kEmpty;
  uint64_t FBits = 0;  // the integer, the real's bits or the shared text; 0 when empty
};
static_assert(sizeof(TPropValue) == 2 * sizeof(uint64_t), "a slot has no padding");

enum TPropertyIndex : int {
  piFontFamily, piFontSize, piFontStyle, piFontWeight, piTextAlign, piTextDecoration,
  piLetterSpacing, piColor, piBackgroundColor, piMarginTop, piMarginRight, piMarginBottom,
  piMarginLeft, piPaddingTop, piPaddingRight, piPaddingBottom, piPaddingLeft,
  piBorderTopWidth, piBorderRightWidth, piBorderBottomWidth, piBorderLeftWidth,
  piBorderTopColor, piBorderRightColor, piBorderBottomColor, piBorderLeftColor,
  piBorderTopStyle, piBorderRightStyle, piBorderBottomStyle, piBorderLeftStyle,
  piWidth, piHeight, piTop, piBottom, piRight, piLeft, piVisibility, piLineHeight,
  piBackgroundImage, piBackgroundPosition, piBackgroundRepeat, piBackgroundAttachment,
  piVerticalAlign, piPosition, piZIndex, piListStyleType, piListStyleImage, piFloat,
  piClear, piTextIndent, piPageBreakBefore, piPageBreakAfter, piPageBreakInside,
  piTextTransform, piWordWrap, piFontVariant, piBorderCollapse, piOverflow, piDisplay,
  piEmptyCells
};
constexpr int PropertyCount = 59;
constexpr int MarginFirst = piBackgroundColor;  // first slot of a box array
constexpr int MarginLast = piLeft;              // last slot of a box array
constexpr int MarginCount = MarginLast - MarginFirst + 1;

// The CSS name of each slot, in slot order.
extern const char16_t* const PropertyNames[PropertyCount];
// Exact, case-sensitive look-up of a CSS property name; -1 when unknown.
int PropertyIndexFromName(const String& name);

constexpr int32_t NotSetValue = -12345678;
constexpr int32_t AutoValue = -12348765;
constexpr int32_t ParagraphSpaceValue = -12348766;

enum TBorderStyleType : uint8_t { bssNone, bssSolid, bssInset, bssOutset, bssGroove, bssRidge,
                                  bssDashed, bssDotted, bssDouble };
enum TDisplayStyle : uint8_t { pdUnassigned, pdBlock, pdInline, pdInlineBlock, pdListItem,
                               pdRunIn, pdNone };
enum TListStyleType : uint8_t { lbBlank, lbCircle, lbDecimal, lbDisc, lbLowerAlpha, lbLowerRoman,
                                lbNone, lbSquare, lbUpperAlpha, lbUpperRoman };
enum TAlignmentType : uint8_t { ANone, ATop, AMiddle, ABaseline, ABottom, ALeft, ARight,
                                AJustify, ASub, ASuper };
enum TPositionType : uint8_t { posStatic, posRelative, posAbsolute, posFixed };
enum TClearType : uint8_t { clrNone, clrLeft, clrRight, clrAll };

enum TBackgroundPosKind : uint8_t { bpTop, bpCenter, bpBottom, bpLeft, bpRight, bpPercent, bpDim };
struct TBackgroundPosRec {
  TBackgroundPosKind Kind = bpDim;
  int32_t Value = 0;
  bool Repeat = true;
  bool Fixed = false;
  bool operator==(const TBackgroundPosRec&) const = default;
};
using TBackgroundPosRecs = std::array<TBackgroundPosRec, 2>;  // [0] X, [1] Y

using TVMarginArray = std::array<TPropValue, MarginCount>;
using TMarginArray = std::array<int32_t, MarginCount>;
// Box array index of a slot.
constexpr int MA(TPropertyIndex i) { return int(i) - MarginFirst; }

// Leading number and trimmed unit of a CSS length; false when the text does
// not begin with a number.
bool ParseNumberAndUnit(const String& text, double& value, String& unit);
int32_t ConvertLength(const String& text, bool relative, double base, int emSize, int exSize,
                      int32_t defaultValue);
int32_t LengthVarToPixels(const TPropValue& value, bool relative, double base, int emSize,
                          int exSize, int32_t defaultValue);
// The address inside "url(...)" of a slot, empty when there is none.
String ExtractUrl(const TPropValue& value);
int BorderStyleFromString(const String& text, bool& found);

void ConvertMarginArray(const TVMarginArray& vm, int baseWidth, int baseHeight, int emSize,
                        int exSize, int defaultBorderWidth, int& autoCount, TMarginArray& m);
void ConvertInlineMarginArray(const TVMarginArray& vm, int baseWidth, int baseHeight, int emSize,
                              int exSize, TMarginArray& m);
void ConvertPaddingArray(const TVMarginArray& vm, int emSize, int exSize, TMarginArray& m);
void ConvertVertMargins(const TVMarginArray& vm, int baseHeight, int emSize, int exSize,
                        int32_t& top, int32_t& bottom, bool& topIsParaSpace,
                        bool& bottomIsParaSpace);

// Background tiling on one axis: offset of the image within the area, and
// the first and last tile start when the image repeats.
int CalcBackgroundOffset(const TBackgroundPosRec& pos, int areaSize, int imageSize);
void CalcBackgroundTiling(const TBackgroundPosRec& pos, int areaStart, int areaSize, int imageSize,
                          int& first, int& last);
void CalcBackgroundLocationAndTiling(const TBackgroundPosRecs& pos, int areaLeft, int areaTop,
                                     int xOff, int yOff, int imageWidth, int imageHeight,
                                     int areaWidth, int areaHeight, int& xStart, int& yStart,
                                     int& xLast, int& yLast);

// One set of CSS values: a rule in a style list, or an element's computed
// style on a property stack.
class TProperties final : public TObject {
public:
  explicit TProperties(TPropStack* stack = nullptr);
  ~TProperties() override;
  static std::unique_ptr<TProperties> CreateInStack(TPropStack* stack) {
    return std::make_unique<TProperties>(stack);
  }
  // Makes this set a new one for stack, in place (what it held is freed).
  void Renew(TPropStack* stack);

  void CopyFrom(const TProperties& source);
  void CopyDefaultFrom(const TProperties& source);
  // Makes this set what source was when it was computed, as a new set (an
  // identity of its own, no font found yet): every field is taken, so that
  // a set made this way is the set the cascade would have made.
  void CopyComputed(const TProperties& source);
  // Whether a child opened under this set would get what it gets under
  // other: the same values, defaults, tag, font base, character set, title
  // and link states.
  bool SameInheritedState(const TProperties& other) const;

  void AddPropertyByName(const String& name, const String& value);
  void AddPropertyByIndex(TPropertyIndex index, const String& value);
  void SetPropertyDefault(TPropertyIndex index, const TPropValue& value);
  void TakeOwnBackgroundColor();

  void AssignCharSet(int charSet);
  void AssignCodePage(int codePage);
  void AssignCharSetAndCodePage(int charSet, int codePage);

  // Read operations of the layout.
  bool GetBackgroundImage(String& url) const;
  String GetListStyleImage() const;
  void GetBackgroundPos(int emSize, int exSize, TBackgroundPosRecs& pos) const;
  bool GetVertAlign(TAlignmentType& align) const;
  bool GetFloat(TAlignmentType& align) const;
  bool GetClear(TClearType& clear);
  bool IsOverflowHidden() const;
  TDisplayStyle GetDisplay() const;
  TListStyleType GetListStyleType() const;
  TPositionType GetPosition() const;
  int GetVisibility() const;
  int GetZIndex() const;
  bool HasBorderWidth() const;
  bool IsBorderCollapse() const;
  int GetLineHeight(int normalHeight) const;
  int GetTextIndent(bool& isPercent) const;
  int GetTextTransform() const;
  String GetFontVariant() const;
  void GetPageBreaks(bool& before, bool& after, bool& inside) const;
  TColor GetBackgroundColor() const;
  TColor GetOriginalForegroundColor() const;
  bool GetBorderStyle(TPropertyIndex index, TBorderStyleType& style) const;
  bool HasBorderStyle() const;
  bool BorderStyleNotNone() const;
  // A border, or a horizontal margin or padding: an inline element with
  // one takes room beside its text and is recorded as an inline box.
  bool HasInlineBox() const;
  bool ShowEmptyCells() const;
  void GetVMarginArray(TVMarginArray& vm) const;

  // Cascade (style list side).
  void Inherit(const String& tag, const TProperties& parent);
  // True when rules that depend on the element's ancestors were looked at.
  bool Combine(TStyleList& styles, const String& tag, const String& classes, const String& id,
               const String& pseudo, const String& title, const TProperties* styleAttr,
               int parentIndex);
  void Update(const TProperties* newParent, TStyleList& styles, int index);
  void MergeRule(const TProperties& rule);

  // Fonts.
  // The element's font as GetFont makes it: the shared font of the cache it
  // copies and what the copy changes. Equal choices make equal fonts, so a
  // holder may keep one font per choice instead of a copy per use.
  struct TFontChoice {
    const TMyFont* Base = nullptr;
    unsigned Generation = 0;  // of the font cache; Base is valid while it holds
    TColor Color = clBlack;
    TColor BGColor = clNone;
    int CharExtra = 0;
    bool operator==(const TFontChoice&) const = default;
  };
  TFontChoice GetFontChoice();
  // A new copy of the element's font.
  std::unique_ptr<TMyFont> GetFont();
  static std::unique_ptr<TMyFont> MakeFont(const TFontChoice& choice);
  void GetFontInfo(TFontInfoArray& info) const;
  // The font of this set in one state (used for the four link states too).
  void FillFontInfo(ThtFontInfo& info) const;

  TPropStack* PropStack() const { return FPropStack; }
  const String& PropTag() const { return FPropTag; }
  void SetPropTag(const String& v) { FPropTag = v; }
  const String& PropClass() const { return FPropClass; }
  const String& PropID() const { return FPropID; }
  const String& PropPseudo() const { return FPropPseudo; }
  const String& PropTitle() const { return FPropTitle; }
  const TProperties* PropStyle() const { return FPropStyle; }
  // Keeps the element's STYLE attribute properties with the set: they are
  // read again whenever the set is derived anew (link states, re-parenting).
  void AdoptStyle(std::shared_ptr<const TProperties> style) {
    FOwnStyle = std::move(style);
    FPropStyle = FOwnStyle.get();
  }
  const String& DefFontname() const { return FDefFontname.AsString(); }
  void SetDefFontname(const String& v) { FDefFontname = TPropValue(v); }
  int CharSet() const { return FCharSet; }
  int CodePage() const { return FCodePage; }
  bool InLink() const { return FInLink; }
  TColor FontBG() const { return FFontBG; }
  uint32_t ID() const { return FID; }

  std::array<TPropValue, PropertyCount> Props;
  std::array<bool, PropertyCount> Originals{};
  // Slots whose value came from an "!important" declaration.
  std::array<bool, PropertyCount> Important{};
  int EmSize = 0;
  int ExSize = 0;

private:
  void computeLinkFontStates(TStyleList& styles);
  friend class TStyleList;
  friend class TPropStack;
  friend class THtmlPropStack;

  // Finds the font of this set (FTheFont and its colours).
  void findFont();
  // Whether other's font is this set's font.
  bool sameFontSlots(const TProperties& other) const;

  // The font state of this set without its face name, and the face.
  void fillFontState(ThtFontInfo& info) const;
  const String& fontFace() const;

  TPropStack* FPropStack = nullptr;
  // The font of this set in the font cache once found (its colours and
  // spacing are the set's own); valid while the cache's generation is.
  const TMyFont* FTheFont = nullptr;
  unsigned FFontGeneration = 0;
  TColor FFontColor = clBlack;
  TColor FFontBGColor = clNone;
  bool FInLink = false;
  TPropValue FDefFontname;  // text shared down the tree
  String FPropTag, FPropClass, FPropID, FPropPseudo, FPropTitle;
  const TProperties* FPropStyle = nullptr;
  std::shared_ptr<const TProperties> FOwnStyle;  // shared with sets computed alike
  TColor FFontBG = clNone;
  int FCharSet = 1;
  int FCodePage = 0;
  std::unique_ptr<TFontInfoArray> FIArray;
  uint32_t FID = 0;
  // The installed family last found for a font-family slot, and that slot:
  // the slot is shared down the tree, so the search runs once per value.
  mutable TPropValue FFamilyText;
  mutable TPropValue FFamilyName;
  // The kept set this one was computed as (see THtmlPropStack); it also
  // lends its font to sets with the same font properties.
  std::shared_ptr<TStyleShare> FShare;
  // A child was opened under this set while it had no kept set: the next
  // child gives it one.
  bool FShareWanted = false;
  // Fields are copied one by one in CopyComputed: a new field goes there too.
};
