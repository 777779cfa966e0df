#include "model/ItemEditing.h"

#include "base/Units.h"
#include "fbarcode/Barcode.h"
#include "fbarcode/QRCode.h"
#include "model/Composer.h"
#include "model/Convert.h"
#include "model/bom/SettingBom.h"
#include "model/manager/FileMgrImpl.h"
#include "persistence/PersistenceManager.h"

#include <QFileInfo>
#include <cmath>
#include <vector>

namespace {

constexpr const char* kDateStyleNames = "默认格式,长日期格式,短日期格式,长时间,短时间,星期,自定义";
constexpr const char* kDateStylePatterns = "c,dddddd,ddddd,tt,t,ddd,yyyy-m-d h:n:s:zz";

struct TCheck {
    int Number;
    const char* Message; // nullptr: Reason words it
    bool Information;
    TItemField Focus;
    bool (*Fails)(const TItemFormValues&);
    QString (*Reason)(const TItemFormValues&) = nullptr;
};

bool isInteger(const QString& text) {
    try {
        StrToInt(text);
        return true;
    } catch (const EConvertError&) {
        return false;
    }
}

bool roundsToZero(double value) {
    try {
        return RoundHalfEven(value) == 0;
    } catch (const EConvertError&) {
        return false; // too large for a step, but not zero
    }
}

// Why the symbol's encoder refuses the content, empty when it takes it. The
// encoders the preview and the print run use, so the user reads their words.
QString symbolRefusal(const TItemFormValues& v) {
    // With fields the symbol carries the page's value, not the typed one.
    const QString value = v.PageValue.isNull() ? v.Value : v.PageValue;
    try {
        if (v.Type == itBarcode) {
            if (v.Dpi > 0) {
                const QString module = ModuleRefusal(v.Module, ModuleDots(v.Module, v.Dpi), v.Dpi);
                if (!module.isEmpty())
                    return module;
            }
            TLinearBarcode symbol;
            symbol.setTyp(TBarcodeType(v.BarcodeType));
            symbol.setChecksum(v.Checksum);
            symbol.setText(value);
            symbol.MakeData();
        } else if (v.Type == itQRCode) {
            QREncode(value, v.QREncoding, QRDefaultQuietZone);
        }
    } catch (const Exception& e) {
        if (value != v.Value)
            return QStringLiteral("第 %1 页的内容 \"%2\" 无法编码：%3").arg(v.Page).arg(value, e.Message());
        return e.Message();
    }
    return QString();
}

// The order is the order the user is told about them.
const TCheck kChecks[] = {
    {1, "请输入项目名称。", true, TItemField::Name,
     // A name of blanks shows as nothing in the item list.
     [](const TItemFormValues& v) { return v.Name.trimmed().isEmpty(); }},
    {2, "序列号打印内容请输入数字。", false, TItemField::Value,
     [](const TItemFormValues& v) { return v.Type == itSerial && !isInteger(v.Value); }},
    {3, "宽度不能为0。", false, TItemField::TextWidth,
     [](const TItemFormValues& v) {
         return (v.Type == itQRCode || v.Type == itImage) && v.TextWidth == 0;
     }},
    {4, "宽度不能为0，点击预览生成宽度。", false, TItemField::TextWidth,
     [](const TItemFormValues& v) { return v.Type == itBarcode && v.TextWidth == 0; }},
    {5, "请输入内容。", false, TItemField::Value,
     [](const TItemFormValues& v) {
         return (v.Type == itText || v.Type == itSerial || v.Type == itBarcode ||
                 v.Type == itQRCode) &&
                v.Value.isEmpty();
     }},
    {6, "自动换行时，文本宽度不能为0。", false, TItemField::TextWidth,
     [](const TItemFormValues& v) {
         return (v.Type == itText || v.Type == itSerial) && v.AllowNewLine && v.TextWidth == 0;
     }},
    {7, "请选中日期格式", false, TItemField::None,
     [](const TItemFormValues& v) { return v.Type == itDate && v.DateStyle < 0; }},
    {8, "行高或者高度不能为0。", false, TItemField::LineHeight,
     [](const TItemFormValues& v) { return v.LineHeight == 0; }},
    {9, "序列号步长不能为0。", false, TItemField::SerialStep,
     [](const TItemFormValues& v) { return roundsToZero(v.SerialStep); }},
    // Beyond the first nine: a step of 2.5 would print as 2, and an image item
    // without a picture fails every run and preview of its project.
    {10, "序列号步长必须是整数。", false, TItemField::SerialStep,
     [](const TItemFormValues& v) {
         return v.Type == itSerial && v.SerialStep != std::floor(v.SerialStep);
     }},
    {11, "请选择图片", false, TItemField::None,
     [](const TItemFormValues& v) { return v.Type == itImage && !v.HasPicture; }},
    // A value naming itself, or items naming each other, fails every page.
    {12, nullptr, false, TItemField::Value,
     [](const TItemFormValues& v) { return !v.FieldError.isEmpty(); },
     [](const TItemFormValues& v) { return v.FieldError; }},
    // Saved anyway, the content would fail the project's every run and preview.
    {13, nullptr, false, TItemField::Value,
     [](const TItemFormValues& v) { return !symbolRefusal(v).isEmpty(); }, symbolRefusal},
};

} // namespace

