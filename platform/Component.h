// TComponent: the base of every component. A component has a name, an optional owner and the
// components it owns, state flags, and free notifications.
//
// Ownership: an owner holds the components it owns (created with `new X(owner)`) and deletes
// them when it is destroyed, the last created first. A component destroyed any other way (deleted
// directly, a stack object, a unique_ptr) leaves its owner's list first, so the owner never deletes
// it again. A component that is not heap-allocated must therefore be destroyed before its owner.
//
// Notifications: inserting a component into an owner or removing it sends Notification(component,
// opInsert/opRemove) to the owner and to everything the owner owns, recursively; a component
// destroyed sends Notification(component, opRemove) to every component registered through
// FreeNotification. A component that keeps a pointer to another one clears it there. The insert
// notification of a new component comes from its TComponent constructor, before its derived part
// exists, and a removal may come from its destructor: handlers only compare the pointer.
//
// Invariants: Owner() is null or lists this component exactly once; free-notification links are
// kept on both sides, so whichever of two linked components is destroyed first, the other holds
// no pointer to it afterwards.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace katalog {

enum TComponentStateFlag : unsigned {
  csLoading = 1u << 0,
  csDesigning = 1u << 1,
  csUpdating = 1u << 2,
  csDestroying = 1u << 3,
};
// A set of TComponentStateFlag bits.
using TComponentState = unsigned;

enum TOperation { opInsert, opRemove };

class TComponent {
 public:
  explicit TComponent(TComponent* owner);
  virtual ~TComponent();
  TComponent(const TComponent&) = delete;
  TComponent& operator=(const TComponent&) = delete;

  const std::string& Name() const { return name_; }
  // Overrides that react to a new name call the base first.
  virtual void SetName(std::string name) { name_ = std::move(name); }

  TComponent* Owner() const { return owner_; }
  int ComponentCount() const { return static_cast<int>(components_.size()); }
  // Throws std::out_of_range for an index outside 0 .. ComponentCount() - 1.
  TComponent* Components(int index) const;
  // Takes ownership of the component, taking it from its previous owner. Throws
  // std::invalid_argument when the component is null, this one, or one of this one's owners.
  void InsertComponent(TComponent* component);
  // Gives up ownership of the component (which then has no owner); nothing when not owned here.
  void RemoveComponent(TComponent* component);

  TComponentState ComponentState() const { return state_; }
  bool Loading() const { return (state_ & csLoading) != 0; }

  // Starts loading: sets csLoading. Whoever sets the component's properties while loading ends by
  // calling Loaded().
  void BeginLoading() { SetComponentState(csLoading); }
  // Called once by whoever ended loading this component. The base clears csLoading; an override
  // calls it first, then carries out what the properties set while loading deferred.
  virtual void Loaded();

  // Sets csDestroying on this component and everything it owns, recursively. The destructor
  // does it first; a derived destructor may call it earlier.
  void Destroying();

  // Links this component and `component` so that each is sent Notification(other, opRemove)
  // when the other is destroyed.
  void FreeNotification(TComponent* component);
  void RemoveFreeNotification(TComponent* component);

 protected:
  // Told of components inserted into or removed from this component's owner (or this one), and
  // of the destruction of components linked by FreeNotification. The base does nothing.
  virtual void Notification(TComponent* component, TOperation operation);

  void SetComponentState(TComponentState flags) { state_ |= flags; }
  void ClearComponentState(TComponentState flags) { state_ &= ~flags; }

 private:
  // Sends Notification to this component and everything it owns, recursively.
  void Broadcast(TComponent* component, TOperation operation);
  void Unlink(TComponent* component);

  std::string name_;
  TComponent* owner_ = nullptr;
  std::vector<TComponent*> components_;
  std::vector<TComponent*> freeNotifies_;
  TComponentState state_ = 0;
};

}  // namespace katalog
