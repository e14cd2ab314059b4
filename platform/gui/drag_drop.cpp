// Data objects over Qt's drag and drop and clipboard: a data object of
// ours travels as mime data whose formats are rendered when someone asks
// (this program or another, through the X11 drag and selection protocols);
// mime data that comes from elsewhere is read through a data object.
#include <QApplication>
#include <QClipboard>
#include <QDrag>
#include <QDragEnterEvent>
#include <QDragLeaveEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QImage>
#include <QPixmap>
#include <QPointer>
#include <QWidget>

#include <algorithm>
#include <map>

#include "platform/gui/clipboard.h"
#include "platform/gui/drag_image.h"
#include "platform/gui/forms.h"
#include "platform/gui/gui_private.h"
#include "platform/gui/ole.h"
#include "platform/gui/testing.h"

namespace {

UINT htmlFormat() { return RegisterClipboardFormat(u"HTML Format"); }
bool isTextFormat(UINT f) { return f == CF_UNICODETEXT || f == CF_TEXT || f == CF_OEMTEXT; }
bool isPlainTextMime(const QString& m) { return m.startsWith(QLatin1String("text/plain")); }

// The mime types one format travels under.
QStringList mimesOf(UINT format) {
  if (isTextFormat(format)) return {QStringLiteral("text/plain")};
  QStringList r{ClipboardMimeOf(format)};
  if (format == htmlFormat()) r << QStringLiteral("text/html");
  return r;
}

// A failure while our data was rendered for a reader: the reader (maybe
// another program, waiting for its answer) gets no data at once, and the
// user hears of the failure from the application's handler once the loop
// runs again. A reader asks again in other forms (plain text in two
// names): the failures that come while one is on its way are the same one.
bool gRenderFailureQueued = false;
void reportRenderFailure(std::exception_ptr failure) {
  if (!failure || gRenderFailureQueued || !QCoreApplication::instance()) return;
  gRenderFailureQueued = true;
  QMetaObject::invokeMethod(
      QCoreApplication::instance(),
      [failure] {
        gRenderFailureQueued = false;
        try {
          std::rethrow_exception(failure);
        } catch (...) {
          if (Application) Application->HandleException(nullptr);
        }
      },
      Qt::QueuedConnection);
}

bool fetch(IDataObject& object, UINT format, QByteArray& bytes) {
  TFormatEtc fe;
  fe.cfFormat = std::uint16_t(format);
  fe.tymed = TYMED_HGLOBAL;
  TStgMedium medium;
  std::exception_ptr failure;
  if (FAILED(FetchData(object, fe, medium, failure))) {
    reportRenderFailure(failure);
    return false;
  }
  RawByteString raw = MediumBytes(medium);
  ReleaseStgMedium(medium);
  bytes = QByteArray(raw.data(), qsizetype(raw.size()));
  return true;
}

bool offers(IDataObject& object, UINT format) {
  TFormatEtc fe;
  fe.cfFormat = std::uint16_t(format);
  return object.QueryGetData(fe) == S_OK;
}

// Text blocks end at their terminating zero.
QString textOf(const QByteArray& bytes, bool wide) {
  if (wide) {
    const auto* text = reinterpret_cast<const char16_t*>(bytes.constData());
    qsizetype n = 0;
    while (n < bytes.size() / 2 && text[n]) ++n;
    return QString::fromUtf16(text, n);
  }
  qsizetype z = bytes.indexOf('\0');
  return QString::fromUtf8(z >= 0 ? bytes.left(z) : bytes);
}

// Reads of our mime data under way (see ChangeClipboard).
int gMimeReads = 0;
void postWaitingChanges();
struct TMimeRead {
  TMimeRead() { ++gMimeReads; }
  ~TMimeRead() {
    // The changes asked for during the read are made once the outermost
    // one is over, not while it still runs (a modal loop inside it).
    if (--gMimeReads == 0) postWaitingChanges();
  }
  TMimeRead(const TMimeRead&) = delete;
  TMimeRead& operator=(const TMimeRead&) = delete;
};

// Mime data over one of our data objects.
class TOleMimeData : public QMimeData {
public:
  explicit TOleMimeData(std::shared_ptr<IDataObject> object) : Object(std::move(object)) {}
  ~TOleMimeData() override { TClipboardChange::Defer(Object); }
  std::shared_ptr<IDataObject> Object;

