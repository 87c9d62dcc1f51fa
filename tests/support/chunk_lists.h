// Chunk lists of the player, for run calls in tests.
#pragma once

#include <cstdlib>

#include "host/dsp.h"

namespace fulgora_test {

// The component only ever removes single chunks: the list operations it
// never calls end the test program.
class chunk_list_base : public dsp_chunk_list {
public:
  void remove_mask(const pfc::bit_array&) override { std::abort(); }
  audio_chunk* insert_item(size_t, size_t) override { std::abort(); }
};

class one_chunk_list : public chunk_list_base {
public:
  explicit one_chunk_list(audio_chunk* c) : chunk_(c) {}
  size_t get_count() const override { return chunk_ ? 1 : 0; }
  audio_chunk* get_item(size_t) const override { return chunk_; }
  void remove_by_idx(size_t) override { chunk_ = nullptr; }

private:
  audio_chunk* chunk_;
};

}  // namespace fulgora_test
