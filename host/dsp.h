// The player's DSP interfaces (follows the SDK's dsp.h): chunk lists, the DSP
// and its run-loop base, presets and the DSP entry. Called by the player on
// the thread that runs the DSP, except the entry (any thread).
#pragma once

#include <cstddef>
#include <vector>

#include "host/abort_callback.h"
#include "host/audio_chunk.h"
#include "host/file.h"
#include "host/firewall.h"
#include "host/service.h"
#include "host/string_base.h"

namespace pfc {
class bit_array;  // only ever passed by the player, never used
}

// The player's track handle (the SDK's metadb_handle.h); only carried.
class metadb_handle : public service_base {
 protected:
  ~metadb_handle() = default;
};
typedef service_ptr_t<metadb_handle> metadb_handle_ptr;

// The chunks of one run call.
class dsp_chunk_list {
 public:
  virtual size_t get_count() const = 0;
  virtual audio_chunk* get_item(size_t index) const = 0;
  // Later chunks move down by one.
  virtual void remove_by_idx(size_t index) = 0;
  virtual void remove_mask(const pfc::bit_array& mask) = 0;
  virtual audio_chunk* insert_item(size_t index, size_t hint_size = 0) = 0;

 protected:
  ~dsp_chunk_list() = default;
};

class dsp : public service_base {
 public:
  static constexpr GUID class_guid = {
      0x2A42AFEA, 0x940B, 0x455B, {0xAE, 0xFF, 0xCF, 0xDA, 0xCA, 0xF5, 0x2A, 0xFF}};
  enum { END_OF_TRACK = 1, FLUSH = 2 };
  virtual void run(dsp_chunk_list* list, const metadb_handle_ptr& cur_file, int flags) = 0;
  virtual void flush() = 0;
  virtual double get_latency() = 0;
  virtual bool need_track_change_mark() = 0;

 protected:
  ~dsp() = default;
};

class dsp_v2 : public dsp {
 public:
  static constexpr GUID class_guid = {
      0x9FB1DA49, 0xAF6F, 0x4FD2, {0x9C, 0x73, 0x48, 0xA8, 0xA1, 0x09, 0x00, 0x3B}};
  virtual void run_v2(dsp_chunk_list* list, const metadb_handle_ptr& cur_file, int flags,
                      abort_callback& abort) = 0;

 protected:
  ~dsp_v2() = default;
};

// The run loop: offers every non-empty chunk to on_chunk, removes empty
// chunks and those on_chunk refuses, then the end-of-track/flush handlers.
// An exception ends the loop there: the chunks not yet visited pass as they
// are; on Windows it goes no further, elsewhere it passes on to the caller.
template <typename base>
class dsp_impl_base_t : public base {
 public:
  bool service_query(service_ptr& out, const GUID& guid) override {
    if (guid == dsp_v2::class_guid || guid == dsp::class_guid) {
      out.set(this);
      return true;
    }
    return false;
  }

  void run(dsp_chunk_list* list, const metadb_handle_ptr& cur_file, int flags) override {
    abort_callback_dummy never;
    run_v2(list, cur_file, flags, never);
  }

  void run_v2(dsp_chunk_list* list, const metadb_handle_ptr& cur_file, int flags,
              abort_callback& abort) override {
    // The fields go back on every way out, an exception's included.
    struct restore {
      dsp_impl_base_t& self;
      dsp_chunk_list* const list;
      metadb_handle* const track;
      ~restore() {
        self.m_list = list;
        self.m_cur_file = track;
      }
    } saved{*this, m_list, m_cur_file};
    m_list = list;
    m_cur_file = cur_file.get();
#ifdef _WIN32
    // The player is another compiler's program: nothing of ours may reach it.
    fulgora::guarded([&] { run_chunks(flags, abort); });
#else
    // Built by the same compiler as its host, the loop lets the host's own
    // exceptions (its chunk list's, its chunks') pass on to it.
    run_chunks(flags, abort);
#endif
  }

