// One constexpr description per callable (name, parameters, defaults, keyword-only marker, doc
// text). From it come both the stored doc string ("name(params)\n--\n\ndoc", so Python reports
// `__text_signature__`) and the argument parser of the METH_FASTCALL | METH_KEYWORDS entry point.
#pragma once

#include <array>
#include <cstddef>
#include <span>
#include <string_view>

namespace vorn::py {

struct Param {
    std::string_view name;
    std::string_view default_text;  // empty: required
    bool keyword_only = false;

    constexpr bool required() const { return default_text.empty(); }
};

constexpr Param arg(std::string_view name) {
    return {name, {}, false};
}
constexpr Param arg(std::string_view name, std::string_view default_text) {
    return {name, default_text, false};
}
constexpr Param kwarg(std::string_view name, std::string_view default_text) {
    return {name, default_text, true};
}

inline constexpr std::size_t kMaxParams = 12;

struct Signature {
    std::string_view name;
    bool method;  // bound to an instance: the signature line shows "$self"
    std::span<const Param> params;
    std::string_view doc;
    // The keyword-only parameters only document the call: every keyword that is not a
    // positional-or-keyword parameter is collected, unchecked, for the implementation to parse.
    bool collects_keywords = false;
    // Derived: a call with between `min_positional` and `positional` arguments, all given by
    // position, needs no further checks.
    std::size_t positional = 0;
    std::size_t min_positional = 0;
};

template <std::size_t N>
struct SignatureDef {
    static_assert(N <= kMaxParams);
    std::string_view name;
    bool method;
    std::array<Param, N> params;
    std::string_view doc;
    bool collects_keywords = false;

    constexpr operator Signature() const {
        std::size_t positional = 0;
        while (positional < N && !params[positional].keyword_only) ++positional;
        std::size_t min_positional = 0;
        for (std::size_t i = 0; i < N; ++i) {
            if (!params[i].required()) continue;
            if (!params[i].keyword_only) {
                min_positional = i + 1;
            } else if (!collects_keywords) {
                min_positional = N + 1;  // a required keyword: never the quick path
            }
        }
        return {name, method, params, doc, collects_keywords, positional, min_positional};
    }
};

template <class... P>
constexpr SignatureDef<sizeof...(P)> function(std::string_view name, std::string_view doc,
                                              P... params) {
    return {name, false, {params...}, doc};
}
template <class... P>
constexpr SignatureDef<sizeof...(P)> method(std::string_view name, std::string_view doc,
                                            P... params) {
    return {name, true, {params...}, doc};
}

// The same callable taking arbitrary keywords (see Signature::collects_keywords).
template <std::size_t N>
constexpr SignatureDef<N> collecting_keywords(SignatureDef<N> def) {
    def.collects_keywords = true;
    return def;
}

// The full doc string, rendered once and kept for the life of the process.
const char* doc_string(const Signature& sig);

}  // namespace vorn::py
