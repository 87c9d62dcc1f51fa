#include <pthread.h>

#include <atomic>
#include <new>

#include "platform/threads.h"

namespace fulgora {
namespace {

struct posix_event {
  std::atomic<bool> state;
};

struct posix_thread {
  pthread_t id;
  thread_entry entry;
  void* argument;
  bool joined = false;
};

void* run_thread(void* p) {
  auto* t = static_cast<posix_thread*>(p);
  t->entry(t->argument);
  return nullptr;
}

posix_event* as_event(event_handle e) { return static_cast<posix_event*>(e); }

}  // namespace

event_handle create_event(bool initially_set) {
  auto* e = new (std::nothrow) posix_event;
  if (e) e->state.store(initially_set, std::memory_order_release);
  return e;
}

void set_event(event_handle e) { as_event(e)->state.store(true, std::memory_order_release); }
void reset_event(event_handle e) { as_event(e)->state.store(false, std::memory_order_relaxed); }
bool test_event(event_handle e) { return as_event(e)->state.load(std::memory_order_acquire); }
void close_event(event_handle e) { delete as_event(e); }

thread_handle create_thread(thread_entry entry, void* argument) {
  auto* t = new (std::nothrow) posix_thread;
  if (!t) return nullptr;
  t->entry = entry;
  t->argument = argument;
  if (pthread_create(&t->id, nullptr, run_thread, t) != 0) {
    delete t;
    return nullptr;
  }
  return t;
}

void join_thread(thread_handle h) {
  auto* t = static_cast<posix_thread*>(h);
  if (!t->joined) pthread_join(t->id, nullptr);
  t->joined = true;
}

namespace {
pthread_mutex_t records_mutex = PTHREAD_MUTEX_INITIALIZER;
pthread_mutex_t player_calls_mutex = PTHREAD_MUTEX_INITIALIZER;
}  // namespace

void lock_shared_records() { pthread_mutex_lock(&records_mutex); }
void unlock_shared_records() { pthread_mutex_unlock(&records_mutex); }
void lock_player_calls() { pthread_mutex_lock(&player_calls_mutex); }
void unlock_player_calls() { pthread_mutex_unlock(&player_calls_mutex); }

void close_thread(thread_handle h) {
  auto* t = static_cast<posix_thread*>(h);
  if (!t->joined) pthread_detach(t->id);
  delete t;
}

}  // namespace fulgora
