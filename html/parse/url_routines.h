#pragma once
// Taking URLs apart, resolving relative links against a base, and turning
// "file:" URLs and links into file-system paths ("/" separated).
#include <string_view>

#include "platform/core/types.h"

// The URL up to and including the last "/" of its path (before any query);
// "/" is appended when there is none.
String UrlBase(const String& url);
// Relative resolved against Base; "/../" and "/./" are resolved, never
// climbing above the base's root.
String JoinUrl(const String& base, const String& relative);
// A scheme with "://" (before any "/"), or a mailto address.
bool IsAbsoluteUrl(const String& url);
// The scheme, lower-cased ("http" for "/..." and bare "http:" forms).
String UrlProtocol(const String& url);
void SplitUrl(const String& url, String& protocol, String& user, String& password, String& host,
              String& port, String& path);
// Dest is the URL before the first "#", Anchor the rest with the "#".
void SplitAtAnchor(const String& url, String& dest, String& anchor);
// Directory and name joined with exactly one "/".
String CombineDosPath(const String& dir, const String& name);
// Percent escapes decoded in one pass from left to right. Escaped bytes
// that form UTF-8 become its characters, other bytes the character of
// the same code; a "%" without two hex digits stays as it is.
String& DecodePercentEscapes(String& text);
// A "file:" URL or a link as a file-system path (escapes decoded, the
// "file:" prefix removed).
String UrlToDosPath(const String& url);
// UrlToDosPath; a link rooted at "/" (not a "file:" URL and not "//") is
// put under Root.
String UrlToDosPathWithRoot(const String& url, const String& root);
