#pragma once
// File and folder routines. Names are String (UTF-16) and are handed to the
// system as UTF-8; "/" is the path separator.
#include <cstdint>
#include <ctime>
#include <memory>
#include <vector>

#include "platform/core/types.h"

constexpr char16_t PathDelim = u'/';

// ---- existence and changes
// True for an existing entry that is not a folder (links are followed).
bool FileExists(const String& fileName);
bool DirectoryExists(const String& directory);
// Removes a file (never a folder); false when it could not be removed.
bool DeleteFile(const String& fileName);
// Renames or moves a file or folder; fails (false) when newName exists,
// so a rename never silently replaces another file.
bool RenameFile(const String& oldName, const String& newName);
bool CreateDir(const String& directory);
// Creates the folder and any missing parents; true when it exists after.
bool ForceDirectories(const String& directory);
// Removes an empty folder.
bool RemoveDir(const String& directory);

// Writes Size bytes to FileName so that it holds either its old content or
// the whole new one, never a part: the bytes go to a temporary file beside
// it (see files_temporary.h), are flushed to the disk, and the temporary
// file is renamed over the target (an existing file is replaced).
// Temporaries that a killed run left in the target's folder are removed
// first. Raises EFCreateError 'Cannot create file "<full path>". <reason>'
// naming the target, with the system's error number as its ErrorCode, and
// leaves no temporary file behind.
void WriteFileSafely(const String& FileName, const void* Data, size_t Size);

// Moves the file From to To, replacing a file there, so that To holds
// either its old content or the whole of From, never a part. Within one
// file system From is renamed; across file systems (a second drive, a
// share, a RAM disk) it is copied into a temporary file beside To, which is
// flushed and renamed over To as WriteFileSafely does, and From is removed
// then (one that cannot be removed stays, whole, beside its copy), its
// permissions and times kept as a rename keeps them. Only a regular file is
// moved: anything else (a link, which is never followed, a named pipe, a
// device) is refused at once with EINVAL, without being opened for
// reading. Returns 0, or the system's error number with From and To as
// they were (no temporary file stays).
int MoveFileReplacing(const String& From, const String& To);

// Removes from Folder the temporaries a killed run left there (files that
// no living writer holds, written before this call); nothing else.
void SweepLeftoverTemporaries(const String& Folder);

// Several files written the same way, together. Add takes each file's
// bytes (a copy) and checks its folder, sweeping a killed run's leftovers
// out of each folder the first time the set writes there; Commit writes
// every file to its temporary, side by side, waits once until all of them
// are on the disk, and then renames them in the order they were added (a
// page after its pictures). A failure raises EFCreateError naming the
// target; files not yet renamed are never half written, and the temporary
// files are removed.
class TSafeFileSet {
public:
  TSafeFileSet();
  ~TSafeFileSet();
  TSafeFileSet(const TSafeFileSet&) = delete;
  TSafeFileSet& operator=(const TSafeFileSet&) = delete;
  void Add(const String& FileName, const void* Data, size_t Size);
  // Makes FileName's temporary file, empty, for a writer that fills it by
  // name (a print job), and returns the temporary file's name; Commit
  // flushes and renames it with the others.
  String AddByName(const String& FileName);
  void Commit();

private:
  struct Pending {
    String Target;
    int Folder = -1;      // an entry of FFolders
    UTF8String Leaf;      // the target's name in Folder
    UTF8String Temp;      // the temporary's name in Folder, once made
    int Handle = -1;      // the temporary, open and locked, once made
    RawByteString Bytes;  // what Commit writes into it (none by name)
    int Error = 0;        // why Commit could not write or flush it
  };
  int folderOf(const String& FileName);
  Pending& entry(const String& FileName);
  // Makes the temporary of P and writes its bytes; then flushes it.
  static void writeOut(Pending& P);
  static void flush(Pending& P);
  [[noreturn]] void fail(String Target, int Error);
  void discard();
  std::vector<Pending> FPending;
  std::vector<std::pair<UTF8String, int>> FFolders;  // open folders, by path
  timespec FStart{};                                 // when the set began
};

// Size in bytes, -1 when the file does not exist or is a folder.
std::int64_t FileSize(const String& fileName);
// Last modification time in seconds since 1970-01-01 UTC, -1 when the
// file does not exist.
std::int64_t FileAge(const String& fileName);

// ---- folder listing
constexpr int faReadOnly = 0x01;   // no write permission for this user
constexpr int faHidden = 0x02;     // name starts with "."
constexpr int faSysFile = 0x04;    // device, pipe or socket
constexpr int faVolumeID = 0x08;   // never set here
constexpr int faDirectory = 0x10;
constexpr int faArchive = 0x20;    // every regular file
constexpr int faSymLink = 0x40;    // the entry is a symbolic link
constexpr int faNormal = 0x80;
constexpr int faAnyFile = 0x1FF;

struct TSearchRec {
  std::int64_t Time = 0;  // modification time, seconds since 1970 UTC
  std::int64_t Size = 0;
  int Attr = 0;
  String Name;
  int ExcludeAttr = 0;
  std::shared_ptr<void> FindHandle;  // private to FindFirst/FindNext
};

// Lists the entries of a folder whose names match the mask part of path
// ("dir/*.tamrix", "temp/*.*", "a?c.txt"). "*" matches any run of
// characters and "?" any one character, case-sensitively as the file
// system names them; a mask ending in ".*" also matches names without an
// extension, so "*.*" and "*" match every name. Entries with
// faHidden, faSysFile or faDirectory are returned only when attr asks for
// them; "." and ".." are never returned. Entries come in name order.
// Returns 0 on success, else an error number (ENOENT when nothing matches).
int FindFirst(const String& path, int attr, TSearchRec& rec);
int FindNext(TSearchRec& rec);
void FindClose(TSearchRec& rec);

// True when name matches a mask as FindFirst matches them.
bool MatchesMask(const String& name, const String& mask);

// ---- names
// Absolute form of a name: relative names are taken against the current
// folder, "." and ".." parts are resolved and repeated "/" collapsed,
// without looking at the file system (links are not resolved).
String ExpandFileName(const String& fileName);
// Everything up to and including the last "/" ("" when there is none).
String ExtractFilePath(const String& fileName);
// ExtractFilePath without its trailing "/" (except for the root "/").
String ExtractFileDir(const String& fileName);
String ExtractFileName(const String& fileName);
// The extension with its dot ("" when the name part has no dot).
String ExtractFileExt(const String& fileName);
String ChangeFileExt(const String& fileName, const String& extension);
String IncludeTrailingPathDelimiter(const String& path);
String ExcludeTrailingPathDelimiter(const String& path);

// ---- process folders
String GetCurrentDir();
bool SetCurrentDir(const String& directory);
// The folder of the running executable, with a trailing "/".
String ApplicationExeFolder();
// The folder for temporary files ($TMPDIR or /tmp), with a trailing "/".
String GetTempDirectory();
// Creates a new, empty, uniquely named folder inside GetTempDirectory()
// (name starting with prefix) and returns it with a trailing "/"; raises
// EOSError when that fails.
String CreateTempFolder(const String& prefix);

// Text of a system error number, as the system describes it.
String SysErrorMessage(int errorCode);
