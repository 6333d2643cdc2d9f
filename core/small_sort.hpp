// A stable sort for the short sequences of a payload (object keys): insertion sort below a
// small size, which needs no temporary buffer, std::stable_sort above it.
#pragma once

#include <algorithm>
#include <iterator>
#include <utility>

namespace vorn {

inline constexpr std::ptrdiff_t kSmallSortLimit = 24;

template <class It, class Less>
void stable_sort_small(It first, It last, Less less) {
    if (last - first > kSmallSortLimit) {
        std::stable_sort(first, last, less);
        return;
    }
    for (It i = first; i != last; ++i) {
        auto moving = std::move(*i);
        It j = i;
        for (; j != first && less(moving, *std::prev(j)); --j) *j = std::move(*std::prev(j));
        *j = std::move(moving);
    }
}

}  // namespace vorn
