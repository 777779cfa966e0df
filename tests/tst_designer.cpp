// The page preview as a designer: items dragged, nudged and resized on the page
// land at the millimetres the pixels stand for, in P_ITEM; undo and redo save
// again; a save the database refuses leaves the stored values; a print after a
// drag puts the item where the designer outlined it.
#include "TestSupport.h"

#include "PrintMain.h"
#include "model/Composer.h"
#include "model/PrintCommon.h"
#include "model/bom/FileBom.h"
#include "model/bom/SettingBom.h"
#include "model/manager/PrintRun.h"
#include "view/PagePreview.h"
#include "view/printItemEditor.h"

#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QtTest>
#include <cmath>

namespace {

// The queue's dots: at 1:1 one screen pixel is 25.4 / 300 mm, so 60 pixels are
// 5.08 mm and 30 pixels 2.54 mm.
constexpr int kDpi = 300;

using Geometry = QList<double>; // x, y, width, height as P_ITEM stores them

void sendMouse(QWidget* w, QEvent::Type type, const QPointF& at, Qt::MouseButtons buttons,
               Qt::KeyboardModifiers mods = Qt::NoModifier) {
    QMouseEvent e(type, at, w->mapToGlobal(at), Qt::LeftButton, buttons, mods);
    QApplication::sendEvent(w, &e);
}

bool Same(const Geometry& a, const Geometry& b) {
    if (a.size() != b.size())
        return false;
    for (int i = 0; i < a.size(); ++i)
        if (std::abs(a[i] - b[i]) > 1e-9)
            return false;
    return true;
}

// Within one dot, edge by edge: the ink's last dot against the box's far edge.
bool WithinADot(const QRect& ink, const QRectF& box) {
    return std::abs(ink.left() - box.left()) <= 1 && std::abs(ink.top() - box.top()) <= 1 &&
           std::abs(ink.right() + 1 - box.right()) <= 1 &&
           std::abs(ink.bottom() + 1 - box.bottom()) <= 1;
}

} // namespace

class TestDesigner : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY2(queue.ok(), qPrintable(queue.why())); }
    void init() { store = std::make_unique<TestStore>(); }
    void cleanup();

    void gesturesLandInMillimetres_data();
    void gesturesLandInMillimetres();
    void fittedViewConvertsThroughItsScale();
    void undoAndRedoSaveAgain_data();
    void undoAndRedoSaveAgain();
    void refusedSaveUndoesItself_data();
    void refusedSaveUndoesItself();
    void listAndTabFollowDrawingOrder();
    void printPutsItemWhereDesignerShowedIt_data();
    void printPutsItemWhereDesignerShowedIt();
    void fromMainWindowEditAndDelete();

private:
    // A project of these items on the test queue's page, read back as the model holds it.
    TProject* project(const QList<TPrintItem*>& items);
    // The designer on a project, at 1:1 unless fitted, in design mode.
    TPagePreviewFrm* open(TProject* p, bool actual = true);
    Geometry stored(const QString& name);
    void dragBy(const QPointF& from, const QPoint& by, Qt::KeyboardModifiers mods);
    QPointF centreOf(const TPrintItem* item) const;
    // A picture stored for an image item; its OID, empty when it was not stored.
    QString storePicture(TPrintItem* item);

    TestQueue queue{QStringLiteral("KOVA_DESIGN"), kDpi};
    std::unique_ptr<TestStore> store;
    TPagePreviewFrm* w = nullptr;
    TPrintMainFrm* frm = nullptr;
};

void TestDesigner::cleanup() {
    delete w;
    w = nullptr;
    delete frm;
    frm = nullptr;
    store.reset();
}

TProject* TestDesigner::project(const QList<TPrintItem*>& items) {
    // 127 × 101.6 mm is 1500 × 1200 dots at the queue's resolution.
    TestProject(QStringLiteral("设计")).page(127, 101.6).printer(queue.name()).store(items);
    store->settings.Reload();
    return store->settings.ProjectList()->Items(0);
}

