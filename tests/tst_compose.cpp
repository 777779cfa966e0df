#include "TestSupport.h"

#include "base/Errors.h"
#include "model/Composer.h"
#include "model/bom/FileBom.h"
#include "model/bom/SettingBom.h"
#include "model/manager/FileMgrImpl.h"
#include "model/manager/SettingMgrImpl.h"

#include <QtTest>
#include <climits>

namespace {

QStringList LineNames(const TCPrint& page) {
    QStringList names;
    for (int i = 0; i < page.Lines().Count(); ++i)
        names << page.Lines().Items(i)->Items(0)->ItemName();
    return names;
}

TClock FixedClock(const QDateTime& at) {
    return [at] { return at; };
}

} // namespace

class TestCompose : public QObject {
    Q_OBJECT

private slots:
    // --- serial numbers ---------------------------------------------------------

    void serialValue_data() {
        QTest::addColumn<QString>("start");
        QTest::addColumn<int>("step");
        QTest::addColumn<bool>("decrease");
        QTest::addColumn<int>("page");
        QTest::addColumn<int>("expected");
        QTest::newRow("page 1 shows the start") << "1" << 1 << false << 1 << 1;
        QTest::newRow("page 250 counts up") << "1" << 1 << false << 250 << 250;
        QTest::newRow("page 0 is one step back") << "100" << 5 << false << 0 << 95;
        QTest::newRow("page 0 decreasing is one step up") << "100" << 5 << true << 0 << 105;
        QTest::newRow("negative page continues") << "100" << 5 << false << -2 << 85;
        QTest::newRow("negative page decreasing") << "100" << 5 << true << -2 << 115;
        QTest::newRow("decreasing page 1") << "100" << 5 << true << 1 << 100;
        QTest::newRow("decreasing page 3") << "100" << 5 << true << 3 << 90;
        QTest::newRow("decreasing page 30 goes negative") << "100" << 5 << true << 30 << -45;
        QTest::newRow("step 0 never moves") << "7" << 0 << false << 100000 << 7;
        QTest::newRow("negative step counts down") << "10" << -3 << false << 3 << 4;
        QTest::newRow("large page") << "0" << 1000 << false << 2000000 << 1999999000;
        QTest::newRow("past the largest value wraps") << "2147483647" << 1 << false << 2 << INT_MIN;
        QTest::newRow("below the smallest value wraps")
            << "-2147483648" << 1 << true << 2 << INT_MAX;
        QTest::newRow("product wraps") << "0" << 2 << false << INT_MAX << -4;
        QTest::newRow("smallest page number wraps") << "1" << 1 << false << INT_MIN << INT_MIN;
        QTest::newRow("large step and page") << "5" << 100000 << false << 50000 << 704932709;
    }
    void serialValue() {
        QFETCH(QString, start);
        QFETCH(int, step);
        QFETCH(bool, decrease);
        QFETCH(int, page);
        QFETCH(int, expected);
        TPrintItem item;
        item.SetItemValue(start);
        item.SetItemSerialStep(step);
        item.SetItemSerialDecrease(FlagText(decrease));
        QCOMPARE(SerialValue(item, page), expected);
    }

    void serialValueRefuses_data() {
        QTest::addColumn<QString>("start");
        QTest::newRow("letters") << "12a";
        QTest::newRow("decimal") << "1.5";
        QTest::newRow("empty") << "";
        QTest::newRow("beyond 32 bits") << "99999999999";
    }
    void serialValueRefuses() {
        QFETCH(QString, start);
        TPrintItem item;
        item.SetItemValue(start);
        QCOMPARE(ErrorMessage<EConvertError>([&] { SerialValue(item, 1); }),
                 QStringLiteral("'%1' is not a valid integer value").arg(start));
    }

