#pragma once
// Data exchange in the style the program is written against: data objects
// that offer one content in several formats, movable global memory blocks
// that carry the bytes, drag and drop between windows (of this program and
// of others) and the clipboard holding a data object.
//
// Interfaces are shared objects (std::shared_ptr): whoever holds one keeps
// it alive, as a reference count would.
#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <vector>

#include "platform/core/types.h"
#include "platform/graphics/geometry.h"
#include "platform/gui/messages.h"

class TStream;

// ---- results -------------------------------------------------------------
using HRESULT = std::int32_t;
inline bool SUCCEEDED(HRESULT r) { return r >= 0; }
inline bool FAILED(HRESULT r) { return r < 0; }
enum : HRESULT {
  S_OK = 0,
  S_FALSE = 1,
  E_NOTIMPL = std::int32_t(0x80004001u),
  E_FAIL = std::int32_t(0x80004005u),
  E_OUTOFMEMORY = std::int32_t(0x8007000Eu),
  E_INVALIDARG = std::int32_t(0x80070057u),
  E_UNEXPECTED = std::int32_t(0x8000FFFFu),
  DV_E_FORMATETC = std::int32_t(0x80040064u),
  DV_E_LINDEX = std::int32_t(0x80040068u),
  DV_E_TYMED = std::int32_t(0x80040069u),
  DV_E_DVASPECT = std::int32_t(0x8004006Bu),
  OLE_E_ADVISENOTSUPPORTED = std::int32_t(0x80040003u),
  OLE_E_NOCONNECTION = std::int32_t(0x80040004u),
  DATA_S_SAMEFORMATETC = 0x00040130,
  OLE_S_USEREG = 0x00040000,
  DRAGDROP_S_DROP = 0x00040100,
  DRAGDROP_S_CANCEL = 0x00040101,
  DRAGDROP_S_USEDEFAULTCURSORS = 0x00040102,
  DRAGDROP_E_NOTREGISTERED = std::int32_t(0x80040100u),
  DRAGDROP_E_ALREADYREGISTERED = std::int32_t(0x80040101u),
  DRAGDROP_E_INVALIDHWND = std::int32_t(0x80040102u),
  CLIPBRD_E_CANT_OPEN = std::int32_t(0x800401D0u),
};

// ---- drop effects and key state -------------------------------------------
enum : std::uint32_t {
  DROPEFFECT_NONE = 0, DROPEFFECT_COPY = 1, DROPEFFECT_MOVE = 2, DROPEFFECT_LINK = 4,
  DROPEFFECT_SCROLL = 0x80000000u
};
// Key state bits beside MK_LBUTTON..MK_MBUTTON: the Alt key.
enum : std::uint32_t { MK_ALT = 0x20 };

// ---- formats and media ------------------------------------------------------
enum : std::uint32_t { TYMED_NULL = 0, TYMED_HGLOBAL = 1, TYMED_FILE = 2, TYMED_ISTREAM = 4, TYMED_ISTORAGE = 8,
                       TYMED_GDI = 16, TYMED_MFPICT = 32, TYMED_ENHMF = 64 };
enum : std::uint32_t { DVASPECT_CONTENT = 1 };
enum : std::uint32_t { DATADIR_GET = 1, DATADIR_SET = 2 };

// One format a data object offers: the format number and how it travels.
struct TFormatEtc {
  std::uint16_t cfFormat = 0;
  void* ptd = nullptr;
  std::uint32_t dwAspect = DVASPECT_CONTENT;
  std::int32_t lindex = -1;
  std::uint32_t tymed = TYMED_HGLOBAL;
};
using TFormatEtcArray = std::vector<TFormatEtc>;

// A movable block of memory that data travels in.
struct TGlobalBlock;
using HGLOBAL = TGlobalBlock*;
enum : UINT { GMEM_FIXED = 0, GMEM_MOVEABLE = 2, GMEM_ZEROINIT = 0x40, GMEM_SHARE = 0x2000,
              GHND = GMEM_MOVEABLE | GMEM_ZEROINIT };
// nullptr when the size cannot be had.
HGLOBAL GlobalAlloc(UINT Flags, std::size_t Bytes);
// The bytes; every lock is matched by an unlock.
void* GlobalLock(HGLOBAL Block);
bool GlobalUnlock(HGLOBAL Block);
std::size_t GlobalSize(HGLOBAL Block);
// Frees the block; returns nullptr on success.
HGLOBAL GlobalFree(HGLOBAL Block);
// A new block holding a copy of Size bytes (nullptr when out of memory).
HGLOBAL GlobalFromBytes(const void* Data, std::size_t Size);

