#pragma once
// Font runs of a text section: each run starts at a character index and
// holds the font up to the next run. A run of a hyperlink also carries the
// link record, the link's four font states and, for keyboard navigation,
// a hidden focusable control (one per link).
#include <array>
#include <cstdint>
#include <memory>
#include <unordered_map>

#include "html/parse/style_fonts.h"
#include "html/model/attributes.h"
#include "platform/gui/controls.h"

class TSection;
class ThtDocument;

// HTML font sizes 1..7 in points for the document's own default size.
// Fills the working tables FontConv and PreFontConv.
void SetFontSizes(int BaseSize);

// The hidden 1 x 1 control that gives a link its tab stop. It takes its
// place in the panel's tab order at once, but gets its window only when
// it is first focused (Tab onto the link): a page has many links, most
// never reached by Tab, and a window per link cost more than laying out
// the whole article.
class ThtTabControl : public TWinControl {
public:
  explicit ThtTabControl(TComponent* AOwner);
  void WndProc(TMessage& Message) override;
  // Joins Panel without making the window.
  void JoinPanel(TWinControl* Panel);

protected:
  void CreateWnd() override;

private:
  bool FJoining = false;
};

// One font object per distinct font of a document's text, shared by the
// runs that use it: most runs of a page use a handful of fonts.
class TRunFonts {
public:
  TRunFonts() = default;
  TRunFonts(const TRunFonts&) = delete;  // FRecent points into FFonts
  TRunFonts& operator=(const TRunFonts&) = delete;
  std::shared_ptr<TMyFont> Get(TProperties& Prop);
  // The four link states of an element; links with the same states share
  // one array (most links of a page look alike).
  std::shared_ptr<const TFontInfoArray> LinkStates(const TProperties& Prop);
  void Clear() {
    FRecent = {};
    FFonts.clear();
    FLastStates.reset();
  }

private:
  struct THash {
    size_t operator()(const TProperties::TFontChoice& choice) const;
  };
  using TFonts = std::unordered_map<TProperties::TFontChoice, std::shared_ptr<TMyFont>, THash>;
  TFonts FFonts;
  // The entries asked for last, newest first: text switches between a few
  // fonts (plain, bold, italic, link) again and again.
  std::array<TFonts::value_type*, 4> FRecent{};
  TFontInfoArray FScratch;  // filled for each link; its texts keep their room
  std::shared_ptr<const TFontInfoArray> FLastStates;
};

class TFontObjBase : public TObject {
public:
  TFontObjBase();

  // The run's link record, never null, for reading: one empty record is
  // shared by every run without a link record of its own (most runs), so
  // that a run of plain text costs no record.
  const TUrlTarget* UrlTarget;
  // Makes the run's record a copy of UT, or the shared empty one again.
  void CopyUrlTarget(const TUrlTarget& UT);
  void ClearUrlTarget();
  // The run's own record (made on first use), to change it.
  TUrlTarget* OwnUrlTarget();

private:
  std::unique_ptr<TUrlTarget> FOwnUrlTarget;
};

class TFontObj : public TFontObjBase {
public:
  TFontObj(TSection* ASection, std::unique_ptr<TMyFont> F, int Position);
  // A run with a font it shares with other runs.
  TFontObj(TSection* ASection, std::shared_ptr<TMyFont> F, int Position);
  // Copy for a copied section (printing): the link's normal state, no
  // font states, no tab control, no link record and no title.
  TFontObj(TSection* ASection, const TFontObj& T);
  ~TFontObj() override;

  void ReplaceFont(std::unique_ptr<TMyFont> F);
  void ReplaceFont(std::shared_ptr<TMyFont> F);
  void ConvertFont(const ThtFontInfo& FI);
  void FontChanged();
  int GetHeight(int& ADescent) const {
    ADescent = Descent();
    return FontHeight();
  }
  // The font's metrics: its height with the external leading, its cell
  // height, its widest character and its descent.
  int32_t FontHeight() const { return TheFont ? TheFont->tmHeight + TheFont->tmExternalLeading : 0; }
  int32_t tmHeight() const { return TheFont ? TheFont->tmHeight : 0; }
  int32_t tmMaxCharWidth() const { return TheFont ? TheFont->tmMaxCharWidth : 0; }
  int32_t Descent() const { return TheFont ? TheFont->tmDescent : 0; }
  // The link's four font states from the element's properties, and the
  // normal one applied (Prop nullptr: empty states).
  void SetLinkStates(const TProperties* Prop);
  void SetVisited(bool Value);
  void SetHover(bool Value);
  // Hover on every run of this link.
  void SetAllHovers(bool Value);
  const String& GetURL() const { return UrlTarget->URL; }
  void SetYValue(int Y);
  void CreateTabControl(int TabIndex);
  TMyFont* Font() const { return TheFont.get(); }

  TSection* Section = nullptr;
  // Shared with other runs unless the run owns it (see FSharedFont).
  std::shared_ptr<TMyFont> TheFont;
  std::shared_ptr<const TFontInfoArray> FIArray;  // shared with links that look alike
  std::unique_ptr<ThtTabControl> TabControl;
  int32_t YValue = 0;
  int32_t Pos = 0;
  int32_t Overhang = 0;  // italic text leans out by this much
  // Bookkeeping of the document's link list (kept by the document).
  int32_t LinkIndex = -1;
  bool InLinks = false;
  bool Visited = false;
  bool Hover = false;
  bool Active = false;
  TAlignmentType SScript = ANone;

private:
  // Set while TheFont is shared: the run copies it before changing it.
  bool FSharedFont = false;
  std::unique_ptr<String> FTitle;

public:
  // The tooltip text of the element the run belongs to; few runs have one,
  // so the text is held apart.
  const String& Title() const;
  void SetTitle(const String& Value);

  // Points the tab control's handlers at this run.
  void wireTabControl();

private:
  ThtDocument* document() const;
};

// A section's runs in ascending Pos; the first starts at 0.
class TFontList : public TFreeList<TFontObj> {
public:
  TFontList() = default;
  TFontList(TSection* ASection, const TFontList& T);
  TMyFont* GetFontAt(int Posn, int& OHang) const;
  TFontObj* GetFontObjAt(int Posn, int& Index) const;
  TFontObj* GetFontObjAt(int Posn) const {
    int index;
    return GetFontObjAt(Posn, index);
  }
  int GetFontCountAt(int Posn, int Leng) const;
  // After the character at N was removed from the section text.
  void Decrement(int N, ThtDocument* Document);
};
