#pragma once
// TComponent: named, owned objects. An owner frees the components it owns
// when it is destroyed, and tells interested components when one goes away.
#include <functional>
#include <vector>

#include "platform/core/object.h"
#include "platform/core/tset.h"
#include "platform/core/types.h"

enum TComponentStateItem {
  csLoading, csReading, csWriting, csDestroying, csDesigning, csAncestor,
  csUpdating, csFixups, csFreeNotification, csInline, csDesignInstance
};
using TComponentState = TSet<TComponentStateItem>;

enum TOperation { opInsert, opRemove };

class TComponent;
using TNotifyEvent = std::function<void(TObject* Sender)>;

class TComponent : public TObject {
public:
  explicit TComponent(TComponent* AOwner);
  ~TComponent() override;

  // Frees the component: BeforeDestruction runs while the whole object
  // (derived parts included) still exists, then the object is deleted.
  // Owners free what they own the same way; prefer it to a bare delete
  // for components whose handlers read derived members on destruction.
  void Free();
  // Called once before destruction, with the object still whole.
  virtual void BeforeDestruction();

  TComponent* Owner() const { return FOwner; }
  const String& Name() const { return FName; }
  virtual void SetName(const String& value) { FName = value; }
  intptr_t Tag() const { return FTag; }
  void SetTag(intptr_t value) { FTag = value; }
  TComponentState ComponentState() const { return FComponentState; }

  int ComponentCount() const { return int(FComponents.size()); }
  TComponent* Components(int index) const { return FComponents[size_t(index)]; }
  TComponent* FindComponent(const String& name) const;

  // Takes ownership of / releases a component (called by constructors and
  // destructors of the owned ones).
  void InsertComponent(TComponent* AComponent);
  void RemoveComponent(TComponent* AComponent);
  // Frees every owned component now, the last one first.
  void DestroyComponents();

  // Asks to be told (through Notification) when AComponent is destroyed.
  void FreeNotification(TComponent* AComponent);
  void RemoveFreeNotification(TComponent* AComponent);

  // Marks the start and end of reading stored properties, for the component
  // and those it owns; Loaded runs for each of them after.
  void BeginLoading();
  void EndLoading();
  // Marks destruction under way (components check it to skip work).
  void Destroying();
  void SetDesigning(bool value);

protected:
  virtual void Loaded();
  virtual void Notification(TComponent* AComponent, TOperation Operation);

private:
  void collectLoading(std::vector<TComponent*>& list);
  TComponent* FOwner = nullptr;
  String FName;
  intptr_t FTag = 0;
  TComponentState FComponentState;
  std::vector<TComponent*> FComponents;
  std::vector<TComponent*> FFreeNotifies;
};
