#pragma once
// TvkForm: the on-screen keyboard window.
#include "platform/gui/forms.h"

class TvkForm : public TForm {
public:
  explicit TvkForm(TComponent* AOwner);
  ~TvkForm() override;
};

extern TvkForm* vkForm;
