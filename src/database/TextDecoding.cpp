#include "database/TextDecoding.h"

#include "database/CodePage.h"
#include "shell/Utf8.h"

#include <QString>
#include <QtEndian>

namespace qm::jet {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Feeds UTF-16 code units one at a time and writes UTF-8.
class Utf16Writer {
  public:
    explicit Utf16Writer(std::string& out) : out_(out) {}
    ~Utf16Writer() { flush(); }
    void put(char16_t unit) {
        if (pendingHigh_) {
            if (unit >= 0xDC00 && unit <= 0xDFFF) {
                utf8::Encode(0x10000 + ((char32_t(pendingHigh_) - 0xD800) << 10) + (unit - 0xDC00), out_);
                pendingHigh_ = 0;
                return;
            }
            utf8::Encode(kReplacement, out_);
            pendingHigh_ = 0;
        }
        if (unit < 0x80) {
            out_.push_back(static_cast<char>(unit));
        } else if (unit >= 0xD800 && unit <= 0xDBFF) {
            pendingHigh_ = unit;
        } else if (unit >= 0xDC00 && unit <= 0xDFFF) {
            utf8::Encode(kReplacement, out_);
        } else {
            utf8::Encode(unit, out_);
        }
    }
    void flush() {
        if (pendingHigh_) {
            utf8::Encode(kReplacement, out_);
            pendingHigh_ = 0;
        }
    }

  private:
    std::string& out_;
    char16_t pendingHigh_ = 0;
};

bool isDoubleByteCodePage(int codePage) {
    switch (codePage) {
        case 932:
        case 936:
        case 949:
        case 950:
        case 1361:
            return true;
        default:
            return false;
    }
}

}  // namespace

void AppendUtf16LeAsUtf8(std::string& out, const std::uint8_t* bytes, std::size_t size) {
    const std::size_t units = size / 2;
    // Plain ASCII is the common case: copy it without the general machinery.
    std::size_t i = 0;
    for (; i < units; ++i) {
        const std::uint8_t low = bytes[2 * i];
        if (bytes[2 * i + 1] != 0 || low >= 0x80)
            break;
        out.push_back(static_cast<char>(low));
    }
    if (i == units)
        return;
    Utf16Writer writer(out);
    for (; i < units; ++i)
        writer.put(qFromLittleEndian<char16_t>(bytes + 2 * i));
}

void AppendJet4Text(std::string& out, const std::uint8_t* bytes, std::size_t size) {
    if (size < 2 || bytes[0] != 0xFF || bytes[1] != 0xFE) {
        AppendUtf16LeAsUtf8(out, bytes, size);
        return;
    }
    // Compressed text: single bytes stand for U+0000..U+00FF; a zero byte
    // switches between that and plain two-byte units.
    Utf16Writer writer(out);
    bool compressed = true;
    std::size_t i = 2;
    while (i < size) {
        if (bytes[i] == 0) {
            compressed = !compressed;
            ++i;
        } else if (compressed) {
            writer.put(bytes[i]);
            ++i;
        } else if (i + 1 < size) {
            writer.put(qFromLittleEndian<char16_t>(bytes + i));
            i += 2;
        } else {
            break;
        }
    }
}

CodePageDecoder::CodePageDecoder(int codePage) : codePage_(codePage) {
    singleByte_ = !isDoubleByteCodePage(codePage);
    if (!singleByte_)
        return;
    for (int b = 0; b < 256; ++b) {
        if (b < 0x80) {
            table_[b] = std::string(1, static_cast<char>(b));
            continue;
        }
        const char byte = static_cast<char>(b);
        const QString text = DecodeCodePage(codePage, std::string_view(&byte, 1));
        table_[b] = text.isEmpty() ? std::string("\xEF\xBF\xBD") : text.toStdString();
    }
}

CodePageDecoder::~CodePageDecoder() = default;

void CodePageDecoder::append(std::string& out, const std::uint8_t* bytes, std::size_t size) const {
    if (!singleByte_) {
        out += DecodeCodePage(codePage_, std::string_view(reinterpret_cast<const char*>(bytes), size))
                   .toStdString();
        return;
    }
    for (std::size_t i = 0; i < size; ++i) {
        const std::uint8_t b = bytes[i];
        if (b < 0x80)
            out.push_back(static_cast<char>(b));
        else
            out += table_[b];
    }
}

}  // namespace qm::jet
