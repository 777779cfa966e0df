#pragma once

#include "base/DeviceMetrics.h"

#include <QFont>
#include <QString>
#include <QStringList>
#include <QtGlobal>
#include <functional>
#include <memory>

class QPainter;
class QPrinter;
class QTemporaryFile;

// The printer settings KOVA changes, kept in the shape of the platform's
// device-mode block; lengths in tenths of a millimetre.
struct TDeviceMode {
    static constexpr quint32 DM_ORIENTATION = 0x1;
    static constexpr quint32 DM_PAPERSIZE = 0x2;
    static constexpr quint32 DM_PAPERLENGTH = 0x4;
    static constexpr quint32 DM_PAPERWIDTH = 0x8;
    static constexpr quint32 DM_COPIES = 0x100;
    static constexpr quint32 DM_DEFAULTSOURCE = 0x200;
    static constexpr qint16 DMORIENT_PORTRAIT = 1;
    static constexpr qint16 DMORIENT_LANDSCAPE = 2;
    static constexpr qint16 DMPAPER_USER = 256;
    static constexpr qint16 DMBIN_AUTO = 7;

    qint16 dmOrientation = DMORIENT_PORTRAIT;
    qint16 dmPaperSize = 0;
    // Wider than the platform's 16 bits: a PDF sheet may be 5 m long.
    qint32 dmPaperLength = 0;
    qint32 dmPaperWidth = 0;
    qint16 dmCopies = 1;
    qint16 dmDefaultSource = DMBIN_AUTO;
    quint32 dmFields = DM_ORIENTATION | DM_COPIES | DM_DEFAULTSOURCE;
};

// The process-wide current printer: the selected CUPS queue, its settings,
// its device context and the document being printed on it. Pages are painted
// into a temporary PDF and handed to the queue when the document ends, so an
// aborted document never reaches the printer.
class TPrinter {
public:
    TPrinter();
    ~TPrinter();
    TPrinter(const TPrinter&) = delete;
    TPrinter& operator=(const TPrinter&) = delete;

    // Names of the installed printers, in the print system's order.
    static QStringList Printers();
    // The default printer's name; empty when there is none.
    static QString DefaultPrinter();
    // The dots per inch pages are laid out at on a queue: what it reports, or
    // FallbackDpi when it does not say.
    static int QueueDpi(const QString& queue);

    QString PrinterName() const;
    // Whether a printer is selected; without one there is no device-mode block.
    bool HasPrinter() const;
    // Both throw while a document is printing; SelectDefault also when the
    // machine has no default printer.
    void SelectDefault();
    // An exact installed name; any other name selects the default printer.
    void SelectPrinter(const QString& name);
    // A PDF file instead of a queue: documents are written there when they end,
    // laid out at `dpi` dots per inch. Selecting a printer again leaves the file.
    void SelectPdfFile(const QString& path, int dpi = 0);
    QString PdfFile() const { return FPdfFile; }
    // The resolution given with the PDF file; 0 when it was left to the fallback.
    int PdfDpi() const { return FPdfDpi; }

    // False when no printer is selected.
    bool GetDeviceMode(TDeviceMode& mode) const;
    // Applies the block to the printer: page size, orientation, one copy,
    // automatic paper source, no margins beyond the printer's own.
    void SetDeviceMode(const TDeviceMode& mode);

    // The device context: the selected printer at the resolution of its own dots
    // (QueueDpi), so that a device pixel is a printer dot.
    QPrinter& Device() const { return *FDevice; }
    TDeviceMetrics Metrics() const;

    // The canvas font: what text is measured and drawn with.
    QFont Font() const;
    void SetFont(const QFont& font);
    // Average character width of the canvas font in device pixels.
    int AvgCharWidth() const;
    // Advance of a text in the canvas font, device pixels.
    int TextWidth(const QString& text) const;

    // The document. Canvas() is only valid while Printing().
    QString Title() const { return FTitle; }
    void SetTitle(const QString& title) { FTitle = title; }
    void BeginDoc();
    void NewPage();
    // Ends the document and checks that the job is whole (the painter finished,
    // the file ends in a PDF trailer); for a PDF file the job is then written
    // beside it as PartFile(token). Throws EInOutError when the job is not whole,
    // and the document is gone; otherwise it waits for HandOver or Discard.
    void FinishDoc(const QString& token);
    // Gives the finished job to the selected queue under a title carrying the
    // token, or renames it into place for a PDF file; returns the job's id (0 for
    // a PDF file). Throws EInOutError naming the printer and the reason when the
    // queue does not take it; the job is gone either way.
    int HandOver();
    // Drops a finished job that is not to be handed over.
    void Discard();
    bool Finished() const { return FJobFile != nullptr && !Printing(); }
    // FinishDoc and HandOver in one.
    int EndDoc();
    // The title a job goes to the queue with: the document name and the token.
    static QString JobTitle(const QString& title, const QString& token);
    // Where a finished job waits beside a PDF file until it is renamed into place.
    static QString PartFile(const QString& pdfFile, const QString& token);
    // Why a PDF file may not be written to `path`, or an empty string: a path that
    // is there and not a regular file (a device, a FIFO, a symbolic link) would be
    // replaced by the renamed job.
    static QString PdfTargetRefusal(const QString& path);
    // Removes the job files (kova-job-<pid>-*.pdf in the temp folder) of processes
    // that were killed while they printed.
    static void RemoveLeftoverJobFiles();
    // One page drawn into the PDF file `path` exactly as a job draws it (the same
    // device, layout, resolution and origin), outside any document: the check
    // rasterises it to see what the queue will get.
    void WritePage(const QString& path, const std::function<void(QPainter&)>& paint) const;
    // Discards the document; nothing reaches the queue.
    void Abort();
    bool Printing() const { return FCanvas != nullptr; }
    bool Aborted() const { return FAborted; }
    QPainter& Canvas() const;

private:
    void CheckNotPrinting() const;
    // The PDF device a job is drawn on, and the origin and font its canvas starts with.
    std::unique_ptr<QPrinter> JobDevice(const QString& path) const;
    void SetUpJobCanvas(QPainter& canvas) const;
    void leavePdfFile();
    void ResetDeviceMode();
    bool FinishPainting();

    std::unique_ptr<QPrinter> FDevice;
    TDeviceMode FMode;
    QFont FFont;
    QString FTitle;
    QString FPdfFile;
    int FPdfDpi = 0;
    std::unique_ptr<QTemporaryFile> FJobFile;
    QString FToken;
    QString FPartFile; // a finished PDF job beside its target
    std::unique_ptr<QPrinter> FJobDevice;
    std::unique_ptr<QPainter> FCanvas;
    bool FAborted = false;
};

// The one current printer of the process, made on first use and released when
// the application object goes.
TPrinter& Printer();

// The printer's resolution in dots per inch, across (Horz) or down the page.
int GetPrinterRes(const TPrinter& pobj, bool Horz);

// A length in millimetres in pixels of the current printer, as barcodes are placed.
int ConvertMmToPixelsY(double mm);
