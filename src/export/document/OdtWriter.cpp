#include "OdtWriter.h"

#include "DocumentTable.h"
#include "DocumentText.h"
#include "GsfSupport.h"
#include "shell/Failure.h"
#include "shell/TextMarks.h"

#include <gsf/gsf-outfile-zip.h>
#include <gsf/gsf-outfile.h>
#include <gsf/gsf-output-impl.h>
#include <gsf/gsf-output.h>
#include <QLocale>
#include <algorithm>
#include <optional>
#include <string>

namespace qm {

namespace {

constexpr std::size_t kBufferSize = 256 * 1024;
// Deflate level of content.xml: fast, as for the .docx document part.
constexpr int kDeflateLevel = 1;

constexpr char kMimeType[] = "application/vnd.oasis.opendocument.text";

constexpr char kXmlDeclaration[] = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";

constexpr char kManifest[] =
    "<manifest:manifest xmlns:manifest=\"urn:oasis:names:tc:opendocument:xmlns:manifest:1.0\" "
    "manifest:version=\"1.2\">"
    "<manifest:file-entry manifest:full-path=\"/\" manifest:version=\"1.2\" "
    "manifest:media-type=\"application/vnd.oasis.opendocument.text\"/>"
    "<manifest:file-entry manifest:full-path=\"content.xml\" manifest:media-type=\"text/xml\"/>"
    "<manifest:file-entry manifest:full-path=\"styles.xml\" manifest:media-type=\"text/xml\"/>"
    "<manifest:file-entry manifest:full-path=\"meta.xml\" manifest:media-type=\"text/xml\"/>"
    "</manifest:manifest>";

constexpr char kFontFaces[] =
    "<office:font-face-decls>"
    "<style:font-face style:name=\"Calibri\" svg:font-family=\"Calibri\" style:font-family-generic=\"swiss\" "
    "style:font-pitch=\"variable\"/>"
    "</office:font-face-decls>";

constexpr char kNamespaces[] =
    "xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" "
    "xmlns:style=\"urn:oasis:names:tc:opendocument:xmlns:style:1.0\" "
    "xmlns:text=\"urn:oasis:names:tc:opendocument:xmlns:text:1.0\" "
    "xmlns:fo=\"urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0\" "
    "xmlns:svg=\"urn:oasis:names:tc:opendocument:xmlns:svg-compatible:1.0\" "
    "xmlns:meta=\"urn:oasis:names:tc:opendocument:xmlns:meta:1.0\" "
    "xmlns:dc=\"http://purl.org/dc/elements/1.1/\" office:version=\"1.2\"";

std::string inches(std::uint32_t twips) {
    return QString::number(twips / 1440.0, 'f', 4).toStdString() + "in";
}

// Lines: the locale's paper upright, one-inch margins, 11 pt. A table: the
// page and type FitTable chose.
std::string styles(const TablePage* table) {
    const bool letter = QLocale::system().measurementSystem() == QLocale::ImperialUSSystem;
    std::string size = "11pt";
    std::string page = std::string("fo:page-width=\"") + (letter ? "8.5in" : "210mm") +
                       "\" fo:page-height=\"" + (letter ? "11in" : "297mm") +
                       "\" fo:margin-top=\"1in\" fo:margin-bottom=\"1in\" fo:margin-left=\"1in\" "
                       "fo:margin-right=\"1in\"";
    if (table) {
        size = std::to_string(table->halfPoints / 2) + (table->halfPoints % 2 ? ".5pt" : "pt");
        const std::string margin = inches(table->margin);
        page = "fo:page-width=\"" + inches(table->paperWidth) + "\" fo:page-height=\"" +
               inches(table->paperHeight) + "\" style:print-orientation=\"" +
               (table->landscape ? "landscape" : "portrait") + "\" fo:margin-top=\"" + margin +
               "\" fo:margin-bottom=\"" + margin + "\" fo:margin-left=\"" + margin + "\" fo:margin-right=\"" +
               margin + "\"";
    }
    return std::string(kXmlDeclaration) + "<office:document-styles " + kNamespaces + ">" + kFontFaces +
           "<office:styles>"
           "<style:default-style style:family=\"paragraph\">"
           "<style:paragraph-properties fo:margin-top=\"0in\" fo:margin-bottom=\"0in\" "
           "style:tab-stop-distance=\"0.5in\"/>"
           "<style:text-properties style:font-name=\"Calibri\" fo:font-size=\"" +
           size +
           "\"/>"
           "</style:default-style>"
           "<style:style style:name=\"Standard\" style:family=\"paragraph\" style:class=\"text\"/>"
           "</office:styles>"
           "<office:automatic-styles>"
           "<style:page-layout style:name=\"Page\"><style:page-layout-properties " +
           page +
           "/>"
           "</style:page-layout>"
           "</office:automatic-styles>"
           "<office:master-styles>"
           "<style:master-page style:name=\"Standard\" style:page-layout-name=\"Page\"/>"
           "</office:master-styles>"
           "</office:document-styles>";
}

std::string isoDate(const QDateTime& time) {
    return (time.isValid() ? time : QDateTime::currentDateTimeUtc())
        .toUTC()
        .toString(Qt::ISODate)
        .toStdString();
}

std::string meta(const DocumentContent& content) {
    return std::string(kXmlDeclaration) + "<office:document-meta " + kNamespaces +
           "><office:meta><meta:generator>Quillmerge</meta:generator>"
           "<meta:creation-date>" +
           isoDate(content.created) + "</meta:creation-date><dc:date>" + isoDate(content.modified) +
           "</dc:date></office:meta></office:document-meta>";
}

// StoredTextReader's handler: the paragraphs of content.xml, into a buffer
// that goes to the package whenever it fills.
// Added to the emphasis bits in the name of a text style: the look of a link.
constexpr unsigned kLinkStyle = 8;

class OdtBody {
  public:
    OdtBody(GsfOutput* entry, const GsfDeviceOutput& sink) : entry_(entry), sink_(sink) {
        out_.reserve(kBufferSize + 64);
    }

