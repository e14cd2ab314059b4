#include "html/parse/url_routines.h"

#include <vector>

#include "html/parse/html_common.h"
#include "platform/core/strings.h"

namespace {

constexpr auto npos = String::npos;

bool startsWithNoCase(std::u16string_view s, std::u16string_view prefix) {
  if (s.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i)
    if (htLowerChar(s[i]) != htLowerChar(prefix[i])) return false;
  return true;
}

int hexValue(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

// Appends escaped bytes: as UTF-8 when they are valid UTF-8, otherwise
// each byte as the character of the same code.
void appendBytes(String& out, const std::vector<unsigned char>& bytes) {
  String decoded;
  size_t i = 0;
  while (i < bytes.size()) {
    const unsigned char b = bytes[i];
    unsigned need;
    if (b < 0x80)
      need = 0;
    else if (b >= 0xC2 && b < 0xE0)
      need = 1;
    else if (b >= 0xE0 && b < 0xF0)
      need = 2;
    else if (b >= 0xF0 && b < 0xF5)
      need = 3;
    else
      break;
    if (i + need >= bytes.size()) break;
    char32_t cp = need == 0 ? b : (b & (0x3F >> need));
    bool ok = true;
    for (unsigned k = 1; k <= need && ok; ++k) {
      ok = (bytes[i + k] & 0xC0) == 0x80;
      cp = (cp << 6) | (bytes[i + k] & 0x3F);
    }
    const char32_t minimum[] = {0, 0x80, 0x800, 0x10000};
    if (!ok || cp < minimum[need] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) break;
    if (cp >= 0x10000) {
      decoded.push_back(char16_t(0xD800 + ((cp - 0x10000) >> 10)));
      decoded.push_back(char16_t(0xDC00 + ((cp - 0x10000) & 0x3FF)));
    } else {
      decoded.push_back(char16_t(cp));
    }
    i += need + 1;
  }
  if (i == bytes.size()) {
    out += decoded;
    return;
  }
  for (unsigned char b : bytes) out.push_back(char16_t(b));
}

}  // namespace

String UrlBase(const String& url) {
  const String u = Trim(url);
  if (u.empty()) return u"/";
  const size_t query = u.find(u'?');
  const size_t from = query == npos ? u.size() - 1 : query;
  // The "/" of a scheme's "//" is as far down as the search goes.
  const size_t slashes = u.find(u"//");
  const size_t lowest = slashes != npos && slashes < from ? slashes : 0;
  for (size_t i = from + 1; i-- > lowest;)
    if (u[i] == u'/') return u.substr(0, i + 1);
  return u + u"/";
}

namespace {

// Position of the "/" that starts the path: above it ".." does not climb.
size_t urlRoot(const String& u) {
  if (startsWithNoCase(u, u"file:///")) return 7;  // the file system's own root
  if (const size_t scheme = u.find(u"://"); scheme != npos) return u.find(u'/', scheme + 3);
  return u.find(u'/');
}

}  // namespace

String JoinUrl(const String& base, const String& relative) {
  String b = Trim(base);
  const String protocol = UrlProtocol(b);
  size_t root = urlRoot(b);
  if (root == npos) {
    b += u'/';
    root = b.size() - 1;
  } else if (b.back() != u'/') {
    b += u'/';
  }

  const String r = Trim(relative);
  String s;
  if (r.starts_with(u"//")) {
    if (protocol == u"file")
      s = u"file:///" + r;
    else
      s = protocol.empty() ? r : protocol + u":" + r;
    // The link names its own host: ".." stops at that host's root, not
    // at the position of the base's.
    root = s.starts_with(u"//") ? s.find(u'/', 2) : urlRoot(s);
    if (root == npos) root = s.size();
  } else if (r.starts_with(u"/")) {
    s = b.substr(0, root + 1) + r.substr(1);
  } else {
    s = b + r;
  }
  // A trailing "/.." or "/." names a folder, the same as with its "/".
  if (s.ends_with(u"/..") || s.ends_with(u"/.")) s += u'/';

  // "./" first: a "." segment must not be taken as the folder a ".."
  // leaves ("a/./../b" is "b", not "a/b"). Both passes run once over the
  // text, so a long run of segments costs linear time.
  String dots;
  dots.reserve(s.size());
  for (size_t i = 0; i < s.size();) {
    if (!dots.empty() && dots.back() == u'/' && s.compare(i, 2, u"./") == 0) {
      i += 2;
      continue;
    }
    dots += s[i++];
  }
  String out;
  out.reserve(dots.size());
  for (size_t i = 0; i < dots.size();) {
    if (!out.empty() && out.back() == u'/' && dots.compare(i, 3, u"../") == 0) {
      const size_t p = out.size() - 1;
      if (p > root) {
        const size_t previous = p == 0 ? npos : out.rfind(u'/', p - 1);
        if (previous == npos) {
          out.append(dots, i, npos);
          break;
        }
        out.resize(previous + 1);
      }
      i += 3;
      continue;
    }
    out += dots[i++];
  }
  return out;
}

bool IsAbsoluteUrl(const String& url) {
  const String s = url.substr(0, url.find(u'?'));
  const size_t scheme = s.find(u"://");
  if (scheme != npos && s.find(u'/') == scheme + 1) return true;
  return htLowerCase(s).find(u"mailto:") != npos;
}

String UrlProtocol(const String& url) {
  String protocol, user, password, host, port, path;
  SplitUrl(url.substr(0, url.find(u'?')), protocol, user, password, host, port, path);
  return htLowerCase(protocol);
}

void SplitUrl(const String& url, String& protocol, String& user, String& password, String& host,
              String& port, String& path) {
  protocol.clear();
  user.clear();
  password.clear();
  host.clear();
  port.clear();
  path.clear();
  if (url.empty()) return;

  size_t restStart = 0;
  if (const size_t scheme = url.find(u"://"); scheme != npos) {
    protocol = url.substr(0, scheme);
    restStart = scheme + 3;
  } else if (url[0] != u'/') {
    if (startsWithNoCase(url, u"http:")) {
      protocol = u"http";
      restStart = 5;
      if (url.size() < 7 || url[6] != u'/') {
        path = url.substr(5);
        return;
      }
    } else if (startsWithNoCase(url, u"mailto:")) {
      protocol = u"mailto";
      restStart = 7;
    }
  } else {
    protocol = u"http";
    if (url.size() < 2 || url[1] != u'/') {
      path = url;
      return;
    }
    restStart = 2;  // "//host/path": the host follows both slashes
  }

  const String rest = url.substr(restStart);
  const size_t slash = rest.find(u'/');
  const String authority = rest.substr(0, slash);
  if (slash != npos) path = rest.substr(slash);
  const size_t colon = authority.rfind(u':');
  const size_t at = authority.rfind(u'@');
  if (colon == npos && at == npos) {
    host = authority;
    return;
  }
  if (colon == npos || (at != npos && colon < at)) {
    host = authority.substr(at + 1);
  } else {
    port = authority.substr(colon + 1);
    const size_t hostStart = at == npos ? 0 : at + 1;
    host = authority.substr(hostStart, colon - hostStart);
  }
  if (at != npos) {
    const String info = authority.substr(0, at);
    const size_t split = info.find(u':');
    user = info.substr(0, split);
    if (split != npos) password = info.substr(split + 1);
  }
}

void SplitAtAnchor(const String& url, String& dest, String& anchor) {
  const size_t hash = url.find(u'#');
  if (hash == npos) {
    dest = url;
    anchor.clear();
  } else {
    dest = url.substr(0, hash);
    anchor = url.substr(hash);
  }
}

String CombineDosPath(const String& dir, const String& name) {
  if (dir.empty()) return name;
  const bool dirSlash = dir.back() == u'/';
  const bool nameSlash = !name.empty() && name.front() == u'/';
  if (dirSlash && nameSlash) return dir + name.substr(1);
  if (!dirSlash && !nameSlash) return dir + u"/" + name;
  return dir + name;
}

String& DecodePercentEscapes(String& text) {
  if (text.find(u'%') == npos) return text;
  String out;
  out.reserve(text.size());
  std::vector<unsigned char> bytes;
  size_t i = 0;
  while (i < text.size()) {
    bytes.clear();
    while (i + 2 < text.size() && text[i] == u'%' && hexValue(text[i + 1]) >= 0 &&
           hexValue(text[i + 2]) >= 0) {
      bytes.push_back(static_cast<unsigned char>(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2])));
      i += 3;
    }
    if (!bytes.empty()) {
      appendBytes(out, bytes);
      continue;
    }
    out.push_back(text[i++]);
  }
  text = std::move(out);
  return text;
}

String UrlToDosPath(const String& url) {
  String s = url;
  DecodePercentEscapes(s);
  if (s.find(u'/') == npos) return s;
  if (startsWithNoCase(s, u"file:///")) {
    s.erase(0, 7);  // keeps the root "/"
  } else if (startsWithNoCase(s, u"file://")) {
    s.erase(0, 7);
    if (startsWithNoCase(s, u"localhost/")) s.erase(0, 9);
  } else if (startsWithNoCase(s, u"file:/")) {
    s.erase(0, 5);
  }
  return s;
}

String UrlToDosPathWithRoot(const String& url, const String& root) {
  const String path = Trim(UrlToDosPath(url));
  if (path.empty() || root.empty() || startsWithNoCase(Trim(url), u"file:")) return path;
  if (path.starts_with(u"//") || path.front() != u'/') return path;
  return CombineDosPath(root, path);
}
