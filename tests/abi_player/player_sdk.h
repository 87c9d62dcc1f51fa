// The player's interfaces as the player itself declares them, written from the
// SDK's headers (file named per block) and compiled with the player's C++ ABI
// (clang for *-windows-msvc): natural declarations, so GUID returns, overload
// order and thiscall are MSVC's own. Nothing here comes from host/.
#pragma once

typedef decltype(sizeof 0) t_size;
typedef unsigned long long t_filesize;
typedef unsigned int t_uint32;
#if defined(_WIN64)
typedef double audio_sample;  // foobar2000 2.x x64
#else
typedef float audio_sample;
#endif

struct GUID {
  t_uint32 Data1;
  unsigned short Data2, Data3;
  unsigned char Data4[8];
};

class service_base;
template <typename T>
struct service_ptr_t {  // service.h: one pointer
  T* m_ptr;
};
typedef service_ptr_t<service_base> service_ptr;
typedef const void* service_class_ref;

// service.h
class service_base {
 public:
  virtual int service_release() noexcept = 0;
  virtual int service_add_ref() noexcept = 0;
  virtual bool service_query(service_ptr& p_out, const GUID& p_guid) = 0;
};

// service.h: a registration node
class service_factory_base {
 public:
  virtual void instance_create(service_ptr& p_out) = 0;
  service_factory_base* __internal__next;
  const GUID& m_guid;

 protected:
  explicit service_factory_base(const GUID& g) : __internal__next(nullptr), m_guid(g) {}
};

// pfc/string-interface.h
class string_receiver {
 public:
  virtual void add_string(const char* p_string, t_size p_string_size = ~t_size(0)) = 0;
};
class string_base : public string_receiver {
 public:
  virtual const char* get_ptr() const = 0;
  virtual void add_string(const char* p_string, t_size p_length = ~t_size(0)) = 0;
  virtual void set_string(const char* p_string, t_size p_length = ~t_size(0)) = 0;
  virtual void truncate(t_size len) = 0;
  virtual t_size get_length() const = 0;
  virtual char* lock_buffer(t_size p_requested_length) = 0;
  virtual void unlock_buffer() = 0;
};

// abort_callback.h
class abort_callback {
 public:
  virtual bool is_aborting() const = 0;
  virtual void* get_abort_event() const = 0;
};

// file.h
class stream_reader {
 public:
  virtual t_size read(void* p_buffer, t_size p_bytes, abort_callback& p_abort) = 0;
  virtual void read_object(void* p_buffer, t_size p_bytes, abort_callback& p_abort) = 0;
  virtual t_filesize skip(t_filesize p_bytes, abort_callback& p_abort) = 0;
  virtual void skip_object(t_filesize p_bytes, abort_callback& p_abort) = 0;
};
class stream_writer {
 public:
  virtual void write(const void* p_buffer, t_size p_bytes, abort_callback& p_abort) = 0;
};

// audio_chunk.h
class audio_chunk {
 public:
  virtual audio_sample* get_data() = 0;
  virtual const audio_sample* get_data() const = 0;
  virtual t_size get_data_size() const = 0;
  virtual void set_data_size(t_size p_new_size) = 0;
  virtual unsigned get_srate() const = 0;
  virtual void set_srate(unsigned val) = 0;
  virtual unsigned get_channels() const = 0;
  virtual unsigned get_channel_config() const = 0;
  virtual void set_channels(unsigned p_count, unsigned p_config) = 0;
  virtual t_size get_sample_count() const = 0;
  virtual void set_sample_count(t_size val) = 0;
};

// dsp.h
class bit_array;
class dsp_chunk_list {
 public:
  virtual t_size get_count() const = 0;
  virtual audio_chunk* get_item(t_size n) const = 0;
  virtual void remove_by_idx(t_size idx) = 0;
  virtual void remove_mask(const bit_array& mask) = 0;
  virtual audio_chunk* insert_item(t_size idx, t_size hint_size = 0) = 0;
};
typedef service_ptr_t<service_base> dsp_track_t;  // a metadb_handle reference

class dsp : public service_base {
 public:
  enum { END_OF_TRACK = 1, FLUSH = 2 };
  virtual void run(dsp_chunk_list* p_chunk_list, const dsp_track_t& p_cur_file, int p_flags) = 0;
  virtual void flush() = 0;
  virtual double get_latency() = 0;
  virtual bool need_track_change_mark() = 0;
};
class dsp_v2 : public dsp {
 public:
  virtual void run_v2(dsp_chunk_list* p_chunk_list, const dsp_track_t& p_cur_file, int p_flags,
                      abort_callback& p_abort) = 0;
};

