#include "model/manager/Printer.h"

#include "base/Errors.h"
#include "base/Units.h"
#include "model/manager/PrinterResolution.h"
#include "persistence/PersistentObject.h"

#include <QCoreApplication>
#include <QDir>
#include <QFontMetrics>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>
#include <QRegularExpression>
#include <QTemporaryFile>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <cups/cups.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

const QString kPrinting = QStringLiteral("Printing in progress");
const QString kNoDefault = QStringLiteral("There is no default printer currently selected");

// Qt lays every CUPS queue out at 1200 dpi; a bar of 0.25 mm is then 12 pixels,
// which is 2.5 dots on a 300 dpi head and prints 2 or 3 dots wide. Laid out at
// the head's own dots, every length is a whole number of dots.
void UseDots(QPrinter& device, int dpi) {
    device.setResolution(dpi > 0 ? dpi : FallbackDpi);
}

// A PDF written whole ends in its trailer, and the trailer's offset of the
// cross-reference table, counted by the writer, lands on that table: a full
// disk leaves the file short, empty or with bytes missing on the way.
bool WholePdf(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() < 64)
        return false;
    const QByteArray head = file.read(5);
    file.seek(qMax<qint64>(0, file.size() - 1024));
    const QByteArray tail = file.readAll();
    const qsizetype at = tail.lastIndexOf("startxref");
    if (head != "%PDF-" || at < 0 || !tail.trimmed().endsWith("%%EOF"))
        return false;
    bool ok = false;
    const qint64 xref = tail.mid(at + 9).replace("%%EOF", "").trimmed().toLongLong(&ok);
    return ok && xref > 0 && file.seek(xref) && file.read(4) == "xref";
}

} // namespace

TPrinter::TPrinter() : FDevice(std::make_unique<QPrinter>(QPrinter::HighResolution)) {
    FDevice->setFullPage(false);
    UseDots(*FDevice, QueueDpi(FDevice->printerName()));
    ResetDeviceMode();
}

TPrinter::~TPrinter() {
    if (Printing())
        Abort();
}

QStringList TPrinter::Printers() {
    return QPrinterInfo::availablePrinterNames();
}

QString TPrinter::DefaultPrinter() {
    return QPrinterInfo::defaultPrinterName();
}

int TPrinter::QueueDpi(const QString& queue) {
    const TPrinterResolution res = QueueResolution(queue);
    // One grid for both directions: a queue reporting two takes the one across
    // the feed, which is where bar widths are counted.
    return res.Known() ? res.X : FallbackDpi;
}

QString TPrinter::PrinterName() const {
    if (!FPdfFile.isEmpty())
        return FPdfFile;
    return HasPrinter() ? FDevice->printerName() : QString();
}

bool TPrinter::HasPrinter() const {
    if (!FPdfFile.isEmpty())
        return true;
    return FDevice->outputFormat() == QPrinter::NativeFormat && !FDevice->printerName().isEmpty();
}

void TPrinter::CheckNotPrinting() const {
    if (Printing())
        throw Exception(kPrinting);
}

void TPrinter::SelectPdfFile(const QString& path, int dpi) {
    CheckNotPrinting();
    if (path.isEmpty())
        throw EInOutError(QStringLiteral("No PDF file name given"));
    FDevice = std::make_unique<QPrinter>(QPrinter::HighResolution);
    FDevice->setFullPage(false);
    FDevice->setOutputFormat(QPrinter::PdfFormat);
    FDevice->setOutputFileName(path);
    UseDots(*FDevice, dpi);
    FPdfFile = path;
    FPdfDpi = dpi > 0 ? dpi : 0;
    ResetDeviceMode();
}

void TPrinter::SelectDefault() {
    CheckNotPrinting();
    const QString name = DefaultPrinter();
    if (name.isEmpty())
        throw Exception(kNoDefault);
    leavePdfFile();
    if (name != PrinterName()) {
        FDevice->setPrinterName(name);
        UseDots(*FDevice, QueueDpi(name));
        ResetDeviceMode();
    }
}

