// Pages as they come out of a real cups-pdf queue, rasterised at 300 dpi by
// pdftoppm: every kind of item where the printer's conversions put it (within
// one pixel at that resolution), and symbols that zbarimg reads back.
#include "TestSupport.h"

#include "base/Units.h"
#include "fbarcode/Barcode.h"
#include "model/bom/SettingBom.h"
#include "model/manager/FileMgrImpl.h"
#include "model/manager/PrintMgrImpl.h"
#include "model/manager/PrintRun.h"
#include "model/manager/SettingMgrImpl.h"

#include <QBuffer>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <QPrinter>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <QtTest>

namespace {

constexpr int kDpi = 300;

// 127 x 101.6 mm is 360 x 288 points: the queue's PostScript and PDF steps
// round the media to whole points, which would move the page by a fraction.
void SetPage(TProject& project) {
    project.SetProjectPageWidth(127);
    project.SetProjectPageHeight(101.6);
}

// Device pixels of the printer (relative to the printable area) to pixels of
// the page rasterised at kDpi.
QRectF ToRaster(const QRectF& device, const TDeviceMetrics& m) {
    const double sx = double(kDpi) / m.DpiX, sy = double(kDpi) / m.DpiY;
    return QRectF((device.left() + m.OffsetX) * sx, (device.top() + m.OffsetY) * sy,
                  device.width() * sx, device.height() * sy);
}

bool Near(const QRect& ink, const QRectF& expected, int tolerance = 1) {
    return qAbs(ink.left() - expected.left()) <= tolerance &&
           qAbs(ink.top() - expected.top()) <= tolerance &&
           qAbs(ink.right() + 1 - expected.right()) <= tolerance &&
           qAbs(ink.bottom() + 1 - expected.bottom()) <= tolerance;
}

} // namespace

class TestRender : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY2(queue.ok(), qPrintable(queue.why())); }
    void init();
    void cleanup();

    void itemsWhereTheConversionsPutThem_data();
    void itemsWhereTheConversionsPutThem();
    void picturesGoInOnceAtThePrintersDots_data();
    void picturesGoInOnceAtThePrintersDots();
    void letterSpacingIsExactlyTheExtra();
    void symbolsScanOnFirstAndLastPage();

private:
    // Prints the project's pages on the test queue; the PDF the queue wrote.
    QString print(TProject& project, int pages = 1);

    TestQueue queue{QStringLiteral("KOVA_RENDER")};
    std::unique_ptr<TestStore> store;
    TDeviceMetrics metrics;
};

void TestRender::init() {
    store = std::make_unique<TestStore>();
}

void TestRender::cleanup() {
    store.reset();
}

QString TestRender::print(TProject& project, int pages) {
    TPrintRunOptions options;
    options.From = 1;
    options.Count = pages;
    options.Printer = queue.name();
    options.Save = false;
    const TPrintRunResult result = TPrintRun(project, store->settings, store->files).Run(options);
    if (!result.Error.isEmpty() || result.JobId <= 0)
        return QStringLiteral("run failed: ") + result.Error;
    metrics = Printer().Metrics();
    QString why;
    const QString pdf = WaitForJobPdf(QString(), result.JobId, &why);
    return pdf.isEmpty() ? QStringLiteral("no PDF: ") + why : pdf;
}

