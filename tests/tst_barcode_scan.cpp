// Linear barcodes as a scanner reads them: every symbology that zbarimg decodes is
// drawn at several module widths and quarter turns, and must read back exactly the
// data the standard says the symbol holds.
#include "fbarcode/Barcode.h"
#include "fbarcode/SymbolImage.h"

#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// zbarimg's reading of a picture: "TYPE:data" per symbol, "TYPE[GS1]:data" when the
// symbol starts with FNC1.
QString Scan(const QString& file) {
    QProcess zbar;
    zbar.start(QStringLiteral("zbarimg"),
               {QStringLiteral("-q"), QStringLiteral("--xml"), QStringLiteral("-Supca.enable"),
                QStringLiteral("-Supce.enable"), file});
    if (!zbar.waitForFinished(30000))
        return QStringLiteral("<zbarimg did not finish>");
    const QString xml = QString::fromUtf8(zbar.readAllStandardOutput());
    static const QRegularExpression symbol(
        QStringLiteral("<symbol type='([^']*)'([^>]*)><data><!\\[CDATA\\[(.*?)\\]\\]></data>"),
        QRegularExpression::DotMatchesEverythingOption);
    QStringList found;
    for (auto it = symbol.globalMatch(xml); it.hasNext();) {
        const auto m = it.next();
        const bool gs1 = m.captured(2).contains(QStringLiteral("modifiers='GS1'"));
        found << m.captured(1) + (gs1 ? QStringLiteral("[GS1]") : QString()) + u':' + m.captured(3);
    }
    return found.join(u'\n');
}

QString AllPairs() {
    QString s;
    for (int i = 0; i < 100; ++i)
        s += QStringLiteral("%1").arg(i, 2, 10, QLatin1Char('0'));
    return s;
}

} // namespace

class TestBarcodeScan : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void scans_data();
    void scans();
    void toolWritesScannablePng();
    void toolReportsBarcodeError();
    void toolBoundsInput_data();
    void toolBoundsInput();

private:
    QTemporaryDir FDir;
};

void TestBarcodeScan::initTestCase() {
    QVERIFY(FDir.isValid());
    QVERIFY2(!QStandardPaths::findExecutable(QStringLiteral("zbarimg")).isEmpty(),
             "zbarimg (zbar-tools) is needed");
}

