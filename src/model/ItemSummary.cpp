#include "model/ItemSummary.h"

#include "model/Colors.h"
#include "model/Composer.h"
#include "model/Convert.h"
#include "model/DateFormat.h"
#include "model/Fields.h"
#include "model/manager/FileMgrImpl.h"
#include "model/manager/SettingMgrImpl.h"

#include <array>
#include <cmath>

namespace {

constexpr std::array<const char*, 23> kBarcodeTypes{
    "bcCode_2_5_interleaved", "bcCode_2_5_industrial", "bcCode_2_5_matrix", "bcCode39",
    "bcCode39Extended",       "bcCode128A",            "bcCode128B",        "bcCode128C",
    "bcCode93",               "bcCode93Extended",      "bcCodeMSI",         "bcCodePostNet",
    "bcCodeCodabar",          "bcCodeEAN8",            "bcCodeEAN13",       "bcCodeUPC_A",
    "bcCodeUPC_E0",           "bcCodeUPC_E1",          "bcCodeUPC_Supp2",   "bcCodeUPC_Supp5",
    "bcCodeEAN128A",          "bcCodeEAN128B",         "bcCodeEAN128C"};
constexpr std::array<const char*, 4> kBarcodeOptions{"bcoNone", "bcoCode", "bcoTyp", "bcoBoth"};
constexpr std::array<const char*, 6> kTextPositions{"stpTopLeft",    "stpTopRight",
                                                    "stpTopCenter",  "stpBottomLeft",
                                                    "stpBottomRight", "stpBottomCenter"};
constexpr std::array<const char*, 6> kQREncodings{"qrAuto",      "qrNumeric",   "qrAlphanumeric",
                                                  "qrISO88591", "qrUTF8NoBOM", "qrUTF8BOM"};

template <size_t N> QString nameOf(const std::array<const char*, N>& names, int value) {
    // A stored value outside the enumeration is shown as its number.
    if (value >= 0 && size_t(value) < N)
        return QString::fromLatin1(names[size_t(value)]);
    return QString::number(value);
}

QString entry(const QStringList& list, int index) {
    return index >= 0 && index < list.size() ? list.at(index) : QString();
}

constexpr TColor kGreen = 0x008000;
constexpr TColor kRed = 0x0000FF;

} // namespace

QString BarcodeTypeName(int type) { return nameOf(kBarcodeTypes, type); }
QString BarcodeOptionName(int option) { return nameOf(kBarcodeOptions, option); }
QString TextPositionName(int position) { return nameOf(kTextPositions, position); }
QString QREncodingName(int encoding) { return nameOf(kQREncodings, encoding); }

QString FormatFixed(double value, int decimals, const QLocale& locale) {
    const double scale = std::pow(10.0, decimals);
    const double rounded = std::round(value * scale) / scale;
    QString s = QString::number(rounded == 0.0 ? 0.0 : rounded, 'f', decimals);
    s.replace(QLatin1Char('.'), locale.decimalPoint());
    return s;
}

