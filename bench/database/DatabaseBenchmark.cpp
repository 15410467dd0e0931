// Speed of the database layer on a large table, next to mdb-export's CSV dump
// of the same table. Not a test: run it by hand and record the numbers.
//
//   qm_database_bench [ROWS]              generates a table of ROWS rows (default 1,000,000)
//   qm_database_bench FILE TABLE          measures an existing database
//
// Reported: the export loop (every field of every row as text, the way the
// export reads them, RecordCount included), mdb-export > /dev/null, the
// preview's first screen (row count and the first 40 rows), and jumps to rows
// deep in the table.

#include "database/Ado.h"
#include "database/ConnectionString.h"
#include "jetwriter/Generator.h"
#include "jetwriter/JetWriter.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>

namespace jw = qm::jetwriter;

namespace {

double bestOf(int runs, const std::function<void()>& work) {
    double best = 1e300;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        work();
        best = std::min(best, static_cast<double>(timer.nsecsElapsed()) / 1e6);
    }
    return best;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    QTemporaryDir dir;
    QString path;
    QString table = QStringLiteral("Big");
    if (args.size() >= 2) {
        path = args[0];
        table = args[1];
    } else {
        const long long rows = args.isEmpty() ? 1000000 : args[0].toLongLong();
        path = dir.filePath(QStringLiteral("bench.mdb"));
        const jw::Table schema{table,
                               {{QStringLiteral("Id"), jw::ColumnType::Long, 255, false},
                                {QStringLiteral("Name"), jw::ColumnType::Text, 60},
                                {QStringLiteral("Town"), jw::ColumnType::Text, 40},
                                {QStringLiteral("Price"), jw::ColumnType::Currency},
                                {QStringLiteral("Amount"), jw::ColumnType::Double},
                                {QStringLiteral("When"), jw::ColumnType::DateTime},
                                {QStringLiteral("Done"), jw::ColumnType::Boolean},
                                {QStringLiteral("Note"), jw::ColumnType::Memo}}};
        std::printf("writing %lld rows ...\n", rows);
        jw::WriteFile(path, {}, [&](jw::Writer& writer) {
            writer.beginTable(schema);
            jw::RowGenerator generator(schema, 7, 0.05);
            std::vector<jw::Cell> row;
            for (long long i = 0; i < rows; ++i) {
                generator.next(row);
                writer.addRow(row);
            }
            writer.endTable();
        });
    }
    const QString connectionString = qm::BuildConnectionString(path, QString());

    long long rowsRead = 0;
    std::size_t bytes = 0;
    const double exportMs = bestOf(3, [&] {
        qm::Connection connection;
        connection.setMode(qm::adModeReadWrite);
        connection.Open(connectionString);
        qm::Recordset records;
        records.Open(QStringLiteral("SELECT * FROM [") + table + QStringLiteral("];"), connection,
                     qm::adOpenStatic, qm::adLockOptimistic);
        const long long count = records.RecordCount();
        std::string line;
        rowsRead = 0;
        bytes = 0;
        while (!records.isEOF()) {
            line.clear();
            for (int i = 0; i < records.fieldCount(); ++i) {
                records.appendText(i, line);
                line += ',';
            }
            bytes += line.size();
            ++rowsRead;
            records.MoveNext();
        }
        if (count != rowsRead)
            std::printf("RecordCount %lld differs from %lld rows read!\n", count, rowsRead);
    });

    const QString mdbExport = QStandardPaths::findExecutable(QStringLiteral("mdb-export"));
    double mdbExportMs = -1;
    if (!mdbExport.isEmpty()) {
        mdbExportMs = bestOf(3, [&] {
            QProcess process;
            process.setStandardOutputFile(QProcess::nullDevice());
            process.start(mdbExport, {path, table});
            process.waitForFinished(-1);
        });
    }

    qm::Connection connection;
    connection.Open(connectionString);
    qm::Recordset preview;
    std::shared_ptr<qm::RowSource> source;
    long long rowCount = 0;
    const double firstScreenMs = bestOf(1, [&] {
        preview.Open(QStringLiteral("SELECT * FROM [") + table + QStringLiteral("];"), connection,
                     qm::adOpenDynamic, qm::adLockOptimistic);
        source = preview.DataSource();
        rowCount = source->rowCount();
        source->rows(0, 40);
    });
    const double deepJumpMs = bestOf(1, [&] { source->rows(std::max(0LL, rowCount - 50), 40); });
    const double middleJumpMs = bestOf(1, [&] { source->rows(rowCount / 2 + 17, 40); });
    const double countMs = bestOf(3, [&] { preview.RecordCount(); });

    std::printf("table %s: %lld rows, %zu bytes of text\n", table.toUtf8().constData(), rowsRead, bytes);
    std::printf("export loop (open, RecordCount, every value as text): %10.1f ms\n", exportMs);
    if (mdbExportMs >= 0)
        std::printf("mdb-export > /dev/null:                                %10.1f ms\n", mdbExportMs);
    std::printf("preview first screen (open, rowCount, 40 rows):        %10.1f ms\n", firstScreenMs);
    std::printf("preview jump to the last rows:                         %10.1f ms\n", deepJumpMs);
    std::printf("preview jump to the middle:                            %10.1f ms\n", middleJumpMs);
    std::printf("RecordCount alone:                                     %10.1f ms\n", countMs);
    return 0;
}
