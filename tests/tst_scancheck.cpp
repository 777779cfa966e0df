// The scannability check before printing: pages rasterised by Ghostscript at
// the resolution real cups-pdf queues of the test's own report (set with
// lpadmin), their barcodes and QR codes read back with zbar; runs whose first
// page fails are refused by kova-print, by the Print button and by the run
// itself, and leave the queue empty and the numbering where it was.
#include "TestSupport.h"

#include "PrintMain.h"
#include "fbarcode/Barcode.h"
#include "model/PrintCommon.h"
#include "model/bom/SettingBom.h"
#include "model/manager/FileMgrImpl.h"
#include "model/manager/PrintRun.h"
#include "model/manager/Printer.h"
#include "model/manager/PrinterResolution.h"
#include "model/manager/SettingMgrImpl.h"

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QSpinBox>
#include <QtTest>

namespace {

const QString kProject = QStringLiteral("条码标签");
constexpr int kQR = -1;

// Millimetres that are exactly `dots` dots on the 300 dpi queues pages are laid out for.
double Mm(int dots) {
    return dots * 25.4 / 300;
}

// The labels' Code 128, "条码", of the given module.
TPrintItem* Code128(double module) {
    TPrintItem* bar =
        NewItem(itBarcode, 10, 20, 0, 12, QStringLiteral("KOVA-0001"), QStringLiteral("条码"));
    bar->SetBarcodeType(bcCode128B);
    bar->SetBarcodeModule(module);
    return bar;
}

} // namespace

class TestScanCheck : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void resolutionComesFromTheQueue_data();
    void resolutionComesFromTheQueue();
    void symbolsOnThePage_data();
    void symbolsOnThePage();
    void everyReadableSymbologyReadsBack_data();
    void everyReadableSymbologyReadsBack();
    void failingFirstPage_data();
    void failingFirstPage();
    void checkAlone_data();
    void checkAlone();
    void printersFillRule_data();
    void printersFillRule();

private:
    QString queueAt(int dpi) const { return (dpi == 600 ? queue600 : queue300).name(); }
    TScanReport check(TProject& project, int dpi, const QString& pdf = QString());
    int storedStart();
    void openWindow();

    TestQueue queue300{QStringLiteral("KOVA_CHECK300"), 300};
    TestQueue queue600{QStringLiteral("KOVA_CHECK600"), 600};
    // Two pages from 5 on the 300 dpi queue; stored with a serial number and a Code128().
    const TestProject labels =
        TestProject(kProject).page(100, 80).printer(queue300.name()).start(5).with([](TProject& p) {
            p.SetProjectSerialEnd(2);
        });
    std::unique_ptr<TestStore> store;
    TPrintMainFrm* frm = nullptr;
};

void TestScanCheck::initTestCase() {
    QVERIFY2(queue300.ok(), qPrintable(queue300.why()));
    QVERIFY2(queue600.ok(), qPrintable(queue600.why()));
}

void TestScanCheck::init() {
    store = std::make_unique<TestStore>();
}

void TestScanCheck::cleanup() {
    delete frm;
    frm = nullptr;
    store.reset();
}

TScanReport TestScanCheck::check(TProject& project, int dpi, const QString& pdf) {
    TPrintRunOptions options;
    options.From = 1;
    options.Save = false;
    if (pdf.isEmpty()) {
        options.Printer = queueAt(dpi);
    } else {
        options.PdfFile = pdf;
        options.Dpi = dpi;
    }
    return TPrintRun(project, store->settings, store->files).Check(options);
}

// Pages are laid out and checked at the queue's own dots, not the 1200 dpi Qt
// reports for every queue; a PDF file has none and gets the fallback.
void TestScanCheck::resolutionComesFromTheQueue_data() {
    QTest::addColumn<QString>("target");
    QTest::addColumn<int>("dpi");
    QTest::addColumn<bool>("known");
    QTest::newRow("queue set to 300 dpi") << "300" << 300 << true;
    QTest::newRow("queue set to 600 dpi") << "600" << 600 << true;
    QTest::newRow("PDF file: fallback, said so") << "pdf" << FallbackDpi << false;
    QTest::newRow("PDF file at a given 203 dpi") << "pdf203" << 203 << true;
    QTest::newRow("queue that does not exist: unknown") << "none" << 0 << false;
}

