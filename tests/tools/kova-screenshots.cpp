// Writes the screenshots of docs/: the main window with a sample project, the
// project editor, the item editor and the designer, as they appear on a real X
// display (run under Xvfb).
#include "TestSupport.h"

#include "PrintMain.h"
#include "model/Composer.h"
#include "model/Font.h"
#include "model/PrintCommon.h"
#include "model/bom/FileBom.h"
#include "view/KovaApplication.h"
#include "view/PagePreview.h"
#include "view/printItemEditor.h"
#include "view/projectEditor.h"

#include <QComboBox>
#include <QDir>
#include <QListWidget>
#include <QScreen>
#include <QTimer>
#include <functional>

namespace {

void sampleProject() {
    TProjectList list;
    auto* p = new TProject;
    p->SetProjectName(QStringLiteral("入场券 2027"));
    p->SetProjectPageWidth(210);
    p->SetProjectPageHeight(99);
    p->SetProjectPaperOrientation(1);
    p->SetProjectOffsetX(5);
    p->SetProjectNotes(QStringLiteral("预印票据，每页一张，编号连续。"));
    p->SetProjectSerialStart(251);
    p->SetProjectSerialEnd(50);
    list.Add(p);
    p->SetDirty(true);
    auto add = [&](const QString& name, int type, const QString& value) {
        auto* item = new TPrintItem;
        item->SetItemName(name);
        item->SetItemType(type);
        item->SetItemValue(value);
        item->SetItemX(20);
        item->SetItemY(15);
        item->SetItemFontName(QStringLiteral("宋体"));
        item->SetItemFontSize(QStringLiteral("16"));
        item->SetItemFontColor(QStringLiteral("clBlack"));
        item->SetItemFontStyle(QStringLiteral("[]"));
        p->ItemList()->Add(item);
        item->SetDirty(true);
        return item;
    };
    TPrintItem* serial = add(QStringLiteral("票号"), 1, QStringLiteral("1"));
    serial->SetItemSerialIsFillZero(QStringLiteral("TRUE"));
    serial->SetItemSerialLength(6);
    serial->SetItemSerialHasPre(QStringLiteral("TRUE"));
    serial->SetItemSerialPreText(QStringLiteral("NO."));
    add(QStringLiteral("标题"), 0, QStringLiteral("音乐会入场券"));
    TPrintItem* barcode = add(QStringLiteral("条码"), 3, QStringLiteral("TICKET-000251"));
    barcode->SetBarcodeType(6);
    barcode->SetBarcodeOption(1);
    barcode->SetBarcodePosition(5);
    barcode->SetBarcodeModule(0.2);
    barcode->SetItemLineHeight(15);
    barcode->SetItemDefaultFont(QStringLiteral("FALSE"));
    barcode->SetItemFontName(QStringLiteral("DejaVu Sans"));
    barcode->SetItemFontSize(QStringLiteral("9"));
    TPrintItem* qr =
        add(QStringLiteral("二维码"), 4, QStringLiteral("https://kova.example/票/000251"));
    qr->SetItemX(160);
    qr->SetItemTextWidth(30);
    qr->SetItemLineHeight(30);
    add(QStringLiteral("日期"), 6, QStringLiteral("yyyy-m-d h:n:s"))
        ->SetItemActive(QStringLiteral("FALSE"));
    p->Save();
}

// A label of all seven kinds for the designer, stored beside the sample project.
void designerProject() {
    TCFile logo;
    logo.FileName = QStringLiteral("logo.jpg");
    logo.FileType = QStringLiteral(".jpg");
    logo.SetBody(QuadrantJpeg(QSize(200, 100)));
    PrintModel->FileMgr()->SaveFile(logo);
    auto item = [](int type, const QString& name, const QString& value, double x, double y,
                   double w, double h) {
        TPrintItem* i = NewItem(type, x, y, w, h, value, name);
        i->SetItemFontSize(QStringLiteral("14"));
        return i;
    };
    TPrintItem* line = item(itLine, QStringLiteral("01 分隔线"), QString(), 5, 50, 115, 50);
    line->SetItemOutlinePenStyle(0);
    line->SetItemOutlinePenWidth(3);
    TPrintItem* title =
        item(itText, QStringLiteral("02 标题"), QStringLiteral("产品合格证"), 8, 5, 0, 1.2);
    title->SetItemFontSize(QStringLiteral("20"));
    TPrintItem* serial = SerialNumberItem(QStringLiteral("03 编号"));
    serial->SetItemX(8);
    serial->SetItemY(17);
    TPrintItem* barcode =
        item(itBarcode, QStringLiteral("04 条码"), QStringLiteral("KV-000251"), 8, 27, 0, 12);
    barcode->SetBarcodeType(6);
    barcode->SetBarcodeOption(1);
    barcode->SetBarcodePosition(5);
    barcode->SetBarcodeModule(0.3);
    barcode->SetItemFontSize(QStringLiteral("9"));
    TPrintItem* qr = item(itQRCode, QStringLiteral("05 二维码"),
                          QStringLiteral("https://kova.example/000251"), 88, 14, 26, 26);
    TPrintItem* picture =
        item(itImage, QStringLiteral("06 徽标"), QStringLiteral("logo.jpg"), 88, 3, 20, 10);
    picture->SetFileId(logo.Oid);
    TPrintItem* date =
        item(itDate, QStringLiteral("07 日期"), QStringLiteral("yyyy-mm-dd"), 8, 55, 0, 1.2);
    date->SetItemFontSize(QStringLiteral("11"));
    TestProject(QStringLiteral("标签设计"))
        .page(120, 70)
        .store({line, title, serial, barcode, qr, picture, date});
}

void save(QWidget* w, const QString& path) {
    const QPixmap shot = w->screen()->grabWindow(w->winId());
    if (!shot.save(path))
        qFatal("cannot write %s", qPrintable(path));
}

} // namespace

