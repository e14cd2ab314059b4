// Writing entry records (names, encodings, versions, zip64), the work
// objects of an operation (temporary files, pipes, part names) and the
// component's dialog.
#include "platform/gui/dialogs.h"
#include "tests/zip/zip_test_util.h"
#include "zip/zip_central.h"
#include "zip/zip_dialog.h"

using namespace ziptest;

namespace {

uint16_t rd16(const std::string& s, size_t at) { return uint16_t(uint8_t(s[at]) | (uint8_t(s[at + 1]) << 8)); }
uint32_t rd32(const std::string& s, size_t at) { return rd16(s, at) | (uint32_t(rd16(s, at + 2)) << 16); }

// Reads the central header it writes back through the reader.
std::unique_ptr<TZAZRec> roundTrip(TZACentral* owner, TZAZRec& rec, const Folder& f) {
  std::string h = rec.CentralHeader();
  writeFile(f / "rec.bin", h);
  auto file = std::make_unique<TZAZipFile>(nullptr);
  file->SetFileName(UTF8ToUTF16(f / "rec.bin"));
  EXPECT_TRUE(file->Open(fmOpenRead));
  auto back = std::make_unique<TZAZRec>(owner);
  back->FOwner = file.get();
  EXPECT_GE(back->Read(), 0);
  back->FOwner = owner;
  return back;
}

// Exposes the part names of a set.
class PartNames : public TZAWorkZip {
public:
  PartNames(const String& name, int parts, uint8_t style) : TZAWorkZip(nullptr) {
    FArchiveName = name;
    FNumParts = parts;
    FNamingStyle = style;
  }
};

}  // namespace

TEST(ZipRecords, NamesAreEncodedByWhatTheyNeed) {
  TZipArchiver zip(nullptr);
  TZACentral owner(&zip);
  TZAZRec plain(&owner);
  ASSERT_EQ(plain.SetName(u"dir\\file.txt"), 0);
  EXPECT_EQ(plain.HeaderName(), "dir/file.txt");
  EXPECT_EQ(plain.FVersionMadeBy, 0x001E);
  EXPECT_EQ(plain.FFlag & 0x800, 0);
  // A name that needs Unicode, a comment that does not: a path field, no flag.
  TZAZRec upath(&owner);
  ASSERT_EQ(upath.SetName(u"стих.tamrix"), 0);
  EXPECT_EQ(upath.FFlag & 0x800, 0);
  EXPECT_EQ(upath.HeaderName(), "\xE1\xE2\xA8\xE5.tamrix");
  RawByteString field = ZipXData(upath.ExtraField(), 0x7075);
  ASSERT_GE(field.size(), 5u);
  EXPECT_EQ(field[0], 1);
  EXPECT_EQ(rd32(field, 1), crcOf(upath.HeaderName()));
  EXPECT_EQ(field.substr(5), "стих.tamrix");
  EXPECT_EQ(upath.FileName(), u"стих.tamrix");
  // Both needing it: UTF-8 with the flag.
  ASSERT_EQ(upath.SetComment(u"комментарий"), 0);
  EXPECT_NE(upath.FFlag & 0x800, 0);
  EXPECT_EQ(upath.HeaderName(), "стих.tamrix");
  EXPECT_FALSE(ZipXHasTag(upath.ExtraField(), 0x7075));
  EXPECT_EQ(upath.FileComment(), u"комментарий");
  // Refused names.
  TZAZRec bad(&owner);
  for (const char16_t* n : {u"", u"a:b", u"trailing ", u"a/ b", u"x/./y", u".hidden", u"a?"})
    EXPECT_EQ(ZAMsgId(bad.SetName(n)), 103) << UTF16ToUTF8(n);
  ASSERT_EQ(bad.SetName(u"folder/"), 0);
  EXPECT_EQ(ZAMsgId(bad.SetName(u"file")), 113);
  bad.FFlag = 1;
  EXPECT_EQ(ZAMsgId(bad.SetDateTime(0x5A8E6000)), 114);
  // Characters whose low byte is a reserved one are escaped, Cyrillic too.
  TZAZRec escaped(&owner);
  ASSERT_EQ(escaped.SetName(u"к.txt"), 0);
  EXPECT_EQ(escaped.FileName(), u"#$43A.txt");
  TZAZRec huge(&owner);
  ASSERT_EQ(huge.SetName(u"a.txt"), 0);
  std::string block;
  put16(block, 0x5455);
  put16(block, 65526);
  block += std::string(65526, 'x');
  EXPECT_EQ(ZAMsgId(huge.SetExtraField(block)), 112);
  EXPECT_EQ(huge.ExtraField(), "");
}