void TPrinter::leavePdfFile() {
    if (FPdfFile.isEmpty())
        return;
    FPdfFile.clear();
    FDevice = std::make_unique<QPrinter>(QPrinter::HighResolution);
    FDevice->setFullPage(false);
    UseDots(*FDevice, QueueDpi(FDevice->printerName()));
}

void TPrinter::SelectPrinter(const QString& name) {
    CheckNotPrinting();
    if (!Printers().contains(name)) {
        SelectDefault();
        return;
    }
    leavePdfFile();
    if (name != PrinterName()) {
        FDevice->setPrinterName(name);
        UseDots(*FDevice, QueueDpi(name));
        ResetDeviceMode();
    }
}

// A newly selected printer starts from its own settings, as a fresh
// device-mode block from its driver would.
void TPrinter::ResetDeviceMode() {
    FMode = TDeviceMode();
    const QPageLayout layout = FDevice->pageLayout();
    const QSizeF mm = layout.pageSize().size(QPageSize::Millimeter);
    FMode.dmOrientation = layout.orientation() == QPageLayout::Landscape
                              ? TDeviceMode::DMORIENT_LANDSCAPE
                              : TDeviceMode::DMORIENT_PORTRAIT;
    FMode.dmPaperWidth = qint32(qRound(mm.width() * 10));
    FMode.dmPaperLength = qint32(qRound(mm.height() * 10));
}

bool TPrinter::GetDeviceMode(TDeviceMode& mode) const {
    if (!HasPrinter())
        return false;
    mode = FMode;
    return true;
}

void TPrinter::SetDeviceMode(const TDeviceMode& mode) {
    CheckNotPrinting();
    if (!HasPrinter())
        return;
    FMode = mode;
    if ((mode.dmFields & (TDeviceMode::DM_PAPERWIDTH | TDeviceMode::DM_PAPERLENGTH)) &&
        mode.dmPaperWidth > 0 && mode.dmPaperLength > 0) {
        // Width across the feed, length along it, whatever the orientation.
        const QSizeF mm(mode.dmPaperWidth / 10.0, mode.dmPaperLength / 10.0);
        FDevice->setPageSize(
            QPageSize(mm, QPageSize::Millimeter, QString(), QPageSize::ExactMatch));
    }
    FDevice->setPageOrientation(mode.dmOrientation == TDeviceMode::DMORIENT_LANDSCAPE
                                    ? QPageLayout::Landscape
                                    : QPageLayout::Portrait);
    // Zero margins are refused where the printer has hardware margins; the
    // layout then keeps those, which is what the printable offsets report.
    FDevice->setPageMargins(QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter);
    FDevice->setCopyCount(qMax<int>(1, mode.dmCopies));
    FDevice->setPaperSource(QPrinter::Auto);
}

TDeviceMetrics TPrinter::Metrics() const {
    const QRectF page = FDevice->pageRect(QPrinter::DevicePixel);
    const QRectF paper = FDevice->paperRect(QPrinter::DevicePixel);
    return {FDevice->logicalDpiX(), FDevice->logicalDpiY(), qRound(page.left() - paper.left()),
            qRound(page.top() - paper.top())};
}

QFont TPrinter::Font() const {
    return Printing() ? FCanvas->font() : FFont;
}

void TPrinter::SetFont(const QFont& font) {
    FFont = font;
    if (Printing())
        FCanvas->setFont(font);
}

int TPrinter::AvgCharWidth() const {
    if (Printing())
        return FCanvas->fontMetrics().averageCharWidth();
    return QFontMetrics(FFont, FDevice.get()).averageCharWidth();
}

int TPrinter::TextWidth(const QString& text) const {
    if (Printing())
        return FCanvas->fontMetrics().horizontalAdvance(text);
    return QFontMetrics(FFont, FDevice.get()).horizontalAdvance(text);
}

