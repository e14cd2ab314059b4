// Construction of rules and page breaks.
#include "html/model/rule_page.h"

#include "html/parse/html_common.h"
#include "html/parse/style_colors.h"
#include "html/model/document.h"
#include "platform/core/strings.h"

using namespace std::string_view_literals;

THorzLine::THorzLine(ThtDocument* ADocument, TAttributeList* L, TProperties* Prop)
    : TSectionBase(ADocument, Prop) {
  if (L)
    for (const auto& A : *L) {
      switch (A->Symbol) {
        case symSize:
          if (A->Value >= 1 && A->Value <= 20) RuleHeight = A->Value;
          break;
        case symWidth:
          if (A->Value > 0 && Prop) {
            if (A->Text.find(u'%') != String::npos) {
              if (A->Value <= 100)
                Prop->SetPropertyDefault(piWidth, TPropValue(IntToStr(A->Value) + u"%"));
            } else {
              Prop->SetPropertyDefault(piWidth, TPropValue(A->Value));
            }
          }
          break;
        case symColor: {
          TColor color;
          if (ColorFromString(A->Text, false, color)) {
            RuleColor = color;
            if (Prop) Prop->SetPropertyDefault(piColor, TPropValue(int(color)));
          }
          break;
        }
        case symAlign: {
          const String s = htLowerCase(A->Text);
          if (s == u"left"sv) RuleAlign = 1;
          else if (s == u"right"sv) RuleAlign = 3;
          break;
        }
        case symNoShade: NoShade = true; break;
        default: break;
      }
    }
  if (!Prop) return;
  Prop->SetPropertyDefault(piHeight, TPropValue(RuleHeight));
  const TColor own = Prop->GetOriginalForegroundColor();
  if (own != clNone) RuleColor = own;
  if (Prop->Originals[piTextAlign]) {
    const String s = htLowerCase(Prop->Props[piTextAlign].AsString());
    if (s == u"left"sv) RuleAlign = 1;
    else if (s == u"right"sv) RuleAlign = 3;
    else if (s == u"center"sv) RuleAlign = 2;
  }
}

THorzLine::THorzLine(ThtDocument* NewDocument, const THorzLine& Source)
    : TSectionBase(NewDocument, Source), RuleHeight(Source.RuleHeight),
      RuleColor(Source.RuleColor), RuleAlign(Source.RuleAlign), NoShade(Source.NoShade) {}

std::unique_ptr<TSectionBase> THorzLine::CreateCopy(ThtDocument* NewDocument) const {
  return std::unique_ptr<TSectionBase>(new THorzLine(NewDocument, *this));
}

std::unique_ptr<TSectionBase> TPage::CreateCopy(ThtDocument* NewDocument) const {
  return std::unique_ptr<TSectionBase>(new TPage(NewDocument, *this));
}
