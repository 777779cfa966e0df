// The project editor: loading a project into the form, writing it back, the
// checks on save, the save button's change tracking and the font dialog.
#include "TestSupport.h"

#include "model/PrintCommon.h"
#include "model/bom/SettingBom.h"
#include "model/manager/FileMgrImpl.h"
#include "view/FontColorDialog.h"
#include "view/projectEditor.h"

#include <QApplication>
#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStringEncoder>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>

namespace {

const QStringList kPrinters{"PDF-A", "PDF-B", "Office Laser"};

// A key typed behind the number shown.
void typeAtEnd(QWidget* edit, Qt::Key key) {
    QTest::keyClick(edit, Qt::Key_End);
    QTest::keyClick(edit, key);
}

// A project unlike a new one in every field the editor shows.
void fillProject(TProject& p) {
    p.SetProjectName("Invoices");
    p.SetProjectDefaultDevice(kFalse);
    p.SetProjectDeviceName("PDF-B");
    p.SetProjectPageWidth(100.5);
    p.SetProjectPageHeight(50.25);
    p.SetProjectPaperOrientation(1);
    p.SetProjectOffsetX(15);
    p.SetProjectOffsetY(-20);
    p.SetProjectNotes("first line\nsecond line");
    p.SetProjectFontName("DejaVu Sans");
    p.SetProjectFontSize("12");
    p.SetProjectFontColor("clNavy");
    p.SetProjectFontStyle("[fsBold]");
}

} // namespace

class TestProjectEditor : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void captionsAreTheFormsOwn();
    void loadsEveryField_data();
    void loadsEveryField();
    void storesEveryField_data();
    void storesEveryField();
    void emptyNameIsRefused();
    void uninstalledPrinterIsKept();
    void untouchedNumbersKeepStoredValues();
    void saveButtonFollowsChanges_data();
    void saveButtonFollowsChanges();
    void offsetsAreTenthsOfMillimetres_data();
    void offsetsAreTenthsOfMillimetres();
    void closeWritesNothing();
    void closingAsksAboutChanges_data();
    void closingAsksAboutChanges();
    void chosenFontIsStored_data();
    void chosenFontIsStored();
    void unknownFontNameSurvivesConfirmation();
    void fontDialogNeedsNameAndSize_data();
    void fontDialogNeedsNameAndSize();
    void pageTheQueueHasNoSheetForIsRefused_data();
    void pageTheQueueHasNoSheetForIsRefused();
    void dataFileIsShownAndStoredOnSave_data();
    void dataFileIsShownAndStoredOnSave();

private:
    std::unique_ptr<TprojectEditorView> openEditor(TProject& project);

    std::unique_ptr<TestDatabase> FDb;
    std::unique_ptr<TPrintModel> FModel;
};

void TestProjectEditor::initTestCase() {
    InstallFontSubstitutions();
    EnsurePersistence();
    FDb = std::make_unique<TestDatabase>();
    FModel = std::make_unique<TPrintModel>();
    PrintModel = FModel.get();
    FModel->Load();
}

void TestProjectEditor::cleanupTestCase() {
    PrintModel = nullptr;
    FModel.reset();
    FDb.reset();
}

std::unique_ptr<TprojectEditorView> TestProjectEditor::openEditor(TProject& project) {
    auto editor = std::make_unique<TprojectEditorView>();
    editor->SetPrinterSource([] { return kPrinters; });
    editor->Setdata(&project);
    editor->show();
    return editor;
}

void TestProjectEditor::captionsAreTheFormsOwn() {
    TProject p;
    auto ed = openEditor(p);
    QCOMPARE(ed->windowTitle(), QString("项目编辑器"));
    QStringList groups;
    for (auto* g : Child<QTabWidget>(ed.get(), "tabs")
                       ->widget(0)
                       ->findChildren<QGroupBox*>(QString(), Qt::FindDirectChildrenOnly))
        groups << g->title();
    QCOMPARE(groups, (QStringList{" 打印设备 ", " 页面设置(单位:mm) ", " 打印方向 ",
                                  " 偏移设置(单位:0.1mm) ", " 项目缺省字体设置 ", " 备注 "}));
    QStringList labels;
    for (auto* l : ed->findChildren<QLabel*>())
        labels << l->text();
    for (const char* text : {"项目名称", "打印设备", "页面宽度", "页面高度", "X偏移", "Y偏移",
                             "示例：1234567890AaBbCc"})
        QVERIFY2(labels.contains(QString::fromUtf8(text)), text);
    QCOMPARE(Child<QCheckBox>(ed.get(), "PrnDefault")->text(), QString("缺省设备"));
    QCOMPARE(Child<QRadioButton>(ed.get(), "rbPortrait")->text(), QString("纵向"));
    QCOMPARE(Child<QRadioButton>(ed.get(), "rbLandscape")->text(), QString("横向"));
    QCOMPARE(Child<QPushButton>(ed.get(), "btnFont")->text(), QString("字 体&F"));
    QCOMPARE(Child<QPushButton>(ed.get(), "btnSave")->text(), QString("保  存&S"));
    QCOMPARE(Child<QPushButton>(ed.get(), "btnCancel")->text(), QString("关  闭&C"));
    // Fixed in size: the user cannot drag it larger or smaller.
    QCOMPARE(ed->minimumSize(), ed->maximumSize());
}

