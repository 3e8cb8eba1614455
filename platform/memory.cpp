// How the C library hands large blocks back to the system.
#include "platform/platform.h"

#include <cstdint>

#if defined(__GLIBC__)
#include <malloc.h>
#endif
#if defined(__linux__)
#include <sys/mman.h>
#include <unistd.h>
#endif

void ReturnLargeBlocksToSystem() {
#if defined(__GLIBC__)
  // glibc raises its threshold for mapping a block of its own each time such a block is freed;
  // the pictures loaded one after another then end up in the heap, whose freed middle is never
  // given back. A fixed threshold keeps every large block (decoded pictures, canvases, texture
  // storage) in a mapping of its own, returned the moment it is freed.
  mallopt(M_MMAP_THRESHOLD, 256 * 1024);
  // Fixing that threshold also fixes the one for trimming the top of the heap at 128 KiB: the
  // driver's per-frame working blocks (64 KiB each) were then given back at the end of every
  // frame and faulted in afresh at the next, a thousand page faults a frame. Free space up to
  // this much stays at the top of the heap for the next frame.
  mallopt(M_TRIM_THRESHOLD, 8 * 1024 * 1024);
#endif
}

void TrimFreeMemory() {
#if defined(__GLIBC__)
  // The small blocks the loading freed lie all through the heap; their pages go back now.
  malloc_trim(0);
#endif
}

void DropCleanPages(const void* data, size_t size) {
#if defined(__linux__)
  // Whole pages inside the block only. The block is read-only data of the program file: the
  // pages are read from the file again should the block ever be touched again.
  const uintptr_t page = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
  const uintptr_t begin = (reinterpret_cast<uintptr_t>(data) + page - 1) / page * page;
  const uintptr_t end = (reinterpret_cast<uintptr_t>(data) + size) / page * page;
  if (data && page > 0 && end > begin) madvise(reinterpret_cast<void*>(begin), end - begin, MADV_DONTNEED);
#else
  (void)data;
  (void)size;
#endif
}
