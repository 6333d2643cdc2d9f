#include "core/runtime/retry.hpp"

#include <algorithm>
#include <limits>

namespace vorn {

RetryTracker::RetryTracker(std::uint32_t max_retries, std::uint32_t max_tracked)
    : max_retries_(max_retries), max_tracked_(std::max<std::uint32_t>(max_tracked, 1)) {}

SlotIndex RetryTracker::obtain(const HashedText& message_id) {
    const SlotIndex slot = ids_.insert(FlatKey(message_id)).first;
    idle_.revive(slot);
    return slot;
}

void RetryTracker::trim(IndexList& store, Links Tracked::*order, bool Tracked::*fact) {
    while (store.size() > max_tracked_) {
        const SlotIndex oldest = store.front();
        store.unlink(oldest, links_in(ids_, order));
        // The entry has this fact; it keeps nothing unless it has the other one too. Read before
        // the write: the flags share a word, and reading it whole right after writing one stalls.
        const bool held_only_that = !ids_[oldest].has_state || !ids_[oldest].failed;
        ids_[oldest].*fact = false;
        if (held_only_that) ids_.erase(oldest);
    }
}

void RetryTracker::start_state(SlotIndex slot, AttemptState state) {
    ids_[slot].state = state;
    ids_[slot].has_state = true;
    attempts_.push_back(slot, attempt_links());
    trim(attempts_, &Tracked::attempt_order, &Tracked::has_state);
}

void RetryTracker::mark_failed(SlotIndex slot) {
    if (ids_[slot].failed) return;
    ids_[slot].failed = true;
    failed_.push_back(slot, failed_links());
    trim(failed_, &Tracked::failed_order, &Tracked::failed);
}

void RetryTracker::drop_state(SlotIndex slot) {
    attempts_.unlink(slot, attempt_links());
    ids_[slot].has_state = false;
    if (ids_[slot].failed) return;
    if (const SlotIndex earlier = idle_.replace(slot); earlier != kNoSlot) ids_.erase(earlier);
}

AttemptOutcome RetryTracker::record_attempt(const HashedText& message_id) {
    const SlotIndex slot = obtain(message_id);
    AttemptState state{1, max_retries_};
    if (Tracked& t = ids_[slot]; t.has_state) {
        if (t.state.attempts < std::numeric_limits<std::uint32_t>::max()) ++t.state.attempts;
        state = t.state;
    } else {
        start_state(slot, state);
    }
    const bool exhausted = state.attempts > state.max_retries;
    if (exhausted) mark_failed(slot);
    return {state.attempts, exhausted};
}

void RetryTracker::mark_success(const HashedText& message_id) {
    const SlotIndex slot = ids_.find(FlatKey(message_id));
    if (slot != kNoSlot && ids_[slot].has_state) drop_state(slot);
}

void RetryTracker::discard_attempt(const HashedText& message_id) {
    const SlotIndex slot = ids_.find(FlatKey(message_id));
    if (slot == kNoSlot || !ids_[slot].has_state) return;
    if (ids_[slot].state.attempts > 1) {
        --ids_[slot].state.attempts;
    } else {
        drop_state(slot);
    }
}

bool RetryTracker::is_permanently_failed(const HashedText& message_id) const {
    const SlotIndex slot = ids_.find(FlatKey(message_id));
    return slot != kNoSlot && ids_[slot].failed;
}

void RetryTracker::mark_permanently_failed(const HashedText& message_id) {
    mark_failed(obtain(message_id));
}

AttemptState RetryTracker::attempt_state(const HashedText& message_id) const {
    const SlotIndex slot = ids_.find(FlatKey(message_id));
    if (slot == kNoSlot || !ids_[slot].has_state) return {0, max_retries_};
    return ids_[slot].state;
}

void RetryTracker::restore_attempt(const HashedText& message_id, std::uint32_t attempts,
                                   std::uint32_t max_retries) {
    const SlotIndex slot = obtain(message_id);
    AttemptState state{attempts, std::min(max_retries, max_retries_)};
    if (Tracked& t = ids_[slot]; t.has_state) {
        t.state.attempts = std::max(attempts, t.state.attempts);
        t.state.max_retries = std::min(max_retries, t.state.max_retries);
        state = t.state;
    } else {
        start_state(slot, state);
    }
    if (state.attempts >= state.max_retries) mark_failed(slot);
}

}  // namespace vorn
