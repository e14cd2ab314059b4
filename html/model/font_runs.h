#pragma once
// Font runs of a text section: each run starts at a character index and
// holds the font up to the next run. A run of a hyperlink also carries the
// link record, the link's four font states and, for keyboard navigation,
// a hidden focusable control (one per link).
#include <array>
#include <cstdint>
#include <memory>
#include <unordered_map>
#include <utility>

#include "html/model/object_pool.h"
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

// A font that text runs share, counted in the font itself so that a run
// holds it in one pointer (a page of many small cells has a run for each).
// Counted without atomics: a document's fonts live on the thread that
// builds, lays out and draws it.
class TRunFont : public TMyFont {
  friend class TFontRef;
  uint32_t FRefs = 0;
};

class TFontRef {
public:
  TFontRef() noexcept = default;
  explicit TFontRef(TRunFont* F) noexcept : FFont(F) {
    if (FFont) ++FFont->FRefs;
  }
  TFontRef(const TFontRef& Source) noexcept : TFontRef(Source.FFont) {}
  TFontRef(TFontRef&& Source) noexcept : FFont(std::exchange(Source.FFont, nullptr)) {}
  TFontRef& operator=(TFontRef Source) noexcept {
    std::swap(FFont, Source.FFont);
    return *this;
  }
  ~TFontRef() {
    if (FFont && --FFont->FRefs == 0) delete FFont;
  }
  // A new font of its own, a copy of Source.
  static TFontRef Copy(const TMyFont& Source) {
    TFontRef f(new TRunFont);
    f->Assign(Source);
    return f;
  }
  TRunFont* get() const { return FFont; }
  TRunFont* operator->() const { return FFont; }
  TRunFont& operator*() const { return *FFont; }
  explicit operator bool() const { return FFont != nullptr; }
  // Whether another holder shares the font.
  bool Shared() const { return FFont && FFont->FRefs > 1; }

private:
  TRunFont* FFont = nullptr;
};

// One font object per distinct font of a document's text, shared by the
// runs that use it: most runs of a page use a handful of fonts.
class TRunFonts {
public:
  TRunFonts() = default;
  TRunFonts(const TRunFonts&) = delete;  // FRecent points into FFonts
  TRunFonts& operator=(const TRunFonts&) = delete;
  TFontRef Get(TProperties& Prop);
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
  using TFonts = std::unordered_map<TProperties::TFontChoice, TFontRef, THash>;
  TFonts FFonts;
  // The entries asked for last, newest first: text switches between a few
  // fonts (plain, bold, italic, link) again and again.
  std::array<TFonts::value_type*, 4> FRecent{};
  TFontInfoArray FScratch;  // filled for each link; its texts keep their room
  std::shared_ptr<const TFontInfoArray> FLastStates;
};

class TFontObjBase : public TObject {
public:
  explicit TFontObjBase(TSection* ASection);
  TFontObjBase(const TFontObjBase&) = delete;
  TFontObjBase& operator=(const TFontObjBase&) = delete;
  ~TFontObjBase() override;

  // The section whose text the run belongs to.
  TSection* Section() const {
    const TLinkPart* p = partOrNull();
    return p ? p->Section : reinterpret_cast<TSection*>(FOwner);
  }

  // The run's link record, never null, for reading: one empty record is
  // shared by every run without a link record of its own (most runs), so
  // that a run of plain text costs no record.
  const TUrlTarget* UrlTarget() const {
    const TLinkPart* p = partOrNull();
    return p && p->OwnUrlTarget ? p->OwnUrlTarget.get() : noRecord();
  }
  // Makes the run's record a copy of UT, or the shared empty one again.
  void CopyUrlTarget(const TUrlTarget& UT);
  void ClearUrlTarget();
  // The run's own record (made on first use), to change it.
  TUrlTarget* OwnUrlTarget();

protected:
  // What only the runs of a link have (their record, font states, tab stop
  // and place in the document's link list), and a tooltip: made when the
  // first of them comes, as most runs of a page (those of a table's cells
  // above all) have none.
  struct TLinkPart {
    TSection* Section = nullptr;
    std::unique_ptr<TUrlTarget> OwnUrlTarget;
    std::shared_ptr<const TFontInfoArray> States;  // shared with links that look alike
    std::unique_ptr<ThtTabControl> TabControl;
    String Title;
    int32_t LinkIndex = -1;
    int32_t YValue = 0;
    bool InLinks = false;
    bool Visited = false;
    bool Hover = false;
    bool Active = false;
  };
  const TLinkPart& part() const;
  static const TUrlTarget* noRecord();
  TLinkPart& ownPart();

private:
  TLinkPart* partOrNull() const {
    return FOwner & 1 ? reinterpret_cast<TLinkPart*>(FOwner & ~uintptr_t(1)) : nullptr;
  }
  // The run's section, or its link part (marked by the low bit, free in
  // the address of either) that then holds the section: a page has a run
  // for each of its table's cells, and one word less for each.
  uintptr_t FOwner;
};

class TFontObj : public TFontObjBase {
public:
  HT_POOLED_OBJECT
  // A run with a font it shares with other runs.
  TFontObj(TSection* ASection, TFontRef F, int Position);
  // Copy for a copied section (printing): the link's normal state, no
  // font states, no tab control, no link record and no title.
  TFontObj(TSection* ASection, const TFontObj& T);
  ~TFontObj() override;

  void ReplaceFont(TFontRef F);
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
  const String& GetURL() const { return UrlTarget()->URL; }
  void SetYValue(int Y);
  void CreateTabControl(int TabIndex);
  TMyFont* Font() const { return TheFont.get(); }

  // Shared with other runs unless the run owns it (see FSharedFont).
  TFontRef TheFont;
  int32_t Pos = 0;
  TAlignmentType SScript = ANone;
  // Italic text leans out by this much.
  int32_t Overhang() const { return TheFont && TheFont->Style().Contains(fsItalic) ? TheFont->tmHeight / 10 : 0; }
  // Where the link is on the page, for the run that holds its tab stop (a
  // focused link is scrolled into view).
  int32_t YValue() const { return part().YValue; }

  // The link's four font states (shared with links that look alike), none
  // for a run outside a link.
  const std::shared_ptr<const TFontInfoArray>& LinkStates() const { return part().States; }
  void DropLinkStates();
  ThtTabControl* TabControl() const { return part().TabControl.get(); }
  // Drops the tab control (its tab stop left to the caller).
  void DropTabControl();
  // Takes over Other's tab control, which keeps its place in the tab order.
  void TakeTabControl(TFontObj& Other);
  // Bookkeeping of the document's link list (kept by the document).
  int32_t LinkIndex() const { return part().LinkIndex; }
  bool InLinks() const { return part().InLinks; }
  void SetLinkPlace(bool In, int32_t Index);
  bool Visited() const { return part().Visited; }
  bool Hover() const { return part().Hover; }
  bool Active() const { return part().Active; }

private:
  // Set while TheFont is shared: the run copies it before changing it.
  bool FSharedFont = false;
  void setActive(bool Value);

public:
  // The tooltip text of the element the run belongs to.
  const String& Title() const { return part().Title; }
  void SetTitle(const String& Value);

  // Points the tab control's handlers at this run.
  void wireTabControl();

private:
  ThtDocument* document() const;
};

// A section's runs in ascending Pos; the first starts at 0.
class TFontList : public TOwningList<TFontObj> {
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
