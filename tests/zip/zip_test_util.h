#pragma once
// Helpers for the zip tests: a scratch folder, an archive writer that can
// also tell lies (for hostile archives), and the component set up exactly
// as the dictionary manager sets it up.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/core/files.h"
#include "platform/core/strings.h"
#include "zip/zip_archiver.h"

namespace ziptest {

namespace fs = std::filesystem;

class Folder {
public:
  Folder() : FPath(UTF16ToUTF8(CreateTempFolder(u"tamrix-zip-"))) {}
  ~Folder() {
    std::error_code ec;
    fs::remove_all(FPath, ec);
  }
  // The folder with a trailing "/".
  const std::string& path() const { return FPath; }
  std::string operator/(const std::string& name) const { return FPath + name; }

private:
  std::string FPath;
};

inline std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void writeFile(const std::string& path, const std::string& bytes) {
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream(path, std::ios::binary) << bytes;
}

inline std::string deflateRaw(const std::string& data, int level = 6, int strategy = Z_DEFAULT_STRATEGY) {
  z_stream zs{};
  deflateInit2(&zs, level, Z_DEFLATED, -15, 8, strategy);
  std::string out(deflateBound(&zs, uLong(data.size())) + 16, '\0');
  zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  zs.avail_in = uInt(data.size());
  zs.next_out = reinterpret_cast<Bytef*>(out.data());
  zs.avail_out = uInt(out.size());
  deflate(&zs, Z_FINISH);
  out.resize(zs.total_out);
  deflateEnd(&zs);
  return out;
}

inline uint32_t crcOf(const std::string& s) {
  return uint32_t(crc32(0, reinterpret_cast<const Bytef*>(s.data()), uInt(s.size())));
}

// Bytes of every file under a folder, by relative path.
inline std::vector<std::pair<std::string, std::string>> tree(const std::string& root) {
  std::vector<std::pair<std::string, std::string>> out;
  if (!fs::exists(root)) return out;
  for (auto& e : fs::recursive_directory_iterator(root)) {
    std::string rel = fs::relative(e.path(), root).string();
    if (e.is_symlink()) out.push_back({rel, "<link>"});
    else if (e.is_directory()) out.push_back({rel + "/", ""});
    else out.push_back({rel, readFile(e.path().string())});
  }
  std::sort(out.begin(), out.end());
  return out;
}

// One entry as the writer puts it down; every field can be made to lie.
struct Item {
  std::string name{};
  std::string data{};         // uncompressed
  uint16_t method = 8;        // 0 stored, 8 deflated, others as given
  int level = 6;
  uint16_t flags = 0;
  uint16_t madeBy = 0x031E;   // Unix, 3.0
  uint32_t extAttr = 0100644u << 16;
  std::string extra{};        // central and local
  std::string localName{};    // when not empty: the local header's name
  bool descriptor = false;    // sizes after the data
  bool zip64 = false;         // sizes and offset in the zip64 field
  int64_t lieUSize = -1, lieCSize = -1;
  int64_t lieCrc = -1;
  std::string raw{};          // when not empty: the stored bytes as they are
  int64_t sameDataAs = -1;    // central header points at entry n's local header
};

struct Archive {
  std::vector<Item> items;
  std::string comment;
  std::string prefix, suffix;
  int64_t lieCount = -1;
  bool zip64End = false;
  bool reversedCentral = false;  // central headers in the reverse order of the data

