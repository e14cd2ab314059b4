#include "zip/zip_central.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/core/files.h"
#include "zip/zip_archiver.h"
#include "zip/zip_bytes.h"

using namespace zipbytes;

namespace {

const int kPrimes[] = {61,   131,  257,  389,   521,   641,   769,   1031,  1283,  1543,  2053,  2579,  3593,  4099,  5147,
                       6151, 7177, 8209, 10243, 12289, 14341, 16411, 18433, 20483, 22521, 24593, 28687, 32771, 40961, 65537};

}  // namespace

// ---- end records ----------------------------------------------------------------------------

void TZAEOC::clearEOC() {
  FMultiDisk = false;
  FThisDisk = FCentralDisk = 0;
  FEntriesOnDisk = FTotalEntries = FCentralOffset = FCentralSize = 0;
  FEOCPosition = FZ64Position = 0;
  FZip64 = false;
  FOffsetShift = 0;
  FComment.clear();
  FStartKind = 0;
  FNumParts = 1;
}

int TZAEOC::OpenEOC(bool skipZip64) {
  clearEOC();
  int result = 0;
  if (IsOpen()) {
    if (!Seek(0)) return -ZA_CODE(zsrcCentral, ZA_SeekInputErr);
  } else if (!Open(fmOpenRead | fmShareDenyWrite)) {
    return FileExists(FFileName) ? -ZA_CODE(zsrcCentral, ZA_CannotOpen) : -ZA_CODE(zsrcCentral, ZA_NoZipFile);
  }
  auto failed = [&](int code) {
    Close();
    return code;
  };
  uint8_t sig[8];
  int got = TZAWorkFile::Read(sig, 8);
  if (got >= 2 && sig[0] == 'M' && sig[1] == 'Z') FStartKind = 3;
  else if (got >= 4 && rd32(sig) == ZipLocalSig) FStartKind = 1;
  else if (got >= 8 && rd32(sig) == ZipDescriptorSig && rd32(sig + 4) == ZipLocalSig) {
    FStartKind = 2;
    FMultiDisk = true;
  }
  int64_t size = FileSize();
  if (size < 22) return failed(-ZA_CODE(zsrcCentral, ZA_InvalidZip));
  FFileSizeAtOpen = uint64_t(size);
  uint8_t rec[22];
  if (!Seek(size - 22)) return failed(-ZA_CODE(zsrcCentral, ZA_SeekInputErr));
  if (TZAWorkFile::Read(rec, -22) != 22) return failed(-ZA_CODE(zsrcCentral, ZA_EOCReadErr));
  const uint8_t* eoc = nullptr;
  std::vector<uint8_t> buf;
  if (rd32(rec) == ZipEndSig) {
    FEOCPosition = uint64_t(size - 22);
    if (rd16(rec + 20) != 0) result |= 1;
    eoc = rec;
  } else {
    size_t len = size_t(std::min<int64_t>(size, 65557));
    buf.resize(len);
    if (!Seek(size - int64_t(len))) return failed(-ZA_CODE(zsrcCentral, ZA_SeekInputErr));
    if (TZAWorkFile::Read(buf.data(), -int(len)) != int(len)) return failed(-ZA_CODE(zsrcCentral, ZA_EOCReadErr));
    for (long i = long(len) - 23; i >= 0; --i) {
      if (rd32(&buf[size_t(i)]) != ZipEndSig) continue;
      eoc = &buf[size_t(i)];
      FEOCPosition = uint64_t(size) - (len - size_t(i));
      size_t after = len - size_t(i) - 22;
      size_t clen = std::min<size_t>(rd16(eoc + 20), after);
      FComment.assign(reinterpret_cast<const char*>(eoc + 22), clen);
      if (22 + clen != len - size_t(i)) result |= 1;
      break;
    }
    if (!eoc) return failed(-ZA_CODE(zsrcCentral, ZA_InvalidZip));
  }
  FThisDisk = rd16(eoc + 4);
  FCentralDisk = rd16(eoc + 6);
  FEntriesOnDisk = rd16(eoc + 8);
  FTotalEntries = rd16(eoc + 10);
  FCentralSize = rd32(eoc + 12);
  FCentralOffset = rd32(eoc + 16);
  FMultiDisk = FMultiDisk || FThisDisk > 0;
  FNumParts = int(FThisDisk) + 1;
  FCurrentPart = int(FThisDisk);
  bool need64 = FTotalEntries == 0xFFFF || FCentralOffset == 0xFFFFFFFF || FEntriesOnDisk == 0xFFFF ||
                FCentralSize == 0xFFFFFFFF || FThisDisk == 0xFFFF || FCentralDisk == 0xFFFF;
  if (need64 && !skipZip64 && FEOCPosition >= 20) {
    uint8_t loc[20];
    if (!Seek(int64_t(FEOCPosition - 20))) return failed(-ZA_CODE(zsrcCentral, ZA_SeekInputErr));
    if (TZAWorkFile::Read(loc, -20) != 20) return failed(-ZA_CODE(zsrcCentral, ZA_EOCReadErr));
    bool ok = rd32(loc) == ZipEnd64LocSig && (FThisDisk != 0xFFFF || rd32(loc + 16) >= 0xFFFF);
    if (ok) {
      FZip64 = true;
      uint32_t totalDisks = rd32(loc + 16);
      if (totalDisks == 0 || totalDisks > 1000) return failed(-ZA_CODE(zsrcCentral, ZA_EOCReadErr));
      FNumParts = int(totalDisks);
      FThisDisk = totalDisks - 1;
      FCurrentPart = int(FThisDisk);
      if (rd32(loc + 4) != FThisDisk) return failed(-ZA_CODE(zsrcCentral, ZA_EOCReadErr));
      FZ64Position = rd64(loc + 8);
      uint8_t z[56];
      // Data in front of the archive moves the zip64 record with it.
      uint64_t at = FZ64Position;
      if (FEOCPosition >= 76 && FZ64Position != FEOCPosition - 76) {
        uint8_t probe[4];
        if (Seek(int64_t(FEOCPosition - 76)) && TZAWorkFile::Read(probe, -4) == 4 && rd32(probe) == ZipEnd64Sig)
          at = FEOCPosition - 76;
      }
      if (!Seek(int64_t(at))) return failed(-ZA_CODE(zsrcCentral, ZA_SeekInputErr));
      if (TZAWorkFile::Read(z, -56) != 56) return failed(-ZA_CODE(zsrcCentral, ZA_EOCReadErr));
      if (rd32(z) == ZipEnd64Sig) {
        FZ64Position = at;
        uint64_t recSize = rd64(z + 4);
        if ((z[14] & 0xFF) >= 46 || recSize < 44 || int64_t(recSize) < 0)
          return failed(-ZA_CODE(zsrcCentral, ZA_UnsupportedVersion));
        if (FCentralDisk == 0xFFFF) FCentralDisk = rd32(z + 20);
        if (FTotalEntries == 0xFFFF) FTotalEntries = rd64(z + 32);
        if (FEntriesOnDisk == 0xFFFF) FEntriesOnDisk = rd64(z + 24);
        if (FCentralSize == 0xFFFFFFFF) FCentralSize = rd64(z + 40);
        if (FCentralOffset == 0xFFFFFFFF) FCentralOffset = rd64(z + 48);
      } else {
        FZip64 = false;
        FZ64Position = 0;
      }
    }
  }
  uint64_t end = FZ64Position ? FZ64Position : FEOCPosition;
  if (!FMultiDisk && end >= FCentralSize + FCentralOffset) {
    FOffsetShift = end - FCentralSize - FCentralOffset;
    if (FOffsetShift) result |= 2;
  }
  return result;
}

