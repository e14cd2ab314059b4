#include "zip/zip_records.h"

#include <algorithm>
#include <new>

#include "platform/core/strings.h"
#include "zip/zip_bytes.h"
#include "zip/zip_central.h"
#include "zip/zip_messages.h"

using namespace zipbytes;

namespace {

// A Unicode path or comment field made for exactly these stored bytes.
bool unicodeField(std::string_view extra, uint16_t tag, std::string_view stored, String& out) {
  if (extra.size() < 4) return false;
  bool found = false;
  RawByteString d = ZipXData(RawByteString(extra), tag, &found);
  if (!found || d.size() < 5 || uint8_t(d[0]) != 1) return false;
  if (rd32(reinterpret_cast<const uint8_t*>(d.data() + 1)) != ZipCRC32(0, stored.data(), stored.size())) return false;
  RawByteString text = d.substr(5);
  if (ZipValidUTF8(text) < 0) return false;
  out = UTF8ToUTF16(text);
  return true;
}

enum { encShift = 16, encMask = 0x7 << 16 };

}  // namespace

RawByteString TZADirEntry::ExtraData(uint16_t tag) const {
  RawByteString x = ExtraField();
  if (x.size() < 4) return {};
  return ZipXData(x, tag);
}

int TZAZRec::DecodeEncoding() const {
  uint32_t cached = (FStatusBits & encMask) >> encShift;
  if (cached) return int(cached);
  int setting = FOwner ? FOwner->EncodingSetting() : 0;
  int enc = setting;
  if (enc == 0) {
    String dummy;
    if (FFlag & 0x0800) enc = 3;
    else if (unicodeField(ExtraBytes(), ZipTagUPath, NameBytes(), dummy) ||
             unicodeField(ExtraBytes(), ZipTagUComment, CommentBytes(), dummy))
      enc = 4;
    else if ((FVersionMadeBy >> 8) == 0 || (FVersionMadeBy >> 8) == 6 || FVersionMadeBy == 0x0B32)
      enc = 2;
    else
      enc = 1;
  }
  const_cast<TZAZRec*>(this)->FStatusBits = (FStatusBits & ~uint32_t(encMask)) | (uint32_t(enc) << encShift);
  return enc;
}

int TZAZRec::EncodedAs() const { return DecodeEncoding(); }

namespace {
String decodeText(int enc, std::string_view stored, std::string_view extra, uint16_t tag) {
  String out;
  if (enc == 4 && unicodeField(extra, tag, stored, out)) return out;
  const RawByteString raw(stored);
  if (!ZipHasHighBytes(raw)) return ZipStrToWide(raw, 0);
  switch (enc) {
    case 2: out = ZipStrToWide(raw, 1); break;
    case 3: out = ZipUTF8ToWide(raw); break;
    default: out = ZipStrToWide(raw, 0); break;
  }
  if (out.empty()) out = ZipStrToWide(raw, 0);
  return out;
}
}  // namespace

String TZAZRec::FileName() const {
  // Names keep '/' between folders: that is this system's separator.
  return ZipToInternalSep(decodeText(DecodeEncoding(), NameBytes(), ExtraBytes(), ZipTagUPath));
}

uint32_t TZAZRec::CompareHash() const {
  // A plain ASCII name reads the same in every encoding but a Unicode path
  // field's: its hash needs no decoded copy.
  std::string_view name = NameBytes();
  bool plain = DecodeEncoding() != 4;
  for (size_t i = 0; plain && i < name.size(); ++i) plain = uint8_t(name[i]) <= 126 && uint8_t(name[i]) >= 31;
  if (plain) return ZipCompareHash(name);
  return ZipCompareHash(FileName());
}

TZAZRec* TZARecBytes::NewRecord(TZACentral* owner) {
  auto* rec = new (Allocate(sizeof(TZAZRec), alignof(TZAZRec))) TZAZRec(owner);
  rec->FInStore = true;
  return rec;
}

TZAZRec::~TZAZRec() {
  if (FOwnsBytes) delete[] FBytes;
}

