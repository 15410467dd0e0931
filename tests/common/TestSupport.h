#pragma once

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QString>
#include <QTemporaryDir>

namespace qm::test {

// Path of a file in the shared corpus of real Access files.
inline QString corpusFile(const QString& name) {
    return QStringLiteral(QM_CORPUS_DIR "/") + name;
}
inline bool haveCorpus() {
    return QFileInfo(QStringLiteral(QM_CORPUS_DIR)).isDir();
}

// A database written at build time from tests/fixtures/<name>.json (target
// qm_fixtures), and the sample database the program ships: what every test
// runs on that needs no particular file made by Access.
inline QString fixtureFile(const char* name) {
    return QStringLiteral(QM_BINARY_DIR "/fixtures/%1.mdb").arg(QLatin1String(name));
}
inline QString sampleFile() {
    return QStringLiteral(QM_SOURCE_DIR "/samples/sample.mdb");
}

// Python with Debian's document readers (python3-docx).
inline QString systemPython() {
    return QStringLiteral(QM_SYSTEM_PYTHON);
}

}  // namespace qm::test

// Skips the current test when the shared corpus is not there.
#define QM_REQUIRE_CORPUS()                                              \
    do {                                                                 \
        if (!::qm::test::haveCorpus())                                   \
            GTEST_SKIP() << "shared corpus not found at " QM_CORPUS_DIR; \
    } while (0)
