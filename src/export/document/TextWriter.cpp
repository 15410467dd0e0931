#include "TextWriter.h"

#include "shell/Failure.h"

#include <QIODevice>

namespace qm {

void WriteToDevice(QIODevice& device, std::string_view data) {
    while (!data.empty()) {
        const qint64 written = device.write(data.data(), static_cast<qint64>(data.size()));
        if (written <= 0) {
            const QString reason = device.errorString();
            throw Failure(reason.isEmpty() || reason == QLatin1String("Unknown error")
                              ? QStringLiteral("Write error")
                              : reason);
        }
        data.remove_prefix(static_cast<std::size_t>(written));
    }
}

void TextWriter::write(const DocumentContent& content, QIODevice& device) const {
    for (const TextSnapshot& text : content.texts)
        text.read([&](std::string_view chunk) { WriteToDevice(device, chunk); });
}

}  // namespace qm
