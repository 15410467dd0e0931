#include "ZipPackage.h"

#include "shell/Failure.h"

#include <minizip/zip.h>
#include <QIODevice>

namespace qm {

// Routes minizip's file operations to the device and remembers the first error.
struct ZipPackage::Io {
    QIODevice* device = nullptr;
    QString error;

    void noteError() {
        if (error.isEmpty())
            error = device->errorString();
        if (error.isEmpty())
            error = QStringLiteral("Write error");
    }

    static voidpf ZCALLBACK open(voidpf opaque, const void*, int) { return opaque; }

    static uLong ZCALLBACK read(voidpf, voidpf, void*, uLong) { return 0; }

    static uLong ZCALLBACK write(voidpf, voidpf stream, const void* buffer, uLong size) {
        auto* io = static_cast<Io*>(stream);
        const char* data = static_cast<const char*>(buffer);
        uLong done = 0;
        // A short write is followed by one that fails with the reason (a full disk).
        while (done < size) {
            const qint64 written = io->device->write(data + done, static_cast<qint64>(size - done));
            if (written <= 0) {
                io->noteError();
                break;
            }
            done += static_cast<uLong>(written);
        }
        return done;
    }

    static ZPOS64_T ZCALLBACK tell(voidpf, voidpf stream) {
        return static_cast<ZPOS64_T>(static_cast<Io*>(stream)->device->pos());
    }

    static long ZCALLBACK seek(voidpf, voidpf stream, ZPOS64_T offset, int origin) {
        auto* io = static_cast<Io*>(stream);
        qint64 target = static_cast<qint64>(offset);
        if (origin == ZLIB_FILEFUNC_SEEK_CUR)
            target += io->device->pos();
        else if (origin == ZLIB_FILEFUNC_SEEK_END)
            target += io->device->size();
        if (!io->device->seek(target)) {
            io->noteError();
            return -1;
        }
        return 0;
    }

    static int ZCALLBACK close(voidpf, voidpf) { return 0; }  // the device belongs to the caller

    static int ZCALLBACK testError(voidpf, voidpf stream) {
        return static_cast<Io*>(stream)->error.isEmpty() ? 0 : -1;
    }
};

ZipPackage::ZipPackage(QIODevice& device, const QDateTime& timestamp)
    : io_(std::make_unique<Io>()), timestamp_(timestamp.toLocalTime()) {
    io_->device = &device;
    if (!device.isWritable() || device.isSequential())
        throw Failure(QStringLiteral("The output cannot be written at random places"));
    zlib_filefunc64_def functions{};
    functions.zopen64_file = &Io::open;
    functions.zread_file = &Io::read;
    functions.zwrite_file = &Io::write;
    functions.ztell64_file = &Io::tell;
    functions.zseek64_file = &Io::seek;
    functions.zclose_file = &Io::close;
    functions.zerror_file = &Io::testError;
    functions.opaque = io_.get();
    zip_ = zipOpen2_64(io_.get(), APPEND_STATUS_CREATE, nullptr, &functions);
    if (zip_ == nullptr)
        fail(ZIP_ERRNO, "start");
}

ZipPackage::~ZipPackage() {
    if (zip_ != nullptr)
        zipClose(zip_, nullptr);
}

void ZipPackage::fail(int code, const char* step) const {
    if (!io_->error.isEmpty())
        throw Failure(io_->error, code);
    throw Failure(QStringLiteral("The ZIP library could not %1 the package (error %2)")
                      .arg(QLatin1String(step))
                      .arg(code),
                  code);
}

namespace {

// "Made by" an MS-DOS compatible tool of ZIP version 2.0, as Office's own packages say.
constexpr uLong kVersionMadeBy = 20;

zip_fileinfo fileInfo(const QDateTime& local) {
    zip_fileinfo info{};
    const QDate date = local.date();
    const QTime time = local.time();
    info.tmz_date.tm_year = static_cast<uInt>(date.year());
    info.tmz_date.tm_mon = static_cast<uInt>(date.month() - 1);
    info.tmz_date.tm_mday = static_cast<uInt>(date.day());
    info.tmz_date.tm_hour = static_cast<uInt>(time.hour());
    info.tmz_date.tm_min = static_cast<uInt>(time.minute());
    info.tmz_date.tm_sec = static_cast<uInt>(time.second());
    return info;
}

}  // namespace

void ZipPackage::addEntry(const char* name, std::string_view data, int level) {
    const zip_fileinfo info = fileInfo(timestamp_);
    int status = zipOpenNewFileInZip4_64(zip_, name, &info, nullptr, 0, nullptr, 0, nullptr, Z_DEFLATED,
                                         level, 0, -MAX_WBITS, DEF_MEM_LEVEL, Z_DEFAULT_STRATEGY, nullptr, 0,
                                         kVersionMadeBy, 0, 0);
    if (status != ZIP_OK)
        fail(status, "add an entry to");
    status = zipWriteInFileInZip(zip_, data.data(), static_cast<unsigned>(data.size()));
    if (status != ZIP_OK)
        fail(status, "write an entry of");
    status = zipCloseFileInZip(zip_);
    if (status != ZIP_OK)
        fail(status, "close an entry of");
}

void ZipPackage::beginRawEntry(const char* name, int level, bool zip64) {
    const zip_fileinfo info = fileInfo(timestamp_);
    const int status = zipOpenNewFileInZip4_64(zip_, name, &info, nullptr, 0, nullptr, 0, nullptr, Z_DEFLATED,
                                               level, 1, -MAX_WBITS, DEF_MEM_LEVEL, Z_DEFAULT_STRATEGY,
                                               nullptr, 0, kVersionMadeBy, 0, zip64 ? 1 : 0);
    if (status != ZIP_OK)
        fail(status, "add an entry to");
}

void ZipPackage::writeRaw(std::string_view compressed) {
    // minizip takes at most 4 GiB - 1 per call.
    constexpr std::size_t kMaxPiece = 1u << 30;
    while (!compressed.empty()) {
        const std::size_t piece = std::min(compressed.size(), kMaxPiece);
        const int status = zipWriteInFileInZip(zip_, compressed.data(), static_cast<unsigned>(piece));
        if (status != ZIP_OK)
            fail(status, "write an entry of");
        compressed.remove_prefix(piece);
    }
}

void ZipPackage::endRawEntry(std::uint64_t uncompressedSize, std::uint32_t crc) {
    const int status = zipCloseFileInZipRaw64(zip_, uncompressedSize, crc);
    if (status != ZIP_OK)
        fail(status, "close an entry of");
}

void ZipPackage::finish() {
    void* zip = zip_;
    zip_ = nullptr;
    const int status = zipClose(zip, nullptr);
    if (status != ZIP_OK)
        fail(status, "finish");
}

}  // namespace qm
