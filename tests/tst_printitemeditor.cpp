// The print item editor: the seven kinds created through the main window and
// read back from the database, the checks on save, the previews, pictures
// loaded from files, and the summary pictures of the main window.
#include "TestSupport.h"

#include "PrintMain.h"
#include "fbarcode/Barcode.h"
#include "fbarcode/QRCode.h"
#include "model/Fields.h"
#include "model/ItemEditing.h"
#include "model/PrintCommon.h"
#include "model/SummaryPicture.h"
#include "model/manager/FileMgrImpl.h"
#include "view/KovaApplication.h"
#include "view/printItemEditor.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <QTimer>
#include <functional>

namespace {

// Runs action on the next modal widget of type T once it is up, for as long as
// *armed holds.
template <class T>
void whenModal(std::function<void(T*)> action,
               std::shared_ptr<bool> armed = std::make_shared<bool>(true)) {
    QTimer::singleShot(20, [action, armed] {
        if (!*armed)
            return;
        if (auto* w = qobject_cast<T*>(QApplication::activeModalWidget()))
            action(w);
        else
            whenModal<T>(action, armed);
    });
}

struct Box {
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
};

// Answers the next message box with OK and keeps what it said; disarm by
// setting the returned flag to false.
std::shared_ptr<bool> answerNextBox(QList<Box>* seen) {
    auto armed = std::make_shared<bool>(true);
    whenModal<QMessageBox>(
        [seen](QMessageBox* box) {
            *seen << Box{box->text(), box->icon()};
            box->button(QMessageBox::Ok)->click();
        },
        armed);
    return armed;
}

void setNumber(QWidget* editor, const char* name, double value) {
    Child<QDoubleSpinBox>(editor, name)->setValue(value);
}

// Reads a file through zbarimg: "TYPE:data" lines, trimmed.
QString scan(const QString& path) {
    QProcess zbar;
    zbar.start(QStringLiteral("zbarimg"), {QStringLiteral("-q"), path});
    zbar.waitForFinished(30000);
    return QString::fromUtf8(zbar.readAllStandardOutput()).trimmed();
}

// A small photograph-like JPEG written by the platform's encoder.
QByteArray makeJpeg(const QString& path) {
    QImage image(64, 48, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            image.setPixelColor(x, y, QColor(x * 4, y * 5, 128));
    if (!image.save(path, "JPG"))
        qFatal("cannot write %s", qPrintable(path));
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    return file.readAll();
}

} // namespace

class TestPrintItemEditor : public QObject, MainWindowFixture {
    Q_OBJECT

private slots:
    void init() { setUp(); }
    void cleanup() { tearDown(); }

    void createsEachKind_data();
    void createsEachKind();
    void editKeepsTypeFixed_data();
    void editKeepsTypeFixed();
    void refusedSaveLeavesItem_data();
    void refusedSaveLeavesItem();
    void databaseRefusalKeepsInput();
    void refusedSaveKeepsStoredPicture_data();
    void refusedSaveKeepsStoredPicture();
    void closingAsksAboutChanges_data();
    void closingAsksAboutChanges();
    void defaultsFollowNewType_data();
    void defaultsFollowNewType();
    void loadedPictureIsStoredAsIs();
    void damagedPictureIsRefused();
    void barcodePreviewFillsWidth();
    void barcodePreviewClickMovesSymbol();
    void brokenStoredBarcodeStillOpens();
    void qrPreviewQuietZone_data();
    void qrPreviewQuietZone();
    void serialSample();
    void barcodeSampleIgnoresPrintedSize_data();
    void barcodeSampleIgnoresPrintedSize();
    void qrSampleHasBorderOfThree_data();
    void qrSampleHasBorderOfThree();
    void pictureRowsOfSummary_data();
    void pictureRowsOfSummary();
    void fieldsOfTheWindowsStartPage();

private:
    void start();
    // An editor of item (an edit of it when `editing`) on the stored project in
    // the main window, shown unless `shown` is false.
    std::unique_ptr<TprintItemEditorView> openEditor(TPrintItem& item, bool editing,
                                                     bool shown = true);
    TProject* project() { return PrintModel->SettingMgr()->ProjectList()->Items(0); }
    // Opens the editor from the main window, runs fill on it and saves. When a
    // box refuses the save, refused runs on the still open editor, which is then
    // closed.
    QList<Box> drive(QPushButton* opener, std::function<void(TprintItemEditorView*)> fill,
                     std::function<void(TprintItemEditorView*)> refused = {});

