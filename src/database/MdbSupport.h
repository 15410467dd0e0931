#pragma once

// Internal to the database layer: owners of libmdb's C objects, the one place
// a database file is opened, and the state a connection shares with the record
// sets opened on it.

// libmdb's header includes glib inside extern "C"; glib's own C++ parts must
// be seen first.
#include <glib.h>
#include <mdbtools.h>

#include "database/DatabaseSession.h"
#include "database/JetHeader.h"

#include <sys/stat.h>
#include <QString>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace qm {

struct MdbHandleClose {
    void operator()(MdbHandle* handle) const { mdb_close(handle); }
};
using MdbHandlePtr = std::unique_ptr<MdbHandle, MdbHandleClose>;

struct MdbTableDefFree {
    void operator()(MdbTableDef* table) const { mdb_free_tabledef(table); }
};
using MdbTableDefPtr = std::unique_ptr<MdbTableDef, MdbTableDefFree>;

// One object of the database's catalogue (a row of MSysObjects).
struct CatalogObject {
    QString name;
    std::int32_t id = 0;    // the table definition page is id & 0x00FFFFFF
    std::int16_t type = 0;  // 1 local table, 4 ODBC link, 5 query, 6 linked table, ...
    std::uint32_t flags = 0;
    double created = 0;  // Access dates
    double updated = 0;
    bool createdKnown = false;
    bool updatedKnown = false;
    // Where the object's own row of MSysObjects lies (its properties are
    // read from there); page 0 when not known.
    std::uint32_t catalogPage = 0;
    int catalogSlot = 0;

    std::uint32_t definitionPage() const { return static_cast<std::uint32_t>(id) & 0x00FFFFFFu; }
    bool isLocalTable() const { return type == 1; }
    bool isSystemObject() const { return (flags & 0x80000000u) != 0; }
    bool isAccessObject() const { return (flags & 0x00000002u) != 0; }
    // The TABLE_TYPE the tables schema reports, or "" for objects it does not list.
    QString tableType() const;
};

// MSysObjects itself, whose definition is always on page 2.
CatalogObject SystemObjectsTable();

// An open file descriptor, closed with its owner.
class FileDescriptor {
  public:
    FileDescriptor() = default;
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor();
    FileDescriptor(FileDescriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    FileDescriptor& operator=(FileDescriptor&& other) noexcept;
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return fd_; }

  private:
    int fd_ = -1;
};

// An open database file: the libmdb handle every cursor is cloned from, the
// header facts, the catalogue, and (for decrypted files) the in-memory image
// the handle reads. The image is declared first so it outlives the handle.
struct ConnectionState {
    QString path;
    jet::HeaderInfo header;
    std::uint64_t fileSize = 0;
    std::shared_ptr<const void>
        imageOwner;  // keeps an in-memory image alive (images opened from memory only)
    const std::uint8_t* imageData = nullptr;
    std::uint64_t imageSize = 0;
    FileDescriptor file;  // the database file, read-only (files opened from disk only)
    MdbHandlePtr handle;
    std::vector<CatalogObject> catalog;

    // Pages in the file (a partial last page counts).
    std::uint32_t pageCount() const;
    bool hasPage(std::uint32_t page) const { return page < pageCount(); }
    // Reads the first bytes of a page (decoded when the file's pages are
    // encoded) without going through libmdb's page buffers. False when the
    // page cannot be read in full.
    bool readPageStart(std::uint32_t page, std::uint8_t* out, std::size_t bytes) const;
    // A new handle with its own page buffer and position on the same file.
    MdbHandlePtr cloneHandle() const;
    // The catalogue object of that name (compared as Access does, ignoring
    // case), or nullptr.
    const CatalogObject* findObject(const QString& name) const;
};

// A whole database file in memory (a decrypted image, for instance). owner
// keeps data alive; the connection and every record set share it.
struct DatabaseImage {
    std::shared_ptr<const void> owner;
    std::uint8_t* data = nullptr;
    std::size_t size = 0;
};

// What an open needs: the connection string's pieces after parsing.
struct OpenRequest {
    QString path;
    QString password;
    bool aceProvider = false;
};

// How many times an encrypted database file was read and decrypted so far.
std::uint64_t DatabaseFilesDecrypted();

// What tells one state of a file from another, as an open descriptor reports it.
struct FileIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    timespec modified{};
    timespec changed{};
    friend bool operator==(const FileIdentity& a, const FileIdentity& b) {
        return a.device == b.device && a.inode == b.inode && a.size == b.size &&
               a.modified.tv_sec == b.modified.tv_sec && a.modified.tv_nsec == b.modified.tv_nsec &&
               a.changed.tv_sec == b.changed.tv_sec && a.changed.tv_nsec == b.changed.tv_nsec;
    }
};

// What a session keeps: the request and identity of the encrypted file
// opened last, and its decrypted image.
struct DatabaseSession::Kept {
    OpenRequest request;
    FileIdentity identity;
    std::shared_ptr<const DatabaseImage> image;

    bool serves(const OpenRequest& other, const FileIdentity& now) const;
    // Wipes the password and lets go of the image (whose memory is wiped
    // when the last connection reading it ends).
    void wipe();
};

// Opens the database a request names: opens the file and checks it, reads
// its header, applies the provider's format rules and the Jet password check,
// decrypts an encrypted file into memory, opens libmdb READ-ONLY (whatever
// mode the caller asked for) and reads the catalogue. Throws DatabaseError
// with a description worded like the provider's. With a session, the image of
// an encrypted file is taken from it when the file is unchanged (see
// DatabaseSession.h), and kept in it otherwise.
std::shared_ptr<ConnectionState> OpenDatabase(const OpenRequest& request, DatabaseSession* session = nullptr);

// The same checks and open for an image in memory; request.path names the
// file in messages. An image still encrypted is refused.
std::shared_ptr<ConnectionState> OpenDatabaseImage(const OpenRequest& request, DatabaseImage image);

}  // namespace qm
