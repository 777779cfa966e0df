#pragma once

#include "model/DateFormat.h"
#include "model/bom/PrintBom.h"

#include <QByteArray>
#include <QLocale>
#include <QString>
#include <map>
#include <memory>
#include <optional>

class TFileMgr;
struct TDataTable;
class TPrintItem;
class TProject;
class TSettingMgr;

// The most digits a zero-filled serial number is padded to.
constexpr int SerialMaxLength = 64;

// A serial value as the item shows it: zero-filled to ItemSerialLength digits
// (sign in front) when asked, then prefix and postfix. A negative length, or one
// above SerialMaxLength, with zero fill throws EConvertError.
QString getSerial(const TPrintItem& item, qint32 value);

// The serial value an item shows on a page number: the stored start on page 1,
// one step further (up or down) per page, in wrapping 32-bit arithmetic.
// Throws EConvertError naming ItemValue when it is not an integer.
qint32 SerialValue(const TPrintItem& item, qint32 serialno);
// The same value before the wrap, which the checks of a run compare with the 32-bit range.
qint64 SerialValueUnwrapped(const TPrintItem& item, qint64 serialno);

// The first page of `from`..`last` on which a printed serial-number item of the
// project (active, or named by a field) would wrap (leave the 32-bit range), with the item's name; none when
// every value fits. Items whose start is not a number are left to composition.
struct TSerialOverflow {
    qint64 Page = 0;
    QString ItemName;
};
std::optional<TSerialOverflow> FindSerialOverflow(const TProject& project, qint64 from,
                                                  qint64 last);

// Turns a project and a page number into the page the printer manager draws.
// Every page is composed afresh: serials counted, dates read from the clock
// (once per item), fonts and colours resolved. Pictures are read from the file
// store once for the composer's life (one print run), not for every page.
class TPageComposer {
public:
    TPageComposer(const TSettingMgr& settings, TFileMgr& files, TClock clock = SystemClock(),
                  QLocale locale = QLocale::system());

    // One line per active item, in name order (the order the window lists
    // them; the project's own list is left as it is), each value's fields
    // resolved for this page. The caller owns the page.
    std::unique_ptr<TCPrint> GenerateTCPrint(const TProject& project, qint32 serialno) const;
    // The line of one item on its own, holding its one drawable ({页码} is the
    // only field it knows).
    std::unique_ptr<TLineOfText> GetOneLine(const TPrintItem& item, qint32 serialno) const;

    // The rows the pages take their columns from: the project's stored data,
    // parsed once for the composer's life, unless SetData gave other rows (null:
    // none). Throws EDataFileError for stored data that cannot be read.
    const TDataTable* Data(const TProject& project) const;
    void SetData(std::shared_ptr<const TDataTable> data);

private:
    const TSettingMgr& FSettings;
    TFileMgr& FFiles;
    QByteArray picture(const QString& fileId) const;
    std::unique_ptr<TLineOfText> makeLine(const TPrintItem& item, const QString& shown) const;

    TClock FClock;
    QLocale FLocale;
    mutable std::map<QString, QByteArray> FPictures;
    mutable std::optional<QString> FDataProject; // whose data FData holds, once read
    mutable std::shared_ptr<const TDataTable> FData;
    bool FDataGiven = false;
};