TPagePreviewFrm* TestDesigner::open(TProject* p, bool actual) {
    w = new TPagePreviewFrm;
    w->EnableDesign(*p, store->files);
    w->SetData(
        *p,
        [this, p](int n) {
            return TPageComposer(store->settings, store->files).GenerateTCPrint(*p, n);
        },
        1);
    w->show();
    if (actual)
        w->btnZoomActual->click();
    w->btnDesign->click();
    QCoreApplication::processEvents();
    if (!w->Error().isEmpty())
        qWarning() << w->Error();
    return w;
}

Geometry TestDesigner::stored(const QString& name) {
    Geometry g;
    for (const char* column : {"item_x", "item_y", "text_width", "line_height"})
        g << store->db
                 .scalar(QStringLiteral("select %1 from P_ITEM where item_name = '%2'")
                             .arg(QLatin1String(column), name))
                 .toDouble();
    return g;
}

void TestDesigner::dragBy(const QPointF& from, const QPoint& by, Qt::KeyboardModifiers mods) {
    sendMouse(w->imgPage, QEvent::MouseButtonPress, from, Qt::LeftButton);
    sendMouse(w->imgPage, QEvent::MouseMove, from + by / 2, Qt::LeftButton, mods);
    sendMouse(w->imgPage, QEvent::MouseMove, from + by, Qt::LeftButton, mods);
    sendMouse(w->imgPage, QEvent::MouseButtonRelease, from + by, Qt::NoButton, mods);
}

QPointF TestDesigner::centreOf(const TPrintItem* item) const {
    return w->imgPage->ToWidget(w->ItemBox(item).center());
}

QString TestDesigner::storePicture(TPrintItem* item) {
    TCFile file;
    file.SetBody(QuadrantJpeg());
    if (!store->files.SaveFile(file))
        return QString();
    item->SetFileId(file.Oid);
    return file.Oid;
}

