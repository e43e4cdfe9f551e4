// Arrays of many megabytes in fresh memory (a million-vertex scan's
// positions, tables and derived values).
//
// The system hands a program fresh memory one small page at a time, each at
// its first touch, and on a large array those faults cost more than filling
// it. The functions here take the array's memory fresh when it must grow and
// advise the system, before anything touches it, to back it with large
// pages: one fault per large page instead of hundreds. Only the speed
// depends on it; contents and sizes are those of the plain vector call.
#pragma once

#include <cstddef>
#include <iterator>
#include <vector>

// Advises large pages for the whole large pages inside [data, data + bytes)
// (the block's ends keep small pages, so no memory outside it is taken);
// where the system has no such advice, does nothing.
void prefer_large_pages(void* data, size_t bytes);

// v.reserve(n), with any new memory advised for large pages before the
// elements are moved into it.
template <typename T>
void reserve_large(std::vector<T>& v, size_t n) {
  if (v.capacity() >= n) return;
  std::vector<T> fresh;
  fresh.reserve(n);
  prefer_large_pages(fresh.data(), n * sizeof(T));
  fresh.insert(fresh.end(), std::make_move_iterator(v.begin()), std::make_move_iterator(v.end()));
  v.swap(fresh);
}

// v.assign(n, value), its memory taken fresh (and advised) when v cannot
// hold n elements.
template <typename T>
void assign_large(std::vector<T>& v, size_t n, const T& value = T()) {
  if (v.capacity() < n) {
    std::vector<T>().swap(v);
    reserve_large(v, n);
  }
  v.assign(n, value);
}

// v.resize(n), its memory taken fresh (and advised) when v cannot hold n
// elements; the first v.size() elements are kept. Grows the capacity at
// least twofold, as resize does, so growing step by step stays linear.
template <typename T>
void resize_large(std::vector<T>& v, size_t n) {
  if (v.capacity() < n) reserve_large(v, n < 2 * v.capacity() ? 2 * v.capacity() : n);
  v.resize(n);
}
