// The scannability check of one page with two barcodes and a QR code, at 300
// and 600 printer dots per inch: the page rasterised by Ghostscript as the
// printer will print it, against the same check painted by Qt's raster rules
// (what it falls back to without Ghostscript), beside what it is made of: the
// page written as a job's PDF, Ghostscript rasterising that PDF, Ghostscript
// starting and doing nothing, and zbar reading the whole sheet.
#include "TestSupport.h"
#include "fbarcode/Barcode.h"
#include "model/Composer.h"
#include "model/Font.h"
#include "model/bom/SettingBom.h"
#include "model/manager/FileMgrImpl.h"
#include "model/manager/PageRaster.h"
#include "model/manager/PrintRun.h"
#include "model/manager/Printer.h"
#include "model/manager/ScanCheck.h"
#include "model/manager/SettingMgrImpl.h"
#include "model/manager/SymbolScanner.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>
#include <algorithm>
#include <functional>

namespace {

constexpr int kRounds = 11;

struct Timing {
    double median = 0, best = 0; // seconds
};

Timing Time(const std::function<void()>& work) {
    std::vector<double> seconds;
    for (int round = 0; round < kRounds; ++round) {
        QElapsedTimer timer;
        timer.start();
        work();
        seconds.push_back(timer.nsecsElapsed() / 1e9);
    }
    std::sort(seconds.begin(), seconds.end());
    return {seconds[seconds.size() / 2], seconds.front()};
}

int Fail(const QString& why) {
    QTextStream(stderr) << why << Qt::endl;
    return 1;
}

QString Ms(const Timing& t) {
    return QStringLiteral("%1 / %2").arg(t.median * 1000, 0, 'f', 1).arg(t.best * 1000, 0, 'f', 1);
}

} // namespace

int main(int argc, char* argv[]) {
    SetUpStandaloneEnvironment();
    QGuiApplication app(argc, argv);
    InstallFontSubstitutions();

    TestStore store;
    const TSettingMgr& settings = store.settings;
    TFileMgr& files = store.files;

    // A ticket of 127 × 101.6 mm: its number, a line, two barcodes and a QR code.
    TProject project;
    project.SetProjectPageWidth(127);
    project.SetProjectPageHeight(101.6);
    AddItem(project, itSerial, 5, 5, 0, 1.2, QStringLiteral("1"));
    AddItem(project, itLine, 5, 10, 120, 10, QString())->SetItemOutlinePenStyle(0);
    const auto barcode = [&](double x, double y, int type, const QString& data) {
        TPrintItem* item = AddItem(project, itBarcode, x, y, 0, 12, data);
        item->SetBarcodeType(type);
        item->SetBarcodeModule(0.25);
        // EAN-13's check digit added.
        item->SetItemAllowNewLine(FlagText(type == bcCodeEAN13));
    };
    barcode(8, 15, bcCode128B, QStringLiteral("KV-2026-000123"));
    barcode(8, 35, bcCodeEAN13, QStringLiteral("590123412345"));
    AddItem(project, itQRCode, 75, 15, 25, 25, QStringLiteral("https://kova.example/t/000123"));

    QTextStream out(stdout);
    out << "Scannability check, 127 x 101.6 mm page, Code 128, EAN-13 and a QR code, " << kRounds
        << " rounds (median / best, ms); target under 0.2 s\n\n"
        << "| dpi | check (Ghostscript) | compose + prepare + check | check by Qt's rules | "
           "page PDF written | Ghostscript on it | Ghostscript start-up alone | "
           "zbar on the whole sheet |\n|---|---|---|---|---|---|---|---|\n";
    QTemporaryDir dir;
    const QString pdf = dir.filePath(QStringLiteral("page.pdf"));
    const QByteArray path = qgetenv("PATH");
    for (const int dpi : {300, 600}) {
        // A PDF file laid out at these dots stands for a queue of this resolution.
        TPrintRunOptions options;
        options.PdfFile = dir.filePath(QStringLiteral("check.pdf"));
        options.Dpi = dpi;
        options.Save = false;
        TPrintRun run(project, settings, files);
        run.Check(options);
        const TPageComposer composer(settings, files);
        const std::unique_ptr<TCPrint> page = composer.GenerateTCPrint(project, 1);
        const TPreparedPage prepared = run.Manager().PreparePage(*page);

        TScanReport report = CheckPage(*page, prepared, Printer(), 1);
        if (report.Symbols.size() != 3 || !report.Passed() || !report.QtRulesBecause.isEmpty() ||
            report.DpiX != dpi)
            return Fail(QStringLiteral("the benchmark page does not pass its check:\n") +
                        report.Text());
        const Timing check = Time([&] { report = CheckPage(*page, prepared, Printer(), 1); });
        const Timing whole = Time([&] {
            const std::unique_ptr<TCPrint> p = composer.GenerateTCPrint(project, 1);
            report = CheckPage(*p, run.Manager().PreparePage(*p), Printer(), 1);
        });
        // Without Ghostscript on the path the check paints the page by Qt's rules.
        qputenv("PATH", "/nonexistent");
        const Timing qt = Time([&] { report = CheckPage(*page, prepared, Printer(), 1); });
        qputenv("PATH", path);
        if (report.QtRulesBecause.isEmpty() || !report.Passed())
            return Fail(QStringLiteral("the check by Qt's rules went wrong:\n") + report.Text());

        const auto paint = [&](QPainter& canvas) { TPageRenderer::Paint(canvas, prepared); };
        const Timing written = Time([&] { Printer().WritePage(pdf, paint); });
        std::optional<TSheetRaster> sheet;
        const Timing gs = Time([&] { sheet.emplace(pdf, dpi, dpi); });
        const Timing startUp = Time([&] {
            QProcess p;
            p.start(QStringLiteral("gs"),
                    {QStringLiteral("-q"), QStringLiteral("-dSAFER"), QStringLiteral("-dNODISPLAY"),
                     QStringLiteral("-dBATCH"), QStringLiteral("-dNOPAUSE"), QStringLiteral("-c"),
                     QStringLiteral("quit")});
            p.waitForFinished();
        });
        const QImage whole_sheet = sheet->Crop(sheet->Dots());
        size_t found = 0;
        const Timing zbar = Time([&] { found = TSymbolScanner().Scan(whole_sheet).size(); });
        if (found != 3)
            return Fail(QStringLiteral("zbar does not find the three symbols on the whole sheet"));

        out << "| " << dpi << " (" << whole_sheet.width() << " x " << whole_sheet.height()
            << " dots) | " << Ms(check) << " | " << Ms(whole) << " | " << Ms(qt) << " | "
            << Ms(written) << " | " << Ms(gs) << " | " << Ms(startUp) << " | " << Ms(zbar)
            << " |\n";
    }
    return 0;
}