// Each kind taken by its middle and dragged, on the grid or off it (Alt held, or
// snapping switched off); a handle per resizable kind and a
// line's two ends; the arrow keys.
void TestDesigner::gesturesLandInMillimetres_data() {
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("value");
    QTest::addColumn<Geometry>("from");
    QTest::addColumn<int>("handle");       // -1: the item's middle; else a TDesignHandle
    QTest::addColumn<QPoint>("by");        // screen pixels at 1:1; for keys, the key and Shift
    QTest::addColumn<QString>("snapping"); // "grid", "alt" or "off"; "key" for the arrows
    QTest::addColumn<Geometry>("expected");

    const Geometry text{20.3, 30.2, 0, 1.2}, line{15, 20, 60, 20}, code{10.4, 40, 0, 12},
        qr{50, 20, 25, 25}, pic{30, 30, 40, 20}, date{60, 70, 0, 1.2};
    const auto drag = [](const char* name, int type, const char* value, const Geometry& from,
                         QPoint by, const char* snapping, const Geometry& expected) {
        QTest::newRow(name) << type << value << from << -1 << by << snapping << expected;
    };
    drag("text, to the grid", itText, "ABC", text, {60, 30}, "grid", {25, 33, 0, 1.2});
    drag("text, Alt held", itText, "ABC", text, {60, 30}, "alt", {25.38, 32.74, 0, 1.2});
    drag("serial number, snapping off", itSerial, "1000", text, {120, -60}, "off",
         {30.46, 25.12, 0, 1.2});
    drag("line, both ends, to the grid", itLine, "", line, {60, 30}, "grid", {20, 23, 65, 23});
    drag("line, both ends, Alt held", itLine, "", line, {60, 30}, "alt",
         {20.08, 22.54, 65.08, 22.54});
    drag("barcode, to the grid", itBarcode, "20261209", code, {-30, 60}, "grid", {8, 45, 0, 12});
    drag("QR code, snapping off", itQRCode, "kova", qr, {60, 60}, "off", {55.08, 25.08, 25, 25});
    drag("picture, Alt held", itImage, "p.jpg", pic, {-60, -30}, "alt", {24.92, 27.46, 40, 20});
    drag("date, to the grid", itDate, "yyyy", date, {30, 30}, "grid", {63, 73, 0, 1.2});

    const auto resize = [](const char* name, int type, const char* value, const Geometry& from,
                           TDesignHandle handle, QPoint by, bool alt, const Geometry& expected) {
        QTest::newRow(name) << type << value << from << int(handle) << by << (alt ? "alt" : "grid")
                            << expected;
    };
    const Geometry bars{10, 40, 0, 12}, slant{15, 20, 60, 50};
    resize("barcode height, to the grid", itBarcode, "20261209", bars, TDesignHandle::Height,
           {0, 60}, false, {10, 40, 0, 17});
    resize("barcode height, Alt held; sideways does nothing", itBarcode, "20261209", bars,
           TDesignHandle::Height, {90, -30}, true, {10, 40, 0, 9.46});
    resize("QR code, both ways", itQRCode, "kova", qr, TDesignHandle::Corner, {60, 120}, false,
           {50, 20, 30, 35});
    resize("QR code dragged past nothing keeps a millimetre", itQRCode, "kova", qr,
           TDesignHandle::Corner, {-600, -600}, false, {50, 20, 1, 1});
    resize("picture dragged past nothing, Alt held, keeps a tenth", itImage, "p.jpg", pic,
           TDesignHandle::Corner, {-600, -600}, true, {30, 30, 0.1, 0.1});
    resize("picture, both ways, Alt held", itImage, "p.jpg", pic, TDesignHandle::Corner, {-60, 30},
           true, {30, 30, 34.92, 22.54});
    resize("text frame's wrap width", itText, "汉字汉字汉字", {20, 20, 30, 1.2},
           TDesignHandle::Width, {60, 0}, false, {20, 20, 35, 1.2});
    resize("line's start alone", itLine, "", slant, TDesignHandle::LineStart, {-60, 30}, true,
           {9.92, 22.54, 60, 50});
    resize("line's end alone", itLine, "", slant, TDesignHandle::LineEnd, {60, -30}, false,
           {15, 20, 65, 47});

    const auto nudge = [](const char* name, int type, Qt::Key key, bool shift,
                          const Geometry& expected) {
        QTest::newRow(name) << type << (type == itLine ? "" : "42") << Geometry{20.5, 30, 40, 30}
                            << -1 << QPoint(key, shift) << "key" << expected;
    };
    nudge("right, a tenth", itText, Qt::Key_Right, false, {20.6, 30, 40, 30});
    nudge("up with Shift, a millimetre, off the grid kept", itQRCode, Qt::Key_Up, true,
          {20.5, 29, 40, 30});
    nudge("left, the line's both ends", itLine, Qt::Key_Left, false, {20.4, 30, 39.9, 30});
    nudge("down with Shift, barcode", itBarcode, Qt::Key_Down, true, {20.5, 31, 40, 30});
}

void TestDesigner::gesturesLandInMillimetres() {
    QFETCH(int, type);
    QFETCH(QString, value);
    QFETCH(Geometry, from);
    QFETCH(int, handle);
    QFETCH(QPoint, by);
    QFETCH(QString, snapping);
    QFETCH(Geometry, expected);

    TPrintItem* item = NewItem(type, from[0], from[1], from[2], from[3], value, "it");
    item->SetItemOutlinePenStyle(0);
    if (type == itImage)
        QVERIFY(!storePicture(item).isEmpty());
    TProject* p = project({item});
    open(p);
    item = ItemNamed(*p, "it");
    const QRectF before = w->ItemBox(item);
    QVERIFY2(!before.isEmpty() || type == itLine, qPrintable(w->Error()));
    const Qt::KeyboardModifiers mods = snapping == "alt" ? Qt::AltModifier : Qt::NoModifier;
    if (snapping == "key") {
        w->SelectItem(item);
        QTest::keyClick(w->imgPage, Qt::Key(by.x()), by.y() ? Qt::ShiftModifier : Qt::NoModifier);
    } else if (handle >= 0) {
        w->SelectItem(item);
        const QPoint at = w->HandleAt(TDesignHandle(handle));
        QVERIFY(!at.isNull());
        dragBy(at, by, mods);
    } else {
        if (snapping == "off")
            w->chkSnap->setChecked(false);
        const QPointF at = centreOf(item);
        sendMouse(w->imgPage, QEvent::MouseButtonPress, at, Qt::LeftButton);
        QCOMPARE(w->SelectedItem(), item);
        sendMouse(w->imgPage, QEvent::MouseMove, at + by, Qt::LeftButton, mods);
        // While dragging the status line says where the item goes, nothing is saved yet ...
        QVERIFY2(w->lblDesign->text().contains(QStringLiteral("X %1 mm，Y %2 mm")
                                                   .arg(expected[0], 0, 'f', 2)
                                                   .arg(expected[1], 0, 'f', 2)),
                 qPrintable(w->lblDesign->text()));
        QVERIFY(Same(stored("it"), from));
        // ... and the page is drawn with the item there.
        QTRY_VERIFY(w->imgPage->Page() != w->PageImage());
        sendMouse(w->imgPage, QEvent::MouseButtonRelease, at + by, Qt::NoButton, mods);
    }
    QVERIFY2(Same(stored("it"), expected), qPrintable(Describe(stored("it"), expected)));
    if (handle >= 0 || snapping == "key")
        return;
    // The page drawn afresh shows it there: the outline moved by the stored millimetres.
    const QRectF after = w->ItemBox(item);
    const double dx = (expected[0] - from[0]) * kDpi / 25.4,
                 dy = (expected[1] - from[1]) * kDpi / 25.4;
    QVERIFY2(std::abs(after.left() - before.left() - dx) <= 1 &&
                 std::abs(after.top() - before.top() - dy) <= 1,
             qPrintable(Describe(before, after, dx, dy)));
}

