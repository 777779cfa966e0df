// The linear barcode component: properties, check digits, element strings worked out
// by hand from the symbologies' tables, error messages and how the bars land on a
// canvas. Scanner readings are in tst_barcode_scan.cpp.
#include "TestSupport.h"

#include "fbarcode/Barcode.h"
#include "fbarcode/BarcodeEncoders.h"
#include "fbarcode/bcchksum.h"

#include <QImage>
#include <QPainter>
#include <QtTest>

#include <functional>
#include <map>

namespace {

struct TInk {
    int Left = -1, Top = -1, Right = -1, Bottom = -1; // inclusive; -1 when nothing is dark
    bool Empty() const { return Right < 0; }
};

bool IsDark(QRgb c) {
    return qGray(c) < 128;
}

TInk Ink(const QImage& img, QRect area = QRect()) {
    if (area.isNull())
        area = img.rect();
    TInk ink;
    ink.Left = ink.Top = INT_MAX;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (IsDark(img.pixel(x, y))) {
                ink.Left = std::min(ink.Left, x);
                ink.Right = std::max(ink.Right, x);
                ink.Top = std::min(ink.Top, y);
                ink.Bottom = std::max(ink.Bottom, y);
            }
    if (ink.Right < 0)
        ink = TInk();
    return ink;
}

QImage Blank(int w, int h) {
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(Qt::white);
    return img;
}

QImage Draw(TLinearBarcode& b, int w, int h) {
    QImage img = Blank(w, h);
    QPainter p(&img);
    b.DrawBarcode(p);
    return img;
}

// Run lengths of one image row from x, as dark/light alternating widths.
QList<int> Runs(const QImage& img, int y, int x, int count) {
    QList<int> runs;
    bool dark = IsDark(img.pixel(x, y));
    int n = 0;
    for (; x < img.width() && runs.size() < count; ++x) {
        if (IsDark(img.pixel(x, y)) == dark) {
            ++n;
        } else {
            runs.append(n);
            dark = !dark;
            n = 1;
        }
    }
    return runs;
}

// The tables of one symbol a row: its type, text and check digit switch, then
// what is expected of it.
void AddSymbolColumns(const char* expected) {
    QTest::addColumn<int>("typ");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("checksum");
    QTest::addColumn<QString>(expected);
}

// The symbol of the current row.
void SetSymbolOfRow(TLinearBarcode& b) {
    QFETCH(int, typ);
    QFETCH(QString, text);
    QFETCH(bool, checksum);
    b.setTyp(TBarcodeType(typ));
    b.setText(text);
    b.setChecksum(checksum);
}

} // namespace

class TestBarcode : public QObject {
    Q_OBJECT

private slots:
    void defaults();
    void modulSetter_data();
    void modulSetter();
    void notification_data();
    void notification();
    void assignCopiesWithoutNotification();
    void assignRefusesOtherObjects();
    void widthClasses_data();
    void widthClasses();
    void checkDigits_data();
    void checkDigits();
    void checkDigitRejectsLetter();
    void upcEExpansion_data();
    void upcEExpansion();
    void elements_data();
    void elements();
    void eanCharactersAreSevenModules_data();
    void eanCharactersAreSevenModules();
    void ean128StartsWithFnc1_data();
    void ean128StartsWithFnc1();
    void textAfterEncoding_data();
    void textAfterEncoding();
    void errors_data();
    void errors();
    void code128EncoderRefusesOtherTypes();
    void unknownElementCode();
    void width_data();
    void width();
    void barReductionTakesOffBarsOnly_data();
    void barReductionTakesOffBarsOnly();
    void setWidthRescalesModul_data();
    void setWidthRescalesModul();
    void typText_data();
    void typText();
    void elementPixelWidths();
    void halfBarsStandOnBaseline();
    void colours();
    void quarterTurns_data();
    void quarterTurns();
    void drawingTwiceIsIdentical();
    void painterStateRestored();
    void shownText_data();
    void shownText();
    void shownTextNeverFails_data();
    void shownTextNeverFails();
    void limits_data();
    void limits();
    void largestSymbolStillDraws();
    void textPlacement_data();
    void textPlacement();
    void charExtraIsExactPixels();
    void layoutBarsOnWholeDots_data();
    void layoutBarsOnWholeDots();
};

void TestBarcode::defaults() {
    TLinearBarcode b;
    QCOMPARE(b.Height(), 0);
    QCOMPARE(b.Text(), QString());
    QCOMPARE(b.Top(), 0);
    QCOMPARE(b.Left(), 0);
    QCOMPARE(b.Modul(), 1);
    QCOMPARE(b.Ratio(), 2.0);
    QCOMPARE(b.Typ(), bcCodeEAN13);
    QCOMPARE(b.Checksum(), false);
    QCOMPARE(b.CheckSumMethod(), csmModulo10);
    QCOMPARE(b.Angle(), 0.0);
    QCOMPARE(b.ShowText(), bcoNone);
    QCOMPARE(b.ShowTextPosition(), stpTopLeft);
    QCOMPARE(b.Color(), QColor(255, 255, 255));
    QCOMPARE(b.ColorBar(), QColor(0, 0, 0));
    QCOMPARE(b.ShowTextOffSetX(), 0);
    QCOMPARE(b.ShowTextOffSetY(), 20);
    QCOMPARE(b.CharExtra(), 0);
    QVERIFY(!b.OnChange());
    // A new instance draws EAN-13 of 95 one-pixel modules.
    QCOMPARE(b.Width(), 95);
}

void TestBarcode::modulSetter_data() {
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("expected");
    QTest::addColumn<int>("notifications");
    QTest::newRow("zero is ignored silently") << 1 << 0 << 1 << 0;
    QTest::newRow("fifty is ignored silently") << 1 << 50 << 1 << 0;
    QTest::newRow("negative is ignored") << 3 << -2 << 3 << 0;
    QTest::newRow("one is accepted") << 5 << 1 << 1 << 1;
    QTest::newRow("forty-nine is accepted") << 1 << 49 << 49 << 1;
    QTest::newRow("same value still notifies") << 4 << 4 << 4 << 1;
}

void TestBarcode::modulSetter() {
    QFETCH(int, start);
    QFETCH(int, value);
    QFETCH(int, expected);
    QFETCH(int, notifications);
    TLinearBarcode b;
    b.setModul(start);
    int count = 0;
    b.setOnChange([&](TLinearBarcode* sender) {
        QCOMPARE(sender, &b);
        ++count;
    });
    b.setModul(value);
    QCOMPARE(b.Modul(), expected);
    QCOMPARE(count, notifications);
}

void TestBarcode::notification_data() {
    QTest::addColumn<QString>("property");
    QTest::addColumn<bool>("same");
    QTest::addColumn<int>("notifications");
    for (const char* p : {"Height", "Text", "Top", "Left", "Ratio", "Typ", "Checksum", "Angle",
                          "ShowText", "ShowTextPosition"}) {
        QTest::addRow("%s changed notifies", p) << QString::fromLatin1(p) << false << 1;
        QTest::addRow("%s unchanged is quiet", p) << QString::fromLatin1(p) << true << 0;
    }
    QTest::newRow("ShowTextFont always notifies") << QStringLiteral("ShowTextFont") << true << 1;
    for (const char* p :
         {"CheckSumMethod", "Color", "ColorBar", "ShowTextOffSetX", "ShowTextOffSetY", "CharExtra"})
        QTest::addRow("%s is a plain field", p) << QString::fromLatin1(p) << false << 0;
}

