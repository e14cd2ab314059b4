#pragma once
// TBuffer: the bytes of one page or style sheet with a read position and
// the code page they are decoded with; the tokeniser and the style reader
// take it one UTF-16 code unit at a time. Beside it, the table of charset
// names a page may declare and the charset <-> code page pairs.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string_view>
#include <vector>

#include "platform/core/object.h"
#include "platform/core/streams.h"
#include "platform/core/types.h"

// Code pages that are no system code page: the decoding of a UTF-16 source
// in either byte order, and of an ISO-2022-JP source.
constexpr int CodePageUtf16LE = -3;
constexpr int CodePageUtf16BE = -4;
constexpr int CodePageIso2022JP = -5;
// Charset of a UTF-16 source.
constexpr std::uint16_t CharSetUtf16 = 0xFFFF;

class TBuffer : public TObject {
public:
  // A copy of the bytes; a byte-order mark or an ISO-2022-JP text fixes the
  // code page, otherwise the system code page is used until SetCodePage.
  static std::unique_ptr<TBuffer> CreateFromBytes(const void* data, std::size_t size, const String& name);
  // The bytes from the stream's position to its end (the caller keeps the
  // stream).
  static std::unique_ptr<TBuffer> CreateFromStream(TStream& stream, const String& name);
  // The UTF-16 text itself, stored low byte first; never re-decoded.
  static std::unique_ptr<TBuffer> CreateFromString(const String& text, const String& name);
  ~TBuffer() override;

  // The next UTF-16 code unit, moving past it; 0 at the end of the data.
  // Bytes that stand for one character by themselves take the inline path.
  [[gnu::always_inline]] char16_t NextChar() {
    if (FFast && FPos < FEnd) {
      const char16_t c = FFast[FData[FPos]];
      if (c < Utf8Lead2) {
        ++FPos;
        return c;
      }
      if (c == Utf8Lead2 && FEnd - FPos >= 2 && (FData[FPos + 1] & 0xC0) == 0x80) {
        const char16_t r = char16_t(((FData[FPos] & 0x1F) << 6) | (FData[FPos + 1] & 0x3F));
        FPos += 2;
        return r;
      }
    } else if (FWideLE && FEnd - FPos >= 2) {
      const char16_t c = char16_t(FData[FPos] | (FData[FPos + 1] << 8));
      FPos += 2;
      return c;
    }
    return nextSlow();
  }
  // The character NextChar would return, without moving past it.
  char16_t PeekChar() {
    if (FFast && FPos < FEnd) {
      const char16_t c = FFast[FData[FPos]];
      if (c < Utf8Lead2) return c;
    }
    return peekSlow();
  }
  // The unread data when each of its units (bytes, or 16-bit units stored
  // low byte first) below 128 reads as that character by itself and no
  // other unit reads as a character below 128: UTF-8, the single-byte
  // pages that keep ASCII, and little-endian UTF-16. UnitSize is 0 for
  // every other source.
  struct TUnits {
    const std::uint8_t* Data = nullptr;
    std::size_t Size = 0;
    int UnitSize = 0;
  };
  TUnits AsciiUnits() const { return TUnits{FData.data() + FPos, FEnd - FPos, FAsciiUnitSize}; }
  // Past units that AsciiUnits gave, each below 128.
  void SkipAsciiUnits(std::size_t count) { FPos += count * std::size_t(FAsciiUnitSize); }
  // What ReadRun leaves behind: the characters taken, and the last of
  // them with the byte offset it starts at.
  struct TRun {
    std::size_t Count = 0;
    char16_t Last = 0;
    int LastPosition = 0;
  };
  // Takes the characters NextChar would return while its inline path
  // decodes them and keep(c) holds, at most max; each is appended to chars
  // with the offset it starts at to positions (when given). The first
  // other character stays unread.
  template <typename Keep>
  TRun ReadRun(std::size_t max, Keep keep, String* chars, std::vector<int>* positions) {
    // Taken in blocks: appending a block costs about what appending one
    // character does.
    constexpr std::size_t Block = 64;
    char16_t block[Block];
    int blockPositions[Block];
    std::size_t n = 0;
    const auto flush = [&] {
      if (chars) chars->append(block, n);
      if (positions) {
        const std::size_t size = positions->size();
        positions->resize(size + n);
        std::memcpy(positions->data() + size, blockPositions, n * sizeof(int));
      }
      n = 0;
    };
    TRun run;
    // Locals, so that the loop keeps them in registers.
    const std::uint8_t* data = FData.data();
    const char16_t* fast = FFast;
    const std::size_t end = FEnd;
    std::size_t pos = FPos;
    for (; run.Count < max; ++run.Count) {
      char16_t c;
      std::size_t length;
      if (fast && pos < end) {
        c = fast[data[pos]];
        length = 1;
        if (c >= Utf8Lead2) {
          if (c != Utf8Lead2 || end - pos < 2 || (data[pos + 1] & 0xC0) != 0x80) break;
          c = char16_t(((data[pos] & 0x1F) << 6) | (data[pos + 1] & 0x3F));
          length = 2;
        }
      } else if (FWideLE && end - pos >= 2) {
        c = char16_t(data[pos] | (data[pos + 1] << 8));
        length = 2;
      } else {
        break;
      }
      if (!keep(c)) break;
      run.Last = c;
      run.LastPosition = static_cast<int>(pos);
      block[n] = c;
      blockPositions[n] = run.LastPosition;
      if (++n == Block) flush();
      pos += length;
    }
    FPos = pos;
    if (n > 0) flush();
    return run;
  }
  // Decoded text of the bytes [from, to); the read position is kept.
  String GetString(int from, int to);
  // The rest of the text, decoded; the position moves to the end.
  String ReadToEnd();
  // Byte offset from the start of the data (a byte-order mark counts).
  int GetPosition() const { return static_cast<int>(FPos); }
  void SetPosition(int value);
  int Size() const { return static_cast<int>(FData.size()); }
  void Reset();

