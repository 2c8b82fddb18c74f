#pragma once
// A map from configuration id to value, kept as a vector sorted by id. The
// block holds a few dozen entries that are filled once and then only looked
// up, which a sorted vector does with a fraction of the code a tree needs
// (the stub ships in every installer).
#include <algorithm>
#include <cstdint>
#include <utility>
#include <vector>

namespace plimo {

template <typename Value>
class IdMap {
 public:
  using Entry = std::pair<std::int32_t, Value>;
  using const_iterator = typename std::vector<Entry>::const_iterator;
  using iterator = typename std::vector<Entry>::iterator;

  // The value of id, inserted empty when absent (as std::map's operator[]).
  Value& operator[](std::int32_t id) {
    iterator at = lowerBound(id);
    if (at == entries_.end() || at->first != id) at = entries_.insert(at, Entry(id, Value()));
    return at->second;
  }

  const_iterator find(std::int32_t id) const {
    const_iterator at = std::lower_bound(entries_.begin(), entries_.end(), id, lessId);
    return at != entries_.end() && at->first == id ? at : entries_.end();
  }

  std::size_t count(std::int32_t id) const { return find(id) == end() ? 0 : 1; }

  const_iterator begin() const { return entries_.begin(); }
  const_iterator end() const { return entries_.end(); }
  bool empty() const { return entries_.empty(); }
  std::size_t size() const { return entries_.size(); }
  void clear() { entries_.clear(); }

 private:
  static bool lessId(const Entry& entry, std::int32_t id) { return entry.first < id; }
  iterator lowerBound(std::int32_t id) { return std::lower_bound(entries_.begin(), entries_.end(), id, lessId); }

  std::vector<Entry> entries_;
};

}  // namespace plimo
