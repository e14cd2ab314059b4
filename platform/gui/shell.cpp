// Opening with the default program, and XDG autostart entries.
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QCoreApplication>
#include <QFileInfo>
#include <QProcess>
#include <QSaveFile>
#include <QStandardPaths>
#include <QUrl>

#include <cstdlib>

#include "platform/gui/gui_private.h"
#include "platform/gui/shell.h"

namespace {

QString qs(const String& s) { return QString::fromUtf16(s.data(), qsizetype(s.size())); }
String ss(const QString& s) { return String(reinterpret_cast<const char16_t*>(s.utf16()), size_t(s.size())); }

QString configHome() {
  QString xdg = QString::fromLocal8Bit(qgetenv("XDG_CONFIG_HOME"));
  if (!xdg.isEmpty() && QDir::isAbsolutePath(xdg)) return xdg;
  return QDir::homePath() + QStringLiteral("/.config");
}

// An entry name becomes a file name: no folder separators, no escaping the
// autostart folder.
QString safeName(const String& name) {
  QString n = qs(name);
  n.replace(QLatin1Char('/'), QLatin1Char('_'));
  n.replace(QLatin1Char('\\'), QLatin1Char('_'));
  if (n.isEmpty() || n == QLatin1String(".") || n == QLatin1String("..")) n = QStringLiteral("_");
  return n;
}

// Splits a command line as a shell would: blanks separate, double quotes
// group, a backslash before a quote keeps the quote.
QStringList splitCommand(const QString& line) {
  QStringList args;
  QString cur;
  bool inQuotes = false, any = false;
  for (qsizetype i = 0; i < line.size(); ++i) {
    QChar c = line[i];
    if (c == QLatin1Char('\\') && i + 1 < line.size() && line[i + 1] == QLatin1Char('"')) {
      cur += QLatin1Char('"');
      ++i;
      any = true;
    } else if (c == QLatin1Char('"')) {
      inQuotes = !inQuotes;
      any = true;
    } else if (c.isSpace() && !inQuotes) {
      if (any) args << cur;
      cur.clear();
      any = false;
    } else {
      cur += c;
      any = true;
    }
  }
  if (any) args << cur;
  return args;
}

// Quotes an argument for the Exec key of a desktop entry: reserved
// characters need double quotes, in which " ` $ \ are escaped; a literal
// percent sign is doubled.
QString quoteExecArg(QString a) {
  a.replace(QLatin1Char('%'), QStringLiteral("%%"));
  static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
  bool needs = a.isEmpty();
  for (QChar c : a)
    if (reserved.contains(c)) needs = true;
  if (!needs) return a;
  QString r;
  for (QChar c : a) {
    if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') || c == QLatin1Char('\\'))
      r += QLatin1Char('\\');
    r += c;
  }
  // Inside the desktop file's string value each backslash is itself escaped.
  r.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
  return QLatin1Char('"') + r + QLatin1Char('"');
}

QString unquoteExecArgs(const QString& exec) {
  // Undo the string-value escaping, then split as the launcher would.
  QString v;
  for (qsizetype i = 0; i < exec.size(); ++i) {
    if (exec[i] == QLatin1Char('\\') && i + 1 < exec.size() && exec[i + 1] == QLatin1Char('\\')) {
      v += QLatin1Char('\\');
      ++i;
    } else {
      v += exec[i];
    }
  }
  QStringList out;
  QString cur;
  bool inQuotes = false, any = false;
  for (qsizetype i = 0; i < v.size(); ++i) {
    QChar c = v[i];
    if (inQuotes && c == QLatin1Char('\\') && i + 1 < v.size()) {
      cur += v[++i];
    } else if (c == QLatin1Char('"')) {
      inQuotes = !inQuotes;
      any = true;
    } else if (c.isSpace() && !inQuotes) {
      if (any) out << cur;
      cur.clear();
      any = false;
    } else {
      cur += c;
      any = true;
    }
  }
  if (any) out << cur;
  for (QString& a : out) a.replace(QStringLiteral("%%"), QStringLiteral("%"));
  // Back to one command line with the quoting a shell reads.
  QStringList quoted;
  for (const QString& a : out) {
    bool blank = a.isEmpty() || a.contains(QLatin1Char(' ')) || a.contains(QLatin1Char('\t'));
    QString b = a;
    b.replace(QLatin1Char('"'), QStringLiteral("\\\""));
    quoted << (blank ? QLatin1Char('"') + b + QLatin1Char('"') : b);
  }
  return quoted.join(QLatin1Char(' '));
}

}  // namespace

