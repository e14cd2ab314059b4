// Data exchange: memory blocks and media, the format enumerator, the
// clipboard holding a data object (rendered when read, by this program or
// another), and the drag of a control within the program.
#include <cstring>
#include <memory>

#include "platform/core/streams.h"
#include "platform/gui/clipboard.h"
#include "platform/gui/ole.h"
#include "tests/platform/gui_test_support.h"

using namespace guitest;

namespace {
// A data object holding one text, counting how often it was rendered.
class TTextObject : public IDataObject {
public:
  explicit TTextObject(String text) : Text(std::move(text)) {}
  String Text;
  int Renders = 0;
  HRESULT GetData(const TFormatEtc& f, TStgMedium& m) override {
    if (QueryGetData(f) != S_OK) return DV_E_FORMATETC;
    ++Renders;
    RawByteString bytes(reinterpret_cast<const char*>(Text.data()), Text.size() * 2);
    bytes.append(2, '\0');
    m.tymed = TYMED_HGLOBAL;
    m.hGlobal = GlobalFromBytes(bytes.data(), bytes.size());
    return S_OK;
  }
  HRESULT GetDataHere(const TFormatEtc&, TStgMedium&) override { return E_NOTIMPL; }
  HRESULT QueryGetData(const TFormatEtc& f) override { return f.cfFormat == CF_UNICODETEXT ? S_OK : DV_E_FORMATETC; }
  HRESULT GetCanonicalFormatEtc(const TFormatEtc&, TFormatEtc&) override { return DATA_S_SAMEFORMATETC; }
  HRESULT SetData(const TFormatEtc&, TStgMedium&, bool) override { return E_NOTIMPL; }
  HRESULT EnumFormatEtc(std::uint32_t, std::shared_ptr<IEnumFORMATETC>& e) override {
    TFormatEtc f;
    f.cfFormat = CF_UNICODETEXT;
    e = std::make_shared<TFormatEtcEnumerator>(TFormatEtcArray{f});
    return S_OK;
  }
  HRESULT DAdvise(const TFormatEtc&, std::uint32_t, std::shared_ptr<IAdviseSink>, std::uint32_t&) override {
    return OLE_E_ADVISENOTSUPPORTED;
  }
  HRESULT DUnadvise(std::uint32_t) override { return OLE_E_ADVISENOTSUPPORTED; }
  HRESULT EnumDAdvise() override { return OLE_E_ADVISENOTSUPPORTED; }
};
}  // namespace

TEST(GuiDataExchange, MemoryBlocksAndMedia) {
  HGLOBAL block = GlobalFromBytes("abc", 3);
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(GlobalSize(block), 3u);
  EXPECT_EQ(std::memcmp(GlobalLock(block), "abc", 3), 0);
  EXPECT_FALSE(GlobalUnlock(block)) << "the last unlock";
  HGLOBAL empty = GlobalAlloc(GHND, 0);
  EXPECT_NE(GlobalLock(empty), nullptr) << "an empty block still has an address";
  GlobalUnlock(empty);
  GlobalFree(empty);

  // A medium owns its block unless a release object does.
  auto owner = std::make_shared<int>(1);
  TStgMedium shared;
  shared.tymed = TYMED_HGLOBAL;
  shared.hGlobal = block;
  shared.pUnkForRelease = owner;
  ReleaseStgMedium(shared);
  EXPECT_EQ(owner.use_count(), 1) << "the release object was let go";
  EXPECT_EQ(GlobalSize(block), 3u) << "the block was not freed";
  TStgMedium own;
  own.tymed = TYMED_HGLOBAL;
  own.hGlobal = block;
  EXPECT_EQ(MediumBytes(own), "abc");
  ReleaseStgMedium(own);
  EXPECT_EQ(own.hGlobal, nullptr);

  // A stream medium is read from its position without moving it.
  auto stream = std::make_shared<TMemoryStream>();
  stream->Write("xyz", 3);
  stream->SetPosition(1);
  TStgMedium s;
  s.tymed = TYMED_ISTREAM;
  s.stm = stream;
  EXPECT_EQ(MediumBytes(s), "yz");
  EXPECT_EQ(stream->Position(), 1);
}

