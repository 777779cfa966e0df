#pragma once

#include "base/Errors.h"

#include <QColor>
#include <QFont>
#include <QObject>
#include <QPoint>
#include <QPointF>
#include <QRect>
#include <QRectF>
#include <QString>

#include <algorithm>
#include <array>
#include <functional>
#include <vector>

class QPainter;
class QPaintDevice;

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

// What an item asks of a linear symbol, every length in device pixels.
struct TBarcodeSettings {
    TBarcodeType Typ = bcCodeEAN13;
    QString Text;
    bool Checksum = false;
    TCheckSumMethod Method = csmModulo10;
    int Left = 0, Top = 0, Height = 0;
    int Module = 1;
    double Ratio = 2.0;
    double Angle = 0.0;
    TBarcodeOption ShowText = bcoNone;
    TShowTextPosition Position = stpTopLeft;
    int TextOffsetX = 0, TextOffsetY = 20;
    int CharExtra = 0;
    QFont Font;
    QColor FontColor = Qt::black;
    QColor Color = QColor(255, 255, 255);
    QColor ColorBar = QColor(0, 0, 0);
    // Whole pixels taken off every bar's trailing edge, for printers whose ink
    // spreads; a bar keeps at least one pixel.
    int BarReduction = 0;
};

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

// One human-readable line: its first character cell's top-left corner before
// the turn, and the exact extra pixels after every character.
struct TBarcodeTextRun {
    QPoint At;
    QString Text;
    int Extra = 0;
};

// A linear symbol laid out once, in device pixels: everything the print, the
// previews, the symbol pictures and the scan check paint or read. Painting it
// cannot fail.
struct TBarcodeLayout {
    TBarcodeType Typ = bcCodeEAN13;
    bool Checksum = false;
    QString Text;                 // after encoding: padded, check digit put in where the rules say
    double Ratio = 2.0;           // as the symbology's limits hold it
    QString Shown;                // the line under the bars (BarcodeShownText of Text)
    std::array<int, 4> Modules{}; // the width classes
    int Module = 1;
    int Narrowest = 0; // the narrowest bar or space before any bar reduction
    int Height = 0;
    qint64 Width = 0;                    // the elements' summed widths
    qint64 FirstBar = -1, LastBar = 0;   // where the bars start and end along the symbol
    int QuietBefore = 0, QuietAfter = 0; // the zones the standard asks for
    TBarcodePlacement Placement;
    QRect Box; // the turned symbol's box, its corner at (Left, Top)

    QColor Color, ColorBar;
    // Spaces [0] and bars [1]: rectangles with edges on whole pixels, the bars
    // inset by BarInset; polygons where a turn leaves no rectangle.
    std::vector<QRectF> Rects[2];
    std::vector<std::array<QPoint, 4>> Polygons[2];

    QFont Font;
    QColor FontColor;
    int Orientation = 0; // tenths of a degree, counter-clockwise
    std::vector<TBarcodeTextRun> Texts;
};

// Encodes the settings' text and places every bar and line; fonts are measured
// on `device` (nullptr: 96 dpi). Throws an EBarcodeError for a text the
// symbology cannot carry, a non-finite angle, a module outside 1..BarcodeMaxModule
// and a symbol beyond BarcodeMaxExtent.
TBarcodeLayout LayoutBarcode(const TBarcodeSettings& settings, const QPaintDevice* device);

// Paints a layout; the painter's state is as it was afterwards.
void PaintBarcode(QPainter& canvas, const TBarcodeLayout& layout);

// Turns a text into one of the 23 linear symbologies and draws it on any QPainter.
// All lengths are pixels of the target device; the caller converts from millimetres.
// The component holds the settings; LayoutBarcode does the work.
class TLinearBarcode : public QObject {
public:
    using TNotifyEvent = std::function<void(TLinearBarcode*)>;

    explicit TLinearBarcode(QObject* owner = nullptr);
    ~TLinearBarcode() override;

