// Heterogeneous lookup for standard string-keyed hash containers: every string-like argument goes
// through string_view, so equal text hashes equally and no key is built to look one up.
#pragma once

#include <cstddef>
#include <functional>
#include <string_view>

namespace vorn {

struct StringHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view s) const noexcept {
        return std::hash<std::string_view>{}(s);
    }
};

struct TransparentEqual {
    using is_transparent = void;
    template <class A, class B>
    bool operator()(const A& a, const B& b) const {
        return a == b;
    }
};

}  // namespace vorn
