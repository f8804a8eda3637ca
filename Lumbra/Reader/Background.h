#pragma once

#include "LumbraCore/Worker.h"

#include <QtGlobal>
#if defined(__GLIBC__)
#include <malloc.h>
#endif
#include <unistd.h>

// The machine's memory in bytes; 0 where it cannot be told.
inline qint64 physicalMemory()
{
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGESIZE);
    return pages > 0 && pageSize > 0 ? qint64(pages) * pageSize : 0;
}

// Large lists are hundreds of MB of small blocks, made and freed on workers. By default
// glibc grows and trims its heaps 128 KB at a time and maps every block over 128 KB on its
// own; each such call takes the process's memory-map lock, and on a busy machine the
// window's thread waits for it (up to 200 ms during a 100,000-item load on two cores).
// Heaps grow 64 MB at a time and keep up to 256 MB free instead. And two heaps, not one
// per thread up to eight per core: a list's items are made on every decoding worker, and
// each heap kept the pages freed between its own (100,000 items held 401 MB with them,
// 347-359 MB with two; one heap saved no more). Call first thing.
inline void growMemoryInLargeSteps()
{
#if defined(__GLIBC__)
    mallopt(M_TOP_PAD, 64 << 20);
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    mallopt(M_TRIM_THRESHOLD, 256 << 20);
    mallopt(M_ARENA_MAX, 2);
#endif
}

// Gives back to the system the pages a long list's loading freed between the items it
// kept: up to 256 MB stay in the heaps otherwise (see above). It holds each heap's lock
// while it runs, so call it on a worker.
inline void releaseFreedMemory()
{
#if defined(__GLIBC__)
    malloc_trim(0);
#endif
}