// Fitted to the window, a screen pixel is as many millimetres as the page's
// width over the width it is shown at.
void TestDesigner::fittedViewConvertsThroughItsScale() {
    TProject* p = project({NewItem(itQRCode, 40, 30, 20, 20, "kova", "qr")});
    open(p, false);
    TPrintItem* qr = ItemNamed(*p, "qr");
    const double mmPerPixel = 127.0 / w->imgPage->PageRect().width();
    QVERIFY(mmPerPixel > 25.4 / kDpi); // smaller than 1:1
    const QPoint by(100, 50);
    dragBy(centreOf(qr), by, Qt::AltModifier);
    const Geometry g = stored("qr");
    QVERIFY2(std::abs(g[0] - (40 + by.x() * mmPerPixel)) <= 0.011 &&
                 std::abs(g[1] - (30 + by.y() * mmPerPixel)) <= 0.011,
             qPrintable(Describe(g, mmPerPixel)));
    dragBy(centreOf(qr), by, Qt::NoModifier);
    QCOMPARE(stored("qr")[0], std::round(g[0] + by.x() * mmPerPixel));
}

// Ctrl+Z puts the stored values back, Ctrl+Y the change again; a deleted item
// comes back whole, under its OID, with its picture.
void TestDesigner::undoAndRedoSaveAgain_data() {
    QTest::addColumn<QString>("edit");
    QTest::newRow("drag") << "drag";
    QTest::newRow("nudges, two undone") << "nudges";
    QTest::newRow("delete") << "delete";
}