void TestRender::itemsWhereTheConversionsPutThem_data() {
    QTest::addColumn<QString>("expect");
    QTest::addColumn<int>("type");
    QTest::addColumn<QRectF>("geometry"); // x, y, TextWidth, LineHeight
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("rotate");
    QTest::addColumn<bool>("wrap");
    QTest::addColumn<double>("margin");
    QTest::addColumn<int>("penStyle");
    QTest::addColumn<QPoint>("pageOffset"); // tenths of a millimetre

    const QString abc = QStringLiteral("汉字汉字汉字汉字汉字汉字汉字汉字");
    QTest::newRow("solid line, round ends, shifted by the page offset")
        << "line" << 2 << QRectF(10, 10, 60, 10) << "" << 0.0 << false << 0.0 << 0 << QPoint(20, 0);
    QTest::newRow("slanted line") << "line" << 2 << QRectF(15, 20, 70, 60) << "" << 0.0 << false
                                  << 0.0 << 0 << QPoint(0, 0);
    QTest::newRow("dashed line has gaps") << "dashes" << 2 << QRectF(10, 40, 90, 40) << "" << 0.0
                                          << false << 0.0 << 1 << QPoint(0, 0);
    QTest::newRow("clear pen draws nothing") << "nothing" << 2 << QRectF(10, 40, 90, 40) << ""
                                             << 0.0 << false << 0.0 << 5 << QPoint(0, 0);
    QTest::newRow("framed one-line text, box width given")
        << "outline" << 0 << QRectF(20, 15, 40, 1.2) << "框内文字" << 0.0 << false << 2.0 << 0
        << QPoint(-30, 45);
    QTest::newRow("wrapped text of three lines, line height 1.5")
        << "outline" << 0 << QRectF(20, 20, 22, 1.5) << abc.left(15) << 0.0 << true << 1.0 << 0
        << QPoint(0, 0);
    QTest::newRow("wrap narrower than X still ends, one character a line")
        << "outline" << 0 << QRectF(20, 10, 1, 1.0) << abc.left(4) << 0.0 << true << 0.5 << 0
        << QPoint(0, 0);
    QTest::newRow("text turned 90 degrees runs up from its start")
        << "rotated" << 0 << QRectF(30, 60, 0, 1.2) << "ROTATED-TEXT" << 90.0 << false << 0.0 << 5
        << QPoint(0, 0);
    QTest::newRow("picture stretched to its box with its frame")
        << "image" << 5 << QRectF(20, 20, 60, 15) << "logo" << 0.0 << false << 1.0 << 0
        << QPoint(10, 10);
    QTest::newRow("barcode ignores the page offsets")
        << "barcode" << 3 << QRectF(10, 30, 0, 15) << "KOVA-0042" << 0.0 << false << 0.0 << 5
        << QPoint(50, 50);
    QTest::newRow("QR code stretched to its rectangle")
        << "qr" << 4 << QRectF(30, 20, 30, 30) << "https://kova.example/票/0001" << 0.0 << false
        << 0.0 << 5 << QPoint(-20, 10);
}

