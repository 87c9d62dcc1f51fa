// The player's string object (follows pfc's string-interface.h):
// string_receiver's add_string first, then string_base's own operations.
// The component only ever replaces a string, through set_string.
#pragma once

#include <cstddef>
#include <cstring>
#include <string>

namespace pfc {

class string_receiver {
 public:
  // Appends up to length bytes, stopping at a terminating zero.
  virtual void add_string(const char* text, size_t length = ~size_t{0}) = 0;

 protected:
  ~string_receiver() = default;
};

class string_base : public string_receiver {
 public:
  virtual const char* get_ptr() const = 0;
  // Replaces the whole content.
  virtual void set_string(const char* text, size_t length = ~size_t{0}) = 0;
  virtual void truncate(size_t length) = 0;
  virtual size_t get_length() const = 0;
  virtual char* lock_buffer(size_t length) = 0;
  virtual void unlock_buffer() = 0;

 protected:
  ~string_base() = default;
};

// The player's string as the stand-in and the tests hold it.
class string8 final : public string_base {
 public:
  void add_string(const char* text, size_t length = ~size_t{0}) override {
    value_.append(text, strnlen(text, length));
  }
  const char* get_ptr() const override { return value_.c_str(); }
  void set_string(const char* text, size_t length = ~size_t{0}) override {
    value_.assign(text, strnlen(text, length));
  }
  void truncate(size_t length) override {
    if (length < value_.size()) value_.resize(length);
  }
  size_t get_length() const override { return value_.size(); }
  char* lock_buffer(size_t length) override {
    value_.assign(length, '\0');
    return &value_[0];
  }
  void unlock_buffer() override { value_.resize(std::strlen(value_.c_str())); }
  const std::string& str() const { return value_; }

 private:
  static size_t strnlen(const char* text, size_t max) {
    size_t n = 0;
    while (n < max && text[n] != 0) ++n;
    return n;
  }
  std::string value_;
};

}  // namespace pfc