void TestProjectEditor::loadsEveryField_data() {
    QTest::addColumn<QString>("defaultFlag");
    QTest::addColumn<QString>("device");
    QTest::addColumn<int>("orientation");
    QTest::addColumn<bool>("defaultChecked");
    QTest::addColumn<int>("printerIndex");
    QTest::addColumn<bool>("landscape");

    QTest::newRow("named printer, landscape") << "FALSE"
                                              << "PDF-B" << 1 << false << 1 << true;
    QTest::newRow("default printer, portrait") << "TRUE"
                                               << "" << 0 << true << -1 << false;
    QTest::newRow("lower-case true is not set") << "true"
                                                << "Office Laser" << 0 << false << 2 << false;
    QTest::newRow("printer not installed") << "FALSE"
                                           << "Gone" << 1 << false << -1 << true;
    QTest::newRow("printer name in other case") << "FALSE"
                                                << "pdf-a" << 0 << false << 0 << false;
}

void TestProjectEditor::loadsEveryField() {
    QFETCH(QString, defaultFlag);
    QFETCH(QString, device);
    QFETCH(int, orientation);
    TProject p;
    fillProject(p);
    p.SetProjectDefaultDevice(defaultFlag);
    p.SetProjectDeviceName(device);
    p.SetProjectPaperOrientation(orientation);
    auto ed = openEditor(p);

    QCOMPARE(ed->GetData(), &p);
    QCOMPARE(Child<QLineEdit>(ed.get(), "edtProjectName")->text(), QString("Invoices"));
    QTEST(Child<QCheckBox>(ed.get(), "PrnDefault")->isChecked(), "defaultChecked");
    auto* select = Child<QComboBox>(ed.get(), "prnSelect");
    QStringList entries;
    for (int i = 0; i < select->count(); ++i)
        entries << select->itemText(i);
    QCOMPARE(entries, kPrinters);
    QTEST(select->currentIndex(), "printerIndex");
    QCOMPARE(select->isEnabled(), !Child<QCheckBox>(ed.get(), "PrnDefault")->isChecked());
    QCOMPARE(Child<QDoubleSpinBox>(ed.get(), "PrnPageWidth")->value(), 100.5);
    QCOMPARE(Child<QDoubleSpinBox>(ed.get(), "PrnPageHeight")->value(), 50.25);
    QTEST(Child<QRadioButton>(ed.get(), "rbLandscape")->isChecked(), "landscape");
    QCOMPARE(Child<QRadioButton>(ed.get(), "rbPortrait")->isChecked(),
             !Child<QRadioButton>(ed.get(), "rbLandscape")->isChecked());
    QCOMPARE(Child<QDoubleSpinBox>(ed.get(), "PrnOffsetX")->value(), 15.0);
    QCOMPARE(Child<QDoubleSpinBox>(ed.get(), "PrnOffsetY")->value(), -20.0);
    QCOMPARE(Child<QPlainTextEdit>(ed.get(), "memoNotes")->toPlainText(),
             QString("first line\nsecond line"));
    auto* sample = Child<QLabel>(ed.get(), "lblSample");
    QCOMPARE(sample->font().family(), QString("DejaVu Sans"));
    QCOMPARE(sample->font().pointSize(), 12);
    QVERIFY(sample->font().bold());
    QCOMPARE(sample->palette().color(QPalette::WindowText), QColor(0, 0, 0x80));
    QVERIFY(!Child<QPushButton>(ed.get(), "btnSave")->isEnabled());
    QVERIFY(!ed->doSave());
}