    // Copies every property (and the change handler) without notifications.
    // Any other source is refused with EConvertError.
    void Assign(const QObject* source);

    const TBarcodeSettings& Settings() const { return F; }

    int Height() const { return F.Height; }
    void setHeight(int value) { Set(F.Height, value); }
    const QString& Text() const { return F.Text; }
    void setText(const QString& value) { Set(F.Text, value); }
    int Top() const { return F.Top; }
    void setTop(int value) { Set(F.Top, value); }
    int Left() const { return F.Left; }
    void setLeft(int value) { Set(F.Left, value); }
    int Modul() const { return F.Module; }
    void setModul(int value); // 1..49, anything else is ignored
    double Ratio() const { return F.Ratio; }
    void setRatio(double value) { Set(F.Ratio, value); }
    TBarcodeType Typ() const { return F.Typ; }
    void setTyp(TBarcodeType value) { Set(F.Typ, value); }
    bool Checksum() const { return F.Checksum; }
    void setChecksum(bool value) { Set(F.Checksum, value); }
    TCheckSumMethod CheckSumMethod() const { return F.Method; }
    void setCheckSumMethod(TCheckSumMethod value) { F.Method = value; }
    double Angle() const { return F.Angle; }
    void setAngle(double value) { Set(F.Angle, value); }
    TBarcodeOption ShowText() const { return F.ShowText; }
    void setShowText(TBarcodeOption value) { Set(F.ShowText, value); }
    const QFont& ShowTextFont() const { return F.Font; }
    void setShowTextFont(const QFont& value);
    // The font's colour; QFont carries none.
    const QColor& ShowTextFontColor() const { return F.FontColor; }
    void setShowTextFontColor(const QColor& value) { F.FontColor = value; }
    TShowTextPosition ShowTextPosition() const { return F.Position; }
    void setShowTextPosition(TShowTextPosition value) { Set(F.Position, value); }
    const QColor& Color() const { return F.Color; }
    void setColor(const QColor& value) { F.Color = value; }
    const QColor& ColorBar() const { return F.ColorBar; }
    void setColorBar(const QColor& value) { F.ColorBar = value; }
    const TNotifyEvent& OnChange() const { return FOnChange; }
    void setOnChange(TNotifyEvent value) { FOnChange = std::move(value); }
    int ShowTextOffSetX() const { return F.TextOffsetX; }
    void setShowTextOffSetX(int value) { F.TextOffsetX = value; }
    int ShowTextOffSetY() const { return F.TextOffsetY; }
    void setShowTextOffSetY(int value) { F.TextOffsetY = value; }
    int CharExtra() const { return F.CharExtra; }
    void setCharExtra(int value) { F.CharExtra = value; }
    int BarReduction() const { return F.BarReduction; }
    void setBarReduction(int value) { F.BarReduction = std::max(0, value); }

    // Encodes and sums all element widths.
    int Width();
    // Encodes and rescales Modul so that the symbol comes close to value pixels.
    void setWidth(int value);
    // Size of the bounding box of the rotated symbol.
    int CanvasWidth();
    int CanvasHeight();

    QString GetTypText() const;
    // The line drawn for bcoCode and bcoBoth (BarcodeShownText).
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

    // The symbol laid out for a device (fonts are measured on it), without
    // changing the component; throws what encoding throws.
    TBarcodeLayout Layout(const QPaintDevice* device) const;
    // Lays out, keeps the encoded text and ratio as MakeData does, and paints.
    void DrawBarcode(QPainter& canvas);

protected:
    virtual void DoChange();

private:
    // The setters notify only on a real change, so that a caller re-applying the
    // same settings does not trigger a redraw.
    template <typename T> void Set(T& field, const T& value) {
        if (field == value)
            return;
        field = value;
        DoChange();
    }

    TBarcodeSettings F;
    TNotifyEvent FOnChange;
    // Kept in int: a wide class of a 24-pixel module at ratio 3 is 144 pixels.
    std::array<int, 4> modules{};
};
