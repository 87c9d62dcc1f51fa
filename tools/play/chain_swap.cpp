#include "tools/play/chain_swap.h"

namespace fulgora_play {

bool run_swapping_chain(dsp_entry& entry, const dsp_preset& preset, service_ptr_t<dsp>& instance,
                        dsp_chunk_list* list, int flags) {
  service_ptr_t<dsp> next;
  if (!entry.instantiate(next, preset)) return false;
  // Not recycled, so flushed: the old instance's output ends with this call.
  instance->run(list, metadb_handle_ptr(), flags | dsp::FLUSH);
  instance = next;  // the old instance's last reference goes
  return true;
}

}  // namespace fulgora_play
