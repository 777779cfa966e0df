#include "model/manager/ScanCheck.h"

#include "base/Errors.h"
#include "base/Units.h"
#include "fbarcode/QRCode.h"
#include "fbarcode/Symbologies.h"
#include "model/bom/PrintBom.h"
#include "model/manager/Printer.h"
#include "model/manager/SymbolScanner.h"

#include <QStringDecoder>
#include <QTemporaryDir>
#include <algorithm>
#include <cmath>
#include <optional>

namespace {

// Whole dots of a length that is meant to be whole: 2.0000001 and 1.9999999 are 2.
int WholeDots(double dots) {
    return int(std::floor(dots + 1e-6));
}

// The whole dots that cover a length: a zone of 32.0000001 dots needs 32.
int DotsCovering(double dots) {
    return int(std::ceil(dots - 1e-6));
}

} // namespace

namespace {

// ISO/IEC 18004.
constexpr int kQRQuietZone = 4;
// Beyond this a crop is not rendered: no printable symbol is that large. A
// sheet beyond it is not rasterised whole either; its crops are painted.
constexpr qint64 kMaxCropDots = 100'000'000;

QString Elided(const QString& s) {
    return s.size() > 60 ? s.left(57) + QStringLiteral("...") : s;
}

bool AllDigits(const QString& s) {
    return !s.isEmpty() && std::all_of(s.begin(), s.end(), [](QChar c) { return c.isDigit(); });
}

// The same digits but for leading zeros, which fixed-length symbologies pad with.
bool SameNumber(const QString& a, const QString& b) {
    if (!AllDigits(a) || !AllDigits(b))
        return false;
    auto strip = [](const QString& s) {
        qsizetype i = 0;
        while (i + 1 < s.size() && s[i] == u'0')
            ++i;
        return s.mid(i);
    };
    return strip(a) == strip(b);
}

bool SameData(const QString& a, const QString& b) {
    return a == b || SameNumber(a, b);
}

// Whether a symbol holding `held` carries the item's data: padding with zeros
// and a check character (added, or put in place of a wrong one) change nothing
// the item says.
bool CarriesItemData(const QString& held, const QString& item, bool checksum) {
    if (SameData(held, item))
        return true;
    if (held.isEmpty())
        return false;
    if (SameData(held.chopped(1), item))
        return true;
    return checksum && !item.isEmpty() && SameData(held.chopped(1), item.chopped(1));
}

// A byte segment as a scanner shows it: without the byte-order mark, UTF-8
// where the bytes are, ISO-8859-1 otherwise.
QString ScannerText(QByteArray bytes) {
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes.remove(0, 3);
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = utf8(bytes);
    return utf8.hasError() ? QString::fromLatin1(bytes) : text;
}

QString Millimetres(double mm) {
    return QString::number(mm, 'f', 1);
}

// A reading in the form the program holds the data: Codabar without its start
// and stop characters, UPC-E without number system and check digit where the
// program's text has none. (An EAN-13 starting with 0, which a scanner reads as
// the UPC-A number, differs in a leading zero only.)
QString AsHeld(TScannerReading reading, const QString& read, const QString& expected) {
    const QString ends = QStringLiteral("ABCD");
    if (reading == TScannerReading::CodabarEnds && read.size() >= 2 &&
        ends.contains(read.front().toUpper()) && ends.contains(read.back().toUpper()) &&
        !ends.contains(expected.left(1).toUpper()))
        return read.mid(1, read.size() - 2);
    if (reading == TScannerReading::UpcENumber && read.size() == 8 && expected.size() < 8)
        return read.mid(1, expected.size());
    return read;
}

// A symbol's own coordinates on the page: u along it, v across it, both in
// device pixels of the print path.
struct TFrame {
    QPointF Origin, U, V;
    QPointF At(double u, double v) const { return Origin + U * u + V * v; }
};

class TChecker {
public:
    // `sheet` is the page as Ghostscript rasterised it; without it the crops
    // are painted by Qt's rules.
    TChecker(const TPreparedPage& prepared, const TRasterDevice& device, const TSheetRaster* sheet)
        : FPrepared(prepared), FDevice(device), FSheet(sheet),
          FPaper(sheet ? sheet->Dots() : device.PaperDots()) {}