// ---- hash list ------------------------------------------------------------------------------

int TZADirHashList::SizeFor(int count) {
  int size;
  if (count < 12000) {
    size = 65537;
    for (int p : kPrimes)
      if (p >= count) {
        size = p;
        break;
      }
  } else {
    size = 65537;
    if (count <= 65537) {
      size = 61;
      for (int p : kPrimes)
        if (p < count) size = p;
    }
  }
  return std::clamp(size, 61, 65537);
}

void TZADirHashList::SetSize(int count) {
  Clear();
  // Half as many slots again as names keeps the runs of a probe short.
  const size_t n = std::max<size_t>(size_t(SizeFor(count)), size_t(count) + size_t(count) / 2 + 1);
  FSlots.assign(n, Slot{0, -1});
}

void TZADirHashList::Clear() {
  FSlots.clear();
  FSlots.shrink_to_fit();
  FUsed = 0;
  FLater.clear();
}

template <typename Name>
size_t TZADirHashList::slotOf(uint32_t h, Name name) const {
  const size_t n = FSlots.size();
  size_t i = home(h);
  for (; FSlots[i].entry >= 0; i = i + 1 == n ? 0 : i + 1) {
    ++FProbes;
    const Slot& s = FSlots[i];
    if (s.hash != h) continue;
    ++FComparisons;
    if (ZipNameCompare(FOwner->Entry(s.entry)->FileName(), name()) == 0) return i;
  }
  return i;
}

