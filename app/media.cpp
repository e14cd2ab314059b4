#include "app/media.h"

#include "app/app_state.h"
#include "db/sqlite3_database.h"
#include "db/utf8_convert.h"
#include "platform/core/strings.h"

#include <filesystem>

bool ParseMediaSource(const String& Source, TMediaSource& Media) {
  if (Source.empty() || Source[0] != u'*') return false;
  const size_t slash = Source.find(u'/');
  if (slash == String::npos) return false;
  const String number = Source.substr(1, slash - 1);
  if (number.empty() || number.size() > 3) return false;
  for (char16_t c : number)
    if (c < u'0' || c > u'9') return false;
  const int index = StrToInt(number);
  if (index > LastDictIndex || ActiveDicts[index].empty()) return false;
  Media.DictIndex = index;
  Media.Name = Source.substr(slash + 1);
  return !Media.Name.empty();
}

struct TMediaReader::Source {
  TSQLite3Database Db{nullptr};
  std::unique_ptr<TSQLite3Statement> Statement;
};

TMediaReader::TMediaReader(std::int64_t WordId) : FWordId(WordId) {}

TMediaReader::~TMediaReader() {
  // Statements go before their connections.
  for (auto& [index, source] : FSources)
    if (source) source->Statement.reset();
}

std::unique_ptr<TMemoryStream> TMediaReader::Fetch(int DictIndex, const String& Name) {
  std::unique_ptr<Source>& source = FSources[DictIndex];
  if (!source) {
    auto made = std::make_unique<Source>();
    made->Db.SetReadOnly(true);
    made->Db.SetImmutable(true);
    made->Db.SetDatabaseName(u"dictionaries/" + ActiveDicts[DictIndex] + u".tamrix");
    made->Db.Open();
    made->Statement = made->Db.Prepare("SELECT mm_content FROM multimedia WHERE word_id=? AND internal_name=?;");
    source = std::move(made);
  }
  TSQLite3Statement& st = *source->Statement;
  auto stream = std::make_unique<TMemoryStream>();
  st.Reset();
  st.Bind_Int64(1, FWordId);
  st.Bind_Text(2, UnicodeToUtf8(Name));
  if (st.Step() == 100 /* a row */) {
    const int bytes = st.Column_Bytes(0);
    if (bytes > 0) stream->Write(st.Column_Blob(0), bytes);
  }
  st.Reset();
  return stream;
}

std::unique_ptr<TMemoryStream> FetchMedia(int DictIndex, std::int64_t WordId, const String& Name) {
  return TMediaReader(WordId).Fetch(DictIndex, Name);
}

String MediaTempFileName(const String& Name) {
  const size_t cut = Name.find_last_of(u"/\\");
  const String base = cut == String::npos ? Name : Name.substr(cut + 1);
  if (base.empty() || base == u"." || base == u".." || base.find(u'\0') != String::npos) return String();
  return AppDir + u"/temp/" + base;
}

TLinkKind ClassifyLink(const String& Source, String& Target) {
  Target.clear();
  if (Source.find(u'*') != String::npos) return lkMedia;
  const bool html = Source.find(u".html") != String::npos;
  const bool at = Source.find(u'@') != String::npos;
  if (!html && !at) {
    Target = Source;
    const size_t hash = Target.find(u'#');
    if (hash != String::npos) Target.erase(hash, 1);
    return lkSearch;
  }
  if (at) {
    String s;
    for (char16_t c : Source)
      if (c != u'"') s += c;
    s = s.size() > 1 ? s.substr(1) : String();
    const String lower = LowerCase(s);
    for (const char16_t* scheme : {u"http:", u"https:", u"mailto:"})
      if (lower.rfind(scheme, 0) == 0) {
        Target = s;
        return lkExternal;
      }
    return lkRefused;
  }
  return lkViewer;
}

bool IsPlayableMediaName(const String& Name) {
  static const char16_t* const kExtensions[] = {
      // pictures
      u"png", u"jpg", u"jpeg", u"jpe", u"gif", u"bmp", u"tif", u"tiff", u"webp", u"ico",
      // sounds
      u"wav", u"mp3", u"ogg", u"oga", u"opus", u"flac", u"m4a", u"aac", u"wma", u"mid", u"midi", u"amr", u"au",
      // videos
      u"avi", u"mp4", u"m4v", u"mkv", u"webm", u"mov", u"mpg", u"mpeg", u"wmv", u"flv", u"3gp", u"ogv"};
  const size_t dot = Name.rfind(u'.');
  if (dot == String::npos || Name.find_first_of(u"/\\", dot) != String::npos) return false;
  const String ext = LowerCase(Name.substr(dot + 1));
  for (const char16_t* known : kExtensions)
    if (ext == known) return true;
  return false;
}

bool ViewerMayShowFile(const String& FileName) {
  namespace fs = std::filesystem;
  std::error_code ec;
  const fs::path file = fs::weakly_canonical(fs::path(UTF16ToUTF8(FileName)), ec);
  if (ec) return false;
  for (const char* folder : {"help", "temp"}) {
    const fs::path root = fs::weakly_canonical(fs::path(UTF16ToUTF8(AppDir)) / folder, ec);
    if (ec) continue;
    // Inside: the folder's path is a leading part of the file's, by whole
    // names ("temp2/x" is not inside "temp").
    auto f = file.begin();
    bool inside = true;
    for (auto r = root.begin(); r != root.end(); ++r, ++f)
      if (f == file.end() || *f != *r) {
        inside = false;
        break;
      }
    if (inside && f != file.end()) return true;
  }
  return false;
}
