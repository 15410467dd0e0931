#pragma once

#include "DocumentWriter.h"

#include <cstdint>

namespace qm {

struct TableShape;
struct TablePage;

// Writes an Office Open XML (WordprocessingML) document, the format current
// Word versions open in their own mode: one paragraph per line of the text
// (BodyXml.h says how the text is carried over), a default font and no
// spacing between paragraphs, and core and application properties. A table
// (DocumentContent::layout) is one w:tbl with a row per line.
//
// The package streams: the document part is built in blocks, compressed on
// worker threads (ParallelDeflate.h) and written as it comes, so memory stays
// flat for any size of text. No entry carries ZIP64 records unless its sizes
// need them.
class OoxmlWriter : public DocumentWriter {
  public:
    struct Options {
        // Deflate level of the document part. Level 1 saves 2.7 times faster
        // than zlib's default 6, for a file about 30 % larger
        // (bench/document/RESULTS.md).
        int level = 1;
        // Compressing threads; 0 means one per processor, at most
        // ParallelDeflater::kMaxThreads.
        int threads = 0;
        // The document part's size from which it needs ZIP64 sizes, with room
        // to spare for the compressed size. Lowered by tests.
        std::uint64_t zip64Threshold = 0xFFFFFFFFull - 16 * 1024 * 1024;
    };

    OoxmlWriter() = default;
    explicit OoxmlWriter(const Options& options) : options_(options) {}

    void write(const DocumentContent& content, QIODevice& device) const override;

  private:
    // How an attempt at the package ended: written whole, or abandoned (the
    // device holding part of a package) because the document part outgrew
    // 32-bit sizes in an entry written without room for ZIP64 ones.
    enum class Package { Written, NeedsZip64 };

    // A table's shape and page, both null for lines.
    struct Table {
        const TableShape* shape;
        const TablePage* page;
    };
    Package writePackage(const DocumentContent& content, const Table& table, QIODevice& device,
                         bool zip64) const;

    Options options_;
};

}  // namespace qm
