// The registry of live trees and the tree's data object.
#include <map>
#include <mutex>
#include <random>

#include "platform/core/exception.h"
#include "platform/gui/forms.h"
#include "tree/base_tree.h"
#include "tree/data_object.h"
#include "tree/globals.h"

// ---- registry ------------------------------------------------------------------------

namespace {
std::map<std::uint64_t, TBaseDataTree*>& liveTrees() {
  static std::map<std::uint64_t, TBaseDataTree*> trees;
  return trees;
}
std::uint64_t gNextTreeToken = 1;

void putLE(RawByteString& bytes, std::uint64_t v) {
  for (int i = 0; i < 8; ++i) bytes.push_back(char((v >> (8 * i)) & 0xFF));
}
std::uint64_t getLE(const RawByteString& bytes, std::size_t at) {
  std::uint64_t v = 0;
  for (int i = 7; i >= 0; --i) v = (v << 8) | std::uint8_t(bytes[at + std::size_t(i)]);
  return v;
}
}  // namespace

std::uint64_t ProcessToken() {
  // Random per run: another process, or data made up to look like ours,
  // cannot name it by chance the way a process id or an address can.
  static const std::uint64_t token = [] {
    std::random_device source;
    std::uint64_t t = 0;
    while (t == 0) t = (std::uint64_t(source()) << 32) ^ std::uint64_t(source());
    return t;
  }();
  return token;
}

std::uint64_t RegisterLiveTree(TBaseDataTree* Tree) {
  std::uint64_t token = gNextTreeToken++;
  liveTrees()[token] = Tree;
  return token;
}

void UnregisterLiveTree(std::uint64_t Token) { liveTrees().erase(Token); }

TBaseDataTree* LiveTree(std::uint64_t Token) {
  auto it = liveTrees().find(Token);
  return it == liveTrees().end() ? nullptr : it->second;
}

RawByteString TreeReferenceBytes(std::uint64_t TreeToken) {
  RawByteString bytes;
  putLE(bytes, ProcessToken());
  putLE(bytes, TreeToken);
  return bytes;
}

TBaseDataTree* TreeFromReferenceBytes(const RawByteString& Bytes) {
  if (Bytes.size() != 16 || getLE(Bytes, 0) != ProcessToken()) return nullptr;
  return LiveTree(getLE(Bytes, 8));
}

// ---- data object ------------------------------------------------------------------------

TDTDataObject::TDTDataObject(TBaseDataTree* AOwner, bool AForClipboard)
    : FOwnerToken(AOwner ? AOwner->TreeToken() : 0), FForClipboard(AForClipboard) {
  if (AOwner) AOwner->GetNativeClipboardFormats(FFormatEtcArray);
}

TDTDataObject::~TDTDataObject() {
  TBaseDataTree* tree = Owner();
  if (FForClipboard && tree && tree->ReleaseClipboardCopy(this) &&
      !tree->TreeStates().Contains(tsClipboardFlushing)) {
    // The object goes whatever the tree says. A handler that destroyed the
    // tree is no failure (the operation that dropped the object checks the
    // tree's token); any other failure of the owner's is shown, since
    // nothing passes it on from here.
    try {
      tree->CancelCutOrCopy();
    } catch (...) {
      if (Application) Application->HandleException(nullptr);
    }
  }
  for (TInternalStgMedium& stored : FInternalStgMediumArray) ReleaseStgMedium(stored.Medium);
}

TBaseDataTree* TDTDataObject::Owner() const { return LiveTree(FOwnerToken); }

int TDTDataObject::findStored(std::uint16_t Format) const {
  for (std::size_t i = 0; i < FInternalStgMediumArray.size(); ++i)
    if (FInternalStgMediumArray[i].Format == Format) return int(i);
  return -1;
}

HRESULT TDTDataObject::StgMediumIncRef(const TStgMedium& InStgMedium, TStgMedium& OutStgMedium, bool CopyInMedium) {
  OutStgMedium = TStgMedium();
  OutStgMedium.tymed = InStgMedium.tymed;
  OutStgMedium.pUnkForRelease = InStgMedium.pUnkForRelease;
  switch (InStgMedium.tymed) {
    case TYMED_HGLOBAL: {
      if (!InStgMedium.hGlobal) return S_OK;
      // A block is never shared: each holder frees its own.
      (void)CopyInMedium;
      const void* bytes = GlobalLock(InStgMedium.hGlobal);
      OutStgMedium.hGlobal = GlobalFromBytes(bytes, GlobalSize(InStgMedium.hGlobal));
      GlobalUnlock(InStgMedium.hGlobal);
      if (!OutStgMedium.hGlobal) {
        OutStgMedium = TStgMedium();
        return E_OUTOFMEMORY;
      }
      OutStgMedium.pUnkForRelease.reset();
      return S_OK;
    }
    case TYMED_FILE:
      OutStgMedium.lpszFileName = InStgMedium.lpszFileName;
      return S_OK;
    case TYMED_ISTREAM:
    case TYMED_ISTORAGE:
      OutStgMedium.stm = InStgMedium.stm;
      return S_OK;
    case TYMED_NULL:
      return S_OK;
    default:
      OutStgMedium = TStgMedium();
      return DV_E_TYMED;
  }
}

