#include "host/registration.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "component/dsp_fulgora.h"
#include "platform/settings_reader.h"
#include "tests/support/expected_names.h"
#include "tests/support/fake_console.h"
#include "tests/support/settings_scope.h"

extern "C" foobar2000_client* foobar2000_get_interface(foobar2000_api* api, void* instance);

namespace fulgora {
namespace {

using fulgora_test::fake_services;

// An empty configuration stream that counts the calls made on it.
struct empty_reader : stream_reader {
  int calls = 0;
  size_t read(void*, size_t, abort_callback&) override { return ++calls, 0; }
  void read_object(void*, size_t size, abort_callback&) override {
    if (++calls, size != 0) throw exception_io_data();
  }
  uint64_t skip(uint64_t, abort_callback&) override { return ++calls, 0; }
  void skip_object(uint64_t n, abort_callback&) override {
    if (++calls, n != 0) throw exception_io_data();
  }
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

// One whose full construction fails (out of memory, or else) but whose
// pass-through one does not; that one keeps the reason it is told.
int lights_off_failure = 0;  // 0: bad_alloc, otherwise another exception
int lights_off_said = -1;    // 1: told out of memory, 0: told another failure
struct lights_off_dsp : failing_dsp_base {
  lights_off_dsp() {
    if (lights_off_failure == 0) throw std::bad_alloc();
    throw std::runtime_error("not memory");
  }
  explicit lights_off_dsp(pass_through_t why) { lights_off_said = why.out_of_memory ? 1 : 0; }
  static constexpr bool can_pass_through = true;
};

// Names, identifiers, config popups, default presets, foreign presets and the
// entry's own queries: the test player checks them under the player's ABI.
TEST(registration, dsp_entry) {
  auto* entry = create<dsp_entry_v2>(client()->get_service_list());
  EXPECT_EQ(entry->get_guid(), fulgora_expected::dsp_guid);
  service_ptr none;
  EXPECT_FALSE(entry->service_query(none, fulgora_expected::guid_componentversion));
  EXPECT_FALSE(none);

  fulgora_test::settings_scope no_file(nullptr);
  dsp_preset_impl preset;
  service_ptr_t<dsp> a, b;
  EXPECT_TRUE(entry->get_default_preset(preset));
  ASSERT_TRUE(entry->instantiate(a, preset));
  ASSERT_TRUE(entry->instantiate(b, preset));
  EXPECT_NE(a.get(), b.get()) << "independent instances";

  // Any failure inside: false, nothing created, out untouched.
  service_impl_single_t<dsp_entry_v2_impl_t<failing_dsp>> failing;
  dsp_preset_impl failing_preset;
  EXPECT_TRUE(failing.get_default_preset(failing_preset));
  service_ptr_t<dsp> out = a;
  EXPECT_FALSE(failing.instantiate(out, failing_preset)) << "not even a pass-through one";
  EXPECT_EQ(out.get(), a.get());
  // The player takes a refusal for a bug of its own: a pass-through instance instead.
  // It is told whether memory ran out: only then is out of memory said.
  service_impl_single_t<dsp_entry_v2_impl_t<lights_off_dsp>> lights_off;
  for (int failure : {0, 1}) {
    lights_off_failure = failure;
    lights_off_said = -1;
    out = a;
    EXPECT_TRUE(lights_off.instantiate(out, failing_preset));
    EXPECT_NE(out.get(), a.get());
    EXPECT_EQ(lights_off_said, failure == 0 ? 1 : 0) << failure;
  }
}

// Its strings once the library path is known: the test player.
TEST(registration, component_version_before_the_library_path) {
  auto* version = create<componentversion>(client()->get_service_list()->get_next());
  pfc::string8 s;
  s.set_string("the player's old text");
  version->get_file_name(s);
  EXPECT_EQ(s.str(), "");
  version->get_about_message(s);
  EXPECT_NE(s.str().find("Copyright"), std::string::npos);
  service_ptr q;
  EXPECT_TRUE(version->service_query(q, fulgora_expected::guid_componentversion));
  EXPECT_FALSE(version->service_query(q, fulgora_expected::guid_dsp_entry));
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

// Records, short tails and the player's exceptions: the test player.
TEST(registration, an_empty_configuration_stream) {
  abort_callback_dummy never;
  empty_reader empty;
  client()->set_config(&empty, never);
  EXPECT_EQ(empty.calls, 1);
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