int TZADirHashList::firstLive(size_t i, int before) const {
  const int32_t head = FSlots[i].entry;
  if (head >= before) return -1;
  if (!FOwner->Entry(head)->TestStatus(zsbDiscarded)) return head;
  auto it = FLater.find(head);
  if (it == FLater.end()) return -1;
  for (int32_t e : it->second) {
    if (e >= before) break;
    if (!FOwner->Entry(e)->TestStatus(zsbDiscarded)) return e;
  }
  return -1;
}

void TZADirHashList::grow() {
  std::vector<Slot> old(FSlots.size() * 2 + 61, Slot{0, -1});
  old.swap(FSlots);
  const size_t n = FSlots.size();
  for (const Slot& s : old) {
    if (s.entry < 0) continue;
    size_t i = home(s.hash);
    while (FSlots[i].entry >= 0) i = i + 1 == n ? 0 : i + 1;
    FSlots[i] = s;
  }
}

int TZADirHashList::Add(int index, bool allowDuplicates) {
  TZAZRec* rec = FOwner->Entry(index);
  TAMRIX_ASSERT(rec, "nil ZipDirEntry");
  if ((FUsed + 1) * 4 > FSlots.size() * 3) grow();
  const uint32_t h = rec->CompareHash();
  String decoded;
  const size_t i = slotOf(h, [&]() -> const String& {
    if (decoded.empty()) decoded = rec->FileName();
    return decoded;
  });
  Slot& slot = FSlots[i];
  if (slot.entry < 0) {
    slot = Slot{h, index};
    ++FUsed;
    return -1;
  }
  const int earlier = firstLive(i, index);
  if (!allowDuplicates && earlier >= 0) return earlier;
  if (index < slot.entry) {
    // An entry earlier than the one that holds the name takes its place.
    std::vector<int32_t> later;
    if (auto it = FLater.find(slot.entry); it != FLater.end()) {
      later = std::move(it->second);
      FLater.erase(it);
    }
    later.insert(later.begin(), slot.entry);
    slot.entry = index;
    FLater[index] = std::move(later);
  } else {
    std::vector<int32_t>& later = FLater[slot.entry];
    if (later.empty() || later.back() < index) later.push_back(index);
    else if (auto at = std::lower_bound(later.begin(), later.end(), index); at == later.end() || *at != index)
      later.insert(at, index);
  }
  return earlier;
}

int TZADirHashList::Find(const String& name, bool includeDiscarded) const {
  if (FSlots.empty()) return -1;
  const size_t i = slotOf(ZipCompareHash(name), [&]() -> const String& { return name; });
  if (FSlots[i].entry < 0) return -1;
  return includeDiscarded ? FSlots[i].entry : firstLive(i, INT32_MAX);
}

// ---- central directory ------------------------------------------------------------------------

TZACentral::TZACentral(TCustomZipArchiver* zip, TZAWorkBin* owner) : TZAEOC(zip, owner) {}
TZACentral::~TZACentral() = default;

int TZACentral::EncodingSetting() const { return FZip ? int(FZip->Encoding()) : 0; }

TZAZRec* TZACentral::Entry(int index) const {
  CheckIndex(index, Count());
  return FEntries[size_t(index)].get();
}

void TZACentral::AddEntry(std::unique_ptr<TZAZRec> rec) {
  // Grown geometrically: joining or copying a set of a million entries
  // would otherwise move the list a million/64 times.
  if (FEntries.size() == FEntries.capacity()) FEntries.reserve(std::max<size_t>(64, FEntries.size() * 2));
  FEntries.emplace_back(rec.release());
  added(int(FEntries.size() - 1));
}

void TZACentral::added(int) {}

void TZACentral::Clear() {
  FEntries.clear();
  FEntries.shrink_to_fit();
  FStore.Clear();
  FFirstData = 0;
}

void TZACentral::Truncate(int count) {
  if (count < Count()) FEntries.resize(size_t(std::max(0, count)));
}