void TestScanCheck::resolutionComesFromTheQueue() {
    QFETCH(QString, target);
    QFETCH(int, dpi);
    QFETCH(bool, known);
    if (target == "none") {
        const TPrinterResolution r = QueueResolution(QStringLiteral("KOVA_NO_SUCH_QUEUE"));
        QCOMPARE(r.Known(), known);
        return;
    }
    TProject project;
    QTemporaryDir dir;
    const TScanReport report = target.startsWith("pdf")
                                   ? check(project, target.mid(3).toInt(), dir.filePath("out.pdf"))
                                   : check(project, target.toInt());
    QCOMPARE(report.DpiX, dpi);
    QCOMPARE(report.DpiY, dpi);
    QCOMPARE(report.DpiKnown, known);
    QCOMPARE(Printer().Metrics().DpiX, dpi);
    const QString header = report.Text().section(u'\n', 0, 0);
    QCOMPARE(header, known ? QStringLiteral("第 1 页，%1，%2 dpi：没有条码或二维码。")
                                 .arg(target.startsWith("pdf") ? QStringLiteral("PDF 文件")
                                                               : "打印机 " + queueAt(dpi))
                                 .arg(dpi)
                           : QStringLiteral("第 1 页，PDF 文件，300 dpi（打印机没有报告分辨率，按 "
                                            "300 dpi 检查）：没有条码或二维码。"));
}

