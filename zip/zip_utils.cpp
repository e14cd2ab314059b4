#include "zip/zip_utils.h"

#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <ctime>

#include "platform/core/codepage.h"
#include "platform/core/files.h"
#include "platform/core/keyed_hash.h"
#include "platform/core/strings.h"
#include "zip/zip_bytes.h"

using zipbytes::rd16;
using zipbytes::rd32;

namespace {

// Eight tables: the first is the classic byte table, table k advances a
// byte through k more zero bytes, so eight bytes are folded per step.
const std::array<std::array<uint32_t, 256>, 8>& crcTables() {
  static const auto tables = [] {
    std::array<std::array<uint32_t, 256>, 8> t{};
    for (uint32_t n = 0; n < 256; ++n) {
      uint32_t c = n;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[0][n] = c;
    }
    for (uint32_t n = 0; n < 256; ++n)
      for (int k = 1; k < 8; ++k) t[size_t(k)][n] = (t[size_t(k - 1)][n] >> 8) ^ t[0][t[size_t(k - 1)][n] & 0xFF];
    return t;
  }();
  return tables;
}

char16_t upper(char16_t c) {
  if (c < 0x80) {
    if (c == u'/') return u'\\';
    return c >= u'a' && c <= u'z' ? char16_t(c - 32) : c;
  }
  return AnsiUpperChar(c);
}

}  // namespace

char16_t ZipUpperForCompare(char16_t c) { return upper(c); }

// ---- CRC-32 -------------------------------------------------------------------

uint32_t ZipCRC32Update(uint32_t crc, const void* data, size_t size) {
  if (!data) return crc;
  const auto& t = crcTables();
  auto* p = static_cast<const uint8_t*>(data);
  while (size >= 8) {
    uint32_t lo = crc ^ (uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24));
    crc = t[7][lo & 0xFF] ^ t[6][(lo >> 8) & 0xFF] ^ t[5][(lo >> 16) & 0xFF] ^ t[4][lo >> 24] ^ t[3][p[4]] ^
          t[2][p[5]] ^ t[1][p[6]] ^ t[0][p[7]];
    p += 8;
    size -= 8;
  }
  while (size-- > 0) crc = t[0][(crc ^ *p++) & 0xFF] ^ (crc >> 8);
  return crc;
}

uint32_t ZipCRC32(uint32_t crc, const void* data, size_t size) {
  if (!data) return crc;
  return ~ZipCRC32Update(~crc, data, size);
}

// ---- text -----------------------------------------------------------------------

int ZipUTF8SeqLen(uint8_t lead) {
  if (lead < 0x80) return 1;
  if (lead >= 0xC0 && lead <= 0xDF) return 2;
  if (lead >= 0xE0 && lead <= 0xEF) return 3;
  if (lead >= 0xF0 && lead <= 0xF7) return 4;
  if (lead >= 0xF8 && lead <= 0xFB) return 5;
  if (lead >= 0xFC && lead <= 0xFD) return 6;
  return -1;
}

int ZipValidUTF8(const RawByteString& bytes) {
  int chars = 0;
  size_t i = 0, n = bytes.size();
  while (i < n) {
    auto lead = uint8_t(bytes[i]);
    int len = ZipUTF8SeqLen(lead);
    // Strict: only the forms that encode Unicode (no 5- and 6-byte forms,
    // no overlong forms, no surrogates).
    if (len < 1 || len > 4 || lead == 0xC0 || lead == 0xC1 || lead > 0xF4) return -1;
    if (i + size_t(len) > n) return -1;
    uint32_t cp = len == 1 ? lead : lead & (0x7F >> len);
    for (int k = 1; k < len; ++k) {
      auto c = uint8_t(bytes[i + size_t(k)]);
      if ((c & 0xC0) != 0x80) return -1;
      cp = (cp << 6) | (c & 0x3F);
    }
    if ((len == 3 && cp < 0x800) || (len == 4 && (cp < 0x10000 || cp > 0x10FFFF)) || (cp >= 0xD800 && cp <= 0xDFFF))
      return -1;
    i += size_t(len);
    ++chars;
  }
  return chars;
}

