#include "html/parse/html_tokenizer.h"

#include <cmath>
#include <unordered_map>

#include "html/parse/html_common.h"
#include "html/parse/style_list.h"
#include "html/parse/style_text.h"
#include "platform/core/codepage.h"

using namespace std::string_view_literals;
using namespace styletext;

namespace {

inline bool isBlankChar(char16_t c) { return c == 9 || c == 10 || c == 12 || c == 13 || c == 32; }

// Attribute numbers are kept well inside the integer range (as CSS lengths
// are) so that sizes and spans taken from a page cannot overflow the
// arithmetic built on them: the layout adds several of them together and
// multiplies sizes by character widths.
double roundedNumber(double d) {
  if (std::isnan(d)) return 0;
  return std::nearbyint(std::clamp(d, -10000000.0, 10000000.0));
}

// Leading number of a quoted attribute value ("50%", "2*", "+1").
double leadingNumber(const String& value) {
  String t = trim(value);
  if (!t.empty() && (t.back() == u'%' || t.back() == u'*')) t.pop_back();
  if (t.empty()) return 0;
  const char16_t c = t[0];
  if (!(c == u'+' || c == u'-' || c == u'.' || isDigit(c))) return 0;
  const size_t n = numberPrefix(t, true);
  double d = 0;
  if (n > 0) tryStrToFloat(std::u16string_view(t).substr(0, n), d);
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
uint64_t packName(std::u16string_view upper) {
  if (upper.empty() || upper.size() > 10) return 0;
  uint64_t key = 0;
  for (char16_t c : upper) {
    unsigned code;
    if (c >= u'A' && c <= u'Z') code = c - u'A' + 1;
    else if (c >= u'0' && c <= u'9') code = c - u'0' + 27;
    else if (c == u'-') code = 37;
    else if (c == u'_') code = 38;
    else if (c == u'$') code = 39;
    else if (c == u':') code = 40;
    else if (c == u'.') code = 41;
    else if (c == u'/') code = 42;
    else return 0;
    key = key << 6 | code;
  }
  return key;
}

template <typename Entry, typename List>
const Entry* lookUpName(const std::unordered_map<uint64_t, const Entry*>& fast, const List& list,
                        std::u16string_view upper) {
  if (const uint64_t key = packName(upper)) {
    auto it = fast.find(key);
    return it == fast.end() ? nullptr : it->second;
  }
  return list.Lookup(upper);
}

const TResWord* findTag(std::u16string_view upper) {
  static const auto fast = [] {
    std::unordered_map<uint64_t, const TResWord*> m;
    for (const TResWord& t : TagTable())
      if (const uint64_t key = packName(t.Name)) m.emplace(key, &t);
    return m;
  }();
  return lookUpName(fast, TagNames(), upper);
}

const TSymbolRec* findAttribute(std::u16string_view upper) {
  static const auto fast = [] {
    std::unordered_map<uint64_t, const TSymbolRec*> m;
    for (const TSymbolRec& a : AttributeTable())
      if (const uint64_t key = packName(a.Name)) m.emplace(key, &a);
    return m;
  }();
  return lookUpName(fast, AttrNames(), upper);
}

}  // namespace

THtmlTokenizer::THtmlTokenizer(TBuffer* buffer) : FBuffer(buffer) {}

THtmlTokenizer::~THtmlTokenizer() = default;

int THtmlTokenizer::CurrentCodePage() const {
  if (PropStack && PropStack->Count() > 0) return PropStack->Last()->CodePage();
  return FBuffer->CodePage();
}

// ---------------------------------------------------------------- characters

char16_t THtmlTokenizer::resumeSuspended() {
  char16_t c = 0;
  while (c == 0 && !FIncluded.empty()) {
    FIncluded.pop_back();
    FBuffer = FSuspended.back();
    FSuspended.pop_back();
    c = FBuffer->NextChar();
  }
  return c;
}

void THtmlTokenizer::reportProgress() {
  if (FBuffer->Size() > 0) OnProgress(FBuffer->GetPosition(), FBuffer->Size());
}

char16_t THtmlTokenizer::PeekSourceChar() {
  char16_t c = FBuffer->PeekChar();
  while (c == 0 && !FIncluded.empty()) {
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

void THtmlTokenizer::skipCommentFrom(char16_t c) {
  while (c != 0) {
    if (c == u'-' && PeekSourceChar() == u'-') {
      c = readNormalisedChar();
      while (c == u'-') c = readNormalisedChar();
      while (c == u' ' || c == u'\r') c = readNormalisedChar();
      if (c == u'!') c = readNormalisedChar();
      if (c == u'>') return;
      continue;
    }
    c = readNormalisedChar();
  }
}

bool THtmlTokenizer::readIncludeIdentifier(String& ident) {
  ident.clear();
  if (!(isAsciiLetter(LCh) || LCh == u'_')) return false;
  while (isAsciiLetter(LCh) || isDigit(LCh) || LCh == u'_' || LCh == u'-') {
    ident += LCh;
    ReadChar();
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
  ReadChar();
  String command;
  readIncludeIdentifier(command);
  std::vector<String> params;
  for (;;) {
    SkipBlanks();
    String name;
    if (!readIncludeIdentifier(name)) break;
    SkipBlanks();
    String value;
    if (LCh == u'=') {
      ReadChar();
      SkipBlanks();
      if (LCh == u'"' || LCh == u'\'') {
        const char16_t quote = LCh;
        ReadChar();
        while (LCh != quote && LCh != 0) {
          if (LCh == u'&') {
            value += DecodeEntity(0);
            continue;
          }
          value += LCh == u'\r' ? u' ' : LCh;
          ReadChar();
        }
        if (LCh == quote) ReadChar();
      } else {
        while (LCh != 0 && !isBlankChar(LCh) && LCh != u'-' && LCh != u'>') {
          value += LCh;
          ReadChar();
        }
      }
    }
    params.push_back(name + u'=' + value);
  }
  // The rest of the directive is a comment; LCh is its first character.
  skipCommentFrom(LCh);
  std::unique_ptr<TBuffer> included;
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
  while (isBlankChar(LCh)) ReadChar();
}

// ---------------------------------------------------------------- references

String THtmlTokenizer::charRefToText(int32_t value, bool named, int codePage) const {
  if (value == 9) return u" ";
  // A reference to character 0 is no character at all; readers take a real
  // 0 as the end of the text, so it stands as the replacement character.
  if (value == 0) return String(1, char16_t(0xFFFD));
  if (value < 32) return u"?";
  if (!named && value >= 127 && value <= 159) {
    // Pages mean these as bytes of their code page; where the page is not
    // a single-byte one, the usual Western page is what they were written in.
    const int page = isSingleBytePage(codePage) ? codePage : 1252;
    const char byte = char(value);
    const String s = CodePageToUnicode(page, &byte, 1);
    if (s.size() == 1 && s[0] != 0xFFFD) return s;
    return String(1, char16_t(value));
  }
  // Beyond the basic plane: a surrogate pair, not the low 16 bits.
  char16_t units[2];
  const int n = CharRefToUnits(uint32_t(value), units);
  return String(units, size_t(n));
}

String THtmlTokenizer::DecodeEntity(int codePage) {
  if (LCh != u'&') return String();
  String raw = u"&";
  ReadChar();
  if (LCh == u'#') {
    raw += LCh;
    ReadChar();
    int base = 10;
    if (LCh == u'x' || LCh == u'X') {
      raw += LCh;
      base = 16;
      ReadChar();
    }
    uint32_t value = 0;
    int digits = 0;
    for (int d; (d = digitValue(LCh, base)) >= 0;) {
      value = AddCharRefDigit(value, unsigned(d), unsigned(base));
      raw += LCh;
      ++digits;
      ReadChar();
    }
    if (digits == 0) return raw;
    if (LCh == u';') ReadChar();
    return charRefToText(int32_t(value), false, codePage);
  }
  String name;
  while (name.size() < 11 && (isAsciiLetter(LCh) || isDigit(LCh))) {
    name += LCh;
    ReadChar();
  }
  raw += name;
  const TEntity* entity = EntityNames().Lookup(name);
  if (!entity) return raw;
  if (LCh == u';') {
    ReadChar();
    return charRefToText(entity->Value, true, codePage);
  }
  // Without ";" only the Latin-1 names count ("&copy 2000"); "&euro" may
  // be the start of a word.
  if (entity->Value <= 255) return charRefToText(entity->Value, true, codePage);
  return raw;
}

// ---------------------------------------------------------------- symbols

void THtmlTokenizer::NextSymbol() {
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
  while (LCh != u'<' && LCh >= 9) {
    if (LCh == 9 || LCh == 10 || LCh == 13 || LCh == 32) {
      if (!FirstPass) Token.Add(u' ', SIndex);
      ReadChar();
      while (isBlankChar(LCh)) ReadChar();
    } else if (LCh == u'&') {
      const int index = SIndex;
      const String text = DecodeEntity(CurrentCodePage());
      if (!FirstPass) Token.AddString(text, index);
    } else {
      if (!FirstPass) Token.Add(LCh, SIndex);
      ReadChar();
    }
  }
}

void THtmlTokenizer::getTag() {
  TagIndex = SIndex;
  ReadChar();
  bool endTag = false;
  if (LCh == u'/') {
    endTag = true;
    ReadChar();
  } else if (!(LCh == u'?' || isAsciiLetter(LCh))) {
    Sy = symText;
    Token.Add(u'<', TagIndex);
    return;
  }
  Sy = symUnknownTag;
  String name;
  for (;;) {
    if (isAsciiLetter(LCh) || LCh == u'_' || (LCh == u'/' && name.empty()) ||
        (isDigit(LCh) && name != u"H"sv && name != u"h"sv))
      name += LCh;
    else
      break;
    ReadChar();
  }
  for (char16_t& ch : name) ch = htUpperChar(ch);
  if (const TResWord* tag = findTag(name))
    Sy = endTag ? tag->EndSym : tag->Symbol;
  SkipBlanks();
  Value = 0;
  if ((Sy == symH || Sy == symHEnd) && LCh >= u'1' && LCh <= u'6') {
    Value = LCh - u'0';
    ReadChar();
  }
  Attributes.clear();
  while (getAttribute()) {
  }
  while (LCh != u'>' && LCh != 0) ReadChar();
  // Script and style content begins right after the ">", which stays
  // current for the reader of that content.
  if (LCh == u'>' && Sy != symScript && Sy != symStyle) ReadChar();
}

bool THtmlTokenizer::getAttribute() {
  SkipBlanks();
  TTokenAttribute attr;
  while (isAsciiLetter(LCh) || isDigit(LCh) || LCh == u'$' || LCh == u'-' || LCh == u'_' ||
         LCh == u':' || LCh == u'.') {
    attr.Name += htUpperChar(LCh);
    ReadChar();
  }
  if (attr.Name.empty()) return false;
  if (const TSymbolRec* rec = findAttribute(attr.Name)) attr.Which = rec->Value;
  SkipBlanks();
  attr.DblValue = attr.Which == symBorder ? 1 : 0;
  if (LCh == u'=') {
    ReadChar();
    SkipBlanks();
    if (LCh == u'"' || LCh == u'\'') {
      getQuotedValue(attr.Which, attr.Value, attr.DblValue);
    } else if (!getNumberLikeValue(attr.Value, attr.DblValue)) {
      while (LCh != 0 && LCh != 9 && LCh != 13 && LCh != 32 && LCh != u'>') {
        if (LCh == u'&') {
          attr.Value += DecodeEntity(CurrentCodePage());
          continue;
        }
        attr.Value += LCh;
        ReadChar();
      }
    }
  }
  if (attr.Which == symID && !attr.Value.empty() && !FirstPass && OnIdAttribute)
    OnIdAttribute(attr.Value, SIndex);
  attr.CodePage = CurrentCodePage();
  Attributes.push_back(std::move(attr));
  return true;
}

bool THtmlTokenizer::getQuotedValue(THtmlSymbol sym, String& value, double& number) {
  const char16_t quote = LCh;
  ReadChar();
  while (LCh != quote && LCh != 0) {
    if (LCh == u'\r') {
      if (sym == symTitle || sym == symAlt) value += u"\r\n";
      ReadChar();
    } else if (LCh == u'&') {
      value += DecodeEntity(CurrentCodePage());
    } else {
      value += LCh;
      ReadChar();
    }
  }
  if (LCh == quote) ReadChar();
  // Only a value that starts (after blanks) like a number is read as one.
  size_t first = 0;
  while (first < value.size() && value[first] <= u' ') ++first;
  if (first < value.size()) {
    const char16_t c = value[first];
    if (c == u'+' || c == u'-' || c == u'.' || isDigit(c)) number = leadingNumber(value);
  }
  return true;
}

bool THtmlTokenizer::getNumberLikeValue(String& value, double& number) {
  if (!(LCh == u'+' || LCh == u'-' || isDigit(LCh))) return false;
  value += LCh;
  ReadChar();
  while (LCh != 0 && LCh != 9 && LCh != 13 && LCh != 32 && LCh != u'%' && LCh != u'>') {
    if (LCh == u'&') {
      value += DecodeEntity(CurrentCodePage());
      continue;
    }
    value += LCh;
    ReadChar();
  }
  SkipBlanks();
  double d = 0;
  number = tryStrToFloat(value, d) ? roundedNumber(d) : 0;
  if (LCh == u'%') {
    value += u'%';
    ReadChar();
  }
  return true;
}

void THtmlTokenizer::NextScriptSymbol() {
  Token.Clear();
  if (LCh == 0) {
    Sy = symEndOfDoc;
    return;
  }
  if (LCh == u'\r') {
    Sy = symLineEnd;
    ReadChar();
    return;
  }
  if (LCh == u'<') {
    const int index = SIndex;
    String chunk = u"<";
    ReadChar();
    if (LCh != u'/' && !isAsciiLetter(LCh)) {
      Sy = symText;
      Token.Add(u'<', index);
      return;
    }
    while (LCh == u'/' || isAsciiLetter(LCh)) {
      chunk += LCh;
      ReadChar();
    }
    Sy = sameNoCase(chunk, u"</script") ? symScriptEnd : symUnknownTag;
    for (int i = 0; i < 6 && LCh != 0 && LCh != u'>'; ++i) {
      chunk += (LCh == u'\t' || LCh == u'\r') ? u' ' : LCh;
      ReadChar();
    }
    if (LCh == u'>') {
      chunk += LCh;
      if (Sy == symScriptEnd) InScript = false;
      ReadChar();
    }
    Token.AddString(chunk, index);
    return;
  }
  Sy = symText;
  while (LCh != 0 && LCh != u'\r' && LCh != u'<') {
    Token.Add(LCh, SIndex);
    ReadChar();
  }
}

void THtmlTokenizer::NextTextAreaSymbol() {
  Token.Clear();
  if (LCh == 0) {
    Sy = symEndOfDoc;
    return;
  }
  if (LCh == u'\r') {
    Sy = symLineEnd;
    ReadChar();
    return;
  }
  const int index = SIndex;
  if (LCh == u'<') {
    String chunk;
    do {
      chunk += LCh;
      ReadChar();
    } while (LCh != 0 && LCh != u'\t' && LCh != u'\r' && LCh != u' ' && LCh != u'>');
    Sy = sameNoCase(chunk, u"</textarea") ? symTextAreaEnd : symUnknownTag;
    Token.AddString(chunk, index);
    return;
  }
  if (LCh == u'&') {
    Sy = symUnknownTag;
    Token.AddString(DecodeEntity(CurrentCodePage()), index);
    return;
  }
  Sy = symText;
  while (Token.Count() < 100 && LCh != 0 && LCh != u'\r' && LCh != u'&' && LCh != u'<') {
    Token.Add(LCh, SIndex);
    ReadChar();
  }
  if (Token.Count() == 0) {
    Sy = symOtherChar;
    Token.Add(LCh, SIndex);
    ReadChar();
  }
}
