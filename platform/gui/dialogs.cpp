// Message boxes and common dialogs, each asking the dialog hook first.
#include <QApplication>
#include <QColorDialog>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QCheckBox>
#include <QFontDialog>
#include <QGroupBox>
#include <QLayout>
#include <QMessageBox>
#include <QPushButton>

#include <sys/stat.h>
#include <sys/vfs.h>

#include <cstdint>
#include <mutex>

#include "platform/graphics/canvas_qt.h"
#include "platform/gui/dialogs.h"
#include "platform/gui/forms.h"
#include "platform/gui/gui_private.h"

namespace {

std::mutex gHookLock;
TDialogHook& hook() {
  static TDialogHook h;
  return h;
}

QString qs(const String& s) { return QString::fromUtf16(s.data(), qsizetype(s.size())); }
String ss(const QString& s) { return String(reinterpret_cast<const char16_t*>(s.utf16()), size_t(s.size())); }

QWidget* ownerWidget(HWND owner) {
  if (IsWindow(owner) && owner->Widget) return owner->Widget->window();
  return QApplication::activeWindow();
}

// The buttons of a message box type, in order, with their results.
std::vector<std::pair<QMessageBox::StandardButton, int>> buttonsOf(UINT flags) {
  switch (flags & 0xF) {
    case MB_OKCANCEL: return {{QMessageBox::Ok, IDOK}, {QMessageBox::Cancel, IDCANCEL}};
    case MB_ABORTRETRYIGNORE:
      return {{QMessageBox::Abort, IDABORT}, {QMessageBox::Retry, IDRETRY}, {QMessageBox::Ignore, IDIGNORE}};
    case MB_YESNOCANCEL:
      return {{QMessageBox::Yes, IDYES}, {QMessageBox::No, IDNO}, {QMessageBox::Cancel, IDCANCEL}};
    case MB_YESNO: return {{QMessageBox::Yes, IDYES}, {QMessageBox::No, IDNO}};
    case MB_RETRYCANCEL: return {{QMessageBox::Retry, IDRETRY}, {QMessageBox::Cancel, IDCANCEL}};
    default: return {{QMessageBox::Ok, IDOK}};
  }
}

}  // namespace

TDialogHook SetDialogHook(TDialogHook Hook) {
  std::lock_guard<std::mutex> lock(gHookLock);
  TDialogHook old = std::move(hook());
  hook() = std::move(Hook);
  return old;
}

bool AskDialogHook(TDialogRequest& Request, int& Result) {
  // A modal window about to show ends whatever mode holds the mouse (a
  // drag, a selection rectangle): the window with the capture is told to
  // cancel it, and lets the capture go, so the modal window gets the mouse.
  if (Request.Kind != dkPopupMenu)
    if (HWND cap = GetCapture()) SendMessage(cap, WM_CANCELMODE, 0, 0);
  TDialogHook h;
  {
    std::lock_guard<std::mutex> lock(gHookLock);
    h = hook();
  }
  return h && h(Request, Result);
}

int MessageBox(HWND Owner, const String& Text, const String& Caption, UINT Flags) {
  TDialogRequest req;
  req.Kind = dkMessageBox;
  req.Caption = Caption;
  req.Text = Text;
  req.Flags = Flags;
  req.Owner = Owner;
  int answer = 0;
  if (AskDialogHook(req, answer)) return answer;
  auto buttons = buttonsOf(Flags);
  size_t def = (Flags >> 8) & 0xF;
  if (def >= buttons.size()) def = 0;
  EnsureQtApplication();
  if (IsHeadless()) return buttons[def].second;
  QMessageBox box(ownerWidget(Owner));
  box.setWindowTitle(qs(Caption));
  box.setText(qs(Text));
  switch (Flags & 0xF0) {
    case MB_ICONSTOP: box.setIcon(QMessageBox::Critical); break;
    case MB_ICONQUESTION: box.setIcon(QMessageBox::Question); break;
    case MB_ICONWARNING: box.setIcon(QMessageBox::Warning); break;
    case MB_ICONINFORMATION: box.setIcon(QMessageBox::Information); break;
    default: break;
  }
  QMessageBox::StandardButtons set;
  for (auto& b : buttons) set |= b.first;
  box.setStandardButtons(set);
  box.setDefaultButton(buttons[def].first);
  if (Flags & MB_TOPMOST) box.setWindowFlag(Qt::WindowStaysOnTopHint);
  int r = box.exec();
  for (auto& b : buttons)
    if (b.first == r) return b.second;
  // Closing the box counts as its cancel button, or its only button.
  for (auto& b : buttons)
    if (b.second == IDCANCEL) return IDCANCEL;
  return buttons.size() == 1 ? buttons[0].second : IDCANCEL;
}

