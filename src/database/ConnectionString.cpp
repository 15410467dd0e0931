#include "database/ConnectionString.h"

#include "database/DatabaseMessages.h"

namespace qm {

namespace {

const QString kAceProvider = QStringLiteral("Microsoft.ACE.OLEDB.12.0");
const QString kJetProvider = QStringLiteral("Microsoft.Jet.OLEDB.4.0");
const QString kAcePrefix = QStringLiteral("Provider=Microsoft.ACE.OLEDB.12.0;Data Source=");
const QString kJetPrefix = QStringLiteral("PROVIDER=Microsoft.Jet.OLEDB.4.0;Data Source=");
const QString kPasswordClause = QStringLiteral(";JET OLEDB:Database Password=");

// A value that would otherwise end its clause early (';'), be read as a
// quoted value (a leading quote) or run into its keyword (a leading '=' makes
// "==", the escaped '=' of a keyword) goes between double quotes, with its own
// double quotes doubled, as OLE DB connection strings do it.
QString quoteIfNeeded(const QString& value) {
    const bool needsQuotes = value.contains(QLatin1Char(';')) || value.startsWith(QLatin1Char('"')) ||
                             value.startsWith(QLatin1Char('\'')) || value.startsWith(QLatin1Char('='));
    if (!needsQuotes)
        return value;
    QString quoted = value;
    quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

bool usesAceForm(const QString& path) {
    return path.right(5).toLower() == QStringLiteral("accdb");
}

[[noreturn]] void malformed() {
    throw DatabaseError(dbmessages::kMalformedConnectionString);
}

}  // namespace

QString BuildConnectionString(const QString& path, const QString& password) {
    return (usesAceForm(path) ? kAcePrefix : kJetPrefix) + quoteIfNeeded(path) + kPasswordClause +
           quoteIfNeeded(password);
}

QString BuildConnectionString(const DatabaseLocation& location) {
    return BuildConnectionString(location.databasePath(), location.databasePassword());
}

bool ConnectionProperties::isAce() const {
    return provider.compare(kAceProvider, Qt::CaseInsensitive) == 0;
}

ConnectionProperties ParseConnectionString(const QString& connectionString) {
    ConnectionProperties properties;
    bool haveProvider = false;
    const qsizetype length = connectionString.size();
    qsizetype at = 0;
    while (at < length) {
        // Keyword up to '=' (a doubled "==" stands for a '=' in the keyword).
        QString key;
        for (;;) {
            if (at >= length)
                malformed();
            const QChar c = connectionString.at(at);
            if (c == QLatin1Char('=')) {
                if (at + 1 < length && connectionString.at(at + 1) == QLatin1Char('=')) {
                    key += c;
                    at += 2;
                    continue;
                }
                ++at;
                break;
            }
            if (c == QLatin1Char(';'))
                malformed();
            key += c;
            ++at;
        }
        key = key.trimmed();
        if (key.isEmpty())
            malformed();

        // Value: quoted (either quote, the quote doubled inside) or up to ';'.
        QString value;
        if (at < length &&
            (connectionString.at(at) == QLatin1Char('"') || connectionString.at(at) == QLatin1Char('\''))) {
            const QChar quote = connectionString.at(at++);
            bool closed = false;
            while (at < length) {
                const QChar c = connectionString.at(at++);
                if (c != quote) {
                    value += c;
                } else if (at < length && connectionString.at(at) == quote) {
                    value += c;
                    ++at;
                } else {
                    closed = true;
                    break;
                }
            }
            if (!closed)
                malformed();
            while (at < length && connectionString.at(at).isSpace())
                ++at;
            if (at < length && connectionString.at(at) != QLatin1Char(';'))
                malformed();
        } else {
            const qsizetype end = connectionString.indexOf(QLatin1Char(';'), at);
            value = connectionString.mid(at, end < 0 ? -1 : end - at);
            at = end < 0 ? length : end;
        }
        if (at < length)
            ++at;  // the ';'

        if (key.compare(QStringLiteral("Provider"), Qt::CaseInsensitive) == 0) {
            properties.provider = value.trimmed();
            haveProvider = true;
        } else if (key.compare(QStringLiteral("Data Source"), Qt::CaseInsensitive) == 0) {
            properties.dataSource = value;
        } else if (key.compare(QStringLiteral("Jet OLEDB:Database Password"), Qt::CaseInsensitive) == 0) {
            properties.password = value;
        }
        // Other keywords are the provider's own settings; none changes how a file is read.
    }
    if (!haveProvider || (properties.provider.compare(kAceProvider, Qt::CaseInsensitive) != 0 &&
                          properties.provider.compare(kJetProvider, Qt::CaseInsensitive) != 0))
        throw DatabaseError(dbmessages::kProviderNotFound);
    return properties;
}

}  // namespace qm