    // The tests' project "p": items on the default font take DejaVu Sans 11.
    const TestProject base = TestProject().with([](TProject& p) {
        p.SetProjectFontName("DejaVu Sans");
        p.SetProjectFontSize("11");
    });
    QTemporaryDir files;
};

void TestPrintItemEditor::start() {
    frm = OpenMainWindow(ProgramDirFor(*db));
    QVERIFY(frm);
    frm->cbbProjectList->setCurrentIndex(0);
    frm->cbbProjectListChange();
}

std::unique_ptr<TprintItemEditorView> TestPrintItemEditor::openEditor(TPrintItem& item,
                                                                      bool editing, bool shown) {
    base.store();
    start();
    auto editor = std::make_unique<TprintItemEditorView>();
    editor->SetData(&item, project(), editing);
    if (shown)
        editor->show();
    return editor;
}

QList<Box> TestPrintItemEditor::drive(QPushButton* opener,
                                      std::function<void(TprintItemEditorView*)> fill,
                                      std::function<void(TprintItemEditorView*)> refused) {
    QList<Box> boxes;
    whenModal<TprintItemEditorView>([&](TprintItemEditorView* e) {
        fill(e);
        auto armed = answerNextBox(&boxes);
        QTest::mouseClick(Child<QPushButton>(e, "btnSave"), Qt::LeftButton);
        *armed = false;
        if (e->isVisible()) {
            if (refused)
                refused(e);
            e->reject();
        }
    });
    QTest::mouseClick(opener, Qt::LeftButton);
    return boxes;
}

void TestPrintItemEditor::createsEachKind_data() {
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("content");
    QTest::addColumn<QVariantMap>("expected"); // P_ITEM column -> value

    QTest::newRow("text") << 0 << "音乐会入场券"
                          << QVariantMap{
                                 {"item_value", "音乐会入场券"}, {"allow_newline", "TRUE"},
                                 {"text_width", 40.5},           {"line_height", 1.5},
                                 {"item_rotate_degree", 90.0},   {"outline_pen_Style", 0},
                                 {"outline_pen_Color", "clRed"}, {"outline_pen_width", 3},
                                 {"outline_margin", 1.25},       {"use_default_font", "TRUE"},
                                 {"font_name", "DejaVu Sans"},   {"font_size", "11"}};
    QTest::newRow("serial") << 1 << "42"
                            << QVariantMap{
                                   {"item_value", "42"},        {"serial_has_pre", "TRUE"},
                                   {"serial_pre_text", "NO-"},  {"serial_is_fill_zero", "TRUE"},
                                   {"serial_length", 5},        {"serial_step", 3},
                                   {"serial_decrease", "TRUE"}, {"allow_newline", "FALSE"}};
    QTest::newRow("line") << 2 << ""
                          << QVariantMap{{"item_x", 12.5},         {"item_y", 7.25},
                                         {"text_width", 100.0},    {"line_height", 7.25},
                                         {"outline_pen_Style", 0}, {"outline_pen_width", 3}};
    QTest::newRow("barcode") << 3 << "ABC"
                             << QVariantMap{{"item_value", "ABC"},
                                            {"barcode_type", 6},
                                            {"barcode_option", 1},
                                            {"barcode_position", 5},
                                            {"barcode_module", 0.3},
                                            {"barcode_ratio", 2.0},
                                            {"barcode_text_offset_y", 20},
                                            {"allow_newline", "FALSE"},
                                            // Code 128: 68 modules of 3 preview pixels.
                                            {"text_width", 204.0},
                                            {"line_height", 20.0}};
    QTest::newRow("qr") << 4 << "https://kova.example/票"
                        << QVariantMap{{"item_value", "https://kova.example/票"},
                                       {"qrcode_encoding", 5},
                                       {"qrcode_quiet_zone", 2},
                                       {"text_width", 30.0},
                                       {"line_height", 30.0}};
    QTest::newRow("image") << 5 << ""
                           << QVariantMap{{"item_value", "logo.big.jpg"},
                                          {"text_width", 32.0},
                                          {"line_height", 24.0}};
    QTest::newRow("date") << 6 << ""
                          << QVariantMap{{"item_value", "yyyy-m-d h:n:s:zz"},
                                         {"serial_length", 6},
                                         {"is_active", "FALSE"}};
}

void TestPrintItemEditor::createsEachKind() {
    QFETCH(int, type);
    QFETCH(QString, content);
    QFETCH(QVariantMap, expected);
    base.store();
    start();
    const QString picture = files.filePath("logo.big.jpg");
    const QByteArray jpeg = makeJpeg(picture);

    const QList<Box> boxes = drive(frm->btnAdd, [&](TprintItemEditorView* e) {
        QCOMPARE(e->windowTitle(), QString("打印项添加/编辑"));
        QVERIFY(Child<QComboBox>(e, "cbbItemType")->isEnabled());
        Child<QComboBox>(e, "cbbItemType")->setCurrentIndex(type);
        Child<QLineEdit>(e, "itemName")->setText("新打印项");
        if (!content.isEmpty())
            Child<QPlainTextEdit>(e, "ItemValue")->setPlainText(content);
        setNumber(e, "ItemX", 12.5);
        setNumber(e, "ItemY", 7.25);
        switch (type) {
        case 0:
            Child<QCheckBox>(e, "chkAllowNewline")->click();
            setNumber(e, "itemTextWidth", 40.5);
            setNumber(e, "itemLineHeight", 1.5);
            setNumber(e, "edtRotate", 90);
            Child<QComboBox>(e, "olStyle")->setCurrentIndex(0);
            Child<QComboBox>(e, "olColor")->setCurrentText("clRed");
            setNumber(e, "olPenWidth", 3);
            setNumber(e, "olMargin", 1.25);
            break;
        case 1:
            Child<QCheckBox>(e, "chkSerialPre")->click();
            Child<QLineEdit>(e, "edtPre1")->setText("NO-");
            Child<QCheckBox>(e, "chkPrnNum")->click();
            setNumber(e, "edtPrnNum", 5);
            setNumber(e, "editSerialStep", 3);
            Child<QCheckBox>(e, "chkSerialDecrease")->click();
            break;
        case 2:
            setNumber(e, "itemTextWidth", 100);
            setNumber(e, "itemLineHeight", 7.25);
            Child<QComboBox>(e, "olStyle")->setCurrentIndex(0);
            setNumber(e, "olPenWidth", 3);
            break;
        case 3:
            Child<QComboBox>(e, "barcodeType")->setCurrentIndex(6);
            Child<QComboBox>(e, "barcodeOption")->setCurrentIndex(1);
            Child<QComboBox>(e, "barcodePosition")->setCurrentIndex(5);
            Child<QSpinBox>(e, "barcodeModule")->setValue(3);
            Child<QSpinBox>(e, "barcodeRatio")->setValue(20);
            QTest::mouseClick(Child<QPushButton>(e, "btnBarcodePreview"), Qt::LeftButton);
            break;
        case 4:
            Child<QComboBox>(e, "qCode")->setCurrentIndex(5);
            Child<QLineEdit>(e, "qQuietZone")->setText("2");
            break;
        case 5:
            e->SetPictureChooser([picture](QWidget*) { return picture; });
            QTest::mouseClick(Child<QPushButton>(e, "btnLoadImg"), Qt::LeftButton);
            break;
        case 6:
            Child<QComboBox>(e, "cbbDateStyle")->setCurrentIndex(6);
            Child<QCheckBox>(e, "chkStatus")->setChecked(false);
            break;
        }
    });
    QCOMPARE(boxes.size(), 0);
    QCOMPARE(db->count("P_ITEM"), 1);
    QCOMPARE(db->scalar("select item_name from P_ITEM").toString(), QString("新打印项"));
    QCOMPARE(db->scalar("select item_type from P_ITEM").toInt(), type);
    QCOMPARE(db->scalar("select project_id from P_ITEM").toString(), project()->OID());
    for (auto it = expected.cbegin(); it != expected.cend(); ++it) {
        const QVariant stored = db->scalar("select " + it.key() + " from P_ITEM");
        if (it.value().typeId() == QMetaType::Double)
            QVERIFY2(qFuzzyCompare(stored.toDouble(), it.value().toDouble()),
                     qPrintable(it.key() + " = " + stored.toString()));
        else
            QVERIFY2(stored.toString() == it.value().toString(),
                     qPrintable(it.key() + " = " + stored.toString()));
    }
    // The new item is in the project, selected and summarised.
    QCOMPARE(project()->ItemList()->Count(), 1);
    QCOMPARE(frm->CurrItem(), project()->ItemList()->Items(0));
    QCOMPARE(int(frm->CurrItem()->ObjectState()), int(posClean));
    QCOMPARE(frm->ItemListBox->count(), 1);
    QCOMPARE(frm->itemNameLabel->text(), QString("新打印项"));
    if (type == 5) {
        const QString fileId = db->scalar("select file_id from P_ITEM").toString();
        QCOMPARE(db->scalar("select body from P_FILE where oid = '" + fileId + "'").toByteArray(),
                 jpeg);
        QCOMPARE(db->scalar("select owner from P_FILE").toString(), frm->CurrItem()->OID());
        QCOMPARE(db->scalar("select file_name from P_FILE").toString(), QString("logo.big"));
        QCOMPARE(db->scalar("select file_type from P_FILE").toString(), QString(".jpg"));
        QCOMPARE(db->scalar("select file_size from P_FILE").toInt(), jpeg.size());
        QVERIFY(!frm->imageItem->pixmap().isNull());
    }
}

void TestPrintItemEditor::editKeepsTypeFixed_data() {
    QTest::addColumn<bool>("byDoubleClick");
    QTest::newRow("edit button") << false;
    QTest::newRow("double click") << true;
}

void TestPrintItemEditor::editKeepsTypeFixed() {
    QFETCH(bool, byDoubleClick);
    auto* item = new TPrintItem;
    item->SetItemName("old");
    item->SetItemType(itQRCode);
    item->SetItemValue("KOVA");
    item->SetItemTextWidth(30);
    item->SetItemLineHeight(30);
    base.store({item});
    start();
    frm->ItemListBox->setCurrentRow(0);
    bool typeEnabled = true;
    int shownType = -1;
    auto fill = [&](TprintItemEditorView* e) {
        typeEnabled = Child<QComboBox>(e, "cbbItemType")->isEnabled();
        shownType = Child<QComboBox>(e, "cbbItemType")->currentIndex();
        Child<QLineEdit>(e, "itemName")->setText("renamed");
    };
    if (byDoubleClick) {
        whenModal<TprintItemEditorView>([&](TprintItemEditorView* e) {
            fill(e);
            Child<QPushButton>(e, "btnSave")->click();
        });
        const QRect row = frm->ItemListBox->visualItemRect(frm->ItemListBox->item(0));
        // A double click is a press on the row followed by the double-click event.
        QTest::mouseClick(frm->ItemListBox->viewport(), Qt::LeftButton, {}, row.center());
        QTest::mouseDClick(frm->ItemListBox->viewport(), Qt::LeftButton, {}, row.center());
    } else {
        QCOMPARE(drive(frm->btnEdit, fill).size(), 0);
    }
    QVERIFY(!typeEnabled);
    QCOMPARE(shownType, int(itQRCode));
    QCOMPARE(db->count("P_ITEM"), 1);
    QCOMPARE(db->scalar("select item_name from P_ITEM").toString(), QString("renamed"));
    QCOMPARE(frm->ItemListBox->item(0)->text(), QString("renamed"));
}

void TestPrintItemEditor::refusedSaveLeavesItem_data() {
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("content");
    QTest::addColumn<double>("width");
    QTest::addColumn<double>("height");
    QTest::addColumn<bool>("wrap");
    QTest::addColumn<int>("dateStyle");
    QTest::addColumn<double>("step");
    QTest::addColumn<QString>("message");
    QTest::addColumn<bool>("information");
    QTest::addColumn<QString>("focus");

    QTest::newRow("1 name empty") << 0 << ""
                                  << "x" << 0.0 << 1.2 << false << -1 << 1.0 << "请输入项目名称。"
                                  << true << "itemName";
    QTest::newRow("1 name of blanks")
        << 0 << "   "
        << "x" << 0.0 << 1.2 << false << -1 << 1.0 << "请输入项目名称。" << true << "itemName";
    QTest::newRow("2 serial not a number") << 1 << "s"
                                           << "A1" << 0.0 << 1.2 << false << -1 << 1.0
                                           << "序列号打印内容请输入数字。" << false << "ItemValue";
    QTest::newRow("3 qr width 0") << 4 << "q"
                                  << "x" << 0.0 << 30.0 << false << -1 << 1.0 << "宽度不能为0。"
                                  << false << "itemTextWidth";
    QTest::newRow("3 image width 0")
        << 5 << "i"
        << "" << 0.0 << 24.0 << false << -1 << 1.0 << "宽度不能为0。" << false << "itemTextWidth";
    QTest::newRow("4 barcode width 0")
        << 3 << "b"
        << "123" << 0.0 << 20.0 << false << -1 << 1.0 << "宽度不能为0，点击预览生成宽度。" << false
        << "itemTextWidth";
    QTest::newRow("5 text empty") << 0 << "t"
                                  << "" << 0.0 << 1.2 << false << -1 << 1.0 << "请输入内容。"
                                  << false << "ItemValue";
    QTest::newRow("5 qr empty") << 4 << "q"
                                << "" << 30.0 << 30.0 << false << -1 << 1.0 << "请输入内容。"
                                << false << "ItemValue";
    QTest::newRow("6 wrap without width")
        << 1 << "s"
        << "12" << 0.0 << 1.2 << true << -1 << 1.0 << "自动换行时，文本宽度不能为0。" << false
        << "itemTextWidth";
    QTest::newRow("7 date without style")
        << 6 << "d"
        << "" << 0.0 << 1.2 << false << -1 << 1.0 << "请选中日期格式" << false << "";
    QTest::newRow("8 line end y 0") << 2 << "l"
                                    << "" << 50.0 << 0.0 << false << -1 << 1.0
                                    << "行高或者高度不能为0。" << false << "itemLineHeight";
    QTest::newRow("9 step rounds to 0") << 1 << "s"
                                        << "12" << 0.0 << 1.2 << false << -1 << 0.4
                                        << "序列号步长不能为0。" << false << "editSerialStep";
    QTest::newRow("10 step not whole") << 1 << "s"
                                       << "12" << 0.0 << 1.2 << false << -1 << 2.5
                                       << "序列号步长必须是整数。" << false << "editSerialStep";
    QTest::newRow("11 image without a picture")
        << 5 << "i"
        << "" << 30.0 << 24.0 << false << -1 << 1.0 << "请选择图片" << false << "";
    // The encoder's own words: a content it refuses fails every run of the project.
    QTest::newRow("12 letter in a digits-only barcode")
        << 3 << "b"
        << "12A4" << 100.0 << 20.0 << false << -1 << 1.0 << "条码必须是数字" << false
        << "ItemValue";
    QTest::newRow("12 qr content too long")
        << 4 << "q" << QString(3000, u'x') << 30.0 << 30.0 << false << -1 << 1.0
        << "二维码内容过长，超出了最大版本 (40) 的容量" << false << "ItemValue";
}

void TestPrintItemEditor::refusedSaveLeavesItem() {
    QFETCH(int, type);
    QFETCH(QString, name);
    QFETCH(QString, content);
    QFETCH(double, width);
    QFETCH(double, height);
    QFETCH(bool, wrap);
    QFETCH(int, dateStyle);
    QFETCH(double, step);
    QFETCH(QString, message);
    QFETCH(bool, information);
    QFETCH(QString, focus);
    TPrintItem item;
    item.SetItemName("before");
    item.SetItemValue("before");
    TPrintItem expected;
    CopyPublishedProps(item, expected);

    const auto editor = openEditor(item, false);
    Child<QComboBox>(editor.get(), "cbbItemType")->setCurrentIndex(type);
    Child<QLineEdit>(editor.get(), "itemName")->setText(name);
    Child<QPlainTextEdit>(editor.get(), "ItemValue")->setPlainText(content);
    setNumber(editor.get(), "itemTextWidth", width);
    setNumber(editor.get(), "itemLineHeight", height);
    Child<QCheckBox>(editor.get(), "chkAllowNewline")->setChecked(wrap);
    Child<QComboBox>(editor.get(), "cbbDateStyle")->setCurrentIndex(dateStyle);
    setNumber(editor.get(), "editSerialStep", step);
    Child<QPushButton>(editor.get(), "btnClose")->setFocus();
    QList<Box> boxes;
    auto armed = answerNextBox(&boxes);
    QTest::mouseClick(Child<QPushButton>(editor.get(), "btnSave"), Qt::LeftButton);
    *armed = false;

    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes.at(0).text, message);
    QCOMPARE(boxes.at(0).icon, information ? QMessageBox::Information : QMessageBox::Critical);
    QVERIFY(editor->isVisible());
    QVERIFY(!editor->doSave());
    if (!focus.isEmpty())
        QCOMPARE(editor->focusWidget()->objectName(), focus);
    for (const TPropInfo& p : TPrintItem::StaticClass().Props)
        QVERIFY2(p.Get(item) == p.Get(expected), p.Name);
    QCOMPARE(int(item.ObjectState()), int(posEmpty));
}

