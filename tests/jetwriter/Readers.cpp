#include "Readers.h"

#include <gtest/gtest.h>

#include <QFileInfo>
#include <QJsonDocument>

namespace qm::test {

namespace {

// Separators no written value contains.
constexpr char kFieldSeparator = '\x1f';
constexpr char kRowSeparator = '\x1e';
constexpr char kNullMark = '\x01';

QString nodeScript() {
    return QStringLiteral(QM_SOURCE_DIR "/tests/node/dump.mjs");
}

}  // namespace

QStringList MdbTables(const QString& path) {
    const auto r = RunProcess(QStringLiteral("mdb-tables"), {QStringLiteral("-1"), path});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    QStringList names = QString::fromUtf8(r.out).split(QLatin1Char('\n'));
    while (!names.isEmpty() && names.last().isEmpty())
        names.removeLast();
    return names;
}

long long MdbCount(const QString& path, const QString& table) {
    const auto r = RunProcess(QStringLiteral("mdb-count"), {path, table});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    return r.out.trimmed().toLongLong();
}

std::vector<std::pair<QString, QString>> MdbSchema(const QString& path, const QString& table) {
    const auto r = RunProcess(QStringLiteral("mdb-schema"),
                              {QStringLiteral("-T"), table, path, QStringLiteral("access")});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    std::vector<std::pair<QString, QString>> columns;
    // Column lines look like "\t[Name]\t\t\tText (80), ".
    for (const QString& line : QString::fromUtf8(r.out).split(QLatin1Char('\n'))) {
        const int tabs = line.indexOf(QStringLiteral("]\t\t\t"));
        if (!line.startsWith(QStringLiteral("\t[")) || tabs < 0)
            continue;
        QString type = line.mid(tabs + 4).trimmed();
        if (type.endsWith(QLatin1Char(',')))
            type.chop(1);
        columns.emplace_back(line.mid(2, tabs - 2), type);
    }
    return columns;
}

std::vector<ExportRow> MdbExport(const QString& path, const QString& table) {
    const QString dateFormat = QStringLiteral("%Y-%m-%d %H:%M:%S");
    const auto r =
        RunProcess(QStringLiteral("mdb-export"),
                   {QStringLiteral("-Q"), QStringLiteral("-d"), QString(QLatin1Char(kFieldSeparator)),
                    QStringLiteral("-R"), QString(QLatin1Char(kRowSeparator)), QStringLiteral("-0"),
                    QString(QLatin1Char(kNullMark)), QStringLiteral("-D"), dateFormat, QStringLiteral("-T"),
                    dateFormat, path, table});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    std::vector<ExportRow> rows;
    QStringList lines = QString::fromUtf8(r.out).split(QLatin1Char(kRowSeparator));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    for (const QString& line : lines) {
        ExportRow row;
        for (const QString& field : line.split(QLatin1Char(kFieldSeparator))) {
            if (field == QString(QLatin1Char(kNullMark)))
                row.emplace_back(std::nullopt);
            else
                row.emplace_back(field);
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

std::optional<QJsonObject> NodeDump(const QString& path, const QStringList& options) {
    if (!QFileInfo(QStringLiteral(QM_SOURCE_DIR "/tests/node/node_modules")).isDir()) {
        [] { GTEST_SKIP() << "mdb-reader is not installed: npm ci --prefix tests/node"; }();
        return std::nullopt;
    }
    const auto r = RunProcess(QStringLiteral("node"), QStringList{nodeScript(), path} + options);
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    QJsonParseError error;
    const auto document = QJsonDocument::fromJson(r.out, &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << error.errorString().toStdString();
    return document.object();
}

}  // namespace qm::test