void TestBarcodeScan::scans_data() {
    QTest::addColumn<int>("typ");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("checksum");
    QTest::addColumn<double>("ratio");
    QTest::addColumn<QString>("expected");
    const QString full39 = QStringLiteral("0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ-. $/+%");

    // Check digits by the GS1 rule worked by hand; 5901234123457, 96385074 and
    // 036000291452 are the standards' own examples.
    QTest::newRow("EAN-13 with check digit added")
        << int(bcCodeEAN13) << "590123412345" << true << 2.0 << "EAN-13:5901234123457";
    QTest::newRow("EAN-13 given complete")
        << int(bcCodeEAN13) << "5901234123457" << false << 2.0 << "EAN-13:5901234123457";
    QTest::newRow("EAN-13 first digit 4")
        << int(bcCodeEAN13) << "400638133393" << true << 2.0 << "EAN-13:4006381333931";
    QTest::newRow("EAN-13 first digit 7")
        << int(bcCodeEAN13) << "712345678901" << true << 2.0 << "EAN-13:7123456789015";
    QTest::newRow("EAN-13 first digit 8")
        << int(bcCodeEAN13) << "812345678901" << true << 2.0 << "EAN-13:8123456789014";
    QTest::newRow("EAN-13 first digit 9")
        << int(bcCodeEAN13) << "912345678901" << true << 2.0 << "EAN-13:9123456789013";
    // An EAN-13 number starting with 0 is a UPC-A number, and read as one.
    QTest::newRow("EAN-13 short text padded")
        << int(bcCodeEAN13) << "123456789" << true << 2.0 << "UPC-A:001234567895";
    QTest::newRow("EAN-8 with check digit added")
        << int(bcCodeEAN8) << "9638507" << true << 2.0 << "EAN-8:96385074";
    QTest::newRow("EAN-8 given complete")
        << int(bcCodeEAN8) << "96385074" << false << 2.0 << "EAN-8:96385074";
    QTest::newRow("EAN-8 1234567")
        << int(bcCodeEAN8) << "1234567" << true << 2.0 << "EAN-8:12345670";
    QTest::newRow("UPC-A eleven digits with check digit")
        << int(bcCodeUPC_A) << "03600029145" << true << 2.0 << "UPC-A:036000291452";
    QTest::newRow("UPC-A twelve digits, check digit recomputed")
        << int(bcCodeUPC_A) << "036000291450" << true << 2.0 << "UPC-A:036000291452";
    QTest::newRow("UPC-A given complete")
        << int(bcCodeUPC_A) << "036000291452" << false << 2.0 << "UPC-A:036000291452";
    // UPC-E check digits over the expanded UPC-A number: 654321 -> 06510000432 -> 7,
    // 123453 -> 01230000045 -> 1, 123454 -> 01234000005 -> 3, 123457 -> 01234500007 -> 2.
    QTest::newRow("UPC-E0 six digits")
        << int(bcCodeUPC_E0) << "654321" << false << 2.0 << "UPC-E:06543217";
    QTest::newRow("UPC-E0 six digits, check digit on")
        << int(bcCodeUPC_E0) << "654321" << true << 2.0 << "UPC-E:06543217";
    QTest::newRow("UPC-E0 wrong seventh digit replaced")
        << int(bcCodeUPC_E0) << "6543210" << true << 2.0 << "UPC-E:06543217";
    QTest::newRow("UPC-E0 eight digits")
        << int(bcCodeUPC_E0) << "06543217" << false << 2.0 << "UPC-E:06543217";
    QTest::newRow("UPC-E0 last digit 3")
        << int(bcCodeUPC_E0) << "123453" << false << 2.0 << "UPC-E:01234531";
    QTest::newRow("UPC-E0 last digit 4")
        << int(bcCodeUPC_E0) << "123454" << false << 2.0 << "UPC-E:01234543";
    QTest::newRow("UPC-E0 last digit 7")
        << int(bcCodeUPC_E0) << "123457" << false << 2.0 << "UPC-E:01234572";
    // The rest carry their text as given (interleaved 2 of 5 and set C padded to whole
    // pairs), read under zbarimg's names: GS1 for a symbol that starts with FNC1,
    // Codabar with its start and stop A and B.
    QTest::newRow("2 of 5 interleaved odd count keeps every digit")
        << int(bcCode_2_5_interleaved) << "12345" << false << 2.0 << "I2/5:012345";
    QTest::newRow("2 of 5 interleaved all digits")
        << int(bcCode_2_5_interleaved) << "1234567890" << false << 3.0 << "I2/5:1234567890";
    QTest::newRow("Code 39 whole character set")
        << int(bcCode39) << full39 << false << 2.0 << "CODE-39:" + full39;
    QTest::newRow("Code 39 ratio 3")
        << int(bcCode39) << "KOVA-39" << false << 3.0 << "CODE-39:KOVA-39";
    // C 12 + O 24 + D 13 + E 14 + 3 + 9 = 75, mod 43 = 32: W.
    QTest::newRow("Code 39 with check character")
        << int(bcCode39) << "CODE39" << true << 2.0 << "CODE-39:CODE39W";
    QTest::newRow("Code 39 skips lower case")
        << int(bcCode39) << "ab12" << false << 2.0 << "CODE-39:12";
    // zbarimg gives Code 39 without full-ASCII decoding: the pairs of the table.
    QTest::newRow("Code 39 extended")
        << int(bcCode39Extended) << "ab-c.!" << false << 2.0 << "CODE-39:+A+B/M+C/N/A";
    QTest::newRow("Code 93 whole character set")
        << int(bcCode93) << full39 << false << 2.0 << "CODE-93:" + full39;
    QTest::newRow("Code 93 extended") << int(bcCode93Extended) << "Hello, World! @#[\\]^_`{|}~"
                                      << false << 2.0 << "CODE-93:Hello, World! @#[\\]^_`{|}~";
    QTest::newRow("Code 128 A")
        << int(bcCode128A) << " !\"#$%&'()*+,-./0123456789:;<=>?@ABCDEFGHIJKLMNOPQRSTUVWXYZ[\\]^_"
        << false << 2.0
        << "CODE-128: !\"#$%&'()*+,-./"
           "0123456789:;<=>?@ABCDEFGHIJKLMNOPQRSTUVWXYZ[\\]^_";
    QTest::newRow("Code 128 B") << int(bcCode128B) << "`abcdefghijklmnopqrstuvwxyz{|}~ Hello"
                                << false << 2.0 << "CODE-128:`abcdefghijklmnopqrstuvwxyz{|}~ Hello";
    QTest::newRow("Code 128 C odd count")
        << int(bcCode128C) << "123" << false << 2.0 << "CODE-128:0123";
    QTest::newRow("Code 128 C every pair")
        << int(bcCode128C) << AllPairs() << false << 2.0 << "CODE-128:" + AllPairs();
    QTest::newRow("EAN-128 A") << int(bcCodeEAN128A) << "ABC123" << false << 2.0
                               << "CODE-128[GS1]:ABC123";
    QTest::newRow("EAN-128 B") << int(bcCodeEAN128B) << "0101234abc" << false << 2.0
                               << "CODE-128[GS1]:0101234abc";
    QTest::newRow("EAN-128 B with check digit")
        << int(bcCodeEAN128B) << "0101234" << true << 2.0 << "CODE-128[GS1]:01012347";
    QTest::newRow("EAN-128 C") << int(bcCodeEAN128C) << "0101234" << false << 2.0
                               << "CODE-128[GS1]:00101234";
    // 123456789: sum 95, check digit 5, ten digits.
    QTest::newRow("EAN-128 C with check digit")
        << int(bcCodeEAN128C) << "123456789" << true << 2.0 << "CODE-128[GS1]:1234567895";
    QTest::newRow("Codabar whole character set")
        << int(bcCodeCodabar) << "0123456789-$:/.+" << false << 2.0 << "Codabar:A0123456789-$:/.+B";
    // Code 128 and Code 93 are built from modules; the item's ratio must not
    // stretch their wide elements, or no scanner reads them. They draw alike at
    // any ratio (tst_barcode's widthClasses), so one ratio each is enough.
    QTest::newRow("Code 128 B at ratio 3")
        << int(bcCode128B) << "Hello123" << false << 3.0 << "CODE-128:Hello123";
    QTest::newRow("Code 93 at ratio 3")
        << int(bcCode93) << "HELLO" << false << 3.0 << "CODE-93:HELLO";
    QTest::newRow("EAN-128 C at ratio 3")
        << int(bcCodeEAN128C) << "123456789" << true << 3.0 << "CODE-128[GS1]:1234567895";
    QTest::newRow("Codabar ratio 3")
        << int(bcCodeCodabar) << "31117013206375" << false << 3.0 << "Codabar:A31117013206375B";
}

