#pragma once

// A .docx read back by python-docx and Python's zipfile (read_docx.py beside
// this file), not by our own code.

#include "common/RunProcess.h"
#include "common/TestSupport.h"

#include <gtest/gtest.h>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <optional>

namespace qm::test {

struct Docx {
    QStringList paragraphs;  // python-docx's paragraph texts: "\n" for a line break, "\t" for a tab
    QString parts;           // every part of the package, as text
    QStringList tableRows;   // every row of every table, its cells' texts joined by a tab
    QJsonObject answer;      // all the reader printed, with what its options add (read_docx.py)
};

// Nothing, and a test failure, when python-docx cannot read the file.
inline std::optional<Docx> ReadDocx(const QString& path, const QStringList& readerOptions = {}) {
    ProcessOptions options;
    options.timeoutMs = 300000;  // documents of a few hundred thousand paragraphs
    const ProcessResult r = RunProcess(
        systemPython(), QStringList{QStringLiteral(QM_DOCX_READER), path} + readerOptions, options);
    if (r.exitCode != 0) {
        ADD_FAILURE() << "python-docx cannot read " << path.toStdString() << ":\n" << r.err.toStdString();
        return std::nullopt;
    }
    QJsonParseError error;
    const QJsonDocument json = QJsonDocument::fromJson(r.out, &error);
    if (!json.isObject()) {
        ADD_FAILURE() << "unreadable answer from read_docx.py: " << error.errorString().toStdString();
        return std::nullopt;
    }
    Docx docx;
    docx.answer = json.object();
    for (const QJsonValue& paragraph : docx.answer.value(QStringLiteral("paragraphs")).toArray())
        docx.paragraphs.append(paragraph.toString());
    docx.parts = docx.answer.value(QStringLiteral("parts")).toString();
    for (const QJsonValue& table : docx.answer.value(QStringLiteral("tables")).toArray())
        for (const QJsonValue& row : table.toArray())
            docx.tableRows.append(row.toVariant().toStringList().join(QLatin1Char('\t')));
    return docx;
}

// Just the paragraphs; none, and a test failure, when the file cannot be read.
inline QStringList DocxParagraphs(const QString& path) {
    const auto docx = ReadDocx(path);
    return docx ? docx->paragraphs : QStringList{};
}

}  // namespace qm::test
