#include "platform/core/component.h"

#include <algorithm>

TComponent::TComponent(TComponent* AOwner) {
  if (AOwner) AOwner->InsertComponent(this);
}

TComponent::~TComponent() {
  Destroying();
  // Tell everyone who asked, then free what we own (last first). One told
  // may run handlers that free another still to be told: that one has
  // left the list as it went (its link undone both ways).
  const auto notifies = FFreeNotifies;
  for (TComponent* c : notifies) {
    if (std::find(FFreeNotifies.begin(), FFreeNotifies.end(), c) == FFreeNotifies.end()) continue;
    c->RemoveFreeNotification(this);
    c->Notification(this, opRemove);
  }
  FFreeNotifies.clear();
  DestroyComponents();
  if (FOwner) FOwner->RemoveComponent(this);
}

void TComponent::DestroyComponents() {
  while (!FComponents.empty()) {
    TComponent* c = FComponents.back();
    FComponents.pop_back();
    c->FOwner = nullptr;
    c->Free();
  }
}

void TComponent::Free() {
  BeforeDestruction();
  delete this;
}

void TComponent::BeforeDestruction() {
  if (FComponentState.Contains(csDestroying)) return;
  Destroying();
}

TComponent* TComponent::FindComponent(const String& name) const {
  if (name.empty()) return nullptr;
  for (TComponent* c : FComponents)
    if (c->FName == name) return c;
  return nullptr;
}

void TComponent::InsertComponent(TComponent* AComponent) {
  if (!AComponent || AComponent->FOwner == this) return;
  if (AComponent->FOwner) AComponent->FOwner->RemoveComponent(AComponent);
  FComponents.push_back(AComponent);
  AComponent->FOwner = this;
  Notification(AComponent, opInsert);
}

void TComponent::RemoveComponent(TComponent* AComponent) {
  auto it = std::find(FComponents.begin(), FComponents.end(), AComponent);
  if (it == FComponents.end()) return;
  Notification(AComponent, opRemove);
  FComponents.erase(it);
  AComponent->FOwner = nullptr;
}

void TComponent::FreeNotification(TComponent* AComponent) {
  if (!AComponent || AComponent == this) return;
  if (std::find(FFreeNotifies.begin(), FFreeNotifies.end(), AComponent) == FFreeNotifies.end())
    FFreeNotifies.push_back(AComponent);
  if (std::find(AComponent->FFreeNotifies.begin(), AComponent->FFreeNotifies.end(), this) ==
      AComponent->FFreeNotifies.end())
    AComponent->FFreeNotifies.push_back(this);
}

void TComponent::RemoveFreeNotification(TComponent* AComponent) {
  // The link goes both ways; undo both, or one of the two would later be
  // told about (or tell) a component that no longer exists.
  std::erase(FFreeNotifies, AComponent);
  if (AComponent) std::erase(AComponent->FFreeNotifies, this);
}

void TComponent::BeginLoading() {
  FComponentState.Include(csLoading).Include(csReading);
  for (TComponent* c : FComponents) c->BeginLoading();
}

void TComponent::EndLoading() {
  // Every component of the set leaves the loading state before any Loaded
  // runs, so that Loaded may rely on its neighbours being complete.
  std::vector<TComponent*> loaded;
  collectLoading(loaded);
  for (TComponent* c : loaded) c->FComponentState.Exclude(csLoading).Exclude(csReading);
  for (TComponent* c : loaded) c->Loaded();
}

void TComponent::collectLoading(std::vector<TComponent*>& list) {
  if (!FComponentState.Contains(csLoading)) return;
  for (TComponent* c : FComponents) c->collectLoading(list);
  list.push_back(this);
}

void TComponent::Destroying() { FComponentState.Include(csDestroying); }

void TComponent::SetDesigning(bool value) {
  if (value)
    FComponentState.Include(csDesigning);
  else
    FComponentState.Exclude(csDesigning);
}

void TComponent::Loaded() {}

void TComponent::Notification(TComponent* AComponent, TOperation Operation) {
  if (Operation == opRemove && AComponent) RemoveFreeNotification(AComponent);
  // Owned components hear about it too (a control whose pop-up menu goes
  // away forgets it). Walk a copy: a handler may free components.
  std::vector<TComponent*> owned = FComponents;
  for (auto it = owned.rbegin(); it != owned.rend(); ++it) {
    if (std::find(FComponents.begin(), FComponents.end(), *it) == FComponents.end()) continue;
    (*it)->Notification(AComponent, Operation);
  }
}