std::unique_ptr<QPrinter> TPrinter::JobDevice(const QString& path) const {
    // The job is drawn to a PDF with exactly the printer's page layout and
    // resolution, so every pixel means what it means on the printer.
    auto job = std::make_unique<QPrinter>(QPrinter::HighResolution);
    job->setOutputFormat(QPrinter::PdfFormat);
    job->setOutputFileName(path);
    job->setResolution(FDevice->resolution());
    // The sheet's corner is the origin and the printable area's offset is taken
    // in whole dots, so every edge drawn on a whole pixel is on the printer's grid.
    job->setFullPage(true);
    job->setPageLayout(FDevice->pageLayout());
    job->setDocName(FTitle);
    return job;
}

void TPrinter::SetUpJobCanvas(QPainter& canvas) const {
    const TDeviceMetrics metrics = Metrics();
    canvas.translate(metrics.OffsetX, metrics.OffsetY);
    canvas.setFont(FFont);
}

namespace {

// A copy in a file made anew, with the mode a new file of the user's gets (the
// umask decides), not the private temporary file's.
bool copyAsNewFile(const QString& from, const QString& to) {
    QFile source(from);
    if (!source.open(QIODevice::ReadOnly))
        return false;
    const int fd = ::open(QFile::encodeName(to).constData(),
                          O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0)
        return false;
    QFile target;
    if (!target.open(fd, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return false;
    }
    while (!source.atEnd()) {
        const QByteArray block = source.read(1 << 20);
        if (block.isEmpty() || target.write(block) != block.size())
            return false;
    }
    return target.flush();
}

} // namespace

void TPrinter::WritePage(const QString& path, const std::function<void(QPainter&)>& paint) const {
    if (!HasPrinter())
        throw EInOutError(QStringLiteral("No printer is selected"));
    const std::unique_ptr<QPrinter> job = JobDevice(path);
    QPainter canvas;
    if (!canvas.begin(job.get()))
        throw EInOutError(QStringLiteral("无法写入页面文件 %1").arg(path));
    SetUpJobCanvas(canvas);
    paint(canvas);
    if (!canvas.end() || !WholePdf(path))
        throw EInOutError(
            QStringLiteral("页面文件 %1 没能完整写出（磁盘已满或无法写入？）").arg(path));
}

void TPrinter::BeginDoc() {
    CheckNotPrinting();
    if (!HasPrinter())
        throw EInOutError(QStringLiteral("No printer is selected"));
    // The process id in the name tells a later start whose file it was.
    auto file = std::make_unique<QTemporaryFile>(
        QDir::tempPath() + QStringLiteral("/kova-job-%1-XXXXXX.pdf").arg(::getpid()));
    if (!file->open())
        throw EInOutError(
            QStringLiteral("Cannot create the print file %1").arg(file->fileTemplate()));
    file->close();

    std::unique_ptr<QPrinter> job = JobDevice(file->fileName());
    auto canvas = std::make_unique<QPainter>();
    if (!canvas->begin(job.get()))
        throw EInOutError(QStringLiteral("Cannot start the print job on %1").arg(PrinterName()));
    SetUpJobCanvas(*canvas);
    FJobFile = std::move(file);
    FJobDevice = std::move(job);
    FCanvas = std::move(canvas);
    FAborted = false;
}

void TPrinter::NewPage() {
    if (!Printing())
        throw Exception(QStringLiteral("Printer is not currently printing"));
    FJobDevice->newPage();
}

bool TPrinter::FinishPainting() {
    const bool ended = FCanvas->end();
    FCanvas.reset();
    FJobDevice.reset();
    return ended;
}

QString TPrinter::JobTitle(const QString& title, const QString& token) {
    const QString tag = QStringLiteral("KOVA-") + token;
    return title.isEmpty() ? tag : title + QLatin1Char(' ') + tag;
}

QString TPrinter::PartFile(const QString& pdfFile, const QString& token) {
    return pdfFile + QLatin1Char('.') + token + QStringLiteral(".part");
}

QString TPrinter::PdfTargetRefusal(const QString& path) {
    struct stat st;
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0 || S_ISREG(st.st_mode))
        return QString();
    const QString what = S_ISLNK(st.st_mode)    ? QStringLiteral("符号链接")
                         : S_ISDIR(st.st_mode)  ? QStringLiteral("文件夹")
                         : S_ISFIFO(st.st_mode) ? QStringLiteral("管道")
                         : S_ISSOCK(st.st_mode) ? QStringLiteral("套接字")
                                                : QStringLiteral("设备");
    return QStringLiteral("%1 是%2，不是普通文件，不能写成 PDF 文件，什么也没有打印")
        .arg(path, what);
}

