// The player's DSP interfaces as the component sees them, and the run-loop
// base that adapts them to on_chunk. Called by the player on the thread that
// runs the DSP.
#pragma once

#include <atomic>
#include <cstddef>

#include "host/audio_chunk.h"
#include "host/player_types.h"
#include "host/service.h"

// The chunks of one run call.
class dsp_chunk_list {
public:
  virtual size_t get_count() const = 0;
  virtual audio_chunk* get_item(size_t index) const = 0;
  // Later chunks move down by one.
  virtual void remove_by_idx(size_t index) = 0;

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
    // The two fields are put back on every way out, exceptions included.
    struct restore {
      dsp_impl_base_t& self;
      dsp_chunk_list* list;
      metadb_handle* track;
      ~restore() {
        self.m_list = list;
        self.m_cur_file = track;
      }
    } saved{*this, m_list, m_cur_file};
    m_list = list;
    m_cur_file = cur_file.get();
    for (m_chunk_ptr = 0; m_chunk_ptr < m_list->get_count(); ++m_chunk_ptr) {
      audio_chunk* chunk = m_list->get_item(m_chunk_ptr);
      const bool empty = chunk->get_channels() == 0 || chunk->get_srate() == 0 ||
                         chunk->get_sample_count() == 0;
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
};

// The concrete reference-counted object handed to the player.
template <typename T>
class service_impl_t final : public T {
public:
  template <typename... A>
  explicit service_impl_t(A&&... args) : T(static_cast<A&&>(args)...) {}
  int service_release() noexcept override {
    const int count = --refcount_;
    if (count == 0) delete this;
    return count;
  }
  int service_add_ref() noexcept override { return ++refcount_; }

private:
  ~service_impl_t() = default;
  std::atomic<int> refcount_{0};
};

// A static single instance: counting does nothing and it is never destroyed
// through it.
template <typename T>
class service_impl_single_t final : public T {
public:
  int service_release() noexcept override { return 1; }
  int service_add_ref() noexcept override { return 1; }
};