void TestBarcode::notification() {
    QFETCH(QString, property);
    QFETCH(bool, same);
    QFETCH(int, notifications);
    TLinearBarcode b;
    int count = 0;
    b.setOnChange([&](TLinearBarcode*) { ++count; });
    const std::map<QString, std::function<void()>> set{
        {"Height", [&] { b.setHeight(same ? b.Height() : 7); }},
        {"Text", [&] { b.setText(same ? b.Text() : "9"); }},
        {"Top", [&] { b.setTop(same ? b.Top() : 7); }},
        {"Left", [&] { b.setLeft(same ? b.Left() : 7); }},
        {"Ratio", [&] { b.setRatio(same ? b.Ratio() : 2.5); }},
        {"Typ", [&] { b.setTyp(same ? b.Typ() : bcCode39); }},
        {"Checksum", [&] { b.setChecksum(same ? b.Checksum() : true); }},
        {"Angle", [&] { b.setAngle(same ? b.Angle() : 90); }},
        {"ShowText", [&] { b.setShowText(same ? b.ShowText() : bcoBoth); }},
        {"ShowTextPosition",
         [&] { b.setShowTextPosition(same ? b.ShowTextPosition() : stpBottomLeft); }},
        {"ShowTextFont", [&] { b.setShowTextFont(b.ShowTextFont()); }},
        {"CheckSumMethod", [&] { b.setCheckSumMethod(csmNone); }},
        {"Color", [&] { b.setColor(Qt::red); }},
        {"ColorBar", [&] { b.setColorBar(Qt::blue); }},
        {"ShowTextOffSetX", [&] { b.setShowTextOffSetX(5); }},
        {"ShowTextOffSetY", [&] { b.setShowTextOffSetY(5); }},
        {"CharExtra", [&] { b.setCharExtra(5); }},
    };
    set.at(property)();
    QCOMPARE(count, notifications);
}

void TestBarcode::assignCopiesWithoutNotification() {
    TLinearBarcode a;
    int fromA = 0;
    a.setOnChange([&](TLinearBarcode*) { ++fromA; });
    a.setHeight(33);
    a.setText("ABC");
    a.setTop(4);
    a.setLeft(5);
    a.setModul(3);
    a.setRatio(2.5);
    a.setTyp(bcCode93);
    a.setChecksum(true);
    a.setShowText(bcoBoth);
    a.setShowTextPosition(stpBottomCenter);
    a.setCharExtra(6);
    a.setShowTextOffSetX(7);
    a.setShowTextOffSetY(8);
    a.setAngle(45);
    a.setColor(Qt::yellow);
    a.setColorBar(Qt::blue);
    a.setCheckSumMethod(csmNone);
    QFont f(QStringLiteral("DejaVu Serif"), 17);
    f.setBold(true);
    a.setShowTextFont(f);
    a.setShowTextFontColor(Qt::red);

    TLinearBarcode b;
    int fromB = 0;
    b.setOnChange([&](TLinearBarcode*) { ++fromB; });
    fromA = 0;
    b.Assign(&a);
    QCOMPARE(fromB, 0);
    QCOMPARE(b.Height(), 33);
    QCOMPARE(b.Text(), QStringLiteral("ABC"));
    QCOMPARE(b.Top(), 4);
    QCOMPARE(b.Left(), 5);
    QCOMPARE(b.Modul(), 3);
    QCOMPARE(b.Ratio(), 2.5);
    QCOMPARE(b.Typ(), bcCode93);
    QCOMPARE(b.Checksum(), true);
    QCOMPARE(b.ShowText(), bcoBoth);
    QCOMPARE(b.ShowTextPosition(), stpBottomCenter);
    QCOMPARE(b.CharExtra(), 6);
    QCOMPARE(b.ShowTextOffSetX(), 7);
    QCOMPARE(b.ShowTextOffSetY(), 8);
    QCOMPARE(b.Angle(), 45.0);
    QCOMPARE(b.Color(), QColor(Qt::yellow));
    QCOMPARE(b.ColorBar(), QColor(Qt::blue));
    QCOMPARE(b.CheckSumMethod(), csmNone);
    QCOMPARE(b.ShowTextFont(), f);
    QCOMPARE(b.ShowTextFontColor(), QColor(Qt::red));
    // The handler comes along: a change on the copy now reaches a's handler.
    b.setHeight(1);
    QCOMPARE(fromA, 1);
    QCOMPARE(fromB, 0);
}

void TestBarcode::assignRefusesOtherObjects() {
    TLinearBarcode b;
    QObject other;
    QCOMPARE(ErrorMessage<EConvertError>([&] { b.Assign(&other); }),
             QStringLiteral("Cannot assign a QObject to a TLinearBarcode."));
}

void TestBarcode::widthClasses_data() {
    QTest::addColumn<int>("typ");
    QTest::addColumn<int>("modul");
    QTest::addColumn<double>("ratio");
    QTest::addColumn<double>("ratioAfter");
    QTest::addColumn<QList<int>>("classes");
    // Worked by hand: the ratio is held to the symbology's range (2 to 3, 2 of 5 matrix
    // from 2.25); the classes are narrow, wide = narrow x ratio rounded half to even,
    // then 3/2 and 2 times wide in whole pixels.
    QTest::newRow("Code 39 raises 1.5 to 2.0")
        << int(bcCode39) << 1 << 1.5 << 2.0 << QList<int>{1, 2, 3, 4};
    // Code 128, EAN-128 and Code 93 are made of one to four modules, which scanners
    // read only at a ratio of 2; the item's ratio is kept but not drawn.
    QTest::newRow("Code 128 at ratio 1.5 draws 1 to 4 modules, Ratio kept")
        << int(bcCode128B) << 2 << 1.5 << 1.5 << QList<int>{2, 4, 6, 8};
    QTest::newRow("Code 128 at ratio 1e6 draws 1 to 4 modules")
        << int(bcCode128B) << 1 << 1e6 << 1e6 << QList<int>{1, 2, 3, 4};
    QTest::newRow("EAN-128 C at ratio 3 draws 1 to 4 modules")
        << int(bcCodeEAN128C) << 3 << 3.0 << 3.0 << QList<int>{3, 6, 9, 12};
    QTest::newRow("MSI raises 1.5 to 2.0")
        << int(bcCodeMSI) << 1 << 1.5 << 2.0 << QList<int>{1, 2, 3, 4};
    QTest::newRow("PostNet lowers 1e6 to 3.0")
        << int(bcCodePostNet) << 2 << 1e6 << 3.0 << QList<int>{2, 6, 9, 12};
    QTest::newRow("Code 39 ratio that is not a number becomes 2.0")
        << int(bcCode39) << 1 << qQNaN() << 2.0 << QList<int>{1, 2, 3, 4};
    QTest::newRow("2 of 5 matrix raises 2.0 to 2.25")
        << int(bcCode_2_5_matrix) << 4 << 2.0 << 2.25 << QList<int>{4, 9, 13, 18};
    QTest::newRow("EAN-13 lowers 3.5 to 3.0")
        << int(bcCodeEAN13) << 1 << 3.5 << 3.0 << QList<int>{1, 3, 4, 6};
    QTest::newRow("Code 93 at ratio 3.5 draws 1 to 4 modules, Ratio kept")
        << int(bcCode93) << 2 << 3.5 << 3.5 << QList<int>{2, 4, 6, 8};
    QTest::newRow("half rounds to even, down")
        << int(bcCode39) << 1 << 2.5 << 2.5 << QList<int>{1, 2, 3, 4};
    QTest::newRow("half rounds to even, up")
        << int(bcCode39) << 3 << 2.5 << 2.5 << QList<int>{3, 8, 12, 16};
    QTest::newRow("wide class beyond 127 pixels does not wrap")
        << int(bcCode39) << 49 << 3.0 << 3.0 << QList<int>{49, 147, 220, 294};
}

void TestBarcode::widthClasses() {
    QFETCH(int, typ);
    QFETCH(int, modul);
    QFETCH(double, ratio);
    QFETCH(double, ratioAfter);
    QFETCH(QList<int>, classes);
    TLinearBarcode b;
    b.setTyp(TBarcodeType(typ));
    b.setText(QStringLiteral("12"));
    b.setModul(modul);
    b.setRatio(ratio);
    b.MakeData();
    QCOMPARE(b.Ratio(), ratioAfter);
    const auto& m = b.Modules();
    QCOMPARE((QList<int>{m[0], m[1], m[2], m[3]}), classes);
    // The clamped ratio persists into the next encoding.
    b.MakeData();
    QCOMPARE(b.Ratio(), ratioAfter);
}

