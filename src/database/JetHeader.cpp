#include "database/JetHeader.h"

#include "database/CodePage.h"
#include "database/DatabaseMessages.h"
#include "database/Rc4.h"

#include <QtEndian>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <span>

namespace qm::jet {

namespace {

// Layout of the header page (page 0), offsets from the start of the file.
constexpr int kPageTypeOffset = 0x00;   // 0x00: database definition page
constexpr int kSignatureOffset = 0x04;  // "Standard Jet DB\0" / "Standard ACE DB\0"
constexpr int kVersionOffset = 0x14;    // format version byte
constexpr int kObscuredOffset = 0x18;   // start of the RC4-obscured region
constexpr int kObscuredLengthJet3 = 126;
constexpr int kObscuredLength = 128;      // Jet 4 and ACE
constexpr int kCodePageOffset = 0x3C;     // 2 bytes
constexpr int kDatabaseKeyOffset = 0x3E;  // 4 bytes; non-zero when pages are encoded
constexpr int kPasswordOffset = 0x42;
constexpr int kPasswordBytesJet3 = 20;     // code-page text
constexpr int kPasswordBytesJet4 = 40;     // UTF-16LE, 20 characters
constexpr int kCreationDateOffset = 0x72;  // Jet 4 and later: 8-byte date
constexpr int kMinimumBytes = kObscuredOffset + kObscuredLength;

// The key that obscures the header region, the same in every file.
constexpr std::array<std::uint8_t, 4> kHeaderKey{0xC7, 0xDA, 0x39, 0x6B};

constexpr std::string_view kJetSignature{"Standard Jet DB\0", 16};
constexpr std::string_view kAceSignature{"Standard ACE DB\0", 16};

DatabaseError unrecognized() {
    return DatabaseError(QStringLiteral("Unrecognized database format."));
}

std::uint32_t readUInt32(const std::uint8_t* p) {
    return qFromLittleEndian<std::uint32_t>(p);
}

// Converts like a Java (int) cast: NaN gives 0, out-of-range values saturate.
// A damaged header must not make the conversion undefined.
std::int32_t saturatingInt32(double v) {
    if (std::isnan(v))
        return 0;
    if (v >= 2147483647.0)
        return std::numeric_limits<std::int32_t>::max();
    if (v <= -2147483648.0)
        return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(v);
}

int obscuredLength(Format format) {
    return format == Format::Jet3 ? kObscuredLengthJet3 : kObscuredLength;
}

std::span<std::uint8_t> obscuredRegion(QByteArray& page, Format format) {
    return {reinterpret_cast<std::uint8_t*>(page.data()) + kObscuredOffset,
            static_cast<std::size_t>(obscuredLength(format))};
}

// Jet 4 masks the password with the four bytes of the whole-day part of the
// creation date (a little-endian 32-bit integer), repeated.
std::array<std::uint8_t, 4> passwordMask(const QByteArray& clearPage) {
    double created = 0;
    std::memcpy(&created, clearPage.constData() + kCreationDateOffset, sizeof created);
    const auto days = static_cast<std::uint32_t>(saturatingInt32(created));
    return {std::uint8_t(days), std::uint8_t(days >> 8), std::uint8_t(days >> 16), std::uint8_t(days >> 24)};
}

// Format and sanity checks on the raw (still obscured) page start.
Format readFormat(const QByteArray& fileStart) {
    if (fileStart.size() < kMinimumBytes)
        throw unrecognized();
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(fileStart.constData());
    if (bytes[kPageTypeOffset] != 0x00 || bytes[1] != 0x01 || bytes[2] != 0x00 || bytes[3] != 0x00)
        throw unrecognized();
    const std::string_view signature(fileStart.constData() + kSignatureOffset, kJetSignature.size());
    const bool jetSignature = signature == kJetSignature;
    const bool aceSignature = signature == kAceSignature;
    switch (bytes[kVersionOffset]) {
        case 0x00:
            if (jetSignature)
                return Format::Jet3;
            break;
        case 0x01:
            if (jetSignature)
                return Format::Jet4;
            break;
        case 0x02:
            if (aceSignature)
                return Format::Ace12;
            break;
        case 0x03:
            if (aceSignature)
                return Format::Ace14;
            break;
        case 0x04:
            if (aceSignature)
                return Format::Ace15;
            break;
        case 0x05:
            if (aceSignature)
                return Format::Ace16;
            break;
        case 0x06:
            if (aceSignature)
                return Format::Ace17;
            break;
        default:
            break;
    }
    throw unrecognized();
}

// The page with the obscured region in clear.
QByteArray clearHeader(const QByteArray& fileStart, Format format) {
    QByteArray page = fileStart.left(kMinimumBytes);
    page.detach();
    Rc4Apply(kHeaderKey, obscuredRegion(page, format));
    return page;
}

}  // namespace

HeaderInfo ReadHeader(const QByteArray& fileStart) {
    HeaderInfo info;
    info.format = readFormat(fileStart);
    info.pageSize = info.format == Format::Jet3 ? 2048 : 4096;

    const QByteArray page = clearHeader(fileStart, info.format);
    const auto* clear = reinterpret_cast<const std::uint8_t*>(page.constData());
    info.codePage = qFromLittleEndian<std::uint16_t>(clear + kCodePageOffset);
    info.databaseKey = readUInt32(clear + kDatabaseKeyOffset);

    if (info.isAce()) {
        // Access 2007 and later have no header password: a password encrypts
        // the whole file, and the database key is then set.
        info.encrypted = info.databaseKey != 0;
        return info;
    }

    if (info.format == Format::Jet3) {
        const char* area = page.constData() + kPasswordOffset;
        std::size_t length = 0;
        while (length < kPasswordBytesJet3 && area[length] != '\0')
            ++length;
        info.password = DecodeCodePage(info.codePage, std::string_view(area, length));
        return info;
    }

    const auto mask = passwordMask(page);
    std::array<char16_t, kPasswordBytesJet4 / 2> units{};
    std::size_t length = 0;
    for (; length < units.size(); ++length) {
        const std::size_t at = kPasswordOffset + 2 * length;
        const auto low = static_cast<std::uint8_t>(clear[at] ^ mask[(2 * length) % 4]);
        const auto high = static_cast<std::uint8_t>(clear[at + 1] ^ mask[(2 * length + 1) % 4]);
        units[length] = static_cast<char16_t>(low | high << 8);
        if (units[length] == 0)
            break;
    }
    info.password = QString::fromUtf16(units.data(), static_cast<qsizetype>(length));
    return info;
}

void WritePassword(QByteArray& headerPage, const QString& password) {
    const HeaderInfo info = ReadHeader(headerPage);
    if (info.isAce())
        throw DatabaseError(QStringLiteral("Access 2007 and later files keep no password in their header."));
    if (password.contains(QChar(0)))
        throw DatabaseError(QStringLiteral("A database password cannot contain a null character."));

    std::array<std::uint8_t, kPasswordBytesJet4> area{};
    std::size_t areaSize = 0;
    if (info.format == Format::Jet3) {
        areaSize = kPasswordBytesJet3;
        const auto encoded = EncodeCodePage(info.codePage, password);
        if (!encoded)
            throw DatabaseError(
                QStringLiteral("The password has characters that this database format cannot store."));
        if (encoded->size() > kPasswordBytesJet3)
            throw DatabaseError(
                QStringLiteral("The password is too long: this database format keeps at most %1 bytes.")
                    .arg(kPasswordBytesJet3));
        std::memcpy(area.data(), encoded->constData(), static_cast<std::size_t>(encoded->size()));
    } else {
        areaSize = kPasswordBytesJet4;
        if (password.size() > kPasswordBytesJet4 / 2)
            throw DatabaseError(
                QStringLiteral("The password is too long: this database format keeps at most %1 characters.")
                    .arg(kPasswordBytesJet4 / 2));
        for (qsizetype i = 0; i < password.size(); ++i) {
            const char16_t unit = password.at(i).unicode();
            area[2 * i] = static_cast<std::uint8_t>(unit);
            area[2 * i + 1] = static_cast<std::uint8_t>(unit >> 8);
        }
    }

    headerPage.detach();
    Rc4Apply(kHeaderKey, obscuredRegion(headerPage, info.format));
    if (info.format != Format::Jet3) {
        const auto mask = passwordMask(headerPage);
        for (std::size_t i = 0; i < areaSize; ++i)
            area[i] ^= mask[i % 4];
    }
    std::memcpy(headerPage.data() + kPasswordOffset, area.data(), areaSize);
    Rc4Apply(kHeaderKey, obscuredRegion(headerPage, info.format));
}

}  // namespace qm::jet
