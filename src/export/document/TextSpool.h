#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace qm {

// How a document lays its text out: a paragraph per line, or a table with a
// row per line and a cell per value (TextSpool::appendRow).
enum class DocumentLayout { Lines, Table };

class TextSnapshot;
namespace detail {
struct SpoolFile;
}

// The document text while an export builds it: lines of UTF-8, each ended by
// CR LF. Small texts stay in memory; past a threshold the spool moves to an
// anonymous temporary file (never visible in the file system, gone when the
// spool is), so memory stays flat however many records a table has.
//
// Values may hold line breaks of their own, CR LF included, which in the plain
// text look exactly like line ends. The spool knows better, because it is told
// where each line ends, and keeps that knowledge in its stored form (below), so
// the document engine turns a value's line break into a line break inside the
// record's paragraph instead of a new paragraph.
class TextSpool {
  public:
    static constexpr std::size_t kDefaultMemoryLimit = 4 * 1024 * 1024;

    // The stored form: the text itself, except that a CR LF inside an appended
    // line is kept as the two bytes kEscape '\n', and a byte kEscape of the text
    // as kEscape kEscape. The byte 0xFF never occurs in UTF-8, so valid text is
    // stored unchanged. The cells of a row (appendRow) are separated by kEscape
    // kCellEnd, which no value can give, as a value's own escape byte is doubled.
    //
    // Marks in an appended line (shell/TextMarks.h) are stored with kEscape in
    // place of their introducer: kEscape kLinkStart target kEscape kTargetEnd,
    // kEscape kLinkEnd, kEscape '0'..'7'. The plain text leaves them out.
    static constexpr char kEscape = '\xFF';
    static constexpr char kCellEnd = '\t';
    static constexpr char kLinkStart = '<';
    static constexpr char kTargetEnd = '>';
    static constexpr char kLinkEnd = '/';

    explicit TextSpool(std::size_t memoryLimit = kDefaultMemoryLimit);
    ~TextSpool();
    TextSpool(const TextSpool&) = delete;
    TextSpool& operator=(const TextSpool&) = delete;

    // Appends the line and CR LF. Throws qm::Failure when the spool cannot grow
    // (for instance a full temporary directory); the spool is then unchanged.
    void appendLine(std::string_view utf8);
    // Appends a row of a table: the cells, each kept apart from the next, and
    // CR LF. In the plain text (read) the cells are joined by a tab. Throws as
    // appendLine.
    void appendRow(const std::vector<std::string>& cells);

    // The most cells a row appended by appendRow had; 0 before any.
    std::size_t columnCount() const;

    std::uint64_t lineCount() const;
    std::uint64_t byteCount() const;  // of the plain text, including the CR LF pairs
    std::uint64_t markBytes() const;  // of the marks, which the plain text leaves out

    // Calls sink with the whole text in order, in chunks of any size; the chunks
    // are only valid during the call. May be called more than once.
    void read(const std::function<void(std::string_view chunk)>& sink) const;

    // Convenience for small texts and tests.
    std::string toString() const;

    // The text as it stands now, unchanged by later appends and still readable
    // after the spool is gone. Cheap: a file-backed spool shares its file.
    // Throws qm::Failure when pending text cannot be written out.
    TextSnapshot snapshot() const;

    // True once the text has moved to the temporary file.
    bool spilledToFile() const;

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// A fixed prefix of a spool's text. Copyable; copies share the data.
class TextSnapshot {
  public:
    TextSnapshot();  // the empty text

    std::uint64_t lineCount() const { return lines_; }
    std::uint64_t byteCount() const { return bytes_; }
    std::uint64_t markBytes() const { return marks_; }
    std::size_t columnCount() const { return columns_; }

    // The plain text, as TextSpool::read.
    void read(const std::function<void(std::string_view chunk)>& sink) const;
    // The stored form (see TextSpool::kEscape), for the document writers.
    void readStored(const std::function<void(std::string_view chunk)>& sink) const;
    // The same until sink returns false; returns whether it read to the end.
    bool readStoredWhile(const std::function<bool(std::string_view chunk)>& sink) const;
    std::string toString() const;

  private:
    friend class TextSpool;
    std::shared_ptr<const detail::SpoolFile> file_;  // stored bytes [0, fileBytes_) of the spool's file
    std::uint64_t fileBytes_ = 0;
    std::shared_ptr<const std::string> memory_;  // stored bytes that follow
    std::uint64_t lines_ = 0;
    std::uint64_t bytes_ = 0;
    std::uint64_t marks_ = 0;
    std::size_t columns_ = 0;
};

// The largest piece of stored text a document writer converts at once (it
// bounds how far one piece can overshoot a writer's block).
inline constexpr std::size_t kStoredPieceSize = 64 * 1024;

// Hands the stored form of every text to feed, in document order, in pieces of
// at most maxPiece bytes, so a writer's buffers stay small whatever the chunks,
// for as long as feed returns true. Returns false when feed stopped the reading.
template <class Texts, class Feed>
bool ForEachStoredPieceWhile(const Texts& texts, std::size_t maxPiece, Feed&& feed) {
    for (const TextSnapshot& text : texts) {
        const bool readToEnd = text.readStoredWhile([&](std::string_view chunk) {
            while (!chunk.empty()) {
                const std::string_view piece = chunk.substr(0, maxPiece);
                chunk.remove_prefix(piece.size());
                if (!feed(piece))
                    return false;
            }
            return true;
        });
        if (!readToEnd)
            return false;
    }
    return true;
}

// The same for a feed that takes every piece.
template <class Texts, class Feed>
void ForEachStoredPiece(const Texts& texts, std::size_t maxPiece, Feed&& feed) {
    ForEachStoredPieceWhile(texts, maxPiece, [&](std::string_view piece) {
        feed(piece);
        return true;
    });
}

// Feeds one piece of stored text to a converter that leaves an undecided
// sequence at its end (a CR, an escape, part of a UTF-8 character) for the
// next piece: convert(view, final) returns how many bytes it used. carry holds
// those few bytes between pieces; a piece is joined to them a few bytes at a
// time until the sequence is settled.
template <class Convert>
void FeedStoredPiece(std::string& carry, std::string_view stored, Convert&& convert) {
    while (!carry.empty() && !stored.empty()) {
        const std::size_t take = std::min<std::size_t>(stored.size(), 4);
        std::string joined = carry;
        joined.append(stored.data(), take);
        const std::size_t used = convert(std::string_view(joined), false);
        if (used < carry.size()) {
            carry = joined.substr(used);
            stored.remove_prefix(take);
            continue;
        }
        stored.remove_prefix(used - carry.size());
        carry.clear();
    }
    if (stored.empty())
        return;
    const std::size_t used = convert(stored, false);
    carry.assign(stored.substr(used));
}

}  // namespace qm
