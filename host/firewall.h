// The boundary with the player is an exception firewall: a GCC exception
// that reaches the player's MSVC frames ends the player. Every function the
// player calls that can meet an exception of the component's own runs its
// body through guarded() and returns its failure value instead; these two are
// the only places that catch for the boundary.
//
// The player's own exceptions are SEH-based: GCC frames do not take part in
// their unwinding (no catch, no destructor), so they pass through as they
// should. In return, nothing that needs clean-up may be held across a call
// into the player.
#pragma once

namespace fulgora {

template <typename R, typename F>
R guarded(R failure, F&& body) noexcept {
  try {
    return body();
  } catch (...) {
    return failure;
  }
}

template <typename F>
void guarded(F&& body) noexcept {
  try {
    body();
  } catch (...) {
  }
}

}  // namespace fulgora
