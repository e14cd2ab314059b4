#include "html/parse/html_tokenizer.h"

#include <array>
#include <cmath>

#include "html/parse/html_common.h"
#include "html/parse/style_list.h"
#include "html/parse/style_text.h"
#include "platform/core/codepage.h"

using namespace std::string_view_literals;
using namespace styletext;

namespace {

inline bool isBlankChar(char16_t c) { return c == 9 || c == 10 || c == 12 || c == 13 || c == 32; }
inline bool isAttributeNameChar(char16_t c) {
  return isAsciiLetter(c) || isDigit(c) || c == u'$' || c == u'-' || c == u'_' || c == u':' || c == u'.';
}

// Attribute numbers are kept well inside the integer range (as CSS lengths
// are) so that sizes and spans taken from a page cannot overflow the
// arithmetic built on them: the layout adds several of them together and
// multiplies sizes by character widths.
double roundedNumber(double d) {
  if (std::isnan(d)) return 0;
  return std::nearbyint(std::clamp(d, -10000000.0, 10000000.0));
}

// A whole value of sign and decimal digits only, up to 15 digits (exact
// in a double): the number tryStrToFloat gives, without its conversion.
// False for anything else, which goes the general way.
bool integerValue(std::u16string_view s, double& d) {
  size_t i = 0;
  const bool negative = !s.empty() && s[0] == u'-';
  if (!s.empty() && (s[0] == u'+' || s[0] == u'-')) ++i;
  if (i == s.size() || s.size() - i > 15) return false;
  int64_t n = 0;
  for (; i < s.size(); ++i) {
    if (!isDigit(s[i])) return false;
    n = n * 10 + (s[i] - u'0');
  }
  d = negative ? -double(n) : double(n);
  return true;
}

// The characters of units [first, last) below 128 (bytes, or 16-bit
// units low byte first).
template <int UnitSize>
void assignAscii(String& s, const std::uint8_t* units, std::size_t first, std::size_t last) {
  s.resize(last - first);
  for (char16_t& c : s) c = char16_t(units[UnitSize * first++]);
}

std::u16string_view trimmed(std::u16string_view s) {
  size_t b = 0, e = s.size();
  while (b < e && s[b] <= u' ') ++b;
  while (e > b && s[e - 1] <= u' ') --e;
  return s.substr(b, e - b);
}

// Leading number of a quoted attribute value ("50%", "2*", "+1").
double leadingNumber(std::u16string_view value) {
  std::u16string_view t = trimmed(value);
  if (!t.empty() && (t.back() == u'%' || t.back() == u'*')) t.remove_suffix(1);
  if (t.empty()) return 0;
  const char16_t c = t[0];
  if (!(c == u'+' || c == u'-' || c == u'.' || isDigit(c))) return 0;
  const size_t n = numberPrefix(t, true);
  double d = 0;
  if (n > 0 && !integerValue(t.substr(0, n), d)) tryStrToFloat(t.substr(0, n), d);
  return roundedNumber(d);
}

// Code pages in which a byte 0x80..0x9F is a character of its own.
bool isSingleBytePage(int codePage) {
  return codePage == 874 || (codePage >= 1250 && codePage <= 1258) || codePage == 28592 ||
         codePage == 866 || codePage == 20866 || codePage == 21866 || codePage == 10000;
}

// Tag and attribute names packed into one number (six bits a character,
// up to ten characters) for a hashed look-up; names that do not pack go to
// the sorted lists.
constexpr std::array<std::uint8_t, 128> kNameCodes = [] {
  std::array<std::uint8_t, 128> codes{};
  for (unsigned c = 'A'; c <= 'Z'; ++c) codes[c] = std::uint8_t(c - 'A' + 1);
  for (unsigned c = '0'; c <= '9'; ++c) codes[c] = std::uint8_t(c - '0' + 27);
  codes['-'] = 37;
  codes['_'] = 38;
  codes['$'] = 39;
  codes[':'] = 40;
  codes['.'] = 41;
  codes['/'] = 42;
  return codes;
}();

inline unsigned nameCode(char16_t upper) { return upper < 128 ? kNameCodes[upper] : 0; }

uint64_t packName(std::u16string_view upper) {
  if (upper.empty() || upper.size() > 10) return 0;
  uint64_t key = 0;
  for (char16_t c : upper) {
    const unsigned code = nameCode(c);
    if (code == 0) return 0;
    key = key << 6 | code;
  }
  return key;
}

// Entity names (case counts) packed the same way: digits, then A to Z,
// then a to z.
uint64_t packEntityName(std::u16string_view name) {
  if (name.empty() || name.size() > 10) return 0;
  uint64_t key = 0;
  for (char16_t c : name) {
    unsigned code;
    if (c >= u'0' && c <= u'9') code = c - u'0' + 1;
    else if (c >= u'A' && c <= u'Z') code = c - u'A' + 11;
    else if (c >= u'a' && c <= u'z') code = c - u'a' + 37;
    else return 0;
    key = key << 6 | code;
  }
  return key;
}

// Open addressing over packed names (0 marks a free slot); the first entry
// added for a key stays.
template <typename Entry, unsigned Bits>
class TPackedNames {
public:
  void Add(uint64_t key, const Entry* entry) {
    unsigned i = slot(key);
    while (FKeys[i] != 0 && FKeys[i] != key) i = (i + 1) & Mask;
    if (FKeys[i] == 0) {
      FKeys[i] = key;
      FEntries[i] = entry;
    }
  }
  const Entry* Find(uint64_t key) const {
    for (unsigned i = slot(key); FKeys[i] != 0; i = (i + 1) & Mask)
      if (FKeys[i] == key) return FEntries[i];
    return nullptr;
  }

private:
  static constexpr unsigned Mask = (1u << Bits) - 1;
  static unsigned slot(uint64_t key) { return unsigned((key * 0x9E3779B97F4A7C15ull) >> (64 - Bits)); }
  std::array<uint64_t, 1u << Bits> FKeys{};
  std::array<const Entry*, 1u << Bits> FEntries{};
};

template <typename Entry, unsigned Bits, typename Pack>
TPackedNames<Entry, Bits> packedTable(const std::vector<Entry>& table, Pack pack) {
  TPackedNames<Entry, Bits> names;
  for (const Entry& e : table)
    if (const uint64_t key = pack(e.Name)) names.Add(key, &e);
  return names;
}

// The tables hold fewer than a quarter as many names as slots.
const TPackedNames<TResWord, 9>& packedTags() {
  static const auto table = packedTable<TResWord, 9>(TagTable(), packName);
  return table;
}

const TPackedNames<TSymbolRec, 9>& packedAttributes() {
  static const auto table = packedTable<TSymbolRec, 9>(AttributeTable(), packName);
  return table;
}

const TResWord* findTag(std::u16string_view upper) {
  if (const uint64_t key = packName(upper)) return packedTags().Find(key);
  return TagNames().Lookup(upper);
}

const TSymbolRec* findAttribute(std::u16string_view upper) {
  if (const uint64_t key = packName(upper)) return packedAttributes().Find(key);
  return AttrNames().Lookup(upper);
}

// Bytes a tag in plain ASCII is made of: 32 to 126, but "<" and "&".
constexpr std::array<bool, 256> kPlainBytes = [] {
  std::array<bool, 256> plain{};
  for (unsigned b = 32; b < 127; ++b) plain[b] = b != '<' && b != '&';
  return plain;
}();

const TEntity* findEntity(std::u16string_view name) {
  static const auto fast = packedTable<TEntity, 10>(EntityTable(), packEntityName);
  if (const uint64_t key = packEntityName(name)) return fast.Find(key);
  return EntityNames().Lookup(name);
}

// The link-counting pass of THtmlTokenizer (FirstPass, no includes, no
// raw content) over the units of a source in which only ASCII units read
// as ASCII characters. Every character that steers the reader is ASCII,
// so a longer character can stand as its units, each some character from
// 128 up; a pass over the units then meets the same tags, attributes,
// quotes, comments and line ends as the reader does, step for step. Each
// function below is its namesake in THtmlTokenizer cut down to what that
// pass does; a test checks that the two count alike.
template <int UnitSize>
class TLinkScanner : private TNormalisingReader<TLinkScanner<UnitSize>> {
  friend class TNormalisingReader<TLinkScanner<UnitSize>>;
  using Base = TNormalisingReader<TLinkScanner<UnitSize>>;
  using Base::FLinePair;
  using Base::readNormalisedChar;
  using Base::skipCommentFrom;

public:
  TLinkScanner(const std::uint8_t* data, std::size_t size) : FAt(data), FEnd(data + size - size % UnitSize) {}