    void ascii(std::string_view run) {
        open();
        openSpan();
        for (const char c : run) {
            if (c == ' ') {
                ++spaces_;
                continue;
            }
            settleSpaces();
            switch (c) {
                case '<':
                    out_ += "&lt;";
                    break;
                case '>':
                    out_ += "&gt;";
                    break;
                case '&':
                    out_ += "&amp;";
                    break;
                default:
                    out_ += c;
                    break;
            }
            afterText_ = true;
        }
        check();
    }

    void character(char32_t, std::string_view utf8) {
        open();
        openSpan();
        settleSpaces();
        out_ += utf8;
        afterText_ = true;
        check();
    }

    void tab() { element("<text:tab/>"); }
    void lineBreak() { element("<text:line-break/>"); }

    // A link is text:a; the look of a link and the emphasis are spans of the
    // automatic text styles markStyles() declares.
    void linkStart(std::string_view target) {
        open();
        closeSpan();
        out_ += "<text:a xlink:type=\"simple\" xlink:href=\"";
        for (const char c : target)
            out_ += c == '<'   ? "&lt;"
                    : c == '>' ? "&gt;"
                    : c == '&' ? "&amp;"
                    : c == '"' ? "&quot;"
                               : std::string_view(&c, 1);
        out_ += "\">";
        link_ = true;
    }
    void linkEnd() {
        closeSpan();
        out_ += "</text:a>";
        link_ = false;
    }
    void emphasis(unsigned bits) {
        if (open_)
            closeSpan();
        emphasis_ = bits;
    }

    void paragraphEnd() {
        if (open_)
            closeSpan();
        if (!open_) {
            out_ += emptyParagraph_;
        } else {
            writeSpaces(spaces_);  // trailing blanks would be dropped
            spaces_ = 0;
            out_ += "</text:p>";
            open_ = false;
        }
        check();
    }

    // The table's structure (TableHandler): cells hold one paragraph each; the
    // header row goes into table:table-header-rows.
    void beginRow(bool header) {
        inHeader_ = header;
        out_ += header ? "<table:table-header-rows><table:table-row table:style-name=\"Row\">"
                       : "<table:table-row table:style-name=\"Row\">";
    }
    // Cells take their style from their column, and their paragraphs the
    // default style, which keeps the many cells of a long table short; the
    // header row's have their own.
    void beginCell(std::size_t) {
        paragraphStart_ = inHeader_ ? "<text:p text:style-name=\"Heading\">" : "<text:p>";
        emptyParagraph_ = inHeader_ ? "<text:p text:style-name=\"Heading\"/>" : "<text:p/>";
        out_ += inHeader_ ? "<table:table-cell table:style-name=\"HeaderCell\">" : "<table:table-cell>";
    }
    void endCell() {
        paragraphEnd();
        out_ += "</table:table-cell>";
    }
    void endRow() {
        out_ += inHeader_ ? "</table:table-row></table:table-header-rows>" : "</table:table-row>";
        check();
    }

    void flush() {
        WriteGsf(entry_, out_, sink_);
        out_.clear();
    }

  private:
    void open() {
        if (open_)
            return;
        out_ += paragraphStart_;
        open_ = true;
        afterText_ = false;
    }