void TZAZRec::setBytes(std::string_view name, std::string_view extra, std::string_view comment) {
  char* p = new char[name.size() + extra.size() + comment.size() + 1];
  std::copy(name.begin(), name.end(), p);
  std::copy(extra.begin(), extra.end(), p + name.size());
  std::copy(comment.begin(), comment.end(), p + name.size() + extra.size());
  if (FOwnsBytes) delete[] FBytes;
  FBytes = p;
  FOwnsBytes = true;
  FNameLen = uint16_t(name.size());
  FExtraLen = uint16_t(extra.size());
  FCommentLen = uint16_t(comment.size());
}

char* TZARecBytes::Allocate(size_t count, size_t align) {
  size_t pad = size_t(-reinterpret_cast<uintptr_t>(FNext)) & (align - 1);
  if (count + pad > FLeft) {
    // A header's bytes never exceed 192 KB: a block always holds one.
    const size_t size = std::max<size_t>(count + align, 1 << 20);
    FBlocks.push_back(std::make_unique<char[]>(size));
    FNext = FBlocks.back().get();
    FLeft = size;
    pad = size_t(-reinterpret_cast<uintptr_t>(FNext)) & (align - 1);
  }
  FNext += pad;
  FLeft -= pad;
  char* p = FNext;
  FNext += count;
  FLeft -= count;
  return p;
}

String TZAZRec::FileComment() const {
  return decodeText(DecodeEncoding(), CommentBytes(), ExtraBytes(), ZipTagUComment);
}

int TZAZRec::Read(TZARecBytes* store) {
  TZACentral* f = FOwner;
  SetStatus(zsbReading, true);
  uint8_t h[46];
  int r = f->Reads(h, {4, 1, 1, 2, 2, 2, 2, 2, 4, 4, 4, 2, 2, 2, 2, 2, 4, 4});
  if (r != 46) return -ZA_CODE(zsrcRecords, ZA_CentralReadErr);
  if (rd32(h) != ZipCentralSig) return -ZA_CODE(zsrcRecords, ZA_WrongCentralSig);
  FVersionMadeBy = rd16(h + 4);
  FVersionNeeded = rd16(h + 6);
  FFlag = rd16(h + 8);
  FMethod = rd16(h + 10);
  FDateTime = uint32_t(rd16(h + 12)) | (uint32_t(rd16(h + 14)) << 16);
  FCRC32 = rd32(h + 16);
  FCompressedSize = rd32(h + 20);
  FUncompressedSize = rd32(h + 24);
  const int n = rd16(h + 28), x = rd16(h + 30), c = rd16(h + 32);
  FStartOnDisk = rd16(h + 34);
  FIntAttrib = rd16(h + 36);
  FExtAttrib = rd32(h + 38);
  FRelOffLocal = rd32(h + 42);
  const int total = n + x + c;
  if (FOwnsBytes) delete[] FBytes;
  char* rest = store ? (total ? store->Allocate(size_t(total)) : nullptr) : new char[size_t(total) + 1];
  if (!rest) rest = const_cast<char*>("");
  FBytes = rest;
  FOwnsBytes = store == nullptr;
  FNameLen = uint16_t(n);
  FExtraLen = uint16_t(x);
  FCommentLen = uint16_t(c);
  if (total > 0) {
    r = f->Read(rest, -total);
    if (r != total) {
      int got = r < 0 ? 0 : r;
      FNameLen = FExtraLen = FCommentLen = 0;
      if (got < n) return -ZA_CODE(zsrcRecords, ZA_NameReadErr);
      if (got < n + x) return -ZA_CODE(zsrcRecords, 204);
      return -ZA_CODE(zsrcRecords, ZA_CommentReadErr);
    }
  }
  SetStatus(zsbDirectory, !NameBytes().empty() && (NameBytes().back() == '/' || NameBytes().back() == '\\'));
  SetStatus(zsbReading, false);
  return applyZip64();
}

