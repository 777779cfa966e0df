// What a label printer prints: the program's own print runs go through the
// private server's ZPL label queues (CUPS's own driver and filters, Ghostscript
// rasterising; see support/Zpl.h), and the ZPL the printer would get is decoded
// back into dots.
#include "TestSupport.h"
#include "Zpl.h"

#include "fbarcode/Barcode.h"
#include "model/bom/SettingBom.h"
#include "model/manager/PageRenderer.h"
#include "model/manager/PrintRun.h"

#include <QElapsedTimer>
#include <QMap>
#include <QPainter>
#include <QPdfWriter>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

namespace {

const QString kSymbolText = QStringLiteral("KOVA-42");

// A symbol's elements as the encoder gives them (BarcodeEncoders.h), run by
// run: the width class of each bar and space (for Code 128 its modules less
// one), -1 where two of one colour meet.
QList<int> ElementClasses(int type, const QString& text, bool checksum) {
    TLinearBarcode symbol;
    symbol.setTyp(TBarcodeType(type));
    symbol.setText(text);
    symbol.setChecksum(checksum);
    QList<int> classes;
    bool lastBar = false;
    for (const QChar c : symbol.MakeData()) {
        const bool bar = c.unicode() >= u'5';
        const int widthClass = bar ? c.unicode() - u'5' : c.unicode() - u'0';
        if (!classes.isEmpty() && bar == lastBar)
            classes.last() = -1;
        else
            classes << widthClass;
        lastBar = bar;
    }
    return classes;
}

struct LabelJob {
    QList<ZplLabel> labels;
    QString error;
    qint64 ms = 0; // from the hand-over until the printer's data was there
};

LabelJob Collect(const QString& queue, int id, const QElapsedTimer& since) {
    LabelJob job;
    QString why;
    const QString file = WaitForLabelJob(queue, id, &why);
    job.ms = since.elapsed();
    if (file.isEmpty())
        job.error = why;
    else
        job.labels = DecodeZplFile(file, &job.error);
    return job;
}

// A label's dots, a row a line: '#' dark, '.' light.
QStringList Picture(const QImage& dots) {
    QStringList rows;
    for (int y = 0; y < dots.height(); ++y) {
        QString row;
        for (int x = 0; x < dots.width(); ++x)
            row += Dark(dots, x, y) ? u'#' : u'.';
        rows << row;
    }
    return rows;
}

constexpr int kQR = -1; // a QR code in the symbol column

// How many dots each width class took, bars and spaces alike; "" when every
// element of a class took the same, else what differs.
QString ClassWidths(const QList<int>& runs, const QList<int>& classes, QMap<int, int>* widths) {
    if (runs.size() != classes.size())
        return QStringLiteral("%1 runs for %2 elements").arg(runs.size()).arg(classes.size());
    QString differ;
    for (qsizetype i = 0; i < runs.size(); ++i) {
        const int c = classes.at(i);
        if (c < 0)
            continue;
        if (!widths->contains(c))
            (*widths)[c] = runs.at(i);
        else if (widths->value(c) != runs.at(i))
            differ += QStringLiteral(" %1 %2 of class %3 is %4 dots, not %5;")
                          .arg(i % 2 == 0 ? "bar" : "space")
                          .arg(i)
                          .arg(c)
                          .arg(runs.at(i))
                          .arg(widths->value(c));
    }
    return differ;
}

} // namespace

class TestLabelPrinter : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();

    void decodesZpl_data();
    void decodesZpl();

    void programsPageIsTheLabel_data();
    void programsPageIsTheLabel();
    void programsSymbolsScan_data();
    void programsSymbolsScan();
    void picturesGoInAsTheLabelsDots();

private:
    QString queue(int dpi) const { return (dpi == 203 ? FZpl203 : FZpl300).name(); }
    // The project's first page through the program's own print run on the label
    // queue at `dpi`: the labels the printer is sent.
    LabelJob print(TProject& project, int dpi, TPrintRunResult* run);
    QTemporaryDir FDir;
    std::unique_ptr<TestStore> FStore;
    TestQueue FZpl203{QStringLiteral("KOVA_ZPL203"), 203, TestQueue::Label};
    TestQueue FZpl300{QStringLiteral("KOVA_ZPL300"), 300, TestQueue::Label};
};

void TestLabelPrinter::initTestCase() {
    QVERIFY(FDir.isValid());
    QVERIFY2(FZpl203.ok(), qPrintable(FZpl203.why()));
    QVERIFY2(FZpl300.ok(), qPrintable(FZpl300.why()));
    FStore = std::make_unique<TestStore>();
}

