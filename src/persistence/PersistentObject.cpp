#include "persistence/PersistentObject.h"

#include "base/Errors.h"
#include "persistence/PersistenceManager.h"

#include <QCollator>
#include <QUuid>
#include <algorithm>

bool TClassInfo::InheritsFrom(const TClassInfo& other) const {
    for (const TClassInfo* c = this; c; c = c->Parent)
        if (c == &other)
            return true;
    return false;
}

const TPropInfo* TClassInfo::FindProp(const QString& name) const {
    for (const TClassInfo* c = this; c; c = c->Parent)
        for (const TPropInfo& p : c->Props)
            if (name.compare(QLatin1String(p.Name), Qt::CaseInsensitive) == 0)
                return &p;
    return nullptr;
}

QString NewOID() { return QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper(); }

namespace {

QVariant getOID(const TPersistentObject& o) { return o.OID(); }
void setOID(TPersistentObject& o, const QVariant& v) { o.SetOID(v.toString()); }
QVariant getOwner(const TPersistentObject& o) { return QVariant::fromValue<void*>(o.Owner()); }

constexpr TPropInfo kObjectProps[] = {
    {"OID", TPropKind::String, &getOID, &setOID},
    {"Owner", TPropKind::Object, &getOwner, nullptr},
};

} // namespace

const TClassInfo& TPersistentObject::StaticClass() {
    static const TClassInfo info{"TPersistentObject", nullptr, kObjectProps, nullptr};
    return info;
}

TPersistentObject::~TPersistentObject() = default;

void TPersistentObject::SetDirty(bool value) {
    if (!value) {
        FObjectState = posClean;
        return;
    }
    switch (FObjectState) {
    case posEmpty:
        FObjectState = posCreate;
        if (FOID.isEmpty())
            FOID = NewOID();
        break;
    case posPK:
    case posClean:
        FObjectState = posUpdate;
        break;
    default:
        break;
    }
}

void TPersistentObject::SetDeleted(bool value) {
    if (!value || Deleted())
        return;
    FObjectState = posDelete;
    for (TPersistentObject* child : OwnedObjects())
        if (child->ObjectState() != posDeleted)
            child->SetDeleted(true);
}

std::vector<TPersistentObject*> TPersistentObject::OwnedObjects() const {
    std::vector<TPersistentObject*> result;
    for (const TClassInfo* c = &Class(); c; c = c->Parent)
        for (const TPropInfo& p : c->Props)
            if (p.Kind == TPropKind::Object && QLatin1String(p.Name) != QLatin1String("Owner"))
                if (auto* child = static_cast<TPersistentObject*>(p.Get(*this).value<void*>()))
                    result.push_back(child);
    return result;
}

QVariant TPersistentObject::GetPropValue(const QString& path) const {
    const int dot = path.indexOf(QLatin1Char('.'));
    const QString head = dot < 0 ? path : path.left(dot);
    const TPropInfo* prop = Class().FindProp(head);
    if (!prop)
        throw Exception(QStringLiteral("Property %1 not found in class %2").arg(head, ClassName()));
    const QVariant value = prop->Get(*this);
    if (dot < 0)
        return value;
    auto* object = static_cast<const TPersistentObject*>(value.value<void*>());
    if (!object)
        return QVariant(QMetaType::fromType<QString>());
    return object->GetPropValue(path.mid(dot + 1));
}

void TPersistentObject::SetPropValue(const QString& name, const QVariant& value) {
    const TPropInfo* prop = Class().FindProp(name);
    if (!prop || !prop->Set)
        throw Exception(QStringLiteral("Property %1 of class %2 cannot be set").arg(name, ClassName()));
    prop->Set(*this, value);
}

void TPersistentObject::Read() { PersistenceManager().ReadObject(*this); }
void TPersistentObject::Save() { PersistenceManager().SaveObject(*this); }

// ---- TPersistentList

const TClassInfo& TPersistentList::StaticClass() {
    static const TClassInfo info{"TPersistentList", &TPersistentObject::StaticClass(), {}, nullptr};
    return info;
}

TPersistentList::~TPersistentList() = default;

void TPersistentList::Add(TPersistentObject* object) {
    FItems.emplace_back(object);
    if (FAutoSetItemOwner)
        object->SetOwner(ItemOwner());
}

int TPersistentList::IndexOf(const TPersistentObject* object) const {
    for (size_t i = 0; i < FItems.size(); ++i)
        if (FItems[i].get() == object)
            return int(i);
    return -1;
}

void TPersistentList::Remove(TPersistentObject* object) {
    const int index = IndexOf(object);
    if (index < 0)
        return;
    object->SetOwner(nullptr);
    FItems.erase(FItems.begin() + index);
}

void TPersistentList::Clear() {
    FItems.clear();
    SetObjectState(posEmpty);
}

std::vector<TPersistentObject*> TPersistentList::OwnedObjects() const {
    std::vector<TPersistentObject*> result;
    result.reserve(FItems.size());
    for (const auto& item : FItems)
        result.push_back(item.get());
    return result;
}

void TPersistentList::SortByProps(const QStringList& props, bool ascending) {
    QCollator collator; // the user's locale
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    auto compare = [&](const TPersistentObject* a, const TPersistentObject* b) {
        for (const QString& name : props) {
            const QVariant va = a->GetPropValue(name);
            const QVariant vb = b->GetPropValue(name);
            int c = 0;
            if (va.typeId() == QMetaType::QString)
                c = collator.compare(va.toString(), vb.toString());
            else
                c = QVariant::compare(va, vb) == QPartialOrdering::Less      ? -1
                    : QVariant::compare(va, vb) == QPartialOrdering::Greater ? 1
                                                                             : 0;
            if (c != 0)
                return ascending ? c < 0 : c > 0;
        }
        return false;
    };
    std::sort(FItems.begin(), FItems.end(),
              [&](const auto& a, const auto& b) { return compare(a.get(), b.get()); });
}
