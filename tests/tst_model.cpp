// Business objects, stored encodings and the setting manager.
#include "TestSupport.h"

#include "model/Colors.h"
#include "model/Convert.h"
#include "model/PrintModelImpl.h"
#include "model/bom/SettingBom.h"
#include "model/manager/SettingMgrImpl.h"

#include <QTest>

class TestModel : public QObject {
    Q_OBJECT

private slots:
    void newObjectsHaveTheirDefaults();
    void identifiersAreFreshGuids();
    void flagsCountOnlyExactTrue_data();
    void flagsCountOnlyExactTrue();
    void coloursConvertBothWays_data();
    void coloursConvertBothWays();
    void unreadableColourNamesTheText();
    void fontStylesConvertBothWays_data();
    void fontStylesConvertBothWays();
    void fontFromTextFailsOnBadSize();
    void setItemFontWritesNamesAndStyles();
    void stringListsSplitAtEveryComma_data();
    void stringListsSplitAtEveryComma();
    void penStyleListHasSixNames();
    void printItemListIsSortedForGood();
    void settingLookupIsCaseSensitive();
    void removingProjectDestroysItsItems();
    void assignCopiesItems();
    void pageDescriptions_data();
    void pageDescriptions();
    void settingManagerLoadsEverything();
    void savePageSettingUpdatesItsRow();
    void secondPrintModelAbortsSilently();
};

void TestModel::newObjectsHaveTheirDefaults() {
    TPrintItem i;
    QCOMPARE(i.ItemSerialStep(), 1);
    QCOMPARE(i.ItemLineHeight(), 1.2);
    QCOMPARE(i.ItemOutlinePenWidth(), 1);
    QCOMPARE(i.ItemOutlinePenStyle(), 5);
    QCOMPARE(i.ItemOutlinePenColor(), QString("clBlack"));
    QCOMPARE(i.BarcodeTextOffsetY(), 20);
    QCOMPARE(i.BarcodeModule(), 0.5);
    QCOMPARE(i.BarcodeRatio(), 2.0);
    QCOMPARE(i.QRcodeQuietZone(), 3);
    for (const char* flag : {"ItemSerialHasPre", "ItemSerialHasPostfix", "ItemSerialIsFillZero",
                             "ItemSerialDecrease", "ItemAllowNewLine"})
        QCOMPARE(i.GetPropValue(flag).toString(), QString("FALSE"));
    QCOMPARE(i.ItemDefaultFont(), QString("TRUE"));
    QCOMPARE(i.ItemActive(), QString("TRUE"));
    QVERIFY(i.ItemFontName().isEmpty() && i.ItemFontSize().isEmpty() &&
            i.ItemFontColor().isEmpty() && i.ItemFontStyle().isEmpty());
    QCOMPARE(int(i.ObjectState()), int(posEmpty));

    TProject p;
    QCOMPARE(p.ProjectPageWidth(), 210.0);
    QCOMPARE(p.ProjectPageHeight(), 297.0);
    QCOMPARE(p.ProjectPaperOrientation(), 0);
    QCOMPARE(p.ProjectOffsetX(), 0.0);
    QCOMPARE(p.ProjectFontName(), QString("宋体"));
    QCOMPARE(p.ProjectFontSize(), QString("16"));
    QCOMPARE(p.ProjectFontColor(), QString("clBlack"));
    QCOMPARE(p.ProjectFontStyle(), QString("[]"));
    QCOMPARE(p.ProjectDefaultDevice(), QString("TRUE"));
    QCOMPARE(p.ProjectSerialStart(), 1);
    QCOMPARE(p.ProjectSerialEnd(), 10);
    QCOMPARE(p.ItemList()->Count(), 0);
    QCOMPARE(p.ItemList()->OID(), p.OID());

    TPageSetting s;
    QVERIFY(s.OID().isEmpty());
}

void TestModel::identifiersAreFreshGuids() {
    TProject a, b;
    TPrintItem c;
    const QRegularExpression guid("^[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}$");
    for (const QString& oid : {a.OID(), b.OID(), c.OID()})
        QVERIFY2(guid.match(oid).hasMatch(), qPrintable(oid));
    QVERIFY(a.OID() != b.OID());
    const QString old = c.OID();
    c.GenerateNewOID();
    QVERIFY(c.OID() != old);
}

void TestModel::flagsCountOnlyExactTrue_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("set");
    QTest::newRow("TRUE") << "TRUE" << true;
    QTest::newRow("lower case") << "true" << false;
    QTest::newRow("empty") << "" << false;
    QTest::newRow("FALSE") << "FALSE" << false;
    QTest::newRow("padded") << "TRUE " << false;
}