void TestProjectEditor::storesEveryField_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("useDefault");
    QTest::addColumn<int>("printerIndex");
    QTest::addColumn<double>("width");
    QTest::addColumn<double>("height");
    QTest::addColumn<bool>("landscape");
    QTest::addColumn<double>("offsetX");
    QTest::addColumn<double>("offsetY");
    QTest::addColumn<QString>("expectedFlag");
    QTest::addColumn<QString>("expectedDevice");

    QTest::newRow("named printer, landscape")
        << "标签 A" << false << 2 << 80.25 << 40.0 << true << 12.0 << 7.0 << "FALSE"
        << "Office Laser";
    QTest::newRow("default device clears the printer name")
        << "Labels" << true << 0 << 210.0 << 297.0 << false << 0.0 << 0.0 << "TRUE"
        << "";
    QTest::newRow("zero and negative taken as entered")
        << "x" << false << 0 << 0.0 << -5.5 << false << -30.0 << -1.0 << "FALSE"
        << "PDF-A";
}

void TestProjectEditor::storesEveryField() {
    QFETCH(QString, name);
    QFETCH(bool, useDefault);
    QFETCH(int, printerIndex);
    QFETCH(double, width);
    QFETCH(double, height);
    QFETCH(bool, landscape);
    QFETCH(double, offsetX);
    QFETCH(double, offsetY);
    TProject p;
    fillProject(p);
    p.SetProjectPaperOrientation(landscape ? 0 : 1);
    p.SetProjectSerialStart(41);
    p.SetProjectSerialEnd(5);
    auto ed = openEditor(p);

    Child<QLineEdit>(ed.get(), "edtProjectName")->setText(name);
    Child<QCheckBox>(ed.get(), "PrnDefault")->setChecked(useDefault);
    Child<QComboBox>(ed.get(), "prnSelect")->setCurrentIndex(printerIndex);
    QCOMPARE(Child<QComboBox>(ed.get(), "prnSelect")->isEnabled(), !useDefault);
    Child<QDoubleSpinBox>(ed.get(), "PrnPageWidth")->setValue(width);
    Child<QDoubleSpinBox>(ed.get(), "PrnPageHeight")->setValue(height);
    Child<QRadioButton>(ed.get(), landscape ? "rbLandscape" : "rbPortrait")->click();
    Child<QDoubleSpinBox>(ed.get(), "PrnOffsetX")->setValue(offsetX);
    Child<QDoubleSpinBox>(ed.get(), "PrnOffsetY")->setValue(offsetY);
    Child<QPlainTextEdit>(ed.get(), "memoNotes")->setPlainText("备注\r\nline");
    QTest::mouseClick(Child<QPushButton>(ed.get(), "btnSave"), Qt::LeftButton);

    QVERIFY(ed->doSave());
    QCOMPARE(ed->result(), int(QDialog::Accepted));
    QVERIFY(!ed->isVisible());
    QCOMPARE(p.ProjectName(), name);
    QTEST(p.ProjectDefaultDevice(), "expectedFlag");
    QTEST(p.ProjectDeviceName(), "expectedDevice");
    QCOMPARE(p.ProjectPageWidth(), width);
    QCOMPARE(p.ProjectPageHeight(), height);
    QCOMPARE(p.ProjectPaperOrientation(), landscape ? 1 : 0);
    QCOMPARE(p.ProjectOffsetX(), offsetX);
    QCOMPARE(p.ProjectOffsetY(), offsetY);
    QCOMPARE(p.ProjectNotes(), QString("备注\nline"));
    // The font written back unchanged, the serial range not touched at all.
    QCOMPARE(p.ProjectFontName(), QString("DejaVu Sans"));
    QCOMPARE(p.ProjectFontSize(), QString("12"));
    QCOMPARE(p.ProjectFontColor(), QString("clNavy"));
    QCOMPARE(p.ProjectFontStyle(), QString("[fsBold]"));
    QCOMPARE(p.ProjectSerialStart(), 41);
    QCOMPARE(p.ProjectSerialEnd(), 5);
}

void TestProjectEditor::emptyNameIsRefused() {
    TProject p;
    fillProject(p);
    auto editor = std::make_unique<TprojectEditorView>();
    TprojectEditorView* ed = editor.get();
    ed->SetPrinterSource([] { return kPrinters; });
    ed->Setdata(&p);
    MessageAnswerer answer;
    bool openAfterMessage = false;
    QWidget* focused = nullptr;
    QTimer::singleShot(0, [&] {
        auto* notes = Child<QPlainTextEdit>(ed, "memoNotes");
        Child<QLineEdit>(ed, "edtProjectName")->clear();
        notes->setPlainText("changed");
        notes->setFocus();
        QTest::mouseClick(Child<QPushButton>(ed, "btnSave"), Qt::LeftButton);
        openAfterMessage = ed->isVisible();
        focused = ed->focusWidget();
        Child<QPushButton>(ed, "btnCancel")->click();
    });
    const int result = ed->exec();

    QCOMPARE(answer.texts, QStringList{"请输入项目名称"});
    QVERIFY(openAfterMessage);
    QCOMPARE(focused, Child<QLineEdit>(ed, "edtProjectName"));
    QCOMPARE(result, int(QDialog::Rejected));
    QVERIFY(!ed->doSave());
    QCOMPARE(p.ProjectName(), QString("Invoices"));
    QCOMPARE(p.ProjectNotes(), QString("first line\nsecond line"));
}