void TestPrintItemEditor::databaseRefusalKeepsInput() {
    // The database may refuse what passes the form's checks; the user is told
    // why in Chinese, the item stays as stored and the form keeps the input.
    auto* item = new TPrintItem;
    item->SetItemName("kept");
    item->SetItemValue("text");
    base.store({item});
    start();
    db->exec("alter table P_ITEM add constraint ck_refuse check (item_value <> 'refused')");
    frm->ItemListBox->setCurrentRow(0);
    TPrintItem* stored = project()->ItemList()->Items(0);
    QString kept;
    const QList<Box> boxes = drive(
        frm->btnEdit,
        [&](TprintItemEditorView* e) {
            Child<QLineEdit>(e, "itemName")->setText("new name");
            Child<QPlainTextEdit>(e, "ItemValue")->setPlainText("refused");
        },
        [&](TprintItemEditorView* e) {
            kept = Child<QLineEdit>(e, "itemName")->text() + "|" +
                   Child<QPlainTextEdit>(e, "ItemValue")->toPlainText();
        });
    QCOMPARE(boxes.size(), 1);
    QVERIFY2(boxes.at(0).text.startsWith("保存失败"), qPrintable(boxes.at(0).text));
    QCOMPARE(kept, QString("new name|refused"));
    QCOMPARE(stored->ItemName(), QString("kept"));
    QCOMPARE(stored->ItemValue(), QString("text"));
    QCOMPARE(int(stored->ObjectState()), int(posClean));
    QCOMPARE(frm->ItemListBox->item(0)->text(), QString("kept"));
    QCOMPARE(db->scalar("select item_name from P_ITEM").toString(), QString("kept"));

    // A new item the database refuses is not added to the project.
    drive(frm->btnAdd, [&](TprintItemEditorView* e) {
        Child<QLineEdit>(e, "itemName")->setText("fresh");
        Child<QPlainTextEdit>(e, "ItemValue")->setPlainText("refused");
    });
    QCOMPARE(project()->ItemList()->Count(), 1);
    QCOMPARE(db->count("P_ITEM"), 1);
    QCOMPARE(frm->ItemListBox->count(), 1);
}

