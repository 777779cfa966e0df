#include "model/Composer.h"

#include "base/Errors.h"
#include "base/Units.h"
#include "model/Colors.h"
#include "model/Convert.h"
#include "model/DataFile.h"
#include "model/Fields.h"
#include "model/bom/SettingBom.h"
#include "model/manager/FileMgrImpl.h"
#include "model/manager/SettingMgrImpl.h"

QString getSerial(const TPrintItem& item, qint32 value) {
    QString text;
    if (IsTrue(item.ItemSerialIsFillZero())) {
        const int length = item.ItemSerialLength();
        if (length < 0)
            throw EConvertError(
                QStringLiteral("Format '%.%1d' invalid or incompatible with argument").arg(length));
        // A 32-bit value has at most ten digits; a length far beyond that only
        // builds a text no page can hold (300 000 000 zeros took 600 MB).
        if (length > SerialMaxLength)
            throw EConvertError(
                QStringLiteral("序列号位数 %1 超过了上限 %2").arg(length).arg(SerialMaxLength));
        // Digits of the magnitude, widened first so the smallest value has one.
        const qint64 wide = value;
        const QString digits =
            QString::number(wide < 0 ? -wide : wide).rightJustified(length, u'0');
        text = (wide < 0 ? QStringLiteral("-") : QString()) + digits;
    } else {
        text = QString::number(value);
    }
    if (IsTrue(item.ItemSerialHasPre()))
        text.prepend(item.ItemSerialPreText());
    if (IsTrue(item.ItemSerialHasPostfix()))
        text.append(item.ItemSerialPostfixText());
    return text;
}

qint64 SerialValueUnwrapped(const TPrintItem& item, qint64 serialno) {
    const qint64 step = IsTrue(item.ItemSerialDecrease()) ? -qint64(item.ItemSerialStep())
                                                           : qint64(item.ItemSerialStep());
    return StrToInt(item.ItemValue()) + (serialno - 1) * step;
}

qint32 SerialValue(const TPrintItem& item, qint32 serialno) {
    // Numbering runs in 32-bit two's complement and wraps, as stored runs expect.
    return qint32(quint32(quint64(SerialValueUnwrapped(item, serialno))));
}

std::optional<TSerialOverflow> FindSerialOverflow(const TProject& project, qint64 from,
                                                  qint64 last) {
    std::optional<TSerialOverflow> first;
    // An inactive serial is printed too when a field takes its text.
    for (const TPrintItem* printed : ItemsPrinted(project)) {
        const TPrintItem& item = *printed;
        if (item.ItemType() != itSerial)
            continue;
        try {
            StrToInt(item.ItemValue());
        } catch (const Exception&) {
            continue;
        }
        // Values run in a straight line over the pages: when both ends fit, all do.
        const auto wraps = [&](qint64 page) {
            const qint64 value = SerialValueUnwrapped(item, page);
            return value < INT32_MIN || value > INT32_MAX;
        };
        qint64 page = 0;
        if (wraps(from)) {
            page = from;
        } else if (wraps(last)) {
            qint64 fits = from, over = last;
            while (over - fits > 1) {
                const qint64 mid = fits + (over - fits) / 2;
                (wraps(mid) ? over : fits) = mid;
            }
            page = over;
        } else {
            continue;
        }
        if (!first || page < first->Page)
            first = TSerialOverflow{page, item.ItemName()};
    }
    return first;
}

TPageComposer::TPageComposer(const TSettingMgr& settings, TFileMgr& files, TClock clock,
                             QLocale locale)
    : FSettings(settings), FFiles(files), FClock(std::move(clock)), FLocale(std::move(locale)) {}

