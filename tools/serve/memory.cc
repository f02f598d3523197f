#include "serve/memory.h"

#include <malloc.h>
#include <sys/types.h>

#include <string>

#ifdef TESK_WITH_JEMALLOC
#include <jemalloc/jemalloc.h>
#endif

namespace tesk_privacy::cli {

#ifdef TESK_WITH_JEMALLOC

void tune_allocator_for_service() {
  ssize_t dirty = 500, muzzy = 0;  // milliseconds; jemalloc's default keeps dirty pages for ten seconds
  ::mallctl("arenas.dirty_decay_ms", nullptr, nullptr, &dirty, sizeof dirty);  // arenas made from now on
  ::mallctl("arenas.muzzy_decay_ms", nullptr, nullptr, &muzzy, sizeof muzzy);
  unsigned arenas = 0;
  size_t size = sizeof arenas;
  ::mallctl("arenas.narenas", &arenas, &size, nullptr, 0);
  for (unsigned i = 0; i < arenas; ++i) {  // and those already there (unused ones refuse)
    const std::string arena = "arena." + std::to_string(i);
    ::mallctl((arena + ".dirty_decay_ms").c_str(), nullptr, nullptr, &dirty, sizeof dirty);
    ::mallctl((arena + ".muzzy_decay_ms").c_str(), nullptr, nullptr, &muzzy, sizeof muzzy);
  }
  bool background = true;  // decay runs even when no request allocates
  ::mallctl("background_thread", nullptr, nullptr, &background, sizeof background);
}

void release_free_memory() {
  ::mallctl(("arena." + std::to_string(MALLCTL_ARENAS_ALL) + ".purge").c_str(), nullptr, nullptr, nullptr, 0);
}

void release_thread_cache() { ::mallctl("thread.tcache.flush", nullptr, nullptr, nullptr, 0); }

#else

void tune_allocator_for_service() {}

void release_thread_cache() {}

void release_free_memory() { ::malloc_trim(0); }

#endif

}  // namespace tesk_privacy::cli
