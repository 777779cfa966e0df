#pragma once

#include "model/manager/PageRaster.h"
#include "model/manager/ScanCheck.h"

#include <QDialog>
#include <QImage>
#include <functional>
#include <memory>

class QLabel;
class QPlainTextEdit;
class QPushButton;
class QScrollArea;
class QSpinBox;
class TCPrint;
class TPageRenderer;
class TPrinter;
class TProject;

// The page as paper, scaled to fit or one image pixel to a screen pixel, with
// the sheet's edge and the printer's printable area drawn round it.
class TPageView : public QWidget {
    Q_OBJECT

public:
    using QWidget::QWidget;
    // printable: the printable area in the image's pixels.
    void SetPage(const QImage& page, const QRectF& printable);
    void SetFit(bool fit);
    bool Fit() const { return FFit; }
    // Where the page lies in the widget.
    QRect PageRect() const;
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage FPage;
    QRectF FPrintable;
    bool FFit = true;
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

private:
    void setFit(bool fit);

    TPageSource FSource;
    std::unique_ptr<TPrinter> FPrinter;
    std::unique_ptr<TPageRenderer> FRenderer;
    TRasterDevice FDevice;
    QString FPrinterNote;
    QImage FImage;
    TScanReport FReport;
    QString FError;
};