void TestProjectEditor::uninstalledPrinterIsKept() {
    // Editing only the notes of a project whose printer is not installed right
    // now must not lose the printer's name.
    TProject p;
    fillProject(p);
    p.SetProjectDeviceName("Warehouse Zebra");
    auto ed = openEditor(p);
    QCOMPARE(Child<QComboBox>(ed.get(), "prnSelect")->currentIndex(), -1);
    Child<QPlainTextEdit>(ed.get(), "memoNotes")->setPlainText("new notes");
    QTest::mouseClick(Child<QPushButton>(ed.get(), "btnSave"), Qt::LeftButton);
    QVERIFY(ed->doSave());
    QCOMPARE(p.ProjectDeviceName(), QString("Warehouse Zebra"));
    QCOMPARE(p.ProjectDefaultDevice(), QString("FALSE"));
    QCOMPARE(p.ProjectNotes(), QString("new notes"));

    // Choosing an installed printer replaces it.
    auto again = openEditor(p);
    Child<QComboBox>(again.get(), "prnSelect")->setCurrentIndex(0);
    QTest::mouseClick(Child<QPushButton>(again.get(), "btnSave"), Qt::LeftButton);
    QCOMPARE(p.ProjectDeviceName(), QString("PDF-A"));
}

void TestProjectEditor::untouchedNumbersKeepStoredValues() {
    // The form shows two decimals for sizes and none for offsets; numbers the
    // user did not edit are not rounded on the way back.
    TProject p;
    fillProject(p);
    p.SetProjectPageWidth(100.125);
    p.SetProjectPageHeight(70.0049);
    p.SetProjectOffsetX(2.5);
    p.SetProjectOffsetY(-0.4);
    auto ed = openEditor(p);
    Child<QDoubleSpinBox>(ed.get(), "PrnPageHeight")->setValue(70.5);
    Child<QDoubleSpinBox>(ed.get(), "PrnOffsetY")->setValue(3);
    QTest::mouseClick(Child<QPushButton>(ed.get(), "btnSave"), Qt::LeftButton);
    QCOMPARE(p.ProjectPageWidth(), 100.125);
    QCOMPARE(p.ProjectOffsetX(), 2.5);
    QCOMPARE(p.ProjectPageHeight(), 70.5);
    QCOMPARE(p.ProjectOffsetY(), 3.0);
}

void TestProjectEditor::saveButtonFollowsChanges_data() {
    QTest::addColumn<QString>("change");
    QTest::addColumn<bool>("enabled");
    QTest::newRow("nothing") << "nothing" << false;
    QTest::newRow("one character of notes") << "notes" << true;
    QTest::newRow("name typed") << "name" << true;
    QTest::newRow("other printer") << "printer" << true;
    QTest::newRow("page width") << "width" << true;
    QTest::newRow("page height") << "height" << true;
    QTest::newRow("x offset") << "offsetX" << true;
    QTest::newRow("y offset") << "offsetY" << true;
    QTest::newRow("portrait") << "portrait" << true;
    QTest::newRow("default device") << "default" << true;
    QTest::newRow("font confirmed") << "font ok" << true;
    QTest::newRow("font dialog cancelled") << "font cancel" << false;
}

