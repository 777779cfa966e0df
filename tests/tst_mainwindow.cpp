// The main window driven offscreen against a real database and the test print queues.
#include "TestSupport.h"

#include "PrintMain.h"
#include "model/PrintCommon.h"
#include "model/manager/PrintMgrImpl.h"
#include "view/KovaApplication.h"

#include <QBuffer>
#include <QComboBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <QTimer>
#include <cmath>
#include <cups/cups.h>

class TestMainWindow : public QObject, MainWindowFixture {
    Q_OBJECT

private slots:
    void init() { setUp(); }
    void cleanup() { tearDown(); }

    void startsWithNothingSelected();
    void selectingProjectShowsItsPage();
    void summaryTextsByKind_data();
    void summaryTextsByKind();
    void pageFieldsReloadFromProject();
    void toggleStoresFlag();
    void summaryFollowsSelection();
    void itemListKeys();
    void lastProjectShownAgain();
    void underscoresShow();
    void deleteItemRemovesRowAndPicture_data();
    void deleteItemRemovesRowAndPicture();
    void deleteProjectRemovesRowsAndPictures_data();
    void deleteProjectRemovesRowsAndPictures();
    void deletingFirstProjectLeavesNoneSelected();
    void printerLine_data();
    void printerLine();
    void listDrawsDisabledGreyAndSerialBold();
    void addProjectThroughEditor();
    void cancelledNewProjectIsDropped();
    void modifyProjectThroughEditor();

    void keyboardSelectionFollowsAndDeleteKeepsRows();
    void projectNamesAreUnique();
    void longProjectTextsAreCut_data();
    void longProjectTextsAreCut();
    void refusedProjectSaveRestores();
    void blankProjectNameRefused();
    void failedLoadDisablesCommands();
    void windowFitsSmallScreen();
    void deleteQuestionSpeaksChineseAndDefaultsToNo();
    void selectedDisabledItemIsReadable();
    void copiesAreSelectedAndKeepTheirPictures_data();
    void copiesAreSelectedAndKeepTheirPictures();

private:
    void start();
    void selectProject(const QString& name);
    void selectItem(const QString& name);
    int projectRows() { return db->count("P_PROJECT"); }
    // The database refuses every delete (or update) of the table from now on.
};

void TestMainWindow::start() {
    frm = OpenMainWindow(ProgramDirFor(*db));
    QVERIFY(frm);
}

void TestMainWindow::selectProject(const QString& name) {
    const int index = frm->cbbProjectList->findText(name);
    QVERIFY(index >= 0);
    frm->cbbProjectList->setCurrentIndex(index);
    frm->cbbProjectListChange();
}

void TestMainWindow::selectItem(const QString& name) {
    const auto found = frm->ItemListBox->findItems(name, Qt::MatchExactly);
    QVERIFY(!found.isEmpty());
    frm->ItemListBox->setCurrentItem(found.first());
    frm->ItemListBoxClick();
}

void TestMainWindow::startsWithNothingSelected() {
    TestProject("甲").store();
    TestProject("乙").store();
    start();
    QCOMPARE(frm->windowTitle(), QString("KOVA 自定义定位打印 v5.1"));
    QCOMPARE(frm->cbbProjectList->count(), 2);
    QCOMPARE(frm->cbbProjectList->currentIndex(), -1);
    QCOMPARE(frm->CurrProject(), nullptr);
    for (QPushButton* b : {frm->btnProjectModify, frm->btnProjectDel, frm->btnAdd, frm->btnEdit,
                           frm->btnDelete, frm->btnPrint, frm->btnStop})
        QVERIFY2(!b->isEnabled(), qPrintable(b->objectName()));
    QVERIFY(frm->btnProjectAdd->isEnabled());
    QCOMPARE(frm->itemValueTitleLabel->text(), QString("打印内容："));
    QCOMPARE(frm->itemPositionLabel->text(), QString("位置："));
    QVERIFY(!frm->btnPause->isVisible() && !frm->BtnPreview->isVisible() && !frm->btnClose->isVisible());
    QCOMPARE(frm->centralWidget()->size(), QSize(493, 664));
}

void TestMainWindow::selectingProjectShowsItsPage() {
    // The start shown is the stored one, read again on selecting.
    TestProject("甲").start(77).store({"b", "A"});
    start();
    TProject* p = PrintModel->SettingMgr()->ProjectList()->Items(0);
    p->SetProjectNotes("备注");
    p->SetProjectSerialStart(5);
    frm->prgPrint->setValue(40);
    selectProject("甲");
    QCOMPARE(frm->CurrProject(), p);
    QCOMPARE(frm->prgPrint->value(), 0);
    QCOMPARE(frm->ItemListBox->count(), 2);
    QCOMPARE(frm->ItemListBox->item(0)->text(), QString("A"));
    QCOMPARE(frm->ItemListBox->item(1)->text(), QString("b"));
    QCOMPARE(frm->printInfo->text(), QString("纸张大小：210×297 打印方向：纵向 偏移X：0 偏移Y：0"));
    QCOMPARE(frm->memoProjectNotes->toPlainText(), QString("备注"));
    QCOMPARE(frm->PrnSerialFrom->value(), 77);
    QCOMPARE(frm->PrnSerialTo->value(), 10);
    QVERIFY(frm->btnAdd->isEnabled());
    QVERIFY(!frm->btnEdit->isEnabled());
    selectItem("b");
    QVERIFY(frm->btnEdit->isEnabled() && frm->btnDelete->isEnabled());
    selectProject("甲");
    QCOMPARE(frm->CurrItem(), nullptr);
    QVERIFY(!frm->btnEdit->isEnabled());
}

