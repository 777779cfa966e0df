// Decoding stored pictures: good files decode, anything else is refused with a reason.
#include "model/Jpeg.h"

#include <QBuffer>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

namespace {

// A JPEG written by cjpeg (libjpeg-turbo's own encoder), not by us.
QByteArray encodeWithCjpeg(const QImage& image, const QStringList& extra = {}) {
    QTemporaryDir dir;
    const QString ppm = dir.filePath("in.ppm");
    image.save(ppm, image.isGrayscale() ? "PGM" : "PPM");
    QProcess cjpeg;
    cjpeg.start("cjpeg", QStringList(extra) << ppm);
    cjpeg.waitForFinished();
    return cjpeg.readAllStandardOutput();
}

QImage sample(int w, int h) {
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    p.fillRect(0, 0, w / 2, h / 2, QColor(200, 0, 0));
    p.fillRect(w / 2, h / 2, w - w / 2, h - h / 2, QColor(0, 0, 200));
    return image;
}

// Finds the SOF0 marker and writes new dimensions into it.
QByteArray withDimensions(QByteArray jpeg, quint16 w, quint16 h) {
    const int sof = jpeg.indexOf(QByteArray("\xFF\xC0", 2));
    jpeg[sof + 5] = char(h >> 8);
    jpeg[sof + 6] = char(h & 0xFF);
    jpeg[sof + 7] = char(w >> 8);
    jpeg[sof + 8] = char(w & 0xFF);
    return jpeg;
}

} // namespace

class TestJpeg : public QObject {
    Q_OBJECT

private slots:
    void decodes_data();
    void decodes();
    void refuses_data();
    void refuses();
};

void TestJpeg::decodes_data() {
    QTest::addColumn<QByteArray>("jpeg");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<bool>("gray");
    if (QStandardPaths::findExecutable("cjpeg").isEmpty())
        QSKIP("cjpeg (libjpeg-turbo-progs) is not installed");
    QTest::newRow("colour baseline") << encodeWithCjpeg(sample(64, 40)) << QSize(64, 40) << false;
    QTest::newRow("progressive") << encodeWithCjpeg(sample(33, 17), {"-progressive"})
                                 << QSize(33, 17) << false;
    QTest::newRow("greyscale") << encodeWithCjpeg(sample(20, 30), {"-grayscale"}) << QSize(20, 30)
                               << true;
}

void TestJpeg::decodes() {
    QFETCH(QByteArray, jpeg);
    QFETCH(QSize, size);
    QFETCH(bool, gray);
    QCOMPARE(JpegSize(jpeg), size);
    const QImage image = DecodeJpeg(jpeg);
    QCOMPARE(image.size(), size);
    const QColor topLeft = image.pixelColor(2, 2);
    const QColor bottomRight = image.pixelColor(size.width() - 2, size.height() - 2);
    if (gray) {
        QVERIFY(qAbs(topLeft.red() - topLeft.blue()) < 4);
        QVERIFY(topLeft.red() < 120);
    } else {
        QVERIFY2(topLeft.red() > 150 && topLeft.blue() < 60, qPrintable(topLeft.name()));
        QVERIFY2(bottomRight.blue() > 150 && bottomRight.red() < 60,
                 qPrintable(bottomRight.name()));
    }
}

void TestJpeg::refuses_data() {
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QString>("reason");
    if (QStandardPaths::findExecutable("cjpeg").isEmpty())
        QSKIP("cjpeg (libjpeg-turbo-progs) is not installed");
    const QByteArray good = encodeWithCjpeg(sample(200, 120));
    QTest::newRow("empty") << QByteArray() << "Not a valid JPEG picture: no data";
    QTest::newRow("random bytes") << QByteArray("\x12\x34 not a picture at all", 24)
                                  << "Not a valid JPEG picture: Not a JPEG file";
    QTest::newRow("truncated after the header")
        << good.left(good.size() / 2) << "JPEG picture damaged or incomplete";
    QTest::newRow("header only") << good.left(good.indexOf(QByteArray("\xFF\xDA", 2)))
                                 << "Not a valid JPEG picture";
    QTest::newRow("huge dimensions") << withDimensions(good, 60000, 60000)
                                     << "JPEG picture too large: 60000 x 60000 pixels";
    QTest::newRow("PNG") << [] {
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        sample(8, 8).save(&buffer, "PNG");
        return png;
    }() << "Not a valid JPEG picture";
}

void TestJpeg::refuses() {
    QFETCH(QByteArray, data);
    QFETCH(QString, reason);
    try {
        DecodeJpeg(data);
        QFAIL("decoded");
    } catch (const EJpegError& e) {
        QVERIFY2(e.Message().startsWith(reason), qPrintable(e.Message()));
    }
}

QTEST_GUILESS_MAIN(TestJpeg)
#include "tst_jpeg.moc"
