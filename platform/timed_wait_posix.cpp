#include <semaphore.h>
#include <time.h>

#include <cerrno>
#include <new>

#include "platform/timed_wait.h"

namespace fulgora {
namespace {

// A semaphore: sem_post is safe from any thread and never blocks.
sem_t* as_sem(timed_wait_handle w) { return static_cast<sem_t*>(w); }

}  // namespace

timed_wait_handle create_timed_wait() {
  auto* s = new (std::nothrow) sem_t;
  if (s && sem_init(s, 0, 0) != 0) {
    delete s;
    return nullptr;
  }
  return s;
}

void wake(timed_wait_handle w) {
  int pending = 0;
  // One pending wake is enough; more would only end later waits early.
  if (sem_getvalue(as_sem(w), &pending) == 0 && pending > 0) return;
  sem_post(as_sem(w));
}

void wait_for(timed_wait_handle w, double seconds) {
  if (seconds > 60.0) seconds = 60.0;
  timespec until{};
  clock_gettime(CLOCK_MONOTONIC, &until);
  if (seconds > 0.0) {
    const long long ns = static_cast<long long>(seconds * 1e9) + until.tv_nsec;
    until.tv_sec += static_cast<time_t>(ns / 1000000000LL);
    until.tv_nsec = static_cast<long>(ns % 1000000000LL);
  }
  while (sem_clockwait(as_sem(w), CLOCK_MONOTONIC, &until) != 0 && errno == EINTR) {
  }
}

void close_timed_wait(timed_wait_handle w) {
  sem_destroy(as_sem(w));
  delete as_sem(w);
}

}  // namespace fulgora
