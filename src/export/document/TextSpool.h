#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace qm {

// The document text while an export builds it: lines of UTF-8, each ended by
// CR LF. Small texts stay in memory; past a threshold the spool moves to an
// anonymous temporary file (never visible in the file system, gone when the
// spool is), so memory stays flat however many records a table has.
class TextSpool {
public:
    static constexpr std::size_t kDefaultMemoryLimit = 4 * 1024 * 1024;

    explicit TextSpool(std::size_t memoryLimit = kDefaultMemoryLimit);
    ~TextSpool();
    TextSpool(const TextSpool&) = delete;
    TextSpool& operator=(const TextSpool&) = delete;

    // Appends the line and CR LF. Throws qm::Failure when the spool cannot grow
    // (for instance a full temporary directory).
    void appendLine(std::string_view utf8);

    std::uint64_t lineCount() const;
    std::uint64_t byteCount() const;  // including the CR LF pairs

    // Calls sink with the whole text in order, in chunks of any size; the chunks
    // are only valid during the call. May be called more than once.
    void read(const std::function<void(std::string_view chunk)>& sink) const;

    // Convenience for small texts and tests.
    std::string toString() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace qm