void TestPrintItemEditor::refusedSaveKeepsStoredPicture_data() {
    QTest::addColumn<bool>("stored");     // the item had a picture before
    QTest::addColumn<QString>("content"); // the new picture's file name
    QTest::newRow("first picture, item refused") << false << "refused.jpg";
    QTest::newRow("replaced picture, item refused") << true << "refused.jpg";
    QTest::newRow("replacing picture refused") << true << "new.bad";
}

void TestPrintItemEditor::refusedSaveKeepsStoredPicture() {
    // The picture is written before the item: when either is refused, the item
    // and the picture store hold what they held before the save.
    QFETCH(bool, stored);
    QFETCH(QString, content);
    TFileMgr files;
    TCFile old;
    old.SetBody("old picture");
    old.FileName = "old";
    old.FileType = ".jpg";
    if (stored)
        files.SaveFile(old);
    auto* item = new TPrintItem;
    item->SetItemType(itImage);
    item->SetItemValue("old.jpg");
    item->SetFileId(stored ? old.Oid : QString());
    base.store({item});
    TProjectList projects;
    projects.Read();
    TPrintItem& edited = *projects.Items(0)->ItemList()->Items(0);
    db->exec("alter table P_ITEM add constraint ck_refuse check (item_value <> 'refused.jpg')");
    db->exec("alter table P_FILE add constraint ck_refuse_file check (file_type <> '.bad')");
    const auto write = [&] { edited.SetItemValue(content); };
    const auto save = [&] { edited.SetDirty(true), edited.Save(); };
    QVERIFY_THROWS_EXCEPTION(ESaveRefused, SaveItemEdit(edited, files, "new", write, save));
    QCOMPARE(edited.ItemValue() + '|' + edited.FileId(), "old.jpg|" + (stored ? old.Oid : ""));
    QCOMPARE(db->count("P_FILE"), stored ? 1 : 0);
    if (stored) {
        QCOMPARE(db->scalar("select body from P_FILE").toByteArray(), QByteArray("old picture"));
        QCOMPARE(db->scalar("select file_name || file_type || ' ' || file_size from P_FILE"),
                 QVariant("old.jpg 11"));
    }
}

