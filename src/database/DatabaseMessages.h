#pragma once

// The database layer's failure and its descriptions, in one place. They are
// worded like the provider words its own, so the error report reads the same
// whatever failed underneath.

#include "shell/Failure.h"

#include <QString>

namespace qm {

// A failure of the database layer, worded like the provider words it.
class DatabaseError : public Failure {
  public:
    using Failure::Failure;
};

}  // namespace qm

namespace qm::dbmessages {

inline const QString kNotAValidPassword = QStringLiteral("Not a valid password.");

inline QString couldNotFindFile(const QString& path) {
    return QStringLiteral("Could not find file '%1'.").arg(path);
}
inline QString unrecognizedFormat(const QString& path) {
    return QStringLiteral("Unrecognized database format '%1'.").arg(path);
}
inline QString isAFolder(const QString& path) {
    return QStringLiteral(
               "The database engine cannot open the file '%1'. It is a folder, not a database file.")
        .arg(path);
}
inline QString cannotRead(const QString& path) {
    return QStringLiteral(
               "The database engine cannot open the file '%1'. You need permission to read its data.")
        .arg(path);
}
inline QString encryptedAce(const QString& path) {
    return QStringLiteral("The database '%1' is encrypted in a way this program cannot read.").arg(path);
}
inline QString damaged(const QString& path) {
    return QStringLiteral("The database '%1' is damaged and cannot be read.").arg(path);
}
inline QString damagedTable(const QString& table) {
    return QStringLiteral("The data of table '%1' is damaged and cannot be read completely.").arg(table);
}
inline QString unknownTable(const QString& name) {
    return QStringLiteral(
               "The database engine cannot find the input table or query '%1'. Make sure it exists and that "
               "its name is spelled correctly.")
        .arg(name);
}
inline QString unknownField(const QString& field, const QString& table) {
    return QStringLiteral("The field '%1' does not exist in table '%2'.").arg(field, table);
}
inline QString notATable(const QString& name) {
    return QStringLiteral("'%1' is a saved query, not a table; only tables can be read.").arg(name);
}
inline QString linkedTable(const QString& name) {
    return QStringLiteral(
               "'%1' is a linked table whose data lives in another database; it cannot be read here.")
        .arg(name);
}

inline const QString kProviderNotFound =
    QStringLiteral("Provider cannot be found. It may not be properly installed.");
inline const QString kMalformedConnectionString =
    QStringLiteral("Format of the initialization string is not valid: each setting must read keyword=value.");
inline const QString kObjectClosed = QStringLiteral("Operation is not allowed when the object is closed.");
inline const QString kObjectOpen = QStringLiteral("Operation is not allowed when the object is open.");
inline const QString kNoCurrentRecord = QStringLiteral(
    "Either BOF or EOF is True, or the current record has been deleted. Requested operation requires a "
    "current "
    "record.");
inline const QString kItemNotFound =
    QStringLiteral("Item cannot be found in the collection corresponding to the requested name or ordinal.");
inline const QString kSchemaNotSupported =
    QStringLiteral("Object or provider is not capable of performing requested operation.");
inline const QString kInvalidStatement =
    QStringLiteral("Invalid SQL statement; expected 'DELETE', 'INSERT', 'PROCEDURE', 'SELECT', or 'UPDATE'.");
inline const QString kSyntaxErrorInFrom = QStringLiteral("Syntax error in FROM clause.");
inline const QString kSelectSyntax = QStringLiteral(
    "The SELECT statement includes a reserved word or an argument name that is misspelled or missing, or the "
    "punctuation is incorrect.");
inline const QString kNoConnection = QStringLiteral(
    "The connection cannot be used to perform this operation. It is either closed or invalid in "
    "this context.");

}  // namespace qm::dbmessages
