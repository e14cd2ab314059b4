#include "tools/dictbuilder/dictd_reader.h"

#include <zlib.h>

#include <fstream>
#include <sstream>

#include "tools/dictbuilder/dictionary_writer.h"
#include "tools/dictbuilder/text.h"

namespace dictbuilder {
namespace {

int digitValue(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

[[noreturn]] void malformed(const std::string& path, size_t line, const std::string& what) {
  throw EDictBuilder((path + ":" + std::to_string(line) + ": " + what).c_str());
}

}  // namespace

bool DecodeDictdNumber(const std::string& text, uint64_t& value) {
  if (text.empty() || text.size() > 8) return false;
  value = 0;
  for (char c : text) {
    const int d = digitValue(c);
    if (d < 0) return false;
    value = value * 64 + static_cast<uint64_t>(d);
  }
  return true;
}

std::string ReadMaybeGzipFile(const std::string& path) {
  // gzread passes files that are not compressed through unchanged.
  gzFile f = gzopen(path.c_str(), "rb");
  if (!f) throw EDictBuilder((path + ": cannot open the file").c_str());
  std::string data;
  char buf[1 << 16];
  int n;
  while ((n = gzread(f, buf, sizeof buf)) > 0) data.append(buf, static_cast<size_t>(n));
  int err = 0;
  const char* msg = gzerror(f, &err);
  const std::string error = (n < 0 && msg) ? msg : "";
  gzclose(f);
  if (n < 0) throw EDictBuilder((path + ": cannot read the file: " + error).c_str());
  return data;
}

DictdDictionary ReadDictd(const std::string& indexPath, const std::string& dataPath) {
  std::ifstream index(indexPath, std::ios::binary);
  if (!index) throw EDictBuilder((indexPath + ": cannot open the index").c_str());
  const std::string data = ReadMaybeGzipFile(dataPath);

  DictdDictionary dict;
  std::string line;
  size_t lineNo = 0;
  while (std::getline(index, line)) {
    ++lineNo;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    const size_t tab1 = line.find('\t');
    const size_t tab2 = tab1 == std::string::npos ? tab1 : line.find('\t', tab1 + 1);
    if (tab2 == std::string::npos) malformed(indexPath, lineNo, "expected three tab-separated fields");
    const std::string word = line.substr(0, tab1);
    std::string lengthText = line.substr(tab2 + 1);
    // Some indexes carry a fourth field (the original headword); ignore it.
    if (const size_t tab3 = lengthText.find('\t'); tab3 != std::string::npos) lengthText.resize(tab3);
    uint64_t offset = 0, length = 0;
    if (word.empty()) malformed(indexPath, lineNo, "empty headword");
    if (!DecodeDictdNumber(line.substr(tab1 + 1, tab2 - tab1 - 1), offset))
      malformed(indexPath, lineNo, "bad offset field");
    if (!DecodeDictdNumber(lengthText, length)) malformed(indexPath, lineNo, "bad length field");
    if (offset > data.size() || length > data.size() - offset)
      malformed(indexPath, lineNo, "entry lies outside the data file (offset " + std::to_string(offset) +
                                       ", length " + std::to_string(length) + ", data size " +
                                       std::to_string(data.size()) + ")");
    std::string text = data.substr(offset, length);
    if (word.rfind("00-database-", 0) == 0 || word.rfind("00database", 0) == 0) {
      if (word == "00-database-short" || word == "00databaseshort") {
        // The text repeats the key on its first line; the name follows.
        const auto lines = SplitLines(text);
        for (size_t i = 1; i < lines.size() && dict.ShortName.empty(); ++i)
          dict.ShortName = std::string(Trim(lines[i]));
      }
      continue;
    }
    dict.Entries.push_back({word, std::move(text)});
  }
  if (dict.Entries.empty()) throw EDictBuilder((indexPath + ": the index lists no entries").c_str());
  return dict;
}

}  // namespace dictbuilder
