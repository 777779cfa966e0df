// The preview: the page's frame and every item's text recorded in printer
// pixels, and the window that shows it; and the wrapping rule texts are broken by.
#include "TestSupport.h"

#include "model/Font.h"
#include "model/manager/PageRenderer.h"
#include "model/manager/PrintMgrImpl.h"
#include "view/Preview.h"

#include <QFontMetrics>
#include <QPaintEngine>
#include <QPicture>
#include <QPrinter>
#include <QtTest>

namespace {

// Plays a picture back and keeps what was drawn: polylines and text runs.
class RecordingEngine : public QPaintEngine {
public:
    struct Text {
        QPointF baseline;
        QString text;
        QFont font;
    };
    QList<QPolygonF> lines;
    QList<Text> texts;

    RecordingEngine() : QPaintEngine(AllFeatures) {}
    bool begin(QPaintDevice*) override { return true; }
    bool end() override { return true; }
    void updateState(const QPaintEngineState&) override {}
    void drawPixmap(const QRectF&, const QPixmap&, const QRectF&) override {}
    void drawPolygon(const QPointF* points, int count, PolygonDrawMode) override {
        lines << QPolygonF(QList<QPointF>(points, points + count));
    }
    void drawTextItem(const QPointF& p, const QTextItem& item) override {
        texts << Text{p, item.text(), item.font()};
    }
    Type type() const override { return User; }
};

class RecordingDevice : public QPaintDevice {
public:
    RecordingEngine engine;
    QPaintEngine* paintEngine() const override { return const_cast<RecordingEngine*>(&engine); }

protected:
    int metric(PaintDeviceMetric m) const override {
        switch (m) {
        case PdmWidth:
        case PdmHeight:
            return 100000;
        case PdmDpiX:
        case PdmDpiY:
        case PdmPhysicalDpiX:
        case PdmPhysicalDpiY:
            return 72;
        case PdmDepth:
            return 32;
        case PdmDevicePixelRatio:
            return 1;
        case PdmDevicePixelRatioScaled:
            return int(QPaintDevice::devicePixelRatioFScale());
        default:
            return 1;
        }
    }
};

std::unique_ptr<TCPrint> Page(double w, double h, double x, double y, int points,
                              const QString& text) {
    auto page = std::make_unique<TCPrint>();
    page->SetPageWidth(w);
    page->SetPageHeight(h);
    auto item = std::make_unique<TTextItem>();
    item->Setx(x);
    item->Sety(y);
    item->SetText(text);
    item->SetFont(std::make_unique<TFont>(TFont{QStringLiteral("宋体"), points, clBlack, {}}));
    auto line = std::make_unique<TLineOfText>();
    line->Add(item.release());
    page->AddLine(std::move(line));
    return page;
}

} // namespace

class TestPreview : public QObject {
    Q_OBJECT

private slots:
    // The program's own font set-up: "宋体" is a face with the CJK glyphs, so the
    // text is measured and drawn in one face, not in a fallback the machine has.
    void initTestCase() { InstallFontSubstitutions(); }
    void sketchInPrinterPixels_data();
    void sketchInPrinterPixels();
    void windowFillsItsImage();
    void wrapping_data();
    void wrapping();
};

void TestPreview::sketchInPrinterPixels_data() {
    QTest::addColumn<int>("dpi");
    QTest::addColumn<int>("offsetY");      // printable area, device pixels
    QTest::addColumn<QPoint>("pageShift"); // tenths of a millimetre
    QTest::addColumn<int>("points");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QPoint>("frameCorner");
    QTest::addColumn<QPoint>("textAt");

    QTest::newRow("100 x 50 mm at 600 dpi: 23 pixels a millimetre")
        << 600 << 50 << QPoint(0, 0) << 12 << "页1" << QPoint(2300, 1150) << QPoint(230, 180);
    QTest::newRow("1200 dpi: 47 pixels a millimetre, same 48-pixel characters")
        << 1200 << 0 << QPoint(0, 0) << 12 << "页1" << QPoint(4700, 2350) << QPoint(470, 470);
    QTest::newRow("page shift added before truncating")
        << 600 << 0 << QPoint(15, -5) << 9 << "X" << QPoint(2300, 1150) << QPoint(264, 218);
    QTest::newRow("a picture item shows its file name")
        << 600 << 0 << QPoint(0, 0) << 12 << "logo" << QPoint(2300, 1150) << QPoint(230, 230);
}