int TZAZRec::applyZip64() {
  bool needU = FUncompressedSize == 0xFFFFFFFF, needC = FCompressedSize == 0xFFFFFFFF;
  bool needO = FRelOffLocal == 0xFFFFFFFF, needD = FStartOnDisk == 0xFFFF;
  // Only a header that says it needs zip64 is read with the zip64 field.
  if ((FVersionNeeded & 0xFF) < 45 || !(needU || needC || needO || needD)) return 0;
  bool found = false;
  RawByteString d = ZipXData(ExtraField(), ZipTagZip64, &found);
  size_t want = (needU ? 8 : 0) + (needC ? 8 : 0) + (needO ? 8 : 0) + (needD ? 4 : 0);
  if (!found || d.size() < want) return -ZA_CODE(zsrcRecords, ZA_Zip64FieldErr);
  auto* p = reinterpret_cast<const uint8_t*>(d.data());
  if (needU) FUncompressedSize = rd64(p), p += 8;
  if (needC) FCompressedSize = rd64(p), p += 8;
  if (needO) FRelOffLocal = rd64(p), p += 8;
  if (needD) FStartOnDisk = rd32(p);
  return 1;
}

void TZAZRec::FixVersions() {
  // 0x0B32 (read as OEM names) is written as DOS 3.0 before anything else.
  if (FVersionMadeBy == 0x0B32) FVersionMadeBy = 0x001E;
  if ((FVersionMadeBy & 0xFF) >= 46 || (FVersionNeeded & 0xFF) >= 46) return;
  bool z64 = NeedsZip64() || FRelOffLocal >= 0xFFFFFFFF || FStartOnDisk >= 0xFFFF;
  if (z64) FVersionMadeBy = uint16_t((FVersionMadeBy & 0xFF00) | 45);
  else if ((FVersionMadeBy & 0xFF) == 45) FVersionMadeBy = uint16_t((FVersionMadeBy & 0xFF00) | 30);
  unsigned need;
  switch (FMethod) {
    case 0: need = 10; break;
    case 9: need = 21; break;
    case 10: need = 25; break;
    case 12: need = 46; break;
    default: need = (FMethod >= 1 && FMethod <= 8) ? 20 : 45; break;
  }
  if ((FFlag & 0x20) && need < 27) need = 27;
  if (z64 && need < 45) need = 45;
  FVersionNeeded = uint16_t((FVersionNeeded & 0xFF00) | need);
}

RawByteString TZAZRec::CentralHeader() {
  bool bigU = FUncompressedSize >= 0xFFFFFFFF, bigC = FCompressedSize >= 0xFFFFFFFF;
  bool bigO = FRelOffLocal >= 0xFFFFFFFF, bigD = FStartOnDisk >= 0xFFFF;
  RawByteString extra = ZipXRemove(ExtraField(), {ZipTagZip64});
  if (bigU || bigC || bigO || bigD) {
    RawByteString z;
    if (bigU) put64(z, FUncompressedSize);
    if (bigC) put64(z, FCompressedSize);
    if (bigO) put64(z, FRelOffLocal);
    if (bigD) put32(z, FStartOnDisk);
    RawByteString head;
    put16(head, ZipTagZip64);
    put16(head, unsigned(z.size()));
    extra = head + z + extra;
  }
  FixVersions();
  RawByteString h;
  put32(h, ZipCentralSig);
  put16(h, FVersionMadeBy);
  put16(h, FVersionNeeded);
  put16(h, FFlag);
  put16(h, FMethod);
  put32(h, FDateTime);
  put32(h, FCRC32);
  put32(h, bigC ? 0xFFFFFFFF : uint32_t(FCompressedSize));
  put32(h, bigU ? 0xFFFFFFFF : uint32_t(FUncompressedSize));
  put16(h, FNameLen);
  put16(h, unsigned(extra.size()));
  put16(h, FCommentLen);
  put16(h, bigD ? 0xFFFF : FStartOnDisk);
  put16(h, FIntAttrib);
  put32(h, FExtAttrib);
  put32(h, bigO ? 0xFFFFFFFF : uint32_t(FRelOffLocal));
  h += NameBytes();
  h += extra;
  h += CommentBytes();
  return h;
}

