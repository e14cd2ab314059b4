#pragma once
// The download list page of the dictionary site and the names taken from
// it. The page is outside input: its rows are bounded, a row that lacks one
// of its markers ends the reading, and a package name is used only when it
// is a plain "*.zip" file name.
#include <vector>

#include "platform/core/types.h"

// One package of the list page.
struct MoreDictRowType {
  String FileName;  // the package's file name, e.g. a dictionary name + ".zip"
  String Caption;   // the dictionary's title
  String Size;      // the size text as the page gives it
  String Words;     // the word-count text as the page gives it
};

constexpr int MaxMoreDictRows = 1000;

// The rows of the page, in page order, at most MaxMoreDictRows. Each row is
//   <TD><a href="FILE" name="...">TITLE</a></TD><TD>SIZE</TD><TD>WORDS</TD>
// read by its markers alone; texts are taken as UTF-8 as they stand (no
// entity decoding). Reading ends at the first row that lacks a marker.
std::vector<MoreDictRowType> ParseMoreDictsPage(const RawByteString& Page);

// True for a name that can be used as a file in the temporary folder as it
// stands: ends in ".zip", holds no folder separator, no "..", no control
// character, and does not begin with ".".
bool IsPlainPackageName(const String& Name);

// The address of a package: the base address (the list page's, ending in
// "/") followed by the file name written safe for an address.
UTF8String PackageUrl(const UTF8String& Base, const String& FileName);

// The download base address: the first line of "other/download_url" when
// that file exists and holds one (a "/" is added when missing), else the
// site's default address.
UTF8String DownloadBaseAddress();