void TestBarcode::checkDigits_data() {
    QTest::addColumn<QString>("function");
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("expected");
    // GS1 examples: EAN-13 5901234123457, EAN-8 96385074, UPC-A 036000291452.
    QTest::newRow("modulo 10, EAN-13 example") << "Modulo10"
                                               << "590123412345"
                                               << "5901234123457";
    QTest::newRow("modulo 10, EAN-8 example") << "Modulo10"
                                              << "9638507"
                                              << "96385074";
    QTest::newRow("modulo 10, UPC-A example") << "Modulo10"
                                              << "03600029145"
                                              << "036000291452";
    QTest::newRow("modulo 10, sum a multiple of ten") << "Modulo10"
                                                      << "0"
                                                      << "00";
    QTest::newRow("modulo 10, empty") << "Modulo10"
                                      << ""
                                      << "0";
    // PostNet: the digit that brings the digit sum to a multiple of ten.
    QTest::newRow("PostNet 12345") << "Postnet"
                                   << "12345"
                                   << "123455";
    QTest::newRow("PostNet sum a multiple of ten") << "Postnet"
                                                   << "55"
                                                   << "550";
    // MSI modulo 10 worked by hand: the digits in odd places from the right, doubled
    // as one number, give their digit sum; the other digits add theirs.
    QTest::newRow("MSI even length") << "MSI"
                                     << "1234"
                                     << "4";
    QTest::newRow("MSI odd length (standard rule)") << "MSI"
                                                    << "12345"
                                                    << "5";
    QTest::newRow("MSI 80523, doubling carries out of the top digit") << "MSI"
                                                                      << "80523"
                                                                      << "4";
    // 5-digit add-on: 3 x (1st + 3rd + 5th) + 9 x (2nd + 4th), last digit.
    QTest::newRow("add-on 52495") << "Supp5"
                                  << "52495"
                                  << "1";
    QTest::newRow("add-on 00000") << "Supp5"
                                  << "00000"
                                  << "0";
}

void TestBarcode::checkDigits() {
    QFETCH(QString, function);
    QFETCH(QString, input);
    QFETCH(QString, expected);
    QString actual;
    if (function == "Modulo10")
        actual = CheckSumModulo10(input);
    else if (function == "Postnet")
        actual = CheckSumPostnet(input);
    else if (function == "MSI")
        actual = QString::number(CheckDigitMSI(input));
    else
        actual = QString::number(CheckDigitSupp5(input));
    QCOMPARE(actual, expected);
}

void TestBarcode::checkDigitRejectsLetter() {
    QCOMPARE(ErrorMessage<EConvertError>([] { CheckSumModulo10(QStringLiteral("12a")); }),
             QStringLiteral("'a' is not a valid integer value"));
}

void TestBarcode::upcEExpansion_data() {
    QTest::addColumn<QString>("system");
    QTest::addColumn<QString>("six");
    QTest::addColumn<QString>("upca");
    // The UPC-E zero-suppression rules, by the last digit.
    QTest::newRow("last digit 0-2: manufacturer ends in it") << "0"
                                                             << "654321"
                                                             << "06510000432";
    QTest::newRow("last digit 3") << "0"
                                  << "123453"
                                  << "01230000045";
    QTest::newRow("last digit 4") << "0"
                                  << "123454"
                                  << "01234000005";
    QTest::newRow("last digit 5-9") << "0"
                                    << "123457"
                                    << "01234500007";
    QTest::newRow("number system 1") << "1"
                                     << "654321"
                                     << "16510000432";
}

void TestBarcode::upcEExpansion() {
    QFETCH(QString, system);
    QFETCH(QString, six);
    QFETCH(QString, upca);
    QCOMPARE(UPCEtoUPCA(system[0], six), upca);
}

void TestBarcode::elements_data() {
    AddSymbolColumns("expected");
    // Worked by hand: narrow/wide bars 5/6, narrow/wide spaces 0/1, half bar A.
    // 2 of 5 digit flags: 1 = 10001, 2 = 01001, 3 = 11000, 9 = 01010, 0 = 00110.
    QTest::newRow("2 of 5 industrial 12") << int(bcCode_2_5_industrial) << "12" << false
                                          << "606050"
                                             "6050505060"
                                             "5060505060"
                                             "605060";
    QTest::newRow("2 of 5 industrial ignores the check digit switch")
        << int(bcCode_2_5_industrial) << "12" << true
        << "606050"
           "6050505060"
           "5060505060"
           "605060";
    QTest::newRow("2 of 5 matrix 3") << int(bcCode_2_5_matrix) << "3" << false
                                     << "705050"
                                        "615050"
                                        "70505";
    QTest::newRow("2 of 5 matrix 90") << int(bcCode_2_5_matrix) << "90" << false
                                      << "705050"
                                         "515150"
                                         "506150"
                                         "70505";
    QTest::newRow("2 of 5 interleaved 12: 1 in bars, 2 in spaces")
        << int(bcCode_2_5_interleaved) << "12" << false
        << "5050"
           "6051505061"
           "605";
    QTest::newRow("2 of 5 interleaved odd count gets a leading 0")
        << int(bcCode_2_5_interleaved) << "5" << false
        << "5050"
           "5150616050"
           "605";
    // MSI digits as four bits: 0 = narrow bar wide space, 1 = wide bar narrow space.
    QTest::newRow("MSI 1234 with check digit 4") << int(bcCodeMSI) << "1234" << false
                                                 << "60"
                                                    "51515160"
                                                    "51516051"
                                                    "51516060"
                                                    "51605151"
                                                    "51605151"
                                                    "515";
    QTest::newRow("MSI 12345 with check digit 5") << int(bcCodeMSI) << "12345" << false
                                                  << "60"
                                                     "51515160"
                                                     "51516051"
                                                     "51516060"
                                                     "51605151"
                                                     "51605160"
                                                     "51605160"
                                                     "515";
    // PostNet: 1 = 00011, 2 = 00101, 3 = 00110, 4 = 01001, 5 = 01010 (1 full, 0 half).
    QTest::newRow("PostNet 12345 always carries check digit 5")
        << int(bcCodePostNet) << "12345" << false
        << "51"
           "A1A1A15151"
           "A1A151A151"
           "A1A15151A1"
           "A151A1A151"
           "A151A151A1"
           "A151A151A1"
           "5";
    // Add-ons: start 1011, delineator 01; set A 1 = 2221, 2 = 2122, 4 = 1132,
    // 5 = 1231, 9 = 3112; set B 3 = 1141, 4 = 2311, 5 = 1321.
    QTest::newRow("2-digit add-on 12: value 0 mod 4, odd odd")
        << int(bcCodeUPC_Supp2) << "12" << false
        << "506"
           "1615"
           "05"
           "1516";
    QTest::newRow("2-digit add-on 13: value 1 mod 4, odd even")
        << int(bcCodeUPC_Supp2) << "13" << false
        << "506"
           "1615"
           "05"
           "0535";
    QTest::newRow("2-digit add-on ignores the check digit switch")
        << int(bcCodeUPC_Supp2) << "13" << true
        << "506"
           "1615"
           "05"
           "0535";
    QTest::newRow("5-digit add-on 52495: check 1, EOEOO")
        << int(bcCodeUPC_Supp5) << "52495" << false
        << "506"
           "0715"
           "05"
           "1516"
           "05"
           "1705"
           "05"
           "2506"
           "05"
           "0625";
    QTest::newRow("5-digit add-on does not draw its check digit")
        << int(bcCodeUPC_Supp5) << "52495" << true
        << "506"
           "0715"
           "05"
           "1516"
           "05"
           "1705"
           "05"
           "2506"
           "05"
           "0625";
    QTest::newRow("5-digit add-on with check digit on recomputes a sixth digit")
        << int(bcCodeUPC_Supp5) << "524950" << true
        << "506"
           "0715"
           "05"
           "1516"
           "05"
           "1705"
           "05"
           "2506"
           "05"
           "0625";
    // UPC-E 654321 in number system 1: UPC-A 16510000432, check 4; number system 1
    // parity for check 4 is OEOOEE. Set A 6 = 1114, 4 = 1132, 3 = 1411; set B
    // 5 = 1321, 2 = 2212, 1 = 1222.
    QTest::newRow("UPC-E1 654321") << int(bcCodeUPC_E1) << "654321" << false
                                   << "505"
                                      "0508"
                                      "0715"
                                      "0526"
                                      "0805"
                                      "1606"
                                      "0616"
                                      "050505";
}

