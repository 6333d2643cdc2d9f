#include "core/flat/flat_table.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <list>
#include <map>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace vorn {
namespace {

struct Item {
    Links order;
    int value = 0;
};

using Key = std::pair<std::uint32_t, std::string>;

// A flat table with one order over its slots, beside a map and a list doing the same.
template <bool RemembersLast>
struct Pair {
    FlatTable<Item, RemembersLast> table;
    IndexList order;
    std::map<Key, int> model;
    std::list<Key> model_order;

    SlotIndex find(const Key& k) const {
        return table.find(FlatKey(HashedText(k.second), k.first));
    }

    void check(std::size_t key_space) const {
        ASSERT_EQ(table.size(), model.size());
        ASSERT_EQ(order.size(), model_order.size());
        std::size_t live = 0;
        auto expected = model_order.begin();
        for (SlotIndex i = order.front(); i != kNoSlot; i = table[i].order.next, ++expected) {
            ASSERT_EQ(Key(table.scope(i), std::string(table.text(i))), *expected);
            ASSERT_EQ(table[i].value, model.at(*expected));
            ASSERT_EQ(find(*expected), i);
            live += expected->second.size();
        }
        EXPECT_EQ(table.arena_live(), live);
        // Compaction keeps the garbage below what is live, or below what a walk of the slots
        // (at most one per key ever stored, each under 64 bytes) costs.
        EXPECT_LE(table.arena_garbage(), std::max(live, 3 * key_space * 64));
    }
};

// Keys rarely share a hash, so the table's own tests seldom reach a comparison that fails.
TEST(SameBytes, TellsEveryDifferingByteAtEveryLength) {
    for (std::size_t n = 0; n <= 40; ++n) {
        const std::string a(n, 'k');
        EXPECT_TRUE(same_bytes(a.data(), std::string(a).data(), n)) << n;
        for (std::size_t i = 0; i < n; ++i) {
            std::string b = a;
            b[i] = 'j';
            EXPECT_FALSE(same_bytes(a.data(), b.data(), n)) << n << " at " << i;
        }
    }
}

template <bool RemembersLast>
void match_a_map_and_list_through_random_operations() {
    std::mt19937 rng(7);
    const auto links = [](Pair<RemembersLast>& p) { return links_in(p.table, &Item::order); };
    for (const std::size_t key_space : {8, 3000}) {
        Pair<RemembersLast> p;
        for (int step = 0; step < 40000; ++step) {
            const std::uint32_t scope = rng() % 3;
            // Lengths from 0 to 40 bytes, so every tail of the hash is taken.
            const std::size_t id = rng() % key_space;
            const Key k{
                scope, std::string(id % 41, 'a' + static_cast<char>(id % 26)) + std::to_string(id)};
            const SlotIndex slot = p.find(k);
            ASSERT_EQ(slot != kNoSlot, p.model.contains(k));
            switch (rng() % 4) {
                case 0: {  // insert never reorders
                    const auto [at, added] = p.table.insert(FlatKey(HashedText(k.second), scope));
                    ASSERT_EQ(added, slot == kNoSlot);
                    if (added) {
                        p.table[at].value = step;
                        p.order.push_back(at, links(p));
                        p.model[k] = step;
                        p.model_order.push_back(k);
                    }
                    break;
                }
                case 1:  // move to newest
                    if (slot == kNoSlot) break;
                    p.order.move_to_back(slot, links(p));
                    p.model_order.remove(k);
                    p.model_order.push_back(k);
                    break;
                case 2:  // erase anywhere
                    if (slot == kNoSlot) break;
                    p.order.unlink(slot, links(p));
                    p.table.erase(slot);
                    p.model.erase(k);
                    p.model_order.remove(k);
                    break;
                default:  // a walk that erases every other entry it meets, from the oldest
                    if (step % 97 != 0) break;
                    for (SlotIndex i = p.order.front(); i != kNoSlot;) {
                        const SlotIndex next = p.table[i].order.next;
                        if (p.table[i].value % 2 == 0) {
                            const Key gone(p.table.scope(i), std::string(p.table.text(i)));
                            p.order.unlink(i, links(p));
                            p.table.erase(i);
                            p.model.erase(gone);
                            p.model_order.remove(gone);
                        }
                        i = next;
                    }
            }
            if (step % 500 == 0) {
                ASSERT_NO_FATAL_FAILURE(p.check(key_space));
            }
        }
        ASSERT_NO_FATAL_FAILURE(p.check(key_space));
    }
}

TEST(FlatTable, MatchesAMapAndListThroughRandomOperations) {
    match_a_map_and_list_through_random_operations<false>();
}

// The last key found is tried first; erased and reused slots must not answer for it.
TEST(FlatTable, RememberingTheLastKeyMatchesAMapAndListThroughRandomOperations) {
    match_a_map_and_list_through_random_operations<true>();
}

TEST(FlatTable, CompactsItsArenaAndKeepsKeysIntact) {
    FlatTable<int> table;
    std::vector<std::string> keys;
    for (int i = 0; i < 4000; ++i) keys.push_back(std::string(200, 'k') + std::to_string(i));
    for (const std::string& k : keys) table[table.insert(FlatKey(HashedText(k))).first] = 1;
    for (std::size_t i = 10; i < keys.size(); ++i) {
        table.erase(table.find(FlatKey(HashedText(keys[i]))));
    }
    // 798 KB were erased; what is left of it is bounded by the slots, not by the erasures.
    EXPECT_LT(table.arena_garbage(), 200u * 1024);
    for (std::size_t i = 0; i < 10; ++i) {
        const SlotIndex slot = table.find(FlatKey(HashedText(keys[i])));
        ASSERT_NE(slot, kNoSlot);
        EXPECT_EQ(table.text(slot), keys[i]);
    }
    for (std::size_t i = 0; i < 10; ++i) table.erase(table.find(FlatKey(HashedText(keys[i]))));
    EXPECT_EQ(table.arena_live() + table.arena_garbage(), 0u);
}

TEST(FlatTable, StoresAKeyReadFromItsOwnArena) {
    FlatTable<int> table;
    const SlotIndex first = table.insert(FlatKey(HashedText(std::string(100, 'x')))).first;
    // Under another scope the same text is another key; copying it may grow the arena under it.
    for (std::uint32_t scope = 1; scope < 200; ++scope) {
        const auto [slot, added] = table.insert(FlatKey(HashedText(table.text(first)), scope));
        ASSERT_TRUE(added);
        ASSERT_EQ(table.text(slot), std::string(100, 'x'));
    }
    EXPECT_EQ(table.size(), 200u);
}

}  // namespace
}  // namespace vorn