void TPrinter::RemoveLeftoverJobFiles() {
    static const QRegularExpression name(QStringLiteral("^kova-job-(\\d+)-\\w+\\.pdf$"));
    const QDir temp(QDir::tempPath());
    for (const QString& file : temp.entryList({QStringLiteral("kova-job-*.pdf")}, QDir::Files)) {
        const QRegularExpressionMatch match = name.match(file);
        if (!match.hasMatch())
            continue;
        const pid_t pid = pid_t(match.captured(1).toLongLong());
        const bool gone = pid > 0 && ::kill(pid, 0) != 0 && errno == ESRCH;
        struct stat st;
        // Only this user's, and only where that process is gone.
        if (!gone || ::lstat(QFile::encodeName(temp.filePath(file)).constData(), &st) != 0 ||
            !S_ISREG(st.st_mode) || st.st_uid != ::geteuid())
            continue;
        QFile::remove(temp.filePath(file));
    }
}

namespace {

// CUPS cuts media=Custom.<w>x<h>mm to whole points and may swap it for a size
// of its list within a few points; PageSize=Custom.<w>x<h> in points, with
// decimals, is the sheet as it is.
QByteArray SheetOption(const QSizeF& mm) {
    constexpr double kPoints = 72 / 25.4;
    return "Custom." + QByteArray::number(mm.width() * kPoints, 'f', 4) + 'x' +
           QByteArray::number(mm.height() * kPoints, 'f', 4);
}

} // namespace

void TPrinter::FinishDoc(const QString& token) {
    if (!Printing())
        throw Exception(QStringLiteral("Printer is not currently printing"));
    const bool ended = FinishPainting();
    if (!ended || !WholePdf(FJobFile->fileName())) {
        const QString where = FJobFile->fileName();
        FJobFile.reset();
        throw EInOutError(
            QStringLiteral("打印文件 %1 没能完整写出（磁盘已满或无法写入？），什么也没有打印")
                .arg(where));
    }
    FToken = token;
    if (!FPdfFile.isEmpty()) {
        // Written beside the target first, so that handing it over is one rename.
        const QString part = PartFile(FPdfFile, token);
        QFile::remove(part);
        if (!copyAsNewFile(FJobFile->fileName(), part) || !WholePdf(part)) {
            QFile::remove(part);
            FJobFile.reset();
            throw EInOutError(QStringLiteral("无法写入 PDF 文件 %1").arg(FPdfFile));
        }
        FPartFile = part;
    }
}

void TPrinter::Discard() {
    if (!FPartFile.isEmpty())
        QFile::remove(FPartFile);
    FPartFile.clear();
    FJobFile.reset();
}

int TPrinter::EndDoc() {
    FinishDoc(NewOID());
    return HandOver();
}

