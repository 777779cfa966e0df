#include "fbarcode/Barcode.h"

#include "fbarcode/BarcodeEncoders.h"
#include "fbarcode/bcchksum.h"

#include <QFontMetricsF>
#include <QPaintDevice>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

using R = TScannerReading;
namespace Z = ZbarType;

// In the order of TBarcodeType, which items store.
constexpr TSymbology kSymbologies[BarcodeTypeCount] = {
    {"2_5_interleaved", true, 2.0, 3.0, Encode_2_5_interleaved, Z::I25, 10, 10, R::AsShown},
    {"2_5_industrial", true, 2.0, 3.0, Encode_2_5_industrial, 0, 0, 0, R::AsShown},
    {"2_5_matrix", true, 2.25, 3.0, Encode_2_5_matrix, 0, 0, 0, R::AsShown},
    {"Code39", false, 2.0, 3.0, Encode_Code39, Z::Code39, 10, 10, R::AsShown},
    {"Code39 Extended", false, 2.0, 3.0, Encode_Code39Extended, Z::Code39, 10, 10, R::FullAscii39},
    {"Code128A", false, 0, 0, Encode_Code128, Z::Code128, 10, 10, R::AsShown},
    {"Code128B", false, 0, 0, Encode_Code128, Z::Code128, 10, 10, R::AsShown},
    {"Code128C", true, 0, 0, Encode_Code128, Z::Code128, 10, 10, R::AsShown},
    {"Code93", false, 0, 0, Encode_Code93, Z::Code93, 10, 10, R::AsShown},
    {"Code93 Extended", false, 0, 0, Encode_Code93Extended, Z::Code93, 10, 10, R::AsShown},
    {"MSI", true, 2.0, 3.0, Encode_MSI, 0, 0, 0, R::AsShown},
    {"PostNet", true, 2.0, 3.0, Encode_PostNet, 0, 0, 0, R::AsShown},
    {"Codebar", false, 2.0, 3.0, Encode_Codabar, Z::Codabar, 10, 10, R::CodabarEnds},
    {"EAN8", true, 2.0, 3.0, Encode_EAN8, Z::EAN8, 7, 7, R::AsShown},
    {"EAN13", true, 2.0, 3.0, Encode_EAN13, Z::EAN13, 11, 7, R::AsShown},
    {"UPC_A", true, 2.0, 3.0, Encode_UPC_A, Z::UPCA, 9, 9, R::AsShown},
    {"UPC_E0", true, 2.0, 3.0, Encode_UPC_E, Z::UPCE, 9, 7, R::UpcENumber},
    {"UPC_E1", true, 2.0, 3.0, Encode_UPC_E, 0, 0, 0, R::AsShown},
    {"UPC Supp2", true, 2.0, 3.0, Encode_UPC_Supp2, Z::EAN2, 7, 5, R::AddOnDigits},
    {"UPC Supp5", true, 2.0, 3.0, Encode_UPC_Supp5, Z::EAN5, 7, 5, R::AddOnDigits},
    {"EAN128A", false, 0, 0, Encode_Code128, Z::Code128, 10, 10, R::AsShown},
    {"EAN128B", false, 0, 0, Encode_Code128, Z::Code128, 10, 10, R::AsShown},
    {"EAN128C", true, 0, 0, Encode_Code128, Z::Code128, 10, 10, R::AsShown},
};

// Printing rounds to nearest with halves to even throughout.
qint64 Round(double v) {
    return qint64(std::nearbyint(v));
}