// One symbol (and what lies around it) on a 127 × 101.6 mm page. x is from
// the sheet's left edge for every kind; for barcodes, which count from the
// printable area's corner, the test takes the printable offset off.
void TestScanCheck::symbolsOnThePage_data() {
    QTest::addColumn<int>("symbol"); // barcode type, or kQR
    QTest::addColumn<QString>("text");
    QTest::addColumn<QRectF>("geometry"); // x, y, QR width, bar or QR height (mm)
    QTest::addColumn<double>("module");   // barcode module (mm); QR: encoding option
    QTest::addColumn<double>("angle");
    QTest::addColumn<QString>("beside"); // another item: "", "line", "text over"
    QTest::addColumn<int>("dpi");
    QTest::addColumn<bool>("failed");
    QTest::addColumn<int>("outcome"); // TScanOutcome, -1 for whatever the scanner makes of it
    QTest::addColumn<QStringList>("warnings");
    const QString code = QStringLiteral("KOVA-0001");

    // 0.1 mm is 1 dot at 300 dpi (1.18 rounded), 2 at 600.
    QTest::newRow("Code 128 at 0.1 mm on a 300 dpi queue is under 2 dots")
        << int(bcCode128B) << code << QRectF(10, 10, 0, 12) << 0.1 << 0.0 << "" << 300 << true << -1
        << QStringList{"最窄的条或空只有 1 个打印点，至少需要 2 个"};
    QTest::newRow("Code 128 at 0.3 mm on a 300 dpi queue passes")
        << int(bcCode128B) << code << QRectF(10, 10, 0, 12) << 0.3 << 0.0 << "" << 300 << false
        << int(TScanOutcome::Read) << QStringList{};
    QTest::newRow("Code 128 at 0.1 mm on a 600 dpi queue passes")
        << int(bcCode128B) << code << QRectF(10, 10, 0, 12) << 0.1 << 0.0 << "" << 600 << false
        << int(TScanOutcome::Read) << QStringList{};
    QTest::newRow("Code 128 turned 90 degrees reads")
        << int(bcCode128B) << code << QRectF(30, 10, 0, 12) << 0.3 << 90.0 << "" << 300 << false
        << int(TScanOutcome::Read) << QStringList{};
    // Version 1, quiet zone 4: 29 modules. 30 mm is 354 dots, 3 mm 35: modules
    // of 12 or 13 dots across and 1 or 2 down.
    QTest::newRow("QR squashed to a tenth of its height fails")
        << kQR << code << QRectF(20, 20, 30, 3) << 0.0 << 0.0 << "" << 300 << true
        << int(TScanOutcome::NotRead)
        << QStringList{"模块只有 12 × 1 个打印点，至少需要 2 个"};
    QTest::newRow("QR 30 mm square passes")
        << kQR << code << QRectF(20, 20, 30, 30) << 0.0 << 0.0 << "" << 300 << false
        << int(TScanOutcome::Read) << QStringList{};
    // 0.254 mm is 3 dots at 300 dpi: EAN-13 wants 11 modules, 33 dots (2.8 mm),
    // before the bars; the bars start 12 dots (1.0 mm) from the sheet's edge.
    QTest::newRow("EAN-13 with its quiet zone cut by the page edge warns")
        << int(bcCodeEAN13) << "590123412345" << QRectF(Mm(12), 20, 0, 15) << 0.254 << 0.0 << ""
        << 300 << false << int(TScanOutcome::Read)
        << QStringList{"左侧空白区只有 1.0 mm，需要 2.8 mm（11 个模块）"};
    QTest::newRow("EAN-13 with room round it has no warning")
        << int(bcCodeEAN13) << "590123412345" << QRectF(20, 20, 0, 15) << 0.254 << 0.0 << "" << 300
        << false << int(TScanOutcome::Read) << QStringList{};
    // A line of 4 dots centred 14 dots before the bars, ink where the scanner
    // looks for the quiet zone. Its edges lie on the grid and Ghostscript fills
    // the dot its right edge touches too: 5 dots, 11 free.
    QTest::newRow("a line in the quiet zone is told as the reason it does not read")
        << int(bcCodeEAN13) << "590123412345" << QRectF(Mm(240), 20, 0, 15) << 0.254 << 0.0
        << "line" << 300 << true << int(TScanOutcome::NotRead)
        << QStringList{"左侧空白区只有 0.9 mm，需要 2.8 mm（11 个模块）"};
    // Text cells are opaque: a line of text across the whole bar height.
    QTest::newRow("text drawn over the bars fails")
        << int(bcCode128B) << code << QRectF(10, 10, 0, 3) << 0.3 << 0.0 << "text over" << 300
        << true << int(TScanOutcome::NotRead) << QStringList{};
    QTest::newRow("the same bars without the text pass")
        << int(bcCode128B) << code << QRectF(10, 10, 0, 3) << 0.3 << 0.0 << "" << 300 << false
        << int(TScanOutcome::Read) << QStringList{};
    QTest::newRow("barcode running off the sheet fails")
        << int(bcCode128B) << code << QRectF(115, 10, 0, 12) << 0.3 << 0.0 << "" << 300 << true
        << int(TScanOutcome::NotRead) << QStringList{"符号超出纸张边缘"};
    QTest::newRow("QR running off the bottom of the sheet fails")
        << kQR << code << QRectF(20, 90, 30, 30) << 0.0 << 0.0 << "" << 300 << true
        << int(TScanOutcome::NotRead) << QStringList{"符号超出纸张边缘"};
    QTest::newRow("MSI cannot be checked and does not fail")
        << int(bcCodeMSI) << "1234" << QRectF(10, 10, 0, 12) << 0.3 << 0.0 << "" << 300 << false
        << int(TScanOutcome::NotCheckable) << QStringList{};
    QTest::newRow("PostNet cannot be checked but fails under 2 dots")
        << int(bcCodePostNet) << "12345" << QRectF(10, 10, 0, 12) << 0.1 << 0.0 << "" << 300 << true
        << int(TScanOutcome::NotCheckable)
        << QStringList{"最窄的条或空只有 1 个打印点，至少需要 2 个"};
    QTest::newRow("Code 39 leaving out lower case says the data differs")
        << int(bcCode39) << "ab12" << QRectF(10, 10, 0, 12) << 0.3 << 0.0 << "" << 300 << false
        << int(TScanOutcome::Read) << QStringList{"条码内容 \"12\" 与打印项内容 \"ab12\" 不同"};
    QTest::newRow("QR numeric option dropping letters says the data differs")
        << kQR << "AB12" << QRectF(20, 20, 30, 30) << 1.0 << 0.0 << "" << 300 << false
        << int(TScanOutcome::Read) << QStringList{"二维码内容 \"12\" 与打印项内容 \"AB12\" 不同"};
}

