// Manual-reset events and joinable threads for the engine's hand-off.
//
// Events: set and reset from any thread; test_event never blocks. Whatever a
// thread wrote before set_event is visible to a thread whose test_event then
// finds the event set (release on set, acquire on a successful test).
// A handle that does not exist is null.
#pragma once

namespace fulgora {

typedef void* event_handle;
typedef void* thread_handle;

// Null on failure.
event_handle create_event(bool initially_set);
void set_event(event_handle e);
void reset_event(event_handle e);
// Zero time-out test: true when the event is set.
bool test_event(event_handle e);
void close_event(event_handle e);

typedef unsigned (*thread_entry)(void* argument);
// Starts the thread at once; null on failure.
thread_handle create_thread(thread_entry entry, void* argument);
// Waits without a time limit until the thread has ended.
void join_thread(thread_handle t);
// Releases the handle; neither signals nor waits for the thread.
void close_thread(thread_handle t);

// One process-wide lock for the records that instances of this process share
// (which engine holds which port). Taken only by the threads that create and
// release instances and by the workers, never by the audio thread; held for a
// few instructions, never across I/O. Not recursive.
void lock_shared_records();
void unlock_shared_records();

// Holds that lock for a scope.
struct shared_records_lock {
  shared_records_lock() { lock_shared_records(); }
  ~shared_records_lock() { unlock_shared_records(); }
  shared_records_lock(const shared_records_lock&) = delete;
  shared_records_lock& operator=(const shared_records_lock&) = delete;
};

// A second process-wide lock, for the calls into an object of the player's
// that instances share (the played stream): held across such a call, by the
// workers and the threads that create and release instances, never by the
// audio thread. Not recursive; never taken inside the lock above.
void lock_player_calls();
void unlock_player_calls();

struct player_calls_lock {
  player_calls_lock() { lock_player_calls(); }
  ~player_calls_lock() { unlock_player_calls(); }
  player_calls_lock(const player_calls_lock&) = delete;
  player_calls_lock& operator=(const player_calls_lock&) = delete;
};

}  // namespace fulgora