String ZipUTF8ToWide(const RawByteString& bytes) {
  if (ZipValidUTF8(bytes) >= 0) return UTF8ToUTF16(bytes);
  return ZipStrToWide(bytes, 0);
}

RawByteString ZipWideToUTF8(const String& text) { return UTF16ToUTF8(text); }

String ZipStrToWide(const RawByteString& bytes, int codePage) {
  // The ANSI page of this program is UTF-8; bytes that are not UTF-8 are
  // read in the Windows page of its users (1251).
  if (codePage == 0) {
    if (ZipValidUTF8(bytes) >= 0) return UTF8ToUTF16(bytes);
    return CodePageToUnicode(1251, bytes);
  }
  int page = codePage == 1 ? ZipOEMCodePage : codePage;
  if (!IsCodePageSupported(page)) page = 1251;
  return CodePageToUnicode(page, bytes);
}

RawByteString ZipWideToStr(const String& text, int codePage) {
  int page = codePage == 1 ? ZipOEMCodePage : CP_UTF8;
  RawByteString out;
  for (char16_t c : text) {
    RawByteString one = UnicodeToCodePage(page, String(1, c), '\x1B');
    if (one == "\x1B" && c != 0x1B) out += UTF16ToUTF8(u"#$" + IntToHex(int(c), 4));
    else out += one;
  }
  return out;
}

bool ZipNeedsUnicode(const String& text) {
  for (char16_t c : text)
    if (c > 126 || c < 31) return true;
  return false;
}

bool ZipHasHighBytes(const RawByteString& bytes) {
  for (char c : bytes) {
    auto b = uint8_t(c);
    if (b > 126 || b < 31) return true;
  }
  return false;
}

// ---- names ------------------------------------------------------------------------

String ZipInternalName(const String& name) {
  String out;
  out.reserve(name.size());
  for (char16_t c : name) {
    if (c == u'\\') {
      out += u'/';
      continue;
    }
    char16_t low = char16_t(c & 0xFF);
    bool escape = c <= 0x044F && (low < 0x20 || low == u'\'' || low == u'*' || low == u':' || low == u'<' ||
                                  low == u'>' || low == u'?' || low == u'\\' || low == u'|');
    if (escape) out += u"#$" + IntToHex(int(c), 2);
    else out += c;
  }
  return out;
}

String ZipToInternalSep(const String& name) {
  String s = name;
  for (auto& c : s)
    if (c == u'\\') c = u'/';
  return s;
}

String ZipToExternalSep(const String& name) {
  String s = name;
  for (auto& c : s)
    if (c == u'/') c = u'\\';
  return s;
}

