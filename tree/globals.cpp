#include "tree/globals.h"

#include <algorithm>
#include <map>


#include "platform/core/exception.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/canvas.h"
#include "platform/gui/forms.h"
#include "platform/gui/windows.h"
#include "tree/base_tree.h"
#include "tree/data_object.h"

namespace {
// Names of the predefined formats, by id.
const char16_t* const PredefinedFormatNames[] = {
    u"Plain text", u"Windows bitmap", u"Windows metafile", u"Symbolic link",
    u"Data interchange format", u"Tiff image", u"OEM text", u"DIB image", u"Palette data",
    u"Pen data", u"Riff audio data", u"Wav audio data", u"Unicode text",
    u"Enhanced metafile image", u"File name(s)", u"Locale descriptor"};

std::map<std::uint16_t, String>& formatNames() {
  static std::map<std::uint16_t, String> names;
  return names;
}

std::uint16_t registerFormatName(const String& name) {
  auto id = std::uint16_t(RegisterClipboardFormat(name));
  if (id) formatNames()[id] = name;
  return id;
}

char16_t foldCase(char16_t c) { return (c >= u'a' && c <= u'z') ? char16_t(c - 32) : c; }
bool sameText(const String& a, const String& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (foldCase(a[i]) != foldCase(b[i])) return false;
  return true;
}
// Order of the per-tree format lists: like text lists elsewhere in the
// program they ignore case, so "csv" and "CSV" name the same format.
bool lessText(const String& a, const String& b) {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                      [](char16_t x, char16_t y) { return foldCase(x) < foldCase(y); });
}
}  // namespace

TTreeGlobals& TreeGlobals() {
  static TTreeGlobals globals;
  return globals;
}

TClipboardFormatList& ClipboardFormatList() {
  static TClipboardFormatList list;
  return list;
}

const TTreeClassInfo* StringTreeClassInfo() {
  static const TTreeClassInfo info{"TCustomDataStringTree", TBaseDataTree::ClassInfo()};
  return &info;
}

// ---- registry ---------------------------------------------------------------------

void TClipboardFormatList::Add(TClipboardFormatEntry Entry) {
  // Insert after every entry of the same or a lower priority value, so that
  // equal priorities keep their registration order.
  auto at = std::upper_bound(FList.begin(), FList.end(), Entry.Priority,
                             [](std::uint32_t p, const TClipboardFormatEntry& e) { return p < e.Priority; });
  FList.insert(at, std::move(Entry));
}

void TClipboardFormatList::EnumerateFormats(const TTreeClassInfo* TreeClass, TFormatEtcArray& Formats,
                                            const std::vector<String>* AllowedFormats) const {
  Formats.clear();
  for (const TClipboardFormatEntry& entry : FList) {
    if (!TreeClass || !entry.TreeClass || !TreeClass->InheritsFrom(entry.TreeClass)) continue;
    if (AllowedFormats &&
        std::none_of(AllowedFormats->begin(), AllowedFormats->end(),
                     [&](const String& allowed) { return sameText(allowed, entry.Description); }))
      continue;
    Formats.push_back(entry.FormatEtc);
  }
}

const TClipboardFormatEntry* TClipboardFormatList::FindFormat(const String& Description) const {
  for (auto it = FList.rbegin(); it != FList.rend(); ++it)
    if (sameText(it->Description, Description)) return &*it;
  return nullptr;
}

const TTreeClassInfo* TClipboardFormatList::FindFormat(const String& Description,
                                                       std::uint16_t& Format) const {
  const TClipboardFormatEntry* entry = FindFormat(Description);
  if (!entry) return nullptr;
  Format = entry->FormatEtc.cfFormat;
  return entry->TreeClass;
}

std::uint16_t RegisterDTClipboardFormat(const String& Description, const TTreeClassInfo* TreeClass,
                                        std::uint32_t Priority, std::uint32_t tymed, void* ptd,
                                        std::uint32_t dwAspect, std::int32_t lindex) {
  std::uint16_t id = registerFormatName(Description);
  TClipboardFormatEntry entry;
  entry.Description = Description;
  entry.TreeClass = TreeClass;
  entry.Priority = Priority;
  entry.FormatEtc = {id, ptd, dwAspect, lindex, tymed};
  ClipboardFormatList().Add(std::move(entry));
  return id;
}

