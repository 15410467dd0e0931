// Table definitions damaged where libmdb trusts them: the checks made before
// libmdb reads a definition, and the program's own reading of the column
// entries and names, turn each into "the data of table ... is damaged"
// instead of columns made of whatever bytes follow.

#include "ReliabilitySupport.h"

#include <QTemporaryDir>
#include <cstring>
#include <functional>

using namespace qm::reliability;

namespace {

constexpr int kPage = 4096;
// Jet 4 table definition page: next page, index count, column count, where the entries start.
constexpr int kNextPage = 4;
constexpr int kColumnCount = 45;
constexpr int kRealIndexCount = 51;

void put32(QByteArray& bytes, qsizetype at, quint32 value) {
    for (int i = 0; i < 4; ++i)
        bytes[at + i] = static_cast<char>(value >> (8 * i));
}
void put16(QByteArray& bytes, qsizetype at, quint16 value) {
    bytes[at] = static_cast<char>(value);
    bytes[at + 1] = static_cast<char>(value >> 8);
}

}  // namespace

TEST(DamagedDefinition, WhatLibmdbWouldTrustIsCheckedFirst) {
    QTemporaryDir dir;
    const QString original = dir.filePath(QStringLiteral("original.mdb"));
    // No rows: nothing but the definition can tell that it is damaged (rows
    // cracked with made-up columns would fail on their own).
    makeDatabase(original, R"({"tables": [{"name": "Colours",
        "columns": [{"name": "Id", "type": "long"}, {"name": "Name", "type": "text", "size": 20}],
        "rows": []}]})");
    const QByteArray bytes = readBytes(original);
    // The user table's definition: the first definition page after the catalogue's.
    qsizetype definition = -1;
    for (qsizetype page = 3; page * kPage < bytes.size() && definition < 0; ++page)
        if (bytes.at(page * kPage) == 0x02)
            definition = page * kPage;
    ASSERT_GT(definition, 0);

    struct Case {
        const char* what;
        std::function<void(QByteArray&)> damage;
    };
    const Case cases[] = {
        // libmdb multiplies the count into an offset: it overflows, or walks
        // far past the definition (here round a definition that names itself
        // as the next page).
        {"an index count near 2^31 / 12",
         [&](QByteArray& b) {
             put32(b, definition + kRealIndexCount, 178956965);
             put32(b, definition + kNextPage, static_cast<quint32>(definition / kPage));
         }},
        {"an index count that overflows",
         [&](QByteArray& b) { put32(b, definition + kRealIndexCount, 0x7FFFFFFF); }},
        // More columns than the definition holds: their entries and names would
        // be read from past its end.
        {"a column count past the definition's end",
         [&](QByteArray& b) { put16(b, definition + kColumnCount, 900); }},
        {"a definition that continues on a data page",
         [&](QByteArray& b) {
             put16(b, definition + kColumnCount, 200);
             put32(b, definition + kNextPage, 1);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QByteArray damaged = bytes;
        c.damage(damaged);
        const QString database = dir.filePath(QStringLiteral("damaged.mdb"));
        writeBytes(database, damaged);
        const QString output = dir.filePath(QStringLiteral("out.docx"));
        const Outcome outcome = runExport({database, QStringLiteral("--table"), QStringLiteral("Colours"),
                                           QStringLiteral("--output"), output});
        EXPECT_TRUE(outcome.exited(1)) << outcome.err.toStdString();
        EXPECT_TRUE(
            IsOneLineMessage(outcome.err, {QStringLiteral("The data of table 'Colours' is damaged")}));
        EXPECT_FALSE(QFile::exists(output));
    }
}
