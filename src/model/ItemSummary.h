#pragma once

#include "model/Font.h"

#include <QDateTime>
#include <QLocale>
#include <QString>
#include <optional>

class TPrintItem;
class TProject;
class TSettingMgr;
struct TDataTable;
class TFileMgr;

// What the main window shows about one print item, worked out without widgets.
// Rows left unset keep the text they had (the window only hides them).
struct TItemSummary {
    QString Name;
    QString Value;
    // The value as printed on the summary's page, fields resolved (or why they
    // cannot be); the symbol pictures show it.
    QString PageValue;
    bool Active = true;
    QString StatusText; // "启用" or "禁用"
    TColor StatusColor = 0;
    QString TypeText;
    QString FontTitle;
    TFont Font;
    QString FontSample;
    TColor OutlineColor = 0;
    std::optional<QString> ValueTitle, Position, Control, OutLine, Other;
    bool ShowControl = false, ShowOutLine = false, ShowOther = false;
    bool ShowFont = false, ShowPicture = false;
};

// `page`: the page number whose values the fields show (the window's start);
// `data`: the project's data file, whose row of that page its column fields take.
TItemSummary SummarizeItem(const TPrintItem& item, const TProject& project,
                           const TSettingMgr& settings, TFileMgr& files, const QDateTime& now,
                           qint32 page, const QLocale& locale = QLocale(),
                           const TDataTable* data = nullptr);

// The enumeration identifiers the summary names barcode and QR settings by.
QString BarcodeTypeName(int type);
QString BarcodeOptionName(int option);
QString TextPositionName(int position);
QString QREncodingName(int encoding);

// The item kinds as the program lists them: "文本,序列号,线条,条形码,二维码,图片,日期".
inline const QString kItemTypeNames = QStringLiteral("文本,序列号,线条,条形码,二维码,图片,日期");

// "%.Nf" with the locale's decimal separator, rounding halves away from zero.
QString FormatFixed(double value, int decimals, const QLocale& locale = QLocale());
