#include "CliSupport.h"

#include <fcntl.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>
#include <QDir>
#include <QFile>
#include <cerrno>
#include <cstring>
#include <utility>
#include <vector>

namespace qm::clitest {

namespace {

// A file descriptor closed when it goes out of scope.
class Descriptor {
  public:
    explicit Descriptor(int fd = -1) : fd_(fd) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor() { reset(); }
    int get() const { return fd_; }
    void reset() {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
    }

  private:
    int fd_;
};

}  // namespace

// fork and exec rather than RunProcess: QProcess gives a child pipes, never a terminal.
RunResult runExportOnTerminal(const QStringList& arguments) {
    RunResult result;
    int masterFd = -1, slaveFd = -1;
    if (::openpty(&masterFd, &slaveFd, nullptr, nullptr, nullptr) != 0) {
        ADD_FAILURE() << "openpty failed: " << std::strerror(errno);
        return result;
    }
    Descriptor master(masterFd), slave(slaveFd);
    Descriptor devNull(::open("/dev/null", O_RDWR | O_CLOEXEC));

    // Everything the child needs is prepared before fork.
    const QByteArray program = QByteArrayLiteral(QM_EXPORT_PATH);
    std::vector<QByteArray> encoded{program};
    for (const QString& argument : arguments)
        encoded.push_back(QFile::encodeName(argument));
    std::vector<char*> argv;
    for (QByteArray& a : encoded)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<QByteArray> variables;
    const QProcessEnvironment environment = ExportEnvironment();
    for (const QString& key : environment.keys())
        variables.push_back(QFile::encodeName(key + QLatin1Char('=') + environment.value(key)));
    std::vector<char*> envp;
    for (QByteArray& v : variables)
        envp.push_back(v.data());
    envp.push_back(nullptr);

    const pid_t pid = ::fork();
    if (pid < 0) {
        ADD_FAILURE() << "fork failed";
        return result;
    }
    if (pid == 0) {
        ::dup2(devNull.get(), STDIN_FILENO);
        ::dup2(devNull.get(), STDOUT_FILENO);
        ::dup2(slave.get(), STDERR_FILENO);
        ::execve(program.constData(), argv.data(), envp.data());
        ::_exit(127);
    }
    slave.reset();  // the child holds the only other end now
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(master.get(), buffer, sizeof buffer);
        if (n > 0) {
            result.err.append(buffer, n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        break;  // EIO once the child has closed the terminal
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

QString makeDatabase(const QTemporaryDir& dir, const QString& name, const QByteArray& description) {
    const QString json = dir.filePath(name + QStringLiteral(".json"));
    writeBytes(json, description);
    const QString database = dir.filePath(name + QStringLiteral(".mdb"));
    const RunResult r =
        test::RunProcess(QStringLiteral(QM_MKDB_PATH), {QStringLiteral("--quiet"), database, json});
    if (r.exitCode != 0) {
        ADD_FAILURE() << "quillmerge-mkdb refused " << name.toStdString() << ": " << r.err.toStdString();
        return QString();
    }
    return database;
}

QByteArray readBytes(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        ADD_FAILURE() << "cannot read " << path.toStdString();
        return QByteArray();
    }
    return file.readAll();
}

}  // namespace qm::clitest