TEST(GuiDataExchange, TheClipboardRendersADataObjectWhenRead) {
  Application->Initialize();
  auto object = std::make_shared<TTextObject>(u"слово");
  ASSERT_EQ(OleSetClipboard(object), S_OK);
  EXPECT_EQ(object->Renders, 0) << "nothing is rendered before someone reads";
  EXPECT_EQ(OleIsCurrentClipboard(object), S_OK);
  EXPECT_EQ(Clipboard()->AsText(), u"слово");
  EXPECT_GE(object->Renders, 1);
  std::shared_ptr<IDataObject> back;
  ASSERT_EQ(OleGetClipboard(back), S_OK);
  EXPECT_EQ(back, object) << "this program gets its own object back";

  // Flushed: the text stays, the object goes.
  std::weak_ptr<TTextObject> watch = object;
  object.reset();
  back.reset();
  ASSERT_EQ(OleFlushClipboard(), S_OK);
  EXPECT_TRUE(watch.expired());
  EXPECT_EQ(Clipboard()->AsText(), u"слово");

  // Another program's text reads through a data object, zero-terminated.
  Clipboard()->SetAsText(u"чужой");
  ASSERT_EQ(OleGetClipboard(back), S_OK);
  TFormatEtcArray formats = DataObjectFormats(*back);
  ASSERT_EQ(formats.size(), 2u);
  EXPECT_EQ(formats[0].cfFormat, CF_UNICODETEXT);
  TFormatEtc text;
  text.cfFormat = CF_UNICODETEXT;
  TStgMedium medium;
  ASSERT_EQ(back->GetData(text, medium), S_OK);
  RawByteString bytes = MediumBytes(medium);
  ReleaseStgMedium(medium);
  EXPECT_EQ(String(reinterpret_cast<const char16_t*>(bytes.data()), bytes.size() / 2), String(u"чужой\0", 6));
  text.tymed = TYMED_ISTREAM;
  EXPECT_EQ(back->GetData(text, medium), DV_E_TYMED);
  EXPECT_EQ(OleIsCurrentClipboard(back), S_FALSE);
}

TEST(GuiDataExchange, TheFormatEnumeratorWalksItsOwnCopy) {
  TFormatEtcArray formats(3);
  for (int i = 0; i < 3; ++i) formats[std::size_t(i)].cfFormat = std::uint16_t(10 + i);
  TFormatEtcEnumerator list(formats);
  formats.clear();
  TFormatEtc got[4];
  std::uint32_t fetched = 0;
  EXPECT_EQ(list.Next(4, got, &fetched), S_FALSE);
  EXPECT_EQ(fetched, 3u);
  EXPECT_EQ(got[2].cfFormat, 12);
  list.Reset();
  EXPECT_EQ(list.Skip(3), S_FALSE);
  EXPECT_EQ(list.CurrentIndex(), 0u);
  EXPECT_EQ(list.Skip(2), S_OK);
  EXPECT_EQ(list.Next(1, got, nullptr), S_OK);
  EXPECT_EQ(got[0].cfFormat, 12);
}

struct GuiControlDrag : FormFixture {
  void SetUp() override {
    FormFixture::SetUp();
    Target = new Recorder(Form);
    Target->SetParent(Form);
    Target->SetBounds(250, 30, 100, 100);
    pump();
  }
  void move(TPoint client) {
    InjectMouse(Ctl->Handle(), imMove, mbLeft, client, {}, {ssLeft});
    pump();
  }
  Recorder* Target = nullptr;
};

