// The cost of keeping libmdb out of the program's own process: for each
// database, the open, the catalogue and every table's definition (the record
// set opened on its first row) read
//   - in the process, as the program does;
//   - in a forked child that exits, which is what a crash-proof open would add
//     (the program still needs its own open afterwards);
//   - and fork + exit + wait alone.
// The median of the rounds is printed, in milliseconds.
//
//   qm_bench_isolation [--rounds 20] [--password TEXT] DATABASE...

#include "database/Ado.h"
#include "database/ConnectionString.h"

#include <sys/wait.h>
#include <unistd.h>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

// Returns the number of tables read.
int readDefinitions(const QString& path, const QString& password) {
    qm::Connection connection;
    connection.Open(qm::BuildConnectionString(path, password));
    QStringList tables;
    {
        std::unique_ptr<qm::Recordset> schema = connection.OpenSchema(qm::adSchemaTables);
        while (!schema->isEOF()) {
            if (schema->value(QStringLiteral("TABLE_TYPE")).toQString() == QStringLiteral("TABLE"))
                tables.append(schema->value(QStringLiteral("TABLE_NAME")).toQString());
            schema->MoveNext();
        }
    }
    for (const QString& table : tables) {
        qm::Recordset records;
        records.Open(QStringLiteral("SELECT * FROM [%1];").arg(table), connection, qm::adOpenStatic, 1);
        records.Close();
    }
    connection.Close();
    return static_cast<int>(tables.size());
}

double milliseconds(const std::function<void()>& work) {
    QElapsedTimer timer;
    timer.start();
    work();
    return static_cast<double>(timer.nsecsElapsed()) / 1e6;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Runs work in a child and waits for it; false when the child failed.
bool inChild(const std::function<void()>& work) {
    const pid_t child = ::fork();
    if (child == 0) {
        try {
            work();
        } catch (...) {
            ::_exit(1);
        }
        ::_exit(0);
    }
    int status = 0;
    return child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status) &&
           WEXITSTATUS(status) == 0;
}

}  // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("The cost of reading databases in a child process."));
    parser.addHelpOption();
    const QCommandLineOption rounds(QStringLiteral("rounds"), QStringLiteral("Rounds per database."),
                                    QStringLiteral("N"), QStringLiteral("20"));
    const QCommandLineOption password(QStringLiteral("password"), QStringLiteral("Database password."),
                                      QStringLiteral("TEXT"));
    parser.addOptions({rounds, password});
    parser.addPositionalArgument(QStringLiteral("DATABASE"), QStringLiteral("Databases to read."));
    parser.process(app);
    const int count = std::max(1, parser.value(rounds).toInt());
    if (parser.positionalArguments().isEmpty())
        parser.showHelp(2);

    std::printf("| Database | Tables | In process | Added by a child | fork + wait alone |\n");
    std::printf("|---|---|---|---|---|\n");
    for (const QString& path : parser.positionalArguments()) {
        const QString secret = parser.value(password);
        int tables = 0;
        try {
            tables = readDefinitions(path, secret);  // warms the page cache too
        } catch (const std::exception& error) {
            std::fprintf(stderr, "%s: %s\n", qPrintable(path), error.what());
            return 1;
        }
        std::vector<double> own, child, bare;
        for (int round = 0; round < count; ++round) {
            own.push_back(milliseconds([&] { readDefinitions(path, secret); }));
            bool ok = true;
            child.push_back(milliseconds([&] { ok = inChild([&] { readDefinitions(path, secret); }); }));
            bare.push_back(milliseconds([&] { inChild([] {}); }));
            if (!ok) {
                std::fprintf(stderr, "%s: the child failed\n", qPrintable(path));
                return 1;
            }
        }
        std::printf("| %s | %d | %.1f ms | %.1f ms | %.1f ms |\n", qPrintable(QFileInfo(path).fileName()),
                    tables, median(own), median(child), median(bare));
    }
    return 0;
}
