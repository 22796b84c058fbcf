#include "base/emergency_undo.hpp"

#include <pthread.h>

#include <array>
#include <atomic>

namespace pagiste::emergency {
namespace {

struct Entry {
  volatile std::sig_atomic_t live = 0;
  unsigned sequence = 0;  // order of registration
  UndoAction action = nullptr;
  alignas(std::max_align_t) std::array<std::byte, kPayloadCapacity> payload{};
};

// The terminal's modes and one page file; one more for good measure.
std::array<Entry, 3> g_entries;
unsigned g_registered = 0;

void Run(Entry& entry) {
  if (entry.live == 0) return;
  std::atomic_signal_fence(std::memory_order_acquire);
  entry.action(entry.payload.data());
  entry.live = 0;
}

}  // namespace

SignalsBlocked::SignalsBlocked() {
  sigset_t all{};
  sigfillset(&all);
  ::pthread_sigmask(SIG_BLOCK, &all, &previous_);
}

SignalsBlocked::~SignalsBlocked() {
  ::pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
}

Slot Register(UndoAction action, const void* payload, std::size_t size) {
  if (size > kPayloadCapacity) return kNone;
  for (std::size_t index = 0; index < g_entries.size(); ++index) {
    Entry& entry = g_entries[index];
    if (entry.live != 0) continue;
    entry.action = action;
    entry.sequence = ++g_registered;
    std::memcpy(entry.payload.data(), payload, size);
    std::atomic_signal_fence(std::memory_order_release);
    entry.live = 1;
    return static_cast<Slot>(index);
  }
  return kNone;
}

void RunNow(Slot slot) {
  if (slot == kNone) return;
  const SignalsBlocked blocked;
  Run(g_entries.at(static_cast<std::size_t>(slot)));
}

void Forget(Slot slot) {
  if (slot == kNone) return;
  g_entries.at(static_cast<std::size_t>(slot)).live = 0;
  std::atomic_signal_fence(std::memory_order_release);
}

void RunAll() {
  for (;;) {
    Entry* latest = nullptr;
    for (Entry& entry : g_entries) {
      if (entry.live != 0 && (latest == nullptr || entry.sequence > latest->sequence))
        latest = &entry;
    }
    if (latest == nullptr) return;
    Run(*latest);
  }
}

}  // namespace pagiste::emergency