std::optional<TItemCheckFailure> CheckItemForm(const TItemFormValues& values) {
    for (const TCheck& check : kChecks)
        if (check.Fails(values))
            return TItemCheckFailure{check.Number,
                                     check.Message ? QString::fromUtf8(check.Message)
                                                   : check.Reason(values),
                                     check.Information, check.Focus};
    return std::nullopt;
}

QStringList DateStyleNames() {
    return QString::fromUtf8(kDateStyleNames).split(QLatin1Char(','));
}

QStringList DateStylePatterns() {
    return QString::fromUtf8(kDateStylePatterns).split(QLatin1Char(','));
}

QString SerialSample(bool fillZero, int digits, bool withPrefix, const QString& prefix,
                     bool withSuffix, const QString& suffix) {
    // The same formatting printed pages use, applied to page number 1.
    TPrintItem sample;
    sample.SetItemSerialIsFillZero(FlagText(fillZero));
    sample.SetItemSerialLength(digits);
    sample.SetItemSerialHasPre(FlagText(withPrefix));
    sample.SetItemSerialPreText(prefix);
    sample.SetItemSerialHasPostfix(FlagText(withSuffix));
    sample.SetItemSerialPostfixText(suffix);
    return getSerial(sample, 1);
}

std::optional<int> WholeNumber(const QString& text) {
    bool ok = false;
    const int value = text.trimmed().toInt(&ok);
    return ok ? std::optional<int>(value) : std::nullopt;
}

QString SaveRefusedMessage(const QString& databaseMessage) {
    if (databaseMessage.contains(QLatin1String("string right truncation"), Qt::CaseInsensitive))
        return QStringLiteral("保存失败：有内容超出了数据库允许的长度，请缩短后再保存。");
    if (databaseMessage.contains(QLatin1String("Malformed string"), Qt::CaseInsensitive))
        return QStringLiteral("保存失败：内容中有数据库无法保存的字符，请修改后再保存。");
    return QStringLiteral("保存失败，数据库拒绝了这次修改：\n") + databaseMessage;
}

TObjectSnapshot::TObjectSnapshot(const TPersistentObject& object)
    : FCopy(object.Class().Create ? object.Class().Create() : nullptr),
      FState(object.ObjectState()) {
    if (FCopy)
        CopyPublishedProps(object, *FCopy);
}

TObjectSnapshot::~TObjectSnapshot() = default;

void TObjectSnapshot::Restore(TPersistentObject& object) const {
    if (FCopy)
        CopyPublishedProps(*FCopy, object);
    object.SetObjectState(FState);
}

void SaveOrRestore(TPersistentObject& object, const TObjectSnapshot& before,
                   const std::function<void()>& save) {
    // Everything was saved when it was made, so the values before the edit are
    // the ones the database still holds.
    try {
        save();
    } catch (const EDatabaseError& e) {
        before.Restore(object);
        throw ESaveRefused(SaveRefusedMessage(e.Message()));
    } catch (...) {
        before.Restore(object);
        throw;
    }
}

void SaveItemEdit(TPrintItem& item, TFileMgr& files, const QByteArray& picture,
                  const std::function<void()>& write, const std::function<void()>& persist) {
    std::unique_ptr<TCFile> replaced; // the stored picture a refused save puts back
    QString inserted;                 // or the new one it deletes
    const TObjectSnapshot before(item);
    try {
        SaveOrRestore(item, before, [&] {
            write();
            // Only a newly chosen picture is written; an unchanged one is already stored.
            if (item.ItemType() == itImage && !picture.isEmpty()) {
                auto file = item.FileId().isEmpty() ? std::make_unique<TCFile>()
                                                    : files.GetFileFromDb(item.FileId());
                const bool isNew = files.checkFile(*file);
                if (!isNew) // with its size, which is not read
                    (replaced = std::make_unique<TCFile>(*file))->SetBody(file->Body);
                const QString suffix = QFileInfo(item.ItemValue()).suffix();
                file->SetBody(picture);
                file->Owner = item.OID();
                file->FileName = TFileMgr::ExtractFileNameNoExt(item.ItemValue());
                file->FileType = suffix.isEmpty() ? QString() : QStringLiteral(".") + suffix;
                files.SaveFile(*file);
                inserted = isNew ? file->Oid : QString();
                item.SetFileId(file->Oid);
            }
            persist();
        });
    } catch (...) {
        try {
            if (!inserted.isEmpty())
                files.DeleteFileFromDB(inserted);
            else if (replaced)
                files.SaveFile(*replaced);
        } catch (const Exception&) {
            // The item keeps its old FileId either way; a stray row is harmless.
        }
        throw;
    }
}

void DeleteOrRestore(TPersistentObject& object) {
    std::vector<std::pair<TPersistentObject*, TPersistentObjectState>> states;
    const std::function<void(TPersistentObject&)> note = [&](TPersistentObject& o) {
        states.emplace_back(&o, o.ObjectState());
        for (TPersistentObject* child : o.OwnedObjects())
            note(*child);
    };
    note(object);
    object.SetDeleted(true);
    try {
        object.Save();
    } catch (...) {
        for (const auto& [o, state] : states)
            o->SetObjectState(state);
        throw;
    }
}
