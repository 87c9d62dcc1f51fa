#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "tools/play/decoder.h"

namespace fulgora_play {
namespace {

std::string le(uint32_t v, int bytes) {
  std::string s;
  for (int i = 0; i < bytes; ++i) s += static_cast<char>(v >> (8 * i) & 0xff);
  return s;
}

std::string wav(uint16_t format, uint16_t channels, uint16_t bits, const std::string& data) {
  const uint16_t align = static_cast<uint16_t>(channels * bits / 8);
  const std::string fmt = le(format, 2) + le(channels, 2) + le(44100, 4) + le(44100 * align, 4) +
                          le(align, 2) + le(bits, 2);
  const std::string body = "WAVE" + std::string("fmt ") + le(16, 4) + fmt + "LIST" + le(3, 4) +
                           "abc" + std::string(1, '\0') + "data" +
                           le(static_cast<uint32_t>(data.size()), 4) + data;
  return "RIFF" + le(static_cast<uint32_t>(body.size()), 4) + body;
}

TEST(decode_wav, sample_formats) {
  decoded_audio a;
  std::string error;
  ASSERT_TRUE(decode_wav(wav(1, 2, 16, le(0x4000, 2) + le(0x8000, 2)), a, error)) << error;
  EXPECT_EQ(a.channels, 2u);
  EXPECT_EQ(a.rate, 44100u);
  EXPECT_EQ(a.frames, 1u);
  EXPECT_EQ(a.samples[0], 0.5f);
  EXPECT_EQ(a.samples[1], -1.0f);

  ASSERT_TRUE(decode_wav(wav(1, 1, 24, le(0xc00000, 3) + le(0x400000, 3)), a, error)) << error;
  EXPECT_EQ(a.samples[0], -0.5f);
  EXPECT_EQ(a.samples[1], 0.5f);

  float f[2] = {0.25f, -0.75f};
  ASSERT_TRUE(decode_wav(wav(3, 2, 32, std::string(reinterpret_cast<char*>(f), 8)), a, error));
  EXPECT_EQ(a.samples[0], 0.25f);
  EXPECT_EQ(a.samples[1], -0.75f);
}

TEST(decode_wav, bad_input_is_an_error_not_a_crash) {
  decoded_audio a;
  std::string error;
  EXPECT_FALSE(decode_wav("", a, error));
  EXPECT_FALSE(decode_wav("RIFF\x04\0\0\0WAVE", a, error));
  EXPECT_FALSE(decode_wav(wav(2, 2, 4, "xxxx"), a, error)) << "ADPCM";
  EXPECT_NE(error.find("unsupported"), std::string::npos);
  // A data chunk that claims more than the file holds keeps what is there.
  std::string cut = wav(1, 1, 16, le(0x1000, 2) + le(0x2000, 2));
  cut.resize(cut.size() - 2);
  ASSERT_TRUE(decode_wav(cut, a, error));
  EXPECT_EQ(a.frames, 1u);
  // Claimed sizes near 4 GiB: the walk must end (a 32-bit position once wrapped
  // back onto the same chunk for ever), on both widths.
  for (uint32_t size : {0xfffffff8u, 0xfffffff7u, 0xffffffffu, 0xfffffff0u}) {
    const std::string huge = "RIFF" + le(12, 4) + "WAVEjunk" + le(size, 4);
    EXPECT_FALSE(decode_wav(huge, a, error)) << size;
    EXPECT_FALSE(decode_wav(huge + std::string(8, 'x'), a, error)) << size;
  }
}

}  // namespace
}  // namespace fulgora_play
