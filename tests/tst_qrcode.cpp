// QR codes: what each encoding option puts into the one segment, the smallest
// version at level L (capacities from the QR code standard's table), quiet zones,
// the one-pixel-per-module bitmap, and zbarimg reading back the exact bytes.
#include "TestSupport.h"

#include "fbarcode/QRCode.h"
#include "fbarcode/SymbolImage.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

Q_DECLARE_METATYPE(TQRMode)

namespace {

QString Chinese(int n) {
    const QString s = QString::fromUtf8("中文二维码打印测试");
    QString r;
    for (int i = 0; i < n; ++i)
        r += s[i % s.size()];
    return r;
}

} // namespace

class TestQRCode : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void segment_data();
    void segment();
    void smallestVersion_data();
    void smallestVersion();
    void tooLong_data();
    void tooLong();
    void quietZone_data();
    void quietZone();
    void bitmap();
    void scans_data();
    void scans();
    void toolWritesScannablePng();
    void toolRefusesOutOfRange_data();
    void toolRefusesOutOfRange();
    void pictureAboveLimits();

private:
    QTemporaryDir FDir;
};

void TestQRCode::initTestCase() {
    QVERIFY(FDir.isValid());
    QVERIFY2(!QStandardPaths::findExecutable(QStringLiteral("zbarimg")).isEmpty(),
             "zbarimg (zbar-tools) is needed");
}

void TestQRCode::segment_data() {
    QTest::addColumn<int>("encoding");
    QTest::addColumn<QString>("text");
    QTest::addColumn<TQRMode>("mode");
    QTest::addColumn<QByteArray>("data");
    const auto N = TQRMode::Numeric, A = TQRMode::Alphanumeric, B = TQRMode::Byte;
    // The standard's modes: numeric holds 0-9, alphanumeric 0-9, A-Z and nine symbols
    // (space $ % * + - . / :); bytes are Latin-1, or UTF-8 with or without the BOM EF BB BF.
    QTest::newRow("auto: digits are numeric") << 0 << "12345" << N << QByteArray("12345");
    QTest::newRow("auto: AB-12 is alphanumeric") << 0 << "AB-12" << A << QByteArray("AB-12");
    QTest::newRow("auto: lower case is bytes") << 0 << "ab" << B << QByteArray("\x61\x62");
    QTest::newRow("auto: Latin-1 letter is one byte")
        << 0 << QString::fromUtf8("é") << B << QByteArray("\xE9");
    QTest::newRow("auto: Chinese gets BOM and UTF-8")
        << 0 << QString::fromUtf8("中文") << B
        << QByteArray("\xEF\xBB\xBF\xE4\xB8\xAD\xE6\x96\x87");
    QTest::newRow("auto: empty is the BOM alone") << 0 << "" << B << QByteArray("\xEF\xBB\xBF");
    QTest::newRow("numeric keeps the digits") << 1 << "a1b2c3" << N << QByteArray("123");
    QTest::newRow("numeric of letters is empty") << 1 << "abc" << N << QByteArray();
    QTest::newRow("alphanumeric A0B keeps all") << 2 << "A0B" << A << QByteArray("A0B");
    QTest::newRow("alphanumeric a0b keeps the zero") << 2 << "a0b" << A << QByteArray("0");
    QTest::newRow("alphanumeric keeps its nine symbols")
        << 2 << " $%*+-./:?#_" << A << QByteArray(" $%*+-./:");
    QTest::newRow("Latin-1 drops characters from U+0100")
        << 3 << QString::fromUtf8("a中b") << B << QByteArray("ab");
    QTest::newRow("Latin-1 keeps é as one byte")
        << 3 << QString::fromUtf8("é") << B << QByteArray("\xE9");
    QTest::newRow("UTF-8 with BOM")
        << 4 << QString::fromUtf8("é") << B << QByteArray("\xEF\xBB\xBF\xC3\xA9");
    QTest::newRow("UTF-8 with BOM of digits is still bytes") << 4 << "12" << B
                                                             << QByteArray("\xEF\xBB\xBF"
                                                                           "12");
    QTest::newRow("UTF-8 without BOM")
        << 5 << QString::fromUtf8("é中") << B << QByteArray("\xC3\xA9\xE4\xB8\xAD");
    QTest::newRow("UTF-8 without BOM of empty is empty") << 5 << "" << B << QByteArray();
    QTest::newRow("unknown option taken as auto") << 9 << "123" << N << QByteArray("123");
}

void TestQRCode::segment() {
    QFETCH(int, encoding);
    QFETCH(QString, text);
    QFETCH(TQRMode, mode);
    QFETCH(QByteArray, data);
    const TQRSegment s = QRMakeSegment(text, encoding);
    QCOMPARE(s.Mode, mode);
    QCOMPARE(s.Data.toHex(' '), data.toHex(' '));
}