void TestProjectEditor::saveButtonFollowsChanges() {
    QFETCH(QString, change);
    TProject p;
    fillProject(p);
    auto ed = openEditor(p);
    auto* save = Child<QPushButton>(ed.get(), "btnSave");
    QVERIFY(!save->isEnabled());

    if (change == "notes")
        QTest::keyClick(Child<QPlainTextEdit>(ed.get(), "memoNotes"), Qt::Key_A);
    else if (change == "name")
        QTest::keyClick(Child<QLineEdit>(ed.get(), "edtProjectName"), Qt::Key_B);
    else if (change == "printer")
        Child<QComboBox>(ed.get(), "prnSelect")->setCurrentIndex(0);
    else if (change == "width") {
        auto* width = Child<QDoubleSpinBox>(ed.get(), "PrnPageWidth");
        QTest::keyClick(width, Qt::Key_Home);
        QTest::keyClick(width, Qt::Key_1);
    } else if (change == "height")
        typeAtEnd(Child<QDoubleSpinBox>(ed.get(), "PrnPageHeight"), Qt::Key_Backspace);
    else if (change == "offsetX")
        typeAtEnd(Child<QDoubleSpinBox>(ed.get(), "PrnOffsetX"), Qt::Key_3);
    else if (change == "offsetY")
        typeAtEnd(Child<QDoubleSpinBox>(ed.get(), "PrnOffsetY"), Qt::Key_4);
    else if (change == "portrait")
        Child<QRadioButton>(ed.get(), "rbPortrait")->click();
    else if (change == "default")
        Child<QCheckBox>(ed.get(), "PrnDefault")->click();
    else if (change.startsWith("font")) {
        const bool confirm = change == "font ok";
        WhenModal<TFontColorDialog>([confirm](TFontColorDialog* d) {
            Child<QCheckBox>(d, "chkItalic")->click();
            confirm ? d->accept() : d->reject();
        });
        QTest::mouseClick(Child<QPushButton>(ed.get(), "btnFont"), Qt::LeftButton);
        QCOMPARE(Child<QLabel>(ed.get(), "lblSample")->font().italic(), confirm);
    }
    QTEST(save->isEnabled(), "enabled");

    // Nothing takes it back while the dialog is open.
    if (save->isEnabled()) {
        Child<QLineEdit>(ed.get(), "edtProjectName")->setText(p.ProjectName());
        QVERIFY(save->isEnabled());
    }
}

void TestProjectEditor::offsetsAreTenthsOfMillimetres_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<double>("stored");
    QTest::newRow("15 tenths") << "15" << 15.0;
    QTest::newRow("negative") << "-7" << -7.0;
    QTest::newRow("zero") << "0" << 0.0;
    QTest::newRow("a metre") << "10000" << 10000.0;
}

void TestProjectEditor::offsetsAreTenthsOfMillimetres() {
    QFETCH(QString, typed);
    TProject p;
    fillProject(p);
    auto ed = openEditor(p);
    for (const char* name : {"PrnOffsetX", "PrnOffsetY"}) {
        auto* edit = Child<QDoubleSpinBox>(ed.get(), name);
        edit->selectAll();
        QTest::keyClicks(edit, typed);
        edit->interpretText();
    }
    QTest::mouseClick(Child<QPushButton>(ed.get(), "btnSave"), Qt::LeftButton);
    QTEST(p.ProjectOffsetX(), "stored");
    QTEST(p.ProjectOffsetY(), "stored");
}

void TestProjectEditor::closeWritesNothing() {
    TProject p;
    fillProject(p);
    auto ed = openEditor(p);
    Child<QLineEdit>(ed.get(), "edtProjectName")->setText("other");
    Child<QCheckBox>(ed.get(), "PrnDefault")->click();
    Child<QDoubleSpinBox>(ed.get(), "PrnPageWidth")->setValue(1);
    Child<QDoubleSpinBox>(ed.get(), "PrnOffsetX")->setValue(99);
    Child<QRadioButton>(ed.get(), "rbPortrait")->click();
    Child<QPlainTextEdit>(ed.get(), "memoNotes")->setPlainText("x");
    QTest::mouseClick(Child<QPushButton>(ed.get(), "btnCancel"), Qt::LeftButton);

    QVERIFY(!ed->isVisible());
    QVERIFY(!ed->doSave());
    TProject expected;
    fillProject(expected);
    for (const char* prop :
         {"ProjectName", "ProjectDefaultDevice", "ProjectDeviceName", "ProjectPageWidth",
          "ProjectOffsetX", "ProjectPaperOrientation", "ProjectNotes"})
        QCOMPARE(p.GetPropValue(prop), expected.GetPropValue(prop));
}

void TestProjectEditor::closingAsksAboutChanges_data() {
    AddClosingColumns();
    const QString ask = "是否保存修改？ ";
    const int yes = QMessageBox::Yes, no = QMessageBox::No, cancel = QMessageBox::Cancel;
    QTest::newRow("edit undone") << "undone" << false << "Invoices" << cancel << QString();
    QTest::newRow("tab leaves the notes") << "tab" << true << "Invoices" << cancel << QString();
    QTest::newRow("enter starts a line") << "enter" << true << "Invoices" << no << ask + "否";
    QTest::newRow("escape, 是") << "name" << true << "other" << yes << ask + "是";
    QTest::newRow("close box, 取消") << "name" << false << "open" << cancel << ask + "取消";
    QTest::newRow("是 refused by a check")
        << "blank" << true << "open" << yes << ask + "是|请输入项目名称";
    QTest::newRow("font only") << "font" << true << "Invoices" << no << ask + "否";
}

