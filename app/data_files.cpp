#include "app/data_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/core/exception.h"
#include "platform/core/files.h"
#include "platform/core/streams.h"
#include "platform/core/strings.h"
#include "platform/core/text_file.h"
#include "platform/graphics/colors.h"

namespace {

String boolText(bool v) { return v ? u"-1" : u"0"; }

// Why a file cannot be opened for reading, as the system tells it.
int errnoOf(const String& fileName) {
  const int fd = ::open(UTF16ToUTF8(fileName).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd >= 0) {
    ::close(fd);
    return EIO;
  }
  return errno;
}

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
  std::vector<String> lines;
  TTextFile f(FileName);
  try {
    f.Reset();
    while (!f.Eof()) lines.push_back(f.ReadLn());
    f.CloseFile();
  } catch (const EInOutError&) {
    RaiseReadError(FileName);
  }
  for (const String& line : lines) {
    const size_t p = line.find(u'=');
    if (p == String::npos) continue;
    const size_t q = line.find(u';');
    const String key = line.substr(0, p);
    // Without a ";" (or with it before the "=") the value is empty.
    const String value = (q != String::npos && q > p) ? line.substr(p + 1, q - p - 1) : String();
    if (storeSetting(Settings, key, value) && KeyRead) KeyRead(key);
  }
}

void WriteSettingsFile(const String& FileName, const TAppSettings& s) {
  String text;
  auto line = [&](const char16_t* key, const String& value) { text += key + (u"=" + value) + u";\r\n"; };
  line(u"HideToSysTray", boolText(s.HideToSysTray));
  line(u"AutoStart", boolText(s.AutoStart));
  line(u"MinimizeAtClosing", boolText(s.MinimizeAtClosing));
  line(u"FontColor", ColorToString(s.FontColor));
  line(u"FontSize", IntToStr(s.FontSize));
  line(u"FontName", s.FontName);
  line(u"BgColor", ColorToString(s.BgColor));
  line(u"WordAutoSelect", boolText(s.WordAutoSelect));
  line(u"UseSkin", boolText(s.UseSkin));
  line(u"UseBgColor", boolText(s.UseBgColor));
  line(u"UseFontStyle", boolText(s.UseFontStyle));
  line(u"CurrentSkin", s.CurrentSkin);
  line(u"MainFormWidth", IntToStr(s.MainFormWidth));
  line(u"MainFormHeight", IntToStr(s.MainFormHeight));
  line(u"UseCtrlC", boolText(s.UseCtrlC));
  WriteFileReplacing(FileName, UTF16ToUTF8(text));
}

namespace {

// Perceived brightness of a colour, 0 to 255.
int brightness(TColor color) {
  const COLORREF rgb = ColorToRGB(color);
  return (299 * GetRValue(rgb) + 587 * GetGValue(rgb) + 114 * GetBValue(rgb)) / 1000;
}

}  // namespace

void CompleteSettingsColors(TAppSettings& Settings, bool FontColorRead, bool BgColorRead) {
  if (FontColorRead == BgColorRead) return;  // both given, or both defaults
  TColor& missing = FontColorRead ? Settings.BgColor : Settings.FontColor;
  const int given = brightness(FontColorRead ? Settings.FontColor : Settings.BgColor);
  constexpr int kReadable = 100;
  if (std::abs(brightness(missing) - given) >= kReadable) return;
  missing = given >= 128 ? clBlack : clWhite;
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
  // A missing file (a broken link or a missing folder on the way included)
  // lists nothing.
  struct stat st;
  if (::stat(UTF16ToUTF8(FileName).c_str(), &st) != 0 && (errno == ENOENT || errno == ENOTDIR)) return entries;
  TTextFile f(FileName);
  try {
    f.Reset();
    while (!f.Eof()) {
      const String line = f.ReadLn();
      if (line.empty()) continue;
      entries.push_back(SplitDictListLine(line));
    }
    f.CloseFile();
  } catch (const EInOutError&) {
    RaiseReadError(FileName);
  }
  return entries;
}

void WriteDictListFile(const String& FileName, const std::vector<DPType>& Entries) {
  String text;
  for (const DPType& e : Entries) text += e.Name + u" " + e.Flag + u"\r\n";
  WriteFileReplacing(FileName, UTF16ToUTF8(text));
}

String FileErrorText(const String& FileName, bool Writing, int SystemError) {
  String reason;
  switch (SystemError) {
    case EACCES:
    case EPERM:
    case EROFS: reason = u"нет доступа"; break;
    case ENOSPC:
    case EDQUOT: reason = u"на диске нет места"; break;
    case EFBIG: reason = u"файл больше, чем разрешено"; break;
    case ENOENT: reason = u"нет такого файла или папки"; break;
    case ENOTDIR: reason = u"путь проходит через файл, а не папку"; break;
    case EISDIR: reason = u"на его месте папка"; break;
    default: reason = UTF8ToUTF16(std::strerror(SystemError));
  }
  return (Writing ? u"Не удалось записать файл \"" : u"Не удалось прочитать файл \"") + ExpandFileName(FileName) +
         u"\": " + reason + u".";
}

void RaiseReadError(const String& FileName) {
  const int error = errnoOf(FileName);
  throw EInOutError(FileErrorText(FileName, false, error), error == ENOENT ? 2 : 5);
}

void WriteFileReplacing(const String& FileName, const RawByteString& Bytes) {
  try {
    WriteFileSafely(FileName, Bytes.data(), Bytes.size());
  } catch (const EFCreateError& e) {
    const int error = e.ErrorCode() ? e.ErrorCode() : EIO;
    throw EInOutError(FileErrorText(FileName, true, error), error == ENOSPC ? 101 : 5);
  }
}
