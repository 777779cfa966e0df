#include "view/PagePreview.h"

#include "base/Errors.h"
#include "base/Units.h"
#include "model/Fields.h"
#include "model/bom/PrintBom.h"
#include "model/bom/SettingBom.h"
#include "model/manager/FileMgrImpl.h"
#include "model/manager/PageRenderer.h"
#include "model/manager/PrintMgrImpl.h"
#include "model/manager/Printer.h"
#include "view/printItemEditor.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QDir>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineF>
#include <QListWidget>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPrinter>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSpinBox>
#include <QTimer>
#include <QVBoxLayout>
#include <climits>

namespace {

// A sheet of more dots than this is shown at a lower resolution: 300 × 500 mm
// at 1200 dpi would take 1.3 GB.
constexpr qint64 kMaxPreviewDots = 48'000'000;
constexpr int kPaperMargin = 12;
// Designing, the rulers take the margin above and left of the sheet.
constexpr int kRulerMargin = 28;
// How near (screen pixels) a press must come to a handle or a line to take it.
constexpr double kGrab = 5;

QPushButton* commandButton(const QString& name, const QString& caption) {
    auto* b = new QPushButton(caption);
    b->setObjectName(name);
    b->setAutoDefault(false);
    return b;
}

} // namespace

// ---- the page view

void TPageView::SetPage(const QImage& page, const QRectF& printable) {
    FPage = page;
    FPrintable = printable;
    updateGeometry();
    if (!FFit)
        resize(sizeHint());
    update();
}

void TPageView::SetFit(bool fit) {
    FFit = fit;
    updateGeometry();
    if (!FFit)
        resize(sizeHint());
    update();
}

void TPageView::SetDesign(bool on, QPointF dotsPerMm) {
    const bool resized = on != FDesign;
    FDesign = on;
    FDotsPerMm = dotsPerMm;
    if (resized) {
        updateGeometry();
        if (!FFit)
            resize(sizeHint());
    }
    update();
}

void TPageView::SetMarks(std::vector<TDesignMark> marks, int selected) {
    FMarks = std::move(marks);
    FSelected = selected;
    update();
}

void TPageView::SetDragged(const std::optional<TDesignMark>& mark) {
    FDragged = mark;
    update();
}

QSize TPageView::sizeHint() const {
    if (FFit || FPage.isNull())
        return QSize(400, 300);
    const int margin = FDesign ? kRulerMargin : kPaperMargin;
    return FPage.size() + QSize(2 * margin, 2 * margin);
}

QRect TPageView::PageRect() const {
    if (FPage.isNull())
        return QRect();
    const int margin = FDesign ? kRulerMargin : kPaperMargin;
    if (!FFit)
        return QRect(QPoint(margin, margin), FPage.size());
    const QSize room = size() - QSize(2 * margin, 2 * margin);
    const QSize fitted = FPage.size().scaled(room.expandedTo(QSize(1, 1)), Qt::KeepAspectRatio);
    return QRect(QPoint((width() - fitted.width()) / 2, (height() - fitted.height()) / 2), fitted);
}

QPointF TPageView::ToImage(const QPointF& widget) const {
    const QRect page = PageRect();
    if (page.isEmpty())
        return QPointF();
    return QPointF((widget.x() - page.left()) * FPage.width() / page.width(),
                   (widget.y() - page.top()) * FPage.height() / page.height());
}

QPointF TPageView::ToWidget(const QPointF& image) const {
    const QRect page = PageRect();
    if (page.isEmpty() || FPage.isNull())
        return QPointF();
    return QPointF(page.left() + image.x() * page.width() / FPage.width(),
                   page.top() + image.y() * page.height() / FPage.height());
}

QPointF TPageView::HandlePos(const TDesignMark& mark, TDesignHandle handle) const {
    const QRectF& b = mark.Box;
    switch (handle) {
    case TDesignHandle::LineStart:
        return ToWidget(mark.From);
    case TDesignHandle::LineEnd:
        return ToWidget(mark.To);
    case TDesignHandle::Height:
        return ToWidget(QPointF(b.center().x(), b.bottom()));
    case TDesignHandle::Corner:
        return ToWidget(b.bottomRight());
    case TDesignHandle::Width:
        return ToWidget(QPointF(b.right(), b.center().y()));
    default:
        return ToWidget(b.topLeft());
    }
}

void TPageView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), QColor(0x80, 0x80, 0x80));
    const QRect page = PageRect();
    if (page.isEmpty())
        return;
    // Fitted, the page is smoothed so thin lines stay visible; at 1:1 every dot
    // is shown as the printer makes it.
    p.setRenderHint(QPainter::SmoothPixmapTransform, FFit);
    p.drawImage(page, FPage);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(Qt::NoBrush);
    p.drawRect(page.adjusted(-1, -1, 0, 0));
    const double sx = double(page.width()) / FPage.width();
    const double sy = double(page.height()) / FPage.height();
    const QRectF printable(page.left() + FPrintable.left() * sx, page.top() + FPrintable.top() * sy,
                           FPrintable.width() * sx, FPrintable.height() * sy);
    if (!printable.isEmpty() && printable.toRect() != page) {
        p.setPen(QPen(QColor(0, 90, 200), 1, Qt::DashLine));
        p.drawRect(printable);
    }
    if (!FDesign)
        return;
    paintRulers(p, page);
    for (int i = 0; i < int(FMarks.size()); ++i)
        if (i != FSelected)
            paintMark(p, FMarks[i], false, false);
    if (FSelected >= 0 && FSelected < int(FMarks.size()))
        paintMark(p, FMarks[FSelected], true, false);
    if (FDragged)
        paintMark(p, *FDragged, false, true);
}