    // The span of the current link's look and emphasis, if it has any.
    void openSpan() {
        const unsigned style = emphasis_ | (link_ ? kLinkStyle : 0);
        if (spanOpen_ || style == 0)
            return;
        out_ += "<text:span text:style-name=\"T" + std::to_string(style) + "\">";
        spanOpen_ = true;
    }
    // Ends the open span, its blanks spelled out within it.
    void closeSpan() {
        if (spaces_ > 0) {
            writeSpaces(spaces_);
            spaces_ = 0;
            afterText_ = false;
        }
        if (spanOpen_)
            out_ += "</text:span>";
        spanOpen_ = false;
    }

    void element(const char* xml) {
        open();
        openSpan();
        writeSpaces(spaces_);
        spaces_ = 0;
        out_ += xml;
        afterText_ = false;
        check();
    }

    // Blanks followed by text: one literal blank may follow other text, the
    // rest are spelled out.
    void settleSpaces() {
        if (spaces_ == 0)
            return;
        if (afterText_) {
            out_ += ' ';
            --spaces_;
        }
        writeSpaces(spaces_);
        spaces_ = 0;
    }

    void writeSpaces(std::uint64_t count) {
        if (count == 1)
            out_ += "<text:s/>";
        else if (count > 1)
            out_ += "<text:s text:c=\"" + std::to_string(count) + "\"/>";
    }

    void check() {
        if (out_.size() >= kBufferSize)
            flush();
    }

