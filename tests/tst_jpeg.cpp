// Decoding stored pictures: good files decode, anything else is refused with a reason.
#include "TestSupport.h"

#include "model/Jpeg.h"

#include <QBuffer>
#include <QFile>
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

// Finds the frame header (SOF0, or SOF2 of a progressive file) and writes new
// dimensions into it.
QByteArray withDimensions(QByteArray jpeg, quint16 w, quint16 h, char sofMarker = '\xC0') {
    const int sof = jpeg.indexOf(QByteArray("\xFF", 1) + sofMarker);
    jpeg[sof + 5] = char(h >> 8);
    jpeg[sof + 6] = char(h & 0xFF);
    jpeg[sof + 7] = char(w >> 8);
    jpeg[sof + 8] = char(w & 0xFF);
    return jpeg;
}

// A valid progressive greyscale picture of 8 x 8 grey pixels in as many scans as
// the format allows for the first `bands` AC coefficients: the DC and every band
// each in a first scan and a refinement (cjpeg writes at most 100 scans). Every
// coefficient is zero, so each scan's data is one code: '0' padded with ones.
QByteArray progressiveInScans(int bands) {
    QByteArray jpeg("\xFF\xD8", 2);
    jpeg += QByteArray("\xFF\xDB\x00\x43\x00", 5) + QByteArray(64, '\x01');
    jpeg += QByteArray("\xFF\xC2\x00\x0B\x08\x00\x08\x00\x08\x01\x01\x11\x00", 13);
    // DC table 0 and AC table 0, each one code of length 1 for symbol 0.
    const QByteArray table = QByteArray("\x01", 1) + QByteArray(15, '\0') + QByteArray(1, '\0');
    jpeg += QByteArray("\xFF\xC4\x00\x26\x00", 5) + table + QByteArray(1, '\x10') + table;
    auto scan = [&jpeg](int ss, int se, int ah, int al) {
        jpeg += QByteArray("\xFF\xDA\x00\x08\x01\x01\x00", 7);
        jpeg += char(ss);
        jpeg += char(se);
        jpeg += char(ah << 4 | al);
        jpeg += '\x7F';
    };
    for (int k = 0; k <= bands; ++k) {
        scan(k, k, 0, 1);
        scan(k, k, 1, 0);
    }
    return jpeg + QByteArray("\xFF\xD9", 2);
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
    QTest::newRow("huge dimensions")
        << withDimensions(good, 60000, 60000) << "JPEG picture too large: 60000 x 60000 pixels";
    QTest::newRow("progressive picture beyond libjpeg's working memory")
        << withDimensions(encodeWithCjpeg(sample(64, 40), {"-progressive", "-sample", "1x1"}), 8000,
                          6000, '\xC2')
        << "JPEG picture too large: 8000 x 6000 pixels";
    QTest::newRow("more scans than encoders write")
        << progressiveInScans(63) << "Not a valid JPEG picture: more than 100 scans";
    // Found by fuzzing: a frame of 432 x 63490 CMYK pixels and no data, which
    // used to be decoded row by row from nothing.
    QTest::newRow("27 megapixels without data")
        << QByteArray::fromBase64(
               "/9ju/9sAQwAIBgYHBgUJCP8ZBQgHBwcJCf318+sNDCAiLCMcHPM2KSwwMf/Y/"
               "9spAAEAAAAF9eEADRgyIRxh"
               "MjIyMjwuMzQAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA"
               "A"
               "AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA"
               "A"
               "AAAAAAAAAAAAAAAAADL/wAAUCPgCAbAEQxEATREAWREASxEA/9oADgRDAE0AWQBLAA==")
        << "JPEG picture damaged or incomplete";
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
    const QString message = ErrorMessage<EJpegError>([&] { DecodeJpeg(data); });
    QVERIFY2(message.startsWith(reason), qPrintable(message));
}

QTEST_GUILESS_MAIN(TestJpeg)
#include "tst_jpeg.moc"