  // As THtmlParser's first pass: links until the data ends or one past the
  // limit, and one symbol more.
  int Count(int limit, uint8_t& linePair) {
    readChar();
    nextSymbol();
    int links = 0;
    while (!FEndOfDoc && links <= limit) {
      if (FLink) ++links;
      nextSymbol();
    }
    linePair = FLinePair;
    return links;
  }

private:
  char16_t unit(const std::uint8_t* at) const {
    return UnitSize == 1 ? char16_t(*at) : char16_t(at[0] | (at[1] << 8));
  }
  [[gnu::always_inline]] char16_t readSourceChar() {
    if (FAt == FEnd) return 0;
    const char16_t c = unit(FAt);
    FAt += UnitSize;
    return c;
  }
  char16_t PeekSourceChar() const { return FAt == FEnd ? 0 : unit(FAt); }
  [[gnu::always_inline]] void readChar() {
    const char16_t c = readNormalisedChar();
    if (c == u'<')
      readCharSlow(c);
    else
      FCh = c;
  }
  void readCharSlow(char16_t c) {
    while (c == u'<') {
      const char16_t next = PeekSourceChar();
      if (next == u'!') {
        readNormalisedChar();
        c = readNormalisedChar();
        if (c == u'-' && PeekSourceChar() == u'-') {
          readNormalisedChar();
          skipCommentFrom(readNormalisedChar());
        } else {
          while (c != u'>' && c != 0) c = readNormalisedChar();
        }
        c = readNormalisedChar();
      } else if (next == u'%') {
        readNormalisedChar();
        c = readNormalisedChar();
        while (c != 0 && !(c == u'%' && PeekSourceChar() == u'>')) c = readNormalisedChar();
        if (c != 0) readNormalisedChar();
        c = readNormalisedChar();
      } else {
        break;
      }
    }
    FCh = c;
  }
  void skipBlanks() {
    while (isBlankChar(FCh)) readChar();
  }
  // Past the characters readChar would take one by one with nothing to do
  // but clear the line-end state: from 32 up, neither "<" nor stop.
  void skipPlain(char16_t stop) {
    skipPlain([stop](char16_t c) { return c != stop; });
  }
  // The same for characters that keep(c) admits.
  template <typename Keep>
  void skipPlain(Keep keep) {
    const std::uint8_t* at = FAt;
    while (at != FEnd && unit(at) >= 32 && unit(at) != u'<' && keep(unit(at))) at += UnitSize;
    if (at == FAt) return;
    FAt = at;
    FLinePair = 0;
  }

