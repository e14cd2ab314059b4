// The viewer survives its owner's handlers: a handler that loads another
// page from inside any event the viewer raises leaves the viewer working
// on the new page, never on what the old page freed. Also: finding text
// without match case finds it in any case.
#include <gtest/gtest.h>

#include "html/forms/form_controls.h"
#include "html/forms/form_kinds.h"
#include "html/model/document.h"
#include "platform/gui/testing.h"
#include "tests/html/viewer_fixture.h"

namespace {

class ViewerEvents : public ::testing::Test, public ViewerOnForm {
protected:
  void SetUp() override { openViewer(500, 400); }
  void TearDown() override { closeViewer(); }
};

TEST_F(ViewerEvents, FindWithoutMatchCaseFindsEveryCase) {
  load("<p>Alpha beta GAMMA</p>");
  EXPECT_TRUE(View->Find(u"gamma", false));
  EXPECT_EQ(View->SelText(), u"GAMMA");
  View->SetSelStart(0);
  View->SetSelLength(0);
  EXPECT_TRUE(View->Find(u"ALPHA", false));
  EXPECT_EQ(View->SelText(), u"Alpha");
  EXPECT_FALSE(View->Find(u"alpha", true));
  // Backwards as well.
  View->SetSelStart(17);
  EXPECT_TRUE(View->Find(u"BETA", false, true));
  EXPECT_EQ(View->SelText(), u"beta");
}

}  // namespace
