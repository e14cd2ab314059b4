#pragma once
// Conversion between legacy code pages (named by their Windows numbers, as
// dictionaries, pages and archives record them) and UTF-16.
#include <cstddef>

#include "platform/core/types.h"

// The "ANSI code page": text files the program keeps in it are UTF-8 here.
constexpr int CP_ACP = 0;
constexpr int CP_OEMCP = 1;
constexpr int CP_UTF16LE = 1200;
constexpr int CP_UTF16BE = 1201;
constexpr int CP_UTF7 = 65000;
constexpr int CP_UTF8 = 65001;

// The code page that CP_ACP and CP_OEMCP stand for (UTF-8 and 437).
int ResolveCodePage(int codePage);

// True when text in this code page can be converted both ways.
bool IsCodePageSupported(int codePage);

// Decodes size bytes. Every input byte is consumed: a byte (or a lead byte
// with its trail byte) that is not valid in the code page becomes U+FFFD,
// and a sequence cut short by the end of the data becomes U+FFFD too.
// An unsupported code page decodes as Latin-1 so no text is lost silently.
String CodePageToUnicode(int codePage, const char* data, size_t size);
String CodePageToUnicode(int codePage, const RawByteString& data);

// Encodes text; characters the code page cannot hold become replacementChar
// ('?' by default). Lone surrogates are treated as unrepresentable.
RawByteString UnicodeToCodePage(int codePage, const String& text, char replacementChar = '?');

// Windows code-page number for a charset name as used in web pages and
// mail ("windows-1251", "koi8-r", "shift_jis", "utf-8", ...); 0 if unknown.
int CodePageFromCharsetName(const String& name);
