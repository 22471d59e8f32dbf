#include "platform/Component.h"

#include <algorithm>
#include <stdexcept>

namespace katalog {

TComponent::TComponent(TComponent* owner) {
  if (owner) owner->InsertComponent(this);
}

TComponent::~TComponent() {
  Destroying();
  while (!freeNotifies_.empty()) {
    TComponent* linked = freeNotifies_.back();
    freeNotifies_.pop_back();
    linked->Unlink(this);
    linked->Notification(this, opRemove);
  }
  // Each owned component's destructor takes it out of components_.
  while (!components_.empty()) delete components_.back();
  if (owner_) owner_->RemoveComponent(this);
}

TComponent* TComponent::Components(int index) const {
  if (index < 0) throw std::out_of_range("component index out of range");
  return components_.at(static_cast<std::size_t>(index));
}

void TComponent::InsertComponent(TComponent* component) {
  if (!component) throw std::invalid_argument("no component to insert");
  for (const TComponent* c = this; c; c = c->owner_) {
    if (c == component) throw std::invalid_argument("a component cannot own itself");
  }
  if (component->owner_ == this) return;
  if (component->owner_) component->owner_->RemoveComponent(component);
  components_.push_back(component);
  component->owner_ = this;
  Broadcast(component, opInsert);
}

void TComponent::RemoveComponent(TComponent* component) {
  const auto it = std::find(components_.begin(), components_.end(), component);
  if (it == components_.end()) return;
  components_.erase(it);
  component->owner_ = nullptr;
  Broadcast(component, opRemove);
}

void TComponent::Loaded() {
  ClearComponentState(csLoading);
}

void TComponent::Destroying() {
  SetComponentState(csDestroying);
  for (TComponent* c : components_) c->Destroying();
}

void TComponent::FreeNotification(TComponent* component) {
  if (!component || component == this) return;
  if (std::find(freeNotifies_.begin(), freeNotifies_.end(), component) == freeNotifies_.end()) {
    freeNotifies_.push_back(component);
    component->freeNotifies_.push_back(this);
  }
}

void TComponent::RemoveFreeNotification(TComponent* component) {
  if (!component) return;
  Unlink(component);
  component->Unlink(this);
}

void TComponent::Notification(TComponent*, TOperation) {}

void TComponent::Broadcast(TComponent* component, TOperation operation) {
  Notification(component, operation);
  // A handler may remove owned components; the index is checked again after each call.
  for (std::size_t i = components_.size(); i-- > 0;) {
    if (i < components_.size()) components_[i]->Broadcast(component, operation);
  }
}

void TComponent::Unlink(TComponent* component) {
  std::erase(freeNotifies_, component);
}

}  // namespace katalog
