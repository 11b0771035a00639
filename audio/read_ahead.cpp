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
        changed_.notify_all();
        thread_.join();
    }

    bool next(int16_t* block) override {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [&] { return count_ > 0 || ended_; });
        if (count_ == 0) return false;
        // The slot is the reader's until count_ drops: the producer fills only free slots.
        const Slot& slot = slots_[head_];
        lock.unlock();
        std::memcpy(block, slot.samples.data(), sizeof slot.samples);
        progress_ = slot.progress;
        lock.lock();
        head_ = (head_ + 1) % kSlots;
        --count_;
        changed_.notify_all();
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
            changed_.wait(lock, [&] { return count_ < kSlots || stop_; });
            if (stop_) return;
            Slot& slot = slots_[(head_ + count_) % kSlots];
            lock.unlock();
            const bool got = source_->next(slot.samples.data());
            slot.progress = source_->progress();
            lock.lock();
            if (!got) {
                ended_ = true;
                error_ = source_->error();
                changed_.notify_all();
                return;
            }
            ++count_;
            changed_.notify_all();
        }
    }

    static constexpr int kSlots = 8;
    struct Slot {
        std::array<int16_t, kBlockWords> samples{};
        double progress = -1.0;
    };

    std::unique_ptr<BlockSource> source_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
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
