#include "shell/ErrorReport.h"
#include "shell/Failure.h"

#include <gtest/gtest.h>

#include <stdexcept>

using qm::ErrorReport;
using qm::Failure;
using qm::Procedure;
using qm::RecordingErrorSink;

TEST(ErrorReport, MessageTextHasDescriptionLocationLineAndSupportRequest) {
    const ErrorReport report{QStringLiteral("Could not find file 'x.mdb'."),
                             QStringLiteral("Form1.PushButton3_Click"), 100};
    EXPECT_EQ(report.messageText(),
              QStringLiteral(
                  "Could not find file 'x.mdb'.\r\nin Tabquill2021/08/31.Form1.PushButton3_Click at line "
                  "100\r\rPlease email screenshot of this message to ") +
                  qm::supportEmailAddress());
}

TEST(ErrorReport, EmptyDescriptionStillGivesAnEmptyFirstLine) {
    const ErrorReport report{QString(), QStringLiteral("Form4.PushButton4_Click"), 172};
    EXPECT_TRUE(report.messageText().startsWith(
        QStringLiteral("\r\nin Tabquill2021/08/31.Form4.PushButton4_Click at line 172\r\r")));
}

TEST(ErrorReport, SupportAddressIsOnAReservedExampleDomainByDefault) {
    EXPECT_TRUE(qm::supportEmailAddress().contains(QLatin1Char('@')));
}

TEST(Procedure, FailingStepIsReportedWithItsLineAndTheNextStepRuns) {
    RecordingErrorSink sink;
    Procedure proc(sink, QStringLiteral("Form2.PushButton3_Click"));
    std::vector<int> ran;
    proc.step(100, [&] { ran.push_back(100); });
    proc.step(102, [&] { throw Failure(QStringLiteral("first")); });
    proc.step(104, [&] { ran.push_back(104); });
    proc.step(106, [&] { throw std::runtime_error("second"); });
    proc.step(108, [&] { ran.push_back(108); });

    EXPECT_EQ(ran, (std::vector<int>{100, 104, 108}));
    ASSERT_EQ(sink.reports.size(), 2u);
    EXPECT_EQ(sink.reports[0].line, 102);
    EXPECT_EQ(sink.reports[0].description, QStringLiteral("first"));
    EXPECT_EQ(sink.reports[0].location, QStringLiteral("Form2.PushButton3_Click"));
    EXPECT_EQ(sink.reports[1].line, 106);
    EXPECT_EQ(sink.reports[1].description, QStringLiteral("second"));
    EXPECT_EQ(proc.failureCount(), 2);
}

TEST(Procedure, FailingConditionIsReportedAndEntersItsBlock) {
    RecordingErrorSink sink;
    Procedure proc(sink, QStringLiteral("Form4.PushButton4_Click"));
    bool entered = proc.condition(106, []() -> bool { throw Failure(QStringLiteral("caption unreadable")); });
    EXPECT_TRUE(entered);
    ASSERT_EQ(sink.reports.size(), 1u);
    EXPECT_EQ(sink.reports[0].line, 106);

    EXPECT_FALSE(proc.condition(118, [] { return false; }));
    EXPECT_TRUE(proc.condition(118, [] { return true; }));
    EXPECT_EQ(sink.reports.size(), 1u);
}

TEST(Procedure, ReportsWithoutAnExceptionAndKeepsCounting) {
    RecordingErrorSink sink;
    Procedure proc(sink, QStringLiteral("Access.AddTablesToAccessListbox"));
    EXPECT_FALSE(proc.failed());
    proc.fail(110, QStringLiteral("Overflow"));
    EXPECT_TRUE(proc.failed());
    ASSERT_EQ(sink.reports.size(), 1u);
    EXPECT_EQ(sink.reports[0].messageText().left(10), QStringLiteral("Overflow\r\n"));
}
