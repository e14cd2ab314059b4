#pragma once
// TRegistry: the settings store the program reaches through registry keys.
// The only key the program writes is the per-machine (or per-user) Run key,
// which lists programs started with the user's session; its values are the
// user's XDG autostart entries. Other keys do not exist: opening them fails.
#include <cstdint>

#include "platform/core/exception.h"
#include "platform/core/object.h"
#include "platform/core/types.h"

TAMRIX_DECLARE_EXCEPTION(ERegistryException, Exception)

using HKEY = std::uintptr_t;
constexpr HKEY HKEY_CLASSES_ROOT = 0x80000000u;
constexpr HKEY HKEY_CURRENT_USER = 0x80000001u;
constexpr HKEY HKEY_LOCAL_MACHINE = 0x80000002u;
constexpr HKEY HKEY_USERS = 0x80000003u;

class TRegistry : public TObject {
public:
  TRegistry();
  ~TRegistry() override;

  HKEY RootKey() const { return FRootKey; }
  void SetRootKey(HKEY value);
  bool LazyWrite() const { return FLazyWrite; }
  void SetLazyWrite(bool value) { FLazyWrite = value; }
  const String& CurrentPath() const { return FCurrentPath; }

  // Opens a key by path ("Software\...\Run"); true when it exists (the Run
  // key always does). CanCreate is accepted but creates nothing.
  bool OpenKey(const String& Key, bool CanCreate);
  bool KeyExists(const String& Key);
  void CloseKey();

  bool ValueExists(const String& Name);
  // The value's command line; raises ERegistryException when it is missing.
  String ReadString(const String& Name);
  // Writes a command line; a value that names an existing file is that
  // program alone, spaces included. Raises ERegistryException on failure.
  void WriteString(const String& Name, const String& Value);
  bool DeleteValue(const String& Name);

private:
  bool isRunKey(const String& key) const;
  HKEY FRootKey = HKEY_CURRENT_USER;
  bool FLazyWrite = true;
  bool FOpen = false;
  String FCurrentPath;
};
