// ui: X11 UIs through the raw LV2 UI API (no suil).
#include "tools/validate/lv2/lv2_groups.h"

namespace validate::lv2 {

namespace {

void notYet(Check& c) {
  c.skip("UI checks are not written yet");
}

}  // namespace

std::vector<CheckDef> uiChecks() {
  return {{"open/close cycles", notYet, Kind::Resources}};
}

}  // namespace validate::lv2
