#pragma once
// Basic vocabulary shared by every area: the two string kinds.
#include <cstdint>
#include <string>

// UTF-16 text, as the rest of the program handles it.
using String = std::u16string;
// UTF-8 bytes (file contents, engine boundary, Qt-free logging).
using UTF8String = std::string;
// Bytes in no particular code page (passwords, raw file data).
using RawByteString = std::string;