void TestDesigner::undoAndRedoSaveAgain() {
    QFETCH(QString, edit);
    TPrintItem* item = NewItem(itImage, 30, 30, 40, 20, "p.jpg", "pic");
    const QString picture = storePicture(item);
    QVERIFY(!picture.isEmpty());
    TProject* p = project({item, NewItem(itText, 5, 5, 0, 1.2, "under", "a")});
    const QString oid = ItemNamed(*p, "pic")->OID();
    const Geometry original = stored("pic");
    open(p);
    TPrintItem* pic = ItemNamed(*p, "pic");
    w->SelectItem(pic);
    Geometry changed;
    if (edit == "drag") {
        dragBy(centreOf(pic), QPoint(60, 30), Qt::NoModifier);
        changed = {35, 33, 40, 20};
    } else if (edit == "nudges") {
        QTest::keyClick(w->imgPage, Qt::Key_Right);
        QTest::keyClick(w->imgPage, Qt::Key_Right, Qt::ShiftModifier);
        changed = {31.1, 30, 40, 20};
    } else {
        MessageAnswerer answers({QMessageBox::Yes});
        QTest::keyClick(w->imgPage, Qt::Key_Delete);
        QCOMPARE(answers.texts, QStringList{"打印项 \"pic\" 将被删除，继续？"});
        QCOMPARE(store->db.count("P_ITEM"), 1);
        QCOMPARE(p->ItemList()->Count(), 1);
        QCOMPARE(w->lstItems->count(), 1);
    }
    if (!changed.isEmpty())
        QVERIFY2(Same(stored("pic"), changed), qPrintable(Describe(stored("pic"), changed)));

    const int undos = edit == "nudges" ? 2 : 1;
    for (int i = 0; i < undos; ++i)
        QTest::keyClick(w->imgPage, Qt::Key_Z, Qt::ControlModifier);
    QVERIFY2(Same(stored("pic"), original), qPrintable(Describe(stored("pic"), original)));
    QCOMPARE(store->db.scalar("select oid from P_ITEM where item_name = 'pic'").toString(), oid);
    QCOMPARE(store->db.scalar("select file_id from P_ITEM where item_name = 'pic'").toString(),
             picture);
    QCOMPARE(p->ItemList()->Count(), 2);
    QCOMPARE(w->lstItems->count(), 2);
    QVERIFY(!w->btnUndo->isEnabled());

    for (int i = 0; i < undos; ++i)
        QTest::keyClick(w->imgPage, Qt::Key_Y, Qt::ControlModifier);
    if (edit == "delete")
        QCOMPARE(store->db.count("P_ITEM"), 1);
    else
        QVERIFY2(Same(stored("pic"), changed), qPrintable(Describe(stored("pic"), changed)));
    // The picture of an item still deleted goes with the window; until then an undo needs it.
    QCOMPARE(store->db.count("P_FILE"), 1);
    delete w;
    w = nullptr;
    QCOMPARE(store->db.count("P_FILE"), edit == "delete" ? 0 : 1);
}

// A save the database refuses: the stored values stay, the item in memory and
// on the page goes back to them, and the status line says why.
void TestDesigner::refusedSaveUndoesItself_data() {
    QTest::addColumn<QString>("edit");
    QTest::newRow("drag") << "drag";
    QTest::newRow("undo of a drag") << "undo";
    QTest::newRow("delete") << "delete";
}

void TestDesigner::refusedSaveUndoesItself() {
    QFETCH(QString, edit);
    TProject* p = project({NewItem(itQRCode, 50, 20, 25, 25, "kova", "qr")});
    open(p);
    TPrintItem* qr = ItemNamed(*p, "qr");
    w->SelectItem(qr);
    Geometry before{50, 20, 25, 25};
    if (edit == "undo") {
        dragBy(centreOf(qr), QPoint(60, 60), Qt::NoModifier);
        before = {55, 25, 25, 25};
        QVERIFY(Same(stored("qr"), before));
    }
    const QRectF box = w->ItemBox(qr);
    store->db.refuse("P_ITEM", edit == "delete" ? "delete" : "update");
    if (edit == "drag")
        dragBy(centreOf(qr), QPoint(60, 60), Qt::NoModifier);
    else if (edit == "undo")
        QTest::keyClick(w->imgPage, Qt::Key_Z, Qt::ControlModifier);
    else {
        MessageAnswerer answers({QMessageBox::Yes});
        QTest::keyClick(w->imgPage, Qt::Key_Delete);
    }
    QVERIFY(Same(stored("qr"), before));
    QCOMPARE(store->db.count("P_ITEM"), 1);
    QCOMPARE(p->ItemList()->Count(), 1);
    QCOMPARE(qr->ItemX(), before[0]);
    QCOMPARE(qr->ItemY(), before[1]);
    QCOMPARE(w->ItemBox(qr), box);
    QVERIFY2(w->lblDesign->text().startsWith(QStringLiteral("保存失败")) &&
                 w->lblDesign->text().contains("refused"),
             qPrintable(w->lblDesign->text()));
    // Nothing was recorded: the history is as before the refusal.
    QCOMPARE(w->btnUndo->isEnabled(), edit == "undo");
    // Once the database takes it again the refused undo can be done.
    if (edit == "undo") {
        store->db.exec("drop trigger refuse_it");
        QTest::keyClick(w->imgPage, Qt::Key_Z, Qt::ControlModifier);
        QVERIFY(Same(stored("qr"), (Geometry{50, 20, 25, 25})));
    }
}