void TestMainWindow::summaryTextsByKind_data() {
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("position");
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("outline");
    QTest::addColumn<QString>("other");
    QTest::addColumn<QString>("valueTitle");
    QTest::addColumn<QString>("fontSample");
    QTest::addColumn<bool>("fontArea");
    // Every row uses x 12.5, y 7.4, width 30.5, line height 1.25 (end y for a line),
    // rotation 90, spacing 2, wrapping on, dash-dot frame 3 px with margin 1.5.
    QTest::newRow("text") << 0 << "位置:X:13,Y:7,宽:31,行高(倍):1.25,"
                          << "控制:自动换行:是,旋转:90,字符间距:2"
                          << "边框:线型:点划线,宽度:3,边距:1.50" << "其他:" << "打印项内容："
                          << "字体示例1234567890" << true;
    QTest::newRow("serial") << 1 << "位置:X:13,Y:7,宽:31,行高(倍):1.25,"
                            << "控制:自动换行:是,旋转:90,字符间距:2"
                            << "边框:线型:点划线,宽度:3,边距:1.50" << "其他:" << "打印项内容："
                            << "序列号格式(递增:5)：\nNO.0042" << true;
    QTest::newRow("line") << 2 << "位置:起点X:13,Y:7,终点X:31,Y:1," << "控制："
                          << "边框:线型:点划线,宽度:3,边距:1.50" << "其他：" << "打印内容："
                          << "字体示例1234567890" << false;
    QTest::newRow("barcode") << 3 << "位置:X:13,Y:7,高:1,Module:0.33,Ratio:2.50"
                             << "控制:CheckSum:是,旋转:90,字符间距:2" << "线型："
                             << "条形码:bcCode128B,选项:bcoCode,位置:stpBottomCenter"
                             << "条形码内容：" << "字体示例1234567890" << false;
    QTest::newRow("qr") << 4 << "位置:X:13,Y:7,宽:31,高:1," << "控制：" << "线型："
                        << "QRcode:qrUTF8BOM,QuietZone:4" << "二维码内容：" << "字体示例1234567890"
                        << false;
    QTest::newRow("image without picture") << 5 << "位置:X:13,Y:7,宽:31,高:1," << "控制："
                                           << "边框:线型:点划线,宽度:3,边距:1.50" << "无图片"
                                           << "图片文件名：" << "字体示例1234567890" << false;
}

void TestMainWindow::summaryTextsByKind() {
    QFETCH(int, type);
    QFETCH(QString, position);
    QFETCH(QString, control);
    QFETCH(QString, outline);
    QFETCH(QString, other);
    QFETCH(QString, valueTitle);
    QFETCH(QString, fontSample);
    QFETCH(bool, fontArea);
    auto* item = new TPrintItem;
    item->SetItemName("item");
    item->SetItemType(type);
    // The barcode sample is drawn too: its check digit needs a numeric text.
    const QString value = type == 1 ? "42" : type == 3 ? "1234" : "content";
    item->SetItemValue(value);
    item->SetItemX(12.5);
    item->SetItemY(7.4);
    item->SetItemTextWidth(30.5);
    item->SetItemLineHeight(1.25);
    item->SetItemRotateDegree(90);
    item->SetItemCharExtra(2);
    item->SetItemAllowNewLine("TRUE");
    item->SetItemOutlinePenStyle(3);
    item->SetItemOutlinePenWidth(3);
    item->SetItemOutlineMargin(1.5);
    item->SetItemOutlinePenColor("clRed");
    item->SetItemSerialStep(5);
    item->SetItemSerialIsFillZero("TRUE");
    item->SetItemSerialLength(4);
    item->SetItemSerialHasPre("TRUE");
    item->SetItemSerialPreText("NO.");
    item->SetBarcodeType(6);
    item->SetBarcodeOption(1);
    item->SetBarcodePosition(5);
    item->SetBarcodeModule(0.33);
    item->SetBarcodeRatio(2.5);
    item->SetQRcodeEncoding(5);
    item->SetQRcodeQuietZone(4);
    item->SetItemDefaultFont("FALSE");
    item->SetItemFontName("宋体");
    item->SetItemFontSize("20");
    item->SetItemFontColor("clNavy");
    item->SetItemFontStyle("[fsBold]");
    TestProject("p").store({item});
    start();
    selectProject("p");
    selectItem("item");
    QCOMPARE(frm->itemNameLabel->text(), QString("item"));
    QCOMPARE(frm->itemTypeLabel->text(),
             QString("文本,序列号,线条,条形码,二维码,图片,日期").split(',').at(type));
    QCOMPARE(frm->itemPositionLabel->text(), position);
    QCOMPARE(frm->itemControlLabel->text(), control);
    QCOMPARE(frm->itemOutLineLabel->text(), outline);
    QCOMPARE(frm->itemOtherLabel->text(), other);
    QCOMPARE(frm->itemValueTitleLabel->text(), valueTitle);
    QCOMPARE(frm->itemFontContainer->isVisible(), fontArea);
    QCOMPARE(frm->itemImageContainer->isVisible(), type >= 3 && type <= 5);
    QCOMPARE(frm->itemControlLabel->isVisible(), type == 0 || type == 1 || type == 3);
    QCOMPARE(frm->itemOutLineLabel->isVisible(), type <= 2 || type == 5);
    QCOMPARE(frm->itemOtherLabel->isVisible(), type >= 3);
    if (fontArea) {
        QCOMPARE(frm->itemFontLabel->text(), fontSample);
        QCOMPARE(frm->fontLabelTitle->text(), QString("自定义字体"));
        QCOMPARE(frm->itemFontLabel->font().pointSize(), 20);
        QVERIFY(frm->itemFontLabel->font().bold());
    }
    QCOMPARE(frm->btnItemStatus->text(), QString("启用"));
    QCOMPARE(frm->valueMemo->toPlainText(), value);
}

