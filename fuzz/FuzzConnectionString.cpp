// Connection strings: any text parses or fails with DatabaseError, and any
// path and password survive the trip through BuildConnectionString and
// ParseConnectionString unchanged (a password can never rewrite the path or
// the provider).

#include "FuzzSupport.h"
#include "database/Ado.h"
#include "database/ConnectionString.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    qm::fuzz::quietQt();
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));

    // The input as a connection string.
    try {
        const qm::ConnectionProperties parsed = qm::ParseConnectionString(QString::fromUtf8(bytes));
        qm::fuzz::require(parsed.isAce() || parsed.provider.compare(QStringLiteral("Microsoft.Jet.OLEDB.4.0"),
                                                                    Qt::CaseInsensitive) == 0,
                          "only the two providers are accepted");
    } catch (const qm::DatabaseError&) {
    }

    // The input as a path and a password, split at the first NUL byte.
    const qsizetype split = bytes.indexOf('\0');
    const QString path = QString::fromUtf8(split < 0 ? bytes : bytes.left(split));
    const QString password = split < 0 ? QString() : QString::fromUtf8(bytes.mid(split + 1));
    const QString built = qm::BuildConnectionString(path, password);
    try {
        const qm::ConnectionProperties parsed = qm::ParseConnectionString(built);
        qm::fuzz::require(parsed.dataSource == path, "the path comes back unchanged", built.toUtf8());
        qm::fuzz::require(parsed.password == password, "the password comes back unchanged", built.toUtf8());
        qm::fuzz::require(parsed.isAce() == path.right(5).toLower().endsWith(QStringLiteral("accdb")),
                          "the provider follows the file name", built.toUtf8());
    } catch (const qm::DatabaseError&) {
        qm::fuzz::violated("a built connection string must parse", built.toUtf8());
    }
    return 0;
}
