#pragma once

#include "model/Colors.h"
#include "model/Font.h"
#include "persistence/PersistentObject.h"

#include <QByteArray>
#include <QString>
#include <QtGlobal>
#include <memory>

// Pen styles as stored with an item (8-bit); psClear draws nothing.
enum TPenStyle : quint8 { psSolid, psDash, psDot, psDashDot, psDashDotDot, psClear, psInsideFrame };

class TPrintItem;

// One drawable of a composed page, every value already resolved for that page.
// Geometry is in millimetres from the page's top-left corner; what TextWidth and
// LineHeight mean depends on ItemType (see the renderers).
class TTextItem : public TPersistentObject {
public:
    TTextItem();
    ~TTextItem() override;

    // The desktop's window colour (system colour 5), a fresh item's pen colour.
    static constexpr TColor DefaultPenColor = 0xFF000005;

    double RotateDegree() const { return FRotateDegree; }
    void SetRotateDegree(double v) { FRotateDegree = v; }
    double x() const { return Fx; }
    void Setx(double v) { Fx = v; }
    double y() const { return Fy; }
    void Sety(double v) { Fy = v; }
    double TextWidth() const { return FTextWidth; }
    void SetTextWidth(double v) { FTextWidth = v; }
    double LineHeight() const { return FLineHeight; }
    void SetLineHeight(double v) { FLineHeight = v; }
    // Null until composition gives the item its font.
    const TFont* Font() const { return FFont.get(); }
    void SetFont(std::unique_ptr<TFont> font) { FFont = std::move(font); }
    bool AllowNewLine() const { return FAllowNewLine; }
    void SetAllowNewLine(bool v) { FAllowNewLine = v; }
    bool DrawOutline() const { return FDrawOutline; }
    void SetDrawOutline(bool v) { FDrawOutline = v; }
    double OutlineMargin() const { return FOutlineMargin; }
    void SetOutlineMargin(double v) { FOutlineMargin = v; }
    qint32 OutlinePenWidth() const { return FOutlinePenWidth; }
    void SetOutlinePenWidth(qint32 v) { FOutlinePenWidth = v; }
    TColor OutlinePenColor() const { return FOutlinePenColor; }
    void SetOutlinePenColor(TColor v) { FOutlinePenColor = v; }
    TPenStyle OutlinePenStyle() const { return FOutlinePenStyle; }
    void SetOutlinePenStyle(TPenStyle v) { FOutlinePenStyle = v; }
    qint32 BarcodeType() const { return FBarcodeType; }
    void SetBarcodeType(qint32 v) { FBarcodeType = v; }
    qint32 BarcodeOption() const { return FBarcodeOption; }
    void SetBarcodeOption(qint32 v) { FBarcodeOption = v; }
    qint32 BarcodePosition() const { return FBarcodePosition; }
    void SetBarcodePosition(qint32 v) { FBarcodePosition = v; }
    qint32 BarcodeTextOffsetX() const { return FBarcodeTextOffsetX; }
    void SetBarcodeTextOffsetX(qint32 v) { FBarcodeTextOffsetX = v; }
    qint32 BarcodeTextOffsetY() const { return FBarcodeTextOffsetY; }
    void SetBarcodeTextOffsetY(qint32 v) { FBarcodeTextOffsetY = v; }
    double BarcodeModule() const { return FBarcodeModule; }
    void SetBarcodeModule(double v) { FBarcodeModule = v; }
    double BarcodeRatio() const { return FBarcodeRatio; }
    void SetBarcodeRatio(double v) { FBarcodeRatio = v; }
    qint32 QRcodeQuietZone() const { return FQRcodeQuietZone; }
    void SetQRcodeQuietZone(qint32 v) { FQRcodeQuietZone = v; }
    qint32 QRcodeEncoding() const { return FQRcodeEncoding; }
    void SetQRcodeEncoding(qint32 v) { FQRcodeEncoding = v; }
    const QString& ItemName() const { return FItemName; }
    void SetItemName(const QString& v) { FItemName = v; }
    qint32 ItemType() const { return FItemType; }
    void SetItemType(qint32 v) { FItemType = v; }
    const QString& Text() const { return FText; }
    void SetText(const QString& v) { FText = v; }
    qint32 ItemCharExtra() const { return FItemCharExtra; }
    void SetItemCharExtra(qint32 v) { FItemCharExtra = v; }
    // The picture's bytes (JPEG), read from the start every time.
    const QByteArray& ImageBody() const { return FImageBody; }
    void SetImageBody(QByteArray v) { FImageBody = std::move(v); }

private:
    double FRotateDegree = 0;
    double Fx = -1;
    double Fy = -1;
    double FTextWidth = 0;
    double FLineHeight = 0;
    std::unique_ptr<TFont> FFont;
    bool FAllowNewLine = false;
    bool FDrawOutline = false;
    double FOutlineMargin = 0;
    qint32 FOutlinePenWidth = 5;
    TColor FOutlinePenColor = DefaultPenColor;
    TPenStyle FOutlinePenStyle = psClear;
    qint32 FBarcodeType = 0;
    qint32 FBarcodeOption = 0;
    qint32 FBarcodePosition = 0;
    qint32 FBarcodeTextOffsetX = 0;
    qint32 FBarcodeTextOffsetY = 20;
    double FBarcodeModule = 0.5;
    double FBarcodeRatio = 2.0;
    qint32 FQRcodeQuietZone = 3;
    qint32 FQRcodeEncoding = 0;
    QString FItemName;
    qint32 FItemType = 0;
    QString FText;
    qint32 FItemCharExtra = 0;
    QByteArray FImageBody;
};

