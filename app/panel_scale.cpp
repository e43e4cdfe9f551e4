#include "app/panel_scale.h"

#include <cmath>
#include <cstdlib>

namespace {

const float kMinSetting = 0.5f, kMaxScale = 4.0f;
// The resolution that scale 1 was designed for.
const double kBaseDpi = 96.0;

}  // namespace

float choose_panel_scale(const char* setting, double dpi) {
  if (setting && *setting) {
    char* end = nullptr;
    const double value = std::strtod(setting, &end);
    if (*end == '\0' && value >= kMinSetting && value <= kMaxScale) return float(value);
  }
  if (!(dpi > kBaseDpi)) return 1.0f;
  const double quarters = std::round(4.0 * dpi / kBaseDpi) / 4.0;
  return float(std::fmin(kMaxScale, quarters));  // at least 1: dpi > 96 here
}
