#pragma once
// A fresh temporary folder for one test, removed with everything in it.
#include <filesystem>

#include "platform/core/files.h"
#include "platform/core/strings.h"

class TestFolder {
public:
  TestFolder() : FPath(CreateTempFolder(u"tamrix-core-")) {}
  ~TestFolder() {
    std::error_code ec;
    std::filesystem::remove_all(UTF16ToUTF8(FPath), ec);
  }
  // The folder with a trailing "/".
  const String& Path() const { return FPath; }
  String operator/(const String& name) const { return FPath + name; }

private:
  String FPath;
};
