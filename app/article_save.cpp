#include "app/article_save.h"

#include <cerrno>
#include <map>

#include "platform/core/exception.h"
#include "platform/core/files.h"
#include "platform/core/strings.h"

namespace {

bool endsWithNoCase(const String& s, const String& end) {
  return s.size() >= end.size() && LowerCase(s.substr(s.size() - end.size())) == LowerCase(end);
}

// The reverse of the escaping the page builder gives names and text.
String unescapeHtml(const String& s) {
  static const std::pair<const char16_t*, char16_t> kEntities[] = {
      {u"&amp;", u'&'}, {u"&lt;", u'<'}, {u"&gt;", u'>'}, {u"&quot;", u'"'}};
  String out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size();) {
    bool replaced = false;
    if (s[i] == u'&') {
      for (const auto& [entity, c] : kEntities) {
        const String e(entity);
        if (s.compare(i, e.size(), e) == 0) {
          out += c;
          i += e.size();
          replaced = true;
          break;
        }
      }
    }
    if (!replaced) out += s[i++];
  }
  return out;
}

void removeAll(String& s, const String& what) {
  String out;
  out.reserve(s.size());
  size_t from = 0, at;
  while ((at = s.find(what, from)) != String::npos) {
    out.append(s, from, at - from);
    from = at + what.size();
  }
  out.append(s, from, String::npos);
  s.swap(out);
}

void writeText(const String& FileName, const String& Text) {
  const UTF8String bytes = UTF16ToUTF8(Text);
  WriteFileSafely(FileName, bytes.data(), bytes.size());
}

}  // namespace

String WithExtension(const String& Name, const String& Extension) {
  return endsWithNoCase(Name, Extension) ? Name : Name + Extension;
}

String CutToUtf8Bytes(const String& Text, size_t MaxBytes) {
  size_t bytes = 0, i = 0;
  while (i < Text.size()) {
    const char16_t c = Text[i];
    const bool pair = c >= 0xD800 && c < 0xDC00 && i + 1 < Text.size() && Text[i + 1] >= 0xDC00 && Text[i + 1] < 0xE000;
    const size_t units = pair ? 2 : 1;
    const size_t size = pair ? 4 : c < 0x80 ? 1 : c < 0x800 ? 2 : 3;
    if (bytes + size > MaxBytes) break;
    bytes += size;
    i += units;
  }
  return Text.substr(0, i);
}

namespace {

// A name leaves room for the longest suffix the program adds to it, the
// pictures folder's, within the file systems' 255 bytes.
constexpr size_t kMaxNameBytes = 255;
const String kFolderSuffix = u".files";
constexpr size_t kMaxStemBytes = kMaxNameBytes - 6;

}  // namespace

String SafeFileName(const String& Name) {
  String out;
  for (char16_t c : Name) {
    if (out.size() >= 200) break;
    const bool bad = c < 32 || c == 127 || String(u"/\\:*?\"<>|#%").find(c) != String::npos;
    out += bad ? u'_' : c;
  }
  // A lone high surrogate cut off at the limit would make invalid UTF-8.
  if (!out.empty() && out.back() >= 0xD800 && out.back() < 0xDC00) out.pop_back();
  out = CutToUtf8Bytes(out, kMaxStemBytes);
  if (out.empty() || out == u"." || out == u"..") return u"_";
  return out;
}