void TZACentral::ClearCachedNames() {
  for (auto& e : FEntries) e->FStatusBits &= ~uint32_t(0x70000 | zsbHashValid);
  namesChanged();
}

void TZACentral::namesChanged() {}

int TZACentral::FindName(const String& name, int& iterator, bool wildcards) {
  uint32_t h = ZipNameHash(name);
  int start = iterator < 0 ? 0 : iterator;
  for (int i = start; i < Count(); ++i) {
    TZAZRec* rec = FEntries[size_t(i)].get();
    if (rec->TestStatus(zsbSkipSearch | zsbDiscarded)) continue;
    if (!wildcards) {
      if (!rec->TestStatus(zsbHashValid)) {
        rec->FHash = ZipNameHash(rec->FileName());
        rec->SetStatus(zsbHashValid, true);
      }
      if (rec->FHash != h) continue;
    }
    if (FileNameMatch(name, rec->FileName())) {
      iterator = i + 1;
      return i;
    }
  }
  iterator = int(0x80000001);
  return -1;
}

int TZACentral::CheckDuplicates() {
  int dups = 0;
  TZADirHashList hash(this);
  hash.SetSize(Count());
  for (int i = 0; i < Count(); ++i) {
    if (FEntries[size_t(i)]->TestStatus(zsbDiscarded)) continue;
    if (hash.Add(i, true) >= 0) {
      ++dups;
      if (Verbosity() >= 2) TraceMessage(u"Duplicate FileName: " + FEntries[size_t(i)]->FileName());
    }
  }
  return dups;
}

int TZACentral::Load() {
  Clear();
  FStamp = NextChangeNumber();
  if (OnChange) OnChange(FStamp, 1);
  try {
    uint64_t pos = FCentralOffset;
    if (FMultiDisk && int(FCentralDisk) != FCurrentPart) {
      SwitchToPart(int(FCentralDisk));
    } else if (!FZip64) {
      // The archive ends with its comment even when junk follows it.
      uint64_t computed = FEOCPosition >= FCentralSize ? FEOCPosition - FCentralSize : FCentralOffset;
      if (computed != FCentralOffset) {
        ReportMessage(ZA_StructWarning, LoadZipStr(ZA_StructWarning), false);
        uint8_t sig[4];
        if (!Seek(int64_t(FCentralOffset))) throw EZipArchiver(ZA_CODE(zsrcCentral, 204), true);
        bool atStated = TZAWorkFile::Read(sig, -4) == 4 && rd32(sig) == ZipCentralSig;
        pos = atStated ? FCentralOffset : computed;
      }
    } else {
      pos = FCentralOffset + FOffsetShift;
    }
    // A count the directory cannot hold is a lie: refuse it before
    // allocating for it.
    if (FTotalEntries > FCentralSize / 46 || (!FMultiDisk && FCentralSize > uint64_t(FileSize())))
      throw EZipArchiver(ZA_CODE(zsrcCentral, ZA_CentralReadErr), true);
    if (FileSize() == 22) FFirstData = 0;
    if (!Seek(int64_t(pos))) throw EZipArchiver(ZA_CODE(zsrcCentral, 204), true);
    Progress(6, int64_t(FTotalEntries), LoadZipStr(ZA_LoadingDir));
    if (Verbosity() >= 2) TraceMessage(Format(u"List - expecting %d files", int64_t(FTotalEntries)));
    FEntries.reserve(size_t(std::min<uint64_t>(FTotalEntries, 1u << 20)));
    if (OnChange) OnChange(int(std::min<uint64_t>(FTotalEntries, 1u << 20)), 2);
    uint64_t shift = pos - FCentralOffset;
    FFirstData = UINT64_MAX;
    for (uint64_t i = 0; i < FTotalEntries; ++i) {
      TZARecPtr rec(FStore.NewRecord(this));
      int r = rec->Read(&FStore);
      if (r < 0) throw EZipArchiver(r, true);
      if (r > 0) FZip64 = true;
      if (Verbosity() >= 2) TraceMessage(Format(u"List - [%d] \"%s\"", int64_t(i), rec->FileName()));
      FFirstData = std::min<uint64_t>(FFirstData, rec->FRelOffLocal);
      FEntries.push_back(std::move(rec));
      added(int(FEntries.size() - 1));
      if (OnChange) OnChange(int(FEntries.size() - 1), 3);
      if ((i & 255) == 0) Progress(7, 1);
    }
    if (FFirstData == UINT64_MAX) FFirstData = 0;
    FCentralOffset = pos;
    FFirstData += shift;
    if (shift) {
      for (auto& e : FEntries) e->FRelOffLocal += shift;
    }
  } catch (...) {
    Clear();
    Close();
    if (OnChange) OnChange(0, 6);
    throw;
  }
  if (OnChange) OnChange(Count(), 6);
  return 0;
}

