#pragma once

#include "model/LabelDesign.h"
#include "model/manager/PageRaster.h"
#include "model/manager/ScanCheck.h"

#include <QDialog>
#include <QImage>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QCheckBox;
class QLabel;
class QTimer;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QScrollArea;
class QSpinBox;
class TCPrint;
class TFileMgr;
class TPageRenderer;
class TPrintItem;
class TPrinter;
class TProject;

// An item as the designer outlines it, in the page image's pixels.
struct TDesignMark {
    QRectF Box;
    bool Line = false;
    QPointF From, To; // a line's ends
    std::vector<TDesignHandle> Handles;
};

// The page as paper, scaled to fit or one image pixel to a screen pixel, with
// the sheet's edge and the printable area drawn round it. Designing, it adds
// rulers in millimetres, the items' outlines and the selected item's handles.
class TPageView : public QWidget {
    Q_OBJECT

public:
    using QWidget::QWidget;
    // printable: the printable area in the image's pixels.
    void SetPage(const QImage& page, const QRectF& printable);
    // The page shown: while an item is dragged, the page with it where it would go.
    const QImage& Page() const { return FPage; }
    void SetFit(bool fit);
    bool Fit() const { return FFit; }
    // Where the page lies in the widget.
    QRect PageRect() const;
    QSize sizeHint() const override;

    // dotsPerMm: the image's pixels in a millimetre, across and down.
    void SetDesign(bool on, QPointF dotsPerMm = QPointF());
    bool Design() const { return FDesign; }
    void SetMarks(std::vector<TDesignMark> marks, int selected);
    // The selected item as it is being dragged; none when nothing is.
    void SetDragged(const std::optional<TDesignMark>& mark);
    // Between widget positions and the image's pixels.
    QPointF ToImage(const QPointF& widget) const;
    QPointF ToWidget(const QPointF& image) const;
    // Where a handle of a mark is grabbed, in widget positions.
    QPointF HandlePos(const TDesignMark& mark, TDesignHandle handle) const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void paintRulers(QPainter& p, const QRect& page);
    void paintMark(QPainter& p, const TDesignMark& mark, bool selected, bool dragged);

    QImage FPage;
    QRectF FPrintable;
    bool FFit = true;
    bool FDesign = false;
    QPointF FDotsPerMm;
    std::vector<TDesignMark> FMarks;
    int FSelected = -1;
    std::optional<TDesignMark> FDragged;
};

// The real page preview: any page of a project drawn by the print path's own
// renderer at the printer's resolution, and the scannability check of its
// symbols. Pages come from a source, so the item editor can show a page with
// the item as the form holds it.
class TPagePreviewFrm : public QDialog {
    Q_OBJECT

public:
    // Composes the page of a page number; throws what composition throws.
    using TPageSource = std::function<std::unique_ptr<TCPrint>(int pageNum)>;

    explicit TPagePreviewFrm(QWidget* owner = nullptr);
    ~TPagePreviewFrm() override;

    // Sets up the project's printer and paper (a printer of the window's own:
    // a run in progress keeps its printer) and shows page `pageNum`.
    void SetData(const TProject& project, TPageSource source, int pageNum);
    void ShowPage(int pageNum);

    // Lets the user lay the project out by hand ("设计"), before SetData: the
    // page must come from this project as the model holds it. Pictures of items deleted here
    // are deleted from `files` when the window goes.
    void EnableDesign(TProject& project, TFileMgr& files);
    bool Designing() const;
    void SetDesigning(bool on);
    // Whether anything was saved here: the main window shows it afresh.
    bool Designed() const;
    // The items in drawing order, as the list beside the page shows them.
    const std::vector<TPrintItem*>& DesignItems() const { return FItems; }
    TPrintItem* SelectedItem() const;
    void SelectItem(const TPrintItem* item);
    // An item's outline in the page image's pixels (origin: the sheet's corner);
    // empty when it is not on the page.
    QRectF ItemBox(const TPrintItem* item) const;
    // The grab point of a handle of the selected item, in imgPage's positions.
    QPoint HandleAt(TDesignHandle handle) const;
    // Asks and deletes the selected item (the main window's question).
    void DeleteSelected();
    void Undo();
    void Redo();