void TestBarcode::elements() {
    TLinearBarcode b;
    SetSymbolOfRow(b);
    QTEST(b.MakeData(), "expected");
}

void TestBarcode::eanCharactersAreSevenModules_data() {
    QTest::addColumn<int>("typ");
    QTest::addColumn<QString>("text");
    for (const char* t : {"0123456789012", "9876543210987", "5555544444333"})
        QTest::addRow("EAN-13 %s", t) << int(bcCodeEAN13) << QString::fromLatin1(t);
    QTest::newRow("EAN-8 01234567") << int(bcCodeEAN8) << "01234567";
    QTest::newRow("EAN-8 89898989") << int(bcCodeEAN8) << "89898989";
}

void TestBarcode::eanCharactersAreSevenModules() {
    // Every EAN digit is two bars and two spaces over seven modules, and the left
    // half's characters have an odd (set A) or even (set B) number of bar modules
    // as the first digit's parity row says; the right half always even.
    QFETCH(int, typ);
    QFETCH(QString, text);
    TLinearBarcode b;
    b.setTyp(TBarcodeType(typ));
    b.setText(text);
    const QString d = b.MakeData();
    const int digits = typ == bcCodeEAN13 ? 12 : 8;
    QCOMPARE(d.size(), 3 + digits * 4 + 5 + 3);
    static const char* parity13[10] = {"AAAAAA", "AABABB", "AABBAB", "AABBBA", "ABAABB",
                                       "ABBAAB", "ABBBAA", "ABABAB", "ABABBA", "ABBABA"};
    for (int i = 0; i < digits; ++i) {
        const int at = 3 + i * 4 + (i >= digits / 2 ? 5 : 0);
        int modules = 0, barModules = 0;
        for (int k = 0; k < 4; ++k) {
            const int u = d[at + k].unicode();
            const bool bar = u >= '5';
            const int n = (bar ? u - '5' : u - '0') + 1;
            modules += n;
            if (bar)
                barModules += n;
        }
        QCOMPARE(modules, 7);
        bool odd;
        if (i >= digits / 2)
            odd = false;
        else if (typ == bcCodeEAN8)
            odd = true;
        else
            odd = parity13[text[0].unicode() - '0'][i] == 'A';
        QCOMPARE(barModules % 2 == 1, odd);
    }
}

void TestBarcode::ean128StartsWithFnc1_data() {
    QTest::addColumn<int>("typ");
    QTest::addColumn<QString>("start");
    // Start A 211412, B 211214, C 211232, then FNC1 411131 (module counts).
    // Value 12 (the pair 12 in set C) is 112232.
    QTest::newRow("EAN-128 A") << int(bcCodeEAN128A)
                               << "605351"
                                  "805070";
    QTest::newRow("EAN-128 B") << int(bcCodeEAN128B)
                               << "605153"
                                  "805070";
    QTest::newRow("EAN-128 C") << int(bcCodeEAN128C)
                               << "605171"
                                  "805070";
    QTest::newRow("Code 128 C has no FNC1") << int(bcCode128C)
                                            << "605171"
                                               "506171";
}

void TestBarcode::ean128StartsWithFnc1() {
    QFETCH(int, typ);
    QFETCH(QString, start);
    TLinearBarcode b;
    b.setTyp(TBarcodeType(typ));
    b.setText(QStringLiteral("12"));
    QCOMPARE(b.MakeData().left(12), start);
}

void TestBarcode::textAfterEncoding_data() {
    AddSymbolColumns("after");
    // Check digits by the GS1 rule, as in checkDigits (UPC-E over its UPC-A expansion:
    // 654321 is 06510000432, check 7, or 16510000432, check 4); interleaved 2 of 5
    // and set C pad to whole pairs, UPC and the add-ons to their fixed length.
    QTest::newRow("digits-only trims blanks and controls")
        << int(bcCodeEAN13) << " \t590123412345\r\n"
        << false << "590123412345";
    QTest::newRow("2 of 5 interleaved pads an odd count")
        << int(bcCode_2_5_interleaved) << "12345" << false << "012345";
    QTest::newRow("Code 128 C pads an odd count") << int(bcCode128C) << "123" << false << "0123";
    QTest::newRow("EAN-128 C pads an odd count") << int(bcCodeEAN128C) << "123" << false << "0123";
    QTest::newRow("EAN-128 C with check digit leaves the text")
        << int(bcCodeEAN128C) << "123" << true << "123";
    QTest::newRow("EAN-13 leaves the text")
        << int(bcCodeEAN13) << "590123412345" << true << "590123412345";
    QTest::newRow("EAN-8 leaves the text") << int(bcCodeEAN8) << "9638507" << true << "9638507";
    QTest::newRow("UPC-A without check digit pads to 12")
        << int(bcCodeUPC_A) << "123" << false << "000000000123";
    QTest::newRow("UPC-A 11 digits get their check digit")
        << int(bcCodeUPC_A) << "03600029145" << true << "036000291452";
    QTest::newRow("UPC-A 12 digits get the check digit recomputed")
        << int(bcCodeUPC_A) << "036000291450" << true << "036000291452";
    QTest::newRow("UPC-A short text padded to 11 then checked")
        << int(bcCodeUPC_A) << "123" << true << "000000001236";
    QTest::newRow("UPC-E0 six digits get the UPC-A check digit")
        << int(bcCodeUPC_E0) << "654321" << true << "6543217";
    QTest::newRow("UPC-E0 seventh digit is replaced")
        << int(bcCodeUPC_E0) << "6543210" << true << "6543217";
    QTest::newRow("UPC-E0 eight digits keep the number system")
        << int(bcCodeUPC_E0) << "06543210" << true << "06543217";
    QTest::newRow("UPC-E0 short text padded to six")
        << int(bcCodeUPC_E0) << "321" << true << "0003210";
    QTest::newRow("UPC-E0 without check digit keeps the text")
        << int(bcCodeUPC_E0) << "654321" << false << "654321";
    QTest::newRow("UPC-E1 check digit over number system 1")
        << int(bcCodeUPC_E1) << "654321" << true << "6543214";
    QTest::newRow("5-digit add-on gets its check digit")
        << int(bcCodeUPC_Supp5) << "52495" << true << "524951";
    QTest::newRow("5-digit add-on pads to five") << int(bcCodeUPC_Supp5) << "7" << false << "00007";
    QTest::newRow("2-digit add-on pads to two") << int(bcCodeUPC_Supp2) << "7" << false << "07";
    QTest::newRow("Code 39 extended restores the text")
        << int(bcCode39Extended) << "ab" << false << "ab";
    QTest::newRow("Code 93 extended restores the text")
        << int(bcCode93Extended) << "ab" << false << "ab";
}

void TestBarcode::textAfterEncoding() {
    QFETCH(QString, after);
    TLinearBarcode b;
    SetSymbolOfRow(b);
    b.MakeData();
    QCOMPARE(b.Text(), after);
    // Encoding again changes nothing more.
    const QString first = b.MakeData();
    QCOMPARE(b.Text(), after);
    QCOMPARE(b.MakeData(), first);
}

