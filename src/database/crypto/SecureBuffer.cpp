#include "database/crypto/SecureBuffer.h"

#include "shell/Failure.h"

#include <openssl/crypto.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <new>
#include <utility>

namespace qm::crypto {

namespace {

// From this size on, buffers get pages of their own, so they can be excluded
// from core dumps without touching the heap around them.
constexpr std::size_t kMappedFrom = 64 * 1024;

// Buffers this large are placed on 2 MiB boundaries and asked for huge pages:
// touching a fresh 4 KiB page costs a page fault, which makes the first pass
// over a large image several times slower than the decryption itself.
constexpr std::size_t kHugePage = 2 * 1024 * 1024;
constexpr std::size_t kHugeFrom = 2 * kHugePage;

[[noreturn]] void outOfMemory(std::size_t size) {
    throw Failure(QStringLiteral("Not enough memory for %1 bytes of decrypted data.").arg(size));
}

std::size_t pageSize() {
    static const std::size_t size = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    return size;
}

std::size_t mappedLength(std::size_t size) {
    return (size + pageSize() - 1) / pageSize() * pageSize();
}

unsigned char* mapPages(std::size_t size) {
    const std::size_t length = mappedLength(size);
    const std::size_t slack = size >= kHugeFrom ? kHugePage : 0;
    void* memory = mmap(nullptr, length + slack, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (memory == MAP_FAILED)
        outOfMemory(size);
    auto* start = static_cast<unsigned char*>(memory);
    if (slack) {
        // Keep the 2 MiB aligned part, give the rest back.
        const auto address = reinterpret_cast<std::uintptr_t>(start);
        auto* aligned = reinterpret_cast<unsigned char*>((address + kHugePage - 1) / kHugePage * kHugePage);
        if (aligned > start)
            munmap(start, static_cast<std::size_t>(aligned - start));
        const std::size_t tail = static_cast<std::size_t>(start + length + slack - (aligned + length));
        if (tail)
            munmap(aligned + length, tail);
        start = aligned;
        madvise(start, length, MADV_HUGEPAGE);  // best effort, like the rest
    }
    // Best effort: a failure only means the pages may appear in a core dump.
    madvise(start, length, MADV_DONTDUMP);
    return start;  // anonymous pages start zeroed
}

}  // namespace

SecureBuffer::SecureBuffer(std::size_t size) {
    if (size == 0)
        return;
    if (size >= kMappedFrom) {
        data_ = mapPages(size);
        mapped_ = true;
    } else {
        data_ = new (std::nothrow) unsigned char[size]();
        if (!data_)
            outOfMemory(size);
    }
    size_ = size;
}

SecureBuffer SecureBuffer::copyOf(std::span<const unsigned char> bytes) {
    SecureBuffer copy(bytes.size());
    if (!bytes.empty())
        std::memcpy(copy.data_, bytes.data(), bytes.size());
    return copy;
}

SecureBuffer::~SecureBuffer() {
    clear();
}

SecureBuffer::SecureBuffer(SecureBuffer&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)),
      size_(std::exchange(other.size_, 0)),
      mapped_(std::exchange(other.mapped_, false)) {}

SecureBuffer& SecureBuffer::operator=(SecureBuffer&& other) noexcept {
    if (this != &other) {
        clear();
        data_ = std::exchange(other.data_, nullptr);
        size_ = std::exchange(other.size_, 0);
        mapped_ = std::exchange(other.mapped_, false);
    }
    return *this;
}

void SecureBuffer::clear() noexcept {
    if (!data_)
        return;
    OPENSSL_cleanse(data_, size_);
    if (mapped_)
        munmap(data_, mappedLength(size_));
    else
        delete[] data_;
    data_ = nullptr;
    size_ = 0;
    mapped_ = false;
}

}  // namespace qm::crypto
