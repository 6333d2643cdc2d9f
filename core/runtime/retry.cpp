#include "core/runtime/retry.hpp"

#include <algorithm>
#include <limits>

namespace vorn {

RetryTracker::RetryTracker(std::uint32_t max_retries, std::uint32_t max_tracked)
    : max_retries_(max_retries), max_tracked_(std::max<std::uint32_t>(max_tracked, 1)) {}

template <class Store, class... Value>
void RetryTracker::insert_bounded(Store& store, std::string_view message_id, Value&&... value) {
    bool inserted = false;
    if constexpr (sizeof...(Value) == 0) {
        inserted = store.insert(message_id).second;
    } else {
        inserted = store.try_emplace(message_id, std::forward<Value>(value)...).second;
    }
    if (!inserted) return;
    while (store.size() > max_tracked_) store.pop_oldest();
}

AttemptOutcome RetryTracker::record_attempt(std::string_view message_id) {
    AttemptState state{1, max_retries_};
    if (auto it = attempts_.find(message_id); it != attempts_.end()) {
        if (it->second.attempts < std::numeric_limits<std::uint32_t>::max()) {
            ++it->second.attempts;
        }
        state = it->second;
    } else {
        insert_bounded(attempts_, message_id, state);
    }
    const bool exhausted = state.attempts > state.max_retries;
    if (exhausted) mark_permanently_failed(message_id);
    return {state.attempts, exhausted};
}

void RetryTracker::mark_success(std::string_view message_id) {
    attempts_.erase(message_id);
}

void RetryTracker::discard_attempt(std::string_view message_id) {
    const auto it = attempts_.find(message_id);
    if (it == attempts_.end()) return;
    if (it->second.attempts > 1) {
        --it->second.attempts;
    } else {
        attempts_.erase(it);
    }
}

bool RetryTracker::is_permanently_failed(std::string_view message_id) const {
    return failed_.contains(message_id);
}

void RetryTracker::mark_permanently_failed(std::string_view message_id) {
    insert_bounded(failed_, message_id);
}

AttemptState RetryTracker::attempt_state(std::string_view message_id) const {
    const auto it = attempts_.find(message_id);
    return it == attempts_.end() ? AttemptState{0, max_retries_} : it->second;
}

void RetryTracker::restore_attempt(std::string_view message_id, std::uint32_t attempts,
                                   std::uint32_t max_retries) {
    AttemptState state{attempts, std::min(max_retries, max_retries_)};
    if (auto it = attempts_.find(message_id); it != attempts_.end()) {
        it->second.attempts = std::max(attempts, it->second.attempts);
        it->second.max_retries = std::min(max_retries, it->second.max_retries);
        state = it->second;
    } else {
        insert_bounded(attempts_, message_id, state);
    }
    if (state.attempts >= state.max_retries) mark_permanently_failed(message_id);
}

}  // namespace vorn
