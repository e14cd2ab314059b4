#pragma once
// Media of articles: the sources "*" + dictionary index + "/" + name that
// article pages carry, fetching their blobs, extracting them into "temp/",
// and sorting out what a clicked link is.
#include <cstdint>
#include <map>
#include <memory>

#include "platform/core/streams.h"
#include "platform/core/types.h"

// A media source taken apart. False (nothing to fetch) when it does not
// begin with "*", when the index is not a number or names no active
// dictionary, or when the name is empty.
struct TMediaSource {
  int DictIndex = -1;
  String Name;
};
bool ParseMediaSource(const String& Source, TMediaSource& Media);

// The blob of a media item of headword WordId in active dictionary
// DictIndex, read through a read-only connection; an empty stream when no
// row matches. Raises ESQLite3 when the dictionary cannot be read.
std::unique_ptr<TMemoryStream> FetchMedia(int DictIndex, std::int64_t WordId, const String& Name);

// Fetches several media items of headword WordId as FetchMedia does, each
// dictionary opened once for all of them (saving a page with its pictures).
class TMediaReader {
public:
  explicit TMediaReader(std::int64_t WordId);
  ~TMediaReader();
  TMediaReader(const TMediaReader&) = delete;
  TMediaReader& operator=(const TMediaReader&) = delete;
  std::unique_ptr<TMemoryStream> Fetch(int DictIndex, const String& Name);

private:
  struct Source;
  std::int64_t FWordId;
  std::map<int, std::unique_ptr<Source>> FSources;
};

// The file a media item is extracted to: its base name inside "temp/"
// under the program folder; empty when the name has no usable base name.
String MediaTempFileName(const String& Name);

enum TLinkKind {
  lkMedia,     // a media item: extract and open
  lkSearch,    // a cross-reference: search the word
  lkExternal,  // a web or mail address to hand to the system
  lkRefused,   // an address that must not be handed to the system
  lkViewer,    // another page: the viewer follows it
};
// What a clicked link is; Target is the word to search or the address.
TLinkKind ClassifyLink(const String& Source, String& Target);

// Whether a media item may be handed to the desktop's default program: only
// pictures, sounds and videos, by the extension of the name the dictionary
// chose. A downloaded dictionary could otherwise ship a launcher, a script
// or a program that the desktop would run.
bool IsPlayableMediaName(const String& Name);

// Whether the viewer may show a local file that a link leads to: only a
// file inside the program's "help/" or "temp/" folder (links resolved),
// never one elsewhere on the disk.
bool ViewerMayShowFile(const String& FileName);
