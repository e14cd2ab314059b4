#pragma once
// UTF-8 <-> UTF-16 conversion for every text that crosses the SQLite
// boundary. Dictionary files are read through these routines, so their
// treatment of malformed input is fixed: each bad sequence becomes one
// U+FFFD and consumes the bytes described at Utf8DecodeChar; the result never
// holds a stray 0 unit and the decoder never reads past the given bytes.
#include <cstddef>

#include "platform/core/types.h"

struct sqlite3_value;

// Decodes a UTF-8 byte string (whatever its origin) into UTF-16. Characters
// beyond U+FFFF become a surrogate pair.
String Utf8ToUnicode(const UTF8String& bytes);
String Utf8ToUnicodeBuf(const char* p, size_t count);

// Encodes UTF-16 as UTF-8. A surrogate pair becomes one 4-byte sequence; a
// lone surrogate becomes U+FFFD (EF BF BD), so the output is always valid
// UTF-8 for the engine and for any other reader of the file.
UTF8String UnicodeToUtf8(const String& text);
UTF8String UnicodeToUtf8Buf(const char16_t* p, size_t count);

// Decodes one character from p (count >= 1 bytes available). Returns the
// number of bytes consumed (1 to 6) and stores the code point, or U+FFFD for
// a malformed, overlong, surrogate, U+FFFE/U+FFFF or out-of-range sequence.
//
// Consumption: a byte that cannot start a sequence consumes itself; a lead
// byte followed by too few continuation bytes consumes itself and the
// continuation bytes that were there, and decoding resumes at the first byte
// that failed; a complete sequence consumes all its bytes even when its value
// is rejected. Lead bytes F8..FB and FC..FF claim 5 and 6 bytes.
int Utf8DecodeChar(const char* p, size_t count, char32_t& cp);

// Encodes one code point at d, which must have room for 4 bytes. Returns the
// byte count (1 to 4). Surrogate code points and values above U+10FFFF are
// written as U+FFFD.
int Utf8EncodeChar(char32_t cp, char* d);

// The bytes of an SQL function argument, as the engine's UTF-8 text.
UTF8String ValueToUtf8(sqlite3_value* value);

// Number of 16-bit units before the first zero unit.
size_t Utf16Length(const char16_t* p);