int TZACentral::CheckLocalHeader(TZAZRec& rec, uint64_t* dataStart) {
  auto fail = [&](int id) {
    TraceMessage(u"could not read local header: " + rec.FileName());
    return -ZA_CODE(zsrcCentral, id);
  };
  if (!IsOpen() && !Open(fmOpenRead)) return -ZA_CODE(zsrcCentral, ZA_CannotOpen);
  if (FMultiDisk && int(rec.FStartOnDisk) != FCurrentPart) SwitchToPart(int(rec.FStartOnDisk));
  if (!Seek(int64_t(rec.FRelOffLocal))) return fail(ZA_LocalReadErr);
  uint8_t h[30];
  if (Read(h, -4) != 4 || rd32(h) != ZipLocalSig || Read(h + 4, -26) != 26) return fail(ZA_LocalReadErr);
  size_t n = rd16(h + 26), x = rd16(h + 28);
  if (n != rec.FileNameLength()) return fail(ZA_LocalReadErr);
  RawByteString name(n + x, '\0');
  if (n + x > 0 && Read(name.data(), -int(n + x)) != int(n + x)) return fail(ZA_LocalReadErr);
  if (std::string_view(name).substr(0, n) != rec.NameBytes()) {
    ReportMessage(ZA_NamesDiffer, ZipFormat(ZA_NamesDiffer, {rec.FileName()}), false);
    return -ZA_CODE(zsrcCentral, ZA_NamesDiffer);
  }
  if (dataStart) *dataStart = rec.FRelOffLocal + 30 + n + x;
  return 0;
}

// ---- archive file ----------------------------------------------------------------------------------

TZAZipFile::TZAZipFile(TCustomZipArchiver* zip, TZAWorkBin* owner) : TZACentral(zip, owner) {}
TZAZipFile::~TZAZipFile() = default;

void TZAZipFile::added(int index) {
  if (FUseHash) FHash.Add(index, true);
}

// Names read in another encoding hash differently: the table is made anew.
void TZAZipFile::namesChanged() { SetUseHash(FUseHash); }

void TZAZipFile::SetUseHash(bool value) {
  FUseHash = value;
  FHash.Clear();
  if (value) {
    FHash.SetSize(Count());
    for (int i = 0; i < Count(); ++i) FHash.Add(i, true);
  }
}

int TZAZipFile::FindName(const String& name, bool includeDiscarded) {
  if (FUseHash && FHash.Buckets() > 0 && ZipNoWildcards(name)) return FHash.Find(name, includeDiscarded);
  int it = 0;
  return TZACentral::FindName(name, it, !ZipNoWildcards(name));
}

int TZAZipFile::findParts() {
  // A missing name.zip may be the last part of a numbered set.
  String ext = LowerCase(ExtractFileExt(FArchiveName));
  if (ext != u".zip") return -ZA_CODE(zsrcZipFile, ZA_NoZipFile);
  FNamingStyle = 2;
  int64_t firstTime = -1;
  for (int k = 0; k < 1000; ++k) {
    String part = PartFileName(k);
    if (!FileExists(part)) return -ZA_CODE(zsrcZipFile, ZA_NoZipFile);
    int64_t t = FileAge(part);
    if (firstTime < 0) firstTime = t;
    else if (!FZip->SpanOptions().Contains(spAnyTime) && ZipUnixToDos(t) != ZipUnixToDos(firstTime))
      return -ZA_CODE(zsrcZipFile, ZA_NoZipFile);
    FFileName = part;
    int r = OpenEOC(false);
    if (r >= 0) {
      if (FNumParts != k + 1 || (FStartKind != 2 && FNumParts == 1)) {
        Close();
        return -ZA_CODE(zsrcZipFile, ZA_CannotOpen);
      }
      return r;
    }
  }
  return -ZA_CODE(zsrcZipFile, ZA_TooManyParts);
}

