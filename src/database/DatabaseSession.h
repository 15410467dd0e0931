#pragma once

// What one user of the database layer (the wizard, the command line) keeps
// between the opens it makes, owned by that user and passed down with the
// database's location.

#include <memory>

namespace qm {

// The decrypted image of the encrypted database opened last, so that opening
// the same unchanged file with the same password again neither reads nor
// decrypts it (a large encrypted file takes seconds to decrypt, and one pass
// through the wizard opens the database five times). Nothing else is kept:
// every open opens the file anew and compares what its descriptor reports
// (device, inode, size, modification and change times) with what was kept,
// so a network file system looks again; no file stays open between opens.
// The image and the password are wiped when another database is opened and
// when the session ends.
class DatabaseSession {
  public:
    DatabaseSession();
    ~DatabaseSession();
    DatabaseSession(const DatabaseSession&) = delete;
    DatabaseSession& operator=(const DatabaseSession&) = delete;

    // Wipes and forgets what is kept.
    void forget();

    // Internal to the database layer (MdbSupport.h).
    struct Kept;
    Kept& kept() { return *kept_; }

  private:
    std::unique_ptr<Kept> kept_;
};

}  // namespace qm
