#include "model/bom/SettingBom.h"

#include "persistence/PersistenceManager.h"

#include <type_traits>

template <class T>
constexpr TPropKind kindOf = std::is_same_v<T, int>      ? TPropKind::Integer
                             : std::is_same_v<T, double> ? TPropKind::Double
                                                         : TPropKind::String;

// The fields declared in SettingBom.h as the property table of a class C.
#define PROP(Type, Name, ...)                                                                      \
    TPropInfo{#Name, kindOf<Type>, &PropGet<C, &C::F##Name>, &PropSet<C, &C::F##Name>},
#define NO_PROP(...)

// ---- TPrintItem

TPrintItem::TPrintItem() { SetOID(NewOID()); }

const TClassInfo& TPrintItem::StaticClass() {
    using C = TPrintItem;
    static const TPropInfo props[] = {KOVA_ITEM_COLUMNS(NO_PROP, PROP)};
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
    using C = TProject;
    static const TPropInfo props[] = {
        KOVA_PROJECT_COLUMNS(NO_PROP, PROP)
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
    using C = TPageSetting;
    static const TPropInfo props[] = {KOVA_SETTING_COLUMNS(NO_PROP, PROP)};
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

#define KEY_COLUMN(Column, Path, Keys, Length) ColumnMapping{Column, Path, Keys, Length},
#define FIELD_COLUMN(Type, Name, Column, Length, Flags, ...)                                       \
    ColumnMapping{Column, #Name, Flags, Length},

constexpr ColumnMapping kItemColumns[] = {KOVA_ITEM_COLUMNS(KEY_COLUMN, FIELD_COLUMN)};
constexpr ColumnMapping kProjectColumns[] = {KOVA_PROJECT_COLUMNS(KEY_COLUMN, FIELD_COLUMN)};
constexpr ColumnMapping kSettingColumns[] = {KOVA_SETTING_COLUMNS(KEY_COLUMN, FIELD_COLUMN)};

struct TableMapping {
    const TClassInfo& (*cls)();
    const char* table;
    std::span<const ColumnMapping> columns;
    const TClassInfo& (*list)();
};

constexpr TableMapping kTables[] = {
    {&TPrintItem::StaticClass, "P_ITEM", kItemColumns, &TPrintItemList::StaticClass},
    {&TPageSetting::StaticClass, "P_SETTING", kSettingColumns, &TPageSettingList::StaticClass},
    {&TProject::StaticClass, "P_PROJECT", kProjectColumns, &TProjectList::StaticClass},
};

} // namespace

int ColumnLength(const TClassInfo& cls, const QString& property) {
    for (const TableMapping& t : kTables)
        if (&t.cls() == &cls)
            for (const ColumnMapping& c : t.columns)
                if (property.compare(QLatin1String(c.path), Qt::CaseInsensitive) == 0)
                    return c.length;
    return 0;
}

void RegisterBusinessObjects() {
    auto& pm = PersistenceManager();
    if (pm.MappingsOf(TPrintItem::StaticClass()))
        return;
    for (const TableMapping& t : kTables) {
        for (const ColumnMapping& c : t.columns)
            pm.RegisterMapping(t.cls(), QLatin1String(t.table), QLatin1String(c.path),
                               QLatin1String(c.column), c.keys);
        pm.RegisterCollection(t.list(), t.cls());
    }
}
