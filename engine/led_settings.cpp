#include "engine/led_settings.h"

namespace fulgora {

shaping_params shaping_of(const led_settings& s) {
  shaping_params p;
  p.low = {s.LOW_ENHANCE, s.LOW_RATIO, s.LOW_GANMA, s.LOW_LEDTYPE};
  p.mid = {s.MID_ENHANCE, s.MID_RATIO, s.MID_GANMA, s.MID_LEDTYPE};
  p.high = {s.HI_ENHANCE, s.HI_RATIO, s.HI_GANMA, s.HI_LEDTYPE};
  p.enhancer = s.ENABLE_ENHANCER;
  return p;
}

}  // namespace fulgora
