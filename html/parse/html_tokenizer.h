#pragma once
// The character and symbol reader under the HTML document builder: line
// ends and tabs normalised, comments, declarations and server blocks
// skipped, include directives expanded, tags with their attributes turned
// into symbols, character references decoded, and the raw content of
// scripts and text areas read in chunks.
#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "html/parse/html_symbols.h"
#include "html/parse/source_buffer.h"
#include "html/parse/style_list.h"
#include "platform/core/object.h"

// Text of the current symbol, each character with its position in the
// main source.
class TTokenText {
public:
  void Add(char16_t c, int index) {
    FChars.push_back(c);
    FIndexes.push_back(index);
  }
  void AddString(std::u16string_view s, int index) {
    FChars.append(s);
    FIndexes.insert(FIndexes.end(), s.size(), index);
  }
  void Append(const TTokenText& other) {
    FChars += other.FChars;
    FIndexes.insert(FIndexes.end(), other.FIndexes.begin(), other.FIndexes.end());
  }
  void Clear() {
    // A token of millions of characters does not keep its room for the
    // rest of the page.
    if (FChars.capacity() > 65536) {
      String().swap(FChars);
      std::vector<int>().swap(FIndexes);
    }
    FChars.clear();
    FIndexes.clear();
  }
  // The run of plain characters the buffer has next (see TBuffer::ReadRun).
  template <typename Keep>
  TBuffer::TRun AddRun(TBuffer& buffer, std::size_t max, Keep keep) {
    return buffer.ReadRun(max, keep, &FChars, &FIndexes);
  }
  const String& GetString() const { return FChars; }
  int Count() const { return int(FChars.size()); }
  int Index(int i) const { return FIndexes[size_t(i)]; }
  const std::vector<int>& Indexes() const { return FIndexes; }

private:
  String FChars;
  std::vector<int> FIndexes;
};

// One attribute of the current tag, as the document model receives it.
struct TTokenAttribute {
  THtmlSymbol Which = symUnknownAttr;
  int CodePage = 0;
  String Name;  // upper case
  String Value;
  double DblValue = 0;
};

// The attributes of the current tag. Entries are kept from tag to tag and
// refilled, so reading tags stops allocating once their strings have grown.
class TTokenAttributes {
public:
  TTokenAttributes() = default;
  TTokenAttributes(const TTokenAttributes& other) : FItems(other.begin(), other.end()), FCount(other.FCount) {}
  TTokenAttributes& operator=(const TTokenAttributes& other) {
    if (this == &other) return *this;
    if (FItems.size() < other.FCount) FItems.resize(other.FCount);
    std::copy(other.begin(), other.end(), FItems.begin());
    FCount = other.FCount;
    return *this;
  }

  const TTokenAttribute* begin() const { return FItems.data(); }
  const TTokenAttribute* end() const { return FItems.data() + FCount; }
  bool empty() const { return FCount == 0; }
  size_t size() const { return FCount; }
  const TTokenAttribute& operator[](size_t i) const { return FItems[i]; }
  void clear() { FCount = 0; }
  // A new last entry with empty strings (their room kept).
  TTokenAttribute& Add() {
    if (FCount == FItems.size()) FItems.emplace_back();
    TTokenAttribute& a = FItems[FCount++];
    a.Which = symUnknownAttr;
    a.CodePage = 0;
    a.Name.clear();
    a.Value.clear();
    a.DblValue = 0;
    return a;
  }
  void DropLast() { --FCount; }

private:
  std::vector<TTokenAttribute> FItems;
  size_t FCount = 0;
};

// An include directive: command, "name=value" parameters, and the
// document to read in its place (left empty for none).
using TIncludeEvent = std::function<void(const String& command, const std::vector<String>& params,
                                         std::unique_ptr<TBuffer>& included)>;

// Line ends read as one CR (the LF of a CR LF pair vanishes; an LF CR is
// two line ends, as everywhere else) and tabs as blanks, over the characters a reader takes from its
// source (its readSourceChar and PeekSourceChar), and the end of a comment.
// The tokeniser and its lean link-counting pass both read through this, so
// the two cannot part ways on either.
template <class Reader>
class TNormalisingReader {
protected:
  [[gnu::always_inline]] char16_t readNormalisedChar() {
    char16_t c = reader().readSourceChar();
    if (c == u'\n' && FLinePair == 1) c = reader().readSourceChar();
    if (c >= 32) {
      FLinePair = 0;
      return c;
    }
    if (c == u'\t') {
      c = u' ';
    } else if (c == u'\n') {
      c = u'\r';
      FLinePair = 0;
    } else if (c == u'\r') {
      FLinePair = 1;
    } else {
      FLinePair = 0;
    }
    return c;
  }
  // From c, the first character after "<!--": reads past the comment's end.
  void skipCommentFrom(char16_t c) {
    while (c != 0) {
      if (c == u'-' && reader().PeekSourceChar() == u'-') {
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

  uint8_t FLinePair = 0;  // 1 after CR

private:
  Reader& reader() { return static_cast<Reader&>(*this); }
};

class THtmlTokenizer : public TObject, private TNormalisingReader<THtmlTokenizer> {
  friend class TNormalisingReader<THtmlTokenizer>;

public:
  // The buffer stays the caller's.
  explicit THtmlTokenizer(TBuffer* buffer);
  ~THtmlTokenizer() override;

  // The next character, comments skipped (inline: it runs per character).
  [[gnu::always_inline]] void ReadChar() {
    readChar();
    followSource();
  }
  void SkipBlanks();
  // The links (A tags with an address) from the source position on, as the
  // first pass reads them (FirstPass, nothing included), counted until one
  // more than limit. The source position is left to the caller; most
  // sources are counted without reading them through this reader.
  int CountLinks(int limit);
  void NextSymbol();
  void NextScriptSymbol();
  void NextTextAreaSymbol();
  // Raw content (a title, a script, a text area) belongs to the part its
  // tag is in: an included part that leaves it open ends it there, and the
  // page the part was included in reads on as markup. Begin at the content
  // (its tag just read): from then on the text and raw readers stop at the
  // part's end (the raw readers with symEndOfDoc), and RawContentCut says
  // that it came.
  void BeginRawContent() { FRawDepth = FTagDepth; }
  void EndRawContent() { FRawDepth = 0; }
  bool RawContentCut() const { return int(FIncluded.size()) < FRawDepth; }
  // At "&": the text of the character reference (the text as written when
  // it is none).
  String DecodeEntity(int codePage);
  char16_t PeekSourceChar();

  // Code page used for character references: the current element's, or
  // the buffer's before any element exists.
  int CurrentCodePage() const;
  // The buffer decodes with another code page from the current character
  // on: the character is read again with it.
  void CodePageSwitched();

  // The most characters of text one token takes before the text goes on in
  // the next token (a few more when it ends in a run of plain characters).
  static constexpr int MaxTextToken = 16384;

  // Reader state the document builder reads and sets.
  char16_t LCh = 0;
  THtmlSymbol Sy = symEndOfDoc;
  int Value = 0;  // heading level after an "H" tag
  TTokenText Token;
  TTokenAttributes Attributes;
  int TagIndex = 0;     // source index where the current tag began
  int SIndex = -1;      // source index of the character being read
  bool InComment = false;
  bool InScript = false;  // raw content: "<" starts no comment
  // The pass that only counts links: no text is kept, and attributes only
  // for A.
  bool FirstPass = false;
  int CharCount = 0;
  // The property stack whose top gives the code page of references, and
  // which receives the source index as it moves.
  TPropStack* PropStack = nullptr;

  TIncludeEvent OnInclude;
  // Element ids as they are met (value, source index); not in the first pass.
  std::function<void(const String& id, int sourceIndex)> OnIdAttribute;
  // Progress through the source (bytes read, bytes in all); at most once
  // per 4096 characters and at the end.
  std::function<void(int position, int size)> OnProgress;

  TBuffer* Buffer() const { return FBuffer; }
  // Included documents deeper than this, or beyond this many in one
  // document, are not read: a page that includes itself must end.
  static constexpr int MaxIncludeDepth = 16;
  static constexpr int MaxIncludes = 1000;

private:
  // ReadChar without telling the property stack where the reader is: each
  // public reader tells it once before it returns or calls out, which is
  // all anyone can see.
  [[gnu::always_inline]] void readChar() {
    const char16_t c = readNormalisedChar();
    if (c != u'<' || InScript) {
      LCh = c;
      return;
    }
    // A "<" that starts no comment or server block (readCharSlow looks
    // again, and past the end of an included document).
    const char16_t next = FBuffer->PeekChar();
    if (next != u'!' && next != u'%' && next != 0) {
      LCh = c;
      return;
    }
    readCharSlow(c);
  }
  void followSource() {
    if (PropStack) PropStack->SIndex = SIndex;
  }
  struct TFollowOnExit {
    THtmlTokenizer& T;
    ~TFollowOnExit() { T.followSource(); }
  };
  void skipBlanks();
  // One character of the source; the end of an included document and
  // progress reports leave the inline path.
  [[gnu::always_inline]] char16_t readSourceChar() {
    if (FIncluded.empty()) SIndex = FBuffer->GetPosition();
    char16_t c = FBuffer->NextChar();
    if (c == 0 && !FIncluded.empty()) c = resumeSuspended();
    if (OnProgress && !FirstPass && ((++CharCount & 4095) == 0 || c == 0)) reportProgress();
    return c;
  }
  // After a character read by ReadChar, the run of plain ones that follow
  // it, taken from the buffer at once. keep(c) admits only characters that
  // ReadChar would pass through unchanged (no line end, tab, "<" or 0:
  // nothing below 32), so the run leaves LCh, the source index and the
  // line-end state as reading them one by one would; it stops before a
  // progress report is due and inside included documents. The characters
  // go to the token with their positions, or to text, or nowhere.
  template <typename Keep>
  void readRun(Keep keep, TTokenText& token) {
    if (FIncluded.empty()) endRun(token.AddRun(*FBuffer, std::min<std::size_t>(runLimit(), MaxTextToken), keep));
  }
  template <typename Keep>
  void readRun(Keep keep, String* text) {
    if (FIncluded.empty()) endRun(FBuffer->ReadRun(runLimit(), keep, text, nullptr));
  }
  std::size_t runLimit() const { return OnProgress && !FirstPass ? 4095 - (CharCount & 4095) : SIZE_MAX; }
  void endRun(const TBuffer::TRun& run) {
    if (run.Count == 0) return;
    if (OnProgress && !FirstPass) CharCount += int(run.Count);
    LCh = run.Last;
    SIndex = run.LastPosition;
    FLinePair = 0;
  }
  char16_t resumeSuspended();
  void reportProgress();
  void readCharSlow(char16_t c);
  void skipCommentBody();
  void readInclude();
  bool readIncludeIdentifier(String& ident);
  void getTag();
  // Reads an attribute into attr (Attributes' last entry, or FDiscarded);
  // false when there is none.
  bool getAttribute(TTokenAttribute& attr);
  bool getAsciiTag();
  template <int UnitSize>
  bool getAsciiTagIn(const std::uint8_t* units, std::size_t size);
  void getQuotedValue(TTokenAttribute& attr);
  static void setQuotedNumber(TTokenAttribute& attr);
  static double plainNumber(const String& value);
  bool getNumberLikeValue(TTokenAttribute& attr);
  // Appends the reference at "&" (or the text as written when it is none).
  void appendEntity(String& out, int codePage);
  void appendCharRef(String& out, int32_t value, bool named, int codePage) const;

  TBuffer* FBuffer;
  std::vector<TBuffer*> FSuspended;
  std::vector<std::unique_ptr<TBuffer>> FIncluded;
  int FIncludeCount = 0;
  int FReadingIncludes = 0;  // directives being read, one inside another's parameters
  // Included parts left so far, and that count when the current tag began:
  // a tag an included part leaves open ends with the part, so the page it
  // was included in is never read as the rest of that tag.
  int FPartsEnded = 0;
  int FTagParts = 0;
  int FTagDepth = 0;  // parts open (included) when the current tag began
  int FRawDepth = 0;  // the same for the raw content being read
  bool FInTag = false;
  bool tagCut() const { return FInTag && FPartsEnded != FTagParts; }
  TTokenAttribute FDiscarded;  // an attribute read past
  String FTagName;             // upper case, kept between tags
  String FEntityText;          // a decoded reference, kept between uses
};
