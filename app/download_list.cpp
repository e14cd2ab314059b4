#include "app/download_list.h"

#include <fstream>

#include "db/utf8_convert.h"
#include "platform/core/http.h"
#include "platform/core/strings.h"

namespace {

// The markers the page's rows are read by (the quotation mark is U+0022).
const RawByteString kRowStart = "<TD><a href=\"";
const RawByteString kNameEnd = "\" name=\"";
const RawByteString kTitleStart = "\">";
const RawByteString kTitleEnd = "</a></TD>";
const RawByteString kCellStart = "<TD>";
const RawByteString kCellEnd = "</TD>";

const UTF8String kDefaultBase = "https://tamrix.example/download/";

// The text between Start (searched from At) and the next End after it;
// At moves past End. False when either marker is missing.
bool takeBetween(const RawByteString& page, size_t& at, const RawByteString& start, const RawByteString& end,
                 String& text) {
  const size_t p = page.find(start, at);
  if (p == RawByteString::npos) return false;
  const size_t from = p + start.size();
  const size_t q = page.find(end, from);
  if (q == RawByteString::npos) return false;
  text = Utf8ToUnicode(page.substr(from, q - from));
  at = q + end.size();
  return true;
}

}  // namespace

std::vector<MoreDictRowType> ParseMoreDictsPage(const RawByteString& Page) {
  std::vector<MoreDictRowType> rows;
  size_t at = 0;
  while (int(rows.size()) < MaxMoreDictRows) {
    MoreDictRowType row;
    if (!takeBetween(Page, at, kRowStart, kNameEnd, row.FileName)) break;
    if (!takeBetween(Page, at, kTitleStart, kTitleEnd, row.Caption)) break;
    if (!takeBetween(Page, at, kCellStart, kCellEnd, row.Size)) break;
    if (!takeBetween(Page, at, kCellStart, kCellEnd, row.Words)) break;
    rows.push_back(std::move(row));
  }
  return rows;
}

bool IsPlainPackageName(const String& Name) {
  if (Name.size() <= 4 || Name.compare(Name.size() - 4, 4, u".zip") != 0) return false;
  if (Name.front() == u'.' || Name.find(u"..") != String::npos) return false;
  for (char16_t c : Name)
    if (c < 32 || c == 127 || c == u'/' || c == u'\\' || c == u':') return false;
  return true;
}

UTF8String PackageUrl(const UTF8String& Base, const String& FileName) {
  return Base + UrlEncodePathSegment(UnicodeToUtf8(FileName));
}

UTF8String DownloadBaseAddress() {
  std::ifstream in("other/download_url", std::ios::binary);
  UTF8String line;
  if (in && std::getline(in, line)) {
    const UTF8String base = UnicodeToUtf8(Trim(Utf8ToUnicode(line)));
    if (!base.empty()) return base.back() == '/' ? base : base + "/";
  }
  return kDefaultBase;
}
