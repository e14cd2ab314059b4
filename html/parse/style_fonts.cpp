#include "html/parse/style_fonts.h"

#include <cmath>

#include "html/parse/prop_stack.h"
#include "html/parse/style_list.h"
#include "html/parse/style_text.h"
#include "platform/graphics/canvas.h"
#include "platform/graphics/gdi.h"

using namespace styletext;
using namespace std::string_view_literals;

const double FontConvBase[7] = {8, 10, 12, 14, 18, 24, 36};
const double PreFontConvBase[7] = {7, 8, 10, 12, 15, 20, 30};
double FontConv[7] = {8, 10, 12, 14, 18, 24, 36};
double PreFontConv[7] = {7, 8, 10, 12, 15, 20, 30};
double DefaultFontPointSize = 12;

// ---------------------------------------------------------------- link states

void ThtFontInfo::Assign(const ThtFontInfo& source) {
  iName = source.iName;
  iSize = source.iSize;
  iStyle = source.iStyle;
  iColor = source.iColor;
  ibgColor = source.ibgColor;
  iCharSet = source.iCharSet;
  iCharExtra = source.iCharExtra;
}

TFontInfoArray::TFontInfoArray() = default;

void TFontInfoArray::Assign(const TFontInfoArray& source) {
  for (int i = 0; i < 4; ++i) Ar[i].Assign(source.Ar[i]);
}

// ---------------------------------------------------------------- TMyFont

TMyFont::TMyFont() { SetCharset(DEFAULT_CHARSET); }

void TMyFont::Assign(const TFont& source) {
  if (auto f = dynamic_cast<const TMyFont*>(&source)) Assign(*f);
  else TFont::Assign(source);
}

void TMyFont::Assign(const TMyFont& source) {
  bgColor = source.bgColor;
  tmHeight = source.tmHeight;
  tmDescent = source.tmDescent;
  tmExternalLeading = source.tmExternalLeading;
  tmAveCharWidth = source.tmAveCharWidth;
  tmMaxCharWidth = source.tmMaxCharWidth;
  tmCharset = source.tmCharset;
  CharExtra = source.CharExtra;
  EmSize = source.EmSize;
  ExSize = source.ExSize;
  TFont::Assign(source);
}

void TMyFont::AssignToCanvas(TCanvas* canvas) {
  canvas->SetFont(*this);
  SetTextCharacterExtra(canvas->Handle(), CharExtra);
}

void TMyFont::ReadMetrics() {
  HDC dc = GetScreenDC();
  HGDIOBJ old = SelectObject(dc, Handle());
  TEXTMETRICW tm;
  GetTextMetricsW(dc, &tm);
  SelectObject(dc, old);
  tmHeight = tm.tmHeight;
  tmDescent = tm.tmDescent;
  tmExternalLeading = tm.tmExternalLeading;
  tmAveCharWidth = tm.tmAveCharWidth;
  tmMaxCharWidth = tm.tmMaxCharWidth;
  tmCharset = tm.tmCharSet;
  EmSize = tm.tmHeight - tm.tmInternalLeading;
  ExSize = EmSize / 2;
}

// ---------------------------------------------------------------- font cache

int FontHeightFromPoints(double points) {
  const double h = ScreenPixelsPerInch() * points / 72.0;
  // Sizes from pages are clamped to something a screen can show.
  return -int(std::lround(std::clamp(h, 0.0, 10000.0)));
}

TMyFont* TMyFontCache::Find(const ThtFontInfo& info) const {
  return Find(info.iName, info.iSize, info.iStyle, info.iCharSet);
}

TMyFont* TMyFontCache::Find(const String& name, double size, TFontStyles style, int charSet) const {
  // Names are filed lower-cased; a short name is lowered on the stack.
  char16_t buffer[64];
  decltype(FFonts)::const_iterator it;
  if (name.size() <= std::size(buffer)) {
    for (size_t i = 0; i < name.size(); ++i) buffer[i] = lowerChar(name[i]);
    it = FFonts.find(std::u16string_view(buffer, name.size()));
  } else {
    it = FFonts.find(lower(name));
  }
  if (it == FFonts.end()) return nullptr;
  const int height = FontHeightFromPoints(size);
  for (const auto& f : it->second)
    if (f->Height() == height && f->Style() == style && f->Charset() == charSet) return f.get();
  return nullptr;
}

