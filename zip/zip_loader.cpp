#include "zip/zip_loader.h"

#include <dlfcn.h>

#include "platform/core/files.h"
#include "zip/zip_archiver.h"

TZADLLLoader::TZADLLLoader() { FName = UTF8ToUTF16(ZL_LIBRARY_FILE); }

TZADLLLoader::~TZADLLLoader() {
  if (FModule) dlclose(FModule);
}

TZADLLLoader& TZADLLLoader::Instance() {
  static TZADLLLoader loader;
  return loader;
}

TZADLLLoader::Owner* TZADLLLoader::find(TCustomZipArchiver* owner) {
  for (auto& o : FOwners)
    if (o.owner == owner) return &o;
  return nullptr;
}

void TZADLLLoader::clear() {
  FExec = nullptr;
  FVersionFn = nullptr;
  FPrivFn = nullptr;
  FAbort = nullptr;
  FNameFn = nullptr;
  FBannerFn = nullptr;
  FPathFn = nullptr;
  FVersion = FPrivVersion = 0;
  FBanner.clear();
  FName = UTF8ToUTF16(ZL_LIBRARY_FILE);
}

String TZADLLLoader::LibraryPath(const String& dllDirectory, bool& exactFile) {
  exactFile = false;
  String dir = dllDirectory;
  while (dir.size() > 1 && (dir.back() == u'/' || dir.back() == u'\\')) dir.pop_back();
  // The executable's folder stands for an empty setting: the library is
  // always loaded by a full path, never looked up in the search path.
  if (dir.empty()) return ApplicationExeFolder() + UTF8ToUTF16(ZL_LIBRARY_FILE);
  if (dir[0] == u'.') dir = ExpandFileName(ApplicationExeFolder() + dir);
  else dir = ExpandFileName(dir);
  if (LowerCase(ExtractFileExt(dir)) == u".so" && !DirectoryExists(dir)) {
    exactFile = true;
    return dir;
  }
  return IncludeTrailingPathDelimiter(dir) + UTF8ToUTF16(ZL_LIBRARY_FILE);
}

int TZADLLLoader::loadFile(TZACore* op, const String& path, bool report) {
  if (FModule) {
    dlclose(FModule);
    FModule = nullptr;
  }
  clear();
  FLastError.clear();
  FLoadPath = path;
  FModule = dlopen(UTF16ToUTF8(path).c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!FModule) {
    const char* err = dlerror();
    FLastError = UTF8ToUTF16(err ? err : "unknown error");
    if (report) {
      if (op) op->TraceMessage(ZipFormat(ZA_LoadErr, {0, FLastError, path}));
      throw EZipArchiver(ZA_CODE(zsrcLoader, ZA_DLLFailed), {path + u"\n" + FLastError});
    }
    return 0;
  }
  FExec = reinterpret_cast<ZL_ExecFunc>(dlsym(FModule, "ZL_Exec"));
  if (FExec) FVersionFn = reinterpret_cast<ZL_VersionFunc>(dlsym(FModule, "ZL_Version"));
  if (FVersionFn) FPrivFn = reinterpret_cast<ZL_PrivVersionFunc>(dlsym(FModule, "ZL_PrivVersion"));
  if (FPrivFn) FAbort = reinterpret_cast<ZL_AbortFunc>(dlsym(FModule, "ZL_Abort"));
  if (FAbort) FNameFn = reinterpret_cast<ZL_NameFunc>(dlsym(FModule, "ZL_Name"));
  if (FNameFn) FBannerFn = reinterpret_cast<ZL_BannerFunc>(dlsym(FModule, "ZL_Banner"));
  if (FBannerFn) FPathFn = reinterpret_cast<ZL_PathFunc>(dlsym(FModule, "ZL_Path"));
  if (FBannerFn) {
    FPrivVersion = FPrivFn();
    FVersion = FVersionFn();
    uint16_t buf[261] = {};
    FNameFn(buf, 260, 1);
    String name;
    for (int i = 0; i < 260 && buf[i]; ++i) name += char16_t(buf[i]);
    if (!name.empty()) FName = name;
    const char* banner = FBannerFn();
    FBanner = banner ? banner : "";
  }
  if (FVersion != ZL_INTERFACE_VERSION || FPrivVersion < ZL_MIN_PRIV_VERSION) {
    String name = FName;
    dlclose(FModule);
    FModule = nullptr;
    clear();
    if (report) {
      if (op) op->TraceMessage(ZipFormat(ZA_DLLOld, {path}));
      throw EZipArchiver(ZA_CODE(zsrcLoader, ZA_DLLOld), {name});
    }
    return 0;
  }
  return FPrivVersion;
}