void TestScanCheck::symbolsOnThePage() {
    QFETCH(int, symbol);
    QFETCH(QString, text);
    QFETCH(QRectF, geometry);
    QFETCH(double, module);
    QFETCH(double, angle);
    QFETCH(QString, beside);
    QFETCH(int, dpi);
    QFETCH(bool, failed);
    QFETCH(int, outcome);
    QFETCH(QStringList, warnings);

    // The printer's offsets first, to place the barcode from the sheet's edge.
    TProject project;
    project.SetProjectPageWidth(127);
    project.SetProjectPageHeight(101.6);
    check(project, dpi);
    const TDeviceMetrics metrics = Printer().Metrics();

    TPrintItem* item;
    if (symbol == kQR) {
        item = AddItem(project, itQRCode, geometry.x(), geometry.y(), geometry.width(),
                       geometry.height(), text);
        item->SetQRcodeEncoding(int(module));
        item->SetQRcodeQuietZone(4);
    } else {
        item = AddItem(project, itBarcode, geometry.x() - Mm(metrics.OffsetX),
                       geometry.y() - Mm(metrics.OffsetY), 0, geometry.height(), text);
        item->SetBarcodeType(symbol);
        item->SetBarcodeModule(module);
        item->SetItemAllowNewLine(FlagText(symbol == bcCodeEAN13));
        item->SetItemRotateDegree(angle);
    }
    if (beside == "line") {
        TPrintItem* line = AddItem(project, itLine, Mm(226), geometry.y() - 5, Mm(226),
                                   geometry.y() + geometry.height() + 5, QString());
        line->SetItemOutlinePenStyle(0);
        line->SetItemOutlinePenWidth(4);
    } else if (beside == "text over") {
        AddItem(project, itText, geometry.x() + 5, geometry.y() - 0.6, 0, 1.2,
                QStringLiteral("遮住条码"));
    }

    const TScanReport report = check(project, dpi);
    QCOMPARE(int(report.Symbols.size()), 1);
    const TSymbolCheck& c = report.Symbols.front();
    QVERIFY2(c.Failed == failed, qPrintable(report.Text()));
    QCOMPARE(report.Passed(), !failed);
    if (outcome >= 0)
        QVERIFY2(int(c.Outcome) == outcome, qPrintable(report.Text()));
    QCOMPARE(c.Warnings, warnings);
}