  void nextSymbol() {
    FLink = false;
    if (FCh == 0) {
      FEndOfDoc = true;
    } else if (FCh < 9) {
      FCh = u'?';
    } else if (FCh == u'<') {
      getTag();
    } else {
      while (FCh != u'<' && FCh >= 9) {
        skipPlain(u'<');
        readChar();
      }
    }
  }
  void getTag() {
    readChar();
    bool endTag = false;
    if (FCh == u'/') {
      endTag = true;
      readChar();
    } else if (!(FCh == u'?' || isAsciiLetter(FCh))) {
      return;
    }
    // No tag name is anywhere near this long. Short names are packed as
    // they are read (every tag name character packs).
    char16_t name[32];
    size_t length = 0;
    uint64_t key = 0;
    while (isAsciiLetter(FCh) || FCh == u'_' || (FCh == u'/' && length == 0) ||
           (isDigit(FCh) && !(length == 1 && name[0] == u'H'))) {
      const char16_t upper = htUpperChar(FCh);
      if (length < std::size(name)) name[length] = upper;
      key = key << 6 | nameCode(upper);
      ++length;
      readChar();
    }
    THtmlSymbol sy = symUnknownTag;
    const TResWord* tag = length == 0                 ? nullptr
                          : length <= 10              ? packedTags().Find(key)
                          : length <= std::size(name) ? findTag(std::u16string_view(name, length))
                                                      : nullptr;
    if (tag) sy = endTag ? tag->EndSym : tag->Symbol;
    skipBlanks();
    if ((sy == symH || sy == symHEnd) && FCh >= u'1' && FCh <= u'6') readChar();
    while (getAttribute(sy == symA)) {
    }
    while (FCh != u'>' && FCh != 0) readChar();
    if (FCh == u'>' && sy != symScript && sy != symStyle) readChar();
  }
  bool getAttribute(bool inLink) {
    skipBlanks();
    if (!isAttributeNameChar(FCh)) return false;
    if (inLink) {
      char16_t name[32];
      size_t length = 0;
      while (isAttributeNameChar(FCh)) {
        if (length < std::size(name)) name[length] = htUpperChar(FCh);
        ++length;
        readChar();
      }
      if (length <= std::size(name))
        if (const TSymbolRec* rec = findAttribute(std::u16string_view(name, length))) FLink |= rec->Value == symHref;
    } else {
      // Only a link's attribute names matter; the others are read past.
      while (isAttributeNameChar(FCh)) {
        skipPlain([](char16_t c) { return isAttributeNameChar(c); });
        readChar();
      }
    }
    skipBlanks();
    if (FCh == u'=') {
      readChar();
      skipBlanks();
      if (FCh == u'"' || FCh == u'\'') {
        const char16_t quote = FCh;
        readChar();
        while (FCh != quote && FCh != 0) {
          skipPlain(quote);
          readChar();
        }
        if (FCh == quote) readChar();
      } else if (FCh == u'+' || FCh == u'-' || isDigit(FCh)) {
        readChar();
        while (FCh != 0 && FCh != 9 && FCh != 13 && FCh != 32 && FCh != u'%' && FCh != u'>') {
          skipPlain([](char16_t c) { return c != u' ' && c != u'%' && c != u'>'; });
          readChar();
        }
        skipBlanks();
        if (FCh == u'%') readChar();
      } else {
        while (FCh != 0 && FCh != 9 && FCh != 13 && FCh != 32 && FCh != u'>') {
          skipPlain([](char16_t c) { return c != u' ' && c != u'>'; });
          readChar();
        }
      }
    }
    return true;
  }

  const std::uint8_t* FAt;
  const std::uint8_t* FEnd;
  char16_t FCh = 0;
  bool FEndOfDoc = false;
  bool FLink = false;
};

}  // namespace

THtmlTokenizer::THtmlTokenizer(TBuffer* buffer) : FBuffer(buffer) {}

