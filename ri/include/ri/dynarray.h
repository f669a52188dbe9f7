// A growable array for the values of the request being read: it grows, when an
// index at or past its capacity is wanted, to twice that index plus two, and is
// trimmed back when a large scene has been read.
#pragma once
#include <cstddef>
#include <vector>

template <class T>
class DynArray {
public:
    explicit DynArray(size_t initial) : slots_(initial) {}
    // Makes index i valid (growing to 2 x i + 2 slots when needed).
    void reserve_index(size_t i) {
        if (i >= slots_.size()) slots_.resize(2 * i + 2);
    }
    // Reallocates to exactly n slots, keeping the first n, when n is below half
    // the capacity.
    void shrink(size_t n) {
        if (n < slots_.size() / 2) {
            slots_.resize(n);
            slots_.shrink_to_fit();
        }
    }
    size_t capacity() const { return slots_.size(); }
    T &operator[](size_t i) { return slots_[i]; }
    const T &operator[](size_t i) const { return slots_[i]; }
    T *data() { return slots_.data(); }
    // Returns the memory (program end).
    void release() { std::vector<T>().swap(slots_); }
private:
    std::vector<T> slots_;
};
