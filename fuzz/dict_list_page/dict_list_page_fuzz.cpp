// The download list page on arbitrary bytes: no crash, hang or over-read;
// at most the bounded number of rows; every text of a row is what stood
// between its markers, so none holds a marker that ends its own field.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "app/download_list.h"

namespace {

void check(bool ok) {
  if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
  const RawByteString page(reinterpret_cast<const char*>(data), size);
  const std::vector<MoreDictRowType> rows = ParseMoreDictsPage(page);
  check(rows.size() <= size_t(MaxMoreDictRows));
  for (const MoreDictRowType& r : rows) {
    check(r.FileName.find(u"\" name=\"") == String::npos);
    check(r.Caption.find(u"</a></TD>") == String::npos);
    check(r.Size.find(u"</TD>") == String::npos);
    check(r.Words.find(u"</TD>") == String::npos);
    // A name accepted as a package never leaves the temporary folder.
    if (IsPlainPackageName(r.FileName)) {
      check(r.FileName.find(u'/') == String::npos);
      check(r.FileName.find(u"..") == String::npos);
    }
    (void)PackageUrl("https://h/", r.FileName);
  }
  return 0;
}