LabelJob TestLabelPrinter::print(TProject& project, int dpi, TPrintRunResult* run) {
    TPrintRunOptions options;
    options.Printer = queue(dpi);
    options.Save = false;
    QElapsedTimer since;
    since.start();
    *run = TPrintRun(project, FStore->settings, FStore->files).Run(options);
    if (!run->Error.isEmpty() || run->JobId <= 0) {
        LabelJob job;
        job.error = QStringLiteral("the run printed nothing: ") + run->Error;
        return job;
    }
    return Collect(queue(dpi), run->JobId, since);
}

// ZPL written by hand, in the forms ZPL allows for graphics, and the dots a
// printer makes of it; ZPL the decoder cannot draw whole is refused.
void TestLabelPrinter::decodesZpl_data() {
    QTest::addColumn<QByteArray>("zpl");
    QTest::addColumn<int>("labels");
    QTest::addColumn<QStringList>("first"); // the first label
    QTest::addColumn<bool>("inverted");
    QTest::addColumn<QString>("error"); // part of the reason when refused

    const QByteArray recall("^XA^FO0,0^XGR:T.GRF,1,1^FS^XZ");
    const QString dark(16, u'#');
    QTest::newRow("plain hex, two bytes a row")
        << "~DGR:T.GRF,4,2,F00F0FF0\n" + recall << 1
        << QStringList{"####........####", "....########...."} << false << "";
    QTest::newRow("repeat letters, comma, bang and colon")
        << "~DGT,8,2,\nIF0,!:" + recall << 1
        << QStringList{"############....", "................", dark, dark} << false << "";
    QTest::newRow("letters add up and run on into the next rows")
        << "~DGT,12,2,gJF" + recall << 1 << QStringList(6, dark) << false << "";
    QTest::newRow("print width, length, home, origin, copies")
        << QByteArray("~DGT,1,1,C0^XA^POI^PW12^LL3^LH2,0^FO3,1^XGT,1,1^FS^PQ2,0,0,N^XZ") << 2
        << QStringList{"............", ".....##.....", "............"} << true << "";
    QTest::newRow("magnified recall")
        << QByteArray("~DGT,1,1,80^XA^FO1,0^XGT,2,3^FS^XZ") << 1
        << QStringList(3, QStringLiteral(".##..............")) << false << "";
    QTest::newRow("a format that only deletes prints nothing")
        << QByteArray("~DGT,1,1,80^XA^IDR:T.GRF^FS^XZ") << 0 << QStringList() << false << "";
    QTest::newRow("fewer rows than said")
        << "~DGT,8,2,IF0,!" + recall << 0 << QStringList() << false << "4 rows said, 3 sent";
    QTest::newRow("cut inside a row")
        << "~DGT,4,2,F00F0F" + recall << 0 << QStringList() << false << "ends inside a row";
    QTest::newRow("text is not drawn here")
        << QByteArray("^XA^FO10,10^A0N,30,30^FDKOVA^FS^XZ") << 0 << QStringList() << false
        << "draws what is not decoded";
    QTest::newRow("recall of a graphic never sent")
        << recall << 0 << QStringList() << false << "no graphic R:T.GRF";
    QTest::newRow("format without its end")
        << QByteArray("~DGT,1,1,80^XA^FO0,0^XGT^FS") << 0 << QStringList() << false << "no ^XZ";
}

void TestLabelPrinter::decodesZpl() {
    QFETCH(QByteArray, zpl);
    QFETCH(int, labels);
    QFETCH(QStringList, first);
    QFETCH(bool, inverted);
    QFETCH(QString, error);

    QString why;
    const QList<ZplLabel> decoded = DecodeZpl(zpl, &why);
    if (!error.isEmpty()) {
        QVERIFY(decoded.isEmpty());
        QVERIFY2(why.contains(error), qPrintable(why));
        return;
    }
    QVERIFY2(why.isEmpty(), qPrintable(why));
    QCOMPARE(decoded.size(), labels);
    if (labels > 0) {
        QCOMPARE(Picture(decoded.first().dots), first);
        QCOMPARE(decoded.first().inverted, inverted);
    }
}