THtmlTokenizer::~THtmlTokenizer() = default;

int THtmlTokenizer::CurrentCodePage() const {
  if (PropStack && PropStack->Count() > 0) return PropStack->Last()->CodePage();
  return FBuffer->CodePage();
}

void THtmlTokenizer::CodePageSwitched() {
  // Characters below 128 read alike in every code page a page can switch
  // between (and are what line ends and markup are made of); an included
  // part reads from a buffer of its own.
  if (LCh < 0x80 || !FIncluded.empty()) return;
  FBuffer->SetPosition(SIndex);
  readChar();
  followSource();
}

int THtmlTokenizer::CountLinks(int limit) {
  const TBuffer::TUnits units = FIncluded.empty() ? FBuffer->AsciiUnits() : TBuffer::TUnits();
  int links = 0;
  if (units.UnitSize == 1) {
    links = TLinkScanner<1>(units.Data, units.Size).Count(limit, FLinePair);
  } else if (units.UnitSize == 2) {
    links = TLinkScanner<2>(units.Data, units.Size).Count(limit, FLinePair);
  } else {
    FirstPass = true;
    ReadChar();
    NextSymbol();
    while (Sy != symEndOfDoc && links <= limit) {
      if (Sy == symA)
        for (const TTokenAttribute& a : Attributes)
          if (a.Which == symHref) {
            ++links;
            break;
          }
      NextSymbol();
    }
    FirstPass = false;
  }
  // Nothing of the pass reaches the symbols read after it.
  Token.Clear();
  Attributes.clear();
  return links;
}

// ---------------------------------------------------------------- characters

char16_t THtmlTokenizer::resumeSuspended() {
  char16_t c = 0;
  while (c == 0 && !FIncluded.empty()) {
    ++FPartsEnded;
    FIncluded.pop_back();
    FBuffer = FSuspended.back();
    FSuspended.pop_back();
    c = FBuffer->NextChar();
  }
  return c;
}

void THtmlTokenizer::reportProgress() {
  followSource();
  if (FBuffer->Size() > 0) OnProgress(FBuffer->GetPosition(), FBuffer->Size());
}

char16_t THtmlTokenizer::PeekSourceChar() {
  char16_t c = FBuffer->PeekChar();
  while (c == 0 && !FIncluded.empty()) {
    ++FPartsEnded;
    FIncluded.pop_back();
    FBuffer = FSuspended.back();
    FSuspended.pop_back();
    c = FBuffer->PeekChar();
  }
  return c;
}

void THtmlTokenizer::readCharSlow(char16_t c) {
  for (;;) {
    if (c == u'<' && !InScript) {
      const char16_t next = PeekSourceChar();
      if (next == u'!') {
        readNormalisedChar();
        InComment = true;
        c = readNormalisedChar();
        if (c == u'-' && PeekSourceChar() == u'-') {
          readNormalisedChar();
          // A directive read while another one's parameters are read
          // nests; past the depth limit it is a plain comment.
          if (OnInclude && PeekSourceChar() == u'#' &&
              FReadingIncludes + int(FIncluded.size()) < MaxIncludeDepth)
            readInclude();
          else
            skipCommentBody();
        } else {
          // A declaration such as a document type.
          while (c != u'>' && c != 0) c = readNormalisedChar();
        }
        // A comment left open ends with the data; what came before stays.
        InComment = false;
        c = readNormalisedChar();
        continue;
      }
      if (next == u'%') {  // server block
        readNormalisedChar();
        c = readNormalisedChar();
        while (c != 0 && !(c == u'%' && PeekSourceChar() == u'>')) c = readNormalisedChar();
        if (c != 0) readNormalisedChar();
        c = readNormalisedChar();
        continue;
      }
    }
    LCh = c;
    return;
  }
}

void THtmlTokenizer::skipCommentBody() { skipCommentFrom(readNormalisedChar()); }

bool THtmlTokenizer::readIncludeIdentifier(String& ident) {
  ident.clear();
  if (!(isAsciiLetter(LCh) || LCh == u'_')) return false;
  while (isAsciiLetter(LCh) || isDigit(LCh) || LCh == u'_' || LCh == u'-') {
    ident += LCh;
    readChar();
  }
  return true;
}

