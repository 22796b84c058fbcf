// What must be undone should the process be ended by a signal: the terminal's
// modes, a page file still being written. Each part registers its own undo
// here, in one list that a signal handler can run safely at any moment.
//
// An entry is filled first and only then marked live, with a signal fence
// between, so a handler never sees half an entry. The normal path runs or
// forgets an entry with every signal blocked, so a handler never runs an
// undo twice or finds one half done.
#pragma once

#include <csignal>
#include <cstddef>
#include <cstring>
#include <new>
#include <type_traits>

namespace pagiste::emergency {

// The largest payload an undo may carry: a path, with room to spare.
inline constexpr std::size_t kPayloadCapacity = 4160;

using UndoAction = void (*)(const void* payload);

// Identifies a registered undo; kNone when nothing was registered.
using Slot = int;
inline constexpr Slot kNone = -1;

// Async-signal-safe with respect to a handler that calls RunAll. Gives kNone
// when the list is full or the payload too large.
Slot Register(UndoAction action, const void* payload, std::size_t size);

// A typed undo: Undo(payload) will run from a signal handler, so it must be
// async-signal-safe itself.
template <typename Payload, void (*Undo)(const Payload&)>
Slot Register(const Payload& payload) {
  static_assert(std::is_trivially_copyable_v<Payload>);
  static_assert(sizeof(Payload) <= kPayloadCapacity);
  constexpr UndoAction kAction = [](const void* stored) {
    Payload copy;
    std::memcpy(&copy, stored, sizeof copy);
    Undo(copy);
  };
  return Register(kAction, &payload, sizeof payload);
}

// The normal path: runs the undo now, unless a handler already has, and
// forgets it. No signal is handled meanwhile.
void RunNow(Slot slot);
// The undo is no longer needed: forgets it without running it.
void Forget(Slot slot);
// From a signal handler: every live undo, the latest registered first.
void RunAll();

// Every signal held back for the guard's lifetime, for the few steps that
// must not be cut in two (creating a file and registering its removal).
class SignalsBlocked {
 public:
  SignalsBlocked();
  ~SignalsBlocked();
  SignalsBlocked(const SignalsBlocked&) = delete;
  SignalsBlocked& operator=(const SignalsBlocked&) = delete;
  SignalsBlocked(SignalsBlocked&&) = delete;
  SignalsBlocked& operator=(SignalsBlocked&&) = delete;

 private:
  sigset_t previous_{};
};

}  // namespace pagiste::emergency