void TPageView::paintRulers(QPainter& p, const QRect& page) {
    if (FDotsPerMm.x() <= 0 || FDotsPerMm.y() <= 0)
        return;
    const double pxPerMmX = FDotsPerMm.x() * page.width() / FPage.width();
    const double pxPerMmY = FDotsPerMm.y() * page.height() / FPage.height();
    const int band = kRulerMargin - 6;
    const QRect top(page.left(), page.top() - band - 2, page.width(), band);
    const QRect left(page.left() - band - 2, page.top(), band, page.height());
    p.fillRect(top, QColor(250, 250, 240));
    p.fillRect(left, QColor(250, 250, 240));
    p.setPen(QColor(60, 60, 60));
    QFont font = p.font();
    font.setPixelSize(9);
    p.setFont(font);
    // Every millimetre while they are 3 pixels apart, else every 5 or 10.
    const auto step = [](double pxPerMm) { return pxPerMm >= 3 ? 1 : pxPerMm >= 0.6 ? 5 : 10; };
    // Labels where they do not run into each other.
    const auto labelEvery = [](double pxPerMm) {
        for (int every : {10, 20, 50, 100, 200})
            if (every * pxPerMm >= 24)
                return every;
        return 500;
    };
    const int stepX = step(pxPerMmX), everyX = labelEvery(pxPerMmX);
    for (int mm = 0; mm * pxPerMmX <= page.width(); mm += stepX) {
        const int x = page.left() + int(std::lround(mm * pxPerMmX));
        const int length = mm % 10 == 0 ? band : mm % 5 == 0 ? band / 2 : band / 4;
        p.drawLine(x, top.bottom(), x, top.bottom() - length);
        if (mm % everyX == 0)
            p.drawText(QPointF(x + 2, top.top() + 9), QString::number(mm));
    }
    const int stepY = step(pxPerMmY), everyY = labelEvery(pxPerMmY);
    for (int mm = 0; mm * pxPerMmY <= page.height(); mm += stepY) {
        const int y = page.top() + int(std::lround(mm * pxPerMmY));
        const int length = mm % 10 == 0 ? band : mm % 5 == 0 ? band / 2 : band / 4;
        p.drawLine(left.right(), y, left.right() - length, y);
        if (mm % everyY == 0)
            p.drawText(QPointF(left.left() + 1, y + 10), QString::number(mm));
    }
}

void TPageView::paintMark(QPainter& p, const TDesignMark& mark, bool selected, bool dragged) {
    const QColor color = dragged    ? QColor(220, 0, 0)
                         : selected ? QColor(0, 90, 220)
                                    : QColor(0, 150, 200, 110);
    p.setPen(QPen(color, 1, selected && !dragged ? Qt::SolidLine : Qt::DashLine));
    p.setBrush(Qt::NoBrush);
    if (mark.Line)
        p.drawLine(ToWidget(mark.From), ToWidget(mark.To));
    else
        p.drawRect(QRectF(ToWidget(mark.Box.topLeft()), ToWidget(mark.Box.bottomRight())));
    if (!selected)
        return;
    p.setPen(QPen(color, 1));
    p.setBrush(Qt::white);
    for (TDesignHandle h : mark.Handles)
        p.drawRect(QRectF(HandlePos(mark, h) - QPointF(3, 3), QSizeF(6, 6)));
}

// ---- the window

