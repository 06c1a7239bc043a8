#pragma once

#include <algorithm>
#include <cstddef>
#include <iterator>
#include <set>
#include <vector>

namespace k7 {

// Moves the elements at `positions` to `destination`, a position in the list before the move,
// keeping their order: the semantics of dragging rows to a gap between two rows. Positions past
// the end are ignored and a destination past the end means the end.
template <typename T>
void moveElements(std::vector<T>& elements, const std::set<std::size_t>& positions, std::size_t destination) {
    destination = std::min(destination, elements.size());
    std::vector<T> moved;
    std::vector<T> kept;
    std::size_t insertion = 0;
    for (std::size_t index = 0; index < elements.size(); ++index) {
        if (positions.contains(index)) {
            moved.push_back(std::move(elements[index]));
        } else {
            if (index < destination) ++insertion;
            kept.push_back(std::move(elements[index]));
        }
    }
    kept.insert(kept.begin() + static_cast<std::ptrdiff_t>(insertion), std::make_move_iterator(moved.begin()),
                std::make_move_iterator(moved.end()));
    elements = std::move(kept);
}

}  // namespace k7