    GsfOutput* entry_;
    const GsfDeviceOutput& sink_;
    std::string out_;
    bool open_ = false;         // inside a <text:p>
    bool afterText_ = false;    // the last thing written in it was a character other than a blank
    std::uint64_t spaces_ = 0;  // blanks not yet written
    bool inHeader_ = false;     // in the table's header row
    bool link_ = false;         // inside a text:a
    bool spanOpen_ = false;     // inside a text:span
    unsigned emphasis_ = 0;
    const char* paragraphStart_ = "<text:p text:style-name=\"Standard\">";
    const char* emptyParagraph_ = "<text:p text:style-name=\"Standard\"/>";
};

// The automatic text styles of marked text: T1 to T15, the emphasis bits
// plus kLinkStyle for the look of a link.
std::string markStyles() {
    std::string out;
    for (unsigned style = 1; style <= (marks::kAllEmphasis | kLinkStyle); ++style) {
        out += "<style:style style:name=\"T" + std::to_string(style) +
               "\" style:family=\"text\"><style:text-properties";
        if (style & marks::kBold)
            out += " fo:font-weight=\"bold\"";
        if (style & marks::kItalic)
            out += " fo:font-style=\"italic\"";
        if (style & kLinkStyle)
            out += " fo:color=\"#0563c1\"";
        if (style & (marks::kUnderline | kLinkStyle))
            out +=
                " style:text-underline-style=\"solid\" style:text-underline-width=\"auto\" "
                "style:text-underline-color=\"font-color\"";
        out += "/></style:style>";
    }
    return out;
}

// The automatic styles of a table: its width, its columns' widths, cells with
// a thin border and a little padding, rows kept on one page, and the header
// row shaded with its text bold.
std::string tableStyles(const TablePage& page) {
    std::string out =
        "<style:style style:name=\"Records\" style:family=\"table\">"
        "<style:table-properties style:width=\"" +
        inches(page.textWidth()) + "\" table:align=\"left\"/></style:style>";
    for (std::size_t i = 0; i < page.widths.size(); ++i)
        out += "<style:style style:name=\"Column" + std::to_string(i + 1) +
               "\" style:family=\"table-column\"><style:table-column-properties style:column-width=\"" +
               inches(page.widths[i]) + "\"/></style:style>";
    const std::string padding = "fo:padding-left=\"" + inches(TablePage::kCellPadding) +
                                "\" fo:padding-right=\"" + inches(TablePage::kCellPadding) +
                                "\" fo:padding-top=\"" + inches(TablePage::kCellPaddingVertical) +
                                "\" fo:padding-bottom=\"" + inches(TablePage::kCellPaddingVertical) +
                                "\" fo:border=\"0.5pt solid #000000\"";
    out += "<style:style style:name=\"Cell\" style:family=\"table-cell\"><style:table-cell-properties " +
           padding +
           "/></style:style><style:style style:name=\"HeaderCell\" style:family=\"table-cell\">"
           "<style:table-cell-properties " +
           padding +
           " fo:background-color=\"#d9d9d9\"/></style:style>"
           "<style:style style:name=\"Row\" style:family=\"table-row\"><style:table-row-properties "
           "fo:keep-together=\"always\"/></style:style>"
           "<style:style style:name=\"Heading\" style:family=\"paragraph\"><style:text-properties "
           "fo:font-weight=\"bold\" style:font-weight-asian=\"bold\" style:font-weight-complex=\"bold\"/>"
           "</style:style>";
    return out;
}

std::string tableStart(const TableShape& shape) {
    std::string out = "<table:table table:name=\"Records\" table:style-name=\"Records\">";
    for (std::size_t i = 0; i < shape.columns; ++i)
        out += "<table:table-column table:style-name=\"Column" + std::to_string(i + 1) +
               "\" table:default-cell-style-name=\"Cell\"/>";
    return out;
}

GsfOutputPtr newEntry(GsfOutfile* zip, const char* name, bool stored) {
    GsfOutputPtr entry(
        stored ? gsf_outfile_new_child_full(zip, name, FALSE, "compression-level", GSF_ZIP_STORED, nullptr)
               : gsf_outfile_new_child_full(zip, name, FALSE, "compression-level", GSF_ZIP_DEFLATED,
                                            "deflate-level", kDeflateLevel, nullptr));
    if (!entry)
        throw Failure(QStringLiteral("Could not add '%1' to the document").arg(QLatin1String(name)));
    return entry;
}

void addEntry(GsfOutfile* zip, const char* name, std::string_view data, bool stored,
              const GsfDeviceOutput& sink) {
    const GsfOutputPtr entry = newEntry(zip, name, stored);
    WriteGsf(entry.get(), data, sink);
    CloseGsf(entry.get(), sink);
}

}  // namespace

void OdtWriter::write(const DocumentContent& content, QIODevice& device) const {
    GsfDeviceOutput sink(device);
    GError* error = nullptr;
    GsfOutfilePtr zip(gsf_outfile_zip_new(sink.get(), &error));
    if (!zip) {
        const QString reason = error != nullptr ? QString::fromUtf8(error->message) : QString();
        g_clear_error(&error);
        sink.check();
        throw Failure(reason.isEmpty() ? QStringLiteral("Could not start the package") : reason);
    }
    const QDateTime modified =
        content.modified.isValid() ? content.modified : QDateTime::currentDateTimeUtc();
    GDateTime* time = g_date_time_new_from_unix_utc(modified.toSecsSinceEpoch());
    gsf_output_set_modtime(GSF_OUTPUT(zip.get()), time);
    g_date_time_unref(time);

    addEntry(zip.get(), "mimetype", kMimeType, true, sink);
    {
        GsfOutputPtr folder(gsf_outfile_new_child(zip.get(), "META-INF", TRUE));
        if (!folder)
            throw Failure(QStringLiteral("Could not add 'META-INF' to the document"));
        addEntry(GSF_OUTFILE(folder.get()), "manifest.xml", std::string(kXmlDeclaration) + kManifest, false,
                 sink);
        CloseGsf(folder.get(), sink);
    }
    addEntry(zip.get(), "meta.xml", meta(content), false, sink);
    std::optional<TableShape> table;
    std::optional<TablePage> page;
    if (HasTableRows(content)) {
        table = MeasureTable(content);
        page = FitTable(*table);
    }
    addEntry(zip.get(), "styles.xml", styles(page ? &*page : nullptr), false, sink);

    const bool marked = std::any_of(content.texts.begin(), content.texts.end(),
                                    [](const TextSnapshot& text) { return text.markBytes() > 0; });
    std::string automaticStyles =
        (page ? tableStyles(*page) : std::string()) + (marked ? markStyles() : std::string());
    if (!automaticStyles.empty())
        automaticStyles = "<office:automatic-styles>" + automaticStyles + "</office:automatic-styles>";
    const GsfOutputPtr entry = newEntry(zip.get(), "content.xml", false);
    WriteGsf(entry.get(),
             std::string(kXmlDeclaration) + "<office:document-content " + kNamespaces +
                 (table ? " xmlns:table=\"urn:oasis:names:tc:opendocument:xmlns:table:1.0\"" : "") +
                 (marked ? " xmlns:xlink=\"http://www.w3.org/1999/xlink\"" : "") + ">" + kFontFaces +
                 automaticStyles + "<office:body><office:text>" +
                 (table ? tableStart(*table) : std::string()),
             sink);
    if (table) {
        TableHandler<OdtBody> body(*table, entry.get(), sink);
        StoredTextReader<TableHandler<OdtBody>> reader(body);
        body.begin();
        ForEachStoredPiece(content.texts, kStoredPieceSize,
                           [&](std::string_view piece) { reader.feed(piece); });
        reader.finish();
        body.flush();
        WriteGsf(entry.get(), "</table:table>", sink);
    } else {
        OdtBody body(entry.get(), sink);
        StoredTextReader<OdtBody> reader(body);
        ForEachStoredPiece(content.texts, kStoredPieceSize,
                           [&](std::string_view piece) { reader.feed(piece); });
        reader.finish();
        body.flush();
    }
    WriteGsf(entry.get(), "</office:text></office:body></office:document-content>", sink);
    CloseGsf(entry.get(), sink);
    CloseGsf(GSF_OUTPUT(zip.get()), sink);
}

}  // namespace qm
