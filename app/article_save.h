#pragma once
// Saving the shown page: as an HTML file with its pictures in a folder
// beside it, or as plain text. Both files are written whole or not at all
// (a temporary file beside the target, flushed and renamed).
#include <functional>
#include <memory>
#include <vector>

#include "platform/core/streams.h"
#include "platform/core/types.h"

// Name with Extension (".html") appended, unless it already ends in it
// (compared without regard to case).
String WithExtension(const String& Name, const String& Extension);

// A text from a caption or a dictionary made usable as one file name in a
// folder: separators, control characters and characters that the desktop's
// file systems or a link would read otherwise become "_"; an empty name,
// "." and ".." become "_"; at most 200 characters are kept, and no more
// than leave room in a name's 255 bytes (of UTF-8) for the pictures
// folder's ".files", cut between characters.
String SafeFileName(const String& Name);

// The longest start of Text whose UTF-8 form has at most MaxBytes bytes,
// never ending inside a character.
String CutToUtf8Bytes(const String& Text, size_t MaxBytes);

// Text made safe as a relative link: every byte of its UTF-8 form other than
// letters, digits, "-", ".", "_", "~" and "/" percent-escaped.
String EscapeUrlPath(const String& Path);

// The page as plain text: every "</h1>" and "<br>" (any case) becomes CR
// LF, every tag goes, and so do "&bull;" and "&acute;"; other entities stay.
// A ">" that opens no tag (article text may hold one) stays in the text,
// as does a "<" that no ">" closes.
String ArticleSourceToText(const String& Source);

// A picture of the page, as the page names it (the dictionary index and the
// item's name) and the file it is saved as inside the folder.
struct TSavedMedia {
  int DictIndex = -1;
  String Name;
  String FileName;
};

// Points the page's media references ("*" + dictionary index + "/" + name,
// in double-quoted attribute values) at Folder + "/" + a safe file name, so
// that the page finds its pictures relative to itself. Media lists each
// distinct picture once (a picture stands twice in a page, as link and
// image); two names that would make the same file name get distinct ones.
String PointMediaIntoFolder(const String& Source, const String& Folder, std::vector<TSavedMedia>& Media);

// The bytes of a media item (an empty stream when there is none).
using TMediaFetch = std::function<std::unique_ptr<TMemoryStream>(int DictIndex, const String& Name)>;

// Writes the page's text to FileName as UTF-8 with CR LF line ends.
// Raises EFCreateError naming the file when it cannot be written.
void SaveArticleAsText(const String& FileName, const String& Source);

// Writes the page to FileName as UTF-8, its pictures into the folder
// FileName without ".html" + ".files" (its name cut to fit when the page's
// fits and it would not; made when the page has pictures; pictures already
// there are kept, not fetched again). Raises EFCreateError naming the file
// or folder that cannot be written (its FileName too); a
// picture that cannot be fetched raises the fetch's error.
void SaveArticleAsHtml(const String& FileName, const String& Source, const TMediaFetch& Fetch);
