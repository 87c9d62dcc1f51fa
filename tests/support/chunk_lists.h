// A chunk list of the player holding one chunk, for run calls in tests.
#pragma once

#include "host/dsp.h"

namespace fulgora_test {

class one_chunk_list : public dsp_chunk_list {
public:
  explicit one_chunk_list(audio_chunk* c) : chunk_(c) {}
  size_t get_count() const override { return chunk_ ? 1 : 0; }
  audio_chunk* get_item(size_t) const override { return chunk_; }
  void remove_by_idx(size_t) override { chunk_ = nullptr; }

private:
  audio_chunk* chunk_;
};

}  // namespace fulgora_test
