#include "TextSpool.h"

#include "shell/Failure.h"
#include "shell/TextMarks.h"

#include <fcntl.h>
#include <unistd.h>
#include <QDir>
#include <QFile>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

namespace qm {

namespace {

// Once the text lives in the file, appends gather in a buffer of this size.
constexpr std::size_t kFileBufferSize = 1024 * 1024;
// Size of the pieces read back from the file.
constexpr std::size_t kReadChunkSize = 1024 * 1024;

QString errnoText(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

}  // namespace

namespace detail {

// The anonymous temporary file behind a spool. Shared by the spool and its
// snapshots; closed (and so gone) when the last of them is.
struct SpoolFile {
    int fd = -1;
    QString directory;

    SpoolFile() = default;
    SpoolFile(const SpoolFile&) = delete;
    SpoolFile& operator=(const SpoolFile&) = delete;
    ~SpoolFile() {
        if (fd >= 0)
            ::close(fd);
    }

    [[noreturn]] void fail(const char* what, int error) const {
        throw Failure(QStringLiteral("Could not %1 the temporary file of the document text in '%2': %3")
                          .arg(QLatin1String(what), directory, errnoText(error)),
                      error);
    }

    static std::shared_ptr<SpoolFile> create() {
        auto file = std::make_shared<SpoolFile>();
        file->directory = QDir::tempPath();
        const QByteArray dir = QFile::encodeName(file->directory);
#ifdef O_TMPFILE
        file->fd = ::open(dir.constData(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
        if (file->fd >= 0)
            return file;
        // File systems without unnamed files answer one of these; anything else is a real failure.
        if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)
            file->fail("create", errno);
#endif
        QByteArray pattern = dir + "/quillmerge-text-XXXXXX";
        file->fd = ::mkostemp(pattern.data(), O_CLOEXEC);
        if (file->fd < 0)
            file->fail("create", errno);
        ::unlink(pattern.constData());
        return file;
    }

    void writeAt(std::string_view data, std::uint64_t offset) const {
        while (!data.empty()) {
            const ssize_t done = ::pwrite(fd, data.data(), data.size(), static_cast<off_t>(offset));
            if (done < 0) {
                if (errno == EINTR)
                    continue;
                fail("write", errno);
            }
            if (done == 0)
                fail("write", ENOSPC);
            data.remove_prefix(static_cast<std::size_t>(done));
            offset += static_cast<std::uint64_t>(done);
        }
    }

    // Reads [0, length) in pieces, until sink returns false; returns whether
    // it read to the end.
    bool readWhile(std::uint64_t length, const std::function<bool(std::string_view)>& sink) const {
        const auto buffer = std::make_unique<char[]>(kReadChunkSize);
        std::uint64_t offset = 0;
        while (offset < length) {
            const std::size_t want =
                static_cast<std::size_t>(std::min<std::uint64_t>(kReadChunkSize, length - offset));
            const ssize_t got = ::pread(fd, buffer.get(), want, static_cast<off_t>(offset));
            if (got < 0) {
                if (errno == EINTR)
                    continue;
                fail("read", errno);
            }
            if (got == 0)
                fail("read", EIO);  // shorter than what was written: the file was tampered with
            if (!sink(std::string_view(buffer.get(), static_cast<std::size_t>(got))))
                return false;
            offset += static_cast<std::uint64_t>(got);
        }
        return true;
    }
};

}  // namespace detail

namespace {

// Turns the stored form back into the plain text, chunk by chunk: escapes
// undone, marks (and a link's target) dropped.
class StoredDecoder {
  public:
    explicit StoredDecoder(const std::function<void(std::string_view)>& sink) : sink_(sink) {}

    void feed(std::string_view chunk) {
        if (!pendingEscape_ && !inTarget_ &&
            std::memchr(chunk.data(), TextSpool::kEscape, chunk.size()) == nullptr) {
            if (!chunk.empty())
                sink_(chunk);
            return;
        }
        decoded_.clear();
        decoded_.reserve(chunk.size() + 1);
        for (const char c : chunk) {
            if (pendingEscape_) {
                pendingEscape_ = false;
                if (inTarget_)
                    inTarget_ = c != TextSpool::kTargetEnd;
                else if (c == '\n')
                    decoded_ += "\r\n";
                else if (c == TextSpool::kLinkStart)
                    inTarget_ = true;
                else if (c != TextSpool::kLinkEnd && !marks::IsEmphasisCode(c))
                    decoded_ += c;  // the escape byte itself, or a tab between cells
            } else if (c == TextSpool::kEscape) {
                pendingEscape_ = true;
            } else if (!inTarget_) {
                decoded_ += c;
            }
        }
        if (!decoded_.empty())
            sink_(decoded_);
    }