    TSymbolCheck Barcode(const TTextItem& item, const TPreparedBarcode& prepared);
    TSymbolCheck QR(const TTextItem& item, const TPreparedQR& prepared);

private:
    // Printer dots per device pixel along a direction of the page.
    double DotsAlong(const QPointF& direction) const;
    // The crop of the sheet around a symbol (device box grown by `margin`
    // device pixels); false when nothing of it is on the sheet.
    bool Render(const QRectF& box, const QPointF& margin, TSymbolCheck& check);
    // Dots of free paper from `from` (device pixels) in `direction`, up to
    // `limit`: until ink or the sheet's edge.
    int FreeDots(const QPointF& from, const QPointF& direction, int limit) const;
    // The least free paper before one edge of a symbol, over lines across it.
    int FreeBeyond(const TFrame& frame, double u, double vFrom, double vTo, const QPointF& outward,
                   int limit) const;
    void QuietZone(TSymbolCheck& check, const QString& side, int freeDots, int neededDots,
                   int modules, double dotsPerMm) const;
    // Warns of a symbol beyond the sheet or the printable area; false when it
    // is not all on the sheet (its quiet zones are beside the point then).
    bool OnSheet(TSymbolCheck& check, const QRectF& box) const;
    // The decoded symbols whose middle lies in the box (device pixels).
    std::vector<TDecodedSymbol> SymbolsIn(const QRectF& box);

