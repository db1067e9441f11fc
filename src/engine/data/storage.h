// Storage sized at run time: a matrix whose rows read as m[r][c], and a zeroed array aligned
// for the fit's vector kernels.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <memory>
#include <new>
#include <span>
#include <type_traits>
#include <vector>

namespace ferolan {

// rows × cols entries, row after row, each row `pitch` entries apart (pitch >= cols).
template <typename T>
class RowMatrix {
 public:
  RowMatrix() = default;

  // Room for rows × cols with rows at least min_pitch apart; the entries that were there keep
  // their values, new ones are 0.
  void resize(int rows, int cols, int min_pitch = 0) {
    rows = std::max(rows, 0);
    cols = std::max(cols, 0);
    const int pitch = std::max(cols, min_pitch);
    if (rows == rows_ && cols == cols_ && pitch == pitch_) return;
    std::vector<T> next(static_cast<size_t>(rows) * static_cast<size_t>(pitch), T{});
    const int keep_rows = std::min(rows, rows_), keep_cols = std::min(cols, cols_);
    for (int r = 0; r < keep_rows; ++r)
      std::copy_n(data_.begin() + static_cast<std::ptrdiff_t>(r) * pitch_, keep_cols,
                  next.begin() + static_cast<std::ptrdiff_t>(r) * pitch);
    data_ = std::move(next);
    rows_ = rows;
    cols_ = cols;
    pitch_ = pitch;
  }

  std::span<T> operator[](int r) { return {data_.data() + offset(r), static_cast<size_t>(cols_)}; }
  std::span<const T> operator[](int r) const {
    return {data_.data() + offset(r), static_cast<size_t>(cols_)};
  }

  int rows() const { return rows_; }
  int cols() const { return cols_; }
  int pitch() const { return pitch_; }
  T* data() { return data_.data(); }
  const T* data() const { return data_.data(); }

  bool operator==(const RowMatrix&) const = default;

 private:
  size_t offset(int r) const { return static_cast<size_t>(r) * static_cast<size_t>(pitch_); }

  int rows_ = 0, cols_ = 0, pitch_ = 0;
  std::vector<T> data_;
};

// n zeroed entries on a 64-byte boundary (a cache line, the widest vector); the fit's scratch.
template <typename T>
class AlignedArray {
  static_assert(std::is_trivially_copyable_v<T>);
  static constexpr std::align_val_t kAlign{64};

 public:
  AlignedArray() = default;
  AlignedArray(const AlignedArray& o) { copy_from(o); }
  AlignedArray& operator=(const AlignedArray& o) {
    if (this != &o) copy_from(o);
    return *this;
  }
  AlignedArray(AlignedArray&&) noexcept = default;
  AlignedArray& operator=(AlignedArray&&) noexcept = default;

  // n entries, all 0 (what was there is dropped).
  void reset(size_t n) {
    p_.reset();
    n_ = 0;
    if (n == 0) return;
    p_.reset(static_cast<T*>(::operator new(n * sizeof(T), kAlign)));
    std::memset(static_cast<void*>(p_.get()), 0, n * sizeof(T));
    n_ = n;
  }

  T* data() { return p_.get(); }
  const T* data() const { return p_.get(); }
  size_t size() const { return n_; }
  T& operator[](size_t i) { return p_.get()[i]; }
  const T& operator[](size_t i) const { return p_.get()[i]; }

 private:
  struct Free {
    void operator()(T* p) const { ::operator delete(static_cast<void*>(p), kAlign); }
  };

  void copy_from(const AlignedArray& o) {
    reset(o.n_);
    if (n_ != 0) std::memcpy(static_cast<void*>(p_.get()), o.p_.get(), n_ * sizeof(T));
  }

  std::unique_ptr<T, Free> p_;
  size_t n_ = 0;
};

}  // namespace ferolan
