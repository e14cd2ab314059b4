#pragma once
// TZAInflate: the component's own decoder for small packed data (message
// language blocks, self-extractor settings, stored data): raw deflate
// (RFC 1951) or stored bytes, from one stream to another, with the zip
// CRC-32 of the output checked against an expected value.
#include <cstdint>
#include <functional>

#include "platform/core/streams.h"
#include "platform/core/types.h"

class TZAInflate {
public:
  // dest may be null: the output is then only counted and its CRC taken.
  TZAInflate(TStream* dest, TStream* source);

  // Reads {u16 method, u32 expected CRC} and unpacks the remaining
  // size - 6 bytes. 176 when the 6 bytes cannot be read.
  int UnpackWithHeader(uint64_t size);
  // Unpacks size bytes of method 0 (stored) or 8 (deflated); 0 on success,
  // 128 for another method, 150 when the CRC differs (crc then holds the
  // computed value), 175 for a short stored read, 198 when the decoding
  // tables would need more than their pool, 8 when the output would pass
  // MaxOutput, and small positive codes for damaged deflate data.
  int Unpack(int method, uint32_t& crc, uint64_t size);

  uint64_t Produced() const { return FProduced; }
  // 0 = no limit. Output beyond the limit fails instead of being written.
  uint64_t MaxOutput = 0;
  // Called with 32768 after each full window.
  std::function<void(int bytes)> OnProgress;
  std::function<void(const String& text)> OnTrace;

  static constexpr int kWindowSize = 32768;
  static constexpr int kTablePool = 1800;

private:
  struct Huffman;
  int inflateBlocks();
  int storedBlock();
  int codes(const Huffman& lit, const Huffman& dist);
  int dynamicTables(Huffman& lit, Huffman& dist);
  int buildTable(Huffman& h, const uint8_t* lengths, int n, int incomplete);
  int decode(const Huffman& h, int& symbol);
  int decodeCanonical(const Huffman& h, int& symbol, bool buffered);
  void refill();
  bool need(int bits);
  uint32_t bits(int n);
  bool fillInput();
  bool put(uint8_t byte);
  bool flush();
  void trace(const String& text) {
    if (OnTrace) OnTrace(text);
  }

  TStream* FDest;
  TStream* FSource;
  uint64_t FInputLeft = 0;  // bytes of the source still allowed
  uint64_t FProduced = 0;
  uint32_t FCrc = 0;
  uint8_t FWindow[kWindowSize + 1];
  int FWindowPos = 0;
  uint8_t FInput[kWindowSize];
  int FInPos = 0;
  int FInLen = 0;
  uint64_t FBitBuf = 0;
  int FBitCount = 0;
  int FTableUse = 0;
  bool FOverLimit = false;
  bool FWriteFailed = false;
};