    const TPreparedPage& FPrepared;
    const TRasterDevice& FDevice;
    const TSheetRaster* FSheet;
    const QRect FPaper;
    std::optional<TSymbolScanner> FScanner;
    QImage FCrop;
    QRect FCropDots;
};

double TChecker::DotsAlong(const QPointF& direction) const {
    const double len = std::hypot(direction.x(), direction.y());
    if (len == 0)
        return 0;
    return std::hypot(direction.x() / len * FDevice.ScaleX(),
                      direction.y() / len * FDevice.ScaleY());
}

bool TChecker::Render(const QRectF& box, const QPointF& margin, TSymbolCheck& check) {
    const QRectF grown = box.adjusted(-margin.x(), -margin.y(), margin.x(), margin.y());
    FCropDots = FDevice.DotsCovering(grown) & FPaper;
    FCrop = QImage();
    if (FCropDots.isEmpty())
        return false;
    if (qint64(FCropDots.width()) * FCropDots.height() > kMaxCropDots) {
        check.Warnings << QStringLiteral("符号太大，无法检查");
        return false;
    }
    FCrop = FSheet ? FSheet->Crop(FCropDots)
                   : RenderPageDots(FPrepared, FDevice, FCropDots, QImage::Format_Grayscale8);
    return true;
}

int TChecker::FreeDots(const QPointF& from, const QPointF& direction, int limit) const {
    const double perDot = DotsAlong(direction);
    if (perDot <= 0)
        return 0;
    const double len = std::hypot(direction.x(), direction.y());
    const QPointF step = direction / len / perDot; // one printer dot, in device pixels
    // On a slant the dots a symbol's edge runs through are partly its own ink,
    // and either raster rule may fill them: the zone is counted from beyond them.
    const bool slant = std::abs(direction.x()) > 1e-9 * len && std::abs(direction.y()) > 1e-9 * len;
    for (int k = slant ? 1 : 0; k < limit; ++k) {
        const QPointF dots = FDevice.ToDots(from + step * (k + 0.5));
        const QPoint p(int(std::floor(dots.x())), int(std::floor(dots.y())));
        if (!FPaper.contains(p))
            return k;
        if (!FCropDots.contains(p))
            return limit; // beyond the crop, which holds the whole quiet zone on the sheet
        if (FCrop.constScanLine(p.y() - FCropDots.top())[p.x() - FCropDots.left()] < 128)
            return k;
    }
    return limit;
}

int TChecker::FreeBeyond(const TFrame& frame, double u, double vFrom, double vTo,
                         const QPointF& outward, int limit) const {
    int least = limit;
    constexpr int kLines = 7;
    for (int i = 0; i < kLines; ++i) {
        const double v = vFrom + (vTo - vFrom) * (i + 0.5) / kLines;
        least = std::min(least, FreeDots(frame.At(u, v), outward, limit));
    }
    return least;
}

void TChecker::QuietZone(TSymbolCheck& check, const QString& side, int freeDots, int neededDots,
                         int modules, double dotsPerMm) const {
    // A dot less is the rounding of the sheet's raster, not a short quiet zone.
    if (freeDots + 1 >= neededDots || dotsPerMm <= 0)
        return;
    check.Warnings << QStringLiteral("%1空白区只有 %2 mm，需要 %3 mm（%4 个模块）")
                          .arg(side, Millimetres(freeDots / dotsPerMm),
                               Millimetres(neededDots / dotsPerMm))
                          .arg(modules);
}

bool TChecker::OnSheet(TSymbolCheck& check, const QRectF& box) const {
    const QRectF paper = FDevice.PaperRect();
    const QRectF printable = FDevice.PrintableRect().intersected(paper);
    if (!paper.contains(box)) {
        check.Warnings << QStringLiteral("符号超出纸张边缘");
        return false;
    }
    if (!printable.isEmpty() && !printable.contains(box))
        check.Warnings << QStringLiteral("符号超出打印机的可打印区域");
    return true;
}

std::vector<TDecodedSymbol> TChecker::SymbolsIn(const QRectF& box) {
    std::vector<TDecodedSymbol> inside;
    if (FCrop.isNull())
        return inside;
    if (!FScanner)
        FScanner.emplace();
    const QRect dots = FDevice.DotsCovering(box).adjusted(-2, -2, 2, 2);
    for (TDecodedSymbol& d : FScanner->Scan(FCrop)) {
        if (d.Location.isEmpty())
            continue;
        QPointF middle;
        for (const QPoint& p : d.Location)
            middle += p;
        middle /= d.Location.size();
        if (dots.contains((middle + FCropDots.topLeft()).toPoint()))
            inside.push_back(std::move(d));
    }
    return inside;
}

TSymbolCheck TChecker::Barcode(const TTextItem& item, const TPreparedBarcode& prepared) {
    TSymbolCheck check;
    check.ItemName = item.ItemName();
    check.ItemData = item.Text();
    const TBarcodeLayout& symbol = prepared.Layout;
    const TSymbology& rules = *SymbologyOf(symbol.Typ);
    check.Symbology = QString::fromLatin1(rules.Name);
    // What the bars hold: the line under them, but for the add-ons' check
    // digit, which is shown and not drawn.
    check.Expected = symbol.Shown;
    if (rules.Reading == TScannerReading::AddOnDigits)
        check.Expected.truncate(symbol.Typ == bcCodeUPC_Supp2 ? 2 : 5);

    const TBarcodePlacement& place = symbol.Placement;
    const TFrame frame{place.Map(0, 0), place.Map(1, 0) - place.Map(0, 0),
                       place.Map(0, 1) - place.Map(0, 0)};
    const double dotsPerUnit = DotsAlong(frame.U);
    check.NarrowDots = WholeDots(symbol.Narrowest * dotsPerUnit);
    if (check.NarrowDots < MinElementDots) {
        check.Failed = true;
        check.Warnings << QStringLiteral("最窄的条或空只有 %1 个打印点，至少需要 %2 个")
                              .arg(check.NarrowDots)
                              .arg(MinElementDots);
    }
    if (rules.Zbar == 0) {
        check.Outcome = TScanOutcome::NotCheckable;
        return check;
    }
    const qint64 first = symbol.FirstBar, last = symbol.LastBar;
    if (first < 0) {
        check.Outcome = TScanOutcome::NotRead;
        check.Failed = true;
        return check;
    }

    const double h = symbol.Height;
    QPolygonF quad;
    quad << frame.At(first, 0) << frame.At(last, 0) << frame.At(last, h) << frame.At(first, h);
    const QRectF box = quad.boundingRect();
    const bool onSheet = OnSheet(check, box);
    const double module = symbol.Module;
    const double reach = std::max(symbol.QuietBefore, symbol.QuietAfter) + 2 * module;
    const QPointF margin(std::abs(frame.U.x()) * reach + std::abs(frame.V.x()) * reach,
                         std::abs(frame.U.y()) * reach + std::abs(frame.V.y()) * reach);
    if (Render(box, margin, check) && onSheet) {
        const double dotsPerMm = dotsPerUnit * FDevice.Metrics.DpiX / double(mmPerInch);
        const int before = DotsCovering(symbol.QuietBefore * dotsPerUnit),
                  after = DotsCovering(symbol.QuietAfter * dotsPerUnit);
        QuietZone(check, QStringLiteral("左侧"),
                  FreeBeyond(frame, first, 0, h, -frame.U, before + 1), before, rules.QuietBefore,
                  dotsPerMm);
        QuietZone(check, QStringLiteral("右侧"), FreeBeyond(frame, last, 0, h, frame.U, after + 1),
                  after, rules.QuietAfter, dotsPerMm);
    }

    std::optional<std::pair<QString, bool>> best;
    for (const TDecodedSymbol& d : SymbolsIn(box)) {
        const bool eanFamily = (d.Type == ZbarType::UPCA || d.Type == ZbarType::EAN13) &&
                               (rules.Zbar == ZbarType::UPCA || rules.Zbar == ZbarType::EAN13);
        if (d.Type != rules.Zbar && !eanFamily)
            continue;
        // A scanner set up for full ASCII shows the characters, not the pairs.
        const QString read = rules.Reading == TScannerReading::FullAscii39
                                 ? FromFullAscii39(QString::fromUtf8(d.Data))
                                 : QString::fromUtf8(d.Data);
        const bool same = SameData(AsHeld(rules.Reading, read, check.Expected), check.Expected);
        if (!best || same)
            best = {read, same};
        if (same)
            break;
    }
    if (!best) {
        check.Outcome = TScanOutcome::NotRead;
        check.Failed = true;
    } else {
        check.Read = best->first;
        check.Outcome = best->second ? TScanOutcome::Read : TScanOutcome::WrongData;
        check.Failed = check.Failed || check.Outcome != TScanOutcome::Read;
    }
    if (!CarriesItemData(check.Expected, item.Text().trimmed(), symbol.Checksum))
        check.Warnings << QStringLiteral("条码内容 \"%1\" 与打印项内容 \"%2\" 不同")
                              .arg(Elided(check.Expected), Elided(item.Text()));
    return check;
}

TSymbolCheck TChecker::QR(const TTextItem& item, const TPreparedQR& prepared) {
    TSymbolCheck check;
    check.IsQR = true;
    check.ItemName = item.ItemName();
    check.ItemData = item.Text();
    const TQRSegment segment = QRMakeSegment(item.Text(), item.QRcodeEncoding());
    check.Expected = ScannerText(segment.Data);
    const int n = std::max(1, prepared.Modules);
    const QRectF target = prepared.Target;
    const double mw = target.width() / n, mh = target.height() / n;
    const double dotsW = mw * FDevice.ScaleX(), dotsH = mh * FDevice.ScaleY();
    // Module edges are rounded to whole dots: the smallest module is the whole part.
    check.NarrowDots = std::min(WholeDots(dotsW), WholeDots(dotsH));
    if (check.NarrowDots < MinElementDots) {
        check.Failed = true;
        check.Warnings << QStringLiteral("模块只有 %1 × %2 个打印点，至少需要 %3 个")
                              .arg(WholeDots(dotsW))
                              .arg(WholeDots(dotsH))
                              .arg(MinElementDots);
    }
    // The dark part: the rectangle less the quiet zone drawn inside it.
    const int qz = prepared.QuietZone;
    const QRectF symbol = target.adjusted(qz * mw, qz * mh, -qz * mw, -qz * mh);
    const bool onSheet = OnSheet(check, symbol);
    if (Render(symbol, QPointF((kQRQuietZone + 1) * mw, (kQRQuietZone + 1) * mh), check) &&
        onSheet) {
        const int needW = DotsCovering(kQRQuietZone * dotsW),
                  needH = DotsCovering(kQRQuietZone * dotsH);
        const int limitW = needW + 1, limitH = needH + 1;
        const TFrame across{symbol.topLeft(), QPointF(1, 0), QPointF(0, 1)};
        const TFrame down{symbol.topLeft(), QPointF(0, 1), QPointF(1, 0)};
        const double perMmX = FDevice.DpiX / double(mmPerInch),
                     perMmY = FDevice.DpiY / double(mmPerInch);
        const double w = symbol.width(), h = symbol.height();
        QuietZone(check, QStringLiteral("左侧"),
                  FreeBeyond(across, 0, 0, h, QPointF(-1, 0), limitW), needW, kQRQuietZone, perMmX);
        QuietZone(check, QStringLiteral("右侧"), FreeBeyond(across, w, 0, h, QPointF(1, 0), limitW),
                  needW, kQRQuietZone, perMmX);
        QuietZone(check, QStringLiteral("上方"), FreeBeyond(down, 0, 0, w, QPointF(0, -1), limitH),
                  needH, kQRQuietZone, perMmY);
        QuietZone(check, QStringLiteral("下方"), FreeBeyond(down, h, 0, w, QPointF(0, 1), limitH),
                  needH, kQRQuietZone, perMmY);
    }
    std::optional<QByteArray> best;
    for (const TDecodedSymbol& d : SymbolsIn(symbol)) {
        if (d.Type != ZbarType::QRCode)
            continue;
        if (!best || d.Data == segment.Data)
            best = d.Data;
        if (d.Data == segment.Data)
            break;
    }
    if (!best) {
        check.Outcome = TScanOutcome::NotRead;
        check.Failed = true;
    } else {
        check.Read = ScannerText(*best);
        check.Outcome = *best == segment.Data ? TScanOutcome::Read : TScanOutcome::WrongData;
        check.Failed = check.Failed || check.Outcome != TScanOutcome::Read;
    }
    if (check.Expected != item.Text())
        check.Warnings << QStringLiteral("二维码内容 \"%1\" 与打印项内容 \"%2\" 不同")
                              .arg(Elided(check.Expected), Elided(item.Text()));
    return check;
}

} // namespace

