// Selection in the viewer (mouse, double click, program), the selected text,
// find, and the copy to the clipboard as text and as "HTML Format".
#include <algorithm>
#include <vector>

#include "html/parse/source_buffer.h"
#include "html/model/document.h"
#include "html/viewer/html_clipboard.h"
#include "html/viewer/html_view.h"
#include "platform/core/strings.h"
#include "platform/gui/clipboard.h"

namespace {

// Letters and digits of every script make words; anything else separates
// them.
bool isWordChar(char16_t c) { return IsCharAlphaNumeric(c); }

}  // namespace

void THtmlView::selectionStart(int X, int Y, TShiftState Shift) {
  const int P = cursorPosAt(X, Y);
  FMouseDownPos = P;
  if (P < 0) return;
  // A shown caret moves with the click, so it is repainted too.
  if (FSectionList->SelEnd > FSectionList->SelStart || Shift.Contains(ssShift) || FSectionList->ShowDummyCaret)
    FPaintPanel->Invalidate();
  if (Shift.Contains(ssShift) && !FNoSelect) {
    FSectionList->SelStart = std::min(FCaretPos, P);
    FSectionList->SelEnd = std::max(FCaretPos, P);
  } else {
    FSectionList->SelStart = FSectionList->SelEnd = P;
    FCaretPos = P;
  }
}

void THtmlView::HTMLMouseExtend(int X, int Y) {
  if (!FViewerState.Contains(stSelecting) || FMouseDownPos < 0) return;
  Y = std::max(0, std::min(Y, Height()));
  const int P = cursorPosAt(X, Y);
  if (P < 0) return;
  if (!FNoSelect) {
    const std::int32_t s = std::min(FMouseDownPos, P), e = std::max(FMouseDownPos, P);
    if (s != FSectionList->SelStart || e != FSectionList->SelEnd) {
      FSectionList->SelStart = s;
      FSectionList->SelEnd = e;
      FPaintPanel->Invalidate();
    }
  }
  FCaretPos = P;
}

void THtmlView::HTMLMouseDblClk(TMessage& Message) {
  const int X = GET_X_LPARAM(Message.LParam), Y = GET_Y_LPARAM(Message.LParam);
  FSectionList->SetHoverControlPressed(true);
  if (FViewerState.Contains(stHotSpotAction) || FViewerState.Contains(stProcessing)) return;
  String word;
  int after = 0, before = 0;
  if (!FNoSelect && GetWordAt(X, Y, word, after, before)) {
    FSectionList->SelStart = before + 1;
    FSectionList->SelEnd = after;
    FCaretPos = before + 1;
    FPaintPanel->Invalidate();
  }
  (void)htRaiseEvent(FLife, OnMouseDouble, this, mbLeft, KeysToShiftState(WORD(Message.WParam)), X, Y);
}

bool THtmlView::GetWordAt(int X, int Y, String& Word, int& After, int& Before) {
  Word.clear();
  const int C = cursorPosAt(X, Y);
  if (C < 0) return false;
  FCaretPos = C;
  char16_t ch;
  TObject* item = nullptr;
  if (!FSectionList->GetChAtPos(C, ch, item)) return false;
  After = C;
  Before = C - 1;
  if (!isWordChar(ch)) return false;
  // Characters of another item count as a blank: a word never crosses items.
  auto wordAt = [&](int pos) {
    char16_t c;
    TObject* obj = nullptr;
    return FSectionList->GetChAtPos(pos, c, obj) && obj == item && isWordChar(c) ? c : char16_t(0);
  };
  String w(1, ch);
  for (char16_t c; (c = wordAt(After + 1)) != 0; ++After) w.push_back(c);
  ++After;
  String head;
  for (char16_t c; Before >= 0 && (c = wordAt(Before)) != 0; --Before) head.insert(head.begin(), c);
  Word = head + w;
  return true;
}

void THtmlView::SelectAll() {
  if (FNoSelect || FSectionList->Count() == 0) return;
  TSectionBase* last = FSectionList->Items(FSectionList->Count() - 1);
  FSectionList->SelStart = 0;
  FSectionList->SelEnd = last->StartPos + last->Length;
  Repaint();
}