TEST(ZipRecords, VersionsAndZip64OnWriting) {
  Folder f;
  TZipArchiver zip(nullptr);
  TZACentral owner(&zip);
  TZAZRec rec(&owner);
  ASSERT_EQ(rec.SetName(u"big.bin"), 0);
  rec.FMethod = 8;
  rec.FVersionMadeBy = 0x0B32;
  rec.FUncompressedSize = 0x123456789ULL;
  rec.FCompressedSize = 0x100;
  rec.FRelOffLocal = 0x1FFFFFFFFULL;
  auto back = roundTrip(&owner, rec, f);
  EXPECT_EQ(rec.FVersionMadeBy, 0x002D);
  EXPECT_EQ(rec.FVersionNeeded & 0xFF, 45);
  EXPECT_EQ(back->FUncompressedSize, 0x123456789ULL);
  EXPECT_EQ(back->FCompressedSize, 0x100u);
  EXPECT_EQ(back->FRelOffLocal, 0x1FFFFFFFFULL);
  // Small again: version made by drops back to 3.0, method 0 needs 1.0.
  rec.FUncompressedSize = 10;
  rec.FRelOffLocal = 5;
  rec.FMethod = 0;
  rec.FVersionNeeded = 0;
  rec.CentralHeader();
  EXPECT_EQ(rec.FVersionMadeBy, 0x001E);
  EXPECT_EQ(rec.FVersionNeeded, 10);
  rec.FMethod = 12;
  rec.FVersionNeeded = 0;
  rec.CentralHeader();
  EXPECT_EQ(rec.FVersionNeeded, 46);
  // Local headers: no NTFS or comment field, sizes deferred with a
  // descriptor only for encrypted entries.
  rec.FMethod = 8;
  rec.FVersionNeeded = 20;
  rec.FFlag = 8;
  ASSERT_EQ(rec.SetExtraField(std::string("\x0A\x00\x02\x00xy", 6)), 0);
  std::string local = rec.LocalHeader(0x5A8E6000, 0xABCD);
  EXPECT_EQ(rd16(local, 6) & 8, 0);
  EXPECT_EQ(rd32(local, 14), 0xABCDu);
  EXPECT_EQ(rd16(local, 28), 0);
  EXPECT_EQ(rec.DataDescriptor(), "");
  rec.FFlag = 9;
  local = rec.LocalHeader(0x5A8E6000, 0xABCD);
  EXPECT_EQ(rd32(local, 14), 0u);
  EXPECT_EQ(rec.DataDescriptor().size(), 16u);
}

TEST(ZipCore, TemporaryFilesPipesAndPartNames) {
  Folder f;
  writeFile(f / "always.tmp", "a");
  writeFile(f / "onfail.tmp", "b");
  {
    TZACore op(nullptr);
    op.AddTempFile(UTF8ToUTF16(f / "always.tmp"), true);
    op.AddTempFile(UTF8ToUTF16(f / "onfail.tmp"), false);
    op.Finished(true);
  }
  EXPECT_FALSE(fs::exists(f / "always.tmp"));
  EXPECT_TRUE(fs::exists(f / "onfail.tmp"));
  {
    TZACore op(nullptr);
    op.AddTempFile(UTF8ToUTF16(f / "onfail.tmp"), false);
    op.Finished(false);
  }
  EXPECT_FALSE(fs::exists(f / "onfail.tmp"));
  TZAPipeListImp pipes;
  auto* stream = new TMemoryStream;
  stream->WriteBuffer("abc", 3);
  EXPECT_EQ(pipes.Add(stream, u"a.txt", true), 0);
  pipes.Item(0)->SetSize(100);
  EXPECT_EQ(pipes.Item(0)->Size(), 3);
  try {
    pipes.Item(10);
    FAIL() << "index 10 accepted";
  } catch (const EZipArchiver& e) {
    EXPECT_EQ(e.Message(), u"Index (10) outside range 0..9");
  }
  TZAPipeListImp other;
  pipes.MoveTo(other);
  EXPECT_EQ(pipes.Count(), 0);
  EXPECT_EQ(other.Count(), 1);
  PartNames split(u"/d/set.zip", 10, 3);
  EXPECT_EQ(split.PartFileName(0), u"/d/set.z01");
  EXPECT_EQ(split.PartFileName(8), u"/d/set.z09");
  EXPECT_EQ(split.PartFileName(9), u"/d/set.zip");
  PartNames eleven(u"/d/set.zip", 11, 3);
  EXPECT_EQ(eleven.PartFileName(9), u"/d/set.z10");
  PartNames numbered(u"/d/set.zip", 3, 2);
  EXPECT_EQ(numbered.PartFileName(0), u"/d/set001.zip");
  PartNames again(u"/d/set002.zip", 3, 2);
  EXPECT_EQ(again.PartFileName(2), u"/d/set003.zip");
}

