#include "OoxmlWriter.h"

#include "BodyXml.h"
#include "DocumentTable.h"
#include "ParallelDeflate.h"
#include "ZipPackage.h"
#include "shell/Failure.h"

#include <QBuffer>
#include <QFileDevice>
#include <QLocale>
#include <optional>
#include <string>
#include <thread>

namespace qm {

namespace {

// Level of the small parts; they are a few hundred bytes each.
constexpr int kSmallPartLevel = 6;
constexpr char kXmlDeclaration[] = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n";

constexpr char kContentTypes[] =
    "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
    "<Default Extension=\"rels\" ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
    "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
    "<Override PartName=\"/word/document.xml\" "
    "ContentType=\"application/vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml\"/>"
    "<Override PartName=\"/word/styles.xml\" "
    "ContentType=\"application/vnd.openxmlformats-officedocument.wordprocessingml.styles+xml\"/>"
    "<Override PartName=\"/word/settings.xml\" "
    "ContentType=\"application/vnd.openxmlformats-officedocument.wordprocessingml.settings+xml\"/>"
    "<Override PartName=\"/docProps/core.xml\" "
    "ContentType=\"application/vnd.openxmlformats-package.core-properties+xml\"/>"
    "<Override PartName=\"/docProps/app.xml\" "
    "ContentType=\"application/vnd.openxmlformats-officedocument.extended-properties+xml\"/>"
    "</Types>";

constexpr char kPackageRelationships[] =
    "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
    "<Relationship Id=\"rId1\" "
    "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument\" "
    "Target=\"word/document.xml\"/>"
    "<Relationship Id=\"rId2\" "
    "Type=\"http://schemas.openxmlformats.org/package/2006/relationships/metadata/core-properties\" "
    "Target=\"docProps/core.xml\"/>"
    "<Relationship Id=\"rId3\" "
    "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/extended-properties\" "
    "Target=\"docProps/app.xml\"/>"
    "</Relationships>";

constexpr char kDocumentRelationships[] =
    "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
    "<Relationship Id=\"rId1\" "
    "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/styles\" "
    "Target=\"styles.xml\"/>"
    "<Relationship Id=\"rId2\" "
    "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/settings\" "
    "Target=\"settings.xml\"/>"
    "</Relationships>";

// Calibri 11 pt as Word's own default; lines follow each other without space
// between paragraphs, so the document reads as a list of lines.
constexpr char kStyles[] =
    "<w:styles xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\">"
    "<w:docDefaults>"
    "<w:rPrDefault><w:rPr>"
    "<w:rFonts w:ascii=\"Calibri\" w:eastAsia=\"Calibri\" w:hAnsi=\"Calibri\" w:cs=\"Calibri\"/>"
    "<w:sz w:val=\"22\"/><w:szCs w:val=\"22\"/>"
    "</w:rPr></w:rPrDefault>"
    "<w:pPrDefault><w:pPr>"
    "<w:spacing w:before=\"0\" w:after=\"0\" w:line=\"240\" w:lineRule=\"auto\"/>"
    "</w:pPr></w:pPrDefault>"
    "</w:docDefaults>"
    "<w:style w:type=\"paragraph\" w:default=\"1\" w:styleId=\"Normal\"><w:name "
    "w:val=\"Normal\"/><w:qFormat/>"
    "</w:style>"
    "<w:style w:type=\"character\" w:default=\"1\" w:styleId=\"DefaultParagraphFont\">"
    "<w:name w:val=\"Default Paragraph Font\"/><w:uiPriority w:val=\"1\"/><w:semiHidden/><w:unhideWhenUsed/>"
    "</w:style>"
    "</w:styles>";

// Compatibility mode 15 is the mode of every Word since 2013; an older value
// (or none) opens the document in compatibility mode.
constexpr char kSettings[] =
    "<w:settings xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\">"
    "<w:defaultTabStop w:val=\"720\"/>"
    "<w:characterSpacingControl w:val=\"doNotCompress\"/>"
    "<w:compat>"
    "<w:compatSetting w:name=\"compatibilityMode\" w:uri=\"http://schemas.microsoft.com/office/word\" "
    "w:val=\"15\"/>"
    "</w:compat>"
    "</w:settings>";

constexpr char kAppProperties[] =
    "<Properties xmlns=\"http://schemas.openxmlformats.org/officeDocument/2006/extended-properties\" "
    "xmlns:vt=\"http://schemas.openxmlformats.org/officeDocument/2006/docPropsVTypes\">"
    "<Application>Quillmerge</Application><DocSecurity>0</DocSecurity>"
    "</Properties>";

constexpr char kDocumentStart[] =
    "<w:document xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\"><w:body>";

std::string part(const char* xml) {
    return std::string(kXmlDeclaration) + xml;
}

std::string w3cdtf(const QDateTime& time) {
    return (time.isValid() ? time : QDateTime::currentDateTimeUtc())
        .toUTC()
        .toString(Qt::ISODate)
        .toStdString();
}

std::string coreProperties(const DocumentContent& content) {
    return std::string(kXmlDeclaration) +
           "<cp:coreProperties "
           "xmlns:cp=\"http://schemas.openxmlformats.org/package/2006/metadata/core-properties\" "
           "xmlns:dc=\"http://purl.org/dc/elements/1.1/\" xmlns:dcterms=\"http://purl.org/dc/terms/\" "
           "xmlns:dcmitype=\"http://purl.org/dc/dcmitype/\" "
           "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\">"
           "<cp:revision>1</cp:revision>"
           "<dcterms:created xsi:type=\"dcterms:W3CDTF\">" +
           w3cdtf(content.created) +
           "</dcterms:created>"
           "<dcterms:modified xsi:type=\"dcterms:W3CDTF\">" +
           w3cdtf(content.modified) +
           "</dcterms:modified>"
           "</cp:coreProperties>";
}

// The styles of a table: the type's size as FitTable chose it, and the
// table's style, whose first row (the header row, when there is one) is bold.
std::string tableStyles(const TablePage& page) {
    std::string xml = kStyles;
    const std::string size = std::to_string(page.halfPoints);
    const auto replace = [&xml](std::string_view from, const std::string& to) {
        xml.replace(xml.find(from), from.size(), to);
    };
    replace("<w:sz w:val=\"22\"/><w:szCs w:val=\"22\"/>",
            "<w:sz w:val=\"" + size + "\"/><w:szCs w:val=\"" + size + "\"/>");
    replace("</w:styles>",
            "<w:style w:type=\"table\" w:styleId=\"Records\"><w:name w:val=\"Records\"/>"
            "<w:tblStylePr w:type=\"firstRow\"><w:rPr><w:b/><w:bCs/></w:rPr></w:tblStylePr>"
            "</w:style></w:styles>");
    return part(xml.c_str());
}

// A table's page as FitTable chose it.
std::string sectionProperties(const TablePage& page) {
    return "<w:sectPr><w:pgSz w:w=\"" + std::to_string(page.paperWidth) + "\" w:h=\"" +
           std::to_string(page.paperHeight) + (page.landscape ? "\" w:orient=\"landscape\"/>" : "\"/>") +
           "<w:pgMar w:top=\"" + std::to_string(page.margin) + "\" w:right=\"" + std::to_string(page.margin) +
           "\" w:bottom=\"" + std::to_string(page.margin) + "\" w:left=\"" + std::to_string(page.margin) +
           "\" w:header=\"720\" w:footer=\"720\" w:gutter=\"0\"/></w:sectPr></w:body></w:document>";
}

// Letter where the user's locale measures in inches, A4 elsewhere; one-inch margins.
std::string sectionProperties() {
    const bool letter = QLocale::system().measurementSystem() == QLocale::ImperialUSSystem;
    return std::string("<w:sectPr><w:pgSz w:w=\"") + (letter ? "12240" : "11906") + "\" w:h=\"" +
           (letter ? "15840" : "16838") +
           "\"/><w:pgMar w:top=\"1440\" w:right=\"1440\" w:bottom=\"1440\" w:left=\"1440\" w:header=\"720\" "
           "w:footer=\"720\" w:gutter=\"0\"/></w:sectPr></w:body></w:document>";
}

// Empties the device for a second attempt; false when it cannot be emptied.
bool truncate(QIODevice& device) {
    if (auto* file = qobject_cast<QFileDevice*>(&device))
        return file->resize(0) && file->seek(0);
    if (auto* buffer = qobject_cast<QBuffer*>(&device)) {
        buffer->buffer().clear();
        return buffer->seek(0);
    }
    return false;
}

}  // namespace

void OoxmlWriter::write(const DocumentContent& content, QIODevice& device) const {
    // Whether the document part can reach 4 GiB is known only once it is
    // built. Most texts are far too small to get there; a big one is first
    // written without ZIP64 sizes and, should it pass the limit, written again
    // with them, on a device that can be emptied. Other devices get ZIP64
    // sizes at once when the text might need them.
    std::optional<TableShape> table;
    if (HasTableRows(content))
        table = MeasureTable(content);
    std::uint64_t bound = 4096;
    for (const TextSnapshot& text : content.texts)
        bound += text.byteCount() * BodyXmlBuilder::kMaxBytesPerByte +
                 text.lineCount() * BodyXmlBuilder::kMaxBytesPerLine +
                 text.markBytes() * BodyXmlBuilder::kMaxBytesPerMarkByte;
    if (table)
        bound += (table->rows * table->columns + table->columns) * BodyXmlBuilder::kMaxBytesPerCell;
    const bool mightNeedZip64 = bound >= options_.zip64Threshold;
    const qint64 start = device.pos();
    const bool canRestart = start == 0 && (qobject_cast<QFileDevice*>(&device) != nullptr ||
                                           qobject_cast<QBuffer*>(&device) != nullptr);
    std::optional<TablePage> page;
    if (table)
        page = FitTable(*table);
    const Table laidOut{table ? &*table : nullptr, page ? &*page : nullptr};
    if (writePackage(content, laidOut, device, mightNeedZip64 && !canRestart) == Package::Written)
        return;
    if (!canRestart || !truncate(device))
        throw Failure(QStringLiteral("The document grew too large to be written here"));
    writePackage(content, laidOut, device, true);  // with ZIP64 sizes it always ends Written
}

OoxmlWriter::Package OoxmlWriter::writePackage(const DocumentContent& content, const Table& table,
                                               QIODevice& device, bool zip64) const {
    const int threads = options_.threads > 0
                            ? options_.threads
                            : static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    const QDateTime modified =
        content.modified.isValid() ? content.modified : QDateTime::currentDateTimeUtc();

    ZipPackage zip(device, modified);
    // [Content_Types].xml comes first; the document part comes last, so the
    // small parts sit at small offsets whatever its size.
    zip.addEntry("[Content_Types].xml", part(kContentTypes), kSmallPartLevel);
    zip.addEntry("_rels/.rels", part(kPackageRelationships), kSmallPartLevel);
    zip.addEntry("docProps/core.xml", coreProperties(content), kSmallPartLevel);
    zip.addEntry("docProps/app.xml", part(kAppProperties), kSmallPartLevel);
    zip.addEntry("word/_rels/document.xml.rels", part(kDocumentRelationships), kSmallPartLevel);
    zip.addEntry("word/styles.xml", table.page ? tableStyles(*table.page) : part(kStyles), kSmallPartLevel);
    zip.addEntry("word/settings.xml", part(kSettings), kSmallPartLevel);

    zip.beginRawEntry("word/document.xml", options_.level, zip64);
    ParallelDeflater deflater(options_.level, threads,
                              [&zip](std::string_view compressed) { zip.writeRaw(compressed); });
    // Whether the document part so far fits the entry's sizes.
    const auto fits = [&] { return zip64 || deflater.inputBytes() <= options_.zip64Threshold; };
    deflater.block().append(kXmlDeclaration).append(kDocumentStart);
    BodyXmlBuilder body = table.shape ? BodyXmlBuilder(*table.shape, *table.page) : BodyXmlBuilder();
    const bool bodyFits =
        ForEachStoredPieceWhile(content.texts, kStoredPieceSize, [&](std::string_view piece) {
            body.feed(piece, deflater.block());
            if (deflater.block().size() < ParallelDeflater::kBlockSize)
                return true;
            if (!fits())
                return false;
            deflater.submit();
            return true;
        });
    if (!bodyFits)
        return Package::NeedsZip64;
    body.finish(deflater.block());
    deflater.block().append(table.page ? sectionProperties(*table.page) : sectionProperties());
    if (!fits())
        return Package::NeedsZip64;
    deflater.finish();
    zip.endRawEntry(deflater.inputBytes(), deflater.crc());
    zip.finish();
    return Package::Written;
}

}  // namespace qm