// Each symbology zbar reads, read back from the page at 300 dpi; the reading
// is what a scanner gives (the standards' examples and zbarimg's readings of
// tst_barcode_scan), and it matches what the program holds.
void TestScanCheck::everyReadableSymbologyReadsBack_data() {
    QTest::addColumn<int>("symbol");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("checksum"); // QR: the encoding option
    QTest::addColumn<QString>("read");

    QTest::newRow("2 of 5 interleaved, odd count padded")
        << int(bcCode_2_5_interleaved) << "12345" << false << "012345";
    QTest::newRow("Code 39") << int(bcCode39) << "KOVA-39" << false << "KOVA-39";
    // C 12 + O 24 + D 13 + E 14 + 3 + 9 = 75, mod 43 = 32: W.
    QTest::newRow("Code 39 with check character") << int(bcCode39) << "CODE39" << true << "CODE39W";
    QTest::newRow("Code 39 full ASCII") << int(bcCode39Extended) << "ab-c.!" << false << "ab-c.!";
    QTest::newRow("Code 128 A") << int(bcCode128A) << "KOVA 128" << false << "KOVA 128";
    QTest::newRow("Code 128 B") << int(bcCode128B) << "Hello, kova" << false << "Hello, kova";
    QTest::newRow("Code 128 C, odd count padded") << int(bcCode128C) << "123" << false << "0123";
    QTest::newRow("Code 93") << int(bcCode93) << "HELLO-93" << false << "HELLO-93";
    QTest::newRow("Code 93 full ASCII")
        << int(bcCode93Extended) << "Hello, World!" << false << "Hello, World!";
    QTest::newRow("Codabar, start and stop A and B")
        << int(bcCodeCodabar) << "31117013206375" << false << "A31117013206375B";
    QTest::newRow("EAN-8 with check digit") << int(bcCodeEAN8) << "9638507" << true << "96385074";
    QTest::newRow("EAN-13 with check digit")
        << int(bcCodeEAN13) << "590123412345" << true << "5901234123457";
    QTest::newRow("EAN-13 starting with 0 reads as UPC-A")
        << int(bcCodeEAN13) << "003600029145" << true << "036000291452";
    QTest::newRow("UPC-A with check digit")
        << int(bcCodeUPC_A) << "03600029145" << true << "036000291452";
    QTest::newRow("UPC-E, number system and check digit added by the scanner")
        << int(bcCodeUPC_E0) << "654321" << false << "06543217";
    QTest::newRow("UPC 2-digit add-on") << int(bcCodeUPC_Supp2) << "12" << false << "12";
    QTest::newRow("UPC 5-digit add-on, check digit shown, not drawn")
        << int(bcCodeUPC_Supp5) << "12345" << true << "12345";
    QTest::newRow("EAN-128 B with check digit")
        << int(bcCodeEAN128B) << "0101234" << true << "01012347";
    QTest::newRow("EAN-128 C") << int(bcCodeEAN128C) << "0101234" << false << "00101234";
    QTest::newRow("QR automatic, numeric") << kQR << "1234567890" << false << "1234567890";
    QTest::newRow("QR automatic, Chinese with byte-order mark")
        << kQR << "票号 0001" << false << "票号 0001";
    QTest::newRow("QR ISO-8859-1") << kQR << "Grüße" << true << "Grüße";
}

void TestScanCheck::everyReadableSymbologyReadsBack() {
    QFETCH(int, symbol);
    QFETCH(QString, text);
    QFETCH(bool, checksum);
    QFETCH(QString, read);
    TProject project;
    project.SetProjectPageWidth(127);
    project.SetProjectPageHeight(101.6);
    if (symbol == kQR) {
        TPrintItem* qr = AddItem(project, itQRCode, 20, 20, 30, 30, text);
        qr->SetQRcodeEncoding(checksum ? 3 : 0);
    } else {
        TPrintItem* bar = AddItem(project, itBarcode, 15, 20, 0, 15, text);
        bar->SetBarcodeType(symbol);
        bar->SetBarcodeModule(0.33);
        bar->SetItemAllowNewLine(FlagText(checksum));
    }
    const TScanReport report = check(project, 300);
    QCOMPARE(int(report.Symbols.size()), 1);
    const TSymbolCheck& c = report.Symbols.front();
    QVERIFY2(c.Outcome == TScanOutcome::Read, qPrintable(report.Text()));
    QCOMPARE(c.Read, read);
    QVERIFY2(report.Passed(), qPrintable(report.Text()));
    QVERIFY2(c.Warnings.isEmpty(), qPrintable(report.Text()));
}

int TestScanCheck::storedStart() {
    return store->db.scalar(QStringLiteral("select serial_start from P_PROJECT")).toInt();
}

void TestScanCheck::openWindow() {
    frm = OpenMainWindow(ProgramDirFor(store->db), kProject);
    QVERIFY(frm);
    QVERIFY(frm->btnPrint->isEnabled());
}

// A first page whose Code 128 is under 2 dots: unless the user says to print
// all the same, the queue gets nothing and the numbering stays; said yes to,
// the run prints and the numbering moves on.
void TestScanCheck::failingFirstPage_data() {
    QTest::addColumn<QString>("how");
    QTest::addColumn<bool>("printed");
    QTest::newRow("Print button, question answered with its default (No)")
        << "window default" << false;
    QTest::newRow("Print button, question answered Yes") << "window yes" << true;
    QTest::newRow("kova-print refuses") << "kova-print" << false;
    QTest::newRow("kova-print --force prints") << "kova-print --force" << true;
    QTest::newRow("a run without anyone to ask refuses") << "run unasked" << false;
    QTest::newRow("a run whose caller says no") << "run no" << false;
}

