// Clipboard over QClipboard; the viewer chain over its change signal.
#include <QApplication>
#include <QClipboard>
#include <QMimeData>

#include <map>
#include <mutex>

#include "platform/core/strings.h"
#include "platform/gui/clipboard.h"
#include "platform/gui/gui_private.h"

namespace {

std::mutex gFormatsLock;
std::map<String, UINT>& formatIds() {
  static std::map<String, UINT> m;
  return m;
}
std::map<UINT, String>& formatNames() {
  static std::map<UINT, String> m;
  return m;
}

String upper(const String& s) {
  String r;
  for (char16_t c : s) r += (c >= u'a' && c <= u'z') ? char16_t(c - 32) : c;
  return r;
}

const String kHtmlFormat = u"HTML Format";

// What a bracket took over at its Open: the clipboard's data then, and the
// formats copied from it that the bracket has not written since.
const QMimeData* gTakenFrom = nullptr;
QStringList gTaken;

void forgetTaken() {
  gTakenFrom = nullptr;
  gTaken.clear();
}

// The bracket writes a format of its own: it is no longer the one taken over.
void ownTaken(const QString& mime) {
  gTaken.removeIf([&](const QString& f) { return f == mime || (mime == QLatin1String("text/plain") && f.startsWith(mime)); });
}

}  // namespace

// Named formats travel under the MIME type other toolkits use for formats
// with a Windows name, so they are exchanged with programs that know them.
QString ClipboardMimeOf(UINT format) {
  if (format == CF_TEXT || format == CF_UNICODETEXT || format == CF_OEMTEXT)
    return QStringLiteral("text/plain");
  String name = GetClipboardFormatName(format);
  if (name.empty()) return QStringLiteral("application/x-tamrix-format-%1").arg(format);
  return QStringLiteral("application/x-qt-windows-mime;value=\"%1\"")
      .arg(QString::fromUtf16(name.data(), qsizetype(name.size())));
}

// The fragment an "HTML Format" record marks with StartFragment/EndFragment.
QByteArray ClipboardHtmlFragment(const QByteArray& record) {
  auto number = [&](const char* key) -> qsizetype {
    qsizetype i = record.indexOf(key);
    if (i < 0) return -1;
    i += qsizetype(strlen(key));
    qsizetype j = i;
    while (j < record.size() && record[j] >= '0' && record[j] <= '9') ++j;
    bool ok = false;
    qsizetype v = record.mid(i, j - i).toLongLong(&ok);
    return ok ? v : -1;
  };
  qsizetype a = number("StartFragment:"), b = number("EndFragment:");
  if (a < 0 || b < a || b > record.size()) return record;
  return record.mid(a, b - a);
}

UINT ClipboardFormatOfMime(const QString& f) {
  if (f == QLatin1String("text/plain")) return CF_UNICODETEXT;
  const QString prefix = QStringLiteral("application/x-qt-windows-mime;value=\"");
  if (f.startsWith(prefix) && f.endsWith(QLatin1Char('"'))) {
    QString name = f.mid(prefix.size(), f.size() - prefix.size() - 1);
    return RegisterClipboardFormat(String(reinterpret_cast<const char16_t*>(name.utf16()), size_t(name.size())));
  }
  const QString own = QStringLiteral("application/x-tamrix-format-");
  if (f.startsWith(own)) {
    bool ok = false;
    uint id = f.mid(own.size()).toUInt(&ok);
    if (ok && id > 0 && id <= 0xFFFF) return UINT(id);
  }
  return 0;
}

