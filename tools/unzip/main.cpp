// tamrix-unzip ARCHIVE FOLDER: extracts an archive exactly as the
// dictionary manager installs a downloaded package, without ever waiting
// on a dialog. Prints the component's error code and message; exits 0 only
// when the extraction succeeded.
#include <cstdio>

#include "platform/core/files.h"
#include "platform/core/strings.h"
#include "platform/gui/dialogs.h"
#include "zip/zip_archiver.h"

int main(int argc, char** argv) {
  // An empty FOLDER would name no folder at all (and, made absolute, the
  // root of the file system): refused like a missing argument.
  if (argc != 3 || argv[1][0] == '\0' || argv[2][0] == '\0') {
    std::fprintf(stderr, "usage: tamrix-unzip ARCHIVE FOLDER\n");
    return 2;
  }
  // Nothing may wait for a user: every dialog is answered "cancel".
  SetDialogHook([](TDialogRequest&, int& result) {
    result = IDCANCEL;
    return true;
  });
  String dist = ExpandFileName(ApplicationExeFolder() + u"../dist/");
  if (!DirectoryExists(dist + u"other")) dist = UTF8ToUTF16(TAMRIX_DIST_DIR) + u"/";
  TZipArchiver zip(nullptr);
  zip.SetUnattended(true);
  zip.SetActive(true);
  zip.SetDLLDirectory(IncludeTrailingPathDelimiter(dist) + u"other/");
  zip.SetDLL_Load(true);
  zip.SetZipFileName(ExpandFileName(UTF8ToUTF16(argv[1])));
  zip.FSpecArgs()->Clear();
  zip.SetExtrBaseDir(IncludeTrailingPathDelimiter(ExpandFileName(UTF8ToUTF16(argv[2]))));
  zip.SetExtrOptions(TZAExtrOpts{ExtrDirNames, ExtrOverWrite});
  int result = zip.Extract();
  std::printf("ErrCode: %d\n", zip.ErrCode());
  std::printf("ErrMessage: %s\n", UTF16ToUTF8(zip.ErrMessage()).c_str());
  return result == 0 && zip.ErrCode() == 0 ? 0 : 1;
}
