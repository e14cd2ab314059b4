#include "zip/zip_messages.h"

#include <mutex>
#include <vector>

#include "platform/core/streams.h"
#include "zip/zip_inflate.h"
#include "zip/zip_utils.h"

namespace {

struct BuiltIn {
  int id;
  const char* text;
};
const BuiltIn kBuiltIn[] = {
#include "zip/zip_message_table.inc"
};

void put16(RawByteString& s, size_t at, unsigned v) {
  s[at] = char(v & 0xFF);
  s[at + 1] = char((v >> 8) & 0xFF);
}

// The built-in English messages as an 8-bit message table, in the same
// form as a language table, so one look-up serves both.
RawByteString makeBuiltInTable() {
  struct Range {
    int first, last, slot;
  };
  std::vector<Range> ranges;
  for (const auto& m : kBuiltIn) {
    if (!ranges.empty() && ranges.back().last + 1 == m.id) ranges.back().last = m.id;
    else ranges.push_back({m.id, m.id, 0});
  }
  size_t header = 8 + 6 * (ranges.size() + 1);
  size_t words = 0;
  for (auto& r : ranges) words += size_t(r.last - r.first + 1);
  // Offset words follow the ranges, aligned to a word; slots count words
  // from the start of the table.
  size_t firstSlot = (header + 1) / 2;
  RawByteString t(firstSlot * 2 + words * 2, '\0');
  put16(t, 6, 0);  // 8-bit texts
  size_t slot = firstSlot;
  for (size_t i = 0; i < ranges.size(); ++i) {
    ranges[i].slot = int(slot);
    put16(t, 8 + 6 * i, unsigned(ranges[i].last));
    put16(t, 8 + 6 * i + 2, unsigned(ranges[i].first));
    put16(t, 8 + 6 * i + 4, unsigned(slot));
    slot += size_t(ranges[i].last - ranges[i].first + 1);
  }
  put16(t, 8 + 6 * ranges.size(), 0xFFFF);
  size_t r = 0;
  for (const auto& m : kBuiltIn) {
    while (m.id > ranges[r].last) ++r;
    size_t word = size_t(ranges[r].slot + (m.id - ranges[r].first));
    put16(t, word * 2, unsigned(t.size()));
    t += m.text;
    t += '\0';
  }
  return t;
}

struct LanguageState {
  std::mutex lock;
  RawByteString builtIn;
  bool builtInMade = false;
  RawByteString installed;  // an installed language table; empty when none
  unsigned installedId = 0;
  String installedName;
  bool selecting = false;
  TZALoadStrEvent onLoadStr;
  // Language blocks of the program's resources. This program links none.
  RawByteString resource;
};

LanguageState& state() {
  static LanguageState s;
  return s;
}

String tagOf(const String& name) {
  size_t i = 0;
  while (i < name.size() && name[i] == u' ') ++i;
  String tag;
  while (i < name.size() && ((name[i] >= u'a' && name[i] <= u'z') || (name[i] >= u'A' && name[i] <= u'Z')))
    tag += char16_t(name[i] >= u'a' ? name[i] - 32 : name[i]), ++i;
  return tag;
}

String blockTag(const RawByteString& blocks, size_t offset) {
  String tag;
  for (size_t k = 0; k < 4 && offset + 4 + k < blocks.size() && blocks[offset + 4 + k]; ++k)
    tag += char16_t(uint8_t(blocks[offset + 4 + k]));
  return tag;
}

}  // namespace

