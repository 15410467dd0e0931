#pragma once

// Owners for the libgsf objects the document writers use (a compound file for
// Word 97-2003 documents, a ZIP archive for OpenDocument), and a libgsf output
// that writes to a QIODevice, so those writers save through the same atomic
// temporary file as every other format and tests can hand them failing devices.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

class QIODevice;
class QString;

typedef struct _GsfOutput GsfOutput;
typedef struct _GsfOutfile GsfOutfile;

namespace qm {

namespace detail {
struct GObjectUnref {
    void operator()(void* object) const;
};
}  // namespace detail

// A reference to a libgsf object, given up when the owner goes.
using GsfOutputPtr = std::unique_ptr<GsfOutput, detail::GObjectUnref>;
using GsfOutfilePtr = std::unique_ptr<GsfOutfile, detail::GObjectUnref>;

// A libgsf output over a QIODevice that is open for writing at its start. libgsf
// does not pass every failure of its sink on to its callers (the compound file
// writer ignores them), so the sink remembers the first one itself: check()
// throws it as a qm::Failure whose description is the device's error.
class GsfDeviceOutput {
  public:
    explicit GsfDeviceOutput(QIODevice& device);
    ~GsfDeviceOutput();
    GsfDeviceOutput(const GsfDeviceOutput&) = delete;
    GsfDeviceOutput& operator=(const GsfDeviceOutput&) = delete;

    GsfOutput* get() const { return output_.get(); }
    // Throws qm::Failure when the device has failed.
    void check() const;

    struct State;  // shared with the GObject type behind the output

  private:
    std::unique_ptr<State> state_;
    GsfOutputPtr output_;
};

// Writes all of data, or throws qm::Failure with the output's error (or
// fallback when libgsf gives none).
void WriteGsf(GsfOutput* output, std::string_view data, const GsfDeviceOutput& sink);
// Moves to an absolute position of the output; throws like WriteGsf.
void SeekGsf(GsfOutput* output, std::uint64_t position, const GsfDeviceOutput& sink);
// Closes the output; throws like WriteGsf.
void CloseGsf(GsfOutput* output, const GsfDeviceOutput& sink);

// A new stream or entry in a container; throws qm::Failure when libgsf refuses.
GsfOutputPtr NewGsfChild(GsfOutfile* container, const char* name);

}  // namespace qm
