// LibreOffice reads the table of every format (converted to .docx, read by
// python-docx cell by cell): the same rows and cells as were written, and the
// first row marked to repeat on every page. Slow, labelled like
// LibreOfficeTest.cpp.

#include "FormatTestSupport.h"
#include "common/TestSupport.h"

#include <QJsonArray>
#include <QTemporaryDir>

namespace qm {
namespace {

using namespace test;

class TableLibreOffice : public ::testing::TestWithParam<DocumentFormat> {};

TEST_P(TableLibreOffice, ReadsEveryCell) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("table.") + DocumentFormatName(GetParam()));
    const Rows rows = EdgeRows();
    WriteTable(rows, GetParam(), path);
    const QJsonArray tables = ReadBack(QStringLiteral("libreoffice-tables"), path,
                                       dir.filePath(QStringLiteral("work")))[QStringLiteral("tables")]
                                  .toArray();
    ASSERT_EQ(tables.size(), 1);
    const QJsonObject table = tables.first().toObject();
    const QJsonArray read = table[QStringLiteral("rows")].toArray();
    ASSERT_EQ(read.size(), static_cast<qsizetype>(rows.size()));
    for (std::size_t i = 0; i < rows.size(); ++i)
        EXPECT_EQ(Strings(read[static_cast<qsizetype>(i)]), ExpectedParagraphs(rows[i])) << "row " << i;
    if (GetParam() == DocumentFormat::Rtf) {
        // LibreOffice reads no header row mark of RTF (\trhdr), and writes none
        // either: the file carries it on the first row only.
        EXPECT_EQ(ContentsOf(path).count("\\trhdr"), 1);
        return;
    }
    const QJsonArray header = table[QStringLiteral("header")].toArray();
    EXPECT_TRUE(header.first().toBool());
    EXPECT_FALSE(header.last().toBool());
}

INSTANTIATE_TEST_SUITE_P(Formats, TableLibreOffice,
                         ::testing::Values(DocumentFormat::Docx, DocumentFormat::Doc, DocumentFormat::Odt,
                                           DocumentFormat::Rtf),
                         [](const auto& info) { return DocumentFormatName(info.param).toStdString(); });

}  // namespace
}  // namespace qm
