// Runs every URL and path routine on arbitrary text: a base and a link
// separated by the first line break.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "html/parse/url_routines.h"
#include "platform/core/strings.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const String text = UTF8ToUTF16(UTF8String(reinterpret_cast<const char*>(data), size));
  const std::size_t cut = text.find(u'\n');
  const String base = text.substr(0, cut);
  const String link = cut == String::npos ? String() : text.substr(cut + 1);

  (void)UrlBase(base);
  const String joined = JoinUrl(base, link);
  // Resolution leaves no "/../" or "/./" behind.
  if (joined.find(u"/./") != String::npos) std::abort();
  (void)IsAbsoluteUrl(link);
  (void)UrlProtocol(link);
  String protocol, user, password, host, port, path;
  SplitUrl(link, protocol, user, password, host, port, path);
  String dest, anchor;
  SplitAtAnchor(link, dest, anchor);
  if (dest + anchor != link) std::abort();
  (void)CombineDosPath(base, link);
  String decoded = link;
  DecodePercentEscapes(decoded);
  if (decoded.size() > link.size()) std::abort();
  (void)UrlToDosPath(link);
  (void)UrlToDosPathWithRoot(link, base);
  return 0;
}