TEST(ZipCore, DialogsFallBackToTheBoxAndItsHook) {
  TZipArchiver zip(nullptr);
  zip.SetActive(true);
  int hookAsked = 0;
  TDialogHook old = SetDialogHook([&](TDialogRequest& r, int& result) {
    ++hookAsked;
    if (auto* box = dynamic_cast<TZipDialogBox*>(r.Dialog)) {
      EXPECT_EQ(box->DialogType(), 3);
    }
    result = 7;
    return true;
  });
  zip.OnZipDialog = [](TObject*, const String&, String&, int& result, TZADlgBtns) { result = 0; };
  String msg = u"Overwrite?";
  EXPECT_EQ(zip.ZipDialog(u"Confirm", msg, TZADlgBtns{zbYes, zbNo}, 0x100000 | (3 << 16) | 1), 7);
  EXPECT_EQ(hookAsked, 1);
  zip.OnZipDialog = [](TObject*, const String&, String& m, int& result, TZADlgBtns) {
    m = u"answered";
    result = 6;
  };
  EXPECT_EQ(zip.ZipDialog(u"Confirm", msg, TZADlgBtns{zbYes, zbNo}, 0), 6);
  EXPECT_EQ(msg, u"answered");
  EXPECT_EQ(hookAsked, 1);
  // Unattended: no password is asked for, the error is recorded.
  zip.OnZipDialog = nullptr;
  zip.SetUnattended(true);
  String pw;
  EXPECT_EQ(zip.ZipPassword(false, pw, u"x"), zbCancel);
  EXPECT_EQ(zip.ErrCode(), 22);
  EXPECT_EQ(hookAsked, 1);
  SetDialogHook(old);
}

TEST(ZipCore, SelfExtractorProbes) {
  std::string s(4096, '\0');
  s[0] = 'M';
  s[1] = 'Z';
  s[60] = char(0x80);
  s.replace(0x80, 4, std::string("PE\0\0", 4));
  s[0x84] = char(0x4C);
  s[0x85] = char(0x01);
  s[0x86] = 2;
  std::string sec;
  put32(sec, 1000);
  put32(sec, 1024);
  s.replace(0x80 + 24 + 224 + 16, 8, sec);
  sec.clear();
  put32(sec, 2048);
  put32(sec, 2048);
  s.replace(0x80 + 24 + 224 + 40 + 16, 8, sec);
  std::string h;
  put32(h, 0x0C005A44);
  put32(h, 12);
  h += std::string(4, '\0');
  put32(h, 0x04034B50);
  TMemoryStream m;
  m.WriteBuffer((s + h).data(), int64_t(s.size() + h.size()));
  EXPECT_EQ(ZipStubSize(&m), 4096);
  String name = u"/d/setup.exe";
  int64_t start = 0;
  EXPECT_EQ(ZipStubHeader(&m, name, start), 19);
  EXPECT_EQ(start, 4096 + 12);
  TMemoryStream plain;
  plain.WriteBuffer("PK\x03\x04", 4);
  EXPECT_EQ(ZipStubSize(&plain), 0);
  EXPECT_EQ(ZipStubHeader(&plain, name, start), -7);
}

TEST(ZipCore, IconsOfProgramImages) {
  // A PE32 image: headers, one .rsrc section at RVA 0x1000 / file 0x400
  // holding type 3 -> name 1 -> language 0x409 -> 6 bytes of icon.
  std::string s(0x600, '\0');
  s[0] = 'M';
  s[1] = 'Z';
  s[60] = char(0x80);
  s.replace(0x80, 4, std::string("PE\0\0", 4));
  s[0x84] = char(0x4C);
  s[0x85] = char(0x01);
  s[0x86] = 1;
  s[0x94] = char(224);  // optional header size
  s[0x98] = char(0x0B);
  s[0x99] = char(0x01);
  std::string dd;
  put32(dd, 0x1000);
  put32(dd, 0x100);
  s.replace(0x98 + 96 + 16, 8, dd);
  std::string sh;
  put32(sh, 0x200);  // virtual size
  put32(sh, 0x1000);
  put32(sh, 0x200);
  put32(sh, 0x400);
  s.replace(0x98 + 224 + 8, 16, sh);
  auto dir = [&](size_t at, uint32_t id, uint32_t target) {
    std::string d(16, '\0');
    d[14] = 1;
    put32(d, id);
    put32(d, target);
    s.replace(0x400 + at, d.size(), d);
  };
  dir(0x00, 3, 0x80000018);
  dir(0x18, 1, 0x80000030);
  dir(0x30, 0x409, 0x48);
  std::string data;
  put32(data, 0x1060);
  put32(data, 6);
  s.replace(0x400 + 0x48, 8, data);
  s.replace(0x460, 6, "ICON!!");
  TMemoryStream m;
  m.WriteBuffer(s.data(), int64_t(s.size()));
  RawByteString icon;
  EXPECT_EQ(ZipStubIcon(&m, icon), 0);
  EXPECT_EQ(icon, "ICON!!");
  // No icon type among the resources; no resources at all; not a program.
  std::string noIcon = s;
  noIcon[0x400 + 16] = 14;
  TMemoryStream m2;
  m2.WriteBuffer(noIcon.data(), int64_t(noIcon.size()));
  EXPECT_EQ(ZipStubIcon(&m2, icon), 146);
  std::string noRes = s;
  noRes.replace(0x98 + 96 + 16, 8, std::string(8, '\0'));
  TMemoryStream m3;
  m3.WriteBuffer(noRes.data(), int64_t(noRes.size()));
  EXPECT_EQ(ZipStubIcon(&m3, icon), 147);
  TMemoryStream m4;
  m4.WriteBuffer("PK", 2);
  EXPECT_EQ(ZipStubIcon(&m4, icon), 117);
}