void ShowMessage(const String& Text) {
  MessageBox(nullptr, Text, Application ? Application->Title() : String(), MB_OK);
}

int MessageDlg(const String& Msg, TMsgDlgType DlgType, TMsgDlgButtons Buttons, int) {
  UINT icon = DlgType == mtWarning ? MB_ICONWARNING : DlgType == mtError ? MB_ICONSTOP
              : DlgType == mtInformation ? MB_ICONINFORMATION : DlgType == mtConfirmation ? MB_ICONQUESTION : UINT(0);
  UINT type = MB_OK;
  if (Buttons.Contains(mbYes) && Buttons.Contains(mbNo))
    type = Buttons.Contains(mbCancel) ? MB_YESNOCANCEL : MB_YESNO;
  else if (Buttons.Contains(mbAbort))
    type = MB_ABORTRETRYIGNORE;
  else if (Buttons.Contains(mbRetry))
    type = MB_RETRYCANCEL;
  else if (Buttons.Contains(mbOK) && Buttons.Contains(mbCancel))
    type = MB_OKCANCEL;
  static const char16_t* captions[] = {u"Warning", u"Error", u"Information", u"Confirm", u""};
  int r = MessageBox(nullptr, Msg, captions[DlgType], type | icon);
  // Box results and modal results use the same numbers.
  return r;
}

// ---- common dialogs --------------------------------------------------------
bool TCommonDialog::runDialog(int Kind, const String& Text, const std::function<bool()>& Show) {
  if (OnShow) OnShow(this);
  TDialogRequest req;
  req.Kind = TDialogKind(Kind);
  req.Caption = FTitle;
  req.Text = Text;
  req.Dialog = this;
  int answer = 0;
  bool ok = false;
  if (AskDialogHook(req, answer)) {
    ok = answer != 0;
  } else {
    EnsureQtApplication();
    ok = !IsHeadless() && Show();
  }
  if (OnClose) OnClose(this);
  return ok;
}

// ---- file dialogs ----------------------------------------------------------
TOpenDialog::TOpenDialog(TComponent* AOwner) : TCommonDialog(AOwner) {}
TOpenDialog::~TOpenDialog() = default;

namespace {
// "Text|*.txt;*.text|All|*.*" -> {"Text (*.txt *.text)", "All (*.*)"}
QStringList qtFilters(const String& filter) {
  QStringList parts = qs(filter).split(QLatin1Char('|'));
  QStringList r;
  for (int i = 0; i + 1 < parts.size(); i += 2) {
    QString masks = parts[i + 1];
    masks.replace(QLatin1Char(';'), QLatin1Char(' '));
    r << QStringLiteral("%1 (%2)").arg(parts[i], masks);
  }
  return r;
}
}  // namespace

bool IsFolderToBrowse(const String& Folder) {
  if (Folder.empty()) return false;
  const QByteArray path = QFile::encodeName(qs(Folder));
  struct stat st {};
  struct statfs fs {};
  if (::stat(path.constData(), &st) != 0 || !S_ISDIR(st.st_mode) || ::statfs(path.constData(), &fs) != 0)
    return false;
  // The kernel's own file systems: processes, devices, drivers' settings.
  static const std::uint32_t kPseudo[] = {
      0x9fa0,      // proc
      0x62656572,  // sysfs
      0x1cd1,      // devpts
      0x64626720,  // debugfs
      0x74726163,  // tracefs
      0x73636673,  // securityfs
      0x27e0eb,    // cgroup
      0x63677270,  // cgroup2
      0x6165676c,  // pstore
      0xcafe4a11,  // bpf
      0x62656570,  // configfs
      0xde5e81e4,  // efivarfs
      0x65735543,  // fusectl
      0x19800202,  // mqueue
      0x42494e4d,  // binfmt_misc
      0xf97cff8c,  // selinuxfs
      0x6e736673,  // nsfs
  };
  for (std::uint32_t magic : kPseudo)
    if (std::uint32_t(fs.f_type) == magic) return false;
  // The device folder is kept in memory like any other (its file system says
  // no more than tmpfs): known by where it is.
  const QString real = QFileInfo(qs(Folder)).canonicalFilePath();
  return real != QLatin1String("/dev") && !real.startsWith(QLatin1String("/dev/"));
}

