#pragma once

#include "shell/Settings.h"

#include <QObject>
#include <chrono>
#include <memory>

namespace qm {

// Secrets in the desktop keyring (Secret Service, or KWallet), through
// QtKeychain. A read (at start-up, before a window shows) runs in a local
// event loop that takes no user input and gives up after a short time;
// writes run in the background and are waited for only at the end, briefly. A
// keyring that fails or does not answer is left alone for the rest of the
// run, so a missing keyring never holds the program up more than once.
class KeychainSecretStore : public SecretStore {
  public:
    static constexpr std::chrono::milliseconds kDefaultTimeout{2500};

    explicit KeychainSecretStore(QString service, std::chrono::milliseconds timeout = kDefaultTimeout);

    std::optional<QString> readSecret(const QString& key) override;
    bool writeSecret(const QString& key, const QString& value) override;
    void writeSecretLater(const QString& key, const QString& value,
                          std::function<void(bool stored)> done) override;
    bool waitForWrites(std::chrono::milliseconds limit) override;
    bool takesSecrets() const override { return reachable_; }

    // False once the keyring failed or timed out (or this build has no keyring support).
    bool reachable() const { return reachable_; }

  private:
    QString service_;
    std::chrono::milliseconds timeout_;
    bool reachable_;
    int writing_ = 0;  // writes started and not answered
    // Answers that come after this store is gone go nowhere.
    std::unique_ptr<QObject> answers_ = std::make_unique<QObject>();
};

}  // namespace qm