std::unique_ptr<TCPrint> TPageComposer::GenerateTCPrint(const TProject& project,
                                                        qint32 serialno) const {
    auto page = std::make_unique<TCPrint>();
    page->SetPageWidth(project.ProjectPageWidth());
    page->SetPageHeight(project.ProjectPageHeight());
    page->SetFont(std::make_unique<TFont>(FSettings.GetFont()));
    page->SetDeviceDefault(project.ProjectDefaultDevice());
    page->SetDeviceName(project.ProjectDeviceName());
    page->SetOffsetX(RoundHalfEven(project.ProjectOffsetX()));
    page->SetOffsetY(RoundHalfEven(project.ProjectOffsetY()));
    page->SetPaperOrientation(QString::number(project.ProjectPaperOrientation()));
    // Later lines are drawn over earlier ones, so the order is the name order.
    const std::vector<const TPrintItem*> items = ItemsInNameOrder(project);
    const TDataTable* data = Data(project);
    // A short row fails its page even where no item takes the missing column:
    // its values are likely in the wrong columns.
    if (data)
        data->PageRow(serialno);
    TPageValues values(items, serialno, FClock, FLocale, data);
    for (int i = 0; i < int(items.size()); ++i)
        if (IsTrue(items[i]->ItemActive()))
            page->AddLine(makeLine(*items[i], values.Text(i)));
    return page;
}

const TDataTable* TPageComposer::Data(const TProject& project) const {
    if (!FDataGiven && FDataProject != project.OID()) {
        FData = FFiles.ReadProjectTable(project.OID());
        FDataProject = project.OID();
    }
    return FData.get();
}

void TPageComposer::SetData(std::shared_ptr<const TDataTable> data) {
    FData = std::move(data);
    FDataGiven = true;
}

QByteArray TPageComposer::picture(const QString& fileId) const {
    auto it = FPictures.find(fileId);
    if (it == FPictures.end())
        it = FPictures.emplace(fileId, FFiles.getFileData(fileId)).first;
    return it->second;
}

std::unique_ptr<TLineOfText> TPageComposer::GetOneLine(const TPrintItem& item,
                                                       qint32 serialno) const {
    const std::vector<const TPrintItem*> alone{&item};
    return makeLine(item, TPageValues(alone, serialno, FClock, FLocale).Text(0));
}

std::unique_ptr<TLineOfText> TPageComposer::makeLine(const TPrintItem& item,
                                                     const QString& shown) const {
    auto text = std::make_unique<TTextItem>();
    text->SetText(shown);
    text->SetItemName(item.ItemName());
    text->SetItemType(item.ItemType());
    text->SetRotateDegree(item.ItemRotateDegree());
    text->Setx(item.ItemX());
    text->Sety(item.ItemY());
    text->SetTextWidth(item.ItemTextWidth());
    text->SetLineHeight(item.ItemLineHeight());
    text->SetItemCharExtra(item.ItemCharExtra());
    text->SetOutlineMargin(item.ItemOutlineMargin());
    text->SetOutlinePenWidth(item.ItemOutlinePenWidth());
    text->SetOutlinePenStyle(TPenStyle(quint8(item.ItemOutlinePenStyle())));
    text->SetBarcodeType(item.BarcodeType());
    text->SetBarcodeOption(item.BarcodeOption());
    text->SetBarcodePosition(item.BarcodePosition());
    text->SetBarcodeTextOffsetX(item.BarcodeTextOffsetX());
    text->SetBarcodeTextOffsetY(item.BarcodeTextOffsetY());
    text->SetBarcodeModule(item.BarcodeModule());
    text->SetBarcodeRatio(item.BarcodeRatio());
    text->SetQRcodeQuietZone(item.QRcodeQuietZone());
    text->SetQRcodeEncoding(item.QRcodeEncoding());

    text->SetFont(std::make_unique<TFont>(FSettings.getItemFont(item)));
    text->SetAllowNewLine(IsTrue(item.ItemAllowNewLine()));
    text->SetOutlinePenColor(StringToColor(item.ItemOutlinePenColor()));
    if (!item.FileId().isEmpty())
        text->SetImageBody(picture(item.FileId()));

    auto line = std::make_unique<TLineOfText>();
    line->Item = &item;
    line->Add(text.release());
    return line;
}
