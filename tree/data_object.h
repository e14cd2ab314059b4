#pragma once
// What a tree hands to drag and drop and to the clipboard: its data object
// with the format enumerator, its drag manager (the source and the target
// side of a drag) and the picture that follows a drag.
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/graphics/bitmap.h"
#include "platform/gui/drag_image.h"
#include "platform/gui/ole.h"

class TBaseDataTree;

// ---- the registry of live trees -------------------------------------------------
// Data that leaves a tree (clipboard, drag) names it by this process's token
// and the tree's number, never by its address: a tree that is gone is no
// longer found, and data from another process (or made up) names no tree.
std::uint64_t ProcessToken();
std::uint64_t RegisterLiveTree(TBaseDataTree* Tree);
void UnregisterLiveTree(std::uint64_t Token);
// The live tree of that number, nullptr when it is gone.
TBaseDataTree* LiveTree(std::uint64_t Token);
// The bytes of the "Data Tree Reference" format: the process token, then
// the tree's number, 8 bytes each, little-endian.
RawByteString TreeReferenceBytes(std::uint64_t TreeToken);
// The tree such bytes name in this process, nullptr for anything else.
TBaseDataTree* TreeFromReferenceBytes(const RawByteString& Bytes);
// Drops the copies of the tree (by its token) that wait for the clipboard:
// made while our data on it was read, they must not arrive after the tree
// gave up its cut or copy.
void DropWaitingClipboardCopies(std::uint64_t TreeToken);

// Walks the formats of a tree's data object.
class TEnumFormatEtc : public TFormatEtcEnumerator {
public:
  TEnumFormatEtc(TBaseDataTree* Tree, TFormatEtcArray Formats) : TFormatEtcEnumerator(std::move(Formats)), Tree(Tree) {}
  TBaseDataTree* Tree;
};

// A tree's data object. It knows its tree only by number: a tree destroyed
// while the object is on the clipboard or in a drag is never reached.
class TDTDataObject : public IDataObject, public std::enable_shared_from_this<TDTDataObject> {
public:
  TDTDataObject(TBaseDataTree* AOwner, bool AForClipboard);
  ~TDTDataObject() override;

  HRESULT GetData(const TFormatEtc& FormatEtcIn, TStgMedium& Medium) override;
  HRESULT GetDataHere(const TFormatEtc& FormatEtc, TStgMedium& Medium) override;
  HRESULT QueryGetData(const TFormatEtc& FormatEtc) override;
  HRESULT GetCanonicalFormatEtc(const TFormatEtc& FormatEtc, TFormatEtc& FormatEtcOut) override;
  HRESULT SetData(const TFormatEtc& FormatEtc, TStgMedium& Medium, bool Release) override;
  HRESULT EnumFormatEtc(std::uint32_t Direction, std::shared_ptr<IEnumFORMATETC>& EnumFormatEtc) override;
  HRESULT DAdvise(const TFormatEtc& FormatEtc, std::uint32_t advf, std::shared_ptr<IAdviseSink> AdvSink,
                  std::uint32_t& Connection) override;
  HRESULT DUnadvise(std::uint32_t Connection) override;
  HRESULT EnumDAdvise() override;

  // The tree, while it lives.
  TBaseDataTree* Owner() const;
  // The owner's number in the registry of live trees, even once it is gone.
  std::uint64_t OwnerToken() const { return FOwnerToken; }
  bool ForClipboard() const { return FForClipboard; }
  const TFormatEtcArray& FormatEtcArray() const { return FFormatEtcArray; }

private:
  // Copies a medium: memory blocks are duplicated, streams shared.
  HRESULT StgMediumIncRef(const TStgMedium& InStgMedium, TStgMedium& OutStgMedium, bool CopyInMedium);
  int findStored(std::uint16_t Format) const;

  std::uint64_t FOwnerToken;
  bool FForClipboard;
  TFormatEtcArray FFormatEtcArray;
  struct TInternalStgMedium {
    std::uint16_t Format;
    TStgMedium Medium;
  };
  std::vector<TInternalStgMedium> FInternalStgMediumArray;
  std::unique_ptr<TDataAdviseHolder> FAdviseHolder;
};