void TestScanCheck::failingFirstPage() {
    QFETCH(QString, how);
    QFETCH(bool, printed);
    labels.store({NewItem(itSerial, 10, 5, 0, 1.2, "1", "序号"), Code128(0.1)});
    const QList<int> jobsBefore = JobsOnQueue(queue300.name());
    QString question, report;
    bool defaultIsNo = false;
    int nextStart = 0;
    if (how.startsWith("window")) {
        openWindow();
        WhenModal<QMessageBox>([&](QMessageBox* box) {
            question = box->text();
            report = box->informativeText();
            defaultIsNo = box->defaultButton() == box->button(QMessageBox::No);
            (how == "window yes" ? box->button(QMessageBox::Yes) : box->defaultButton())->click();
        });
        frm->btnPrintClick();
        QCOMPARE(question, QStringLiteral("条码无法识别，仍然打印？"));
        QVERIFY(defaultIsNo);
        QCOMPARE(frm->lblStatus->text(),
                 printed ? QStringLiteral("打印结束") : QStringLiteral("条码检查未通过，没有打印"));
        nextStart = frm->PrnSerialFrom->value();
    } else if (how.startsWith("kova-print")) {
        QStringList args{QStringLiteral("--database"), store->db.path(),
                         QStringLiteral("--project"),  kProject,
                         QStringLiteral("--pages"),    QStringLiteral("2")};
        if (how.endsWith("--force"))
            args << QStringLiteral("--force");
        QProcess p;
        p.start(QStringLiteral(KOVA_BIN_DIR "/kova-print"), args);
        QVERIFY(p.waitForFinished(120000));
        report = QString::fromUtf8(p.readAllStandardError());
        QCOMPARE(p.exitCode(), printed ? 0 : 3);
        if (!printed)
            QVERIFY2(report.contains(
                         QStringLiteral("条码无法识别，什么也没有打印；要仍然打印请加 --force")),
                     qPrintable(report));
        nextStart = printed ? QString::fromUtf8(p.readAllStandardOutput()).trimmed().toInt() : 5;
    } else {
        TSettingMgr stored;
        TProject* project = stored.GetProjectList().value(0).second;
        QVERIFY(project);
        TPrintRunHooks hooks;
        if (how == "run no")
            hooks.ConfirmUnscannable = [&](const TScanReport& r) {
                report = r.Text();
                return false;
            };
        TPrintRunOptions options;
        options.From = 5;
        options.Count = 2;
        const TPrintRunResult r = TPrintRun(*project, stored, store->files).Run(options, hooks);
        QVERIFY(r.Refused);
        QVERIFY(r.Check && !r.Check->Passed());
        QCOMPARE(r.Printed, 0);
        QCOMPARE(r.JobId, 0);
        QVERIFY(r.Error.isEmpty());
        nextStart = r.NextStart;
        if (report.isEmpty())
            report = r.Check->Text();
    }
    // The report names the symbol and says why.
    QVERIFY2(report.contains(QStringLiteral("未通过  条码 \"条码\" (Code128B)")),
             qPrintable(report));
    QVERIFY2(report.contains(QStringLiteral("最窄的条或空只有 1 个打印点，至少需要 2 个")),
             qPrintable(report));
    if (printed) {
        QCOMPARE(JobsOnQueue(queue300.name()).size(), jobsBefore.size() + 1);
        QCOMPARE(storedStart(), 7);
        QCOMPARE(nextStart, 7);
    } else {
        QCOMPARE(JobsOnQueue(queue300.name()), jobsBefore);
        QCOMPARE(storedStart(), 5);
        QCOMPARE(nextStart, 5);
    }
}

