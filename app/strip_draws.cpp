#include "app/strip_draws.h"

StripDraws plan_strip_draws(const std::vector<int32_t>& strips, size_t vertex_count,
                            size_t batch_indices) {
  StripDraws plan;
  size_t in_batch = 0;
  size_t i = 0;
  while (i < strips.size()) {
    const int32_t count = strips[i++];
    if (count < 0 || size_t(count) > strips.size() - i) break;
    bool valid = count > 0;
    for (size_t k = i; k < i + size_t(count) && valid; k++)
      valid = strips[k] >= 0 && size_t(strips[k]) < vertex_count;
    if (valid) {
      plan.counts.push_back(count);
      plan.starts.push_back(i);
      in_batch += size_t(count);
      if (in_batch >= batch_indices) {
        plan.batch_ends.push_back(plan.counts.size());
        in_batch = 0;
      }
    }
    i += size_t(count);
  }
  if (in_batch > 0) plan.batch_ends.push_back(plan.counts.size());
  return plan;
}
