// DecisionRegistry, CancelledDecisions and is_authorized_sender: the Python face of pending asks.
#include "core/runtime/decisions.hpp"

#include <limits>

#include "python/enumerations.hpp"
#include "python/exports.hpp"
#include "python/toolkit/access.hpp"
#include "python/toolkit/class_type.hpp"
#include "python/toolkit/values.hpp"

namespace vorn::py {

namespace {

// ---- CancelledDecisions: immutable, so its attributes need no access flag.

Ref unclaimed_of(const CancelledDecisions& c) {
    return make_str_list(c.unclaimed);
}
Ref claimed_of(const CancelledDecisions& c) {
    return make_str_list(c.claimed);
}

PyGetSetDef cancelled_getset[] = {value_property<CancelledDecisions, unclaimed_of>("unclaimed"),
                                  value_property<CancelledDecisions, claimed_of>("claimed"),
                                  {nullptr, nullptr, nullptr, nullptr, nullptr}};

ClassSpec<CancelledDecisions>& cancelled_spec() {
    static ClassSpec<CancelledDecisions> definition{
        "CancelledDecisions",
        std::nullopt,
        nullptr,
        {},
        cancelled_getset,
        "What a cancellation removed, oldest first: `unclaimed` asks the caller\n"
        "resolves, and `claimed` ones whose claimant still does."};
    return definition;
}

// ---- DecisionRegistry

constexpr auto kRegistryCtor =
    function("DecisionRegistry",
             "Pending chat-mediated asks by token, oldest first. Every registration\n"
             "returns `(token, ticket)`; later calls name that exact registration, so a\n"
             "stale holder never acts on a newer ask that reused the token.",
             kwarg("max_pending", "None"), kwarg("seed", "None"));

// Eight bytes of the host's os.urandom, read little-endian.
std::uint64_t random_seed() {
    Ref os = Ref::check(PyImport_ImportModule("os"));
    Ref bytes = Ref::check(PyObject_CallMethod(os.get(), "urandom", "i", 8));
    if (!PyBytes_Check(bytes.get()) || PyBytes_Size(bytes.get()) != 8) {
        raise_type_error("os.urandom(8) must return 8 bytes");
    }
    const char* data = PyBytes_AsString(bytes.get());
    if (!data) throw_error_already_set();
    std::uint64_t seed = 0;
    for (int i = 7; i >= 0; --i) seed = (seed << 8) | static_cast<unsigned char>(data[i]);
    return seed;
}

DecisionRegistry construct_registry(const Arguments& args, PyObject*&) {
    // Read as a signed value so that a negative limit gets the range message, not an overflow.
    std::optional<std::uint32_t> max_pending;
    if (args.given(0) && args[0] != Py_None) {
        max_pending =
            static_cast<std::uint32_t>(checked_int("max_pending", args.get<std::int64_t>(0), 1,
                                                   std::numeric_limits<std::uint32_t>::max()));
    }
    if (!args.given(1) || args[1] == Py_None) return DecisionRegistry(random_seed(), max_pending);
    // Read at full width: a negative or oversized seed gets the range message with its value.
    Ref seed = args.convert(1, [](PyObject* obj) { return Ref::check(PyNumber_Index(obj)); });
    return DecisionRegistry(
        checked_int("seed", seed.get(), 0, std::numeric_limits<std::uint64_t>::max()), max_pending);
}

DecisionRegistry& registry(PyObject* self) {
    return *instance<DecisionRegistry>(self).value;
}
BorrowFlag& flag(PyObject* self) {
    return instance<DecisionRegistry>(self).flag;
}

Ref registration(const std::optional<DecisionRegistry::Registration>& r) {
    if (!r) return none();
    return make_pair(make_str(r->token), make_uint(r->ticket));
}

Ref cancelled(CancelledDecisions result) {
    return wrap(cancelled_spec(), std::move(result));
}

constexpr auto kRegisterMinted = method("register_minted", "", arg("room_id", "None"));
Ref register_minted(PyObject* self, const Arguments& args) {
    ExclusiveAccess access(flag(self));
    return registration(
        registry(self).register_minted(args.get<std::optional<std::string_view>>(0)));
}

constexpr auto kRegisterKeyed = method("register_keyed", "", arg("key"));
Ref register_keyed(PyObject* self, const Arguments& args) {
    ExclusiveAccess access(flag(self));
    return registration(registry(self).register_keyed(args.get<std::string_view>(0)));
}

constexpr auto kTryClaim = method("try_claim", "", arg("token"), arg("ticket"));
Ref try_claim(PyObject* self, const Arguments& args) {
    ExclusiveAccess access(flag(self));
    const auto token = args.get<std::string_view>(0);
    return to_py(registry(self).try_claim(token, args.get<std::uint64_t>(1)));
}

constexpr auto kWithdraw = method("withdraw", "", arg("token"), arg("ticket"));
Ref withdraw(PyObject* self, const Arguments& args) {
    ExclusiveAccess access(flag(self));
    const auto token = args.get<std::string_view>(0);
    return make_bool(registry(self).withdraw(token, args.get<std::uint64_t>(1)));
}

constexpr auto kForget = method("forget", "", arg("token"), arg("ticket"));
Ref forget(PyObject* self, const Arguments& args) {
    ExclusiveAccess access(flag(self));
    const auto token = args.get<std::string_view>(0);
    return make_bool(registry(self).forget(token, args.get<std::uint64_t>(1)));
}

constexpr auto kUnclaimed = method("unclaimed", "");
Ref unclaimed(PyObject* self, const Arguments&) {
    SharedAccess access(flag(self));
    const DecisionRegistry& r = registry(self);
    return make_list_of(r.unclaimed_count(), [&](auto add) {
        r.for_each_unclaimed([&](std::string_view token) { add(make_str(token)); });
    });
}

constexpr auto kUnclaimedInRoom = method("unclaimed_in_room", "", arg("room_id"));
Ref unclaimed_in_room(PyObject* self, const Arguments& args) {
    SharedAccess access(flag(self));
    return make_str_list(registry(self).unclaimed_in_room(args.get<std::string_view>(0)));
}

constexpr auto kUnclaimedCount = method("unclaimed_count", "");
Ref unclaimed_count(PyObject* self, const Arguments&) {
    SharedAccess access(flag(self));
    return make_uint(registry(self).unclaimed_count());
}

constexpr auto kOldestUnclaimed = method("oldest_unclaimed", "");
Ref oldest_unclaimed(PyObject* self, const Arguments&) {
    SharedAccess access(flag(self));
    return make_optional_str(registry(self).oldest_unclaimed());
}

constexpr auto kEvictOldest = method("evict_oldest", "");
Ref evict_oldest(PyObject* self, const Arguments&) {
    ExclusiveAccess access(flag(self));
    return make_optional_str(registry(self).evict_oldest());
}

constexpr auto kCancelAll = method("cancel_all", "");
Ref cancel_all(PyObject* self, const Arguments&) {
    ExclusiveAccess access(flag(self));
    return cancelled(registry(self).cancel_all());
}

constexpr auto kCancelRoom = method("cancel_room", "", arg("room_id"));
Ref cancel_room(PyObject* self, const Arguments& args) {
    ExclusiveAccess access(flag(self));
    return cancelled(registry(self).cancel_room(args.get<std::string_view>(0)));
}

Ref max_pending(PyObject* self) {
    SharedAccess access(flag(self));
    const auto limit = registry(self).max_pending();
    return limit ? make_uint(*limit) : none();
}

PyMethodDef registry_methods[] = {method_def<kRegisterMinted, register_minted>(),
                                  method_def<kRegisterKeyed, register_keyed>(),
                                  method_def<kTryClaim, try_claim>(),
                                  method_def<kWithdraw, withdraw>(),
                                  method_def<kForget, forget>(),
                                  method_def<kUnclaimed, unclaimed>(),
                                  method_def<kUnclaimedInRoom, unclaimed_in_room>(),
                                  method_def<kUnclaimedCount, unclaimed_count>(),
                                  method_def<kOldestUnclaimed, oldest_unclaimed>(),
                                  method_def<kEvictOldest, evict_oldest>(),
                                  method_def<kCancelAll, cancel_all>(),
                                  method_def<kCancelRoom, cancel_room>(),
                                  {nullptr, nullptr, 0, nullptr}};
PyGetSetDef registry_getset[] = {property_def<max_pending>("max_pending"),
                                 {nullptr, nullptr, nullptr, nullptr, nullptr}};

ClassSpec<DecisionRegistry>& registry_spec() {
    static ClassSpec<DecisionRegistry> definition{"DecisionRegistry", kRegistryCtor,
                                                  construct_registry, registry_methods,
                                                  registry_getset,    kRegistryCtor.doc};
    return definition;
}

// ---- is_authorized_sender

constexpr auto kIsAuthorizedSender =
    function("is_authorized_sender",
             "Whether `sender_id` may answer an ask: `None` admits anyone; any set --\n"
             "empty included -- admits only its members. Raises `TypeError` unless\n"
             "`authorized_senders` is a `set`, `frozenset`, or `None`.",
             arg("authorized_senders"), arg("sender_id"));

// Walks the whole set so that a non-str member is refused whatever the sender; membership is
// exact string equality, never a str subclass's own __eq__.
bool set_holds(PyObject* senders, std::optional<std::string_view> sender_id) {
    Ref it = Ref::check(PyObject_GetIter(senders));
    bool found = false;
    while (Ref item = Ref::steal(PyIter_Next(it.get()))) {
        if (!PyUnicode_Check(item.get())) {
            raise_type_error("argument 'authorized_senders' must hold only str, not " +
                             type_name(item.get()));
        }
        found = found || (sender_id && utf8_view(item.get()) == *sender_id);
    }
    if (PyErr_Occurred()) throw_error_already_set();
    return found;
}

Ref is_authorized_sender(PyObject*, const Arguments& args) {
    PyObject* senders = args[0];
    if (senders != Py_None && !PySet_Check(senders) && !PyFrozenSet_Check(senders)) {
        args.convert(0, [](PyObject* obj) -> int {
            raise_wrong_argument_type("authorized_senders", "set, frozenset or None", obj);
        });
    }
    const auto sender_id = args.get<std::optional<std::string_view>>(1);
    if (senders == Py_None) return make_bool(true);
    return make_bool(args.convert(0, [&](PyObject* obj) { return set_holds(obj, sender_id); }));
}

}  // namespace

Ref export_cancelled_decisions() {
    return Ref::borrow(type_object(cancelled_spec()));
}

Ref export_decision_registry() {
    return Ref::borrow(type_object(registry_spec()));
}

Ref export_is_authorized_sender() {
    return new_function<kIsAuthorizedSender, is_authorized_sender>();
}

}  // namespace vorn::py