// A tree's drag manager, as the tree and its owner see it.
class IDTDragManager {
public:
  virtual ~IDTDragManager() = default;
  virtual void ForceDragLeave() = 0;
  virtual std::shared_ptr<IDataObject> DataObject() = 0;
  // The tree a running drag came from, when it is a tree of this process.
  virtual TBaseDataTree* DragSource() = 0;
  virtual bool DropTargetHelperSupported() = 0;
  virtual bool IsDropTarget() = 0;
  // Told by the tree when it goes, so that a drag still holding the
  // manager never reaches it.
  virtual void OwnerDestroyed() = 0;
};

// The tree's drop source and drop target in one.
class TDTDragManager : public IDTDragManager, public IDropSource, public IDropTarget {
public:
  explicit TDTDragManager(TBaseDataTree* AOwner);
  ~TDTDragManager() override;

  // IDropSource
  HRESULT QueryContinueDrag(bool EscapePressed, std::uint32_t KeyState) override;
  HRESULT GiveFeedback(std::uint32_t Effect) override;
  // IDropTarget
  HRESULT DragEnter(const std::shared_ptr<IDataObject>& DataObject, std::uint32_t KeyState, TPoint Pt,
                    std::uint32_t& Effect) override;
  HRESULT DragOver(std::uint32_t KeyState, TPoint Pt, std::uint32_t& Effect) override;
  HRESULT DragLeave() override;
  HRESULT Drop(const std::shared_ptr<IDataObject>& DataObject, std::uint32_t KeyState, TPoint Pt,
               std::uint32_t& Effect) override;
  // IDTDragManager
  void ForceDragLeave() override {}
  std::shared_ptr<IDataObject> DataObject() override;
  TBaseDataTree* DragSource() override;
  bool DropTargetHelperSupported() override { return false; }
  bool IsDropTarget() override { return FIsDropTarget; }
  void OwnerDestroyed() override { FOwner = nullptr; }

  TBaseDataTree* Owner() const { return FOwner; }

private:
  TBaseDataTree* FOwner;
  std::uint64_t FDragSourceToken = 0;
  bool FIsDropTarget = false;
  std::shared_ptr<IDataObject> FDataObject;
};

// The translucent picture that follows a drag. With a data object it rides
// with the drag itself (the platform draws it over every window); without,
// the tree shows it above the screen over a copy of what lay there.
class TDTDragImage {
public:
  enum TMoveRestriction { dmrNone, dmrHorizontalOnly, dmrVerticalOnly };
  enum TDragImageState : std::uint8_t { disHidden, disInDrag, disPrepared, disSystemSupport };
  using TDragImageStates = TSet<TDragImageState>;

  explicit TDTDragImage(TBaseDataTree* AOwner);
  ~TDTDragImage();

  void PrepareDrag(TBitmap& DragImage, TPoint ImagePosition, TPoint HotSpot, IDataObject* DataObject);
  void ShowDragImage();
  void HideDragImage();
  bool DragTo(TPoint P, bool ForceRepaint);
  void EndDrag();
  TRect GetDragImageRect() const;
  // The screen under the image changed in R (screen coordinates): take the
  // new background there, and show the image again when asked.
  void RecaptureBackground(const TRect& R, bool ReshowDragImage);
  bool WillMove(TPoint P) const;
  bool Visible() const;

  std::uint8_t Transparency = 128;
  std::int8_t PreBlendBias = 0;
  std::int8_t PostBlendBias = 0;
  bool Fade = false;
  TMoveRestriction MoveRestriction = dmrNone;
  TColor ColorKey = clNone;
  TDragImageStates States;

  TBaseDataTree* Owner() const { return FOwner; }
  TBitmap* BackImage() { return &FBackImage; }
  TBitmap* AlphaImage() { return &FAlphaImage; }
  TBitmap* DragImage() { return &FDragImage; }
  TPoint ImagePosition() const { return FImagePosition; }

private:
  void InternalShowDragImage();
  TBaseDataTree* FOwner;
  TBitmap FBackImage, FAlphaImage, FDragImage;
  TPoint FImagePosition;
  TPoint FLastPosition;
  TScreenOverlay FOverlay;
};
