// Spools N synthetic record lines and saves them as a document, the way an
// export does, printing throughput and peak memory.
//
//   qm_bench_document [--lines N] [--columns C] [--format F] [--level L] [--threads T] [--output PATH]

#include "export/document/DocumentFormats.h"
#include "export/document/NativeWord.h"
#include "export/document/OoxmlWriter.h"
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

// A record like those of a customer table: numbers, names, addresses, dates,
// amounts, a few non-ASCII letters and XML specials.
void buildLine(std::string& line, std::uint64_t i, int columns) {
    static const char* const kNames[] = {"Müller", "Smith & Sons", "O'Brien",
                                         "Łukasz", "Anne-Marie",   "<none>"};
    static const char* const kStreets[] = {"Hauptstraße", "Main Street", "Rue de la Paix", "Via Roma"};
    line.clear();
    for (int c = 0; c < columns; ++c) {
        if (c > 0)
            line += ',';
        const std::uint64_t v = (i + 1) * 2654435761u + static_cast<std::uint64_t>(c) * 40503u;
        switch (c % 5) {
            case 0:
                line += std::to_string(i + static_cast<std::uint64_t>(c));
                break;
            case 1:
                line += kNames[v % 6];
                line += ' ';
                line += std::to_string(v % 10007);
                break;
            case 2:
                line += std::to_string(v % 999) + " " + kStreets[v % 4];
                break;
            case 3:
                line += std::to_string(1 + v % 12) + "/" + std::to_string(1 + v % 28) + "/" +
                        std::to_string(1990 + v % 35) + " 00:00:00";
                break;
            default:
                line += std::to_string(v % 100000) + "." + std::to_string(v % 100);
                break;
        }
    }
}

}  // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Document engine benchmark"));
    parser.addHelpOption();
    parser.addOption({QStringLiteral("lines"), QStringLiteral("Number of lines."), QStringLiteral("N"),
                      QStringLiteral("1000000")});
    parser.addOption({QStringLiteral("columns"), QStringLiteral("Values per line."), QStringLiteral("C"),
                      QStringLiteral("10")});
    parser.addOption({QStringLiteral("level"), QStringLiteral("Deflate level (default: the engine's)."),
                      QStringLiteral("L")});
    parser.addOption({QStringLiteral("threads"),
                      QStringLiteral("Compressing threads (default: the engine's)."), QStringLiteral("T")});
    parser.addOption({QStringLiteral("format"),
                      QStringLiteral("Document format: docx (default), doc, odt, rtf or txt."),
                      QStringLiteral("F"), QStringLiteral("docx")});
    parser.addOption({QStringLiteral("output"),
                      QStringLiteral("Where to save (default: a temporary folder)."),
                      QStringLiteral("PATH")});
    parser.process(app);

    const std::uint64_t lines = parser.value(QStringLiteral("lines")).toULongLong();
    const int columns = parser.value(QStringLiteral("columns")).toInt();
    const std::optional<qm::DocumentFormat> format =
        qm::ParseDocumentFormat(parser.value(QStringLiteral("format")));
    if (!format) {
        std::fprintf(stderr, "unknown format\n");
        return 2;
    }
    QTemporaryDir scratch;
    const QString output = parser.isSet(QStringLiteral("output"))
                               ? parser.value(QStringLiteral("output"))
                               : scratch.filePath(QStringLiteral("bench.") + qm::DocumentFormatName(*format));
    try {
        qm::TextSpool spool;
        std::string line;
        const auto spoolStart = Clock::now();
        for (std::uint64_t i = 0; i < lines; ++i) {
            buildLine(line, i, columns);
            spool.appendLine(line);
        }
        const double spoolSeconds = secondsSince(spoolStart);
        const double megabytes = static_cast<double>(spool.byteCount()) / 1e6;

        const auto saveStart = Clock::now();
        if (parser.isSet(QStringLiteral("level")) || parser.isSet(QStringLiteral("threads"))) {
            qm::OoxmlWriter::Options options;
            if (parser.isSet(QStringLiteral("level")))
                options.level = parser.value(QStringLiteral("level")).toInt();
            if (parser.isSet(QStringLiteral("threads")))
                options.threads = parser.value(QStringLiteral("threads")).toInt();
            qm::DocumentContent content;
            content.texts.push_back(spool.snapshot());
            const qm::OoxmlWriter writer(options);
            qm::SaveAtomically(output, [&](QIODevice& device) { writer.write(content, device); });
        } else {
            qm::NativeWordProvider provider(*format);
            auto word = provider.CreateApplication();
            word->setVisible(false);
            auto document = word->AddDocument();
            document->TypeText(spool);
            document->SaveAs(output);
            document->Close();
            word->Quit();
        }
        const double saveSeconds = secondsSince(saveStart);
        const double outputMegabytes = static_cast<double>(QFileInfo(output).size()) / 1e6;

        std::printf("lines %llu, text %.1f MB\n", static_cast<unsigned long long>(lines), megabytes);
        std::printf("spool: %.2f s, %.0f MB/s\n", spoolSeconds, megabytes / spoolSeconds);
        std::printf("save:  %.2f s, %.0f MB/s of text, document %.1f MB\n", saveSeconds,
                    megabytes / saveSeconds, outputMegabytes);
        std::printf("total: %.2f s; peak RSS %.1f MiB\n", spoolSeconds + saveSeconds,
                    static_cast<double>(peakRssKiB()) / 1024.0);
    } catch (const qm::Failure& failure) {
        std::fprintf(stderr, "%s\n", failure.what());
        return 1;
    }
    return 0;
}