String EscapeUrlPath(const String& Path) {
  static const char kHex[] = "0123456789ABCDEF";
  String out;
  for (unsigned char b : UTF16ToUTF8(Path)) {
    const bool plain = (b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z') || (b >= '0' && b <= '9') ||
                       b == '-' || b == '.' || b == '_' || b == '~' || b == '/';
    if (plain) {
      out += char16_t(b);
    } else {
      out += u'%';
      out += char16_t(kHex[b >> 4]);
      out += char16_t(kHex[b & 15]);
    }
  }
  return out;
}

String ArticleSourceToText(const String& Source) {
  String out;
  out.reserve(Source.size());
  for (size_t i = 0; i < Source.size();) {
    const size_t close = Source[i] == u'<' ? Source.find(u'>', i + 1) : String::npos;
    if (close == String::npos) {
      out += Source[i++];
      continue;
    }
    const String tag = LowerCase(Source.substr(i, close + 1 - i));
    if (tag == u"</h1>" || tag == u"<br>") out += u"\r\n";
    i = close + 1;
  }
  removeAll(out, u"&bull;");
  removeAll(out, u"&acute;");
  return out;
}

String PointMediaIntoFolder(const String& Source, const String& Folder, std::vector<TSavedMedia>& Media) {
  static const String kMarker = u"=\"*";
  std::map<String, size_t> byName;   // the page's name -> entry of Media
  std::map<String, String> used;     // file name -> the page's name it holds
  String out;
  out.reserve(Source.size() + 64);
  size_t from = 0, at;
  while ((at = Source.find(kMarker, from)) != String::npos) {
    size_t p = at + kMarker.size();
    size_t digits = p;
    while (digits < Source.size() && Source[digits] >= u'0' && Source[digits] <= u'9') ++digits;
    const size_t end = Source.find(u'"', p);
    // Not a media reference after all: copied as it stands.
    if (digits == p || digits - p > 3 || digits >= Source.size() || Source[digits] != u'/' ||
        end == String::npos || end <= digits + 1) {
      out.append(Source, from, p - from);
      from = p;
      continue;
    }
    const String key = Source.substr(p, end - p);
    auto found = byName.find(key);
    if (found == byName.end()) {
      TSavedMedia m;
      m.DictIndex = StrToInt(Source.substr(p, digits - p));
      m.Name = unescapeHtml(Source.substr(digits + 1, end - digits - 1));
      const size_t cut = m.Name.find_last_of(u"/\\");
      const String base = SafeFileName(cut == String::npos ? m.Name : m.Name.substr(cut + 1));
      String file = base;
      for (int n = 2; used.count(file) && used[file] != key; ++n)
        file = CutToUtf8Bytes(IntToStr(n) + u"-" + base, kMaxNameBytes);
      used[file] = key;
      m.FileName = file;
      found = byName.emplace(key, Media.size()).first;
      Media.push_back(std::move(m));
    }
    out.append(Source, from, p - from - 1);  // up to and including the quote
    out += EscapeUrlPath(Folder + u"/" + Media[found->second].FileName);
    from = end;
  }
  out.append(Source, from, String::npos);
  return out;
}

void SaveArticleAsText(const String& FileName, const String& Source) {
  writeText(FileName, ArticleSourceToText(Source));
}

void SaveArticleAsHtml(const String& FileName, const String& Source, const TMediaFetch& Fetch) {
  const String stem = endsWithNoCase(FileName, u".html") ? FileName.substr(0, FileName.size() - 5) : FileName;
  // A page name that fits may leave no room for the folder's suffix: the
  // folder then takes as much of it as fits.
  const String leaf = ExtractFileName(stem);
  const String folder = stem.substr(0, stem.size() - leaf.size()) + CutToUtf8Bytes(leaf, kMaxStemBytes) + kFolderSuffix;
  std::vector<TSavedMedia> media;
  const String page = PointMediaIntoFolder(Source, ExtractFileName(folder), media);
  // The page and its pictures go to the disk together; the page takes its
  // place last, when its pictures are there.
  TSafeFileSet files;
  if (!media.empty()) {
    if (!DirectoryExists(folder) && !CreateDir(folder)) {
      const int error = errno;
      // No folder to put the page in: that is what is said.
      const String pageFolder = ExtractFileDir(FileName);
      if (!pageFolder.empty() && !DirectoryExists(pageFolder))
        throw EFCreateError(u"Cannot create file \"" + ExpandFileName(FileName) + u"\". " + SysErrorMessage(ENOENT),
                            ENOENT, ExpandFileName(FileName));
      throw EFCreateError(u"Cannot create folder \"" + ExpandFileName(folder) + u"\". " + SysErrorMessage(error),
                          error, ExpandFileName(folder));
    }
    for (const TSavedMedia& m : media) {
      const String file = folder + u"/" + m.FileName;
      if (FileExists(file)) continue;
      std::unique_ptr<TMemoryStream> stream = Fetch ? Fetch(m.DictIndex, m.Name) : nullptr;
      if (!stream) continue;
      files.Add(file, stream->Memory(), size_t(stream->Size()));
    }
  }
  const UTF8String bytes = UTF16ToUTF8(page);
  files.Add(FileName, bytes.data(), bytes.size());
  files.Commit();
}
