#pragma once

#include "base/Errors.h"

#include <QColor>
#include <QFont>
#include <QObject>
#include <QPointF>
#include <QString>

#include <algorithm>
#include <array>
#include <functional>

class QPainter;

// Ordinals are stored with every barcode item, so the order never changes.
enum TBarcodeType : int {
    bcCode_2_5_interleaved,
    bcCode_2_5_industrial,
    bcCode_2_5_matrix,
    bcCode39,
    bcCode39Extended,
    bcCode128A,
    bcCode128B,
    bcCode128C,
    bcCode93,
    bcCode93Extended,
    bcCodeMSI,
    bcCodePostNet,
    bcCodeCodabar,
    bcCodeEAN8,
    bcCodeEAN13,
    bcCodeUPC_A,
    bcCodeUPC_E0,
    bcCodeUPC_E1,
    bcCodeUPC_Supp2,
    bcCodeUPC_Supp5,
    bcCodeEAN128A,
    bcCodeEAN128B,
    bcCodeEAN128C,
};
constexpr int BarcodeTypeCount = bcCodeEAN128C + 1;

enum TBarcodeOption : int { bcoNone, bcoCode, bcoTyp, bcoBoth };
enum TShowTextPosition : int {
    stpTopLeft,
    stpTopRight,
    stpTopCenter,
    stpBottomLeft,
    stpBottomRight,
    stpBottomCenter
};
enum TCheckSumMethod { csmNone, csmModulo10 };
enum TBarLineType { white, black, black_half };

// Every failure of the barcode renderer.
class EBarcodeError : public Exception {
public:
    using Exception::Exception;
};

// The longest bar height, symbol width and side of the turned symbol's box, in
// device pixels: more than the longest sheet (A0, 1189 mm) at the 1200 dpi the
// printers report. Beyond it drawing fails with an EBarcodeError naming it.
constexpr int BarcodeMaxExtent = 65535;

// The narrowest module is one device pixel (a printer dot), the widest this many.
constexpr int BarcodeMaxModule = 49;

// Why a module of `mm`, `dots` at `dpi`, cannot be drawn (it rounds to no dot,
// or to more than BarcodeMaxModule); empty when it can.
QString ModuleRefusal(double mm, qint64 dots, int dpi);

// Bars are drawn this far inside their edges, in device pixels: an edge on the
// dot grid then fills the same dots under both fill rules a raster printer may
// use (any part of a dot, or the dot's centre).
constexpr double BarInset = 0.1;

// The human-readable line of a symbol: what its bars carry, with the check digit
// shown once where Checksum puts one into the symbol (EAN-8, EAN-13, UPC-A, UPC-E,
// the add-ons, MSI, PostNet, Code 39 and EAN-128), and the text alone where the
// bars hold no check digit of Checksum's. Never fails: a text the symbology
// cannot encode is shown as it is. The component's line and the item editor's
// sample line both come from here.
QString BarcodeShownText(TBarcodeType typ, const QString& text, bool checksum,
                         TCheckSumMethod method = csmModulo10);

// How a symbol lies on the canvas: its turn and the origin that keeps the turned
// symbol in the box at (Left, Top). A point x along the elements from the first
// one's left edge and y down the bars from their top lands at Map(x, y), before
// the rounding of the drawn corners.
struct TBarcodePlacement {
    double Sin = 0, Cos = 1;
    qint64 OriginX = 0, OriginY = 0;
    QPointF Map(double x, double y) const {
        return QPointF(Cos * x + Sin * y + double(OriginX), -Sin * x + Cos * y + double(OriginY));
    }
};

// Turns a text into one of the 23 linear symbologies and draws it on any QPainter.
// All lengths are pixels of the target device; the caller converts from millimetres.
class TLinearBarcode : public QObject {
public:
    using TNotifyEvent = std::function<void(TLinearBarcode*)>;

    explicit TLinearBarcode(QObject* owner = nullptr);
    ~TLinearBarcode() override;

    // Copies every property (and the change handler) without notifications.
    // Any other source is refused with EConvertError.
    void Assign(const QObject* source);

