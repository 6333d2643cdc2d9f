// Calling a core member function with a call's arguments converted to its own parameter types:
// parameter i of the function takes argument i, through Converter of its decayed type, in order
// and with the "while processing" note on failure. Lets a binding whose parameters map one to one
// onto the core operation's say only which operation it calls.
//
//   invoke_converted<&Tracker::unsubscribe_room>(tracker, args)   // args.get<string_view>(0)
#pragma once

#include <cstddef>
#include <tuple>
#include <type_traits>
#include <utility>

#include "python/toolkit/arguments.hpp"

namespace vorn::py {

namespace invoke_detail {

template <class M>
struct MemberFn;
template <class R, class C, class... P>
struct MemberFn<R (C::*)(P...)> {
    using Params = std::tuple<std::remove_cvref_t<P>...>;
};
template <class R, class C, class... P>
struct MemberFn<R (C::*)(P...) const> {
    using Params = std::tuple<std::remove_cvref_t<P>...>;
};

template <auto Method, class C, std::size_t... I>
decltype(auto) call(C& object, [[maybe_unused]] const Arguments& args, std::index_sequence<I...>) {
    using Params = typename MemberFn<decltype(Method)>::Params;
    // A braced list is evaluated left to right, so arguments convert in parameter order.
    [[maybe_unused]] Params values{args.get<std::tuple_element_t<I, Params>>(I)...};
    return (object.*Method)(std::move(std::get<I>(values))...);
}

}  // namespace invoke_detail

template <auto Method, class C>
decltype(auto) invoke_converted(C& object, const Arguments& args) {
    using Params = typename invoke_detail::MemberFn<decltype(Method)>::Params;
    return invoke_detail::call<Method>(object, args,
                                       std::make_index_sequence<std::tuple_size_v<Params>>());
}

}  // namespace vorn::py