void THtmlView::SetNoSelect(bool Value) {
  if (Value == FNoSelect) return;
  FNoSelect = Value;
  if (Value) {
    FSectionList->SelStart = FSectionList->SelEnd = -1;
    Repaint();
  }
}

std::int32_t THtmlView::SelStart() { return FSectionList->SelStart; }

std::int32_t THtmlView::SelLength() {
  return std::max(FSectionList->SelEnd - FSectionList->SelStart, 0);
}

void THtmlView::SetSelStart(std::int32_t Value) {
  FCaretPos = std::max(Value, 0);
  FSectionList->SelStart = FCaretPos;
  FSectionList->SelEnd = FCaretPos;
  FPaintPanel->Invalidate();
}

void THtmlView::SetSelLength(std::int32_t Value) {
  if (Value < 0) {
    FSectionList->SelEnd = FCaretPos;
    FSectionList->SelStart = std::max(FCaretPos + Value, 0);
  } else {
    FSectionList->SelStart = FCaretPos;
    FSectionList->SelEnd = FCaretPos + Value;
  }
  FPaintPanel->Invalidate();
}

String THtmlView::GetSelText() {
  const int L = FSectionList->SelectionLength();
  if (L < 1) return String();
  std::vector<char16_t> buf(std::size_t(L) + 1, 0);
  const int n = FSectionList->CopySelectionToBuffer(buf.data(), L + 1);
  // The count includes the terminating zero when one was written.
  String s(buf.data(), std::size_t(std::max(0, std::min(n, L))));
  const std::size_t zero = s.find(char16_t(0));
  if (zero != String::npos) s.erase(zero);
  return s;
}

void THtmlView::CopyToClipboard() {
  if (FSectionList->SelectionLength() <= 0) return;
  // The plain text format carries the plain selection; the HTML record
  // carries the fragment of the page's source.
  const String text = GetSelText();
  const String source = GetDocumentSource();
  // Source positions are byte offsets into the page's buffer; the record is
  // built from its decoded text, so they become character counts.
  auto sourceChars = [this](int bytePos) {
    if (bytePos < 0 || !FDocument) return -1;
    return int(FDocument->GetString(0, std::min(bytePos, FDocument->Size())).size());
  };
  const int startSrc = sourceChars(FSectionList->FindSourcePos(FSectionList->SelStart));
  const int endSrc = sourceChars(FSectionList->FindSourcePos(FSectionList->SelEnd));
  const THtmlClipboardRecord rec =
      BuildHtmlClipboardRecord(source, startSrc, endSrc, FCurrentFile, FFontSize, FFontName);
  const UINT format = RegisterClipboardFormat(u"HTML Format");
  TClipboard* cb = Clipboard();
  cb->Open();
  try {
    cb->Clear();
    UTF8String bytes = rec.Utf8;
    bytes.push_back('\0');
    cb->SetBuffer(format, bytes.data(), bytes.size());
    cb->SetAsText(text);
  } catch (...) {
    cb->Close();
    throw;
  }
  cb->Close();
}

bool THtmlView::Find(const String& S, bool MatchCase, bool Reverse) {
  if (S.empty()) return false;
  const int from = Reverse ? std::max(FCaretPos - 1, 0) : FCaretPos;
  const int pos = Reverse ? FSectionList->FindStringR(from, S, MatchCase)
                          : FSectionList->FindString(from, S, MatchCase);
  if (pos < 0) return false;
  FSectionList->SelStart = pos;
  FSectionList->SelEnd = pos + int(S.size());
  FCaretPos = Reverse ? pos : FSectionList->SelEnd;
  int x = 0, y = 0;
  if (FSectionList->CursorToXY(FPaintPanel->Canvas(), pos, x, y)) {
    const int V = FVScrollBar->Position();
    if (y < V || y > V + FPaintPanel->Height() - 30) SetVScrollPos(y - FPaintPanel->Height() / 2);
  }
  FPaintPanel->Invalidate();
  return true;
}