void TestBarcode::errors_data() {
    AddSymbolColumns("message");
    // Lengths from the symbologies: EAN-13 holds 12 digits and its check digit, EAN-8
    // 7 and one, UPC-A 11 and one, UPC-E 6 between number system and check digit.
    QTest::newRow("digits-only type with a letter")
        << int(bcCodeEAN13) << "12a4" << false << "条码必须是数字";
    QTest::newRow("type above 22") << 23 << "1" << false << "TLinearBarcode: 不正确的条码类型";
    QTest::newRow("Code 93 lower case")
        << int(bcCode93) << "abc" << false << "TLinearBarcode:Code93 bad Data <abc>";
    QTest::newRow("EAN-128 B check digit over letters")
        << int(bcCodeEAN128B) << "ABC" << true << "此条码类型进行校验必须是数字";
    QTest::newRow("EAN-13 thirteen digits with check digit")
        << int(bcCodeEAN13) << "5901234123457" << true << "Invalid Text len (EAN13)";
    QTest::newRow("EAN-13 fourteen digits")
        << int(bcCodeEAN13) << "59012341234570" << false << "Invalid Text len (EAN13)";
    QTest::newRow("EAN-8 eight digits with check digit")
        << int(bcCodeEAN8) << "96385074" << true << "Invalid Text len (EAN8)";
    QTest::newRow("EAN-8 nine digits")
        << int(bcCodeEAN8) << "963850741" << false << "Invalid Text len (EAN8)";
    QTest::newRow("2-digit add-on beyond an integer")
        << int(bcCodeUPC_Supp2) << "99999999999" << false << "条码数值过大";
    // Longer texts would silently lose digits in the symbol.
    QTest::newRow("2-digit add-on with three digits")
        << int(bcCodeUPC_Supp2) << "123" << false << "条码数值过大";
    QTest::newRow("5-digit add-on with six digits")
        << int(bcCodeUPC_Supp5) << "524951" << false << "条码数值过大";
    QTest::newRow("5-digit add-on with seven digits and check digit")
        << int(bcCodeUPC_Supp5) << "5249510" << true << "条码数值过大";
    QTest::newRow("UPC-A thirteen digits")
        << int(bcCodeUPC_A) << "0360002914521" << false << "Invalid Text len (UPC_A)";
    QTest::newRow("UPC-A thirteen digits with check digit")
        << int(bcCodeUPC_A) << "0360002914521" << true << "Invalid Text len (UPC_A)";
    QTest::newRow("Codabar character outside its table")
        << int(bcCodeCodabar) << "12a3" << false << "TLinearBarcode:Codabar bad character <a>";
    QTest::newRow("UPC-E0 with number system 1")
        << int(bcCodeUPC_E0) << "16543214" << false
        << "TLinearBarcode: number system of UPC_E0 must be 0";
    QTest::newRow("UPC-E1 with number system 0")
        << int(bcCodeUPC_E1) << "06543217" << true
        << "TLinearBarcode: number system of UPC_E1 must be 1";
    QTest::newRow("UPC-E0 nine digits")
        << int(bcCodeUPC_E0) << "065432170" << false << "Invalid Text len (UPC_E0)";
}

void TestBarcode::errors() {
    TLinearBarcode b;
    SetSymbolOfRow(b);
    QTEST(ErrorMessage<EBarcodeError>([&] { b.Width(); }), "message");
    QImage img = Blank(10, 10);
    QPainter p(&img);
    QVERIFY_THROWS_EXCEPTION(EBarcodeError, b.DrawBarcode(p));
}

void TestBarcode::code128EncoderRefusesOtherTypes() {
    QString text = QStringLiteral("A");
    QCOMPARE(ErrorMessage<EBarcodeError>([&] {
                 Encode_Code128(text, TEncodeContext{bcCode39, false, csmModulo10});
             }),
             QStringLiteral("TLinearBarcode: wrong BarcodeType in Code_128"));
}

void TestBarcode::unknownElementCode() {
    TLinearBarcode b;
    int w = 0;
    TBarLineType lt;
    for (QChar c : QStringLiteral("49EX "))
        QCOMPARE(ErrorMessage<EBarcodeError>([&] { b.OneBarProps(c, w, lt); }),
                 QStringLiteral("TLinearBarcode: internal Error"));
    b.OneBarProps(u'C', w, lt);
    QCOMPARE(lt, black_half);
}

void TestBarcode::width_data() {
    QTest::addColumn<int>("typ");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("modul");
    QTest::addColumn<double>("ratio");
    QTest::addColumn<int>("height");
    QTest::addColumn<double>("angle");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("canvasWidth");
    QTest::addColumn<int>("canvasHeight");
    // Symbol widths in modules from the standards: EAN-13 95, EAN-8 67, UPC-E 51,
    // add-ons 47 and 20; Code 128 start+char+check 11 each, stop 13; Code 39 char
    // 3 wide and 6 narrow elements plus a narrow gap.
    QTest::newRow("EAN-13, halves to even: 95.5 -> 96, 40.5 -> 40")
        << int(bcCodeEAN13) << "590123412345" << 1 << 2.0 << 40 << 0.0 << 95 << 96 << 40;
    QTest::newRow("EAN-13 module 2, 190.5 -> 190, 41.5 -> 42")
        << int(bcCodeEAN13) << "590123412345" << 2 << 2.0 << 41 << 0.0 << 190 << 190 << 42;
    QTest::newRow("EAN-8") << int(bcCodeEAN8) << "9638507" << 1 << 2.0 << 10 << 0.0 << 67 << 68
                           << 10;
    QTest::newRow("UPC-E") << int(bcCodeUPC_E0) << "654321" << 3 << 2.0 << 10 << 0.0 << 153 << 154
                           << 10;
    QTest::newRow("5-digit add-on")
        << int(bcCodeUPC_Supp5) << "52495" << 1 << 2.0 << 10 << 0.0 << 47 << 48 << 10;
    QTest::newRow("2-digit add-on")
        << int(bcCodeUPC_Supp2) << "12" << 1 << 2.0 << 10 << 0.0 << 20 << 20 << 10;
    QTest::newRow("Code 128 B one character")
        << int(bcCode128B) << "A" << 1 << 2.0 << 10 << 0.0 << 46 << 46 << 10;
    QTest::newRow("Code 39 ratio 2")
        << int(bcCode39) << "A" << 1 << 2.0 << 10 << 0.0 << 38 << 38 << 10;
    QTest::newRow("Code 39 ratio 3")
        << int(bcCode39) << "A" << 1 << 3.0 << 10 << 0.0 << 47 << 48 << 10;
    QTest::newRow("EAN-13 turned 30 degrees")
        << int(bcCodeEAN13) << "590123412345" << 1 << 2.0 << 40 << 30.0 << 95 << 103 << 83;
    QTest::newRow("very wide module at ratio 3 stays exact")
        << int(bcCode39) << "A" << 49 << 3.0 << 10 << 0.0 << 49 * 47 << 49 * 47 + 1 << 10;
}

void TestBarcode::width() {
    QFETCH(int, typ);
    QFETCH(QString, text);
    QFETCH(int, modul);
    QFETCH(double, ratio);
    QFETCH(int, height);
    QFETCH(double, angle);
    QFETCH(int, width);
    QFETCH(int, canvasWidth);
    QFETCH(int, canvasHeight);
    TLinearBarcode b;
    b.setTyp(TBarcodeType(typ));
    b.setText(text);
    b.setModul(modul);
    b.setRatio(ratio);
    b.setHeight(height);
    b.setAngle(angle);
    b.setChecksum(typ == bcCodeEAN13 || typ == bcCodeEAN8);
    QCOMPARE(b.Width(), width);
    QCOMPARE(b.CanvasWidth(), canvasWidth);
    QCOMPARE(b.CanvasHeight(), canvasHeight);
}

void TestBarcode::setWidthRescalesModul_data() {
    QTest::addColumn<int>("modul");
    QTest::addColumn<int>("target");
    QTest::addColumn<int>("expected");
    // EAN-13 is 95 modules: the new module is module x target / width in whole
    // pixels, taken only within 1 to 49.
    QTest::newRow("95 wide to 300: module 3") << 1 << 300 << 3;
    QTest::newRow("190 wide to 300: module 2 * 300 / 190 = 3") << 2 << 300 << 3;
    QTest::newRow("too narrow leaves it") << 2 << 50 << 2;
    QTest::newRow("beyond 49 leaves it") << 1 << 5000 << 1;
}

