// TSystemList: the engine's list, a growable array of T whose storage comes from the engine
// allocator.
//
// Invariants: 0 <= Count() <= Capacity() <= kMaxListCapacity; the slots Count()..Capacity()-1
// hold value-initialised elements. Growth when full: +capacity/4 above 64, +16 above 8, else +4.
// A bad index or capacity raises EListError ("List index out of bounds (%d)", "List capacity
// out of bounds (%d)"). The list owns its elements (a list of std::unique_ptr owns the objects).
#pragma once

#include <cstddef>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>

#include "engine/storage/EngineMemory.h"

namespace katalog {

class EListError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

inline constexpr int kMaxListCapacity = 262140;

[[noreturn]] void RaiseListIndexError(int index);
[[noreturn]] void RaiseListCapacityError(int capacity);
// The capacity after one growth step from `capacity`.
int GrownListCapacity(int capacity);

template <class T>
class TSystemList {
 public:
  TSystemList() = default;
  TSystemList(const TSystemList&) = delete;
  TSystemList& operator=(const TSystemList&) = delete;

  int Count() const { return count_; }
  int Capacity() const { return capacity_; }

  T& operator[](int index) {
    CheckIndex(index);
    return items_[index];
  }
  const T& operator[](int index) const {
    CheckIndex(index);
    return items_[index];
  }

  int Add(T item) {
    Insert(count_, std::move(item));
    return count_ - 1;
  }

  void Insert(int index, T item) {
    if (index < 0 || index > count_) RaiseListIndexError(index);
    if (count_ == capacity_) SetCapacity(GrownListCapacity(capacity_));
    for (int i = count_; i > index; --i) items_[i] = std::move(items_[i - 1]);
    items_[index] = std::move(item);
    ++count_;
  }

  // Removes the element at index and returns it.
  T Take(int index) {
    CheckIndex(index);
    T item = std::move(items_[index]);
    for (int i = index; i + 1 < count_; ++i) items_[i] = std::move(items_[i + 1]);
    items_[--count_] = T{};
    return item;
  }

  void Delete(int index) { Take(index); }

  void Clear() {
    for (int i = 0; i < count_; ++i) items_[i] = T{};
    count_ = 0;
    items_.reset();
    capacity_ = 0;
  }

  void SetCapacity(int capacity) {
    if (capacity < count_ || capacity > kMaxListCapacity) RaiseListCapacityError(capacity);
    if (capacity == capacity_) return;
    auto items = AllocateZeroedArray<T>(static_cast<std::size_t>(capacity));
    for (int i = 0; i < count_; ++i) items[i] = std::move(items_[i]);
    items_ = std::move(items);
    capacity_ = capacity;
  }

  // Sorts with a three-way comparison (negative, zero, positive), by quicksort.
  template <class Compare>
  void Sort(Compare compare) {
    if (count_ > 1) QuickSort(0, count_ - 1, compare);
  }

  T* begin() { return items_.get(); }
  T* end() { return items_.get() + count_; }
  const T* begin() const { return items_.get(); }
  const T* end() const { return items_.get() + count_; }

 private:
  void CheckIndex(int index) const {
    if (index < 0 || index >= count_) RaiseListIndexError(index);
  }

  template <class Compare>
  void QuickSort(int left, int right, Compare& compare) {
    while (left < right) {
      int i = left;
      int j = right;
      const int middle = left + (right - left) / 2;
      T* pivot = &items_[middle];
      int pivotIndex = middle;
      while (i <= j) {
        while (compare(items_[i], *pivot) < 0) ++i;
        while (compare(items_[j], *pivot) > 0) --j;
        if (i <= j) {
          if (i != j) {
            std::swap(items_[i], items_[j]);
            // The pivot element moved with the swap; follow it.
            if (pivotIndex == i)
              pivotIndex = j;
            else if (pivotIndex == j)
              pivotIndex = i;
            pivot = &items_[pivotIndex];
          }
          ++i;
          --j;
        }
      }
      // Recurse into the smaller side, loop on the larger, so the stack stays shallow.
      if (j - left < right - i) {
        QuickSort(left, j, compare);
        left = i;
      } else {
        QuickSort(i, right, compare);
        right = j;
      }
    }
  }

  std::unique_ptr<T[]> items_;
  int count_ = 0;
  int capacity_ = 0;
};

}  // namespace katalog
