#include <windows.h>

#include <new>

#include "platform/threads.h"

namespace fulgora {
namespace {

struct start_block {
  thread_entry entry;
  void* argument;
};

DWORD WINAPI run_thread(LPVOID p) {
  const start_block block = *static_cast<start_block*>(p);
  delete static_cast<start_block*>(p);
  return block.entry(block.argument);
}

}  // namespace

event_handle create_event(bool initially_set) {
  return CreateEventW(nullptr, TRUE, initially_set ? TRUE : FALSE, nullptr);
}
void set_event(event_handle e) { SetEvent(e); }
void reset_event(event_handle e) { ResetEvent(e); }
bool test_event(event_handle e) { return WaitForSingleObject(e, 0) == WAIT_OBJECT_0; }
void close_event(event_handle e) { CloseHandle(e); }

thread_handle create_thread(thread_entry entry, void* argument) {
  auto* block = new (std::nothrow) start_block{entry, argument};
  if (!block) return nullptr;
  DWORD id = 0;
  HANDLE h = CreateThread(nullptr, 0, run_thread, block, 0, &id);
  if (!h) delete block;
  return h;
}

void join_thread(thread_handle t) { WaitForSingleObject(t, INFINITE); }
void close_thread(thread_handle t) { CloseHandle(t); }

namespace {
SRWLOCK records_mutex = SRWLOCK_INIT;  // statically initialised: no start-up order
SRWLOCK player_calls_mutex = SRWLOCK_INIT;
}  // namespace

void lock_shared_records() { AcquireSRWLockExclusive(&records_mutex); }
void unlock_shared_records() { ReleaseSRWLockExclusive(&records_mutex); }
void lock_player_calls() { AcquireSRWLockExclusive(&player_calls_mutex); }
void unlock_player_calls() { ReleaseSRWLockExclusive(&player_calls_mutex); }

}  // namespace fulgora
