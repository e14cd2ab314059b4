// The application object (message loop, cheap idle pumping, exception
// reporting, hints), the screen, and cursors.
#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QCursor>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QImage>
#include <QLibraryInfo>
#include <QPointer>
#include <QTranslator>
#include <QPixmap>
#include <QScreen>
#include <QThread>
#include <QHelpEvent>
#include <QToolTip>
#include <QWidget>

#include <chrono>
#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>
#include <unistd.h>

#include "platform/core/strings.h"
#include "platform/gui/dialogs.h"
#include "platform/gui/forms.h"
#include "platform/gui/gui_private.h"

TApplication* Application = new TApplication(nullptr);
TScreen* Screen = new TScreen(nullptr);

namespace {

std::int64_t nowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// How long an idle ProcessMessages may go without really pumping.
constexpr std::int64_t kPumpIntervalNs = 1'000'000;

}  // namespace

void EnsureQtApplication() {
  if (QCoreApplication::instance()) return;
  // With no display at all, run offscreen rather than fail: the program and
  // its tests still create, size, paint and message every window.
  if (!std::getenv("QT_QPA_PLATFORM") && !std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY"))
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
  static int argc = 1;
  static char name[] = "tamrix";
  static char* argv[] = {name, nullptr};
  auto* app = new QApplication(argc, argv);
  app->setQuitOnLastWindowClosed(false);
  InstallHintTracking();
  InstallKeyTracking();
  InstallPaletteTracking();
  InstallAccessibility();
  // A title set before the first window applies from now on.
  if (Application && !Application->Title().empty()) Application->SetTitle(Application->Title());
}

bool IsHeadless() {
  if (!QCoreApplication::instance()) return true;
  QString p = QGuiApplication::platformName();
  return p == QLatin1String("offscreen") || p == QLatin1String("minimal");
}

// ---- cursors -----------------------------------------------------------------
struct TCursorHandle {
  QCursor Cursor;
  bool Shared = false;  // a standard shape: never freed
};

QCursor CursorFromHandle(HCURSOR h) { return h ? h->Cursor : QCursor(Qt::ArrowCursor); }

namespace {
HCURSOR gCurrentCursor = nullptr;
}

HCURSOR LoadStandardCursor(int Cursor) {
  // Shared for the whole run, freed with the process's other statics.
  static std::map<int, std::unique_ptr<TCursorHandle>> cache;
  EnsureQtApplication();
  auto it = cache.find(Cursor);
  if (it != cache.end()) return it->second.get();
  auto h = std::make_unique<TCursorHandle>(TCursorHandle{CursorShape(Cursor <= 0 ? Cursor : crArrow), true});
  return (cache[Cursor] = std::move(h)).get();
}

HCURSOR CreateCursorFromImage(const std::uint32_t* Pixels, int Width, int Height, int HotX, int HotY) {
  if (!Pixels || Width <= 0 || Height <= 0) return nullptr;
  EnsureQtApplication();
  QImage img(reinterpret_cast<const uchar*>(Pixels), Width, Height, Width * 4, QImage::Format_ARGB32);
  return new TCursorHandle{QCursor(QPixmap::fromImage(img.copy()), HotX, HotY), false};
}

bool DestroyCursor(HCURSOR Cursor) {
  if (!Cursor || Cursor->Shared) return false;
  if (gCurrentCursor == Cursor) gCurrentCursor = nullptr;
  delete Cursor;
  return true;
}

HCURSOR SetCursor(HCURSOR Cursor) {
  HCURSOR old = gCurrentCursor;
  gCurrentCursor = Cursor;
  QWidget* w = gCursorTarget;
  if (!w && QCoreApplication::instance()) w = QApplication::widgetAt(QCursor::pos());
  if (w) w->setCursor(CursorFromHandle(Cursor));
  return old;
}

HCURSOR GetCursor() { return gCurrentCursor; }

// ---- TApplication ------------------------------------------------------------
TApplication::TApplication(TComponent* AOwner) : TComponent(AOwner) {}

TApplication::~TApplication() {
  if (FHandle) DeallocateHWnd(FHandle);
}

void TApplication::Initialize() { EnsureQtApplication(); }

void TApplication::SetTitle(const String& value) {
  FTitle = value;
  if (QCoreApplication::instance())
    QGuiApplication::setApplicationDisplayName(QString::fromUtf16(value.data(), qsizetype(value.size())));
}

bool TApplication::SetToolkitLanguage(const String& Language) {
  EnsureQtApplication();
  // One translator for the application object's life, replaced on a change.
  static QPointer<QTranslator> installed;
  if (installed) {
    QCoreApplication::removeTranslator(installed);
    delete installed;
  }
  if (Language.empty()) return false;
  const QString name = QStringLiteral("qtbase_") + QString::fromUtf16(Language.data(), qsizetype(Language.size()));
  auto* translator = new QTranslator(QCoreApplication::instance());
  for (const QString& folder : {QLibraryInfo::path(QLibraryInfo::TranslationsPath),
                                QStringLiteral("/usr/share/qt6/translations")})
    if (translator->load(name, folder)) {
      QCoreApplication::installTranslator(translator);
      installed = translator;
      return true;
    }
  delete translator;
  return false;
}

String TApplication::ExeName() const {
  char buf[4096];
  ssize_t n = readlink("/proc/self/exe", buf, sizeof(buf) - 1);
  if (n <= 0) return {};
  buf[n] = 0;
  QString s = QString::fromUtf8(buf, n);
  return String(reinterpret_cast<const char16_t*>(s.utf16()), size_t(s.size()));
}

bool TApplication::Active() const {
  return QCoreApplication::instance() && QGuiApplication::applicationState() == Qt::ApplicationActive;
}

namespace {

// The windows of freed controls wait for the loop's top to be deleted (a
// handler of theirs may still be on the stack when the control goes). The
// toolkit deletes them only when its own loop runs them, which this loop
// does not: here, at the top of the program's loop, nothing of theirs is
// on the stack, and they go.
void giveBackFreedWindows() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

}  // namespace

void TApplication::Run() {
  EnsureQtApplication();
  if (FTerminated) return;
  if (FMainForm && FShowMainForm) FMainForm->Show();
  FRunning = true;
  while (!FTerminated) {
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    giveBackFreedWindows();
    FLastPump = nowNs();
    if (OnIdle && !FTerminated) {
      bool done = true;
      try {
        OnIdle(this, done);
      } catch (...) {
        HandleException(this);
      }
      while (!done && !FTerminated) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        giveBackFreedWindows();
        done = true;
        try {
          OnIdle(this, done);
        } catch (...) {
          HandleException(this);
        }
      }
    }
  }
  FRunning = false;
}

