#pragma once
// A data tree whose cells show texts the owner supplies through OnGetText:
// drawn with an ellipsis when they do not fit, measured for node widths and
// column sizing, matched by the incremental search.
#include <functional>

#include "tree/base_tree.h"

enum TDTStringOption : std::uint8_t { toSaveCaptions, toShowStaticText, toAutoAcceptEditChange };
using TDTStringOptions = TSet<TDTStringOption>;

enum TDTTextType : std::uint8_t { ttNormal, ttStatic };

class TCustomStringTreeOptions : public TCustomDataTreeOptions {
public:
  explicit TCustomStringTreeOptions(TBaseDataTree* AOwner) : TCustomDataTreeOptions(AOwner) {}
  TDTStringOptions StringOptions() const { return FStringOptions; }
  void SetStringOptions(TDTStringOptions Value);
  void AssignTo(TCustomDataTreeOptions& Dest) const override;

private:
  TDTStringOptions FStringOptions{toSaveCaptions, toAutoAcceptEditChange};
};
using TStringTreeOptions = TCustomStringTreeOptions;

class TCustomDataStringTree;

using TDTGetTextEvent = std::function<void(TBaseDataTree* Sender, PDataNode Node, TColumnIndex Column,
                                           TDTTextType TextType, String& CellText)>;
using TDTNewTextEvent =
    std::function<void(TBaseDataTree* Sender, PDataNode Node, TColumnIndex Column, const String& NewText)>;
using TDTPaintTextEvent = std::function<void(TBaseDataTree* Sender, TCanvas* TargetCanvas, PDataNode Node,
                                             TColumnIndex Column, TDTTextType TextType)>;
using TDTShortenStringEvent =
    std::function<void(TBaseDataTree* Sender, TCanvas* TargetCanvas, PDataNode Node, TColumnIndex Column,
                       const String& S, int TextSpace, String& Result, bool& Done)>;
using TDTDrawTextEvent = std::function<void(TBaseDataTree* Sender, TCanvas* TargetCanvas, PDataNode Node,
                                            TColumnIndex Column, const String& Text, const TRect& CellRect,
                                            bool& DefaultDraw)>;
using TDTMeasureTextEvent = std::function<void(TBaseDataTree* Sender, TCanvas* TargetCanvas, PDataNode Node,
                                               TColumnIndex Column, const String& Text, int& Extent)>;
using TDTGetHintEvent = std::function<void(TBaseDataTree* Sender, PDataNode Node, TColumnIndex Column,
                                           TDTTooltipLineBreakStyle& LineBreakStyle, String& HintText)>;

// ---- export -----------------------------------------------------------------------
// Which nodes an export walks.
enum TExportSource : std::uint8_t { tstAll, tstInitialized, tstSelected, tstCutCopySet, tstVisible };
enum TDTExportType : std::uint8_t { etRTF, etHTML, etText, etExcel, etWord, etCustom };
using TDTTreeExportEvent = std::function<void(TBaseDataTree* Sender, TDTExportType ExportType)>;
using TDTColumnExportEvent =
    std::function<void(TBaseDataTree* Sender, TDTExportType ExportType, TDataTreeColumn* Column)>;
using TDTNodeExportEvent =
    std::function<bool(TBaseDataTree* Sender, TDTExportType ExportType, PDataNode Node)>;

class TCustomDataStringTree : public TBaseDataTree {
public:
  explicit TCustomDataStringTree(TComponent* AOwner);
  ~TCustomDataStringTree() override;

  static const TTreeClassInfo* ClassInfo();
  const TTreeClassInfo* TreeClass() const override { return ClassInfo(); }

  const String& DefaultText() const { return FDefaultText; }
  void SetDefaultText(const String& Value);
  TCustomStringTreeOptions& TreeOptions() { return static_cast<TCustomStringTreeOptions&>(TBaseDataTree::TreeOptions()); }
  const TCustomStringTreeOptions& TreeOptions() const {
    return static_cast<const TCustomStringTreeOptions&>(TBaseDataTree::TreeOptions());
  }

  // Every reader of cell text goes through here (default text first).
  String GetCellText(PDataNode Node, TColumnIndex Column);
  void SetCellText(PDataNode Node, TColumnIndex Column, const String& Text);
  String Text(PDataNode Node, TColumnIndex Column) { return GetCellText(Node, Column); }
  // Height the text needs when wrapped in the cell (multi-line rows).
  virtual int MeasureTextHeight(TCanvas* Canvas, PDataNode Node, TColumnIndex Column, const String& Text);
  virtual int MeasureCellTextWidth(TCanvas* Canvas, PDataNode Node, TColumnIndex Column, const String& Text);
  // The cached width of a node's main cell, 0 = not known.
  int CachedWidth(PDataNode Node) const;
  TRect InvalidateNode(PDataNode Node) override;
  void ReinitNode(PDataNode Node, bool Recursive) override;
  void GetTextInfo(PDataNode Node, TColumnIndex Column, const TFont* AFont, TRect& R, String& Text) override;
  // The font changed: text height, ellipsis width and cached widths go.
  void TreeFontChanged();

