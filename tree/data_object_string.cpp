// The string tree's renderings for the clipboard and drag and drop.
#include "platform/core/strings.h"
#include "tree/string_tree.h"

HRESULT TCustomDataStringTree::RenderOLEData(const TFormatEtc& FormatEtcIn, TStgMedium& Medium, bool ForClipboard) {
  HRESULT result = TBaseDataTree::RenderOLEData(FormatEtcIn, Medium, ForClipboard);
  if (result == S_OK || !(FormatEtcIn.tymed & TYMED_HGLOBAL)) return result;
  RawByteString bytes = RenderClipboardContent(FormatEtcIn.cfFormat, ForClipboard);
  if (bytes.empty()) return result;
  Medium = TStgMedium();
  Medium.tymed = TYMED_HGLOBAL;
  Medium.hGlobal = GlobalFromBytes(bytes.data(), bytes.size());
  return Medium.hGlobal ? S_OK : E_OUTOFMEMORY;
}

RawByteString TCustomDataStringTree::RenderClipboardContent(UINT Format, bool ForClipboard) {
  // Plain text: the main column of each node, one line per node, in tree
  // order.
  if (Format != CF_UNICODETEXT && Format != CF_TEXT) return {};
  String text;
  const TColumnIndex column = Header().UseColumns() ? Header().MainColumn() : NoColumn;
  for (PDataNode node : ForClipboard ? GetSortedCutCopySet(false) : GetSortedSelection(false)) {
    if (!text.empty()) text += u"\r\n";
    text += GetCellText(node, column);
  }
  if (Format == CF_TEXT) {
    RawByteString bytes = UTF16ToUTF8(text);
    bytes.push_back('\0');
    return bytes;
  }
  RawByteString bytes(reinterpret_cast<const char*>(text.data()), text.size() * 2);
  bytes.append(2, '\0');
  return bytes;
}
