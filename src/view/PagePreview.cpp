#include "view/PagePreview.h"

#include "base/Errors.h"
#include "base/Units.h"
#include "model/bom/PrintBom.h"
#include "model/bom/SettingBom.h"
#include "model/manager/PageRenderer.h"
#include "model/manager/PrintMgrImpl.h"
#include "model/manager/Printer.h"

#include <QButtonGroup>
#include <QDir>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPrinter>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSpinBox>
#include <QVBoxLayout>
#include <climits>

namespace {

// A sheet of more dots than this is shown at a lower resolution: 300 × 500 mm
// at 1200 dpi would take 1.3 GB.
constexpr qint64 kMaxPreviewDots = 48'000'000;
constexpr int kPaperMargin = 12;

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

QSize TPageView::sizeHint() const {
    if (FFit || FPage.isNull())
        return QSize(400, 300);
    return FPage.size() + QSize(2 * kPaperMargin, 2 * kPaperMargin);
}

QRect TPageView::PageRect() const {
    if (FPage.isNull())
        return QRect();
    if (!FFit)
        return QRect(QPoint(kPaperMargin, kPaperMargin), FPage.size());
    const QSize room = size() - QSize(2 * kPaperMargin, 2 * kPaperMargin);
    const QSize fitted = FPage.size().scaled(room.expandedTo(QSize(1, 1)), Qt::KeepAspectRatio);
    return QRect(QPoint((width() - fitted.width()) / 2, (height() - fitted.height()) / 2), fitted);
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
}

// ---- the window

TPagePreviewFrm::TPagePreviewFrm(QWidget* owner) : QDialog(owner) {
    setObjectName(QStringLiteral("PagePreviewFrm"));
    setWindowTitle(QStringLiteral("页面预览"));
    resize(1000, 720);

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

    auto* bar = new QHBoxLayout;
    bar->addWidget(new QLabel(QStringLiteral("页码：")));
    bar->addWidget(edtPageNum);
    bar->addWidget(btnPrevPage);
    bar->addWidget(btnNextPage);
    bar->addSpacing(16);
    bar->addWidget(btnZoomFit);
    bar->addWidget(btnZoomActual);
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

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(bar);
    layout->addWidget(lblInfo);
    layout->addWidget(scrPage, 1);
    layout->addWidget(
        new QLabel(QStringLiteral("条码检查（按打印机的分辨率识别本页的条码和二维码）：")));
    layout->addWidget(memoCheck);

    connect(edtPageNum, &QSpinBox::valueChanged, this, &TPagePreviewFrm::ShowPage);
    connect(btnPrevPage, &QPushButton::clicked, this, [this] { edtPageNum->stepDown(); });
    connect(btnNextPage, &QPushButton::clicked, this, [this] { edtPageNum->stepUp(); });
    connect(btnZoomFit, &QPushButton::clicked, this, [this] { setFit(true); });
    connect(btnZoomActual, &QPushButton::clicked, this, [this] { setFit(false); });
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
}

TPagePreviewFrm::~TPagePreviewFrm() = default;

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
    } catch (const Exception& e) {
        FError = e.Message();
    }

    const QPointF corner = shown.ToDots(shown.PrintableRect().topLeft());
    const QPointF far = shown.ToDots(shown.PrintableRect().bottomRight());
    imgPage->SetPage(FImage, QRectF(corner, far));
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