bool TOpenDialog::Execute() {
  // Never started where listing the folder may hang the program: a folder
  // chosen earlier that has become one (a save into /proc that failed).
  // Always a folder of ours: left to itself the toolkit's dialog starts
  // where the last one of any run went.
  String start = FInitialDir.empty() ? ss(QDir::currentPath()) : FInitialDir;
  if (!IsFolderToBrowse(start)) start = FInitialDir = ss(QDir::homePath());
  // A proposed name in such a folder is proposed in the start folder.
  if (!FFileName.empty() && FFileName[0] == u'/' &&
      !IsFolderToBrowse(ss(QFileInfo(qs(FFileName)).absolutePath())))
    FFileName = ss(QFileInfo(qs(FFileName)).fileName());
  return runDialog(IsSave() ? dkSaveFile : dkOpenFile, FFileName, [this, start] {
    QFileDialog d(QApplication::activeWindow(), qs(FTitle), qs(start));
    d.setAcceptMode(IsSave() ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    d.setFileMode(IsSave() ? QFileDialog::AnyFile
                  : FOptions.Contains(ofAllowMultiSelect) ? QFileDialog::ExistingFiles
                                                           : QFileDialog::ExistingFile);
    if (!FOptions.Contains(ofOverwritePrompt)) d.setOption(QFileDialog::DontConfirmOverwrite, true);
    QStringList filters = qtFilters(FFilter);
    if (!filters.isEmpty()) {
      d.setNameFilters(filters);
      if (FFilterIndex >= 1 && FFilterIndex <= filters.size()) d.selectNameFilter(filters[FFilterIndex - 1]);
    }
    if (!FDefaultExt.empty()) d.setDefaultSuffix(qs(FDefaultExt));
    if (!FFileName.empty()) d.selectFile(qs(FFileName));
    if (d.exec() != QDialog::Accepted || d.selectedFiles().isEmpty()) return false;
    FFileName = ss(d.selectedFiles().front());
    int idx = int(filters.indexOf(d.selectedNameFilter()));
    if (idx >= 0) FFilterIndex = idx + 1;
    return true;
  });
}

// ---- font and colour --------------------------------------------------------
TFontDialog::TFontDialog(TComponent* AOwner) : TCommonDialog(AOwner), FFont(std::make_unique<TFont>()) {}
TFontDialog::~TFontDialog() = default;

namespace {
// The toolkit's font dialog has no text colour; a button among its effects
// (beside underline and strike-out) picks one.
void addColourButton(QFontDialog& d, QColor& colour) {
  QGroupBox* effects = nullptr;
  for (QGroupBox* box : d.findChildren<QGroupBox*>())
    if (box->findChild<QCheckBox*>() && box->layout()) effects = box;
  if (!effects) return;
  // Named with the colour dialog's own title, in the toolkit's language.
  auto* button = new QPushButton(QColorDialog::tr("Select Color"), effects);
  auto paint = [button, &colour] {
    QPixmap swatch(16, 16);
    swatch.fill(colour);
    button->setIcon(QIcon(swatch));
  };
  paint();
  QObject::connect(button, &QPushButton::clicked, button, [&d, &colour, paint] {
    const QColor c = QColorDialog::getColor(colour, &d);
    if (!c.isValid()) return;
    colour = c;
    paint();
  });
  effects->layout()->addWidget(button);
}
}  // namespace

bool TFontDialog::Execute() {
  return runDialog(dkFont, String(), [this] {
    QColor colour = QColorFromColor(FFont->Color());
    QFontDialog d(QFontFromFont(*FFont), QApplication::activeWindow());
    if (!FTitle.empty()) d.setWindowTitle(qs(FTitle));
    addColourButton(d, colour);
    if (d.exec() != QDialog::Accepted) return false;
    const QFont f = d.selectedFont();
    FFont->SetName(ss(f.family()));
    if (f.pointSize() > 0) FFont->SetSize(f.pointSize());
    TFontStyles st;
    if (f.bold()) st.Include(fsBold);
    if (f.italic()) st.Include(fsItalic);
    if (f.underline()) st.Include(fsUnderline);
    if (f.strikeOut()) st.Include(fsStrikeOut);
    FFont->SetStyle(st);
    FFont->SetColor(TColor(colour.red() | (colour.green() << 8) | (colour.blue() << 16)));
    return true;
  });
}

bool TColorDialog::Execute() {
  return runDialog(dkColor, String(), [this] {
    QColor c = QColorDialog::getColor(QColorFromColor(FColor), QApplication::activeWindow(), qs(FTitle));
    if (!c.isValid()) return false;
    FColor = TColor(c.red() | (c.green() << 8) | (c.blue() << 16));
    return true;
  });
}
