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
// Heaps grow 64 MB at a time and keep up to 256 MB free instead. Call first thing.
inline void growMemoryInLargeSteps()
{
#if defined(__GLIBC__)
    mallopt(M_TOP_PAD, 64 << 20);
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    mallopt(M_TRIM_THRESHOLD, 256 << 20);
#endif
}
