#include "TestSupport.h"
#include "base/Errors.h"
#include "base/Units.h"
#include "fbarcode/Barcode.h"
#include "model/ItemEditing.h"
#include "model/manager/PrintMgrImpl.h"
#include "model/manager/Printer.h"

#include <QImage>
#include <QPainter>
#include <QPrinter>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>
#include <cups/cups.h>
#include <pwd.h>
#include <unistd.h>

// The queues scripts/test-cups-start sets up on the private CUPS server.
static const QString kDefaultQueue = QStringLiteral("KOVA_PDF");
static const QString kOtherQueue = QStringLiteral("KOVA_PDF_B");

namespace {

QString Run(const QString& program, const QStringList& args) {
    QProcess p;
    p.start(program, args);
    p.waitForFinished(60000);
    return QString::fromLocal8Bit(p.readAllStandardOutput());
}

QString UniqueTitle() {
    static int n = 0;
    return QStringLiteral("kovatest%1x%2").arg(QCoreApplication::applicationPid()).arg(++n);
}

} // namespace

class TestPrintMgr : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        QVERIFY2(qEnvironmentVariableIsSet("CUPS_SERVER"),
                 "the tests run against the private CUPS server");
    }

    // --- conversions, with the resolutions and offsets given -----------------

    void roundHalfEven_data() {
        QTest::addColumn<double>("value");
        QTest::addColumn<int>("expected");
        QTest::newRow("2.5 to even 2") << 2.5 << 2;
        QTest::newRow("3.5 to even 4") << 3.5 << 4;
        QTest::newRow("-2.5 to even -2") << -2.5 << -2;
        QTest::newRow("-3.5 to even -4") << -3.5 << -4;
        QTest::newRow("just below a half") << 2.4999999 << 2;
        QTest::newRow("just above a half") << 2.5000001 << 3;
        QTest::newRow("zero") << 0.0 << 0;
    }
    void roundHalfEven() {
        QFETCH(double, value);
        QFETCH(int, expected);
        QCOMPARE(RoundHalfEven(value), expected);
    }

    void roundHalfEvenRefuses_data() {
        QTest::addColumn<double>("value");
        QTest::newRow("not a number") << std::nan("");
        QTest::newRow("infinity") << HUGE_VAL;
        QTest::newRow("beyond int") << 3.0e9;
        QTest::newRow("below int") << -3.0e9;
    }
    void roundHalfEvenRefuses() {
        QFETCH(double, value);
        QVERIFY_THROWS_EXCEPTION(EConvertError, RoundHalfEven(value));
    }

    // Expected pixels worked out by hand from Round(Round(mm*dpi*10000/25.4)/10000).
    void mmToPixels_data() {
        QTest::addColumn<double>("mm");
        QTest::addColumn<int>("dpi");
        QTest::addColumn<int>("expected");
        QTest::newRow("10 mm at 600 dpi (2362205 -> 236)") << 10.0 << 600 << 236;
        QTest::newRow("10.5 mm at 600 dpi") << 10.5 << 600 << 248;
        QTest::newRow("25.4 mm at 600 dpi is one inch") << 25.4 << 600 << 600;
        QTest::newRow("25.4 mm at 300 dpi") << 25.4 << 300 << 300;
        QTest::newRow("zero") << 0.0 << 600 << 0;
        QTest::newRow("negative is symmetric") << -10.0 << 600 << -236;
        QTest::newRow("10 mm at 1200 dpi") << 10.0 << 1200 << 472;
        // 0.25 mm at 254 dpi is 2.5 px only after the first rounding.
        QTest::newRow("exact half goes to even 2") << 0.25 << 254 << 2;
        QTest::newRow("exact half goes to even 4") << 0.35 << 254 << 4;
        // 10.054165 mm at 600 dpi is 237.49996 px: a single rounding gives 237,
        // the first rounding makes it 237.5 and the second 238.
        QTest::newRow("first rounding decides") << 10.054165 << 600 << 238;
        // 10.05416 mm is 237.49984 px, which stays below the half.
        QTest::newRow("first rounding keeps below half") << 10.05416 << 600 << 237;
        QTest::newRow("page height 500 mm at 1200 dpi") << 500.0 << 1200 << 23622;
    }
    void mmToPixels() {
        QFETCH(double, mm);
        QFETCH(int, dpi);
        QFETCH(int, expected);
        QCOMPARE(MmToPixels(mm, dpi), expected);
    }

    void placePoint_data() {
        QTest::addColumn<int>("dpiX");
        QTest::addColumn<int>("dpiY");
        QTest::addColumn<int>("printableX");
        QTest::addColumn<int>("printableY");
        QTest::addColumn<int>("offsetX");
        QTest::addColumn<int>("offsetY");
        QTest::addColumn<double>("x");
        QTest::addColumn<double>("y");
        QTest::addColumn<QPoint>("expected");
        QTest::newRow("600 dpi, no offsets")
            << 600 << 600 << 0 << 0 << 0 << 0 << 10.0 << 10.0 << QPoint(236, 236);
        QTest::newRow("page offset 0.5 mm across")
            << 600 << 600 << 0 << 0 << 5 << 0 << 10.0 << 10.0 << QPoint(248, 236);
        QTest::newRow("page offset 1.2 mm down")
            << 600 << 600 << 0 << 0 << 0 << 12 << 10.0 << 10.0 << QPoint(236, 265);
        QTest::newRow("negative page offsets")
            << 600 << 600 << 0 << 0 << -5 << -100 << 10.0 << 10.0 << QPoint(224, 0);
        QTest::newRow("printable area taken off")
            << 600 << 600 << 30 << 40 << 0 << 0 << 10.0 << 10.0 << QPoint(206, 196);
        QTest::newRow("point left of the printable area")
            << 600 << 600 << 100 << 100 << 0 << 0 << 1.0 << 1.0 << QPoint(-76, -76);
        QTest::newRow("600 x 300 dpi")
            << 600 << 300 << 0 << 0 << 0 << 0 << 25.4 << 25.4 << QPoint(600, 300);
    }
    void placePoint() {
        QFETCH(int, dpiX);
        QFETCH(int, dpiY);
        QFETCH(int, printableX);
        QFETCH(int, printableY);
        QFETCH(int, offsetX);
        QFETCH(int, offsetY);
        QFETCH(double, x);
        QFETCH(double, y);
        QFETCH(QPoint, expected);
        QCOMPARE(PlacePoint({dpiX, dpiY, printableX, printableY}, offsetX, offsetY, x, y),
                 expected);
    }

    // Barcodes: one rounding and always the vertical resolution.
    void barcodeConversion_data() {
        QTest::addColumn<double>("mm");
        QTest::addColumn<int>("dpiX");
        QTest::addColumn<int>("dpiY");
        QTest::addColumn<int>("expected");
        QTest::newRow("600 x 300 dpi uses 300") << 25.4 << 600 << 300 << 300;
        QTest::newRow("300 x 600 dpi uses 600") << 25.4 << 300 << 600 << 600;
        QTest::newRow("single rounding") << 10.054165 << 600 << 600 << 237;
        QTest::newRow("half to even") << 0.25 << 254 << 254 << 2;
        QTest::newRow("negative") << -10.0 << 600 << 600 << -236;
    }
    void barcodeConversion() {
        QFETCH(double, mm);
        QFETCH(int, dpiX);
        QFETCH(int, dpiY);
        QFETCH(int, expected);
        QCOMPARE(ConvertMmToPixelsY(mm, TDeviceMetrics{dpiX, dpiY, 17, 23}), expected);
    }

    // A module is a whole number of dots, 1 to 49: beyond that the editor and
    // the page refuse it in the same words, rather than print a 1-dot module.
    void moduleInWholeDots_data() {
        QTest::addColumn<double>("mm");
        QTest::addColumn<int>("dpi");
        QTest::addColumn<int>("dots"); // 0: refused
        QTest::newRow("4.1 mm at 300 dpi is 48 dots") << 4.1 << 300 << 48;
        QTest::newRow("4.2 mm at 300 dpi is 50 dots, too wide") << 4.2 << 300 << 0;
        QTest::newRow("0.1 mm at 203 dpi rounds up to a dot") << 0.1 << 203 << 1;
        QTest::newRow("0.05 mm at 203 dpi rounds to none") << 0.05 << 203 << 0;
    }
    void moduleInWholeDots() {
        QFETCH(double, mm);
        QFETCH(int, dpi);
        QFETCH(int, dots);
        TItemFormValues form;
        form.Type = itBarcode;
        form.Name = QStringLiteral("b");
        form.Value = QStringLiteral("123");
        form.TextWidth = form.LineHeight = 20;
        form.Module = mm;
        form.Dpi = dpi;
        const auto failure = CheckItemForm(form);
        TTextItem item;
        item.SetItemType(itBarcode);
        item.SetText(QStringLiteral("123"));
        item.SetLineHeight(10);
        item.SetBarcodeType(bcCode128B);
        item.SetBarcodeModule(mm);
        TPageRenderer renderer(TDeviceMetrics{dpi, dpi, 0, 0}, 0, 0, nullptr);
        if (dots > 0) {
            QVERIFY2(!failure, qPrintable(failure ? failure->Message : QString()));
            QCOMPARE(renderer.PrepareBarcode(item).Layout.Module, dots);
            return;
        }
        QVERIFY(failure);
        QVERIFY2(failure->Message.startsWith(QStringLiteral("条码模块 %1 mm 在 %2 dpi 下").arg(mm).arg(dpi)),
                 qPrintable(failure->Message));
        QCOMPARE(ErrorMessage<EBarcodeError>([&] { renderer.PrepareBarcode(item); }),
                 failure->Message);
    }

    // --- the real queues ------------------------------------------------------

    void printerList() {
        TPrintMgr mgr;
        const std::unique_ptr<QStringList> list = mgr.GetPrintList();
        // Tests running beside this one may add queues of their own for a while.
        const QStringList fixed = list->filter(QRegularExpression(QStringLiteral("^KOVA_PDF")));
        QCOMPARE(fixed, QStringList({kDefaultQueue, kOtherQueue}));
    }

    void defaultEntry() {
        TPrintMgr mgr;
        // The test server gives each run a cups-pdf instance of its own.
        const QString entry = mgr.GetDefaultPrint();
        QVERIFY2(QRegularExpression(QStringLiteral(
                                        "^KOVA_PDF,Generic CUPS-PDF Printer \\(w/ options\\),"
                                        "cups-pdf:/kova[A-Za-z0-9]+$"))
                     .match(entry)
                     .hasMatch(),
                 qPrintable(entry));
    }

    void selection_data() {
        QTest::addColumn<QString>("before");
        QTest::addColumn<QString>("deviceName");
        QTest::addColumn<QString>("useDefault");
        QTest::addColumn<QString>("expected");
        QTest::newRow("by name") << kDefaultQueue << kOtherQueue << "FALSE" << kOtherQueue;
        QTest::newRow("by name, flag empty") << kDefaultQueue << kOtherQueue << "" << kOtherQueue;
        QTest::newRow("default by TRUE") << kOtherQueue << kOtherQueue << "TRUE" << kDefaultQueue;
        QTest::newRow("default by true") << kOtherQueue << kOtherQueue << "true" << kDefaultQueue;
        QTest::newRow("default by True") << kOtherQueue << kOtherQueue << "True" << kDefaultQueue;
        QTest::newRow("unknown name falls back") << kOtherQueue << "No such printer"
                                                 << "FALSE" << kDefaultQueue;
        QTest::newRow("name in other case is unknown") << kOtherQueue << "kova_pdf_b"
                                                       << "FALSE" << kDefaultQueue;
        QTest::newRow("empty name keeps the selection") << kOtherQueue << ""
                                                        << "FALSE" << kOtherQueue;
        QTest::newRow("flag YES is no default")
            << kDefaultQueue << kOtherQueue << "YES" << kOtherQueue;
    }
    void selection() {
        QFETCH(QString, before);
        QFETCH(QString, deviceName);
        QFETCH(QString, useDefault);
        QFETCH(QString, expected);
        Printer().SelectPrinter(before);
        QCOMPARE(Printer().PrinterName(), before);
        TPrintMgr mgr;
        mgr.InitPrinter(1, 100, 80, 256, deviceName, useDefault, 0, 0, 0);
        QCOMPARE(Printer().PrinterName(), expected);
    }

    void deviceMode_data() {
        QTest::addColumn<double>("width");
        QTest::addColumn<double>("height");
        QTest::addColumn<int>("pratio");
        QTest::addColumn<int>("orientation");
        QTest::addColumn<int>("paperWidth");
        QTest::addColumn<int>("paperLength");
        QTest::addColumn<int>("dmOrientation");
        QTest::newRow("portrait as given") << 100.0 << 80.0 << 1 << 0 << 1000 << 800 << 1;
        QTest::newRow("landscape keeps width and length")
            << 100.0 << 80.0 << 1 << 1 << 1000 << 800 << 2;
        QTest::newRow("any non-zero orientation is landscape")
            << 100.0 << 80.0 << 1 << 7 << 1000 << 800 << 2;
        // The queue's limits, not a fixed clamp: a small label goes as it is.
        QTest::newRow("50 x 30 mm goes as it is") << 50.0 << 30.0 << 1 << 0 << 500 << 300 << 1;
        QTest::newRow("5 m long, beyond 16 bits of tenths")
            << 100.0 << 5000.0 << 1 << 0 << 1000 << 50000 << 1;
        QTest::newRow("tenths halve to even, down") << 76.25 << 80.0 << 1 << 0 << 762 << 800 << 1;
        QTest::newRow("tenths halve to even, up") << 76.75 << 80.0 << 1 << 0 << 768 << 800 << 1;
        QTest::newRow("height is PRatio pages") << 100.0 << 80.0 << 2 << 0 << 1000 << 1600 << 1;

    }
    void deviceMode() {
        QFETCH(double, width);
        QFETCH(double, height);
        QFETCH(int, pratio);
        QFETCH(int, orientation);
        QFETCH(int, paperWidth);
        QFETCH(int, paperLength);
        QFETCH(int, dmOrientation);
        TPrintMgr mgr;
        mgr.InitPrinter(pratio, width, height, 9, kOtherQueue, "FALSE", 0, 0, orientation);
        TDeviceMode mode;
        QVERIFY(Printer().GetDeviceMode(mode));
        QCOMPARE(int(mode.dmPaperWidth), paperWidth);
        QCOMPARE(int(mode.dmPaperLength), paperLength);
        QCOMPARE(int(mode.dmOrientation), dmOrientation);
        QCOMPARE(int(mode.dmPaperSize), 256);
        QCOMPARE(int(mode.dmCopies), 1);
        QCOMPARE(int(mode.dmDefaultSource), 7);
        QCOMPARE(mode.dmFields & 0xE, 0xEu);
        // ...and the printer itself now has that paper, turned as asked.
        const QPageLayout layout = Printer().Device().pageLayout();
        const QSizeF mm = layout.pageSize().size(QPageSize::Millimeter);
        QCOMPARE(qRound(mm.width() * 10), paperWidth);
        QCOMPARE(qRound(mm.height() * 10), paperLength);
        QCOMPARE(layout.orientation(),
                 dmOrientation == 2 ? QPageLayout::Landscape : QPageLayout::Portrait);
        QCOMPARE(Printer().Device().copyCount(), 1);
    }

    void fieldsOfTheBlockKept() {
        TPrintMgr mgr;
        mgr.InitPrinter(1, 100, 80, 256, kOtherQueue, "FALSE", 0, 0, 0);
        TDeviceMode mode;
        QVERIFY(Printer().GetDeviceMode(mode));
        mode.dmFields = TDeviceMode::DM_COPIES | 0x8000;
        Printer().SetDeviceMode(mode);
        mgr.SetPagerSize(256, 0, 120, 90);
        QVERIFY(Printer().GetDeviceMode(mode));
        QCOMPARE(mode.dmFields, TDeviceMode::DM_COPIES | 0x8000u | 0xEu);
    }

    void iniSettings_data() {
        QTest::addColumn<QString>("content"); // empty: no file at all
        QTest::addColumn<int>("pratio");
        QTest::addColumn<QString>("expectedPrinter");
        QTest::addColumn<int>("paperWidth");
        QTest::addColumn<int>("paperLength");
        QTest::newRow("named printer") << "[Printer]\nDeviceName=KOVA_PDF_B\nIsUseDefault="
                                          "No\nPaperSize=256\nPageWidth=120.5\nPageHeight=90\n"
                                       << 1 << kOtherQueue << 1205 << 900;
        QTest::newRow("use default in any case")
            << "[Printer]\nDeviceName=KOVA_PDF_B\nIsUseDefault=yes\nPageWidth=120\nPageHeight=90\n"
            << 1 << kDefaultQueue << 1200 << 900;
        QTest::newRow("height times PRatio")
            << "[Printer]\nDeviceName=KOVA_PDF_B\nIsUseDefault=No\nPageWidth=120\nPageHeight=90\n"
            << 3 << kOtherQueue << 1200 << 2700;
        QTest::newRow("missing sizes read as 20")
            << "[Printer]\nDeviceName=KOVA_PDF_B\nIsUseDefault=No\n"
            << 1 << kOtherQueue << 200 << 200;
        QTest::newRow("empty section uses the default printer") << "[Printer]\n"
                                                                << 1 << kDefaultQueue << 200 << 200;
        QTest::newRow("unknown printer falls back")
            << "[Printer]\nDeviceName=Nowhere\nIsUseDefault=No\nPageWidth=120\nPageHeight=90\n"
            << 1 << kDefaultQueue << 1200 << 900;
        QTest::newRow("bad width restores the defaults")
            << "[Printer]\nDeviceName=KOVA_PDF_B\nIsUseDefault=No\nPageWidth=wide\nPageHeight=90\n"
            << 1 << kDefaultQueue << 2390 << 1397;
        QTest::newRow("bad paper size restores the defaults")
            << "[Printer]\nDeviceName=KOVA_PDF_B\nIsUseDefault=No\nPaperSize=A4\nPageWidth="
               "120\nPageHeight=90\n"
            << 2 << kDefaultQueue << 2390 << 2794;
        QTest::newRow("no file") << "" << 1 << kDefaultQueue << 2390 << 1397;
    }
    void iniSettings() {
        QFETCH(QString, content);
        QFETCH(int, pratio);
        QFETCH(QString, expectedPrinter);
        QFETCH(int, paperWidth);
        QFETCH(int, paperLength);
        QTemporaryDir dir;
        const QString path = dir.filePath("printer.ini");
        if (!content.isEmpty()) {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(content.toUtf8());
        }
        Printer().SelectPrinter(expectedPrinter == kDefaultQueue ? kOtherQueue : kDefaultQueue);
        TPrintMgr mgr;
        mgr.InitPrinter(1, 100, 80, 256, "", "", 33, 44, 1);
        mgr.InitPrinter(path, pratio);
        QCOMPARE(Printer().PrinterName(), expectedPrinter);
        TDeviceMode mode;
        QVERIFY(Printer().GetDeviceMode(mode));
        QCOMPARE(int(mode.dmPaperWidth), paperWidth);
        QCOMPARE(int(mode.dmPaperLength), paperLength);
        QCOMPARE(int(mode.dmOrientation), 1);
        QCOMPARE(mgr.OffsetX(), 0);
        QCOMPARE(mgr.OffsetY(), 0);
    }

    // cups-pdf has no hardware margins and reports 300 dpi: pages are laid out
    // at those dots, not at the 1200 dpi Qt gives every CUPS queue.
    void conversionsAtTheQueue_data() {
        QTest::addColumn<double>("mm");
        QTest::addColumn<int>("expectedX");
        QTest::addColumn<int>("expectedY");
        QTest::newRow("10 mm") << 10.0 << 118 << 118;
        QTest::newRow("25.4 mm") << 25.4 << 300 << 300;
        QTest::newRow("zero") << 0.0 << 0 << 0;
        QTest::newRow("negative") << -10.0 << -118 << -118;
        QTest::newRow("0.1 mm") << 0.1 << 1 << 1;
    }
    void conversionsAtTheQueue() {
        QFETCH(double, mm);
        QFETCH(int, expectedX);
        QFETCH(int, expectedY);
        TPrintMgr mgr;
        mgr.InitPrinter(1, 100, 80, 256, kOtherQueue, "FALSE", 0, 0, 0);
        QCOMPARE(mgr.HPointsPerInch(), 300);
        QCOMPARE(mgr.VPointsPerInch(), 300);
        QCOMPARE(mgr.GetOffSetX(), 0);
        QCOMPARE(mgr.GetOffSetY(), 0);
        QCOMPARE(mgr.getDPM(), 11.0);
        QCOMPARE(GetPrinterRes(Printer(), true), 300);
        QCOMPARE(mgr.GetXmm(mm), expectedX);
        QCOMPARE(mgr.GetYmm(mm), expectedY);
        QCOMPARE(ConvertMmToPixelsY(mm), expectedY);
    }

    void placingAtTheQueue_data() {
        QTest::addColumn<int>("offsetX");
        QTest::addColumn<int>("offsetY");
        QTest::addColumn<QPoint>("expected");
        QTest::newRow("no offsets") << 0 << 0 << QPoint(118, 118);
        QTest::newRow("0.5 mm across") << 5 << 0 << QPoint(124, 118); // 10.5 mm at 300 dpi
        QTest::newRow("2 mm up") << 0 << -20 << QPoint(118, 94);      // 8 mm
    }
    void placingAtTheQueue() {
        QFETCH(int, offsetX);
        QFETCH(int, offsetY);
        QFETCH(QPoint, expected);
        TPrintMgr mgr;
        mgr.InitPrinter(1, 100, 80, 256, kDefaultQueue, "FALSE", offsetX, offsetY, 0);
        QCOMPARE(mgr.Place(10, 10), expected);
    }

    void averageCharWidth() {
        QFont font(QStringLiteral("AR PL UMing CN"));
        font.setPointSize(12);
        Printer().SetFont(font);
        TPrintMgr mgr;
        const int w12 = mgr.AvgCharWidth();
        // 12 pt is 50 dots at 300 dpi; a character is a fraction of that.
        QVERIFY2(w12 >= 10 && w12 <= 50, qPrintable(QString::number(w12)));
        font.setPointSize(24);
        Printer().SetFont(font);
        const int w24 = mgr.AvgCharWidth();
        QVERIFY2(qAbs(w24 - 2 * w12) <= 2, qPrintable(QStringLiteral("%1 %2").arg(w12).arg(w24)));
    }

    // One message per test character, its width measured in the canvas font.
    static QHash<QChar, int> PageInfoWidths(int pointSize) {
        QFont font(QStringLiteral("AR PL UMing CN"));
        font.setPointSize(pointSize);
        Printer().SetFont(font);
        QStringList messages;
        TPrintMgr().showpageinfo([&](const QString& m) { messages << m; });
        const QRegularExpression form(QStringLiteral("^length: (.) , (\\d+) pixels width$"));
        QHash<QChar, int> widths;
        for (const QString& m : messages) {
            const auto match = form.match(m);
            if (!match.hasMatch())
                qWarning() << "unexpected message" << m;
            else
                widths.insert(match.captured(1).at(0), match.captured(2).toInt());
        }
        if (widths.size() != messages.size())
            widths.clear();
        return widths;
    }
    void pageInfo() {
        const QHash<QChar, int> small = PageInfoWidths(12);
        const QHash<QChar, int> large = PageInfoWidths(24);
        QVERIFY(small.size() > 60);
        for (QChar ch : {u'A', u'z', u'0', u'9', u'.', u'%'}) {
            QVERIFY2(small.value(ch) > 0, qPrintable(QString(ch)));
            QVERIFY2(qAbs(large.value(ch) - 2 * small.value(ch)) <= 2, qPrintable(QString(ch)));
        }
    }

    void noChangesWhilePrinting() {
        TPrintMgr mgr;
        mgr.InitPrinter(1, 100, 80, 256, kOtherQueue, "FALSE", 0, 0, 0);
        const QString title = UniqueTitle();
        Printer().SetTitle(title);
        Printer().BeginDoc();
        QVERIFY(Printer().Printing());
        QCOMPARE(ErrorMessage<Exception>([] { Printer().SelectPrinter(kDefaultQueue); }),
                 QStringLiteral("Printing in progress"));
        QVERIFY_THROWS_EXCEPTION(Exception, mgr.SetPagerSize(256, 0, 150, 150));
        QCOMPARE(Printer().PrinterName(), kOtherQueue);
        Printer().Canvas().drawLine(0, 0, 100, 100);
        Printer().Abort();
        QVERIFY(!Printer().Printing());
        QVERIFY(Printer().Aborted());
        // An aborted document never reaches the queue.
        QVERIFY(!JobTitled(title));
        // The same document ended instead of aborted does reach it.
        Printer().BeginDoc();
        Printer().Canvas().drawLine(0, 0, 100, 100);
        const int job = Printer().EndDoc();
        QVERIFY(JobTitled(title));
        QVERIFY(!WaitForJobPdf(title, job).isEmpty());
        QFile::remove(JobPdf(title, job));
    }

    // Print one page through the queue and measure the PDF cups-pdf writes:
    // the paper must be width x height as given, and a landscape page is
    // drawn turned on that same paper.
    void pageReachesTheQueue_data() {
        QTest::addColumn<QString>("queue");
        QTest::addColumn<double>("width");
        QTest::addColumn<double>("height");
        QTest::addColumn<int>("orientation");
        QTest::addColumn<double>("paperWidth");
        QTest::addColumn<double>("paperHeight");
        QTest::newRow("portrait 100 x 80 on the second queue")
            << kOtherQueue << 100.0 << 80.0 << 0 << 100.0 << 80.0;
        QTest::newRow("landscape 100 x 80") << kDefaultQueue << 100.0 << 80.0 << 1 << 100.0 << 80.0;
        QTest::newRow("a 50 x 30 mm label is not made larger")
            << kDefaultQueue << 50.0 << 30.0 << 0 << 50.0 << 30.0;
        QTest::newRow("tall landscape") << kOtherQueue << 90.0 << 200.0 << 1 << 90.0 << 200.0;
    }
    void pageReachesTheQueue() {
        QFETCH(QString, queue);
        QFETCH(double, width);
        QFETCH(double, height);
        QFETCH(int, orientation);
        QFETCH(double, paperWidth);
        QFETCH(double, paperHeight);

        TPrintMgr mgr;
        mgr.InitPrinter(1, width, height, 256, queue, "FALSE", 0, 0, orientation);
        const QString title = UniqueTitle();
        Printer().SetTitle(title);
        Printer().BeginDoc();
        // A 10 x 5 mm block in the drawing area's top-left corner.
        const QPoint corner = mgr.Place(0, 0);
        Printer().Canvas().fillRect(QRect(corner, QPoint(mgr.Place(10, 5)) - QPoint(1, 1)),
                                    Qt::black);
        const int job = Printer().EndDoc();
        QVERIFY(job > 0);

        QString why;
        const QString pdf = WaitForJobPdf(title, job, &why);
        QVERIFY2(!pdf.isEmpty(), qPrintable(why));
        const QString info = Run(QStringLiteral("pdfinfo"), {pdf});
        const auto size =
            QRegularExpression(QStringLiteral("Page size:\\s+([\\d.]+) x ([\\d.]+) pts"))
                .match(info);
        QVERIFY2(size.hasMatch(), qPrintable(info));
        const auto rot = QRegularExpression(QStringLiteral("Page rot:\\s+(\\d+)")).match(info);
        const int rotation = rot.hasMatch() ? rot.captured(1).toInt() : 0;
        double w = size.captured(1).toDouble() / 72 * 25.4;
        double h = size.captured(2).toDouble() / 72 * 25.4;
        if (rotation % 180 != 0)
            std::swap(w, h);
        QVERIFY2(qAbs(w - paperWidth) < 0.6, qPrintable(info));
        QVERIFY2(qAbs(h - paperHeight) < 0.6, qPrintable(info));

        // The block: 10 x 5 mm on a portrait page, 5 x 10 mm (turned) on a landscape one.
        QTemporaryDir dir;
        QProcess::execute(QStringLiteral("pdftoppm"),
                          {QStringLiteral("-r"), QStringLiteral("50.8"), QStringLiteral("-gray"),
                           QStringLiteral("-singlefile"), pdf, dir.filePath("page")});
        QImage page(dir.filePath("page.pgm"));
        QVERIFY(!page.isNull());
        QRect ink;
        for (int y = 0; y < page.height(); ++y)
            for (int x = 0; x < page.width(); ++x)
                if (qGray(page.pixel(x, y)) < 128)
                    ink |= QRect(x, y, 1, 1);
        QVERIFY(ink.isValid());
        // 2 pixels per millimetre.
        const QSize expected = orientation ? QSize(10, 20) : QSize(20, 10);
        QVERIFY2(qAbs(ink.width() - expected.width()) <= 1 &&
                     qAbs(ink.height() - expected.height()) <= 1,
                 qPrintable(QStringLiteral("%1 x %2").arg(ink.width()).arg(ink.height())));
        // It sits in a corner of the paper.
        QVERIFY(ink.left() <= 1 || ink.right() >= page.width() - 2);
        QVERIFY(ink.top() <= 1 || ink.bottom() >= page.height() - 2);
        QFile::remove(pdf);
    }
};

QTEST_MAIN(TestPrintMgr)
#include "tst_printmgr.moc"