QString FromFullAscii39(const QString& data) {
    QString r;
    r.reserve(data.size());
    for (qsizetype i = 0; i < data.size(); ++i) {
        const QChar shift = data[i];
        const QChar next = i + 1 < data.size() ? data[i + 1] : QChar();
        if (next < u'A' || next > u'Z' || !QStringLiteral("$%/+").contains(shift)) {
            r += shift;
            continue;
        }
        const int l = next.unicode() - u'A';
        int code = -1;
        if (shift == u'$')
            code = l + 1;
        else if (shift == u'+')
            code = 'a' + l;
        else if (shift == u'/')
            code = l <= 'O' - 'A' ? '!' + l : l == 'Z' - 'A' ? ':' : -1;
        else {
            static constexpr int kPercent[26] = {27,  28,  29, 30, 31, 59,  60,  61,  62,
                                                 63,  91,  92, 93, 94, 95,  123, 124, 125,
                                                 126, 127, 0,  64, 96, 127, 127, 127};
            code = kPercent[l];
        }
        if (code < 0) {
            r += shift;
            continue;
        }
        r += QChar(code);
        ++i;
    }
    return r;
}

QString TSymbolCheck::Describe() const {
    QString s = Failed ? QStringLiteral("未通过  ") : QStringLiteral("通过    ");
    s += IsQR ? QStringLiteral("二维码 \"%1\"").arg(ItemName)
              : QStringLiteral("条码 \"%1\" (%2)").arg(ItemName, Symbology);
    switch (Outcome) {
    case TScanOutcome::Read:
        s += QStringLiteral("：可以识别，读出 \"%1\"").arg(Elided(Read));
        break;
    case TScanOutcome::NotRead:
        s += QStringLiteral("：无法识别");
        break;
    case TScanOutcome::WrongData:
        s += QStringLiteral("：读出 \"%1\"，应为 \"%2\"").arg(Elided(Read), Elided(Expected));
        break;
    case TScanOutcome::NotCheckable:
        s += QStringLiteral("：无法检查（扫描程序不能识别这种码制）");
        break;
    }
    for (const QString& w : Warnings)
        s += QStringLiteral("\n        · ") + w;
    return s;
}

