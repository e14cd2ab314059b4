// The accessibility factory: the order in which it asks its providers, the
// tree's answer to WM_GETOBJECT, and what a screen reader sees through the
// toolkit with and without a provider.
#include <gtest/gtest.h>

#include "tests/tree/tree_input_util.h"
#include "tree/accessibility_factory.h"

using namespace inputtest;

namespace {

class TNamedObject : public IAccessible {
public:
  explicit TNamedObject(String name) : FName(std::move(name)) {}
  String Name() override { return FName; }
  TAccessibleRole Role() override { return arOutline; }
  TRect Location() override { return {0, 0, 10, 10}; }

private:
  String FName;
};

class TProvider : public IDTAccessibleProvider {
public:
  TProvider(std::string id, std::vector<std::string>& log, bool answers)
      : FId(std::move(id)), FLog(log), FAnswers(answers) {}
  PAccessible CreateIAccessible(TBaseDataTree*) override {
    FLog.push_back(FId);
    return FAnswers ? std::make_shared<TNamedObject>(UTF8ToUTF16("object of " + FId)) : nullptr;
  }

private:
  std::string FId;
  std::vector<std::string>& FLog;
  bool FAnswers;
};

class AccessibilityTest : public ::testing::Test {
protected:
  TInputFixture F{200, 120};
  std::vector<std::string> Log;
  std::vector<PDTAccessibleProvider> Registered;

  void SetUp() override {
    F.add(nullptr, "alpha");
    F.show();
  }
  void TearDown() override {
    for (auto& p : Registered) GetAccessibilityFactory()->UnRegisterAccessibleProvider(p);
  }
  void add(const std::string& id, bool answers) {
    Registered.push_back(std::make_shared<TProvider>(id, Log, answers));
    GetAccessibilityFactory()->RegisterAccessibleProvider(Registered.back());
  }
};

TEST_F(AccessibilityTest, WithoutProvidersTheTreeHasNoObjectAndThePlatformAnswers) {
  TDTAccessibilityFactory* factory = GetAccessibilityFactory();
  EXPECT_EQ(factory, GetAccessibilityFactory());
  EXPECT_EQ(factory->CreateIAccessible(F.Tree), nullptr);
  EXPECT_EQ(factory->CreateIAccessible(nullptr), nullptr);
  EXPECT_EQ(SendMessage(F.Tree->Handle(), WM_GETOBJECT, 0, OBJID_CLIENT), 0);
  EXPECT_EQ(F.Tree->Accessible(), nullptr);
  String name;
  int children = -1;
  EXPECT_TRUE(QueryAccessible(F.Tree, name, children)) << "the toolkit's default describes the window";
}

TEST_F(AccessibilityTest, TheFirstProviderMakesTheTreesObjectTheOthersItsItemLastFirst) {
  add("p0", true);
  add("p1", true);
  add("p2", false);
  TDTAccessibilityFactory* factory = GetAccessibilityFactory();
  // A tree without an object of its own asks the first provider only.
  PAccessible own = factory->CreateIAccessible(F.Tree);
  ASSERT_NE(own, nullptr);
  EXPECT_EQ(own->Name(), u"object of p0");
  EXPECT_EQ(Log, (std::vector<std::string>{"p0"}));

  Log.clear();
  const LRESULT answer = SendMessage(F.Tree->Handle(), WM_GETOBJECT, 0, OBJID_CLIENT);
  EXPECT_NE(answer, 0);
  ASSERT_NE(F.Tree->Accessible(), nullptr);
  ASSERT_NE(F.Tree->AccessibleItem(), nullptr);
  EXPECT_EQ(F.Tree->Accessible()->Name(), u"object of p0");
  EXPECT_EQ(F.Tree->AccessibleItem()->Name(), u"object of p1");
  EXPECT_EQ(Log, (std::vector<std::string>{"p0", "p2", "p1"}));

  // Once the item exists it is the answer; nobody is asked again.
  Log.clear();
  EXPECT_EQ(factory->CreateIAccessible(F.Tree), F.Tree->AccessibleItem());
  EXPECT_TRUE(Log.empty());
}

TEST_F(AccessibilityTest, WhenNoItemProviderAnswersTheFirstIsAskedAgain) {
  add("p0", true);
  add("p1", false);
  SendMessage(F.Tree->Handle(), WM_GETOBJECT, 0, OBJID_CLIENT);
  EXPECT_EQ(Log, (std::vector<std::string>{"p0", "p1", "p0"}));
  // Unregistering removes by value.
  GetAccessibilityFactory()->UnRegisterAccessibleProvider(Registered[1]);
  EXPECT_EQ(GetAccessibilityFactory()->AccessibleProviders().size(), 1u);
}

// Providers are registered before the trees they describe are shown: the
// toolkit keeps the answer it got for a window.
TEST_F(AccessibilityTest, AProvidersObjectIsWhatTheScreenReaderSees) {
  add("p0", true);
  TInputFixture second(200, 120);
  second.show();
  String name;
  int children = -1;
  ASSERT_TRUE(QueryAccessible(second.Tree, name, children));
  EXPECT_EQ(name, u"object of p0");
  EXPECT_EQ(children, 0);
}

}  // namespace
