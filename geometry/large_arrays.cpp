#include "geometry/large_arrays.h"

#include <cstdint>

#ifdef __linux__
#include <sys/mman.h>
#endif

namespace {

constexpr uintptr_t kLargePage = uintptr_t(2) << 20;  // the x86-64 and arm64 size

}  // namespace

void prefer_large_pages(void* data, size_t bytes) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
  if (!data || bytes < kLargePage) return;
  const uintptr_t begin = (uintptr_t(data) + kLargePage - 1) & ~(kLargePage - 1);
  const uintptr_t end = (uintptr_t(data) + bytes) & ~(kLargePage - 1);
  if (end > begin) madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#else
  (void)data;
  (void)bytes;
#endif
}
