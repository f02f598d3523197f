// MappingStore: where a reversible mapping lives between runs, shared by the
// processes that anonymize with it.
//
//   auto store = open_mapping_store("mapping.json");            // a file
//   auto store = open_mapping_store("redis://127.0.0.1:6379/chats");
//   MappingDataType entries = store->load();
//   ... anonymize with them, then record what was added:
//   if (!store->commit(added)) { /* another writer came first: refresh() and redo */ }
//
// Backends:
// - memory: the mapping lives in this object only.
// - file: load() takes an exclusive lock on a lock file beside the mapping
//   file (FILE.lock) and holds it until the store is destroyed, so concurrent
//   processes take turns; the file is read under the lock, and commit()
//   replaces it atomically (temporary file, fsync, rename, fsync of the
//   folder), readable by the owner only. Temporary files that a killed
//   writer left behind are removed under the lock. With a key, the file is
//   encrypted with AES-256-GCM; a wrong key or a changed file is refused.
// - Redis: entries are appended to a log on the server; commit() is one Lua
//   script that adds them only when no other writer has taken one of their
//   placeholders or recorded one of their originals, so a placeholder can
//   never be given to two originals, nor an original two placeholders, by
//   two processes. Writers reserve ranges of placeholder numbers
//   (reserve_numbers) so that, working at once, they rarely clash.
//
// Failures (a store that cannot be read, locked or written, a refused
// mapping) throw; the store keeps its last good state. A MappingStore is
// used by one thread at a time.
#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>

#include "tesk_privacy/pii_detector/store/deanonymizer_mapping.h"

namespace tesk_privacy::pii_detector {

// The store could not be reached, locked or written, or its content refused.
class MappingStoreError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class MappingStore {
 public:
  virtual ~MappingStore() = default;
  // Everything the store holds, in its order. For a shared store this also
  // starts the round that commit() ends.
  virtual MappingDataType load() = 0;
  // Adds `added` (entries that were not in what load() returned, in order).
  // False when another writer came first with one of their placeholders or
  // originals: nothing was added, and the caller refreshes and redoes its
  // work.
  virtual bool commit(const MappingDataType& added) = 0;
  // Entries written since the last load() or refresh() that this object has
  // not seen in order; an empty mapping for stores nobody else writes while
  // this one is open. When other writers' entries landed between this
  // object's refresh and its commit, its own committed entries come again
  // after theirs (adding them again changes nothing).
  virtual MappingDataType refresh() { return {}; }
  // Placeholder numbers for this writer alone: for each entity type of
  // `wanted` (type -> how many numbers), the first of that many consecutive
  // numbers above every number given or reserved so far. Numbers left
  // unused go back at this object's next commit() or reservation when
  // nobody reserved after it. Stores that nobody else writes while they are
  // open reserve nothing (an empty answer).
  virtual std::unordered_map<std::string, long long> reserve_numbers(
      const std::unordered_map<std::string, long long>& wanted) {
    (void)wanted;
    return {};
  }
  // A name for messages: the file, or the Redis address without credentials.
  virtual std::string describe() const = 0;
  // True when nobody else writes the store while this object holds it (a
  // locked file, memory): commit() can then wait until the end of a run.
  // False for a store shared while open (Redis): commit each call's entries
  // as they exist, and refresh() before each call.
  virtual bool exclusive() const = 0;
};

struct MappingStoreOptions {
  // 32-byte key for encrypting a mapping file; absent: plain JSON.
  std::optional<std::string> encryption_key;
  // How long load() waits for another process's lock on a mapping file.
  std::chrono::milliseconds lock_timeout{60'000};
  // Redis: time to live of the mapping's keys after each write; 0: none.
  std::chrono::seconds time_to_live{0};
  // Redis: time limit of connecting and of each command.
  std::chrono::milliseconds redis_timeout{10'000};
};

std::unique_ptr<MappingStore> make_memory_mapping_store(MappingDataType initial = {});
std::unique_ptr<MappingStore> make_file_mapping_store(std::string path, MappingStoreOptions options = {});
// `location` is "redis://[:PASSWORD@]HOST:PORT/NAME" or "redis+unix:///PATH/NAME".
std::unique_ptr<MappingStore> make_redis_mapping_store(const std::string& location, MappingStoreOptions options = {});
// A Redis location for the Redis store, anything else a file path.
std::unique_ptr<MappingStore> open_mapping_store(const std::string& location, MappingStoreOptions options = {});

// A key for encrypting mapping files: 64 hexadecimal digits (blanks around
// them ignored), or a file holding them or 32 raw bytes. Throws
// std::invalid_argument, never showing the key.
std::string parse_mapping_key(const std::string& text);
std::string read_mapping_key_file(const std::string& path);

}  // namespace tesk_privacy::pii_detector
