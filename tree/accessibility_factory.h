#pragma once
// The process-wide source of trees' accessible objects: a list of providers
// that a program may register. The first provider makes a tree's own
// object; later ones make objects for the tree's items. With none
// registered a tree has no object of its own and the platform's default
// describes it.
#include <memory>
#include <vector>

#include "platform/gui/accessibility.h"

class TBaseDataTree;

class IDTAccessibleProvider {
public:
  virtual ~IDTAccessibleProvider() = default;
  // The object for Tree, or nil.
  virtual PAccessible CreateIAccessible(TBaseDataTree* Tree) = 0;
};
using PDTAccessibleProvider = std::shared_ptr<IDTAccessibleProvider>;

class TDTAccessibilityFactory {
public:
  PAccessible CreateIAccessible(TBaseDataTree* Tree);
  // Added at the end; removed by value.
  void RegisterAccessibleProvider(const PDTAccessibleProvider& Provider);
  void UnRegisterAccessibleProvider(const PDTAccessibleProvider& Provider);
  const std::vector<PDTAccessibleProvider>& AccessibleProviders() const { return FAccessibleProviders; }

private:
  std::vector<PDTAccessibleProvider> FAccessibleProviders;
};

// The single factory, made on first use.
TDTAccessibilityFactory* GetAccessibilityFactory();