TItemSummary SummarizeItem(const TPrintItem& item, const TProject& project,
                           const TSettingMgr& settings, TFileMgr& files, const QDateTime& now,
                           qint32 page, const QLocale& locale, const TDataTable* data) {
    TItemSummary s;
    const int kind = item.ItemType();
    auto f0 = [&](double v) { return FormatFixed(v, 0, locale); };
    auto f2 = [&](double v) { return FormatFixed(v, 2, locale); };
    const QString yesNo = IsTrue(item.ItemAllowNewLine()) ? QStringLiteral("是") : QStringLiteral("否");

    s.Name = item.ItemName();
    s.Value = s.PageValue = item.ItemValue();
    if (TakesFields(kind) && s.Value.contains(u'{')) {
        try {
            s.PageValue = ItemPageValue(project, item, page, [&] { return now; }, locale, data);
        } catch (const Exception& e) {
            s.PageValue = e.Message();
        }
        if (s.PageValue != s.Value)
            s.Value += QStringLiteral("\n（第 %1 页：%2）").arg(page).arg(s.PageValue);
    }
    s.Active = IsTrue(item.ItemActive());
    s.StatusText = s.Active ? QStringLiteral("启用") : QStringLiteral("禁用");
    s.StatusColor = s.Active ? kGreen : kRed;
    s.TypeText = entry(TSettingMgr::getStringList(kItemTypeNames), kind);

    if (IsTrue(item.ItemDefaultFont())) {
        s.FontTitle = QStringLiteral("使用项目缺省字体");
        s.Font = settings.GetProjectFont(project);
    } else {
        s.FontTitle = QStringLiteral("自定义字体");
        s.Font = settings.getItemFont(item);
    }

    if (kind == itSerial) {
        s.FontSample = QStringLiteral("序列号格式(") +
                       (IsTrue(item.ItemSerialDecrease()) ? QStringLiteral("递减") : QStringLiteral("递增")) +
                       QStringLiteral(":") + QString::number(item.ItemSerialStep()) +
                       QStringLiteral(")：\r\n") + getSerial(item, StrToInt(item.ItemValue()));
    } else if (kind == itDate) {
        s.Value = FormatDateTime(item.ItemValue(), now, locale);
        s.FontSample = FormatDateTime(item.ItemValue(), now, locale);
    } else {
        s.FontSample = QStringLiteral("字体示例1234567890");
    }

    s.OutlineColor = StringToColor(item.ItemOutlinePenColor());
    const QString outline = QStringLiteral("边框:线型:%1,宽度:%2,边距:%3")
                                .arg(entry(TSettingMgr::getPenStyleList(), item.ItemOutlinePenStyle()))
                                .arg(item.ItemOutlinePenWidth())
                                .arg(f2(item.ItemOutlineMargin()));
    switch (kind) {
    case itText:
    case itSerial:
    case itDate:
        s.Position = QStringLiteral("位置:X:%1,Y:%2,宽:%3,行高(倍):%4,")
                         .arg(f0(item.ItemX()), f0(item.ItemY()), f0(item.ItemTextWidth()),
                              f2(item.ItemLineHeight()));
        s.Control = QStringLiteral("控制:自动换行:%1,旋转:%2,字符间距:%3")
                        .arg(yesNo, f0(item.ItemRotateDegree()))
                        .arg(item.ItemCharExtra());
        s.OutLine = outline;
        s.Other = QStringLiteral("其他:");
        s.ValueTitle = QStringLiteral("打印项内容：");
        break;
    case itLine:
        s.Position = QStringLiteral("位置:起点X:%1,Y:%2,终点X:%3,Y:%4,")
                         .arg(f0(item.ItemX()), f0(item.ItemY()), f0(item.ItemTextWidth()),
                              f0(item.ItemLineHeight()));
        s.OutLine = outline;
        break;
    case itBarcode:
        s.Position = QStringLiteral("位置:X:%1,Y:%2,高:%3,Module:%4,Ratio:%5")
                         .arg(f0(item.ItemX()), f0(item.ItemY()), f0(item.ItemLineHeight()),
                              f2(item.BarcodeModule()), f2(item.BarcodeRatio()));
        s.Control = QStringLiteral("控制:CheckSum:%1,旋转:%2,字符间距:%3")
                        .arg(yesNo, f0(item.ItemRotateDegree()))
                        .arg(item.ItemCharExtra());
        s.Other = QStringLiteral("条形码:%1,选项:%2,位置:%3")
                      .arg(BarcodeTypeName(item.BarcodeType()), BarcodeOptionName(item.BarcodeOption()),
                           TextPositionName(item.BarcodePosition()));
        s.ValueTitle = QStringLiteral("条形码内容：");
        break;
    case itQRCode:
    case itImage:
        s.Position = QStringLiteral("位置:X:%1,Y:%2,宽:%3,高:%4,")
                         .arg(f0(item.ItemX()), f0(item.ItemY()), f0(item.ItemTextWidth()),
                              f0(item.ItemLineHeight()));
        if (kind == itQRCode) {
            s.Other = QStringLiteral("QRcode:%1,QuietZone:%2")
                          .arg(QREncodingName(item.QRcodeEncoding()))
                          .arg(item.QRcodeQuietZone());
            s.ValueTitle = QStringLiteral("二维码内容：");
        } else {
            s.OutLine = outline;
            s.Other = QString();
            if (item.FileId().isEmpty())
                s.Other = QStringLiteral("无图片");
            else if (files.getFileData(item.FileId()).isEmpty())
                s.Other = QStringLiteral("图片无效");
            s.ValueTitle = QStringLiteral("图片文件名：");
        }
        break;
    default:
        break;
    }

    s.ShowControl = kind == itText || kind == itSerial || kind == itBarcode || kind == itDate;
    s.ShowOutLine = kind == itText || kind == itSerial || kind == itLine || kind == itImage ||
                    kind == itDate;
    s.ShowOther = kind == itBarcode || kind == itQRCode || kind == itImage || kind == itDate;
    s.ShowFont = kind == itText || kind == itSerial || kind == itDate;
    s.ShowPicture = kind == itBarcode || kind == itQRCode || kind == itImage;
    return s;
}
