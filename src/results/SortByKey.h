#pragma once
// The record sort of the rankings: keys ascending, items moved with them.
#include <cstdint>
#include <type_traits>
#include <vector>

namespace kestrel {

namespace detail {
template <typename Keys, typename Items, typename Item>
void mergeByKey(int a, int b, Keys& keys, Items& items, std::vector<int32_t>& leftKeys,
                std::vector<Item>& leftItems) {
    if (a >= b) return;
    const int c = (a + b) / 2;
    mergeByKey(a, c, keys, items, leftKeys, leftItems);
    mergeByKey(c + 1, b, keys, items, leftKeys, leftItems);
    const int leftCount = c - a + 1;
    for (int k = 0; k < leftCount; ++k) {
        leftKeys[static_cast<size_t>(k)] = keys[a + k];
        leftItems[static_cast<size_t>(k)] = items[a + k];
    }
    int left = 0;
    int right = c + 1;
    int out = a;
    while (left < leftCount && right <= b) {
        // On equal keys the right half goes first.
        if (leftKeys[static_cast<size_t>(left)] < keys[right]) {
            keys[out] = leftKeys[static_cast<size_t>(left)];
            items[out] = leftItems[static_cast<size_t>(left)];
            ++left;
        } else {
            keys[out] = keys[right];
            items[out] = items[right];
            ++right;
        }
        ++out;
    }
    for (; left < leftCount; ++left, ++out) {
        keys[out] = leftKeys[static_cast<size_t>(left)];
        items[out] = leftItems[static_cast<size_t>(left)];
    }
}
} // namespace detail

// Sorts keys[1..n] ascending and moves items[1..n] with them (index 0 is
// not used). A top-down merge sort in which equal keys do not keep their
// order: of two equal keys the later one comes first after one pass.
template <typename Keys, typename Items> void SortByKey(int n, Keys& keys, Items& items) {
    using Item = std::remove_cvref_t<decltype(items[0])>;
    if (n < 2) return;
    std::vector<int32_t> leftKeys(static_cast<size_t>(n / 2 + 1));
    std::vector<Item> leftItems(static_cast<size_t>(n / 2 + 1));
    detail::mergeByKey(1, n, keys, items, leftKeys, leftItems);
}

} // namespace kestrel