void TestBarcode::setWidthRescalesModul() {
    QFETCH(int, modul);
    QFETCH(int, target);
    QFETCH(int, expected);
    TLinearBarcode b;
    b.setText(QStringLiteral("590123412345"));
    b.setChecksum(true);
    b.setModul(modul);
    b.setWidth(target);
    QCOMPARE(b.Modul(), expected);
}

void TestBarcode::typText_data() {
    QTest::addColumn<int>("typ");
    QTest::addColumn<QString>("name");
    const char* names[] = {"2_5_interleaved",
                           "2_5_industrial",
                           "2_5_matrix",
                           "Code39",
                           "Code39 Extended",
                           "Code128A",
                           "Code128B",
                           "Code128C",
                           "Code93",
                           "Code93 Extended",
                           "MSI",
                           "PostNet",
                           "Codebar",
                           "EAN8",
                           "EAN13",
                           "UPC_A",
                           "UPC_E0",
                           "UPC_E1",
                           "UPC Supp2",
                           "UPC Supp5",
                           "EAN128A",
                           "EAN128B",
                           "EAN128C"};
    for (int i = 0; i < 23; ++i)
        QTest::addRow("%d %s", i, names[i]) << i << QString::fromLatin1(names[i]);
}

void TestBarcode::typText() {
    QFETCH(int, typ);
    QFETCH(QString, name);
    TLinearBarcode b;
    b.setTyp(TBarcodeType(typ));
    QCOMPARE(b.GetTypText(), name);
}

void TestBarcode::elementPixelWidths() {
    // Code 128 module 2 whatever the ratio: one to four modules are 2, 4, 6 and 8
    // pixels. Start B is 2 1 1 2 1 4 modules.
    TLinearBarcode b;
    b.setTyp(bcCode128B);
    b.setText(QStringLiteral("A"));
    b.setModul(2);
    b.setRatio(1.5);
    b.setHeight(20);
    b.setLeft(10);
    b.setTop(5);
    const QImage img = Draw(b, b.Width() + 20, 40);
    QCOMPARE(Runs(img, 10, 10, 6), (QList<int>{4, 2, 2, 4, 2, 8}));
    QVERIFY(!IsDark(img.pixel(9, 10)));
    // The bars are Height pixels tall from Top.
    const TInk ink = Ink(img);
    QCOMPARE(ink.Top, 5);
    QCOMPARE(ink.Bottom, 24);
    QCOMPARE(ink.Left, 10);
    QCOMPARE(ink.Right, 10 + b.Width() - 1);
}

// A printer whose ink spreads gets bars narrower by whole pixels, taken off
// each bar's trailing edge and given to the space after it; a bar keeps one.
void TestBarcode::barReductionTakesOffBarsOnly_data() {
    QTest::addColumn<int>("reduction");
    QTest::addColumn<QList<int>>("runs"); // Start B at module 2, bars first
    QTest::newRow("none: exact module multiples") << 0 << QList<int>{4, 2, 2, 4, 2, 8};
    QTest::newRow("one pixel") << 1 << QList<int>{3, 3, 1, 5, 1, 9};
    QTest::newRow("more than a bar: one pixel left") << 5 << QList<int>{1, 5, 1, 5, 1, 9};
}

void TestBarcode::barReductionTakesOffBarsOnly() {
    QFETCH(int, reduction);
    QFETCH(QList<int>, runs);
    TLinearBarcode b;
    b.setTyp(bcCode128B);
    b.setText(QStringLiteral("A"));
    b.setModul(2);
    b.setHeight(20);
    b.setLeft(10);
    b.setBarReduction(reduction);
    TLinearBarcode copy;
    copy.Assign(&b);
    const QImage img = Draw(copy, b.Width() + 20, 40);
    QCOMPARE(Runs(img, 10, 10, 6), runs);
}

void TestBarcode::halfBarsStandOnBaseline() {
    TLinearBarcode b;
    b.setTyp(bcCodePostNet);
    b.setText(QStringLiteral("1"));
    b.setModul(2);
    b.setHeight(50);
    b.setLeft(4);
    b.setTop(6);
    const QImage img = Draw(b, b.Width() + 10, 70);
    // Start bar full height; the first digit 1 starts with a half bar (00011).
    QCOMPARE(Ink(img, QRect(4, 0, 2, 70)).Bottom, 6 + 49);
    // PostNet scanners read the bars from a common baseline: the half bar is the
    // lower two fifths. Module 2 at ratio 2: bar 2 pixels, space 4.
    const TInk half = Ink(img, QRect(4 + 2 + 4, 0, 2, 70));
    QCOMPARE(half.Top, 6 + 50 - 50 * 2 / 5);
    QCOMPARE(half.Bottom, 6 + 49);
}

void TestBarcode::colours() {
    TLinearBarcode b;
    b.setTyp(bcCode128B);
    b.setText(QStringLiteral("A"));
    b.setHeight(10);
    b.setLeft(2);
    b.setTop(2);
    b.setModul(2);
    b.setColor(QColor(0, 255, 0));
    b.setColorBar(QColor(0, 0, 255));
    const QImage img = Draw(b, b.Width() + 4, 14);
    QCOMPARE(QColor(img.pixel(2, 5)), QColor(0, 0, 255));     // first bar
    QCOMPARE(QColor(img.pixel(2 + 4, 5)), QColor(0, 255, 0)); // first space
    QCOMPARE(QColor(img.pixel(1, 5)), QColor(Qt::white));     // outside
}

void TestBarcode::quarterTurns_data() {
    QTest::addColumn<double>("angle");
    QTest::addColumn<int>("quarter");
    QTest::newRow("90 degrees") << 90.0 << 1;
    QTest::newRow("180 degrees") << 180.0 << 2;
    QTest::newRow("270 degrees") << 270.0 << 3;
    QTest::newRow("-90 degrees") << -90.0 << 3;
}

void TestBarcode::quarterTurns() {
    // A turned symbol is the upright one turned counter-clockwise, placed in the box
    // whose top-left corner is (Left, Top); at 90 degrees the bars start at the
    // bottom-left corner and run upwards.
    QFETCH(double, angle);
    QFETCH(int, quarter);
    TLinearBarcode b;
    b.setTyp(bcCode93);
    b.setText(QStringLiteral("KOVA-93"));
    b.setModul(2);
    b.setHeight(30);
    b.setLeft(7);
    b.setTop(9);
    const int w = b.Width();
    const QImage upright = Draw(b, w + 20, w + 20).copy(7, 9, w, 30);
    b.setAngle(angle);
    const int cw = b.CanvasWidth(), ch = b.CanvasHeight();
    const QImage turned = Draw(b, w + 20, w + 20);
    const TInk ink = Ink(turned);
    QVERIFY(ink.Left >= 7 && ink.Top >= 9);
    QVERIFY(ink.Right < 7 + cw && ink.Bottom < 9 + ch);
    const QImage expected = upright.transformed(QTransform().rotate(-90.0 * quarter));
    QCOMPARE(turned.copy(7, 9, expected.width(), expected.height()), expected);
    if (quarter == 1) {
        // The start bar is at the bottom-left, one module wide.
        QVERIFY(IsDark(turned.pixel(7, 9 + w - 1)));
        QVERIFY(IsDark(turned.pixel(7, 9 + w - 2)));
        QVERIFY(!IsDark(turned.pixel(7, 9 + w - 3)));
    }
}

void TestBarcode::drawingTwiceIsIdentical() {
    TLinearBarcode b;
    b.setTyp(bcCode39);
    b.setText(QStringLiteral("KOVA"));
    b.setRatio(1.0);
    b.setHeight(20);
    b.setAngle(33);
    b.setShowText(bcoBoth);
    b.setLeft(20);
    b.setTop(60);
    const QImage first = Draw(b, 300, 200);
    QCOMPARE(Draw(b, 300, 200), first);
}

