#pragma once

#include <QString>

namespace qm {

class DatabaseSession;

// Where the database path and password come from at the moment of an open
// (page 1's two boxes in the wizard, the options on the command line), and
// the session of the user who opens it (nothing: every open reads the file
// as if for the first time).
class DatabaseLocation {
  public:
    virtual ~DatabaseLocation() = default;
    virtual QString databasePath() const = 0;
    virtual QString databasePassword() const = 0;
    virtual DatabaseSession* databaseSession() const { return nullptr; }
};

class FixedDatabaseLocation : public DatabaseLocation {
  public:
    FixedDatabaseLocation(QString path, QString password)
        : path_(std::move(path)), password_(std::move(password)) {}
    QString databasePath() const override { return path_; }
    QString databasePassword() const override { return password_; }

  private:
    QString path_, password_;
};

// The ACE form when the last five characters of the path, lower-cased, are
// "accdb"; the Jet form otherwise. A path or password that contains ';' or
// starts with a quote or "=" is quoted ("...", inner quotes doubled) so it cannot cut
// the string; ParseConnectionString reads such values back.
QString BuildConnectionString(const QString& path, const QString& password);
QString BuildConnectionString(const DatabaseLocation& location);

struct ConnectionProperties {
    QString provider;    // "Microsoft.ACE.OLEDB.12.0" or "Microsoft.Jet.OLEDB.4.0"
    QString dataSource;  // the database path
    QString password;
    bool isAce() const;
};

// Throws DatabaseError for malformed strings or unknown providers.
ConnectionProperties ParseConnectionString(const QString& connectionString);

}  // namespace qm