void TestModel::flagsCountOnlyExactTrue() {
    QFETCH(QString, text);
    QFETCH(bool, set);
    QCOMPARE(IsTrue(text), set);
}

void TestModel::coloursConvertBothWays_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<quint32>("value");
    QTest::addColumn<QString>("written");
    QTest::newRow("black") << "clBlack" << 0x000000u << "clBlack";
    QTest::newRow("lower-case ident") << "clblack" << 0x000000u << "clBlack";
    QTest::newRow("red low byte") << "clRed" << 0x0000FFu << "clRed";
    QTest::newRow("navy") << "clNavy" << 0x800000u << "clNavy";
    QTest::newRow("money green") << "clMoneyGreen" << 0xC0DCC0u << "clMoneyGreen";
    QTest::newRow("none") << "clNone" << 0x1FFFFFFFu << "clNone";
    QTest::newRow("default") << "CLDEFAULT" << 0x20000000u << "clDefault";
    QTest::newRow("system window") << "clWindow" << 0xFF000005u << "clWindow";
    QTest::newRow("system menu bar") << "clMenuBar" << 0xFF00001Eu << "clMenuBar";
    QTest::newRow("hex outside table") << "$00123456" << 0x123456u << "$00123456";
    QTest::newRow("lower hex") << "$00abcdef" << 0xABCDEFu << "$00ABCDEF";
    QTest::newRow("decimal") << "255" << 0xFFu << "clRed";
    QTest::newRow("decimal outside table") << "1193046" << 0x123456u << "$00123456";
}

void TestModel::coloursConvertBothWays() {
    QFETCH(QString, text);
    QFETCH(quint32, value);
    QFETCH(QString, written);
    QCOMPARE(StringToColor(text), value);
    QCOMPARE(ColorToString(value), written);
    QCOMPARE(StringToColor(written), value);
}

void TestModel::unreadableColourNamesTheText() {
    for (const QString& bad : {QString("clBlak"), QString("$xyz"), QString(""), QString("12a")})
        QCOMPARE(ErrorMessage<EConvertError>([&] { StringToColor(bad); }),
                 QString("'%1' is not a valid integer value").arg(bad));
    QCOMPARE(ColorToQColor(0x0000FF), QColor(255, 0, 0));
    QCOMPARE(QColorToColor(QColor(0, 0, 128)), 0x800000u);
}

void TestModel::fontStylesConvertBothWays_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("style");
    QTest::addColumn<QString>("written");
    QTest::newRow("none") << "[]" << 0 << "[]";
    QTest::newRow("bold italic") << "[fsBoldfsItalic]" << int(fsBold | fsItalic) << "[fsBoldfsItalic]";
    QTest::newRow("reordered") << "[fsItalicfsBold]" << int(fsBold | fsItalic) << "[fsBoldfsItalic]";
    QTest::newRow("with commas") << "[fsBold,fsUnderline]" << int(fsBold | fsUnderline)
                                 << "[fsBoldfsUnderline]";
    QTest::newRow("all four") << "[fsStrikeOutfsUnderlinefsItalicfsBold]"
                              << int(fsBold | fsItalic | fsUnderline | fsStrikeOut)
                              << "[fsBoldfsItalicfsUnderlinefsStrikeOut]";
    QTest::newRow("upper case is no style") << "[FSBOLD]" << 0 << "[]";
    QTest::newRow("empty text") << "" << 0 << "[]";
}

void TestModel::fontStylesConvertBothWays() {
    QFETCH(QString, text);
    QFETCH(int, style);
    QFETCH(QString, written);
    QCOMPARE(int(TSettingMgr::GetFontStyle(text)), style);
    TFont font;
    font.Style = TSettingMgr::GetFontStyle(text);
    QCOMPARE(TSettingMgr::GetFontStyleString(font), written);
}

void TestModel::fontFromTextFailsOnBadSize() {
    TestDatabase db;
    TSettingMgr mgr;
    const TFont f = mgr.getFontbyValue("宋体", "16", "clNavy", "[fsBold]");
    QCOMPARE(f.Name, QString("宋体"));
    QCOMPARE(f.Size, 16);
    QCOMPARE(f.Color, clNavy);
    QCOMPARE(int(f.Style), int(fsBold));
    QVERIFY_THROWS_EXCEPTION(EConvertError, mgr.getFontbyValue("A", "12pt", "clBlack", "[]"));
    QVERIFY_THROWS_EXCEPTION(EConvertError, mgr.getFontbyValue("A", "", "clBlack", "[]"));
    QVERIFY_THROWS_EXCEPTION(EConvertError, mgr.getFontbyValue("A", "12", "blackish", "[]"));
    QCOMPARE(StrToInt("-2147483648"), -2147483647 - 1);
    QVERIFY_THROWS_EXCEPTION(EConvertError, StrToInt("2147483648"));
}

