// How the C library hands large blocks back to the system.
#include "platform/platform.h"

#if defined(__GLIBC__)
#include <malloc.h>
#endif

void ReturnLargeBlocksToSystem() {
#if defined(__GLIBC__)
  // glibc raises its threshold for mapping a block of its own each time such a block is freed;
  // the pictures loaded one after another then end up in the heap, whose freed middle is never
  // given back. A fixed threshold keeps every large block (decoded pictures, canvases, texture
  // storage) in a mapping of its own, returned the moment it is freed.
  mallopt(M_MMAP_THRESHOLD, 256 * 1024);
#endif
}
