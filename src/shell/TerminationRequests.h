#pragma once

#include <functional>
#include <memory>
#include <thread>

class QSocketNotifier;

namespace qm {

// SIGINT, SIGTERM and SIGHUP (a logout, kill, Ctrl-C in the terminal that
// started the program) turned into an ordinary call: the signal handler only
// writes the signal's number to a pipe, and the callback is called
//
// - from the event loop (Delivery::EventLoop, the wizard), where the program
//   can end the way it ends when its window closes. While the event loop does
//   not run (the save of a document), a request waits for it;
// - on a thread of its own (Delivery::Thread, the command line, whose work
//   runs without an event loop), once no TerminationShield is up: a save in
//   progress finishes or cleans up first.
//
// A file-size limit (SIGXFSZ) is ignored, so that a write past it fails with
// "File too large" like any other failed write instead of killing the program.
//
// One instance at most; it restores the previous handlers when it goes.
class TerminationRequests {
  public:
    enum class Delivery { EventLoop, Thread };

    // requested: what to do, with the number of the signal that came.
    explicit TerminationRequests(std::function<void(int signal)> requested,
                                 Delivery delivery = Delivery::EventLoop);
    ~TerminationRequests();

    TerminationRequests(const TerminationRequests&) = delete;
    TerminationRequests& operator=(const TerminationRequests&) = delete;

  private:
    void readPipe();
    void watch();

    std::function<void(int)> requested_;
    std::unique_ptr<QSocketNotifier> notifier_;
    std::thread watcher_;
};

// While one is up, a request delivered on TerminationRequests' thread waits
// (shields may nest, on one thread). interrupted() tells the work it covers
// that a request came, so that it can undo what it began.
class TerminationShield {
  public:
    TerminationShield();
    ~TerminationShield();
    TerminationShield(const TerminationShield&) = delete;
    TerminationShield& operator=(const TerminationShield&) = delete;

    static bool interrupted();
};

}  // namespace qm
