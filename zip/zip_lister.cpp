#include "zip/zip_lister.h"

#include "platform/core/files.h"
#include "zip/zip_archiver.h"
#include "zip/zip_inflate.h"

// ---- views -------------------------------------------------------------------------------

TZAZRec* TZACentralEntry::rec() const {
  TZAZipFile* a = FOwner ? FOwner->CurrentArchive() : nullptr;
  if (!a || FChange != FOwner->ChangeNumber() || FIndex < 0 || FIndex >= a->Count()) return nullptr;
  return a->Entry(FIndex);
}

int64_t TZACentralEntry::CompressedSize() const { auto* r = rec(); return r ? r->CompressedSize() : 0; }
uint16_t TZACentralEntry::CompressionMethod() const { auto* r = rec(); return r ? r->CompressionMethod() : 0; }
uint32_t TZACentralEntry::CRC32() const { auto* r = rec(); return r ? r->CRC32() : 0; }
uint32_t TZACentralEntry::DateTime() const { auto* r = rec(); return r ? r->DateTime() : 0; }
int TZACentralEntry::EncodedAs() const { auto* r = rec(); return r ? r->EncodedAs() : 2; }
bool TZACentralEntry::Encrypted() const { auto* r = rec(); return r ? r->Encrypted() : false; }
uint32_t TZACentralEntry::ExtFileAttrib() const { auto* r = rec(); return r ? r->ExtFileAttrib() : 0; }
RawByteString TZACentralEntry::ExtraField() const { auto* r = rec(); return r ? r->ExtraField() : RawByteString(); }
uint16_t TZACentralEntry::ExtraFieldLength() const { auto* r = rec(); return r ? r->ExtraFieldLength() : 0; }
String TZACentralEntry::FileComment() const { auto* r = rec(); return r ? r->FileComment() : String(); }
uint16_t TZACentralEntry::FileCommentLen() const { auto* r = rec(); return r ? r->FileCommentLen() : 0; }
String TZACentralEntry::FileName() const { auto* r = rec(); return r ? r->FileName() : String(); }
uint16_t TZACentralEntry::FileNameLength() const { auto* r = rec(); return r ? r->FileNameLength() : 0; }
uint16_t TZACentralEntry::Flag() const { auto* r = rec(); return r ? r->Flag() : 0; }
RawByteString TZACentralEntry::HeaderName() const { auto* r = rec(); return r ? r->HeaderName() : RawByteString(); }
uint16_t TZACentralEntry::IntFileAttrib() const { auto* r = rec(); return r ? r->IntFileAttrib() : 0; }
int64_t TZACentralEntry::RelOffLocalHdr() const { auto* r = rec(); return r ? r->RelOffLocalHdr() : 0; }
uint32_t TZACentralEntry::StartOnDisk() const { auto* r = rec(); return r ? r->StartOnDisk() : 0; }
uint32_t TZACentralEntry::StatusBits() const { auto* r = rec(); return r ? r->StatusBits() : 0; }
int64_t TZACentralEntry::UncompressedSize() const { auto* r = rec(); return r ? r->UncompressedSize() : 0; }
uint16_t TZACentralEntry::VersionMadeBy() const { auto* r = rec(); return r ? r->VersionMadeBy() : 0; }
uint16_t TZACentralEntry::VersionNeeded() const { auto* r = rec(); return r ? r->VersionNeeded() : 0; }

// ---- directory view ---------------------------------------------------------------------------

TZACentralEntry* TZACenDir::Entries(int index) const {
  FOwnerOp->CheckIndex(index, FVisible);
  auto& views = const_cast<TZACenDir*>(this)->FViews;
  const size_t block = size_t(index / kViewBlock);
  if (views.size() <= block) views.resize(block + 1);
  if (!views[block]) {
    auto made = std::make_unique<std::vector<TZACentralEntry>>();
    made->reserve(kViewBlock);
    for (int v = int(block) * kViewBlock; v < int(block + 1) * kViewBlock; ++v)
      made->emplace_back(const_cast<TZACenDir*>(this), FChange, v < FVisible ? archiveIndex(v) : v);
    views[block] = std::move(made);
  }
  return &(*views[block])[size_t(index % kViewBlock)];
}

TZACentralEntry* TZACenDir::madeView(int visible) const {
  const size_t block = size_t(visible / kViewBlock);
  if (block >= FViews.size() || !FViews[block]) return nullptr;
  return &(*FViews[block])[size_t(visible % kViewBlock)];
}

