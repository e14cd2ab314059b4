#pragma once
// Process-wide resources shared by all trees and the small routines several
// parts of the tree use: the clipboard-format registry, the set-up done by
// the first tree, alpha blending of 32-bit pictures and text shortening.
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "platform/core/types.h"
#include "platform/graphics/geometry.h"
#include "platform/gui/clipboard.h"
#include "platform/gui/ole.h"

struct TTreeClassInfo;
class TBaseDataTree;
class TBitmap;
class TCanvas;

struct TClipboardFormatEntry {
  String Description;
  const TTreeClassInfo* TreeClass = nullptr;
  std::uint32_t Priority = 0;
  TFormatEtc FormatEtc;
};

// The registry of formats that tree classes can offer, lowest priority value
// first; formats of equal priority keep the order they were registered in.
class TClipboardFormatList {
public:
  void Add(TClipboardFormatEntry Entry);
  void Clear() { FList.clear(); }
  int Count() const { return int(FList.size()); }
  const TClipboardFormatEntry& Items(int Index) const { return FList[std::size_t(Index)]; }
  // The formats of TreeClass and its ancestors, limited to AllowedFormats
  // when given (a tree's ClipboardFormats), in priority order.
  void EnumerateFormats(const TTreeClassInfo* TreeClass, TFormatEtcArray& Formats,
                        const std::vector<String>* AllowedFormats = nullptr) const;
  // The class registered for a description (ignoring case), with its id.
  const TTreeClassInfo* FindFormat(const String& Description, std::uint16_t& Format) const;
  const TClipboardFormatEntry* FindFormat(const String& Description) const;

private:
  std::vector<TClipboardFormatEntry> FList;
};

TClipboardFormatList& ClipboardFormatList();

// Registers a format by name; returns its id.
std::uint16_t RegisterDTClipboardFormat(const String& Description, const TTreeClassInfo* TreeClass,
                                        std::uint32_t Priority, std::uint32_t tymed = TYMED_HGLOBAL,
                                        void* ptd = nullptr, std::uint32_t dwAspect = DVASPECT_CONTENT,
                                        std::int32_t lindex = -1);
// Registers a predefined or already named format by id.
void RegisterDTClipboardFormat(std::uint16_t Format, const TTreeClassInfo* TreeClass,
                               std::uint32_t Priority);
// The name under which a format id was registered ("" when unknown).
String ClipboardFormatName(std::uint16_t Format);


// The descriptions a tree is allowed to offer: sorted, no duplicates, and
// only those registered for the tree's class or an ancestor of it.
class TClipboardFormats {
public:
  explicit TClipboardFormats(TBaseDataTree* AOwner) : FOwner(AOwner) {}
  TBaseDataTree* Owner() const { return FOwner; }
  int Add(const String& S);
  void Insert(int Index, const String& S);
  void Clear() { FStrings.clear(); }
  int Count() const { return int(FStrings.size()); }
  const String& Strings(int Index) const { return FStrings[std::size_t(Index)]; }
  const std::vector<String>& List() const { return FStrings; }
  int IndexOf(const String& S) const;

private:
  bool accepts(const String& S) const;
  TBaseDataTree* FOwner;
  std::vector<String> FStrings;
};

// Process-wide flags set up by the first tree.
struct TTreeGlobals {
  bool Initialized = false;
  // Trees alive; the last one to go releases what the first one set up.
  int TreeCount = 0;
  // The blending routines are written portably, so blending is always there.
  bool MMXAvailable = true;
  bool IsWinNT = true;
  bool IsWin2K = false;
  bool IsWinXP = false;
  bool IsWinVistaOrAbove = true;
  bool NeedToUnitialize = false;
  std::uint16_t CF_DTREFERENCE = 0;
  std::uint16_t CF_DATATREE = 0;
  std::uint16_t CF_HTML = 0;
  std::uint16_t CF_RTF = 0;
  std::uint16_t CF_RTFNOOBJS = 0;
  std::uint16_t CF_CSV = 0;
};
TTreeGlobals& TreeGlobals();

// The bytes a tree puts on the clipboard under "Data Tree Reference" when it
// cuts or copies: this process's token and the tree's number in the
// registry of live trees, so that the tree can tell later whether the
// clipboard still holds its data.
RawByteString TreeReferenceData(const TBaseDataTree* Tree);
// True while the clipboard holds Tree's reference.
bool ClipboardHoldsTree(const TBaseDataTree* Tree);

enum TCheckImageKind {
  ckLightCheck, ckDarkCheck, ckLightTick, ckDarkTick, ckFlat, ckXP, ckCustom, ckSystemFlat,
  ckSystemDefault
};
class TImageList;
struct TCursorHandle;
// The shared check pictures of a kind (nullptr for ckCustom).
TImageList* GetCheckImageList(TCheckImageKind Kind);
// Overlay pictures drawn over push-button checks.
TImageList* UtilityImages();
void CreateSharedCheckImages();
// Draws the shared pictures again in the desktop's current colours; the
// lists stay the same objects, so trees holding them need not follow.
void ReloadSharedCheckImages();
void FreeSharedCheckImages();
// The trees' own screen cursors: column and row splitters.
enum : int { crVertSplit = 62, crHeaderSplit = 63 };
TCursorHandle* TreeCursor(int Id);

void InitializeGlobalStructures();
void FinalizeGlobalStructures();

// The class info of the string tree, registered here so that its formats
// exist as soon as the first tree does; the string tree class returns it.
const TTreeClassInfo* StringTreeClassInfo();

// ---- small routines ------------------------------------------------------------

TRect OrderRect(const TRect& R);
void QuickSort(std::uint32_t* TheArray, int L, int R);
// The image-list colour of a colour value: none and default map to the
// image list's own markers.
std::uint32_t GetRGBColor(std::int32_t Colour);

enum TBlendMode { bmConstantAlpha, bmPerPixelAlpha, bmMasterAlpha, bmConstantAlphaAndColor };
// Blends rows R of Source into Destination at Target, per 8-bit channel.
// Both pictures must hold 32 bits per pixel.
void AlphaBlend(TBitmap* Source, TBitmap* Destination, const TRect& R, TPoint Target,
                TBlendMode Mode, int ConstantAlpha, int Bias);
// The same over raw top-down 32-bit rows (Stride in bytes).
struct TBlendSurface {
  std::uint8_t* Bits = nullptr;
  int Width = 0;
  int Height = 0;
  int Stride = 0;
  int BitsPerPixel = 32;
};
void AlphaBlendSurfaces(const TBlendSurface* Source, TBlendSurface& Destination, const TRect& R,
                        TPoint Target, TBlendMode Mode, int ConstantAlpha, int Bias);

// Measures the width of the first Length characters of a text.
using TTextMeasure = std::function<int(const char16_t* Text, int Length)>;
// Shortens S with a trailing "..." to fit Width; never splits a surrogate
// pair. EllipsisWidth 0 means measure it.
String ShortenString(const TTextMeasure& Measure, const String& S, int Width, int EllipsisWidth = 0);
String ShortenString(TCanvas& Canvas, const String& S, int Width, int EllipsisWidth = 0);

// Breaks S at blanks into lines no wider than Width, joined by line feeds;
// a word wider than Width is broken inside the word (never inside a
// surrogate pair).
String WrapString(const TTextMeasure& Measure, const String& S, int Width);
String WrapString(TCanvas& Canvas, const String& S, const TRect& Bounds);
// The rectangle the text needs when drawn with DrawFormat from Bounds'
// top-left corner.
void GetStringDrawRect(TCanvas& Canvas, const String& S, TRect& Bounds, unsigned DrawFormat);
