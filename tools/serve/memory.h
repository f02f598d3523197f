// How the service hands memory back to the system. Sessions come and go by
// the thousand; without this, the allocator would keep their memory for
// the next burst. With jemalloc (the tool's allocator unless built without
// it) freed memory decays back within half a second on jemalloc's own
// thread once the threads' caches are handed back; with glibc's allocator,
// release_free_memory() trims its arenas.
#pragma once

namespace tesk_privacy::cli {

// Called once when the service starts.
void tune_allocator_for_service();
// Returns freed memory at once; called after many sessions ended.
void release_free_memory();
// Hands the objects the allocator caches for the calling thread back to the
// shared pool, where they can be returned to the system.
void release_thread_cache();

}  // namespace tesk_privacy::cli