    void getSerial_data() {
        QTest::addColumn<int>("value");
        QTest::addColumn<bool>("fillZero");
        QTest::addColumn<int>("length");
        QTest::addColumn<QString>("pre");  // null: prefix off
        QTest::addColumn<QString>("post"); // null: postfix off
        QTest::addColumn<QString>("expected");
        const QString off;
        QTest::newRow("plain") << 42 << false << 6 << off << off << "42";
        QTest::newRow("plain negative") << -5 << false << 4 << off << off << "-5";
        QTest::newRow("fill 6 with prefix") << 1 << true << 6 << "NO." << off << "NO.000001";
        QTest::newRow("fill 6 page 250") << 250 << true << 6 << "NO." << off << "NO.000250";
        QTest::newRow("fill 3 keeps longer values") << 12345 << true << 3 << off << off << "12345";
        QTest::newRow("fill keeps the minus in front") << -5 << true << 4 << off << off << "-0005";
        QTest::newRow("fill 5 of -45") << -45 << true << 5 << off << off << "-00045";
        QTest::newRow("fill 0 of 0") << 0 << true << 0 << off << off << "0";
        QTest::newRow("fill 0 of 7") << 7 << true << 0 << off << off << "7";
        QTest::newRow("fill 64, the most digits")
            << 7 << true << 64 << off << off << QString(63, u'0') + u'7';
        QTest::newRow("fill smallest value")
            << INT_MIN << true << 12 << off << off << "-002147483648";
        QTest::newRow("postfix") << 42 << false << 0 << off << "#"
                                 << "42#";
        QTest::newRow("prefix and postfix") << 9 << true << 3 << "A-"
                                            << "-Z"
                                            << "A-009-Z";
        QTest::newRow("empty prefix text") << 9 << false << 0 << "" << off << "9";
    }
    void getSerial() {
        QFETCH(int, value);
        QFETCH(bool, fillZero);
        QFETCH(int, length);
        QFETCH(QString, pre);
        QFETCH(QString, post);
        QFETCH(QString, expected);
        TPrintItem item;
        item.SetItemSerialIsFillZero(FlagText(fillZero));
        item.SetItemSerialLength(length);
        item.SetItemSerialHasPre(FlagText(!pre.isNull()));
        item.SetItemSerialPreText(pre.isNull() ? QStringLiteral("unused") : pre);
        item.SetItemSerialHasPostfix(FlagText(!post.isNull()));
        item.SetItemSerialPostfixText(post.isNull() ? QStringLiteral("unused") : post);
        QCOMPARE(::getSerial(item, value), expected);
    }

    // Only an exact "TRUE" switches a part on.
    void getSerialFlagsAreExact() {
        TPrintItem item;
        item.SetItemSerialIsFillZero(QStringLiteral("true"));
        item.SetItemSerialLength(5);
        item.SetItemSerialHasPre(QStringLiteral("True"));
        item.SetItemSerialPreText(QStringLiteral("P"));
        QCOMPARE(::getSerial(item, 3), QStringLiteral("3"));
    }

    void getSerialBadLength_data() {
        QTest::addColumn<int>("length");
        QTest::addColumn<QString>("message");
        QTest::newRow("negative") << -1 << "Format '%.-1d' invalid or incompatible with argument";
        QTest::newRow("65 digits") << 65 << "序列号位数 65 超过了上限 64";
        QTest::newRow("300 000 000 digits") << 300000000 << "序列号位数 300000000 超过了上限 64";
    }
    void getSerialBadLength() {
        QFETCH(int, length);
        QFETCH(QString, message);
        TPrintItem item;
        item.SetItemSerialIsFillZero(kTrue);
        item.SetItemSerialLength(length);
        QCOMPARE(ErrorMessage<EConvertError>([&] { ::getSerial(item, 3); }), message);
        // Without zero fill the length is not looked at.
        item.SetItemSerialIsFillZero(kFalse);
        QCOMPARE(::getSerial(item, 3), QStringLiteral("3"));
    }

    // --- pages --------------------------------------------------------------------