void TestMainWindow::pageFieldsReloadFromProject() {
    auto* a = new TPrintItem;
    a->SetItemName("a");
    TestProject("p").store({a});
    start();
    selectProject("p");
    frm->PrnSerialFrom->setValue(500);
    frm->PrnSerialTo->setValue(3);
    selectItem("a");
    QCOMPARE(frm->PrnSerialFrom->value(), 1);
    QCOMPARE(frm->PrnSerialTo->value(), 10);
}

// The summary pane shows the selected item alone: no title of the item before,
// no item of the project before.
void TestMainWindow::summaryFollowsSelection() {
    TestProject("甲").store(
        {NewItem(itImage, 0, 0, 32, 24, "", "pic"), NewItem(itLine, 0, 0, 50, 0, "", "line")});
    TestProject("乙").store();
    start();
    const QString name = frm->itemNameLabel->text(), type = frm->itemTypeLabel->text();
    selectProject("甲");
    selectItem("pic");
    QCOMPARE(frm->itemValueTitleLabel->text(), QString("图片文件名："));
    selectItem("line");
    QCOMPARE(frm->itemValueTitleLabel->text(), QString("打印内容："));
    selectProject("乙");
    QCOMPARE(frm->itemNameLabel->text(), name);
    QCOMPARE(frm->itemTypeLabel->text(), type);
}

// In the item list Delete deletes, asking first, and Enter opens the editor.
void TestMainWindow::itemListKeys() {
    TestProject("p").store({NewItem(itText, 0, 0, 0, 1.2, "x", "a")});
    start();
    selectProject("p");
    selectItem("a");
    QApplication::setActiveWindow(frm);
    frm->ItemListBox->setFocus();
    {
        MessageAnswerer answers({QMessageBox::No});
        QTest::keyClick(frm->ItemListBox, Qt::Key_Delete);
        QCOMPARE(answers.texts, QStringList{"打印项 \"a\" 将被删除，继续？"});
    }
    QString opened;
    QApplication::setActiveWindow(frm);
    frm->ItemListBox->setFocus();
    WhenModal<QDialog>([&opened](QDialog* editor) {
        opened = editor->windowTitle();
        editor->reject();
    });
    QTest::keyClick(frm->ItemListBox, Qt::Key_Return);
    QCOMPARE(opened, QString("打印项添加/编辑"));
}

// The project shown last on this station is shown again at the next start.
void TestMainWindow::lastProjectShownAgain() {
    TestProject("甲").store();
    TestProject("乙").store();
    start();
    selectProject("乙");
    delete frm;
    delete PrintModel;
    PrintModel = nullptr;
    start();
    QVERIFY(frm->CurrProject());
    QCOMPARE(frm->CurrProject()->ProjectName(), QString("乙"));
    QCOMPARE(frm->cbbProjectList->currentText(), QString("乙"));
}

// Printer names keep their underscores on screen: the label has room for them.
void TestMainWindow::underscoresShow() {
    TestProject("p").store();
    start();
    const auto shown = [this](const QString& text) {
        frm->printDevice->setText(text);
        return frm->printDevice->grab().toImage();
    };
    QVERIFY(shown("KOVA_PDF_B") != shown("KOVA PDF B"));
}

void TestMainWindow::toggleStoresFlag() {
    auto* a = new TPrintItem;
    a->SetItemName("a");
    TestProject("p").store({a});
    start();
    selectProject("p");
    selectItem("a");
    frm->btnItemStatus->click();
    QCOMPARE(frm->btnItemStatus->text(), QString("禁用"));
    QCOMPARE(db->scalar("select is_active from P_ITEM").toString(), QString("FALSE"));
    frm->btnItemStatus->click();
    QCOMPARE(frm->btnItemStatus->text(), QString("启用"));
    QCOMPARE(db->scalar("select is_active from P_ITEM").toString(), QString("TRUE"));
    // A save the database refuses leaves the item, and what the window shows, as stored.
    db->refuse("P_ITEM", "update");
    QVERIFY_THROWS_EXCEPTION(Exception, frm->btnItemStatus->click());
    QCOMPARE(frm->btnItemStatus->text(), QString("启用"));
    QCOMPARE(frm->CurrItem()->ItemActive(), QString("TRUE"));
}

void TestMainWindow::deleteItemRemovesRowAndPicture_data() {
    QTest::addColumn<bool>("yes");
    QTest::addColumn<QString>("refusedBy"); // the table whose delete the database refuses
    QTest::newRow("confirmed") << true << "";
    QTest::newRow("declined") << false << "";
    QTest::newRow("the item's delete refused: the item stays, as it was") << true << "P_ITEM";
    QTest::newRow("the picture's delete refused: the item is gone all the same")
        << true << "P_FILE";
}