int ZipNameCompare(const String& a, const String& b) {
  size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    char16_t x = upper(a[i]), y = upper(b[i]);
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

uint32_t ZipNameHash(const String& name) {
  uint32_t h = 0;
  for (char16_t c : name) {
    h = (h << 4) + upper(c);
    if (h > 0x0FFFFFFF) h = (h ^ ((h >> 28) << 4)) & 0x0FFFFFFF;
  }
  return h;
}

// The folded units through the hash keyed per run: names that collide
// cannot be chosen ahead. Both forms feed the same units.
uint32_t ZipCompareHash(const String& name) {
  keyedhash::Hasher h;
  for (char16_t c : name) h.AddUnit(upper(c));
  return uint32_t(h.Finish());
}

uint32_t ZipCompareHash(std::string_view ascii) {
  keyedhash::Hasher h;
  for (char c : ascii) h.AddUnit(upper(char16_t(uint8_t(c))));
  return uint32_t(h.Finish());
}

bool ZipNoWildcards(const String& text) { return text.find_first_of(u"*?|") == String::npos; }

bool ZipEndsWithSep(const String& text) {
  return !text.empty() && (text.back() == u'\\' || text.back() == u'/');
}

bool ZipEndsWithSep(const RawByteString& text) {
  return !text.empty() && (text.back() == '\\' || text.back() == '/');
}

int ZipLastPos(const String& s, char16_t c, int limit) {
  int end = (limit <= 0 || limit > int(s.size())) ? int(s.size()) : limit;
  for (int i = end - 1; i >= 0; --i)
    if (s[size_t(i)] == c) return i + 1;
  return 0;
}

String ZipAddSep(const String& path) {
  if (path.empty()) return String(1, PathDelim);
  return ZipEndsWithSep(path) ? path : path + PathDelim;
}

String ZipDelSep(const String& path) {
  String s = path;
  while (s.size() > 1 && ZipEndsWithSep(s)) s.pop_back();
  return s;
}

String ZipPathConcat(const String& dir, const String& name) {
  if (dir.empty()) return name;
  String n = name;
  while (!n.empty() && (n[0] == u'/' || n[0] == u'\\')) n.erase(0, 1);
  if (dir.back() == u':') return dir + n;
  return ZipAddSep(dir) + n;
}

String ZipNameWithoutExt(const String& name) {
  size_t start = name.find_last_of(u"\\/:");
  start = start == String::npos ? 0 : start + 1;
  size_t dot = name.find_last_of(u'.');
  if (dot == String::npos || dot < start) return name.substr(start);
  return name.substr(start, dot - start);
}

// ---- dates ----------------------------------------------------------------------------

uint32_t ZipUnixToDos(int64_t seconds) {
  time_t t = time_t(seconds);
  struct tm lt {};
  if (!localtime_r(&t, &lt) || lt.tm_year < 80) return 0x00210000;  // 1980-01-01
  return uint32_t(((lt.tm_year - 80) << 25) | ((lt.tm_mon + 1) << 21) | (lt.tm_mday << 16) | (lt.tm_hour << 11) |
                  (lt.tm_min << 5) | (lt.tm_sec / 2));
}

int64_t ZipFileDosTime(const String& fileName) {
  struct stat st;
  if (::stat(UTF16ToUTF8(fileName).c_str(), &st) != 0) return -1;
  return ZipUnixToDos(st.st_mtime);
}

TDateTime ZipDosToDateTime(uint32_t dos) {
  using namespace std::chrono;
  int year = int((dos >> 25) & 0x7F) + 1980, month = int((dos >> 21) & 0xF), day = int((dos >> 16) & 0x1F);
  int hour = int((dos >> 11) & 0x1F), minute = int((dos >> 5) & 0x3F), sec = int(dos & 0x1F) * 2;
  year_month_day ymd{std::chrono::year(year), std::chrono::month(unsigned(month)), std::chrono::day(unsigned(day))};
  if (!ymd.ok() || hour > 23 || minute > 59 || sec > 59) return 0;
  auto days = sys_days(ymd) - sys_days(year_month_day{std::chrono::year(1899), December, std::chrono::day(30)});
  return double(days.count()) + (hour * 3600 + minute * 60 + sec) / 86400.0;
}

uint32_t ZipDateTimeToDos(TDateTime value) {
  using namespace std::chrono;
  if (!(value > 0) || value > 100000) return 0;
  auto whole = int(std::floor(value));
  int secs = int(std::lround((value - whole) * 86400.0));
  if (secs >= 86400) secs = 86399;
  year_month_day ymd{sys_days(year_month_day{std::chrono::year(1899), December, std::chrono::day(30)}) + days(whole)};
  int y = int(ymd.year());
  if (y < 1980 || y > 2107) return 0;
  return uint32_t(((y - 1980) << 25) | (unsigned(ymd.month()) << 21) | (unsigned(ymd.day()) << 16) |
                  ((secs / 3600) << 11) | (((secs / 60) % 60) << 5) | ((secs % 60) / 2));
}

// ---- extra fields ------------------------------------------------------------------------

RawByteString ZipXData(const RawByteString& extra, uint16_t tag, bool* found) {
  if (found) *found = false;
  size_t pos = 0;
  while (pos + 4 <= extra.size()) {
    auto* p = reinterpret_cast<const uint8_t*>(extra.data() + pos);
    size_t len = rd16(p + 2);
    if (pos + 4 + len > extra.size()) return {};
    if (rd16(p) == tag) {
      if (found) *found = true;
      return extra.substr(pos + 4, len);
    }
    pos += 4 + len;
  }
  return {};
}

bool ZipXHasTag(const RawByteString& extra, uint16_t tag) {
  bool found = false;
  ZipXData(extra, tag, &found);
  return found;
}

size_t ZipXAppend(RawByteString& extra, const RawByteString& header, const RawByteString& data) {
  extra += header;
  extra += data;
  return extra.size();
}

namespace {
RawByteString filterBlocks(const RawByteString& extra, std::initializer_list<uint16_t> tags, bool keep) {
  RawByteString out;
  size_t pos = 0;
  while (pos + 4 <= extra.size()) {
    auto* p = reinterpret_cast<const uint8_t*>(extra.data() + pos);
    size_t len = rd16(p + 2);
    if (len == 0xFFFC) break;
    if (pos + 4 + len > extra.size()) break;
    bool listed = false;
    for (uint16_t t : tags) listed = listed || t == rd16(p);
    if (listed == keep) out += extra.substr(pos, 4 + len);
    pos += 4 + len;
  }
  return out;
}
}  // namespace

RawByteString ZipXKeep(const RawByteString& extra, std::initializer_list<uint16_t> tags) {
  return filterBlocks(extra, tags, true);
}

RawByteString ZipXRemove(const RawByteString& extra, std::initializer_list<uint16_t> tags) {
  return filterBlocks(extra, tags, false);
}

// ---- self-extractor probes -------------------------------------------------------------------

int64_t ZipStubSize(TStream* stream) {
  if (!stream) return 0;
  uint8_t dos[64];
  if (stream->Seek(0, soBeginning) != 0 || stream->Read(dos, 64) != 64 || dos[0] != 'M' || dos[1] != 'Z') return 0;
  uint32_t pe = rd32(dos + 60);
  uint8_t coff[24];
  if (stream->Seek(int64_t(pe), soBeginning) != int64_t(pe) || stream->Read(coff, 24) != 24) return 0;
  if (rd32(coff) != 0x00004550 || rd16(coff + 4) != 0x014C) return 0;
  int sections = rd16(coff + 6);
  int64_t at = int64_t(pe) + 24 + 224;
  if (stream->Seek(at, soBeginning) != at) return 0;
  int64_t end = 0;
  for (int i = 0; i < sections; ++i) {
    uint8_t sh[40];
    if (stream->Read(sh, 40) != 40) return 0;
    end = std::max<int64_t>(end, int64_t(rd32(sh + 20)) + int64_t(rd32(sh + 16)));
  }
  return end;
}

int ZipStubHeader(TStream* stream, String& archiveName, int64_t& archiveStart) {
  int64_t end = ZipStubSize(stream);
  archiveStart = end;
  if (end <= 0) return -7;
  auto read = [&](uint8_t* buf, int n) { return stream->Read(buf, n) == n; };
  uint8_t rec[12];
  if (stream->Seek(end, soBeginning) != end || !read(rec, 8)) return -7;
  uint32_t sig = rd32(rec);
  if (sig == 0x01005A44) {
    int64_t next = end + rd32(rec + 4);
    if (stream->Seek(next, soBeginning) != next || !read(rec, 8) || rd32(rec) != 0x010A5A44) return -7;
    next += rd32(rec + 4);
    if (stream->Seek(next, soBeginning) != next || !read(rec, 12)) return -7;
    if (rd32(rec) == 0x04034B50) {
      archiveStart = next;
      return 17;
    }
    if (rd32(rec) != 0x01145A44) return -7;
    uint32_t nameLen = rd32(rec + 4), extLen = rd32(rec + 8);
    if (nameLen > 1024 || extLen > 64) return -7;
    RawByteString name(nameLen, '\0'), ext(extLen, '\0');
    if ((nameLen && !read(reinterpret_cast<uint8_t*>(name.data()), int(nameLen))) ||
        (extLen && !read(reinterpret_cast<uint8_t*>(ext.data()), int(extLen))))
      return -7;
    if (!read(rec, 12) || rd32(rec) != 0x02145A44 || !read(rec, 4) || rd32(rec) != 0x02014B50) return -7;
    String dir = ExtractFilePath(archiveName);
    archiveName = dir + ZipStrToWide(name, 0) + (ext.empty() ? ExtractFileExt(archiveName) : ZipStrToWide(ext, 0));
    return 2065;
  }
  if (sig == 0x0C005A44) {
    int64_t next = end + rd32(rec + 4);
    if (stream->Seek(next, soBeginning) != next || !read(rec, 4)) return -7;
    archiveStart = next;
    if (rd32(rec) == 0x02014B50) return 2067;
    if (rd32(rec) == 0x04034B50) return 19;
    return -7;
  }
  return 1;
}

int ZipStubIcon(TStream* stream, RawByteString& icon) {
  icon.clear();
  if (!stream) return 117;
  auto readAt = [&](int64_t at, void* buf, int n) { return stream->Seek(at, soBeginning) == at && stream->Read(buf, n) == n; };
  uint8_t dos[64], coff[24];
  if (!readAt(0, dos, 64) || dos[0] != 'M' || dos[1] != 'Z') return 117;
  int64_t pe = rd32(dos + 60);
  if (!readAt(pe, coff, 24) || rd32(coff) != 0x00004550) return 117;
  int sections = rd16(coff + 6), optSize = rd16(coff + 20);
  int64_t opt = pe + 24;
  uint8_t magic[2];
  if (!readAt(opt, magic, 2)) return 117;
  int64_t dirs = opt + (rd16(magic) == 0x20B ? 112 : 96);
  uint8_t dd[8];
  if (dirs + 24 > opt + optSize || !readAt(dirs + 16, dd, 8) || rd32(dd) == 0) return 147;
  uint32_t rsrc = rd32(dd);
  int64_t base = -1;
  uint32_t va = 0;
  for (int i = 0; i < sections && i < 96; ++i) {
    uint8_t sh[40];
    if (!readAt(opt + optSize + 40 * i, sh, 40)) return 144;
    uint32_t vsize = std::max(rd32(sh + 8), rd32(sh + 16));
    if (rsrc >= rd32(sh + 12) && rsrc < rd32(sh + 12) + vsize) {
      va = rd32(sh + 12);
      base = int64_t(rd32(sh + 20)) + (rsrc - va);
      break;
    }
  }
  if (base < 0) return 144;
  // Walks type 3, then the first name, then the first language.
  auto entry = [&](int64_t dir, int wantId, uint32_t& target) {
    uint8_t head[16];
    if (!readAt(dir, head, 16)) return false;
    int count = rd16(head + 12) + rd16(head + 14);
    for (int i = 0; i < count && i < 4096; ++i) {
      uint8_t e[8];
      if (!readAt(dir + 16 + 8 * i, e, 8)) return false;
      if (wantId < 0 || (!(rd32(e) & 0x80000000u) && int(rd32(e)) == wantId)) {
        target = rd32(e + 4);
        return true;
      }
    }
    return false;
  };
  uint32_t t;
  if (!entry(base, 3, t)) return 146;
  if (!(t & 0x80000000u) || !entry(base + (t & 0x7FFFFFFF), -1, t)) return 143;
  if (!(t & 0x80000000u) || !entry(base + (t & 0x7FFFFFFF), -1, t) || (t & 0x80000000u)) return 143;
  uint8_t data[8];
  if (!readAt(base + t, data, 8)) return 143;
  uint32_t rva = rd32(data), size = rd32(data + 4);
  if (size == 0) return 149;
  if (size > (1u << 20) || rva < va) return 143;
  icon.resize(size);
  if (!readAt(base - (rsrc - va) + (rva - va), icon.data(), int(size))) {
    icon.clear();
    return 143;
  }
  return 0;
}

// ---- file system ---------------------------------------------------------------------------------

bool ZipDirExists(const String& name) {
  if (name.empty()) return true;
  return DirectoryExists(ZipDelSep(name));
}

bool ZipFileExists(const String& name) { return FileExists(name); }

int ZipEraseFile(const String& name, bool /*final*/) {
  String full = name.empty() || name[0] == PathDelim ? name : ExpandFileName(name);
  if (!FileExists(full)) return -1;
  if (::unlink(UTF16ToUTF8(full).c_str()) != 0) return errno;
  return 0;
}

bool ZipForceDirectories(const String& name) { return ForceDirectories(ZipDelSep(name)); }

// ---- file-spec matching -----------------------------------------------------------------------------

namespace {

bool wildMatch(const String& p, size_t pi, const String& s, size_t si) {
  while (pi < p.size()) {
    char16_t c = p[pi];
    if (c == u'*') {
      while (pi < p.size() && p[pi] == u'*') ++pi;
      if (pi == p.size()) return true;
      for (size_t k = si; k <= s.size(); ++k)
        if (wildMatch(p, pi, s, k)) return true;
      return false;
    }
    if (si >= s.size()) return false;
    if (c == u'?') {
      if (s[si] == u'\\') return false;
    } else if (c != s[si]) {
      return false;
    }
    ++pi;
    ++si;
  }
  return si == s.size();
}

bool allStars(const String& s) { return !s.empty() && s.find_first_not_of(u'*') == String::npos; }

// Splits at the last '.' of the last path component.
void splitExt(const String& s, String& base, String& ext, bool& hasDot) {
  size_t lastSep = s.find_last_of(u'\\');
  size_t dot = s.find_last_of(u'.');
  hasDot = dot != String::npos && (lastSep == String::npos || dot > lastSep);
  base = hasDot ? s.substr(0, dot) : s;
  ext = hasDot ? s.substr(dot + 1) : String();
}

bool matchOne(const String& spec, const String& name) {
  String sb, se, nb, ne;
  bool sd, nd;
  splitExt(spec, sb, se, sd);
  splitExt(name, nb, ne, nd);
  if (allStars(sb) && (!sd || allStars(se))) return true;  // "*" and "*.*"
  if (!sd) return wildMatch(spec, 0, name, 0);
  if (se.empty()) {
    if (nd) return false;  // "name." wants a name without extension
  } else if (!allStars(se)) {
    if (!nd) return false;
    if (se.find(u'*') == String::npos && se.size() != ne.size()) return false;
    if (!wildMatch(se, 0, ne, 0)) return false;
  }
  const String& nameBase = nd ? nb : name;
  if (allStars(sb)) return true;
  if (sb.find(u'*') == String::npos && sb.size() != nameBase.size()) return false;
  return wildMatch(sb, 0, nameBase, 0);
}

}  // namespace

bool FileNameMatch(const String& specs, const String& name) {
  String n;
  for (char16_t c : name) n += upper(c);
  size_t start = 0;
  while (start <= specs.size()) {
    size_t bar = specs.find(u'|', start);
    if (bar == String::npos) bar = specs.size();
    String spec = specs.substr(start, bar - start);
    size_t lead = 0;
    while (lead < spec.size() && spec[lead] <= u' ') ++lead;
    spec.erase(0, lead);
    while (!spec.empty() && spec.back() == u' ') spec.pop_back();
    if (!spec.empty()) {
      String s;
      for (char16_t c : spec) s += upper(c);
      if (matchOne(s, n)) return true;
    }
    start = bar + 1;
  }
  return false;
}