void TestQRCode::smallestVersion_data() {
    QTest::addColumn<int>("encoding");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("version");
    // Level L capacities: version 1 holds 41 digits, 25 alphanumeric characters or
    // 17 bytes; version 2 holds 77, 47 or 32; version 40 holds 7089, 4296 or 2953.
    QTest::newRow("41 digits: version 1") << 0 << QString(41, u'7') << 1;
    QTest::newRow("42 digits: version 2") << 0 << QString(42, u'7') << 2;
    QTest::newRow("77 digits: version 2") << 1 << QString(77, u'7') << 2;
    QTest::newRow("78 digits: version 3") << 1 << QString(78, u'7') << 3;
    QTest::newRow("25 alphanumeric: version 1") << 0 << QString(25, u'K') << 1;
    QTest::newRow("26 alphanumeric: version 2") << 0 << QString(26, u'K') << 2;
    QTest::newRow("47 alphanumeric: version 2") << 2 << QString(47, u'K') << 2;
    QTest::newRow("48 alphanumeric: version 3") << 2 << QString(48, u'K') << 3;
    QTest::newRow("17 bytes: version 1") << 3 << QString(17, u'k') << 1;
    QTest::newRow("18 bytes: version 2") << 3 << QString(18, u'k') << 2;
    QTest::newRow("32 bytes: version 2") << 0 << QString(32, u'k') << 2;
    QTest::newRow("33 bytes: version 3") << 0 << QString(33, u'k') << 3;
    QTest::newRow("4 Chinese characters with BOM, 15 bytes: version 1") << 0 << Chinese(4) << 1;
    QTest::newRow("5 Chinese characters with BOM, 18 bytes: version 2") << 0 << Chinese(5) << 2;
    QTest::newRow("10 Chinese characters without BOM, 30 bytes: version 2")
        << 5 << Chinese(10) << 2;
    QTest::newRow("11 Chinese characters without BOM, 33 bytes: version 3")
        << 5 << Chinese(11) << 3;
    QTest::newRow("7089 digits: version 40") << 0 << QString(7089, u'1') << 40;
    QTest::newRow("4296 alphanumeric: version 40") << 0 << QString(4296, u'Z') << 40;
    QTest::newRow("2953 bytes: version 40") << 3 << QString(2953, u'z') << 40;
    QTest::newRow("empty content: version 1") << 1 << "abc" << 1;
}

void TestQRCode::smallestVersion() {
    QFETCH(int, encoding);
    QFETCH(QString, text);
    QFETCH(int, version);
    const TQRSymbol s = QREncode(text, encoding, 0);
    // A version v symbol is 17 + 4v modules a side.
    QCOMPARE(s.Size, 17 + 4 * version);
    QCOMPARE(s.Version, version);
}

void TestQRCode::tooLong_data() {
    QTest::addColumn<int>("encoding");
    QTest::addColumn<QString>("text");
    // One past version 40's level L capacity; the BOM takes three of the bytes.
    QTest::newRow("7090 digits") << 1 << QString(7090, u'1');
    QTest::newRow("4297 alphanumeric") << 2 << QString(4297, u'Z');
    QTest::newRow("2954 bytes") << 3 << QString(2954, u'z');
    QTest::newRow("2951 bytes after the BOM") << 4 << QString(2951, u'z');
}

void TestQRCode::tooLong() {
    QFETCH(int, encoding);
    QFETCH(QString, text);
    QCOMPARE(ErrorMessage<EQRCodeError>([&] { QREncode(text, encoding, 4); }),
             QStringLiteral("二维码内容过长，超出了最大版本 (40) 的容量"));
}

void TestQRCode::quietZone_data() {
    QTest::addColumn<int>("quiet");
    QTest::addColumn<int>("used");
    // The item takes 0 to 100 modules; anything else gets the standard's 4.
    QTest::newRow("0: edge to edge") << 0 << 0;
    QTest::newRow("3") << 3 << 3;
    QTest::newRow("100 is the largest taken") << 100 << 100;
    QTest::newRow("150 leaves the default 4") << 150 << 4;
    QTest::newRow("-1 leaves the default 4") << -1 << 4;
}

