// The real page preview: a page of a project drawn by the print path's own
// renderer at the resolution a cups-pdf queue of the test's own reports (300
// dpi), held against the same page printed on that queue and rasterised by
// pdftoppm at that resolution; and the preview opened from the main window's
// menu and from the item editor.
#include "TestSupport.h"

#include "PrintMain.h"
#include "fbarcode/Barcode.h"
#include "model/Composer.h"
#include "model/PrintCommon.h"
#include "model/bom/FileBom.h"
#include "model/bom/SettingBom.h"
#include "model/manager/FileMgrImpl.h"
#include "model/manager/PrintMgrImpl.h"
#include "model/manager/PrintRun.h"
#include "model/manager/SettingMgrImpl.h"
#include "view/PagePreview.h"
#include "view/printItemEditor.h"

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QSpinBox>
#include <QtTest>

namespace {

constexpr int kDpi = 300;
const QString kProject = QStringLiteral("预览");

QImage Grey(const QImage& image) {
    return image.convertToFormat(QImage::Format_Grayscale8);
}

// Pixels dark in one image and light in the other, within a box.
int Differing(const QImage& a, const QImage& b, const QRect& box) {
    int n = 0;
    for (int y = box.top(); y <= box.bottom(); ++y)
        for (int x = box.left(); x <= box.right(); ++x)
            n += (qGray(a.pixel(x, y)) < 128) != (qGray(b.pixel(x, y)) < 128);
    return n;
}

int Dark(const QImage& a, const QRect& box) {
    int n = 0;
    for (int y = box.top(); y <= box.bottom(); ++y)
        for (int x = box.left(); x <= box.right(); ++x)
            n += qGray(a.pixel(x, y)) < 128;
    return n;
}

bool Near(const QRect& a, const QRect& b) {
    return qAbs(a.left() - b.left()) <= 1 && qAbs(a.top() - b.top()) <= 1 &&
           qAbs(a.right() - b.right()) <= 1 && qAbs(a.bottom() - b.bottom()) <= 1;
}

} // namespace

class TestPagePreview : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY2(queue.ok(), qPrintable(queue.why())); }
    void init();
    void cleanup();

    void itemsLieWhereThePrintPutsThem_data();
    void itemsLieWhereThePrintPutsThem();
    void showsTheSerialOfItsPage_data();
    void showsTheSerialOfItsPage();
    void pagesAndZoom_data();
    void pagesAndZoom();
    void opensFromMenuAndItemEditor_data();
    void opensFromMenuAndItemEditor();

private:
    void setPage(TProject& project) const;
    // The preview of a page of an in-memory project.
    QImage preview(TProject& project, int pageNum, TPagePreviewFrm* frm = nullptr);
    // The page printed alone on the queue, rasterised at kDpi.
    QImage printed(TProject& project, int pageNum);

    TestQueue queue{QStringLiteral("KOVA_PREVIEW"), kDpi};
    std::unique_ptr<TestStore> store;
    TPrintMainFrm* frm = nullptr;
};

void TestPagePreview::init() {
    store = std::make_unique<TestStore>();
}

void TestPagePreview::cleanup() {
    delete frm;
    frm = nullptr;
    store.reset();
}

// 127 × 101.6 mm is 360 × 288 points, which the queue's steps keep exact.
void TestPagePreview::setPage(TProject& project) const {
    project.SetProjectPageWidth(127);
    project.SetProjectPageHeight(101.6);
    project.SetProjectDefaultDevice(kFalse);
    project.SetProjectDeviceName(queue.name());
}

QImage TestPagePreview::preview(TProject& project, int pageNum, TPagePreviewFrm* window) {
    TPagePreviewFrm own;
    TPagePreviewFrm& w = window ? *window : own;
    w.SetData(
        project,
        [&](int n) {
            return TPageComposer(store->settings, store->files).GenerateTCPrint(project, n);
        },
        pageNum);
    if (!w.Error().isEmpty())
        qWarning() << w.Error();
    return Grey(w.PageImage());
}