TPagePreviewFrm::TPagePreviewFrm(QWidget* owner) : QDialog(owner) {
    setObjectName(QStringLiteral("PagePreviewFrm"));
    setWindowTitle(QStringLiteral("页面预览"));
    resize(1000, 720);
    FDrawTimer = new QTimer(this);
    FDrawTimer->setSingleShot(true);
    FDrawTimer->setInterval(15);
    connect(FDrawTimer, &QTimer::timeout, this, &TPagePreviewFrm::drawDragged);

    edtPageNum = new QSpinBox;
    edtPageNum->setObjectName(QStringLiteral("edtPageNum"));
    edtPageNum->setRange(INT_MIN, INT_MAX);
    edtPageNum->setKeyboardTracking(false);
    btnPrevPage = commandButton(QStringLiteral("btnPrevPage"), QStringLiteral("上一页"));
    btnNextPage = commandButton(QStringLiteral("btnNextPage"), QStringLiteral("下一页"));
    btnZoomFit = commandButton(QStringLiteral("btnZoomFit"), QStringLiteral("适合窗口"));
    btnZoomActual = commandButton(QStringLiteral("btnZoomActual"), QStringLiteral("1:1"));
    btnZoomActual->setToolTip(QStringLiteral("一个打印点显示为一个屏幕像素"));
    for (QPushButton* b : {btnZoomFit, btnZoomActual})
        b->setCheckable(true);
    auto* zoom = new QButtonGroup(this);
    zoom->addButton(btnZoomFit);
    zoom->addButton(btnZoomActual);
    btnZoomFit->setChecked(true);
    auto* close = commandButton(QStringLiteral("btnClose"), QStringLiteral("关  闭&C"));
    btnDesign = commandButton(QStringLiteral("btnDesign"), QStringLiteral("设计"));
    btnDesign->setCheckable(true);
    btnDesign->setEnabled(false);
    btnDesign->setToolTip(QStringLiteral("在页面上拖动、调整打印项（从主窗口打开页面预览时可用）"));
    chkSnap = new QCheckBox(QStringLiteral("对齐 1 mm 网格"));
    chkSnap->setObjectName(QStringLiteral("chkSnap"));
    chkSnap->setChecked(true);
    chkSnap->setToolTip(QStringLiteral("拖动时按住 Alt 键暂不对齐"));
    btnUndo = commandButton(QStringLiteral("btnUndo"), QStringLiteral("撤销"));
    btnUndo->setToolTip(QStringLiteral("Ctrl+Z"));
    btnRedo = commandButton(QStringLiteral("btnRedo"), QStringLiteral("重做"));
    btnRedo->setToolTip(QStringLiteral("Ctrl+Y"));

    auto* bar = new QHBoxLayout;
    bar->addWidget(new QLabel(QStringLiteral("页码：")));
    bar->addWidget(edtPageNum);
    bar->addWidget(btnPrevPage);
    bar->addWidget(btnNextPage);
    bar->addSpacing(16);
    bar->addWidget(btnZoomFit);
    bar->addWidget(btnZoomActual);
    bar->addSpacing(16);
    bar->addWidget(btnDesign);
    bar->addWidget(chkSnap);
    bar->addWidget(btnUndo);
    bar->addWidget(btnRedo);
    bar->addStretch(1);
    bar->addWidget(close);

    lblInfo = new QLabel;
    lblInfo->setObjectName(QStringLiteral("lblInfo"));
    lblInfo->setWordWrap(true);
    imgPage = new TPageView;
    imgPage->setObjectName(QStringLiteral("imgPage"));
    scrPage = new QScrollArea;
    scrPage->setObjectName(QStringLiteral("scrPage"));
    scrPage->setWidget(imgPage);
    scrPage->setWidgetResizable(true);
    scrPage->setAlignment(Qt::AlignCenter);
    memoCheck = new QPlainTextEdit;
    memoCheck->setObjectName(QStringLiteral("memoCheck"));
    memoCheck->setReadOnly(true);
    memoCheck->setFixedHeight(130);

    lstItems = new QListWidget;
    lstItems->setObjectName(QStringLiteral("lstItems"));
    lstItems->setFixedWidth(180);
    lstItems->setToolTip(QStringLiteral("按绘制顺序（名称）排列：后面的打印项盖住前面的"));
    lblDesign = new QLabel;
    lblDesign->setObjectName(QStringLiteral("lblDesign"));
    lblDesign->setWordWrap(true);
    auto* pageRow = new QHBoxLayout;
    pageRow->addWidget(scrPage, 1);
    pageRow->addWidget(lstItems);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(bar);
    layout->addWidget(lblInfo);
    layout->addLayout(pageRow, 1);
    layout->addWidget(lblDesign);
    layout->addWidget(
        new QLabel(QStringLiteral("条码检查（按打印机的分辨率识别本页的条码和二维码）：")));
    layout->addWidget(memoCheck);

    connect(edtPageNum, &QSpinBox::valueChanged, this, &TPagePreviewFrm::ShowPage);
    connect(btnPrevPage, &QPushButton::clicked, this, [this] { edtPageNum->stepDown(); });
    connect(btnNextPage, &QPushButton::clicked, this, [this] { edtPageNum->stepUp(); });
    connect(btnZoomFit, &QPushButton::clicked, this, [this] { setFit(true); });
    connect(btnZoomActual, &QPushButton::clicked, this, [this] { setFit(false); });
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
    connect(btnDesign, &QPushButton::toggled, this, &TPagePreviewFrm::SetDesigning);
    connect(btnUndo, &QPushButton::clicked, this, &TPagePreviewFrm::Undo);
    connect(btnRedo, &QPushButton::clicked, this, &TPagePreviewFrm::Redo);
    connect(lstItems, &QListWidget::currentRowChanged, this, [this](int row) {
        FSelected = row >= 0 && row < int(FItems.size()) ? FItems[row] : nullptr;
        updateMarks();
        if (FSelected)
            say(describe(*FSelected, GeometryOf(*FSelected)));
    });
    connect(lstItems, &QListWidget::itemDoubleClicked, this, [this] { editSelected(); });
    imgPage->installEventFilter(this);
    SetDesigning(false);
}