RawByteString TZAZRec::LocalHeader(uint32_t dosTime, uint32_t crc) {
  if ((FFlag & 9) == 8) FFlag &= uint16_t(~8u);
  bool z64 = NeedsZip64();
  RawByteString extra;
  if (z64) {
    put16(extra, ZipTagZip64);
    put16(extra, 16);
    put64(extra, FUncompressedSize);
    put64(extra, FCompressedSize);
  }
  extra += ZipXRemove(ExtraField(), {ZipTagZip64, ZipTagNTFS, ZipTagUComment});
  FLocalExtraLen = uint16_t(extra.size());
  SetStatus(zsbLocal64, z64);
  FixVersions();
  bool descriptor = (FFlag & 8) != 0;
  RawByteString h;
  put32(h, ZipLocalSig);
  put16(h, FVersionNeeded);
  put16(h, FFlag);
  put16(h, FMethod);
  put32(h, dosTime);
  put32(h, descriptor ? 0 : crc);
  put32(h, z64 ? 0xFFFFFFFF : descriptor ? 0 : uint32_t(FCompressedSize));
  put32(h, z64 ? 0xFFFFFFFF : descriptor ? 0 : uint32_t(FUncompressedSize));
  put16(h, FNameLen);
  put16(h, unsigned(extra.size()));
  h += NameBytes();
  return h + extra;
}

RawByteString TZAZRec::DataDescriptor() const {
  if (!(FFlag & 8)) return {};
  RawByteString d;
  put32(d, ZipDescriptorSig);
  put32(d, FCRC32);
  if ((FVersionNeeded & 0xFF) >= 45) {
    put64(d, FCompressedSize);
    put64(d, FUncompressedSize);
  } else {
    put32(d, uint32_t(FCompressedSize));
    put32(d, uint32_t(FUncompressedSize));
  }
  return d;
}

bool ZipIsValidName(const String& name) {
  if (name.empty() || name.size() >= 260) return false;
  if (name[0] == u'\\' || name[0] == u'/' || name[0] == u'.' || name[0] == u' ') return false;
  size_t lastSep = name.find_last_of(u"/\\");
  if ((lastSep == String::npos ? name.size() : name.size() - lastSep - 1) > 255) return false;
  for (size_t i = 0; i < name.size(); ++i) {
    char16_t c = name[i];
    if (c < 0x20 || c == u':' || c == u'<' || c == u'>' || c == u'?' || c == u'|' || c == u'*') return false;
    char16_t next = i + 1 < name.size() ? name[i + 1] : 0;
    if (c == u'.' && (next == u'\\' || next == u'/' || next < 0x20)) return false;
    if (c == u'/' || c == u'\\') {
      if (i > 0 && name[i - 1] == u' ') return false;
      if (next == u'/' || next == u'\\' || next == u'.' || next == u' ') return false;
    }
  }
  return name.back() != u' ';
}

