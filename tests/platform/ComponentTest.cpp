#include "platform/Component.h"

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace katalog {
namespace {

// Records its name in a shared log when destroyed, with its own and its owner's state then.
class TRecorder : public TComponent {
 public:
  struct Entry {
    std::string name;
    TComponentState ownState;
    TComponentState ownerState;
  };

  TRecorder(TComponent* owner, std::string name, std::vector<Entry>* log)
      : TComponent(owner), log_(log) {
    SetName(std::move(name));
  }
  ~TRecorder() override {
    log_->push_back({Name(), ComponentState(), Owner() ? Owner()->ComponentState() : 0});
  }

 private:
  std::vector<Entry>* log_;
};

// Keeps a pointer to another component and lets it go when told that component is removed.
class THolder : public TComponent {
 public:
  // When given, `referencesAtDestruction` receives the reference the holder still has when it is
  // destroyed.
  explicit THolder(TComponent* owner, std::vector<TComponent*>* referencesAtDestruction = nullptr)
      : TComponent(owner), referencesAtDestruction_(referencesAtDestruction) {}
  ~THolder() override {
    if (referencesAtDestruction_) referencesAtDestruction_->push_back(reference_);
  }

  TComponent* Reference() const { return reference_; }
  void SetReference(TComponent* reference) {
    reference_ = reference;
    if (reference) reference->FreeNotification(this);
  }
  const std::vector<TOperation>& Operations() const { return operations_; }

 protected:
  void Notification(TComponent* component, TOperation operation) override {
    TComponent::Notification(component, operation);
    operations_.push_back(operation);
    if (operation == opRemove && component == reference_) reference_ = nullptr;
  }

 private:
  std::vector<TComponent*>* referencesAtDestruction_;
  TComponent* reference_ = nullptr;
  std::vector<TOperation> operations_;
};

class TLoadable : public TComponent {
 public:
  using TComponent::SetComponentState;
  using TComponent::TComponent;
};

std::vector<std::string> Names(const std::vector<TRecorder::Entry>& log) {
  std::vector<std::string> names;
  for (const auto& entry : log) names.push_back(entry.name);
  return names;
}

TEST(ComponentOwnership, OwnerListsItsComponentsInCreationOrder) {
  TComponent owner(nullptr);
  auto* a = new TComponent(&owner);
  auto* b = new TComponent(&owner);
  ASSERT_EQ(owner.ComponentCount(), 2);
  EXPECT_EQ(owner.Components(0), a);
  EXPECT_EQ(owner.Components(1), b);
  EXPECT_EQ(a->Owner(), &owner);
  EXPECT_THROW(owner.Components(2), std::out_of_range);
  EXPECT_THROW(owner.Components(-1), std::out_of_range);
}

TEST(ComponentOwnership, OwnerDestroysOwnedComponentsLastCreatedFirst) {
  std::vector<TRecorder::Entry> log;
  auto* owner = new TRecorder(nullptr, "owner", &log);
  new TRecorder(owner, "first", &log);
  auto* second = new TRecorder(owner, "second", &log);
  new TRecorder(second, "grandchild", &log);
  new TRecorder(owner, "third", &log);
  delete owner;
  // A destructor's own body runs before its component destroys what it owns.
  EXPECT_EQ(Names(log),
            (std::vector<std::string>{"owner", "third", "second", "grandchild", "first"}));
}

TEST(ComponentOwnership, OwnedComponentsSeeDestroyingDuringOwnerDestruction) {
  std::vector<TRecorder::Entry> log;
  {
    TComponent owner(nullptr);
    auto* child = new TRecorder(&owner, "child", &log);
    new TRecorder(child, "grandchild", &log);
    EXPECT_EQ(child->ComponentState() & csDestroying, 0u);
  }
  ASSERT_EQ(log.size(), 2u);
  for (const auto& entry : log) {
    EXPECT_NE(entry.ownState & csDestroying, 0u) << entry.name;
    EXPECT_NE(entry.ownerState & csDestroying, 0u) << entry.name;
  }
}

TEST(ComponentOwnership, DirectlyDeletedComponentLeavesItsOwner) {
  TComponent owner(nullptr);
  auto* kept = new TComponent(&owner);
  {
    std::unique_ptr<TComponent> scoped(new TComponent(&owner));
    TComponent onStack(&owner);
    EXPECT_EQ(owner.ComponentCount(), 3);
  }
  ASSERT_EQ(owner.ComponentCount(), 1);
  EXPECT_EQ(owner.Components(0), kept);
  delete kept;
  EXPECT_EQ(owner.ComponentCount(), 0);
}

TEST(ComponentOwnership, InsertingMovesTheComponentFromItsPreviousOwner) {
  TComponent first(nullptr);
  TComponent second(nullptr);
  auto* c = new TComponent(&first);
  second.InsertComponent(c);
  EXPECT_EQ(first.ComponentCount(), 0);
  ASSERT_EQ(second.ComponentCount(), 1);
  EXPECT_EQ(c->Owner(), &second);
  second.RemoveComponent(c);
  EXPECT_EQ(c->Owner(), nullptr);
  EXPECT_EQ(second.ComponentCount(), 0);
  delete c;
}

TEST(ComponentOwnership, OwnershipCyclesAreRefused) {
  TComponent root(nullptr);
  auto* child = new TComponent(&root);
  auto* grandchild = new TComponent(child);
  EXPECT_THROW(grandchild->InsertComponent(&root), std::invalid_argument);
  EXPECT_THROW(root.InsertComponent(&root), std::invalid_argument);
  EXPECT_THROW(root.InsertComponent(nullptr), std::invalid_argument);
  EXPECT_EQ(root.Owner(), nullptr);
  EXPECT_EQ(grandchild->ComponentCount(), 0);
}

TEST(ComponentFreeNotification, ReferenceClearedWhenReferencedIsDestroyedFirst) {
  THolder holder(nullptr);
  auto* referenced = new TComponent(nullptr);
  holder.SetReference(referenced);
  delete referenced;
  EXPECT_EQ(holder.Reference(), nullptr);
}

TEST(ComponentFreeNotification, HolderDestroyedFirstLeavesNothingBehind) {
  // Were `referenced` still to point at the holder, destroying it would touch freed memory, which
  // AddressSanitizer reports.
  auto* referenced = new TComponent(nullptr);
  auto* holder = new THolder(nullptr);
  holder->SetReference(referenced);
  delete holder;
  delete referenced;
}

TEST(ComponentFreeNotification, RemovedLinkNotifiesNoLonger) {
  THolder holder(nullptr);
  auto* referenced = new TComponent(nullptr);
  holder.SetReference(referenced);
  referenced->RemoveFreeNotification(&holder);
  delete referenced;
  EXPECT_TRUE(holder.Operations().empty());
}

TEST(ComponentFreeNotification, SiblingsLearnOfInsertionAndRemoval) {
  TComponent owner(nullptr);
  auto* holder = new THolder(&owner);
  auto* sibling = new TComponent(&owner);
  holder->SetReference(sibling);
  EXPECT_EQ(holder->Operations(), std::vector<TOperation>{opInsert});
  owner.RemoveComponent(sibling);
  EXPECT_EQ(holder->Reference(), nullptr);
  EXPECT_EQ(holder->Operations(), (std::vector<TOperation>{opInsert, opRemove}));
  delete sibling;
}

TEST(ComponentFreeNotification, OwnerDestructionClearsReferencesBetweenSiblings) {
  // Siblings are destroyed last created first: `later` goes before `earlier`, and each refers to
  // the other, so one holder outlives its referenced sibling and the other is outlived by it.
  std::vector<TComponent*> referencesAtDestruction;
  auto* owner = new TComponent(nullptr);
  auto* earlier = new THolder(owner, &referencesAtDestruction);
  auto* later = new THolder(owner, &referencesAtDestruction);
  earlier->SetReference(later);
  later->SetReference(earlier);
  delete owner;
  EXPECT_EQ(referencesAtDestruction, (std::vector<TComponent*>{earlier, nullptr}));
}

TEST(ComponentState, LoadedEndsLoading) {
  TLoadable c(nullptr);
  c.BeginLoading();
  EXPECT_TRUE(c.Loading());
  c.SetComponentState(csUpdating);
  c.Loaded();
  EXPECT_FALSE(c.Loading());
  EXPECT_EQ(c.ComponentState(), csUpdating);
}

}  // namespace
}  // namespace katalog
