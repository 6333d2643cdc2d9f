// The session state machine under a fuzzed policy, on a host clock that mostly moves forward. The
// harness keeps the few facts that decide staleness (the attempt in progress, its start, the last
// connected epoch, the clock watermark) and checks every outcome against them: its shape, its
// state, the bounds of its delay, and that a dead session stays dead.
#include <algorithm>

#include "core/runtime/session.hpp"
#include "fuzz/driver.hpp"
#include "fuzz/policy_input.hpp"

namespace vorn::fuzz {

SessionPolicy policy_from(ByteReader& in) {
    Result<SessionPolicy> p = SessionPolicy::create(read_policy_settings(in), std::nullopt);
    return p ? p.value() : SessionPolicy::defaults();
}
Elapsed elapsed(double t) {
    return Elapsed::from_seconds(t).value();
}
JitterSample jitter(ByteReader& in) {
    return JitterSample::from_value(in.byte() / 255.0).value();
}
std::optional<Duration> retry_after(ByteReader& in) {
    return in.flag() ? std::nullopt : std::optional(read_duration(in));
}

struct SessionMachine {
    SessionPolicy policy;
    Counter epochs;
    Session session;
    double clock = 0;
    std::optional<std::uint64_t> current, connected;
    std::optional<double> attempt_start, last_seen;
    std::optional<DeadReason> dead_reason;
    SessionState state = SessionState::Connecting;  // as the last outcome reported it

    explicit SessionMachine(ByteReader& in)
        : policy(policy_from(in)), epochs(in), session(policy, epochs.next()) {}

    bool dead() const { return session.state() == SessionState::Dead; }
    // The clock steps forward, stands, or goes back a little.
    double now(ByteReader& in) {
        clock = std::max(0.0, clock + in.pick({0.0, 0.001, 1.0, 9.999, 10.0, 60.0, 300.0, 300.001,
                                               -0.5, -20.0}));
        return clock;
    }

    // The dead outcome, or the stale one the harness predicts, or none when the fact counts. A
    // report about an epoch is checked for it, then (a connect report) for a repeat, then for time;
    // a supersede (no epoch) only for predating the attempt.
    std::optional<SessionOutcome> refusal(std::optional<std::uint64_t> epoch, double t,
                                          bool connect = false) const {
        if (dead()) return SessionOutcome::dead(dead_reason);
        std::optional<StaleReason> stale;
        if (epoch && last_seen && t < *last_seen) stale = StaleReason::ClockRegression;
        if (connect && connected == epoch) stale = StaleReason::DuplicateConnected;
        if (epoch && epoch != current) stale = StaleReason::WrongEpoch;
        if (!epoch && attempt_start && t < *attempt_start) {
            stale = StaleReason::SupersedePredatesEpoch;
        }
        if (!stale) return std::nullopt;
        return SessionOutcome::stale(session.state(), *stale);
    }
    void expect(const SessionOutcome& got, const SessionOutcome& want) {
        require(got == want, "the outcome is the predicted one");
        state = got.state();
    }
    // A report about the attempt: refused as predicted (`want`), or it ends the attempt, and the
    // session dies or waits to reconnect, no longer than any bound allows and no shorter than
    // asked.
    void report(double t, const std::optional<SessionOutcome>& want, const SessionOutcome& got,
                bool terminal, SessionState before, const std::optional<Duration>& retry_after) {
        if (want) return expect(got, *want);
        last_seen = std::max(last_seen.value_or(t), t);
        current.reset();
        attempt_start.reset();
        if (terminal || got.state() == SessionState::Dead) {
            dead_reason = terminal ? DeadReason::Classified : DeadReason::RapidDisconnect;
            return expect(got, SessionOutcome::dead(dead_reason));
        }
        state = before == SessionState::Connecting ? before : SessionState::Reconnecting;
        require(
            got.state() == state && got.retry_after() && !got.dead_reason() && !got.stale_reason(),
            "a disconnect that is not final schedules a reconnect");
        const SessionPolicySettings& s = policy.settings();
        const Duration top =
            std::max({s.max_delay, s.rapid_first_min_delay, s.rapid_second_min_delay,
                      saturated(s.rapid_cooldown_max.seconds()), retry_after.value_or(Duration{})});
        const Duration delay = *got.retry_after();
        require(delay <= saturated(top.seconds()), "no delay exceeds every bound it may take");
        require(
            !retry_after || top.seconds() >= 0x1p63 || saturated(retry_after->seconds()) <= delay,
            "the platform's retry-after is a floor");
    }
    void check() const { require(session.state() == state, "the state is the last outcome's"); }

    void begin(ByteReader& in) {
        const double t = now(in);
        const std::optional<std::uint64_t> epoch = session.begin_attempt(elapsed(t));
        const bool refused = dead() || epochs.exhausted();
        require(epochs.record(epoch) != refused, "a new epoch until dead or out of epochs");
        if (refused) return;
        current = epoch;
        attempt_start = t;
        last_seen.reset();
    }

    void connect(ByteReader& in) {
        const std::uint64_t epoch = in.ticket(epochs.handed_out());
        const double t = now(in);
        const std::optional<SessionOutcome> want = refusal(epoch, t, true);
        expect(session.on_connected(epoch, elapsed(t)), want.value_or(SessionOutcome::connected()));
        if (want) return;
        last_seen = t;
        connected = epoch;
    }

    void disconnect(ByteReader& in) {
        const std::uint64_t epoch = in.ticket(epochs.handed_out());
        const double t = now(in);
        const bool upgrade = in.flag();
        const std::uint16_t code = upgrade ? in.pick<std::uint16_t>({400, 401, 403, 404, 409, 500})
                                           : in.pick<std::uint16_t>({1000, 1001, 1006, 4000});
        const bool no_code = !upgrade && in.flag();
        const std::optional<Duration> after = upgrade ? retry_after(in) : std::nullopt;
        const JitterSample j = jitter(in);
        const std::optional<SessionOutcome> want = refusal(epoch, t);
        const SessionState before = session.state();
        const SessionOutcome got =
            upgrade ? session.on_upgrade_rejected(epoch, elapsed(t), code, after, j)
                    : session.on_socket_close(
                          epoch, elapsed(t),
                          no_code ? std::nullopt : std::optional<std::uint16_t>(code), j);
        const bool terminal =
            upgrade ? classify_upgrade(code).terminal : !no_code && classify_close(code).terminal;
        report(t, want, got, terminal, before, after);
    }

    void supersede(ByteReader& in) {
        const double t = now(in);
        const bool retryable = in.flag();
        const std::optional<Duration> after = retry_after(in);
        const JitterSample j = jitter(in);
        const std::optional<SessionOutcome> want = refusal(std::nullopt, t);
        const SessionState before = session.state();
        const SessionOutcome got = session.on_supersede(elapsed(t), retryable, after, j);
        report(t, want, got, !retryable, before, after);
    }

    void end(ByteReader&) {
        if (!dead()) dead_reason.reset();
        require(session.end() == SessionState::Dead, "ending kills the session");
        state = SessionState::Dead;
    }
};

const std::array<Op<SessionMachine>, 5> kOps = {&SessionMachine::begin, &SessionMachine::connect,
                                                &SessionMachine::disconnect,
                                                &SessionMachine::supersede, &SessionMachine::end};

}  // namespace vorn::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return vorn::fuzz::run_ops(data, size, vorn::fuzz::kOps);
}