TMyFont* TMyFontCache::Add(std::unique_ptr<TMyFont> font) {
  auto& list = FFonts[lower(font->Name())];
  list.push_back(std::move(font));
  return list.back().get();
}

int TMyFontCache::Count() const {
  int n = 0;
  for (const auto& [name, list] : FFonts) n += int(list.size());
  return n;
}

TMyFontCache& FontCache() {
  static TMyFontCache cache;
  return cache;
}

// ---------------------------------------------------------------- conversions

static double keywordStep(double base, int step) {
  int nearest = 0;
  for (int i = 1; i < 7; ++i)
    if (std::fabs(FontConv[i] - base) < std::fabs(FontConv[nearest] - base)) nearest = i;
  int target = nearest + step;
  if (target < 0) {
    target = 0;
    nearest = 1;
  } else if (target > 6) {
    target = 6;
    nearest = 5;
  }
  if (target == nearest || FontConv[nearest] == 0) return base;
  return base * FontConv[target] / FontConv[nearest];
}

double ConvertFontSize(const String& text, double baseSize) {
  const String t = lower(trim(text));
  double v;
  String unit;
  if (ParseNumberAndUnit(t, v, unit)) {
    const double ppi = ScreenPixelsPerInch();
    double r;
    if (unit == u"in"sv) r = v * 72;
    else if (unit == u"cm"sv) r = v * 72 * 0.3937007874015748;
    else if (unit == u"mm"sv) r = v * 72 * 0.03937007874015748;
    else if (unit == u"pt"sv) r = v;
    else if (unit == u"px"sv || unit.empty()) r = v * 72 / ppi;
    else if (unit == u"pc"sv) r = v * 12;
    else if (unit == u"em"sv) r = v * baseSize;
    else if (unit == u"ex"sv) r = v * baseSize * 0.5;
    else if (unit == u"%"sv) r = v * baseSize * 0.01;
    else return DefaultFontPointSize;
    // A negative or absurd size would make an unusable font.
    return std::isfinite(r) ? std::clamp(r, 0.0, 5000.0) : DefaultFontPointSize;
  }
  if (t == u"smaller"sv) return keywordStep(baseSize, -1);
  if (t == u"larger"sv) return keywordStep(baseSize, 1);
  static constexpr std::u16string_view keywords[7] = {u"xx-small", u"x-small", u"small", u"medium",
                                              u"large", u"x-large", u"xx-large"};
  for (int i = 0; i < 7; ++i)
    if (t == keywords[i]) return FontConv[i];
  return DefaultFontPointSize;
}

bool IsFontInstalled(const String& face) {
  static std::map<String, bool> known;
  const String key = lower(face);
  if (auto it = known.find(key); it != known.end()) return it->second;
  const bool installed = !face.empty() && FontFamilyInstalled(face);
  known[key] = installed;
  return installed;
}

void FirstInstalledFontFamily(const String& text, String& name) {
  size_t start = 0;
  while (start <= text.size()) {
    size_t comma = text.find(u',', start);
    if (comma == String::npos) comma = text.size();
    String item = trim(std::u16string_view(text).substr(start, comma - start));
    if (item.size() >= 2 && (item[0] == u'"' || item[0] == u'\'') && item.back() == item[0])
      item = item.substr(1, item.size() - 2);
    if (sameNoCase(item, u"serif")) item = u"Times New Roman";
    else if (sameNoCase(item, u"monospace")) item = u"Courier New";
    else if (sameNoCase(item, u"sans-serif") || sameNoCase(item, u"helvetica")) item = u"Arial";
    else if (sameNoCase(item, u"cursive")) item = u"Lucida Handwriting";
    if (!item.empty() && IsFontInstalled(item)) {
      name = item;
      return;
    }
    start = comma + 1;
  }
}

// Fonts here carry no character set of their own: the font system picks
// glyphs by coverage, so every charset is realised as asked.
int ResolveCharSet(int charSet) { return charSet; }

// ---------------------------------------------------------------- element fonts

void TProperties::FillFontInfo(ThtFontInfo& info) const {
  fillFontState(info);
  info.iName = fontFace();
}

