// The string tree's renderings for the clipboard and drag and drop.
#include "tree/string_tree.h"

HRESULT TCustomDataStringTree::RenderOLEData(const TFormatEtc& FormatEtcIn, TStgMedium& Medium, bool ForClipboard) {
  return GuardedEntry(HRESULT(E_FAIL), [&]() -> HRESULT {
    // The owner's rendering handler may destroy the tree.
    const std::weak_ptr<const bool> life = LifeToken();
    HRESULT result = TBaseDataTree::RenderOLEData(FormatEtcIn, Medium, ForClipboard);
    if (life.expired() || result == S_OK || !(FormatEtcIn.tymed & TYMED_HGLOBAL)) return result;
    RawByteString bytes = RenderClipboardContent(FormatEtcIn.cfFormat, ForClipboard);
    if (bytes.empty()) return result;
    Medium = TStgMedium();
    Medium.tymed = TYMED_HGLOBAL;
    Medium.hGlobal = GlobalFromBytes(bytes.data(), bytes.size());
    return Medium.hGlobal ? S_OK : E_OUTOFMEMORY;
  });
}

RawByteString TCustomDataStringTree::RenderClipboardContent(UINT Format, bool ForClipboard) {
  // Text, CSV, RTF and HTML as the exports make them.
  return RenderExportFormat(Format, ForClipboard);
}
