// The document writers fed arbitrary text (any bytes, valid UTF-8 or not,
// control characters, line breaks inside values). Whatever the text, the
// output must be a document its readers accept: a ZIP package of well-formed
// XML with one paragraph per line for .docx and .odt, a compound file with
// the two Word streams for .doc, plain ASCII with balanced groups for .rtf,
// and the text itself for .txt. Checked here with readers that share no code
// with the writers: minizip's unzip, QXmlStreamReader and libgsf.

// libgsf's headers come before Qt's, whose "signals" macro they would trip over.
#include <gsf/gsf-infile-msole.h>
#include <gsf/gsf-infile.h>
#include <gsf/gsf-input-memory.h>
#include <unzip.h>

#include "FuzzSupport.h"
#include "export/document/DocumentFormats.h"
#include "export/document/TextSpool.h"
#include "shell/Failure.h"

#include <QBuffer>
#include <QXmlStreamReader>
#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <string>

namespace {

using Entries = std::map<std::string, QByteArray>;

// minizip reading from memory.
struct MemoryStream {
    const QByteArray* bytes;
    ZPOS64_T position = 0;
};

voidpf ZCALLBACK openMemory(voidpf opaque, const void*, int) {
    return new MemoryStream{static_cast<const QByteArray*>(opaque)};
}
uLong ZCALLBACK readMemory(voidpf, voidpf stream, void* buffer, uLong size) {
    auto* s = static_cast<MemoryStream*>(stream);
    const auto total = static_cast<ZPOS64_T>(s->bytes->size());
    const uLong n =
        s->position >= total ? 0 : static_cast<uLong>(std::min<ZPOS64_T>(size, total - s->position));
    std::memcpy(buffer, s->bytes->constData() + s->position, n);
    s->position += n;
    return n;
}
uLong ZCALLBACK writeMemory(voidpf, voidpf, const void*, uLong) {
    return 0;
}
ZPOS64_T ZCALLBACK tellMemory(voidpf, voidpf stream) {
    return static_cast<MemoryStream*>(stream)->position;
}
long ZCALLBACK seekMemory(voidpf, voidpf stream, ZPOS64_T offset, int origin) {
    auto* s = static_cast<MemoryStream*>(stream);
    const auto total = static_cast<ZPOS64_T>(s->bytes->size());
    ZPOS64_T base = 0;
    if (origin == ZLIB_FILEFUNC_SEEK_CUR)
        base = s->position;
    else if (origin == ZLIB_FILEFUNC_SEEK_END)
        base = total;
    if (base + offset > total)
        return -1;
    s->position = base + offset;
    return 0;
}
int ZCALLBACK closeMemory(voidpf, voidpf stream) {
    delete static_cast<MemoryStream*>(stream);
    return 0;
}
int ZCALLBACK errorMemory(voidpf, voidpf) {
    return 0;
}

struct UnzipClose {
    void operator()(void* file) const { unzClose(file); }
};

// Every entry of the package, in order; the first entry's name in first.
Entries unzip(const QByteArray& package, std::string& first) {
    zlib_filefunc64_def io{openMemory, readMemory,  writeMemory, tellMemory,
                           seekMemory, closeMemory, errorMemory, const_cast<QByteArray*>(&package)};
    std::unique_ptr<void, UnzipClose> zip(unzOpen2_64("package", &io));
    qm::fuzz::require(zip != nullptr, "the package is a ZIP file");
    Entries entries;
    int status = unzGoToFirstFile(zip.get());
    while (status == UNZ_OK) {
        unz_file_info64 info{};
        char name[512] = {};
        qm::fuzz::require(unzGetCurrentFileInfo64(zip.get(), &info, name, sizeof name - 1, nullptr, 0,
                                                  nullptr, 0) == UNZ_OK,
                          "a ZIP entry header reads");
        qm::fuzz::require(unzOpenCurrentFile(zip.get()) == UNZ_OK, "a ZIP entry opens", name);
        QByteArray data;
        char buffer[65536];
        int got = 0;
        while ((got = unzReadCurrentFile(zip.get(), buffer, sizeof buffer)) > 0)
            data.append(buffer, got);
        qm::fuzz::require(got == 0, "a ZIP entry inflates", name);
        qm::fuzz::require(unzCloseCurrentFile(zip.get()) == UNZ_OK, "a ZIP entry's checksum matches", name);
        if (entries.empty())
            first = name;
        entries[name] = data;
        status = unzGoToNextFile(zip.get());
    }
    qm::fuzz::require(status == UNZ_END_OF_LIST_OF_FILE, "the ZIP directory reads to its end");
    return entries;
}

// Checks that the part is well-formed XML; counts the elements of that name.
int checkXml(const std::string& part, const QByteArray& xml, QStringView countedName) {
    QXmlStreamReader reader(xml);
    int count = 0;
    while (!reader.atEnd()) {
        if (reader.readNext() == QXmlStreamReader::StartElement && reader.qualifiedName() == countedName)
            ++count;
    }
    qm::fuzz::require(!reader.hasError(), "every XML part is well-formed",
                      (part + ": " + reader.errorString().toStdString()).c_str());
    return count;
}

void checkPackage(const QByteArray& output, std::uint64_t lines, const char* mainPart, QStringView paragraph,
                  bool odt) {
    std::string first;
    const Entries entries = unzip(output, first);
    qm::fuzz::require(entries.count(mainPart) == 1, "the main part is there", mainPart);
    if (odt) {
        qm::fuzz::require(first == "mimetype", "the mimetype entry comes first");
        qm::fuzz::require(entries.at("mimetype") == "application/vnd.oasis.opendocument.text",
                          "the mimetype names a text document");
    } else {
        qm::fuzz::require(entries.count("[Content_Types].xml") == 1, "the content types are there");
    }
    for (const auto& [name, data] : entries) {
        if (name.ends_with(".xml") || name.ends_with(".rels")) {
            const int paragraphs = checkXml(name, data, paragraph);
            if (name == mainPart)
                qm::fuzz::require(static_cast<std::uint64_t>(paragraphs) == std::max<std::uint64_t>(lines, 1),
                                  "one paragraph per line (an empty text is one empty paragraph)");
        }
    }
}

void checkRtf(const QByteArray& output) {
    qm::fuzz::require(output.startsWith("{\\rtf1"), "an RTF document starts with its signature");
    int depth = 0;
    for (qsizetype i = 0; i < output.size(); ++i) {
        const auto c = static_cast<unsigned char>(output[i]);
        qm::fuzz::require(c < 0x80, "an RTF document is plain ASCII");
        if (c == '\\') {
            ++i;  // an escaped brace or backslash is text
        } else if (c == '{') {
            ++depth;
        } else if (c == '}') {
            qm::fuzz::require(--depth >= 0, "RTF groups close only what was opened");
            qm::fuzz::require(depth > 0 || i == output.size() - 1 || output.mid(i + 1).trimmed().isEmpty(),
                              "nothing follows the RTF document's group");
        }
    }
    qm::fuzz::require(depth == 0, "every RTF group is closed");
}

void checkDoc(const QByteArray& output) {
    GsfInput* memory =
        gsf_input_memory_new(reinterpret_cast<const guint8*>(output.constData()), output.size(), FALSE);
    GError* error = nullptr;
    GsfInfile* ole = gsf_infile_msole_new(memory, &error);
    if (error)
        g_error_free(error);
    qm::fuzz::require(ole != nullptr, "a .doc file is a compound file");
    for (const char* stream : {"WordDocument", "1Table"}) {
        GsfInput* child = gsf_infile_child_by_name(ole, stream);
        qm::fuzz::require(child != nullptr && gsf_input_size(child) > 0, "a .doc file has its Word streams",
                          stream);
        g_object_unref(child);
    }
    g_object_unref(ole);
    g_object_unref(memory);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    qm::fuzz::quietQt();
    if (size == 0)
        return 0;
    const auto format = static_cast<qm::DocumentFormat>(data[0] % 5);
    const std::string_view text(reinterpret_cast<const char*>(data) + 1, size - 1);

    // The input's lines, as the export appends them (a value may hold any byte).
    qm::TextSpool spool;
    for (std::size_t start = 0; start < text.size();) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        spool.appendLine(text.substr(start, end - start));
        start = end + 1;
    }
    qm::DocumentContent content;
    content.texts.push_back(spool.snapshot());
    content.created = QDateTime::fromSecsSinceEpoch(1700000000, Qt::UTC);
    content.modified = content.created;

    QBuffer device;
    device.open(QIODevice::WriteOnly);
    try {
        qm::DocumentWriterFor(format)->write(content, device);
    } catch (const qm::Failure& failure) {
        qm::fuzz::violated("writing to memory never fails", failure.description().toUtf8());
    }
    const QByteArray& output = device.data();
    const std::uint64_t lines = spool.lineCount();
    switch (format) {
        case qm::DocumentFormat::Docx:
            checkPackage(output, lines, "word/document.xml", u"w:p", false);
            break;
        case qm::DocumentFormat::Odt:
            checkPackage(output, lines, "content.xml", u"text:p", true);
            break;
        case qm::DocumentFormat::Rtf:
            checkRtf(output);
            break;
        case qm::DocumentFormat::Txt:
            qm::fuzz::require(output.toStdString() == spool.toString(), "a text document is the text itself");
            break;
        case qm::DocumentFormat::Doc:
            checkDoc(output);
            break;
    }
    return 0;
}