void THtmlTokenizer::readInclude() {
  ++FReadingIncludes;
  struct Nesting {
    int& N;
    ~Nesting() { --N; }
  } nesting{FReadingIncludes};
  TTokenText saved = std::move(Token);
  Token.Clear();
  readNormalisedChar();  // "#"
  readChar();
  String command;
  readIncludeIdentifier(command);
  std::vector<String> params;
  for (;;) {
    skipBlanks();
    String name;
    if (!readIncludeIdentifier(name)) break;
    skipBlanks();
    String value;
    if (LCh == u'=') {
      readChar();
      skipBlanks();
      if (LCh == u'"' || LCh == u'\'') {
        const char16_t quote = LCh;
        readChar();
        while (LCh != quote && LCh != 0) {
          if (LCh == u'&') {
            appendEntity(value, 0);
            continue;
          }
          value += LCh == u'\r' ? u' ' : LCh;
          readChar();
        }
        if (LCh == quote) readChar();
      } else {
        while (LCh != 0 && !isBlankChar(LCh) && LCh != u'-' && LCh != u'>') {
          value += LCh;
          readChar();
        }
      }
    }
    params.push_back(name + u'=' + value);
  }
  // The rest of the directive is a comment; LCh is its first character.
  skipCommentFrom(LCh);
  std::unique_ptr<TBuffer> included;
  followSource();
  OnInclude(command, params, included);
  // A page that includes itself, directly or not, must not read forever.
  if (included && int(FIncluded.size()) < MaxIncludeDepth && ++FIncludeCount <= MaxIncludes) {
    FSuspended.push_back(FBuffer);
    FIncluded.push_back(std::move(included));
    FBuffer = FIncluded.back().get();
  }
  Token = std::move(saved);
}

void THtmlTokenizer::SkipBlanks() {
  skipBlanks();
  followSource();
}

void THtmlTokenizer::skipBlanks() {
  // Inside a tag the blanks stop where an included part ends: those after
  // it are the page's own text.
  while (isBlankChar(LCh) && !tagCut()) readChar();
}

// ---------------------------------------------------------------- references

void THtmlTokenizer::appendCharRef(String& out, int32_t value, bool named, int codePage) const {
  if (value == 9) {
    out += u' ';
    return;
  }
  // A reference to character 0 is no character at all; readers take a real
  // 0 as the end of the text, so it stands as the replacement character.
  if (value == 0) {
    out += char16_t(0xFFFD);
    return;
  }
  if (value < 32) {
    out += u'?';
    return;
  }
  if (!named && value >= 127 && value <= 159) {
    // Pages mean these as bytes of their code page; where the page is not
    // a single-byte one, the usual Western page is what they were written in.
    const int page = isSingleBytePage(codePage) ? codePage : 1252;
    const char byte = char(value);
    const String s = CodePageToUnicode(page, &byte, 1);
    out += s.size() == 1 && s[0] != 0xFFFD ? s[0] : char16_t(value);
    return;
  }
  // Beyond the basic plane: a surrogate pair, not the low 16 bits.
  char16_t units[2];
  const int n = CharRefToUnits(uint32_t(value), units);
  out.append(units, size_t(n));
}

String THtmlTokenizer::DecodeEntity(int codePage) {
  TFollowOnExit follow{*this};
  String text;
  appendEntity(text, codePage);
  return text;
}

// The text as written goes into out as it is read; a reference that turns
// out to be one replaces it.
void THtmlTokenizer::appendEntity(String& out, int codePage) {
  if (LCh != u'&') return;
  const size_t start = out.size();
  out += u'&';
  readChar();
  if (LCh == u'#') {
    out += LCh;
    readChar();
    int base = 10;
    if (LCh == u'x' || LCh == u'X') {
      out += LCh;
      base = 16;
      readChar();
    }
    uint32_t value = 0;
    int digits = 0;
    for (int d; (d = digitValue(LCh, base)) >= 0;) {
      value = AddCharRefDigit(value, unsigned(d), unsigned(base));
      out += LCh;
      ++digits;
      readChar();
    }
    if (digits == 0) return;
    if (LCh == u';') readChar();
    out.resize(start);
    appendCharRef(out, int32_t(value), false, codePage);
    return;
  }
  const size_t nameStart = out.size();
  while (out.size() - nameStart < 11 && (isAsciiLetter(LCh) || isDigit(LCh))) {
    out += LCh;
    readChar();
  }
  const TEntity* entity = findEntity(std::u16string_view(out).substr(nameStart));
  if (!entity) return;
  if (LCh == u';') {
    readChar();
  } else if (entity->Value > 255) {
    // Without ";" only the Latin-1 names count ("&copy 2000"); "&euro" may
    // be the start of a word.
    return;
  }
  out.resize(start);
  appendCharRef(out, entity->Value, true, codePage);
}

// ---------------------------------------------------------------- symbols

void THtmlTokenizer::NextSymbol() {
  TFollowOnExit follow{*this};
  Token.Clear();
  if (LCh == 0) {
    Sy = symEndOfDoc;
    return;
  }
  if (LCh < 9) {
    Sy = symText;
    LCh = u'?';
    return;
  }
  if (LCh == u'<') {
    getTag();
    return;
  }
  Sy = symText;
  if (FirstPass) {
    // Nothing of the text is kept; a reference takes no "<" or control
    // character, so decoding it would end the run at the same place.
    while (LCh != u'<' && LCh >= 9) {
      readRun([](char16_t c) { return c > u' ' && c != u'<'; }, nullptr);
      readChar();
    }
    return;
  }
  // Raw content its included part left open (a title) reads no further
  // than the part: the page after it is markup again.
  if (RawContentCut()) return;
  while (LCh != u'<' && LCh >= 9) {
    // A long text comes in several tokens, each ending before a character
    // that is not a blank: the reader of a page of one huge paragraph then
    // never holds more than a piece of it beside the document.
    if (Token.Count() >= MaxTextToken && !isBlankChar(LCh)) return;
    if (LCh == 9 || LCh == 10 || LCh == 13 || LCh == 32) {
      Token.Add(u' ', SIndex);
      readChar();
      while (isBlankChar(LCh)) readChar();
    } else if (LCh == u'&') {
      const int index = SIndex;
      FEntityText.clear();
      appendEntity(FEntityText, CurrentCodePage());
      Token.AddString(FEntityText, index);
    } else {
      Token.Add(LCh, SIndex);
      // The run goes on over single blanks between words; a blank that
      // ends it drops the blanks after it, as the branch above does.
      readRun(
          [previous = LCh](char16_t c) mutable {
            const bool plain = c > u' ' ? c != u'<' && c != u'&' : c == u' ' && previous != u' ';
            previous = c;
            return plain;
          },
          Token);
      const bool blank = LCh == u' ';
      readChar();
      if (blank) skipBlanks();
    }
    if (RawContentCut()) return;
  }
}