    void pageFields_data() {
        QTest::addColumn<double>("offsetX");
        QTest::addColumn<double>("offsetY");
        QTest::addColumn<int>("orientation");
        QTest::addColumn<int>("expectedX");
        QTest::addColumn<int>("expectedY");
        QTest::newRow("whole offsets") << 12.0 << -7.0 << 0 << 12 << -7;
        QTest::newRow("halves to even") << 12.5 << 13.5 << 1 << 12 << 14;
        QTest::newRow("negative halves to even") << -2.5 << -3.5 << 1 << -2 << -4;
        QTest::newRow("nearest") << 0.6 << -0.6 << 0 << 1 << -1;
    }
    void pageFields() {
        QFETCH(double, offsetX);
        QFETCH(double, offsetY);
        QFETCH(int, orientation);
        QFETCH(int, expectedX);
        QFETCH(int, expectedY);
        TestDatabase db;
        TSettingMgr settings;
        TFileMgr files;
        TProject project;
        project.SetProjectPageWidth(123.5);
        project.SetProjectPageHeight(77.25);
        project.SetProjectOffsetX(offsetX);
        project.SetProjectOffsetY(offsetY);
        project.SetProjectPaperOrientation(orientation);
        project.SetProjectDeviceName(QStringLiteral("KOVA_PDF_B"));
        project.SetProjectDefaultDevice(kFalse);
        const auto page = TPageComposer(settings, files).GenerateTCPrint(project, 1);
        QCOMPARE(page->PageWidth(), 123.5);
        QCOMPARE(page->PageHeight(), 77.25);
        QCOMPARE(page->OffsetX(), expectedX);
        QCOMPARE(page->OffsetY(), expectedY);
        QCOMPARE(page->PaperOrientation(), QString::number(orientation));
        QCOMPARE(page->DeviceName(), QStringLiteral("KOVA_PDF_B"));
        QCOMPARE(page->DeviceDefault(), kFalse);
        // The settings rows of a fresh database: 宋体, 12, clBlack, no style.
        QVERIFY(page->Font());
        QCOMPARE(*page->Font(), (TFont{QStringLiteral("宋体"), 12, clBlack, {}}));
        QCOMPARE(page->Lines().Count(), 0);
    }

    // The page font follows the settings table, not a fixed default.
    void pageFontFromSettings() {
        TestDatabase db;
        db.exec("update P_SETTING set setting_value = '20' where setting_name = 'font_size'");
        db.exec("update P_SETTING set setting_value = '[fsBoldfsUnderline]' where setting_name = "
                "'font_style'");
        TSettingMgr settings;
        TFileMgr files;
        TProject project;
        const auto page = TPageComposer(settings, files).GenerateTCPrint(project, 1);
        QCOMPARE(page->Font()->Size, 20);
        QCOMPARE(page->Font()->Style, TFontStyles(fsBold | fsUnderline));
    }

    void activeItemsInNameOrder_data() {
        QTest::addColumn<QStringList>("names");  // in creation order
        QTest::addColumn<QStringList>("active"); // ItemActive per item
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("name order whatever the creation")
            << QStringList{"B", "C", "A"} << QStringList{"TRUE", "TRUE", "TRUE"}
            << QStringList{"A", "B", "C"};
        QTest::newRow("disabled items left out")
            << QStringList{"A", "B", "C"} << QStringList{"TRUE", "FALSE", "TRUE"}
            << QStringList{"A", "C"};
        QTest::newRow("only exact TRUE is active")
            << QStringList{"A", "B", "C", "D"} << QStringList{"true", "", "True", "TRUE"}
            << QStringList{"D"};
        QTest::newRow("all disabled gives no lines")
            << QStringList{"A", "B"} << QStringList{"FALSE", "FALSE"} << QStringList{};
        QTest::newRow("no items") << QStringList{} << QStringList{} << QStringList{};
    }
    void activeItemsInNameOrder() {
        QFETCH(QStringList, names);
        QFETCH(QStringList, active);
        QFETCH(QStringList, expected);
        TestDatabase db;
        TSettingMgr settings;
        TFileMgr files;
        TProject project;
        for (int i = 0; i < names.size(); ++i)
            AddItem(project, itText, 0, 0, 0, 1.2, names[i], names[i])->SetItemActive(active[i]);
        const auto page = TPageComposer(settings, files).GenerateTCPrint(project, 1);
        QCOMPARE(LineNames(*page), expected);
        // The project's own list keeps its order: composing changes nothing.
        for (int i = 0; i < names.size(); ++i)
            QCOMPARE(project.ItemList()->Items(i)->ItemName(), names[i]);
        QCOMPARE(page->Count(), expected.size());
        for (int i = 0; i < page->Lines().Count(); ++i)
            QCOMPARE(page->Lines().Items(i)->Count(), 1);
    }

