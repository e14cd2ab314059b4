#include "app/vk_form.h"

TvkForm* vkForm = nullptr;

TvkForm::TvkForm(TComponent* AOwner) : TForm(AOwner) {
  vkForm = this;
  SetName(u"vkForm");
  SetCaption(u"виртуальная клавиатура");
  SetBorderIcons(TBorderIcons{biSystemMenu});
}

TvkForm::~TvkForm() {
  if (vkForm == this) vkForm = nullptr;
}
