#include "database/MdbSupport.h"

#include "database/DatabaseMessages.h"
#include "database/Rc4.h"
#include "database/TableReader.h"
#include "database/crypto/AccessCrypto.h"

#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <optional>

namespace qm {

CatalogObject SystemObjectsTable() {
    CatalogObject object;
    object.name = QStringLiteral("MSysObjects");
    object.id = 2;
    object.type = 1;
    object.flags = 0x80000000u;
    return object;
}

namespace {

// Types of catalogue objects whose names share the namespace of tables and queries.
bool isDataObject(const CatalogObject& object) {
    return object.type == 1 || object.type == 4 || object.type == 5 || object.type == 6;
}

std::vector<CatalogObject> readCatalog(const std::shared_ptr<ConnectionState>& state) {
    TableCursor cursor(state, SystemObjectsTable());
    const int id = cursor.findColumn(QStringLiteral("Id"));
    const int name = cursor.findColumn(QStringLiteral("Name"));
    const int type = cursor.findColumn(QStringLiteral("Type"));
    const int flags = cursor.findColumn(QStringLiteral("Flags"));
    const int created = cursor.findColumn(QStringLiteral("DateCreate"));
    const int updated = cursor.findColumn(QStringLiteral("DateUpdate"));
    if (id < 0 || name < 0 || type < 0 || flags < 0)
        throw DatabaseError(dbmessages::damaged(state->path));

    std::vector<CatalogObject> catalog;
    while (cursor.next()) {
        CatalogObject object;
        object.id = static_cast<std::int32_t>(cursor.value(id).asInteger());
        object.name = QString::fromStdString(cursor.value(name).bytes());
        object.type = static_cast<std::int16_t>(cursor.value(type).asInteger());
        object.flags = static_cast<std::uint32_t>(cursor.value(flags).asInteger());
        object.catalogPage = cursor.currentPosition().page;
        object.catalogSlot = cursor.currentPosition().slot;
        if (created >= 0 && !cursor.isNull(created)) {
            object.created = cursor.value(created).asReal();
            object.createdKnown = true;
        }
        if (updated >= 0 && !cursor.isNull(updated)) {
            object.updated = cursor.value(updated).asReal();
            object.updatedKnown = true;
        }
        catalog.push_back(std::move(object));
    }
    return catalog;
}

// The file's first page, after the checks that need no reading. Throws
// DatabaseError for anything that is not a readable regular file.
QByteArray readFileStart(const QString& path, std::uint64_t& fileSize, FileDescriptor& file) {
    if (path.isEmpty())
        throw DatabaseError(dbmessages::couldNotFindFile(path));
    const QByteArray native = QFile::encodeName(path);
    if (native.contains('\0'))
        throw DatabaseError(dbmessages::couldNotFindFile(path));
    struct stat info {};
    if (::stat(native.constData(), &info) != 0) {
        if (errno == EACCES)
            throw DatabaseError(dbmessages::cannotRead(path));
        throw DatabaseError(dbmessages::couldNotFindFile(path));
    }
    if (S_ISDIR(info.st_mode))
        throw DatabaseError(dbmessages::isAFolder(path));
    if (!S_ISREG(info.st_mode))  // devices, pipes: never read them
        throw DatabaseError(dbmessages::unrecognizedFormat(path));
    FileDescriptor opened(::open(native.constData(), O_RDONLY | O_CLOEXEC));
    const int fd = opened.get();
    if (fd < 0) {
        if (errno == EACCES || errno == EPERM)
            throw DatabaseError(dbmessages::cannotRead(path));
        throw DatabaseError(dbmessages::couldNotFindFile(path));
    }
    QByteArray start(jet::kHeaderBytes, '\0');
    qsizetype got = 0;
    while (got < start.size()) {
        const ssize_t n = ::read(fd, start.data() + got, static_cast<std::size_t>(start.size() - got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        got += n;
    }
    start.truncate(got);
    file = std::move(opened);
    fileSize = static_cast<std::uint64_t>(info.st_size);
    return start;
}

// The format, provider and password rules, from the header alone.
void checkHeader(const OpenRequest& request, const QByteArray& fileStart, ConnectionState& state) {
    try {
        state.header = jet::ReadHeader(fileStart);
    } catch (const DatabaseError&) {
        throw DatabaseError(dbmessages::unrecognizedFormat(request.path));
    }
    // The Jet provider reads Jet 3 and Jet 4 files only.
    if (state.header.isAce() && !request.aceProvider)
        throw DatabaseError(dbmessages::unrecognizedFormat(request.path));
    // Jet keeps the database password in the header; a database without one
    // opens whatever password is given.
    if (!state.header.password.isEmpty() && state.header.password != request.password)
        throw DatabaseError(dbmessages::kNotAValidPassword);
}

// After libmdb has the file: its view must agree with ours, then the catalogue.
void finishOpen(const OpenRequest& request, const std::shared_ptr<ConnectionState>& state) {
    if (!state->handle)
        throw DatabaseError(dbmessages::unrecognizedFormat(request.path));
    const bool jet3 = state->header.format == jet::Format::Jet3;
    if ((state->handle->f->jet_version == MDB_VER_JET3) != jet3 ||
        state->handle->fmt->pg_size != state->header.pageSize)
        throw DatabaseError(dbmessages::unrecognizedFormat(request.path));
    if (state->pageCount() < 3)  // the catalogue lives on page 2
        throw DatabaseError(dbmessages::damaged(request.path));
    try {
        state->catalog = readCatalog(state);
    } catch (const DatabaseError&) {
        throw DatabaseError(dbmessages::damaged(request.path));
    }
}

}  // namespace

QString CatalogObject::tableType() const {
    switch (type) {
        case 1:
            if (isSystemObject())
                return QStringLiteral("SYSTEM TABLE");
            if (isAccessObject())
                return QStringLiteral("ACCESS TABLE");
            return QStringLiteral("TABLE");
        case 4:
            return QStringLiteral("PASS-THROUGH");
        case 5:
            // Select and union queries; action queries and the hidden queries
            // behind forms are not in the tables schema.
            return flags == 0 || flags == 128 ? QStringLiteral("VIEW") : QString();
        case 6:
            return QStringLiteral("LINK");
        default:
            return QString();
    }
}

std::uint32_t ConnectionState::pageCount() const {
    const auto size = imageOwner ? imageSize : fileSize;
    const auto pageSize = static_cast<std::uint64_t>(header.pageSize);
    const std::uint64_t pages = (size + pageSize - 1) / pageSize;
    return pages > 0xFFFFFFu ? 0xFFFFFFu : static_cast<std::uint32_t>(pages);
}

FileDescriptor::~FileDescriptor() {
    if (fd_ >= 0)
        ::close(fd_);
}

FileDescriptor& FileDescriptor::operator=(FileDescriptor&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
}

namespace {

// Pages after the header are RC4-encoded with the database key and the page
// number when the key is set (libmdb undoes this for its own reads).
void decodePage(std::uint32_t databaseKey, std::uint32_t page, std::uint8_t* data, std::size_t bytes) {
    if (page == 0 || databaseKey == 0)
        return;
    const std::uint32_t key = databaseKey ^ page;
    const std::uint8_t keyBytes[4] = {std::uint8_t(key), std::uint8_t(key >> 8), std::uint8_t(key >> 16),
                                      std::uint8_t(key >> 24)};
    jet::Rc4Apply(keyBytes, std::span<std::uint8_t>(data, bytes));
}

}  // namespace

bool ConnectionState::readPageStart(std::uint32_t page, std::uint8_t* out, std::size_t bytes) const {
    if (bytes > static_cast<std::size_t>(header.pageSize) || !hasPage(page))
        return false;
    const std::uint64_t offset = std::uint64_t(page) * static_cast<std::uint64_t>(header.pageSize);
    if (imageOwner) {
        if (offset + bytes > imageSize)
            return false;
        std::memcpy(out, imageData + offset, bytes);
    } else {
        std::size_t got = 0;
        while (got < bytes) {
            const ssize_t n = ::pread(file.get(), out + got, bytes - got, static_cast<off_t>(offset + got));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return false;
            got += static_cast<std::size_t>(n);
        }
    }
    decodePage(header.databaseKey, page, out, bytes);
    return true;
}

MdbHandlePtr ConnectionState::cloneHandle() const {
    // One database may serve several connections: clones are made one at a time.
    static std::mutex cloning;
    std::lock_guard lock(cloning);
    MdbHandlePtr clone(mdb_clone_handle(handle.get()));
    if (!clone)
        throw std::bad_alloc();
    return clone;
}

const CatalogObject* ConnectionState::findObject(const QString& name) const {
    for (const CatalogObject& object : catalog) {
        if (isDataObject(object) && object.name.compare(name, Qt::CaseInsensitive) == 0)
            return &object;
    }
    return nullptr;
}

namespace {

std::atomic<std::uint64_t> decryptions{0};

FileIdentity identityOf(const FileDescriptor& file) {
    struct stat info {};
    if (::fstat(file.get(), &info) != 0)
        return {};
    return FileIdentity{info.st_dev, info.st_ino, info.st_size, info.st_mtim, info.st_ctim};
}

// The decrypted image of the encrypted file whose descriptor the state holds:
// the session's when it kept the image of this very file, unchanged, opened
// with the same password; read and decrypted otherwise (and then kept, unless
// the file changed while it was read).
std::shared_ptr<const DatabaseImage> decryptedImage(const OpenRequest& request, const ConnectionState& state,
                                                    DatabaseSession* session) {
    const FileIdentity before = identityOf(state.file);
    if (session && session->kept().serves(request, before))
        return session->kept().image;
    std::shared_ptr<crypto::SecureBuffer> plain;
    try {
        ++decryptions;
        plain =
            std::make_shared<crypto::SecureBuffer>(crypto::DecryptDatabase(request.path, request.password));
    } catch (const DatabaseError&) {
        throw;
    } catch (const Failure& failure) {
        throw DatabaseError(failure.description(), failure.number());
    }
    auto image = std::make_shared<const DatabaseImage>(DatabaseImage{plain, plain->data(), plain->size()});
    if (session) {
        DatabaseSession::Kept& kept = session->kept();
        kept.wipe();
        if (identityOf(state.file) == before)
            kept = DatabaseSession::Kept{request, before, image};
    }
    return image;
}

}  // namespace

DatabaseSession::DatabaseSession() : kept_(std::make_unique<Kept>()) {}

DatabaseSession::~DatabaseSession() {
    kept_->wipe();
}

void DatabaseSession::forget() {
    kept_->wipe();
}

bool DatabaseSession::Kept::serves(const OpenRequest& other, const FileIdentity& now) const {
    return image && request.path == other.path && request.password == other.password &&
           request.aceProvider == other.aceProvider && identity == now;
}

void DatabaseSession::Kept::wipe() {
    if (!request.password.isEmpty())
        explicit_bzero(request.password.data(),
                       static_cast<std::size_t>(request.password.size()) * sizeof(QChar));
    request = OpenRequest{};
    identity = FileIdentity{};
    image.reset();
}

std::uint64_t DatabaseFilesDecrypted() {
    return decryptions.load();
}

std::shared_ptr<ConnectionState> OpenDatabase(const OpenRequest& request, DatabaseSession* session) {
    auto state = std::make_shared<ConnectionState>();
    state->path = request.path;
    checkHeader(request, readFileStart(request.path, state->fileSize, state->file), *state);
    // Access 2007 and later encrypt the whole file with the password: decrypt
    // it into memory (the password is verified before any page is) and open
    // the image. Nothing decrypted ever reaches the disk.
    if (state->header.isAce() && state->header.encrypted) {
        const std::shared_ptr<const DatabaseImage> image = decryptedImage(request, *state, session);
        state.reset();  // the file is closed: the image is all that is read
        return OpenDatabaseImage(request, DatabaseImage{image, image->data, image->size});
    }
    // Another database: what the session kept of the last one goes.
    if (session)
        session->forget();
    // Read-only, whatever mode the connection was given: a user's file is never
    // written. The header checks above leave libmdb nothing to complain about.
    state->handle.reset(mdb_open(QFile::encodeName(request.path).constData(), MDB_NOFLAGS));
    finishOpen(request, state);
    return state;
}

std::shared_ptr<ConnectionState> OpenDatabaseImage(const OpenRequest& request, DatabaseImage image) {
    auto state = std::make_shared<ConnectionState>();
    state->path = request.path;
    state->imageOwner = std::move(image.owner);
    state->imageData = image.data;
    state->imageSize = image.size;
    const auto headerBytes = static_cast<qsizetype>(std::min<std::size_t>(image.size, jet::kHeaderBytes));
    checkHeader(request, QByteArray::fromRawData(reinterpret_cast<const char*>(image.data), headerBytes),
                *state);
    if (state->header.isAce() && state->header.encrypted)
        throw DatabaseError(dbmessages::encryptedAce(request.path));
    state->handle.reset(mdb_open_buffer(image.data, image.size, MDB_NOFLAGS));
    finishOpen(request, state);
    return state;
}

}  // namespace qm