bool TScanReport::Passed() const {
    return Failures() == 0 && PageError.isEmpty();
}

int TScanReport::Failures() const {
    return int(std::count_if(Symbols.begin(), Symbols.end(),
                             [](const TSymbolCheck& c) { return c.Failed; }));
}

QString TScanReport::Text() const {
    QString s = QStringLiteral("第 %1 页，").arg(PageNum);
    s += Printer.isEmpty() ? QStringLiteral("PDF 文件") : QStringLiteral("打印机 %1").arg(Printer);
    s += DpiX == DpiY ? QStringLiteral("，%1 dpi").arg(DpiX)
                      : QStringLiteral("，%1 × %2 dpi").arg(DpiX).arg(DpiY);
    if (!DpiKnown)
        s += QStringLiteral("（打印机没有报告分辨率，按 %1 dpi 检查）").arg(DpiX);
    if (!QtRulesBecause.isEmpty())
        s += QStringLiteral("（%1，按 Qt 的栅格规则检查）").arg(QtRulesBecause);
    if (!PageError.isEmpty())
        return s + QStringLiteral("：这一页无法打印：") + PageError;
    if (Symbols.empty())
        return s + QStringLiteral("：没有条码或二维码。");
    s += QStringLiteral("：%1 个条码和二维码，%2 个未通过。").arg(Symbols.size()).arg(Failures());
    for (const TSymbolCheck& c : Symbols)
        s += u'\n' + c.Describe();
    return s;
}

