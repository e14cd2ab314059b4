#include "db/database_files.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

#include "db/utf8_convert.h"

namespace {

UTF8String currentFolder() {
  std::vector<char> buf(256);
  for (;;) {
    if (getcwd(buf.data(), buf.size()) != nullptr) return UTF8String(buf.data());
    if (errno != ERANGE) return UTF8String("/");
    buf.resize(buf.size() * 2);
  }
}

// Joins and normalises by text, as a full-path lookup does: no file system
// access besides reading the current folder.
UTF8String fullPath(const UTF8String& name) {
  const UTF8String joined = name[0] == '/' ? name : currentFolder() + "/" + name;
  std::vector<UTF8String> parts;
  size_t i = 0;
  while (i <= joined.size()) {
    size_t j = joined.find('/', i);
    if (j == UTF8String::npos) j = joined.size();
    const UTF8String seg = joined.substr(i, j - i);
    if (seg == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!seg.empty() && seg != ".") {
      parts.push_back(seg);
    }
    i = j + 1;
  }
  UTF8String out;
  for (const UTF8String& seg : parts) out += "/" + seg;
  if (out.empty()) out.push_back('/');
  // A name that ends with a separator names a folder; keep that visible.
  if (joined.back() == '/' && out.back() != '/') out += '/';
  return out;
}

}  // namespace

bool DeleteDatabaseFile(const String& name) {
  // A name with a zero unit would reach the system cut short and could
  // remove a different file.
  if (name.find(u'\0') != String::npos) return false;
  return unlink(UnicodeToUtf8(name).c_str()) == 0;
}

bool DatabaseFileExists(const String& name) {
  if (name.find(u'\0') != String::npos) return false;
  struct stat st;
  if (stat(UnicodeToUtf8(name).c_str(), &st) != 0) return false;
  return !S_ISDIR(st.st_mode);
}

String ExpandDatabaseFileName(const String& name) {
  if (name.empty()) return String();
  return Utf8ToUnicode(fullPath(UnicodeToUtf8(name)));
}
