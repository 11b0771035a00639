// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/read_ahead.h"

#include <array>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>

namespace nimbo {
namespace {

class ReadAheadSource final : public BlockSource {
  public:
    explicit ReadAheadSource(std::unique_ptr<BlockSource> source)
        : source_(std::move(source)), thread_([this] { produce(); }) {}

    ~ReadAheadSource() override {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stop_ = true;
        }
        space_.notify_all();
        thread_.join();
    }

    bool next(int16_t* block) override {
        std::unique_lock<std::mutex> lock(mutex_);
        ready_.wait(lock, [&] { return count_ > 0 || ended_; });
        if (count_ == 0) return false;
        // The slot is the reader's until count_ drops: the producer fills only free slots.
        const Slot& slot = slots_[head_];
        lock.unlock();
        std::memcpy(block, slot.samples.data(), sizeof slot.samples);
        progress_ = slot.progress;
        lock.lock();
        head_ = (head_ + 1) % kSlots;
        // The producer sleeps until only kLowWater blocks are left: one wake-up per batch
        // instead of one per block (each costs a context switch both ways).
        const bool wake = --count_ == kLowWater;
        lock.unlock();
        if (wake) space_.notify_one();
        return true;
    }

    std::string error() const override {
        std::lock_guard<std::mutex> lock(mutex_);
        return error_;
    }

    double progress() const override { return progress_; }

  private:
    void produce() {
        for (;;) {
            std::unique_lock<std::mutex> lock(mutex_);
            if (count_ == kSlots) space_.wait(lock, [&] { return count_ <= kLowWater || stop_; });
            if (stop_) return;
            Slot& slot = slots_[(head_ + count_) % kSlots];
            lock.unlock();
            const bool got = source_->next(slot.samples.data());
            slot.progress = source_->progress();
            lock.lock();
            if (!got) {
                ended_ = true;
                error_ = source_->error();
                lock.unlock();
                ready_.notify_one();
                return;
            }
            ++count_;
            lock.unlock();
            ready_.notify_one();
        }
    }

    static constexpr int kSlots = 16;
    static constexpr int kLowWater = 4;
    struct Slot {
        std::array<int16_t, kBlockWords> samples{};
        double progress = -1.0;
    };

    std::unique_ptr<BlockSource> source_;
    mutable std::mutex mutex_;
    std::condition_variable ready_; // a block or the end for the reader
    std::condition_variable space_; // free slots (or stop) for the producer
    std::array<Slot, kSlots> slots_{};
    int head_ = 0, count_ = 0; // the oldest full slot, how many are full
    bool ended_ = false, stop_ = false;
    std::string error_;
    double progress_ = -1.0; // the reader's own
    std::thread thread_;     // last: it starts once everything above is built
};

} // namespace

std::unique_ptr<BlockSource> readAhead(std::unique_ptr<BlockSource> source) {
    return std::make_unique<ReadAheadSource>(std::move(source));
}

} // namespace nimbo
