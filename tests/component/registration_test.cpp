#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "component/dsp_fulgora.h"
#include "host/registration.h"
#include "platform/settings_reader.h"
#include "tests/support/fake_console.h"
#include "tests/support/settings_scope.h"

extern "C" foobar2000_client* foobar2000_get_interface(foobar2000_api* api, void* instance);

namespace fulgora {
namespace {

using fulgora_test::fake_services;

struct memory_reader : stream_reader {
  std::string bytes;
  size_t at = 0;
  int calls = 0;
  size_t read(void* buffer, size_t size, abort_callback&) override {
    ++calls;
    const size_t n = std::min(size, bytes.size() - at);
    std::memcpy(buffer, bytes.data() + at, n);
    at += n;
    return n;
  }
  void read_object(void* buffer, size_t size, abort_callback& abort) override {
    if (read(buffer, size, abort) != size) throw exception_io_data();
  }
  uint64_t skip(uint64_t n, abort_callback&) override {  // quietly short at the end
    ++calls;
    const size_t k = static_cast<size_t>(std::min<uint64_t>(n, bytes.size() - at));
    at += k;
    return k;
  }
  void skip_object(uint64_t n, abort_callback&) override {
    ++calls;
    if (bytes.size() - at < n) throw exception_io_data();
    at += static_cast<size_t>(n);
  }
};

struct counting_writer : stream_writer {
  size_t written = 0;
  void write(const void*, size_t size, abort_callback&) override { written += size; }
};

foobar2000_client* client() {
  static fake_services* api = nullptr;
  return foobar2000_get_interface(api, nullptr);
}

template <typename T>
T* create(service_factory_base* node) {
  service_ptr p;
  node->instance_create(p);
  return static_cast<T*>(p.get());
}

TEST(registration, two_nodes_dsp_entry_first_and_the_same_objects_each_time) {
  foobar2000_client* c = client();
  EXPECT_EQ(c->get_version(), sizeof(void*) == 8 ? 80u : 78u) << "the 64-bit player wants 80";
  EXPECT_FALSE(c->is_debug());
  service_factory_base* first = c->get_service_list();
  ASSERT_NE(first, nullptr);
  service_factory_base* second = first->get_next();
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(second->get_next(), nullptr);
  EXPECT_EQ(first->get_class_guid(), dsp_entry::class_guid);
  EXPECT_EQ(second->get_class_guid(), componentversion::class_guid);
  EXPECT_EQ(create<service_base>(first), create<service_base>(first));
  EXPECT_EQ(create<service_base>(second), create<service_base>(second));
  EXPECT_EQ(foobar2000_get_interface(nullptr, nullptr), c) << "same client every time";
}

// A DSP whose construction fails, as an engine out of memory would.
struct failing_dsp_base : dsp_impl_base_t<dsp_v2> {
  static GUID g_get_guid() { return {0x22222222, 3, 4, {5}}; }
  static void g_get_name(pfc::string_base& out) { out.set_string("x"); }
  void flush() override {}
  double get_latency() override { return 0; }
  bool need_track_change_mark() override { return false; }
  void on_endoftrack(abort_callback&) override {}
  void on_endofplayback(abort_callback&) override {}
  bool on_chunk(audio_chunk*, abort_callback&) override { return true; }
};
struct failing_dsp : failing_dsp_base {
  failing_dsp() { throw std::bad_alloc(); }
};

// One whose full construction fails but whose pass-through one does not.
struct lights_off_dsp : failing_dsp_base {
  lights_off_dsp() { throw std::bad_alloc(); }
  explicit lights_off_dsp(pass_through_t) {}
  static constexpr bool can_pass_through = true;
};

TEST(registration, dsp_entry) {
  auto* entry = create<dsp_entry_v2>(client()->get_service_list());
  pfc::string8 name;
  name.set_string("the player's old text");
  entry->get_name(name);
  EXPECT_EQ(name.str(), "Fulgora(DSP)") << "replaced, not appended";
  EXPECT_EQ(entry->get_guid(), dsp_fulgora::guid);
  EXPECT_FALSE(entry->have_config_popup());

  dsp_preset_impl preset;
  const GUID other = {0x11111111, 2, 3, {4, 5, 6, 7, 8, 9, 10, 11}};
  preset.set_owner(other);
  preset.set_data("abc", 3);
  EXPECT_FALSE(entry->show_config_popup(preset, nullptr));
  EXPECT_EQ(preset.get_owner(), other);
  EXPECT_EQ(preset.get_data_size(), 3u);

  service_ptr_t<dsp> untouched;
  EXPECT_FALSE(entry->instantiate(untouched, preset)) << "owned by another DSP";
  EXPECT_FALSE(untouched);

  fulgora_test::settings_scope no_file(nullptr);
  service_ptr_t<dsp> a, b, c;
  EXPECT_TRUE(entry->get_default_preset(preset));
  EXPECT_EQ(preset.get_owner(), dsp_fulgora::guid) << "owned by this DSP";
  EXPECT_EQ(preset.get_data_size(), 0u) << "no data";
  ASSERT_TRUE(entry->instantiate(a, preset)) << "a fresh default preset instantiates";
  preset.set_data("abc", 3);
  ASSERT_TRUE(entry->instantiate(b, preset)) << "whatever data it carries";
  EXPECT_NE(a.get(), b.get()) << "independent instances";

  // Any failure inside: false, nothing created, out untouched.
  service_impl_single_t<dsp_entry_v2_impl_t<failing_dsp>> failing;
  dsp_preset_impl failing_preset;
  EXPECT_TRUE(failing.get_default_preset(failing_preset));
  c = a;
  EXPECT_FALSE(failing.instantiate(c, failing_preset)) << "not even a pass-through one";
  EXPECT_EQ(c.get(), a.get());
  // The player takes a refusal for a bug of its own: a pass-through instance instead.
  service_impl_single_t<dsp_entry_v2_impl_t<lights_off_dsp>> lights_off;
  EXPECT_TRUE(lights_off.instantiate(c, failing_preset));
  EXPECT_NE(c.get(), a.get());

  service_ptr q;
  EXPECT_TRUE(entry->service_query(q, dsp_entry_v2::class_guid));
  EXPECT_TRUE(entry->service_query(q, dsp_entry::class_guid));
  service_ptr none;
  EXPECT_FALSE(entry->service_query(none, dsp_v2::class_guid));
  EXPECT_FALSE(entry->service_query(none, componentversion::class_guid));
  EXPECT_FALSE(none);
}

TEST(registration, component_version_and_library_path) {
  foobar2000_client* c = client();
  auto* version = create<componentversion>(c->get_service_list()->get_next());
  pfc::string8 s;
  s.set_string("the player's old text");
  version->get_component_name(s);
  EXPECT_EQ(s.str(), "Fulgora");
  version->get_component_version(s);
  EXPECT_EQ(s.str(), "1.0.0");
  version->get_file_name(s);
  EXPECT_EQ(s.str(), "") << "before set_library_path";
  c->set_library_path("C:\\player\\components\\foo_Fulgora.dll", "foo_Fulgora");
  version->get_file_name(s);
  EXPECT_EQ(s.str(), "foo_Fulgora");
  version->get_about_message(s);
  EXPECT_EQ(s.str().rfind("LED \xe3\x82\x92", 0), 0u) << "UTF-8, not Shift-JIS";
  EXPECT_NE(s.str().find("Copyright"), std::string::npos);
  service_ptr q;
  EXPECT_TRUE(version->service_query(q, componentversion::class_guid));
  EXPECT_FALSE(version->service_query(q, dsp_entry::class_guid));
}

TEST(registration, library_path_and_profile_folder_lead_to_the_settings_file) {
  namespace fs = std::filesystem;
  fulgora_test::settings_scope scope(nullptr);  // nothing in components/ here
  const fs::path library = fs::current_path() / "user-components" / "foo_Fulgora";
  const fs::path profile = fs::current_path() / "profile";
  fs::create_directories(library);
  fs::create_directories(profile);
  std::ofstream(library / "foo_Fulgora.ini") << "[SETTING]\nPORTNAME=beside\n";
  std::ofstream(profile / "foo_Fulgora.ini") << "[SETTING]\nPORTNAME=profile\n";
  fake_services api(1, false);
  api.profile_path = "file://" + profile.u8string();
  foobar2000_client* c = foobar2000_get_interface(&api, nullptr);
  c->set_library_path((library / "foo_Fulgora.dll").u8string().c_str(), "foo_Fulgora");
  c->services_init(true);
  EXPECT_EQ(std::wstring(read_settings().PORTNAME), L"beside");
  fs::remove(library / "foo_Fulgora.ini");
  EXPECT_EQ(std::wstring(read_settings().PORTNAME), L"profile");
  c->services_init(false);
  set_settings_places({});
}

TEST(registration, configuration_streams) {
  foobar2000_client* c = client();
  abort_callback_dummy never;
  counting_writer w;
  c->get_config(&w, never);
  EXPECT_EQ(w.written, 0u);

  memory_reader empty;
  c->set_config(&empty, never);
  EXPECT_EQ(empty.calls, 1);
  memory_reader fifteen;
  fifteen.bytes = std::string(15, 'x');
  c->set_config(&fifteen, never);
  EXPECT_EQ(fifteen.at, 15u);
  memory_reader records;  // two records, then the end
  records.bytes = std::string(16, 'a') + std::string("\x03\0\0\0", 4) + "xyz" +
                  std::string(16, 'b') + std::string("\0\0\0\0", 4);
  c->set_config(&records, never);
  EXPECT_EQ(records.at, records.bytes.size());
  // Short streams raise the stream's own error, which passes.
  memory_reader short_length;
  short_length.bytes = std::string(16, 'a') + "\x01";
  EXPECT_THROW(c->set_config(&short_length, never), exception_io_data);
  memory_reader short_data;  // skip would stop quietly; skip_object raises
  short_data.bytes = std::string(16, 'a') + std::string("\x0a\0\0\0", 4) + "xyz";
  EXPECT_THROW(c->set_config(&short_data, never), exception_io_data);
}

TEST(registration, console_follows_the_export_and_services_init) {
  foobar2000_client* c = client();
  fake_services first(1, false), second(1, false);
  foobar2000_get_interface(&first, nullptr);
  c->services_init(true);
  console_print("one");
  foobar2000_get_interface(&second, nullptr);
  console_print("two");
  c->services_init(false);
  console_print("three");
  EXPECT_EQ(first.lines(), std::vector<std::string>{"one"});
  EXPECT_EQ(second.lines(), std::vector<std::string>{"two"});
}

}  // namespace
}  // namespace fulgora
