#pragma once
// The life of a viewer and its document as seen by whoever raises one of
// their events.
//
// Any handler may free the viewer (and with it the document, the page's
// controls and pictures), load another page or clear the history. The one
// rule of the HTML area: every event of the viewer, its document and the
// page's form controls is raised through htRaiseEvent, which takes a token
// before the call and answers afterwards; the caller returns at once when
// the viewer is gone (touching no member of anything it held), and goes on
// with what it found before the call only while the page is the same.
//
// The token reads nothing but a record that outlives the viewer and the
// document. While any token lives, what the raisers on the stack still use
// (the document, its source, the paint panel) is kept by the record: the
// viewer's destructor hands it over, and it is freed once the last token
// has gone and the message being handled is done.
//
// Code deep in a parse, a layout or a print (the parser, the document's
// pictures, panels and scripts) cannot return to its own caller untouched:
// it throws EhtViewerGone, which the viewer's operation that started the
// work catches, with a token of its own, before it returns.
#include <cstdint>
#include <memory>
#include <utility>

struct ThtLife {
  // Cleared by the destructor of the viewer, or of a document without one.
  bool Alive = true;
  // Counts the pages shown (each clearing of the document) and the changes
  // of the viewer's history.
  std::int32_t Page = 0;
  std::int32_t History = 0;
  // Tokens alive, and what the raisers still on the stack use once the
  // owner has gone (freed after the last token).
  int Tokens = 0;
  std::shared_ptr<void> Kept;
};

// Frees what a gone owner's raisers used once the message being handled
// is done (the toolkit may still be delivering it to one of the page's
// controls); at once where no message loop runs.
void htFreeLater(std::shared_ptr<void> Kept);

// Unwinds a parse, a layout or a print whose viewer a handler freed. It is
// no std::exception, so no handler on the way catches it as a failure.
struct EhtViewerGone {};

class ThtEventToken {
public:
  ThtEventToken() = default;
  explicit ThtEventToken(std::shared_ptr<ThtLife> Life) : FLife(std::move(Life)) { take(); }
  ThtEventToken(const ThtEventToken& O) : FLife(O.FLife), FPage(O.FPage), FHistory(O.FHistory) {
    if (FLife) ++FLife->Tokens;
  }
  ThtEventToken& operator=(const ThtEventToken& O) {
    if (this != &O) {
      ThtEventToken copy(O);
      swap(copy);
    }
    return *this;
  }
  ~ThtEventToken() { release(); }

  // The viewer (or the document the token was taken on) is gone.
  bool Gone() const { return FLife && !FLife->Alive; }
  // Still there, with the page that was shown when the token was taken.
  bool PageKept() const { return !Gone() && (!FLife || FLife->Page == FPage); }
  bool HistoryKept() const { return !Gone() && (!FLife || FLife->History == FHistory); }
  // Throws EhtViewerGone when the viewer is gone.
  void UnwindIfGone() const {
    if (Gone()) throw EhtViewerGone{};
  }

private:
  void take() {
    if (!FLife) return;
    ++FLife->Tokens;
    FPage = FLife->Page;
    FHistory = FLife->History;
  }
  void release() {
    if (!FLife) return;
    if (--FLife->Tokens == 0 && !FLife->Alive && FLife->Kept) htFreeLater(std::move(FLife->Kept));
    FLife.reset();
  }
  void swap(ThtEventToken& O) {
    std::swap(FLife, O.FLife);
    std::swap(FPage, O.FPage);
    std::swap(FHistory, O.FHistory);
  }
  std::shared_ptr<ThtLife> FLife;
  std::int32_t FPage = 0;
  std::int32_t FHistory = 0;
};

// Raises one event: the handler is called through a copy (it may be
// replaced, or freed with its owner, while it runs), after the token is
// taken. The answer tells whether the owner lives and the page is kept.
// An owner on its way out (the toolkit moves the focus, sizes or paints
// while its windows go) raises nothing.
template <class Handler, class... Args>
[[nodiscard]] ThtEventToken htRaiseEvent(const std::shared_ptr<ThtLife>& Life, const Handler& H, Args&&... A) {
  ThtEventToken token(Life);
  if (H && !token.Gone()) {
    const Handler handler = H;
    handler(std::forward<Args>(A)...);
  }
  return token;
}

// Gives a control of the viewer (the viewer itself, a link's tab stop, a
// form control) the keyboard focus as the control's own SetFocus does, but
// watched between the steps: the focus leaves the control that holds it
// (its exit, blur and change handlers run) and then enters this one (its
// enter and focus handlers), and any of them may show another page or free
// the viewer. True while the page Watch was taken on is kept; the control
// is touched no more after a false.
class TWinControl;
[[nodiscard]] bool htSetFocus(TWinControl* Control, const ThtEventToken& Watch);

// Runs work that raises events from deep inside (a load, a layout, a
// print). False when a handler freed the viewer: the work has then ended
// (unwound with EhtViewerGone where it could not return), a failure it
// met on the way is dropped with the viewer, and the caller returns at
// once. A failure while the viewer lives passes on.
template <class Work>
[[nodiscard]] bool htRunWatched(const std::shared_ptr<ThtLife>& Life, Work&& W) {
  const ThtEventToken token(Life);
  try {
    W();
  } catch (...) {
    if (token.Gone()) return false;
    throw;
  }
  return !token.Gone();
}