  std::uint16_t CharSet() const { return FCharSet; }
  void SetCharSet(std::uint16_t value) { FCharSet = value; }
  int CodePage() const { return FCodePage; }
  // Ignored once a byte-order mark, ISO-2022-JP or a string source fixed
  // the code page.
  void SetCodePage(int value);
  // A stretch of text in a code page of its own (a FONT CHARSET run): from
  // byte Position on, the text decodes with CodePage (EndCodePageRun: with
  // the buffer's own code page again), for NextChar and for GetString and
  // ReadToEnd alike, so that a page and its source text agree. CodePage()
  // stays the buffer's own. Positions come in source order (an earlier one
  // reads the page again: what was noted from there on goes); ignored once
  // the code page is locked.
  void BeginCodePageRun(int Position, int CodePage);
  void EndCodePageRun(int Position);
  bool CodePageLocked() const { return (FFlags & LockFlag) != 0; }
  // The bytes a character takes at least: 2 in a UTF-16 source, else 1.
  int UnitSize() const {
    return FStartCodePage == CodePageUtf16LE || FStartCodePage == CodePageUtf16BE ? 2 : 1;
  }
  const String& Name() const { return FName; }

  struct Decoder;
  // Marks a byte of a decoder's fast table that needs the full decoder,
  // and the lead byte of a two-byte UTF-8 character. No code page maps a
  // byte to either (both are noncharacters).
  static constexpr char16_t SlowPath = 0xFFFF;
  static constexpr char16_t Utf8Lead2 = 0xFFFE;

private:
  TBuffer(std::vector<std::uint8_t> data, const String& name);
  void detectEncoding();
  void selectDecoder() { selectDecoder(FInRun ? FRunCodePage : FCodePage); }
  void selectDecoder(int codePage);
  void switchCodePage(std::size_t position, bool inRun, int codePage);
  String decodeWithRuns(std::size_t from, std::size_t to);
  String decodeSameCodePage(std::size_t from, std::size_t to);
  char16_t nextSlow();
  char16_t peekSlow();
  char16_t nextWide();
  char16_t nextUtf8();
  char16_t nextIso2022();
  unsigned nextIso2022Bytes(std::uint8_t out[2]);
  char16_t decodeMultiByte(const Decoder& d);
  String decodeRange(std::size_t from, std::size_t to);

  static constexpr std::uint8_t LockFlag = 1;

  std::vector<std::uint8_t> FData;
  String FName;
  std::size_t FPos = 0;
  std::size_t FEnd = 0;
  std::uint8_t FJisMode = 0;
  std::uint8_t jisModeAt(std::size_t pos) const;
  std::uint8_t FFlags = 0;
  std::uint16_t FCharSet = 1;
  int FCodePage = 0;
  int FStartCodePage = 0;
  // Where the text switches into a run's code page or back to the own one
  // (OwnCodePage), in source order; and the run in force while reading.
  struct TCodePageSwitch {
    std::size_t Position;
    int CodePage;
  };
  static constexpr int OwnCodePage = INT32_MIN;
  std::vector<TCodePageSwitch> FSwitches;
  bool FInRun = false;
  int FRunCodePage = 0;
  const Decoder* FDecoder = nullptr;
  // The character of each byte that is one by itself, or SlowPath; none
  // for sources read in 16-bit units or with shift states.
  const char16_t* FFast = nullptr;
  // A little-endian UTF-16 source (every string source).
  bool FWideLE = false;
  int FAsciiUnitSize = 0;  // see AsciiUnits
};

// One row of the charset-name table.
class TBuffCharSetCodePageInfo : public TObject {
public:
  // A code page of -1 takes the charset's paired code page.
  TBuffCharSetCodePageInfo(const String& name, int codePage, std::uint16_t charSet);
  const String& Name() const { return FName; }
  std::uint16_t CharSet() const { return FCharSet; }
  int CodePage() const { return FCodePage; }

private:
  String FName;
  std::uint16_t FCharSet;
  int FCodePage;
};

// The entry for a charset name from a page (exact match ignoring case, or
// failing that the last table name found inside the given one), or nullptr.
const TBuffCharSetCodePageInfo* GetCharSetCodePageInfo(std::u16string_view name);
// Paired code page of a charset; EConversionError for an unknown one.
int CharSetToCodePage(int charSet);
// Charset of a code page; EConversionError for an unknown one.
int CodePageToCharSet(int codePage);