int TZAZipFile::OpenZip(bool eocOnly, bool noLoad) {
  FLoaded = false;
  FArchiveName = FFileName;
  FNamingStyle = 0;
  FSpanning = false;
  int r = OpenEOC(eocOnly);
  if (r < 0 && ZAMsgId(r) == ZA_NoZipFile && !FileExists(FArchiveName)) {
    r = findParts();
    if (r < 0) FFileName = FArchiveName;
  } else if (r >= 0 && FNumParts > 1) {
    // Parts of a split set beside the last one: name.z01, name.z02, ...
    FNamingStyle = 3;
    if (!FileExists(PartFileName(0))) FNamingStyle = 2;
  }
  if (r >= 0 && FStartKind == 3) {
    TFileStream* probe = nullptr;
    try {
      probe = new TFileStream(FFileName, fmOpenRead);
      String name = FFileName;
      int64_t start = 0;
      int kind = ZipStubHeader(probe, name, start);
      if (kind >= 17 && start > 0 && start < (1 << 24)) {
        FStub = std::make_unique<TMemoryStream>();
        probe->Seek(0, soBeginning);
        if (FStub->CopyFrom(probe, start) != start) FStub.reset();
      }
    } catch (const Exception&) {
    }
    delete probe;
  }
  if (r < 0) {
    FOpenResult = r;
    Close();
    return r;
  }
  if (Verbosity() >= 2) TraceMessage(u"Open = " + IntToStr(r));
  if (!eocOnly && !noLoad) {
    if (r & 1) ReportMessage(ZA_CommentReadErr, LoadZipStr(ZA_CommentReadErr), false);
    if (r & 2) ReportMessage(ZA_StructWarning, LoadZipStr(ZA_StructWarning), false);
    if (FUseHash) FHash.SetSize(int(std::min<uint64_t>(FTotalEntries, 1u << 20)));
    Load();
    FLoaded = true;
    if (FSpanning) SwitchToPart(FNumParts - 1);
    Identity(FIdDev, FIdIno, FIdSize, FIdTime);
  }
  FOpenResult = r;
  return r;
}

int TZAZipFile::Reopen(unsigned mode) {
  if (!FLoaded) return TZACentral::Reopen(mode);
  int r = TZACentral::Reopen(mode);
  if (r < 0) return r;
  uint64_t dev, ino;
  int64_t size, time;
  Identity(dev, ino, size, time);
  bool same = (mode & 3) == fmOpenRead ? (dev == FIdDev && ino == FIdIno && size == FIdSize && time == FIdTime)
                                       : (ino == FIdIno);
  if (!same) {
    TraceMessage(u"File has changed! " + FFileName);
    return -ZA_CODE(zsrcZipFile, ZA_ZipChanged);
  }
  return 0;
}

void TZAZipFile::AdoptRewrite() {
  Close();
  if (!FLoaded) return;
  if (Open(fmOpenRead)) {
    Identity(FIdDev, FIdIno, FIdSize, FIdTime);
    Close();
  }
}

int64_t TZAZipFile::writeEntry(TZAZRec&) { return 0; }

int TZAZipFile::writeUnsplit(const RawByteString& bytes, int errorId) {
  int n = int(bytes.size());
  int r = Write(bytes.data(), -(n | ZipNoSplit));
  if (r == ZipNewPartBegun) r = Write(bytes.data(), -(n | ZipNoSplit));
  return r == n ? n : -ZA_CODE(zsrcZipFile, errorId);
}

