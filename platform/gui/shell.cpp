// Opening with the default program, and XDG autostart entries.
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QCoreApplication>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>
#include <QUrl>

#include <QSocketNotifier>
#include <QTimer>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
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

// The opener's error output: a temporary file that is already unlinked. A
// program the opener starts inherits it and may write to it for as long
// as it runs, long after the opener and this program are gone; nothing of
// ours closes under it (a pipe would, and kill it at its next warning).
int openerErrorFile() {
  const QByteArray dir = QFile::encodeName(QDir::tempPath());
  int fd = ::open(dir.constData(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  if (fd >= 0) return fd;
  // A file system without unnamed files: a named one, unlinked at once.
  QByteArray name = dir + "/.tamrix-opener-XXXXXX";
  fd = ::mkostemp(name.data(), O_CLOEXEC);
  if (fd >= 0) ::unlink(name.constData());
  return fd;
}

// Starts the opener on its own: a session of its own (no terminal's or
// desktop's signal to our process group reaches what it starts), input and
// output on /dev/null, errors into ErrorFile, no other descriptor of ours,
// and the signals as a new program has them. Returns its process id, or -1.
pid_t spawnOpener(const QString& Opener, const QString& Target, int ErrorFile) {
  const QByteArray program = QFile::encodeName(Opener), target = QFile::encodeName(Target);
  char* argv[] = {const_cast<char*>(program.constData()), const_cast<char*>(target.constData()), nullptr};
  posix_spawn_file_actions_t files;
  posix_spawnattr_t attributes;
  if (posix_spawn_file_actions_init(&files) != 0) return -1;
  if (posix_spawnattr_init(&attributes) != 0) {
    posix_spawn_file_actions_destroy(&files);
    return -1;
  }
  sigset_t none, all;
  sigemptyset(&none);
  sigfillset(&all);
  pid_t pid = -1;
  const bool ready = posix_spawn_file_actions_addopen(&files, 0, "/dev/null", O_RDONLY, 0) == 0 &&
                     posix_spawn_file_actions_addopen(&files, 1, "/dev/null", O_WRONLY, 0) == 0 &&
                     posix_spawn_file_actions_adddup2(&files, ErrorFile, 2) == 0 &&
                     posix_spawn_file_actions_addclosefrom_np(&files, 3) == 0 &&
                     posix_spawnattr_setsigmask(&attributes, &none) == 0 &&
                     posix_spawnattr_setsigdefault(&attributes, &all) == 0 &&
                     posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK |
                                                               POSIX_SPAWN_SETSIGDEF) == 0;
  if (ready && posix_spawn(&pid, program.constData(), &files, &attributes, argv, environ) != 0) pid = -1;
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&files);
  return ready ? pid : -1;
}

// What the opener said last: the last line of its error output (at most
// the file's last 64 KiB are read), empty when it said nothing.
QString lastLineOf(int ErrorFile) {
  struct stat st {};
  if (::fstat(ErrorFile, &st) != 0 || st.st_size <= 0) return QString();
  const off_t from = st.st_size > 65536 ? st.st_size - 65536 : 0;
  QByteArray bytes(qsizetype(st.st_size - from), '\0');
  const ssize_t got = ::pread(ErrorFile, bytes.data(), size_t(bytes.size()), from);
  if (got <= 0) return QString();
  bytes.truncate(qsizetype(got));
  const QStringList lines = QString::fromLocal8Bit(bytes).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
  for (qsizetype i = lines.size() - 1; i >= 0; --i)
    if (!lines[i].trimmed().isEmpty()) return lines[i].trimmed();
  return QString();
}

// Watches one opener until it ends, reaps it and, when it failed, tells
// OnFailed its words and its exit code. Its end is seen through a process
// descriptor where the kernel has them, else by looking now and then.
class OpenerWatch : public QObject {
public:
  OpenerWatch(pid_t Pid, int ErrorFile, TShellOpenFailed OnFailed)
      : QObject(QCoreApplication::instance()), FPid(Pid), FErrorFile(ErrorFile), FOnFailed(std::move(OnFailed)) {
    FPidFd = int(::syscall(SYS_pidfd_open, Pid, 0));
    if (FPidFd >= 0) {
      ::fcntl(FPidFd, F_SETFD, FD_CLOEXEC);
      FNotifier = new QSocketNotifier(FPidFd, QSocketNotifier::Read, this);
      connect(FNotifier, &QSocketNotifier::activated, this, [this] { check(); });
    } else {
      FTimer = new QTimer(this);
      connect(FTimer, &QTimer::timeout, this, [this] { check(); });
      FTimer->start(100);
    }
  }
  ~OpenerWatch() override {
    if (FNotifier) FNotifier->setEnabled(false);
    if (FPidFd >= 0) ::close(FPidFd);
    if (FErrorFile >= 0) ::close(FErrorFile);
  }

private:
  void check() {
    int status = 0;
    const pid_t got = ::waitpid(FPid, &status, WNOHANG);
    if (got == 0 || (got < 0 && errno == EINTR)) return;
    if (FNotifier) FNotifier->setEnabled(false);
    if (FTimer) FTimer->stop();
    // Gone without a status (reaped elsewhere): nothing to tell.
    const bool failed = got == FPid && !(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    if (failed && FOnFailed) {
      const QString said = lastLineOf(FErrorFile);
      const QString how = WIFEXITED(status) ? QStringLiteral("exit code %1").arg(WEXITSTATUS(status))
                                            : QStringLiteral("ended by signal %1").arg(WTERMSIG(status));
      const QString reason = said.isEmpty() ? QStringLiteral("the desktop's opener failed (%1)").arg(how)
                                            : said + QStringLiteral(" (") + how + QLatin1Char(')');
      // The handler may do anything, even end the application: this watch
      // is done with before it runs.
      TShellOpenFailed told = std::move(FOnFailed);
      deleteLater();
      told(ss(reason));
      return;
    }
    deleteLater();
  }

  pid_t FPid;
  int FErrorFile;
  int FPidFd = -1;
  TShellOpenFailed FOnFailed;
  QSocketNotifier* FNotifier = nullptr;
  QTimer* FTimer = nullptr;
};

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
  const int errors = openerErrorFile();
  const pid_t pid =
      errors < 0 ? -1 : spawnOpener(opener, url.isLocalFile() ? url.toLocalFile() : url.toString(QUrl::FullyEncoded), errors);
  if (pid < 0) {
    if (errors >= 0) ::close(errors);
    return QDesktopServices::openUrl(url);
  }
  new OpenerWatch(pid, errors, std::move(OnFailed));
  return true;
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