int TZADLLLoader::load(TZACore* op) {
  if (FModule) return FPrivVersion;
  String dir = op && op->Zipper() ? op->Zipper()->DLLDirectory() : String();
  while (dir.size() > 1 && (dir.back() == u'/' || dir.back() == u'\\')) dir.pop_back();
  if (dir == u"><") {
    // Only a packed copy in the program's resources would do; there is none.
    throw EZipArchiver(ZA_CODE(zsrcLoader, ZA_DLLFailed), {UTF8ToUTF16(ZL_LIBRARY_FILE)});
  }
  bool exact = false;
  String path = LibraryPath(dir, exact);
  return loadFile(op, path, true);
}

void TZADLLLoader::unload(TZACore* op) {
  if (!FModule) return;
  dlclose(FModule);
  FModule = nullptr;
  String name = FName;
  clear();
  if (op && (op->Verbosity() > 0)) op->InfoMessage(ZA_Unloaded, {name});
}

int TZADLLLoader::Attach(TZACore* op) {
  std::lock_guard<std::recursive_mutex> lock(FLock);
  TCustomZipArchiver* owner = op ? op->Zipper() : nullptr;
  Owner* o = find(owner);
  if (!o) o = find(nullptr);
  if (!o) {
    FOwners.resize(FOwners.size() + 4);
    o = find(nullptr);
  }
  if (o->owner == owner && o->count > 0) ++o->count;
  else {
    o->owner = owner;
    o->count = 1;
  }
  if (!FModule) {
    ++FLoading;
    try {
      if (FLoading == 1) load(op);
    } catch (...) {
      --FLoading;
      *o = Owner();
      throw;
    }
    --FLoading;
    if (FVersion < ZL_INTERFACE_VERSION) {
      *o = Owner();
      if (op && op->Verbosity() > 0) op->InfoMessage(ZA_LoadErr, {0, FLastError, FLoadPath});
      return -1;
    }
    if (op && op->Verbosity() > 0) op->InfoMessage(ZA_Loaded, {FName});
  }
  return o->count;
}

int TZADLLLoader::AttachVersion(TZACore* op) { return Attach(op) > 0 ? FVersion : 0; }

int TZADLLLoader::Release(TCustomZipArchiver* owner) {
  std::lock_guard<std::recursive_mutex> lock(FLock);
  Owner* o = find(owner);
  int left = 0;
  if (o && o->count > 0) {
    left = --o->count;
    if (left == 0) *o = Owner();
  }
  bool anyHeld = false;
  for (auto& x : FOwners) anyHeld = anyHeld || x.count > 0;
  if (FLoading == 0 && !anyHeld) unload(owner ? owner->CurrentOperation() : nullptr);
  return left;
}

bool TZADLLLoader::IsAttached(TCustomZipArchiver* owner) {
  std::lock_guard<std::recursive_mutex> lock(FLock);
  Owner* o = find(owner);
  return o && o->count > 0;
}

void TZADLLLoader::RemoveOwner(TCustomZipArchiver* owner) {
  std::lock_guard<std::recursive_mutex> lock(FLock);
  Owner* o = find(owner);
  if (o) *o = Owner();
  bool anyHeld = false;
  for (auto& x : FOwners) anyHeld = anyHeld || x.count > 0;
  if (!anyHeld && FLoading == 0) unload(nullptr);
}

int TZADLLLoader::Exec(TZACore* op, ZLCommand* record, uint32_t& abortHandle) {
  if (Attach(op) <= 0) return -1;
  int result;
  try {
    result = FExec(record);
  } catch (...) {
    abortHandle = 0;
    Release(op->Zipper());
    throw;
  }
  abortHandle = 0;
  Release(op->Zipper());
  return result;
}

void TZADLLLoader::Abort(TCustomZipArchiver* owner, uint32_t handle) {
  std::lock_guard<std::recursive_mutex> lock(FLock);
  if (IsAttached(owner) && FAbort) FAbort(handle);
}
