// The player's stream of played audio, one per process: the visualisation
// stream whose clock is the heard position and whose audio, read on that
// clock's time line, is what goes to the output after the whole DSP chain.
// The first sync instance opens it, every sync instance holds a reference,
// the last one closes it: an instance built at a chain swap finds the audio
// of the last seconds already there.
//
// Every call into the player's stream is serialised (player_calls_lock: only
// workers read, two at once during a swap) and guarded: whatever it throws
// counts as no answer. The chunk the player fills is ours, allocated once
// with the stream, and read only under that lock.
//
// Threads: the creating thread opens, the releasing thread closes, workers
// read; never the audio thread.
#pragma once

#include <cstddef>

namespace fulgora {

// What one read brought: `frames` frames at `rate` and `channels` from the
// offset asked for; zero frames when the player had nothing.
struct played_piece {
  unsigned rate = 0, channels = 0;
  size_t frames = 0;
};

// Enough frames for the longest read (played_read_max_s) at 192 kHz.
constexpr size_t played_frames_max = 65536;
constexpr double played_read_max_s = played_frames_max / 192000.0;

// Creating thread: one more sync instance holds the stream, opening it when
// none does. False (and nothing held) when the player has no clock or its
// memory cannot be had. The player's own exceptions pass through.
bool hold_played_stream();
// Releasing thread: one fewer; the last closes it.
void let_go_played_stream();

// Worker: the clock's position in seconds; false when it gives none.
bool played_time(double& value);
// Worker: the played audio from offset for length seconds (at most
// played_read_max_s), from its front left and right channels (or its one),
// mixed to mono as the capture mixes stereo, into mono (room for `room`
// frames, at most played_frames_max are kept). Zero frames when the player
// has none for that offset.
played_piece read_played(double offset, double length, float* mono, size_t room);

}  // namespace fulgora