    int PageNum() const;
    // The page as the printer puts it on paper, at the device's dots.
    const QImage& PageImage() const { return FImage; }
    const TRasterDevice& Device() const { return FDevice; }
    const TScanReport& Report() const { return FReport; }
    // Empty unless the page could not be composed or drawn.
    const QString& Error() const { return FError; }

    QSpinBox* edtPageNum = nullptr;
    QPushButton *btnPrevPage = nullptr, *btnNextPage = nullptr;
    QPushButton *btnZoomFit = nullptr, *btnZoomActual = nullptr;
    QLabel* lblInfo = nullptr;
    QScrollArea* scrPage = nullptr;
    TPageView* imgPage = nullptr;
    QPlainTextEdit* memoCheck = nullptr;
    // Designing.
    QPushButton* btnDesign = nullptr;
    QCheckBox* chkSnap = nullptr;
    QPushButton *btnUndo = nullptr, *btnRedo = nullptr;
    QListWidget* lstItems = nullptr;
    QLabel* lblDesign = nullptr;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void setFit(bool fit);
    // Designing.
    void fillItemList();
    // Where each item of the page lies, from the page as prepared for drawing.
    void placeItems(const TCPrint& page, const TPreparedPage& prepared);
    void updateMarks();
    int markOf(const TPrintItem* item) const;
    // A mark in device pixels as the page image shows it, and the printable
    // area there: a large sheet is shown at a fraction of the device's dots.
    TDesignMark shownMark(TDesignMark device) const;
    QRectF printableDots() const;
    bool designKey(QKeyEvent* event);
    void press(const QPointF& at);
    void drag(const QPointF& at, Qt::KeyboardModifiers modifiers);
    void release(const QPointF& at, Qt::KeyboardModifiers modifiers);
    // The page drawn with the held item where the drag puts it, nothing saved.
    void drawDragged();
    void editSelected();
    // The geometry the drag so far gives the held item.
    TItemGeometry dragged(const QPointF& at, Qt::KeyboardModifiers modifiers) const;
    // Saves a change, or says why not; the page is drawn afresh either way.
    void change(TPrintItem* item, const TItemGeometry& to);
    void afterEdit(const QString& refusal);
    // Undo or redo one step; a refusal leaves the step where it was.
    void stepHistory(const std::function<void()>& step);
    void say(const QString& text, bool error = false);
    QString describe(const TPrintItem& item, const TItemGeometry& g) const;
    void showHistory();

    TProject* FProject = nullptr;
    TFileMgr* FFiles = nullptr;
    std::unique_ptr<TDesignHistory> FHistory;
    std::vector<TPrintItem*> FItems; // drawing order
    // The items on the page, their outlines in device pixels (origin: the
    // printable corner), in drawing order.
    struct TPlaced {
        const TPrintItem* Item = nullptr;
        TDesignMark Device;
    };
    std::vector<TPlaced> FPlaced;
    TRasterDevice FShown; // the page image's dots
    TPrintItem* FSelected = nullptr;
    // A press on an item: what it holds and where it began.
    TDesignHandle FHeld = TDesignHandle::None;
    QPointF FPressAt;
    bool FMoved = false;
    TItemGeometry FHeldFrom;
    double FShownWidth = 0; // the held text's frame width, mm
    std::optional<TItemGeometry> FDragTo;
    QTimer* FDrawTimer = nullptr; // mouse moves faster than pages are drawn
    bool FEditorSaved = false;

    TPageSource FSource;
    std::unique_ptr<TPrinter> FPrinter;
    std::unique_ptr<TPageRenderer> FRenderer;
    TRasterDevice FDevice;
    QString FPrinterNote;
    QImage FImage;
    TScanReport FReport;
    QString FError;
};
