#include "FormatTestSupport.h"

#include "common/RunProcess.h"
#include "common/ShownInParagraph.h"
#include "common/TestSupport.h"
#include "shell/Failure.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>

namespace qm::test {

Lines EdgeLines() {
    return {
        "Name,Price",
        "Tea,2.5",
        ",3",
        "",
        "Müller café naïve, Ærø, Ñandú",
        "Ωmega Łukasz Дмитрий 東京 شكرا",
        "  leading and trailing  ",
        " ",
        "runs  of   blanks    inside",
        "tab\tinside\t\ttwice",
        "\ttab first",
        "tab last\t",
        "value with\r\nline break",
        "lone\nline feed and lone\rcarriage return",
        "two\r\n\r\nbreaks",
        "XML & <specials> \"quoted\" 'apos'",
        "RTF \\ backslash {braces} \\par \\u123?",
        "€ “quotes” – dash … ‰",
        "controls\x01\x07\x0C\x13here",
        "",
        "",
        "last line",
    };
}

Lines AstralLines() {
    return {"emoji 😀 and music 𝄞", "😀", "mixed Müller 😀 Ωmega", "  😀  "};
}

Lines MemoLines() {
    std::string memo;
    int stretch = 0;
    while (memo.size() < 70000) {
        switch (stretch++ % 3) {
            case 0:
                for (int i = 0; i < 40; ++i)
                    memo += "Plain Latin text, café crème " + std::to_string(i) + ". ";
                break;
            case 1:
                for (int i = 0; i < 30; ++i)
                    memo += "Кириллица и ελληνικά " + std::to_string(i) + " ";
                break;
            default:
                memo += "\r\nA new line inside the memo\tand a tab\r\n";
                break;
        }
    }
    return {"before the memo", memo, "after the memo"};
}

Lines ManyLines(int count) {
    Lines lines;
    for (int i = 0; i < count; ++i) {
        const std::string n = std::to_string(i);
        if (i % 300 < 150)
            lines.push_back(n + ",Smith & Sons,12 Main Street,1974-09-21,Müller," + n);
        else if (i % 3 == 0)
            lines.push_back(n + ",Łukasz,ulica Długa 5,Дмитрий," + n);
        else
            lines.push_back(n + ",plain," + n);
    }
    return lines;
}

QStringList ExpectedParagraphs(const Lines& lines) {
    QStringList paragraphs;
    for (const std::string& line : lines)
        paragraphs << ShownInParagraph(QString::fromStdString(line));
    if (paragraphs.isEmpty())
        paragraphs << QString();  // a document has at least one paragraph
    return paragraphs;
}

void WriteDocument(const Lines& lines, DocumentFormat format, const QString& path) {
    TextSpool spool;
    for (const std::string& line : lines)
        spool.appendLine(line);
    DocumentContent content;
    content.texts.push_back(spool.snapshot());
    content.created = QDateTime::currentDateTimeUtc();
    content.modified = content.created;
    const auto writer = DocumentWriterFor(format);
    SaveAtomically(path, [&](QIODevice& device) { writer->write(content, device); });
}

Rows EdgeRows() {
    const Lines edges = EdgeLines();
    Rows rows{{"Name", "Value, with; separators", "Notes"}};
    for (std::size_t i = 0; i < edges.size(); ++i)
        rows.push_back({std::to_string(i), edges[i], edges[(i + 7) % edges.size()]});
    rows.push_back({"", "", ""});
    rows.push_back({",;|\t", "\xFF\tafter an invalid byte", "last"});
    return rows;
}

void WriteTable(const Rows& rows, DocumentFormat format, const QString& path) {
    TextSpool spool;
    for (const Lines& row : rows)
        spool.appendRow(row);
    DocumentContent content;
    content.texts.push_back(spool.snapshot());
    content.layout = DocumentLayout::Table;
    content.headerRow = true;
    content.created = QDateTime::currentDateTimeUtc();
    content.modified = content.created;
    const auto writer = DocumentWriterFor(format);
    SaveAtomically(path, [&](QIODevice& device) { writer->write(content, device); });
}

QJsonObject ReadBack(const QString& reader, const QString& path, const QString& workDir) {
    QStringList arguments{QStringLiteral(QM_DOCUMENT_READER), reader, path};
    if (!workDir.isEmpty())
        arguments << workDir;
    ProcessOptions options;
    options.timeoutMs = 600000;  // LibreOffice converting a long document
    const ProcessResult r = RunProcess(systemPython(), arguments, options);
    if (r.exitCode != 0) {
        ADD_FAILURE() << "reader " << reader.toStdString() << " failed on " << path.toStdString() << ":\n"
                      << r.err.toStdString();
        return {};
    }
    QJsonParseError error;
    const QJsonDocument answer = QJsonDocument::fromJson(r.out, &error);
    if (!answer.isObject())
        ADD_FAILURE() << "unreadable answer from " << reader.toStdString() << ": "
                      << error.errorString().toStdString();
    return answer.object();
}

QStringList Strings(const QJsonValue& array) {
    QStringList result;
    for (const QJsonValue& value : array.toArray())
        result << value.toString();
    return result;
}

QStringList AsAntiwordLines(const QStringList& paragraphs) {
    static const QRegularExpression trailingBlanks(QStringLiteral("[ \\t]+$"));
    QStringList lines;
    for (const QString& paragraph : paragraphs) {
        for (QString line : paragraph.split(QLatin1Char('\n')))
            lines << line.remove(trailingBlanks);
    }
    return lines;
}

QStringList AsCatdocLines(const QStringList& paragraphs) {
    QStringList lines;
    for (const QString& paragraph : paragraphs) {
        for (const QString& line : paragraph.split(QLatin1Char('\n'))) {
            if (!line.isEmpty())
                lines << line;
        }
    }
    return lines;
}

QStringList AsPandocParagraphs(const QStringList& paragraphs) {
    static const QRegularExpression blanks(QStringLiteral("[ \t]+"));
    QStringList result;
    for (QString paragraph : paragraphs) {
        QStringList lines;
        for (QString line : paragraph.split(QLatin1Char('\n')))
            lines << line.replace(blanks, QStringLiteral(" ")).trimmed();
        paragraph = lines.join(QLatin1Char('\n'));
        if (!paragraph.isEmpty())
            result << paragraph;
    }
    return result;
}

QStringList WithSplitSurrogates(const QStringList& paragraphs) {
    QStringList result;
    for (const QString& paragraph : paragraphs) {
        QString shown;
        for (const QChar c : paragraph)
            shown += c.isSurrogate() ? QChar(0xFFFD) : c;
        result << shown;
    }
    return result;
}

QByteArray ContentsOf(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

}  // namespace qm::test
