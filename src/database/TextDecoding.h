#pragma once

// Turning the text a database stores into UTF-8, fast enough for the export
// loop: Jet 4 / ACE text is UTF-16LE, optionally in Access's "compressed"
// form; Jet 3 text is in the file's code page.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace qm::jet {

// Appends UTF-16LE bytes as UTF-8. Unpaired surrogates become U+FFFD; an odd
// last byte is ignored.
void AppendUtf16LeAsUtf8(std::string& out, const std::uint8_t* bytes, std::size_t size);

// Appends Jet 4 / ACE text: compressed (starting FF FE) or plain UTF-16LE.
void AppendJet4Text(std::string& out, const std::uint8_t* bytes, std::size_t size);

// Appends text stored in a code page (Jet 3). Built once per file.
class CodePageDecoder {
  public:
    explicit CodePageDecoder(int codePage);
    ~CodePageDecoder();
    CodePageDecoder(const CodePageDecoder&) = delete;
    CodePageDecoder& operator=(const CodePageDecoder&) = delete;

    void append(std::string& out, const std::uint8_t* bytes, std::size_t size) const;

  private:
    int codePage_;
    bool singleByte_ = true;
    // UTF-8 form of every byte value of a single-byte code page.
    std::string table_[256];
};

}  // namespace qm::jet