void THtmlTokenizer::getTag() {
  TagIndex = SIndex;
  FTagParts = FPartsEnded;
  FTagDepth = int(FIncluded.size());
  FInTag = true;
  struct LeaveTag {
    bool& F;
    ~LeaveTag() { F = false; }
  } leave{FInTag};
  if (getAsciiTag()) {
    if (Sy != symScript && Sy != symStyle) readChar();
    return;
  }
  readChar();
  bool endTag = false;
  if (LCh == u'/') {
    endTag = true;
    readChar();
  } else if (!(LCh == u'?' || isAsciiLetter(LCh))) {
    Sy = symText;
    Token.Add(u'<', TagIndex);
    return;
  }
  Sy = symUnknownTag;
  String& name = FTagName;
  name.clear();
  // The digit after a lone H is the heading's level, no part of its name.
  while (!tagCut() && (isAsciiLetter(LCh) || LCh == u'_' || (LCh == u'/' && name.empty()) ||
                       (isDigit(LCh) && name != u"H"sv))) {
    name += htUpperChar(LCh);
    readChar();
  }
  if (const TResWord* tag = findTag(name))
    Sy = endTag ? tag->EndSym : tag->Symbol;
  skipBlanks();
  Value = 0;
  if ((Sy == symH || Sy == symHEnd) && !tagCut() && LCh >= u'1' && LCh <= u'6') {
    Value = LCh - u'0';
    readChar();
  }
  Attributes.clear();
  // The first pass looks at the attributes of links alone.
  const bool keep = !FirstPass || Sy == symA;
  while (getAttribute(keep ? Attributes.Add() : FDiscarded)) {
  }
  while (LCh != u'>' && LCh != 0 && !tagCut()) readChar();
  if (tagCut()) {
    // Cut off by the end of an included part: the page goes on with its own
    // next character, and a script or style tag that never closed has no
    // content to read.
    if (Sy == symScript || Sy == symStyle) Sy = symUnknownTag;
    return;
  }
  // Script and style content begins right after the ">", which stays
  // current for the reader of that content.
  if (LCh == u'>' && Sy != symScript && Sy != symStyle) readChar();
}

// A tag written in plain characters (32 to 126, no "<" or "&") up to its
// ">", in a source whose ASCII characters are units of their own, taken
// from the units at once. Each step below is the step of getTag and the
// attribute readers for a character they would read the same way one by
// one, so the symbol, attributes and reader state come out as theirs; at
// anything else it gives up without a trace and they read the tag. Leaves
// LCh on the ">".
bool THtmlTokenizer::getAsciiTag() {
  if (FirstPass || InScript || OnIdAttribute || !FIncluded.empty()) return false;
  const TBuffer::TUnits units = FBuffer->AsciiUnits();
  if (units.UnitSize == 1) return getAsciiTagIn<1>(units.Data, units.Size);
  if (units.UnitSize == 2) return getAsciiTagIn<2>(units.Data, units.Size / 2);
  return false;
}

