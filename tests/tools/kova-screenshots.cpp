// Writes the screenshots of docs/: the main window with a sample project and the
// project editor, as they appear on a real X display (run under Xvfb).
#include "TestSupport.h"

#include "PrintMain.h"
#include "model/Font.h"
#include "model/PrintCommon.h"
#include "view/KovaApplication.h"
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
                    frm.close();
                    QApplication::quit();
                });
            });
        });
    });
    QApplication::exec();
    delete PrintModel;
    PrintModel = nullptr;
    return 0;
}
