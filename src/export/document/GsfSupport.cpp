#include "GsfSupport.h"

#include "shell/Failure.h"

#include <gsf/gsf-outfile.h>
#include <gsf/gsf-output.h>
#include <gsf/gsf-utils.h>
#include <QIODevice>
#include <QString>
#include <mutex>

namespace qm {

void detail::GObjectUnref::operator()(void* object) const {
    if (object != nullptr)
        g_object_unref(object);
}

struct GsfDeviceOutput::State {
    QIODevice* device = nullptr;
    QString error;  // the first failure of the device

    bool fail(const char* fallback) {
        if (error.isEmpty())
            error = device->errorString();
        if (error.isEmpty() || error == QLatin1String("Unknown error"))
            error = QString::fromLatin1(fallback);
        return false;
    }
};

}  // namespace qm

// The GObject type behind GsfDeviceOutput: a GsfOutput whose Write, Seek and
// Close go to the device.
extern "C" {

struct QmDeviceOutput {
    GsfOutput output;
    qm::GsfDeviceOutput::State* state;
};

struct QmDeviceOutputClass {
    GsfOutputClass output_class;
};

G_DEFINE_TYPE(QmDeviceOutput, qm_device_output, GSF_OUTPUT_TYPE)

static gboolean qm_device_output_write(GsfOutput* output, size_t size, const guint8* data) {
    auto* state = reinterpret_cast<QmDeviceOutput*>(output)->state;
    if (!state->error.isEmpty())
        return FALSE;
    const auto* bytes = reinterpret_cast<const char*>(data);
    while (size > 0) {
        const qint64 written = state->device->write(bytes, static_cast<qint64>(size));
        if (written <= 0)
            return state->fail("Write error");
        bytes += written;
        size -= static_cast<size_t>(written);
    }
    return TRUE;
}

static gboolean qm_device_output_seek(GsfOutput* output, gsf_off_t offset, GSeekType whence) {
    auto* state = reinterpret_cast<QmDeviceOutput*>(output)->state;
    if (!state->error.isEmpty())
        return FALSE;
    gsf_off_t target = offset;
    if (whence == G_SEEK_CUR)
        target += output->cur_offset;
    else if (whence == G_SEEK_END)
        target += output->cur_size;
    if (target < 0 || !state->device->seek(static_cast<qint64>(target)))
        return state->fail("Seek error");
    return TRUE;
}

static gboolean qm_device_output_close(GsfOutput* output) {
    // The device belongs to the caller, who commits or abandons it.
    return reinterpret_cast<QmDeviceOutput*>(output)->state->error.isEmpty() ? TRUE : FALSE;
}

static void qm_device_output_init(QmDeviceOutput* self) {
    self->state = nullptr;
}

static void qm_device_output_class_init(QmDeviceOutputClass* klass) {
    GsfOutputClass* output_class = &klass->output_class;
    output_class->Write = qm_device_output_write;
    output_class->Seek = qm_device_output_seek;
    output_class->Close = qm_device_output_close;
}

}  // extern "C"

namespace qm {

GsfDeviceOutput::GsfDeviceOutput(QIODevice& device) : state_(std::make_unique<State>()) {
    static std::once_flag initialised;
    std::call_once(initialised, [] { gsf_init(); });
    if (!device.isWritable() || device.isSequential())
        throw Failure(QStringLiteral("The output cannot be written at random places"));
    state_->device = &device;
    auto* output = static_cast<QmDeviceOutput*>(g_object_new(qm_device_output_get_type(), nullptr));
    output->state = state_.get();
    output_.reset(GSF_OUTPUT(output));
}

// The output goes before its state (members are destroyed in reverse order),
// so a close on the way still finds the device.
GsfDeviceOutput::~GsfDeviceOutput() = default;

void GsfDeviceOutput::check() const {
    if (!state_->error.isEmpty())
        throw Failure(state_->error);
}

namespace {

[[noreturn]] void failGsf(GsfOutput* output, const GsfDeviceOutput& sink, const char* fallback) {
    sink.check();  // the device's own reason comes first
    const GError* error = gsf_output_error(output);
    throw Failure(error != nullptr && error->message != nullptr ? QString::fromUtf8(error->message)
                                                                : QString::fromLatin1(fallback));
}

}  // namespace

void WriteGsf(GsfOutput* output, std::string_view data, const GsfDeviceOutput& sink) {
    if (!data.empty() && !gsf_output_write(output, data.size(), reinterpret_cast<const guint8*>(data.data())))
        failGsf(output, sink, "Write error");
    sink.check();
}

void SeekGsf(GsfOutput* output, std::uint64_t position, const GsfDeviceOutput& sink) {
    if (!gsf_output_seek(output, static_cast<gsf_off_t>(position), G_SEEK_SET))
        failGsf(output, sink, "Seek error");
    sink.check();
}

void CloseGsf(GsfOutput* output, const GsfDeviceOutput& sink) {
    if (!gsf_output_close(output))
        failGsf(output, sink, "The document could not be completed");
    sink.check();
}

GsfOutputPtr NewGsfChild(GsfOutfile* container, const char* name) {
    GsfOutputPtr child(gsf_outfile_new_child(container, name, FALSE));
    if (!child)
        throw Failure(QStringLiteral("Could not add '%1' to the document").arg(QLatin1String(name)));
    return child;
}

}  // namespace qm