void TestMainWindow::deleteItemRemovesRowAndPicture() {
    QFETCH(bool, yes);
    QFETCH(QString, refusedBy);
    auto* a = new TPrintItem;
    a->SetItemName("a");
    auto* pic = new TPrintItem;
    pic->SetItemName("pic");
    pic->SetItemType(5);
    TestProject("p").store({a, pic});
    start();
    TCFile file;
    // A real picture: the summary decodes it when the item is selected.
    QBuffer jpeg;
    jpeg.open(QIODevice::WriteOnly);
    QImage(8, 8, QImage::Format_RGB32).save(&jpeg, "JPG");
    file.SetBody(jpeg.data());
    PrintModel->FileMgr()->SaveFile(file);
    TProject* p = PrintModel->SettingMgr()->ProjectList()->Items(0);
    p->ItemList()->Items(1)->SetFileId(file.Oid);
    selectProject("p");
    selectItem("pic");
    if (!refusedBy.isEmpty())
        db->refuse(refusedBy, "delete");
    MessageAnswerer answers({yes ? QMessageBox::Yes : QMessageBox::No});
    const QString error = ErrorMessage<Exception>([&] { frm->btnDelete->click(); });
    QCOMPARE(answers.texts.value(0), QString("打印项 \"pic\" 将被删除，继续？"));
    const bool gone = yes && refusedBy != "P_ITEM";
    QCOMPARE(db->count("P_ITEM"), gone ? 1 : 2);
    QCOMPARE(db->count("P_FILE"), gone && refusedBy.isEmpty() ? 0 : 1);
    QCOMPARE(frm->ItemListBox->count(), gone ? 1 : 2);
    QCOMPARE(p->ItemList()->Count(), gone ? 1 : 2);
    QCOMPARE(error.contains("refused"), refusedBy == "P_ITEM");
    QCOMPARE(answers.texts.join("|").contains("图片没能从数据库中删除"), refusedBy == "P_FILE");
    if (gone) {
        // The entry above the deleted one becomes the selection.
        QCOMPARE(frm->CurrItem(), p->ItemList()->Items(0));
        QCOMPARE(frm->itemNameLabel->text(), QString("a"));
    } else {
        QVERIFY(!frm->CurrItem()->Deleted());
    }
}

void TestMainWindow::deleteProjectRemovesRowsAndPictures_data() {
    QTest::addColumn<QString>("refusedBy");
    QTest::newRow("deleted") << "";
    QTest::newRow("the project's delete refused: it stays, as it was") << "P_PROJECT";
    QTest::newRow("its picture's delete refused: the project is gone all the same") << "P_FILE";
}

void TestMainWindow::deleteProjectRemovesRowsAndPictures() {
    QFETCH(QString, refusedBy);
    TestProject("first").store();
    auto* pic = new TPrintItem;
    pic->SetItemName("pic");
    pic->SetItemType(5);
    auto* text = new TPrintItem;
    text->SetItemName("text");
    TestProject("second").store({pic, text});
    start();
    TCFile file;
    file.SetBody("jpeg");
    PrintModel->FileMgr()->SaveFile(file);
    TProjectList* list = PrintModel->SettingMgr()->ProjectList();
    TProject* second = list->Items(0)->ProjectName() == "second" ? list->Items(0) : list->Items(1);
    second->ItemList()->Items(0)->SetFileId(file.Oid);
    second->ItemList()->Items(0)->SetItemType(5);
    selectProject("second");
    const bool secondIsLater = frm->cbbProjectList->currentIndex() > 0;
    if (!refusedBy.isEmpty())
        db->refuse(refusedBy, "delete");
    MessageAnswerer answers({QMessageBox::Yes});
    const QString error = ErrorMessage<Exception>([&] { frm->btnProjectDel->click(); });
    QCOMPARE(answers.texts.value(0), QString("项目 \"second\" 将被删除，继续？"));
    const bool gone = refusedBy != "P_PROJECT";
    QCOMPARE(projectRows(), gone ? 1 : 2);
    QCOMPARE(db->count("P_ITEM"), gone ? 0 : 2);
    QCOMPARE(db->count("P_FILE"), refusedBy.isEmpty() ? 0 : 1);
    QCOMPARE(list->Count(), gone ? 1 : 2);
    QCOMPARE(frm->cbbProjectList->count(), gone ? 1 : 2);
    QCOMPARE(error.contains("refused"), !gone);
    QCOMPARE(answers.texts.join("|").contains("图片没能从数据库中删除"), refusedBy == "P_FILE");
    if (!gone) {
        QCOMPARE(frm->CurrProject(), second);
        QVERIFY(!second->Deleted() && !second->ItemList()->Items(0)->Deleted());
    } else if (secondIsLater)
        QCOMPARE(frm->CurrProject(), list->Items(0));
    else
        QCOMPARE(frm->CurrProject(), nullptr);
}

void TestMainWindow::deletingFirstProjectLeavesNoneSelected() {
    TestProject("one").store();
    TestProject("two").store();
    start();
    selectProject(frm->cbbProjectList->itemText(0));
    MessageAnswerer answer({QMessageBox::Yes});
    frm->btnProjectDel->click();
    QCOMPARE(projectRows(), 1);
    QCOMPARE(frm->CurrProject(), nullptr);
    QCOMPARE(frm->cbbProjectList->count(), 1);
    QCOMPARE(frm->cbbProjectList->currentIndex(), -1);
    QVERIFY(!frm->btnProjectDel->isEnabled());
}

