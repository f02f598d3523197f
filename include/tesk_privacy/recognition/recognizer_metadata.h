// RecognizerMetadata: the metadata a detection carries (which recognizer
// produced it, whether its score was already raised from context), a map
// from key to a string, bool, integer or float.
//
// Every result of one recognizer call carries the same metadata, and texts
// yield tens of thousands of results, so copies share one map: copying costs
// a reference count, and a copy is made only when a shared map is changed.
//
//   RecognizerMetadata md{{"recognizer_name", std::string("KTPRecognizer")}};
//   RecognizerMetadata copy = md;   // shares md's map
//   copy.emplace("is_score_enhanced_by_context", true);   // copy now has its own
//
// Reading is as for a const std::map. Objects are not safe to change while
// another thread reads the same object; copies may be used freely on
// different threads.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <variant>

namespace tesk_privacy::recognition {

class RecognizerMetadata {
 public:
  using Value = std::variant<std::string, bool, int64_t, double>;
  using Map = std::map<std::string, Value>;
  using value_type = Map::value_type;
  using const_iterator = Map::const_iterator;
  using iterator = Map::const_iterator;

  RecognizerMetadata() = default;
  RecognizerMetadata(std::initializer_list<value_type> entries)
      : map_(entries.size() == 0 ? nullptr : std::make_shared<Map>(entries)) {}
  RecognizerMetadata(Map map)  // NOLINT: a map converts implicitly
      : map_(map.empty() ? nullptr : std::make_shared<Map>(std::move(map))) {}

  const Map& map() const { return map_ ? *map_ : empty_map(); }
  const_iterator begin() const { return map().begin(); }
  const_iterator end() const { return map().end(); }
  const_iterator find(const std::string& key) const { return map().find(key); }
  const Value& at(const std::string& key) const { return map().at(key); }
  bool contains(const std::string& key) const { return map().contains(key); }
  size_t size() const { return map().size(); }
  bool empty() const { return map().empty(); }

  // Adds `key` unless present; returns whether it was added.
  template <typename V>
  bool emplace(const std::string& key, V&& value) {
    if (contains(key)) return false;
    own().emplace(key, std::forward<V>(value));
    return true;
  }
  template <typename V>
  bool try_emplace(const std::string& key, V&& value) {
    return emplace(key, std::forward<V>(value));
  }
  template <typename V>
  void insert_or_assign(const std::string& key, V&& value) {
    own().insert_or_assign(key, std::forward<V>(value));
  }
  size_t erase(const std::string& key) { return contains(key) ? own().erase(key) : 0; }

  bool operator==(const RecognizerMetadata& other) const { return map_ == other.map_ || map() == other.map(); }

 private:
  static const Map& empty_map() {
    static const Map kEmpty;
    return kEmpty;
  }
  // The map, copied first when another object shares it.
  Map& own() {
    if (!map_ || map_.use_count() > 1) map_ = std::make_shared<Map>(map());
    return *map_;
  }

  std::shared_ptr<Map> map_;  // null when empty; never changed while shared
};

}  // namespace tesk_privacy::recognition
