#include "TerminationRequests.h"

#include "Failure.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>
#include <QSocketNotifier>
#include <array>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <utility>

namespace qm {

namespace {

constexpr std::array<int, 3> kTerminationSignals = {SIGINT, SIGTERM, SIGHUP};
// Written to the pipe to end the watcher thread; no signal has this number.
constexpr unsigned char kStopWatching = 0;

// The pipe's ends, reachable from the signal handler.
int gPipe[2] = {-1, -1};
std::atomic<int> gReceived{0};
struct sigaction gPrevious[kTerminationSignals.size()];
struct sigaction gPreviousFileSize;

// Held by every shield; the watcher takes it before it delivers.
std::recursive_mutex& shieldMutex() {
    static std::recursive_mutex mutex;
    return mutex;
}

extern "C" void onTerminationSignal(int signal) {
    const int saved = errno;
    gReceived.store(signal);
    const unsigned char number = static_cast<unsigned char>(signal);
    // A full pipe already holds a request; nothing is lost by dropping this one.
    [[maybe_unused]] const ssize_t written = ::write(gPipe[1], &number, 1);
    errno = saved;
}

}  // namespace

TerminationRequests::TerminationRequests(std::function<void(int)> requested, Delivery delivery)
    : requested_(std::move(requested)) {
    if (gPipe[0] != -1)
        throw Failure(QStringLiteral("Termination signals are already being handled."));
    if (::pipe2(gPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        throw Failure(QStringLiteral("Cannot watch for termination signals: %1")
                          .arg(QString::fromLocal8Bit(std::strerror(errno))));
    gReceived.store(0);
    if (delivery == Delivery::EventLoop) {
        notifier_ = std::make_unique<QSocketNotifier>(gPipe[0], QSocketNotifier::Read);
        QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] { readPipe(); });
    } else {
        watcher_ = std::thread([this] { watch(); });
    }

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
    if (watcher_.joinable()) {
        const unsigned char stop = kStopWatching;
        [[maybe_unused]] const ssize_t written = ::write(gPipe[1], &stop, 1);
        watcher_.join();
    }
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

void TerminationRequests::watch() {
    for (;;) {
        pollfd wait{gPipe[0], POLLIN, 0};
        if (::poll(&wait, 1, -1) < 0 && errno != EINTR)
            return;
        unsigned char number = 0;
        while (::read(gPipe[0], &number, 1) == 1) {
            if (number == kStopWatching)
                return;
            // A save in progress finishes or cleans up first; the callback
            // may end the program, so the lock is kept.
            std::unique_lock lock(shieldMutex());
            requested_(number);
        }
    }
}

TerminationShield::TerminationShield() {
    shieldMutex().lock();
}

TerminationShield::~TerminationShield() {
    shieldMutex().unlock();
}

bool TerminationShield::interrupted() {
    return gReceived.load() != 0;
}

}  // namespace qm