void TestMainWindow::printerLine_data() {
    QTest::addColumn<QString>("defaultDevice");
    QTest::addColumn<QString>("device");
    QTest::addColumn<QString>("expected"); // empty: the default printer entry
    QTest::addColumn<bool>("printable");
    QTest::newRow("default device") << "TRUE" << "" << "" << true;
    QTest::newRow("installed, other case") << "FALSE" << "kova_pdf_b" << "打印设备：kova_pdf_b" << true;
    QTest::newRow("not installed, named") << "FALSE" << "GONE_PRINTER"
                                          << "打印设备：GONE_PRINTER（未安装）" << false;
    QTest::newRow("no printer named") << "FALSE" << "" << "打印设备：未设置" << false;
    QTest::newRow("default device, system has no default") << "TRUE"
                                                           << ""
                                                           << "打印设备：未设置" << false;
}

void TestMainWindow::printerLine() {
    QFETCH(QString, defaultDevice);
    QFETCH(QString, device);
    QFETCH(QString, expected);
    QFETCH(bool, printable);
    TestProject("p").store();
    start();
    TProject* p = PrintModel->SettingMgr()->ProjectList()->Items(0);
    p->SetProjectDefaultDevice(defaultDevice);
    p->SetProjectDeviceName(device);
    // A print server with no printers at all: no default either.
    const QByteArray server = qgetenv("CUPS_SERVER");
    const bool noServer = QByteArray(QTest::currentDataTag()).contains("no default");
    if (noServer) {
        qputenv("CUPS_SERVER", QDir::temp().filePath("kova-no-cups.sock").toUtf8());
        cupsSetServer(nullptr);
    }
    selectProject("p");
    if (noServer) {
        qputenv("CUPS_SERVER", server);
        cupsSetServer(nullptr);
    }
    if (expected.isEmpty()) {
        const QString entry = TPrintMgr().GetDefaultPrint();
        QVERIFY2(entry.startsWith("KOVA_PDF,"), qPrintable(entry));
        expected = "打印设备：" + entry;
    }
    QCOMPARE(frm->printDevice->text(), expected);
    QCOMPARE(frm->btnPrint->isEnabled(), printable);
    QCOMPARE(frm->printDevice->styleSheet().contains("#ff0000"), !printable);
}

void TestMainWindow::listDrawsDisabledGreyAndSerialBold() {
    auto* off = new TPrintItem;
    off->SetItemName("WWWW");
    off->SetItemActive("FALSE");
    auto* on = new TPrintItem;
    on->SetItemName("XXXX");
    auto* serial = new TPrintItem;
    serial->SetItemName("YYYY");
    serial->SetItemType(1);
    TestProject("p").store({off, on, serial});
    start();
    selectProject("p");
    QCOMPARE(frm->ItemListBox->sizeHintForRow(0), 16);
    frm->ItemListBox->doItemsLayout();
    const QImage image = frm->ItemListBox->viewport()->grab().toImage();
    auto inkOf = [&](int row, QColor* seen) {
        int ink = 0;
        for (int y = row * 16; y < row * 16 + 16; ++y)
            for (int x = 0; x < 120; ++x) {
                const QColor c = image.pixelColor(x, y);
                if (c.lightness() < 200) {
                    ++ink;
                    if (!seen->isValid() || c.lightness() < seen->lightness())
                        *seen = c; // the darkest pixel is the text colour itself
                }
            }
        return ink;
    };
    QColor grey, black, bold;
    inkOf(0, &grey);
    const int normalInk = inkOf(1, &black);
    const int boldInk = inkOf(2, &bold);
    // Anti-aliased glyphs never quite reach the text colour: grey text stays well
    // lighter than black text, and neutral.
    QVERIFY2(grey.lightness() >= 0x70 && grey.red() == grey.blue(), qPrintable(grey.name()));
    QVERIFY2(black.lightness() < 0x50, qPrintable(black.name()));
    QVERIFY2(boldInk > normalInk, qPrintable(QString("%1 vs %2").arg(boldInk).arg(normalInk)));
}

namespace {

// Fills the project editor once it is up, then saves or closes it.
void driveEditor(std::function<void(QDialog*)> fill, bool save) {
    QTimer::singleShot(20, [fill, save] {
        auto* editor = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!editor || editor->objectName() != "projectEditorView")
            return driveEditor(fill, save);
        fill(editor);
        editor->findChild<QPushButton*>(save ? "btnSave" : "btnCancel")->click();
    });
}

} // namespace

// A second project of a name already taken is refused; the first is untouched.
void TestMainWindow::projectNamesAreUnique() {
    TestProject("existing").store();
    TestProject("other").store();
    start();
    MessageAnswerer answers;
    driveEditor(
        [](QDialog* e) {
            e->findChild<QLineEdit*>("edtProjectName")->setText("existing");
            // The refused editor stays open; the user then leaves it.
            QTimer::singleShot(500, e, [e] { e->reject(); });
        },
        true);
    frm->btnProjectAdd->click();
    QCOMPARE(answers.texts, QStringList{"已经有名为 \"existing\" 的项目，请换一个名称"});
    QCOMPARE(projectRows(), 2);
}

