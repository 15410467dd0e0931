#include "database/crypto/AccessCrypto.h"

#include "database/crypto/OpenSsl.h"
#include "database/crypto/PageDecryptor.h"
#include "shell/Failure.h"

#include <QFile>

#include <QtEndian>
#include <algorithm>
#include <array>
#include <cstring>
#include <memory>

namespace qm::crypto {

namespace {

// Header page layout.
constexpr std::size_t kVersionOffset = 0x14;
constexpr std::size_t kObscuredOffset = 0x18;     // start of the RC4-obscured region
constexpr std::size_t kEncodingKeyOffset = 0x3E;  // inside the obscured region
constexpr std::size_t kEncryptionOffset = 0x299;  // 16-bit length, then the encryption structure
constexpr std::array<unsigned char, 4> kObscuringKey = {0xC7, 0xDA, 0x39, 0x6B};
constexpr std::array<unsigned char, 4> kMagic = {0x00, 0x01, 0x00, 0x00};
constexpr char kJetName[] = "Standard Jet DB";
constexpr char kAceName[] = "Standard ACE DB";
// Access databases hold at most 2 GB. A larger "database" is damaged or made
// up; reading it all into memory would take the machine's memory and minutes.
constexpr std::uint64_t kMaxDatabaseBytes = 2ull * 1024 * 1024 * 1024;

enum class Engine { Jet3, Jet4, Ace };

struct Header {
    Engine engine = Engine::Jet4;
    std::size_t pageSize = 4096;
    EncodingKey encodingKey{};
    bool encoded() const { return encodingKey != EncodingKey{}; }
};

[[noreturn]] void notAnAccessDatabase() {
    throw Failure(QStringLiteral("The file is not an Access database."));
}

Header readHeader(std::span<const unsigned char> page) {
    if (page.size() < kObscuredOffset + 128)
        notAnAccessDatabase();
    const bool jet = std::memcmp(page.data() + 4, kJetName, sizeof kJetName) == 0;
    const bool ace = std::memcmp(page.data() + 4, kAceName, sizeof kAceName) == 0;
    if (!std::equal(kMagic.begin(), kMagic.end(), page.begin()) || !(jet || ace))
        notAnAccessDatabase();
    Header header;
    const unsigned char version = page[kVersionOffset];
    header.engine = version == 0 ? Engine::Jet3 : version == 1 ? Engine::Jet4 : Engine::Ace;
    header.pageSize = header.engine == Engine::Jet3 ? 2048 : 4096;

    // The encoding key sits in the region that every Jet and ACE file keeps
    // obscured with a fixed RC4 key; only the bytes up to the key are needed.
    const std::size_t end = kEncodingKeyOffset + header.encodingKey.size();
    std::array<unsigned char, kEncodingKeyOffset + 4 - kObscuredOffset> obscured{};
    std::copy(page.begin() + kObscuredOffset, page.begin() + end, obscured.begin());
    ossl::Cipher("RC4").decrypt(kObscuringKey, {}, obscured);
    std::copy(obscured.end() - 4, obscured.end(), header.encodingKey.begin());
    return header;
}

// The encryption structure of an encoded ACE header page, bounds-checked.
std::span<const unsigned char> encryptionStructure(std::span<const unsigned char> page,
                                                   const Header& header) {
    const std::size_t available = std::min(page.size(), header.pageSize);
    if (available < kEncryptionOffset + 2)
        throw Failure(DamagedHeaderMessage(QStringLiteral("the header page is cut short")));
    const std::size_t length = qFromLittleEndian<std::uint16_t>(page.data() + kEncryptionOffset);
    if (length == 0)
        throw Failure(
            DamagedHeaderMessage(QStringLiteral("the database is encoded but has no encryption header")));
    if (kEncryptionOffset + 2 + length > available)
        throw Failure(
            DamagedHeaderMessage(QStringLiteral("its length %1 runs past the header page").arg(length)));
    return page.subspan(kEncryptionOffset + 2, length);
}

struct Detected {
    Header header;
    EncryptionInfo info;
};

Detected detect(std::span<const unsigned char> fileStart) {
    Detected d;
    d.header = readHeader(fileStart);
    if (!d.header.encoded())
        d.info.scheme = Scheme::None;
    else if (d.header.engine != Engine::Ace)
        d.info.scheme = Scheme::JetDatabaseKey;
    else
        d.info = ParseEncryptionInfo(encryptionStructure(fileStart, d.header));
    return d;
}

// Decrypts every page after the header page and makes the header page look
// like that of a database that was never encrypted: the encoding key reads as
// zero (libmdb would otherwise apply the RC4 of Jet 4 encoded databases) and
// the encryption structure is blanked.
void decryptImage(SecureBuffer& image, const Header& header, PageDecryptor& decryptor) {
    const std::size_t pageSize = header.pageSize;
    if (image.size() % pageSize != 0)
        throw Failure(
            QStringLiteral(
                "The database file is damaged: its size of %1 bytes is not a whole number of pages.")
                .arg(image.size()));
    const std::size_t pages = image.size() / pageSize;
    if (pages > 0xFFFFFFFFu)
        throw Failure(QStringLiteral("The database file is too large."));
    for (std::size_t page = 1; page < pages; ++page)
        decryptor.decryptPage(image.bytes().subspan(page * pageSize, pageSize),
                              static_cast<std::uint32_t>(page));

    unsigned char* headerPage = image.data();
    for (std::size_t i = 0; i < header.encodingKey.size(); ++i)
        headerPage[kEncodingKeyOffset + i] ^=
            header.encodingKey[i];  // stored XOR plain = key stream, which reads as 0
    const std::size_t length = qFromLittleEndian<std::uint16_t>(headerPage + kEncryptionOffset);
    std::memset(headerPage + kEncryptionOffset, 0, 2 + length);  // bounds checked by encryptionStructure
}

void readFully(QFile& file, unsigned char* into, std::size_t size) {
    std::size_t done = 0;
    while (done < size) {
        const qint64 got = file.read(reinterpret_cast<char*>(into + done), static_cast<qint64>(size - done));
        if (got <= 0)
            throw Failure(
                QStringLiteral("The database file '%1' could not be read: %2.")
                    .arg(file.fileName(), got < 0 ? file.errorString() : QStringLiteral("it ended early")));
        done += static_cast<std::size_t>(got);
    }
}

}  // namespace

Encryption DetectEncryption(std::span<const unsigned char> fileStart) {
    const Detected d = detect(fileStart);
    return Encryption{d.info.scheme, d.info.method()};
}

Encryption DetectEncryption(const QByteArray& fileStart) {
    return DetectEncryption(
        std::span<const unsigned char>(reinterpret_cast<const unsigned char*>(fileStart.constData()),
                                       static_cast<std::size_t>(fileStart.size())));
}

SecureBuffer DecryptDatabase(SecureBuffer image, const QString& password) {
    const Detected d = detect(image.bytes());
    if (!NeedsPassword(d.info.scheme))
        return image;
    const auto decryptor = Unlock(d.info, d.header.encodingKey, password);
    decryptImage(image, d.header, *decryptor);
    return image;
}

SecureBuffer DecryptDatabase(const QString& path, const QString& password) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw Failure(
            QStringLiteral("The database file '%1' could not be opened: %2.").arg(path, file.errorString()));
    const qint64 size = file.size();
    if (size < 0)
        throw Failure(QStringLiteral("The size of the database file '%1' is unknown.").arg(path));
    if (static_cast<std::uint64_t>(size) > kMaxDatabaseBytes)
        throw Failure(
            QStringLiteral("The database file '%1' is damaged: at %2 bytes it is larger than the 2 GB "
                           "an Access database can hold.")
                .arg(path)
                .arg(size));
    const std::size_t total = static_cast<std::size_t>(size);

    // The header page first: a wrong password is refused before the rest is read.
    const std::size_t firstLength = std::min<std::size_t>(total, kDetectionBytes);
    SecureBuffer image(total);
    readFully(file, image.data(), firstLength);
    const Detected d = detect(image.bytes().first(firstLength));
    std::unique_ptr<PageDecryptor> decryptor;
    if (NeedsPassword(d.info.scheme))
        decryptor = Unlock(d.info, d.header.encodingKey, password);
    readFully(file, image.data() + firstLength, total - firstLength);
    if (decryptor)
        decryptImage(image, d.header, *decryptor);
    return image;
}

}  // namespace qm::crypto
