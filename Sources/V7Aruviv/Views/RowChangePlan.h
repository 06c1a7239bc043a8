#pragma once

#include <QUuid>
#include <algorithm>
#include <cstddef>
#include <optional>
#include <vector>

namespace k7 {

// One step of a table's rows becoming another list: a run of rows removed, a block of rows moved,
// or a run of the new list's rows inserted. Rows keep their identity through every step, so views
// keep their editors, selection and scroll position on them.
struct RowChangeStep {
    enum class Kind { remove, move, insert };
    Kind kind = Kind::remove;
    int first = 0;        // remove, move: the first row as the step begins; insert: the first new row
    int count = 0;
    int destination = 0;  // move: the row the block goes before, counted as the step begins
    bool operator==(const RowChangeStep&) const = default;
};

// Carries out a move step on a list of rows.
template <typename Row>
void applyMove(std::vector<Row>& rows, const RowChangeStep& step) {
    const auto first = rows.begin() + step.first;
    const auto end = first + step.count;
    const auto destination = rows.begin() + step.destination;
    if (destination < first) {
        std::rotate(destination, first, end);
    } else {
        std::rotate(first, end, destination);
    }
}

// The steps, in the order they apply, that turn the rows `from` into `to`: removals first, then
// moves of the fewest rows, then insertions. Nothing when an id repeats between the rows both
// lists share at their ends, or when more than `maximumSteps` would be needed (a reset is then
// cheaper).
std::optional<std::vector<RowChangeStep>> planRowChanges(const std::vector<QUuid>& from, const std::vector<QUuid>& to,
                                                         std::size_t maximumSteps);

}  // namespace k7
