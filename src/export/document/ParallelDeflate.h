#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace qm {

// Compresses one stream into one raw deflate stream (as a ZIP entry holds it)
// on worker threads. The caller fills blocks; each block is compressed on its
// own, primed with the last 32 KiB of the block before as its dictionary and
// ended on a byte boundary, so the pieces join into one valid stream and
// compress almost as well as a single pass. Compressed pieces come back, in
// order, through the write callback on the caller's thread; the number of
// blocks in flight is bounded, so memory stays flat.
class ParallelDeflater {
  public:
    using Writer = std::function<void(std::string_view compressed)>;

    // threads: number of compressing threads, from 1 to kMaxThreads (more
    // are cut to kMaxThreads).
    ParallelDeflater(int level, int threads, Writer write);
    ~ParallelDeflater();
    ParallelDeflater(const ParallelDeflater&) = delete;
    ParallelDeflater& operator=(const ParallelDeflater&) = delete;

    // The block being filled. Append data, then submit() when it is big enough.
    // Throws qm::Failure after a submit() or finish() that failed.
    std::string& block();
    // Hands the block to a worker and starts a new one; writes whatever has
    // been compressed meanwhile. Throws what the writer throws, or qm::Failure.
    void submit();
    // Compresses the rest as the end of the stream and writes everything.
    void finish();

    // Of everything submitted so far, the current block included.
    std::uint64_t inputBytes() const { return submittedBytes_ + (current_ ? current_->input.size() : 0); }
    // CRC-32 of the whole input; valid after finish().
    std::uint32_t crc() const { return crc_; }

    // Preferred block size: big enough that the per-block cost vanishes.
    static constexpr std::size_t kBlockSize = 1024 * 1024;
    // Each thread keeps about two blocks in memory; four threads keep the
    // document's compression within about 16 MiB on any machine, and more
    // barely speed up a writer that is fed by one reading thread.
    static constexpr int kMaxThreads = 4;
    int threads() const { return static_cast<int>(workers_.size()); }

  private:
    struct Block {
        std::string input;
        std::string dictionary;
        std::string output;  // sized to its capacity; outputSize bytes hold data
        std::size_t outputSize = 0;
        std::uint32_t crc = 0;
        bool last = false;
        bool done = false;
        int error = 0;  // a zlib error code
    };

    void work();
    void enqueue(Block* block);
    Block* acquire();
    void writeFront(std::unique_lock<std::mutex>& lock);
    static void compress(Block& block, void* stream);

    int level_;
    Writer write_;
    std::vector<std::unique_ptr<Block>> blocks_;
    std::vector<Block*> free_;
    std::deque<Block*> inFlight_;  // submitted, oldest first
    std::deque<Block*> queue_;     // waiting for a worker
    Block* current_ = nullptr;
    std::string tail_;  // last bytes of the previous block, the next one's dictionary
    std::uint64_t submittedBytes_ = 0;
    std::uint32_t crc_ = 0;
    bool finished_ = false;

    std::mutex mutex_;
    std::condition_variable workReady_;
    std::condition_variable blockDone_;
    bool stopping_ = false;
    std::vector<std::thread> workers_;
};

}  // namespace qm
