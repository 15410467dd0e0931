#pragma once

#include <functional>
#include <memory>

class QSocketNotifier;

namespace qm {

// SIGINT, SIGTERM and SIGHUP (a logout, kill, Ctrl-C in the terminal that
// started the program) turned into an ordinary event: the handler only writes
// the signal's number to a pipe, and the callback is called from the event
// loop, where the program can end the way it ends when its window closes.
// While the event loop does not run (the save of a document), a request waits
// for it, so a save is never cut short in the middle.
//
// A file-size limit (SIGXFSZ) is ignored, so that a write past it fails with
// "File too large" like any other failed write instead of killing the program.
//
// One instance at most; it restores the previous handlers when it goes.
class TerminationRequests {
  public:
    // requested: what to do, with the number of the signal that came.
    explicit TerminationRequests(std::function<void(int signal)> requested);
    ~TerminationRequests();

    TerminationRequests(const TerminationRequests&) = delete;
    TerminationRequests& operator=(const TerminationRequests&) = delete;

  private:
    void readPipe();

    std::function<void(int)> requested_;
    std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace qm