    int Height() const { return FHeight; }
    void setHeight(int value);
    const QString& Text() const { return FText; }
    void setText(const QString& value);
    int Top() const { return FTop; }
    void setTop(int value);
    int Left() const { return FLeft; }
    void setLeft(int value);
    int Modul() const { return FModul; }
    void setModul(int value); // 1..49, anything else is ignored
    double Ratio() const { return FRatio; }
    void setRatio(double value);
    TBarcodeType Typ() const { return FTyp; }
    void setTyp(TBarcodeType value);
    bool Checksum() const { return FCheckSum; }
    void setChecksum(bool value);
    TCheckSumMethod CheckSumMethod() const { return FCheckSumMethod; }
    void setCheckSumMethod(TCheckSumMethod value) { FCheckSumMethod = value; }
    double Angle() const { return FAngle; }
    void setAngle(double value);
    TBarcodeOption ShowText() const { return FShowText; }
    void setShowText(TBarcodeOption value);
    const QFont& ShowTextFont() const { return FShowTextFont; }
    void setShowTextFont(const QFont& value);
    // The font's colour; QFont carries none.
    const QColor& ShowTextFontColor() const { return FShowTextFontColor; }
    void setShowTextFontColor(const QColor& value) { FShowTextFontColor = value; }
    TShowTextPosition ShowTextPosition() const { return FShowTextPosition; }
    void setShowTextPosition(TShowTextPosition value);
    const QColor& Color() const { return FColor; }
    void setColor(const QColor& value) { FColor = value; }
    const QColor& ColorBar() const { return FColorBar; }
    void setColorBar(const QColor& value) { FColorBar = value; }
    const TNotifyEvent& OnChange() const { return FOnChange; }
    void setOnChange(TNotifyEvent value) { FOnChange = std::move(value); }
    int ShowTextOffSetX() const { return FShowTextOffSetX; }
    void setShowTextOffSetX(int value) { FShowTextOffSetX = value; }
    int ShowTextOffSetY() const { return FShowTextOffSetY; }
    void setShowTextOffSetY(int value) { FShowTextOffSetY = value; }
    int CharExtra() const { return FCharExtra; }
    void setCharExtra(int value) { FCharExtra = value; }
    // Whole pixels taken off every bar's trailing edge, for printers whose ink
    // spreads; a bar keeps at least one pixel.
    int BarReduction() const { return FBarReduction; }
    void setBarReduction(int value) { FBarReduction = std::max(0, value); }

    // Encodes and sums all element widths.
    int Width();
    // Encodes and rescales Modul so that the symbol comes close to value pixels.
    void setWidth(int value);
    // Size of the bounding box of the rotated symbol.
    int CanvasWidth();
    int CanvasHeight();

    QString GetTypText() const;
    // The line DrawText writes for bcoCode and bcoBoth (BarcodeShownText).
    QString ShownText() const;
    static QString TypText(TBarcodeType typ);

    // Encodes Text: the element string, one character per bar or space, left to right.
    // May trim or pad Text and clamp Ratio, as the symbology's rules say. Code 128,
    // EAN-128 and Code 93 are built from modules of one to four widths and are
    // encoded at ratio 2 whatever Ratio holds (Ratio itself is left alone).
    // Refuses a non-finite Angle, a Height outside 0..BarcodeMaxExtent and a
    // symbol or turned box beyond BarcodeMaxExtent.
    QString MakeData();
    // Pixel width of each width class 0..3, valid after an encoding.
    const std::array<int, 4>& Modules() const { return modules; }
    // Width and kind of one element code; EBarcodeError for a code outside the alphabet.
    void OneBarProps(QChar code, int& width, TBarLineType& lt) const;
    // Where DrawBarcode puts a symbol of this total element width.
    TBarcodePlacement Placement(qint64 symbolWidth) const;

    void DrawBarcode(QPainter& canvas);
    void DrawText(QPainter& canvas);

protected:
    virtual void DoChange();

private:
    void MakeModules();
    void CheckAngle() const;
    void CheckExtents(const QString& data) const;
    void DoLines(const QString& data, QPainter& canvas);

    int FHeight = 0;
    QString FText;
    int FTop = 0;
    int FLeft = 0;
    int FModul = 1;
    double FRatio = 2.0;
    TBarcodeType FTyp = bcCodeEAN13;
    bool FCheckSum = false;
    TCheckSumMethod FCheckSumMethod = csmModulo10;
    double FAngle = 0.0;
    TBarcodeOption FShowText = bcoNone;
    QFont FShowTextFont;
    QColor FShowTextFontColor = Qt::black;
    TShowTextPosition FShowTextPosition = stpTopLeft;
    QColor FColor = QColor(255, 255, 255);
    QColor FColorBar = QColor(0, 0, 0);
    TNotifyEvent FOnChange;
    int FShowTextOffSetX = 0;
    int FShowTextOffSetY = 20;
    int FCharExtra = 0;
    int FBarReduction = 0;
    // Kept in int: a wide class of a 24-pixel module at ratio 3 is 144 pixels.
    std::array<int, 4> modules{};
};