  QStringList formats() const override {
    QStringList result;
    try {
      for (const TFormatEtc& fe : DataObjectFormats(*Object))
        for (const QString& m : mimesOf(fe.cfFormat))
          if (!result.contains(m)) result << m;
    } catch (...) {
      // Exceptions never cross into the toolkit; no formats then.
    }
    return result;
  }
  bool hasFormat(const QString& mime) const override {
    if (isPlainTextMime(mime)) return formats().contains(QStringLiteral("text/plain"));
    return formats().contains(mime);
  }

protected:
  QVariant retrieveData(const QString& mime, QMetaType type) const override {
    // The rendering runs the owner's handlers; the data stays on the
    // clipboard until it is over.
    const TMimeRead read;
    try {
      QByteArray bytes;
      if (isPlainTextMime(mime)) {
        // One rendering: a failed one is not tried again in another form.
        const bool wide = offers(*Object, CF_UNICODETEXT);
        if (!fetch(*Object, wide ? CF_UNICODETEXT : CF_TEXT, bytes)) return {};
        const QString text = textOf(bytes, wide);
        if (type.id() == QMetaType::QString) return text;
        return text.toUtf8();
      }
      if (mime == QLatin1String("text/html")) {
        if (!fetch(*Object, htmlFormat(), bytes)) return {};
        QString html = QString::fromUtf8(ClipboardHtmlFragment(textOf(bytes, false).toUtf8()));
        if (type.id() == QMetaType::QString) return html;
        return html.toUtf8();
      }
      UINT format = ClipboardFormatOfMime(mime);
      if (!format || !fetch(*Object, format, bytes)) return {};
      return bytes;
    } catch (...) {
      // (A control freed by a handler at work is no failure: the
      // application's handler drops it.)
      reportRenderFailure(std::current_exception());
      return {};
    }
  }
};

// The formats of mime data from elsewhere.
TFormatEtcArray formatsOfMime(const QMimeData& data) {
  TFormatEtcArray result;
  auto add = [&](UINT f) {
    if (!f) return;
    if (std::any_of(result.begin(), result.end(), [&](const TFormatEtc& e) { return e.cfFormat == f; })) return;
    TFormatEtc fe;
    fe.cfFormat = std::uint16_t(f);
    result.push_back(fe);
  };
  for (const QString& m : data.formats()) {
    if (isPlainTextMime(m)) {
      add(CF_UNICODETEXT);
      add(CF_TEXT);
    } else if (m == QLatin1String("text/html")) {
      add(htmlFormat());
    } else {
      add(ClipboardFormatOfMime(m));
    }
  }
  return result;
}

// A read-only data object over mime data that came from elsewhere (a drag
// from another program, or the clipboard). Data from a drag is read while
// the drag lasts; the clipboard's is copied once.
class TMimeDataObject : public IDataObject {
public:
  explicit TMimeDataObject(const QMimeData* data) : FData(const_cast<QMimeData*>(data)) {}
  explicit TMimeDataObject(std::unique_ptr<QMimeData> owned) : FData(owned.get()), FOwned(std::move(owned)) {}

