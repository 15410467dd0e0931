#include "TerminationRequests.h"

#include "Failure.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>
#include <QSocketNotifier>
#include <array>
#include <cerrno>
#include <cstring>
#include <utility>

namespace qm {

namespace {

constexpr std::array<int, 3> kTerminationSignals = {SIGINT, SIGTERM, SIGHUP};

// The pipe's ends, reachable from the signal handler.
int gPipe[2] = {-1, -1};
struct sigaction gPrevious[kTerminationSignals.size()];
struct sigaction gPreviousFileSize;

extern "C" void onTerminationSignal(int signal) {
    const int saved = errno;
    const unsigned char number = static_cast<unsigned char>(signal);
    // A full pipe already holds a request; nothing is lost by dropping this one.
    [[maybe_unused]] const ssize_t written = ::write(gPipe[1], &number, 1);
    errno = saved;
}

}  // namespace

TerminationRequests::TerminationRequests(std::function<void(int)> requested)
    : requested_(std::move(requested)) {
    if (gPipe[0] != -1)
        throw Failure(QStringLiteral("Termination signals are already being handled."));
    if (::pipe2(gPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        throw Failure(QStringLiteral("Cannot watch for termination signals: %1")
                          .arg(QString::fromLocal8Bit(std::strerror(errno))));
    notifier_ = std::make_unique<QSocketNotifier>(gPipe[0], QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] { readPipe(); });

    struct sigaction action {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (std::size_t i = 0; i < kTerminationSignals.size(); ++i)
        ::sigaction(kTerminationSignals[i], &action, &gPrevious[i]);

    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    ::sigaction(SIGXFSZ, &ignore, &gPreviousFileSize);
}

TerminationRequests::~TerminationRequests() {
    for (std::size_t i = 0; i < kTerminationSignals.size(); ++i)
        ::sigaction(kTerminationSignals[i], &gPrevious[i], nullptr);
    ::sigaction(SIGXFSZ, &gPreviousFileSize, nullptr);
    notifier_.reset();
    ::close(gPipe[0]);
    ::close(gPipe[1]);
    gPipe[0] = gPipe[1] = -1;
}

void TerminationRequests::readPipe() {
    unsigned char number = 0;
    int last = 0;
    while (::read(gPipe[0], &number, 1) == 1)
        last = number;
    if (last != 0)
        requested_(last);
}

}  // namespace qm