TPagePreviewFrm::~TPagePreviewFrm() {
    if (!FHistory || !FFiles)
        return;
    // Deleted items' pictures could come back with an undo until now.
    const QStringList pictures = FHistory->PicturesLeft();
    FHistory.reset();
    for (const QString& fileId : pictures) {
        try {
            FFiles->DeleteFileFromDB(fileId);
        } catch (const Exception&) {
            // Left stored, it is only unused; the window is already gone.
        }
    }
}

int TPagePreviewFrm::PageNum() const {
    return edtPageNum->value();
}

void TPagePreviewFrm::setFit(bool fit) {
    btnZoomFit->setChecked(fit);
    btnZoomActual->setChecked(!fit);
    scrPage->setWidgetResizable(fit);
    imgPage->SetFit(fit);
}

void TPagePreviewFrm::SetData(const TProject& project, TPageSource source, int pageNum) {
    FSource = std::move(source);
    FPrinter = std::make_unique<TPrinter>();
    FPrinterNote.clear();
    try {
        SelectProjectPrinter(*FPrinter, project.ProjectDeviceName(),
                             project.ProjectDefaultDevice());
    } catch (const Exception&) {
        // Without any printer the page is laid out as for a PDF file; nothing is written.
        FPrinter->SelectPdfFile(
            QDir(QDir::tempPath()).filePath(QStringLiteral("kova-preview.pdf")));
        FPrinterNote = QStringLiteral("没有可用的打印机，按 PDF 文件预览。");
    }
    SetPaper(*FPrinter, project.ProjectPaperOrientation(), project.ProjectPageWidth(),
             project.ProjectPageHeight());
    FDevice = RasterDevice(*FPrinter);
    FRenderer = std::make_unique<TPageRenderer>(
        FDevice.Metrics, RoundHalfEven(project.ProjectOffsetX()),
        RoundHalfEven(project.ProjectOffsetY()), &FPrinter->Device());
    if (edtPageNum->value() == pageNum) {
        ShowPage(pageNum);
    } else {
        const QSignalBlocker block(edtPageNum);
        edtPageNum->setValue(pageNum);
        ShowPage(pageNum);
    }
}

void TPagePreviewFrm::ShowPage(int pageNum) {
    btnPrevPage->setEnabled(pageNum > edtPageNum->minimum());
    btnNextPage->setEnabled(pageNum < edtPageNum->maximum());
    if (!FSource || !FRenderer)
        return;
    FError.clear();
    FImage = QImage();
    FReport = TScanReport();
    FPlaced.clear();
    TRasterDevice shown = FDevice;
    try {
        const std::unique_ptr<TCPrint> page = FSource(pageNum);
        const TPreparedPage prepared = FRenderer->Prepare(*page);
        // A sheet too large for memory at the printer's resolution is shown at
        // a half, a quarter ... of it; the check still reads at the full one.
        while (qint64(shown.PaperDots().width()) * shown.PaperDots().height() > kMaxPreviewDots &&
               shown.DpiX > 1 && shown.DpiY > 1) {
            shown.DpiX /= 2;
            shown.DpiY /= 2;
        }
        FImage = RenderPageDots(prepared, shown, shown.PaperDots(), QImage::Format_RGB32);
        FReport = CheckPage(*page, prepared, *FPrinter, pageNum);
        // Only a page composed from the project as the model holds it names
        // items that outlive it: the item editor's page is of a copy.
        if (FHistory)
            placeItems(*page, prepared);
    } catch (const Exception& e) {
        FError = e.Message();
    }

    FShown = shown;
    imgPage->SetDesign(Designing(),
                       QPointF(shown.DpiX / double(mmPerInch), shown.DpiY / double(mmPerInch)));
    updateMarks();
    imgPage->SetPage(FImage, printableDots());
    QString info = FPrinterNote;
    info += QStringLiteral("第 %1 页，%2 × %3 mm，")
                .arg(pageNum)
                .arg(FDevice.Paper.width() * 25.4 / FDevice.Metrics.DpiX, 0, 'f', 1)
                .arg(FDevice.Paper.height() * 25.4 / FDevice.Metrics.DpiY, 0, 'f', 1);
    info += FDevice.Printer.isEmpty() ? QStringLiteral("PDF 文件")
                                      : QStringLiteral("打印机 %1").arg(FDevice.Printer);
    info += QStringLiteral("，%1 × %2 dpi").arg(FDevice.DpiX).arg(FDevice.DpiY);
    if (!FDevice.DpiKnown)
        info += QStringLiteral("（打印机没有报告分辨率，按 %1 dpi 显示）").arg(FDevice.DpiX);
    if (shown.DpiX != FDevice.DpiX)
        info += QStringLiteral("；页面太大，按 %1 dpi 显示").arg(shown.DpiX);
    info += QStringLiteral("。虚线是打印机的可打印区域。");
    if (!FError.isEmpty()) {
        lblInfo->setStyleSheet(QStringLiteral("color: #b00000;"));
        lblInfo->setText(QStringLiteral("第 %1 页无法显示：%2").arg(pageNum).arg(FError));
        memoCheck->clear();
        return;
    }
    lblInfo->setStyleSheet(QString());
    lblInfo->setText(info);
    memoCheck->setPlainText(FReport.Text());
}

