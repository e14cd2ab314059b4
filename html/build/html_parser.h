#pragma once
// The document builder: reads an HTML (or plain-text) source through the
// tokeniser and builds the viewer's document through the model's
// constructors and adders, one reader per element kind, each stopping at a
// set of symbols that its callers widen with their own ends.
#include <bitset>
#include <functional>
#include <memory>
#include <vector>

#include "html/parse/html_tokenizer.h"
#include "html/parse/prop_stack.h"
#include "html/model/attributes.h"
#include "html/model/text_buffers.h"

class ThtDocument;
class TCellBasic;
class TSection;
class TBodyBlock;
class TBlock;
class ThtmlForm;
class TFormControlObj;
class TOptionsFormControlObj;
class TTextAreaFormControlObj;
class TStream;
class TPanelObj;
class TStringList;

using TSymbolSet = std::bitset<SymbolCount>;

using TIncludeType = TIncludeEvent;
using TSoundType = std::function<void(TObject* Sender, const String& SRC, int Loop, bool Terminate)>;
using TMetaType = std::function<void(TObject* Sender, const String& HttpEq, const String& Name, const String& Content)>;
using TLinkType = std::function<void(TObject* Sender, const String& Rel, const String& Rev, const String& Href)>;
// A linked style sheet: the stream to read it from (the giver keeps it).
using TGetStreamEvent = std::function<void(TObject* Sender, const String& SRC, TStream*& Stream)>;
using TUrlRequestEvent = std::function<void(TObject* Sender, const String& SRC, String& NewUrl)>;

class THtmlParser : public TObject {
public:
  // The buffer stays the caller's.
  explicit THtmlParser(TBuffer* ABuffer);
  ~THtmlParser() override;

  void ParseHtml(ThtDocument* ADocument, TLinkType AOnLink, TMetaType AMetaHandler,
                 TSoundType AOnSoundRequest, TIncludeType AOnInclude);
  void ParseText(ThtDocument* ADocument);
  String GetTitle() const;

  // What the viewer provides for linked style sheets and margins.
  TGetStreamEvent OnStreamRequest;
  TUrlRequestEvent OnDocumentUrlRequest;
  std::function<String(const String&)> ExpandName;
  // An OBJECT element: the viewer decides whether a panel shows it (its
  // content is then skipped) or its content is read as ordinary HTML.
  std::function<void(TObject* Sender, TPanelObj* Panel, const TStringList& Attributes,
                     const TStringList& Params, bool& WantPanel)>
      OnObjectTag;
  int MarginWidth = 10;
  int MarginHeight = 5;
  // Code page found by a META content type (the viewer takes it over).
  int CodePage = 0;
  bool HasCodePage = false;

  String Base;
  String BaseTarget;
  // Nesting limits. Every reader that reads its content through the
  // readers again (blocks, lists and their items, headings, tables, built
  // or not) counts towards MaxBlockDepth: deeper ones join the current
  // block, so that no page, however deep, nests the readers (and the model
  // they build, which layout and painting walk) further. Tables are built
  // only MaxTableDepth deep; deeper ones join the deepest cell.
  static constexpr int MaxBlockDepth = 256;
  static constexpr int MaxTableDepth = 10;

  // The property stack of the running parse.
  THtmlPropStack& PropStack() { return FPropStack; }

private:
  friend class THtmlTableReader;
  struct ParseGuard;
  // One more level of nesting for a reader, unless the bound is reached
  // (Entered is then false and nothing is counted).
  struct Nesting {
    explicit Nesting(int& Depth) : D(Depth), Entered(Depth < MaxBlockDepth) {
      if (Entered) ++D;
    }
    ~Nesting() {
      if (Entered) --D;
    }
    Nesting(const Nesting&) = delete;
    Nesting& operator=(const Nesting&) = delete;
    int& D;
    const bool Entered;
  };

