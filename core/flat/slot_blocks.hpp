// The slots of a flat table, in blocks of 64: a slot's number is its place, growing allocates one
// more block and never moves a slot, and finding a slot is a shift and a mask.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

namespace vorn {

template <class Slot>
class SlotBlocks {
  public:
    SlotBlocks() = default;
    SlotBlocks(const SlotBlocks& other) : count_(other.count_) {
        blocks_.reserve(other.blocks_.size());
        for (const auto& block : other.blocks_) {
            blocks_.push_back(std::make_unique<Slot[]>(kBlock));
            std::copy_n(block.get(), kBlock, blocks_.back().get());
        }
    }
    SlotBlocks& operator=(const SlotBlocks& other) {
        if (this != &other) {
            SlotBlocks copy(other);
            *this = std::move(copy);
        }
        return *this;
    }
    SlotBlocks(SlotBlocks&& other) noexcept
        : blocks_(std::move(other.blocks_)), count_(std::exchange(other.count_, 0)) {
        other.blocks_.clear();
    }
    SlotBlocks& operator=(SlotBlocks&& other) noexcept {
        if (this != &other) {
            blocks_ = std::move(other.blocks_);
            count_ = std::exchange(other.count_, 0);
            other.blocks_.clear();
        }
        return *this;
    }
    ~SlotBlocks() = default;

    std::size_t size() const { return count_; }
    Slot& operator[](std::uint32_t i) { return blocks_[i >> kBits][i & (kBlock - 1)]; }
    const Slot& operator[](std::uint32_t i) const { return blocks_[i >> kBits][i & (kBlock - 1)]; }

    void push_back(Slot slot) {
        if ((count_ & (kBlock - 1)) == 0) {
            blocks_.reserve(blocks_.size() + 1);  // a failure leaves nothing half made
            blocks_.push_back(std::make_unique<Slot[]>(kBlock));
        }
        (*this)[static_cast<std::uint32_t>(count_)] = std::move(slot);
        ++count_;
    }

    void clear() {
        std::vector<std::unique_ptr<Slot[]>>().swap(blocks_);
        count_ = 0;
    }

  private:
    static constexpr unsigned kBits = 6;
    static constexpr std::size_t kBlock = std::size_t{1} << kBits;

    std::vector<std::unique_ptr<Slot[]>> blocks_;
    std::size_t count_ = 0;
};

}  // namespace vorn