  TDTGetTextEvent OnGetText;
  TDTNewTextEvent OnNewText;
  TDTPaintTextEvent OnPaintText;
  TDTShortenStringEvent OnShortenString;
  TDTDrawTextEvent OnDrawText;
  TDTMeasureTextEvent OnMeasureTextWidth;
  TDTGetHintEvent OnGetHint;

  // ---- export as text, HTML, RTF and CSV (tree/export.cpp) ----------------------------
  // 8-bit text is UTF-8.
  RawByteString ExportText(TExportSource Source, char16_t Separator);
  String ExportUnicodeText(TExportSource Source, const String& Separator);
  RawByteString ExportHTML(TExportSource Source, const String& Caption = String());
  RawByteString ExportRTF(TExportSource Source);
  // The bytes of one clipboard format (text, Unicode text, CSV, RTF, HTML
  // Format) with their terminating zero; empty when there is nothing to render.
  RawByteString RenderClipboardFormat(UINT Format, TExportSource Source);
  // The exports' walk over the nodes of one source (see the exports).
  class TExportWalk;
  // The rendering a data object asks for: the cut or copied nodes for the
  // clipboard, the selected ones for a drag. Empty when the format is not
  // one of the export formats or the rendering is empty.
  RawByteString RenderExportFormat(UINT Format, bool ForClipboard);
  TDTTreeExportEvent OnBeforeHeaderExport;
  TDTTreeExportEvent OnAfterHeaderExport;
  TDTColumnExportEvent OnBeforeColumnExport;
  TDTColumnExportEvent OnAfterColumnExport;
  TDTNodeExportEvent OnBeforeNodeExport;
  TDTNodeExportEvent OnAfterNodeExport;

  virtual void DoGetText(PDataNode Node, TColumnIndex Column, TDTTextType TextType, String& Text);
  virtual void DoNewText(PDataNode Node, TColumnIndex Column, const String& Text);
  virtual void DoPaintText(PDataNode Node, TCanvas* Canvas, TColumnIndex Column, TDTTextType TextType);
  virtual String DoShortenString(TCanvas* Canvas, PDataNode Node, TColumnIndex Column, const String& S, int Width,
                                 int EllipsisWidth = 0);
  virtual void DoDrawText(TCellPaintInfo& PaintInfo, const String& Text, TRect CellRect, UINT DrawFormat);
  virtual int DoMeasureTextWidth(TCanvas* Canvas, PDataNode Node, TColumnIndex Column, const String& Text);
  int DoGetNodeWidth(PDataNode Node, TColumnIndex Column, TCanvas* Canvas) override;
  int DoIncrementalSearch(PDataNode Node, const String& Text) override;
  bool DoGetCellIsEmpty(PDataNode Node, TColumnIndex Column) override;
  void HeaderChanged(bool ColumnsChanged) override;
  // Hints: the base hint, then OnGetHint; a tool tip is OnGetHint's text, or the cell's.
  String DoGetNodeHint(PDataNode Node, TColumnIndex Column, TDTTooltipLineBreakStyle& LineBreakStyle) override;
  String DoGetNodeToolTip(PDataNode Node, TColumnIndex Column, TDTTooltipLineBreakStyle& LineBreakStyle) override;
  // Formats the base tree does not render come from the texts.
  HRESULT RenderOLEData(const TFormatEtc& FormatEtcIn, TStgMedium& Medium, bool ForClipboard) override;
  // The bytes of a clipboard format rendered from the texts of the nodes
  // marked for cut or copy (ForClipboard) or the selected ones; empty when
  // the tree does not render the format.
  virtual RawByteString RenderClipboardContent(UINT Format, bool ForClipboard);

protected:
  // The owner's editor, or the default one: an edit laid over the cell.
  PDTEditLink DoCreateEditor(PDataNode Node, TColumnIndex Column) override;
  // The caption travels with the node in the stream form.
  bool ReadStreamChunk(TStream* Stream, int Version, PDataNode Node, int ChunkType, int ChunkSize) override;
  void WriteNodeChunks(TStream* Stream, PDataNode Node) override;
  void PaintNodeCell(TCellPaintInfo& PaintInfo) override;
  void AdjustCellRectangle(TCellPaintInfo& PaintInfo, TColumnIndex& NextNonEmpty) override;

private:
  void paintNormalText(TCellPaintInfo& PaintInfo, const String& Text);
  void paintStaticText(TCellPaintInfo& PaintInfo, const String& Text);
  void measureFont();
  void ensureFontMeasured();
  std::int32_t* widthSlot(PDataNode Node) const;
  void clearCachedWidths();

  String FDefaultText = u"Node";
  int FTextHeight = 0;
  int FEllipsisWidth = 0;
  int FInternalDataOffset = 0;
  String FMeasuredFace;
  int FMeasuredHeight = 0;
  TFontStyles FMeasuredStyle;
};

// The form the program places on its windows.
class TDataStringTree : public TCustomDataStringTree {
public:
  using TCustomDataStringTree::TCustomDataStringTree;
};
