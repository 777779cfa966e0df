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

    void dragMovesByThePixelsMillimetres_data();
    void dragMovesByThePixelsMillimetres();
    void fittedViewConvertsThroughItsScale();
    void handlesResize_data();
    void handlesResize();
    void arrowsNudge_data();
    void arrowsNudge();
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
    TPrintItem* itemNamed(TProject* p, const QString& name) const;
    void refuse(const QString& what);
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
    w->SetData(
        *p,
        [this, p](int n) {
            return TPageComposer(store->settings, store->files).GenerateTCPrint(*p, n);
        },
        1);
    w->EnableDesign(*p, store->files);
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

TPrintItem* TestDesigner::itemNamed(TProject* p, const QString& name) const {
    for (int i = 0; i < p->ItemList()->Count(); ++i)
        if (p->ItemList()->Items(i)->ItemName() == name)
            return p->ItemList()->Items(i);
    return nullptr;
}

QString TestDesigner::storePicture(TPrintItem* item) {
    TCFile file;
    file.SetBody(QuadrantJpeg());
    if (!store->files.SaveFile(file))
        return QString();
    item->SetFileId(file.Oid);
    return file.Oid;
}

void TestDesigner::refuse(const QString& what) {
    store->db.exec("create exception refused 'refused'");
    store->db.exec("create trigger refuse_it for P_ITEM before " + what +
                   " as begin exception refused; end");
}

// Each kind taken by its middle and dragged: on the grid, off it with Alt held,
// and off it with snapping switched off.
void TestDesigner::dragMovesByThePixelsMillimetres_data() {
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("value");
    QTest::addColumn<Geometry>("from");
    QTest::addColumn<QPoint>("by");        // screen pixels at 1:1
    QTest::addColumn<QString>("snapping"); // "grid", "alt" or "off"
    QTest::addColumn<Geometry>("expected");

    const Geometry text{20.3, 30.2, 0, 1.2};
    QTest::newRow("text, to the grid")
        << int(itText) << "ABC" << text << QPoint(60, 30) << "grid" << Geometry{25, 33, 0, 1.2};
    QTest::newRow("text, Alt held") << int(itText) << "ABC" << text << QPoint(60, 30) << "alt"
                                    << Geometry{25.38, 32.74, 0, 1.2};
    QTest::newRow("serial number, to the grid")
        << int(itSerial) << "1000" << text << QPoint(120, -60) << "grid"
        << Geometry{30, 25, 0, 1.2};
    QTest::newRow("serial number, snapping off")
        << int(itSerial) << "1000" << text << QPoint(120, -60) << "off"
        << Geometry{30.46, 25.12, 0, 1.2};
    QTest::newRow("line, both ends, to the grid")
        << int(itLine) << "" << Geometry{15, 20, 60, 20} << QPoint(60, 30) << "grid"
        << Geometry{20, 23, 65, 23};
    QTest::newRow("line, both ends, Alt held")
        << int(itLine) << "" << Geometry{15, 20, 60, 20} << QPoint(60, 30) << "alt"
        << Geometry{20.08, 22.54, 65.08, 22.54};
    QTest::newRow("barcode, to the grid")
        << int(itBarcode) << "20261209" << Geometry{10.4, 40, 0, 12} << QPoint(-30, 60) << "grid"
        << Geometry{8, 45, 0, 12};
    QTest::newRow("barcode, Alt held") << int(itBarcode) << "20261209" << Geometry{10.4, 40, 0, 12}
                                       << QPoint(-30, 60) << "alt" << Geometry{7.86, 45.08, 0, 12};
    QTest::newRow("QR code, to the grid") << int(itQRCode) << "kova" << Geometry{50, 20, 25, 25}
                                          << QPoint(60, 60) << "grid" << Geometry{55, 25, 25, 25};
    QTest::newRow("QR code, snapping off")
        << int(itQRCode) << "kova" << Geometry{50, 20, 25, 25} << QPoint(60, 60) << "off"
        << Geometry{55.08, 25.08, 25, 25};
    QTest::newRow("picture, to the grid") << int(itImage) << "p.jpg" << Geometry{30, 30, 40, 20}
                                          << QPoint(-60, -30) << "grid" << Geometry{25, 27, 40, 20};
    QTest::newRow("picture, Alt held")
        << int(itImage) << "p.jpg" << Geometry{30, 30, 40, 20} << QPoint(-60, -30) << "alt"
        << Geometry{24.92, 27.46, 40, 20};
    QTest::newRow("date, to the grid") << int(itDate) << "yyyy" << Geometry{60, 70, 0, 1.2}
                                       << QPoint(30, 30) << "grid" << Geometry{63, 73, 0, 1.2};
    QTest::newRow("date, Alt held") << int(itDate) << "yyyy" << Geometry{60, 70, 0, 1.2}
                                    << QPoint(30, 30) << "alt" << Geometry{62.54, 72.54, 0, 1.2};
}

