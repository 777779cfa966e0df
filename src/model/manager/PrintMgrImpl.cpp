#include "model/manager/PrintMgrImpl.h"

#include "base/Errors.h"
#include "base/Units.h"
#include "model/bom/SettingBom.h"

#include "fbarcode/Barcode.h"

#include <QDir>
#include <QFileInfo>
#include <QFontMetrics>
#include <QLocale>
#include <QPainter>
#include <QPicture>
#include <QPrinter>
#include <QSettings>
#include <cmath>
#include <cups/cups.h>

TPrintMgr::TPrintMgr() = default;
TPrintMgr::~TPrintMgr() = default;

void TPrintMgr::InitPrinter(int PRatio, double APWidth, double APHeight, int APsize,
                            const QString& ADeviceName, const QString& Adefault, int AOffsetX,
                            int AOffsetY, int ApaperOrientation) {
    FRenderer.reset();
    FiOffsetX = AOffsetX;
    FiOffsetY = AOffsetY;
    const double height = APHeight * PRatio;
    SelectProjectPrinter(Printer(), ADeviceName, Adefault);
    SetPagerSize(APsize, ApaperOrientation, APWidth, height);
}

int ProjectDpi(const TProject& project) {
    return TPrinter::QueueDpi(IsTrue(project.ProjectDefaultDevice()) ? TPrinter::DefaultPrinter()
                                                                     : project.ProjectDeviceName());
}

void SelectProjectPrinter(TPrinter& printer, const QString& deviceName, const QString& useDefault) {
    if (useDefault.compare(QLatin1String("TRUE"), Qt::CaseInsensitive) == 0)
        printer.SelectDefault();
    else if (!deviceName.isEmpty())
        printer.SelectPrinter(deviceName);
}

void TPrintMgr::InitPrinter(const QString& ConfigIni, int PRatio) {
    int paperSize = 256;
    double width = 239.0;
    double height = 139.7;
    QString deviceName;
    QString useDefault;
    if (QFileInfo::exists(ConfigIni)) {
        bool ok = true;
        QSettings ini(ConfigIni, QSettings::IniFormat);
        ini.beginGroup(QStringLiteral("Printer"));
        deviceName = ini.value(QStringLiteral("DeviceName"), QStringLiteral("error")).toString();
        useDefault = ini.value(QStringLiteral("IsUseDefault"), QStringLiteral("Yes")).toString();
        bool fieldOk = false;
        const QLocale c = QLocale::c();
        const int readSize = c.toInt(
            ini.value(QStringLiteral("PaperSize"), QStringLiteral("256")).toString().trimmed(),
            &fieldOk);
        ok = ok && fieldOk;
        const double readWidth = c.toDouble(
            ini.value(QStringLiteral("PageWidth"), QStringLiteral("20")).toString().trimmed(),
            &fieldOk);
        ok = ok && fieldOk;
        const double readHeight = c.toDouble(
            ini.value(QStringLiteral("PageHeight"), QStringLiteral("20")).toString().trimmed(),
            &fieldOk);
        ok = ok && fieldOk && ini.status() == QSettings::NoError;
        if (ok) {
            paperSize = readSize;
            width = readWidth;
            height = readHeight;
        } else {
            useDefault = QStringLiteral("Yes");
        }
    }
    height *= PRatio;
    FRenderer.reset();
    FiOffsetX = 0;
    FiOffsetY = 0;
    if (useDefault.compare(QLatin1String("Yes"), Qt::CaseInsensitive) == 0)
        Printer().SelectDefault();
    else
        Printer().SelectPrinter(deviceName);
    SetPagerSize(paperSize, 0, width, height);
}

void TPrintMgr::SetPagerSize(int /*APsize*/, int orientation, double width, double height) {
    SetPaper(Printer(), orientation, width, height);
}

void SetPaper(TPrinter& printer, int orientation, double width, double height) {
    // The queue's own limits decide what it takes (the run refuses the rest);
    // a size no sheet has leaves the paper as it was.
    if (!(width > 0 && height > 0 && width <= 1e5 && height <= 1e5))
        return;
    TDeviceMode mode;
    if (!printer.GetDeviceMode(mode))
        return;
    mode.dmOrientation =
        orientation != 0 ? TDeviceMode::DMORIENT_LANDSCAPE : TDeviceMode::DMORIENT_PORTRAIT;
    mode.dmCopies = 1;
    // Always a user-defined size, whatever the caller asked for.
    mode.dmPaperSize = TDeviceMode::DMPAPER_USER;
    mode.dmPaperWidth = qint32(RoundHalfEven(static_cast<long double>(width) * 10));
    mode.dmPaperLength = qint32(RoundHalfEven(static_cast<long double>(height) * 10));
    mode.dmFields |=
        TDeviceMode::DM_PAPERSIZE | TDeviceMode::DM_PAPERLENGTH | TDeviceMode::DM_PAPERWIDTH;
    mode.dmDefaultSource = TDeviceMode::DMBIN_AUTO;
    printer.SetDeviceMode(mode);
}