int TZAZipFile::writeEnd(uint32_t cdDisk, uint64_t cdOffset, uint64_t cdSize, uint64_t count, uint64_t onThisDisk) {
  TAMRIX_ASSERT(FComment.size() <= 0xFFFF, "ZipComment length error");
  for (int attempt = 0; attempt < 2; ++attempt) {
    uint32_t thisDisk = uint32_t(WritingSet() ? FCurrentPart : 0);
    bool z64 = cdOffset >= 0xFFFFFFFF || cdSize >= 0xFFFFFFFF || count >= 0xFFFF || onThisDisk >= 0xFFFF ||
               thisDisk >= 0xFFFF || cdDisk >= 0xFFFF;
    RawByteString out;
    if (z64) {
      uint64_t at = uint64_t(Position());
      put32(out, ZipEnd64Sig);
      put64(out, 44);
      put16(out, 45);
      put16(out, 45);
      put32(out, thisDisk);
      put32(out, cdDisk);
      put64(out, onThisDisk);
      put64(out, count);
      put64(out, cdSize);
      put64(out, cdOffset);
      put32(out, ZipEnd64LocSig);
      put32(out, thisDisk);
      put64(out, at);
      put32(out, thisDisk + 1);
    }
    put32(out, ZipEndSig);
    put16(out, thisDisk >= 0xFFFF ? 0xFFFF : thisDisk);
    put16(out, cdDisk >= 0xFFFF ? 0xFFFF : cdDisk);
    put16(out, onThisDisk >= 0xFFFF ? 0xFFFF : unsigned(onThisDisk));
    put16(out, count >= 0xFFFF ? 0xFFFF : unsigned(count));
    put32(out, cdSize >= 0xFFFFFFFF ? 0xFFFFFFFF : uint32_t(cdSize));
    put32(out, cdOffset >= 0xFFFFFFFF ? 0xFFFFFFFF : uint32_t(cdOffset));
    put16(out, unsigned(FComment.size()));
    out += FComment;
    int n = int(out.size());
    int r = Write(out.data(), -(n | ZipNoSplit));
    if (r == n) return 0;
    if (r != ZipNewPartBegun) break;
    // The records begin a new part: that part holds none of the directory.
    onThisDisk = 0;
  }
  return -ZA_CODE(zsrcZipFile, ZA_EOCWriteErr);
}

int TZAZipFile::writeCentral() {
  uint64_t cdStart = 0, cdSize = 0, count = 0, onThisDisk = 0;
  uint32_t cdDisk = 0;
  int index = 0;
  int part = WritingSet() ? FCurrentPart : 0;
  for (auto& e : FEntries) {
    if (e->TestStatus(zsbDiscard | zsbDiscarded)) {
      if (Verbosity() >= 2) TraceMessage(u"skipped Writing central [" + IntToStr(index) + u"] " + e->FileName());
      ++index;
      continue;
    }
    if (Verbosity() >= 2) TraceMessage(u"Writing central [" + IntToStr(index) + u"] " + e->FileName());
    RawByteString h = e->CentralHeader();
    int n = int(h.size());
    int r = Write(h.data(), -(n | ZipNoSplit));
    if (r == ZipNewPartBegun) r = Write(h.data(), -(n | ZipNoSplit));
    if (r != n) return -ZA_CODE(zsrcZipFile, ZA_CentralWriteErr);
    int now = WritingSet() ? FCurrentPart : 0;
    if (now != part) onThisDisk = 0;
    part = now;
    if (count == 0) {
      cdDisk = uint32_t(part);
      cdStart = uint64_t(Position()) - uint64_t(n);
    }
    cdSize += uint64_t(n);
    ++count;
    ++onThisDisk;
    ++index;
  }
  if (count == 0) {
    cdDisk = uint32_t(part);
    cdStart = uint64_t(Position());
  }
  return writeEnd(cdDisk, cdStart, cdSize, count, onThisDisk);
}

int TZAZipFile::Commit(bool latestDate) {
  if (Verbosity() > 1) TraceMessage(u"Commit file");
  int count = 0;
  uint64_t total = uint64_t(StubSize());
  uint32_t latest = 0;
  for (auto& e : FEntries) {
    if (e->TestStatus(zsbDiscard | zsbDiscarded)) continue;
    ++count;
    total += 30 + e->FileNameLength() + e->FCompressedSize;
    latest = std::max(latest, e->FDateTime);
  }
  if (latestDate && latest) SetFileDate(latest);
  Progress(4, count + 1);
  Progress(5, int64_t(total));
  Progress(0, 0, LoadZipStr(ZA_WritingZip));
  if (WritingSet()) {
    // A split set begins with the spanning signature.
    RawByteString sig;
    put32(sig, ZipDescriptorSig);
    if (writeUnsplit(sig, ZA_WriteOutputErr) < 0) return -ZA_CODE(zsrcZipFile, ZA_WriteOutputErr);
    FStartKind = 2;
  } else if (FStub) {
    FStartKind = 3;
    // In pieces: one write moves less than 128 KB.
    auto* p = static_cast<const char*>(FStub->Memory());
    for (int64_t at = 0; at < FStub->Size();) {
      int n = int(std::min<int64_t>(FStub->Size() - at, 65536));
      if (Write(p + at, -n) != n) return -ZA_CODE(zsrcZipFile, ZA_WriteOutputErr);
      at += n;
    }
  } else {
    FStartKind = 1;
  }
  int written = 0;
  for (auto& e : FEntries) {
    if (e->TestStatus(zsbDiscard | zsbDiscarded)) continue;
    int64_t r = writeEntry(*e);
    if (r < 0) return int(r);
    ++written;
    CheckCancel();
  }
  TraceMessage(ZipFormat(ZA_Copying, {LoadZipStr(3)}));
  int r = writeCentral();
  if (r < 0) return r;
  if (WritingSet()) {
    r = FinishSet();
    if (r < 0) return r;
  }
  TraceMessage(u"  finished ok");
  return written;
}

