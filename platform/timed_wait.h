// The sync worker's sleep: until a deadline or until another thread wakes it,
// whichever comes first, with a precision of about a millisecond, not the
// system's default timer tick.
//
// Threads: one thread waits; any thread, the player's audio thread included,
// may wake it: waking never blocks, takes no lock and allocates nothing.
#pragma once

namespace fulgora {

typedef void* timed_wait_handle;

// Null on failure. On Windows it holds a high-resolution waitable timer
// (Windows 10 1803 and later); where the system has none it raises the
// process's timer resolution to 1 ms until the handle is closed.
timed_wait_handle create_timed_wait();
// Ends the current or the next wait at once.
void wake(timed_wait_handle w);
// Sleeps up to seconds (at most a minute), or less when woken; a wake that
// came before the call ends it at once.
void wait_for(timed_wait_handle w, double seconds);
void close_timed_wait(timed_wait_handle w);

}  // namespace fulgora
