#include "tools/play/chain.h"

namespace fulgora_play {

std::vector<bool> kept_on_rebuild(const std::vector<chain_slot>& old_config,
                                  const std::vector<chain_slot>& new_config) {
  std::vector<bool> kept(old_config.size(), false);
  if (old_config.size() != new_config.size()) return kept;
  size_t changed = 0;
  for (size_t i = 0; i < old_config.size(); ++i) {
    if (old_config[i].name != new_config[i].name) return kept;
    changed += old_config[i].version != new_config[i].version;
  }
  if (changed > 1) return kept;
  for (size_t i = 0; i < old_config.size(); ++i) kept[i] = old_config[i] == new_config[i];
  return kept;
}

std::vector<int> chain_flags(const std::vector<bool>& wants_marks, const std::vector<bool>& kept,
                             int flags) {
  // The last DSP that asks for marks; those before it are flushed so that
  // it sees the track's last samples at END_OF_TRACK.
  size_t mark = 0;
  if ((flags & dsp::END_OF_TRACK) && !(flags & dsp::FLUSH))
    for (size_t i = 0; i < wants_marks.size(); ++i)
      if (wants_marks[i]) mark = i + 1;
  std::vector<int> out(wants_marks.size(), flags);
  for (size_t i = 0; i < out.size(); ++i)
    if (i + 1 < mark || (!kept.empty() && !kept[i])) out[i] |= dsp::FLUSH;
  return out;
}

player_chain::player_chain(dsp_entry& entry, const dsp_preset& preset, service_ptr_t<dsp>& ours,
                           const std::string& after)
    : entry_(entry), preset_(preset), ours_(ours) {
  links_.emplace_back(chain_slot{"ours", 0}, nullptr);
  if (!after.empty()) links_.emplace_back(chain_slot{after, 0}, make_own_dsp(after));
}

void player_chain::reconfigure(bool ours_changed) {
  if (!changed_)
    for (const link& l : links_) pending_.push_back(l.slot);
  changed_ = true;
  for (chain_slot& s : pending_)
    if ((s.name == "ours") == ours_changed) ++s.version;
}

bool player_chain::wants_marks(const link& l) const {
  return l.own ? l.own->wants_marks() : ours_->need_track_change_mark();
}

void player_chain::run_links(std::vector<link>& links, const std::vector<int>& flags,
                             chunk_list& list, std::vector<const audio_chunk*>& out) {
  for (size_t i = 0; i < links.size(); ++i) {
    if (!links[i].own) {
      ours_->run(&list, metadb_handle_ptr(), flags[i]);
      ours_flushed_ = (flags[i] & dsp::FLUSH) != 0;
      out.clear();
      for (size_t k = 0; k < list.get_count(); ++k) out.push_back(list.get_item(k));
    } else {
      links[i].own->run(out, flags[i], flow_);
      out.swap(flow_);
    }
  }
}

bool player_chain::run(chunk_list& list, int flags, std::vector<const audio_chunk*>& out) {
  if (changed_) return rebuild(list, flags, out);
  std::vector<bool> marks;
  for (const link& l : links_) marks.push_back(wants_marks(l));
  run_links(links_, chain_flags(marks, {}, flags), list, out);
  return true;
}

bool player_chain::rebuild(chunk_list& list, int flags, std::vector<const audio_chunk*>& out) {
  std::vector<chain_slot> old_config;
  std::vector<bool> marks;
  for (const link& l : links_) {
    old_config.push_back(l.slot);
    marks.push_back(wants_marks(l));
  }
  const std::vector<bool> kept = kept_on_rebuild(old_config, pending_);
  // The new chain's instances are made while the old ones live; a kept
  // one moves over after the old chain's last run.
  std::vector<link> next;
  for (size_t i = 0; i < pending_.size(); ++i) {
    next.emplace_back(pending_[i], nullptr);
    if (kept[i]) continue;
    if (pending_[i].name != "ours")
      next.back().own = make_own_dsp(pending_[i].name);
    else if (!entry_.instantiate(next_ours_, preset_))
      return false;
  }
  run_links(links_, chain_flags(marks, kept, flags), list, out);
  for (size_t i = 0; i < links_.size(); ++i)
    if (kept[i] && links_[i].own) next[i].own = std::move(links_[i].own);
  if (next_ours_.get()) {
    ours_ = next_ours_;  // the old instance's last reference goes
    next_ours_.release();
  }
  links_.swap(next);
  pending_.clear();
  changed_ = false;
  return true;
}

void player_chain::flush() {
  for (link& l : links_) {
    if (l.own)
      l.own->flush();
    else
      ours_->flush();
  }
}

}  // namespace fulgora_play