QImage TestPagePreview::printed(TProject& project, int pageNum) {
    TPrintRunOptions options;
    options.From = pageNum;
    options.Count = 1;
    options.Printer = queue.name();
    options.Save = false;
    const TPrintRunResult result = TPrintRun(project, store->settings, store->files).Run(options);
    if (!result.Error.isEmpty() || result.JobId <= 0) {
        qWarning() << "run failed:" << result.Error << result.Refused;
        return QImage();
    }
    QString why;
    const QString pdf = WaitForJobPdf(QString(), result.JobId, &why);
    if (pdf.isEmpty())
        qWarning() << "no PDF:" << why;
    return pdf.isEmpty() ? QImage() : Grey(RasterisePdfPage(pdf, 1, kDpi));
}

// Every kind of item, alone on page 7: its ink in the preview within a pixel
// of its ink on the printed page at the same resolution.
void TestPagePreview::itemsLieWhereThePrintPutsThem_data() {
    QTest::addColumn<int>("type");
    QTest::addColumn<QRectF>("geometry"); // x, y, TextWidth, LineHeight
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("rotate");
    QTest::addColumn<bool>("wrap");
    QTest::addColumn<int>("penStyle");
    QTest::addColumn<QPoint>("pageOffset"); // tenths of a millimetre

    QTest::newRow("serial number in its frame, page offset")
        << int(itSerial) << QRectF(20, 15, 40, 1.2) << "1000" << 0.0 << false << 0
        << QPoint(-30, 45);
    QTest::newRow("wrapped text of three lines")
        << int(itText) << QRectF(20, 20, 22, 1.5) << "汉字汉字汉字汉字汉字汉字汉字" << 0.0 << true
        << 0 << QPoint(0, 0);
    QTest::newRow("text turned 90 degrees") << int(itText) << QRectF(30, 80, 0, 1.2)
                                            << "ROTATED-TEXT" << 90.0 << false << 5 << QPoint(0, 0);
    QTest::newRow("slanted dashed line")
        << int(itLine) << QRectF(15, 20, 90, 70) << "" << 0.0 << false << 1 << QPoint(10, 10);
    QTest::newRow("picture stretched to its box, framed")
        << int(itImage) << QRectF(20, 20, 60, 15) << "logo" << 0.0 << false << 0 << QPoint(0, 0);
    QTest::newRow("Code 128 with its text below")
        << int(itBarcode) << QRectF(10, 30, 0, 15) << "KOVA-0042" << 0.0 << false << 5
        << QPoint(50, 50);
    QTest::newRow("QR code") << int(itQRCode) << QRectF(30, 20, 30, 30) << "https://kova.example/7"
                             << 0.0 << false << 5 << QPoint(-20, 10);
}

void TestPagePreview::itemsLieWhereThePrintPutsThem() {
    QFETCH(int, type);
    QFETCH(QRectF, geometry);
    QFETCH(QString, text);
    QFETCH(double, rotate);
    QFETCH(bool, wrap);
    QFETCH(int, penStyle);
    QFETCH(QPoint, pageOffset);

    TProject project;
    setPage(project);
    project.SetProjectOffsetX(pageOffset.x());
    project.SetProjectOffsetY(pageOffset.y());
    TPrintItem* item = AddItem(project, type, geometry.x(), geometry.y(), geometry.width(),
                               geometry.height(), text);
    item->SetItemRotateDegree(rotate);
    item->SetItemAllowNewLine(FlagText(wrap));
    item->SetItemOutlineMargin(1.5);
    item->SetItemOutlinePenWidth(10);
    item->SetItemOutlinePenStyle(penStyle);
    item->SetBarcodeType(bcCode128B);
    item->SetBarcodeModule(0.3);
    item->SetBarcodeOption(bcoCode);
    item->SetBarcodePosition(stpBottomLeft);
    item->SetQRcodeQuietZone(2);
    if (type == itImage) {
        TCFile file;
        file.FileName = "logo";
        file.FileType = ".jpg";
        file.SetBody(QuadrantJpeg());
        QVERIFY(store->files.SaveFile(file));
        item->SetFileId(file.Oid);
    }

    const QImage shown = preview(project, 7);
    const QImage paper = printed(project, 7);
    QVERIFY(!shown.isNull() && !paper.isNull());
    QCOMPARE(shown.size(), QSize(1500, 1200));
    QCOMPARE(paper.size(), shown.size());
    const QRect a = InkBox(shown), b = InkBox(paper);
    QVERIFY(!b.isEmpty());
    QVERIFY2(Near(a, b), qPrintable(Describe("preview", a, "printed", b)));
}

