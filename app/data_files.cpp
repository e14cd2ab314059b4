#include "app/data_files.h"

#include <cstdio>
#include <filesystem>

#include "platform/core/exception.h"
#include "platform/core/files.h"
#include "platform/core/streams.h"
#include "platform/core/strings.h"
#include "platform/core/text_file.h"
#include "platform/graphics/colors.h"

namespace {

String boolText(bool v) { return v ? u"-1" : u"0"; }

// Stores the converted value; false (and the setting unchanged) when the
// key is unknown or the value does not convert.
bool storeSetting(TAppSettings& s, const String& key, const String& value) {
  auto asBool = [&](bool& into) {
    bool v = false;
    if (!TryStrToBool(value, v)) return false;
    into = v;
    return true;
  };
  auto asInt = [&](int& into) {
    int v = 0;
    if (!TryStrToInt(value, v)) return false;
    into = v;
    return true;
  };
  auto asColor = [&](TColor& into) {
    try {
      into = StringToColor(value);
      return true;
    } catch (const EConvertError&) {
      return false;
    }
  };
  if (key == u"HideToSysTray") return asBool(s.HideToSysTray);
  if (key == u"AutoStart") return asBool(s.AutoStart);
  if (key == u"MinimizeAtClosing") return asBool(s.MinimizeAtClosing);
  if (key == u"FontColor") return asColor(s.FontColor);
  if (key == u"FontSize") return asInt(s.FontSize);
  if (key == u"FontName") {
    s.FontName = value;
    return true;
  }
  if (key == u"BgColor") return asColor(s.BgColor);
  if (key == u"WordAutoSelect") return asBool(s.WordAutoSelect);
  if (key == u"UseSkin") return asBool(s.UseSkin);
  if (key == u"UseBgColor") return asBool(s.UseBgColor);
  if (key == u"UseFontStyle") return asBool(s.UseFontStyle);
  if (key == u"CurrentSkin") {
    s.CurrentSkin = value;
    return true;
  }
  if (key == u"MainFormWidth") return asInt(s.MainFormWidth);
  if (key == u"MainFormHeight") return asInt(s.MainFormHeight);
  if (key == u"UseCtrlC") return asBool(s.UseCtrlC);
  return false;
}

}  // namespace

void ReadSettingsFile(const String& FileName, TAppSettings& Settings,
                      const std::function<void(const String& Key)>& KeyRead) {
  TTextFile f(FileName);
  f.Reset();
  while (!f.Eof()) {
    const String line = f.ReadLn();
    const size_t p = line.find(u'=');
    if (p == String::npos) continue;
    const size_t q = line.find(u';');
    const String key = line.substr(0, p);
    // Without a ";" (or with it before the "=") the value is empty.
    const String value = (q != String::npos && q > p) ? line.substr(p + 1, q - p - 1) : String();
    if (storeSetting(Settings, key, value) && KeyRead) KeyRead(key);
  }
  f.CloseFile();
}

void WriteSettingsFile(const String& FileName, const TAppSettings& s) {
  const String temp = FileName + u".new";
  {
    TTextFile f(temp);
    f.Rewrite();
    f.WriteLn(u"HideToSysTray=" + boolText(s.HideToSysTray) + u";");
    f.WriteLn(u"AutoStart=" + boolText(s.AutoStart) + u";");
    f.WriteLn(u"MinimizeAtClosing=" + boolText(s.MinimizeAtClosing) + u";");
    f.WriteLn(u"FontColor=" + ColorToString(s.FontColor) + u";");
    f.WriteLn(u"FontSize=" + IntToStr(s.FontSize) + u";");
    f.WriteLn(u"FontName=" + s.FontName + u";");
    f.WriteLn(u"BgColor=" + ColorToString(s.BgColor) + u";");
    f.WriteLn(u"WordAutoSelect=" + boolText(s.WordAutoSelect) + u";");
    f.WriteLn(u"UseSkin=" + boolText(s.UseSkin) + u";");
    f.WriteLn(u"UseBgColor=" + boolText(s.UseBgColor) + u";");
    f.WriteLn(u"UseFontStyle=" + boolText(s.UseFontStyle) + u";");
    f.WriteLn(u"CurrentSkin=" + s.CurrentSkin + u";");
    f.WriteLn(u"MainFormWidth=" + IntToStr(s.MainFormWidth) + u";");
    f.WriteLn(u"MainFormHeight=" + IntToStr(s.MainFormHeight) + u";");
    f.WriteLn(u"UseCtrlC=" + boolText(s.UseCtrlC) + u";");
    f.CloseFile();
  }
  std::error_code ec;
  std::filesystem::rename(std::filesystem::path(UTF16ToUTF8(temp)),
                          std::filesystem::path(UTF16ToUTF8(FileName)), ec);
  if (ec) {
    DeleteFile(temp);
    throw EInOutError(u"File access denied", 5);
  }
}

int ReadAlphabetFile(const String& FileName, TAlphabetEntry* Entries, int Max) {
  RawByteString raw;
  try {
    TMemoryStream m;
    m.LoadFromFile(FileName);
    raw.assign(static_cast<const char*>(m.Memory()), size_t(m.Size()));
  } catch (const Exception&) {
    return 0;
  }
  int count = 0;
  String collected;
  for (size_t at = 2; at + 1 < raw.size() && count < Max; at += 2) {
    const char16_t c = char16_t(std::uint8_t(raw[at]) | (std::uint8_t(raw[at + 1]) << 8));
    if (c == u'#') break;
    if (c == u':') {
      Entries[count].Language = Trim(collected);
      collected.clear();
    } else if (c == u'\r') {
      const size_t colon = collected.find(u':');
      Entries[count].Letters =
          (colon != String::npos && collected.size() > colon + 2) ? collected.substr(colon + 2) : String();
      ++count;
      collected.clear();
    }
    collected += c;
  }
  return count;
}

DPType SplitDictListLine(const String& Line) {
  const size_t blank = Line.rfind(u' ');
  if (blank == String::npos) return DPType{String(), Line};
  return DPType{Line.substr(0, blank), Line.substr(blank + 1)};
}

std::vector<DPType> ReadDictListFile(const String& FileName) {
  std::vector<DPType> entries;
  TTextFile f(FileName);
  f.Reset();
  while (!f.Eof()) {
    const String line = f.ReadLn();
    if (line.empty()) continue;
    entries.push_back(SplitDictListLine(line));
  }
  f.CloseFile();
  return entries;
}

void WriteDictListFile(const String& FileName, const std::vector<DPType>& Entries) {
  TTextFile f(FileName);
  f.Rewrite();
  for (const DPType& e : Entries) f.WriteLn(e.Name + u" " + e.Flag);
  f.CloseFile();
}