void TestModel::setItemFontWritesNamesAndStyles() {
    TestDatabase db;
    TSettingMgr mgr;
    TPrintItem item;
    TFont f{"AR PL UMing CN", 12, clNavy, fsItalic | fsStrikeOut};
    mgr.setItemFont(item, f);
    QCOMPARE(item.ItemFontName(), QString("AR PL UMing CN"));
    QCOMPARE(item.ItemFontSize(), QString("12"));
    QCOMPARE(item.ItemFontColor(), QString("clNavy"));
    QCOMPARE(item.ItemFontStyle(), QString("[fsItalicfsStrikeOut]"));
    QCOMPARE(item.ItemDefaultFont(), QString("TRUE"));
    QCOMPARE(int(item.ObjectState()), int(posEmpty));
    f.Color = 0x123456;
    mgr.setItemFont(item, f);
    QCOMPARE(item.ItemFontColor(), QString("$00123456"));
    QCOMPARE(mgr.getItemFont(item), f);
}

void TestModel::stringListsSplitAtEveryComma_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("entries");
    QTest::newRow("two") << "a,b" << QStringList{"a", "b"};
    QTest::newRow("empty middle") << "a,,b" << QStringList{"a", "", "b"};
    QTest::newRow("trailing comma") << "a," << QStringList{"a", ""};
    QTest::newRow("empty text") << "" << QStringList{""};
    QTest::newRow("item kinds") << "文本,序列号,线条,条形码,二维码,图片,日期"
                                << QStringList{"文本", "序列号", "线条", "条形码", "二维码", "图片", "日期"};
}

void TestModel::stringListsSplitAtEveryComma() {
    QFETCH(QString, text);
    QFETCH(QStringList, entries);
    QCOMPARE(TSettingMgr::getStringList(text), entries);
}

void TestModel::penStyleListHasSixNames() {
    const QStringList list = TSettingMgr::getPenStyleList();
    QCOMPARE(list.size(), 6);
    QCOMPARE(list.first(), QString("实线"));
    QCOMPARE(list.last(), QString("无"));
}

void TestModel::printItemListIsSortedForGood() {
    TProject p;
    for (const char* name : {"b", "A", "c"}) {
        auto* item = new TPrintItem;
        item->SetItemName(name);
        p.ItemList()->Add(item);
    }
    const auto list = p.GetPrintItemList();
    QCOMPARE(list.size(), 3);
    QCOMPARE(list.at(0).first, QString("A"));
    QCOMPARE(list.at(1).first, QString("b"));
    QCOMPARE(list.at(2).first, QString("c"));
    QCOMPARE(list.at(1).second, p.ItemList()->Items(1));
    QCOMPARE(p.ItemList()->Items(0)->ItemName(), QString("A"));
    QCOMPARE(p.ItemList()->Items(2)->ItemName(), QString("c"));
    QCOMPARE(p.ItemList()->Items(0)->Owner(), &p);
}

void TestModel::settingLookupIsCaseSensitive() {
    TPageSettingList list;
    auto* s = new TPageSetting;
    s->Setname("font_name");
    list.Add(s);
    QCOMPARE(list.GetItemByName("font_name"), s);
    QCOMPARE(list.GetItemByName("Font_Name"), nullptr);
    QCOMPARE(s->Owner(), &list);
}

void TestModel::removingProjectDestroysItsItems() {
    // The item's lifetime is watched through a subclass that reports its destruction.
    static int alive = 0;
    struct Watched : TPrintItem {
        Watched() { ++alive; }
        ~Watched() override { --alive; }
    };
    TProjectList list;
    auto* p = new TProject;
    list.Add(p);
    p->ItemList()->Add(new Watched);
    p->ItemList()->Add(new Watched);
    QCOMPARE(alive, 2);
    list.Remove(p);
    QCOMPARE(alive, 0);
    QCOMPARE(list.Count(), 0);
}

void TestModel::assignCopiesItems() {
    TProject a;
    a.SetProjectName("src");
    a.SetProjectSerialStart(41);
    auto* item = new TPrintItem;
    item->SetItemValue("v");
    a.ItemList()->Add(item);
    TProject b;
    b.AssignClassProps(a);
    QCOMPARE(b.ProjectName(), QString("src"));
    QCOMPARE(b.ProjectSerialStart(), 41);
    QCOMPARE(b.ItemList()->Count(), 1);
    QVERIFY(b.ItemList()->Items(0) != item);
    QCOMPARE(b.ItemList()->Items(0)->ItemValue(), QString("v"));
    QCOMPARE(b.ItemList()->Items(0)->Owner(), &b);
}