void TestDesigner::dragMovesByThePixelsMillimetres() {
    QFETCH(int, type);
    QFETCH(QString, value);
    QFETCH(Geometry, from);
    QFETCH(QPoint, by);
    QFETCH(QString, snapping);
    QFETCH(Geometry, expected);

    TPrintItem* item = NewItem(type, from[0], from[1], from[2], from[3], value, "it");
    item->SetItemOutlinePenStyle(0);
    if (type == itImage)
        QVERIFY(!storePicture(item).isEmpty());
    TProject* p = project({item});
    open(p);
    item = itemNamed(p, "it");
    const QRectF before = w->ItemBox(item);
    QVERIFY2(!before.isEmpty() || type == itLine, qPrintable(w->Error()));
    if (snapping == "off")
        w->chkSnap->setChecked(false);
    const Qt::KeyboardModifiers mods = snapping == "alt" ? Qt::AltModifier : Qt::NoModifier;

    const QPointF at = centreOf(item);
    sendMouse(w->imgPage, QEvent::MouseButtonPress, at, Qt::LeftButton);
    QCOMPARE(w->SelectedItem(), item);
    sendMouse(w->imgPage, QEvent::MouseMove, at + by, Qt::LeftButton, mods);
    // While dragging the status line says where the item goes; nothing is saved yet.
    QVERIFY2(w->lblDesign->text().contains(QStringLiteral("X %1 mm，Y %2 mm")
                                               .arg(expected[0], 0, 'f', 2)
                                               .arg(expected[1], 0, 'f', 2)),
             qPrintable(w->lblDesign->text()));
    QVERIFY(Same(stored("it"), from));
    sendMouse(w->imgPage, QEvent::MouseButtonRelease, at + by, Qt::NoButton, mods);

    QVERIFY2(Same(stored("it"), expected), qPrintable(Describe(stored("it"), expected)));
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
    TPrintItem* qr = itemNamed(p, "qr");
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

// A handle per resizable kind and a line's two ends.
void TestDesigner::handlesResize_data() {
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("value");
    QTest::addColumn<Geometry>("from");
    QTest::addColumn<int>("handle");
    QTest::addColumn<QPoint>("by");
    QTest::addColumn<bool>("alt");
    QTest::addColumn<Geometry>("expected");

    QTest::newRow("barcode height, to the grid")
        << int(itBarcode) << "20261209" << Geometry{10, 40, 0, 12} << int(TDesignHandle::Height)
        << QPoint(0, 60) << false << Geometry{10, 40, 0, 17};
    QTest::newRow("barcode height, Alt held; sideways does nothing")
        << int(itBarcode) << "20261209" << Geometry{10, 40, 0, 12} << int(TDesignHandle::Height)
        << QPoint(90, -30) << true << Geometry{10, 40, 0, 9.46};
    QTest::newRow("QR code, both ways")
        << int(itQRCode) << "kova" << Geometry{50, 20, 25, 25} << int(TDesignHandle::Corner)
        << QPoint(60, 120) << false << Geometry{50, 20, 30, 35};
    QTest::newRow("QR code dragged past nothing keeps a millimetre")
        << int(itQRCode) << "kova" << Geometry{50, 20, 25, 25} << int(TDesignHandle::Corner)
        << QPoint(-600, -600) << false << Geometry{50, 20, 1, 1};
    QTest::newRow("picture dragged past nothing, Alt held, keeps a tenth")
        << int(itImage) << "p.jpg" << Geometry{30, 30, 40, 20} << int(TDesignHandle::Corner)
        << QPoint(-600, -600) << true << Geometry{30, 30, 0.1, 0.1};
    QTest::newRow("picture, both ways, Alt held")
        << int(itImage) << "p.jpg" << Geometry{30, 30, 40, 20} << int(TDesignHandle::Corner)
        << QPoint(-60, 30) << true << Geometry{30, 30, 34.92, 22.54};
    QTest::newRow("text frame's wrap width")
        << int(itText) << "汉字汉字汉字" << Geometry{20, 20, 30, 1.2} << int(TDesignHandle::Width)
        << QPoint(60, 0) << false << Geometry{20, 20, 35, 1.2};
    QTest::newRow("line's start alone")
        << int(itLine) << "" << Geometry{15, 20, 60, 50} << int(TDesignHandle::LineStart)
        << QPoint(-60, 30) << true << Geometry{9.92, 22.54, 60, 50};
    QTest::newRow("line's end alone")
        << int(itLine) << "" << Geometry{15, 20, 60, 50} << int(TDesignHandle::LineEnd)
        << QPoint(60, -30) << false << Geometry{15, 20, 65, 47};
}

void TestDesigner::handlesResize() {
    QFETCH(int, type);
    QFETCH(QString, value);
    QFETCH(Geometry, from);
    QFETCH(int, handle);
    QFETCH(QPoint, by);
    QFETCH(bool, alt);
    QFETCH(Geometry, expected);

    TPrintItem* item = NewItem(type, from[0], from[1], from[2], from[3], value, "it");
    item->SetItemOutlinePenStyle(0);
    if (type == itImage)
        QVERIFY(!storePicture(item).isEmpty());
    TProject* p = project({item});
    open(p);
    item = itemNamed(p, "it");
    w->SelectItem(item);
    const QPoint at = w->HandleAt(TDesignHandle(handle));
    QVERIFY(!at.isNull());
    dragBy(at, by, alt ? Qt::AltModifier : Qt::NoModifier);
    QVERIFY2(Same(stored("it"), expected), qPrintable(Describe(stored("it"), expected)));
}

void TestDesigner::arrowsNudge_data() {
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("key");
    QTest::addColumn<bool>("shift");
    QTest::addColumn<Geometry>("expected"); // from 20.5, 30, 40, 30

    QTest::newRow("right, a tenth")
        << int(itText) << int(Qt::Key_Right) << false << Geometry{20.6, 30, 40, 30};
    QTest::newRow("up with Shift, a millimetre, off the grid kept")
        << int(itQRCode) << int(Qt::Key_Up) << true << Geometry{20.5, 29, 40, 30};
    QTest::newRow("left, the line's both ends")
        << int(itLine) << int(Qt::Key_Left) << false << Geometry{20.4, 30, 39.9, 30};
    QTest::newRow("down with Shift, barcode")
        << int(itBarcode) << int(Qt::Key_Down) << true << Geometry{20.5, 31, 40, 30};
}

void TestDesigner::arrowsNudge() {
    QFETCH(int, type);
    QFETCH(int, key);
    QFETCH(bool, shift);
    QFETCH(Geometry, expected);
    TPrintItem* item = NewItem(type, 20.5, 30, 40, 30, type == itLine ? "" : "42", "it");
    item->SetItemOutlinePenStyle(0);
    TProject* p = project({item});
    open(p);
    w->SelectItem(itemNamed(p, "it"));
    QTest::keyClick(w->imgPage, Qt::Key(key), shift ? Qt::ShiftModifier : Qt::NoModifier);
    QVERIFY2(Same(stored("it"), expected), qPrintable(Describe(stored("it"), expected)));
}

// Ctrl+Z puts the stored values back, Ctrl+Y the change again; a deleted item
// comes back whole, under its OID, with its picture.
void TestDesigner::undoAndRedoSaveAgain_data() {
    QTest::addColumn<QString>("edit");
    QTest::newRow("drag") << "drag";
    QTest::newRow("resize") << "resize";
    QTest::newRow("nudges, two undone") << "nudges";
    QTest::newRow("delete") << "delete";
}

void TestDesigner::undoAndRedoSaveAgain() {
    QFETCH(QString, edit);
    TPrintItem* item = NewItem(itImage, 30, 30, 40, 20, "p.jpg", "pic");
    const QString picture = storePicture(item);
    QVERIFY(!picture.isEmpty());
    TProject* p = project({item, NewItem(itText, 5, 5, 0, 1.2, "under", "a")});
    const QString oid = itemNamed(p, "pic")->OID();
    const Geometry original = stored("pic");
    open(p);
    TPrintItem* pic = itemNamed(p, "pic");
    w->SelectItem(pic);
    Geometry changed;
    if (edit == "drag") {
        dragBy(centreOf(pic), QPoint(60, 30), Qt::NoModifier);
        changed = {35, 33, 40, 20};
    } else if (edit == "resize") {
        dragBy(w->HandleAt(TDesignHandle::Corner), QPoint(60, 30), Qt::NoModifier);
        changed = {30, 30, 45, 23};
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
    QTest::newRow("nudge") << "nudge";
    QTest::newRow("undo of a drag") << "undo";
    QTest::newRow("delete") << "delete";
}

void TestDesigner::refusedSaveUndoesItself() {
    QFETCH(QString, edit);
    TProject* p = project({NewItem(itQRCode, 50, 20, 25, 25, "kova", "qr")});
    open(p);
    TPrintItem* qr = itemNamed(p, "qr");
    w->SelectItem(qr);
    Geometry before{50, 20, 25, 25};
    if (edit == "undo") {
        dragBy(centreOf(qr), QPoint(60, 60), Qt::NoModifier);
        before = {55, 25, 25, 25};
        QVERIFY(Same(stored("qr"), before));
    }
    const QRectF box = w->ItemBox(qr);
    refuse(edit == "delete" ? "delete" : "update");
    if (edit == "drag")
        dragBy(centreOf(qr), QPoint(60, 60), Qt::NoModifier);
    else if (edit == "nudge")
        QTest::keyClick(w->imgPage, Qt::Key_Down);
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
    QVERIFY(w->ItemBox(itemNamed(p, "d")).isEmpty());
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
    QCOMPARE(w->SelectedItem(), itemNamed(p, "b"));
    // A click on the page selects what lies there; on bare paper, nothing.
    sendMouse(w->imgPage, QEvent::MouseButtonPress, centreOf(itemNamed(p, "A")), Qt::LeftButton);
    sendMouse(w->imgPage, QEvent::MouseButtonRelease, centreOf(itemNamed(p, "A")), Qt::NoButton);
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
    dragBy(centreOf(itemNamed(p, "it")), QPoint(71, 37), Qt::AltModifier);
    const QRectF shown = w->ItemBox(itemNamed(p, "it"));
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