// The serial number of page N: the preview's glyphs are the printed page's,
// and not those of the next page.
void TestPagePreview::showsTheSerialOfItsPage_data() {
    QTest::addColumn<int>("page");
    QTest::newRow("page 1") << 1;
    QTest::newRow("page 7") << 7;
    QTest::newRow("page 250") << 250;
}

void TestPagePreview::showsTheSerialOfItsPage() {
    QFETCH(int, page);
    TProject project;
    setPage(project);
    TPrintItem* serial = AddItem(project, itSerial, 20, 20, 0, 1.2, "1000");
    serial->SetItemSerialStep(1111);
    serial->SetItemFontSize(QStringLiteral("28"));
    const QImage paper = printed(project, page);
    const QImage same = preview(project, page);
    const QImage next = preview(project, page + 1);
    QVERIFY(!paper.isNull() && !same.isNull() && !next.isNull());
    const QRect box = InkBox(paper) | InkBox(same) | InkBox(next);
    const int ink = Dark(paper, box);
    QVERIFY(ink > 500);
    const int sameDiff = Differing(same, paper, box), nextDiff = Differing(next, paper, box);
    // Edges smoothed differently differ; other digits differ wholesale.
    QVERIFY2(sameDiff * 5 < ink, qPrintable(QStringLiteral("%1 of %2").arg(sameDiff).arg(ink)));
    QVERIFY2(nextDiff * 2 > ink, qPrintable(QStringLiteral("%1 of %2").arg(nextDiff).arg(ink)));
}

// Paging and zoom: the page shown follows the number, 1:1 shows one printer
// dot a screen pixel, fitted the whole sheet is in view.
void TestPagePreview::pagesAndZoom_data() {
    QTest::addColumn<QString>("action");
    QTest::addColumn<int>("page");
    QTest::newRow("next page") << "next" << 8;
    QTest::newRow("previous page") << "previous" << 6;
    QTest::newRow("typed page number") << "type 123" << 123;
    QTest::newRow("1:1") << "1:1" << 7;
    QTest::newRow("fit after 1:1") << "fit" << 7;
}

void TestPagePreview::pagesAndZoom() {
    QFETCH(QString, action);
    QFETCH(int, page);
    TProject project;
    setPage(project);
    AddItem(project, itSerial, 20, 20, 0, 1.2, "1")->SetItemSerialStep(1);
    TPagePreviewFrm window;
    window.show();
    preview(project, 7, &window);
    QCOMPARE(window.PageNum(), 7);
    if (action == "next")
        window.btnNextPage->click();
    else if (action == "previous")
        window.btnPrevPage->click();
    else if (action.startsWith("type")) {
        window.edtPageNum->setFocus();
        window.edtPageNum->selectAll();
        QTest::keyClicks(window.edtPageNum, action.section(' ', 1));
        QTest::keyClick(window.edtPageNum, Qt::Key_Return);
    } else if (action == "1:1") {
        window.btnZoomActual->click();
    } else {
        window.btnZoomActual->click();
        window.btnZoomFit->click();
    }
    QCOMPARE(window.PageNum(), page);
    QVERIFY2(window.lblInfo->text().startsWith(QStringLiteral("第 %1 页，127.0 × 101.6 mm，打印机 "
                                                              "%2，300 × 300 dpi")
                                                   .arg(page)
                                                   .arg(queue.name())),
             qPrintable(window.lblInfo->text()));
    // The page shown is the one composed for that number.
    QCOMPARE(Grey(window.PageImage()), preview(project, page));
    const QRect shown = window.imgPage->PageRect();
    if (action == "1:1") {
        QCOMPARE(shown.size(), QSize(1500, 1200));
    } else {
        QVERIFY(window.scrPage->viewport()->rect().contains(shown));
        QVERIFY(shown.width() < 1500);
    }
}