template <int UnitSize>
bool THtmlTokenizer::getAsciiTagIn(const std::uint8_t* p, std::size_t size) {
  // The character of unit k when it is plain, else 0 (where this gives up).
  const auto at = [p, size](std::size_t k) -> char16_t {
    if (k >= size) return 0;
    const unsigned unit = UnitSize == 1 ? p[k] : unsigned(p[2 * k] | (p[2 * k + 1] << 8));
    return unit < 256 && kPlainBytes[unit] ? char16_t(unit) : 0;
  };
  std::size_t i = 0;
  char16_t c = at(0);
  bool endTag = false;
  if (c == u'/') {
    endTag = true;
    c = at(++i);
  } else if (!(c == u'?' || isAsciiLetter(c))) {
    return false;
  }
  // The name packed as it is read (every tag name character packs); one
  // longer than any tag's goes the slow way.
  uint64_t key = 0;
  std::size_t length = 0;
  while (isAsciiLetter(c) || c == u'_' || (c == u'/' && length == 0) ||
         (isDigit(c) && !(length == 1 && key == nameCode(u'H')))) {
    key = key << 6 | nameCode(htUpperChar(c));
    ++length;
    c = at(++i);
  }
  if (c == 0 || length > 10) return false;
  THtmlSymbol sy = symUnknownTag;
  if (const TResWord* tag = length > 0 ? packedTags().Find(key) : nullptr) sy = endTag ? tag->EndSym : tag->Symbol;
  while (c == u' ') c = at(++i);
  int level = 0;
  if ((sy == symH || sy == symHEnd) && c >= u'1' && c <= u'6') {
    level = c - u'0';
    c = at(++i);
  }
  Attributes.clear();
  const int codePage = CurrentCodePage();
  for (;;) {
    while (c == u' ') c = at(++i);
    if (!isAttributeNameChar(c)) break;
    TTokenAttribute& attr = Attributes.Add();
    const std::size_t nameStart = i;
    uint64_t nameKey = 0;
    do {
      nameKey = nameKey << 6 | nameCode(htUpperChar(c));
      c = at(++i);
    } while (isAttributeNameChar(c));
    assignAscii<UnitSize>(attr.Name, p, nameStart, i);
    for (char16_t& ch : attr.Name) ch = htUpperChar(ch);
    // Every attribute name character packs.
    const TSymbolRec* rec = i - nameStart <= 10 ? packedAttributes().Find(nameKey) : findAttribute(attr.Name);
    if (rec) attr.Which = rec->Value;
    while (c == u' ') c = at(++i);
    attr.DblValue = attr.Which == symBorder ? 1 : 0;
    attr.CodePage = codePage;
    if (c != u'=') continue;
    c = at(++i);
    while (c == u' ') c = at(++i);
    const std::size_t first = i;
    if (c == u'"' || c == u'\'') {
      const char16_t quote = c;
      do {
        c = at(++i);
        if (c == 0) return false;
      } while (c != quote);
      assignAscii<UnitSize>(attr.Value, p, first + 1, i);
      c = at(++i);
      setQuotedNumber(attr);
    } else if (c == u'+' || c == u'-' || isDigit(c)) {
      do c = at(++i);
      while (c != 0 && c != u' ' && c != u'%' && c != u'>');
      if (c == 0) return false;
      assignAscii<UnitSize>(attr.Value, p, first, i);
      attr.DblValue = plainNumber(attr.Value);
      while (c == u' ') c = at(++i);
      if (c == u'%') {
        attr.Value += u'%';
        c = at(++i);
      }
    } else {
      while (c != 0 && c != u' ' && c != u'>') c = at(++i);
      if (c == 0) return false;
      assignAscii<UnitSize>(attr.Value, p, first, i);
    }
  }
  while (c != u'>') {
    if (c == 0) return false;
    c = at(++i);
  }
  // Through the ">"; no progress report may fall inside.
  const std::size_t count = i + 1;
  if (OnProgress && (CharCount & 4095) + count >= 4096) return false;
  if (OnProgress) CharCount += int(count);
  SIndex = FBuffer->GetPosition() + int(i * UnitSize);
  FBuffer->SkipAsciiUnits(count);
  FLinePair = 0;
  LCh = u'>';
  Sy = sy;
  Value = level;
  return true;
}

// In the first pass only the names count: values are read past (no
// reference takes a quote, blank or ">", so none is decoded) and not
// converted.
bool THtmlTokenizer::getAttribute(TTokenAttribute& attr) {
  const bool kept = &attr != &FDiscarded;
  if (!kept) {
    attr.Name.clear();
    attr.Value.clear();
    attr.Which = symUnknownAttr;
  }
  skipBlanks();
  while (!tagCut() && isAttributeNameChar(LCh)) {
    attr.Name += htUpperChar(LCh);
    readChar();
  }
  if (attr.Name.empty()) {
    if (kept) Attributes.DropLast();
    return false;
  }
  // An attribute read past needs no symbol: the rules for its value do
  // not depend on it.
  if (const TSymbolRec* rec = kept ? findAttribute(attr.Name) : nullptr) attr.Which = rec->Value;
  skipBlanks();
  attr.DblValue = attr.Which == symBorder ? 1 : 0;
  if (LCh == u'=' && !tagCut()) {
    readChar();
    skipBlanks();
    if (LCh == u'"' || LCh == u'\'') {
      if (!tagCut()) getQuotedValue(attr);
    } else if (!tagCut() && !getNumberLikeValue(attr)) {
      while (LCh != 0 && LCh != 9 && LCh != 13 && LCh != 32 && LCh != u'>' && !tagCut()) {
        if (LCh == u'&' && !FirstPass) {
          appendEntity(attr.Value, CurrentCodePage());
          continue;
        }
        attr.Value += LCh;
        readChar();
      }
    }
  }
  if (FirstPass) return true;
  if (attr.Which == symID && !attr.Value.empty() && OnIdAttribute) {
    followSource();
    OnIdAttribute(attr.Value, SIndex);
  }
  attr.CodePage = CurrentCodePage();
  return true;
}

