#include "registration/sampler.h"

namespace {

Lcg32 g_sampler;

}  // namespace

Lcg32& sample_generator() { return g_sampler; }

uint32_t sample_generator_state() { return g_sampler.state; }

void set_sample_generator_state(uint32_t state) { g_sampler.state = state; }