void TApplication::ProcessMessages() {
  if (!QCoreApplication::instance()) return;
  std::int64_t now = nowNs();
  if (gPendingPosted.load(std::memory_order_relaxed) == 0 && now - FLastPump < kPumpIntervalNs) return;
  // Only the GUI thread pumps its queue; elsewhere there is nothing to do.
  if (QThread::currentThread() != QCoreApplication::instance()->thread()) return;
  FLastPump = now;
  QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void TApplication::HandleMessage() {
  if (!QCoreApplication::instance()) return;
  if (QThread::currentThread() != QCoreApplication::instance()->thread()) return;
  FLastPump = nowNs();
  QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void TApplication::ProcessMessagesWithoutInput() {
  if (!QCoreApplication::instance()) return;
  if (QThread::currentThread() != QCoreApplication::instance()->thread()) return;
  FLastPump = nowNs();
  QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void TApplication::Terminate() {
  FTerminated = true;
  // Wake a loop that waits for events (Terminate may come from a worker).
  if (QCoreApplication::instance())
    if (auto* d = QAbstractEventDispatcher::instance(QCoreApplication::instance()->thread())) d->wakeUp();
}

void TApplication::Minimize() {
  if (FMainForm && FMainForm->HandleAllocated()) FMainForm->SetWindowState(wsMinimized);
  NoteMinimized(true);
}

void TApplication::Restore() {
  if (FMainForm && FMainForm->HandleAllocated()) {
    // The window restored reports its state, whose handlers may free the
    // main form (which then is the main form no more).
    TForm* form = FMainForm;
    form->SetWindowState(wsNormal);
    if (FMainForm == form) form->Show();
  }
  NoteMinimized(false);
}

void TApplication::NoteMinimized(bool Minimized) {
  if (FMinimized == Minimized) return;
  FMinimized = Minimized;
  if (Minimized && OnMinimize) OnMinimize(this);
  if (!Minimized && OnRestore) OnRestore(this);
}

void TApplication::BringToFront() {
  if (FMainForm) FMainForm->BringToFront();
}

void TApplication::HandleException(TObject* Sender) {
  std::exception_ptr ep = std::current_exception();
  if (!ep) return;
  try {
    std::rethrow_exception(ep);
  } catch (const EAbort&) {
    // Silent by design.
  } catch (const EControlGone&) {
    // A handler freed the control at work; nothing failed.
  } catch (const std::exception& e) {
    try {
      if (OnException)
        OnException(Sender, e);
      else
        ShowException(e);
    } catch (...) {
      // A failing handler must not take the loop down with it.
    }
  } catch (...) {
    try {
      ShowException(Exception(u"Unknown exception"));
    } catch (...) {
    }
  }
}

void TApplication::ShowException(const std::exception& E) {
  String msg;
  if (auto* ex = dynamic_cast<const Exception*>(&E))
    msg = ex->Message();
  else
    msg = UTF8ToUTF16(E.what());
  // The message reads as a sentence.
  if (!msg.empty() && msg.back() > u'.') msg += u'.';
  MessageBox(msg, FTitle, MB_OK | MB_ICONSTOP);
}

TForm* TApplication::messageOwner() const {
  const auto takesInput = [](TForm* f) { return f && f->HandleAllocated() && f->Visible() && f->Enabled(); };
  QWidget* active = QCoreApplication::instance() ? QApplication::activeWindow() : nullptr;
  if (active && Screen)
    for (int i = 0; i < Screen->FormCount(); ++i) {
      TForm* f = Screen->Forms(i);
      if (takesInput(f) && f->Private()->Widget == active) return f;
    }
  if (takesInput(FMainForm) || !FMainForm) return FMainForm;
  // The main form waits behind a form of its own: the box goes with that.
  if (TForm* front = FMainForm->enabledPopup(); takesInput(front)) return front;
  return FMainForm;
}

int TApplication::MessageBox(const String& Text, const String& Caption, UINT Flags) {
  TForm* owner = messageOwner();
  return ::MessageBox(owner && owner->HandleAllocated() ? owner->Handle() : nullptr, Text,
                      Caption.empty() ? FTitle : Caption, Flags);
}

void TApplication::SetHint(const String& value) {
  if (FHint == value) return;
  FHint = value;
  if (OnHint) OnHint(this);
}

void TApplication::CancelHint() { HideHint(); }

void TApplication::HideHint() {
  CancelApplicationHint();
  if (QCoreApplication::instance()) QToolTip::hideText();
}

void TApplication::ActivateHint(TPoint CursorPos) {
  if (!QCoreApplication::instance()) return;
  QWidget* w = QApplication::widgetAt(CursorPos.x, CursorPos.y);
  if (!w) return;
  QHelpEvent e(QEvent::ToolTip, w->mapFromGlobal(QPoint(CursorPos.x, CursorPos.y)),
               QPoint(CursorPos.x, CursorPos.y));
  QApplication::sendEvent(w, &e);
}

HWND TApplication::Handle() {
  if (!FHandle)
    FHandle = AllocateHWnd([](TMessage& m) { m.Result = DefWindowProc(nullptr, m.Msg, m.WParam, m.LParam); });
  return FHandle;
}

// ---- TScreen -------------------------------------------------------------------
TScreen::TScreen(TComponent* AOwner) : TComponent(AOwner) {}
TScreen::~TScreen() = default;

namespace {
QScreen* primary() {
  EnsureQtApplication();
  return QGuiApplication::primaryScreen();
}
// Cursors registered under a number; whoever made a cursor frees it (after
// taking its number back).
struct TCursorTable {
  std::map<int, HCURSOR> Entries;
};
TCursorTable& cursorTable() {
  static TCursorTable t;
  return t;
}
}  // namespace

int TScreen::Width() const {
  QScreen* s = primary();
  return s ? s->geometry().width() : 0;
}

int TScreen::Height() const {
  QScreen* s = primary();
  return s ? s->geometry().height() : 0;
}

TRect TScreen::WorkAreaRect() const {
  QScreen* s = primary();
  if (!s) return {};
  QRect r = s->availableGeometry();
  return Bounds(r.x(), r.y(), r.width(), r.height());
}

TRect TScreen::MonitorRect(const TRect& R) const {
  QScreen* best = nullptr;
  qint64 bestArea = 0;
  if (QCoreApplication::instance()) {
    const QRect want(R.Left, R.Top, std::max(R.Width(), 1), std::max(R.Height(), 1));
    for (QScreen* s : QGuiApplication::screens()) {
      QRect common = s->geometry().intersected(want);
      qint64 area = qint64(common.width()) * common.height();
      if (area > bestArea) {
        bestArea = area;
        best = s;
      }
    }
  }
  if (!best) best = primary();
  if (!best) return {};
  QRect g = best->geometry();
  return Bounds(g.x(), g.y(), g.width(), g.height());
}

TFont* TScreen::HintFont() {
  if (!FHintFont) {
    FHintFont = std::make_unique<TFont>();
    if (QCoreApplication::instance()) {
      QFont f = QToolTip::font();
      FHintFont->SetName(String(reinterpret_cast<const char16_t*>(f.family().utf16()), size_t(f.family().size())));
      if (f.pixelSize() > 0)
        FHintFont->SetHeight(-f.pixelSize());
      else if (f.pointSize() > 0)
        FHintFont->SetSize(f.pointSize());
    }
    FHintFont->SetColor(clInfoText);
  }
  return FHintFont.get();
}

int TScreen::PixelsPerInch() const {
  QScreen* s = primary();
  return s ? int(s->logicalDotsPerInchY() + 0.5) : 96;
}

std::vector<String> TScreen::Fonts() const {
  EnsureQtApplication();
  std::vector<String> r;
  for (const QString& f : QFontDatabase::families())
    r.emplace_back(reinterpret_cast<const char16_t*>(f.utf16()), size_t(f.size()));
  return r;
}

void TScreen::SetCursor(TCursor value) {
  if (FCursor == value) return;
  EnsureQtApplication();
  bool had = FCursor != crDefault;
  FCursor = value;
  if (value == crDefault) {
    if (had) QApplication::restoreOverrideCursor();
  } else if (had) {
    QApplication::changeOverrideCursor(CursorShape(value));
  } else {
    QApplication::setOverrideCursor(CursorShape(value));
  }
}

HCURSOR TScreen::Cursors(int Index) const {
  auto& entries = cursorTable().Entries;
  auto it = entries.find(Index);
  if (it != entries.end()) return it->second;
  if (Index <= 0) return LoadStandardCursor(Index);
  return nullptr;
}

void TScreen::SetCursors(int Index, HCURSOR Handle) { cursorTable().Entries[Index] = Handle; }

TForm* TScreen::ActiveForm() const {
  for (TForm* f : FForms)
    if (f->Active()) return f;
  return nullptr;
}

TWinControl* TScreen::ActiveControl() const {
  HWND h = GetFocus();
  return h ? FindControl(h) : nullptr;
}