class dsp_preset {
 public:
  virtual GUID get_owner() const = 0;
  virtual void set_owner(const GUID& p_owner) = 0;
  virtual const void* get_data() const = 0;
  virtual t_size get_data_size() const = 0;
  virtual void set_data(const void* p_data, t_size p_data_size) = 0;
  virtual void set_data_from_stream(stream_reader* p_stream, t_size p_bytes,
                                    abort_callback& p_abort) = 0;
};
class dsp_preset_edit_callback {
 public:
  virtual void on_preset_changed(const dsp_preset&) = 0;
};

struct HWND__;
class dsp_entry : public service_base {
 public:
  virtual void get_name(string_base& p_out) = 0;
  virtual bool get_default_preset(dsp_preset& p_out) = 0;
  virtual bool instantiate(service_ptr_t<dsp>& p_out, const dsp_preset& p_preset) = 0;
  virtual GUID get_guid() = 0;
  virtual bool have_config_popup() = 0;
  virtual bool show_config_popup(dsp_preset& p_data, HWND__* p_parent) = 0;
};
class dsp_entry_v2 : public dsp_entry {
 public:
  virtual void show_config_popup_v2(const dsp_preset& p_data, HWND__* p_parent,
                                    dsp_preset_edit_callback& p_callback) = 0;
};

// componentversion.h
class componentversion : public service_base {
 public:
  virtual void get_file_name(string_base& out) = 0;
  virtual void get_component_name(string_base& out) = 0;
  virtual void get_component_version(string_base& out) = 0;
  virtual void get_about_message(string_base& out) = 0;
};

// console.h
class console_receiver : public service_base {
 public:
  virtual void print(const char* p_message, t_size p_message_length) = 0;
};

// component.h
class foobar2000_client {
 public:
  virtual t_uint32 get_version() = 0;
  virtual service_factory_base* get_service_list() = 0;
  virtual void get_config(stream_writer* p_stream, abort_callback& p_abort) = 0;
  virtual void set_config(stream_reader* p_stream, abort_callback& p_abort) = 0;
  virtual void set_library_path(const char* path, const char* name) = 0;
  virtual void services_init(bool val) = 0;
  virtual bool is_debug() = 0;
};
class foobar2000_api {
 public:
  virtual service_class_ref service_enum_find_class(const GUID& p_guid) = 0;
  virtual bool service_enum_create(service_ptr& p_out, service_class_ref p_class,
                                   t_size p_index) = 0;
  virtual t_size service_enum_get_count(service_class_ref p_class) = 0;
  virtual HWND__* get_main_window() = 0;
  virtual bool assert_main_thread() = 0;
  virtual bool is_main_thread() = 0;
  virtual bool is_shutting_down() = 0;
  virtual const char* get_profile_path() = 0;
  virtual bool is_initializing() = 0;
  virtual bool is_portable_mode_enabled() = 0;
  virtual bool is_quiet_mode_enabled() = 0;
};

// vis.h: the playback clock's stream and the core service that creates it.
class visualisation_stream : public service_base {
 public:
  virtual bool get_absolute_time(double& p_value) = 0;
  virtual bool get_chunk_absolute(audio_chunk& p_chunk, double p_offset,
                                  double p_requested_length) = 0;
  virtual bool get_spectrum_absolute(audio_chunk& p_chunk, double p_offset,
                                     unsigned p_fft_size) = 0;
  virtual void make_fake_chunk_absolute(audio_chunk& p_chunk, double p_offset,
                                        double p_requested_length) = 0;
  virtual void make_fake_spectrum_absolute(audio_chunk& p_chunk, double p_offset,
                                           unsigned p_fft_size) = 0;
};
class visualisation_manager : public service_base {
 public:
  virtual void create_stream(service_ptr_t<visualisation_stream>& p_out, unsigned p_flags) = 0;
};

// output.h (1.3.5 on): the core's output settings, packed.
#pragma pack(push, 1)
struct outputCoreConfig_t {
  GUID m_output;
  GUID m_device;
  double m_buffer_length;
  t_uint32 m_flags;
  t_uint32 m_bitDepth;
};
#pragma pack(pop)
class output;
class output_manager : public service_base {
 public:
  virtual service_ptr_t<output> instantiateCoreDefault(double overrideBufferLength) = 0;
  virtual void getCoreConfig(void* out, t_size outSize) = 0;
};

typedef foobar2000_client* (*foobar2000_get_interface_t)(foobar2000_api* p_api, void* hIns);

#include "tests/support/expected_names.h"
using namespace fulgora_expected;  // the class identifiers, written once