TEST_F(GuiControlDrag, AControlDraggedOntoAnotherIsAskedAndDropped) {
  std::vector<TDragState> states;
  TObject* source = nullptr;
  TPoint droppedAt;
  TObject* endedOn = reinterpret_cast<TObject*>(1);
  Target->OnDragOver = [&](TObject*, TObject* s, int, int, TDragState state, bool& accept) {
    states.push_back(state);
    source = s;
    accept = true;
  };
  Target->OnDragDrop = [&](TObject*, TObject*, int x, int y) { droppedAt = {x, y}; };
  Ctl->OnEndDrag = [&](TObject*, TObject* target, int, int) { endedOn = target; };
  Ctl->SetDragMode(dmAutomatic);

  InjectMouse(Ctl->Handle(), imDown, mbLeft, {10, 10}, {});
  pump();
  EXPECT_TRUE(Ctl->Dragging());
  move({12, 11});  // within the threshold: not yet
  EXPECT_TRUE(states.empty());
  move({100, 20});  // over the form, which refuses (no handler)
  move({250 - 20 + 30, 40});
  move({250 - 20 + 40, 45});
  ASSERT_GE(states.size(), 2u);
  EXPECT_EQ(states[0], dsDragEnter);
  EXPECT_EQ(states.back(), dsDragMove);
  EXPECT_EQ(source, Ctl) << "the handler sees the dragged control";
  InjectMouse(Ctl->Handle(), imUp, mbLeft, {250 - 20 + 40, 45}, {});
  pump();
  EXPECT_EQ(droppedAt, TPoint(40, 45)) << "in the target's client co-ordinates";
  EXPECT_EQ(endedOn, Target);
  EXPECT_FALSE(Ctl->Dragging());
}

TEST_F(GuiControlDrag, EscapeOrAReleaseWhereNothingTakesItCancels) {
  bool dropped = false;
  std::vector<TDragState> states;
  Target->OnDragOver = [&](TObject*, TObject*, int, int, TDragState state, bool& accept) {
    states.push_back(state);
    accept = true;
  };
  Target->OnDragDrop = [&](TObject*, TObject*, int, int) { dropped = true; };
  int ended = 0;
  TObject* endedOn = nullptr;
  Ctl->OnEndDrag = [&](TObject*, TObject* target, int, int) {
    ++ended;
    endedOn = target;
  };
  Ctl->BeginDrag(true);
  move({250 - 20 + 30, 40});
  InjectKeyStroke(Ctl->Handle(), VK_ESCAPE, {}, u"");
  pump();
  EXPECT_EQ(states.back(), dsDragLeave) << "the target heard the drag leave";
  EXPECT_EQ(ended, 1);
  EXPECT_EQ(endedOn, nullptr);
  EXPECT_FALSE(dropped);
  EXPECT_FALSE(Ctl->Dragging());

  // Released over the form, which takes no drops.
  Ctl->BeginDrag(true);
  move({100, 20});
  InjectMouse(Ctl->Handle(), imUp, mbLeft, {100, 20}, {});
  pump();
  EXPECT_EQ(ended, 2);
  EXPECT_EQ(endedOn, nullptr);
  EXPECT_FALSE(dropped);
}

TEST_F(GuiControlDrag, ATargetThatGoesDuringTheDragIsNotReached) {
  Target->OnDragOver = [&](TObject*, TObject*, int, int, TDragState, bool& accept) { accept = true; };
  TObject* endedOn = reinterpret_cast<TObject*>(1);
  Ctl->OnEndDrag = [&](TObject*, TObject* target, int, int) { endedOn = target; };
  Ctl->BeginDrag(true);
  move({250 - 20 + 30, 40});
  delete Target;
  Target = nullptr;
  pump();
  InjectMouse(Ctl->Handle(), imUp, mbLeft, {250 - 20 + 30, 40}, {});
  pump();
  EXPECT_NE(endedOn, reinterpret_cast<TObject*>(1));
  EXPECT_FALSE(Ctl->Dragging());
}
