// Entry names: how stored bytes become a name, and which names may become
// files under the destination folder.
#include <iconv.h>

#include <array>
#include <cctype>
#include <cstring>
#include <string_view>

#include "ziplib/archive.h"
#include "ziplib/ziplib.h"

namespace ziplib {

namespace {

// UTF-8 forms of the upper halves of the two single-byte code pages that
// archives made for this program's users carry: 866 (DOS tools) and 1251
// (Windows tools writing their ANSI page).
struct HighHalf {
  std::array<std::string, 128> utf8;
  explicit HighHalf(const char* page) {
    iconv_t cd = iconv_open("UTF-8", page);
    for (int b = 0; b < 128; ++b) {
      std::string& out = utf8[size_t(b)];
      out = "\xEF\xBF\xBD";
      if (cd == iconv_t(-1)) continue;
      char in = char(0x80 + b);
      char buf[8];
      char* ip = &in;
      char* op = buf;
      size_t il = 1, ol = sizeof buf;
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
      if (iconv(cd, &ip, &il, &op, &ol) != size_t(-1) && il == 0) out.assign(buf, size_t(op - buf));
    }
    if (cd != iconv_t(-1)) iconv_close(cd);
  }
};

std::string fromSingleByte(const std::string& raw, const HighHalf& page) {
  std::string out;
  out.reserve(raw.size() * 2);
  for (unsigned char c : raw) {
    if (c < 0x80) out += char(c);
    else out += page.utf8[c - 0x80];
  }
  return out;
}

const HighHalf& cp866() {
  static const HighHalf page("CP866");
  return page;
}
const HighHalf& cp1251() {
  static const HighHalf page("CP1251");
  return page;
}

uint16_t le16(const char* p) {
  return uint16_t(uint8_t(p[0]) | (uint8_t(p[1]) << 8));
}
uint32_t le32(const char* p) { return uint32_t(le16(p)) | (uint32_t(le16(p + 2)) << 16); }

// A Unicode path (0x7075) or comment (0x6375) field counts only when it was
// made for these very stored bytes: version 1, the CRC of the bytes, and
// well-formed UTF-8. The first field of the tag decides.
bool unicodeField(const std::string& x, uint16_t wanted, std::string_view stored, std::string* out) {
  size_t pos = 0;
  while (pos + 4 <= x.size()) {
    uint16_t tag = le16(x.data() + pos), len = le16(x.data() + pos + 2);
    if (pos + 4 + len > x.size()) return false;
    if (tag == wanted) {
      if (len < 5 || uint8_t(x[pos + 4]) != 1) return false;
      if (le32(x.data() + pos + 5) != crc32Of(stored.data(), stored.size())) return false;
      std::string text = x.substr(pos + 9, len - 5);
      if (!isValidUtf8(text)) return false;
      if (out) *out = std::move(text);
      return true;
    }
    pos += 4 + size_t(len);
  }
  return false;
}

// Bytes outside printable ASCII: only these differ between the encodings.
bool hasHighBytes(const std::string& s) {
  for (unsigned char c : s)
    if (c > 126 || c < 31) return true;
  return false;
}

// The program's ANSI page: UTF-8 where the bytes are UTF-8, else the
// Windows page of its users.
std::string fromAnsi(const std::string& raw) { return isValidUtf8(raw) ? raw : fromSingleByte(raw, cp1251()); }

}  // namespace

bool isValidUtf8(const std::string& text) {
  const auto* s = reinterpret_cast<const unsigned char*>(text.data());
  size_t n = text.size(), i = 0;
  while (i < n) {
    unsigned c = s[i];
    if (c < 0x80) { ++i; continue; }
    size_t len;
    unsigned cp;
    if (c >= 0xC2 && c <= 0xDF) { len = 2; cp = c & 0x1F; }
    else if (c >= 0xE0 && c <= 0xEF) { len = 3; cp = c & 0x0F; }
    else if (c >= 0xF0 && c <= 0xF4) { len = 4; cp = c & 0x07; }
    else return false;
    if (i + len > n) return false;
    for (size_t k = 1; k < len; ++k) {
      if ((s[i + k] & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (s[i + k] & 0x3F);
    }
    if ((len == 3 && cp < 0x800) || (len == 4 && (cp < 0x10000 || cp > 0x10FFFF))) return false;
    if (cp >= 0xD800 && cp <= 0xDFFF) return false;
    i += len;
  }
  return true;
}

bool decodeName(const Entry& e, std::string& out, std::string& reason, int encoding, std::string_view comment) {
  const std::string& raw = e.rawName;
  if (raw.find('\0') != std::string::npos) {
    reason = "name holds a zero byte";
    return false;
  }
  // The component lists names by the same rules, so that what it shows is
  // what gets installed: its encoding setting first, per entry when that
  // is automatic.
  int enc = encoding >= ZL_ENC_NONE && encoding <= ZL_ENC_UPATH ? encoding : ZL_ENC_AUTO;
  if (enc == ZL_ENC_AUTO) {
    // Bit 11 promises UTF-8 whatever the host; a name that breaks the
    // promise is refused rather than guessed at.
    if (e.flags & 0x0800) {
      if (!isValidUtf8(raw)) {
        reason = "name flagged UTF-8 is not valid UTF-8";
        return false;
      }
      out = raw;
      return true;
    }
    const uint8_t host = uint8_t(e.madeBy >> 8);
    if (unicodeField(e.extra, 0x7075, raw, nullptr) || unicodeField(e.extra, 0x6375, comment, nullptr))
      enc = ZL_ENC_UPATH;
    else if (host == 0 || host == 6 || e.madeBy == 0x0B32)
      enc = ZL_ENC_OEM;  // DOS tools write their OEM page (866)
    else
      enc = ZL_ENC_NONE;  // Unix tools write UTF-8, Windows tools their ANSI page
  }
  if (enc == ZL_ENC_UPATH && unicodeField(e.extra, 0x7075, raw, &out)) return true;
  if (!hasHighBytes(raw)) out = raw;
  else if (enc == ZL_ENC_OEM) out = fromSingleByte(raw, cp866());
  else out = fromAnsi(raw);
  return true;
}

bool safeParts(const std::string& name, std::vector<std::string>& parts, std::string& reason) {
  parts.clear();
  if (name.empty()) {
    reason = "empty name";
    return false;
  }
  if (name.size() > 4000) {
    reason = "name too long";
    return false;
  }
  for (unsigned char c : name) {
    if (c < 0x20 || c == 0x7F) {
      reason = "control character in name";
      return false;
    }
  }
  if (name[0] == '/' || name[0] == '\\') {
    reason = "absolute name";
    return false;
  }
  if (name.size() >= 2 && std::isalpha(static_cast<unsigned char>(name[0])) && name[1] == ':') {
    reason = "name with a drive letter";
    return false;
  }
  size_t start = 0;
  while (start <= name.size()) {
    size_t end = name.find_first_of("/\\", start);
    if (end == std::string::npos) end = name.size();
    std::string part = name.substr(start, end - start);
    if (part == "..") {
      reason = "name leads out of the destination";
      return false;
    }
    if (part.size() > 255) {
      reason = "name part too long";
      return false;
    }
    if (!part.empty() && part != ".") parts.push_back(std::move(part));
    start = end + 1;
  }
  if (parts.empty()) {
    reason = "empty name";
    return false;
  }
  return true;
}

namespace {
unsigned char fold(unsigned char c) {
  if (c == '\\') return '/';
  return static_cast<unsigned char>(std::toupper(c));
}
bool matchFrom(const char* p, const char* s) {
  while (*p) {
    if (*p == '*') {
      while (*p == '*') ++p;
      if (!*p) return true;
      for (; *s; ++s)
        if (matchFrom(p, s)) return true;
      return false;
    }
    if (!*s) return false;
    if (*p == '?') {
      if (*s == '/' || *s == '\\') return false;
    } else if (fold(static_cast<unsigned char>(*p)) != fold(static_cast<unsigned char>(*s))) {
      return false;
    }
    ++p;
    ++s;
  }
  return *s == 0;
}
}  // namespace

bool specMatches(const std::string& spec, const std::string& name) {
  return matchFrom(spec.c_str(), name.c_str());
}

}  // namespace ziplib
