#pragma once

// An export pacing for tests: a pause after every n records, so what a test
// sees during an export never depends on how fast the machine reads.

#include "export/ExportRun.h"

namespace qm::test {

class RecordPacing : public ExportPacing {
  public:
    explicit RecordPacing(long long every) : every_(every) {}
    bool pauseNow() override {
        const long long done = asked_++;
        return done > 0 && done % every_ == 0;
    }

  private:
    long long every_;
    long long asked_ = 0;
};

}  // namespace qm::test