void TestModel::pageDescriptions_data() {
    QTest::addColumn<double>("width");
    QTest::addColumn<double>("height");
    QTest::addColumn<int>("orientation");
    QTest::addColumn<double>("x");
    QTest::addColumn<double>("y");
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("text");
    QTest::newRow("new project") << 210.0 << 297.0 << 0 << 0.0 << 0.0 << "C"
                                 << "纸张大小：210×297 打印方向：纵向 偏移X：0 偏移Y：0";
    QTest::newRow("landscape fraction") << 100.0 << 50.5 << 1 << 1.0 << -2.0 << "zh_CN"
                                        << "纸张大小：100×50.5 打印方向：横向 偏移X：1 偏移Y：-2";
    QTest::newRow("comma locale") << 100.0 << 50.5 << 2 << 0.25 << 0.0 << "de_DE"
                                  << "纸张大小：100×50,5 打印方向：横向 偏移X：0,25 偏移Y：0";
    QTest::newRow("fifteen digits") << 1.0 / 3.0 << 297.0 << 0 << 0.0 << 0.0 << "C"
                                    << "纸张大小：0.333333333333333×297 打印方向：纵向 偏移X：0 偏移Y：0";
}

void TestModel::pageDescriptions() {
    QFETCH(double, width);
    QFETCH(double, height);
    QFETCH(int, orientation);
    QFETCH(double, x);
    QFETCH(double, y);
    QFETCH(QString, locale);
    QFETCH(QString, text);
    const QLocale saved;
    QLocale::setDefault(QLocale(locale));
    TestDatabase db;
    TSettingMgr mgr;
    TProject p;
    p.SetProjectPageWidth(width);
    p.SetProjectPageHeight(height);
    p.SetProjectPaperOrientation(orientation);
    p.SetProjectOffsetX(x);
    p.SetProjectOffsetY(y);
    QCOMPARE(mgr.GetProjectPageInfo(p), text);
    QLocale::setDefault(saved);
}

void TestModel::settingManagerLoadsEverything() {
    TestDatabase db;
    {
        TProjectList list;
        auto* p = new TProject;
        list.Add(p);
        auto* item = new TPrintItem;
        p->ItemList()->Add(item);
        p->SetDirty(true);
        item->SetDirty(true);
        p->Save();
    }
    TSettingMgr mgr;
    QCOMPARE(mgr.PageSettingList()->Count(), 10);
    QCOMPARE(mgr.ProjectList()->Count(), 1);
    QCOMPARE(mgr.ProjectList()->Items(0)->ItemList()->Count(), 1);
    QCOMPARE(mgr.GetProjectList().size(), 1);
    QCOMPARE(mgr.GetProjectList().at(0).second, mgr.ProjectList()->Items(0));
    const TFont f = mgr.GetFont();
    QCOMPARE(f.Name, QString("宋体"));
    QCOMPARE(f.Size, 12);
    QCOMPARE(f.Color, clBlack);
    QCOMPARE(int(f.Style), 0);
    QCOMPARE(mgr.GetPageInfo(), QString("纸张大小：210×297 打印方向：纵向 偏移X：0 偏移Y：0"));
    QCOMPARE(mgr.GetPageSettingByKey("FONT_NAME"), nullptr);
}

void TestModel::savePageSettingUpdatesItsRow() {
    TestDatabase db;
    TSettingMgr mgr;
    StatementRecorder rec;
    mgr.SavePageSetting("font_size", "14");
    QCOMPARE(rec.sqls(), QStringList{
        "update P_SETTING set setting_name =:setting_name, setting_value =:setting_value where oid =:oid"});
    QCOMPARE(db.scalar("select setting_value from P_SETTING where setting_name = 'font_size'").toString(),
             QString("14"));
    QCOMPARE(mgr.GetFont().Size, 14);
}

void TestModel::secondPrintModelAbortsSilently() {
    TestDatabase db;
    TPrintModel first;
    first.Load();
    QVERIFY(first.SettingMgr());
    QVERIFY(first.FileMgr());
    QVERIFY_THROWS_EXCEPTION(EAbort, TPrintModel());
    QCOMPARE(TPrintModel::CInstance(), &first);
}

QTEST_MAIN(TestModel)
#include "tst_model.moc"
