#pragma once
// Conversion between legacy code pages (named by their Windows numbers, as
// dictionaries, pages and archives record them) and UTF-16.
#include <cstddef>

#include "platform/core/types.h"

// The "ANSI code page": text files the program keeps in it are UTF-8 here.
constexpr int CP_ACP = 0;
constexpr int CP_OEMCP = 1;
constexpr int CP_MACCP = 2;
constexpr int CP_UTF16LE = 1200;
constexpr int CP_UTF16BE = 1201;
constexpr int CP_UTF8 = 65001;

// The code page that CP_ACP, CP_OEMCP and CP_MACCP stand for (65001, 437
// and 10000); any other number is returned as it is.
int ResolveCodePage(int codePage);

// True when text in this code page can be converted both ways.
bool IsCodePageSupported(int codePage);

// Decodes size bytes. Every input byte is consumed: a byte (or a lead byte
// with its trail byte) that is not valid in the code page becomes U+FFFD,
// and a sequence cut short by the end of the data becomes U+FFFD too.
// An unsupported code page gives an empty result (check IsCodePageSupported
// to tell that apart from empty input). Decoding one byte at a time of a
// single-byte page is a table look-up, cheap enough for per-character use.
String CodePageToUnicode(int codePage, const char* data, size_t size);
String CodePageToUnicode(int codePage, const RawByteString& data);

// Encodes text; characters the code page cannot hold become replacementChar
// ('?' by default), lone surrogates included (UTF-8 writes them as U+FFFD;
// the UTF-16 pages copy every unit as it is). An unsupported code page
// gives an empty result.
RawByteString UnicodeToCodePage(int codePage, const String& text, char replacementChar = '?');
