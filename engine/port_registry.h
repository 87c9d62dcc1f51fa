// The ports that this process's engines hold. The player builds a new DSP
// chain while the old one still runs and releases the old one only after, and
// a port opens for one holder at a time: a new instance whose port another
// instance holds does not try to open it, but waits for that one to let go.
//
// Who gets a port that is let go: the newest instance that wants it (in a
// chain swap the new chain's instance is always the newest), except that
// playback goes before a converter's chain. A holder keeps its port against
// newer instances once it has measured audio or got the port by waiting for
// it (a swap's new instance, until its first measure); one that has neither
// (the first of two copies in one chain, built just before the second) steps
// aside for the newer one.
//
// Playback from a converter: by the pace of their chunks. The player hands
// playback its audio as it is heard, a buffer's length ahead at most; a
// converter runs as fast as it can. An instance whose audio gains more than
// converter_gain_ms on the wall clock within one pace_window_ms is a
// converter's (until a window shows otherwise); one that has had a whole
// window without that is playback; before that its pace is unknown and it
// counts as playback. A converter's instance never takes a port ahead of a
// waiter that may be playback, and gives up one it holds (closing command,
// close line) to a waiter known to be playback.
//
// Threads: a ticket belongs to one engine. Its creating thread, its worker
// and its releasing thread make the calls below, one after another; the
// audio thread only note_offered. Other engines' tickets read its record,
// and ask it to step aside, only under the process-wide lock of
// platform/threads.h, which its own calls take to change that record.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "platform/threads.h"

namespace fulgora {

class port_ticket {
 public:
  port_ticket() = default;
  port_ticket(const port_ticket&) = delete;
  port_ticket& operator=(const port_ticket&) = delete;
  ~port_ticket() { withdraw(); }

  // Creating thread, before claim. False when the wake-up event cannot be
  // made; the ticket then claims every time (the open decides, as without it).
  bool prepare(const wchar_t* port_name);
  // True when no other engine of this process holds the port and no newer
  // one waits for it: this engine now does and may open it. Otherwise
  // records this engine as waiting and resets its wake-up event, which is set
  // when the port is let go or a newer waiter gives up.
  bool claim();
  // The port is closed: the newest waiter may take it.
  void release();
  // No longer waits (the engine stops).
  void withdraw();
  // The worker's zero-time-out test: a holder has let go since claim.
  bool freed_since_claim() const;
  // Worker, the first time it measures audio while holding the port: from
  // now on the port stays with it until it lets go.
  void note_measured();
  // Worker: a newer instance wants the port and this one has measured
  // nothing yet; step_aside then releases it and waits again.
  bool asked_to_step_aside() const { return step_aside_asked_.load(std::memory_order_acquire); }
  void step_aside();

  // Audio thread, every chunk: its length, for the pace. Its one writer, so
  // a load and a store (no read-modify-write, no lock, no system call).
  void note_offered(size_t frames, unsigned rate) noexcept {
    if (rate == 0) return;
    const uint64_t us = offered_us_.load(std::memory_order_relaxed);
    offered_us_.store(us + static_cast<uint64_t>(frames) * 1000000u / rate,
                      std::memory_order_relaxed);
  }
  // Worker, once per pass: judges the pace; true when this holder is a
  // converter's and playback waits for the port: the caller closes the link
  // and steps aside.
  bool note_pace(unsigned long long now_ms);

  // What this ticket's own calls last recorded, for any thread: it holds the
  // port; it waits for it; it has measured audio while holding it.
  bool held() const { return held_.load(std::memory_order_relaxed); }
  bool waiting() const { return waiting_.load(std::memory_order_relaxed); }
  bool measured() const { return measured_.load(std::memory_order_relaxed); }

 private:
  // The process's record of holders and waiters (port_registry.cpp): its
  // functions read and write the tickets in it, under the lock.
  struct registry;

  std::string identity_;
  event_handle freed_ = nullptr;  // set when the port is let go or a newer waiter gives up
  // Written by this ticket's own calls, under the lock; read by any thread.
  std::atomic<bool> held_{false};
  std::atomic<bool> waiting_{false};
  std::atomic<bool> measured_{false};  // audio measured while holding
  uint64_t order_ = 0;                 // creation order among the process's tickets
  bool took_over_ = false;             // got the port by waiting for it
  // Set by a newer ticket's claim, cleared by this one's release.
  std::atomic<bool> step_aside_asked_{false};
  enum pace_t { pace_unknown, pace_real_time, pace_fast };
  std::atomic<int> pace_{pace_unknown};  // the worker's judgement, read by the others' claims
  std::atomic<uint64_t> offered_us_{0};  // audio offered, microseconds: the audio thread's
  // The worker's own: the current pace window.
  unsigned long long window_start_ms_ = 0, window_audio_ms_ = 0, next_judge_ms_ = 0;
  bool paced_ = false;
};

// The gain on the wall clock that tells a converter, and the window it is
// looked for in: playback gains one output buffer at a start or a seek
// (1000 ms by default); a converter at three times real time gains this in
// one window.
constexpr unsigned long long converter_gain_ms = 4000;
constexpr unsigned long long pace_window_ms = 2000;

}  // namespace fulgora
