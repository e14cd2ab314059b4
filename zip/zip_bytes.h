#pragma once
// Little-endian fields of zip records, read from bytes and appended to a
// byte string.
#include <cstdint>

#include "platform/core/strings.h"

namespace zipbytes {

inline uint16_t rd16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
inline uint32_t rd32(const uint8_t* p) { return uint32_t(rd16(p)) | (uint32_t(rd16(p + 2)) << 16); }
inline uint64_t rd64(const uint8_t* p) { return uint64_t(rd32(p)) | (uint64_t(rd32(p + 4)) << 32); }
inline void put16(RawByteString& s, unsigned v) {
  s += char(v & 0xFF);
  s += char((v >> 8) & 0xFF);
}
inline void put32(RawByteString& s, uint32_t v) {
  put16(s, v & 0xFFFF);
  put16(s, v >> 16);
}
inline void put64(RawByteString& s, uint64_t v) {
  put32(s, uint32_t(v));
  put32(s, uint32_t(v >> 32));
}

}  // namespace zipbytes
