#include "zip/zip_lister.h"

#include "platform/core/files.h"
#include "zip/zip_archiver.h"

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
  return FViews[size_t(index)].get();
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
  FVisible = 0;
  FLeftOut = 0;
}

void TZACenDir::addEntry(int index) {
  TZAZRec* r = FArchive->Entry(index);
  if (!FShowDirOnly && r->TestStatus(zsbDirectory) && r->FUncompressedSize == 0) {
    ++FLeftOut;
    return;
  }
  if (FVisible < int(FViews.size())) FViews[size_t(FVisible)]->Renumber(FChange, index);
  else FViews.push_back(std::make_unique<TZACentralEntry>(this, FChange, index));
  ++FVisible;
  TCustomZipArchiver* zip = FOwnerOp->Zipper();
  if (zip && zip->OnNewName) zip->OnNewName(zip, FVisible - 1);
}

void TZACenDir::renumber() {
  FChange = FOwnerOp->NextChangeNumber();
  for (size_t i = 0; i < FViews.size(); ++i) FViews[i]->Renumber(FChange, int(i));
  FVisible = 0;
}

void TZACenDir::Changed(int value, int code) {
  TCustomZipArchiver* zip = FOwnerOp->Zipper();
  switch (code) {
    case 1:
      Clear();
      FChange = value;
      break;
    case 2: FViews.reserve(size_t(std::max(0, value))); break;
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

void TZALister::readStubSettings() {
  if (!FZip) return;
  TZAZipFile* a = FDir.CurrentArchive();
  if (a) FZip->SetSpanFromArchive(FZip->SpanOptions(), a->NumberOfParts() > 1);
  FZip->ClearStubChanged();
}
