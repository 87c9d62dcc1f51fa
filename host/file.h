// The player's configuration streams (follows the SDK's file.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>

#include "host/abort_callback.h"

class stream_reader {
 public:
  // Reads up to size bytes; fewer at the end of the stream.
  virtual size_t read(void* buffer, size_t size, abort_callback& abort) = 0;
  // Reads exactly size bytes or raises the player's error.
  virtual void read_object(void* buffer, size_t size, abort_callback& abort) = 0;
  // Skips up to bytes; returns how many were skipped.
  virtual uint64_t skip(uint64_t bytes, abort_callback& abort) = 0;
  // Skips exactly bytes or raises the player's error.
  virtual void skip_object(uint64_t bytes, abort_callback& abort) = 0;

 protected:
  ~stream_reader() = default;
};

class stream_writer {
 public:
  virtual void write(const void* data, size_t size, abort_callback& abort) = 0;

 protected:
  ~stream_writer() = default;
};

// What a truncated stream of the stand-in and the tests raises.
class exception_io_data : public std::runtime_error {
 public:
  exception_io_data() : std::runtime_error("Unsupported format or corrupted file") {}
};
