// quillmerge-export: the wizard's export from the command line. The work is
// done in the export library (export/CommandLine.h).

#include "export/CommandLine.h"
#include "export/CommandLineOutput.h"
#include "shell/BuildConfig.h"
#include "shell/Failure.h"
#include "shell/TerminationRequests.h"

#include <QCoreApplication>
#include <csignal>

int main(int argc, char* argv[]) {
    // Also ignores the file-size limit (ulimit -f): a write past it fails with
    // "File too large", reported like any other failed save.
    const qm::TerminationRequests terminations(qm::EndByTermination,
                                               qm::TerminationRequests::Delivery::Thread);
    // A reader of standard output that goes away makes the write fail, which
    // is reported, instead of ending the program before it cleans up.
    std::signal(SIGPIPE, SIG_IGN);
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("quillmerge-export"));
    QCoreApplication::setApplicationVersion(QString::fromUtf8(qm::kVersion));

    const qm::cli::Request request = qm::cli::ParseArguments(QCoreApplication::arguments());
    QString password;
    const qm::cli::WipedAtExit wipePassword(password);
    try {
        password = qm::cli::ReadPassword(request);
    } catch (const qm::Failure& failure) {
        qm::cli::PrintLine(stderr, QStringLiteral("quillmerge-export: ") + failure.description());
        return qm::cli::kExitFailure;
    }
    return request.listTables ? qm::cli::ListTables(request, password) : qm::cli::Export(request, password);
}
