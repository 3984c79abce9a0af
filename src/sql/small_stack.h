// A stack whose first N entries live inside it, spilling to the heap beyond:
// the tree walks need one entry per open level, and most trees are shallow,
// so most walks allocate nothing. push may throw std::bad_alloc past N.
#pragma once

#include <cstddef>
#include <vector>

template <typename T, size_t N>
class SmallStack {
 public:
  bool empty() const { return size_ == 0; }
  size_t size() const { return size_; }
  void push(const T& v) {
    if (size_ < N)
      inline_[size_] = v;
    else
      spill_.push_back(v);
    size_++;
  }
  T& top() { return size_ <= N ? inline_[size_ - 1] : spill_.back(); }
  void pop() {
    if (size_ > N) spill_.pop_back();
    size_--;
  }

 private:
  T inline_[N];
  std::vector<T> spill_;
  size_t size_ = 0;
};
