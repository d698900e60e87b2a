// Arrays with explicit bounds, as the product's runtime has them: an index outside
// the bounds raises run-time error 9 ("Subscript out of range"). Elements that are
// records are std::shared_ptr, so copying an array gives a new array whose elements
// refer to the same records; an unset element is nullptr.
#pragma once

#include <cstddef>
#include <deque>
#include <type_traits>
#include <utility>
#include <vector>

#include "core/error.hpp"
#include "core/numeric.hpp"

namespace tbln {

// The number of elements from lower to upper, none when upper < lower. The count is a
// Long: bounds whose count lies beyond one (-2147483648 To 2147483647) raise 6
// ("Overflow") before anything is allocated.
inline std::size_t ElementCount(Long lower, Long upper) {
    return upper >= lower ? static_cast<std::size_t>(AddLong(SubLong(upper, lower), 1)) : 0;
}

template <class T>
class Array {
  public:
    Array() = default;
    Array(Long lower, Long upper) { ReDim(lower, upper); }

    // An array that was never dimensioned has no bounds; reading them raises 9.
    bool IsAllocated() const noexcept { return allocated_; }
    Long Lower() const {
        if (!allocated_) Raise(err::kSubscript);
        return lower_;
    }
    Long Upper() const {
        if (!allocated_) Raise(err::kSubscript);
        return upper_;
    }
    std::size_t size() const noexcept { return items_.size(); }

    // Discards the contents; upper < lower gives an empty, allocated array.
    void ReDim(Long lower, Long upper) {
        const std::size_t count = ElementCount(lower, upper);
        items_.assign(count, T{});
        lower_ = lower;
        upper_ = upper;
        allocated_ = true;
    }
    void Erase() {
        items_.clear();
        allocated_ = false;
        lower_ = 0;
        upper_ = -1;
    }
    // ReDim Preserve: a new upper bound, keeping the elements that remain in range.
    void ReDimPreserve(Long upper) {
        if (!allocated_) Raise(err::kSubscript);
        items_.resize(ElementCount(lower_, upper), T{});
        upper_ = upper;
    }

    T& operator()(Long i) { return items_[Offset(i)]; }
    const T& operator()(Long i) const { return items_[Offset(i)]; }

    auto begin() { return items_.begin(); }
    auto end() { return items_.end(); }
    auto begin() const { return items_.begin(); }
    auto end() const { return items_.end(); }

  private:
    std::size_t Offset(Long i) const {
        if (!allocated_ || i < lower_ || i > upper_) Raise(err::kSubscript);
        return static_cast<std::size_t>(i - lower_);
    }

    bool allocated_ = false;
    Long lower_ = 0;
    Long upper_ = -1;
    // Array<bool> hands out real bool references, which std::vector<bool> cannot.
    std::conditional_t<std::is_same_v<T, bool>, std::deque<bool>, std::vector<T>> items_;
};

template <class T>
class Array2D {
  public:
    Array2D() = default;
    Array2D(Long rowLower, Long rowUpper, Long colLower, Long colUpper) {
        ReDim(rowLower, rowUpper, colLower, colUpper);
    }

    bool IsAllocated() const noexcept { return allocated_; }
    Long RowLower() const { return Bound(rowLower_); }
    Long RowUpper() const { return Bound(rowUpper_); }
    Long ColLower() const { return Bound(colLower_); }
    Long ColUpper() const { return Bound(colUpper_); }

    void ReDim(Long rowLower, Long rowUpper, Long colLower, Long colUpper) {
        const std::size_t rows = ElementCount(rowLower, rowUpper);
        const std::size_t cols = ElementCount(colLower, colUpper);
        items_.assign(rows * cols, T{});
        rowLower_ = rowLower;
        rowUpper_ = rowUpper;
        colLower_ = colLower;
        colUpper_ = colUpper;
        cols_ = cols;
        allocated_ = true;
    }
    void Erase() {
        items_.clear();
        allocated_ = false;
    }

    T& operator()(Long r, Long c) { return items_[Offset(r, c)]; }
    const T& operator()(Long r, Long c) const { return items_[Offset(r, c)]; }

  private:
    Long Bound(Long b) const {
        if (!allocated_) Raise(err::kSubscript);
        return b;
    }
    std::size_t Offset(Long r, Long c) const {
        if (!allocated_ || r < rowLower_ || r > rowUpper_ || c < colLower_ || c > colUpper_) {
            Raise(err::kSubscript);
        }
        return static_cast<std::size_t>(r - rowLower_) * cols_ +
               static_cast<std::size_t>(c - colLower_);
    }

    bool allocated_ = false;
    Long rowLower_ = 0, rowUpper_ = -1, colLower_ = 0, colUpper_ = -1;
    std::size_t cols_ = 0;
    std::vector<T> items_;
};

}  // namespace tbln