// A project's page printed on a label queue is a label of the page's size in
// the printer's dots (mm / 25.4 × dpi, rounded), and a QR code without quiet
// zone at (5, 5) mm, 15 mm square, darkens exactly the dots of its box: the
// page's corner is the label's. A turned page comes out turned on the same
// label; its dots along the label's length are off the grid by a fraction
// (the sheet's length in whole points is where the raster counts from), so
// there the box may be a dot larger.
void TestLabelPrinter::programsPageIsTheLabel_data() {
    QTest::addColumn<int>("dpi");
    QTest::addColumn<QSizeF>("page"); // mm, width across the feed
    QTest::addColumn<bool>("landscape");
    QTest::addColumn<QSize>("label");
    QTest::addColumn<QRect>("box"); // the QR code's dots on the label
    QTest::addColumn<int>("slack"); // dots the box may grow by at each edge

    // 5 mm: 39.96 dots at 203 dpi, 59.06 at 300; 15 mm: 119.88 and 177.17.
    QTest::newRow("203 dpi, 50 x 30 mm")
        << 203 << QSizeF(50, 30) << false << QSize(400, 240) << QRect(40, 40, 120, 120) << 0;
    QTest::newRow("300 dpi, 100 x 60 mm")
        << 300 << QSizeF(100, 60) << false << QSize(1181, 709) << QRect(59, 59, 177, 177) << 0;
    QTest::newRow("203 dpi, 2 x 1.25 in, a size of the driver's list")
        << 203 << QSizeF(50.8, 31.75) << false << QSize(406, 254) << QRect(40, 40, 120, 120) << 0;
    // Turned: the page's top along the label's left edge, its left along the
    // label's bottom edge.
    QTest::newRow("203 dpi, 50 x 30 mm turned")
        << 203 << QSizeF(50, 30) << true << QSize(400, 240) << QRect(40, 80, 120, 120) << 1;
    QTest::newRow("300 dpi, 100 x 60 mm turned")
        << 300 << QSizeF(100, 60) << true << QSize(1181, 709) << QRect(59, 473, 177, 177) << 1;
}

void TestLabelPrinter::programsPageIsTheLabel() {
    QFETCH(int, dpi);
    QFETCH(QSizeF, page);
    QFETCH(bool, landscape);
    QFETCH(QSize, label);
    QFETCH(QRect, box);
    QFETCH(int, slack);

    TProject project;
    project.SetProjectPageWidth(page.width());
    project.SetProjectPageHeight(page.height());
    project.SetProjectPaperOrientation(landscape ? 1 : 0);
    AddItem(project, itQRCode, 5, 5, 15, 15, kSymbolText)->SetQRcodeQuietZone(0);
    TPrintRunResult run;
    const LabelJob job = print(project, dpi, &run);
    QVERIFY2(job.error.isEmpty(), qPrintable(job.error));
    QCOMPARE(job.labels.size(), 1);
    const QImage& dots = job.labels.first().dots;
    QCOMPARE(dots.size(), label);
    const QRect ink = DotBox(dots);
    QVERIFY2(ink.contains(box) && box.adjusted(-slack, -slack, slack, slack).contains(ink),
             qPrintable(Describe("ink", ink, "expected", box)));
}

// What a label printer makes of the program's symbols: one label a row, each
// symbology at modules of 0.25, 0.33 and 0.5 mm (a QR code of version 1, 21
// modules, as many times the module wide) on 203 and 300 dpi printers. Every
// label scans with the data the item holds, the run's own check passes it,
// and each width class of bars and spaces takes one number of dots, the
// narrowest the module as the printer rounds it. Every module here is at least
// two dots, so every row is expected to scan. The label is 80 × 30 mm: 226.77
// points across, which a sheet in whole points would shift by a fraction of a dot.
void TestLabelPrinter::programsSymbolsScan_data() {
    QTest::addColumn<int>("dpi");
    QTest::addColumn<int>("symbol"); // barcode type, or kQR
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("checksum");
    QTest::addColumn<double>("module");  // mm
    QTest::addColumn<int>("moduleDots"); // mm / 25.4 × dpi, rounded
    QTest::addColumn<QString>("read");   // as zbarimg gives it

    struct Symbol {
        const char* name;
        int type;
        QString text;
        bool checksum;
        QString read;
    };
    // The readings are the standards' (EAN-13's check digit, Codabar's start
    // and stop characters A and B) as tst_scancheck's rows have them.
    const Symbol symbols[] = {
        {"Code 128", bcCode128B, kSymbolText, false, kSymbolText},
        {"EAN-13", bcCodeEAN13, "590123412345", true, "5901234123457"},
        {"Code 39", bcCode39, kSymbolText, false, kSymbolText},
        {"Interleaved 2 of 5", bcCode_2_5_interleaved, "12345670", false, "12345670"},
        {"Codabar", bcCodeCodabar, "123456", false, "A123456B"},
        {"QR code", kQR, kSymbolText, false, kSymbolText},
    };
    const struct {
        int dpi;
        double mm;
        int dots;
    } modules[] = {{203, 0.25, 2}, {203, 0.33, 3}, {203, 0.5, 4},
                   {300, 0.25, 3}, {300, 0.33, 4}, {300, 0.5, 6}};
    for (const auto& m : modules)
        for (const Symbol& s : symbols)
            QTest::addRow("%d dpi, %s, %.2f mm", m.dpi, s.name, m.mm)
                << m.dpi << s.type << s.text << s.checksum << m.mm << m.dots << s.read;
}

