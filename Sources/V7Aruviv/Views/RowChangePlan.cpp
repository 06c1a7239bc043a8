#include "V7Aruviv/Views/RowChangePlan.h"

#include <QHash>
#include <algorithm>
#include <span>

namespace k7 {

namespace {

// Marks a longest subsequence of `values` that is increasing.
std::vector<bool> longestIncreasing(const std::vector<int>& values) {
    const int size = static_cast<int>(values.size());
    std::vector<int> tails;  // per length, the index of the smallest value ending such a subsequence
    std::vector<int> previous(values.size(), -1);
    for (int index = 0; index < size; ++index) {
        const int value = values[static_cast<std::size_t>(index)];
        const auto tail = std::lower_bound(tails.begin(), tails.end(), value, [&](int candidate, int wanted) {
            return values[static_cast<std::size_t>(candidate)] < wanted;
        });
        if (tail != tails.begin()) previous[static_cast<std::size_t>(index)] = *(tail - 1);
        if (tail == tails.end()) {
            tails.push_back(index);
        } else {
            *tail = index;
        }
    }
    std::vector<bool> marked(values.size(), false);
    for (int index = tails.empty() ? -1 : tails.back(); index >= 0; index = previous[static_cast<std::size_t>(index)]) {
        marked[static_cast<std::size_t>(index)] = true;
    }
    return marked;
}

// Places of the ids, or nothing when one repeats.
std::optional<QHash<QUuid, int>> placesOf(std::span<const QUuid> ids) {
    QHash<QUuid, int> places;
    places.reserve(static_cast<qsizetype>(ids.size()));
    for (std::size_t index = 0; index < ids.size(); ++index) places.insert(ids[index], static_cast<int>(index));
    if (static_cast<std::size_t>(places.size()) != ids.size()) return std::nullopt;
    return places;
}

int rowOf(const std::vector<QUuid>& rows, const QUuid& id) {
    return static_cast<int>(std::find(rows.begin(), rows.end(), id) - rows.begin());
}

std::optional<std::vector<RowChangeStep>> planChangedPart(std::span<const QUuid> from, std::span<const QUuid> to,
                                                          std::size_t maximumSteps) {
    const auto target = placesOf(to);
    const auto source = placesOf(from);
    if (!target || !source) return std::nullopt;
    std::vector<RowChangeStep> steps;

    // Removals from the bottom up, so that every run is counted as its step begins.
    for (int row = static_cast<int>(from.size()) - 1; row >= 0;) {
        if (target->contains(from[static_cast<std::size_t>(row)])) {
            --row;
            continue;
        }
        const int last = row;
        while (row >= 0 && !target->contains(from[static_cast<std::size_t>(row)])) --row;
        steps.push_back({RowChangeStep::Kind::remove, row + 1, last - row, 0});
        if (steps.size() > maximumSteps) return std::nullopt;
    }

    // The rows that stay, in their order, and where each belongs; a longest run of them already
    // in order stays put and the others move, a block at a time.
    std::vector<QUuid> current;
    std::vector<int> places;
    for (const QUuid& id : from) {
        if (const auto place = target->constFind(id); place != target->constEnd()) {
            current.push_back(id);
            places.push_back(*place);
        }
    }
    const std::vector<bool> stays = longestIncreasing(places);
    std::vector<int> byPlace(to.size(), -1);  // the kept row at each place of `to`
    for (std::size_t row = 0; row < places.size(); ++row) {
        byPlace[static_cast<std::size_t>(places[row])] = static_cast<int>(row);
    }
    std::erase(byPlace, -1);

    struct Block {
        std::size_t start;  // in byPlace
        int count;
    };
    std::vector<Block> blocks;
    for (std::size_t index = 0; index < byPlace.size(); ++index) {
        const int row = byPlace[index];
        if (stays[static_cast<std::size_t>(row)]) continue;
        // Rows next to each other both before and after the change move together.
        if (!blocks.empty() && blocks.back().start + static_cast<std::size_t>(blocks.back().count) == index &&
            byPlace[index - 1] == row - 1) {
            blocks.back().count += 1;
        } else {
            blocks.push_back({index, 1});
        }
    }
    if (steps.size() + blocks.size() > maximumSteps) return std::nullopt;

    const std::vector<QUuid> kept = current;
    for (const auto& block : blocks) {
        // Every row before the block in the new order is in place: the block goes after the last.
        const int first = rowOf(current, kept[static_cast<std::size_t>(byPlace[block.start])]);
        const int destination =
            block.start == 0 ? 0 : rowOf(current, kept[static_cast<std::size_t>(byPlace[block.start - 1])]) + 1;
        if (destination >= first && destination <= first + block.count) continue;
        steps.push_back({RowChangeStep::Kind::move, first, block.count, destination});
        applyMove(current, steps.back());
    }

    // Insertions from the top down: the rows above each run are already those of `to`.
    for (int row = 0; row < static_cast<int>(to.size());) {
        if (source->contains(to[static_cast<std::size_t>(row)])) {
            ++row;
            continue;
        }
        const int first = row;
        while (row < static_cast<int>(to.size()) && !source->contains(to[static_cast<std::size_t>(row)])) ++row;
        steps.push_back({RowChangeStep::Kind::insert, first, row - first, 0});
        if (steps.size() > maximumSteps) return std::nullopt;
    }
    return steps;
}

}  // namespace

std::optional<std::vector<RowChangeStep>> planRowChanges(const std::vector<QUuid>& from, const std::vector<QUuid>& to,
                                                         std::size_t maximumSteps) {
    // The rows the change left alone at either end are not looked at again.
    std::size_t head = 0;
    while (head < from.size() && head < to.size() && from[head] == to[head]) ++head;
    std::size_t tail = 0;
    while (tail < from.size() - head && tail < to.size() - head &&
           from[from.size() - 1 - tail] == to[to.size() - 1 - tail]) {
        ++tail;
    }
    auto steps = planChangedPart(std::span(from).subspan(head, from.size() - head - tail),
                                 std::span(to).subspan(head, to.size() - head - tail), maximumSteps);
    if (steps) {
        for (auto& step : *steps) {
            step.first += static_cast<int>(head);
            if (step.kind == RowChangeStep::Kind::move) step.destination += static_cast<int>(head);
        }
    }
    return steps;
}

}  // namespace k7