void TestQRCode::quietZone() {
    QFETCH(int, quiet);
    QFETCH(int, used);
    const TQRSymbol s = QREncode(QStringLiteral("KOVA"), 0, quiet);
    QCOMPARE(s.QuietZone, used);
    QCOMPARE(s.Size, 21 + 2 * used);
    for (int r = 0; r < s.Size; ++r)
        for (int c = 0; c < s.Size; ++c)
            if (r < used || c < used || r >= s.Size - used || c >= s.Size - used)
                QVERIFY(!s.Dark(r, c));
    // Finder patterns: a dark 7 x 7 ring with a 3 x 3 centre, at three corners.
    for (auto [r0, c0] : {std::pair{used, used}, std::pair{used, s.Size - used - 7},
                          std::pair{s.Size - used - 7, used}}) {
        for (int i = 0; i < 7; ++i) {
            QVERIFY(s.Dark(r0, c0 + i));
            QVERIFY(s.Dark(r0 + 6, c0 + i));
            QVERIFY(s.Dark(r0 + i, c0));
            QVERIFY(s.Dark(r0 + i, c0 + 6));
        }
        QVERIFY(!s.Dark(r0 + 1, c0 + 1));
        QVERIFY(s.Dark(r0 + 3, c0 + 3));
    }
}

void TestQRCode::bitmap() {
    const TQRSymbol s = QREncode(QStringLiteral("HELLO KOVA"), 0, 2);
    const QImage img = QRToImage(s);
    QCOMPARE(img.size(), QSize(s.Size, s.Size));
    // Colour 0 black and 1 white keeps the picture lossless in PDF output.
    QCOMPARE(img.format(), QImage::Format_Mono);
    QCOMPARE(img.colorTable(), (QList<QRgb>{qRgb(0, 0, 0), qRgb(255, 255, 255)}));
    int dark = 0;
    for (int r = 0; r < s.Size; ++r)
        for (int c = 0; c < s.Size; ++c) {
            QCOMPARE(img.pixelIndex(c, r), s.Dark(r, c) ? 0 : 1);
            dark += s.Dark(r, c);
        }
    QVERIFY(dark > 0);
    QCOMPARE(img.pixel(0, 0), qRgb(255, 255, 255));
    QCOMPARE(img.pixel(2, 2), qRgb(0, 0, 0));
}

void TestQRCode::scans_data() {
    QTest::addColumn<int>("encoding");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("quiet");
    QTest::addColumn<QByteArray>("bytes");
    // As zbarimg -Sbinary reads them: the segment's bytes (segment above), exactly.
    QTest::newRow("auto numeric") << 0 << "12345" << 4 << QByteArray("12345");
    QTest::newRow("auto alphanumeric") << 0 << "AB-12" << 4 << QByteArray("AB-12");
    QTest::newRow("auto Latin-1 bytes")
        << 0 << QString::fromUtf8("abé") << 3 << QByteArray("ab\xE9");
    QTest::newRow("auto Chinese with BOM") << 0 << QString::fromUtf8("中文") << 0
                                           << QByteArray("\xEF\xBB\xBF\xE4\xB8\xAD\xE6\x96\x87");
    QTest::newRow("auto empty is the BOM") << 0 << "" << 4 << QByteArray("\xEF\xBB\xBF");
    QTest::newRow("numeric drops letters") << 1 << "No. 0042" << 4 << QByteArray("0042");
    QTest::newRow("numeric of letters holds nothing") << 1 << "abc" << 4 << QByteArray();
    QTest::newRow("alphanumeric drops lower case")
        << 2 << "a0b $%*+-./:" << 150 << QByteArray("0 $%*+-./:");
    QTest::newRow("Latin-1 drops Chinese")
        << 3 << QString::fromUtf8("a中b") << 4 << QByteArray("ab");
    QTest::newRow("UTF-8 with BOM")
        << 4 << QString::fromUtf8("标签 No.1") << 4
        << QByteArray("\xEF\xBB\xBF") + QString::fromUtf8("标签 No.1").toUtf8();
    QTest::newRow("UTF-8 without BOM")
        << 5 << QString::fromUtf8("标签 No.1") << 4 << QString::fromUtf8("标签 No.1").toUtf8();
    QTest::newRow("long Chinese text, version above 10")
        << 5 << Chinese(300) << 4 << Chinese(300).toUtf8();
}

void TestQRCode::scans() {
    QFETCH(int, encoding);
    QFETCH(QString, text);
    QFETCH(int, quiet);
    QFETCH(QByteArray, bytes);
    const QString file = FDir.filePath(QStringLiteral("%1.png").arg(QTest::currentDataTag()));
    QVERIFY(QRSymbolImage(QREncode(text, encoding, quiet), 3).save(file));
    QProcess zbar;
    zbar.start(QStringLiteral("zbarimg"),
               {QStringLiteral("-q"), QStringLiteral("--raw"), QStringLiteral("-Sbinary"), file});
    QVERIFY(zbar.waitForFinished(30000));
    QCOMPARE(zbar.exitCode(), 0); // a symbol was found, even an empty one
    QByteArray read = zbar.readAllStandardOutput();
    if (read.endsWith('\n'))
        read.chop(1);
    QCOMPARE(read.toHex(' '), bytes.toHex(' '));
}

