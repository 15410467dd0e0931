#pragma once

#include <QDateTime>
#include <QString>
#include <cstdint>
#include <memory>
#include <string_view>

class QIODevice;

namespace qm {

// A ZIP archive written to a random-access device, entry after entry, through
// minizip. Entries carry no ZIP64 extra field unless asked for: Office refuses
// some archives that have them needlessly. Failures throw qm::Failure whose
// description is the reason alone (for instance the device's error).
class ZipPackage {
  public:
    // The device must be open for writing and positioned where the archive starts.
    ZipPackage(QIODevice& device, const QDateTime& timestamp);
    ~ZipPackage();  // abandons an unfinished archive
    ZipPackage(const ZipPackage&) = delete;
    ZipPackage& operator=(const ZipPackage&) = delete;

    // A small entry, deflated here.
    void addEntry(const char* name, std::string_view data, int level);

    // An entry whose data the caller deflates (a raw deflate stream).
    // zip64: reserve room for sizes of 4 GiB and more.
    void beginRawEntry(const char* name, int level, bool zip64);
    void writeRaw(std::string_view compressed);
    void endRawEntry(std::uint64_t uncompressedSize, std::uint32_t crc);

    // Writes the central directory. The archive is complete after this.
    void finish();

  private:
    struct Io;
    [[noreturn]] void fail(int code, const char* step) const;

    std::unique_ptr<Io> io_;
    void* zip_ = nullptr;  // zipFile
    QDateTime timestamp_;
};

}  // namespace qm
