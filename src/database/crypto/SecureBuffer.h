#pragma once

// Memory for secrets: decrypted database images, passwords and key material.
// The bytes are wiped with OPENSSL_cleanse when the buffer is released, large
// buffers are kept out of core dumps, and the memory never moves or grows, so
// no stale copy of the contents is left behind by a reallocation.

#include <cstddef>
#include <span>

namespace qm::crypto {

class SecureBuffer {
  public:
    SecureBuffer() noexcept = default;
    // size zero bytes. Throws qm::Failure when the memory cannot be had.
    explicit SecureBuffer(std::size_t size);
    // A copy of bytes.
    static SecureBuffer copyOf(std::span<const unsigned char> bytes);
    ~SecureBuffer();

    SecureBuffer(SecureBuffer&& other) noexcept;
    SecureBuffer& operator=(SecureBuffer&& other) noexcept;
    SecureBuffer(const SecureBuffer&) = delete;
    SecureBuffer& operator=(const SecureBuffer&) = delete;

    unsigned char* data() noexcept { return data_; }
    const unsigned char* data() const noexcept { return data_; }
    std::size_t size() const noexcept { return size_; }
    bool empty() const noexcept { return size_ == 0; }
    std::span<unsigned char> bytes() noexcept { return {data_, size_}; }
    std::span<const unsigned char> bytes() const noexcept { return {data_, size_}; }

    // Wipes and releases the memory; the buffer is empty afterwards.
    void clear() noexcept;

  private:
    unsigned char* data_ = nullptr;
    std::size_t size_ = 0;
    bool mapped_ = false;  // true: from mmap, false: from operator new
};

}  // namespace qm::crypto