// ---- designing

void TPagePreviewFrm::EnableDesign(TProject& project, TFileMgr& files) {
    FProject = &project;
    FFiles = &files;
    FHistory = std::make_unique<TDesignHistory>(project);
    btnDesign->setEnabled(true);
    btnDesign->setToolTip(QStringLiteral("在页面上拖动、调整打印项"));
    fillItemList();
}

bool TPagePreviewFrm::Designing() const {
    return btnDesign->isChecked() && FHistory;
}

void TPagePreviewFrm::SetDesigning(bool on) {
    on = on && FHistory;
    {
        const QSignalBlocker block(btnDesign);
        btnDesign->setChecked(on);
    }
    for (QWidget* w :
         std::initializer_list<QWidget*>{chkSnap, btnUndo, btnRedo, lstItems, lblDesign})
        w->setVisible(on);
    imgPage->setFocusPolicy(on ? Qt::StrongFocus : Qt::NoFocus);
    imgPage->SetDesign(on,
                       QPointF(FShown.DpiX / double(mmPerInch), FShown.DpiY / double(mmPerInch)));
    FHeld = TDesignHandle::None;
    imgPage->SetDragged(std::nullopt);
    updateMarks();
    showHistory();
    if (on) {
        imgPage->setFocus();
        say(FSelected ? describe(*FSelected, GeometryOf(*FSelected))
                      : QStringLiteral("单击选择打印项，拖动移动，拖动控制点调整大小；方向键微调 "
                                       "0.1 mm（Shift：1 mm），"
                                       "Tab 依次选择，双击编辑，Delete 删除。"));
    }
}

bool TPagePreviewFrm::Designed() const {
    return FEditorSaved || (FHistory && FHistory->Changed());
}

TPrintItem* TPagePreviewFrm::SelectedItem() const {
    return FSelected;
}

void TPagePreviewFrm::SelectItem(const TPrintItem* item) {
    FSelected = nullptr;
    for (TPrintItem* i : FItems)
        if (i == item)
            FSelected = i;
    updateMarks();
    if (FSelected)
        say(describe(*FSelected, GeometryOf(*FSelected)));
}

void TPagePreviewFrm::fillItemList() {
    FItems.clear();
    if (!FProject)
        return;
    // The project is the window's to change: the order is composition's own.
    for (const TPrintItem* item : ItemsInNameOrder(*FProject))
        FItems.push_back(const_cast<TPrintItem*>(item));
    const QSignalBlocker block(lstItems);
    lstItems->clear();
    for (const TPrintItem* item : FItems) {
        auto* entry = new QListWidgetItem(item->ItemName(), lstItems);
        if (!IsTrue(item->ItemActive())) {
            entry->setForeground(Qt::gray);
            entry->setToolTip(QStringLiteral("禁用：不打印"));
        }
    }
    if (std::find(FItems.begin(), FItems.end(), FSelected) == FItems.end())
        FSelected = nullptr;
}

void TPagePreviewFrm::placeItems(const TCPrint& page, const TPreparedPage& prepared) {
    const TCLines& lines = page.Lines();
    for (int l = 0; l < lines.Count() && l < int(prepared.Lines.size()); ++l) {
        const TLineOfText& line = *lines.Items(l);
        if (!line.Item || prepared.Lines[l].empty())
            continue;
        TPlaced placed{line.Item, {}};
        TDesignMark& m = placed.Device;
        // A text's box is its text; the frame lies the margin outside it.
        const int mx = FRenderer->Xmm(line.Item->ItemOutlineMargin());
        const int my = FRenderer->Ymm(line.Item->ItemOutlineMargin());
        std::visit(
            [&m, mx, my](const auto& item) {
                using T = std::decay_t<decltype(item)>;
                if constexpr (std::is_same_v<T, TPreparedText>) {
                    m.Box =
                        QRectF(QPointF(item.Outline.topLeft()), QPointF(item.Outline.bottomRight()))
                            .adjusted(mx, my, -mx, -my);
                } else if constexpr (std::is_same_v<T, TPreparedLine>) {
                    m.Line = true;
                    m.From = item.From;
                    m.To = item.To;
                    m.Box = QRectF(m.From, m.To).normalized();
                } else if constexpr (std::is_same_v<T, TPreparedImage>) {
                    m.Box = QRectF(item.Target);
                } else if constexpr (std::is_same_v<T, TPreparedBarcode>) {
                    m.Box = QRectF(item.Layout.Box);
                } else {
                    m.Box = item.Target;
                }
            },
            prepared.Lines[l].front());
        m.Handles = HandlesOf(line.Item->ItemType(), line.Item->ItemRotateDegree());
        FPlaced.push_back(placed);
    }
}

