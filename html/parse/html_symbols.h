#pragma once
// Symbols of the HTML reader: one byte for every tag, end tag and attribute
// the reader knows, plus a few internal symbols. The numbers cross into the
// document model (attribute symbols, tag arguments), so they are fixed.
// Beside them: the tag, attribute and character-entity tables and the
// sorted look-up lists the tokeniser searches.
#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

#include "platform/core/types.h"

enum THtmlSymbol : std::uint8_t {
  symHtml = 0, symTitle = 1, symBody = 2, symHead = 3, symP = 4, symPEnd = 5,
  symB = 6, symBEnd = 7, symI = 8, symIEnd = 9, symHtmlEnd = 10, symTitleEnd = 11,
  symBodyEnd = 12, symHeadEnd = 13, symBR = 14, symH = 15, symHEnd = 16,
  symEm = 17, symEmEnd = 18, symStrong = 19, symStrongEnd = 20, symU = 21, symUEnd = 22,
  symHR = 23, symCite = 24, symVar = 25, symCiteEnd = 26, symVarEnd = 27, symBase = 28,
  symTT = 29, symCode = 30, symKbd = 31, symSamp = 32, symTTEnd = 33, symCodeEnd = 34,
  symKbdEnd = 35, symSampEnd = 36, symOL = 37, symOLEnd = 38, symLI = 39, symLIEnd = 40,
  symUL = 41, symULEnd = 42, symDir = 43, symDirEnd = 44, symMenu = 45, symMenuEnd = 46,
  symDL = 47, symDLEnd = 48, symDD = 49, symDDEnd = 50, symDT = 51, symDTEnd = 52,
  symAddress = 53, symAddressEnd = 54, symBlockQuote = 55, symBlockQuoteEnd = 56,
  symPre = 57, symPreEnd = 58, symImg = 59, symCenter = 60, symCenterEnd = 61,
  symUnknownAttr = 62, symA = 63, symAEnd = 64, symHref = 65, symName = 66, symSrc = 67,
  symAlt = 68, symAlign = 69, symOtherChar = 70, symUnused71 = 71, symUnknownTag = 72,
  symText = 73, symEndOfDoc = 74, symLink = 75, symBgColor = 76, symBackground = 77,
  symTable = 78, symTableEnd = 79, symTD = 80, symTDEnd = 81, symTR = 82, symTREnd = 83,
  symTH = 84, symTHEnd = 85, symColSpan = 86, symRowSpan = 87, symBorder = 88,
  symCellPadding = 89, symCellSpacing = 90, symVAlign = 91, symWidth = 92,
  symCaption = 93, symCaptionEnd = 94, symStart = 95, symButton = 96, symInput = 97,
  symValue = 98, symType = 99, symCheckBox = 100, symRadio = 101, symFieldset = 102,
  symFieldsetEnd = 103, symLegend = 104, symLegendEnd = 105, symForm = 106,
  symFormEnd = 107, symMethod = 108, symAction = 109, symChecked = 110, symSize = 111,
  symMaxLength = 112, symTextArea = 113, symTextAreaEnd = 114, symCols = 115,
  symRows = 116, symSelect = 117, symSelectEnd = 118, symOption = 119, symOptionEnd = 120,
  symSelected = 121, symMultiple = 122, symFont = 123, symFontEnd = 124, symColor = 125,
  symFace = 126, symBaseFont = 127, symTransp = 128, symSub = 129, symSubEnd = 130,
  symSup = 131, symSupEnd = 132, symClear = 133, symIsMap = 134, symBig = 135,
  symBigEnd = 136, symSmall = 137, symSmallEnd = 138, symBorderColor = 139, symMap = 140,
  symMapEnd = 141, symArea = 142, symShape = 143, symCoords = 144, symNoHref = 145,
  symUseMap = 146, symHeight = 147, symPlain = 148, symFrameset = 149,
  symFramesetEnd = 150, symFrame = 151, symTarget = 152, symNoFrames = 153,
  symNoFramesEnd = 154, symNoResize = 155, symScrolling = 156, symPage = 157,
  symHSpace = 158, symVSpace = 159, symScript = 160, symScriptEnd = 161,
  symLanguage = 162, symDiv = 163, symDivEnd = 164, symS = 165, symSEnd = 166,
  symStrike = 167, symStrikeEnd = 168, symFrameBorder = 169, symMarginWidth = 170,
  symMarginHeight = 171, symBgSound = 172, symLoop = 173, symOnClick = 174, symWrap = 175,
  symNoShade = 176, symMeta = 177, symHttpEquiv = 178, symContent = 179, symEncType = 180,
  symVLink = 181, symOLink = 182, symActive = 183, symPanel = 184, symNoBr = 185,
  symNoBrEnd = 186, symWbr = 187, symClass = 188, symID = 189, symStyle = 190,
  symStyleEnd = 191, symSpan = 192, symSpanEnd = 193, symLoneItemEnd = 194, symRel = 195,
  symRev = 196, symNoWrap = 197, symBorderColorLight = 198, symBorderColorDark = 199,
  symCharSet = 200, symRatio = 201, symOnFocus = 202, symOnBlur = 203, symOnChange = 204,
  symCol = 205, symColGroup = 206, symColGroupEnd = 207, symTabIndex = 208,
  symBgProperties = 209, symDisabled = 210, symTopMargin = 211, symLeftMargin = 212,
  symLabel = 213, symLabelEnd = 214, symTHead = 215, symTBody = 216, symTFoot = 217,
  symTHeadEnd = 218, symTBodyEnd = 219, symTFootEnd = 220, symObject = 221,
  symObjectEnd = 222, symParam = 223, symReadOnly = 224, symLineEnd = 225, symMedia = 226,
};