void TestQRCode::toolWritesScannablePng() {
    const QString out = FDir.filePath(QStringLiteral("tool.png"));
    QProcess tool;
    tool.start(QStringLiteral(KOVA_BIN_DIR "/kova-symbol"),
               {QStringLiteral("qr"), QStringLiteral("--text"), QString::fromUtf8("标签"),
                QStringLiteral("--encoding"), QStringLiteral("5"), QStringLiteral("--quiet-zone"),
                QStringLiteral("0"), QStringLiteral("--scale"), QStringLiteral("5"),
                QStringLiteral("-o"), out});
    QVERIFY2(tool.waitForFinished(30000), "kova-symbol did not run");
    QCOMPARE(tool.exitCode(), 0);
    const QImage img(out);
    // Version 1 (21 modules) with ten modules of margin, five pixels a module.
    QCOMPARE(img.size(), QSize((21 + 20) * 5, (21 + 20) * 5));
    QProcess zbar;
    zbar.start(QStringLiteral("zbarimg"),
               {QStringLiteral("-q"), QStringLiteral("--raw"), QStringLiteral("-Sbinary"), out});
    QVERIFY(zbar.waitForFinished(30000));
    QCOMPARE(zbar.readAllStandardOutput().trimmed(), QString::fromUtf8("标签").toUtf8());

    QProcess tooLong;
    tooLong.start(QStringLiteral(KOVA_BIN_DIR "/kova-symbol"),
                  {QStringLiteral("qr"), QStringLiteral("--text"), QString(7090, u'1'),
                   QStringLiteral("-o"), FDir.filePath(QStringLiteral("never.png"))});
    QVERIFY(tooLong.waitForFinished(30000));
    QCOMPARE(tooLong.exitCode(), 1);
    QVERIFY(QString::fromUtf8(tooLong.readAllStandardError())
                .contains(QStringLiteral("二维码内容过长，超出了最大版本 (40) 的容量")));
}

void TestQRCode::toolRefusesOutOfRange_data() {
    QTest::addColumn<QString>("option");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("message");
    const QString scale = QStringLiteral("kova-symbol: --scale is 1..100 pixels");
    // 65536 once overflowed the picture size and looped for ever.
    QTest::newRow("65536 pixels a module") << "--scale"
                                           << "65536" << scale;
    QTest::newRow("101 pixels a module") << "--scale"
                                         << "101" << scale;
    QTest::newRow("zero") << "--scale"
                          << "0" << scale;
    // Both were once replaced silently by automatic and by 4 modules.
    QTest::newRow("encoding 6") << "--encoding"
                                << "6"
                                << "kova-symbol: --encoding is 0..5";
    QTest::newRow("encoding -1") << "--encoding"
                                 << "-1"
                                 << "kova-symbol: --encoding is 0..5";
    QTest::newRow("quiet zone 100000") << "--quiet-zone"
                                       << "100000"
                                       << "kova-symbol: --quiet-zone is 0..100 modules";
    QTest::newRow("quiet zone -1") << "--quiet-zone"
                                   << "-1"
                                   << "kova-symbol: --quiet-zone is 0..100 modules";
}

void TestQRCode::toolRefusesOutOfRange() {
    QFETCH(QString, option);
    QFETCH(QString, value);
    QFETCH(QString, message);
    const QString out = FDir.filePath(QStringLiteral("range.png"));
    QProcess tool;
    tool.start(QStringLiteral(KOVA_BIN_DIR "/kova-symbol"),
               {QStringLiteral("qr"), QStringLiteral("--text"), QStringLiteral("KOVA"), option,
                value, QStringLiteral("-o"), out});
    QVERIFY2(tool.waitForFinished(30000), "kova-symbol did not finish");
    QCOMPARE(tool.exitCode(), 1);
    const QString said = QString::fromUtf8(tool.readAllStandardError());
    QVERIFY2(said.contains(message), qPrintable(said));
    QVERIFY(!QFile::exists(out));
}

void TestQRCode::pictureAboveLimits() {
    // Version 40 (177 modules) with a margin of 10 at 600 pixels a module is
    // 118 200 pixels a side.
    const TQRSymbol s = QREncode(QString(2953, u'z'), 3, 0);
    QCOMPARE(s.Version, 40);
    QCOMPARE(ErrorMessage<EQRCodeError>([&] { QRSymbolImage(s, 600); }),
             QStringLiteral("符号图像 118200 × 118200 像素过大（每边最多 100000 "
                            "像素，最多 256 MB）"));
}

QTEST_MAIN(TestQRCode)
#include "tst_qrcode.moc"