TZAZipFile* TZACenDir::Archive() {
  if (!FArchive) {
    FArchive = std::make_unique<TZAZipFile>(FOwnerOp->Zipper());
    FArchive->OnChange = [this](int value, int code) { Changed(value, code); };
  }
  return FArchive.get();
}

void TZACenDir::Clear() {
  FViews.clear();
  FMap.clear();
  FMap.shrink_to_fit();
  FVisible = 0;
  FLeftOut = 0;
}

void TZACenDir::addEntry(int index) {
  TZAZRec* r = FArchive->Entry(index);
  if (!FShowDirOnly && r->TestStatus(zsbDirectory) && r->FUncompressedSize == 0) {
    ++FLeftOut;
    return;
  }
  if (FMap.empty() && index != FVisible) {
    FMap.reserve(size_t(FVisible) + 1);
    for (int v = 0; v < FVisible; ++v) FMap.push_back(v);
  }
  if (!FMap.empty() || index != FVisible) FMap.push_back(index);
  if (TZACentralEntry* view = madeView(FVisible)) view->Renumber(FChange, index);
  ++FVisible;
  TCustomZipArchiver* zip = FOwnerOp->Zipper();
  if (zip && zip->OnNewName) zip->OnNewName(zip, FVisible - 1);
}

void TZACenDir::renumber() {
  FChange = FOwnerOp->NextChangeNumber();
  for (size_t b = 0; b < FViews.size(); ++b)
    if (FViews[b])
      for (size_t i = 0; i < FViews[b]->size(); ++i) (*FViews[b])[i].Renumber(FChange, int(b * kViewBlock + i));
  FVisible = 0;
  FMap.clear();
}

void TZACenDir::Changed(int value, int code) {
  TCustomZipArchiver* zip = FOwnerOp->Zipper();
  switch (code) {
    case 1:
      Clear();
      FChange = value;
      break;
    case 2: break;
    case 3: addEntry(value); break;
    case 6:
      if (zip && zip->OnDirUpdate) zip->OnDirUpdate(zip);
      break;
    case 7: renumber(); break;
    default: break;
  }
}

void TZACenDir::SetUseDirOnly(bool flag) {
  FShowDirOnly = flag;
  if (!FArchive) return;
  FLeftOut = 0;
  renumber();
  for (int i = 0; i < FArchive->Count(); ++i) addEntry(i);
}

// ---- lister --------------------------------------------------------------------------------------

TZALister::TZALister(TCustomZipArchiver* zip) : TZACore(zip) {
  FDir.SetUseDirOnly(zip && zip->UseDirOnlyEntries());
}

void TZALister::SetZipFileName(const String& name, int mode) {
  if (mode == 0) return;
  Load(name, mode == 2);
}

bool TZALister::IsLoaded() const {
  return FZip && !FZip->ZipFileName().empty() && FDir.CurrentArchive() && FDir.CurrentArchive()->Loaded();
}

void TZALister::Load(const String& name, bool quiet) {
  FDir.Clear();
  FDir.FreeArchive();
  if (FZip && FZip->OnDirUpdate) FZip->OnDirUpdate(FZip);
  if (!name.empty()) {
    TZAZipFile* a = FDir.Archive();
    a->SetFileName(name);
    int code = 0;
    try {
      int r = a->OpenZip(false, false);
      if (r < 0) code = r;
    } catch (const EZAException& e) {
      code = int(e.FullCode());
    }
    if (code == 0) {
      a->Close();
      if (FZip) FZip->SetZipCommentFromArchive(a->ArchiveComment());
      FListState = 2;
    } else if (ZAMsgId(code) == ZA_NoZipFile) {
      // A missing package is recorded without a box: the caller decides.
      FDir.Clear();
      if (FZip) FZip->RecordError(code, LoadZipStr(ZA_NoZipFile));
    } else {
      FDir.Clear();
      ShowErrorId(code);
    }
  }
  if (!quiet && FZip && FZip->OnDirUpdate) FZip->OnDirUpdate(FZip);
}

void TZALister::Finished(bool success) {
  TZACore::Finished(success);
  if (!success) {
    if (FDir.CurrentArchive()) FDir.CurrentArchive()->Close();
    return;
  }
  uint8_t s = FListState;
  if (s == 1) {
    FDir.Clear();
    FDir.FreeArchive();
    if (FZip && FZip->OnDirUpdate) FZip->OnDirUpdate(FZip);
  } else if (s == 3 || s == 4) {
    if (FZip) Load(FZip->ZipFileName(), false);
  }
  if (s > 1) readStubSettings();
  FListState = s == 1 ? 0 : FListState;
}

