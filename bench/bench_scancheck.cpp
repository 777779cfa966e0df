// The scannability check of one page with five symbols at 600 printer dots per
// inch, beside what it is made of: the whole sheet rendered at those dots, and
// zbar reading that whole sheet on its own without any report.
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
#include <QTemporaryDir>
#include <QTextStream>
#include <algorithm>
#include <functional>

namespace {

constexpr int kDpi = 600;
constexpr int kRounds = 21;

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

} // namespace

int main(int argc, char* argv[]) {
    SetUpStandaloneEnvironment();
    QGuiApplication app(argc, argv);
    InstallFontSubstitutions();

    TestStore store;
    const TSettingMgr& settings = store.settings;
    TFileMgr& files = store.files;

    // A ticket of 127 × 101.6 mm: its number, a line, and five symbols.
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
    barcode(8, 55, bcCode39, QStringLiteral("KOVA-39"));
    AddItem(project, itQRCode, 75, 15, 25, 25, QStringLiteral("https://kova.example/t/000123"));
    AddItem(project, itQRCode, 75, 60, 30, 30, QStringLiteral("票号 2026-000123 座位 17 排 5 号"));

    // The PDF path sets up the device the print path lays pages out in; the
    // dots are then a 600 dpi printer's.
    QTemporaryDir dir;
    TPrintRunOptions options;
    options.PdfFile = dir.filePath(QStringLiteral("check.pdf"));
    options.Save = false;
    TPrintRun run(project, settings, files);
    run.Check(options);
    TRasterDevice device = RasterDevice(Printer());
    device.DpiX = device.DpiY = kDpi;
    device.DpiKnown = true;

    const TPageComposer composer(settings, files);
    const std::unique_ptr<TCPrint> page = composer.GenerateTCPrint(project, 1);
    const TPreparedPage prepared = run.Manager().PreparePage(*page);

    TScanReport report = CheckPage(*page, prepared, device, 1);
    if (report.Symbols.size() != 5 || !report.Passed())
        return Fail(QStringLiteral("the benchmark page does not pass its check:\n") +
                    report.Text());
    const QImage sheet = RenderPageDots(prepared, device, device.PaperDots());
    TSymbolScanner scanner;
    if (scanner.Scan(sheet).size() != 5)
        return Fail(QStringLiteral("zbar does not find the five symbols on the whole sheet"));

    const Timing check = Time([&] { report = CheckPage(*page, prepared, device, 1); });
    const Timing whole = Time([&] {
        const std::unique_ptr<TCPrint> p = composer.GenerateTCPrint(project, 1);
        report = CheckPage(*p, run.Manager().PreparePage(*p), device, 1);
    });
    QImage rendered;
    const Timing render =
        Time([&] { rendered = RenderPageDots(prepared, device, device.PaperDots()); });
    size_t found = 0;
    const Timing zbar = Time([&] { found = TSymbolScanner().Scan(sheet).size(); });
    if (found != 5 || rendered.isNull())
        return Fail(QStringLiteral("a peer lost its result"));

    QTextStream out(stdout);
    out << "Scannability check, 127 x 101.6 mm page, 5 symbols (Code 128, EAN-13, Code 39, 2 QR), "
        << kDpi << " dpi (" << sheet.width() << " x " << sheet.height() << " dots), " << kRounds
        << " rounds (median / best); target under 0.2 s\n\n";
    out << "| figure | check | compose + prepare + check | whole sheet rendered alone | "
           "zbar on the whole sheet alone |\n|---|---|---|---|---|\n";
    const auto ms = [](const Timing& t) {
        return QStringLiteral("%1 / %2")
            .arg(t.median * 1000, 0, 'f', 1)
            .arg(t.best * 1000, 0, 'f', 1);
    };
    out << "| ms | " << ms(check) << " | " << ms(whole) << " | " << ms(render) << " | " << ms(zbar)
        << " |\n\n";
    out << "check / (render + zbar of the whole sheet): "
        << QString::number(check.median / (render.median + zbar.median), 'f', 2) << "x; "
        << (whole.median < 0.2 ? "under" : "OVER") << " the 0.2 s target\n";
    return 0;
}