HRESULT TDTDataObject::GetData(const TFormatEtc& FormatEtcIn, TStgMedium& Medium) {
  Medium = TStgMedium();
  try {
    TBaseDataTree* tree = Owner();
    if (FormatEtcIn.cfFormat == TreeGlobals().CF_DTREFERENCE && TreeGlobals().CF_DTREFERENCE) {
      if (!tree || tree->TreeStates().Contains(tsClipboardFlushing)) return E_FAIL;
      RawByteString bytes = TreeReferenceBytes(FOwnerToken);
      Medium.tymed = TYMED_HGLOBAL;
      Medium.hGlobal = GlobalFromBytes(bytes.data(), bytes.size());
      return Medium.hGlobal ? S_OK : E_OUTOFMEMORY;
    }
    HRESULT r = QueryGetData(FormatEtcIn);
    if (r != S_OK) return r;
    int stored = findStored(FormatEtcIn.cfFormat);
    if (stored >= 0) return StgMediumIncRef(FInternalStgMediumArray[std::size_t(stored)].Medium, Medium, true);
    if (!tree) return E_FAIL;
    return tree->RenderOLEData(FormatEtcIn, Medium, FForClipboard);
  } catch (const EDataTreeGone&) {
    // The tree's own operation asked, and a handler destroyed the tree: the
    // operation unwinds to its entry.
    ReleaseStgMedium(Medium);
    throw;
  } catch (...) {
    // The failure code is the answer; the failure itself stays noted for
    // the caller that tells the user (a reader of the clipboard, a paste).
    NoteDataFailure(std::current_exception());
    ReleaseStgMedium(Medium);
    return E_FAIL;
  }
}

HRESULT TDTDataObject::GetDataHere(const TFormatEtc&, TStgMedium&) { return E_NOTIMPL; }

HRESULT TDTDataObject::QueryGetData(const TFormatEtc& FormatEtc) {
  if (FFormatEtcArray.empty()) return DV_E_FORMATETC;
  for (const TFormatEtc& offered : FFormatEtcArray) {
    if (offered.cfFormat != FormatEtc.cfFormat) continue;
    if (!(offered.tymed & FormatEtc.tymed)) return DV_E_TYMED;
    if (offered.dwAspect != FormatEtc.dwAspect) return DV_E_DVASPECT;
    if (offered.lindex != FormatEtc.lindex) return DV_E_LINDEX;
    return S_OK;
  }
  return DV_E_FORMATETC;
}

HRESULT TDTDataObject::GetCanonicalFormatEtc(const TFormatEtc&, TFormatEtc& FormatEtcOut) {
  FormatEtcOut.ptd = nullptr;
  return DATA_S_SAMEFORMATETC;
}

HRESULT TDTDataObject::SetData(const TFormatEtc& FormatEtc, TStgMedium& Medium, bool Release) {
  int offered = -1;
  for (std::size_t i = 0; i < FFormatEtcArray.size(); ++i) {
    const TFormatEtc& f = FFormatEtcArray[i];
    if (f.cfFormat == FormatEtc.cfFormat && f.ptd == FormatEtc.ptd && f.dwAspect == FormatEtc.dwAspect &&
        f.lindex == FormatEtc.lindex && (f.tymed & FormatEtc.tymed)) {
      offered = int(i);
      break;
    }
  }
  TStgMedium kept;
  if (Release) {
    kept = Medium;
    Medium = TStgMedium();
  } else {
    HRESULT r = StgMediumIncRef(Medium, kept, true);
    if (FAILED(r)) return r;
  }
  if (offered < 0) {
    FFormatEtcArray.push_back(FormatEtc);
    FInternalStgMediumArray.push_back({FormatEtc.cfFormat, kept});
  } else {
    int stored = findStored(FormatEtc.cfFormat);
    if (stored >= 0) {
      ReleaseStgMedium(FInternalStgMediumArray[std::size_t(stored)].Medium);
      FInternalStgMediumArray[std::size_t(stored)].Medium = kept;
    } else {
      FInternalStgMediumArray.push_back({FormatEtc.cfFormat, kept});
    }
  }
  if (FAdviseHolder) FAdviseHolder->SendOnDataChange(*this);
  return S_OK;
}

HRESULT TDTDataObject::EnumFormatEtc(std::uint32_t Direction, std::shared_ptr<IEnumFORMATETC>& EnumFormatEtc) {
  EnumFormatEtc.reset();
  if (Direction != DATADIR_GET) return OLE_S_USEREG;
  EnumFormatEtc = std::make_shared<TEnumFormatEtc>(Owner(), FFormatEtcArray);
  return S_OK;
}

HRESULT TDTDataObject::DAdvise(const TFormatEtc& FormatEtc, std::uint32_t advf, std::shared_ptr<IAdviseSink> AdvSink,
                               std::uint32_t& Connection) {
  if (!FAdviseHolder) FAdviseHolder = std::make_unique<TDataAdviseHolder>();
  return FAdviseHolder->Advise(FormatEtc, advf, std::move(AdvSink), Connection);
}

HRESULT TDTDataObject::DUnadvise(std::uint32_t Connection) {
  if (!FAdviseHolder) return E_NOTIMPL;
  return FAdviseHolder->Unadvise(Connection);
}

HRESULT TDTDataObject::EnumDAdvise() {
  if (!FAdviseHolder) return OLE_E_ADVISENOTSUPPORTED;
  return E_NOTIMPL;
}