void TestPrintItemEditor::closingAsksAboutChanges_data() {
    AddClosingColumns();
    const QString ask = "是否保存修改？ ";
    const int yes = QMessageBox::Yes, no = QMessageBox::No, cancel = QMessageBox::Cancel;
    // Opening a barcode item previews it, which rewrites its width: no edit.
    QTest::newRow("nothing edited") << "none" << true << "kept" << cancel << QString();
    QTest::newRow("tab leaves the content") << "tab" << true << "kept" << cancel << QString();
    QTest::newRow("close box, 是") << "name" << false << "new" << yes << ask + "是";
    QTest::newRow("close box, 取消") << "name" << false << "open" << cancel << ask + "取消";
    QTest::newRow("是 refused by a check")
        << "blank" << true << "open" << yes << ask + "是|请输入项目名称。";
    QTest::newRow("picture of the same name") << "picture" << true << "kept" << no << ask + "否";
}

void TestPrintItemEditor::closingAsksAboutChanges() {
    QFETCH(QString, change);
    TPrintItem item;
    item.SetItemName("kept");
    item.SetItemType(change == "picture" ? itImage : itBarcode);
    item.SetItemValue(change == "picture" ? "logo.jpg" : "ABC");
    item.SetBarcodeType(6);
    item.SetItemLineHeight(20);
    const auto editor = openEditor(item, true);
    auto* name = Child<QLineEdit>(editor.get(), "itemName");
    if (change == "name" || change == "blank")
        name->setText(change == "name" ? "new" : " ");
    if (change == "tab")
        QTest::keyClick(Child<QPlainTextEdit>(editor.get(), "ItemValue"), Qt::Key_Tab);
    if (change == "picture") {
        makeJpeg(files.filePath("logo.jpg"));
        editor->LoadPicture(files.filePath("logo.jpg"));
    }
    CloseAsRowSays(editor.get(), name, [&] { return item.ItemName(); });
}

void TestPrintItemEditor::defaultsFollowNewType_data() {
    QTest::addColumn<int>("type");
    QTest::addColumn<double>("width");
    QTest::addColumn<double>("height");
    QTest::addColumn<QString>("widthCaption");
    QTest::addColumn<QString>("heightCaption");
    QTest::addColumn<QString>("penStyle"); // a new line is visible; others keep no frame
    QTest::newRow("text") << 0 << 0.0 << 1.2 << "文本宽度:"
                          << "行高(倍):"
                          << "无";
    QTest::newRow("line") << 2 << 0.0 << 1.2 << "终点X:"
                          << "终点Y:"
                          << "实线";
    QTest::newRow("barcode") << 3 << 0.0 << 20.0 << "条形码宽度:"
                             << "条形码高度:"
                             << "无";
    QTest::newRow("qr") << 4 << 30.0 << 30.0 << "二维码宽度:"
                        << "二维码高度:"
                        << "无";
    QTest::newRow("image") << 5 << 32.0 << 24.0 << "图片宽度:"
                           << "图片高度:"
                           << "无";
}

void TestPrintItemEditor::defaultsFollowNewType() {
    QFETCH(int, type);
    TPrintItem item;
    const auto editor = openEditor(item, false);
    Child<QComboBox>(editor.get(), "cbbItemType")->setCurrentIndex(1);
    Child<QComboBox>(editor.get(), "cbbItemType")->setCurrentIndex(type);
    QTEST(Child<QDoubleSpinBox>(editor.get(), "itemTextWidth")->value(), "width");
    QTEST(Child<QDoubleSpinBox>(editor.get(), "itemLineHeight")->value(), "height");
    QTEST(Child<QLabel>(editor.get(), "lblTextWidth")->text(), "widthCaption");
    QTEST(Child<QLabel>(editor.get(), "lblLineHeight")->text(), "heightCaption");
    QTEST(Child<QComboBox>(editor.get(), "olStyle")->currentText(), "penStyle");
    QCOMPARE(Child<QDoubleSpinBox>(editor.get(), "olPenWidth")->value(), 1.0);

    // A width typed for wrapping survives the click on the wrap box.
    if (type == 0) {
        setNumber(editor.get(), "itemTextWidth", 55);
        Child<QCheckBox>(editor.get(), "chkAllowNewline")->click();
        QCOMPARE(Child<QDoubleSpinBox>(editor.get(), "itemTextWidth")->value(), 55.0);
    }
}