    void serialOnPages_data() {
        QTest::addColumn<int>("page");
        QTest::addColumn<QString>("expected");
        QTest::newRow("page 1") << 1 << "NO.000001";
        QTest::newRow("page 250") << 250 << "NO.000250";
        QTest::newRow("page 0") << 0 << "NO.000000";
        QTest::newRow("page -1") << -1 << "NO.-000001";
    }
    void serialOnPages() {
        QFETCH(int, page);
        QFETCH(QString, expected);
        TestDatabase db;
        TSettingMgr settings;
        TFileMgr files;
        TProject project;
        project.ItemList()->Add(SerialNumberItem());
        const auto composed = TPageComposer(settings, files).GenerateTCPrint(project, page);
        QCOMPARE(composed->Lines().Items(0)->Items(0)->Text(), expected);
    }

    // Every kind other than serials and dates shows its stored value as it is,
    // braces and all when they name no item of the project (there is one, 票号):
    // projects stored before fields print as they did.
    void textOfOtherKinds_data() {
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("value");
        QTest::newRow("text") << int(itText) << "合格证 No.1";
        QTest::newRow("line") << int(itLine) << "ignored";
        QTest::newRow("barcode") << int(itBarcode) << "0123456789";
        QTest::newRow("QR code") << int(itQRCode) << "https://example.com/?q=1";
        QTest::newRow("image file name") << int(itImage) << "logo";
        QTest::newRow("text that looks like a date format") << int(itText) << "yyyy-mm-dd";
        QTest::newRow("text, braces naming nothing") << int(itText) << "{未知}{ 票号 }{}{票号 ";
        QTest::newRow("barcode, a brace inside braces") << int(itBarcode) << "{x{y}";
        QTest::newRow("QR code, a closing brace first") << int(itQRCode) << "}{票号";
        QTest::newRow("image file name, which takes no fields") << int(itImage) << "{票号}";
    }
    void textOfOtherKinds() {
        QFETCH(int, type);
        QFETCH(QString, value);
        TestDatabase db;
        TSettingMgr settings;
        TFileMgr files;
        TProject project;
        project.ItemList()->Add(SerialNumberItem(QStringLiteral("票号")));
        TPrintItem* item = AddItem(project, type, 0, 0, 0, 1.2, value, QStringLiteral("项"));
        const auto page = TPageComposer(settings, files).GenerateTCPrint(project, 5);
        const TLineOfText& line = *page->Lines().Items(1);
        QCOMPARE(line.Item, item);
        QCOMPARE(line.Items(0)->Text(), value);
        QCOMPARE(line.Items(0)->ItemType(), type);
    }

    void dateItems_data() {
        QTest::addColumn<QString>("format");
        QTest::addColumn<QString>("expected");
        QTest::newRow("editor pattern") << "yyyy-m-d h:n:s:zz"
                                        << "2024-3-5 15:4:5:07";
        QTest::newRow("long date") << "dddddd"
                                   << "2024年3月5日星期二";
        QTest::newRow("c") << "c"
                           << "2024/3/5 15:04:05";
    }
    void dateItems() {
        QFETCH(QString, format);
        QFETCH(QString, expected);
        TestDatabase db;
        TSettingMgr settings;
        TFileMgr files;
        TPrintItem item;
        item.SetItemType(itDate);
        item.SetItemValue(format);
        item.SetItemSerialLength(3); // the date-style index; not used for the text
        item.SetItemFontSize("9");
        item.SetItemFontColor("clBlack");
        const TPageComposer composer(settings, files,
                                     FixedClock(QDateTime(QDate(2024, 3, 5), QTime(15, 4, 5, 7))),
                                     QLocale(QLocale::Chinese, QLocale::China));
        QCOMPARE(composer.GetOneLine(item, 1)->Items(0)->Text(), expected);
    }

    // Each date item reads the clock itself, once.
    void eachDateItemReadsTheClock() {
        TestDatabase db;
        TSettingMgr settings;
        TFileMgr files;
        TProject project;
        AddItem(project, itDate, 0, 0, 0, 1.2, "hh:nn:ss.zzz", "date 1");
        AddItem(project, itDate, 0, 0, 0, 1.2, "hh:nn:ss.zzz", "date 2");
        AddItem(project, itText, 0, 0, 0, 1.2, "x", "text");
        int reads = 0;
        const TClock ticking = [&reads] {
            ++reads;
            return QDateTime(QDate(2024, 1, 1), QTime(10, 0, 0)).addMSecs(reads * 1001);
        };
        const auto page = TPageComposer(settings, files, ticking,
                                        QLocale(QLocale::English, QLocale::UnitedStates))
                              .GenerateTCPrint(project, 1);
        QCOMPARE(reads, 2);
        QCOMPARE(page->Lines().Items(0)->Items(0)->Text(), QStringLiteral("10:00:01.001"));
        QCOMPARE(page->Lines().Items(1)->Items(0)->Text(), QStringLiteral("10:00:02.002"));
    }