std::unique_ptr<QStringList> TPrintMgr::GetPrintList() const {
    return std::make_unique<QStringList>(TPrinter::Printers());
}

QString TPrintMgr::GetDefaultPrint() const {
    const QString name = TPrinter::DefaultPrinter();
    if (name.isEmpty())
        return QString();
    QString makeAndModel;
    QString uri;
    const QByteArray queue = name.toUtf8();
    if (cups_dest_t* dest = cupsGetNamedDest(CUPS_HTTP_DEFAULT, queue.constData(), nullptr)) {
        makeAndModel = QString::fromUtf8(
            cupsGetOption("printer-make-and-model", dest->num_options, dest->options));
        uri = QString::fromUtf8(cupsGetOption("device-uri", dest->num_options, dest->options));
        cupsFreeDests(1, dest);
    }
    // The profile entry it stands for held at most 256 characters.
    return QStringList{name, makeAndModel, uri}.join(u',').left(256);
}

int TPrintMgr::HPointsPerInch() const {
    return GetPrinterRes(Printer(), true);
}

int TPrintMgr::VPointsPerInch() const {
    return GetPrinterRes(Printer(), false);
}

int TPrintMgr::GetOffSetX() const {
    return Printer().Metrics().OffsetX;
}

int TPrintMgr::GetOffSetY() const {
    return Printer().Metrics().OffsetY;
}

int TPrintMgr::GetXmm(long double mm) const {
    return MmToPixels(mm, HPointsPerInch());
}

int TPrintMgr::GetYmm(long double mm) const {
    return MmToPixels(mm, VPointsPerInch());
}

double TPrintMgr::getDPM() const {
    return double(SketchDotsPerMm(HPointsPerInch()));
}

quint16 TPrintMgr::AvgCharWidth() const {
    return quint16(Printer().AvgCharWidth());
}

QPoint TPrintMgr::Place(double x, double y) const {
    return PlacePoint(Printer().Metrics(), FiOffsetX, FiOffsetY, x, y);
}

void TPrintMgr::showpageinfo(const std::function<void(const QString&)>& showMessage) const {
    static const QString sample = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvw"
                                                 "xyz0123456789.,;:!?'\"-+*/=()[]{}<>@#$%&_");
    for (QChar ch : sample)
        showMessage(QStringLiteral("length: %1 , %2 pixels width")
                        .arg(ch)
                        .arg(Printer().TextWidth(QString(ch))));
}

// ---- drawing

namespace {

const QString kNotPrinting = QStringLiteral("Printer is not currently printing");

// Left edge of the boxes the convenience operations draw: converted with the
// page offset, the printable area's offset not taken off.
int XConverted(const TPrintMgr& mgr, double mm) {
    return mgr.GetXmm(static_cast<long double>(mgr.OffsetX()) / 10.0L + mm);
}

int YPlaced(const TPrintMgr& mgr, double mm) {
    return mgr.GetYmm(static_cast<long double>(mgr.OffsetY()) / 10.0L + mm) - mgr.GetOffSetY();
}

// The platform's draw-text format flags, as far as they mean something here.
int QtTextFlags(int format) {
    int flags = 0;
    flags |= (format & 0x1) ? Qt::AlignHCenter : (format & 0x2) ? Qt::AlignRight : Qt::AlignLeft;
    flags |= (format & 0x4) ? Qt::AlignVCenter : (format & 0x8) ? Qt::AlignBottom : Qt::AlignTop;
    if (format & 0x10)
        flags |= Qt::TextWordWrap;
    if (format & 0x20)
        flags |= Qt::TextSingleLine;
    return flags;
}

QFont SongFont(int points) {
    QFont font(QStringLiteral("宋体"));
    if (points > 0)
        font.setPointSize(points);
    return font;
}

} // namespace

TPageRenderer& TPrintMgr::Renderer() {
    if (!FRenderer)
        FRenderer = std::make_unique<TPageRenderer>(Printer().Metrics(), FiOffsetX, FiOffsetY,
                                                    &Printer().Device());
    return *FRenderer;
}

TPreparedPage TPrintMgr::PreparePage(const TCPrint& value) {
    return Renderer().Prepare(value);
}

int TPrintMgr::PaintPage(const TPreparedPage& page) {
    int line = 0;
    for (const auto& items : page.Lines) {
        if (!Printer().Printing())
            return line;
        for (const TPreparedItem& item : items)
            TPageRenderer::Paint(Printer().Canvas(), item);
        ++line;
    }
    return line;
}

int TPrintMgr::PrintSerial(const TCPrint& value) {
    if (!Printer().Printing())
        return 0;
    return PaintPage(PreparePage(value));
}