int TZAZRec::encodeNameComment(const String& name, const String& comment) {
  String internal = ZipInternalName(name);
  RawByteString hName = ZipWideToStr(internal, 1), hComment = ZipWideToStr(comment, 1);
  bool nameU = ZipNeedsUnicode(name), commentU = ZipNeedsUnicode(comment);
  RawByteString extra = ZipXRemove(ExtraField(), {ZipTagUPath, ZipTagUComment});
  uint16_t flag = uint16_t(FFlag & ~0x0800u);
  uint16_t madeBy = 0x001E;
  if (nameU || commentU) {
    int enc = FOwner ? FOwner->EncodingSetting() : 0;
    if (enc == 0) enc = (nameU && commentU) ? 3 : 4;
    if (enc == 3) {
      hName = ZipWideToUTF8(internal);
      hComment = ZipWideToUTF8(comment);
      flag |= 0x0800;
    } else if (enc == 4) {
      auto field = [&](uint16_t tag, const String& text, const RawByteString& header) {
        RawByteString utf8 = ZipWideToUTF8(text), f;
        put16(f, tag);
        put16(f, unsigned(utf8.size() + 5));
        f += char(1);
        put32(f, ZipCRC32(0, header.data(), header.size()));
        extra += f + utf8;
      };
      if (nameU) field(ZipTagUPath, internal, hName);
      if (commentU) field(ZipTagUComment, comment, hComment);
    } else if (enc == 1) {
      hName = ZipWideToStr(internal, 0);
      hComment = ZipWideToStr(comment, 0);
      if (ZipHasHighBytes(hName) || ZipHasHighBytes(hComment)) madeBy = 0x0B1E;
    }
  }
  if (extra.size() + hName.size() + hComment.size() >= 65535) return -ZA_CODE(zsrcRecords, ZA_CEHTooLong);
  setBytes(hName, extra, hComment);
  FFlag = flag;
  FVersionMadeBy = madeBy;
  FStatusBits &= ~uint32_t(encMask);
  SetStatus(zsbDirectory, ZipEndsWithSep(hName));
  return 0;
}

int TZAZRec::SetName(const String& newName) {
  String n = newName;
  for (auto& c : n)
    if (c == u'\\') c = u'/';
  if (n.size() >= 2 && n[0] == u'.' && n[1] == u'/') n.erase(0, 2);
  bool oldDir = ZipEndsWithSep(HeaderName()), newDir = ZipEndsWithSep(n);
  if (FNameLen > 0 && oldDir != newDir) return -ZA_CODE(zsrcRecords, ZA_NoChangePath);
  if (n.size() > 260) n.resize(260);
  if (!ZipIsValidName(newDir ? n.substr(0, n.size() - 1) : n)) return -ZA_CODE(zsrcRecords, ZA_InvalidName);
  if (FOwner) {
    auto* zf = dynamic_cast<TZAZipFile*>(FOwner);
    if (zf) {
      int hit = zf->FindName(n, false);
      if (hit >= 0 && zf->Entry(hit) != this) return -ZA_CODE(zsrcRecords, ZA_DuplicateName);
    }
  }
  SetStatus(zsbChanged, true);
  return encodeNameComment(n, FileComment());
}

int TZAZRec::SetComment(const String& comment) {
  SetStatus(zsbChanged, true);
  return encodeNameComment(FileName(), comment);
}

int TZAZRec::SetExtraField(const RawByteString& extra) {
  RawByteString kept = ZipXKeep(ExtraField(), {ZipTagZip64, ZipTagUPath, ZipTagUComment});
  RawByteString merged = kept + ZipXRemove(extra, {ZipTagZip64, ZipTagUPath, ZipTagUComment});
  if (merged.size() + FNameLen + FCommentLen >= 65535) return -ZA_CODE(zsrcRecords, ZA_CEHTooLong);
  setBytes(NameBytes(), merged, CommentBytes());
  SetStatus(zsbChanged, true);
  return 0;
}

int TZAZRec::SetDateTime(uint32_t dos) {
  if (Encrypted()) return -ZA_CODE(zsrcRecords, ZA_ChangeEncrypted);
  FDateTime = dos;
  SetStatus(zsbChanged, true);
  return 0;
}

void TZAZRec::Assign(const TZAZRec& o) {
  FMethod = o.FMethod;
  FCompressedSize = o.FCompressedSize;
  FCRC32 = o.FCRC32;
  FStartOnDisk = o.FStartOnDisk;
  FExtAttrib = o.FExtAttrib;
  FIntAttrib = o.FIntAttrib;
  FDateTime = o.FDateTime;
  FRelOffLocal = o.FRelOffLocal;
  FStatusBits = o.FStatusBits & ~uint32_t(zsbHashValid);
  FUncompressedSize = o.FUncompressedSize;
  FVersionNeeded = o.FVersionNeeded;
  setBytes(o.NameBytes(), o.ExtraBytes(), o.CommentBytes());
  FFlag = o.FFlag;
  FVersionMadeBy = o.FVersionMadeBy;
}