String ZipTableLookup(const RawByteString& table, int id) {
  if (table.size() < 50 || id < 0) return {};
  auto word = [&](size_t byteAt) -> int {
    if (byteAt + 2 > table.size()) return -1;
    return uint8_t(table[byteAt]) | (uint8_t(table[byteAt + 1]) << 8);
  };
  bool wide = word(6) != 0;
  size_t at = 8;
  for (;;) {
    int last = word(at), first = word(at + 2), slot = word(at + 4);
    if (last < 0 || last == 0xFFFF) return {};
    if (id <= last) {
      if (id < first || first < 0 || slot < 0) return {};
      int offset = word(2 * size_t(slot + id - first));
      if (offset <= 0) return {};
      String text;
      if (!wide) {
        size_t p = size_t(offset);
        RawByteString bytes;
        while (p < table.size() && table[p]) bytes += table[p++];
        return ZipStrToWide(bytes, 0);
      }
      for (size_t p = 2 * size_t(offset); p + 1 < table.size(); p += 2) {
        char16_t c = char16_t(uint8_t(table[p]) | (uint8_t(table[p + 1]) << 8));
        if (!c) break;
        text += c;
      }
      return text;
    }
    at += 6;
  }
}

bool ZipUnpackLanguageBlock(const RawByteString& blocks, size_t offset, RawByteString& table, unsigned& langId) {
  if (offset + 12 > blocks.size()) return false;
  auto b = [&](size_t i) { return uint32_t(uint8_t(blocks[offset + i])); };
  langId = b(0) | (b(1) << 8);
  uint32_t len = b(2) | (b(3) << 8);
  uint32_t crc = b(8) | (b(9) << 8) | (b(10) << 16) | (b(11) << 24);
  if (len < 4 || offset + 8 + len > blocks.size()) return false;
  TMemoryStream src, dst;
  src.WriteBuffer(blocks.data() + offset + 12, len - 4);
  src.SetPosition(0);
  TZAInflate inflater(&dst, &src);
  inflater.MaxOutput = 20000;
  uint32_t expect = crc;
  if (inflater.Unpack(8, expect, len - 4) != 0 || dst.Size() >= 20000) return false;
  table.assign(static_cast<const char*>(dst.Memory()), size_t(dst.Size()));
  return true;
}

String LoadZipStr(int id) {
  auto& s = state();
  String text;
  TZALoadStrEvent handler;
  {
    std::lock_guard<std::mutex> lock(s.lock);
    if (!s.installed.empty()) text = ZipTableLookup(s.installed, id);
    if (text.empty()) {
      if (!s.builtInMade) {
        s.builtIn = makeBuiltInTable();
        s.builtInMade = true;
      }
      text = ZipTableLookup(s.builtIn, id);
    }
    handler = s.onLoadStr;
  }
  if (handler) {
    String def = text;
    handler(id, def);
    if (!def.empty()) text = def;
  }
  if (text.empty()) text = u"Resource missing for " + IntToStr(id);
  return text;
}

void SetZipLoadStrHandler(TZALoadStrEvent handler) {
  std::lock_guard<std::mutex> lock(state().lock);
  state().onLoadStr = std::move(handler);
}

String SetZipMsgLanguage(const String& name) {
  auto& s = state();
  std::lock_guard<std::mutex> lock(s.lock);
  String tag = tagOf(name);
  if (tag.size() < 2 || tag == u"US") {
    s.installed.clear();
    s.installedId = 0;
    s.installedName.clear();
    return u"US";
  }
  // Longest match of the first 2..4 letters against the resource's blocks.
  size_t best = size_t(-1);
  size_t bestLen = 0;
  for (size_t at = 0; at + 12 <= s.resource.size();) {
    String bt = blockTag(s.resource, at);
    size_t n = 0;
    while (n < 4 && n < tag.size() && n < bt.size() && tag[n] == bt[n]) ++n;
    if (n >= 2 && n > bestLen) {
      best = at;
      bestLen = n;
    }
    at += 8 + (uint8_t(s.resource[at + 2]) | (uint8_t(s.resource[at + 3]) << 8));
  }
  if (best == size_t(-1)) return s.installedName.empty() ? String(u"US") : s.installedName;
  RawByteString table;
  unsigned id;
  if (!ZipUnpackLanguageBlock(s.resource, best, table, id)) return u"US";
  s.installed = table;
  s.installedId = id;
  s.installedName = tag;
  return tag;
}