// The list beside the page is in drawing order, names compared as composition
// compares them; Tab walks the page's items in that order, a disabled item is
// listed but not on the page; list and page select together.
void TestDesigner::listAndTabFollowDrawingOrder() {
    TPrintItem* off = NewItem(itText, 10, 60, 0, 1.2, "off", "d");
    off->SetItemActive(kFalse);
    TProject* p = project({NewItem(itText, 10, 10, 0, 1.2, "b", "b"),
                           NewItem(itText, 10, 20, 0, 1.2, "A", "A"),
                           NewItem(itText, 10, 30, 0, 1.2, "c", "c"), off});
    open(p);
    QStringList listed;
    for (int i = 0; i < w->lstItems->count(); ++i)
        listed << w->lstItems->item(i)->text();
    QCOMPARE(listed, (QStringList{"A", "b", "c", "d"}));
    QVERIFY(w->ItemBox(ItemNamed(*p, "d")).isEmpty());
    QStringList tabbed;
    for (int i = 0; i < 4; ++i) {
        QTest::keyClick(w->imgPage, Qt::Key_Tab);
        tabbed << w->SelectedItem()->ItemName();
        QCOMPARE(w->lstItems->currentRow(), listed.indexOf(tabbed.last()));
    }
    QCOMPARE(tabbed, (QStringList{"A", "b", "c", "A"}));
    QTest::keyClick(w->imgPage, Qt::Key_Backtab);
    QCOMPARE(w->SelectedItem()->ItemName(), QString("c"));
    w->lstItems->setCurrentRow(1);
    QCOMPARE(w->SelectedItem(), ItemNamed(*p, "b"));
    // A click on the page selects what lies there; on bare paper, nothing.
    sendMouse(w->imgPage, QEvent::MouseButtonPress, centreOf(ItemNamed(*p, "A")), Qt::LeftButton);
    sendMouse(w->imgPage, QEvent::MouseButtonRelease, centreOf(ItemNamed(*p, "A")), Qt::NoButton);
    QCOMPARE(w->lstItems->currentRow(), 0);
    const QPointF paper = w->imgPage->ToWidget(QPointF(1400, 1100));
    sendMouse(w->imgPage, QEvent::MouseButtonPress, paper, Qt::LeftButton);
    sendMouse(w->imgPage, QEvent::MouseButtonRelease, paper, Qt::NoButton);
    QCOMPARE(w->SelectedItem(), nullptr);
    QCOMPARE(w->lstItems->currentRow(), -1);
}

// Dragged off the grid, then printed from what the database holds: the ink on
// the printed sheet, rasterised at the queue's dots, lies in the designer's box
// (frames of a dot drawn on the box's edges).
void TestDesigner::printPutsItemWhereDesignerShowedIt_data() {
    QTest::addColumn<int>("type");
    QTest::addColumn<Geometry>("from");
    QTest::addColumn<QPoint>("pageOffset"); // tenths of a millimetre
    QTest::newRow("picture") << int(itImage) << Geometry{20, 20, 40, 20} << QPoint(0, 0);
    QTest::newRow("framed text, page offset")
        << int(itText) << Geometry{20, 30, 30, 1.2} << QPoint(-30, 45);
    QTest::newRow("QR code without quiet zone")
        << int(itQRCode) << Geometry{50, 20, 25, 25} << QPoint(20, 10);
    QTest::newRow("slanted line") << int(itLine) << Geometry{15, 20, 90, 70} << QPoint(0, 0);
}

