// Spools N synthetic records, as lines (values joined by a comma) or as table
// rows, and saves them as a document the way an export does, printing the
// time and the peak memory of the whole run. One layout and format per run,
// so the peak memory is that run's own (run.sh runs them all).
//
//   qm_bench_table [--records N] [--columns C] [--format F] [--layout lines|table]

#include "export/document/DocumentFormats.h"
#include "export/document/NativeWord.h"
#include "shell/Failure.h"

#include <sys/resource.h>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>
#include <QTemporaryDir>
#include <chrono>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

long peakRssKiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// The values of a record like those of a customer table: numbers, names,
// addresses, dates, amounts, a few non-ASCII letters and XML specials, and
// now and then a memo with a line break.
void buildValues(std::vector<std::string>& values, std::uint64_t i) {
    static const char* const kNames[] = {"Müller", "Smith & Sons", "O'Brien",
                                         "Łukasz", "Anne-Marie",   "<none>"};
    static const char* const kStreets[] = {"Hauptstraße", "Main Street", "Rue de la Paix", "Via Roma"};
    for (std::size_t c = 0; c < values.size(); ++c) {
        std::string& value = values[c];
        value.clear();
        const std::uint64_t v = (i + 1) * 2654435761u + c * 40503u;
        switch (c % 6) {
            case 0:
                value += std::to_string(i + c);
                break;
            case 1:
                value += kNames[v % 6];
                value += ' ';
                value += std::to_string(v % 10007);
                break;
            case 2:
                value += std::to_string(v % 999) + " " + kStreets[v % 4];
                break;
            case 3:
                value += std::to_string(1990 + v % 35) + "-" + std::to_string(1 + v % 12) + "-" +
                         std::to_string(1 + v % 28);
                break;
            case 4:
                value += std::to_string(v % 100000) + "." + std::to_string(v % 100);
                break;
            default:
                if (v % 7 == 0)
                    value += "Delivered to the back door,\r\nsigned by the neighbour";
                break;
        }
    }
}

}  // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Table layout benchmark"));
    parser.addHelpOption();
    parser.addOption({QStringLiteral("records"), QStringLiteral("Number of records."), QStringLiteral("N"),
                      QStringLiteral("1000000")});
    parser.addOption({QStringLiteral("columns"), QStringLiteral("Values per record."), QStringLiteral("C"),
                      QStringLiteral("6")});
    parser.addOption({QStringLiteral("format"), QStringLiteral("docx (default), doc, odt, rtf or txt."),
                      QStringLiteral("F"), QStringLiteral("docx")});
    parser.addOption({QStringLiteral("layout"), QStringLiteral("lines (default) or table."),
                      QStringLiteral("LAYOUT"), QStringLiteral("lines")});
    parser.process(app);

    const std::uint64_t records = parser.value(QStringLiteral("records")).toULongLong();
    const int columns = parser.value(QStringLiteral("columns")).toInt();
    const bool table = parser.value(QStringLiteral("layout")) == QLatin1String("table");
    const std::optional<qm::DocumentFormat> format =
        qm::ParseDocumentFormat(parser.value(QStringLiteral("format")));
    if (!format || columns < 1) {
        std::fprintf(stderr, "unknown format, or no columns\n");
        return 2;
    }
    QTemporaryDir scratch;
    const QString output = scratch.filePath(QStringLiteral("bench.") + qm::DocumentFormatName(*format));
    try {
        const auto start = Clock::now();
        qm::TextSpool spool;
        std::vector<std::string> values(static_cast<std::size_t>(columns));
        std::string line;
        for (std::uint64_t i = 0; i < records; ++i) {
            buildValues(values, i);
            if (table) {
                spool.appendRow(values);
            } else {
                line.clear();
                for (std::size_t c = 0; c < values.size(); ++c) {
                    if (c > 0)
                        line += ',';
                    line += values[c];
                }
                spool.appendLine(line);
            }
        }
        const double spoolSeconds = secondsSince(start);

        const auto saveStart = Clock::now();
        qm::NativeWordProvider provider(*format);
        auto word = provider.CreateApplication();
        auto document = word->AddDocument();
        if (table)
            document->TypeTable(spool, false);
        else
            document->TypeText(spool);
        document->SaveAs(output);
        document->Close();
        word->Quit();
        const double saveSeconds = secondsSince(saveStart);

        std::printf(
            "%s %s: records %llu, spool %.2f s, save %.2f s, total %.2f s, document %.1f MB, "
            "peak RSS %.1f MiB\n",
            qPrintable(qm::DocumentFormatName(*format)), table ? "table" : "lines",
            static_cast<unsigned long long>(records), spoolSeconds, saveSeconds, spoolSeconds + saveSeconds,
            static_cast<double>(QFileInfo(output).size()) / 1e6, static_cast<double>(peakRssKiB()) / 1024.0);
    } catch (const qm::Failure& failure) {
        std::fprintf(stderr, "%s\n", failure.what());
        return 1;
    }
    return 0;
}