namespace {

QClipboard* board() {
  EnsureQtApplication();
  return QGuiApplication::clipboard();
}

HWND gViewer = nullptr;
std::uint64_t gViewerSerial = 0;
bool gWatching = false;
bool gDrawPending = false;

// One copy may change the clipboard several times in a row (emptied, then
// each format stored); the viewer hears of the whole burst once, when the
// loop next runs, as it would of one copy. Two copies are two bursts.
void watchClipboard() {
  if (gWatching) return;
  gWatching = true;
  QObject::connect(board(), &QClipboard::changed, board(), [](QClipboard::Mode mode) {
    if (mode != QClipboard::Clipboard || gDrawPending) return;
    gDrawPending = true;
    QMetaObject::invokeMethod(
        board(),
        [] {
          gDrawPending = false;
          if (gViewer && IsLiveWindow(gViewer, gViewerSerial)) SendMessage(gViewer, WM_DRAWCLIPBOARD, 0, 0);
        },
        Qt::QueuedConnection);
  });
}

QMimeData* pending(void* p) { return static_cast<QMimeData*>(p); }

}  // namespace

UINT RegisterClipboardFormat(const String& Name) {
  if (Name.empty()) return 0;
  std::lock_guard<std::mutex> lock(gFormatsLock);
  String key = upper(Name);
  auto it = formatIds().find(key);
  if (it != formatIds().end()) return it->second;
  UINT id = UINT(0xC000 + formatIds().size());
  if (id > 0xFFFF) return 0;
  formatIds()[key] = id;
  formatNames()[id] = Name;
  return id;
}

String GetClipboardFormatName(UINT Format) {
  std::lock_guard<std::mutex> lock(gFormatsLock);
  auto it = formatNames().find(Format);
  return it == formatNames().end() ? String() : it->second;
}

TClipboard* Clipboard() {
  static TClipboard* c = new TClipboard;
  return c;
}

void TClipboard::Open() {
  if (FOpenCount++ == 0) {
    // Start from what the clipboard holds, so that a bracket adds formats.
    auto* m = new QMimeData;
    forgetTaken();
    if (const QMimeData* cur = board()->mimeData()) {
      for (const QString& f : cur->formats()) m->setData(f, cur->data(f));
      gTakenFrom = cur;
      gTaken = m->formats();
    }
    FPending = m;
  }
}

void TClipboard::Close() {
  if (FOpenCount == 0) return;
  if (--FOpenCount > 0) return;
  QMimeData* m = pending(FPending);
  FPending = nullptr;
  forgetTaken();
  SetClipboardMime(board(), m);
}

void TClipboard::Clear() {
  if (FOpenCount > 0) {
    delete pending(FPending);
    FPending = new QMimeData;
    forgetTaken();
    return;
  }
  ClearClipboard(board());
}

String TClipboard::AsText() {
  const QMimeData* m = FOpenCount > 0 ? pending(FPending) : board()->mimeData();
  if (!m || !m->hasText()) return {};
  QString t = m->text();
  return String(reinterpret_cast<const char16_t*>(t.utf16()), size_t(t.size()));
}

void TClipboard::SetAsText(const String& value) {
  QString t = QString::fromUtf16(value.data(), qsizetype(value.size()));
  if (FOpenCount > 0) {
    pending(FPending)->setText(t);
    ownTaken(QStringLiteral("text/plain"));
    return;
  }
  // Setting text replaces every other format, as on other systems.
  ChangeClipboard([t] { board()->setText(t); });
}

bool TClipboard::HasFormat(UINT Format) {
  const QMimeData* m = FOpenCount > 0 ? pending(FPending) : board()->mimeData();
  if (!m) return false;
  if (Format == CF_TEXT || Format == CF_UNICODETEXT || Format == CF_OEMTEXT) return m->hasText();
  if (m->hasFormat(ClipboardMimeOf(Format))) return true;
  // HTML from other programs counts as the named HTML format.
  return GetClipboardFormatName(Format) == kHtmlFormat && m->hasHtml();
}

RawByteString TClipboard::GetBuffer(UINT Format) {
  const QMimeData* m = FOpenCount > 0 ? pending(FPending) : board()->mimeData();
  if (!m) return {};
  if (Format == CF_UNICODETEXT) {
    QString t = m->text();
    return RawByteString(reinterpret_cast<const char*>(t.utf16()), size_t(t.size()) * 2);
  }
  if (Format == CF_TEXT || Format == CF_OEMTEXT) {
    QByteArray b = m->text().toUtf8();
    return RawByteString(b.constData(), size_t(b.size()));
  }
  QByteArray b = m->data(ClipboardMimeOf(Format));
  if (b.isEmpty() && GetClipboardFormatName(Format) == kHtmlFormat && m->hasHtml()) b = m->html().toUtf8();
  return RawByteString(b.constData(), size_t(b.size()));
}