 protected:
  dsp_impl_base_t() = default;
  ~dsp_impl_base_t() = default;
  virtual void on_endoftrack(abort_callback& abort) = 0;
  virtual void on_endofplayback(abort_callback& abort) = 0;
  // False removes the chunk from the stream.
  virtual bool on_chunk(audio_chunk* chunk, abort_callback& abort) = 0;

  dsp_chunk_list* m_list = nullptr;
  size_t m_chunk_ptr = 0;
  metadb_handle* m_cur_file = nullptr;

 private:
  void run_chunks(int flags, abort_callback& abort) {
    for (m_chunk_ptr = 0; m_chunk_ptr < m_list->get_count(); ++m_chunk_ptr) {
      audio_chunk* chunk = m_list->get_item(m_chunk_ptr);
      const bool empty =
          chunk->get_channels() == 0 || chunk->get_srate() == 0 || chunk->get_sample_count() == 0;
      if (empty || !on_chunk(chunk, abort)) {
        m_list->remove_by_idx(m_chunk_ptr);
        --m_chunk_ptr;  // the next chunk moved into this place
      }
    }
    if (flags & dsp::FLUSH)
      on_endofplayback(abort);
    else if ((flags & dsp::END_OF_TRACK) && this->need_track_change_mark())
      on_endoftrack(abort);
  }
};

// A DSP preset: the owning DSP's identifier and opaque data.
class dsp_preset {
 public:
  // GCC and MSVC pass a returned struct differently: this is MSVC's form,
  // the result pointer after this and handed back; get_owner() wraps it.
  virtual GUID* get_owner(GUID* result) const = 0;
  virtual void set_owner(const GUID& owner) = 0;
  virtual const void* get_data() const = 0;
  virtual size_t get_data_size() const = 0;
  virtual void set_data(const void* data, size_t size) = 0;
  virtual void set_data_from_stream(stream_reader* stream, size_t bytes, abort_callback& abort) = 0;

  GUID get_owner() const {
    GUID owner;
    return *get_owner(&owner);
  }

 protected:
  ~dsp_preset() = default;
};

class dsp_preset_impl final : public dsp_preset {
 public:
  using dsp_preset::get_owner;
  dsp_preset_impl() : owner_{} {}
  GUID* get_owner(GUID* result) const override {
    *result = owner_;
    return result;
  }
  void set_owner(const GUID& owner) override { owner_ = owner; }
  const void* get_data() const override { return data_.data(); }
  size_t get_data_size() const override { return data_.size(); }
  void set_data(const void* data, size_t size) override {
    const auto* p = static_cast<const unsigned char*>(data);
    data_.assign(p, p + size);
  }
  void set_data_from_stream(stream_reader* stream, size_t bytes, abort_callback& abort) override {
    std::vector<unsigned char> data(bytes);
    stream->read_object(data.data(), bytes, abort);
    data_.swap(data);
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

// The entry that names a DSP and creates its instances.
class dsp_entry : public service_base {
 public:
  static constexpr GUID class_guid = {
      0x0D048731, 0x8AA8, 0x4704, {0x8A, 0xD6, 0x18, 0x9E, 0x24, 0xD4, 0x8C, 0x88}};
  virtual void get_name(pfc::string_base& out) = 0;
  virtual bool get_default_preset(dsp_preset& out) = 0;
  virtual bool instantiate(service_ptr_t<dsp>& out, const dsp_preset& preset) = 0;
  // MSVC's form of a GUID returned by value, as in dsp_preset::get_owner.
  virtual GUID* get_guid(GUID* result) = 0;
  virtual bool have_config_popup() = 0;
  virtual bool show_config_popup(dsp_preset& preset, void* parent) = 0;

  GUID get_guid() {
    GUID guid;
    return *get_guid(&guid);
  }

 protected:
  ~dsp_entry() = default;
};

class dsp_entry_v2 : public dsp_entry {
 public:
  static constexpr GUID class_guid = {
      0x9EC5D45E, 0x10F5, 0x46A7, {0x95, 0x46, 0xF3, 0xAC, 0xEC, 0x68, 0xB1, 0x49}};
  virtual void show_config_popup_v2(const dsp_preset& preset, void* parent,
                                    dsp_preset_edit_callback& callback) = 0;

 protected:
  ~dsp_entry_v2() = default;
};
