// Charset names a page may declare, and the pairs of font charsets and
// code pages.
#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "html/parse/html_common.h"
#include "html/parse/source_buffer.h"

namespace {

struct Pair {
  int charSet;
  int codePage;
};

// Searched in this order; the first match wins both ways (so code page 0
// gives charset 1). Charset 31 is no font charset: it stands for
// ISO 8859-2 and is treated as 238 wherever a font is chosen.
constexpr Pair kPairs[] = {
    {0, 1252},   {1, 0},      {2, 0},      {77, 2},     {128, 932},  {129, 949},  {130, 1361},
    {134, 936},  {136, 950},  {161, 1253}, {162, 1254}, {163, 1258}, {177, 1255}, {178, 1256},
    {186, 1257}, {204, 1251}, {222, 874},  {238, 1250}, {255, 1},    {31, 28592},
};

// Code pages a page can be decoded with that have no pair above, and the
// font charset of their script. With these no charset the name table
// hands out, and no code page a buffer can hold, is unknown.
constexpr Pair kMorePairs[] = {
    {204, 866},   {204, 20866}, {204, 21866}, {0, 28591},   {162, 28593}, {186, 28594},
    {204, 28595}, {178, 28596}, {161, 28597}, {177, 28598}, {162, 28599}, {186, 28600},
    {222, 28601}, {186, 28603}, {0, 28604},   {0, 28605},   {128, 20932}, {128, 51932},
    {1, 65001},   {1, CodePageUtf16LE},       {1, CodePageUtf16BE},       {128, CodePageIso2022JP},
    {255, 437},   {77, 10000},  {30, 20932},
};

struct NameRow {
  const char16_t* name;
  int charSet;
  int codePage;  // -1: the charset's pair
};

// Names and parts of names found in meta charsets and FONT CHARSET. Each
// name decodes with the code page of its own character set.
constexpr NameRow kNames[] = {
    {u"1250", 238, -1},        {u"1251", 204, -1},       {u"1252", 0, -1},
    {u"1253", 161, -1},        {u"1254", 162, -1},       {u"1255", 177, -1},
    {u"1256", 178, -1},        {u"1257", 186, -1},       {u"1258", 163, -1},
    {u"5601", 129, -1},        {u"866", 204, 866},       {u"874", 222, -1},
    {u"8859-1", 0, -1},        {u"8859-2", 31, -1},      {u"8859-3", 162, 28593},
    {u"8859-4", 186, 28594},   {u"8859-5", 204, 28595},  {u"8859-6", 178, 28596},
    {u"8859-7", 161, 28597},   {u"8859-8", 177, 28598},  {u"8859-9", 162, 28599},
    {u"8859-10", 186, 28600},  {u"8859-11", 222, 28601}, {u"8859-13", 186, 28603},
    {u"8859-14", 0, 28604},    {u"8859-15", 0, 28605},   {u"932", 128, -1},
    {u"936", 134, -1},         {u"949", 129, -1},        {u"950", 136, -1},
    {u"ansi", 0, -1},          {u"arabic", 178, -1},     {u"big5", 136, -1},
    {u"default", 1, -1},       {u"easteurope", 238, -1}, {u"euc-jp", 128, 20932},
    {u"euc-kr", 129, -1},      {u"gb2312", 134, -1},     {u"gbk", 134, -1},
    {u"greek", 161, -1},       {u"hangeul", 129, -1},    {u"hebrew", 177, -1},
    {u"johab", 130, -1},       {u"koi", 204, 20866},     {u"koi8-r", 204, 20866},
    {u"koi8-u", 204, 21866},   {u"oem", 255, -1},        {u"russian", 204, -1},
    {u"shift_jis", 128, -1},   {u"shiftjis", 128, -1},   {u"symbol", 2, -1},
    {u"thai", 222, -1},        {u"tis-620", 222, -1},    {u"turkish", 162, -1},
    {u"utf-16be", 1, CodePageUtf16BE},                   {u"utf-16le", 1, CodePageUtf16LE},
    {u"utf-8", 1, 65001},      {u"vietnamese", 163, -1}, {u"x-sjis", 128, -1},
};

// The name list, sorted ordinally on the lower-cased names (all of them are
// lower case already), made on first use.
const std::vector<std::unique_ptr<TBuffCharSetCodePageInfo>>& charSetList() {
  static const auto list = [] {
    std::vector<std::unique_ptr<TBuffCharSetCodePageInfo>> l;
    for (const NameRow& r : kNames)
      l.push_back(std::make_unique<TBuffCharSetCodePageInfo>(r.name, r.codePage, std::uint16_t(r.charSet)));
    std::sort(l.begin(), l.end(), [](const auto& a, const auto& b) { return a->Name() < b->Name(); });
    return l;
  }();
  return list;
}

}  // namespace

TBuffCharSetCodePageInfo::TBuffCharSetCodePageInfo(const String& name, int codePage, std::uint16_t charSet)
    : FName(name), FCharSet(charSet), FCodePage(codePage == -1 ? CharSetToCodePage(charSet) : codePage) {}

const TBuffCharSetCodePageInfo* GetCharSetCodePageInfo(std::u16string_view name) {
  const auto& list = charSetList();
  const String lower = htLowerCase(name);
  auto it = std::lower_bound(list.begin(), list.end(), lower,
                             [](const auto& e, const String& n) { return e->Name() < n; });
  if (it != list.end() && (*it)->Name() == lower) return it->get();
  // A longer name such as windows-1251 or iso-8859-15: the last table name
  // inside it, so that 8859-15 is tried before 8859-1.
  for (auto r = list.rbegin(); r != list.rend(); ++r)
    if (lower.find((*r)->Name()) != String::npos) return r->get();
  return nullptr;
}

int CharSetToCodePage(int charSet) {
  for (const Pair& p : kPairs)
    if (p.charSet == charSet) return p.codePage;
  for (const Pair& p : kMorePairs)
    if (p.charSet == charSet) return p.codePage;
  throw EConversionError(("Don't know equivalent code page for char set " + std::to_string(charSet) + ".").c_str());
}

int CodePageToCharSet(int codePage) {
  for (const Pair& p : kPairs)
    if (p.codePage == codePage) return p.charSet;
  for (const Pair& p : kMorePairs)
    if (p.codePage == codePage) return p.charSet;
  throw EConversionError(("Don't know equivalent char set for code page " + std::to_string(codePage) + ".").c_str());
}