void TestProjectEditor::closingAsksAboutChanges() {
    QFETCH(QString, change);
    TProject p;
    fillProject(p);
    auto ed = openEditor(p);
    auto* name = Child<QLineEdit>(ed.get(), "edtProjectName");
    if (change == "name" || change == "undone" || change == "blank")
        name->setText(change == "blank" ? "" : "other");
    if (change == "undone")
        name->setText("Invoices");
    if (change == "tab" || change == "enter")
        QTest::keyClick(Child<QPlainTextEdit>(ed.get(), "memoNotes"),
                        change == "tab" ? Qt::Key_Tab : Qt::Key_Return);
    if (change == "font") {
        WhenModal<TFontColorDialog>([](TFontColorDialog* d) {
            Child<QCheckBox>(d, "chkItalic")->click();
            d->accept();
        });
        QTest::mouseClick(Child<QPushButton>(ed.get(), "btnFont"), Qt::LeftButton);
    }
    CloseAsRowSays(ed.get(), name, [&] { return p.ProjectName(); });
}

void TestProjectEditor::chosenFontIsStored_data() {
    QTest::addColumn<QString>("family");
    QTest::addColumn<QString>("size");
    QTest::addColumn<QList<bool>>("styles");
    QTest::addColumn<QString>("colourCaption");
    QTest::addColumn<QColor>("otherColour");
    QTest::addColumn<QString>("expectedSize");
    QTest::addColumn<QString>("expectedColour");
    QTest::addColumn<QString>("expectedStyle");

    const QColor none;
    QTest::newRow("12 points bold navy")
        << "DejaVu Serif"
        << "12" << QList<bool>{true, false, false, false} << "深蓝色" << none << "12"
        << "clNavy"
        << "[fsBold]";
    QTest::newRow("plain red") << "AR PL UMing CN"
                               << "16" << QList<bool>{false, false, false, false} << "红色" << none
                               << "16"
                               << "clRed"
                               << "[]";
    QTest::newRow("colour without a name in hex")
        << "DejaVu Sans"
        << "9" << QList<bool>{false, true, true, false} << "" << QColor(0x56, 0x34, 0x12) << "9"
        << "$00123456"
        << "[fsItalicfsUnderline]";
    QTest::newRow("table colour from the colour dialog")
        << "DejaVu Sans"
        << "72" << QList<bool>{true, true, true, true} << "" << QColor(0xC0, 0xDC, 0xC0) << "72"
        << "clMoneyGreen"
        << "[fsBoldfsItalicfsUnderlinefsStrikeOut]";
}

void TestProjectEditor::chosenFontIsStored() {
    QFETCH(QString, family);
    QFETCH(QString, size);
    QFETCH(QList<bool>, styles);
    QFETCH(QString, colourCaption);
    QFETCH(QColor, otherColour);
    TProject p;
    fillProject(p);
    auto ed = openEditor(p);

    WhenModal<TFontColorDialog>([&](TFontColorDialog* d) {
        Child<QComboBox>(d, "cbbFontName")->setCurrentText(family);
        Child<QComboBox>(d, "cbbFontSize")->setCurrentText(size);
        const char* boxes[] = {"chkBold", "chkItalic", "chkUnderline", "chkStrikeOut"};
        for (int i = 0; i < 4; ++i)
            Child<QCheckBox>(d, boxes[i])->setChecked(styles.at(i));
        if (!colourCaption.isEmpty()) {
            auto* colours = Child<QComboBox>(d, "cbbFontColor");
            colours->setCurrentIndex(colours->findText(colourCaption));
        } else {
            WhenModal<QColorDialog>([&](QColorDialog* cd) {
                cd->setCurrentColor(otherColour);
                cd->accept();
            });
            Child<QPushButton>(d, "btnOtherColor")->click();
        }
        Child<QDialogButtonBox>(d, "buttons")->button(QDialogButtonBox::Ok)->click();
    });
    QTest::mouseClick(Child<QPushButton>(ed.get(), "btnFont"), Qt::LeftButton);
    QVERIFY(Child<QPushButton>(ed.get(), "btnSave")->isEnabled());
    const QFont sample = Child<QLabel>(ed.get(), "lblSample")->font();
    QCOMPARE(sample.pointSize(), size.toInt());
    QCOMPARE(sample.bold(), styles.at(0));
    QCOMPARE(sample.strikeOut(), styles.at(3));
    QTest::mouseClick(Child<QPushButton>(ed.get(), "btnSave"), Qt::LeftButton);

    QCOMPARE(p.ProjectFontName(), family);
    QTEST(p.ProjectFontSize(), "expectedSize");
    QTEST(p.ProjectFontColor(), "expectedColour");
    QTEST(p.ProjectFontStyle(), "expectedStyle");
}