void TestBarcodeScan::scans() {
    QFETCH(int, typ);
    QFETCH(QString, text);
    QFETCH(bool, checksum);
    QFETCH(double, ratio);
    QFETCH(QString, expected);
    for (int modul : {2, 3, 4}) {
        for (double angle : {0.0, 90.0, 180.0, 270.0}) {
            TLinearBarcode b;
            b.setTyp(TBarcodeType(typ));
            b.setText(text);
            b.setChecksum(checksum);
            b.setRatio(ratio);
            b.setModul(modul);
            b.setHeight(40 * modul);
            b.setAngle(angle);
            const QString file = FDir.filePath(
                QStringLiteral("%1-%2-%3.png").arg(QTest::currentDataTag()).arg(modul).arg(angle));
            QVERIFY(BarcodeSymbolImage(b).save(file));
            const QString read = Scan(file);
            QVERIFY2(read == expected, qPrintable(QStringLiteral("module %1, %2 degrees: read '%3'")
                                                      .arg(modul)
                                                      .arg(angle)
                                                      .arg(read)));
        }
    }
}

void TestBarcodeScan::toolWritesScannablePng() {
    const QString out = FDir.filePath(QStringLiteral("tool.png"));
    QProcess tool;
    tool.start(QStringLiteral(KOVA_BIN_DIR "/kova-symbol"),
               {QStringLiteral("barcode"), QStringLiteral("--type"), QStringLiteral("14"),
                QStringLiteral("--text"), QStringLiteral("590123412345"),
                QStringLiteral("--checksum"), QStringLiteral("--module"), QStringLiteral("3"),
                QStringLiteral("--angle"), QStringLiteral("90"), QStringLiteral("-o"), out});
    QVERIFY2(tool.waitForFinished(30000), "kova-symbol did not run");
    QCOMPARE(tool.exitCode(), 0);
    QCOMPARE(Scan(out), QStringLiteral("EAN-13:5901234123457"));
    // At least ten modules of white all round.
    const QImage img(out);
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (x < 30 || y < 30 || x >= img.width() - 30 || y >= img.height() - 30)
                QCOMPARE(img.pixel(x, y), qRgb(255, 255, 255));
}