void TestPrintItemEditor::loadedPictureIsStoredAsIs() {
    // Replacing the picture of an image item updates its stored file in place.
    auto* item = new TPrintItem;
    item->SetItemName("pic");
    item->SetItemType(itImage);
    item->SetItemTextWidth(32);
    item->SetItemLineHeight(24);
    base.store({item});
    start();
    const QString first = files.filePath("first.jpeg");
    makeJpeg(first);
    const QString second = files.filePath("second.jpg");
    QImage other(20, 10, QImage::Format_RGB32);
    other.fill(Qt::red);
    other.save(second, "JPG");
    QFile f(second);
    f.open(QIODevice::ReadOnly);
    const QByteArray secondBytes = f.readAll();

    frm->ItemListBox->setCurrentRow(0);
    for (const QString& path : {first, second})
        QCOMPARE(drive(frm->btnEdit,
                       [path](TprintItemEditorView* e) {
                           e->SetPictureChooser([path](QWidget*) { return path; });
                           QTest::mouseClick(Child<QPushButton>(e, "btnLoadImg"), Qt::LeftButton);
                       })
                     .size(),
                 0);
    QCOMPARE(db->count("P_FILE"), 1);
    QCOMPARE(db->scalar("select body from P_FILE").toByteArray(), secondBytes);
    QCOMPARE(db->scalar("select file_type from P_FILE").toString(), QString(".jpg"));
    QCOMPARE(db->scalar("select item_value from P_ITEM").toString(), QString("second.jpg"));
    QCOMPARE(frm->imageItem->pixmap().width() * 10, frm->imageItem->pixmap().height() * 20);
}

void TestPrintItemEditor::damagedPictureIsRefused() {
    const QString path = files.filePath("cut.jpg");
    QByteArray bytes = makeJpeg(path);
    QFile cut(path);
    cut.open(QIODevice::WriteOnly);
    cut.write(bytes.left(bytes.size() / 2));
    cut.close();
    TPrintItem item;
    item.SetItemType(itImage);
    const auto editor = openEditor(item, false, false);
    QList<Box> boxes;
    auto armed = answerNextBox(&boxes);
    QVERIFY(!editor->LoadPicture(path));
    *armed = false;
    QCOMPARE(boxes.size(), 1);
    QVERIFY2(boxes.at(0).text.startsWith("“cut.jpg”不是可以打印的 JPEG 图片"),
             qPrintable(boxes.at(0).text));
    QCOMPARE(Child<QPlainTextEdit>(editor.get(), "ItemValue")->toPlainText(), QString());
}

void TestPrintItemEditor::barcodePreviewFillsWidth() {
    TPrintItem item;
    item.SetItemType(itBarcode);
    item.SetItemValue("ABC");
    item.SetBarcodeType(6);
    item.SetItemLineHeight(20);
    const auto editor = openEditor(item, true);
    // Opening a barcode item previews it: Code 128 B of three characters is 68
    // modules (start, 3 data, check: 11 each; stop 13), at 5 preview pixels.
    QCOMPARE(Child<QDoubleSpinBox>(editor.get(), "itemTextWidth")->value(), 340.0);
    Child<QSpinBox>(editor.get(), "barcodeModule")->setValue(2);
    QCOMPARE(Child<QLabel>(editor.get(), "barcodeModuleLabel")->text(), QString("0.2"));
    Child<QSpinBox>(editor.get(), "barcodeRatio")->setValue(25);
    QCOMPARE(Child<QLabel>(editor.get(), "barcodeRatioLabel")->text(), QString("2.5"));
    Child<QSpinBox>(editor.get(), "barcodeRatio")->setValue(20);
    Child<QCheckBox>(editor.get(), "chkCheckSum")->setChecked(true);
    Child<QComboBox>(editor.get(), "barcodeType")->setCurrentIndex(14); // EAN-13
    Child<QPlainTextEdit>(editor.get(), "ItemValue")->setPlainText("590123412345");
    QTest::mouseClick(Child<QPushButton>(editor.get(), "btnBarcodePreview"), Qt::LeftButton);
    // EAN-13 is 95 modules wide; the check digit of 590123412345 is 7.
    QCOMPARE(Child<QDoubleSpinBox>(editor.get(), "itemTextWidth")->value(), 190.0);
    QCOMPARE(Child<QLabel>(editor.get(), "labelCode")->text(), QString("5901234123457"));
}

void TestPrintItemEditor::barcodePreviewClickMovesSymbol() {
    TPrintItem item;
    item.SetItemType(itBarcode);
    item.SetItemValue("ABC");
    item.SetBarcodeType(6);
    item.SetBarcodeModule(0.1);
    item.SetItemLineHeight(20);
    const auto editor = openEditor(item, true);
    auto* preview = Child<QWidget>(editor.get(), "imgBarcode");
    auto firstDark = [preview] {
        const QImage shot = preview->grab().toImage();
        for (int x = 0; x < shot.width(); ++x)
            for (int y = 0; y < shot.height(); ++y)
                if (qGray(shot.pixel(x, y)) < 100)
                    return QPoint(x, y);
        return QPoint(-1, -1);
    };
    QCOMPARE(firstDark(), QPoint(0, 0));
    QTest::mouseClick(preview, Qt::LeftButton, {}, QPoint(40, 30));
    QCOMPARE(firstDark(), QPoint(40, 30));
}

void TestPrintItemEditor::brokenStoredBarcodeStillOpens() {
    TPrintItem item;
    item.SetItemType(itBarcode);
    item.SetItemValue("12AB"); // EAN-13 takes digits only
    item.SetBarcodeType(14);
    const auto editor = openEditor(item, true, false);
    QCOMPARE(Child<QLabel>(editor.get(), "labelCode")->text(), QString("条码必须是数字"));
}

void TestPrintItemEditor::qrPreviewQuietZone_data() {
    QTest::addColumn<QString>("quietZone");
    QTest::addColumn<int>("modules");
    // "KOVA" is a version 1 symbol: 21 modules and the quiet zone twice.
    QTest::newRow("not a number uses 4") << "abc" << 29;
    QTest::newRow("empty uses 4") << "" << 29;
    QTest::newRow("zero") << "0" << 21;
    QTest::newRow("ten") << "10" << 41;
    QTest::newRow("beyond 100 uses 4") << "150" << 29;
}

void TestPrintItemEditor::qrPreviewQuietZone() {
    QFETCH(QString, quietZone);
    QFETCH(int, modules);
    TPrintItem item;
    item.SetItemType(itQRCode);
    item.SetItemValue("KOVA");
    const auto editor = openEditor(item, true);
    Child<QLineEdit>(editor.get(), "qQuietZone")->setText(quietZone);
    QTest::mouseClick(Child<QPushButton>(editor.get(), "btnQrcodePreview"), Qt::LeftButton);
    auto* box = Child<TQRPreview>(editor.get(), "pbQrCode");
    const QRect symbol = box->SymbolRect();
    QCOMPARE(symbol.topLeft(), QPoint(0, 0));
    QCOMPARE(symbol.width(), std::min(box->width(), box->height()));
    // Light columns left of the finder pattern's middle row: the quiet zone.
    const QImage shot = box->grab().toImage();
    const double module = double(symbol.width()) / modules;
    const int y = int(module * ((modules - 21) / 2 + 3.5));
    int firstDark = 0;
    while (firstDark < symbol.width() && qGray(shot.pixel(firstDark, y)) > 128)
        ++firstDark;
    QCOMPARE(int(firstDark / module + 0.5), (modules - 21) / 2);
    const QString png = files.filePath("qr.png");
    shot.save(png);
    QCOMPARE(scan(png), QString("QR-Code:KOVA"));
}