int Saturate(qint64 v) {
    return int(
        std::clamp<qint64>(v, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

// Blanks and control characters off both ends.
QString TrimControls(const QString& s) {
    qsizetype b = 0, e = s.size();
    while (b < e && s[b].unicode() <= u' ')
        ++b;
    while (e > b && s[e - 1].unicode() <= u' ')
        --e;
    return s.mid(b, e - b);
}

bool AllDigits(const QString& s) {
    for (QChar c : s)
        if (c < u'0' || c > u'9')
            return false;
    return true;
}

// The element string of a text (trimmed where the symbology takes digits only),
// and the line under the bars: what they carry, check digit included.
QString Encode(const TSymbology& info, QString& text, TEncodeContext ctx, QString& shown) {
    if (info.DigitsOnly && !AllDigits(text))
        throw EBarcodeError(QStringLiteral("条码必须是数字"));
    std::optional<QString> line;
    ctx.Shown = &line;
    QString data = info.Encode(text, ctx);
    shown = line ? *line : text;
    return data;
}

// The pixel widths of the four width classes: the ratio held to the
// symbology's range, or 2 where it is built from modules of one to four widths.
std::array<int, 4> WidthClasses(const TSymbology& info, int module, double& ratio) {
    double r = 2.0;
    if (info.RatioMin > 0) {
        r = ratio;
        if (!(r >= info.RatioMin)) // also a ratio that is not a number
            r = info.RatioMin;
        if (r > info.RatioMax)
            r = info.RatioMax;
        ratio = r;
    }
    const int wide = int(Round(module * r));
    return {module, wide, wide * 3 / 2, wide * 2};
}

qint64 ElementsWidth(const std::array<int, 4>& modules, const QString& data) {
    qint64 sum = 0;
    for (QChar c : data) {
        int w;
        TBarLineType lt;
        ElementProps(modules, c, w, lt);
        sum += w;
    }
    return sum;
}

void CheckExtents(const TBarcodeSettings& s, const std::array<int, 4>& modules,
                  const QString& data) {
    const double a = s.Angle / 180.0 * M_PI;
    const double c = std::fabs(std::cos(a)), sn = std::fabs(std::sin(a));
    // The longer side of the turned symbol's box.
    auto side = [&](qint64 w) {
        return Round(std::max(c * double(w) + sn * s.Height, sn * double(w) + c * s.Height));
    };
    // Every element is at most the widest class: a cheap bound settles the usual
    // symbol without summing its elements.
    qint64 width = qint64(data.size()) * modules[3];
    if (width <= BarcodeMaxExtent && side(width) <= BarcodeMaxExtent)
        return;
    width = ElementsWidth(modules, data);
    if (width > BarcodeMaxExtent)
        throw EBarcodeError(QStringLiteral("条码宽度 %1 像素超过了一页可容纳的 %2 像素")
                                .arg(width)
                                .arg(BarcodeMaxExtent));
    if (side(width) > BarcodeMaxExtent)
        throw EBarcodeError(QStringLiteral("旋转后的条码占 %1 像素，超过了一页可容纳的 %2 像素")
                                .arg(side(width))
                                .arg(BarcodeMaxExtent));
}

// Signed logical height of a font on a device: negative for a character height,
// as a font given in points (or pixels of em height) has.
int LogicalFontHeight(const QFont& font, const QPaintDevice* device) {
    if (font.pixelSize() > 0)
        return -font.pixelSize();
    const int dpi = device ? device->logicalDpiY() : 96;
    return -int(Round(font.pointSizeF() * dpi / 72.0));
}

TBarcodePlacement Place(const TBarcodeSettings& s, qint64 symbolWidth) {
    const double a = s.Angle / 180.0 * M_PI;
    const double sn = std::sin(a), c = std::cos(a);
    const double W = double(symbolWidth), H = s.Height;
    // Move the origin so that the turned symbol stays in the box at (Left, Top).
    qint64 dx, dy;
    if (sn >= 0 && c >= 0) {
        dx = 0;
        dy = Round(sn * W);
    } else if (sn >= 0) {
        dx = -Round(c * W);
        dy = Round(sn * W - c * H);
    } else if (c >= 0) {
        dx = -Round(sn * H);
        dy = 0;
    } else {
        dx = -Round(c * W) - Round(sn * H);
        dy = -Round(c * H);
    }
    return {sn, c, s.Left + dx, s.Top + dy};
}

// The elements as rectangles (or, at a slant, polygons) of whole pixels.
void LayOutElements(const TBarcodeSettings& s, const QString& data, TBarcodeLayout& l) {
    const double sn = l.Placement.Sin, c = l.Placement.Cos;
    const qint64 ox = l.Placement.OriginX, oy = l.Placement.OriginY;
    auto corner = [&](qint64 x, qint64 y) {
        return QPoint(Saturate(Round(c * x + sn * y) + ox), Saturate(Round(-sn * x + c * y) + oy));
    };
    // The pixel rectangle [x0, x1) × [top, bottom) along the symbol: exactly x1 - x0
    // pixels wide at every quarter turn, and the turned symbol stays inside its box.
    // Adjacent elements share their corners, so turning leaves no gaps between them.
    auto add = [&](qint64 x0, qint64 x1, qint64 top, qint64 bottom, int ink) {
        const std::array<QPoint, 4> p = {corner(x0, top), corner(x0, bottom), corner(x1, bottom),
                                         corner(x1, top)};
        const bool across = p[0].x() == p[1].x() && p[2].x() == p[3].x() && p[0].y() == p[3].y() &&
                            p[1].y() == p[2].y();
        const bool along = p[0].y() == p[1].y() && p[2].y() == p[3].y() && p[0].x() == p[3].x() &&
                           p[1].x() == p[2].x();
        if (!across && !along) {
            l.Polygons[ink].push_back(p);
            return;
        }
        // Filled rectangles stay exact in vector (PDF) output.
        QRectF r(QPointF(std::min(p[0].x(), p[2].x()), std::min(p[0].y(), p[2].y())),
                 QPointF(std::max(p[0].x(), p[2].x()), std::max(p[0].y(), p[2].y())));
        if (ink)
            r.adjust(across ? BarInset : 0, along ? BarInset : 0, across ? -BarInset : 0,
                     along ? -BarInset : 0);
        l.Rects[ink].push_back(r);
    };
    l.Rects[0].reserve(size_t(data.size()));
    l.Rects[1].reserve(size_t(data.size()));
    qint64 x = 0;
    int narrowest = std::numeric_limits<int>::max();
    for (QChar ch : data) {
        int w;
        TBarLineType lt;
        ElementProps(l.Modules, ch, w, lt);
        narrowest = std::min(narrowest, w);
        const int ink = lt == white ? 0 : 1;
        // Half bars stand on the baseline with the full ones, as postal scanners
        // read them.
        const qint64 bottom = s.Height;
        const qint64 top = lt == black_half ? bottom - qint64(s.Height) * 2 / 5 : 0;
        // A reduced bar leaves the rest of its width to the paper, painted as a space.
        const qint64 drawn = ink ? std::max<qint64>(1, w - s.BarReduction) : w;
        add(x, x + drawn, top, bottom, ink);
        if (drawn < w)
            add(x + drawn, x + w, top, bottom, 0);
        if (ink) {
            if (l.FirstBar < 0)
                l.FirstBar = x;
            l.LastBar = x + w;
        }
        x += w;
    }
    l.Narrowest = data.isEmpty() ? 0 : narrowest;
}

// The human-readable lines: the shown text at the offsets, the symbology's name
// two font heights above the bars.
void LayOutText(const TBarcodeSettings& s, const QPaintDevice* device, TBarcodeLayout& l) {
    l.Font = s.Font;
    l.FontColor = s.FontColor;
    // Whole turns do not change the text; reducing first keeps any finite angle in range.
    l.Orientation = int(Round(std::fmod(s.Angle, 360.0) * 10));
    if (s.ShowText == bcoNone)
        return;
    const int x = Saturate(qint64(s.Left) + s.TextOffsetX);
    qint64 y;
    switch (s.Position) {
    case stpTopLeft:
    case stpTopRight:
    case stpTopCenter:
        y = qint64(s.Top) - s.TextOffsetY;
        break;
    default:
        y = qint64(s.Top) + s.Height + s.TextOffsetY -
            qRound(QFontMetricsF(s.Font, device).height());
        break;
    }
    if (s.ShowText == bcoCode || s.ShowText == bcoBoth)
        l.Texts.push_back({QPoint(x, Saturate(y)), l.Shown, s.CharExtra});
    if (s.ShowText == bcoTyp || s.ShowText == bcoBoth)
        l.Texts.push_back(
            {QPoint(s.Left, Saturate(s.Top + Round(2.0 * LogicalFontHeight(s.Font, device)))),
             TLinearBarcode::TypText(s.Typ), 0});
}

// Draws text with its cell's top-left corner at `at`, turned counter-clockwise by
// the given tenths of a degree about that corner, on a white box. Characters are
// placed one by one so that the extra spacing is exactly `extra` device pixels
// whatever the device's resolution.
void TextOutAt(QPainter& canvas, const TBarcodeTextRun& run, int orientation) {
    const QFontMetricsF fm(canvas.font(), canvas.device());
    canvas.save();
    canvas.translate(run.At);
    canvas.rotate(-orientation / 10.0);
    qreal pos = 0;
    const QString& text = run.Text;
    for (qsizetype i = 0; i < text.size();) {
        qsizetype n = 1;
        if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate())
            n = 2;
        const QString ch = text.mid(i, n);
        const qreal advance = fm.horizontalAdvance(ch) + run.Extra;
        canvas.fillRect(QRectF(pos, 0, advance, fm.height()), Qt::white);
        canvas.drawText(QPointF(pos, fm.ascent()), ch);
        pos += advance;
        i += n;
    }
    canvas.restore();
}

} // namespace

const TSymbology* SymbologyOf(TBarcodeType typ) {
    return typ >= 0 && typ < BarcodeTypeCount ? &kSymbologies[typ] : nullptr;
}

QSize TurnedBox(double angle, qint64 width, int height) {
    const double a = angle / 180.0 * M_PI;
    const double c = std::fabs(std::cos(a)), s = std::fabs(std::sin(a)), w = double(width);
    return QSize(Saturate(Round(c * w + s * height + 0.5)),
                 Saturate(Round(s * w + c * height + 0.5)));
}

QString ModuleRefusal(double mm, qint64 dots, int dpi) {
    if (dots >= 1 && dots <= BarcodeMaxModule)
        return QString();
    return QStringLiteral("条码模块 %1 mm 在 %2 dpi 下是 %3 个打印点，只能是 1 到 %4 个打印点")
        .arg(mm)
        .arg(dpi)
        .arg(dots)
        .arg(BarcodeMaxModule);
}

QString PadLeft(const QString& text, int n) {
    return text.size() >= n ? text : QString(n - text.size(), u'0') + text;
}

QString DoCheckSumming(const QString& text, TCheckSumMethod method) {
    if (method == csmNone)
        return text;
    try {
        return CheckSumModulo10(text);
    } catch (const EConvertError&) {
        throw EBarcodeError(QStringLiteral("此条码类型进行校验必须是数字"));
    }
}

QString TElementString::Take() {
    if (FSize > FCapacity)
        throw EBarcodeError(QStringLiteral("%1: internal Error").arg(BarcodeClassName()));
    FData.truncate(FSize);
    FCapacity = FSize = 0;
    return std::move(FData);
}

void ElementProps(const std::array<int, 4>& modules, QChar code, int& width, TBarLineType& lt) {
    const char16_t u = code.unicode();
    if (u >= u'0' && u <= u'3') {
        width = modules[u - u'0'];
        lt = white;
    } else if (u >= u'5' && u <= u'8') {
        width = modules[u - u'5'];
        lt = black;
    } else if (u >= u'A' && u <= u'D') {
        width = modules[u - u'A'];
        lt = black_half;
    } else {
        throw EBarcodeError(QStringLiteral("%1: internal Error").arg(BarcodeClassName()));
    }
}

TEncodedSymbol EncodeSymbol(const TBarcodeSettings& s) {
    if (!std::isfinite(s.Angle))
        throw EBarcodeError(QStringLiteral("条码旋转角度必须是有限的数值"));
    if (s.Height < 0 || s.Height > BarcodeMaxExtent)
        throw EBarcodeError(QStringLiteral("条码高度 %1 像素超出了 0 到 %2 像素的范围")
                                .arg(s.Height)
                                .arg(BarcodeMaxExtent));
    const TSymbology* info = SymbologyOf(s.Typ);
    if (!info)
        throw EBarcodeError(QStringLiteral("%1: 不正确的条码类型").arg(BarcodeClassName()));
    TEncodedSymbol e;
    e.Ratio = s.Ratio;
    e.Modules = WidthClasses(*info, s.Module, e.Ratio);
    e.Text = info->DigitsOnly ? TrimControls(s.Text) : s.Text;
    e.Data = Encode(*info, e.Text, TEncodeContext{s.Typ, s.Checksum, s.Method}, e.Shown);
    CheckExtents(s, e.Modules, e.Data);
    return e;
}

QString BarcodeShownText(TBarcodeType typ, const QString& text, bool checksum,
                         TCheckSumMethod method) {
    const TSymbology* info = SymbologyOf(typ);
    if (!info)
        return text;
    const QString trimmed = info->DigitsOnly ? TrimControls(text) : text;
    try {
        QString encoded = trimmed, shown;
        Encode(*info, encoded, TEncodeContext{typ, checksum, method}, shown);
        return shown;
    } catch (const Exception&) {
        // The drawing reports why the text cannot be encoded; the line only shows it.
        return trimmed;
    }
}

TBarcodeLayout LayoutBarcode(const TBarcodeSettings& s, const QPaintDevice* device) {
    if (s.Module < 1 || s.Module > BarcodeMaxModule)
        throw EBarcodeError(QStringLiteral("条码模块 %1 个打印点，只能是 1 到 %2 个打印点")
                                .arg(s.Module)
                                .arg(BarcodeMaxModule));
    TEncodedSymbol e = EncodeSymbol(s);
    TBarcodeLayout l;
    l.Typ = s.Typ;
    l.Checksum = s.Checksum;
    l.Text = std::move(e.Text);
    l.Shown = std::move(e.Shown);
    l.Ratio = e.Ratio;
    l.Modules = e.Modules;
    l.Module = s.Module;
    l.Height = s.Height;
    l.Width = ElementsWidth(l.Modules, e.Data);
    const TSymbology& info = *SymbologyOf(s.Typ);
    l.QuietBefore = info.QuietBefore * s.Module;
    l.QuietAfter = info.QuietAfter * s.Module;
    l.Placement = Place(s, l.Width);
    const QSize box = TurnedBox(s.Angle, Saturate(l.Width), s.Height);
    l.Box = QRect(QPoint(s.Left, s.Top), box);
    l.Color = s.Color;
    l.ColorBar = s.ColorBar;
    LayOutElements(s, e.Data, l);
    LayOutText(s, device, l);
    return l;
}

void PaintBarcode(QPainter& canvas, const TBarcodeLayout& l) {
    canvas.save();
    canvas.setRenderHint(QPainter::Antialiasing, false);
    // Spaces and bars are painted in two batches: a PDF job then changes its fill
    // colour twice a symbol, not at every element.
    canvas.setPen(Qt::NoPen);
    for (int ink = 0; ink < 2; ++ink) {
        canvas.setBrush(ink == 0 ? l.Color : l.ColorBar);
        if (!l.Rects[ink].empty())
            canvas.drawRects(l.Rects[ink].data(), int(l.Rects[ink].size()));
        for (const auto& polygon : l.Polygons[ink])
            canvas.drawPolygon(polygon.data(), 4);
    }
    if (!l.Texts.empty()) {
        canvas.setFont(l.Font);
        canvas.setPen(l.FontColor);
        canvas.setBrush(QColor(255, 255, 255));
        for (const TBarcodeTextRun& run : l.Texts)
            TextOutAt(canvas, run, l.Orientation);
    }
    canvas.restore();
}

TLinearBarcode::TLinearBarcode(QObject* owner) : QObject(owner) {}

TLinearBarcode::~TLinearBarcode() = default;

void TLinearBarcode::Assign(const QObject* source) {
    const auto* src = dynamic_cast<const TLinearBarcode*>(source);
    if (!src)
        throw EConvertError(QStringLiteral("Cannot assign a %1 to a TLinearBarcode.")
                                .arg(source ? QString::fromLatin1(source->metaObject()->className())
                                            : QStringLiteral("nil")));
    F = src->F;
    FOnChange = src->FOnChange;
}

void TLinearBarcode::DoChange() {
    if (FOnChange)
        FOnChange(this);
}

void TLinearBarcode::setModul(int value) {
    if (value < 1 || value > BarcodeMaxModule)
        return;
    F.Module = value;
    DoChange();
}
void TLinearBarcode::setShowTextFont(const QFont& value) {
    F.Font = value;
    DoChange();
}

QString TLinearBarcode::TypText(TBarcodeType typ) {
    const TSymbology* info = SymbologyOf(typ);
    return info ? QString::fromLatin1(info->Name) : QString();
}

QString TLinearBarcode::GetTypText() const {
    return TypText(F.Typ);
}

QString TLinearBarcode::MakeData() {
    TEncodedSymbol e = EncodeSymbol(F);
    setRatio(e.Ratio);
    setText(e.Text);
    modules = e.Modules;
    return std::move(e.Data);
}

void TLinearBarcode::OneBarProps(QChar code, int& width, TBarLineType& lt) const {
    ElementProps(modules, code, width, lt);
}

int TLinearBarcode::Width() {
    const QString data = MakeData();
    return Saturate(ElementsWidth(modules, data));
}

void TLinearBarcode::setWidth(int value) {
    const qint64 s = Width();
    if (s > 0)
        setModul(Saturate(qint64(F.Module) * value / s));
}

int TLinearBarcode::CanvasWidth() {
    return TurnedBox(F.Angle, Width(), F.Height).width();
}

int TLinearBarcode::CanvasHeight() {
    return TurnedBox(F.Angle, Width(), F.Height).height();
}

QString TLinearBarcode::ShownText() const {
    return BarcodeShownText(F.Typ, F.Text, F.Checksum, F.Method);
}

TBarcodeLayout TLinearBarcode::Layout(const QPaintDevice* device) const {
    return LayoutBarcode(F, device);
}

void TLinearBarcode::DrawBarcode(QPainter& canvas) {
    const TBarcodeLayout layout = Layout(canvas.device());
    setRatio(layout.Ratio);
    setText(layout.Text);
    modules = layout.Modules;
    PaintBarcode(canvas, layout);
}