namespace {

// The address to open for File (relative paths from Directory); invalid
// when the file does not exist.
QUrl openTarget(const String& File, const String& Directory) {
  QString f = qs(File);
  if (f.contains(QStringLiteral("://")) || f.startsWith(QStringLiteral("mailto:"))) return QUrl(f, QUrl::TolerantMode);
  QString path = QDir::isAbsolutePath(f) || Directory.empty() ? f : qs(Directory) + QLatin1Char('/') + f;
  if (!QFileInfo::exists(path)) return QUrl();
  return QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath());
}

// The last line the opener wrote, or its exit code.
String openerReason(QProcess& p, int code) {
  const QStringList lines = QString::fromLocal8Bit(p.readAllStandardError()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
  if (!lines.isEmpty()) return ss(lines.last().trimmed());
  return ss(QStringLiteral("the desktop's opener ended with code %1").arg(code));
}

}  // namespace

bool ShellOpen(const String& File, TShellOpenFailed OnFailed) {
  if (File.empty()) return false;
  EnsureQtApplication();
  const QUrl url = openTarget(File, String());
  if (!url.isValid()) return false;
  // The desktop's own opener is run and watched where there is one: handed
  // over blind, its "no program for this" would reach only our stderr.
  const QString opener = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
  if (opener.isEmpty()) return QDesktopServices::openUrl(url);
  auto* p = new QProcess(QCoreApplication::instance());
  p->setProgram(opener);
  p->setArguments({url.isLocalFile() ? url.toLocalFile() : url.toString(QUrl::FullyEncoded)});
  p->setStandardInputFile(QProcess::nullDevice());
  p->setStandardOutputFile(QProcess::nullDevice());
  QObject::connect(p, &QProcess::finished, p, [p, OnFailed](int code, QProcess::ExitStatus status) {
    if ((code != 0 || status != QProcess::NormalExit) && OnFailed) OnFailed(openerReason(*p, code));
    p->deleteLater();
  });
  p->start();
  if (p->waitForStarted(5000)) return true;
  delete p;
  return QDesktopServices::openUrl(url);
}

std::intptr_t ShellExecute(HWND, const String& Operation, const String& File, const String& Parameters,
                           const String& Directory, int) {
  if (!Operation.empty() && Operation != u"open") return 31;
  if (File.empty()) return 2;
  EnsureQtApplication();
  (void)Parameters;
  const QUrl url = openTarget(File, Directory);
  if (!url.isValid()) return 2;
  return QDesktopServices::openUrl(url) ? 42 : 31;
}

String AutostartEntryPath(const String& Name) {
  return ss(configHome() + QStringLiteral("/autostart/") + safeName(Name) + QStringLiteral(".desktop"));
}

bool WriteAutostartEntry(const String& Name, const String& CommandLine) {
  QStringList args = splitCommand(qs(CommandLine));
  if (args.isEmpty()) return false;
  QString dir = configHome() + QStringLiteral("/autostart");
  if (!QDir().mkpath(dir)) return false;
  QStringList quoted;
  for (const QString& a : args) quoted << quoteExecArg(a);
  QString name = safeName(Name);
  QString text = QStringLiteral(
                     "[Desktop Entry]\n"
                     "Type=Application\n"
                     "Name=%1\n"
                     "Exec=%2\n"
                     "Terminal=false\n"
                     "X-GNOME-Autostart-enabled=true\n")
                     .arg(name, quoted.join(QLatin1Char(' ')));
  QSaveFile file(qs(AutostartEntryPath(Name)));
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
  QByteArray bytes = text.toUtf8();
  if (file.write(bytes) != bytes.size()) {
    file.cancelWriting();
    return false;
  }
  return file.commit();
}

bool DeleteAutostartEntry(const String& Name) {
  QString path = qs(AutostartEntryPath(Name));
  if (!QFileInfo::exists(path)) return true;
  return QFile::remove(path);
}

bool AutostartEntryExists(const String& Name) { return QFileInfo::exists(qs(AutostartEntryPath(Name))); }

String ReadAutostartEntry(const String& Name) {
  QFile file(qs(AutostartEntryPath(Name)));
  if (!file.open(QIODevice::ReadOnly)) return {};
  const QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
  for (const QString& line : lines)
    if (line.startsWith(QStringLiteral("Exec="))) return ss(unquoteExecArgs(line.mid(5)));
  return {};
}
