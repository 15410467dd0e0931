#include "ParallelDeflate.h"

#include "shell/Failure.h"

#include <zlib.h>
#include <algorithm>
#include <exception>
#include <utility>

namespace qm {

namespace {

constexpr std::size_t kWindowSize = 32 * 1024;

// A raw deflate stream owned for the life of a worker.
class DeflateStream {
  public:
    explicit DeflateStream(int level) {
        status_ = deflateInit2(&stream_, level, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    }
    ~DeflateStream() {
        if (status_ == Z_OK)
            deflateEnd(&stream_);
    }
    DeflateStream(const DeflateStream&) = delete;
    DeflateStream& operator=(const DeflateStream&) = delete;

    int status() const { return status_; }
    z_stream* get() { return &stream_; }

  private:
    z_stream stream_{};
    int status_ = Z_STREAM_ERROR;
};

}  // namespace

ParallelDeflater::ParallelDeflater(int level, int threads, Writer write)
    : level_(level), write_(std::move(write)) {
    threads = std::clamp(threads, 1, kMaxThreads);
    // Two spare blocks: one being filled, one written while the workers run.
    const int blockCount = threads + 2;
    for (int i = 0; i < blockCount; ++i) {
        blocks_.push_back(std::make_unique<Block>());
        free_.push_back(blocks_.back().get());
    }
    current_ = acquire();
    for (int i = 0; i < threads; ++i)
        workers_.emplace_back([this] { work(); });
}

ParallelDeflater::~ParallelDeflater() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        queue_.clear();
    }
    workReady_.notify_all();
    for (auto& worker : workers_)
        worker.join();
}

void ParallelDeflater::work() {
    DeflateStream stream(level_);
    std::unique_lock lock(mutex_);
    for (;;) {
        workReady_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
        if (stopping_)
            return;
        Block* block = queue_.front();
        queue_.pop_front();
        lock.unlock();
        if (stream.status() == Z_OK)
            compress(*block, stream.get());
        else
            block->error = stream.status();
        lock.lock();
        block->done = true;
        blockDone_.notify_all();
    }
}

void ParallelDeflater::compress(Block& block, void* opaque) {
    auto* stream = static_cast<z_stream*>(opaque);
    block.crc = static_cast<std::uint32_t>(
        crc32_z(0, reinterpret_cast<const Bytef*>(block.input.data()), block.input.size()));
    int status = deflateReset(stream);
    if (status == Z_OK && !block.dictionary.empty())
        status = deflateSetDictionary(stream, reinterpret_cast<const Bytef*>(block.dictionary.data()),
                                      static_cast<uInt>(block.dictionary.size()));
    if (status != Z_OK) {
        block.error = status;
        return;
    }
    // A flushed block ends on a byte boundary with an empty stored block; the
    // last one ends the stream.
    const int flush = block.last ? Z_FINISH : Z_SYNC_FLUSH;
    // The buffer only grows, so it is not cleared again for every block.
    const std::size_t bound = deflateBound(stream, block.input.size()) + 64;
    if (block.output.size() < bound)
        block.output.resize(bound);
    stream->next_in = reinterpret_cast<Bytef*>(block.input.data());
    stream->avail_in = static_cast<uInt>(block.input.size());
    std::size_t produced = 0;
    for (;;) {
        stream->next_out = reinterpret_cast<Bytef*>(block.output.data() + produced);
        stream->avail_out = static_cast<uInt>(block.output.size() - produced);
        status = deflate(stream, flush);
        produced = block.output.size() - stream->avail_out;
        if (status == Z_STREAM_END ||
            (status == Z_OK && stream->avail_in == 0 && stream->avail_out > 0 && flush == Z_SYNC_FLUSH))
            break;
        if (status != Z_OK && status != Z_BUF_ERROR) {
            block.error = status;
            return;
        }
        block.output.resize(block.output.size() * 2);
    }
    block.outputSize = produced;
}

ParallelDeflater::Block* ParallelDeflater::acquire() {
    std::unique_lock lock(mutex_);
    while (free_.empty())
        writeFront(lock);
    Block* block = free_.back();
    free_.pop_back();
    block->input.clear();
    block->last = false;
    block->done = false;
    block->error = 0;
    return block;
}

// Waits for the oldest block, writes it and frees it. Called and returns
// with the lock held.
void ParallelDeflater::writeFront(std::unique_lock<std::mutex>& lock) {
    Block* block = inFlight_.front();
    blockDone_.wait(lock, [block] { return block->done; });
    inFlight_.pop_front();
    lock.unlock();
    std::exception_ptr failure;
    try {
        if (block->error != 0)
            throw Failure(QStringLiteral("Could not compress the document (zlib error %1)").arg(block->error),
                          block->error);
        crc_ = static_cast<std::uint32_t>(
            crc32_combine(crc_, block->crc, static_cast<z_off_t>(block->input.size())));
        write_(std::string_view(block->output.data(), block->outputSize));
    } catch (...) {
        failure = std::current_exception();
    }
    lock.lock();
    free_.push_back(block);  // back in the pool whatever happened, so every block stays owned
    if (failure)
        std::rethrow_exception(failure);
}

void ParallelDeflater::enqueue(Block* block) {
    // The block's dictionary is the window before it: the last 32 KiB of
    // everything submitted so far.
    block->dictionary = tail_;
    const std::string& input = block->input;
    if (input.size() >= kWindowSize) {
        tail_.assign(input, input.size() - kWindowSize, kWindowSize);
    } else {
        tail_.append(input);
        if (tail_.size() > kWindowSize)
            tail_.erase(0, tail_.size() - kWindowSize);
    }
    submittedBytes_ += block->input.size();
    {
        std::lock_guard lock(mutex_);
        inFlight_.push_back(block);
        queue_.push_back(block);
    }
    workReady_.notify_one();
}

std::string& ParallelDeflater::block() {
    if (!current_)
        throw Failure(QStringLiteral("The document could not be compressed: an earlier step failed"));
    return current_->input;
}

void ParallelDeflater::submit() {
    // The submitted block belongs to a worker now: it is no longer ours to
    // fill, even when acquiring the next one fails.
    Block* submitted = std::exchange(current_, nullptr);
    if (!submitted)
        throw Failure(QStringLiteral("The document could not be compressed: an earlier step failed"));
    enqueue(submitted);
    current_ = acquire();
    // Write what is ready without waiting. A failure here fails the submit as
    // one while acquiring does: the fresh block goes back to the pool, and
    // the deflater takes no more text.
    std::unique_lock lock(mutex_);
    try {
        while (!inFlight_.empty() && inFlight_.front()->done)
            writeFront(lock);
    } catch (...) {
        free_.push_back(std::exchange(current_, nullptr));
        throw;
    }
}

void ParallelDeflater::finish() {
    if (finished_)
        return;
    finished_ = true;
    Block* last = std::exchange(current_, nullptr);
    if (!last)
        throw Failure(QStringLiteral("The document could not be compressed: an earlier step failed"));
    last->last = true;
    enqueue(last);
    std::unique_lock lock(mutex_);
    while (!inFlight_.empty())
        writeFront(lock);
}

}  // namespace qm