void TestMainWindow::addProjectThroughEditor() {
    TestProject("existing").store();
    start();
    driveEditor(
        [](QDialog* e) {
            e->findChild<QLineEdit*>("edtProjectName")->setText("新项目");
            e->findChild<QDoubleSpinBox*>("PrnPageWidth")->setValue(100);
            e->findChild<QPlainTextEdit*>("memoNotes")->setPlainText("票据");
        },
        true);
    frm->btnProjectAdd->click();
    QCOMPARE(projectRows(), 2);
    QCOMPARE(db->scalar("select page_width from P_PROJECT where project_name = '新项目'").toDouble(), 100.0);
    QVERIFY(frm->CurrProject());
    QCOMPARE(frm->CurrProject()->ProjectName(), QString("新项目"));
    QCOMPARE(int(frm->CurrProject()->ObjectState()), int(posClean));
    QCOMPARE(frm->cbbProjectList->count(), 2);
    QCOMPARE(frm->cbbProjectList->currentText(), QString("新项目"));
    QCOMPARE(frm->memoProjectNotes->toPlainText(), QString("票据"));
    QCOMPARE(PrintModel->SettingMgr()->ProjectList()->Count(), 2);
    QVERIFY(frm->btnAdd->isEnabled());
}

void TestMainWindow::cancelledNewProjectIsDropped() {
    start();
    driveEditor([](QDialog* e) { e->findChild<QLineEdit*>("edtProjectName")->setText("x"); }, false);
    frm->btnProjectAdd->click();
    QCOMPARE(projectRows(), 0);
    QCOMPARE(PrintModel->SettingMgr()->ProjectList()->Count(), 0);
    QCOMPARE(frm->CurrProject(), nullptr);
}

void TestMainWindow::modifyProjectThroughEditor() {
    TestProject("old").store();
    start();
    selectProject("old");
    driveEditor([](QDialog* e) { e->findChild<QLineEdit*>("edtProjectName")->setText("renamed"); },
                true);
    frm->btnProjectModify->click();
    QCOMPARE(projectRows(), 1);
    QCOMPARE(db->scalar("select project_name from P_PROJECT").toString(), QString("renamed"));
    QCOMPARE(frm->cbbProjectList->currentText(), QString("renamed"));
    QCOMPARE(frm->CurrProject(), PrintModel->SettingMgr()->ProjectList()->Items(0));
}

void TestMainWindow::keyboardSelectionFollowsAndDeleteKeepsRows() {
    QList<TPrintItem*> items;
    for (const char* name : {"a", "b", "c"}) {
        auto* item = new TPrintItem;
        item->SetItemName(name);
        item->SetItemValue(QString("value ") + name);
        items << item;
    }
    TestProject("p").store(items);
    start();
    selectProject("p");
    selectItem("a");
    TProject* p = PrintModel->SettingMgr()->ProjectList()->Items(0);
    frm->ItemListBox->setFocus();
    QTest::keyClick(frm->ItemListBox, Qt::Key_Down);
    QCOMPARE(frm->CurrItem(), p->ItemList()->Items(1));
    QCOMPARE(frm->itemNameLabel->text(), QString("b"));
    QCOMPARE(frm->valueMemo->toPlainText(), QString("value b"));

    MessageAnswerer answer({QMessageBox::Yes});
    frm->btnDelete->click();
    QCOMPARE(answer.texts, QStringList{"打印项 \"b\" 将被删除，继续？"});
    QCOMPARE(db->count("P_ITEM"), 2);
    QCOMPARE(db->scalar("select count(*) from P_ITEM where item_name = 'b'").toInt(), 0);
    QCOMPARE(frm->ItemListBox->count(), 2);
    QCOMPARE(frm->ItemListBox->item(0)->text(), QString("a"));
    QCOMPARE(frm->ItemListBox->item(1)->text(), QString("c"));
    // Every remaining row still leads to a living item (AddressSanitizer watches).
    for (int row : {1, 0, 1}) {
        const QRect rect = frm->ItemListBox->visualItemRect(frm->ItemListBox->item(row));
        QTest::mouseClick(frm->ItemListBox->viewport(), Qt::LeftButton, {}, rect.center());
        QCOMPARE(frm->itemNameLabel->text(), frm->ItemListBox->item(row)->text());
        QCOMPARE(frm->CurrItem()->ItemName(), frm->ItemListBox->item(row)->text());
    }
    frm->ItemListBox->viewport()->grab();
    QTest::keyClick(frm->ItemListBox, Qt::Key_Up);
    QCOMPARE(frm->itemNameLabel->text(), QString("a"));
}

void TestMainWindow::longProjectTextsAreCut_data() {
    QTest::addColumn<QString>("column");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("kept");
    QTest::newRow("name of 201 Latin letters") << "project_name" << QString(201, 'x') << 200;
    QTest::newRow("name of 300 Chinese characters")
        << "project_name" << QString(300, QChar(0x6807)) << 200;
    QTest::newRow("notes of 4 200 characters") << "notes" << QString(4200, QChar(0x6ce8)) << 4000;
}