String ClipboardFormatName(std::uint16_t Format) {
  if (Format >= 1 && Format <= 16) return PredefinedFormatNames[Format - 1];
  auto it = formatNames().find(Format);
  return it == formatNames().end() ? GetClipboardFormatName(Format) : it->second;
}

void RegisterDTClipboardFormat(std::uint16_t Format, const TTreeClassInfo* TreeClass,
                               std::uint32_t Priority) {
  String description;
  if (Format < 17) {
    if (Format == 0) return;
    description = PredefinedFormatNames[Format - 1];
  } else {
    description = ClipboardFormatName(Format);
  }
  TClipboardFormatEntry entry;
  entry.Description = description;
  entry.TreeClass = TreeClass;
  entry.Priority = Priority;
  entry.FormatEtc = {Format, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
  ClipboardFormatList().Add(std::move(entry));
}

// ---- per-tree list ---------------------------------------------------------------------

bool TClipboardFormats::accepts(const String& S) const {
  const TClipboardFormatEntry* entry = ClipboardFormatList().FindFormat(S);
  if (!entry) return false;
  return !FOwner || FOwner->TreeClass()->InheritsFrom(entry->TreeClass);
}

int TClipboardFormats::IndexOf(const String& S) const {
  auto it = std::lower_bound(FStrings.begin(), FStrings.end(), S, lessText);
  return (it != FStrings.end() && sameText(*it, S)) ? int(it - FStrings.begin()) : -1;
}

int TClipboardFormats::Add(const String& S) {
  if (!accepts(S)) return -1;
  auto it = std::lower_bound(FStrings.begin(), FStrings.end(), S, lessText);
  int index = int(it - FStrings.begin());
  if (it == FStrings.end() || !sameText(*it, S)) FStrings.insert(it, S);
  return index;
}

void TClipboardFormats::Insert(int, const String& S) {
  // The list is sorted, so the position follows from the text.
  Add(S);
}

RawByteString TreeReferenceData(const TBaseDataTree* Tree) { return TreeReferenceBytes(Tree->TreeToken()); }

bool ClipboardHoldsTree(const TBaseDataTree* Tree) {
  std::uint16_t format = TreeGlobals().CF_DTREFERENCE;
  if (!format || !Clipboard()->HasFormat(format)) return false;
  return Clipboard()->GetBuffer(format) == TreeReferenceData(Tree);
}

// ---- set-up -----------------------------------------------------------------------------

void InitializeGlobalStructures() {
  TTreeGlobals& g = TreeGlobals();
  if (g.Initialized) return;
  g.Initialized = true;
  g.CF_DTREFERENCE = registerFormatName(u"Data Tree Reference");
  CreateSharedCheckImages();
  // Registered under their numbers so that any control (the header, a
  // splitter) can show them by setting its cursor to that number.
  Screen->SetCursors(crHeaderSplit, TreeCursor(crHeaderSplit));
  Screen->SetCursors(crVertSplit, TreeCursor(crVertSplit));
  // The tree's nodes travel as a stream or a memory block.
  g.CF_DATATREE = RegisterDTClipboardFormat(u"Data Tree Content", TBaseDataTree::ClassInfo(), 50,
                                            TYMED_ISTREAM | TYMED_HGLOBAL);
  const TTreeClassInfo* stringTree = StringTreeClassInfo();
  g.CF_HTML = RegisterDTClipboardFormat(u"HTML Format", stringTree, 80);
  g.CF_RTFNOOBJS = RegisterDTClipboardFormat(u"Rich Text Format Without Objects", stringTree, 84);
  g.CF_RTF = RegisterDTClipboardFormat(u"Rich Text Format", stringTree, 85);
  g.CF_CSV = RegisterDTClipboardFormat(u"CSV", stringTree, 90);
  RegisterDTClipboardFormat(std::uint16_t(CF_TEXT), stringTree, 100);
  RegisterDTClipboardFormat(std::uint16_t(CF_UNICODETEXT), stringTree, 95);
}

void FinalizeGlobalStructures() {
  TTreeGlobals& g = TreeGlobals();
  if (!g.Initialized) return;
  const int alive = g.TreeCount;
  ClipboardFormatList().Clear();
  // The shapes are freed with the images; no number may keep naming them.
  Screen->SetCursors(crHeaderSplit, nullptr);
  Screen->SetCursors(crVertSplit, nullptr);
  FreeSharedCheckImages();
  g = TTreeGlobals();
  g.TreeCount = alive;
}

// ---- small routines ----------------------------------------------------------------------

TRect OrderRect(const TRect& R) {
  return {std::min(R.Left, R.Right), std::min(R.Top, R.Bottom), std::max(R.Left, R.Right),
          std::max(R.Top, R.Bottom)};
}

void QuickSort(std::uint32_t* TheArray, int L, int R) {
  if (!TheArray || L >= R) return;
  std::sort(TheArray + L, TheArray + R + 1);
}

std::uint32_t GetRGBColor(std::int32_t Colour) {
  constexpr std::int32_t clNoneValue = 0x1FFFFFFF;
  constexpr std::int32_t clDefaultValue = 0x20000000;
  if (Colour == clNoneValue) return 0xFFFFFFFFu;      // no colour
  if (Colour == clDefaultValue) return 0xFF000000u;   // the list's default
  return std::uint32_t(Colour);
}

void AlphaBlendSurfaces(const TBlendSurface* Source, TBlendSurface& Destination, const TRect& R,
                        TPoint Target, TBlendMode Mode, int ConstantAlpha, int Bias) {
  if (R.IsEmpty()) return;
  TAMRIX_ASSERT(Destination.Bits, "Alpha blending DC error: no bitmap available.");
  TAMRIX_ASSERT(Destination.BitsPerPixel == 32, "Alpha blending error: bitmap must use 32 bpp.");
  if (Mode != bmConstantAlphaAndColor) {
    TAMRIX_ASSERT(Source && Source->Bits, "Alpha blending DC error: no bitmap available.");
    TAMRIX_ASSERT(Source->BitsPerPixel == 32, "Alpha blending error: bitmap must use 32 bpp.");
  }
  // Clip to both pictures so that no row or pixel outside them is touched.
  int left = std::max(R.Left, 0);
  int top = std::max(R.Top, 0);
  int right = R.Right;
  int bottom = R.Bottom;
  if (Source && Mode != bmConstantAlphaAndColor) {
    right = std::min(right, Source->Width);
    bottom = std::min(bottom, Source->Height);
  }
  int targetX = Target.x + (left - R.Left);
  int targetY = Target.y + (top - R.Top);
  if (targetX < 0) { left -= targetX; targetX = 0; }
  if (targetY < 0) { top -= targetY; targetY = 0; }
  right = std::min(right, left + (Destination.Width - targetX));
  bottom = std::min(bottom, top + (Destination.Height - targetY));
  if (right <= left || bottom <= top) return;

  ConstantAlpha = std::clamp(ConstantAlpha, 0, 255);
  // Any bias beyond a channel's range saturates it the same way; clamping
  // first keeps the sum below from overflowing.
  const int additive = std::clamp(Bias, -255, 255);
  const std::uint8_t colour[4] = {std::uint8_t((Bias >> 16) & 0xFF), std::uint8_t((Bias >> 8) & 0xFF),
                                  std::uint8_t(Bias & 0xFF), 0};
  for (int y = top; y < bottom; ++y) {
    std::uint8_t* t = Destination.Bits + std::size_t(targetY + y - top) * std::size_t(Destination.Stride) +
                      std::size_t(targetX) * 4;
    const std::uint8_t* s =
        Source && Source->Bits
            ? Source->Bits + std::size_t(y) * std::size_t(Source->Stride) + std::size_t(left) * 4
            : nullptr;
    for (int x = left; x < right; ++x, t += 4, s = s ? s + 4 : nullptr) {
      int alpha = ConstantAlpha;
      if (Mode == bmPerPixelAlpha) alpha = s[3];
      if (Mode == bmMasterAlpha) alpha = (s[3] * ConstantAlpha) / 256;
      for (int c = 0; c < 4; ++c) {
        int value;
        if (Mode == bmConstantAlphaAndColor)
          value = (colour[c] * alpha + t[c] * (256 - alpha)) / 256;
        else
          value = (t[c] * (256 - alpha) + s[c] * alpha) / 256 + additive;
        t[c] = std::uint8_t(std::clamp(value, 0, 255));
      }
    }
  }
}

namespace {
TBlendSurface surfaceOf(TBitmap* bitmap) {
  TBlendSurface s;
  if (!bitmap || bitmap->Empty()) return s;
  s.BitsPerPixel = bitmap->PixelFormat() == pf32bit ? 32 : 24;
  s.Width = bitmap->Width();
  s.Height = bitmap->Height();
  s.Stride = bitmap->BytesPerScanLine();
  s.Bits = static_cast<std::uint8_t*>(bitmap->ScanLine(0));
  return s;
}
}  // namespace

void AlphaBlend(TBitmap* Source, TBitmap* Destination, const TRect& R, TPoint Target,
                TBlendMode Mode, int ConstantAlpha, int Bias) {
  if (R.IsEmpty()) return;
  TBlendSurface destination = surfaceOf(Destination);
  TBlendSurface source = surfaceOf(Source);
  AlphaBlendSurfaces(Source ? &source : nullptr, destination, R, Target, Mode, ConstantAlpha, Bias);
}

String ShortenString(const TTextMeasure& Measure, const String& S, int Width, int EllipsisWidth) {
  // No room at all is narrower than the ellipsis too: nothing is shown.
  if (S.empty() || Width <= 0) return String();
  static const String ellipsis = u"...";
  if (EllipsisWidth == 0) EllipsisWidth = Measure(ellipsis.data(), int(ellipsis.size()));
  if (Width <= EllipsisWidth) return String();
  // Largest leading count whose width plus the ellipsis fits; the whole
  // text is never kept.
  int low = 0;
  int high = int(S.size()) - 1;
  while (low < high) {
    int middle = (low + high + 1) / 2;
    if (Measure(S.data(), middle) + EllipsisWidth <= Width)
      low = middle;
    else
      high = middle - 1;
  }
  // A cut between the halves of a surrogate pair would leave half a character.
  if (low > 0 && S[std::size_t(low) - 1] >= 0xD800 && S[std::size_t(low) - 1] <= 0xDBFF) --low;
  return S.substr(0, std::size_t(low)) + ellipsis;
}

String ShortenString(TCanvas& Canvas, const String& S, int Width, int EllipsisWidth) {
  return ShortenString(
      [&Canvas](const char16_t* text, int length) {
        return Canvas.TextWidth(String(text, std::size_t(length)));
      },
      S, Width, EllipsisWidth);
}

String WrapString(const TTextMeasure& Measure, const String& S, int Width) {
  String result;
  String line;
  auto fits = [&](const String& text) { return Measure(text.data(), int(text.size())) <= Width; };
  auto flushLine = [&] {
    if (!result.empty()) result += u'\n';
    result += line;
    line.clear();
  };
  std::size_t pos = 0;
  while (pos < S.size()) {
    std::size_t end = S.find(u' ', pos);
    if (end == String::npos) end = S.size();
    String word = S.substr(pos, end - pos);
    pos = end < S.size() ? end + 1 : end;
    String candidate = line.empty() ? word : line + u' ' + word;
    if (fits(candidate)) {
      line = candidate;
      continue;
    }
    if (!line.empty()) flushLine();
    // A word that does not fit on a line of its own is cut where it must.
    while (!word.empty() && !fits(word)) {
      std::size_t take = 1;
      while (take < word.size() && fits(word.substr(0, take + 1))) ++take;
      if (take < word.size() && word[take - 1] >= 0xD800 && word[take - 1] <= 0xDBFF)
        take = take > 1 ? take - 1 : take + 1;
      line = word.substr(0, take);
      flushLine();
      word.erase(0, take);
    }
    line = word;
  }
  if (!line.empty() || result.empty()) flushLine();
  return result;
}

String WrapString(TCanvas& Canvas, const String& S, const TRect& Bounds) {
  return WrapString(
      [&Canvas](const char16_t* text, int length) {
        return Canvas.TextWidth(String(text, std::size_t(length)));
      },
      S, Bounds.Width());
}

void GetStringDrawRect(TCanvas& Canvas, const String& S, TRect& Bounds, unsigned DrawFormat) {
  Bounds.Right = Bounds.Left + 1;
  Bounds.Bottom = Bounds.Top + 1;
  Canvas.TextRectFlags(Bounds, S, DrawFormat | DT_CALCRECT);
}
