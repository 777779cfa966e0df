#include "fbarcode/Barcode.h"

#include "fbarcode/BarcodeEncoders.h"
#include "fbarcode/bcchksum.h"

#include <QFontMetricsF>
#include <QPaintDevice>
#include <QPainter>
#include <QPolygon>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

struct TBarcodeInfo {
    const char* Name;
    bool DigitsOnly;
    // Wide-to-narrow ratio limits; 0 where the symbology is built from modules of
    // one to four widths, which only read at a ratio of 2.
    double RatioMin;
    double RatioMax;
    TEncoder Encode;
};

constexpr TBarcodeInfo BCdata[BarcodeTypeCount] = {
    {"2_5_interleaved", true, 2.0, 3.0, Encode_2_5_interleaved},
    {"2_5_industrial", true, 2.0, 3.0, Encode_2_5_industrial},
    {"2_5_matrix", true, 2.25, 3.0, Encode_2_5_matrix},
    {"Code39", false, 2.0, 3.0, Encode_Code39},
    {"Code39 Extended", false, 2.0, 3.0, Encode_Code39Extended},
    {"Code128A", false, 0, 0, Encode_Code128},
    {"Code128B", false, 0, 0, Encode_Code128},
    {"Code128C", true, 0, 0, Encode_Code128},
    {"Code93", false, 0, 0, Encode_Code93},
    {"Code93 Extended", false, 0, 0, Encode_Code93Extended},
    {"MSI", true, 2.0, 3.0, Encode_MSI},
    {"PostNet", true, 2.0, 3.0, Encode_PostNet},
    {"Codebar", false, 2.0, 3.0, Encode_Codabar},
    {"EAN8", true, 2.0, 3.0, Encode_EAN8},
    {"EAN13", true, 2.0, 3.0, Encode_EAN13},
    {"UPC_A", true, 2.0, 3.0, Encode_UPC_A},
    {"UPC_E0", true, 2.0, 3.0, Encode_UPC_E},
    {"UPC_E1", true, 2.0, 3.0, Encode_UPC_E},
    {"UPC Supp2", true, 2.0, 3.0, Encode_UPC_Supp2},
    {"UPC Supp5", true, 2.0, 3.0, Encode_UPC_Supp5},
    {"EAN128A", false, 0, 0, Encode_Code128},
    {"EAN128B", false, 0, 0, Encode_Code128},
    {"EAN128C", true, 0, 0, Encode_Code128},
};

bool ValidType(TBarcodeType typ) {
    return typ >= 0 && typ < BarcodeTypeCount;
}