  private:
    const std::function<void(std::string_view)>& sink_;
    std::string decoded_;
    bool pendingEscape_ = false;
    bool inTarget_ = false;  // within a link's target, which the plain text leaves out
};

// Hands the stored bytes to sink until it returns false; returns whether it
// read them all.
bool readStoredParts(const detail::SpoolFile* file, std::uint64_t fileBytes, std::string_view memory,
                     const std::function<bool(std::string_view)>& sink) {
    if (file != nullptr && fileBytes > 0 && !file->readWhile(fileBytes, sink))
        return false;
    return memory.empty() || sink(memory);
}

void readPlainParts(const detail::SpoolFile* file, std::uint64_t fileBytes, std::string_view memory,
                    const std::function<void(std::string_view)>& sink) {
    StoredDecoder decoder(sink);
    readStoredParts(file, fileBytes, memory, [&](std::string_view chunk) {
        decoder.feed(chunk);
        return true;
    });
}

// True when the stored form of the line differs from the line: it holds a CR
// LF, the escape byte or a mark.
bool needsEscaping(std::string_view line) {
    if (std::memchr(line.data(), TextSpool::kEscape, line.size()) != nullptr ||
        std::memchr(line.data(), marks::kIntroducer, line.size()) != nullptr)
        return true;
    const char* const end = line.data() + line.size();
    for (auto* cr = static_cast<const char*>(std::memchr(line.data(), '\r', line.size())); cr != nullptr;
         cr = static_cast<const char*>(std::memchr(cr + 1, '\r', static_cast<std::size_t>(end - cr - 1)))) {
        if (cr + 1 < end && cr[1] == '\n')
            return true;
    }
    return false;
}

// Appends the stored form of line to out; returns how many of its bytes were
// marks (which the plain text does not hold).
std::size_t appendEscaped(std::string_view line, std::string& out) {
    std::size_t markBytes = 0;
    out.reserve(out.size() + line.size() + 8);
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (c == TextSpool::kEscape) {
            out += TextSpool::kEscape;
            out += TextSpool::kEscape;
        } else if (c == '\r' && i + 1 < line.size() && line[i + 1] == '\n') {
            out += TextSpool::kEscape;
            out += '\n';
            ++i;
        } else if (const std::size_t mark = c == marks::kIntroducer ? marks::MarkLength(line.substr(i)) : 0) {
            // The same mark, its introducers made escapes.
            for (std::size_t j = i; j < i + mark; ++j)
                out += line[j] == marks::kIntroducer ? TextSpool::kEscape : line[j];
            markBytes += mark;
            i += mark - 1;
        } else {
            out += c;
        }
    }
    return markBytes;
}

}  // namespace

struct TextSpool::Impl {
    std::size_t memoryLimit;
    std::shared_ptr<detail::SpoolFile> file;  // null while the text is in memory
    std::uint64_t fileBytes = 0;              // stored bytes written to the file
    std::string buffer;                       // the whole text in memory, or what is not yet in the file
    std::uint64_t lines = 0;
    std::uint64_t bytes = 0;
    std::size_t columns = 0;
    std::uint64_t marks = 0;  // stored bytes of marks
    std::string row;          // a line's or a row's stored form while it is put together

    // Moves the text to the file. On failure nothing changes.
    void spill() {
        auto created = detail::SpoolFile::create();
        created->writeAt(buffer, 0);
        file = std::move(created);
        fileBytes = buffer.size();
        std::string().swap(buffer);
        buffer.reserve(kFileBufferSize);
    }

    void flush() {
        if (buffer.empty())
            return;
        file->writeAt(buffer, fileBytes);
        fileBytes += buffer.size();
        buffer.clear();
    }