// One line of a page. Composition puts exactly one item in each; the marker
// flags exist for line and page breaks, which composition never adds.
class TLineOfText : public TObjectList<TTextItem> {
public:
    bool LineBreak = false;
    bool PageBreak = false;
    bool IsStripe = false;
    // The print item the line was composed from; valid while its project is.
    const TPrintItem* Item = nullptr;
};

class TCLines : public TObjectList<TLineOfText> {};

// One composed page: what the renderers draw, in line order, without looking
// at the project again. Owns its lines, their items and everything below.
class TCPrint : public TPersistentObject {
public:
    TCPrint();
    ~TCPrint() override;

    double PageWidth() const { return FPageWidth; }
    void SetPageWidth(double v) { FPageWidth = v; }
    double PageHeight() const { return FPageHeight; }
    void SetPageHeight(double v) { FPageHeight = v; }
    // Whole-page shift in tenths of a millimetre.
    qint32 OffsetX() const { return FOffsetX; }
    void SetOffsetX(qint32 v) { FOffsetX = v; }
    qint32 OffsetY() const { return FOffsetY; }
    void SetOffsetY(qint32 v) { FOffsetY = v; }
    const TFont* Font() const { return FFont.get(); }
    void SetFont(std::unique_ptr<TFont> font) { FFont = std::move(font); }
    const QString& DeviceDefault() const { return FDeviceDefault; }
    void SetDeviceDefault(const QString& v) { FDeviceDefault = v; }
    const QString& DeviceName() const { return FDeviceName; }
    void SetDeviceName(const QString& v) { FDeviceName = v; }
    const QString& PaperOrientation() const { return FPaperOrientation; }
    void SetPaperOrientation(const QString& v) { FPaperOrientation = v; }
    const TCLines& Lines() const { return *FLines; }
    // Lines added that are not page-break markers.
    qint32 Count() const { return FCount; }

    void AddLine(std::unique_ptr<TLineOfText> line);
    void AddLineBreak();
    void AddPageBreak();
    // Stripes were never drawn; kept so callers written against it still build.
    void AddStripe(double x, double y, double w, const QString& dashMode);

    std::vector<TPersistentObject*> OwnedObjects() const override;

private:
    double FPageWidth = 0;
    double FPageHeight = 0;
    qint32 FOffsetX = 0;
    qint32 FOffsetY = 0;
    std::unique_ptr<TFont> FFont;
    QString FDeviceDefault;
    QString FDeviceName;
    QString FPaperOrientation;
    std::unique_ptr<TCLines> FLines;
    qint32 FCount = 0;
};
