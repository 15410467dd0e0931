#pragma once

#include <QString>
#include <exception>

namespace qm {

// A failure raised by any layer (database, document engine, file system). It
// carries the description exactly as the failing layer words it; the error
// report shows that text unchanged.
class Failure : public std::exception {
  public:
    explicit Failure(QString description, long number = 0)
        : description_(std::move(description)), number_(number), what_(description_.toUtf8()) {}

    const QString& description() const noexcept { return description_; }
    // The failing layer's error number, 0 when it has none. Never shown to users.
    long number() const noexcept { return number_; }
    const char* what() const noexcept override { return what_.constData(); }

  private:
    QString description_;
    long number_;
    QByteArray what_;
};

}  // namespace qm
