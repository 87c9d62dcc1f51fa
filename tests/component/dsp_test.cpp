#include "host/dsp.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "component/dsp_fulgora.h"
#include "tests/support/fake_clock.h"
#include "tests/support/fake_console.h"
#include "tests/support/fake_port.h"
#include "tests/support/settings_of.h"
#include "tests/support/signals.h"
#include "tests/support/wait.h"

namespace fulgora {
namespace {

using fulgora_test::fake_port;
using fulgora_test::fake_services;
using fulgora_test::settings_of;
using fulgora_test::sine;

// Owns its chunks; the list operations the component never calls end the test.
class chunk_list : public dsp_chunk_list {
 public:
  void remove_mask(const pfc::bit_array&) override { std::abort(); }
  audio_chunk* insert_item(size_t, size_t) override { std::abort(); }
  size_t get_count() const override { return chunks.size(); }
  audio_chunk* get_item(size_t i) const override { return chunks[i].get(); }
  void remove_by_idx(size_t i) override { chunks.erase(chunks.begin() + static_cast<long>(i)); }
  void add(const std::vector<audio_sample>& s, size_t frames, unsigned channels, unsigned rate) {
    chunks.push_back(std::make_unique<audio_chunk_impl>(s.data(), frames, channels, rate));
  }
  std::vector<std::unique_ptr<audio_chunk_impl>> chunks;
};

// Records what the run loop does; need_track_change_mark is switchable.
class probe_dsp : public dsp_impl_base_t<dsp_v2> {
 public:
  std::vector<std::string> calls;
  bool wants_marks = false;
  bool refuse_second = false;
  void flush() override {}
  double get_latency() override { return 0; }
  bool need_track_change_mark() override { return wants_marks; }
  dsp_chunk_list* list_field() const { return m_list; }
  metadb_handle* track_field() const { return m_cur_file; }