  std::string build() const;
};

inline void put16(std::string& s, unsigned v) {
  s += char(v & 0xFF);
  s += char((v >> 8) & 0xFF);
}
inline void put32(std::string& s, uint32_t v) {
  put16(s, v & 0xFFFF);
  put16(s, v >> 16);
}
inline void put64(std::string& s, uint64_t v) {
  put32(s, uint32_t(v));
  put32(s, uint32_t(v >> 32));
}

inline std::string Archive::build() const {
  std::string out = prefix;
  std::string central;
  std::vector<uint64_t> offsets;
  for (const Item& it : items) {
    std::string stored = !it.raw.empty() ? it.raw : it.method == 8 ? deflateRaw(it.data, it.level) : it.data;
    uint32_t crc = it.lieCrc >= 0 ? uint32_t(it.lieCrc) : crcOf(it.data);
    uint64_t usize = it.lieUSize >= 0 ? uint64_t(it.lieUSize) : it.data.size();
    uint64_t csize = it.lieCSize >= 0 ? uint64_t(it.lieCSize) : stored.size();
    uint64_t offset = it.sameDataAs >= 0 ? offsets[size_t(it.sameDataAs)] : out.size() - 0;
    offsets.push_back(offset);
    uint16_t flags = uint16_t(it.flags | (it.descriptor ? 8 : 0));
    uint16_t needed = it.zip64 ? 45 : 20;
    if (it.sameDataAs < 0) {
      std::string lname = it.localName.empty() ? it.name : it.localName;
      std::string lextra = it.extra;
      if (it.zip64) {
        std::string z;
        put16(z, 1);
        put16(z, 16);
        put64(z, usize);
        put64(z, csize);
        lextra = z + lextra;
      }
      put32(out, 0x04034B50);
      put16(out, needed);
      put16(out, flags);
      put16(out, it.method);
      put32(out, 0x5A8E6000);  // 2025-04-14 12:00
      put32(out, it.descriptor ? 0 : crc);
      put32(out, it.zip64 ? 0xFFFFFFFF : it.descriptor ? 0 : uint32_t(csize));
      put32(out, it.zip64 ? 0xFFFFFFFF : it.descriptor ? 0 : uint32_t(usize));
      put16(out, unsigned(lname.size()));
      put16(out, unsigned(lextra.size()));
      out += lname + lextra + stored;
      if (it.descriptor) {
        put32(out, 0x08074B50);
        put32(out, crc);
        put32(out, uint32_t(csize));
        put32(out, uint32_t(usize));
      }
    }
    std::string cextra = it.extra;
    if (it.zip64) {
      std::string z;
      put16(z, 1);
      put16(z, 24);
      put64(z, usize);
      put64(z, csize);
      put64(z, offset - prefix.size());
      cextra = z + cextra;
    }
    std::string header;
    put32(header, 0x02014B50);
    put16(header, it.madeBy);
    put16(header, needed);
    put16(header, flags);
    put16(header, it.method);
    put32(header, 0x5A8E6000);
    put32(header, crc);
    put32(header, it.zip64 ? 0xFFFFFFFF : uint32_t(csize));
    put32(header, it.zip64 ? 0xFFFFFFFF : uint32_t(usize));
    put16(header, unsigned(it.name.size()));
    put16(header, unsigned(cextra.size()));
    put16(header, 0);
    put16(header, 0);
    put16(header, 0);
    put32(header, it.extAttr);
    put32(header, it.zip64 ? 0xFFFFFFFF : uint32_t(offset - prefix.size()));
    header += it.name + cextra;
    if (reversedCentral) central.insert(0, header);
    else central += header;
  }
  uint64_t cdOffset = out.size() - prefix.size();
  out += central;
  uint64_t count = lieCount >= 0 ? uint64_t(lieCount) : items.size();
  if (zip64End) {
    uint64_t at = out.size() - prefix.size();
    put32(out, 0x06064B50);
    put64(out, 44);
    put16(out, 45);
    put16(out, 45);
    put32(out, 0);
    put32(out, 0);
    put64(out, count);
    put64(out, count);
    put64(out, central.size());
    put64(out, cdOffset);
    put32(out, 0x07064B50);
    put32(out, 0);
    put64(out, at);
    put32(out, 1);
  }
  put32(out, 0x06054B50);
  put16(out, 0);
  put16(out, 0);
  put16(out, zip64End ? 0xFFFF : unsigned(count));
  put16(out, zip64End ? 0xFFFF : unsigned(count));
  put32(out, zip64End ? 0xFFFFFFFF : uint32_t(central.size()));
  put32(out, zip64End ? 0xFFFFFFFF : uint32_t(cdOffset));
  put16(out, unsigned(comment.size()));
  out += comment + suffix;
  return out;
}

// The result of one extraction through the component.
struct Outcome {
  int result = -1;
  int errCode = -1;
  std::string message;
  std::vector<std::string> messages;
  int lastPerCent = -1;
};

// Extracts as the dictionary manager does (active, library from the
// folder it was built in, ExtrDirNames + ExtrOverWrite, no password),
// unattended so that no box waits.
inline Outcome extract(const std::string& archive, const std::string& folder,
                       TZAExtrOpts options = TZAExtrOpts{ExtrDirNames, ExtrOverWrite},
                       const std::function<void(TZipArchiver&)>& setup = {}) {
  Outcome o;
  // The dictionaries folder exists before anything is installed into it.
  if (!options.Contains(ExtrTest)) fs::create_directories(folder);
  TZipArchiver zip(nullptr);
  zip.SetUnattended(true);
  zip.OnMessage = [&](TObject*, int, const String& text) { o.messages.push_back(UTF16ToUTF8(text)); };
  zip.OnProgress = [&](TObject*, TZAProgressDetails& d) {
    if (d.ProgressKind() == 1) o.lastPerCent = d.ItemPerCent();
  };
  zip.SetActive(true);
  zip.SetDLLDirectory(UTF8ToUTF16(TAMRIX_ZIPLIB_DIR) + u"/");
  if (setup) setup(zip);
  zip.SetDLL_Load(true);
  zip.SetZipFileName(UTF8ToUTF16(archive));
  zip.FSpecArgs()->Clear();
  zip.SetExtrBaseDir(UTF8ToUTF16(folder));
  zip.SetExtrOptions(options);
  o.result = zip.Extract();
  o.errCode = zip.ErrCode();
  o.message = UTF16ToUTF8(zip.ErrMessage());
  return o;
}

// Runs a shell command (Debian's zip for real-tool fixtures); its status.
inline int run(const std::string& command) { return std::system(command.c_str()); }

}  // namespace ziptest
