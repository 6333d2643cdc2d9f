// SubscriptionTracker: the Python face of the subscription bookkeeping. Queries take shared access,
// everything else (on_reconnected included) exclusive access, before any argument is converted.
#include "core/runtime/subscription.hpp"
#include "python/enumerations.hpp"
#include "python/exports.hpp"
#include "python/toolkit/class_type.hpp"
#include "python/toolkit/invoke.hpp"
#include "python/toolkit/values.hpp"

namespace vorn::py {

namespace {

using Tracker = SubscriptionTracker;

Ref result_to_py(bool value) {
    return make_bool(value);
}

Ref result_to_py(const std::optional<SubscriptionTicket>& ticket) {
    return ticket ? make_uint(*ticket) : none();
}

template <class E>
requires std::is_enum_v<E> Ref result_to_py(E value) {
    return to_py(value);
}

// A core operation whose parameters are the method's, in order. Under shared access the core sees
// a const tracker, so a query bound to a mutating operation does not compile.
template <class Access, auto Method>
Ref call(PyObject* self, const Arguments& args) {
    auto& obj = instance<Tracker>(self);
    Access access(obj.flag);
    if constexpr (std::is_same_v<Access, SharedAccess>) {
        return result_to_py(invoke_converted<Method>(std::as_const(*obj.value), args));
    } else if constexpr (std::is_void_v<decltype(invoke_converted<Method>(*obj.value, args))>) {
        invoke_converted<Method>(*obj.value, args);
        return none();
    } else {
        return result_to_py(invoke_converted<Method>(*obj.value, args));
    }
}

template <auto Method>
constexpr Impl shared = &call<SharedAccess, Method>;
template <auto Method>
constexpr Impl exclusive = &call<ExclusiveAccess, Method>;

using FamilyOf = const SubscriptionFamily& (Tracker::*)() const;

Ref key_and_ticket(std::string_view key, SubscriptionTicket ticket) {
    return make_pair(make_str(key), make_uint(ticket));
}

Ref key_only(std::string_view key, SubscriptionTicket) {
    return make_str(key);
}

// One item per established entry, oldest first.
template <FamilyOf Family, Ref (*Item)(std::string_view, SubscriptionTicket)>
Ref established_list(PyObject* self, const Arguments&) {
    auto& obj = instance<Tracker>(self);
    SharedAccess access(obj.flag);
    const SubscriptionFamily& family = (std::as_const(*obj.value).*Family)();
    return make_list_of(family.established_count(), [&](auto add) {
        family.for_each_established(
            [&](std::string_view key, SubscriptionTicket ticket) { add(Item(key, ticket)); });
    });
}

constexpr auto kCtor = function("SubscriptionTracker", "");

constexpr auto kBeginRoomSubscribe = method("begin_room_subscribe", "", arg("room_id"));
constexpr auto kChatRoomJoinFailed =
    method("record_chat_room_join_failed", "", arg("room_id"), arg("ticket"));
constexpr auto kBothRoomTopicsJoined =
    method("record_both_room_topics_joined", "", arg("room_id"), arg("ticket"));
constexpr auto kParticipantsJoinFailed =
    method("record_room_participants_join_failed", "", arg("room_id"), arg("ticket"),
           arg("chat_room_left"));
constexpr auto kIsRoomSubscribed = method("is_room_subscribed", "", arg("room_id"));
constexpr auto kIsRoomClaimCurrent =
    method("is_room_claim_current", "", arg("room_id"), arg("ticket"));
constexpr auto kRoomStatus = method("room_status", "", arg("room_id"));
constexpr auto kUnsubscribeRoom = method("unsubscribe_room", "", arg("room_id"));
constexpr auto kRoomLeaveComplete =
    method("mark_room_leave_complete", "", arg("room_id"), arg("ticket"), arg("outcome"));
constexpr auto kRoomReconciled = method("acknowledge_room_reconciled", "", arg("room_id"));
constexpr auto kRoomRejoinCandidates = method("room_rejoin_candidates", "");
constexpr auto kRoomRejoinFailed =
    method("mark_room_rejoin_failed", "", arg("room_id"), arg("ticket"));
constexpr auto kSubscribedRoomIds = method("subscribed_room_ids", "");
constexpr auto kOnReconnected = method("on_reconnected", "");
constexpr auto kEndSession = method("end_session", "");
constexpr auto kBeginTopicJoin = method("begin_agent_topic_join", "", arg("topic"));
constexpr auto kTopicJoin =
    method("record_agent_topic_join", "", arg("topic"), arg("ticket"), arg("joined"));
constexpr auto kTopicJoinAmbiguous =
    method("record_agent_topic_join_ambiguous", "", arg("topic"), arg("ticket"));
constexpr auto kIsTopicJoined = method("is_agent_topic_joined", "", arg("topic"));
constexpr auto kIsTopicClaimCurrent =
    method("is_agent_topic_claim_current", "", arg("topic"), arg("ticket"));
constexpr auto kTopicStatus = method("agent_topic_status", "", arg("topic"));
constexpr auto kLeaveTopic = method("leave_agent_topic", "", arg("topic"));
constexpr auto kTopicLeaveComplete =
    method("mark_agent_topic_leave_complete", "", arg("topic"), arg("ticket"), arg("outcome"));
constexpr auto kTopicReconciled = method("acknowledge_agent_topic_reconciled", "", arg("topic"));
constexpr auto kTopicRejoinCandidates = method("agent_topic_rejoin_candidates", "");
constexpr auto kTopicRejoinFailed =
    method("mark_agent_topic_rejoin_failed", "", arg("topic"), arg("ticket"));
constexpr auto kJoinedTopics = method("joined_agent_topics", "");

PyMethodDef tracker_methods[] = {
    method_def<kBeginRoomSubscribe, exclusive<&Tracker::begin_room_subscribe>>(),
    method_def<kChatRoomJoinFailed, exclusive<&Tracker::record_chat_room_join_failed>>(),
    method_def<kBothRoomTopicsJoined, exclusive<&Tracker::record_both_room_topics_joined>>(),
    method_def<kParticipantsJoinFailed,
               exclusive<&Tracker::record_room_participants_join_failed>>(),
    method_def<kIsRoomSubscribed, shared<&Tracker::is_room_subscribed>>(),
    method_def<kIsRoomClaimCurrent, shared<&Tracker::is_room_claim_current>>(),
    method_def<kRoomStatus, shared<&Tracker::room_status>>(),
    method_def<kUnsubscribeRoom, exclusive<&Tracker::unsubscribe_room>>(),
    method_def<kRoomLeaveComplete, exclusive<&Tracker::mark_room_leave_complete>>(),
    method_def<kRoomReconciled, exclusive<&Tracker::acknowledge_room_reconciled>>(),
    method_def<kRoomRejoinCandidates, established_list<&Tracker::rooms, key_and_ticket>>(),
    method_def<kRoomRejoinFailed, exclusive<&Tracker::mark_room_rejoin_failed>>(),
    method_def<kSubscribedRoomIds, established_list<&Tracker::rooms, key_only>>(),
    method_def<kOnReconnected, exclusive<&Tracker::on_reconnected>>(),
    method_def<kEndSession, exclusive<&Tracker::end_session>>(),
    method_def<kBeginTopicJoin, exclusive<&Tracker::begin_agent_topic_join>>(),
    method_def<kTopicJoin, exclusive<&Tracker::record_agent_topic_join>>(),
    method_def<kTopicJoinAmbiguous, exclusive<&Tracker::record_agent_topic_join_ambiguous>>(),
    method_def<kIsTopicJoined, shared<&Tracker::is_agent_topic_joined>>(),
    method_def<kIsTopicClaimCurrent, shared<&Tracker::is_agent_topic_claim_current>>(),
    method_def<kTopicStatus, shared<&Tracker::agent_topic_status>>(),
    method_def<kLeaveTopic, exclusive<&Tracker::leave_agent_topic>>(),
    method_def<kTopicLeaveComplete, exclusive<&Tracker::mark_agent_topic_leave_complete>>(),
    method_def<kTopicReconciled, exclusive<&Tracker::acknowledge_agent_topic_reconciled>>(),
    method_def<kTopicRejoinCandidates, established_list<&Tracker::topics, key_and_ticket>>(),
    method_def<kTopicRejoinFailed, exclusive<&Tracker::mark_agent_topic_rejoin_failed>>(),
    method_def<kJoinedTopics, established_list<&Tracker::topics, key_only>>(),
    {nullptr, nullptr, 0, nullptr},
};

Tracker construct_tracker(const Arguments&, PyObject*&) {
    return Tracker();
}

ClassSpec<Tracker>& tracker_spec() {
    static ClassSpec<Tracker> definition{
        "SubscriptionTracker",
        kCtor,
        construct_tracker,
        tracker_methods,
        {},
        "Transport-independent subscription decisions for one agent session."};
    return definition;
}

}  // namespace

Ref export_subscription_tracker() {
    return Ref::borrow(type_object(tracker_spec()));
}

}  // namespace vorn::py