  HRESULT GetData(const TFormatEtc& FormatEtcIn, TStgMedium& Medium) override {
    HRESULT r = QueryGetData(FormatEtcIn);
    if (r != S_OK) return r;
    UINT f = FormatEtcIn.cfFormat;
    QByteArray bytes;
    if (f == CF_UNICODETEXT) {
      QString text = FData->text();
      bytes = QByteArray(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
      bytes.append(2, '\0');
    } else if (isTextFormat(f)) {
      bytes = FData->text().toUtf8();
      bytes.append('\0');
    } else {
      bytes = FData->data(ClipboardMimeOf(f));
      if (bytes.isEmpty() && f == htmlFormat()) bytes = FData->html().toUtf8();
    }
    Medium = TStgMedium();
    Medium.tymed = TYMED_HGLOBAL;
    Medium.hGlobal = GlobalFromBytes(bytes.constData(), std::size_t(bytes.size()));
    return Medium.hGlobal ? S_OK : E_OUTOFMEMORY;
  }
  HRESULT GetDataHere(const TFormatEtc&, TStgMedium&) override { return E_NOTIMPL; }
  HRESULT QueryGetData(const TFormatEtc& FormatEtc) override {
    if (!FData) return E_FAIL;
    if (!(FormatEtc.tymed & TYMED_HGLOBAL)) return DV_E_TYMED;
    for (const TFormatEtc& fe : formatsOfMime(*FData))
      if (fe.cfFormat == FormatEtc.cfFormat) return S_OK;
    return DV_E_FORMATETC;
  }
  HRESULT GetCanonicalFormatEtc(const TFormatEtc&, TFormatEtc&) override { return DATA_S_SAMEFORMATETC; }
  HRESULT SetData(const TFormatEtc&, TStgMedium&, bool) override { return E_NOTIMPL; }
  HRESULT EnumFormatEtc(std::uint32_t Direction, std::shared_ptr<IEnumFORMATETC>& Enum) override {
    Enum.reset();
    if (Direction != DATADIR_GET) return E_NOTIMPL;
    Enum = std::make_shared<TFormatEtcEnumerator>(FData ? formatsOfMime(*FData) : TFormatEtcArray());
    return S_OK;
  }
  HRESULT DAdvise(const TFormatEtc&, std::uint32_t, std::shared_ptr<IAdviseSink>, std::uint32_t&) override {
    return OLE_E_ADVISENOTSUPPORTED;
  }
  HRESULT DUnadvise(std::uint32_t) override { return OLE_E_ADVISENOTSUPPORTED; }
  HRESULT EnumDAdvise() override { return OLE_E_ADVISENOTSUPPORTED; }

private:
  QPointer<QMimeData> FData;
  std::unique_ptr<QMimeData> FOwned;
};

// Bumped whenever the clipboard gets new content.
std::uint64_t gClipboardGeneration = 0;
std::uint64_t gClipboardBytesFetched = 0;

std::uint64_t clipboardGeneration(QClipboard* board) {
  static bool watching = false;
  if (!watching) {
    watching = true;
    QObject::connect(board, &QClipboard::changed, board, [](QClipboard::Mode mode) {
      if (mode == QClipboard::Clipboard) ++gClipboardGeneration;
    });
  }
  return gClipboardGeneration;
}

// Another program's clipboard content, read a format at a time when it is
// asked for (another program may offer many formats and hundreds of
// megabytes; a paste reads only what it takes). What was read is kept, so
// that a format reads the same every time; once the clipboard has new
// content, nothing more is read from it (the old content is gone).
class TClipboardMime : public QMimeData {
public:
  TClipboardMime(QClipboard* board, const QMimeData* data)
      : FBoard(board), FGeneration(clipboardGeneration(board)), FFormats(data ? data->formats() : QStringList()) {}
  QStringList formats() const override { return FFormats; }
  bool hasFormat(const QString& mime) const override { return FFormats.contains(mime); }

protected:
  QVariant retrieveData(const QString& mime, QMetaType) const override {
    auto it = FFetched.find(mime);
    if (it != FFetched.end()) return it->second;
    if (!FFormats.contains(mime) || clipboardGeneration(FBoard) != FGeneration) return {};
    const QMimeData* data = FBoard->mimeData();
    if (!data) return {};
    QVariant value;
    if (isPlainTextMime(mime)) {
      const QString text = data->text();
      gClipboardBytesFetched += std::uint64_t(text.size()) * 2;
      value = text;
    } else if (mime == QLatin1String("text/html")) {
      const QString html = data->html();
      gClipboardBytesFetched += std::uint64_t(html.size()) * 2;
      value = html;
    } else {
      const QByteArray bytes = data->data(mime);
      gClipboardBytesFetched += std::uint64_t(bytes.size());
      value = bytes;
    }
    FFetched.emplace(mime, value);
    return value;
  }

private:
  QClipboard* FBoard;
  std::uint64_t FGeneration;
  QStringList FFormats;
  mutable std::map<QString, QVariant> FFetched;
};

std::shared_ptr<IDataObject> objectOf(const QMimeData* data) {
  if (!data) return nullptr;
  if (auto* own = dynamic_cast<const TOleMimeData*>(data)) return own->Object;
  return std::make_shared<TMimeDataObject>(data);
}

std::uint32_t keyStateOf(Qt::MouseButtons buttons, Qt::KeyboardModifiers mods) {
  std::uint32_t keys = 0;
  if (buttons & Qt::LeftButton) keys |= MK_LBUTTON;
  if (buttons & Qt::RightButton) keys |= MK_RBUTTON;
  if (buttons & Qt::MiddleButton) keys |= MK_MBUTTON;
  if (mods & Qt::ShiftModifier) keys |= MK_SHIFT;
  if (mods & Qt::ControlModifier) keys |= MK_CONTROL;
  if (mods & Qt::AltModifier) keys |= MK_ALT;
  return keys;
}

std::uint32_t effectsOf(Qt::DropActions actions) {
  std::uint32_t e = 0;
  if (actions & Qt::CopyAction) e |= DROPEFFECT_COPY;
  if (actions & Qt::MoveAction) e |= DROPEFFECT_MOVE;
  if (actions & Qt::LinkAction) e |= DROPEFFECT_LINK;
  return e;
}

Qt::DropAction actionOf(std::uint32_t effect) {
  if (effect & DROPEFFECT_MOVE) return Qt::MoveAction;
  if (effect & DROPEFFECT_COPY) return Qt::CopyAction;
  if (effect & DROPEFFECT_LINK) return Qt::LinkAction;
  return Qt::IgnoreAction;
}

Qt::DropActions actionsOf(std::uint32_t effects) {
  Qt::DropActions a;
  if (effects & DROPEFFECT_COPY) a |= Qt::CopyAction;
  if (effects & DROPEFFECT_MOVE) a |= Qt::MoveAction;
  if (effects & DROPEFFECT_LINK) a |= Qt::LinkAction;
  return a;
}

struct TRegisteredTarget {
  std::uint64_t Serial = 0;
  std::shared_ptr<IDropTarget> Target;
};
std::map<HWND, TRegisteredTarget>& targets() {
  static std::map<HWND, TRegisteredTarget> m;
  return m;
}

// The data object of the drag over our windows, from enter to leave or drop.
std::shared_ptr<IDataObject> gDropObject;
int gDragDepth = 0;

// Watches keys and buttons while a drag runs, so that the drop source can
// cancel it (for example when a second button goes down).
class TDragWatch : public QObject {
public:
  explicit TDragWatch(std::shared_ptr<IDropSource> source) : FSource(std::move(source)) {}

protected:
  bool eventFilter(QObject* watched, QEvent* e) override {
    switch (e->type()) {
      case QEvent::MouseButtonPress:
      case QEvent::MouseButtonRelease:
      case QEvent::KeyPress:
      case QEvent::KeyRelease:
        break;
      default:
        return QObject::eventFilter(watched, e);
    }
    bool escape = e->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(e)->key() == Qt::Key_Escape;
    Qt::MouseButtons buttons = QGuiApplication::mouseButtons();
    if (e->type() == QEvent::MouseButtonPress) buttons |= static_cast<QMouseEvent*>(e)->button();
    if (e->type() == QEvent::MouseButtonRelease) buttons &= ~static_cast<QMouseEvent*>(e)->button();
    try {
      if (FSource && FSource->QueryContinueDrag(escape, keyStateOf(buttons, QGuiApplication::keyboardModifiers())) ==
                         DRAGDROP_S_CANCEL)
        QDrag::cancel();
    } catch (...) {
      QDrag::cancel();
    }
    return QObject::eventFilter(watched, e);
  }

private:
  std::shared_ptr<IDropSource> FSource;
};

// Kept as an image: a pixmap cannot exist before the application does.
QImage gNextDragImage;
QPoint gNextDragHotSpot;

}  // namespace

TFormatEtcEnumerator::TFormatEtcEnumerator(TFormatEtcArray Formats) : FFormats(std::move(Formats)) {}

HRESULT TFormatEtcEnumerator::Next(std::uint32_t celt, TFormatEtc* rgelt, std::uint32_t* pceltFetched) {
  std::uint32_t fetched = 0;
  while (fetched < celt && FCurrentIndex < FFormats.size()) rgelt[fetched++] = FFormats[FCurrentIndex++];
  if (pceltFetched) *pceltFetched = fetched;
  return fetched == celt ? S_OK : S_FALSE;
}

HRESULT TFormatEtcEnumerator::Skip(std::uint32_t celt) {
  if (FCurrentIndex + celt >= FFormats.size()) return S_FALSE;
  FCurrentIndex += celt;
  return S_OK;
}

HRESULT TFormatEtcEnumerator::Reset() {
  FCurrentIndex = 0;
  return S_OK;
}

HRESULT TFormatEtcEnumerator::Clone(std::shared_ptr<IEnumFORMATETC>& Enum) {
  auto copy = std::make_shared<TFormatEtcEnumerator>(FFormats);
  copy->FCurrentIndex = FCurrentIndex;
  Enum = copy;
  return S_OK;
}

void SetDragSourceImage(TBitmap* Image, TPoint HotSpot) {
  if (!Image) {
    gNextDragImage = QImage();
    return;
  }
  gNextDragImage = ImageOfBitmap(*Image);
  gNextDragHotSpot = QPoint(HotSpot.x, HotSpot.y);
}

bool DragDropRunning() { return gDragDepth > 0; }

HRESULT DoDragDrop(const std::shared_ptr<IDataObject>& DataObject, const std::shared_ptr<IDropSource>& DropSource,
                   std::uint32_t OkEffects, std::uint32_t& Effect) {
  Effect = DROPEFFECT_NONE;
  if (!DataObject || !DropSource) return E_INVALIDARG;
  EnsureQtApplication();
  QObject* origin = QApplication::widgetAt(QCursor::pos());
  if (!origin) origin = QApplication::activeWindow();
  if (!origin) origin = qApp;
  auto* drag = new QDrag(origin);
  drag->setMimeData(new TOleMimeData(DataObject));
  if (!gNextDragImage.isNull()) {
    drag->setPixmap(QPixmap::fromImage(gNextDragImage));
    drag->setHotSpot(gNextDragHotSpot);
  }
  gNextDragImage = QImage();
  TDragWatch watch(DropSource);
  qApp->installEventFilter(&watch);
  ++gDragDepth;
  Qt::DropActions allowed = actionsOf(OkEffects);
  if (!allowed) allowed = Qt::CopyAction;
  Qt::DropAction done = drag->exec(allowed, (allowed & Qt::MoveAction) ? Qt::MoveAction : Qt::CopyAction);
  --gDragDepth;
  qApp->removeEventFilter(&watch);
  // The drag object is Qt's from here: the target of a drop into another
  // program may ask for the data after the loop ended.
  Effect = effectsOf(done);
  return done == Qt::IgnoreAction ? DRAGDROP_S_CANCEL : DRAGDROP_S_DROP;
}

HRESULT RegisterDragDrop(HWND Wnd, std::shared_ptr<IDropTarget> Target) {
  if (!IsWindow(Wnd) || !Wnd->Widget) return DRAGDROP_E_INVALIDHWND;
  if (!Target) return E_INVALIDARG;
  auto it = targets().find(Wnd);
  if (it != targets().end() && IsLiveWindow(Wnd, it->second.Serial)) return DRAGDROP_E_ALREADYREGISTERED;
  targets()[Wnd] = {Wnd->Serial, std::move(Target)};
  Wnd->Widget->setAcceptDrops(true);
  return S_OK;
}

HRESULT RevokeDragDrop(HWND Wnd) {
  auto it = targets().find(Wnd);
  if (it == targets().end()) return DRAGDROP_E_NOTREGISTERED;
  bool live = IsLiveWindow(Wnd, it->second.Serial);
  // The target may be freed by this: take it out of the map first. The
  // window goes on hearing drags as any control does.
  std::shared_ptr<IDropTarget> target = std::move(it->second.Target);
  targets().erase(it);
  return live ? S_OK : DRAGDROP_E_NOTREGISTERED;
}

std::shared_ptr<IDropTarget> DropTargetOf(HWND Wnd) {
  auto it = targets().find(Wnd);
  if (it == targets().end()) return nullptr;
  if (!IsLiveWindow(Wnd, it->second.Serial)) {
    targets().erase(it);
    return nullptr;
  }
  return it->second.Target;
}

bool HandleDropEvent(HWND wnd, QEvent* e) {
  std::shared_ptr<IDropTarget> target = DropTargetOf(wnd);
  if (!target || !wnd->Widget) return false;
  QWidget* widget = wnd->Widget;
  try {
    switch (e->type()) {
      case QEvent::DragEnter:
      case QEvent::DragMove:
      case QEvent::Drop: {
        auto* de = static_cast<QDropEvent*>(e);
        QPoint g = widget->mapToGlobal(de->position().toPoint());
        TPoint pt{g.x(), g.y()};
        std::uint32_t keys = keyStateOf(de->buttons(), de->modifiers());
        std::uint32_t effect = effectsOf(de->possibleActions());
        if (e->type() == QEvent::DragEnter) {
          gDropObject = objectOf(de->mimeData());
          target->DragEnter(gDropObject, keys, pt, effect);
          // Accepted whatever the answer, so that every move is reported;
          // the move right after decides what the drop may do.
          de->setDropAction(actionOf(effect & effectsOf(de->possibleActions())));
          de->accept();
          return true;
        }
        if (e->type() == QEvent::DragMove) {
          target->DragOver(keys, pt, effect);
        } else {
          std::shared_ptr<IDataObject> object = gDropObject ? gDropObject : objectOf(de->mimeData());
          gDropObject.reset();
          target->Drop(object, keys, pt, effect);
        }
        effect &= effectsOf(de->possibleActions());
        if (effect == DROPEFFECT_NONE) {
          de->ignore();
        } else {
          de->setDropAction(actionOf(effect));
          de->accept();
        }
        return true;
      }
      case QEvent::DragLeave:
        gDropObject.reset();
        target->DragLeave();
        e->accept();
        return true;
      default:
        return false;
    }
  } catch (...) {
    // A target's failure ends its part in this drag and is shown like any
    // other; nothing crosses into Qt.
    e->ignore();
    if (Application) Application->HandleException(nullptr);
    return true;
  }
}

// ---- the clipboard -----------------------------------------------------------------

namespace {
TClipboardChange* gClipboardChange = nullptr;

// A change of the clipboard asked for while our data was read; Carries is
// the data object it puts there, if any.
struct TWaitingChange {
  std::function<void()> Change;
  std::shared_ptr<IDataObject> Carries;
};
// Kept for the whole run (never freed): the data objects waiting here must
// not go in the static destruction, after the objects they reach.
std::vector<TWaitingChange>& waitingChanges() {
  static auto* waiting = new std::vector<TWaitingChange>;
  return *waiting;
}
bool gWaitingPosted = false;
// Changes of the clipboard made by this program so far: an emptying that
// waited clears only what was there when it was asked for.
std::uint64_t gClipboardChanges = 0;

void makeChange(const std::function<void()>& Change) {
  {
    const TClipboardChange change;
    Change();
  }
  ++gClipboardChanges;
}

void runWaitingChanges() {
  gWaitingPosted = false;
  std::vector<TWaitingChange>& waiting = waitingChanges();
  // One at a time, in the order asked: a change that the release of the
  // data dropped by one makes at once supersedes the rest (which it clears),
  // and a read that such a handler starts stops them until it is over.
  while (!waiting.empty() && gMimeReads == 0) {
    const TWaitingChange next = std::move(waiting.front());
    waiting.erase(waiting.begin());
    makeChange(next.Change);
  }
}

void postWaitingChanges() {
  if (gWaitingPosted || waitingChanges().empty()) return;
  QClipboard* board = QGuiApplication::clipboard();
  if (!board) return;
  gWaitingPosted = true;
  QMetaObject::invokeMethod(board, runWaitingChanges, Qt::QueuedConnection);
}
}  // namespace

TClipboardChange::TClipboardChange() : FOuter(gClipboardChange) { gClipboardChange = this; }

TClipboardChange::~TClipboardChange() {
  // What was dropped goes after this change is no longer the running one:
  // a change its release makes is a change of its own.
  gClipboardChange = FOuter;
  FDropped.clear();
}

bool ClipboardReadRunning() { return gMimeReads > 0; }

bool ChangeClipboard(const std::function<void()>& Change, std::shared_ptr<IDataObject> Carries) {
  if (gMimeReads > 0) {
    waitingChanges().push_back({Change, std::move(Carries)});
    return false;
  }
  // The last change asked for wins: one made now supersedes those still
  // waiting. What they carry goes after this change is made (its release
  // may run its owner's handlers).
  std::vector<TWaitingChange> superseded;
  superseded.swap(waitingChanges());
  makeChange(Change);
  return true;
}

bool WithdrawClipboard(QClipboard* Board) {
  const QMimeData* held = Board->mimeData();
  const std::uint64_t changes = gClipboardChanges;
  // A bracket open now would otherwise put back what it copied of it.
  ClipboardWithdrawn(held);
  auto withdraw = [Board, held, changes] {
    // Put there since (by this program or another): that stays.
    if (gClipboardChanges != changes || Board->mimeData() != held) return;
    Board->clear();
  };
  // The read that held changes back is over, but the loop has not made them
  // yet: they were asked for first and are made first, the withdrawal after
  // them (it never supersedes anything).
  if (gMimeReads == 0 && !waitingChanges().empty()) {
    waitingChanges().push_back({withdraw, {}});
    postWaitingChanges();
    return false;
  }
  return ChangeClipboard(withdraw);
}

bool ClearClipboard(QClipboard* Board) {
  // The last change asked for wins: what still waits would only be emptied
  // away again, so it is dropped now and the emptying removes what the
  // clipboard holds. What the dropped changes carry goes once the emptying
  // is asked for (its release may run its owner's handlers).
  std::vector<TWaitingChange> superseded;
  superseded.swap(waitingChanges());
  return WithdrawClipboard(Board);
}

bool SetClipboardMime(QClipboard* Board, QMimeData* Data) {
  // Held until the change is made; a change that never is frees it.
  auto held = std::make_shared<std::unique_ptr<QMimeData>>(Data);
  return ChangeClipboard([Board, held] { Board->setMimeData(held->release()); });
}

void OleDropWaitingClipboard(const std::function<bool(const IDataObject&)>& Which) {
  std::vector<TWaitingChange> dropped;
  std::vector<TWaitingChange>& waiting = waitingChanges();
  for (auto it = waiting.begin(); it != waiting.end();) {
    if (it->Carries && Which(*it->Carries)) {
      dropped.push_back(std::move(*it));
      it = waiting.erase(it);
    } else {
      ++it;
    }
  }
  // Released here, once the list is whole again.
}

bool TClipboardChange::Defer(std::shared_ptr<IDataObject>& Object) {
  if (!gClipboardChange || !Object) return false;
  gClipboardChange->FDropped.push_back(std::move(Object));
  return true;
}

std::uint64_t ClipboardBytesFetched() { return gClipboardBytesFetched; }

HRESULT OleSetClipboard(const std::shared_ptr<IDataObject>& DataObject) {
  EnsureQtApplication();
  QClipboard* board = QGuiApplication::clipboard();
  if (!board) return CLIPBRD_E_CANT_OPEN;
  if (!DataObject) {
    ClearClipboard(board);
    return S_OK;
  }
  ChangeClipboard([board, DataObject] { board->setMimeData(new TOleMimeData(DataObject)); }, DataObject);
  return S_OK;
}

HRESULT OleWithdrawClipboard() {
  EnsureQtApplication();
  QClipboard* board = QGuiApplication::clipboard();
  if (!board) return CLIPBRD_E_CANT_OPEN;
  WithdrawClipboard(board);
  return S_OK;
}

HRESULT OleGetClipboard(std::shared_ptr<IDataObject>& DataObject) {
  EnsureQtApplication();
  DataObject.reset();
  QClipboard* board = QGuiApplication::clipboard();
  if (!board) return CLIPBRD_E_CANT_OPEN;
  const QMimeData* data = board->mimeData();
  if (auto* own = dynamic_cast<const TOleMimeData*>(data)) {
    DataObject = own->Object;
    return S_OK;
  }
  DataObject = std::make_shared<TMimeDataObject>(std::make_unique<TClipboardMime>(board, data));
  return S_OK;
}

HRESULT OleFlushClipboard() {
  EnsureQtApplication();
  QClipboard* board = QGuiApplication::clipboard();
  if (!board) return CLIPBRD_E_CANT_OPEN;
  auto* own = dynamic_cast<const TOleMimeData*>(board->mimeData());
  if (!own) return S_OK;
  auto* plain = new QMimeData;
  for (const QString& f : own->formats()) {
    if (f == QLatin1String("text/plain"))
      plain->setText(own->text());
    else
      plain->setData(f, own->data(f));
  }
  SetClipboardMime(board, plain);
  return S_OK;
}

HRESULT OleIsCurrentClipboard(const std::shared_ptr<IDataObject>& DataObject) {
  if (!DataObject) return S_FALSE;
  EnsureQtApplication();
  QClipboard* board = QGuiApplication::clipboard();
  auto* own = board ? dynamic_cast<const TOleMimeData*>(board->mimeData()) : nullptr;
  return own && own->Object == DataObject ? S_OK : S_FALSE;
}
