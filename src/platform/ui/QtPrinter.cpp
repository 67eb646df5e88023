#include "platform/ui/QtPrinter.h"

#include <QDir>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>
#include <QStandardPaths>
#include <system_error>

#include "platform/Utf8Path.h"
#include "platform/ui/DrawingPainter.h"
#include "platform/ui/QtText.h"

namespace kestrel {
namespace {

// Dots per inch of the page: pen widths are counted in these dots.
constexpr int kDotsPerInch = 600;

// A name not taken yet in `folder`: "base.pdf", else "base_2.pdf", ...
std::filesystem::path freePdfName(const std::filesystem::path& folder, const std::string& base) {
    std::filesystem::path candidate = folder / pathFromUtf8(base + ".pdf");
    for (int n = 2; std::filesystem::exists(candidate) && n < 1000; ++n)
        candidate = folder / pathFromUtf8(base + "_" + std::to_string(n) + ".pdf");
    return candidate;
}

PrintResult printPages(QPrinter& printer, const std::vector<Drawing>& pages, bool landscape) {
    printer.setFullPage(false); // the printer's own margins
    printer.setPageSize(QPageSize(QPageSize::A4));
    printer.setPageOrientation(landscape ? QPageLayout::Landscape : QPageLayout::Portrait);
    PrintResult result;
    QPainter painter;
    if (!painter.begin(&printer)) {
        result.outcome = PrintResult::Outcome::Failed;
        result.error = "印刷を始められません。";
        return result;
    }
    const QRectF area(QPointF(0, 0),
                      printer.pageLayout().paintRectPixels(printer.resolution()).size());
    for (size_t i = 0; i < pages.size(); ++i) {
        if (i > 0 && !printer.newPage()) {
            painter.end();
            result.outcome = PrintResult::Outcome::Failed;
            result.error = "次のページを始められません。";
            return result;
        }
        paintDrawing(painter, pages[i], area, 1.0, 0.0);
    }
    if (!painter.end()) {
        result.outcome = PrintResult::Outcome::Failed;
        result.error = "印刷を終えられません。";
    }
    return result;
}

} // namespace

QtPrinter::QtPrinter(std::filesystem::path documents, Destination destination)
    : m_documents(std::move(documents)), m_destination(destination) {}

std::filesystem::path QtPrinter::userDocumentsFolder() {
    QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (folder.isEmpty()) folder = QDir::homePath();
    return pathFromUtf8(folder.toStdString());
}

PrintResult QtPrinter::print(const PrintRequest& request, const std::vector<Drawing>& pages) {
    if (pages.empty()) return {};
    if (m_destination == Destination::DefaultPrinter) {
        const QPrinterInfo info = QPrinterInfo::defaultPrinter();
        if (!info.isNull()) {
            QPrinter printer(info, QPrinter::HighResolution);
            printer.setResolution(kDotsPerInch);
            printer.setDocName(QString::fromStdString(request.documentName));
            PrintResult r = printPages(printer, pages, request.landscape);
            if (r.outcome == PrintResult::Outcome::Failed)
                r.error = "プリンター「" + info.printerName().toStdString() + "」で" + r.error;
            return r;
        }
    }

    PrintResult result;
    std::error_code ec;
    std::filesystem::create_directories(m_documents, ec);
    if (ec || !std::filesystem::is_directory(m_documents)) {
        result.outcome = PrintResult::Outcome::Failed;
        result.file = m_documents;
        result.error = "フォルダー「" + utf8OfPath(m_documents) + "」を作れません。";
        return result;
    }
    const std::filesystem::path file = freePdfName(m_documents, request.fileBaseName);
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(qs(file));
    printer.setResolution(kDotsPerInch);
    printer.setDocName(QString::fromStdString(request.documentName));
    result = printPages(printer, pages, request.landscape);
    result.file = file;
    if (result.outcome == PrintResult::Outcome::Failed)
        result.error = "ファイル「" + utf8OfPath(file) + "」に書き込めません。";
    else
        result.outcome = PrintResult::Outcome::SavedAsPdf;
    return result;
}

} // namespace kestrel
