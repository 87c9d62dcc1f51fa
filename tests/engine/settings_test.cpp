#include <gtest/gtest.h>

#include <cstdlib>
#include <limits>
#include <string>
#include <vector>

#include "engine/notices.h"
#include "engine/settings_record.h"
#include "tests/support/settings_of.h"

namespace fulgora {
namespace {

using fulgora_test::settings_of;

const char* const full_file =
    "[SETTING]\n"
    "PORTNAME=COM3\n"
    "LOW_LEDTYPE=2\nMID_LEDTYPE=1\nHI_LEDTYPE=0\n"
    "LOW_FREQ=400\nMID_FREQ=4000.5\nHI_FREQ=16000\n"
    "LOW_RATIO=1.5\nMID_RATIO=0.25\nHI_RATIO=2e0\n"
    "LOW_GANMA=0.7\nMID_GANMA=1.3\nHI_GANMA=2\n"
    "LOW_ENHANCE=0.1\nMID_ENHANCE=0.2\nHI_ENHANCE=0.3\n"
    "ENABLE_ENHANCER=1\nENHANCER_MEAN_COUNT=4\n";

void expect_in_memory_defaults(const led_settings& s, const level_history& h) {
  const led_settings d;
  EXPECT_EQ(s.LOW_FREQ, 800.0);
  EXPECT_EQ(s.MID_RATIO, 0.9);
  EXPECT_EQ(s.MID_GANMA, 0.6f);
  EXPECT_TRUE(s.ENABLE_ENHANCER);
  EXPECT_EQ(s.HI_ENHANCE, d.HI_ENHANCE);
  EXPECT_EQ(h.capacity, 8);
}

TEST(load_settings, every_value_from_the_file) {
  led_settings s;
  level_history h;
  h.push({1, 1, 1});
  ASSERT_TRUE(load_settings(settings_of(full_file), s, h));
  EXPECT_EQ(s.LOW_LEDTYPE, 2);
  EXPECT_EQ(s.HI_LEDTYPE, 0);
  EXPECT_EQ(s.MID_FREQ, 4000.5);
  EXPECT_EQ(s.HI_RATIO, 2.0);
  EXPECT_EQ(s.LOW_GANMA, 0.7f) << "converted straight to single precision";
  EXPECT_EQ(s.HI_ENHANCE, 0.3);
  EXPECT_TRUE(s.ENABLE_ENHANCER);
  EXPECT_EQ(s.ENHANCER_MEAN_COUNT, 4);
  EXPECT_EQ(h.capacity, 4);
  EXPECT_EQ(h.write_position, 0);
  EXPECT_EQ(h.entries[0].low, 0.0);
}

TEST(load_settings, absent_keys_take_the_file_defaults) {
  led_settings s;
  level_history h;
  ASSERT_TRUE(
      load_settings(settings_of("[SETTING]\nPORTNAME=COM3\nENHANCER_MEAN_COUNT=16\n"), s, h));
  EXPECT_EQ(s.LOW_LEDTYPE, 0);
  EXPECT_EQ(s.MID_LEDTYPE, 1);
  EXPECT_EQ(s.HI_LEDTYPE, 2);
  EXPECT_EQ(s.LOW_FREQ, 500.0);
  EXPECT_EQ(s.MID_FREQ, 5000.0);
  EXPECT_EQ(s.HI_FREQ, 22000.0);
  EXPECT_EQ(s.LOW_RATIO, 1.0);
  EXPECT_EQ(s.MID_GANMA, 1.0f);
  EXPECT_EQ(s.LOW_ENHANCE, 0.0);
  EXPECT_FALSE(s.ENABLE_ENHANCER);
  EXPECT_EQ(h.capacity, 16) << "resized even with the enhancer off";
}

TEST(load_settings, any_bad_value_keeps_every_in_memory_default) {
  const char* const bad[] = {
      "LOW_FREQ=\n",           "MID_RATIO=0.9x\n",          "LOW_FREQ=500Hz\n",
      "ENABLE_ENHANCER=yes\n", "LOW_LEDTYPE=0x1\n",         "HI_GANMA=1,5\n",
      "MID_FREQ=--1\n",        "ENHANCER_MEAN_COUNT=8.0\n", "HI_RATIO=1 2\n",
  };
  for (const char* line : bad) {
    led_settings s;
    level_history h;
    EXPECT_FALSE(load_settings(settings_of(std::string("[SETTING]\nPORTNAME=COM3\n") + line), s, h))
        << line;
    expect_in_memory_defaults(s, h);
  }
}

// The number forms themselves: conversions_test.cpp.
TEST(load_settings, accepted_forms) {
  const struct {
    const char* line;
    double low_freq;
    int32_t low_type;
    bool enhancer;
  } cases[] = {
      {"LOW_FREQ=  750", 750, 0, false},
      {"LOW_LEDTYPE=7", 500, 7, false},
      {"LOW_LEDTYPE=99999999999", 500, INT32_MAX, false},
      {"ENABLE_ENHANCER=2", 500, 0, true},
      {"ENABLE_ENHANCER=-1", 500, 0, true},
      {"LOW_FREQ=1e400", std::numeric_limits<double>::infinity(), 0, false},
  };
  for (const auto& c : cases) {
    led_settings s;
    level_history h;
    ASSERT_TRUE(
        load_settings(settings_of(std::string("[SETTING]\nPORTNAME=COM3\n") + c.line + "\n"), s, h))
        << c.line;
    EXPECT_EQ(s.LOW_FREQ, c.low_freq) << c.line;
    EXPECT_EQ(s.LOW_LEDTYPE, c.low_type) << c.line;
    EXPECT_EQ(s.ENABLE_ENHANCER, c.enhancer) << c.line;
  }
}

// A well-formed count whose history cannot be had fails the load as a
// malformed one does, but is said to be too large (it was called malformed).
TEST(load_settings, a_mean_count_without_a_history_fails_like_a_malformed_value) {
  struct row {
    const char* count;
    bool loads;
    const char* said;  // after the load fails
  };
  std::vector<row> rows = {
      {"0", true, ""},
      {"-1", false, "ENHANCER_MEAN_COUNT malformed, built-in defaults used"},
      {"-2147483648", false, "ENHANCER_MEAN_COUNT malformed, built-in defaults used"}};
  // More than the address space, or than this machine's memory (the
  // sanitizers' allocators end the program instead of failing).
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  const bool fits = sizeof(size_t) > 4;
#else
  // Through a variable: a 32-bit build refuses the constant product outright.
  volatile size_t count = INT32_MAX;
  void* probe = std::calloc(count, sizeof(band_levels));
  const bool fits = probe != nullptr;
  std::free(probe);
#endif
  if (!fits)
    rows.push_back({"2147483647", false, "ENHANCER_MEAN_COUNT too large, built-in defaults used"});
  for (const row& r : rows) {
    const settings_record file =
        settings_of(std::string("[SETTING]\nENHANCER_MEAN_COUNT=") + r.count + "\n");
    led_settings s;
    level_history h;
    settings_fault fault;
    EXPECT_NO_THROW(EXPECT_EQ(load_settings(file, s, h, &fault), r.loads)) << r.count;
    char text[200] = "";
    if (!r.loads) settings_fault_text(fault, text, sizeof text);
    EXPECT_STREQ(text, r.said);
    EXPECT_EQ(h.capacity, r.loads ? 1 : 8) << r.count;
    EXPECT_EQ(s.ENHANCER_MEAN_COUNT, r.loads ? 0 : 8) << r.count;
    EXPECT_EQ(s.LOW_FREQ, r.loads ? 500.0 : 800.0) << r.count;
  }
}

}  // namespace
}  // namespace fulgora
