// What a label printer prints: PDFs made here go through the private server's
// ZPL label queues (CUPS's own driver and filters, Ghostscript rasterising; see
// support/Zpl.h), and the ZPL the printer would get is decoded back into dots.
#include "TestSupport.h"
#include "Zpl.h"

#include "fbarcode/Barcode.h"
#include "fbarcode/BarcodeEncoders.h"
#include "model/bom/SettingBom.h"
#include "model/manager/PrintRun.h"
#include "model/manager/Printer.h"
#include "model/manager/PrinterResolution.h"

#include <QElapsedTimer>
#include <QMap>
#include <QPainter>
#include <QPdfWriter>
#include <QTemporaryDir>
#include <QTextStream>
#include <QtTest>
#include <cups/cups.h>
#include <numeric>

namespace {

const QString kSymbolText = QStringLiteral("KOVA-42");

// A Code 128 element string (BarcodeEncoders.h): widths in modules, bars first.
QList<int> ElementModules(const QString& elements) {
    QList<int> modules;
    for (const QChar c : elements)
        modules << (c.unicode() >= u'5' ? c.unicode() - u'5' : c.unicode() - u'0') + 1;
    return modules;
}

QList<int> Code128Modules(const QString& text) {
    QString data = text;
    return ElementModules(Encode_Code128(data, {bcCode128B, false, csmNone}));
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

// Bars and spaces measured against the modules they should have: for each width in
// modules, how many dots each bar and each space of that width took, and how often.
QString WidthReport(const QList<int>& runs, const QList<int>& modules) {
    QMap<int, QMap<int, int>> bars, spaces;
    for (qsizetype i = 0; i < qMin(runs.size(), modules.size()); ++i)
        ++(i % 2 == 0 ? bars : spaces)[modules.at(i)][runs.at(i)];
    QString s;
    for (int m = 1; m <= 4; ++m) {
        const auto list = [](const QMap<int, int>& counted) {
            QStringList l;
            for (auto it = counted.begin(); it != counted.end(); ++it)
                l << QStringLiteral("%1 dots x%2").arg(it.key()).arg(it.value());
            return l.join(QStringLiteral(", "));
        };
        s += QStringLiteral("\n  %1-module bars: %2; spaces: %3")
                 .arg(m)
                 .arg(list(bars.value(m)), list(spaces.value(m)));
    }
    return s;
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

} // namespace

class TestLabelPrinter : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();

    void decodesZpl_data();
    void decodesZpl();

    void shapesLandOnTheirDots_data();
    void shapesLandOnTheirDots();
    void programsCode128OnALabel();

private:
    QString queue(int dpi) const { return (dpi == 203 ? FZpl203 : FZpl300).name(); }
    QTemporaryDir FDir;
    TestQueue FZpl203{QStringLiteral("KOVA_ZPL203"), 203, TestQueue::Label};
    TestQueue FZpl300{QStringLiteral("KOVA_ZPL300"), 300, TestQueue::Label};
};

void TestLabelPrinter::initTestCase() {
    QVERIFY(FDir.isValid());
    QVERIFY2(FZpl203.ok(), qPrintable(FZpl203.why()));
    QVERIFY2(FZpl300.ok(), qPrintable(FZpl300.why()));
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

// A page with a rectangle and a Code 128 whose modules are whole dots, drawn on
// the dot grid, comes out of the printer with every edge on the dot it was
// drawn on: the label as wide and long as the page in dots, the rectangle's box
// exact, each bar and space its modules times the module's dots.
void TestLabelPrinter::shapesLandOnTheirDots_data() {
    QTest::addColumn<int>("dpi");
    QTest::addColumn<QString>("pageSize"); // the job's PageSize
    QTest::addColumn<QSizeF>("page");      // points
    QTest::addColumn<QSize>("label");      // dots: the page's points at the dpi, rounded
    QTest::addColumn<int>("module");       // dots

    QTest::newRow("203 dpi, a custom size")
        << 203 << "Custom.170x113" << QSizeF(170, 113) << QSize(479, 319) << 2;
    QTest::newRow("300 dpi, a custom size")
        << 300 << "Custom.170x113" << QSizeF(170, 113) << QSize(708, 471) << 3;
    QTest::newRow("203 dpi, a size of the driver's list, 2 x 1.25 in")
        << 203 << "w144h90" << QSizeF(144, 90) << QSize(406, 254) << 1;
    QTest::newRow("300 dpi, the driver's widest, 8 x 2 in")
        << 300 << "Custom.576x144" << QSizeF(576, 144) << QSize(2400, 600) << 4;
}

void TestLabelPrinter::shapesLandOnTheirDots() {
    QFETCH(int, dpi);
    QFETCH(QString, pageSize);
    QFETCH(QSizeF, page);
    QFETCH(QSize, label);
    QFETCH(int, module);

    const QRect box(40, 30, 121, 47);
    const QList<int> modules = Code128Modules(kSymbolText);
    const int barsX = 60, barsTop = 110, barsHeight = 100, row = barsTop + barsHeight / 2;
    const QString pdf = FDir.filePath(QStringLiteral("shapes-%1.pdf").arg(QTest::currentDataTag()));
    {
        QPdfWriter writer(pdf);
        writer.setPageSize(QPageSize(page, QPageSize::Point, QString(), QPageSize::ExactMatch));
        writer.setPageMargins(QMarginsF());
        writer.setResolution(dpi);
        QPainter p(&writer);
        // Ghostscript darkens every dot a shape touches: edges a tenth of a dot
        // inside the grid lines darken exactly the dots between them.
        const auto fill = [&](const QRectF& r) {
            p.fillRect(r.adjusted(0.1, 0.1, -0.1, -0.1), Qt::black);
        };
        fill(box);
        int x = barsX;
        for (qsizetype i = 0; i < modules.size(); ++i) {
            if (i % 2 == 0)
                fill(QRectF(x, barsTop, modules.at(i) * module, barsHeight));
            x += modules.at(i) * module;
        }
    }

    const QByteArray name = queue(dpi).toUtf8(), file = QFile::encodeName(pdf),
                     size = pageSize.toUtf8();
    cups_option_t option{const_cast<char*>("PageSize"), const_cast<char*>(size.constData())};
    QElapsedTimer since;
    since.start();
    const int id = cupsPrintFile(name.constData(), file.constData(), "shapes", 1, &option);
    QVERIFY2(id > 0, cupsLastErrorString());
    const LabelJob job = Collect(queue(dpi), id, since);
    QVERIFY2(job.error.isEmpty(), qPrintable(job.error));
    qInfo("%s: %lld ms from the hand-over to the printer's data", QTest::currentDataTag(), job.ms);
    QCOMPARE(job.labels.size(), 1);
    const QImage& dots = job.labels.first().dots;
    QCOMPARE(dots.size(), label);
    QCOMPARE(DotBox(dots, QRect(0, 0, label.width(), barsTop - 10)), box);

    QList<int> expected;
    for (int m : modules)
        expected << m * module;
    int start = -1;
    QCOMPARE(DotRuns(dots, row, &start), expected);
    QCOMPARE(start, barsX);

    const QString png = FDir.filePath(QStringLiteral("label.png"));
    QVERIFY(dots.save(png));
    QCOMPARE(ZbarScan(png), kSymbolText);
}

// For the record rather than a verdict: the bar widths of a Code 128 item as the
// program prints it today, through a 203 dpi label queue, with a module of
// 0.25 mm (2 dots). Only the way there is checked. (The program makes a page at
// least 76 x 70 mm.)
void TestLabelPrinter::programsCode128OnALabel() {
    TestStore store;
    TProject project;
    project.SetProjectPageWidth(80);
    project.SetProjectPageHeight(70);
    TPrintItem* item = AddItem(project, itBarcode, 5, 5, 0, 12, kSymbolText);
    item->SetBarcodeType(bcCode128B);
    item->SetBarcodeModule(0.25);

    TPrintRunOptions options;
    options.Printer = queue(203);
    options.Save = false;
    QElapsedTimer since;
    since.start();
    const TPrintRunResult result = TPrintRun(project, store.settings, store.files).Run(options);
    QVERIFY2(result.Error.isEmpty() && result.JobId > 0, qPrintable(result.Error));
    const TDeviceMetrics metrics = Printer().Metrics();
    const LabelJob job = Collect(queue(203), result.JobId, since);
    QVERIFY2(job.error.isEmpty(), qPrintable(job.error));
    QCOMPARE(job.labels.size(), 1);
    const QImage& dots = job.labels.first().dots;

    const QRect ink = DotBox(dots);
    QVERIFY(!ink.isNull());
    const QList<int> runs = DotRuns(dots, ink.center().y());
    const QList<int> modules = Code128Modules(kSymbolText);
    QCOMPARE(runs.size(), modules.size());

    QTemporaryDir dir;
    dots.save(dir.filePath("label.png"));
    const TPrinterResolution queueDpi = QueueResolution(queue(203));
    QString said;
    QTextStream(&said) << "The program's Code 128 \"" << kSymbolText
                       << "\", module 0.25 mm: laid out at " << metrics.DpiX
                       << " dpi (the queue reports " << queueDpi.X << "), printed in " << job.ms
                       << " ms on a " << dots.width() << " x " << dots.height()
                       << " dot label; the bars from dot " << ink.left() << ", " << ink.width()
                       << " dots for " << std::accumulate(modules.begin(), modules.end(), 0)
                       << " modules; zbarimg reads \"" << ZbarScan(dir.filePath("label.png"))
                       << "\". Widths:" << WidthReport(runs, modules);
    qInfo().noquote() << said;
}

QTEST_MAIN(TestLabelPrinter)
#include "tst_labelprinter.moc"