int TPrintMgr::PrintTextItem(const TTextItem& ti) {
    if (!Printer().Printing())
        return 1;
    const TPreparedText text = Renderer().PrepareText(ti);
    TPageRenderer::Paint(Printer().Canvas(), text);
    return 1;
}

void TPrintMgr::PrintLine(double Xmm1, double Ymm1, double Xmm2, double Ymm2, QPainter& ACanvas,
                          int APenWidth, TColor APenColor, TPenStyle APenStyle) {
    if (!Printer().Printing())
        return;
    const TPenSettings pen{APenWidth, ColorToQColor(APenColor), APenStyle};
    TPageRenderer::Paint(ACanvas, Renderer().PrepareLine(Xmm1, Ymm1, Xmm2, Ymm2, pen));
}

void TPrintMgr::PrintOutLine(const QRect& ARect, QPainter& ACanvas, int APenWidth, TColor APenColor,
                             TPenStyle APenStyle) {
    if (!Printer().Printing())
        return;
    TPageRenderer::PaintOutline(ACanvas, ARect, {APenWidth, ColorToQColor(APenColor), APenStyle});
}

void TPrintMgr::PrintImage(const TTextItem& ti) {
    if (!Printer().Printing())
        return;
    TPageRenderer::Paint(Printer().Canvas(), Renderer().PrepareImage(ti));
}

void TPrintMgr::PrintBarcode(const TLinearBarcode& ABarcode) {
    if (!Printer().Printing())
        return;
    QPainter& canvas = Printer().Canvas();
    PaintBarcode(canvas, ABarcode.Layout(canvas.device()));
}

void TPrintMgr::PrintQRcode1(const TTextItem& ti) {
    if (!Printer().Printing())
        return;
    TPageRenderer::Paint(Printer().Canvas(), Renderer().PrepareQR(ti));
}

void TPrintMgr::PrintQRcode(const TTextItem& ti, const QString& programDir) {
    if (!Printer().Printing())
        return;
    const QString path =
        QDir(programDir).filePath(QStringLiteral("temp/") + ti.ItemName() + QStringLiteral(".bmp"));
    const QImage bitmap(path);
    if (bitmap.isNull())
        throw EInOutError(QStringLiteral("Cannot open file \"%1\"").arg(path));
    const QPoint p = Place(ti.x(), ti.y());
    Printer().Canvas().drawImage(QRect(p, QSize(GetXmm(ti.TextWidth()), GetYmm(ti.LineHeight()))),
                                 bitmap);
}

int TPrintMgr::PrintText(double Xmm, double Ymm, double LineHeight, double TxtWidth,
                         const QString& Txt, int FontSize, int TextAlignment, bool AllowNewLine) {
    if (!Printer().Printing() || Printer().Aborted())
        return 0;
    Printer().SetFont(SongFont(FontSize));
    QPainter& canvas = Printer().Canvas();
    const int avg = qMax(1, Printer().AvgCharWidth());
    QRect box(XConverted(*this, Xmm), YPlaced(*this, Ymm), GetXmm(TxtWidth), GetYmm(LineHeight));
    const int flags = QtTextFlags(TextAlignment);
    QString text = Txt;
    int boxes = 0;
    if (AllowNewLine && qint64(text.size()) * avg > box.width()) {
        // Pieces of as many average characters as the box holds, less one;
        // every piece takes at least one character so the text always runs out.
        const qsizetype take = qMax<qsizetype>(1, box.width() / avg - 1);
        while (qint64(text.size()) * avg > box.width() && text.size() > take) {
            canvas.drawText(box, flags, text.left(take));
            ++boxes;
            text = QLatin1Char(' ') + text.mid(take);
            box.translate(0, box.height());
        }
    }
    canvas.drawText(box, flags, text);
    return boxes + 1;
}

int TPrintMgr::PrintText(double Xmm, double Ymm, const QString& Txt, int FontSize,
                         bool /*AllowNewLine*/) {
    if (!Printer().Printing())
        return 1;
    const int avg = Printer().AvgCharWidth();
    Printer().SetFont(SongFont(FontSize));
    QPainter& canvas = Printer().Canvas();
    const QFontMetrics fm(canvas.font(), canvas.device());
    canvas.drawText(QPoint(XConverted(*this, Xmm) + 2 * avg, YPlaced(*this, Ymm) + fm.ascent()),
                    Txt);
    return 1;
}