void THtmlTokenizer::getQuotedValue(TTokenAttribute& attr) {
  String& value = attr.Value;
  const char16_t quote = LCh;
  readChar();
  while (LCh != quote && LCh != 0 && !tagCut()) {
    if (LCh == u'\r') {
      if (attr.Which == symTitle || attr.Which == symAlt) value += u"\r\n";
      readChar();
    } else if (LCh == u'&' && !FirstPass) {
      appendEntity(value, CurrentCodePage());
    } else {
      value += LCh;
      readRun([quote](char16_t c) { return c >= u' ' && c != quote && c != u'<' && c != u'&'; },
              FirstPass ? nullptr : &value);
      readChar();
    }
  }
  if (LCh == quote && !tagCut()) readChar();
  if (!FirstPass) setQuotedNumber(attr);
}

void THtmlTokenizer::setQuotedNumber(TTokenAttribute& attr) {
  // Only a value that starts (after blanks) like a number is read as one.
  const String& value = attr.Value;
  size_t first = 0;
  while (first < value.size() && value[first] <= u' ') ++first;
  if (first < value.size()) {
    const char16_t c = value[first];
    if (c == u'+' || c == u'-' || c == u'.' || isDigit(c)) attr.DblValue = leadingNumber(value);
  }
}

double THtmlTokenizer::plainNumber(const String& value) {
  double d = 0;
  return integerValue(value, d) || tryStrToFloat(value, d) ? roundedNumber(d) : 0;
}

bool THtmlTokenizer::getNumberLikeValue(TTokenAttribute& attr) {
  if (!(LCh == u'+' || LCh == u'-' || isDigit(LCh))) return false;
  String& value = attr.Value;
  value += LCh;
  readChar();
  while (LCh != 0 && LCh != 9 && LCh != 13 && LCh != 32 && LCh != u'%' && LCh != u'>' && !tagCut()) {
    if (LCh == u'&' && !FirstPass) {
      appendEntity(value, CurrentCodePage());
      continue;
    }
    value += LCh;
    readChar();
  }
  skipBlanks();
  if (!FirstPass) attr.DblValue = plainNumber(value);
  if (LCh == u'%' && !tagCut()) {
    value += u'%';
    readChar();
  }
  return true;
}

void THtmlTokenizer::NextScriptSymbol() {
  TFollowOnExit follow{*this};
  Token.Clear();
  if (LCh == 0 || RawContentCut()) {
    Sy = symEndOfDoc;
    return;
  }
  if (LCh == u'\r') {
    Sy = symLineEnd;
    readChar();
    return;
  }
  if (LCh == u'<') {
    const int index = SIndex;
    String chunk = u"<";
    readChar();
    if (LCh != u'/' && !isAsciiLetter(LCh)) {
      Sy = symText;
      Token.Add(u'<', index);
      return;
    }
    while ((LCh == u'/' || isAsciiLetter(LCh)) && !RawContentCut()) {
      chunk += LCh;
      readChar();
    }
    Sy = sameNoCase(chunk, u"</script") ? symScriptEnd : symUnknownTag;
    for (int i = 0; i < 6 && LCh != 0 && LCh != u'>' && !RawContentCut(); ++i) {
      chunk += (LCh == u'\t' || LCh == u'\r') ? u' ' : LCh;
      readChar();
    }
    if (LCh == u'>' && !RawContentCut()) {
      chunk += LCh;
      if (Sy == symScriptEnd) InScript = false;
      readChar();
    }
    Token.AddString(chunk, index);
    return;
  }
  Sy = symText;
  while (LCh != 0 && LCh != u'\r' && LCh != u'<' && !RawContentCut()) {
    Token.Add(LCh, SIndex);
    readChar();
  }
}

void THtmlTokenizer::NextTextAreaSymbol() {
  TFollowOnExit follow{*this};
  Token.Clear();
  if (LCh == 0 || RawContentCut()) {
    Sy = symEndOfDoc;
    return;
  }
  if (LCh == u'\r') {
    Sy = symLineEnd;
    readChar();
    return;
  }
  const int index = SIndex;
  if (LCh == u'<') {
    String chunk;
    do {
      chunk += LCh;
      readChar();
    } while (LCh != 0 && LCh != u'\t' && LCh != u'\r' && LCh != u' ' && LCh != u'>' && !RawContentCut());
    Sy = sameNoCase(chunk, u"</textarea") ? symTextAreaEnd : symUnknownTag;
    Token.AddString(chunk, index);
    return;
  }
  if (LCh == u'&') {
    Sy = symUnknownTag;
    FEntityText.clear();
    appendEntity(FEntityText, CurrentCodePage());
    Token.AddString(FEntityText, index);
    return;
  }
  Sy = symText;
  while (Token.Count() < 100 && LCh != 0 && LCh != u'\r' && LCh != u'&' && LCh != u'<' && !RawContentCut()) {
    Token.Add(LCh, SIndex);
    readChar();
  }
  if (Token.Count() == 0) {
    Sy = symOtherChar;
    Token.Add(LCh, SIndex);
    readChar();
  }
}
