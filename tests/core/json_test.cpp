#include "core/json.hpp"

#include <gtest/gtest.h>

#include <array>
#include <limits>

namespace vorn {
namespace {

TEST(JsonObject, KeepsKeysSortedByUtf8BytesAndUnique) {
    JsonObject o;
    // "é" (0xC3 0xA9) sorts after every ASCII key; "B" (0x42) before "a" (0x61).
    for (const char* key : {"b", "\xC3\xA9", "a", "B", "aa"}) o.set(key, Json::boolean(true));
    o.set("a", Json::integer(7));
    std::vector<std::string> keys;
    for (const auto& m : o) keys.emplace_back(m.key.text());
    EXPECT_EQ(keys, (std::vector<std::string>{"B", "a", "aa", "b", "\xC3\xA9"}));
    EXPECT_EQ(*o.find("a"), Json::integer(7));
    EXPECT_TRUE(o.erase("aa"));
    EXPECT_FALSE(o.erase("aa"));
    EXPECT_EQ(o.find("aa"), nullptr);
    EXPECT_EQ(JsonObject().find("x"), nullptr);
}

// 300,000 levels, alternating arrays and objects: copying, comparing and destroying must not
// recurse on the C stack (a recursive walk overflows it long before).
TEST(Json, DeepValuesAreCopiedComparedAndDestroyedWithoutRecursion) {
    Json deep = Json::string("leaf");
    for (int i = 0; i < 300'000; ++i) {
        Json level = i % 2 ? Json::array() : Json::object();
        if (JsonArray* items = level.if_array()) {
            items->push_back(std::move(deep));
        } else {
            level.if_object()->set("k", std::move(deep));
        }
        deep = std::move(level);
    }
    const Json copy = deep;
    EXPECT_TRUE(copy == deep);
    Json other = deep;
    Json* cursor = &other;
    while (cursor->if_string() == nullptr) {
        cursor = cursor->if_array() ? &cursor->if_array()->front() : cursor->if_object()->find("k");
    }
    *cursor = Json::string("other");
    EXPECT_FALSE(other == deep);
}

TEST(JsonObject, BulkBuildLetsTheLastOfEqualKeysWin) {
    JsonObject o;
    const std::array<std::pair<const char*, int>, 6> input{
        {{"k", 1}, {"a", 2}, {"k", 3}, {"z", 4}, {"a", 5}, {"k", 6}}};
    for (auto [key, v] : input) o.append_unsorted(JsonString(key, o.resource()), Json::integer(v));
    o.finish();
    ASSERT_EQ(o.size(), 3u);
    EXPECT_EQ(*o.find("a"), Json::integer(5));
    EXPECT_EQ(*o.find("k"), Json::integer(6));
    EXPECT_EQ(*o.find("z"), Json::integer(4));
}

TEST(Json, NonFiniteNumbersBecomeNull) {
    EXPECT_TRUE(Json::number(std::numeric_limits<double>::quiet_NaN()).is_null());
    EXPECT_TRUE(Json::number(-std::numeric_limits<double>::infinity()).is_null());
    EXPECT_EQ(*Json::number(-0.5).if_float(), -0.5);
}

TEST(Json, IntegersCompareByValueAcrossSignedness) {
    EXPECT_EQ(Json::integer(5), Json::unsigned_integer(5));
    EXPECT_NE(Json::integer(-1), Json::unsigned_integer(std::numeric_limits<std::uint64_t>::max()));
    EXPECT_NE(Json::integer(1), Json::number(1.0));
    EXPECT_NE(Json::boolean(false), Json::null());
}

TEST(Json, CopiesOwnTheirMemoryAndDropOrigins) {
    std::array<std::byte, 4096> buffer{};
    int anchor = 0;
    Json copy;
    Json cloned;
    {
        std::pmr::monotonic_buffer_resource arena(buffer.data(), buffer.size(),
                                                  std::pmr::null_memory_resource());
        Json value = Json::object(&arena);
        JsonArray items(&arena);
        items.push_back(Json::string("a string long enough to need the heap", &arena, &anchor));
        value.if_object()->set("list", Json::array(std::move(items)));
        copy = value;
        cloned = value.clone(std::pmr::get_default_resource());
        const auto& kept = *value.if_object()->find("list")->if_array()->at(0).if_string();
        EXPECT_EQ(kept.origin, &anchor);
    }
    // The arena is gone; both copies must still be whole.
    const auto& s = *copy.if_object()->find("list")->if_array()->at(0).if_string();
    EXPECT_EQ(s.text(), "a string long enough to need the heap");
    EXPECT_EQ(s.origin, nullptr);
    EXPECT_EQ(cloned.if_object()->find("list")->if_array()->at(0).if_string()->origin, &anchor);
    EXPECT_EQ(copy, cloned);
}

}  // namespace
}  // namespace vorn
