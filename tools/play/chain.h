// The player's DSP chain helper as the stand-in models it, for a chain of
// our DSP and, with --after, one of the stand-in's own after it:
// - at a track end (END_OF_TRACK without FLUSH), every DSP before the last
//   one that asks for track-change marks gets FLUSH as well, while playback
//   and its clock go on;
// - a new configuration takes effect in the next call: when it has the same
//   DSPs in the same order and at most one preset changed, the unchanged
//   instances are kept; every other one is made anew while the old one
//   lives, the old chain runs that call once more (FLUSH for each instance
//   that is not kept), then the old instances go.
//
// Main thread of the stand-in, where it runs the DSP.
#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "host/dsp.h"
#include "tools/play/own_dsp.h"
#include "tools/play/player_host.h"

namespace fulgora_play {

// One place of a chain's configuration: the DSP, and its preset's version
// (a new version is a changed preset).
struct chain_slot {
  std::string name;  // "ours" or an own DSP's name
  int version = 0;
  bool operator==(const chain_slot& o) const { return name == o.name && version == o.version; }
};

// For each place of the old configuration, whether the new one keeps its
// instance.
std::vector<bool> kept_on_rebuild(const std::vector<chain_slot>& old_config,
                                  const std::vector<chain_slot>& new_config);

// The flags each DSP gets in one call of the chain: wants_marks per DSP in
// chain order; kept per DSP on a rebuild's last run of the old chain, empty
// otherwise.
std::vector<int> chain_flags(const std::vector<bool>& wants_marks, const std::vector<bool>& kept,
                             int flags);

class player_chain {
 public:
  // ours is the caller's reference to our DSP, which a rebuild replaces;
  // after is an own DSP's name or empty.
  player_chain(dsp_entry& entry, const dsp_preset& preset, service_ptr_t<dsp>& ours,
               const std::string& after);
  // A new configuration from the next call on: ours changed (its instance
  // replaced, as --swap-at), or the DSP after ours changed (ours kept).
  void reconfigure(bool ours_changed);
  // One call: ours runs on list, the one after it on what ours left; out is
  // what reaches the output. False, with nothing run, when the entry makes
  // no DSP for a new configuration (the player treats that as fatal).
  bool run(chunk_list& list, int flags, std::vector<const audio_chunk*>& out);
  // A seek: every DSP flushed.
  void flush();
  // ours got FLUSH in the last call.
  bool ours_flushed() const { return ours_flushed_; }

 private:
  struct link {
    link(chain_slot s, std::unique_ptr<own_dsp> o) : slot(std::move(s)), own(std::move(o)) {}
    chain_slot slot;
    std::unique_ptr<own_dsp> own;  // null for ours
  };
  bool wants_marks(const link& l) const;
  void run_links(std::vector<link>& links, const std::vector<int>& flags, chunk_list& list,
                 std::vector<const audio_chunk*>& out);
  bool rebuild(chunk_list& list, int flags, std::vector<const audio_chunk*>& out);

  dsp_entry& entry_;
  const dsp_preset& preset_;
  service_ptr_t<dsp>& ours_;
  service_ptr_t<dsp> next_ours_;
  std::vector<link> links_;
  std::vector<chain_slot> pending_;
  bool changed_ = false, ours_flushed_ = false;
  std::vector<const audio_chunk*> flow_;
};

}  // namespace fulgora_play