// From the main window's "系统" menu the stored page at the start field's
// number; from the item editor the page with the form's unsaved position,
// the stored item left as it was.
void TestPagePreview::opensFromMenuAndItemEditor_data() {
    QTest::addColumn<QString>("from");
    QTest::addColumn<double>("formX"); // mm; the item is stored at 10
    QTest::newRow("system menu") << "menu" << 10.0;
    QTest::newRow("item editor, position changed and not saved") << "editor" << 40.0;
}

void TestPagePreview::opensFromMenuAndItemEditor() {
    QFETCH(QString, from);
    QFETCH(double, formX);
    TPrintItem* line = NewItem(itLine, 10, 20, 10, 60, QString(), QStringLiteral("竖线"));
    line->SetItemOutlinePenStyle(0);
    line->SetItemOutlinePenWidth(8);
    TestProject(kProject).with([this](TProject& p) { setPage(p); }).start(7).store({line});
    frm = OpenMainWindow(ProgramDirFor(store->db), kProject);
    QVERIFY(frm);
    frm->PrnSerialFrom->setValue(9);

    int pageNum = 0;
    QImage image;
    auto look = [&](TPagePreviewFrm* preview) {
        pageNum = preview->PageNum();
        image = Grey(preview->PageImage());
        if (!preview->Error().isEmpty())
            qWarning() << preview->Error();
        preview->reject();
    };
    if (from == "menu") {
        QAction* entry = nullptr;
        for (QAction* menu : frm->PMainMenu->actions())
            if (menu->text() == QStringLiteral("系统(&Y)"))
                for (QAction* a : menu->menu()->actions())
                    if (a->text() == QStringLiteral("页面预览(&V)"))
                        entry = a;
        QVERIFY(entry);
        QVERIFY(entry->isEnabled());
        WhenModal<TPagePreviewFrm>(look);
        entry->trigger();
        QCOMPARE(pageNum, 9);
    } else {
        frm->ItemListBox->setCurrentRow(0);
        WhenModal<TprintItemEditorView>([&](TprintItemEditorView* editor) {
            editor->ItemX->setValue(formX);
            editor->itemTextWidth->setValue(formX);
            WhenModal<TPagePreviewFrm>([&, editor](TPagePreviewFrm* preview) {
                look(preview);
                editor->reject();
            });
            editor->btnPagePreview->click();
        });
        frm->btnEditClick();
        // The project's next start page.
        QCOMPARE(pageNum, 7);
        QCOMPARE(store->db.scalar(QStringLiteral("select item_x from P_ITEM")).toDouble(), 10.0);
        QCOMPARE(frm->CurrProject()->ItemList()->Items(0)->ItemX(), 10.0);
    }
    // The line's ink: its pen of 8 dots centred on its x, laid out at the
    // queue's 300 dpi and shown at them.
    QVERIFY(!image.isNull());
    const QRect ink = InkBox(image);
    const int centre = MmToPixels(formX, 300);
    QVERIFY2(qAbs(ink.left() - (centre - 4)) <= 1 && qAbs(ink.right() + 1 - (centre + 4)) <= 1,
             qPrintable(QStringLiteral("ink %1..%2 for a line at %3 px")
                            .arg(ink.left())
                            .arg(ink.right())
                            .arg(centre)));
}

QTEST_MAIN(TestPagePreview)
#include "tst_pagepreview.moc"