int TZAZipFile::WriteFile(TZAZipFile& source, bool all) {
  TraceMessage(u"Write file");
  // Entries are copied by the offsets read at open: a source changed since
  // then would be copied wrongly.
  if (source.Loaded()) {
    uint64_t dev, ino;
    int64_t size, time;
    if (!source.IsOpen() && !source.Open(fmOpenRead)) return -ZA_CODE(zsrcZipFile, ZA_CannotOpen);
    source.Identity(dev, ino, size, time);
    if (time != source.FIdTime || size != source.FIdSize) return -ZA_CODE(zsrcZipFile, ZA_FileChanged);
  }
  FSource = &source;
  FComment = source.ArchiveComment();
  Clear();
  for (int i = 0; i < source.Count(); ++i) {
    TZAZRec* src = source.Entry(i);
    if (!all && !src->TestStatus(zsbSelected)) {
      if (Verbosity() >= 2) TraceMessage(u"ignoring: " + src->FileName());
      continue;
    }
    if (Verbosity() > 1) TraceMessage(u"including: " + src->FileName());
    auto rec = std::make_unique<TZACopyRec>(this, src);
    rec->Assign(*src);
    if (FindName(src->FileName(), false) >= 0) return -ZA_CODE(zsrcZipFile, ZA_DuplicateName);
    AddEntry(std::move(rec));
  }
  return Commit(FZip && FZip->WriteOptions().Contains(zwoZipTime));
}

int64_t TZACopyRec::CopySize() const {
  return int64_t(30 + FileNameLength() + FLocalExtraLen + FCompressedSize + ((FFlag & 8) ? 16 : 0));
}

TZAZipCopy::TZAZipCopy(TCustomZipArchiver* zip, TZAWorkBin* owner) : TZAZipFile(zip, owner) { FUseHash = true; }

int64_t TZAZipCopy::writeEntry(TZAZRec& rec) {
  auto* copy = dynamic_cast<TZACopyRec*>(&rec);
  if (!copy || !FSource) return 0;
  if (Verbose()) TraceMessage(ZipFormat(ZA_Copying, {rec.FileName()}));
  uint64_t dataStart = 0;
  int r = FSource->CheckLocalHeader(*copy->SourceRec(), &dataStart);
  if (r < 0) return r;
  RawByteString h = rec.LocalHeader(rec.FDateTime, rec.FCRC32);
  int hn = int(h.size());
  // The header starts where it is written: on a new part when the one
  // being written has no room left for it.
  for (int attempt = 0;; ++attempt) {
    rec.FStartOnDisk = uint32_t(WritingSet() ? FCurrentPart : 0);
    rec.FRelOffLocal = uint64_t(Position());
    int w = Write(h.data(), -(hn | ZipNoSplit));
    if (w == hn) break;
    if (w != ZipNewPartBegun || attempt > 0) return -ZA_CODE(zsrcZipFile, ZA_LocalWriteErr);
  }
  if (!FSource->Seek(int64_t(dataStart))) return -ZA_CODE(zsrcZipFile, ZA_SeekErr);
  Progress(0, int64_t(rec.FCompressedSize), rec.FileName());
  int64_t n = CopyFrom(*FSource, int64_t(rec.FCompressedSize));
  Progress(3, 0);
  if (n != int64_t(rec.FCompressedSize)) return -ZA_CODE(zsrcZipFile, ZA_CopyCompressedErr);
  RawByteString d = rec.DataDescriptor();
  if (!d.empty() && writeUnsplit(d, ZA_DescriptorErr) < 0) return -ZA_CODE(zsrcZipFile, ZA_DescriptorErr);
  return int64_t(h.size() + d.size()) + n;
}