void TestRender::itemsWhereTheConversionsPutThem() {
    QFETCH(QString, expect);
    QFETCH(int, type);
    QFETCH(QRectF, geometry);
    QFETCH(QString, text);
    QFETCH(double, rotate);
    QFETCH(bool, wrap);
    QFETCH(double, margin);
    QFETCH(int, penStyle);
    QFETCH(QPoint, pageOffset);

    TProject project;
    SetPage(project);
    project.SetProjectOffsetX(pageOffset.x());
    project.SetProjectOffsetY(pageOffset.y());
    TPrintItem* item = AddItem(project, type, geometry.x(), geometry.y(), geometry.width(),
                               geometry.height(), text);
    const int pen = 12;
    item->SetItemRotateDegree(rotate);
    item->SetItemAllowNewLine(FlagText(wrap));
    item->SetItemOutlineMargin(margin);
    item->SetItemOutlinePenWidth(pen);
    item->SetItemOutlinePenStyle(penStyle);
    item->SetQRcodeQuietZone(0);
    item->SetBarcodeType(bcCode128B);
    item->SetBarcodeModule(0.3);
    if (type == itImage) {
        TCFile file;
        file.FileName = "logo";
        file.FileType = ".jpg";
        file.SetBody(QuadrantJpeg());
        QVERIFY(store->files.SaveFile(file));
        item->SetFileId(file.Oid);
    }

    const QString pdf = print(project);
    QVERIFY2(pdf.endsWith(".pdf"), qPrintable(pdf));
    const QImage page = RasterisePdfPage(pdf, 1, kDpi);
    QVERIFY(!page.isNull());
    const QRect ink = InkBox(page);
    const QPoint p =
        PlacePoint(metrics, pageOffset.x(), pageOffset.y(), geometry.x(), geometry.y());
    const auto xmm = [&](double mm) { return MmToPixels(mm, metrics.DpiX); };
    const auto ymm = [&](double mm) { return MmToPixels(mm, metrics.DpiY); };
    const QFont font = TFont{"宋体", 12, 0, {}}.toQFont();
    const QFontMetrics fm(font, &Printer().Device());
    QRectF expected;
    if (expect == "nothing") {
        QVERIFY2(ink.isNull(), qPrintable(Describe("ink", ink)));
        return;
    }
    if (expect == "line" || expect == "dashes") {
        const QPoint q = PlacePoint(metrics, pageOffset.x(), pageOffset.y(), geometry.width(),
                                    geometry.height());
        expected = QRectF(QPointF(qMin(p.x(), q.x()) - pen / 2.0, qMin(p.y(), q.y()) - pen / 2.0),
                          QPointF(qMax(p.x(), q.x()) + pen / 2.0, qMax(p.y(), q.y()) + pen / 2.0));
    }
    if (expect == "dashes") {
        // Along the line, ink and paper alternate.
        const QRectF r = ToRaster(expected, metrics);
        const int y = int(r.center().y());
        int runs = 0;
        bool inRun = false;
        for (int x = int(r.left()); x < int(r.right()); ++x) {
            const bool dark = qGray(page.pixel(x, y)) < 128;
            runs += dark && !inRun;
            inRun = dark;
        }
        QVERIFY2(runs >= 5, qPrintable(QString::number(runs)));
    }
    if (expect == "outline") {
        // The frame: from the start point less the margins to the box width and
        // the last line's cell plus the margins, drawn with the pen centred on it.
        const int ch = fm.height();
        const int mx = xmm(margin), my = ymm(margin);
        const double step = ch * geometry.height();
        // 15 full-width characters of 12 points in 22 mm: five to a line. A box
        // narrower than "X" takes one character a line.
        const int lines = !wrap ? 1 : geometry.width() < 2 ? int(text.size()) : 3;
        const int lastY = qRound((lines - 1) * step + p.y());
        const QRect frame(QPoint(p.x() - mx, p.y() - my),
                          QPoint(p.x() + xmm(geometry.width()) + mx, lastY + ch + my));
        expected = QRectF(frame).adjusted(-pen / 2.0, -pen / 2.0, pen / 2.0, pen / 2.0);
    }
    if (expect == "rotated") {
        // Counter-clockwise about the start point: the text runs upwards from it,
        // its cell to the right of the start.
        const QRectF band = ToRaster(QRectF(p.x(), p.y() - fm.horizontalAdvance(text), fm.height(),
                                            fm.horizontalAdvance(text)),
                                     metrics);
        QVERIFY2(band.adjusted(-1, -1, 1, 1).contains(QRectF(ink)),
                 qPrintable(Describe("ink", ink, "expected", band)));
        QVERIFY2(ink.height() > 0.8 * band.height() && ink.width() < band.width() + 2,
                 qPrintable(Describe("ink", ink, "expected", band)));
        return;
    }
    if (expect == "image") {
        const QRect target(p, QSize(xmm(geometry.width()), ymm(geometry.height())));
        expected = QRectF(target).adjusted(-xmm(margin) - pen / 2.0, -ymm(margin) - pen / 2.0,
                                           xmm(margin) + pen / 2.0, ymm(margin) + pen / 2.0);
        // The picture's quadrants at the quarters of the box: aspect not kept.
        const QRectF r = ToRaster(target, metrics);
        const QImage colour = [&] {
            QTemporaryDir dir;
            QProcess::execute("pdftoppm",
                              {"-r", QString::number(kDpi), "-singlefile", pdf, dir.filePath("c")});
            return QImage(dir.filePath("c.ppm"));
        }();
        const QColor red = colour.pixelColor(r.left() + r.width() / 4, r.top() + r.height() / 4);
        const QColor blue =
            colour.pixelColor(r.left() + 3 * r.width() / 4, r.top() + 3 * r.height() / 4);
        QVERIFY2(red.red() > 180 && red.green() < 60, qPrintable(red.name()));
        QVERIFY2(blue.blue() > 180 && blue.red() < 60, qPrintable(blue.name()));
    }
    if (expect == "barcode") {
        QTemporaryDir dir;
        const QString png = dir.filePath("page.png");
        page.save(png);
        QCOMPARE(ZbarScan(png), text);
        // Left and top from the printable area's corner, without the page offsets.
        const QRectF start = ToRaster(QRectF(ConvertMmToPixelsY(geometry.x(), metrics),
                                             ConvertMmToPixelsY(geometry.y(), metrics), 0, 0),
                                      metrics);
        QVERIFY2(qAbs(ink.left() - start.left()) <= 1 && qAbs(ink.top() - start.top()) <= 1,
                 qPrintable(Describe("ink", ink, "expected", start)));
        QVERIFY2(
            qAbs(ink.height() -
                 ToRaster(QRectF(0, 0, 0, ConvertMmToPixelsY(geometry.height(), metrics)), metrics)
                     .height()) <= 1,
            qPrintable(Describe("ink", ink, "expected", start)));
        return;
    }
    if (expect == "qr") {
        QTemporaryDir dir;
        const QString png = dir.filePath("page.png");
        // A quiet zone of 0 leaves the symbol edge to edge; the scanner wants paper round it.
        page.save(png);
        QCOMPARE(ZbarScan(png), text);
        expected = QRectF(p, QSizeF(xmm(geometry.width()), ymm(geometry.height())));
    }
    const QRectF r = ToRaster(expected, metrics);
    if (wrap && geometry.width() < 2) {
        // The characters are wider than the box and are not cut to it.
        QVERIFY2(Near(ink, QRectF(r.left(), r.top(), ink.width(), r.height())),
                 qPrintable(Describe("ink", ink, "expected", r)));
        return;
    }
    QVERIFY2(Near(ink, r), qPrintable(Describe("ink", ink, "expected", r)));
}

