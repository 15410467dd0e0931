#pragma once

// Shared by the fuzz programs: quiet Qt, and a way to say "this must never
// happen" that libFuzzer records as a finding with its input.

#include <QByteArray>
#include <QtGlobal>
#include <cstdio>
#include <cstdlib>

namespace qm::fuzz {

// Qt's warnings (for instance about malformed JSON) are expected on hostile
// input and would only slow the run down.
inline void quietQt() {
    static const bool installed = [] {
        qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
        return true;
    }();
    (void)installed;
}

// A broken promise of the code under test: printed, then aborted, so that
// libFuzzer keeps the input as a crash.
[[noreturn]] inline void violated(const char* what, const QByteArray& detail = QByteArray()) {
    std::fprintf(stderr, "PROPERTY VIOLATED: %s %s\n", what, detail.constData());
    std::abort();
}

inline void require(bool condition, const char* what, const QByteArray& detail = QByteArray()) {
    if (!condition)
        violated(what, detail);
}

}  // namespace qm::fuzz
