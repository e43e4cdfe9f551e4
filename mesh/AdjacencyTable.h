// AdjacencyTable: one list of int32 indices per vertex, stored flat.
//
// The list of vertex v is items[offsets[v] .. offsets[v + 1]). A built table
// over n vertices has n + 1 offsets, the first 0, never decreasing, the last
// items.size(); a table that is not built has neither offsets nor items.
// Two arrays instead of a vector per vertex: a table of a million-vertex scan
// is two allocations instead of a million, and its lists lie in vertex order
// in one block of memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

class AdjacencyTable {
 public:
  // A read-only view of one list; valid while the table is unchanged.
  class List {
   public:
    List(const int32_t* first, const int32_t* last) : first_(first), last_(last) {}
    const int32_t* begin() const { return first_; }
    const int32_t* end() const { return last_; }
    size_t size() const { return size_t(last_ - first_); }
    bool empty() const { return first_ == last_; }
    int32_t operator[](size_t k) const { return first_[k]; }
    std::vector<int32_t> to_vector() const { return std::vector<int32_t>(first_, last_); }

   private:
    const int32_t* first_;
    const int32_t* last_;
  };

  std::vector<size_t> offsets;  // n + 1 entries when built, else none
  std::vector<int32_t> items;   // every list, in vertex order

  // Number of lists: the vertex count the table was built for, 0 when not built.
  size_t size() const { return offsets.empty() ? 0 : offsets.size() - 1; }
  bool empty() const { return offsets.empty(); }
  // List of vertex v (v < size()).
  List operator[](size_t v) const {
    return List(items.data() + offsets[v], items.data() + offsets[v + 1]);
  }
  // Length of list v without forming it (v < size()).
  size_t count(size_t v) const { return offsets[v + 1] - offsets[v]; }

  // Makes the table unbuilt and returns its memory.
  void release() {
    std::vector<size_t>().swap(offsets);
    std::vector<int32_t>().swap(items);
  }
  // The table holding `lists` in order (for callers that build lists by hand).
  static AdjacencyTable from_lists(const std::vector<std::vector<int32_t>>& lists);
};

inline bool operator==(const AdjacencyTable& a, const AdjacencyTable& b) {
  return a.offsets == b.offsets && a.items == b.items;
}
inline bool operator!=(const AdjacencyTable& a, const AdjacencyTable& b) { return !(a == b); }