    void everyFieldCopied() {
        TestDatabase db;
        TSettingMgr settings;
        TFileMgr files;
        TPrintItem item;
        item.SetItemName("barcode A");
        item.SetItemType(itBarcode);
        item.SetItemValue("12345670");
        item.SetItemRotateDegree(90.5);
        item.SetItemX(12.25);
        item.SetItemY(-3.5);
        item.SetItemTextWidth(40.125);
        item.SetItemLineHeight(15.75);
        item.SetItemCharExtra(7);
        item.SetItemOutlineMargin(1.5);
        item.SetItemOutlinePenWidth(3);
        item.SetItemOutlinePenStyle(0x0102); // only the low byte counts: dot
        item.SetItemOutlinePenColor("$00112233");
        item.SetItemAllowNewLine(kTrue);
        item.SetBarcodeType(11);
        item.SetBarcodeOption(2);
        item.SetBarcodePosition(3);
        item.SetBarcodeTextOffsetX(-4);
        item.SetBarcodeTextOffsetY(9);
        item.SetBarcodeModule(0.33);
        item.SetBarcodeRatio(2.5);
        item.SetQRcodeQuietZone(4);
        item.SetQRcodeEncoding(1);
        item.SetItemDefaultFont(kTrue); // not consulted: the item's own font is used
        item.SetItemFontName("AR PL UMing CN");
        item.SetItemFontSize("14");
        item.SetItemFontColor("clRed");
        item.SetItemFontStyle("[fsBoldfsItalic]");

        const auto line = TPageComposer(settings, files).GetOneLine(item, 3);
        QCOMPARE(line->Count(), 1);
        QVERIFY(!line->LineBreak && !line->PageBreak && !line->IsStripe);
        const TTextItem& t = *line->Items(0);
        QCOMPARE(t.ItemName(), QStringLiteral("barcode A"));
        QCOMPARE(t.ItemType(), int(itBarcode));
        QCOMPARE(t.Text(), QStringLiteral("12345670"));
        QCOMPARE(t.RotateDegree(), 90.5);
        QCOMPARE(t.x(), 12.25);
        QCOMPARE(t.y(), -3.5);
        QCOMPARE(t.TextWidth(), 40.125);
        QCOMPARE(t.LineHeight(), 15.75);
        QCOMPARE(t.ItemCharExtra(), 7);
        QCOMPARE(t.OutlineMargin(), 1.5);
        QCOMPARE(t.OutlinePenWidth(), 3);
        QCOMPARE(t.OutlinePenStyle(), psDot);
        QCOMPARE(t.OutlinePenColor(), TColor(0x00112233));
        QCOMPARE(t.AllowNewLine(), true);
        QCOMPARE(t.DrawOutline(), false);
        QCOMPARE(t.BarcodeType(), 11);
        QCOMPARE(t.BarcodeOption(), 2);
        QCOMPARE(t.BarcodePosition(), 3);
        QCOMPARE(t.BarcodeTextOffsetX(), -4);
        QCOMPARE(t.BarcodeTextOffsetY(), 9);
        QCOMPARE(t.BarcodeModule(), 0.33);
        QCOMPARE(t.BarcodeRatio(), 2.5);
        QCOMPARE(t.QRcodeQuietZone(), 4);
        QCOMPARE(t.QRcodeEncoding(), 1);
        QVERIFY(t.Font());
        QCOMPARE(*t.Font(), (TFont{QStringLiteral("AR PL UMing CN"), 14, TColor(0x0000FF),
                                   fsBold | fsItalic}));
        QVERIFY(t.ImageBody().isEmpty());
    }

