#include "platform/MappedFile.h"

#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <mutex>

namespace katalog::platform {
namespace {

// The mappings the SIGBUS handler knows, as address ranges. A slot is taken by setting `taken`
// and given back after its range is cleared; the handler reads only the ranges.
struct TRegistration {
  std::atomic<bool> taken{false};
  std::atomic<std::uintptr_t> start{0};
  std::atomic<std::uintptr_t> end{0};
  std::atomic<bool> shrunk{false};
};

TRegistration registrations[TMappedFile::kMaxMappings];
struct sigaction previousHandler;
std::once_flag handlerInstalled;

void OnBusError(int signal, siginfo_t* info, void* context) {
  const auto address = reinterpret_cast<std::uintptr_t>(info->si_addr);
  for (TRegistration& r : registrations) {
    const std::uintptr_t start = r.start.load(std::memory_order_acquire);
    if (start == 0 || address < start || address >= r.end.load(std::memory_order_acquire)) continue;
    // The page lies past the file's new end: zeros stand in for it from now on.
    const std::uintptr_t pageSize = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
    void* page = reinterpret_cast<void*>(address & ~(pageSize - 1));
    if (::mmap(page, pageSize, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0) ==
        MAP_FAILED)
      break;
    r.shrunk.store(true, std::memory_order_release);
    return;
  }
  // Not one of ours: what would have happened without this handler.
  if (previousHandler.sa_flags & SA_SIGINFO) {
    if (previousHandler.sa_sigaction) return previousHandler.sa_sigaction(signal, info, context);
  } else if (previousHandler.sa_handler != SIG_DFL && previousHandler.sa_handler != SIG_IGN) {
    return previousHandler.sa_handler(signal);
  }
  ::signal(SIGBUS, SIG_DFL);  // the access is made again on return and ends the program
}

void InstallHandler() {
  struct sigaction action {};
  action.sa_sigaction = OnBusError;
  action.sa_flags = SA_SIGINFO | SA_RESTART;
  sigemptyset(&action.sa_mask);
  ::sigaction(SIGBUS, &action, &previousHandler);
}

int Register(std::uintptr_t start, std::uintptr_t end) {
  for (int i = 0; i < TMappedFile::kMaxMappings; ++i) {
    bool expected = false;
    if (!registrations[i].taken.compare_exchange_strong(expected, true)) continue;
    registrations[i].shrunk.store(false);
    registrations[i].end.store(end, std::memory_order_release);
    registrations[i].start.store(start, std::memory_order_release);
    return i;
  }
  return -1;
}

}  // namespace

bool TMappedFile::Map(int fd, std::uint64_t length) {
  Unmap();
  if (length == 0 || length > SIZE_MAX) return false;
  std::call_once(handlerInstalled, InstallHandler);
  void* data = ::mmap(nullptr, static_cast<std::size_t>(length), PROT_READ, MAP_SHARED, fd, 0);
  if (data == MAP_FAILED) return false;
  const auto start = reinterpret_cast<std::uintptr_t>(data);
  slot_ = Register(start, start + static_cast<std::uintptr_t>(length));
  if (slot_ < 0) {
    ::munmap(data, static_cast<std::size_t>(length));
    return false;
  }
  data_ = static_cast<const std::uint8_t*>(data);
  length_ = length;
  asked_.assign(static_cast<std::size_t>(length / kPageBytes / 64 + 1), 0);
  return true;
}

void TMappedFile::Unmap() noexcept {
  if (!data_) return;
  TRegistration& r = registrations[slot_];
  r.start.store(0, std::memory_order_release);
  r.end.store(0, std::memory_order_release);
  ::munmap(const_cast<std::uint8_t*>(data_), static_cast<std::size_t>(length_));
  r.taken.store(false, std::memory_order_release);
  data_ = nullptr;
  length_ = 0;
  slot_ = -1;
  asked_.clear();
}

bool TMappedFile::Warm(std::uint64_t offset, std::uint64_t count) {
  if (!data_ || count == 0 || offset >= length_) return false;
  bool warm = true;
  const std::uint64_t last = (std::min(offset + count, length_) - 1) / kPageBytes;
  for (std::uint64_t page = offset / kPageBytes; page <= last; ++page) {
    std::uint64_t& word = asked_[static_cast<std::size_t>(page / 64)];
    const std::uint64_t bit = std::uint64_t{1} << (page % 64);
    warm = warm && (word & bit) != 0;
    word |= bit;
  }
  return warm;
}

bool TMappedFile::Shrunk() const {
  return slot_ >= 0 && registrations[slot_].shrunk.load(std::memory_order_acquire);
}

}  // namespace katalog::platform
