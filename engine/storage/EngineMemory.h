// The engine's allocation: every buffer zero-filled, and a failed allocation reported as engine
// error kOutOfMemory rather than as a bare std::bad_alloc.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <vector>

namespace katalog {

// Raises kOutOfMemory (insufficient memory).
[[noreturn]] void RaiseOutOfMemory();

// Runs an allocating action, turning an allocation failure into engine error kOutOfMemory.
template <class Action>
decltype(auto) WithEngineMemory(Action&& action) {
  try {
    return action();
  } catch (const std::bad_alloc&) {
    RaiseOutOfMemory();
  } catch (const std::length_error&) {
    RaiseOutOfMemory();
  }
}

// A zero-filled byte buffer of the given size.
std::vector<std::uint8_t> AllocateZeroed(std::size_t size);

// A zero-filled (value-initialised) array of n elements.
template <class T>
std::unique_ptr<T[]> AllocateZeroedArray(std::size_t n) {
  return WithEngineMemory([n] { return std::make_unique<T[]>(n); });
}

}  // namespace katalog