TDesignMark TPagePreviewFrm::shownMark(TDesignMark m) const {
    m.Box = QRectF(FShown.ToDots(m.Box.topLeft()), FShown.ToDots(m.Box.bottomRight()));
    m.From = FShown.ToDots(m.From);
    m.To = FShown.ToDots(m.To);
    return m;
}

QRectF TPagePreviewFrm::printableDots() const {
    return QRectF(FShown.ToDots(FShown.PrintableRect().topLeft()),
                  FShown.ToDots(FShown.PrintableRect().bottomRight()));
}

int TPagePreviewFrm::markOf(const TPrintItem* item) const {
    for (int i = 0; i < int(FPlaced.size()); ++i)
        if (FPlaced[i].Item == item)
            return i;
    return -1;
}

void TPagePreviewFrm::updateMarks() {
    std::vector<TDesignMark> marks;
    for (const TPlaced& placed : FPlaced)
        marks.push_back(shownMark(placed.Device));
    imgPage->SetMarks(std::move(marks), Designing() ? markOf(FSelected) : -1);
    const auto row = std::find(FItems.begin(), FItems.end(), FSelected);
    const QSignalBlocker block(lstItems);
    lstItems->setCurrentRow(row == FItems.end() ? -1 : int(row - FItems.begin()));
}

QRectF TPagePreviewFrm::ItemBox(const TPrintItem* item) const {
    const int i = markOf(item);
    return i < 0 ? QRectF() : shownMark(FPlaced[i].Device).Box;
}

QPoint TPagePreviewFrm::HandleAt(TDesignHandle handle) const {
    const int i = markOf(FSelected);
    if (i < 0)
        return QPoint();
    return imgPage->HandlePos(shownMark(FPlaced[i].Device), handle).toPoint();
}

bool TPagePreviewFrm::eventFilter(QObject* watched, QEvent* event) {
    if (watched != imgPage || !Designing())
        return QDialog::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::MouseButtonPress: {
        auto* e = static_cast<QMouseEvent*>(event);
        if (e->button() != Qt::LeftButton)
            break;
        press(e->position());
        return true;
    }
    case QEvent::MouseMove: {
        auto* e = static_cast<QMouseEvent*>(event);
        drag(e->position(), e->modifiers());
        return true;
    }
    case QEvent::MouseButtonRelease: {
        auto* e = static_cast<QMouseEvent*>(event);
        if (e->button() != Qt::LeftButton)
            break;
        release(e->position(), e->modifiers());
        return true;
    }
    case QEvent::MouseButtonDblClick: {
        auto* e = static_cast<QMouseEvent*>(event);
        press(e->position());
        FHeld = TDesignHandle::None;
        if (FSelected)
            editSelected();
        return true;
    }
    case QEvent::KeyPress:
        return designKey(static_cast<QKeyEvent*>(event)) || QDialog::eventFilter(watched, event);
    default:
        break;
    }
    return QDialog::eventFilter(watched, event);
}

void TPagePreviewFrm::keyPressEvent(QKeyEvent* event) {
    const Qt::KeyboardModifiers mods = event->modifiers() & ~Qt::KeypadModifier;
    if (FHistory && event->key() == Qt::Key_Z && mods == Qt::ControlModifier)
        return Undo();
    if (FHistory &&
        ((event->key() == Qt::Key_Y && mods == Qt::ControlModifier) ||
         (event->key() == Qt::Key_Z && mods == (Qt::ControlModifier | Qt::ShiftModifier))))
        return Redo();
    if (Designing() && event->key() == Qt::Key_Delete && mods == Qt::NoModifier)
        return DeleteSelected();
    QDialog::keyPressEvent(event);
}

bool TPagePreviewFrm::designKey(QKeyEvent* event) {
    const Qt::KeyboardModifiers mods = event->modifiers() & ~Qt::KeypadModifier;
    switch (event->key()) {
    case Qt::Key_Tab:
    case Qt::Key_Backtab: {
        if (FPlaced.empty())
            return true;
        const bool back = event->key() == Qt::Key_Backtab || (mods & Qt::ShiftModifier);
        const int n = int(FPlaced.size());
        const int at = markOf(FSelected);
        const int next = at < 0 ? (back ? n - 1 : 0) : (at + (back ? n - 1 : 1)) % n;
        SelectItem(FPlaced[next].Item);
        return true;
    }
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Up:
    case Qt::Key_Down: {
        if (!FSelected)
            return true;
        const double step = (mods & Qt::ShiftModifier) ? 1.0 : 0.1;
        const double dx = event->key() == Qt::Key_Left    ? -step
                          : event->key() == Qt::Key_Right ? step
                                                          : 0;
        const double dy = event->key() == Qt::Key_Up     ? -step
                          : event->key() == Qt::Key_Down ? step
                                                         : 0;
        change(FSelected, NudgedGeometry(GeometryOf(*FSelected), FSelected->ItemType(), dx, dy));
        return true;
    }
    case Qt::Key_Delete:
        DeleteSelected();
        return true;
    default:
        return false;
    }
}