// Number of symbol values (0 .. SymbolCount - 1).
constexpr int SymbolCount = 227;

// Tag table entry. EndSym is symUnknownTag for a tag without an end tag.
struct TResWord {
  std::u16string_view Name;  // upper case
  THtmlSymbol Symbol;
  THtmlSymbol EndSym;
};

// Attribute table entry.
struct TSymbolRec {
  std::u16string_view Name;  // upper case
  THtmlSymbol Value;
};

// Character entity: name as written in pages (case matters) and code point.
struct TEntity {
  std::u16string_view Name;
  std::int32_t Value;
};

// A read-only list of names sorted once (ordinal, case-sensitive), each
// with its table entry as the item's object.
template <typename Entry>
class TSymbolNameList {
public:
  explicit TSymbolNameList(std::vector<const Entry*> entries);

  int Count() const { return static_cast<int>(FItems.size()); }
  std::u16string_view Strings(int index) const { return FItems[index]->Name; }
  const Entry& Objects(int index) const { return *FItems[index]; }
  // Binary search for the exact name; Index is the match or the insertion place.
  bool Find(std::u16string_view name, int& index) const;
  // Convenience: the entry of the name, or nullptr.
  const Entry* Lookup(std::u16string_view name) const;

private:
  std::vector<const Entry*> FItems;
};

// The three look-up lists, built on first use and kept for the process.
const TSymbolNameList<TResWord>& TagNames();
const TSymbolNameList<TSymbolRec>& AttrNames();
const TSymbolNameList<TEntity>& EntityNames();

// The raw tables in their defining order.
const std::vector<TResWord>& TagTable();
const std::vector<TSymbolRec>& AttributeTable();
const std::vector<TEntity>& EntityTable();

// Lower-case name of the tag or attribute owning a symbol (an end symbol
// carries its tag's name); empty for the internal symbols.
const String& SymbolName(THtmlSymbol sym);
// Position in TagNames of the tag owning the symbol, or -1.
int TagIndexBySymbol(THtmlSymbol sym);
// End symbol of the tag whose start symbol is sym; symUnknownTag when sym
// belongs to no tag.
THtmlSymbol EndSymbolOf(THtmlSymbol sym);

// Numeric character references (&#NNN; and &#xHHH;). Digits accumulate
// with saturation just above the last code point, so a long run of digits
// cannot overflow.
constexpr std::uint32_t CharRefLimit = 0x110000;
inline std::uint32_t AddCharRefDigit(std::uint32_t value, unsigned digit, unsigned base) {
  const std::uint64_t next = std::uint64_t(value) * base + digit;
  return next >= CharRefLimit ? CharRefLimit : std::uint32_t(next);
}
// The UTF-16 units of a referenced code point: two for one beyond U+FFFF;
// U+FFFD for 0, a surrogate or a value beyond U+10FFFF. Returns the count.
int CharRefToUnits(std::uint32_t value, char16_t units[2]);