void TestPrintItemEditor::serialSample() {
    TPrintItem item;
    item.SetItemType(itSerial);
    item.SetItemValue("1");
    const auto editor = openEditor(item, false, false);
    Child<QCheckBox>(editor.get(), "chkPrnNum")->setChecked(true);
    setNumber(editor.get(), "edtPrnNum", 5);
    Child<QCheckBox>(editor.get(), "chkSerialPre")->setChecked(true);
    Child<QLineEdit>(editor.get(), "edtPre1")->setText("NO-");
    QCOMPARE(Child<QLabel>(editor.get(), "serialExampleLabel")->text(), QString("NO-00001"));
    QCOMPARE(Child<QLabel>(editor.get(), "itemFontLabel")->text(), QString("序列号格式：NO-00001"));
    QVERIFY(Child<QLineEdit>(editor.get(), "edtPre1")->isEnabled());
    QVERIFY(!Child<QLineEdit>(editor.get(), "edtPostfix")->isEnabled());
}

void TestPrintItemEditor::barcodeSampleIgnoresPrintedSize_data() {
    QTest::addColumn<double>("module");
    QTest::addColumn<double>("ratio");
    QTest::addColumn<double>("height");
    QTest::addColumn<double>("angle");
    QTest::newRow("0.3 mm, ratio 3, 15 mm") << 0.3 << 3.0 << 15.0 << 0.0;
    QTest::newRow("0.5 mm, ratio 2, 10 mm") << 0.5 << 2.0 << 10.0 << 0.0;
    QTest::newRow("rotated item") << 1.0 << 2.5 << 30.0 << 90.0;
}

void TestPrintItemEditor::barcodeSampleIgnoresPrintedSize() {
    QFETCH(double, module);
    QFETCH(double, ratio);
    QFETCH(double, height);
    QFETCH(double, angle);
    TPrintItem item;
    item.SetItemType(itBarcode);
    item.SetItemValue("KOVA-7");
    item.SetBarcodeType(6); // Code 128 B starts with a bar
    item.SetBarcodeModule(module);
    item.SetBarcodeRatio(ratio);
    item.SetItemLineHeight(height);
    item.SetItemRotateDegree(angle);
    const QImage sample = BarcodeSampleImage(item, item.ItemValue());
    auto dark = [&](int x, int y) { return qGray(sample.pixel(x, y)) < 128; };
    // Module 1 and 40 pixels high at (2, 2): nothing above or left of it.
    for (int x = 0; x < sample.width(); ++x)
        QVERIFY(!dark(x, 0) && !dark(x, 1) && !dark(x, 43));
    for (int y = 0; y < sample.height(); ++y)
        QVERIFY(!dark(0, y) && !dark(1, y));
    QVERIFY(dark(2, 2) && dark(2, 41));
    // Start, six characters and the check character of 11 modules each, then the
    // stop of 13 that ends on a bar: 101 modules of one pixel.
    int right = 0;
    for (int x = 0; x < sample.width(); ++x)
        if (dark(x, 20))
            right = x;
    QCOMPARE(right, 2 + 101 - 1);
    QVERIFY(sample.width() >= SummaryPictureWidth && sample.height() >= SummaryPictureHeight);
    const QString png = files.filePath("bar.png");
    sample.scaled(sample.size() * 3).save(png);
    QCOMPARE(scan(png), QString("CODE-128:KOVA-7"));
}

void TestPrintItemEditor::qrSampleHasBorderOfThree_data() {
    QTest::addColumn<int>("quietZone");
    QTest::newRow("item quiet zone 10") << 10;
    QTest::newRow("item quiet zone 0") << 0;
    QTest::newRow("item quiet zone 3") << 3;
}

void TestPrintItemEditor::qrSampleHasBorderOfThree() {
    QFETCH(int, quietZone);
    TPrintItem item;
    item.SetItemType(itQRCode);
    item.SetItemValue("KOVA");
    item.SetQRcodeQuietZone(quietZone);
    const QImage sample = QRSampleImage(item, item.ItemValue());
    QCOMPARE(sample.size(), QSize(27, 27));
    auto dark = [&](int x, int y) { return qGray(sample.pixel(x, y)) < 128; };
    for (int i = 0; i < 27; ++i)
        for (int b = 0; b < 3; ++b)
            QVERIFY(!dark(i, b) && !dark(b, i) && !dark(i, 26 - b) && !dark(26 - b, i));
    QVERIFY(dark(3, 3)); // the finder pattern's corner
    const QString png = files.filePath("sample.png");
    sample.scaled(sample.size() * 4).save(png);
    QCOMPARE(scan(png), QString("QR-Code:KOVA"));
}

void TestPrintItemEditor::pictureRowsOfSummary_data() {
    QTest::addColumn<QString>("file"); // "none", "deleted", "stored"
    QTest::addColumn<QString>("other");
    QTest::addColumn<bool>("picture");
    QTest::newRow("never had a picture") << "none"
                                         << "无图片" << false;
    QTest::newRow("stored file deleted") << "deleted"
                                         << "图片无效" << false;
    QTest::newRow("stored picture") << "stored"
                                    << "" << true;
}

void TestPrintItemEditor::pictureRowsOfSummary() {
    QFETCH(QString, file);
    auto* item = new TPrintItem;
    item->SetItemName("pic");
    item->SetItemType(itImage);
    base.store({item});
    start();
    if (file != "none") {
        TCFile stored;
        stored.SetBody(makeJpeg(files.filePath("p.jpg")));
        PrintModel->FileMgr()->SaveFile(stored);
        project()->ItemList()->Items(0)->SetFileId(stored.Oid);
        if (file == "deleted")
            PrintModel->FileMgr()->DeleteFileFromDB(stored.Oid);
    }
    frm->ItemListBox->setCurrentRow(0);
    QTEST(frm->itemOtherLabel->text(), "other");
    QTEST(!frm->imageItem->pixmap().isNull(), "picture");
    QVERIFY(frm->itemImageContainer->isVisible());
}