void TClipboard::SetBuffer(UINT Format, const void* Data, std::size_t Size) {
  QByteArray bytes(static_cast<const char*>(Data), qsizetype(Size));
  bool bracket = FOpenCount > 0;
  if (!bracket) Open();
  QMimeData* m = pending(FPending);
  // Text blocks end at their terminating zero (callers store it, and often
  // a block larger than the text); the rest is not text.
  if (Format == CF_UNICODETEXT) {
    const auto* text = reinterpret_cast<const char16_t*>(bytes.constData());
    qsizetype n = 0;
    while (n < bytes.size() / 2 && text[n]) ++n;
    m->setText(QString::fromUtf16(text, n));
    ownTaken(QStringLiteral("text/plain"));
  } else if (Format == CF_TEXT || Format == CF_OEMTEXT) {
    if (qsizetype z = bytes.indexOf('\0'); z >= 0) bytes.truncate(z);
    m->setText(QString::fromUtf8(bytes));
    ownTaken(QStringLiteral("text/plain"));
  } else {
    if (GetClipboardFormatName(Format) == kHtmlFormat)
      if (qsizetype z = bytes.indexOf('\0'); z >= 0) bytes.truncate(z);
    m->setData(ClipboardMimeOf(Format), bytes);
    ownTaken(ClipboardMimeOf(Format));
    if (GetClipboardFormatName(Format) == kHtmlFormat) {
      m->setHtml(QString::fromUtf8(ClipboardHtmlFragment(bytes)));
      ownTaken(QStringLiteral("text/html"));
    }
  }
  if (!bracket) Close();
}

int TClipboard::FormatCount() {
  const QMimeData* m = FOpenCount > 0 ? pending(FPending) : board()->mimeData();
  return m ? int(m->formats().size()) : 0;
}

void ClipboardWithdrawn(const QMimeData* Held) {
  TClipboard* c = Clipboard();
  if (c->FOpenCount == 0 || !Held || Held != gTakenFrom) return;
  QMimeData* m = pending(c->FPending);
  for (const QString& f : gTaken) m->removeFormat(f);
  forgetTaken();
}

UINT TClipboard::Formats(int Index) {
  const QMimeData* m = FOpenCount > 0 ? pending(FPending) : board()->mimeData();
  if (!m || Index < 0 || Index >= m->formats().size()) return 0;
  return ClipboardFormatOfMime(m->formats()[Index]);
}

HWND SetClipboardViewer(HWND Wnd) {
  if (!IsWindow(Wnd)) return nullptr;
  watchClipboard();
  HWND previous = gViewer && IsLiveWindow(gViewer, gViewerSerial) ? gViewer : nullptr;
  // A window that joins twice is not its own successor: a message passed on
  // to the next viewer would come back to it for ever.
  if (previous == Wnd) previous = nullptr;
  gViewer = Wnd;
  gViewerSerial = Wnd->Serial;
  SendMessage(Wnd, WM_DRAWCLIPBOARD, 0, 0);
  return previous;
}

bool ChangeClipboardChain(HWND Remove, HWND Next) {
  if (!Remove) return false;
  if (Next == Remove) Next = nullptr;
  if (Remove == gViewer) {
    gViewer = Next && IsWindow(Next) ? Next : nullptr;
    gViewerSerial = gViewer ? gViewer->Serial : 0;
    return true;
  }
  if (gViewer && IsLiveWindow(gViewer, gViewerSerial))
    SendMessage(gViewer, WM_CHANGECBCHAIN, WPARAM(Remove), LPARAM(Next));
  return true;
}

HWND GetClipboardViewer() { return gViewer && IsLiveWindow(gViewer, gViewerSerial) ? gViewer : nullptr; }
