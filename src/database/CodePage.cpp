#include "database/CodePage.h"

#include <iconv.h>

#include <cerrno>
#include <memory>
#include <string>
#include <vector>

namespace qm::jet {

namespace {

// Owns one iconv conversion descriptor.
class Converter {
  public:
    Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
    ~Converter() {
        if (valid())
            iconv_close(cd_);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    bool valid() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

    // The whole input converted, or nothing when a character cannot be converted.
    std::optional<std::string> convert(std::string_view input) {
        std::string output(input.size() * 4 + 16, '\0');
        char* in = const_cast<char*>(input.data());
        std::size_t inLeft = input.size();
        char* out = output.data();
        std::size_t outLeft = output.size();
        while (inLeft > 0) {
            if (iconv(cd_, &in, &inLeft, &out, &outLeft) == static_cast<std::size_t>(-1)) {
                if (errno != E2BIG)
                    return std::nullopt;
                const std::size_t used = output.size() - outLeft;
                output.resize(output.size() * 2);
                out = output.data() + used;
                outLeft = output.size() - used;
            }
        }
        output.resize(output.size() - outLeft);
        return output;
    }

  private:
    iconv_t cd_;
};

std::string codePageName(int codePage) {
    return "CP" + std::to_string(codePage);
}

// A converter for the code page, or for 1252 when iconv does not know it.
std::unique_ptr<Converter> converterFor(int codePage, bool toUnicode) {
    for (const std::string& name : {codePageName(codePage), codePageName(1252)}) {
        auto converter = toUnicode ? std::make_unique<Converter>("UTF-16LE", name.c_str())
                                   : std::make_unique<Converter>(name.c_str(), "UTF-16LE");
        if (converter->valid())
            return converter;
    }
    return nullptr;
}

}  // namespace

QString DecodeCodePage(int codePage, std::string_view bytes) {
    auto converter = converterFor(codePage, true);
    if (converter) {
        if (auto utf16 = converter->convert(bytes))
            return QString(reinterpret_cast<const QChar*>(utf16->data()),
                           static_cast<qsizetype>(utf16->size() / 2));
    }
    return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

std::optional<QByteArray> EncodeCodePage(int codePage, const QString& text) {
    auto converter = converterFor(codePage, false);
    if (!converter)
        return std::nullopt;
    const auto encoded = converter->convert(std::string_view(reinterpret_cast<const char*>(text.utf16()),
                                                             static_cast<std::size_t>(text.size()) * 2));
    if (!encoded)
        return std::nullopt;
    return QByteArray(encoded->data(), static_cast<qsizetype>(encoded->size()));
}

}  // namespace qm::jet