  // Reader helpers.
  void next();
  // The end of a reader: the next symbol, except inside preformatted text,
  // whose reader goes on character by character.
  void advance() {
    if (!InPre) next();
  }
  THtmlSymbol Sy() const { return T.Sy; }
  void loadAttributes();
  void startParse(ThtDocument* ADocument);
  void endParse();
  bool push(const String& Tag, const String& Pseudo = String());
  void pushNoAttr(const String& Tag);
  TProperties* top() const { return FPropStack.Last(); }
  void popAProp(const String& Tag);
  bool findAttr(THtmlSymbol S, TAttribute*& A) const { return Attributes->Find(S, A); }
  String attrText(THtmlSymbol S) const;
  void addSection();
  void newSection();
  void ensureSection();
  // The current section, made now if it is still to be made.
  TSection* section();
  bool hasSection() const { return Section || SectionPending; }
  void fontRun();
  void inlineBox();
  void closeLink();
  void addBlock(std::unique_ptr<TBlock> B);
  void marginHandOver(TBlock* B);
  void setAlignProp(bool Paragraph);

  // Readers.
  void parseBody(const TSymbolSet& StopSet);
  void parseTitle();
  void parseBodyTag();
  void parseParagraph(const TSymbolSet& StopSet);
  void parseLineBreak(const TSymbolSet& StopSet);
  void parseBlock(THtmlSymbol S, const TSymbolSet& StopSet);
  void parseList(THtmlSymbol S, const TSymbolSet& StopSet);
  void parseListItem(bool Plain, char16_t IndexType, int LineCount, THtmlSymbol Item,
                     THtmlSymbol ListSy, const TSymbolSet& StopSet);
  void parseInline(const TSymbolSet& StopSet);
  void parseHeading(const TSymbolSet& StopSet);
  void parseFontTag(THtmlSymbol S, bool Pre);
  void parseMeta();
  void parseLinkTag();
  void parseBgSound();
  void parseStyle();
  void parseScript();
  void parseTextArea(TTextAreaFormControlObj* Ctl);
  void parseSelect(TOptionsFormControlObj* Ctl);
  void parseMap();
  void parseObject();
  void parsePre(const TSymbolSet& StopSet);
  void parseTable();
  void applyCharSet(const String& Text);
  // The buffer decodes the text ahead with the code page of the innermost
  // FONT CHARSET run still open, or with the page's own when none is
  // (inline: it runs per symbol, and most pages have no such run).
  void followCharSetRuns() {
    if (!FCharSetRuns.empty() || FInCharSetRun) switchCharSetRun();
  }
  void switchCharSetRun();

  TBuffer* Buffer;
  THtmlTokenizer T;
  THtmlPropStack FPropStack;
  int TitleStart = 0, TitleEnd = 0;
  // FONT CHARSET runs open on the property stack, innermost last: the
  // entry that carries each and the code page of its text.
  struct CharSetRun {
    int Level;
    const TProperties* Entry;
    int CodePage;
  };
  std::vector<CharSetRun> FCharSetRuns;
  bool FInCharSetRun = false;  // the buffer decodes with FRunCodePage
  int FRunCodePage = 0;
  std::unique_ptr<TAttributeList> Attributes;
  std::unique_ptr<TAttributeList> ParaAttributes;  // a P's own while empty ones after it collapse
  int BaseFontSize = 3;
  ThtDocument* Document = nullptr;
  TBodyBlock* BodyBlock = nullptr;
  std::unique_ptr<TSection> Section;  // the section being built
  bool SectionPending = false;        // a new section is to be made when content comes
  int SectionsHandedOver = 0;         // sections that left Section (added to a cell or dropped)
  TCellBasic* SectionCell = nullptr;  // the current cell
  std::unique_ptr<TUrlTarget> CurrentUrlTarget;
  int TableLevel = 0;
  bool LinkOpen = false;
  int ListLevel = 0;
  int BlockDepth = 0;
  ThtmlForm* CurrentForm = nullptr;
  bool InPre = false;
  TObject* CallingObject = nullptr;
  TLinkType LinkEvent;
  TMetaType MetaEvent;
  TSoundType SoundEvent;
  TIncludeType IncludeEvent;
};