void TestMainWindow::longProjectTextsAreCut() {
    QFETCH(QString, column);
    QFETCH(QString, text);
    QFETCH(int, kept);
    TestProject("old").store();
    start();
    selectProject("old");
    const bool name = column == "project_name";
    driveEditor(
        [&](QDialog* e) {
            if (name)
                e->findChild<QLineEdit*>("edtProjectName")->setText(text);
            else
                e->findChild<QPlainTextEdit*>("memoNotes")->setPlainText(text);
        },
        true);
    frm->btnProjectModify->click();
    // The field holds what the column holds; what is shown is what is stored.
    const QString stored = db->scalar("select " + column + " from P_PROJECT").toString();
    QCOMPARE(stored, text.left(kept));
    if (name) {
        QCOMPARE(frm->CurrProject()->ProjectName(), stored);
        QCOMPARE(frm->cbbProjectList->currentText(), stored);
    } else {
        QCOMPARE(frm->CurrProject()->ProjectNotes(), stored);
    }
}

void TestMainWindow::refusedProjectSaveRestores() {
    TestProject("old").store();
    start();
    selectProject("old");
    db->exec("alter table P_PROJECT add constraint ck_refuse check (project_name <> 'refused')");
    MessageAnswerer answers;
    QString kept;
    driveEditor(
        [&](QDialog* e) {
            e->findChild<QLineEdit*>("edtProjectName")->setText("refused");
            e->findChild<QPlainTextEdit*>("memoNotes")->setPlainText("new notes");
            QTimer::singleShot(200, [e, &kept] {
                kept = e->findChild<QLineEdit*>("edtProjectName")->text();
                e->reject();
            });
        },
        true);
    frm->btnProjectModify->click();
    QCOMPARE(answers.texts.size(), 1);
    QVERIFY2(answers.texts.at(0).startsWith("保存失败"), qPrintable(answers.texts.at(0)));
    QCOMPARE(kept, QString("refused"));
    TProject* p = PrintModel->SettingMgr()->ProjectList()->Items(0);
    QCOMPARE(p->ProjectName(), QString("old"));
    QCOMPARE(p->ProjectNotes(), QString());
    QCOMPARE(int(p->ObjectState()), int(posClean));
    QCOMPARE(frm->cbbProjectList->currentText(), QString("old"));
    QCOMPARE(db->scalar("select project_name from P_PROJECT").toString(), QString("old"));

    // A refused new project is not added.
    driveEditor(
        [&](QDialog* e) {
            e->findChild<QLineEdit*>("edtProjectName")->setText("refused");
            QTimer::singleShot(200, [e] { e->reject(); });
        },
        true);
    frm->btnProjectAdd->click();
    QCOMPARE(PrintModel->SettingMgr()->ProjectList()->Count(), 1);
    QCOMPARE(projectRows(), 1);
}

void TestMainWindow::blankProjectNameRefused() {
    TestProject("old").store();
    start();
    selectProject("old");
    MessageAnswerer answers;
    driveEditor(
        [&](QDialog* e) {
            e->findChild<QLineEdit*>("edtProjectName")->setText("   ");
            QTimer::singleShot(200, [e] { e->reject(); });
        },
        true);
    frm->btnProjectModify->click();
    QCOMPARE(answers.texts, QStringList{"请输入项目名称"});
    QCOMPARE(db->scalar("select project_name from P_PROJECT").toString(), QString("old"));
}

void TestMainWindow::failedLoadDisablesCommands() {
    TestProject("p").store();
    db->exec("drop table P_SETTING");
    MessageAnswerer answers;
    start();
    QCOMPARE(answers.texts.size(), 1);
    QVERIFY(PrintModel && !PrintModel->SettingMgr());
    QVERIFY(!frm->ModelReady());
    for (QWidget* w : std::initializer_list<QWidget*>{
             frm->btnProjectAdd, frm->btnProjectModify, frm->btnProjectDel, frm->btnAdd,
             frm->btnEdit, frm->btnDelete, frm->btnItemStatus, frm->btnPrint, frm->cbbProjectList})
        QVERIFY2(!w->isEnabled(), qPrintable(w->objectName()));
    QVERIFY2(frm->lblStatus->text().contains("未能载入"), qPrintable(frm->lblStatus->text()));
    // Commands reached any other way do nothing rather than crash.
    frm->btnProjectAddClick();
    frm->btnAddClick();
    frm->btnEditClick();
    frm->btnDeleteClick();
    frm->btnItemStatusClick();
    frm->ItemListBoxClick();
    frm->cbbProjectListChange();
    frm->RenderView();
    QVERIFY(!frm->btnProjectAdd->isEnabled());
    QVERIFY(!QApplication::activeModalWidget());
}

void TestMainWindow::windowFitsSmallScreen() {
    start();
    // 1366 x 768 with a panel leaves about 728 pixels.
    const QRect available(0, 0, 1366, 728);
    frm->adjustSize();
    const QPoint at = TPrintMainFrm::PlaceOnScreen(frm->size(), available);
    frm->move(at);
    const int titleBar = 32;
    QVERIFY2(at.y() >= available.top(), qPrintable(QString::number(at.y())));
    QVERIFY2(at.y() + titleBar + frm->height() <= available.bottom() + 1,
             qPrintable(QString("%1 + %2").arg(at.y()).arg(frm->height())));
    for (QWidget* w : std::initializer_list<QWidget*>{frm->btnPrint, frm->prgPrint}) {
        const QPoint bottom = w->mapTo(frm, QPoint(0, w->height())) + at + QPoint(0, titleBar);
        QVERIFY2(available.contains(QPoint(available.left(), bottom.y() - 1)),
                 qPrintable(w->objectName()));
    }
    QCOMPARE(at.x(), (1366 - frm->width()) / 2);
}

