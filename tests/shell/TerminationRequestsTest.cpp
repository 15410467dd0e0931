#include "shell/TerminationRequests.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>
#include <QCoreApplication>
#include <QTemporaryDir>
#include <cerrno>
#include <vector>

namespace {

int argc = 1;
char name[] = "shell-tests";
char* argv[] = {name, nullptr};

QCoreApplication& application() {
    static QCoreApplication app(argc, argv);
    return app;
}

}  // namespace

// A signal is only noted by its handler; the program hears of it from the
// event loop, so work that runs without the loop (a save) is never cut short.
TEST(TerminationRequests, ASignalWaitsForTheEventLoopAndIsHeardOnce) {
    application();
    std::vector<int> heard;
    {
        qm::TerminationRequests requests([&heard](int signal) { heard.push_back(signal); });
        // Both handled before raise() returns; the handler only notes them.
        ASSERT_EQ(::raise(SIGTERM), 0);
        ASSERT_EQ(::raise(SIGINT), 0);
        EXPECT_TRUE(heard.empty());  // still alive, nothing called yet

        // Two passes of the loop: the first finds the note, the second finds nothing more.
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
        // Two signals before the loop ran: one request, the latest.
        EXPECT_EQ(heard, std::vector<int>{SIGINT});
    }
    // Gone with the object: a second instance may take over.
    EXPECT_NO_THROW(qm::TerminationRequests([](int) {}));
}

TEST(TerminationRequests, OnlyOneInstanceHandlesTheSignals) {
    application();
    const qm::TerminationRequests first([](int) {});
    EXPECT_ANY_THROW(qm::TerminationRequests([](int) {}));
}

// Past a file-size limit, a write fails with EFBIG instead of the default
// SIGXFSZ ending the program without a word.
TEST(TerminationRequests, AFileSizeLimitFailsTheWriteInsteadOfEndingTheProgram) {
    application();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const qm::TerminationRequests requests([](int) {});
    rlimit previous{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &previous), 0);
    rlimit limited = previous;
    limited.rlim_cur = 1024;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
    const QByteArray path = dir.filePath(QStringLiteral("big")).toLocal8Bit();
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    std::vector<char> bytes(4096, 'x');
    ssize_t written = 0;
    int error = 0;
    if (fd >= 0) {
        written = ::write(fd, bytes.data(), 1024);
        if (::write(fd, bytes.data(), bytes.size()) < 0)
            error = errno;
        ::close(fd);
    }
    ::setrlimit(RLIMIT_FSIZE, &previous);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(written, 1024);
    EXPECT_EQ(error, EFBIG);
}