// Printing rounds to nearest with halves to even throughout.
qint64 Round(double v) {
    return qint64(std::nearbyint(v));
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

int Saturate(qint64 v) {
    return int(
        std::clamp<qint64>(v, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

// Restores the caller's font, pen and brush even when encoding fails half way.
class TPainterState {
public:
    explicit TPainterState(QPainter& p) : FPainter(p) { FPainter.save(); }
    ~TPainterState() { FPainter.restore(); }
    TPainterState(const TPainterState&) = delete;
    TPainterState& operator=(const TPainterState&) = delete;

private:
    QPainter& FPainter;
};

// Signed logical height of a font on a device: negative for a character height,
// as a font given in points (or pixels of em height) has.
int LogicalFontHeight(const QFont& font, const QPaintDevice* device) {
    if (font.pixelSize() > 0)
        return -font.pixelSize();
    const int dpi = device ? device->logicalDpiY() : 96;
    return -int(Round(font.pointSizeF() * dpi / 72.0));
}

int TextHeight(const QFont& font, QPaintDevice* device) {
    return qRound(QFontMetricsF(font, device).height());
}

// Draws text with its cell's top-left corner at (x, y), turned counter-clockwise by
// the given tenths of a degree about that corner, on a white box. Characters are
// placed one by one so that the extra spacing is exactly `extra` device pixels
// whatever the device's resolution.
void TextOutAt(QPainter& canvas, int x, int y, int orientation, const QString& text, int extra) {
    const QFontMetricsF fm(canvas.font(), canvas.device());
    canvas.save();
    canvas.translate(x, y);
    canvas.rotate(-orientation / 10.0);
    qreal pos = 0;
    for (qsizetype i = 0; i < text.size();) {
        qsizetype n = 1;
        if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate())
            n = 2;
        const QString ch = text.mid(i, n);
        const qreal advance = fm.horizontalAdvance(ch) + extra;
        canvas.fillRect(QRectF(pos, 0, advance, fm.height()), Qt::white);
        canvas.drawText(QPointF(pos, fm.ascent()), ch);
        pos += advance;
        i += n;
    }
    canvas.restore();
}

} // namespace

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

QString BarcodeShownText(TBarcodeType typ, const QString& text, bool checksum,
                         TCheckSumMethod method) {
    if (!ValidType(typ))
        return text;
    const TBarcodeInfo& info = BCdata[typ];
    const QString trimmed = info.DigitsOnly ? TrimControls(text) : text;
    if (info.DigitsOnly && !AllDigits(trimmed))
        return trimmed;
    try {
        QString encoded = trimmed;
        std::optional<QString> shown;
        info.Encode(encoded, TEncodeContext{typ, checksum, method, &shown});
        return shown ? *shown : encoded;
    } catch (const Exception&) {
        // The drawing reports why the text cannot be encoded; the line only shows it.
        return trimmed;
    }
}

TLinearBarcode::TLinearBarcode(QObject* owner) : QObject(owner) {}

TLinearBarcode::~TLinearBarcode() = default;

void TLinearBarcode::Assign(const QObject* source) {
    const auto* src = dynamic_cast<const TLinearBarcode*>(source);
    if (!src)
        throw EConvertError(QStringLiteral("Cannot assign a %1 to a TLinearBarcode.")
                                .arg(source ? QString::fromLatin1(source->metaObject()->className())
                                            : QStringLiteral("nil")));
    FHeight = src->FHeight;
    FText = src->FText;
    FTop = src->FTop;
    FLeft = src->FLeft;
    FModul = src->FModul;
    FRatio = src->FRatio;
    FTyp = src->FTyp;
    FCheckSum = src->FCheckSum;
    FShowText = src->FShowText;
    FShowTextPosition = src->FShowTextPosition;
    FCharExtra = src->FCharExtra;
    FShowTextOffSetX = src->FShowTextOffSetX;
    FShowTextOffSetY = src->FShowTextOffSetY;
    FAngle = src->FAngle;
    FColor = src->FColor;
    FColorBar = src->FColorBar;
    FCheckSumMethod = src->FCheckSumMethod;
    FBarReduction = src->FBarReduction;
    FOnChange = src->FOnChange;
    FShowTextFont = src->FShowTextFont;
    FShowTextFontColor = src->FShowTextFontColor;
}

void TLinearBarcode::DoChange() {
    if (FOnChange)
        FOnChange(this);
}

// The setters notify only on a real change, so that a caller re-applying the same
// settings does not trigger a redraw.
template <typename T> static bool Change(T& field, const T& value) {
    if (field == value)
        return false;
    field = value;
    return true;
}

void TLinearBarcode::setHeight(int value) {
    if (Change(FHeight, value))
        DoChange();
}
void TLinearBarcode::setText(const QString& value) {
    if (Change(FText, value))
        DoChange();
}
void TLinearBarcode::setTop(int value) {
    if (Change(FTop, value))
        DoChange();
}
void TLinearBarcode::setLeft(int value) {
    if (Change(FLeft, value))
        DoChange();
}
void TLinearBarcode::setModul(int value) {
    if (value < 1 || value > 49)
        return;
    FModul = value;
    DoChange();
}
void TLinearBarcode::setRatio(double value) {
    if (Change(FRatio, value))
        DoChange();
}
void TLinearBarcode::setTyp(TBarcodeType value) {
    if (Change(FTyp, value))
        DoChange();
}
void TLinearBarcode::setChecksum(bool value) {
    if (Change(FCheckSum, value))
        DoChange();
}
void TLinearBarcode::setAngle(double value) {
    if (Change(FAngle, value))
        DoChange();
}
void TLinearBarcode::setShowText(TBarcodeOption value) {
    if (Change(FShowText, value))
        DoChange();
}
void TLinearBarcode::setShowTextPosition(TShowTextPosition value) {
    if (Change(FShowTextPosition, value))
        DoChange();
}
void TLinearBarcode::setShowTextFont(const QFont& value) {
    FShowTextFont = value;
    DoChange();
}

QString TLinearBarcode::TypText(TBarcodeType typ) {
    return ValidType(typ) ? QString::fromLatin1(BCdata[typ].Name) : QString();
}

QString TLinearBarcode::GetTypText() const {
    return TypText(FTyp);
}

void TLinearBarcode::MakeModules() {
    double ratio = 2.0;
    if (ValidType(FTyp) && BCdata[FTyp].RatioMin > 0) {
        const TBarcodeInfo& info = BCdata[FTyp];
        double r = FRatio;
        if (!(r >= info.RatioMin)) // also a ratio that is not a number
            r = info.RatioMin;
        if (r > info.RatioMax)
            r = info.RatioMax;
        setRatio(r);
        ratio = r;
    }
    modules[0] = FModul;
    modules[1] = int(Round(FModul * ratio));
    modules[2] = modules[1] * 3 / 2;
    modules[3] = modules[1] * 2;
}

void TLinearBarcode::CheckAngle() const {
    if (!std::isfinite(FAngle))
        throw EBarcodeError(QStringLiteral("条码旋转角度必须是有限的数值"));
}

namespace {

// The summed widths of a string of element codes.
qint64 ElementsWidth(const TLinearBarcode& symbol, const QString& data) {
    qint64 sum = 0;
    for (QChar c : data) {
        int w;
        TBarLineType lt;
        symbol.OneBarProps(c, w, lt);
        sum += w;
    }
    return sum;
}

} // namespace

void TLinearBarcode::CheckExtents(const QString& data) const {
    const double a = FAngle / 180.0 * M_PI;
    const double c = std::fabs(std::cos(a)), s = std::fabs(std::sin(a));
    // The longer side of the turned symbol's box.
    auto side = [&](qint64 w) {
        return Round(std::max(c * double(w) + s * FHeight, s * double(w) + c * FHeight));
    };
    // Every element is at most the widest class: a cheap bound settles the usual
    // symbol without summing its elements.
    qint64 width = qint64(data.size()) * modules[3];
    if (width <= BarcodeMaxExtent && side(width) <= BarcodeMaxExtent)
        return;
    width = ElementsWidth(*this, data);
    if (width > BarcodeMaxExtent)
        throw EBarcodeError(QStringLiteral("条码宽度 %1 像素超过了一页可容纳的 %2 像素")
                                .arg(width)
                                .arg(BarcodeMaxExtent));
    if (side(width) > BarcodeMaxExtent)
        throw EBarcodeError(QStringLiteral("旋转后的条码占 %1 像素，超过了一页可容纳的 %2 像素")
                                .arg(side(width))
                                .arg(BarcodeMaxExtent));
}

QString TLinearBarcode::MakeData() {
    CheckAngle();
    if (FHeight < 0 || FHeight > BarcodeMaxExtent)
        throw EBarcodeError(QStringLiteral("条码高度 %1 像素超出了 0 到 %2 像素的范围")
                                .arg(FHeight)
                                .arg(BarcodeMaxExtent));
    MakeModules();
    if (ValidType(FTyp) && BCdata[FTyp].DigitsOnly) {
        setText(TrimControls(FText));
        if (!AllDigits(FText))
            throw EBarcodeError(QStringLiteral("条码必须是数字"));
    }
    if (!ValidType(FTyp))
        throw EBarcodeError(QStringLiteral("%1: 不正确的条码类型").arg(BarcodeClassName()));
    QString text = FText;
    const QString data =
        BCdata[FTyp].Encode(text, TEncodeContext{FTyp, FCheckSum, FCheckSumMethod});
    setText(text);
    CheckExtents(data);
    return data;
}

void TLinearBarcode::OneBarProps(QChar code, int& width, TBarLineType& lt) const {
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

int TLinearBarcode::Width() {
    return Saturate(ElementsWidth(*this, MakeData()));
}

void TLinearBarcode::setWidth(int value) {
    const qint64 s = Width();
    if (s > 0)
        setModul(Saturate(qint64(FModul) * value / s));
}

int TLinearBarcode::CanvasWidth() {
    const double a = FAngle / 180.0 * M_PI;
    const double w = Width();
    return Saturate(Round(std::fabs(std::cos(a)) * w + std::fabs(std::sin(a)) * FHeight + 0.5));
}

int TLinearBarcode::CanvasHeight() {
    const double a = FAngle / 180.0 * M_PI;
    const double w = Width();
    return Saturate(Round(std::fabs(std::sin(a)) * w + std::fabs(std::cos(a)) * FHeight + 0.5));
}

TBarcodePlacement TLinearBarcode::Placement(qint64 symbolWidth) const {
    const double a = FAngle / 180.0 * M_PI;
    const double s = std::sin(a), c = std::cos(a);
    const double W = double(symbolWidth), H = FHeight;
    // Move the origin so that the turned symbol stays in the box at (Left, Top).
    qint64 dx, dy;
    if (s >= 0 && c >= 0) {
        dx = 0;
        dy = Round(s * W);
    } else if (s >= 0) {
        dx = -Round(c * W);
        dy = Round(s * W - c * H);
    } else if (c >= 0) {
        dx = -Round(s * H);
        dy = 0;
    } else {
        dx = -Round(c * W) - Round(s * H);
        dy = -Round(c * H);
    }
    return {s, c, FLeft + dx, FTop + dy};
}

void TLinearBarcode::DoLines(const QString& data, QPainter& canvas) {
    const TBarcodePlacement place = Placement(ElementsWidth(*this, data));
    const double s = place.Sin, c = place.Cos;
    const qint64 ox = place.OriginX, oy = place.OriginY;
    auto corner = [&](qint64 x, qint64 y) {
        return QPoint(Saturate(Round(c * x + s * y) + ox), Saturate(Round(-s * x + c * y) + oy));
    };

    canvas.setRenderHint(QPainter::Antialiasing, false);
    // Spaces and bars are gathered by colour and painted in two batches: a PDF
    // job then changes its fill colour twice a symbol, not at every element.
    std::vector<QRectF> rects[2];
    std::vector<std::array<QPoint, 4>> polygons[2];
    // The pixel rectangle [x0, x1) × [top, bottom) along the symbol: exactly x1 - x0
    // pixels wide at every quarter turn, and the turned symbol stays inside its box.
    // Adjacent elements share their corners, so turning leaves no gaps between them.
    auto add = [&](qint64 x0, qint64 x1, qint64 top, qint64 bottom, int ink) {
        const std::array<QPoint, 4> p = {corner(x0, top), corner(x0, bottom), corner(x1, bottom),
                                         corner(x1, top)};
        const bool across = p[0].x() == p[1].x() && p[2].x() == p[3].x() &&
                            p[0].y() == p[3].y() && p[1].y() == p[2].y();
        const bool along = p[0].y() == p[1].y() && p[2].y() == p[3].y() &&
                           p[0].x() == p[3].x() && p[1].x() == p[2].x();
        if (!across && !along) {
            polygons[ink].push_back(p);
            return;
        }
        // Filled rectangles stay exact in vector (PDF) output.
        QRectF r(QPointF(std::min(p[0].x(), p[2].x()), std::min(p[0].y(), p[2].y())),
                 QPointF(std::max(p[0].x(), p[2].x()), std::max(p[0].y(), p[2].y())));
        if (ink)
            r.adjust(across ? BarInset : 0, along ? BarInset : 0, across ? -BarInset : 0,
                     along ? -BarInset : 0);
        rects[ink].push_back(r);
    };
    qint64 x = 0;
    for (QChar ch : data) {
        int w;
        TBarLineType lt;
        OneBarProps(ch, w, lt);
        const int ink = lt == white ? 0 : 1;
        // Half bars stand on the baseline with the full ones, as postal scanners
        // read them.
        const qint64 bottom = FHeight;
        const qint64 top = lt == black_half ? bottom - qint64(FHeight) * 2 / 5 : 0;
        // A reduced bar leaves the rest of its width to the paper, painted as a space.
        const qint64 drawn = ink ? std::max<qint64>(1, w - FBarReduction) : w;
        add(x, x + drawn, top, bottom, ink);
        if (drawn < w)
            add(x + drawn, x + w, top, bottom, 0);
        x += w;
    }
    canvas.setPen(Qt::NoPen);
    for (int ink = 0; ink < 2; ++ink) {
        canvas.setBrush(ink == 0 ? FColor : FColorBar);
        if (!rects[ink].empty())
            canvas.drawRects(rects[ink].data(), int(rects[ink].size()));
        for (const auto& polygon : polygons[ink])
            canvas.drawPolygon(polygon.data(), 4);
    }
}

void TLinearBarcode::DrawBarcode(QPainter& canvas) {
    TPainterState keep(canvas);
    const QString data = MakeData();
    DoLines(data, canvas);
    if (FShowText != bcoNone)
        DrawText(canvas);
}

QString TLinearBarcode::ShownText() const {
    return BarcodeShownText(FTyp, FText, FCheckSum, FCheckSumMethod);
}

void TLinearBarcode::DrawText(QPainter& canvas) {
    CheckAngle();
    TPainterState keep(canvas);
    canvas.setFont(FShowTextFont);
    canvas.setPen(FShowTextFontColor);
    canvas.setBrush(QColor(255, 255, 255));
    // Whole turns do not change the text; reducing first keeps any finite angle in range.
    const int orientation = int(Round(std::fmod(FAngle, 360.0) * 10));
    QPaintDevice* device = canvas.device();

    const int x = Saturate(qint64(FLeft) + FShowTextOffSetX);
    qint64 y;
    switch (FShowTextPosition) {
    case stpTopLeft:
    case stpTopRight:
    case stpTopCenter:
        y = qint64(FTop) - FShowTextOffSetY;
        break;
    default:
        y = qint64(FTop) + FHeight + FShowTextOffSetY - TextHeight(FShowTextFont, device);
        break;
    }
    if (FShowText == bcoCode || FShowText == bcoBoth)
        TextOutAt(canvas, x, Saturate(y), orientation, ShownText(), FCharExtra);
    if (FShowText == bcoTyp || FShowText == bcoBoth) {
        const int fontHeight = LogicalFontHeight(FShowTextFont, device);
        TextOutAt(canvas, FLeft, Saturate(FTop + Round(2.0 * fontHeight)), orientation,
                  GetTypText(), 0);
    }
}