void TestBarcodeScan::toolReportsBarcodeError() {
    QProcess tool;
    tool.start(QStringLiteral(KOVA_BIN_DIR "/kova-symbol"),
               {QStringLiteral("barcode"), QStringLiteral("--type"), QStringLiteral("8"),
                QStringLiteral("--text"), QStringLiteral("abc"), QStringLiteral("-o"),
                FDir.filePath(QStringLiteral("never.png"))});
    QVERIFY2(tool.waitForFinished(30000), "kova-symbol did not run");
    QCOMPARE(tool.exitCode(), 1);
    QVERIFY(QString::fromUtf8(tool.readAllStandardError())
                .contains(QStringLiteral("TLinearBarcode:Code93 bad Data <abc>")));
    QVERIFY(!QFile::exists(FDir.filePath(QStringLiteral("never.png"))));
}

void TestBarcodeScan::toolBoundsInput_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("memoryLimitKb");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("said");
    QTest::addColumn<QString>("read");
    const QStringList hello{"barcode", "--type", "6", "--text", "Hello", "--module", "2"};
    // Each row once took the machine down or wrote a blank picture. The memory limit
    // keeps a failing build from eating the machine; a row with a limit of its own
    // checks that a picture that cannot be allocated is an error.
    QTest::newRow("Code 128 at ratio 1e6 is drawn at ratio 2")
        << hello + QStringList{"--ratio", "1e6"} << 2000000 << 0 << QString() << "CODE-128:Hello";
    QTest::newRow("bar height 100000 at 45 degrees")
        << hello + QStringList{"--height", "100000", "--angle", "45"} << 2000000 << 1
        << "条码高度 100000 像素超出了 0 到 65535 像素的范围" << QString();
    QTest::newRow("angle not a number") << hello + QStringList{"--angle", "nan"} << 2000000 << 1
                                        << "条码旋转角度必须是有限的数值" << QString();
    QTest::newRow("infinite angle") << hello + QStringList{"--angle", "-inf"} << 2000000 << 1
                                    << "条码旋转角度必须是有限的数值" << QString();
    QTest::newRow("module outside 1..49") << hello + QStringList{"--module", "0"} << 2000000 << 1
                                          << "kova-symbol: --module is 1..49 pixels" << QString();
    QTest::newRow("picture above the limits")
        << hello + QStringList{"--module", "49", "--height", "60000", "--angle", "45"} << 2000000
        << 1 << "过大（每边最多 100000 像素，最多 256 MB）" << QString();
    // 3300 x 12600 pixels of 4 bytes: 166 MB, more than the 300 MB address space
    // leaves after the program itself.
    QTest::newRow("picture that cannot be allocated")
        << hello + QStringList{"--module", "30", "--height", "12000"} << 300000 << 1
        << "无法为 3300 × 12600 像素的符号图像分配内存" << QString();
}

void TestBarcodeScan::toolBoundsInput() {
    QFETCH(QStringList, args);
    QFETCH(int, memoryLimitKb);
    QFETCH(int, exitCode);
    QFETCH(QString, said);
    QFETCH(QString, read);
    const QString out = FDir.filePath(QStringLiteral("bounds-%1.png").arg(QTest::currentDataTag()));
    QFile::remove(out);
    args << QStringLiteral("-o") << out;
    QProcess tool;
#if defined(__SANITIZE_ADDRESS__)
    // AddressSanitizer reserves more address space than any limit leaves.
    if (memoryLimitKb < 1000000)
        QSKIP("needs a limited address space, which AddressSanitizer cannot run in");
    tool.start(QStringLiteral(KOVA_BIN_DIR "/kova-symbol"), args);
#else
    tool.start(QStringLiteral("/bin/sh"),
               QStringList{QStringLiteral("-c"),
                           QStringLiteral("ulimit -v %1 && exec \"$0\" \"$@\"").arg(memoryLimitKb),
                           QStringLiteral(KOVA_BIN_DIR "/kova-symbol")} +
                   args);
#endif
    QVERIFY2(tool.waitForFinished(30000), "kova-symbol did not finish");
    const QString stderrText = QString::fromUtf8(tool.readAllStandardError());
    QVERIFY2(tool.exitCode() == exitCode, qPrintable(stderrText));
    if (exitCode != 0) {
        QVERIFY2(stderrText.contains(said), qPrintable(stderrText));
        QVERIFY(!QFile::exists(out));
    } else {
        QCOMPARE(Scan(out), read);
    }
}

QTEST_MAIN(TestBarcodeScan)
#include "tst_barcode_scan.moc"