void TestBarcode::painterStateRestored() {
    TLinearBarcode b;
    b.setText(QStringLiteral("590123412345"));
    b.setHeight(10);
    b.setShowText(bcoBoth);
    b.setShowTextFont(QFont(QStringLiteral("DejaVu Sans"), 30));
    QImage img = Blank(200, 100);
    QPainter p(&img);
    const QFont font(QStringLiteral("DejaVu Serif"), 9);
    p.setFont(font);
    p.setPen(QPen(Qt::red, 3));
    p.setBrush(Qt::green);
    b.DrawBarcode(p);
    QCOMPARE(p.font(), font);
    QCOMPARE(p.pen(), QPen(Qt::red, 3));
    QCOMPARE(p.brush(), QBrush(Qt::green));
    // Also after a failure half way.
    b.setText(QStringLiteral("x"));
    QVERIFY_THROWS_EXCEPTION(EBarcodeError, b.DrawBarcode(p));
    QCOMPARE(p.pen(), QPen(Qt::red, 3));
}

void TestBarcode::shownText_data() {
    AddSymbolColumns("line");
    // Each line is what a scanner reads from the same symbol (see tst_barcode_scan),
    // or for MSI and PostNet, whose bars zbarimg does not read, the standards' check
    // digits worked by hand.
    QTest::newRow("EAN-13 check digit added once")
        << int(bcCodeEAN13) << "590123412345" << true << "5901234123457";
    QTest::newRow("EAN-13 given complete")
        << int(bcCodeEAN13) << "5901234123457" << false << "5901234123457";
    QTest::newRow("EAN-13 short text shows its padding")
        << int(bcCodeEAN13) << "123456789" << true << "0001234567895";
    QTest::newRow("EAN-8 check digit added once")
        << int(bcCodeEAN8) << "9638507" << true << "96385074";
    QTest::newRow("UPC-A check digit once, not twice")
        << int(bcCodeUPC_A) << "03600029145" << true << "036000291452";
    QTest::newRow("UPC-A wrong twelfth digit shows the real one")
        << int(bcCodeUPC_A) << "036000291450" << true << "036000291452";
    QTest::newRow("UPC-E check digit of the expanded number")
        << int(bcCodeUPC_E0) << "654321" << true << "6543217";
    QTest::newRow("UPC-E without the switch shows six digits")
        << int(bcCodeUPC_E0) << "654321" << false << "654321";
    QTest::newRow("UPC-E wrong seventh digit shows what the parity carries")
        << int(bcCodeUPC_E0) << "6543210" << false << "6543217";
    QTest::newRow("5-digit add-on with its check digit")
        << int(bcCodeUPC_Supp5) << "52495" << true << "524951";
    QTest::newRow("2-digit add-on has no check digit to show")
        << int(bcCodeUPC_Supp2) << "13" << true << "13";
    QTest::newRow("MSI shows its own check digit") << int(bcCodeMSI) << "1234" << true << "12344";
    QTest::newRow("MSI without the switch") << int(bcCodeMSI) << "1234" << false << "1234";
    QTest::newRow("PostNet with check digit") << int(bcCodePostNet) << "12345" << true << "123455";
    QTest::newRow("PostNet without the switch")
        << int(bcCodePostNet) << "12345" << false << "12345";
    QTest::newRow("Code 39 check character") << int(bcCode39) << "CODE39" << true << "CODE39W";
    QTest::newRow("Code 39 letters with the switch do not fail")
        << int(bcCode39) << "AB" << true << "ABL";
    QTest::newRow("Code 39 shows only the characters it carries")
        << int(bcCode39) << "ab12" << false << "12";
    QTest::newRow("Code 39 extended shows the typed text")
        << int(bcCode39Extended) << "ab-c.!" << false << "ab-c.!";
    QTest::newRow("Code 128 B carries no check digit of the switch")
        << int(bcCode128B) << "Hello123" << true << "Hello123";
    QTest::newRow("Code 128 C shows its padding, no check digit")
        << int(bcCode128C) << "123" << true << "0123";
    QTest::newRow("EAN-128 B with check digit")
        << int(bcCodeEAN128B) << "0101234" << true << "01012347";
    QTest::newRow("EAN-128 C with check digit")
        << int(bcCodeEAN128C) << "123456789" << true << "1234567895";
    QTest::newRow("Code 93 carries no check digit of the switch")
        << int(bcCode93) << "HELLO" << true << "HELLO";
    QTest::newRow("2 of 5 interleaved shows its padding")
        << int(bcCode_2_5_interleaved) << "12345" << true << "012345";
    QTest::newRow("Codabar without start and stop")
        << int(bcCodeCodabar) << "31117013206375" << true << "31117013206375";
}

void TestBarcode::shownText() {
    QFETCH(int, typ);
    QFETCH(QString, text);
    QFETCH(bool, checksum);
    QFETCH(QString, line);
    QCOMPARE(BarcodeShownText(TBarcodeType(typ), text, checksum), line);

    // The drawn line is that text: the band below the bars matches a Code 128 B
    // symbol, whose line is its text, placed alike.
    auto draw = [](TBarcodeType t, const QString& s, bool c) {
        TLinearBarcode b;
        b.setTyp(t);
        b.setText(s);
        b.setChecksum(c);
        b.setLeft(10);
        b.setTop(10);
        b.setHeight(30);
        b.setShowText(bcoCode);
        b.setShowTextPosition(stpBottomLeft);
        b.setShowTextOffSetY(40);
        b.setShowTextFont(QFont(QStringLiteral("DejaVu Sans"), 12));
        return Draw(b, 600, 100).copy(0, 45, 600, 55);
    };
    const QImage drawn = draw(TBarcodeType(typ), text, checksum);
    QVERIFY(!Ink(drawn).Empty());
    QCOMPARE(drawn, draw(bcCode128B, line, false));
}

void TestBarcode::shownTextNeverFails_data() {
    QTest::addColumn<int>("typ");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("line");
    // A text the symbology refuses is shown as it was typed, blanks trimmed.
    QTest::newRow("letters in a digits-only type") << int(bcCodeEAN13) << " 12a4 "
                                                   << "12a4";
    QTest::newRow("too long for EAN-13") << int(bcCodeEAN13) << "59012341234570"
                                         << "59012341234570";
    QTest::newRow("letters where EAN-128 needs a check digit") << int(bcCodeEAN128B) << "ABC"
                                                               << "ABC";
    QTest::newRow("Code 93 lower case") << int(bcCode93) << "abc"
                                        << "abc";
    QTest::newRow("type above 22") << 23 << "KOVA"
                                   << "KOVA";
}

void TestBarcode::shownTextNeverFails() {
    QFETCH(int, typ);
    QFETCH(QString, text);
    QFETCH(QString, line);
    QCOMPARE(BarcodeShownText(TBarcodeType(typ), text, true), line);
}

void TestBarcode::limits_data() {
    QTest::addColumn<int>("typ");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("modul");
    QTest::addColumn<int>("height");
    QTest::addColumn<double>("angle");
    QTest::addColumn<QString>("message");
    // Code 128 B of n letters: start, n characters and the check of 11 modules
    // each, the stop of 13.
    QTest::newRow("bar height above a page") << int(bcCode128B) << "A" << 1 << 100000 << 45.0
                                             << "条码高度 100000 像素超出了 0 到 65535 像素的范围";
    QTest::newRow("negative bar height") << int(bcCode128B) << "A" << 1 << -5 << 0.0
                                         << "条码高度 -5 像素超出了 0 到 65535 像素的范围";
    QTest::newRow("angle not a number")
        << int(bcCode128B) << "A" << 1 << 10 << qQNaN() << "条码旋转角度必须是有限的数值";
    QTest::newRow("infinite angle")
        << int(bcCode128B) << "A" << 1 << 10 << qInf() << "条码旋转角度必须是有限的数值";
    QTest::newRow("symbol wider than a page: 2235 modules of 49")
        << int(bcCode128B) << QString(200, u'A') << 49 << 10 << 0.0
        << "条码宽度 109515 像素超过了一页可容纳的 65535 像素";
    // 1905 modules of 20 = 38100 wide, 65000 high, at 45 degrees:
    // 103100 / sqrt(2) = 72902.7.
    QTest::newRow("turned symbol beyond a page")
        << int(bcCode128B) << QString(170, u'A') << 20 << 65000 << 45.0
        << "旋转后的条码占 72903 像素，超过了一页可容纳的 65535 像素";
}

