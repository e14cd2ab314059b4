// Global memory blocks, media and the advise holder of data objects.
#include <algorithm>
#include <cstring>
#include <new>
#include <utility>
#include <vector>

#include "platform/core/exception.h"
#include "platform/core/streams.h"
#include "platform/gui/ole.h"

struct TGlobalBlock {
  std::vector<unsigned char> Bytes;
  int Locks = 0;
};

HGLOBAL GlobalAlloc(UINT Flags, std::size_t Bytes) {
  (void)Flags;  // blocks are always zeroed and movable here
  try {
    auto* block = new TGlobalBlock;
    block->Bytes.assign(Bytes, 0);
    return block;
  } catch (const std::bad_alloc&) {
    return nullptr;
  } catch (const std::length_error&) {
    return nullptr;
  }
}

void* GlobalLock(HGLOBAL Block) {
  if (!Block) return nullptr;
  ++Block->Locks;
  // A block of no bytes still gives a usable address.
  static unsigned char empty = 0;
  return Block->Bytes.empty() ? &empty : Block->Bytes.data();
}

bool GlobalUnlock(HGLOBAL Block) {
  if (!Block || Block->Locks == 0) return false;
  return --Block->Locks > 0;
}

std::size_t GlobalSize(HGLOBAL Block) { return Block ? Block->Bytes.size() : 0; }

HGLOBAL GlobalFree(HGLOBAL Block) {
  delete Block;
  return nullptr;
}

HGLOBAL GlobalFromBytes(const void* Data, std::size_t Size) {
  HGLOBAL block = GlobalAlloc(GHND, Size);
  if (!block) return nullptr;
  if (Size) std::memcpy(block->Bytes.data(), Data, Size);
  return block;
}

void ReleaseStgMedium(TStgMedium& Medium) {
  // A medium with a release object does not own its block: the release
  // object does, and letting go of it is all there is to do.
  if (Medium.tymed == TYMED_HGLOBAL && Medium.hGlobal && !Medium.pUnkForRelease) GlobalFree(Medium.hGlobal);
  Medium = TStgMedium();
}

RawByteString MediumBytes(const TStgMedium& Medium) {
  if (Medium.tymed == TYMED_HGLOBAL && Medium.hGlobal) {
    const auto* bytes = static_cast<const char*>(GlobalLock(Medium.hGlobal));
    RawByteString result(bytes, GlobalSize(Medium.hGlobal));
    GlobalUnlock(Medium.hGlobal);
    return result;
  }
  if (Medium.tymed == TYMED_ISTREAM && Medium.stm) {
    TStream& stream = *Medium.stm;
    std::int64_t size = stream.Size();
    std::int64_t start = stream.Position();
    if (size <= start) return {};
    RawByteString result(std::size_t(size - start), '\0');
    std::int64_t got = stream.Read(result.data(), size - start);
    result.resize(std::size_t(std::max<std::int64_t>(got, 0)));
    stream.SetPosition(start);
    return result;
  }
  return {};
}

TFormatEtcArray DataObjectFormats(IDataObject& DataObject) {
  TFormatEtcArray formats;
  std::shared_ptr<IEnumFORMATETC> list;
  if (FAILED(DataObject.EnumFormatEtc(DATADIR_GET, list)) || !list) return formats;
  list->Reset();
  TFormatEtc one;
  std::uint32_t fetched = 0;
  while (list->Next(1, &one, &fetched) == S_OK && fetched == 1) formats.push_back(one);
  return formats;
}

namespace {
thread_local std::exception_ptr tNotedFailure;
}

void NoteDataFailure(std::exception_ptr Failure) { tNotedFailure = std::move(Failure); }

HRESULT FetchData(IDataObject& DataObject, const TFormatEtc& FormatEtc, TStgMedium& Medium,
                  std::exception_ptr& Failure) {
  // A failure noted before (and never taken) is not this answer's.
  tNotedFailure = nullptr;
  const HRESULT result = DataObject.GetData(FormatEtc, Medium);
  Failure = std::exchange(tNotedFailure, nullptr);
  if (SUCCEEDED(result))
    Failure = nullptr;
  else if (!Failure && result == E_OUTOFMEMORY)
    Failure = std::make_exception_ptr(EOutOfMemory("Out of memory"));
  return result;
}

HRESULT TDataAdviseHolder::Advise(const TFormatEtc& FormatEtc, std::uint32_t advf, std::shared_ptr<IAdviseSink> Sink,
                                  std::uint32_t& Connection) {
  (void)advf;
  if (!Sink) return E_INVALIDARG;
  Connection = FNextId++;
  FSinks.push_back({Connection, FormatEtc, std::move(Sink)});
  return S_OK;
}

HRESULT TDataAdviseHolder::Unadvise(std::uint32_t Connection) {
  auto it = std::find_if(FSinks.begin(), FSinks.end(), [&](const TConnection& c) { return c.Id == Connection; });
  if (it == FSinks.end()) return OLE_E_NOCONNECTION;
  FSinks.erase(it);
  return S_OK;
}

void TDataAdviseHolder::SendOnDataChange(IDataObject& DataObject) {
  // A sink may unadvise from inside its call: walk a copy.
  std::vector<TConnection> sinks = FSinks;
  for (const TConnection& c : sinks) {
    TStgMedium medium;
    if (SUCCEEDED(DataObject.GetData(c.FormatEtc, medium))) {
      c.Sink->OnDataChange(c.FormatEtc, medium);
      ReleaseStgMedium(medium);
    }
  }
}
