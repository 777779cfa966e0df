#include "model/bom/SettingBom.h"

#include "persistence/PersistenceManager.h"

#define PROP(Class, Kind, Name)                                                                    \
    TPropInfo { #Name, TPropKind::Kind, &PropGet<Class, &Class::F##Name>, &PropSet<Class, &Class::F##Name> }

// ---- TPrintItem

TPrintItem::TPrintItem() { SetOID(NewOID()); }

const TClassInfo& TPrintItem::StaticClass() {
    static const TPropInfo props[] = {
        PROP(TPrintItem, String, ItemName),
        PROP(TPrintItem, String, ItemValue),
        PROP(TPrintItem, Integer, ItemType),
        PROP(TPrintItem, Integer, ItemCharExtra),
        PROP(TPrintItem, String, ItemSerialHasPre),
        PROP(TPrintItem, String, ItemSerialPreText),
        PROP(TPrintItem, String, ItemSerialHasPostfix),
        PROP(TPrintItem, String, ItemSerialPostfixText),
        PROP(TPrintItem, String, ItemSerialIsFillZero),
        PROP(TPrintItem, String, ItemSerialDecrease),
        PROP(TPrintItem, Integer, ItemSerialStep),
        PROP(TPrintItem, Integer, ItemSerialLength),
        PROP(TPrintItem, Double, ItemRotateDegree),
        PROP(TPrintItem, Double, ItemX),
        PROP(TPrintItem, Double, ItemY),
        PROP(TPrintItem, Double, ItemTextWidth),
        PROP(TPrintItem, Double, ItemLineHeight),
        PROP(TPrintItem, String, ItemDefaultFont),
        PROP(TPrintItem, String, ItemFontSize),
        PROP(TPrintItem, String, ItemFontName),
        PROP(TPrintItem, String, ItemFontColor),
        PROP(TPrintItem, String, ItemFontStyle),
        PROP(TPrintItem, String, ItemActive),
        PROP(TPrintItem, String, ItemAllowNewLine),
        PROP(TPrintItem, Double, ItemOutlineMargin),
        PROP(TPrintItem, Integer, ItemOutlinePenWidth),
        PROP(TPrintItem, Integer, ItemOutlinePenStyle),
        PROP(TPrintItem, String, ItemOutlinePenColor),
        PROP(TPrintItem, Integer, BarcodeType),
        PROP(TPrintItem, Integer, BarcodeOption),
        PROP(TPrintItem, Integer, BarcodePosition),
        PROP(TPrintItem, Integer, BarcodeTextOffsetX),
        PROP(TPrintItem, Integer, BarcodeTextOffsetY),
        PROP(TPrintItem, Double, BarcodeModule),
        PROP(TPrintItem, Double, BarcodeRatio),
        PROP(TPrintItem, Integer, QRcodeQuietZone),
        PROP(TPrintItem, Integer, QRcodeEncoding),
        PROP(TPrintItem, String, FileId),
    };
    static const TClassInfo info{"TPrintItem", &TPersistentObject::StaticClass(), props,
                                 &CreateInstance<TPrintItem>};
    return info;
}

TProject* TPrintItem::Project() const { return dynamic_cast<TProject*>(Owner()); }

const TClassInfo& TPrintItemList::StaticClass() {
    static const TClassInfo info{"TPrintItemList", &TPersistentList::StaticClass(), {},
                                 &CreateInstance<TPrintItemList>};
    return info;
}

QString TPrintItemList::OID() const { return Owner() ? Owner()->OID() : TPersistentList::OID(); }

// ---- TProject

TProject::TProject() : FItemList(std::make_unique<TPrintItemList>()) {
    SetOID(NewOID());
    FItemList->SetOwner(this);
    FItemList->SetItemOwner(this);
}

TProject::~TProject() = default;

const TClassInfo& TProject::StaticClass() {
    static const TPropInfo props[] = {
        PROP(TProject, String, ProjectName),
        PROP(TProject, Double, ProjectPageWidth),
        PROP(TProject, Double, ProjectPageHeight),
        PROP(TProject, Double, ProjectOffsetX),
        PROP(TProject, Double, ProjectOffsetY),
        PROP(TProject, String, ProjectFontName),
        PROP(TProject, String, ProjectFontSize),
        PROP(TProject, String, ProjectFontColor),
        PROP(TProject, String, ProjectFontStyle),
        PROP(TProject, String, ProjectDeviceName),
        PROP(TProject, String, ProjectDefaultDevice),
        PROP(TProject, Integer, ProjectPaperOrientation),
        PROP(TProject, Integer, ProjectSerialStart),
        PROP(TProject, Integer, ProjectSerialEnd),
        PROP(TProject, String, ProjectNotes),
        TPropInfo{"ItemList", TPropKind::Object,
                  [](const TPersistentObject& o) {
                      return QVariant::fromValue<void*>(static_cast<const TProject&>(o).ItemList());
                  },
                  nullptr},
    };
    static const TClassInfo info{"TProject", &TPersistentObject::StaticClass(), props,
                                 &CreateInstance<TProject>};
    return info;
}

TObjectStringList<TPrintItem> TProject::GetPrintItemList() {
    FItemList->SortByProps({QStringLiteral("ItemName")});
    TObjectStringList<TPrintItem> list;
    for (int i = 0; i < FItemList->Count(); ++i)
        list.append({FItemList->Items(i)->ItemName(), FItemList->Items(i)});
    return list;
}

void CopyPublishedProps(const TPersistentObject& from, TPersistentObject& to) {
    for (const TPropInfo& p : from.Class().Props)
        if (p.Kind != TPropKind::Object && p.Set)
            p.Set(to, p.Get(from));
}

void TProject::AssignClassProps(const TProject& source) {
    CopyPublishedProps(source, *this);
    FItemList->Clear();
    for (int i = 0; i < source.ItemList()->Count(); ++i) {
        auto* item = new TPrintItem;
        CopyPublishedProps(*source.ItemList()->Items(i), *item);
        item->SetOID(source.ItemList()->Items(i)->OID());
        FItemList->Add(item);
    }
}

const TClassInfo& TProjectList::StaticClass() {
    static const TClassInfo info{"TProjectList", &TPersistentList::StaticClass(), {},
                                 &CreateInstance<TProjectList>};
    return info;
}

// ---- TPageSetting

const TClassInfo& TPageSetting::StaticClass() {
    static const TPropInfo props[] = {
        PROP(TPageSetting, String, name),
        PROP(TPageSetting, String, value),
    };
    static const TClassInfo info{"TPageSetting", &TPersistentObject::StaticClass(), props,
                                 &CreateInstance<TPageSetting>};
    return info;
}

const TClassInfo& TPageSettingList::StaticClass() {
    static const TClassInfo info{"TPageSettingList", &TPersistentList::StaticClass(), {},
                                 &CreateInstance<TPageSettingList>};
    return info;
}

TPageSetting* TPageSettingList::GetItemByName(const QString& keyname) const {
    for (int i = 0; i < Count(); ++i)
        if (Items(i)->name() == keyname)
            return Items(i);
    return nullptr;
}

// ---- Registrations

namespace {

// length: the column's declared number of characters, 0 for numbers.
struct ColumnMapping {
    const char* column;
    const char* path;
    int keys;
    int length;
};

constexpr ColumnMapping kItemColumns[] = {
    {"oid", "OID", pktDB, 36},
    {"project_id", "Owner.OID", pktFK, 36},
    {"item_name", "ItemName", 0, 200},
    {"item_value", "ItemValue", 0, 4000},
    {"item_char_extra", "ItemCharExtra", 0, 0},
    {"item_type", "ItemType", 0, 0},
    {"serial_has_pre", "ItemSerialHasPre", 0, 10},
    {"serial_pre_text", "ItemSerialPreText", 0, 200},
    {"serial_has_postfix", "ItemSerialHasPostfix", 0, 10},
    {"serial_postfix_text", "ItemSerialPostfixText", 0, 200},
    {"serial_is_fill_zero", "ItemSerialIsFillZero", 0, 10},
    {"serial_length", "ItemSerialLength", 0, 0},
    {"serial_step", "ItemSerialStep", 0, 0},
    {"serial_decrease", "ItemSerialDecrease", 0, 10},
    {"item_rotate_degree", "ItemRotateDegree", 0, 0},
    {"item_x", "ItemX", 0, 0},
    {"item_y", "ItemY", 0, 0},
    {"text_width", "ItemTextWidth", 0, 0},
    {"line_height", "ItemLineHeight", 0, 0},
    {"use_default_font", "ItemDefaultFont", 0, 10},
    {"font_name", "ItemFontName", 0, 100},
    {"font_size", "ItemFontSize", 0, 20},
    {"font_color", "ItemFontColor", 0, 40},
    {"font_style", "ItemFontStyle", 0, 80},
    {"is_active", "ItemActive", 0, 10},
    {"allow_newline", "ItemAllowNewLine", 0, 10},
    {"outline_margin", "ItemOutlineMargin", 0, 0},
    {"outline_pen_width", "ItemOutlinePenWidth", 0, 0},
    {"outline_pen_Color", "ItemOutlinePenColor", 0, 40},
    {"outline_pen_Style", "ItemOutlinePenStyle", 0, 0},
    {"barcode_type", "BarcodeType", 0, 0},
    {"barcode_option", "BarcodeOption", 0, 0},
    {"barcode_position", "BarcodePosition", 0, 0},
    {"barcode_text_offset_x", "BarcodeTextOffsetX", 0, 0},
    {"barcode_text_offset_y", "BarcodeTextOffsetY", 0, 0},
    {"barcode_module", "BarcodeModule", 0, 0},
    {"barcode_ratio", "BarcodeRatio", 0, 0},
    {"qrcode_quiet_zone", "QRcodeQuietZone", 0, 0},
    {"qrcode_encoding", "QRcodeEncoding", 0, 0},
    {"file_id", "FileId", 0, 36},
};

constexpr ColumnMapping kSettingColumns[] = {
    {"oid", "OID", pktDB, 36},
    {"setting_name", "Name", 0, 100},
    {"setting_value", "Value", 0, 1000},
};

constexpr ColumnMapping kProjectColumns[] = {
    {"oid", "OID", pktDB, 36},
    {"project_name", "ProjectName", 0, 200},
    {"page_width", "ProjectPageWidth", 0, 0},
    {"page_height", "ProjectPageHeight", 0, 0},
    {"offset_x", "ProjectOffsetX", 0, 0},
    {"offset_y", "ProjectOffsetY", 0, 0},
    {"font_name", "ProjectFontName", 0, 100},
    {"font_size", "ProjectFontSize", 0, 20},
    {"font_color", "ProjectFontColor", 0, 40},
    {"font_style", "ProjectFontStyle", 0, 80},
    {"device_name", "ProjectDeviceName", 0, 255},
    {"default_device", "ProjectDefaultDevice", 0, 10},
    {"paper_orientation", "ProjectPaperOrientation", 0, 0},
    {"serial_start", "ProjectSerialStart", colNeverLower, 0},
    {"serial_end", "ProjectSerialEnd", 0, 0},
    {"notes", "ProjectNotes", 0, 4000},
};

template <size_t N>
void registerTable(const TClassInfo& cls, const char* table, const ColumnMapping (&columns)[N]) {
    for (const ColumnMapping& c : columns)
        PersistenceManager().RegisterMapping(cls, QLatin1String(table), QLatin1String(c.path),
                                             QLatin1String(c.column), c.keys);
}

} // namespace

int ColumnLength(const TClassInfo& cls, const QString& property) {
    auto find = [&](const auto& columns) {
        for (const ColumnMapping& c : columns)
            if (property.compare(QLatin1String(c.path), Qt::CaseInsensitive) == 0)
                return c.length;
        return 0;
    };
    if (&cls == &TPrintItem::StaticClass())
        return find(kItemColumns);
    if (&cls == &TProject::StaticClass())
        return find(kProjectColumns);
    if (&cls == &TPageSetting::StaticClass())
        return find(kSettingColumns);
    return 0;
}

void RegisterBusinessObjects() {
    auto& pm = PersistenceManager();
    if (pm.MappingsOf(TPrintItem::StaticClass()))
        return;
    registerTable(TPrintItem::StaticClass(), "P_ITEM", kItemColumns);
    pm.RegisterCollection(TPrintItemList::StaticClass(), TPrintItem::StaticClass());
    registerTable(TPageSetting::StaticClass(), "P_SETTING", kSettingColumns);
    pm.RegisterCollection(TPageSettingList::StaticClass(), TPageSetting::StaticClass());
    registerTable(TProject::StaticClass(), "P_PROJECT", kProjectColumns);
    pm.RegisterCollection(TProjectList::StaticClass(), TProject::StaticClass());
}
