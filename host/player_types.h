// The player's small value interfaces the component touches: strings, abort
// callbacks, presets, configuration streams and the track handle.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "host/guid.h"
#include "host/service.h"

namespace pfc {

// The player's string object; set_string replaces the whole content.
class string_base {
public:
  virtual void set_string(const char* text, size_t length) = 0;
  virtual const char* get_ptr() const = 0;

protected:
  ~string_base() = default;
};

class string8 final : public string_base {
public:
  void set_string(const char* text, size_t length) override {
    value_.assign(text, length == ~size_t{0} ? std::char_traits<char>::length(text) : length);
  }
  const char* get_ptr() const override { return value_.c_str(); }
  const std::string& str() const { return value_; }

private:
  std::string value_;
};

}  // namespace pfc

class abort_callback {
public:
  virtual bool is_aborting() const = 0;
  // The event the player signals on abort; may be null.
  virtual void* get_abort_event() const = 0;

protected:
  ~abort_callback() = default;
};

// Never aborts. The player's own version reaches a shared never-signalled
// event in the player's library; the component never asks for it, and none
// exists without the player, so this one has none.
class abort_callback_dummy final : public abort_callback {
public:
  bool is_aborting() const override { return false; }
  void* get_abort_event() const override { return nullptr; }
};

// A DSP preset: the owning DSP's identifier and opaque data.
class dsp_preset {
public:
  virtual GUID get_owner() const = 0;
  virtual void set_owner(const GUID& owner) = 0;
  virtual const void* get_data() const = 0;
  virtual size_t get_data_size() const = 0;
  virtual void set_data(const void* data, size_t size) = 0;

protected:
  ~dsp_preset() = default;
};

class dsp_preset_impl final : public dsp_preset {
public:
  dsp_preset_impl() : owner_{} {}
  GUID get_owner() const override { return owner_; }
  void set_owner(const GUID& owner) override { owner_ = owner; }
  const void* get_data() const override { return data_.data(); }
  size_t get_data_size() const override { return data_.size(); }
  void set_data(const void* data, size_t size) override {
    const auto* p = static_cast<const unsigned char*>(data);
    data_.assign(p, p + size);
  }
  dsp_preset_impl& operator=(const dsp_preset& other) {
    owner_ = other.get_owner();
    set_data(other.get_data(), other.get_data_size());
    return *this;
  }

private:
  GUID owner_;
  std::vector<unsigned char> data_;
};

class dsp_preset_edit_callback {
public:
  virtual void on_preset_changed(const dsp_preset& preset) = 0;

protected:
  ~dsp_preset_edit_callback() = default;
};

// The player's configuration streams.
class stream_reader {
public:
  // Reads up to size bytes; fewer at the end of the stream.
  virtual size_t read(void* buffer, size_t size, abort_callback& abort) = 0;
  // Reads exactly size bytes or throws.
  virtual void read_object(void* buffer, size_t size, abort_callback& abort) = 0;
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

// The player's track handle; the component only carries its pointer.
class metadb_handle : public service_base {
protected:
  ~metadb_handle() = default;
};
typedef service_ptr_t<metadb_handle> metadb_handle_ptr;

// What a truncated configuration stream raises.
class exception_io_data : public std::runtime_error {
public:
  exception_io_data() : std::runtime_error("Unsupported format or corrupted file") {}
};
