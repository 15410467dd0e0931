#include "Header.h"

#include "TableDefinition.h"
#include "UsageMaps.h"

#include "database/JetHeader.h"
#include "database/Rc4.h"

#include <QByteArray>

#include <array>
#include <cstring>
#include <span>
#include <vector>

namespace qm::jetwriter {

namespace {

// Header page (page 0). The region from 0x18 is obscured with RC4.
constexpr int kHeaderObscuredOffset = 0x18;
constexpr int kHeaderObscuredLength = 128;
constexpr std::array<std::uint8_t, 4> kHeaderKey{0xC7, 0xDA, 0x39, 0x6B};

}  // namespace

void writeHeader(PageFile& file, const Options& options) {
    PageBuffer page{};
    static const char signature[] = "Standard Jet DB";
    page[1] = 0x01;
    std::memcpy(&page[4], signature, sizeof signature);
    page[0x14] = 0x01;  // Jet 4
    // Values found in this region of every Jet 4 file Access writes.
    static const std::uint8_t fixedRegion[] = {0x00, 0x01, 0x00, 0x00, 0x01, 0x01, 0x00, 0x00,
                                               0x02, 0x00, 0x00, 0x00, 0x03, 0x00, 0x00, 0x00,
                                               0x04, 0x00, 0x00, 0x00, 0x05, 0x00, 0x00, 0x00};
    std::memcpy(&page[0x18], fixedRegion, sizeof fixedRegion);
    put16(&page[0x3C], 1252);  // code page
    put32(&page[0x3E], 0);     // database key: pages are not encoded
    put32(&page[0x6E], kGeneralSortOrder);
    putDouble(&page[0x72], options.created.days);
    put32(&page[0x98], 0x0654);
    std::memcpy(&page[0x9C], "4.0", 4);

    QByteArray bytes(reinterpret_cast<const char*>(page.data()), kPageSize);
    jet::Rc4Apply(kHeaderKey, std::span(reinterpret_cast<std::uint8_t*>(bytes.data()) + kHeaderObscuredOffset,
                                        std::size_t(kHeaderObscuredLength)));
    // Access masks even an empty password, so it is always written.
    jet::WritePassword(bytes, options.password);
    std::memcpy(page.data(), bytes.constData(), kPageSize);
    file.write(0, page);
}

void writeGlobalMap(PageFile& file) {
    RowPage page;
    const std::uint8_t self[4] = {0x01, 0x00, 0x00, 0x00};
    page.reset(1, self);
    std::vector<std::uint8_t> freePages(kMapRowSize, 0);
    const std::uint32_t used = file.count();
    for (std::uint32_t p = used; p < kInlineMapPages; ++p)
        freePages[5 + p / 8] |= std::uint8_t(1u << (p % 8));
    page.add(freePages.data(), freePages.size());
    const std::vector<std::uint8_t> empty(kMapRowSize, 0);
    page.add(empty.data(), empty.size());
    page.flush(file);
}

}  // namespace qm::jetwriter