// A medium that carries data: a memory block, a stream or a file name.
// Release is whatever must stay alive as long as the medium (when set, the
// medium does not own its block: the release object does).
struct TStgMedium {
  std::uint32_t tymed = TYMED_NULL;
  HGLOBAL hGlobal = nullptr;
  std::shared_ptr<TStream> stm;
  String lpszFileName;
  std::shared_ptr<void> pUnkForRelease;
};
// Frees what the medium owns and empties it.
void ReleaseStgMedium(TStgMedium& Medium);

// ---- interfaces ----------------------------------------------------------------
class IEnumFORMATETC {
public:
  virtual ~IEnumFORMATETC() = default;
  virtual HRESULT Next(std::uint32_t celt, TFormatEtc* rgelt, std::uint32_t* pceltFetched) = 0;
  virtual HRESULT Skip(std::uint32_t celt) = 0;
  virtual HRESULT Reset() = 0;
  virtual HRESULT Clone(std::shared_ptr<IEnumFORMATETC>& Enum) = 0;
};

// Walks an array of formats (its own copy).
class TFormatEtcEnumerator : public IEnumFORMATETC {
public:
  explicit TFormatEtcEnumerator(TFormatEtcArray Formats);
  // S_OK when celt records were delivered, S_FALSE when fewer were left.
  HRESULT Next(std::uint32_t celt, TFormatEtc* rgelt, std::uint32_t* pceltFetched) override;
  // S_FALSE, keeping the position, when the skip reaches or passes the end.
  HRESULT Skip(std::uint32_t celt) override;
  HRESULT Reset() override;
  HRESULT Clone(std::shared_ptr<IEnumFORMATETC>& Enum) override;
  const TFormatEtcArray& Formats() const { return FFormats; }
  std::size_t CurrentIndex() const { return FCurrentIndex; }

private:
  TFormatEtcArray FFormats;
  std::size_t FCurrentIndex = 0;
};

// Told when the data of a data object changed.
class IAdviseSink {
public:
  virtual ~IAdviseSink() = default;
  virtual void OnDataChange(const TFormatEtc& FormatEtc, const TStgMedium& Medium) = 0;
};

class IDataObject {
public:
  virtual ~IDataObject() = default;
  virtual HRESULT GetData(const TFormatEtc& FormatEtcIn, TStgMedium& Medium) = 0;
  virtual HRESULT GetDataHere(const TFormatEtc& FormatEtc, TStgMedium& Medium) = 0;
  virtual HRESULT QueryGetData(const TFormatEtc& FormatEtc) = 0;
  virtual HRESULT GetCanonicalFormatEtc(const TFormatEtc& FormatEtc, TFormatEtc& FormatEtcOut) = 0;
  virtual HRESULT SetData(const TFormatEtc& FormatEtc, TStgMedium& Medium, bool Release) = 0;
  virtual HRESULT EnumFormatEtc(std::uint32_t Direction, std::shared_ptr<IEnumFORMATETC>& EnumFormatEtc) = 0;
  virtual HRESULT DAdvise(const TFormatEtc& FormatEtc, std::uint32_t advf,
                          std::shared_ptr<IAdviseSink> AdvSink, std::uint32_t& Connection) = 0;
  virtual HRESULT DUnadvise(std::uint32_t Connection) = 0;
  virtual HRESULT EnumDAdvise() = 0;
};

// The side a drag starts from: asked on every change of keys and buttons
// whether to go on, drop or cancel.
class IDropSource {
public:
  virtual ~IDropSource() = default;
  virtual HRESULT QueryContinueDrag(bool EscapePressed, std::uint32_t KeyState) = 0;
  virtual HRESULT GiveFeedback(std::uint32_t Effect) = 0;
};