void TestDesigner::printPutsItemWhereDesignerShowedIt() {
    QFETCH(int, type);
    QFETCH(Geometry, from);
    QFETCH(QPoint, pageOffset);
    TPrintItem* item = NewItem(type, from[0], from[1], from[2], from[3], "ABC汉字", "it");
    item->SetItemOutlinePenStyle(0);
    item->SetItemOutlinePenWidth(1);
    item->SetQRcodeQuietZone(0);
    if (type == itImage)
        QVERIFY(!storePicture(item).isEmpty());
    TestProject(QStringLiteral("设计"))
        .page(127, 101.6)
        .printer(queue.name())
        .with([&](TProject& pr) {
            pr.SetProjectOffsetX(pageOffset.x());
            pr.SetProjectOffsetY(pageOffset.y());
        })
        .store({item});
    store->settings.Reload();
    TProject* p = store->settings.ProjectList()->Items(0);
    open(p);
    dragBy(centreOf(ItemNamed(*p, "it")), QPoint(71, 37), Qt::AltModifier);
    const QRectF shown = w->ItemBox(ItemNamed(*p, "it"));
    QVERIFY(!Same(stored("it"), from));
    delete w;
    w = nullptr;

    store->settings.Reload();
    TPrintRunOptions options;
    options.From = 1;
    options.Count = 1;
    options.Printer = queue.name();
    options.Save = false;
    const TPrintRunResult result =
        TPrintRun(*store->settings.ProjectList()->Items(0), store->settings, store->files)
            .Run(options);
    QVERIFY2(result.Error.isEmpty() && result.JobId > 0, qPrintable(result.Error));
    QString why;
    const QString pdf = WaitForJobPdf(QString(), result.JobId, &why);
    QVERIFY2(!pdf.isEmpty(), qPrintable(why));
    const QImage paper = RasterisePdfPage(pdf, 1, kDpi);
    QCOMPARE(paper.size(), QSize(1500, 1200));
    const QRect ink = InkBox(paper);
    QVERIFY2(WithinADot(ink, shown), qPrintable(Describe("printed", ink, "designer", shown)));
}

// From the main window's menu: design mode, a double-click edits the item in
// the item editor, Delete asks the main window's question; the main window
// shows the result when the preview closes.
void TestDesigner::fromMainWindowEditAndDelete() {
    TestProject(QStringLiteral("设计"))
        .page(127, 101.6)
        .printer(queue.name())
        .store({NewItem(itQRCode, 50, 20, 25, 25, "kova", "qr"),
                NewItem(itText, 10, 10, 0, 1.2, "ABC", "text")});
    frm = OpenMainWindow(ProgramDirFor(store->db), QStringLiteral("设计"));
    QVERIFY(frm);
    frm->ItemListBox->setCurrentRow(1);
    frm->ItemListBoxClick();
    QCOMPARE(frm->ItemListBox->count(), 2);
    QStringList asked;
    bool edited = false;
    WhenModal<TPagePreviewFrm>([&](TPagePreviewFrm* preview) {
        preview->btnDesign->click();
        TPrintItem* qr = preview->DesignItems().at(0);
        const QPointF at = preview->imgPage->ToWidget(preview->ItemBox(qr).center());
        WhenModal<TprintItemEditorView>([&](TprintItemEditorView* editor) {
            editor->ItemX->setValue(42);
            editor->btnSave->click();
            edited = true;
        });
        sendMouse(preview->imgPage, QEvent::MouseButtonPress, at, Qt::LeftButton);
        sendMouse(preview->imgPage, QEvent::MouseButtonRelease, at, Qt::NoButton);
        sendMouse(preview->imgPage, QEvent::MouseButtonDblClick, at, Qt::LeftButton);
        // The text is next in drawing order.
        QTest::keyClick(preview->imgPage, Qt::Key_Tab);
        MessageAnswerer answers({QMessageBox::Yes});
        QTest::keyClick(preview->imgPage, Qt::Key_Delete);
        asked = answers.texts;
        preview->reject();
    });
    frm->mmPagePreview->trigger();
    QVERIFY(edited);
    QCOMPARE(asked, QStringList{"打印项 \"text\" 将被删除，继续？"});
    QCOMPARE(store->db.scalar("select item_x from P_ITEM where item_name = 'qr'").toDouble(), 42.0);
    QCOMPARE(store->db.count("P_ITEM"), 1);
    QCOMPARE(frm->ItemListBox->count(), 1);
    QCOMPARE(frm->CurrItem(), nullptr);
}

QTEST_MAIN(TestDesigner)
#include "tst_designer.moc"
