// Trees' accessible objects, asked of the registered providers.
#include "tree/accessibility_factory.h"

#include <algorithm>

#include "tree/base_tree.h"

PAccessible TDTAccessibilityFactory::CreateIAccessible(TBaseDataTree* Tree) {
  if (!Tree) return nullptr;
  // A tree without an object of its own gets one from the first provider.
  if (!Tree->Accessible() && !FAccessibleProviders.empty())
    return FAccessibleProviders.front()->CreateIAccessible(Tree);
  if (Tree->AccessibleItem()) return Tree->AccessibleItem();
  if (FAccessibleProviders.empty()) return nullptr;
  // The item providers, the last registered first; the first provider last.
  for (std::size_t i = FAccessibleProviders.size() - 1; i >= 1; --i)
    if (PAccessible object = FAccessibleProviders[i]->CreateIAccessible(Tree)) return object;
  return FAccessibleProviders.front()->CreateIAccessible(Tree);
}

void TDTAccessibilityFactory::RegisterAccessibleProvider(const PDTAccessibleProvider& Provider) {
  if (Provider) FAccessibleProviders.push_back(Provider);
}

void TDTAccessibilityFactory::UnRegisterAccessibleProvider(const PDTAccessibleProvider& Provider) {
  auto it = std::find(FAccessibleProviders.begin(), FAccessibleProviders.end(), Provider);
  if (it != FAccessibleProviders.end()) FAccessibleProviders.erase(it);
}

TDTAccessibilityFactory* GetAccessibilityFactory() {
  static TDTAccessibilityFactory factory;
  return &factory;
}

// A screen reader asks the tree's window for its object: made through the
// factory on first request (the tree's own, then its item's). A tree that
// has none leaves the answer to the platform's default.
void TBaseDataTree::HandleGetObject(TMessage& Message) {
  if (LPARAM(Message.LParam) != OBJID_CLIENT) {
    inheritedDispatch(Message);
    return;
  }
  TDTAccessibilityFactory* factory = GetAccessibilityFactory();
  const std::weak_ptr<const bool> life = LifeToken();
  if (!FAccessible) FAccessible = factory->CreateIAccessible(this);
  if (life.expired()) return;
  if (FAccessible && !FAccessibleItem) FAccessibleItem = factory->CreateIAccessible(this);
  if (life.expired()) return;
  if (!FAccessible) {
    inheritedDispatch(Message);
    return;
  }
  Message.Result = LresultFromObject(FAccessible);
}