int TPrintMgr::PrintRectText(double Xmm, double Ymm, double LineHeight, double TxtWidth,
                             const QString& Txt, const QFont& aFont, int /*TextAlignment*/,
                             bool AllowNewLine, bool DrawOutline, double aMargin,
                             int aOutlinePenWidth) {
    if (!Printer().Printing())
        return 1;
    TTextItem ti;
    ti.Setx(Xmm);
    ti.Sety(Ymm);
    ti.SetLineHeight(LineHeight);
    ti.SetText(Txt);
    ti.SetFont(std::make_unique<TFont>(TFont::fromQFont(aFont, clBlack)));
    ti.SetOutlineMargin(aMargin);
    const int width = QFontMetrics(aFont, &Printer().Device()).horizontalAdvance(Txt);
    const bool wrap = width > GetXmm(TxtWidth);
    ti.SetAllowNewLine(wrap);
    ti.SetTextWidth(wrap && !AllowNewLine ? width * mmPerInch / HPointsPerInch() : TxtWidth);
    TPreparedText text = Renderer().PrepareText(ti);
    // The margin is the horizontal one on all four sides.
    const int mx = GetXmm(aMargin), my = GetYmm(aMargin);
    text.Outline.adjust(0, my - mx, 0, mx - my);
    // Drawn or not, the outline uses the clear style: it never leaves a mark.
    Q_UNUSED(DrawOutline);
    text.Pen = {aOutlinePenWidth, ColorToQColor(TTextItem::DefaultPenColor), psClear};
    TPageRenderer::Paint(Printer().Canvas(), text);
    return 1;
}

void TPrintMgr::PrintEllipse(double Xmm1, double Ymm1, double Xmm2, double Ymm2, int APenWidth) {
    if (!Printer().Printing() || Printer().Aborted())
        return;
    const int avg = Printer().AvgCharWidth();
    QPainter& canvas = Printer().Canvas();
    canvas.save();
    canvas.setPen(QPen(Qt::black, APenWidth, Qt::SolidLine));
    canvas.setBrush(Qt::white);
    canvas.drawEllipse(QRect(QPoint(XConverted(*this, Xmm1) + 2 * avg, YPlaced(*this, Ymm1)),
                             QPoint(XConverted(*this, Xmm2) + 2 * avg, YPlaced(*this, Ymm2))));
    canvas.restore();
}

void TPrintMgr::PrintTableLine(QPainter& ACanvas, int APenWidth, TColor APenColor,
                               TPenStyle APenStyle) {
    auto line = [&](double x1, double y1, double x2, double y2) {
        PrintLine(x1, y1, x2, y2, ACanvas, APenWidth, APenColor, APenStyle);
    };
    for (double y : {32.0, 40.0, 72.0, 79.0})
        line(0, y, 170, y);
    for (double x : {0.0, 127.0, 170.0})
        line(x, 32, x, 79);
    for (double x : {68.0, 80.0, 102.0})
        line(x, 32, x, 72);
    line(157, 32, 158, 79);
}

void TPrintMgr::PrintChar(const QString& /*s*/) {
    throw EInOutError(QStringLiteral("File not found: LPT1 (raw printer port output is not "
                                     "available on this system)"));
}

// ---- preview

void ReportPage(const TCPrint& value, QPicture& picture, const TDeviceMetrics& metrics, int offsetX,
                int offsetY) {
    QPainter canvas(&picture);
    if (value.Font())
        canvas.setFont(value.Font()->toQFont());
    const long double dpm = SketchDotsPerMm(metrics.DpiX);
    const int w = RoundHalfEven(value.PageWidth() * dpm);
    const int h = RoundHalfEven(value.PageHeight() * dpm);
    canvas.setPen(QPen(Qt::black, 5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    const QPoint frame[5] = {{0, 0}, {w, 0}, {w, h}, {0, h}, {0, 0}};
    canvas.drawPolyline(frame, 5);
    const TCLines& lines = value.Lines();
    for (int l = 0; l < lines.Count(); ++l) {
        const TLineOfText& line = *lines.Items(l);
        for (int i = 0; i < line.Count(); ++i) {
            const TTextItem& item = *line.Items(i);
            const long double xmm = offsetX / 10.0L + item.x();
            const long double ymm = offsetY / 10.0L + item.y();
            const long double px = SketchDots(xmm, dpm);
            const long double py = SketchDots(ymm, dpm) - metrics.OffsetY;
            const TFont font = item.Font() ? *item.Font() : TFont();
            QFont qfont = font.toQFont();
            // A cell about as tall as the printed text on a 288-dpi printer.
            qfont.setPixelSize(qMax(1, RoundHalfEven(4.0L * font.Size)));
            canvas.setFont(qfont);
            canvas.setPen(font.qcolor());
            const QFontMetrics fm(qfont, &picture);
            canvas.drawText(QPoint(RoundHalfEven(px), RoundHalfEven(py) + fm.ascent()),
                            item.Text());
        }
    }
    canvas.end();
}

void TPrintMgr::Report(const TCPrint& value, QPicture& AMetaFile) {
    ReportPage(value, AMetaFile, Printer().Metrics(), FiOffsetX, FiOffsetY);
}