void TProperties::fillFontState(ThtFontInfo& info) const {
  info.ibgColor = FFontBG;
  info.iColor = Props[piColor].IsNumber() ? Props[piColor].AsInt() : clBlack;
  info.iStyle = TFontStyles();
  const TPropValue& weight = Props[piFontWeight];
  int w = 0;
  if (contains(weight.AsString(), u"bold"sv) || (weight.IsNumber() && weight.AsInt() >= 600) ||
      (tryStrToInt(weight.AsString(), w) && w >= 600))
    info.iStyle.Include(fsBold);
  const String& style = Props[piFontStyle].AsString();
  if (style == u"italic"sv || style == u"oblique"sv) info.iStyle.Include(fsItalic);
  const String& decoration = Props[piTextDecoration].AsString();
  if (contains(decoration, u"underline"sv)) info.iStyle.Include(fsUnderline);
  if (contains(decoration, u"line-through"sv)) info.iStyle.Include(fsStrikeOut);
  const TPropValue& size = Props[piFontSize];
  info.iSize = size.IsNumber()   ? size.AsDouble()
               : size.IsString() ? ConvertFontSize(size.AsString(), DefaultFontPointSize)
                                 : DefaultFontPointSize;
  info.iCharSet = FCharSet;
  info.iCharExtra = Props[piLetterSpacing];
}

const String& TProperties::fontFace() const {
  const TPropValue& family = Props[piFontFamily];
  if (!FFamilyText.SameAs(family)) {
    String name;
    FirstInstalledFontFamily(family.AsString(), name);
    FFamilyText = family;
    FFamilyName = TPropValue(std::move(name));
  }
  const String& name = FFamilyName.AsString();
  return name.empty() ? FDefFontname.AsString() : name;
}

void TProperties::GetFontInfo(TFontInfoArray& info) const {
  if (FIArray) {
    info.Assign(*FIArray);
    return;
  }
  for (ThtFontInfo& state : info.Ar) FillFontInfo(state);
}

void TProperties::findFont() {
  TMyFontCache& cache = FontCache();
  ThtFontInfo info;
  fillFontState(info);
  const String& name = fontFace();
  TMyFont* cached = cache.Find(name, info.iSize, info.iStyle, info.iCharSet);
  if (!cached) {
    auto font = std::make_unique<TMyFont>();
    font->SetName(name);
    font->SetHeight(FontHeightFromPoints(info.iSize));
    font->SetStyle(info.iStyle);
    // Symbol fonts keep their own character set whatever was asked.
    font->SetCharset(DEFAULT_CHARSET);
    font->ReadMetrics();
    if (font->tmCharset == SYMBOL_CHARSET) {
      font->SetCharset(SYMBOL_CHARSET);
    } else {
      font->SetCharset(TFontCharset(info.iCharSet));
      if (info.iCharSet != DEFAULT_CHARSET) font->ReadMetrics();
    }
    cached = cache.Add(std::move(font));
  }
  FTheFont = cached;
  FFontGeneration = cache.Generation();
  FFontColor = info.iColor;
  FFontBGColor = info.ibgColor;
}

bool TProperties::sameFontSlots(const TProperties& other) const {
  // What fillFontState and fontFace read, but the letter spacing (which
  // GetFont applies to each copy it hands out).
  static constexpr TPropertyIndex slots[] = {piFontFamily, piFontSize, piFontStyle,
                                             piFontWeight, piTextDecoration, piColor};
  for (TPropertyIndex i : slots)
    if (!Props[i].SameAs(other.Props[i])) return false;
  return FFontBG == other.FFontBG && FCharSet == other.FCharSet && FDefFontname.SameAs(other.FDefFontname);
}

TProperties::TFontChoice TProperties::GetFontChoice() {
  const unsigned generation = FontCache().Generation();
  if (!FTheFont || FFontGeneration != generation) {
    // A set copied from a kept one that still has the kept set's font
    // properties has its font: it is found once for all such sets.
    TProperties* kept = FShare ? &FShare->Set : nullptr;
    if (kept && sameFontSlots(*kept)) {
      if (!kept->FTheFont || kept->FFontGeneration != generation) kept->findFont();
      FTheFont = kept->FTheFont;
      FFontGeneration = kept->FFontGeneration;
      FFontColor = kept->FFontColor;
      FFontBGColor = kept->FFontBGColor;
    } else {
      findFont();
    }
    EmSize = FTheFont->EmSize;
    ExSize = FTheFont->ExSize;
  }
  TFontChoice choice;
  choice.Base = FTheFont;
  choice.Generation = FFontGeneration;
  choice.Color = FFontColor;
  choice.BGColor = FFontBGColor;
  const TPropValue& spacing = Props[piLetterSpacing];
  if (spacing.IsString() && spacing.AsString() != u"normal"sv)
    choice.CharExtra = ConvertLength(spacing.AsString(), false, EmSize, EmSize, ExSize, 0);
  else if (spacing.IsNumber())
    choice.CharExtra = spacing.AsInt();
  return choice;
}

