#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string_view>

#include "V7Aruviv/Views/RowChangePlan.h"

namespace k7 {
namespace {

using Kind = RowChangeStep::Kind;

// Rows named by letters, so that a case reads as the list it is.
std::vector<QUuid> rows(std::string_view letters) {
    std::vector<QUuid> ids;
    for (char letter : letters) ids.emplace_back(static_cast<uint>(letter), 0, 0, 0, 0, 0, 0, 0, 0, 0, 0);
    return ids;
}

std::vector<QUuid> applied(std::vector<QUuid> list, const std::vector<RowChangeStep>& steps,
                           const std::vector<QUuid>& to) {
    for (const auto& step : steps) {
        const auto first = list.begin() + step.first;
        switch (step.kind) {
        case Kind::remove: list.erase(first, first + step.count); break;
        case Kind::move: applyMove(list, step); break;
        case Kind::insert: list.insert(first, to.begin() + step.first, to.begin() + step.first + step.count); break;
        }
    }
    return list;
}

TEST(RowChangePlan, TurnsOneListIntoTheOtherInTheFewestSteps) {
    const struct {
        const char* from;
        const char* to;
        std::vector<RowChangeStep> steps;
    } cases[] = {
        {"abc", "abc", {}},
        {"abc", "abcd", {{Kind::insert, 3, 1, 0}}},
        {"abc", "xyabc", {{Kind::insert, 0, 2, 0}}},
        {"abc", "axbyc", {{Kind::insert, 1, 1, 0}, {Kind::insert, 3, 1, 0}}},
        // Removals from the bottom up: each counted as it begins.
        {"abcde", "ace", {{Kind::remove, 3, 1, 0}, {Kind::remove, 1, 1, 0}}},
        {"abc", "", {{Kind::remove, 0, 3, 0}}},
        // A dragged row or block is one move, whatever it passes.
        {"abcde", "bcdea", {{Kind::move, 0, 1, 5}}},
        {"abcde", "deabc", {{Kind::move, 3, 2, 0}}},
        {"abcdef", "adbcef", {{Kind::move, 3, 1, 1}}},
        {"abcdef", "aebfcd", {{Kind::move, 4, 1, 1}, {Kind::move, 5, 1, 3}}},
        // Everything at once: the gone row, the moved one, the new one.
        {"abcd", "xbdc", {{Kind::remove, 0, 1, 0}, {Kind::move, 1, 1, 3}, {Kind::insert, 0, 1, 0}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.from) + " -> " + c.to);
        const auto steps = planRowChanges(rows(c.from), rows(c.to), 64);
        ASSERT_TRUE(steps);
        EXPECT_EQ(*steps, c.steps);
        EXPECT_EQ(applied(rows(c.from), *steps, rows(c.to)), rows(c.to));
    }
}

TEST(RowChangePlan, GivesUpOnRepeatedRowsAndTooManySteps) {
    EXPECT_FALSE(planRowChanges(rows("abab"), rows("ba"), 64));
    EXPECT_FALSE(planRowChanges(rows("ab"), rows("baa"), 64));
    EXPECT_FALSE(planRowChanges(rows("abcdef"), rows("ace"), 2));   // three removals
    EXPECT_FALSE(planRowChanges(rows("abcdef"), rows("fedcba"), 2));  // five moves
    EXPECT_FALSE(planRowChanges(rows("ab"), rows("xaybz"), 2));     // three insertions
    EXPECT_TRUE(planRowChanges(rows("abcdef"), rows("ace"), 3));
}

// Random removals, insertions and shuffles of a list, each planned and carried out.
TEST(RowChangePlan, EveryPlanCarriedOutGivesTheNewList) {
    std::mt19937 random(25);
    const std::string pool = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";
    for (int round = 0; round < 500; ++round) {
        std::string from = pool.substr(0, static_cast<std::size_t>(random() % 20));
        std::shuffle(from.begin(), from.end(), random);
        std::string to;
        for (char letter : from) {
            if (random() % 4 != 0) to += letter;
        }
        const auto shuffled = static_cast<std::ptrdiff_t>(random() % (to.size() + 1));
        std::shuffle(to.begin(), to.begin() + shuffled, random);
        for (char letter : pool.substr(20, random() % 6)) {
            to.insert(to.begin() + static_cast<std::ptrdiff_t>(random() % (to.size() + 1)), letter);
        }
        SCOPED_TRACE(from + " -> " + to);
        const auto steps = planRowChanges(rows(from), rows(to), 1000);
        ASSERT_TRUE(steps);
        EXPECT_EQ(applied(rows(from), *steps, rows(to)), rows(to));
        for (const auto& step : *steps) {
            EXPECT_GT(step.count, 0);
            const bool standsStill = step.destination >= step.first && step.destination <= step.first + step.count;
            EXPECT_FALSE(step.kind == Kind::move && standsStill);
        }
    }
}

}  // namespace
}  // namespace k7