    void allowNewLineOnlyWhenTrue_data() {
        QTest::addColumn<QString>("flag");
        QTest::addColumn<bool>("expected");
        QTest::newRow("TRUE") << "TRUE" << true;
        QTest::newRow("FALSE") << "FALSE" << false;
        QTest::newRow("true") << "true" << false;
        QTest::newRow("empty") << "" << false;
    }
    void allowNewLineOnlyWhenTrue() {
        QFETCH(QString, flag);
        QFETCH(bool, expected);
        TestDatabase db;
        TSettingMgr settings;
        TFileMgr files;
        TPrintItem item;
        item.SetItemAllowNewLine(flag);
        item.SetItemFontSize("9");
        item.SetItemFontColor("clBlack");
        QCOMPARE(TPageComposer(settings, files).GetOneLine(item, 1)->Items(0)->AllowNewLine(),
                 expected);
    }

    // The picture is read from the file store once for all pages of a run.
    void imageBytesFromTheStore() {
        TestDatabase db;
        TSettingMgr settings;
        TFileMgr files;
        QByteArray jpeg("\xFF\xD8\xFF\xE0", 4);
        for (int i = 0; i < 5000; ++i)
            jpeg.append(char(i * 7));
        jpeg.append("\xFF\xD9", 2);
        TCFile file;
        file.FileName = "logo";
        file.FileType = ".jpg";
        file.SetBody(jpeg);
        QVERIFY(files.SaveFile(file));

        TProject project;
        TPrintItem* image = AddItem(project, itImage, 0, 0, 0, 1.2, "logo", "image");
        image->SetFileId(file.Oid);
        TPrintItem* text = AddItem(project, itText, 0, 0, 0, 1.2, "t", "text with a file");
        text->SetFileId(file.Oid);
        AddItem(project, itText, 0, 0, 0, 1.2, "t", "text");

        const TPageComposer composer(settings, files);
        StatementRecorder recorder;
        const auto page1 = composer.GenerateTCPrint(project, 1);
        const auto page2 = composer.GenerateTCPrint(project, 2);
        QCOMPARE(page1->Lines().Items(0)->Items(0)->ImageBody(), jpeg);
        QCOMPARE(page1->Lines().Items(2)->Items(0)->ImageBody(), jpeg);
        QVERIFY(page1->Lines().Items(1)->Items(0)->ImageBody().isEmpty());
        QCOMPARE(page2->Lines().Items(0)->Items(0)->ImageBody(), jpeg);
        int reads = 0;
        for (const QString& sql : recorder.sqls())
            reads += sql.contains(QLatin1String("from P_FILE"), Qt::CaseInsensitive);
        QCOMPARE(reads, 1);
    }

    void missingFileGivesNoBytes() {
        TestDatabase db;
        TSettingMgr settings;
        TFileMgr files;
        TPrintItem item;
        item.SetItemType(itImage);
        item.SetItemFontSize("9");
        item.SetItemFontColor("clBlack");
        item.SetFileId("00000000-0000-0000-0000-000000000000");
        QVERIFY(
            TPageComposer(settings, files).GetOneLine(item, 1)->Items(0)->ImageBody().isEmpty());
    }

    // Bad stored texts stop composition with a conversion error naming the text.
    void conversionErrors_data() {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("message");
        QTest::newRow("serial value not an integer") << "ItemValue"
                                                     << "A12"
                                                     << "'A12' is not a valid integer value";
        QTest::newRow("pen colour unreadable") << "ItemOutlinePenColor"
                                               << "clSunset"
                                               << "'clSunset' is not a valid integer value";
        QTest::newRow("font colour unreadable") << "ItemFontColor"
                                                << "blue"
                                                << "'blue' is not a valid integer value";
        QTest::newRow("font size not an integer") << "ItemFontSize"
                                                  << "12.5"
                                                  << "'12.5' is not a valid integer value";
    }
    void conversionErrors() {
        QFETCH(QString, field);
        QFETCH(QString, value);
        QFETCH(QString, message);
        TestDatabase db;
        TSettingMgr settings;
        TFileMgr files;
        TProject project;
        TPrintItem* item = AddItem(project, itSerial, 0, 0, 0, 1.2, "1", "serial");
        item->SetPropValue(field, value);
        QCOMPARE(ErrorMessage<EConvertError>(
                     [&] { TPageComposer(settings, files).GenerateTCPrint(project, 1); }),
                 message);
    }
};

QTEST_MAIN(TestCompose)
#include "tst_compose.moc"
