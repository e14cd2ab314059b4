#pragma once
// Fonts of styled text: the font class that remembers its metrics, the
// process-wide cache that makes each distinct font once, the four font
// states of a link, and font-size and font-family conversions.
#include <array>
#include <map>
#include <unordered_map>
#include <memory>
#include <vector>

#include "html/parse/style_model.h"
#include "platform/graphics/font.h"

class TCanvas;

// Keyword font sizes (xx-small .. xx-large) in points for the default size
// of 12 points, and the working tables the viewer scales to its own default.
extern const double FontConvBase[7];
extern const double PreFontConvBase[7];
extern double FontConv[7];
extern double PreFontConv[7];
// The default font size in points (set when a style list is initialised).
extern double DefaultFontPointSize;

// The font of one link state.
class ThtFontInfo : public TObject {
public:
  void Assign(const ThtFontInfo& source);
  String iName;
  double iSize = 0;
  TFontStyles iStyle;
  TColor iColor = clBlack;
  TColor ibgColor = clNone;
  int iCharSet = DEFAULT_CHARSET;
  TPropValue iCharExtra;
};

// Link, visited, hover, visited-and-hover.
class TFontInfoArray : public TObject {
public:
  TFontInfoArray();
  void Assign(const TFontInfoArray& source);
  ThtFontInfo Ar[4];
};
enum { LFont = 0, VFont = 1, HLFont = 2, HVFont = 3 };

// The visited, hover and visited-hover states of links, by what they are
// derived from: the element (tag, classes, id), the font properties it has
// and the size the relative sizes of the sheet start from. Only links whose
// states depend on nothing else (no rule naming ancestors, no STYLE
// attribute) are kept.
class TLinkFontStates {
public:
  struct TKey {
    String Tag, Class, ID;
    TPropValue DefFontname;
    std::array<TPropValue, 7> Font;  // the slots the font states read
    TColor FontBG = clNone;
    int CharSet = 0;
    double DefaultSize = 0;
    bool operator==(const TKey&) const = default;
  };
  using TStates = std::array<ThtFontInfo, 4>;  // as in TFontInfoArray; LFont unused
  static constexpr TPropertyIndex FontSlots[7] = {piFontFamily,     piFontSize,       piFontStyle,
                                                  piFontWeight,     piTextDecoration, piLetterSpacing,
                                                  piColor};
  const TStates* Find(const TKey& key) const;
  // Keeps the visited and hover states of states.
  void Add(const TKey& key, const TFontInfoArray& states);

private:
  struct THash {
    size_t operator()(const TKey& key) const;
  };
  std::unordered_map<TKey, TStates, THash> FStates;
};

// A font together with the metrics of its last realisation.
class TMyFont : public TFont {
public:
  TMyFont();
  // Copies the metrics too when the source is a TMyFont.
  void Assign(const TFont& source);
  void Assign(const TMyFont& source);
  void AssignToCanvas(TCanvas* canvas);
  // Reads the metrics of the font as the screen realises it.
  void ReadMetrics();

  TColor bgColor = clNone;
  int tmHeight = 0;
  int tmDescent = 0;
  int tmExternalLeading = 0;
  int tmAveCharWidth = 0;
  int tmMaxCharWidth = 0;
  int tmCharset = DEFAULT_CHARSET;
  int CharExtra = 0;
  int EmSize = 0;
  int ExSize = 0;
};

// Every font made for documents, filed by lower-cased name.
class TMyFontCache : public TObject {
public:
  TMyFont* Find(const ThtFontInfo& info) const;
  TMyFont* Find(const String& name, double size, TFontStyles style, int charSet) const;
  TMyFont* Add(std::unique_ptr<TMyFont> font);
  void Clear() {
    FFonts.clear();
    ++FGeneration;
  }
  int Count() const;
  // Changes whenever fonts are freed: a pointer kept from an older
  // generation must be looked up again.
  unsigned Generation() const { return FGeneration; }

private:
  std::map<String, std::vector<std::unique_ptr<TMyFont>>, std::less<>> FFonts;
  unsigned FGeneration = 0;
};
TMyFontCache& FontCache();

// Height in pixels (negative: em height) of a size in points on the screen.
int FontHeightFromPoints(double points);
// Font size in points from a "font-size" text.
double ConvertFontSize(const String& text, double baseSize);
// The first family of a "font-family" list that is installed; name keeps
// its value when none is.
void FirstInstalledFontFamily(const String& text, String& name);
bool IsFontInstalled(const String& face);
int ResolveCharSet(int charSet);