void TestMainWindow::deleteQuestionSpeaksChineseAndDefaultsToNo() {
    QVERIFY(InstallTranslations());
    auto* a = new TPrintItem;
    a->SetItemName("a");
    TestProject("p").store({a});
    start();
    selectProject("p");
    selectItem("a");
    QStringList buttons;
    bool noIsDefault = false;
    QTimer::singleShot(20, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box)
            return;
        buttons << box->button(QMessageBox::Yes)->text() << box->button(QMessageBox::No)->text();
        noIsDefault = box->defaultButton() == box->button(QMessageBox::No);
        // Enter takes the default answer.
        QTest::keyClick(box, Qt::Key_Return);
    });
    frm->btnDelete->click();
    QCOMPARE(buttons.size(), 2);
    QVERIFY2(buttons.at(0).contains("是") && buttons.at(1).contains("否"),
             qPrintable(buttons.join('/')));
    QVERIFY(noIsDefault);
    QCOMPARE(db->count("P_ITEM"), 1);
}

namespace {

double luminance(QColor c) {
    auto channel = [](double v) {
        v /= 255.0;
        return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(c.red()) + 0.7152 * channel(c.green()) + 0.0722 * channel(c.blue());
}

double contrast(QColor a, QColor b) {
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// The strongest contrast any pixel of the area makes with its background colour.
double textContrast(const QImage& image, const QRect& area, QColor background) {
    double best = 1;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            best = std::max(best, contrast(image.pixelColor(x, y), background));
    return best;
}

} // namespace

void TestMainWindow::selectedDisabledItemIsReadable() {
    auto* off = new TPrintItem;
    off->SetItemName("WWWW");
    off->SetItemActive("FALSE");
    auto* on = new TPrintItem;
    on->SetItemName("XXXX");
    TestProject("p").store({off, on});
    start();
    selectProject("p");
    // How well a selected row can be read: its strongest text pixel against the
    // row's own background.
    auto rowContrast = [&](const QString& name) {
        selectItem(name);
        frm->ItemListBox->doItemsLayout();
        const QImage list = frm->ItemListBox->viewport()->grab().toImage();
        const QRect row = frm->ItemListBox->visualItemRect(
            frm->ItemListBox->findItems(name, Qt::MatchExactly).first());
        const QColor back = list.pixelColor(row.right() - 2, row.center().y());
        return textContrast(list, QRect(0, row.top(), 60, row.height()), back);
    };
    const double enabled = rowContrast("XXXX");
    const double disabled = rowContrast("WWWW");
    // As readable as any selected entry, not grey on the selection colour.
    QVERIFY2(disabled >= 0.9 * enabled,
             qPrintable(QString("%1 against %2").arg(disabled).arg(enabled)));

    QCOMPARE(frm->btnItemStatus->text(), QString("禁用"));
    const QImage button = frm->btnItemStatus->grab().toImage();
    const QRect face = button.rect().adjusted(4, 4, -4, -4);
    const QColor faceColor = button.pixelColor(face.left() + 1, face.center().y());
    const double statusContrast = textContrast(button, face, faceColor);
    QVERIFY2(statusContrast >= 4.5, qPrintable(QString::number(statusContrast)));
}

void TestMainWindow::copiesAreSelectedAndKeepTheirPictures_data() {
    QTest::addColumn<QString>("deleted"); // the item deleted after copying
    QTest::newRow("the copy") << "图 副本";
    QTest::newRow("the original") << "图";
}

void TestMainWindow::copiesAreSelectedAndKeepTheirPictures() {
    QFETCH(QString, deleted);
    TCFile jpeg;
    jpeg.SetBody(QuadrantJpeg());
    TFileMgr().SaveFile(jpeg);
    TPrintItem* pic = NewItem(itImage, 0, 0, 20, 10, "logo.jpg", "图");
    pic->SetFileId(jpeg.Oid);
    TestProject("甲").store({pic});
    start();
    QVERIFY(!frm->mmCopyProject->isEnabled() && !frm->mmCopyItem->isEnabled());
    selectProject("甲");
    QVERIFY(frm->mmCopyProject->isEnabled() && !frm->mmCopyItem->isEnabled());
    selectItem("图");
    QApplication::setActiveWindow(frm);
    QTest::keyClick(frm->ItemListBox, Qt::Key_D, Qt::ControlModifier);
    QCOMPARE(frm->CurrItem()->ItemName(), QString("图 副本"));
    QCOMPARE(frm->ItemListBox->currentItem()->text(), QString("图 副本"));
    QVERIFY(!frm->imageItem->pixmap().isNull());
    selectItem(deleted);
    MessageAnswerer yes({QMessageBox::Yes});
    frm->btnDelete->click();
    QCOMPARE(db->count("P_FILE"), 1);
    QCOMPARE(TFileMgr().getFileData(frm->CurrProject()->ItemList()->Items(0)->FileId()), jpeg.Body);
    frm->mmCopyProject->trigger();
    QCOMPARE(frm->cbbProjectList->currentText(), QString("甲 副本"));
    QCOMPARE(frm->CurrProject()->ProjectName(), QString("甲 副本"));
    QCOMPARE(frm->ItemListBox->count(), 1);
    QCOMPARE(db->count("P_FILE"), 2);
}

int main(int argc, char** argv) {
    TKovaApplication app(argc, argv);
    InstallFontSubstitutions();
    TestMainWindow test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_mainwindow.moc"
