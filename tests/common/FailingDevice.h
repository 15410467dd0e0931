#pragma once

#include <QIODevice>
#include <QString>
#include <algorithm>

namespace qm::test {

// A device that passes writes on to another one until a budget of bytes is
// spent, then fails the way a full disk does: the write that crosses the
// budget stores what fits and reports it, every later one fails.
class FailingDevice : public QIODevice {
  public:
    FailingDevice(QIODevice& target, qint64 budget) : target_(target), budget_(budget) {
        open(QIODevice::WriteOnly | QIODevice::Unbuffered);
    }
    bool isSequential() const override { return false; }
    bool seek(qint64 position) override { return QIODevice::seek(position) && target_.seek(position); }
    qint64 size() const override { return target_.size(); }

  protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char* data, qint64 length) override {
        const qint64 allowed = std::min(length, budget_);
        if (allowed > 0 && target_.write(data, allowed) != allowed)
            return -1;
        budget_ -= allowed;
        if (allowed < length) {
            setErrorString(QStringLiteral("No space left on device"));
            return allowed > 0 ? allowed : -1;
        }
        return length;
    }

  private:
    QIODevice& target_;
    qint64 budget_;
};

}  // namespace qm::test