void TPagePreviewFrm::press(const QPointF& at) {
    imgPage->setFocus();
    FHeld = TDesignHandle::None;
    FMoved = false;
    FPressAt = at;
    // The selected item's handles first: they may lie over another item.
    if (const int i = markOf(FSelected); i >= 0) {
        for (TDesignHandle h : FPlaced[i].Device.Handles)
            if (QLineF(QPointF(HandleAt(h)), at).length() <= kGrab)
                FHeld = h;
    }
    if (FHeld == TDesignHandle::None) {
        const TPrintItem* hit = nullptr;
        // The topmost item: the last one drawn.
        for (int i = int(FPlaced.size()) - 1; i >= 0 && !hit; --i) {
            const TDesignMark d = shownMark(FPlaced[i].Device);
            if (d.Line) {
                const QPointF a = imgPage->ToWidget(d.From);
                const QPointF b = imgPage->ToWidget(d.To);
                const QPointF ab = b - a;
                const double len2 = QPointF::dotProduct(ab, ab);
                const double t =
                    len2 > 0 ? std::clamp(QPointF::dotProduct(at - a, ab) / len2, 0.0, 1.0) : 0;
                if (QLineF(a + t * ab, at).length() <= kGrab)
                    hit = FPlaced[i].Item;
            } else {
                const QRectF shown(imgPage->ToWidget(d.Box.topLeft()),
                                   imgPage->ToWidget(d.Box.bottomRight()));
                if (shown.adjusted(-3, -3, 3, 3).contains(at))
                    hit = FPlaced[i].Item;
            }
        }
        SelectItem(hit);
        if (FSelected)
            FHeld = TDesignHandle::Move;
    }
    if (!FSelected)
        return;
    FHeldFrom = GeometryOf(*FSelected);
    FShownWidth = 0;
    if (const int i = markOf(FSelected); i >= 0)
        FShownWidth = FPlaced[i].Device.Box.width() * double(mmPerInch) / FDevice.Metrics.DpiX;
}

TItemGeometry TPagePreviewFrm::dragged(const QPointF& at, Qt::KeyboardModifiers modifiers) const {
    const QRect page = imgPage->PageRect();
    // Screen pixels to the image's dots by the view's scale, to millimetres by their dpi.
    const double dx =
        (at.x() - FPressAt.x()) * FImage.width() / page.width() * double(mmPerInch) / FShown.DpiX;
    const double dy =
        (at.y() - FPressAt.y()) * FImage.height() / page.height() * double(mmPerInch) / FShown.DpiY;
    const bool snap = chkSnap->isChecked() && !(modifiers & Qt::AltModifier);
    return DraggedGeometry(FSelected->ItemType(), FHeld, FHeldFrom, dx, dy, snap, FShownWidth);
}

void TPagePreviewFrm::drag(const QPointF& at, Qt::KeyboardModifiers modifiers) {
    if (FHeld == TDesignHandle::None || !FSelected || FImage.isNull())
        return;
    // A click that wobbles a pixel is no drag.
    if (!FMoved && (at - FPressAt).manhattanLength() < 3)
        return;
    FMoved = true;
    const TItemGeometry g = dragged(at, modifiers);
    const int i = markOf(FSelected);
    if (i >= 0) {
        // The outline where the item would go, device pixels moved by the millimetres.
        const double kx = FDevice.Metrics.DpiX / double(mmPerInch);
        const double ky = FDevice.Metrics.DpiY / double(mmPerInch);
        const double fromWidth =
            FHeldFrom.Width > 0 || FHeld != TDesignHandle::Width ? FHeldFrom.Width : FShownWidth;
        const double dX = (g.X - FHeldFrom.X) * kx, dY = (g.Y - FHeldFrom.Y) * ky;
        TDesignMark m = FPlaced[i].Device;
        if (m.Line) {
            m.From += QPointF(dX, dY);
            m.To += QPointF((g.Width - FHeldFrom.Width) * kx, (g.Height - FHeldFrom.Height) * ky);
        } else {
            m.Box.translate(dX, dY);
            if (FHeld != TDesignHandle::Move) {
                m.Box.setRight(m.Box.right() + (g.Width - fromWidth) * kx);
                m.Box.setBottom(m.Box.bottom() + (g.Height - FHeldFrom.Height) * ky);
            }
        }
        imgPage->SetDragged(shownMark(m));
    }
    say(describe(*FSelected, g));
    FDragTo = g;
    if (!FDrawTimer->isActive())
        FDrawTimer->start();
}

void TPagePreviewFrm::drawDragged() {
    if (FHeld == TDesignHandle::None || !FSelected || !FDragTo || !FSource || !FRenderer)
        return;
    // The item is composed where the drag puts it and put back at once: only a
    // finished gesture changes it.
    const TItemGeometry held = GeometryOf(*FSelected);
    SetGeometry(*FSelected, *FDragTo);
    try {
        const std::unique_ptr<TCPrint> page = FSource(PageNum());
        const TPreparedPage prepared = FRenderer->Prepare(*page);
        imgPage->SetPage(RenderPageDots(prepared, FShown, FShown.PaperDots(), QImage::Format_RGB32),
                         printableDots());
    } catch (const Exception&) {
        // The outline still shows where it goes; the save says why it cannot.
    }
    SetGeometry(*FSelected, held);
}