 protected:
  void on_endoftrack(abort_callback&) override { calls.push_back("endoftrack"); }
  void on_endofplayback(abort_callback&) override { calls.push_back("endofplayback"); }
  bool on_chunk(audio_chunk* c, abort_callback&) override {
    calls.push_back("chunk " + std::to_string(c->get_channels()));
    if (c->get_channels() == 99) throw std::runtime_error("from the chunk");
    return !(refuse_second && calls.size() == 2);
  }
};

TEST(run_loop, empty_chunks_removed_others_offered_in_order) {
  service_ptr_t<probe_dsp> p;
  p.set(new service_impl_t<probe_dsp>());
  chunk_list list;
  const std::vector<audio_sample> s(12, 0.25f);
  list.add(s, 0, 2, 44100);  // no frames
  list.add(s, 6, 2, 0);      // no rate
  list.add(s, 6, 2, 44100);
  list.add(s, 6, 0, 44100);  // no channels
  list.add(s, 2, 6, 44100);
  list.add(s, 12, 1, 44100);
  p->run(&list, metadb_handle_ptr(), 0);
  EXPECT_EQ(p->calls, (std::vector<std::string>{"chunk 2", "chunk 6", "chunk 1"}));
  ASSERT_EQ(list.chunks.size(), 3u);
  EXPECT_EQ(list.chunks[0]->get_channels(), 2u);
  EXPECT_EQ(list.chunks[2]->get_channels(), 1u);

  chunk_list none;
  p->calls.clear();
  p->run(&none, metadb_handle_ptr(), dsp::FLUSH | dsp::END_OF_TRACK);
  EXPECT_EQ(p->calls, std::vector<std::string>{"endofplayback"}) << "flush wins";
  p->calls.clear();
  p->run(&none, metadb_handle_ptr(), dsp::END_OF_TRACK);
  EXPECT_TRUE(p->calls.empty()) << "no track-change mark wanted";
  p->wants_marks = true;
  p->run(&none, metadb_handle_ptr(), dsp::END_OF_TRACK | 8);
  EXPECT_EQ(p->calls, std::vector<std::string>{"endoftrack"});
}

TEST(run_loop, refused_chunk_removed_and_an_exception_stops_at_the_boundary) {
  service_ptr_t<probe_dsp> p;
  p.set(new service_impl_t<probe_dsp>());
  p->refuse_second = true;
  chunk_list list;
  const std::vector<audio_sample> s(12, 0.25f);
  list.add(s, 6, 2, 44100);
  list.add(s, 4, 3, 44100);
  list.add(s, 3, 4, 44100);
  abort_callback_dummy never;
  p->run_v2(&list, metadb_handle_ptr(), 0, never);
  EXPECT_EQ(list.chunks.size(), 2u);
  EXPECT_EQ(list.chunks[1]->get_channels(), 4u) << "the next chunk was still visited";
  EXPECT_EQ(p->list_field(), nullptr);
  // An exception ends the loop there, the rest pass as they are and the
  // fields are restored. On Windows it never reaches the player (another
  // compiler's program); elsewhere it passes on, as the host's own must.
  const std::vector<audio_sample> wide(99, 0.5f);
  list.add(wide, 1, 99, 44100);
  list.add(s, 0, 2, 44100);
  p->calls.clear();
  p->refuse_second = false;
#ifdef _WIN32
  p->run_v2(&list, metadb_handle_ptr(), dsp::FLUSH, never);
#else
  EXPECT_THROW(p->run_v2(&list, metadb_handle_ptr(), dsp::FLUSH, never), std::runtime_error);
#endif
  EXPECT_EQ(p->calls, (std::vector<std::string>{"chunk 2", "chunk 4", "chunk 99"}));
  EXPECT_EQ(list.chunks.size(), 4u) << "nothing removed after the exception";
  EXPECT_EQ(p->list_field(), nullptr);
  EXPECT_EQ(p->track_field(), nullptr);
}

// In both modes, across a track's end and a FLUSH. In sync mode with nothing
// played, the played stream is never read and only the closing command goes
// out.
TEST(dsp_fulgora, passes_audio_bit_identical) {
  for (const std::string mode : {"", "SYNC=1\n"}) {
    const settings_record file = settings_of("[SETTING]\nPORTNAME=COM3\n" + mode);
    fake_services host;
    fulgora_test::fake_clock clock;
    clock.answering = false;
    host.clock = &clock;
    fake_port port;
    port.answer_ok();
    service_ptr_t<dsp> d;
    d.set(new service_impl_t<dsp_fulgora>(file, port));
    const unsigned flags[] = {0u, unsigned(dsp::END_OF_TRACK), unsigned(dsp::FLUSH), 0u};
    const unsigned sizes[] = {4096u, 1u, 4097u, 512u};
    for (int i = 0; i < 4; ++i) {
      const unsigned frames = sizes[i];
      chunk_list list;
      const auto stereo = sine(440, 0.9, frames, 2, 44100);
      const auto six = sine(440, 0.9, frames, 6, 48000);
      list.add(stereo, frames, 2, 44100);
      list.add(six, frames, 6, 48000);
      d->run(&list, metadb_handle_ptr(), flags[i]);
      d->flush();
      ASSERT_EQ(list.chunks.size(), 2u) << mode;
      EXPECT_EQ(std::memcmp(list.chunks[0]->get_data(), stereo.data(),
                            stereo.size() * sizeof(audio_sample)),
                0)
          << mode << frames;
      EXPECT_EQ(
          std::memcmp(list.chunks[1]->get_data(), six.data(), six.size() * sizeof(audio_sample)), 0)
          << mode << frames;
    }
    d.release();  // last reference: stops the engine on this thread
    EXPECT_EQ(port.writes_now().back(), "LD\r\n");
    // No "sync off" line: the mode asked for ran.
    EXPECT_EQ(host.lines(), (std::vector<std::string>{"successful com open.",
                                                      "audio: 6 channels, only stereo is measured.",
                                                      "successful com close."}))
        << mode;
    if (mode.empty()) continue;
    EXPECT_EQ(clock.chunk_calls, 0) << "nothing played, nothing read";
    EXPECT_EQ(port.writes_now().size(), 1u) << "nothing played, nothing sent";
  }
}

}  // namespace
}  // namespace fulgora
