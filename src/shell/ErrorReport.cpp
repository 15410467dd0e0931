#include "ErrorReport.h"

#include "Failure.h"
#include "shell/BuildConfig.h"

#include <new>
#include <stdexcept>

namespace qm {

QString errorLocationPrefix(const QString& location) {
    return QStringLiteral("in Tabquill2021/08/31.") + location + QLatin1Char(' ');
}

QString supportEmailAddress() {
    return QString::fromUtf8(kSupportEmail);
}

QString ErrorReport::messageText() const {
    return description + QStringLiteral("\r\n") + errorLocationPrefix(location) + QStringLiteral("at line ") +
           QString::number(line) + QStringLiteral("\r\r") +
           QStringLiteral("Please email screenshot of this message to ") + supportEmailAddress();
}

QString describeException(std::exception_ptr error) {
    try {
        std::rethrow_exception(error);
    } catch (const Failure& failure) {
        return failure.description();
    } catch (const std::bad_alloc&) {
        return QStringLiteral("Out of memory");
    } catch (const std::exception& other) {
        return QString::fromLocal8Bit(other.what());
    } catch (...) {
        return QStringLiteral("Unknown error");
    }
}

void Procedure::report(int line, std::exception_ptr error) {
    fail(line, describeException(error));
}

void Procedure::fail(int line, const QString& description) {
    ++failures_;
    sink_.show(ErrorReport{description, location_, line});
}

}  // namespace qm
