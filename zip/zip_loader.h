#pragma once
// TZADLLLoader: loads the compression library once for the whole program
// and counts, per component, how often it is held. The library is loaded
// with dlopen from an absolute path built from DLLDirectory (never from the
// system's library search path) and unloaded when nobody holds it.
#include <cstdint>
#include <mutex>
#include <vector>

#include "platform/core/types.h"
#include "ziplib/ziplib.h"

class TCustomZipArchiver;
class TZACore;

class TZADLLLoader {
public:
  TZADLLLoader();
  ~TZADLLLoader();

  // The program's one loader.
  static TZADLLLoader& Instance();

  // New hold count of the operation's component, or -1 when the library
  // could not be loaded. Failures to load raise EZipArchiver (18, 19).
  int Attach(TZACore* op);
  int AttachVersion(TZACore* op);
  int Release(TCustomZipArchiver* owner);
  bool IsAttached(TCustomZipArchiver* owner);
  void RemoveOwner(TCustomZipArchiver* owner);
  // Runs one command; -1 when the library could not be attached.
  int Exec(TZACore* op, ZLCommand* record, uint32_t& abortHandle);
  void Abort(TCustomZipArchiver* owner, uint32_t handle);

  int Version() const { return FVersion; }
  int PrivVersion() const { return FPrivVersion; }
  const String& Name() const { return FName; }
  const String& LoadPath() const { return FLoadPath; }
  const UTF8String& Banner() const { return FBanner; }
  bool Loaded() const { return FModule != nullptr; }
  // The full path the library is loaded from for a DLLDirectory setting.
  static String LibraryPath(const String& dllDirectory, bool& exactFile);

private:
  struct Owner {
    TCustomZipArchiver* owner = nullptr;
    int count = 0;
  };
  int load(TZACore* op);
  int loadFile(TZACore* op, const String& path, bool report);
  void unload(TZACore* op);
  void clear();
  Owner* find(TCustomZipArchiver* owner);

  std::recursive_mutex FLock;
  std::vector<Owner> FOwners;
  int FLoading = 0;
  void* FModule = nullptr;
  ZL_ExecFunc FExec = nullptr;
  ZL_VersionFunc FVersionFn = nullptr;
  ZL_PrivVersionFunc FPrivFn = nullptr;
  ZL_AbortFunc FAbort = nullptr;
  ZL_NameFunc FNameFn = nullptr;
  ZL_BannerFunc FBannerFn = nullptr;
  ZL_PathFunc FPathFn = nullptr;
  int FVersion = 0, FPrivVersion = 0;
  String FLoadPath;
  String FName;
  UTF8String FBanner;
  String FLastError;
};
