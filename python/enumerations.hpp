// The twenty enumeration classes: their ids in the class table, and conversion of core values to
// the cached member objects and back.
#pragma once

#include <cstddef>
#include <string>

#include "core/enums.hpp"
#include "python/toolkit/arguments.hpp"
#include "python/toolkit/convert.hpp"
#include "python/toolkit/enum_class.hpp"

namespace vorn::py {

template <class E>
struct EnumId;

#define VORN_ENUM_ID(E, N)                      \
    template <>                                 \
    struct EnumId<E> {                          \
        static constexpr std::size_t value = N; \
    }
VORN_ENUM_ID(EventType, 0);
VORN_ENUM_ID(TurnEffect, 1);
VORN_ENUM_ID(TurnVerdict, 2);
VORN_ENUM_ID(MemoryType, 3);
VORN_ENUM_ID(MemoryStatus, 4);
VORN_ENUM_ID(MemorySystem, 5);
VORN_ENUM_ID(MemorySegment, 6);
VORN_ENUM_ID(MemoryListScope, 7);
VORN_ENUM_ID(MemoryStoreScope, 8);
VORN_ENUM_ID(AgentTopicKind, 9);
VORN_ENUM_ID(ParkedReason, 10);
VORN_ENUM_ID(SessionState, 11);
VORN_ENUM_ID(DeadReason, 12);
VORN_ENUM_ID(StaleReason, 13);
VORN_ENUM_ID(RoomStatus, 14);
VORN_ENUM_ID(AgentTopicStatus, 15);
VORN_ENUM_ID(LeaveOutcome, 16);
VORN_ENUM_ID(RoomSubscribeResult, 17);
VORN_ENUM_ID(RoomMembership, 18);
VORN_ENUM_ID(ClaimOutcome, 19);
#undef VORN_ENUM_ID

template <class E>
Ref to_py(E value) {
    return Ref::borrow(enum_member(EnumId<E>::value, static_cast<std::size_t>(value)));
}

template <class E>
PyObject* enum_class() {
    return enum_type(EnumId<E>::value);
}

// The member when `obj` is a member of E's class.
template <class E>
std::optional<E> enum_from_py(PyObject* obj) {
    const auto index = enum_index(EnumId<E>::value, obj);
    if (!index) return std::nullopt;
    return static_cast<E>(*index);
}

// A member of E, or a str taken as a wire name (not looked up here: the caller decides what an
// unknown name means). Anything else raises TypeError with `type_error`.
template <class E>
std::string_view member_or_wire_name(const Arguments& args, std::size_t i, const char* type_error) {
    return args.convert(i, [&](PyObject* obj) {
        if (auto member = enum_from_py<E>(obj)) return enum_text(*member);
        if (!PyUnicode_Check(obj)) raise_type_error(type_error);
        return utf8_view(obj);
    });
}

template <class E>
requires std::is_enum_v<E>
struct Converter<E> {
    static E from_py(PyObject* obj, std::string_view name) {
        if (auto value = enum_from_py<E>(obj)) return *value;
        raise_wrong_argument_type(name, EnumInfo<E>::name, obj);
    }
};

}  // namespace vorn::py