void TestPreview::sketchInPrinterPixels() {
    QFETCH(int, dpi);
    QFETCH(int, offsetY);
    QFETCH(QPoint, pageShift);
    QFETCH(int, points);
    QFETCH(QString, text);
    QFETCH(QPoint, frameCorner);
    QFETCH(QPoint, textAt);
    const auto page = Page(100, 50, 10, 10, points, text);
    QPicture picture;
    ReportPage(*page, picture, TDeviceMetrics{dpi, dpi, 0, offsetY}, pageShift.x(), pageShift.y());
    RecordingDevice device;
    QPainter player(&device);
    picture.play(&player);
    player.end();

    QCOMPARE(device.engine.lines.size(), 1);
    QCOMPARE(device.engine.lines[0],
             QPolygonF({QPointF(0, 0), QPointF(frameCorner.x(), 0), QPointF(frameCorner),
                        QPointF(0, frameCorner.y()), QPointF(0, 0)}));
    // One run of text (a mixed-script text may come as several runs).
    QVERIFY(!device.engine.texts.isEmpty());
    QString shown;
    for (const auto& run : device.engine.texts)
        shown += run.text;
    QCOMPARE(shown, text);
    const auto& drawn = device.engine.texts[0];
    // Characters are 4 x the size in points tall, whatever the resolution.
    QCOMPARE(drawn.font.pixelSize(), 4 * points);
    // The text's cell has its top-left corner at the item's point.
    const qreal top = drawn.baseline.y() - QFontMetricsF(drawn.font).ascent();
    QCOMPARE(drawn.baseline.x(), qreal(textAt.x()));
    QVERIFY2(qAbs(top - textAt.y()) <= 1, qPrintable(QString::number(top)));
}

void TestPreview::windowFillsItsImage() {
    const auto page = Page(100, 50, 10, 10, 12, "预览");
    TPreviewFrm preview;
    QCOMPARE(preview.windowTitle(), QString("PreviewFrm"));
    QCOMPARE(preview.size(), QSize(1027, 711));
    preview.Setdata(page.get());
    const QImage bitmap = preview.img1->bitmap().toImage();
    QCOMPARE(bitmap.size(), preview.img1->size());
    // The frame's top edge runs along the bitmap's top, scaled down but visible.
    int marked = 0;
    for (int x = 0; x < bitmap.width() / 4; ++x)
        for (int y = 0; y < 3; ++y)
            marked += qGray(bitmap.pixel(x, y)) < 250;
    QVERIFY2(marked > bitmap.width() / 8, qPrintable(QString::number(marked)));
}

// Each line grows until wider than the limit, taking the character that makes
// it so; at least one character a line; a surrogate pair never split.
void TestPreview::wrapping_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("limit");
    QTest::addColumn<int>("extra");
    QTest::addColumn<QStringList>("lines");
    // Every character 9 wide (a pair counts as one character).
    QTest::newRow("three of 9 in a limit of 11: two, then one")
        << "abc" << 11.0 << 0 << QStringList{"ab", "c"};
    QTest::newRow("one character") << "a" << 11.0 << 0 << QStringList{"a"};
    QTest::newRow("empty text draws nothing") << "" << 11.0 << 0 << QStringList{};
    QTest::newRow("limit below zero: one character a line")
        << "abcd" << -5.0 << 0 << QStringList{"a", "b", "c", "d"};
    QTest::newRow("extra spacing counts in the width")
        << "abcdef" << 20.0 << 3 << QStringList{"ab", "cd", "ef"};
    QTest::newRow("emoji stays whole")
        << QString::fromUtf8("a😀b😀") << 11.0 << 0
        << QStringList{QString::fromUtf8("a😀"), QString::fromUtf8("b😀")};
    QTest::newRow("rare CJK character stays whole at a negative limit")
        << QString::fromUtf8("𠀀𠀁") << -1.0 << 0
        << QStringList{QString::fromUtf8("𠀀"), QString::fromUtf8("𠀁")};
}

void TestPreview::wrapping() {
    QFETCH(QString, text);
    QFETCH(double, limit);
    QFETCH(int, extra);
    QFETCH(QStringList, lines);
    const auto got = WrapText(text, limit, extra, [](const QString&) { return 9.0; });
    QCOMPARE(QStringList(got.begin(), got.end()), lines);
}

QTEST_MAIN(TestPreview)
#include "tst_preview.moc"
