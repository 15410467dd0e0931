// The first page of a database file and what is read from it before any page
// goes to libmdb: the Jet header (format, page size, database password), the
// encryption header of Access 2007+ files, and the decryption of a whole
// image under a password. Each must either work or fail with qm::Failure.

#include "FuzzSupport.h"
#include "database/JetHeader.h"
#include "database/crypto/AccessCrypto.h"
#include "shell/Failure.h"

#include <cstdint>
#include <span>

namespace {

// The passwords of the encrypted files the seeds come from.
const QString kPasswords[] = {QStringLiteral("password"), QStringLiteral("Test123")};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    qm::fuzz::quietQt();
    const std::span<const unsigned char> bytes(data, size);
    const auto headerBytes = static_cast<qsizetype>(std::min<std::size_t>(size, qm::jet::kHeaderBytes));

    try {
        const qm::jet::HeaderInfo header =
            qm::jet::ReadHeader(QByteArray(reinterpret_cast<const char*>(data), headerBytes));
        qm::fuzz::require(header.pageSize == 2048 || header.pageSize == 4096, "page size");
        qm::fuzz::require(header.password.size() <= 20, "a stored password holds at most 20 characters");
    } catch (const qm::Failure&) {
    }

    bool needsPassword = false;
    try {
        needsPassword = qm::crypto::DetectEncryption(
                            bytes.first(std::min<std::size_t>(size, qm::crypto::kDetectionBytes)))
                            .needsPassword();
    } catch (const qm::Failure&) {
    }

    if (needsPassword) {
        for (const QString& password : kPasswords) {
            try {
                const qm::crypto::SecureBuffer plain =
                    qm::crypto::DecryptDatabase(qm::crypto::SecureBuffer::copyOf(bytes), password);
                qm::fuzz::require(plain.size() == size, "a decrypted image keeps its size");
                // The result must read as a database that needs no password.
                qm::fuzz::require(!qm::crypto::DetectEncryption(plain.bytes()).needsPassword(),
                                  "a decrypted image is no longer encrypted");
                break;
            } catch (const qm::Failure&) {
            }
        }
    }
    return 0;
}
