#include "core/ordered.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

namespace vorn {
namespace {

using Map = OrderedMap<std::string, int>;
using PairMap = OrderedMap<std::pair<std::string, std::string>, int>;
using PairView = std::pair<std::string_view, std::string_view>;

template <class M, class K>
concept FindableWith = requires(M& m, const K& k) {
    m.find(k);
    m.contains(k);
    m.erase(k);
    m.move_to_newest(k);
};
static_assert(FindableWith<Map, std::string_view>);
static_assert(FindableWith<PairMap, PairView>);
// A hash that is not transparent must not silently accept other key types.
static_assert(
    !FindableWith<OrderedMap<std::string, int, std::hash<std::string>>, std::string_view>);
static_assert(std::is_same_v<OrderedSet<int>::iterator, OrderedSet<int>::const_iterator>);

std::string order(const Map& m) {
    std::string keys;
    for (const auto& [key, value] : m) keys += key;
    return keys;
}

TEST(OrderedMap, KeepsOrderThroughScriptedOperations) {
    // +k insert, ^k move to newest, -k erase, < pop oldest; keys go in as string_views.
    const std::pair<const char*, std::string_view> scripts[] = {
        {"+a +b +c", "abc"},         {"+a +b +c +a", "abc"},    {"+a +b +c ^a", "bca"},
        {"+a +b +c ^c ^x", "abc"},   {"+a +b +c ^b ^a", "cba"}, {"+a +b +c -b", "ac"},
        {"+a +b +c -a -c +a", "ba"}, {"+a +b +c < <", "c"},     {"+a +b < +a", "ba"},
        {"+a < < +b", "b"},          {"+a +b -a -b", ""},
    };
    for (const auto& [script, expected] : scripts) {
        Map m;
        std::istringstream ops(script);
        for (std::string op; ops >> op;) {
            const std::string_view key = std::string_view(op).substr(1);
            if (op[0] == '+') m.try_emplace(key, 0);
            if (op[0] == '^') m.move_to_newest(key);
            if (op[0] == '-') m.erase(key);
            if (op[0] == '<') m.pop_oldest();
        }
        EXPECT_EQ(order(m), expected) << script;
        if (!m.empty()) {
            EXPECT_EQ(m.oldest()->first + m.newest()->first,
                      std::string({expected.front(), expected.back()}));
        }
    }
}

TEST(OrderedMap, LooksUpStringPairsByViews) {
    // Same concatenation, and swapped halves: all distinct keys.
    const PairView keys[] = {{"ab", "c"}, {"a", "bc"}, {"r", "m"}, {"m", "r"}};
    PairMap m;
    for (int i = 0; i < 4; ++i) EXPECT_TRUE(m.try_emplace(keys[i], i).second);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(m.find(keys[i])->second, i);
    const std::pair<std::string, std::string> stored("r", "m");
    for (const auto& [probe, equal] : {std::tuple(PairView("r", "m"), true),
                                       {{"r", "x"}, false},
                                       {{"x", "m"}, false},
                                       {{"m", "r"}, false}}) {
        EXPECT_EQ(TransparentEqual{}(stored, probe), equal) << probe.first << probe.second;
        EXPECT_EQ(StringPairHash{}(stored) == StringPairHash{}(probe), equal);
    }
    EXPECT_FALSE(m.contains(PairView{"a", "b"}));
}

TEST(OrderedMap, WalksCanEraseWhileOtherEntriesStayPut) {
    PairMap m;
    for (const char* id : {"1", "2", "3", "4"}) {
        m.try_emplace(PairView{"r1", id}, 1);
        m.try_emplace(PairView{"r2", id}, 2);
    }
    int* kept = &m.find(PairView{"r2", "3"})->second;
    for (auto it = m.begin(); it != m.end();)
        it = it->first.first == "r1" ? m.erase(it) : std::next(it);
    for (int i = 0; i < 1000; ++i) m.try_emplace(PairView{"r3", std::to_string(i)}, 3);
    EXPECT_EQ(&m.find(PairView{"r2", "3"})->second, kept);
    EXPECT_EQ(m.erase_if([](const auto& e) { return e.second == 3; }), 1000u);
    std::vector<std::string> ids;
    for (const auto& [key, value] : m) ids.push_back(key.first + "/" + key.second);
    EXPECT_EQ(ids, (std::vector<std::string>{"r2/1", "r2/2", "r2/3", "r2/4"}));
}

TEST(OrderedMap, CopiesAreIndependentAndMovesLeaveEmpty) {
    Map a{{"x", 1}, {"y", 2}, {"x", 3}};
    Map b = a;
    b.erase("x");
    a.find("y")->second = 5;
    EXPECT_EQ(order(a) + order(b), "xyy");
    EXPECT_EQ(b.find("y")->second, 2);
    Map c = std::move(a);
    EXPECT_TRUE(a.empty() && a.try_emplace("q", 0).second);
    EXPECT_EQ(order(c), "xy");

    OrderedMap<int, std::unique_ptr<int>> owned;
    owned.try_emplace(1, std::make_unique<int>(7));
    EXPECT_EQ(*owned.pop_oldest()->second, 7);
}

TEST(OrderedSet, IteratesKeysAndPopsThem) {
    OrderedSet<std::string> s{"b", "a"};
    EXPECT_TRUE(s.insert(std::string_view("c")).second);
    EXPECT_FALSE(s.insert("a").second);
    EXPECT_TRUE(s.contains(std::string_view("c")));
    EXPECT_EQ(s.pop_oldest(), "b");
    s.move_to_newest("a");
    EXPECT_EQ(std::vector<std::string>(s.begin(), s.end()), (std::vector<std::string>{"c", "a"}));
}

TEST(OrderedMap, MatchesAReferenceModel) {
    using Entries = std::vector<std::pair<int, int>>;
    std::mt19937 rng(20240601);
    OrderedMap<int, int> m;
    Entries model;
    for (int step = 0; step < 20000; ++step) {
        const int key = static_cast<int>(rng() % 24);
        const auto same = [key](const auto& e) { return e.first == key; };
        const auto hit = std::find_if(model.begin(), model.end(), same);
        const bool present = hit != model.end();
        switch (rng() % 8) {
            case 4:
                EXPECT_EQ(m.move_to_newest(key) != m.end(), present);
                if (present) std::rotate(hit, hit + 1, model.end());
                break;
            case 5:
                EXPECT_EQ(m.erase(key), present);
                if (present) model.erase(hit);
                break;
            case 6: {
                std::optional<std::pair<int, int>> oldest;
                if (!model.empty()) oldest = model.front(), model.erase(model.begin());
                EXPECT_EQ(m.pop_oldest(), oldest);
                break;
            }
            case 7:
                if (!model.empty()) {
                    const auto at = static_cast<std::ptrdiff_t>(rng() % model.size());
                    const auto next = m.erase(std::next(m.begin(), at));
                    model.erase(model.begin() + at);
                    EXPECT_EQ(std::distance(m.begin(), next), at);
                }
                break;
            default:
                EXPECT_EQ(m.try_emplace(key, step).second, !present);
                if (!present) model.emplace_back(key, step);
        }
        ASSERT_EQ(Entries(m.begin(), m.end()), model) << "step " << step;
        ASSERT_EQ(m.contains(key), std::any_of(model.begin(), model.end(), same));
    }
}

}  // namespace
}  // namespace vorn