// Fields in the editor and the summary: the list inserts them, the preview and
// the summary show the window's start page, a value its page's symbol cannot
// carry is refused, and a rename carries the references (是) or saves nothing (取消).
void TestPrintItemEditor::fieldsOfTheWindowsStartPage() {
    TPrintItem* shortSerial = SerialNumberItem("短号");
    shortSerial->SetItemValue("9999998");
    shortSerial->SetItemSerialHasPre(kFalse);
    shortSerial->SetItemActive(kFalse);
    TPrintItem* code = NewItem(itBarcode, 10, 40, 40, 12, "{票号}", "条码");
    code->SetBarcodeType(bcCode128B);
    const QString oid =
        base.start(7).store({SerialNumberItem("票号"), shortSerial,
                             NewItem(itText, 10, 30, 0, 1.2, "号{票号}/{姓名}", "说明"), code});
    TProjectData data;
    data.FileName = "名单.csv";
    data.Body = "姓名,证号\n";
    for (int row = 1; row <= 9; ++row)
        data.Body += QStringLiteral("甲%1,Z%1\n").arg(row).toUtf8();
    TFileMgr().SaveProjectData(oid, data);
    start();
    const auto edit = [&](const QString& name, std::function<void(TprintItemEditorView*)> steps) {
        frm->ItemListBox->setCurrentItem(frm->ItemListBox->findItems(name, Qt::MatchExactly).value(0));
        whenModal<TprintItemEditorView>([&](TprintItemEditorView* e) {
            steps(e);
            if (e->isVisible())
                e->reject();
        });
        QTest::mouseClick(frm->btnEdit, Qt::LeftButton);
    };
    const auto stored = [&](const QString& name) {
        return db->scalar("select item_value from P_ITEM where item_name = '" + name + "'").toString();
    };

    frm->ItemListBox->setCurrentItem(frm->ItemListBox->findItems("条码", Qt::MatchExactly).value(0));
    QVERIFY2(frm->valueMemo->toPlainText().endsWith("（第 7 页：NO.000007）"),
             qPrintable(frm->valueMemo->toPlainText().replace("\n", "/")));
    frm->ItemListBox->setCurrentItem(frm->ItemListBox->findItems("说明", Qt::MatchExactly).value(0));
    QVERIFY2(frm->valueMemo->toPlainText().endsWith("（第 7 页：号NO.000007/甲7）"),
             qPrintable(frm->valueMemo->toPlainText().replace("\n", "/")));
    edit("条码", [&](TprintItemEditorView* e) {
        auto* fields = Child<QComboBox>(e, "cbbInsertField");
        QStringList listed;
        for (int i = 0; i < fields->count(); ++i)
            listed << fields->itemText(i);
        QCOMPARE(listed,
                 (QStringList{"插入字段", "页码", "短号", "票号", "说明", "", "姓名", "证号"}));
        Child<QPlainTextEdit>(e, "ItemValue")->setPlainText("{证号}");
        e->previewBarcode();
        QCOMPARE(Child<QLabel>(e, "labelCode")->text(), QString("Z7"));
        Child<QPlainTextEdit>(e, "ItemValue")->setPlainText("AB");
        Child<QPlainTextEdit>(e, "ItemValue")->moveCursor(QTextCursor::NextCharacter);
        emit fields->activated(int(listed.indexOf("票号")));
        QCOMPARE(Child<QPlainTextEdit>(e, "ItemValue")->toPlainText(), QString("A{票号}B"));
        e->previewBarcode();
        QCOMPARE(Child<QLabel>(e, "labelCode")->text(), QString("ANO.000007B"));

        Child<QComboBox>(e, "barcodeType")->setCurrentIndex(bcCodeEAN8);
        Child<QCheckBox>(e, "chkCheckSum")->setChecked(true);
        Child<QPlainTextEdit>(e, "ItemValue")->setPlainText("{短号}");
        MessageAnswerer answers;
        QTest::mouseClick(Child<QPushButton>(e, "btnSave"), Qt::LeftButton);
        QVERIFY2(answers.texts.join("").startsWith("第 7 页的内容 \"10000004\" 无法编码："),
                 qPrintable(answers.texts.join("")));
        QVERIFY(e->isVisible());
    });
    QCOMPARE(stored("条码"), QString("{票号}"));

    edit("票号", [&](TprintItemEditorView* e) {
        Child<QLineEdit>(e, "itemName")->setText("姓名");
        {
            MessageAnswerer answers;
            QTest::mouseClick(Child<QPushButton>(e, "btnSave"), Qt::LeftButton);
            QCOMPARE(answers.texts, QStringList{ColumnItemClash("姓名")});
        }
        QVERIFY(e->isVisible());
        Child<QLineEdit>(e, "itemName")->setText("号码");
        {
            MessageAnswerer answers({QMessageBox::Cancel});
            QTest::mouseClick(Child<QPushButton>(e, "btnSave"), Qt::LeftButton);
            QCOMPARE(answers.texts, QStringList{"打印项 \"条码\"、\"说明\" 的内容引用了 \"票号\"。\n"
                                                "是否把这些引用一起改为 \"号码\"？"});
        }
        QVERIFY(e->isVisible());
        QCOMPARE(db->scalar("select count(*) from P_ITEM where item_name = '号码'").toInt(), 0);
        MessageAnswerer answers({QMessageBox::Yes});
        QTest::mouseClick(Child<QPushButton>(e, "btnSave"), Qt::LeftButton);
        QVERIFY(!e->isVisible());
    });
    QCOMPARE(stored("说明"), QString("号{号码}/{姓名}"));
    QCOMPARE(stored("条码"), QString("{号码}"));
    QCOMPARE(stored("号码"), QString("1"));
}

int main(int argc, char** argv) {
    TKovaApplication app(argc, argv);
    InstallFontSubstitutions();
    EnsurePersistence();
    TestPrintItemEditor test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_printitemeditor.moc"