// A window that takes drops. Points are in screen coordinates; Effect comes
// in as the effects the source allows and goes out as the one chosen.
class IDropTarget {
public:
  virtual ~IDropTarget() = default;
  virtual HRESULT DragEnter(const std::shared_ptr<IDataObject>& DataObject, std::uint32_t KeyState, TPoint Pt,
                            std::uint32_t& Effect) = 0;
  virtual HRESULT DragOver(std::uint32_t KeyState, TPoint Pt, std::uint32_t& Effect) = 0;
  virtual HRESULT DragLeave() = 0;
  virtual HRESULT Drop(const std::shared_ptr<IDataObject>& DataObject, std::uint32_t KeyState, TPoint Pt,
                       std::uint32_t& Effect) = 0;
};

// Keeps the advise sinks of a data object and tells them of changes.
class TDataAdviseHolder {
public:
  HRESULT Advise(const TFormatEtc& FormatEtc, std::uint32_t advf, std::shared_ptr<IAdviseSink> Sink,
                 std::uint32_t& Connection);
  HRESULT Unadvise(std::uint32_t Connection);
  void SendOnDataChange(IDataObject& DataObject);
  int Count() const { return int(FSinks.size()); }

private:
  struct TConnection {
    std::uint32_t Id;
    TFormatEtc FormatEtc;
    std::shared_ptr<IAdviseSink> Sink;
  };
  std::vector<TConnection> FSinks;
  std::uint32_t FNextId = 1;
};

// ---- drag and drop ------------------------------------------------------------
// Runs a drag of DataObject until it is dropped or cancelled, in a modal
// loop; other programs see the data in every format the object offers.
// Returns DRAGDROP_S_DROP (Effect = the effect the target chose) or
// DRAGDROP_S_CANCEL (Effect = DROPEFFECT_NONE).
HRESULT DoDragDrop(const std::shared_ptr<IDataObject>& DataObject, const std::shared_ptr<IDropSource>& DropSource,
                   std::uint32_t OkEffects, std::uint32_t& Effect);
// True while a DoDragDrop loop runs.
bool DragDropRunning();
// Makes the window a drop target: drags from this and other programs over
// it are reported to Target.
HRESULT RegisterDragDrop(HWND Wnd, std::shared_ptr<IDropTarget> Target);
HRESULT RevokeDragDrop(HWND Wnd);
// The target registered for a window (nullptr when none).
std::shared_ptr<IDropTarget> DropTargetOf(HWND Wnd);

// ---- the clipboard of data objects ----------------------------------------------------
// Puts the data object on the system clipboard; its formats are rendered
// when someone asks for them. nullptr empties the clipboard.
HRESULT OleSetClipboard(const std::shared_ptr<IDataObject>& DataObject);
// Takes off the clipboard what it holds now, as a data object's owner does
// when it gives its data up. Unlike an emptying (OleSetClipboard with
// nullptr), it never removes anything else: changes asked for before it
// that still wait (a read of our data runs, or has ended and the loop has
// not made them yet) are made first, and if any was made, or another
// program put something there, it stays.
HRESULT OleWithdrawClipboard();
// A data object over what the clipboard holds: the very object put there
// by this program, or a read-only one over another program's data.
HRESULT OleGetClipboard(std::shared_ptr<IDataObject>& DataObject);
// Renders every format of the data object that the clipboard holds into
// plain data, so that the content outlives the object.
HRESULT OleFlushClipboard();
// Drops the changes of the clipboard that wait for the message loop (asked
// for while our data on it was read) and would put there a data object that
// Which picks.
void OleDropWaitingClipboard(const std::function<bool(const IDataObject&)>& Which);
// S_OK when DataObject is the one on the clipboard, S_FALSE otherwise.
HRESULT OleIsCurrentClipboard(const std::shared_ptr<IDataObject>& DataObject);

// Reads a medium's bytes whatever it travels in (memory block or stream).
RawByteString MediumBytes(const TStgMedium& Medium);
// The formats a data object offers for reading.
TFormatEtcArray DataObjectFormats(IDataObject& DataObject);

// A data object whose rendering fails for a reason someone must hear of
// (its owner's handler failed, memory or a stream gave out) answers a
// failure code, as callers expect, and notes the failure here, on the
// calling thread, the way an error object travels beside a failure code.
void NoteDataFailure(std::exception_ptr Failure);
// DataObject.GetData, with Failure the failure behind a failed answer: the
// one the object noted meanwhile, or memory running out; none when the
// object merely lacks the data (or failed without a word).
HRESULT FetchData(IDataObject& DataObject, const TFormatEtc& FormatEtc, TStgMedium& Medium,
                  std::exception_ptr& Failure);