// kova-print --check: the report on standard output, 0 when all pass, 3 when
// any fails; it prints nothing and stores nothing either way.
void TestScanCheck::checkAlone_data() {
    QTest::addColumn<double>("module");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("firstLines");
    QTest::newRow("passing project")
        << 0.3 << 0
        << QStringLiteral("第 5 页，打印机 %1，300 dpi：1 个条码和二维码"
                          "，0 个未通过。\n通过    条码 \"条码\" "
                          "(Code128B)：可以识别，读出 \"KOVA-0001\"");
    QTest::newRow("failing project")
        << 0.1 << 3
        << QStringLiteral("第 5 页，打印机 %1，300 dpi：1 个条码和二维码"
                          "，1 个未通过。\n未通过  条码 \"条码\" "
                          "(Code128B)：");
}

void TestScanCheck::checkAlone() {
    QFETCH(double, module);
    QFETCH(int, exitCode);
    QFETCH(QString, firstLines);
    labels.store({NewItem(itSerial, 10, 5, 0, 1.2, "1", "序号"), Code128(module)});
    const QList<int> jobsBefore = JobsOnQueue(queue300.name());
    QProcess p;
    p.start(QStringLiteral(KOVA_BIN_DIR "/kova-print"),
            {QStringLiteral("--database"), store->db.path(), QStringLiteral("--project"), kProject,
             QStringLiteral("--check")});
    QVERIFY(p.waitForFinished(120000));
    const QString out = QString::fromUtf8(p.readAllStandardOutput());
    QVERIFY2(p.exitCode() == exitCode, qPrintable(QString::fromUtf8(p.readAllStandardError())));
    QVERIFY2(out.startsWith(firstLines.arg(queue300.name())), qPrintable(out));
    QCOMPARE(JobsOnQueue(queue300.name()), jobsBefore);
    QCOMPARE(storedStart(), 5);
}

// The check reads the page as Ghostscript, the engine CUPS rasterises a raster
// printer's jobs with, fills it: every dot a shape touches. A Code 128 of 2-dot
// modules turned 20 degrees keeps its spaces by Qt's rule (dot centres) and
// loses them to the printer's; without Ghostscript the check falls back to
// Qt's rule and says so.
void TestScanCheck::printersFillRule_data() {
    QTest::addColumn<bool>("ghostscript");
    QTest::addColumn<bool>("failed");
    QTest::addColumn<QString>("note");
    QTest::newRow("Ghostscript fills the turned bars' spaces shut") << true << true << "";
    QTest::newRow("without Ghostscript Qt's rule reads them, and says which rule it used")
        << false << false << "（找不到 Ghostscript（gs），按 Qt 的栅格规则检查）";
}

void TestScanCheck::printersFillRule() {
    QFETCH(bool, ghostscript);
    QFETCH(bool, failed);
    QFETCH(QString, note);
    TProject project;
    project.SetProjectPageWidth(127);
    project.SetProjectPageHeight(101.6);
    TPrintItem* bar = AddItem(project, itBarcode, 30, 10, 0, 12, QStringLiteral("KOVA-0001"));
    bar->SetBarcodeType(bcCode128B);
    bar->SetBarcodeModule(Mm(2));
    bar->SetItemRotateDegree(20);
    const QByteArray path = qgetenv("PATH");
    if (!ghostscript)
        qputenv("PATH", "/nonexistent");
    const TScanReport report = check(project, 300);
    qputenv("PATH", path);
    QCOMPARE(int(report.Symbols.size()), 1);
    const TSymbolCheck& c = report.Symbols.front();
    QCOMPARE(c.NarrowDots, 2);
    QVERIFY2(c.Failed == failed, qPrintable(report.Text()));
    QVERIFY2(c.Outcome == (failed ? TScanOutcome::NotRead : TScanOutcome::Read),
             qPrintable(report.Text()));
    QVERIFY2(c.Warnings.isEmpty(), qPrintable(report.Text()));
    QCOMPARE(report.Text().section(u'\n', 0, 0),
             QStringLiteral("第 1 页，打印机 %1，300 dpi%2：1 个条码和二维码，%3 个未通过。")
                 .arg(queue300.name(), note)
                 .arg(failed ? 1 : 0));
}

QTEST_MAIN(TestScanCheck)
#include "tst_scancheck.moc"