// A picture goes into the job once for all its pages, with no more pixels each
// way than the printer's dots it covers: a printer's raster filter decodes and
// halftones it whole on every label. 32 x 24 mm at 300 dpi is 378 x 283 dots.
void TestRender::picturesGoInOnceAtThePrintersDots_data() {
    QTest::addColumn<QSize>("picture");
    QTest::addColumn<QSize>("embedded");

    QTest::newRow("larger: down to its dots") << QSize(2000, 1500) << QSize(378, 283);
    QTest::newRow("smaller: not scaled up") << QSize(160, 80) << QSize(160, 80);
    QTest::newRow("wider only: narrowed, its height kept") << QSize(2000, 60) << QSize(378, 60);
}

void TestRender::picturesGoInOnceAtThePrintersDots() {
    QFETCH(QSize, picture);
    QFETCH(QSize, embedded);

    TProject project;
    SetPage(project);
    TPrintItem* item = AddItem(project, itImage, 20, 20, 32, 24, "logo");
    TCFile file;
    file.FileName = "logo";
    file.FileType = ".jpg";
    file.SetBody(QuadrantJpeg(picture));
    QVERIFY(store->files.SaveFile(file));
    item->SetFileId(file.Oid);

    QTemporaryDir dir;
    TPrintRunOptions options;
    options.Count = 3;
    options.PdfFile = dir.filePath("job.pdf");
    options.Dpi = kDpi;
    options.Save = false;
    const TPrintRunResult result = TPrintRun(project, store->settings, store->files).Run(options);
    QVERIFY2(result.Error.isEmpty() && result.Printed == 3, qPrintable(result.Error));

    // pdfimages lists an image each time a page draws it: page num type width
    // height color comp bpc enc interp object ID ...
    const QStringList rows =
        RunTool("pdfimages", {"-list", options.PdfFile}).split('\n', Qt::SkipEmptyParts).mid(2);
    QCOMPARE(rows.size(), 3);
    QSet<QString> objects;
    for (const QString& row : rows) {
        const QStringList field = row.simplified().split(' ');
        QCOMPARE(QSize(field.value(3).toInt(), field.value(4).toInt()), embedded);
        objects << field.value(10);
    }
    QCOMPARE(objects.size(), 1);
}