namespace {

bool HasSymbols(const TPreparedPage& prepared) {
    for (const auto& line : prepared.Lines)
        for (const TPreparedItem& item : line)
            if (std::holds_alternative<TPreparedBarcode>(item) ||
                std::holds_alternative<TPreparedQR>(item))
                return true;
    return false;
}

} // namespace

TScanReport CheckPage(const TCPrint& page, const TPreparedPage& prepared, const TPrinter& printer,
                      int pageNum) {
    const TRasterDevice device = RasterDevice(printer);
    TScanReport report;
    report.PageNum = pageNum;
    report.Printer = device.Printer;
    report.DpiX = device.DpiX;
    report.DpiY = device.DpiY;
    report.DpiKnown = device.DpiKnown;
    if (!HasSymbols(prepared))
        return report;

    // The page the queue would get, as its first page, rasterised as CUPS
    // rasterises a job for a raster printer.
    std::optional<TSheetRaster> sheet;
    const QRect paper = device.PaperDots();
    if (qint64(paper.width()) * paper.height() > kMaxCropDots) {
        report.QtRulesBecause = QStringLiteral("页面太大，不整页栅格化");
    } else {
        try {
            QTemporaryDir dir;
            if (!dir.isValid())
                throw EInOutError(QStringLiteral("无法创建临时文件夹：%1").arg(dir.errorString()));
            const QString pdf = dir.filePath(QStringLiteral("page.pdf"));
            printer.WritePage(pdf,
                              [&](QPainter& canvas) { TPageRenderer::Paint(canvas, prepared); });
            sheet.emplace(pdf, device.DpiX, device.DpiY);
        } catch (const Exception& e) {
            report.QtRulesBecause = e.Message();
        }
    }

    TChecker checker(prepared, device, sheet ? &*sheet : nullptr);
    const TCLines& lines = page.Lines();
    for (int l = 0; l < lines.Count() && size_t(l) < prepared.Lines.size(); ++l) {
        const TLineOfText& line = *lines.Items(l);
        const std::vector<TPreparedItem>& items = prepared.Lines[size_t(l)];
        for (int i = 0; i < line.Count() && size_t(i) < items.size(); ++i) {
            const TTextItem& item = *line.Items(i);
            if (const auto* b = std::get_if<TPreparedBarcode>(&items[size_t(i)]))
                report.Symbols.push_back(checker.Barcode(item, *b));
            else if (const auto* q = std::get_if<TPreparedQR>(&items[size_t(i)]))
                report.Symbols.push_back(checker.QR(item, *q));
        }
    }
    return report;
}
