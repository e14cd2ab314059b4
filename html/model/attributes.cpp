#include "html/model/attributes.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>

#include "html/parse/html_common.h"
#include "html/parse/style_list.h"
#include "html/parse/style_model.h"
#include "html/parse/style_parser.h"
#include "platform/core/exception.h"
#include "platform/core/strings.h"

std::int32_t LinkIDCounter = 10;

namespace {

bool isBlank(char16_t c) { return c <= u' '; }

// Truncation toward zero that stays defined for any double.
std::int32_t truncated(double v) {
  if (std::isnan(v)) return 0;
  if (v >= double(std::numeric_limits<std::int32_t>::max())) return std::numeric_limits<std::int32_t>::max();
  if (v <= double(std::numeric_limits<std::int32_t>::min())) return std::numeric_limits<std::int32_t>::min();
  return static_cast<std::int32_t>(v);
}

}  // namespace

TWidthSpec MakeWidthSpec(std::int32_t value, TWidthType vtype) { return TWidthSpec{value, vtype}; }

TWidthSpec WidthSpecFromText(std::int32_t value, const String& text) {
  if (text.find(u'%') != String::npos) {
    // Below the smallest int32 a tenth would overflow; such a width is as
    // meaningless as any other negative one.
    const std::int64_t tenths = std::int64_t(std::min<std::int32_t>(value, 100)) * 10;
    return {static_cast<std::int32_t>(std::max<std::int64_t>(tenths, std::numeric_limits<std::int32_t>::min())),
            wtPercent};
  }
  if (text.find(u'*') != String::npos) return {value, wtRelative};
  return {value, wtAbsolute};
}

TAttribute::TAttribute(THtmlSymbol symbol, double dblValue, const String& name, const String& text,
                       int codePage)
    : Symbol(symbol), Name(name), Value(truncated(dblValue)), DblValue(dblValue), Text(text),
      CodePage(codePage) {}

TAttributeList::TAttributeList() = default;
TAttributeList::~TAttributeList() = default;

bool TAttributeList::Find(THtmlSymbol symbol, TAttribute*& T) const {
  for (const auto& a : FItems)
    if (a->Symbol == symbol) {
      T = a.get();
      return true;
    }
  return false;
}

std::unique_ptr<TStringList> TAttributeList::CreateStringList() const {
  auto lines = std::make_unique<TStringList>();
  for (const auto& a : FItems) lines->Add(a->Name + u"=" + a->Text);
  return lines;
}

String TAttributeList::GetClass() const {
  TAttribute* T;
  if (!Find(symClass, T)) return String();
  const String text = htLowerCase(Trim(T->Text));
  // Each word is read once where it stands: a class of many words costs
  // its length, not its length per word.
  String dotted;
  dotted.reserve(text.size() + 1);
  std::size_t words = 0;
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t end = std::size_t(std::find_if(text.begin() + std::ptrdiff_t(i), text.end(), isBlank) - text.begin());
    dotted += u'.';
    dotted.append(text, i, end - i);
    ++words;
    i = std::size_t(std::find_if_not(text.begin() + std::ptrdiff_t(end), text.end(), isBlank) - text.begin());
  }
  FClassSteps += text.size() + dotted.size();
  if (words < 2) return text;
  return CanonicalSelectorKey(dotted).substr(1);
}

String TAttributeList::GetID() {
  if (!FSaveID.empty()) return FSaveID;
  TAttribute* T;
  if (Find(symID, T)) FSaveID = htLowerCase(T->Text);
  return FSaveID;
}

String TAttributeList::GetTitle() const {
  TAttribute* T;
  return Find(symTitle, T) ? T->Text : String();
}

TProperties* TAttributeList::GetStyle() {
  TAttribute* T;
  if (!Find(symStyle, T)) return nullptr;
  // The new set is made before the old one goes, so callers holding the
  // earlier result can tell the two apart.
  auto props = std::make_unique<TProperties>();
  if (FStyleRead && FStyleText == T->Text) {
    props->CopyFrom(*FStyleRead);
  } else {
    ParsePropertyString(T->Text, *props);
    if (!FStyleRead) FStyleRead = std::make_unique<TProperties>();
    FStyleRead->CopyFrom(*props);
    FStyleText = T->Text;
  }
  FProp = std::move(props);
  return FProp.get();
}

void TAttributeList::Clear() {
  for (auto& a : FItems)
    if (FSpare.size() < 32) FSpare.push_back(std::move(a));
  TFreeList<TAttribute>::Clear();
  FSaveID.clear();
}

TAttribute* TAttributeList::AddValues(THtmlSymbol symbol, double dblValue, const String& name, const String& text,
                                      int codePage) {
  if (FSpare.empty()) return Add(std::make_unique<TAttribute>(symbol, dblValue, name, text, codePage));
  std::unique_ptr<TAttribute> a = std::move(FSpare.back());
  FSpare.pop_back();
  a->Symbol = symbol;
  a->Name = name;
  a->Value = truncated(dblValue);
  a->DblValue = dblValue;
  a->Text = text;
  a->CodePage = codePage;
  return Add(std::move(a));
}

void TUrlTarget::Assign(const String& url, const String& target, const TAttributeList* L, std::int32_t start) {
  URL = url;
  Target = target;
  ID = LinkIDCounter++;
  Start = start;
  // The tag's attributes as "name=value" lines, each ended by CR LF (the
  // text a string list of them gives), written straight into the record.
  Attr.clear();
  if (!L) return;
  size_t size = 0;
  for (int i = 0; i < L->Count(); ++i) size += L->Items(i)->Name.size() + L->Items(i)->Text.size() + 3;
  Attr.reserve(size);
  for (int i = 0; i < L->Count(); ++i) {
    const TAttribute* a = L->Items(i);
    Attr += a->Name;
    Attr += u'=';
    Attr += a->Text;
    Attr += u"\r\n";
  }
}

void TUrlTarget::Copy(const TUrlTarget& UT) {
  URL = UT.URL;
  Target = UT.Target;
  ID = UT.ID;
  TabIndex = UT.TabIndex;
  Attr = UT.Attr;
  Start = UT.Start;
  Last = UT.Last;
}

void TUrlTarget::Clear() {
  URL.clear();
  Target.clear();
  Attr.clear();
  ID = 0;
  TabIndex = 0;
  Start = -1;
  Last = -1;
}
