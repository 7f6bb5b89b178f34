#include "platform/allocator.h"

#include <cstdlib>  // defines __GLIBC__ with the GNU C library

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace kx {

void TuneAllocator() {
#if defined(__GLIBC__)
  mallopt(M_MXFAST, 0);
#endif
}

}  // namespace kx