void TestLabelPrinter::programsSymbolsScan() {
    QFETCH(int, dpi);
    QFETCH(int, symbol);
    QFETCH(QString, text);
    QFETCH(bool, checksum);
    QFETCH(double, module);
    QFETCH(int, moduleDots);
    QFETCH(QString, read);

    TProject project;
    project.SetProjectPageWidth(80);
    project.SetProjectPageHeight(30);
    if (symbol == kQR) {
        const double side = 21 * module;
        AddItem(project, itQRCode, 10, 5, side, side, text)->SetQRcodeQuietZone(0);
    } else {
        TPrintItem* bar = AddItem(project, itBarcode, 10, 5, 0, 15, text);
        bar->SetBarcodeType(symbol);
        bar->SetBarcodeModule(module);
        bar->SetItemAllowNewLine(FlagText(checksum));
    }
    TPrintRunResult run;
    const LabelJob job = print(project, dpi, &run);
    QVERIFY2(job.error.isEmpty(),
             qPrintable(job.error + (run.Check ? run.Check->Text() : QString())));
    QVERIFY2(run.Check && run.Check->Passed(),
             qPrintable(run.Check ? run.Check->Text() : QStringLiteral("no check")));
    QCOMPARE(job.labels.size(), 1);
    const QImage& dots = job.labels.first().dots;
    const QString png = FDir.filePath(QStringLiteral("symbol.png"));
    QVERIFY(dots.save(png));
    QCOMPARE(ZbarScan(png), read);
    if (symbol == kQR)
        return;

    const QList<int> runs = DotRuns(dots, DotBox(dots).top() + 10);
    QMap<int, int> widths;
    const QString differ = ClassWidths(runs, ElementClasses(symbol, text, checksum), &widths);
    QVERIFY2(differ.isEmpty(), qPrintable(differ + Describe(runs)));
    QCOMPARE(widths.value(0), moduleDots);
}

QTEST_MAIN(TestLabelPrinter)
#include "tst_labelprinter.moc"

// On a printer of black dots only a picture goes into the job as those dots,
// 1 bit each: Ghostscript has no grey left to halftone on every label.
void TestLabelPrinter::picturesGoInAsTheLabelsDots() {
    const TestQueue office(QStringLiteral("KOVA_COLOUR")); // cups-pdf offers colour
    QVERIFY2(office.ok(), qPrintable(office.why()));
    QVERIFY(QueueIsMonochrome(queue(203)));
    QVERIFY(!QueueIsMonochrome(office.name()));

    TTextItem item;
    item.SetItemType(itImage);
    item.SetTextWidth(32);
    item.SetLineHeight(24);
    item.SetImageBody(QuadrantJpeg(QSize(2000, 1500)));
    TPageRenderer renderer(TDeviceMetrics{203, 203, 0, 0}, 0, 0, nullptr);
    QCOMPARE(renderer.PrepareImage(item).Image.format(), QImage::Format_RGB32);
    renderer.SetBlackDotsOnly(true);
    const QImage dots = renderer.PrepareImage(item).Image;
    QCOMPARE(dots.size(), QSize(256, 192)); // 32 x 24 mm at 203 dpi
    QCOMPARE(dots.format(), QImage::Format_Mono);
    // Dark where the picture is dark: the share of black dots is near its
    // darkness (the dither weighs the colours its own way), not its lightness.
    const QImage grey = QImage::fromData(item.ImageBody())
                            .scaled(dots.size())
                            .convertToFormat(QImage::Format_Grayscale8);
    double darkness = 0, black = 0;
    for (int y = 0; y < dots.height(); ++y)
        for (int x = 0; x < dots.width(); ++x) {
            darkness += 1 - grey.pixelColor(x, y).valueF();
            black += dots.pixelColor(x, y) == Qt::black;
        }
    const double area = dots.width() * dots.height();
    QVERIFY2(qAbs(black / area - darkness / area) < 0.15,
             qPrintable(Describe(black / area, darkness / area)));

    const QString pdf = FDir.filePath(QStringLiteral("mono.pdf"));
    {
        QPdfWriter writer(pdf);
        writer.setResolution(203);
        QPainter canvas(&writer);
        canvas.drawImage(QRect(QPoint(0, 0), dots.size()), dots);
    }
    const QStringList images = RunTool(QStringLiteral("pdfimages"), {QStringLiteral("-list"), pdf})
                                   .split(u'\n', Qt::SkipEmptyParts)
                                   .mid(2);
    QCOMPARE(images.size(), 1);
    QVERIFY2(images.at(0).simplified().contains(QStringLiteral("256 192 gray 1 1")),
             qPrintable(images.at(0)));
}