int main(int argc, char** argv) {
    TKovaApplication app(argc, argv);
    InstallFontSubstitutions();
    QApplication::setApplicationName(QStringLiteral("Print"));
    const QString outDir = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("docs");
    QTemporaryDir programDir;
    QDir(programDir.path()).mkpath(QStringLiteral("data"));
    TestDatabase::copyTemplate(programDir.filePath(QStringLiteral("data/KOVAUTF8.FDB")));
    EnsurePersistence();
    PersistenceManager().ConnectDatabase(programDir.filePath(QStringLiteral("data/KOVAUTF8.FDB")),
                                         "SYSDBA", "pinecrest", "", "FBAPI");
    sampleProject();
    PersistenceManager().Disconnect();

    TPrintMainFrm frm(programDir.path());
    if (!frm.FormCreate())
        return 1;
    frm.show();
    frm.cbbProjectList->setCurrentIndex(0);
    frm.cbbProjectListChange();
    frm.ItemListBox->setCurrentRow(2);
    frm.ItemListBoxClick();

    // The item editor for the barcode and the QR code item.
    std::function<void(const QString&, const QString&, std::function<void()>)> shootItem =
        [&](const QString& name, const QString& file, std::function<void()> next) {
            TPrintItem* item = nullptr;
            for (int i = 0; i < frm.CurrProject()->ItemList()->Count(); ++i)
                if (frm.CurrProject()->ItemList()->Items(i)->ItemName() == name)
                    item = frm.CurrProject()->ItemList()->Items(i);
            auto* itemEditor = new TprintItemEditorView(&frm);
            itemEditor->SetData(item, frm.CurrProject(), true);
            itemEditor->show();
            QTimer::singleShot(800, [&, itemEditor, file, next] {
                save(itemEditor, outDir + file);
                itemEditor->close();
                next();
            });
        };
    QTimer::singleShot(800, [&] {
        save(&frm, outDir + QStringLiteral("/mainwindow.png"));
        auto* editor = new TprojectEditorView(&frm);
        editor->Setdata(frm.CurrProject());
        editor->show();
        QTimer::singleShot(800, [&, editor] {
            save(editor, outDir + QStringLiteral("/projecteditor.png"));
            editor->close();
            shootItem(QStringLiteral("条码"), QStringLiteral("/itemeditor-barcode.png"), [&] {
                shootItem(QStringLiteral("二维码"), QStringLiteral("/itemeditor-qrcode.png"), [&] {
                    // The designer on a label of every kind, the barcode selected.
                    designerProject();
                    frm.mmRefreshClick();
                    TProject* label = nullptr;
                    TProjectList* projects = PrintModel->SettingMgr()->ProjectList();
                    for (int i = 0; i < projects->Count(); ++i)
                        if (projects->Items(i)->ProjectName() == QStringLiteral("标签设计"))
                            label = projects->Items(i);
                    auto* designer = new TPagePreviewFrm(&frm);
                    designer->EnableDesign(*label, *PrintModel->FileMgr());
                    designer->SetData(
                        *label,
                        [label](int page) {
                            return TPageComposer(*PrintModel->SettingMgr(), *PrintModel->FileMgr())
                                .GenerateTCPrint(*label, page);
                        },
                        251);
                    designer->show();
                    designer->SetDesigning(true);
                    for (TPrintItem* i : designer->DesignItems())
                        if (i->ItemName() == QStringLiteral("04 条码"))
                            designer->SelectItem(i);
                    QTimer::singleShot(800, [&, designer] {
                        save(designer, outDir + QStringLiteral("/designer.png"));
                        delete designer;
                        frm.close();
                        QApplication::quit();
                    });
                });
            });
        });
    });
    QApplication::exec();
    delete PrintModel;
    PrintModel = nullptr;
    return 0;
}
