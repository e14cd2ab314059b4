// Arbitrary bytes as a linked style sheet, as the content of a style
// element, and as a style attribute; then the rules are cascaded onto a
// few elements so that every stored key is read back.
#include <cstddef>
#include <cstdint>

#include "html/parse/style_parser.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static TPropStack stack;
  TStyleList styles;
  styles.SetPropStack(&stack);
  styles.Initialize(u"DejaVu Sans", u"DejaVu Sans Mono", 12, 0, 0xFF, 0x800080, 0xFF00, true, 1,
                    5, 8);
  stack.Clear();
  auto bottom = TProperties::CreateInStack(&stack);
  bottom->CopyDefaultFrom(*styles.DefProp());
  stack.Add(std::move(bottom));

  for (bool fromLink : {true, false}) {
    auto buffer = TBuffer::CreateFromBytes(data, size, u"fuzz.css");
    char16_t ch = u' ';
    ParseStyleSheet(styles, ch, *buffer, fromLink ? u"/base/dir" : u"http://h.org/a/", fromLink);
  }
  TProperties attr;
  {
    auto buffer = TBuffer::CreateFromBytes(data, size, u"");
    ParseStyleAttribute(*buffer, attr);
  }
  const char16_t* tags[] = {u"div", u"p", u"a", u"span"};
  for (const char16_t* tag : tags) {
    auto p = TProperties::CreateInStack(&stack);
    p->Inherit(tag, *stack.Last());
    p->Combine(styles, tag, u"x.y", u"main", tag[0] == u'a' ? u"link" : u"", u"", &attr,
               stack.Count() - 1);
    TVMarginArray vm;
    p->GetVMarginArray(vm);
    TMarginArray m{};
    int autoCount;
    ConvertMarginArray(vm, 500, 400, 16, 8, 4, autoCount, m);
    TBackgroundPosRecs pos;
    p->GetBackgroundPos(16, 8, pos);
    stack.Add(std::move(p));
  }
  stack.Clear();
  return 0;
}