std::unique_ptr<TMyFont> TProperties::GetFont() { return MakeFont(GetFontChoice()); }

std::unique_ptr<TMyFont> TProperties::MakeFont(const TFontChoice& choice) {
  auto result = std::make_unique<TMyFont>();
  result->Assign(*choice.Base);
  result->bgColor = choice.BGColor;
  result->SetColor(choice.Color);
  result->CharExtra = choice.CharExtra;
  return result;
}

// ---------------------------------------------------------------- link states kept

size_t TLinkFontStates::THash::operator()(const TKey& key) const {
  std::hash<std::u16string_view> text;
  size_t h = text(key.Tag) * 31 + text(key.Class);
  h = h * 31 + text(key.ID);
  h = h * 31 + text(key.DefFontname.AsString());
  for (const TPropValue& v : key.Font) {
    h *= 31;
    if (v.IsString()) h += text(v.AsString());
    else if (v.IsNumber()) h += std::hash<double>()(v.AsDouble()) + v.IsInt();
  }
  return h * 31 + size_t(key.FontBG) + size_t(key.CharSet) * 7;
}

const TLinkFontStates::TStates* TLinkFontStates::Find(const TKey& key) const {
  auto it = FStates.find(key);
  return it == FStates.end() ? nullptr : &it->second;
}

void TLinkFontStates::Add(const TKey& key, const TFontInfoArray& states) {
  // Links in ever new surroundings would make ever new entries.
  if (FStates.size() >= 1024) FStates.clear();
  TStates& kept = FStates.try_emplace(key).first->second;
  for (int i : {VFont, HLFont, HVFont}) kept[size_t(i)].Assign(states.Ar[i]);
}

TLinkFontStates& TStyleList::LinkFontStates() {
  if (!FLinkStates) FLinkStates = std::make_unique<TLinkFontStates>();
  return *FLinkStates;
}

void TStyleList::ForgetLinkFontStates() {
  FLinkStates.reset();
  ++FVersion;
}

void TProperties::computeLinkFontStates(TStyleList& styles) {
  if (!FIArray) FIArray = std::make_unique<TFontInfoArray>();
  TakeOwnBackgroundColor();
  FillFontInfo(FIArray->Ar[LFont]);
  // The other states are this element again under :visited and :hover,
  // derived from the element's own properties; the same element with the
  // same font properties gets the same states.
  TLinkFontStates::TKey key;
  if (!FPropStyle) {
    key.Tag = FPropTag;
    key.Class = FPropClass;
    key.ID = FPropID;
    key.DefFontname = FDefFontname;
    for (size_t i = 0; i < key.Font.size(); ++i) key.Font[i] = Props[TLinkFontStates::FontSlots[i]];
    key.FontBG = FFontBG;
    key.CharSet = FCharSet;
    key.DefaultSize = DefaultFontPointSize;
    if (const TLinkFontStates::TStates* kept = styles.LinkFontStates().Find(key)) {
      for (int i : {VFont, HLFont, HVFont}) FIArray->Ar[i].Assign((*kept)[size_t(i)]);
      return;
    }
  }
  // The states' ancestors are the element's own.
  int parentIndex = FPropStack ? FPropStack->Count() - 1 : -1;
  if (FPropStack)
    for (int i = 0; i < FPropStack->Count(); ++i)
      if (FPropStack->GetProp(i) == this) parentIndex = i - 1;
  bool ancestorRules = false;
  auto state = [&](TProperties& set, const TProperties& below, const String& pseudo, ThtFontInfo& out) {
    set.Inherit(FPropTag, below);
    ancestorRules |= set.Combine(styles, FPropTag, FPropClass, FPropID, pseudo, FPropTitle, FPropStyle,
                                 parentIndex);
    set.TakeOwnBackgroundColor();
    set.FillFontInfo(out);
  };
  {
    TProperties visited(FPropStack), set(FPropStack);
    state(visited, *this, u"visited", FIArray->Ar[VFont]);
    state(set, visited, u"hover", FIArray->Ar[HVFont]);
  }
  TProperties hover(FPropStack);
  state(hover, *this, u"hover", FIArray->Ar[HLFont]);
  if (!FPropStyle && !ancestorRules) styles.LinkFontStates().Add(key, *FIArray);
}
