#include "KeychainSecretStore.h"

#ifdef QM_HAVE_KEYCHAIN
#include <qt6keychain/keychain.h>

#include <QEventLoop>
#include <QTimer>
#endif

namespace qm {

#ifdef QM_HAVE_KEYCHAIN

namespace {

// Runs the job to its end or until the time is up. A job that does not finish
// in time is left to delete itself whenever it does.
bool runJob(QKeychain::Job* job, std::chrono::milliseconds timeout) {
    job->setAutoDelete(false);
    QEventLoop loop;
    bool finished = false;
    const QMetaObject::Connection done = QObject::connect(job, &QKeychain::Job::finished, &loop, [&] {
        finished = true;
        loop.quit();
    });
    QTimer::singleShot(timeout, &loop, &QEventLoop::quit);
    job->start();
    if (!finished)
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    QObject::disconnect(done);
    if (!finished)
        job->setAutoDelete(true);
    return finished;
}

}  // namespace

KeychainSecretStore::KeychainSecretStore(QString service, std::chrono::milliseconds timeout)
    : service_(std::move(service)), timeout_(timeout), reachable_(true) {}

std::optional<QString> KeychainSecretStore::readSecret(const QString& key) {
    if (!reachable_)
        return std::nullopt;
    auto* job = new QKeychain::ReadPasswordJob(service_);
    job->setKey(key);
    if (!runJob(job, timeout_)) {
        reachable_ = false;
        return std::nullopt;
    }
    std::optional<QString> secret;
    if (job->error() == QKeychain::NoError)
        secret = job->textData();
    else if (job->error() != QKeychain::EntryNotFound)
        reachable_ = false;
    delete job;
    return secret;
}

bool KeychainSecretStore::writeSecret(const QString& key, const QString& value) {
    if (!reachable_)
        return false;
    auto* job = new QKeychain::WritePasswordJob(service_);
    job->setKey(key);
    job->setTextData(value);
    if (!runJob(job, timeout_)) {
        reachable_ = false;
        return false;
    }
    const bool stored = job->error() == QKeychain::NoError;
    reachable_ = stored;
    delete job;
    return stored;
}

void KeychainSecretStore::writeSecretLater(const QString& key, const QString& value,
                                           std::function<void(bool stored)> done) {
    if (!reachable_) {
        done(false);
        return;
    }
    auto* job = new QKeychain::WritePasswordJob(service_);
    job->setKey(key);
    job->setTextData(value);
    job->setAutoDelete(true);
    ++writing_;
    QObject::connect(job, &QKeychain::Job::finished, answers_.get(), [this, job, done = std::move(done)] {
        --writing_;
        const bool stored = job->error() == QKeychain::NoError;
        if (!stored)
            reachable_ = false;
        done(stored);
    });
    job->start();
}

bool KeychainSecretStore::waitForWrites(std::chrono::milliseconds limit) {
    if (writing_ == 0)
        return true;
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (writing_ == 0)
            loop.quit();
    });
    poll.start(5);
    QTimer::singleShot(limit, &loop, &QEventLoop::quit);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    if (writing_ != 0)
        reachable_ = false;  // too slow to wait for again
    return writing_ == 0;
}

#else

KeychainSecretStore::KeychainSecretStore(QString service, std::chrono::milliseconds timeout)
    : service_(std::move(service)), timeout_(timeout), reachable_(false) {}

std::optional<QString> KeychainSecretStore::readSecret(const QString&) {
    return std::nullopt;
}

bool KeychainSecretStore::writeSecret(const QString&, const QString&) {
    return false;
}

void KeychainSecretStore::writeSecretLater(const QString&, const QString&,
                                           std::function<void(bool stored)> done) {
    done(false);
}

bool KeychainSecretStore::waitForWrites(std::chrono::milliseconds) {
    return true;
}

#endif

}  // namespace qm
