// A player services interface with console receivers that record every line,
// installed as the component's services for the life of the object. Not the
// stand-in's player_services, whose console prints and keeps nothing.
#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "host/console.h"
#include "host/service_lookup.h"
#include "host/visualisation.h"

namespace fulgora_test {

class recording_receiver : public console_receiver {
 public:
  int service_release() noexcept override { return --refs; }
  int service_add_ref() noexcept override { return ++refs; }
  bool service_query(service_ptr&, const GUID&) override { return false; }
  // The player's console takes lines from any thread.
  void print(const char* text, size_t length) override {
    std::lock_guard<std::mutex> lock(guard());
    lines.push_back(length == ~size_t{0} ? std::string(text) : std::string(text, length));
    if (log) log->push_back(lines.back());
  }
  std::vector<std::string> lines;
  std::vector<std::string>* log = nullptr;  // shared order across receivers
  std::atomic<int> refs{0};
  static std::mutex& guard() {
    static std::mutex m;
    return m;
  }
};

class fake_services : public foobar2000_api {
 public:
  explicit fake_services(int receiver_count = 1, bool available = true)
      : receivers(receiver_count) {
    for (auto& r : receivers) r.log = &all;
    previous_api_ = fulgora::g_foobar2000_api;
    previous_flag_ = fulgora::g_services_available;
    fulgora::g_foobar2000_api = this;
    fulgora::g_services_available = available;
  }
  ~fake_services() {
    fulgora::g_foobar2000_api = previous_api_;
    fulgora::g_services_available = previous_flag_;
  }
  fake_services(const fake_services&) = delete;
  fake_services& operator=(const fake_services&) = delete;

  service_class_ref service_enum_find_class(const GUID& guid) override {
    ++find_calls;
    if (guid == visualisation_manager::class_guid) return clock ? &clock : nullptr;
    return guid == console_receiver::class_guid ? &receivers : nullptr;
  }
  bool service_enum_create(service_ptr& out, service_class_ref clazz, size_t index) override {
    if (clazz == &clock && clock != nullptr && index == 0) {
      out.set(clock);
      return true;
    }
    if (clazz != &receivers || index >= receivers.size()) return false;
    out.set(&receivers[index]);
    return true;
  }
  size_t service_enum_get_count(service_class_ref clazz) override {
    if (clazz == &clock && clock != nullptr) return 1;
    return clazz == &receivers ? receivers.size() : 0;
  }
  void* get_main_window() override { return nullptr; }
  bool assert_main_thread() override { return true; }
  bool is_main_thread() override { return true; }
  bool is_shutting_down() override { return false; }
  const char* get_profile_path() override { return profile_path.c_str(); }
  bool is_initializing() override { return false; }
  bool is_portable_mode_enabled() override { return false; }
  bool is_quiet_mode_enabled() override { return false; }
  // Lines as the first receiver saw them.
  const std::vector<std::string>& lines() const { return receivers.at(0).lines; }
  // A copy, safe while another thread prints.
  std::vector<std::string> lines_now() const {
    std::lock_guard<std::mutex> lock(recording_receiver::guard());
    return receivers.at(0).lines;
  }

  std::vector<recording_receiver> receivers;
  std::vector<std::string> all;
  std::atomic<int> find_calls{0};
  visualisation_manager* clock = nullptr;  // the player's playback clock, if it has one
  std::string profile_path;                // none unless a test gives one

 private:
  foobar2000_api* previous_api_;
  bool previous_flag_;
};

}  // namespace fulgora_test
