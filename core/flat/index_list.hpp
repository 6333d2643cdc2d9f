// An order over slots of a flat table, kept by 32-bit links inside the slots' values rather than
// by list nodes: append, unlink anywhere and move to the back are O(1). The list holds only its
// ends and length; `links(i)` gives the Links of slot i. A walk that reads `next` before it acts
// may unlink the slot it stands on.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vorn {

using SlotIndex = std::uint32_t;
inline constexpr SlotIndex kNoSlot = 0xFFFFFFFFu;

struct Links {
    SlotIndex prev = kNoSlot;
    SlotIndex next = kNoSlot;
};

// The accessor of the Links at `member` of each value of `table`.
template <class Table, class Value>
auto links_in(Table& table, Links Value::*member) {
    return [&table, member](SlotIndex i) -> Links& { return table[i].*member; };
}

class IndexList {
  public:
    SlotIndex front() const { return head_; }
    SlotIndex back() const { return tail_; }
    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }

    template <class LinksOf>
    void push_back(SlotIndex i, LinksOf&& links) {
        Links& l = links(i);
        l.prev = tail_;
        l.next = kNoSlot;
        if (tail_ == kNoSlot) {
            head_ = i;
        } else {
            links(tail_).next = i;
        }
        tail_ = i;
        ++size_;
    }

    template <class LinksOf>
    void unlink(SlotIndex i, LinksOf&& links) {
        Links& l = links(i);
        if (l.prev == kNoSlot) {
            head_ = l.next;
        } else {
            links(l.prev).next = l.next;
        }
        if (l.next == kNoSlot) {
            tail_ = l.prev;
        } else {
            links(l.next).prev = l.prev;
        }
        l = Links{};
        --size_;
    }

    template <class LinksOf>
    void move_to_back(SlotIndex i, LinksOf&& links) {
        if (i == tail_) return;
        unlink(i, links);
        push_back(i, links);
    }

    void clear() { *this = IndexList{}; }

  private:
    SlotIndex head_ = kNoSlot;
    SlotIndex tail_ = kNoSlot;
    std::size_t size_ = 0;
};

}  // namespace vorn