int TPrinter::HandOver() {
    if (!FJobFile)
        throw Exception(QStringLiteral("There is no finished print job"));
    const std::unique_ptr<QTemporaryFile> file = std::move(FJobFile);
    if (!FPdfFile.isEmpty()) {
        const QString part = std::exchange(FPartFile, QString());
        // Asked again: the target may have been replaced since the run began.
        if (const QString refusal = PdfTargetRefusal(FPdfFile); !refusal.isEmpty()) {
            QFile::remove(part);
            throw EInOutError(refusal);
        }
        if (::rename(QFile::encodeName(part).constData(), QFile::encodeName(FPdfFile).constData())) {
            const QString why = QString::fromLocal8Bit(std::strerror(errno));
            QFile::remove(part);
            throw EInOutError(QStringLiteral("无法写入 PDF 文件 %1：%2").arg(FPdfFile, why));
        }
        return 0;
    }

    const QPageLayout layout = FDevice->pageLayout();
    const bool landscape = layout.orientation() == QPageLayout::Landscape;
    const QByteArray media = layout.pageSize().key().toUtf8();
    const QSizeF mm = layout.pageSize().size(QPageSize::Millimeter);
    const QByteArray sheet = SheetOption(mm);
    std::vector<cups_option_t> options;
    options.push_back({const_cast<char*>("media"), const_cast<char*>(media.constData())});
    // A queue without custom sizes would print a custom PageSize on its default
    // sheet, and a printer may feed a custom size from another tray: a size of
    // the queue's list goes by its name.
    const TMediaLimits limits = QueueMediaLimits(PrinterName());
    const bool listed = std::any_of(limits.Sizes.begin(), limits.Sizes.end(), [&](QSizeF s) {
        return qRound(s.width() * 100) == qRound(mm.width() * 100) &&
               qRound(s.height() * 100) == qRound(mm.height() * 100);
    });
    if (limits.Custom && !listed) {
        options.push_back({const_cast<char*>("PageSize"), const_cast<char*>(sheet.constData())});
        // The job's PDF page is in whole points: it is placed on the sheet, not
        // scaled. Ghostscript counts a raster printer's dots from the sheet's
        // left edge and, down the sheet, from its height in whole points, which
        // is where the page's top is when its bottom-left corner is on the
        // sheet's: every dot drawn is one of the printer's. A turned page has
        // its top on the sheet's left edge: its dots across the sheet are the
        // printer's, along it they may be a fraction off.
        options.push_back({const_cast<char*>("print-scaling"), const_cast<char*>("none")});
        options.push_back({const_cast<char*>("position"),
                           const_cast<char*>(landscape ? "top-left" : "bottom-left")});
    }
    // The PDF page is already turned; the queue is told so it feeds the paper
    // the way the page size says.
    if (landscape)
        options.push_back({const_cast<char*>("landscape"), const_cast<char*>("")});

    const QByteArray queue = PrinterName().toUtf8();
    const QByteArray path = QFile::encodeName(file->fileName());
    const QByteArray title = JobTitle(FTitle, FToken).toUtf8();
    const int job = cupsPrintFile(queue.constData(), path.constData(), title.constData(),
                                  int(options.size()), options.data());
    if (job <= 0)
        throw EInOutError(QStringLiteral("打印机 %1 没有接受打印任务，什么也没有打印：%2")
                              .arg(PrinterName(), QString::fromUtf8(cupsLastErrorString())));
    return job;
}

void TPrinter::Abort() {
    if (!Printing()) {
        Discard();
        return;
    }
    FinishPainting();
    FJobFile.reset();
    FAborted = true;
}

QPainter& TPrinter::Canvas() const {
    if (!Printing())
        throw Exception(QStringLiteral("Printer is not currently printing"));
    return *FCanvas;
}

TPrinter& Printer() {
    static TPrinter* printer = nullptr;
    if (!printer) {
        printer = new TPrinter;
        // QPrinter needs the application's font and platform services to go
        // away cleanly, so it goes with the application, not at exit.
        if (QCoreApplication::instance())
            qAddPostRoutine([] {
                delete printer;
                printer = nullptr;
            });
    }
    return *printer;
}

int GetPrinterRes(const TPrinter& pobj, bool Horz) {
    const TDeviceMetrics metrics = pobj.Metrics();
    return Horz ? metrics.DpiX : metrics.DpiY;
}

int ConvertMmToPixelsY(double mm) {
    return ConvertMmToPixelsY(mm, Printer().Metrics());
}