// Extra spacing after every character widens a run of n characters by exactly
// (n - 1) times the extra, at the printer's resolution.
void TestRender::letterSpacingIsExactlyTheExtra() {
    TProject project;
    SetPage(project);
    AddItem(project, itText, 10, 10, 0, 1.2, "IIIIII");
    AddItem(project, itText, 10, 40, 0, 1.2, "IIIIII")->SetItemCharExtra(120);
    const QString pdf = print(project);
    QVERIFY2(pdf.endsWith(".pdf"), qPrintable(pdf));
    const QImage page = RasterisePdfPage(pdf, 1, kDpi);
    const int middle = int((MmToPixels(25, metrics.DpiY) + metrics.OffsetY) * kDpi / metrics.DpiY);
    const QRect plain = InkBox(page, 0, middle);
    const QRect spaced = InkBox(page, middle, page.height());
    QVERIFY(!plain.isNull() && !spaced.isNull());
    const double expected = 5 * 120.0 * kDpi / metrics.DpiX;
    QVERIFY2(
        qAbs(spaced.width() - plain.width() - expected) <= 1,
        qPrintable(
            QStringLiteral("%1 - %2 vs %3").arg(spaced.width()).arg(plain.width()).arg(expected)));
    QCOMPARE(spaced.left(), plain.left());
}

// Barcodes and QR codes read back with exactly the item's data on the first and
// the last page of a run, beside the page's serial number.
void TestRender::symbolsScanOnFirstAndLastPage() {
    TProject project;
    SetPage(project);
    TPrintItem* serial = AddItem(project, itSerial, 60, 5, 0, 1.2, "1001");
    serial->SetItemSerialStep(7);
    AddItem(project, itBarcode, 5, 20, 0, 12, "KV2026-12")->SetBarcodeType(bcCode128B);
    TPrintItem* ean = AddItem(project, itBarcode, 5, 45, 0, 15, "590123412345");
    ean->SetBarcodeType(bcCodeEAN13);
    ean->SetItemAllowNewLine(kTrue);
    ean->SetBarcodeModule(0.33);
    AddItem(project, itQRCode, 60, 30, 30, 30, "票号 KOVA 0001 — 二维码")->SetQRcodeQuietZone(2);
    const QString pdf = print(project, 4);
    QVERIFY2(pdf.endsWith(".pdf"), qPrintable(pdf));
    QCOMPARE(PdfPageTexts(pdf).size(), 4);
    for (int pageNo : {1, 4}) {
        QTemporaryDir dir;
        const QString png = dir.filePath("page.png");
        QVERIFY(RasterisePdfPage(pdf, pageNo, kDpi).save(png));
        QStringList read = ZbarScan(png).split('\n');
        read.sort();
        QCOMPARE(read, QStringList({"5901234123457", "KV2026-12", "票号 KOVA 0001 — 二维码"}));
        QVERIFY2(
            PdfPageTexts(pdf).at(pageNo - 1).contains(QString::number(1001 + 7 * (pageNo - 1))),
            qPrintable(PdfPageTexts(pdf).at(pageNo - 1)));
    }
}

QTEST_MAIN(TestRender)
#include "tst_render.moc"