unsigned SetZipMsgLanguageID(unsigned id) {
  auto& s = state();
  std::lock_guard<std::mutex> lock(s.lock);
  if (s.selecting) return s.installedId ? s.installedId : 1033;
  if (id == 1033 || id >= 0x10000 || id == 0) {
    s.installed.clear();
    s.installedId = 0;
    s.installedName.clear();
    return 1033;
  }
  s.selecting = true;
  size_t exact = size_t(-1), primary = size_t(-1);
  for (size_t at = 0; at + 12 <= s.resource.size();) {
    unsigned lid = uint8_t(s.resource[at]) | (uint8_t(s.resource[at + 1]) << 8);
    if (lid == id || (id < 1024 && (lid & 0x3FF) == id)) {
      exact = at;
      break;
    }
    if (primary == size_t(-1) && (lid & 0x3FF) == (id & 0x3FF)) primary = at;
    at += 8 + (uint8_t(s.resource[at + 2]) | (uint8_t(s.resource[at + 3]) << 8));
  }
  size_t pick = exact != size_t(-1) ? exact : primary;
  RawByteString table;
  unsigned got;
  if (pick != size_t(-1) && ZipUnpackLanguageBlock(s.resource, pick, table, got)) {
    s.installed = table;
    s.installedId = got;
    s.installedName = blockTag(s.resource, pick);
  }
  s.selecting = false;
  return s.installedId ? s.installedId : 1033;
}

unsigned GetZipMsgLanguageID() {
  std::lock_guard<std::mutex> lock(state().lock);
  return state().installedId ? state().installedId : 1033;
}

String GetZipMsgLanguageInfo(int index, int info) {
  auto& s = state();
  std::lock_guard<std::mutex> lock(s.lock);
  unsigned id = 1033;
  String name;
  if (index == 0) {
    if (s.installed.empty()) return info == 0 ? String(u"$0409") : String(u"US: default");
    id = s.installedId;
    name = s.installedName;
  } else {
    size_t at = 0;
    int k = 1;
    while (at + 12 <= s.resource.size() && k < index) {
      at += 8 + (uint8_t(s.resource[at + 2]) | (uint8_t(s.resource[at + 3]) << 8));
      ++k;
    }
    if (at + 12 > s.resource.size()) return u"><";
    id = uint8_t(s.resource[at]) | (uint8_t(s.resource[at + 1]) << 8);
    name = blockTag(s.resource, at);
  }
  if (info == 0) return u"$" + IntToHex(int(id), 4);
  if (info == -1) return name;
  return name;  // no locale database: the tag stands for the locale text
}

// ---- exceptions ---------------------------------------------------------------------

EZAException::EZAException(int code, bool display) : Exception(String(u"TZipArchiver exception")) {
  setCode(code);
  FDisplay = display;
}

EZAException::EZAException(int code, std::initializer_list<TVarRec> args)
    : Exception(String(u"TZipArchiver exception")) {
  setCode(code);
  String text = LoadZipStr(FId);
  if (!text.empty()) SetMessage(ZipFormat(FId, args));
  FDisplay = true;
}

void EZAException::setCode(int code) {
  FFullCode = code < 0 ? 0u - unsigned(code) : unsigned(code);
  FId = int(FFullCode & 0x1FF);
  String text = LoadZipStr(FId);
  if (text.empty()) {
    SetMessage(Format(u"Unknown error (%d)", FId));
    FId = 1;
  } else {
    SetMessage(text);
  }
}

String ZipFormat(int id, std::initializer_list<TVarRec> args) {
  String text = LoadZipStr(id);
  if (text.empty()) return text;
  // The format comes from the message table, never from archive data; a
  // table text that does not fit its arguments is shown as it stands.
  try {
    return Format(text, args);
  } catch (const Exception&) {
    return text;
  }
}
