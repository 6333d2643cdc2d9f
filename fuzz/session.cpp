// The session state machine under a fuzzed policy, on a host clock that mostly moves forward. The
// harness keeps the few facts that decide staleness (the attempt in progress, its start, the last
// connected epoch, the clock watermark) and checks every outcome against them: its shape, its
// state, the bounds of its delay, and that a dead session stays dead.
#include <algorithm>

#include "core/runtime/session.hpp"
#include "fuzz/driver.hpp"
#include "fuzz/policy_input.hpp"

using namespace vorn;
using fuzz::ByteReader;
using fuzz::require;

namespace {

SessionPolicy policy_from(ByteReader& in) {
    Result<SessionPolicy> p = SessionPolicy::create(fuzz::read_policy_settings(in), std::nullopt);
    return p ? p.value() : SessionPolicy::defaults();
}

Duration saturated(double seconds) {
    return round_to_nanosecond(seconds).value_or(Duration::max());
}

struct SessionMachine {
    SessionPolicy policy;
    fuzz::Counter epochs;
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
    Elapsed elapsed(double t) const { return Elapsed::from_seconds(t).value(); }
    JitterSample jitter(ByteReader& in) const {
        return JitterSample::from_value(in.byte() / 255.0).value();
    }
    std::optional<Duration> retry_after(ByteReader& in) const {
        if (in.flag()) return std::nullopt;
        return fuzz::read_duration(in);
    }

    // The dead outcome, or the stale one the harness predicts, or none when the fact counts. A
    // report about an epoch is checked for it, then (a connect report) for a repeat, then for time.
    std::optional<SessionOutcome> refusal(std::optional<std::uint64_t> epoch, double t,
                                          bool connect = false) const {
        if (dead()) return SessionOutcome::dead(dead_reason);
        if (epoch && epoch != current) {
            return SessionOutcome::stale(session.state(), StaleReason::WrongEpoch);
        }
        if (connect && connected == epoch) {
            return SessionOutcome::stale(session.state(), StaleReason::DuplicateConnected);
        }
        if (epoch && last_seen && t < *last_seen) {
            return SessionOutcome::stale(session.state(), StaleReason::ClockRegression);
        }
        return std::nullopt;
    }
    void expect(const SessionOutcome& got, const SessionOutcome& want) {
        require(got == want, "the outcome is the predicted one");
        state = got.state();
    }
    // The attempt is over: the report counted, and the session dies or waits to reconnect.
    void ended(double t, const SessionOutcome& got, bool terminal, SessionState before,
               const std::optional<Duration>& retry_after) {
        last_seen = std::max(last_seen.value_or(t), t);
        current.reset();
        attempt_start.reset();
        if (terminal)
            return expect(got, SessionOutcome::dead(dead_reason = DeadReason::Classified));
        if (got.state() == SessionState::Dead) {
            return expect(got, SessionOutcome::dead(dead_reason = DeadReason::RapidDisconnect));
        }
        const SessionState next = before == SessionState::Connecting ? SessionState::Connecting
                                                                     : SessionState::Reconnecting;
        require(
            got.state() == next && got.retry_after() && !got.dead_reason() && !got.stale_reason(),
            "a disconnect that is not final schedules a reconnect");
        state = next;
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
};

using Op = fuzz::Op<SessionMachine>;

const std::array kOps = {
    Op([](SessionMachine& m, ByteReader& in) {
        const double t = m.now(in);
        const std::optional<std::uint64_t> epoch = m.session.begin_attempt(m.elapsed(t));
        const bool refused = m.dead() || m.epochs.exhausted();
        require(m.epochs.record(epoch) != refused, "a new epoch until dead or out of epochs");
        if (refused) return;
        m.current = epoch;
        m.attempt_start = t;
        m.last_seen.reset();
    }),
    Op([](SessionMachine& m, ByteReader& in) {
        const std::uint64_t epoch = in.ticket(m.epochs.handed_out());
        const double t = m.now(in);
        const std::optional<SessionOutcome> want = m.refusal(epoch, t, true);
        const SessionOutcome got = m.session.on_connected(epoch, m.elapsed(t));
        if (want) return m.expect(got, *want);
        m.expect(got, SessionOutcome::connected());
        m.last_seen = t;
        m.connected = epoch;
    }),
    Op([](SessionMachine& m, ByteReader& in) {
        const std::uint64_t epoch = in.ticket(m.epochs.handed_out());
        const double t = m.now(in);
        const bool upgrade = in.flag();
        const std::uint16_t code = upgrade ? in.pick<std::uint16_t>({400, 401, 403, 404, 409, 500})
                                           : in.pick<std::uint16_t>({1000, 1001, 1006, 4000});
        const bool no_code = !upgrade && in.flag();
        const std::optional<Duration> retry_after = upgrade ? m.retry_after(in) : std::nullopt;
        const JitterSample j = m.jitter(in);
        const std::optional<SessionOutcome> want = m.refusal(epoch, t);
        const SessionState before = m.session.state();
        const SessionOutcome got =
            upgrade ? m.session.on_upgrade_rejected(epoch, m.elapsed(t), code, retry_after, j)
                    : m.session.on_socket_close(
                          epoch, m.elapsed(t),
                          no_code ? std::nullopt : std::optional<std::uint16_t>(code), j);
        if (want) return m.expect(got, *want);
        const bool terminal =
            upgrade ? classify_upgrade(code).terminal : !no_code && classify_close(code).terminal;
        m.ended(t, got, terminal, before, retry_after);
    }),
    Op([](SessionMachine& m, ByteReader& in) {
        const double t = m.now(in);
        const bool retryable = in.flag();
        const std::optional<Duration> retry_after = m.retry_after(in);
        const JitterSample j = m.jitter(in);
        std::optional<SessionOutcome> want = m.refusal(std::nullopt, t);
        if (!want && m.attempt_start && t < *m.attempt_start) {
            want = SessionOutcome::stale(m.session.state(), StaleReason::SupersedePredatesEpoch);
        }
        const SessionState before = m.session.state();
        const SessionOutcome got = m.session.on_supersede(m.elapsed(t), retryable, retry_after, j);
        if (want) return m.expect(got, *want);
        m.ended(t, got, !retryable, before, retry_after);
    }),
    Op([](SessionMachine& m, ByteReader&) {
        if (!m.dead()) m.dead_reason.reset();
        require(m.session.end() == SessionState::Dead, "ending kills the session");
        m.state = SessionState::Dead;
        m.current.reset();
        m.attempt_start.reset();
    }),
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return fuzz::run_ops(data, size, kOps);
}
