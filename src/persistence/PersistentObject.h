#pragma once

#include <QString>
#include <QStringList>
#include <QVariant>
#include <functional>
#include <memory>
#include <span>
#include <vector>

class TPersistentObject;

enum TPersistentObjectState { posEmpty, posPK, posCreate, posUpdate, posDelete, posDeleted, posClean };

// Kinds of published properties; they decide how a column is read and bound.
enum class TPropKind { String, Integer, Double, Object };

// One published property: its name and how to reach it on an object of the class.
struct TPropInfo {
    const char* Name;
    TPropKind Kind;
    QVariant (*Get)(const TPersistentObject&);
    void (*Set)(TPersistentObject&, const QVariant&); // null for read-only properties
};

// Run-time class description: name, base, own published properties and a factory.
struct TClassInfo {
    const char* Name;
    const TClassInfo* Parent;
    std::span<const TPropInfo> Props;
    TPersistentObject* (*Create)(); // null for abstract classes

    bool InheritsFrom(const TClassInfo& other) const;
    const TPropInfo* FindProp(const QString& name) const; // case-insensitive, walks the bases
};

// A fresh object identifier: 36 upper-case characters, 8-4-4-4-12, no braces.
QString NewOID();

class TPersistentObject {
public:
    TPersistentObject() = default;
    virtual ~TPersistentObject();
    TPersistentObject(const TPersistentObject&) = delete;
    TPersistentObject& operator=(const TPersistentObject&) = delete;

    static const TClassInfo& StaticClass();
    virtual const TClassInfo& Class() const { return StaticClass(); }
    QString ClassName() const { return QString::fromLatin1(Class().Name); }

    virtual QString OID() const { return FOID; }
    void SetOID(const QString& oid) { FOID = oid; }

    TPersistentObjectState ObjectState() const { return FObjectState; }
    void SetObjectState(TPersistentObjectState state) { FObjectState = state; }

    TPersistentObject* Owner() const { return FOwner; }
    void SetOwner(TPersistentObject* owner) { FOwner = owner; }

    bool Deleted() const { return FObjectState == posDelete || FObjectState == posDeleted; }
    void SetDeleted(bool value);
    void SetDirty(bool value);

    // Objects this one owns and that a read or save walks into, in order: the
    // object-valued published properties of an object, the elements of a list.
    virtual std::vector<TPersistentObject*> OwnedObjects() const;

    // Property access by name or dotted path ("Owner.OID"), case-insensitive.
    QVariant GetPropValue(const QString& path) const;
    void SetPropValue(const QString& name, const QVariant& value);

    // Load from / write to the default database (one task, one transaction).
    void Read();
    void Save();

private:
    QString FOID;
    TPersistentObjectState FObjectState = posEmpty;
    TPersistentObject* FOwner = nullptr;
};

class TPersistentList : public TPersistentObject {
public:
    TPersistentList() = default;
    ~TPersistentList() override;

    static const TClassInfo& StaticClass();
    const TClassInfo& Class() const override { return StaticClass(); }

    int Count() const { return int(FItems.size()); }
    TPersistentObject* Item(int index) const { return FItems.at(size_t(index)).get(); }
    // Takes ownership; gives the object its owner when AutoSetItemOwner is on.
    void Add(TPersistentObject* object);
    // Clears the object's owner and destroys it.
    void Remove(TPersistentObject* object);
    int IndexOf(const TPersistentObject* object) const;
    // Destroys all objects and returns to posEmpty, so a later Read loads again.
    void Clear();

    TPersistentObject* ItemOwner() const { return FItemOwner ? FItemOwner : const_cast<TPersistentList*>(this); }
    void SetItemOwner(TPersistentObject* owner) { FItemOwner = owner; }
    bool AutoSetItemOwner() const { return FAutoSetItemOwner; }
    void SetAutoSetItemOwner(bool value) { FAutoSetItemOwner = value; }

    // Sorts in place by the named properties: text case-insensitively under the
    // user's locale, numbers numerically.
    void SortByProps(const QStringList& props, bool ascending = true);

    std::vector<TPersistentObject*> OwnedObjects() const override;

private:
    std::vector<std::unique_ptr<TPersistentObject>> FItems;
    TPersistentObject* FItemOwner = nullptr;
    bool FAutoSetItemOwner = true;
};

// Typed access over the owning list.
template <class T> class TObjectList : public TPersistentList {
public:
    T* Items(int index) const { return static_cast<T*>(Item(index)); }
    void Add(T* object) { TPersistentList::Add(object); }
    void Remove(T* object) { TPersistentList::Remove(object); }
};

// Helpers for property tables: a published property backed by a member field.
template <class C, auto Member> QVariant PropGet(const TPersistentObject& o) {
    return QVariant::fromValue(static_cast<const C&>(o).*Member);
}
template <class C, auto Member> void PropSet(TPersistentObject& o, const QVariant& v) {
    using F = std::remove_reference_t<decltype(static_cast<C&>(o).*Member)>;
    static_cast<C&>(o).*Member = v.value<F>();
}
template <class T> TPersistentObject* CreateInstance() { return new T; }

// A published property: field F<Name> behind the accessors <Name>() and Set<Name>().
#define KOVA_PUBLISHED(Type, Name, ...)                                                            \
public:                                                                                            \
    const Type& Name() const { return F##Name; }                                                   \
    void Set##Name(const Type& value) { F##Name = value; }                                         \
                                                                                                   \
private:                                                                                           \
    Type F##Name{__VA_ARGS__};                                                                     \
                                                                                                   \
public:
