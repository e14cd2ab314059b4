#pragma once
// Reading CSS: style sheets (style elements and linked sheets) into a
// style list, and style attributes into one property set.
#include <vector>

#include "html/parse/source_buffer.h"
#include "html/parse/style_list.h"
#include "platform/core/exception.h"

// Malformed page structure the reader cannot go past.
TAMRIX_DECLARE_EXCEPTION(EParseError, Exception)

// The shorthand properties, expanded into their parts before storing.
enum TShortHand { MarginX, PaddingX, BorderWidthX, BorderX, BorderTX, BorderRX, BorderBX,
                  BorderLX, FontX, BackgroundX, ListStyleX, BorderColorX, BorderStyleX };
extern const char16_t* const ShortHands[13];

class THtmlStyleParser : public TObject {
public:
  THtmlStyleParser(TBuffer& buffer, const String& path) : FBuffer(buffer), FPath(path) {}
  char16_t LCh() const { return FLCh; }

protected:
  // Next character: white space as a blank, a comment as one blank.
  void ReadStyleChar();
  void SkipBlanks();
  bool ReadIdentifier(String& ident);
  // A declaration's value up to ";" (and in a sheet "}" or "<").
  String ReadValue(bool inSheet);
  // A declaration after shorthands are expanded.
  virtual void Process(const String& name, const String& value) = 0;
  // Name and trimmed value of one declaration: expand or process.
  void ProcessProperty(const String& name, const String& value, bool resolveUrls);
  // The value with its url() address made absolute against the base.
  String AddPath(const String& value) const;

  TBuffer& FBuffer;
  char16_t FLCh = u' ';
  String FPath;
  // The declaration being processed was marked "!important".
  bool FImportant = false;
  // Reading a style element inside a page: its end tag ends comments and
  // quoted values left open.
  bool FStopAtEndTag = false;
  // After a "<": whether "/style" follows (the read position is kept).
  bool endTagAhead();

private:
  void processShortHand(int index, const String& value, bool resolveUrls);
};

class THtmlStyleTagParser : public THtmlStyleParser {
public:
  THtmlStyleTagParser(TBuffer& buffer, const String& path, TStyleList& styles, bool fromLink)
      : THtmlStyleParser(buffer, path), FStyles(styles), FFromLink(fromLink) {
    FStopAtEndTag = !fromLink;
  }
  // Reads rules until the end of the data or, unless from a linked file, a
  // "<"; ch is the caller's current character on entry and the character
  // reading stopped at on exit.
  void ParseSheet(char16_t& ch);

protected:
  void Process(const String& name, const String& value) override;

private:
  void readRules(int depth, bool inBlock);
  void readAtRule(int depth);
  void readSelectors();
  void readDeclarations();
  void skipBlock();
  bool atStop() const;

  TStyleList& FStyles;
  bool FFromLink;
  std::vector<String> FSelectors;
};

class THtmlStyleAttrParser : public THtmlStyleParser {
public:
  THtmlStyleAttrParser(TBuffer& buffer, TProperties& props)
      : THtmlStyleParser(buffer, String()), FProps(props) {}
  void ParseAttribute();

protected:
  void Process(const String& name, const String& value) override;

private:
  TProperties& FProps;
};

void ParseStyleSheet(TStyleList& styles, char16_t& ch, TBuffer& buffer, const String& path,
                     bool fromLink);
void ParseStyleAttribute(TBuffer& buffer, TProperties& props);
void ParsePropertyString(const String& text, TProperties& props);
