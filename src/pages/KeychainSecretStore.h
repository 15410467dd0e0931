#pragma once

#include "shell/Settings.h"

#include <chrono>

namespace qm {

// Secrets in the desktop keyring (Secret Service, or KWallet), through
// QtKeychain. Its jobs run in a local event loop that takes no user input and
// gives up after a short time; a keyring that fails or does not answer is
// left alone for the rest of the run, so a missing keyring never holds the
// program up more than once.
class KeychainSecretStore : public SecretStore {
  public:
    static constexpr std::chrono::milliseconds kDefaultTimeout{2500};

    explicit KeychainSecretStore(QString service, std::chrono::milliseconds timeout = kDefaultTimeout);

    std::optional<QString> readSecret(const QString& key) override;
    bool writeSecret(const QString& key, const QString& value) override;

    // False once the keyring failed or timed out (or this build has no keyring support).
    bool reachable() const { return reachable_; }

  private:
    QString service_;
    std::chrono::milliseconds timeout_;
    bool reachable_;
};

}  // namespace qm
