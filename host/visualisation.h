// The player's playback clock (follows the SDK's vis.h): the visualisation
// manager creates streams, and a stream tells how far playback has got, in
// seconds since the last start of playback or seek, as the listener hears it.
// The SDK names no thread for either, which in its convention means any
// thread: the engine creates the stream while it is built and only its
// worker queries it. Every slot is declared in the
// SDK's order, the unused ones too, so the player's tables line up.
#pragma once

#include "host/audio_chunk.h"
#include "host/service.h"

class visualisation_stream : public service_base {
 public:
  static constexpr GUID class_guid = {
      0x4A4B1DD8, 0x82FF, 0x4071, {0xA6, 0xE2, 0xBD, 0x04, 0x3F, 0x4C, 0x25, 0x1C}};
  // Seconds of playback since the last start or seek (the SDK's words). Not
  // said there, and assumed here as for any clock taken at the output: it
  // stands still while paused and runs on across gapless track changes.
  virtual bool get_absolute_time(double& value) = 0;
  virtual bool get_chunk_absolute(audio_chunk& out, double offset, double length) = 0;
  virtual bool get_spectrum_absolute(audio_chunk& out, double offset, unsigned fft_size) = 0;
  virtual void make_fake_chunk_absolute(audio_chunk& out, double offset, double length) = 0;
  virtual void make_fake_spectrum_absolute(audio_chunk& out, double offset, unsigned fft_size) = 0;

 protected:
  ~visualisation_stream() = default;
};

class visualisation_manager : public service_base {
 public:
  static constexpr GUID class_guid = {
      0x98B00B13, 0x8C0E, 0x49FF, {0xB1, 0x7C, 0x5E, 0x53, 0x7D, 0x3A, 0xE4, 0xB7}};
  virtual void create_stream(service_ptr_t<visualisation_stream>& out, unsigned flags) = 0;

 protected:
  ~visualisation_manager() = default;
};

namespace fulgora {

// A stream from the player's one visualisation manager, found through the
// services interface as the SDK's standard services are. False, with out
// empty, when the services are not there yet, the player has no manager or
// it refuses. The player's own exceptions pass through, as everywhere.
bool open_playback_clock(service_ptr_t<visualisation_stream>& out);

}  // namespace fulgora