    void append(std::string_view stored) {
        static constexpr std::string_view kLineEnd = "\r\n";
        const std::size_t size = stored.size() + kLineEnd.size();
        if (!file) {
            if (buffer.size() + size <= memoryLimit) {
                buffer.append(stored).append(kLineEnd);
                return;
            }
            spill();
        }
        if (buffer.size() + size > kFileBufferSize)
            flush();
        if (size > kFileBufferSize) {
            // Too big for the buffer: straight to the file. Both writes land
            // before the size moves on, so a failure leaves no half line.
            file->writeAt(stored, fileBytes);
            file->writeAt(kLineEnd, fileBytes + stored.size());
            fileBytes += size;
            return;
        }
        buffer.append(stored).append(kLineEnd);
    }
};

TextSpool::TextSpool(std::size_t memoryLimit) : impl_(std::make_unique<Impl>()) {
    impl_->memoryLimit = memoryLimit;
}

TextSpool::~TextSpool() = default;

void TextSpool::appendLine(std::string_view utf8) {
    std::size_t markBytes = 0;
    if (needsEscaping(utf8)) {
        std::string& stored = impl_->row;
        stored.clear();
        markBytes = appendEscaped(utf8, stored);
        impl_->append(stored);
    } else {
        impl_->append(utf8);
    }
    impl_->lines += 1;
    impl_->bytes += utf8.size() - markBytes + 2;
    impl_->marks += markBytes;
}

void TextSpool::appendRow(const std::vector<std::string>& cells) {
    std::string& row = impl_->row;
    row.clear();
    std::uint64_t bytes = 2;
    std::size_t markBytes = 0;
    for (std::size_t i = 0; i < cells.size(); ++i) {
        if (i > 0) {
            row += kEscape;
            row += kCellEnd;
            ++bytes;
        }
        std::size_t cellMarks = 0;
        if (needsEscaping(cells[i]))
            cellMarks = appendEscaped(cells[i], row);
        else
            row += cells[i];
        bytes += cells[i].size() - cellMarks;
        markBytes += cellMarks;
    }
    impl_->append(row);
    impl_->lines += 1;
    impl_->bytes += bytes;
    impl_->marks += markBytes;
    impl_->columns = std::max(impl_->columns, cells.size());
}

std::size_t TextSpool::columnCount() const {
    return impl_->columns;
}

std::uint64_t TextSpool::lineCount() const {
    return impl_->lines;
}

std::uint64_t TextSpool::byteCount() const {
    return impl_->bytes;
}

std::uint64_t TextSpool::markBytes() const {
    return impl_->marks;
}

bool TextSpool::spilledToFile() const {
    return impl_->file != nullptr;
}

void TextSpool::read(const std::function<void(std::string_view chunk)>& sink) const {
    readPlainParts(impl_->file.get(), impl_->fileBytes, impl_->buffer, sink);
}

std::string TextSpool::toString() const {
    std::string text;
    text.reserve(static_cast<std::size_t>(impl_->bytes));
    read([&](std::string_view chunk) { text.append(chunk); });
    return text;
}

TextSnapshot TextSpool::snapshot() const {
    TextSnapshot snapshot;
    if (impl_->file) {
        impl_->flush();
        snapshot.file_ = impl_->file;
        snapshot.fileBytes_ = impl_->fileBytes;
    } else if (!impl_->buffer.empty()) {
        snapshot.memory_ = std::make_shared<const std::string>(impl_->buffer);
    }
    snapshot.lines_ = impl_->lines;
    snapshot.bytes_ = impl_->bytes;
    snapshot.marks_ = impl_->marks;
    snapshot.columns_ = impl_->columns;
    return snapshot;
}

TextSnapshot::TextSnapshot() = default;

void TextSnapshot::read(const std::function<void(std::string_view chunk)>& sink) const {
    readPlainParts(file_.get(), fileBytes_, memory_ ? std::string_view(*memory_) : std::string_view(), sink);
}

void TextSnapshot::readStored(const std::function<void(std::string_view chunk)>& sink) const {
    readStoredWhile([&](std::string_view chunk) {
        sink(chunk);
        return true;
    });
}

bool TextSnapshot::readStoredWhile(const std::function<bool(std::string_view chunk)>& sink) const {
    return readStoredParts(file_.get(), fileBytes_, memory_ ? std::string_view(*memory_) : std::string_view(),
                           sink);
}

std::string TextSnapshot::toString() const {
    std::string text;
    text.reserve(static_cast<std::size_t>(bytes_));
    read([&](std::string_view chunk) { text.append(chunk); });
    return text;
}

}  // namespace qm
