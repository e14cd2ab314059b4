// The Run key over XDG autostart entries.
#include "platform/gui/registry.h"

#include <sys/stat.h>

#include "platform/core/strings.h"
#include "platform/gui/shell.h"

namespace {

String normalise(String key) {
  for (char16_t& c : key) {
    if (c == u'/') c = u'\\';
    if (c >= u'a' && c <= u'z') c = char16_t(c - 32);
  }
  while (!key.empty() && key.front() == u'\\') key.erase(key.begin());
  while (!key.empty() && key.back() == u'\\') key.pop_back();
  return key;
}

const String kRunKey = u"SOFTWARE\\MICROSOFT\\WINDOWS\\CURRENTVERSION\\RUN";

bool isFile(const String& path) {
  struct stat st {};
  return stat(UTF16ToUTF8(path).c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace

TRegistry::TRegistry() = default;
TRegistry::~TRegistry() { CloseKey(); }

void TRegistry::SetRootKey(HKEY value) {
  CloseKey();
  FRootKey = value;
}

bool TRegistry::isRunKey(const String& key) const {
  return (FRootKey == HKEY_CURRENT_USER || FRootKey == HKEY_LOCAL_MACHINE) && normalise(key) == kRunKey;
}

bool TRegistry::OpenKey(const String& Key, bool) {
  CloseKey();
  if (!isRunKey(Key)) return false;
  FOpen = true;
  FCurrentPath = Key;
  return true;
}

bool TRegistry::KeyExists(const String& Key) { return isRunKey(Key); }

void TRegistry::CloseKey() {
  FOpen = false;
  FCurrentPath.clear();
}

bool TRegistry::ValueExists(const String& Name) { return FOpen && AutostartEntryExists(Name); }

String TRegistry::ReadString(const String& Name) {
  if (!FOpen || !AutostartEntryExists(Name)) throw ERegistryException(u"Invalid data type for '" + Name + u"'");
  return ReadAutostartEntry(Name);
}

void TRegistry::WriteString(const String& Name, const String& Value) {
  if (!FOpen) throw ERegistryException(u"Failed to set data for '" + Name + u"'");
  String command = Value;
  if (isFile(Value)) command = u"\"" + Value + u"\"";
  if (!WriteAutostartEntry(Name, command)) throw ERegistryException(u"Failed to set data for '" + Name + u"'");
}

bool TRegistry::DeleteValue(const String& Name) {
  if (!FOpen || !AutostartEntryExists(Name)) return false;
  return DeleteAutostartEntry(Name);
}