void TestProjectEditor::unknownFontNameSurvivesConfirmation() {
    // 宋体 is not installed here; changing only the size keeps the stored name
    // rather than the face it resolves to on this machine.
    TProject p;
    p.SetProjectName("new");
    p.SetProjectFontColor("$00123456");
    auto ed = openEditor(p);
    QString shownName;
    WhenModal<TFontColorDialog>([&](TFontColorDialog* d) {
        shownName = Child<QComboBox>(d, "cbbFontName")->currentText();
        Child<QComboBox>(d, "cbbFontSize")->setCurrentText("20");
        d->accept();
    });
    QTest::mouseClick(Child<QPushButton>(ed.get(), "btnFont"), Qt::LeftButton);
    QTest::mouseClick(Child<QPushButton>(ed.get(), "btnSave"), Qt::LeftButton);
    QCOMPARE(shownName, QString("宋体"));
    QCOMPARE(p.ProjectFontName(), QString("宋体"));
    QCOMPARE(p.ProjectFontSize(), QString("20"));
    QCOMPARE(p.ProjectFontColor(), QString("$00123456"));
    QCOMPARE(p.ProjectFontStyle(), QString("[]"));
}

void TestProjectEditor::fontDialogNeedsNameAndSize_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("size");
    QTest::addColumn<bool>("okEnabled");
    QTest::newRow("name and size") << "DejaVu Sans"
                                   << "11" << true;
    QTest::newRow("no size") << "DejaVu Sans"
                             << "" << false;
    QTest::newRow("size zero") << "DejaVu Sans"
                               << "0" << false;
    QTest::newRow("no name") << ""
                             << "11" << false;
    QTest::newRow("blank name") << "  "
                                << "11" << false;
}

void TestProjectEditor::fontDialogNeedsNameAndSize() {
    QFETCH(QString, name);
    QFETCH(QString, size);
    TFontColorDialog d;
    d.SetCurrentFont(TFont{"宋体", 12, clBlack, {}});
    Child<QComboBox>(&d, "cbbFontName")->setCurrentText(name);
    Child<QComboBox>(&d, "cbbFontSize")->setCurrentText(size);
    QTEST(Child<QDialogButtonBox>(&d, "buttons")->button(QDialogButtonBox::Ok)->isEnabled(),
          "okEnabled");
}

QTEST_MAIN(TestProjectEditor)
#include "tst_projecteditor.moc"

// The queue's own range decides (cups-pdf: 12.7 mm up), not a fixed clamp; the
// drawing area turns with the orientation, the sheet does not.
void TestProjectEditor::pageTheQueueHasNoSheetForIsRefused_data() {
    QTest::addColumn<double>("width");
    QTest::addColumn<double>("height");
    QTest::addColumn<bool>("landscape");
    QTest::addColumn<QString>("area");
    QTest::addColumn<QString>("refusal");
    QTest::newRow("a 50 x 30 mm label") << 50.0 << 30.0 << false << "打印区域：50 × 30 mm" << "";
    QTest::newRow("landscape turns the drawing area")
        << 50.0 << 30.0 << true << "打印区域：30 × 50 mm" << "";
    QTest::newRow("5 mm wide, under the queue's range")
        << 5.0 << 30.0 << false << "打印区域：5 × 30 mm"
        << "页面 5 × 30 mm 超出了打印机 KOVA_PDF 能打印的纸张（宽 12.7–35277.8 mm，长 12.7–35277.8 mm）";
}

void TestProjectEditor::pageTheQueueHasNoSheetForIsRefused() {
    QFETCH(double, width);
    QFETCH(double, height);
    QFETCH(bool, landscape);
    QFETCH(QString, area);
    QFETCH(QString, refusal);
    TProject p;
    fillProject(p);
    p.SetProjectDefaultDevice(kFalse);
    p.SetProjectDeviceName(QStringLiteral("KOVA_PDF"));
    auto ed = std::make_unique<TprojectEditorView>();
    ed->SetPrinterSource([] { return QStringList{QStringLiteral("KOVA_PDF")}; });
    ed->Setdata(&p);
    ed->show();
    Child<QDoubleSpinBox>(ed.get(), "PrnPageWidth")->setValue(width);
    Child<QDoubleSpinBox>(ed.get(), "PrnPageHeight")->setValue(height);
    Child<QRadioButton>(ed.get(), landscape ? "rbLandscape" : "rbPortrait")->setChecked(true);
    QCOMPARE(Child<QLabel>(ed.get(), "lblPrintArea")->text(), area);
    MessageAnswerer answer;
    QTest::mouseClick(Child<QPushButton>(ed.get(), "btnSave"), Qt::LeftButton);
    QCOMPARE(answer.texts, refusal.isEmpty() ? QStringList() : QStringList{refusal});
    QCOMPARE(ed->doSave(), refusal.isEmpty());
    QCOMPARE(p.ProjectPageWidth(), refusal.isEmpty() ? width : 100.5);
}