namespace {

uint16_t le16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
uint32_t le32(const uint8_t* p) { return uint32_t(le16(p)) | (uint32_t(le16(p + 2)) << 16); }

// "1|" and "2|" in front of the message carry two of the stub's flags.
String flaggedMessage(uint8_t flags, const String& msg) {
  String prefix;
  if (flags & 1) prefix += u"1|";
  if (flags & 4) prefix += u"2|";
  return prefix + msg;
}

}  // namespace

bool TZALister::applyStubSettings(const RawByteString& stub) {
  TMemoryStream probe;
  probe.WriteBuffer(stub.data(), int64_t(stub.size()));
  int64_t end = ZipStubSize(&probe);
  if (stub.size() < 12001 || end <= 0 || uint64_t(end) + 20 > stub.size()) return false;
  auto* h = reinterpret_cast<const uint8_t*>(stub.data()) + end;
  size_t room = stub.size() - size_t(end);
  uint32_t sig = le32(h);
  String text[5];
  TZASFXOpts opts;
  int overwrite;
  uint8_t flags;
  if (sig == 0x01005A44) {
    size_t at = 18;
    for (int i = 0; i < 5; ++i) {
      size_t len = h[9 + i];
      if (at + len > room) return false;
      text[i] = ZipStrToWide(RawByteString(reinterpret_cast<const char*>(h + at), len), 0);
      at += len;
    }
    uint16_t o = le16(h + 6);
    opts = TZASFXOpts::FromBits((o & 0x3FF) | ((o & 0x800) ? 0x400 : 0));
    overwrite = h[8];
    flags = h[14];
  } else if (sig == 0x0C005A44) {
    RawByteString records;
    if (h[7] & 0x80) {
      uint32_t packed = le32(h + 12), unpacked = le32(h + 16);
      if (packed > room - 20 || unpacked > 65536) return false;
      TMemoryStream src, dst;
      src.WriteBuffer(h + 20, packed);
      src.SetPosition(0);
      TZAInflate inflater(&dst, &src);
      inflater.MaxOutput = unpacked;
      uint32_t crc = 0;
      int r = inflater.Unpack(8, crc, packed);
      if ((r != 0 && r != 150) || uint64_t(dst.Size()) != unpacked) return false;
      records.assign(static_cast<const char*>(dst.Memory()), size_t(dst.Size()));
    } else {
      size_t size = le16(h + 4);
      if (size < 12 || size > room) return false;
      records.assign(reinterpret_cast<const char*>(h + 12), size - 12);
    }
    size_t at = 0;
    while (at < records.size()) {
      uint8_t id = uint8_t(records[at++]);
      size_t zero = records.find('\0', at);
      if (zero == RawByteString::npos) zero = records.size();
      if (id >= 1 && id <= 5) text[id - 1] = ZipUTF8ToWide(records.substr(at, zero - at));
      at = zero + 1;
    }
    uint16_t o = le16(h + 6);
    opts = TZASFXOpts::FromBits((o & 0x3FF) | ((o & 0x800) ? 0x400 : 0) | ((o & 0x1000) ? 0x800 : 0));
    overwrite = h[8];
    flags = h[10];
  } else {
    return false;
  }
  TZASFXOverwriteMode mode = overwrite == 0 ? ovrAlways : overwrite == 1 ? ovrNever : ovrConfirm;
  RawByteString icon;
  if (ZipStubIcon(&probe, icon) != 0) icon = FZip->SFXIcon();
  FZip->SetSFXFromStub(text[0], text[1], text[2], text[3], flaggedMessage(flags, text[4]), opts, mode, icon);
  return true;
}

void TZALister::readStubSettings() {
  if (!FZip) return;
  TZAZipFile* a = FDir.CurrentArchive();
  if (a && a->HasStub() && a->Stub() && !FZip->NoReadAux()) {
    TMemoryStream* stub = a->Stub();
    applyStubSettings(RawByteString(static_cast<const char*>(stub->Memory()), size_t(stub->Size())));
  }
  if (a) FZip->SetSpanFromArchive(FZip->SpanOptions(), a->NumberOfParts() > 1);
  FZip->ClearStubChanged();
}
