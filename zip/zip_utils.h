#pragma once
// Free functions shared by the zip component: text conversion, names and
// paths, DOS date/time, the zip CRC-32, extra-field lists, self-extractor
// probes, file-system wrappers and file-spec matching.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/core/streams.h"
#include "platform/core/types.h"

// Days since 1899-12-30, fractions for the time of day.
using TDateTime = double;

// ---- CRC-32 (reflected polynomial 0xEDB88320)
// Table update without pre- or post-inversion.
uint32_t ZipCRC32Update(uint32_t crc, const void* data, size_t size);
// Chainable form: ZipCRC32(0, whole) == ZipCRC32(ZipCRC32(0, a), b).
uint32_t ZipCRC32(uint32_t crc, const void* data, size_t size);

// ---- text conversion
// The OEM code page of names written by DOS tools. This program's users
// write Russian, so it is 866.
constexpr int ZipOEMCodePage = 866;
// UTF-8 bytes (strictly checked) to UTF-16; on invalid UTF-8 the bytes are
// read in the ANSI code page instead.
String ZipUTF8ToWide(const RawByteString& bytes);
RawByteString ZipWideToUTF8(const String& text);
// 8-bit bytes in a code page (0 = ANSI, 1 = OEM) to UTF-16.
String ZipStrToWide(const RawByteString& bytes, int codePage);
// UTF-16 to the ANSI (0) or OEM (1) code page; characters the page lacks
// are written as "#$" and their four hex digits.
RawByteString ZipWideToStr(const String& text, int codePage);
// Sequence length of a UTF-8 lead byte (1..6), -1 when it cannot lead.
int ZipUTF8SeqLen(uint8_t lead);
// Number of characters of strictly valid UTF-8, -1 when it is not valid.
int ZipValidUTF8(const RawByteString& bytes);
// True when a character is above 126 or below 31.
bool ZipNeedsUnicode(const String& text);
bool ZipHasHighBytes(const RawByteString& bytes);

// ---- names and paths
// Internal form: '\' becomes '/', characters up to U+044F whose low byte is
// a control character or one of ' * : < > ? | become "#$" and hex digits.
String ZipInternalName(const String& name);
String ZipToInternalSep(const String& name);  // '\' -> '/'
String ZipToExternalSep(const String& name);  // '/' -> '\'
// Upper-cased comparison with '/' equal to '\'; <0, 0, >0.
int ZipNameCompare(const String& a, const String& b);
// One UTF-16 unit as names are compared: upper case, '/' as '\\'.
char16_t ZipUpperForCompare(char16_t c);
uint32_t ZipNameHash(const String& name);
// A hash of the whole name under the same folding as ZipNameCompare; the
// bytes form is for names of plain ASCII and agrees with the other.
uint32_t ZipCompareHash(const String& name);
uint32_t ZipCompareHash(std::string_view ascii);
bool ZipNoWildcards(const String& text);
bool ZipEndsWithSep(const String& text);
bool ZipEndsWithSep(const RawByteString& text);
// 1-based position of the last c before limit (0 = whole string), 0 when absent.
int ZipLastPos(const String& s, char16_t c, int limit = 0);
String ZipAddSep(const String& path);
String ZipDelSep(const String& path);
String ZipPathConcat(const String& dir, const String& name);
String ZipNameWithoutExt(const String& name);

// ---- dates
// The DOS date/time of a file's last write, local time; -1 when missing.
int64_t ZipFileDosTime(const String& fileName);
TDateTime ZipDosToDateTime(uint32_t dos);
uint32_t ZipDateTimeToDos(TDateTime value);
uint32_t ZipUnixToDos(int64_t seconds);

// ---- extra fields: blocks {u16 tag, u16 size, data}
bool ZipXHasTag(const RawByteString& extra, uint16_t tag);
// The data of the first block with tag that fits in the field; found tells
// whether there was one.
RawByteString ZipXData(const RawByteString& extra, uint16_t tag, bool* found = nullptr);
size_t ZipXAppend(RawByteString& extra, const RawByteString& header, const RawByteString& data);
RawByteString ZipXKeep(const RawByteString& extra, std::initializer_list<uint16_t> tags);
RawByteString ZipXRemove(const RawByteString& extra, std::initializer_list<uint16_t> tags);

// ---- self-extractor probes
// Size of a Windows program image at the start of the stream (end of its
// last section); 0 when it is not one.
int64_t ZipStubSize(TStream* stream);
// Kind of header after the stub: 1 plain stub, 17/19 archive follows,
// 2065/2067 archive in a separate file (name returned), -7 on failure.
int ZipStubHeader(TStream* stream, String& archiveName, int64_t& archiveStart);
// The first icon resource of a program image: its raw resource bytes (there
// are no system icon handles to make from them here). 0, or the message id
// of what is missing: 117 not a program, 147 no resources, 144 section not
// found, 146 no icon resource, 143 resources unreadable, 149 empty icon.
int ZipStubIcon(TStream* stream, RawByteString& icon);

// ---- file system
bool ZipDirExists(const String& name);
bool ZipFileExists(const String& name);
// Deletes a file. There is no recycle bin to move it to here, so both
// forms delete it for good. -1 when the file does not exist, 0 on success,
// else the system error.
int ZipEraseFile(const String& name, bool final);
bool ZipForceDirectories(const String& name);

// ---- file-spec matching ('|'-separated specs, case-insensitive)
bool FileNameMatch(const String& specs, const String& name);