// The data tab: a chosen file shows its encoding, delimiter, first rows and
// columns; the stored rows change only when the project is saved.
void TestProjectEditor::dataFileIsShownAndStoredOnSave_data() {
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("change"); // after choosing: "", "no header", "remove"
    QTest::addColumn<QString>("shown");  // encoding, delimiter, rows; or the refusal
    QTest::addColumn<QStringList>("columns");
    QTest::addColumn<QString>("stored"); // header_row, or "" for none

    QByteArray gb = QStringEncoder("GB18030")(QStringLiteral("姓名\t座位\n"));
    for (int row = 1; row <= 25; ++row)
        gb += QStringEncoder("GB18030")(QStringLiteral("学员%1\t%1排\n").arg(row));
    QTest::newRow("GB18030 with tabs, first row the names")
        << gb << ""
        << "编码：GB18030|制表符|共 25 行，2 列" << QStringList{"姓名", "座位"} << "TRUE";
    QTest::newRow("UTF-8 with a byte order mark, first row data")
        << QByteArray("\xEF\xBB\xBF甲;1\n乙;2\n") << "no header"
        << "编码：UTF-8（带 BOM）|分号|共 2 行，2 列" << QStringList{"列1", "列2"} << "FALSE";
    QTest::newRow("chosen, then removed") << QByteArray("a,b\n1,2\n") << "remove"
                                          << "" << QStringList{} << "";
    QTest::newRow("neither UTF-8 nor GB18030 is refused")
        << QByteArray("a,b\n\xFF\xFF\n") << ""
        << "数据文件不是 UTF-8 或 GB18030 编码的文本" << QStringList{} << "";
}

void TestProjectEditor::dataFileIsShownAndStoredOnSave() {
    QFETCH(QByteArray, body);
    QFETCH(QString, change);
    QFETCH(QString, shown);
    QFETCH(QStringList, columns);
    QFETCH(QString, stored);
    TProject p;
    fillProject(p);
    auto ed = openEditor(p);
    QTemporaryDir dir;
    QFile file(dir.filePath("名单.csv"));
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(body) == body.size());
    file.close();
    MessageAnswerer answers;
    const bool taken = ed->LoadDataFile(file.fileName());
    QCOMPARE(taken, columns.size() > 0 || change == "remove");
    if (!taken) {
        QCOMPARE(answers.texts, QStringList{shown});
        QVERIFY(!Child<QPushButton>(ed.get(), "btnSave")->isEnabled());
        return;
    }
    if (change == "no header")
        Child<QCheckBox>(ed.get(), "chkHeaderRow")->click();
    else if (change == "remove")
        Child<QPushButton>(ed.get(), "btnDataRemove")->click();
    auto* table = Child<QTableWidget>(ed.get(), "tblData");
    if (!shown.isEmpty()) {
        QCOMPARE(QStringList({Child<QLabel>(ed.get(), "lblDataEncoding")->text(),
                              Child<QComboBox>(ed.get(), "cbbDelimiter")->currentText(),
                              Child<QLabel>(ed.get(), "lblDataRows")->text()})
                     .join(u'|'),
                 shown);
        QStringList headers;
        for (int c = 0; c < table->columnCount(); ++c)
            headers << table->horizontalHeaderItem(c)->text();
        QCOMPARE(headers, columns);
        QCOMPARE(table->rowCount(), qMin(20, shown.section("共 ", 1).section(u' ', 0, 0).toInt()));
        QVERIFY(Child<QLabel>(ed.get(), "lblDataColumns")->text().contains("{" + columns[0] + "}"));
    }
    QCOMPARE(FDb->count("P_DATA"), 0);
    QTest::mouseClick(Child<QPushButton>(ed.get(), "btnSave"), Qt::LeftButton);
    QCOMPARE(FDb->scalar("select header_row from P_DATA where project_id = '" + p.OID() + "'")
                 .toString(),
             stored);
    if (!stored.isEmpty())
        QCOMPARE(TFileMgr().GetProjectData(p.OID())->Body, body);
    FDb->exec("delete from P_DATA");
}