void TestBarcode::limits() {
    QFETCH(int, typ);
    QFETCH(QString, text);
    QFETCH(int, modul);
    QFETCH(int, height);
    QFETCH(double, angle);
    QFETCH(QString, message);
    TLinearBarcode b;
    b.setTyp(TBarcodeType(typ));
    b.setText(text);
    b.setModul(modul);
    b.setHeight(height);
    b.setAngle(angle);
    b.setShowText(bcoBoth);
    QImage img = Blank(20, 20);
    QPainter p(&img);
    for (const auto& call : std::initializer_list<std::function<void()>>{
             [&] { b.DrawBarcode(p); }, [&] { b.CanvasWidth(); }, [&] { b.MakeData(); }})
        QCOMPARE(ErrorMessage<EBarcodeError>(call), message);
    // Nothing was drawn.
    QVERIFY(Ink(img).Empty());
}

void TestBarcode::largestSymbolStillDraws() {
    // Just inside the limits: 65535 high, 1333 modules of 49 = 65317 wide, upright
    // and turned a quarter.
    TLinearBarcode b;
    b.setTyp(bcCode128B);
    b.setText(QString(118, u'A'));
    b.setModul(49);
    b.setHeight(BarcodeMaxExtent);
    QCOMPARE(b.Width(), 65317);
    b.setAngle(90);
    QCOMPARE(b.CanvasWidth(), 65536); // Round(65535 + 0.5), halves to even
    b.setAngle(0);
    QImage img = Blank(100, 100);
    QPainter p(&img);
    b.DrawBarcode(p);
    QVERIFY(IsDark(img.pixel(0, 99)));
}

void TestBarcode::textPlacement_data() {
    QTest::addColumn<int>("option");
    QTest::addColumn<int>("position");
    QTest::addColumn<int>("offsetX");
    QTest::addColumn<bool>("above");
    QTest::addColumn<int>("expectedLeft");
    // Bars at Left 100, Top 100, 40 high; text offset 30 vertically.
    QTest::newRow("code top-left at Left + offset")
        << int(bcoCode) << int(stpTopLeft) << 40 << true << 140;
    QTest::newRow("code top-centre placed like top-left")
        << int(bcoCode) << int(stpTopCenter) << 40 << true << 140;
    QTest::newRow("code bottom-right placed like bottom-left")
        << int(bcoCode) << int(stpBottomRight) << 40 << false << 140;
    QTest::newRow("name at Left whatever the offset")
        << int(bcoTyp) << int(stpBottomLeft) << 40 << true << 100;
}

void TestBarcode::textPlacement() {
    QFETCH(int, option);
    QFETCH(int, position);
    QFETCH(int, offsetX);
    QFETCH(bool, above);
    QFETCH(int, expectedLeft);
    TLinearBarcode b;
    b.setTyp(bcCode128C);
    b.setText(QStringLiteral("1111"));
    b.setLeft(100);
    b.setTop(100);
    b.setHeight(40);
    b.setShowText(TBarcodeOption(option));
    b.setShowTextPosition(TShowTextPosition(position));
    b.setShowTextOffSetX(offsetX);
    b.setShowTextOffSetY(30);
    b.setShowTextFont(QFont(QStringLiteral("DejaVu Sans"), 12));
    const QImage img = Draw(b, 400, 260);
    const QFontMetrics fm(b.ShowTextFont(), &img);
    // Text ink sits within its cell: above Top, or ending at Top + Height + 30.
    const QRect band = above ? QRect(0, 0, 400, 100) : QRect(0, 140, 400, 120);
    const TInk ink = Ink(img, band);
    QVERIFY(!ink.Empty());
    QVERIFY2(ink.Left >= expectedLeft && ink.Left <= expectedLeft + 4,
             qPrintable(QString::number(ink.Left)));
    if (option == bcoCode && above) {
        QVERIFY(ink.Top >= 70);
        QVERIFY(ink.Bottom < 70 + fm.height());
    } else if (!above) {
        QVERIFY(ink.Bottom < 170);
        QVERIFY(ink.Top >= 170 - fm.height());
    } else {
        // The name goes to Top + 2 * (negative font height): above the bars.
        const int pixelHeight = qRound(12 * img.logicalDpiY() / 72.0);
        QVERIFY(ink.Top >= 100 - 2 * pixelHeight);
        QVERIFY(ink.Bottom < 100 - 2 * pixelHeight + fm.height());
    }
}

void TestBarcode::charExtraIsExactPixels() {
    auto textInk = [](int extra) {
        TLinearBarcode b;
        b.setTyp(bcCode128C);
        b.setText(QStringLiteral("1111"));
        b.setLeft(20);
        b.setTop(80);
        b.setHeight(10);
        b.setShowText(bcoCode);
        b.setCharExtra(extra);
        b.setShowTextFont(QFont(QStringLiteral("DejaVu Sans"), 14));
        const QImage img = Draw(b, 400, 100);
        return Ink(img, QRect(0, 0, 400, 80));
    };
    const TInk plain = textInk(0), spaced = textInk(9);
    QCOMPARE(spaced.Left, plain.Left);
    QCOMPARE(spaced.Right - plain.Right, 3 * 9);
}

void TestBarcode::layoutBarsOnWholeDots_data() {
    QTest::addColumn<int>("typ");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("modul");
    QTest::addColumn<double>("angle");
    QTest::addColumn<int>("reduction");
    QTest::addColumn<QList<int>>("bars"); // the first three bars across, in dots
    // Code 128 start B is 2 1 1 2 1 4 modules, bar first; Code 39's start
    // character has bars narrow, narrow, wide, wide, narrow; PostNet bars are
    // all one module, full or half high.
    QTest::newRow("Code 128 B, 2 dots")
        << int(bcCode128B) << "A" << 2 << 0.0 << 0 << QList<int>{4, 2, 2};
    QTest::newRow("Code 128 B turned a quarter, a dot less a bar")
        << int(bcCode128B) << "A" << 2 << 90.0 << 1 << QList<int>{3, 1, 1};
    QTest::newRow("Code 39 at ratio 3, upside down")
        << int(bcCode39) << "A" << 1 << 180.0 << 0 << QList<int>{1, 1, 3};
    QTest::newRow("PostNet, 3 dots, three quarters")
        << int(bcCodePostNet) << "1" << 3 << 270.0 << 0 << QList<int>{3, 3, 3};
}

void TestBarcode::layoutBarsOnWholeDots() {
    QFETCH(int, typ);
    QFETCH(QString, text);
    QFETCH(int, modul);
    QFETCH(double, angle);
    QFETCH(int, reduction);
    QFETCH(QList<int>, bars);
    TLinearBarcode b;
    b.setTyp(TBarcodeType(typ));
    b.setText(text);
    b.setModul(modul);
    b.setRatio(3.0);
    b.setHeight(30);
    b.setLeft(40);
    b.setTop(50);
    b.setAngle(angle);
    b.setBarReduction(reduction);
    const TBarcodeLayout layout = b.Layout(nullptr);
    QCOMPARE(layout.Width, qint64(b.Width()));
    QVERIFY(layout.Polygons[0].empty() && layout.Polygons[1].empty());
    // Turned a quarter, the bars run across the page.
    const bool upright = std::fmod(angle, 180.0) == 0;
    QList<int> across;
    for (const QRectF& r : layout.Rects[1]) {
        // Every edge is a whole dot once the inset is taken back.
        const QRectF whole =
            upright ? r.adjusted(-BarInset, 0, BarInset, 0) : r.adjusted(0, -BarInset, 0, BarInset);
        for (double edge : {whole.left(), whole.right(), whole.top(), whole.bottom()})
            QCOMPARE(edge, std::round(edge));
        QVERIFY(layout.Box.contains(whole.toRect()));
        across << int(upright ? whole.width() : whole.height());
    }
    // The bars come from the symbol's start, wherever the turn put it.
    QCOMPARE(across.mid(0, 3), bars);
}

QTEST_MAIN(TestBarcode)
#include "tst_barcode.moc"
