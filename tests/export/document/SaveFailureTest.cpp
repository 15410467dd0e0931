// A save that fails part way, in any format and wherever the failure strikes
// (the compound file and ZIP libraries do not pass every write error on),
// reports the device's reason and leaves the previous file as it was.

#include "FormatTestSupport.h"
#include "common/TestSupport.h"
#include "shell/Failure.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace qm {
namespace {

using namespace test;

const QByteArray kPrevious = "the previous document, which a failed save must leave alone";

class SaveFailure : public ::testing::TestWithParam<DocumentFormat> {};

TEST_P(SaveFailure, KeepsThePreviousFileAndSaysWhy) {
    TextSpool spool;
    for (const std::string& line : ManyLines(20000))
        spool.appendLine(line);
    DocumentContent content;
    content.texts.push_back(spool.snapshot());
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("report.") + DocumentFormatName(GetParam()));
    {
        QFile previous(path);
        ASSERT_TRUE(previous.open(QIODevice::WriteOnly));
        previous.write(kPrevious);
    }
    const auto writer = DocumentWriterFor(GetParam());
    qint64 size = 0;
    {
        QBuffer whole;
        whole.open(QIODevice::WriteOnly);
        writer->write(content, whole);
        size = whole.size();
    }
    for (const qint64 budget : {qint64{0}, qint64{30}, qint64{600}, qint64{5000}, size / 3, size - 1}) {
        SCOPED_TRACE(budget);
        try {
            SaveAtomically(path, [&](QIODevice& device) {
                FailingDevice failing(device, budget);
                writer->write(content, failing);
            });
            ADD_FAILURE() << "the save succeeded";
        } catch (const Failure& failure) {
            EXPECT_EQ(failure.description(),
                      QStringLiteral("Could not save '%1': No space left on device").arg(path));
        }
        EXPECT_EQ(ContentsOf(path), kPrevious);
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
                  QStringList{QFileInfo(path).fileName()});
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, SaveFailure,
                         ::testing::Values(DocumentFormat::Doc, DocumentFormat::Odt, DocumentFormat::Rtf,
                                           DocumentFormat::Txt),
                         [](const auto& info) { return DocumentFormatName(info.param).toStdString(); });

}  // namespace
}  // namespace qm