void TPagePreviewFrm::release(const QPointF& at, Qt::KeyboardModifiers modifiers) {
    const TDesignHandle held = FHeld;
    FHeld = TDesignHandle::None;
    FDragTo.reset();
    imgPage->SetDragged(std::nullopt);
    if (held == TDesignHandle::None || !FSelected || !FMoved)
        return;
    FHeld = held;
    const TItemGeometry g = dragged(at, modifiers);
    FHeld = TDesignHandle::None;
    change(FSelected, g);
}

void TPagePreviewFrm::change(TPrintItem* item, const TItemGeometry& to) {
    QString refusal;
    try {
        FHistory->Change(*item, to);
    } catch (const Exception& e) {
        refusal = e.Message();
    }
    afterEdit(refusal);
}

void TPagePreviewFrm::afterEdit(const QString& refusal) {
    fillItemList();
    ShowPage(PageNum());
    updateMarks();
    showHistory();
    if (!refusal.isEmpty())
        say(refusal, true);
    else if (FSelected)
        say(describe(*FSelected, GeometryOf(*FSelected)));
    else
        say(QString());
}

void TPagePreviewFrm::Undo() {
    if (FHistory && FHistory->CanUndo())
        stepHistory([this] { FHistory->Undo(); });
}

void TPagePreviewFrm::Redo() {
    if (FHistory && FHistory->CanRedo())
        stepHistory([this] { FHistory->Redo(); });
}

void TPagePreviewFrm::stepHistory(const std::function<void()>& step) {
    QString refusal;
    try {
        step();
    } catch (const Exception& e) {
        refusal = e.Message();
    }
    fillItemList();
    for (TPrintItem* item : FItems)
        if (item->OID() == FHistory->LastItem())
            FSelected = item;
    afterEdit(refusal);
}

void TPagePreviewFrm::DeleteSelected() {
    if (!FSelected || !FHistory)
        return;
    // The main window's question: deleting from here can be undone, but only
    // while the window is open.
    if (QMessageBox::question(
            this, QApplication::applicationName(),
            QStringLiteral("打印项 \"%1\" 将被删除，继续？").arg(FSelected->ItemName()),
            QMessageBox::Yes | QMessageBox::No, QMessageBox::No) != QMessageBox::Yes)
        return;
    QString refusal;
    TPrintItem* gone = FSelected;
    try {
        // Gone once deleted: nothing may point at it.
        FSelected = nullptr;
        FHistory->Delete(*gone);
    } catch (const Exception& e) {
        FSelected = gone;
        refusal = e.Message();
    }
    afterEdit(refusal);
}

void TPagePreviewFrm::editSelected() {
    if (!FSelected || !FProject)
        return;
    TprintItemEditorView editor(this);
    TProject* project = FProject;
    editor.SetSaveHandler([project](TPrintItem* edited) {
        edited->SetDirty(true);
        // Saved with the project's other changed items, as the main window saves an edit.
        project->Save();
    });
    editor.SetPageNumber(PageNum());
    editor.SetData(FSelected, FProject, true);
    editor.exec();
    if (editor.doSave()) {
        FEditorSaved = true;
        afterEdit(QString());
    }
}

void TPagePreviewFrm::showHistory() {
    btnUndo->setEnabled(FHistory && FHistory->CanUndo());
    btnRedo->setEnabled(FHistory && FHistory->CanRedo());
}

void TPagePreviewFrm::say(const QString& text, bool error) {
    lblDesign->setStyleSheet(error ? QStringLiteral("color: #b00000;") : QString());
    lblDesign->setText(text);
}

QString TPagePreviewFrm::describe(const TPrintItem& item, const TItemGeometry& g) const {
    const auto mm = [](double v) { return QString::number(v, 'f', 2); };
    QString text = QStringLiteral("“%1”：").arg(item.ItemName());
    switch (item.ItemType()) {
    case itLine:
        return text + QStringLiteral("起点 X %1 mm，Y %2 mm；终点 X %3 mm，Y %4 mm")
                          .arg(mm(g.X), mm(g.Y), mm(g.Width), mm(g.Height));
    case itBarcode:
        return text +
               QStringLiteral("X %1 mm，Y %2 mm，高 %3 mm").arg(mm(g.X), mm(g.Y), mm(g.Height));
    case itQRCode:
    case itImage:
        return text + QStringLiteral("X %1 mm，Y %2 mm，宽 %3 mm，高 %4 mm")
                          .arg(mm(g.X), mm(g.Y), mm(g.Width), mm(g.Height));
    default:
        text += QStringLiteral("X %1 mm，Y %2 mm").arg(mm(g.X), mm(g.Y));
        if (g.Width > 0)
            text += QStringLiteral("，宽 %1 mm").arg(mm(g.Width));
        return text;
    }
}
