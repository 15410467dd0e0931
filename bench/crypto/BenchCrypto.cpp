// Decryption throughput for each encryption scheme, on databases of at least
// 100 MB. The encrypted files are made once from a plain database of the
// corpus (its data pages repeated) and kept in a cache folder.
//
//   qm_bench_crypto [--size-mb 128] [--runs 5] [--cache DIR] [--source PLAIN.accdb]

#include "TestEncryptor.h"
#include "database/crypto/AccessCrypto.h"
#include "shell/Failure.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cstdio>
#include <vector>

using qm::crypto::DecryptDatabase;
using qm::crypto::SecureBuffer;
using qm::test::crypto::EncryptOptions;
using qm::test::crypto::Method;

namespace {

constexpr int kPageSize = 4096;
const QString kPassword = QStringLiteral("bench password");

struct Case {
    const char* name;
    EncryptOptions options;
};

EncryptOptions options(Method method, int keyBits, const char* hash = "SHA512", int spinCount = 100000) {
    EncryptOptions o;
    o.method = method;
    o.keyBits = keyBits;
    o.hashAlgorithm = QLatin1String(hash);
    o.spinCount = spinCount;  // Access writes 100000
    return o;
}

// The plain database with its pages after the header page repeated until the
// file holds at least bytes. Not a database libmdb could use, but every page
// is a real page and decrypts like one.
QByteArray replicated(const QByteArray& plain, qint64 bytes) {
    QByteArray out;
    out.reserve(bytes + plain.size());
    out.append(plain);
    const QByteArray pages = plain.mid(kPageSize);
    while (out.size() < bytes)
        out.append(pages);
    return out;
}

bool writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Decryption throughput of encrypted Access databases."));
    parser.addHelpOption();
    const QCommandLineOption sizeOption(QStringLiteral("size-mb"),
                                        QStringLiteral("Size of each test file in MiB."), QStringLiteral("n"),
                                        QStringLiteral("128"));
    const QCommandLineOption runsOption(QStringLiteral("runs"), QStringLiteral("Timed runs per case."),
                                        QStringLiteral("n"), QStringLiteral("5"));
    const QCommandLineOption cacheOption(QStringLiteral("cache"),
                                         QStringLiteral("Folder for the encrypted test files."),
                                         QStringLiteral("dir"), QStringLiteral(QM_BENCH_CACHE_DIR));
    const QCommandLineOption sourceOption(
        QStringLiteral("source"), QStringLiteral("The plain ACE database to encrypt."),
        QStringLiteral("file"), QStringLiteral(QM_CORPUS_DIR "/V2010_test.accdb"));
    parser.addOptions({sizeOption, runsOption, cacheOption, sourceOption});
    parser.process(app);

    const qint64 sizeMb = std::max(1, parser.value(sizeOption).toInt());
    const int runs = std::max(1, parser.value(runsOption).toInt());
    const QString cache = parser.value(cacheOption);
    QFile source(parser.value(sourceOption));
    if (!source.open(QIODevice::ReadOnly) || !QDir().mkpath(cache)) {
        std::fprintf(stderr, "cannot read %s or make %s\n", qPrintable(source.fileName()), qPrintable(cache));
        return 1;
    }
    const QByteArray plain = source.readAll();

    const Case cases[] = {
        {"agile AES-256 SHA-512", options(Method::Agile, 256)},
        {"agile AES-128 SHA-1", options(Method::Agile, 128, "SHA1")},
        {"standard AES-128", options(Method::StandardAes, 128)},
        {"standard AES-256", options(Method::StandardAes, 256)},
        {"non-standard AES-256", options(Method::NonStandardAes, 256)},
        {"RC4 CryptoAPI 40-bit", options(Method::Rc4CryptoApi, 40)},
        {"RC4 CryptoAPI 128-bit", options(Method::Rc4CryptoApi, 128)},
        {"binary RC4", options(Method::BinaryRc4, 128)},
    };

    std::printf(
        "| scheme | file MiB | password check ms | decrypt MB/s (median / best) | read + decrypt MB/s "
        "(median / best) |\n");
    std::printf("|---|---|---|---|---|\n");
    QByteArray big;
    for (const Case& c : cases) {
        const QString path =
            QDir(cache).filePath(QString::fromLatin1(c.name).replace(QLatin1Char(' '), QLatin1Char('_')) +
                                 QStringLiteral("-%1MiB.accdb").arg(sizeMb));
        if (!QFileInfo::exists(path)) {
            if (big.isEmpty())
                big = replicated(plain, sizeMb * 1024 * 1024);
            if (!writeFile(path, qm::test::crypto::EncryptAccessImage(big, kPassword, c.options))) {
                std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
                return 1;
            }
        }
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return 1;
        const QByteArray encrypted = file.readAll();
        const double megabytes = static_cast<double>(encrypted.size()) / 1e6;
        const std::span<const unsigned char> bytes(
            reinterpret_cast<const unsigned char*>(encrypted.constData()),
            static_cast<std::size_t>(encrypted.size()));
        try {
            // The password check alone: the header page with nothing after it.
            QElapsedTimer timer;
            timer.start();
            DecryptDatabase(SecureBuffer::copyOf(bytes.first(kPageSize)), kPassword);
            const double checkMs = static_cast<double>(timer.nsecsElapsed()) / 1e6;

            std::vector<double> decryptOnly;
            std::vector<double> withRead;
            for (int run = 0; run < runs; ++run) {
                SecureBuffer copy = SecureBuffer::copyOf(bytes);
                timer.start();
                SecureBuffer image = DecryptDatabase(std::move(copy), kPassword);
                decryptOnly.push_back(megabytes / (static_cast<double>(timer.nsecsElapsed()) / 1e9));
                image.clear();

                timer.start();
                SecureBuffer fromFile = DecryptDatabase(path, kPassword);
                withRead.push_back(megabytes / (static_cast<double>(timer.nsecsElapsed()) / 1e9));
            }
            std::printf("| %s | %.0f | %.1f | %.0f / %.0f | %.0f / %.0f |\n", c.name,
                        static_cast<double>(encrypted.size()) / (1024.0 * 1024.0), checkMs,
                        median(decryptOnly), *std::max_element(decryptOnly.begin(), decryptOnly.end()),
                        median(withRead), *std::max_element(withRead.begin(), withRead.end()));
            std::fflush(stdout);
        } catch (const qm::Failure& failure) {
            std::fprintf(stderr, "%s: %s\n", c.name, qPrintable(failure.description()));
            return 1;
        }
    }
    return 0;
}
