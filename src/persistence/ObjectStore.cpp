#include "persistence/ObjectStore.h"

#include "persistence/PersistenceManager.h"

#include <functional>

void TObjectStore::RegisterMapping(const TClassInfo& cls, const QString& table, const QString& path,
                                   const QString& column, int keys) {
    auto it = std::find_if(FMappings.begin(), FMappings.end(),
                           [&](const auto& entry) { return entry.first == &cls; });
    if (it == FMappings.end()) {
        FMappings.push_back({&cls, {}});
        it = std::prev(FMappings.end());
    }
    it->second.push_back({table, path, column, keys});
    FSavePlans.clear(); // they point into the mappings
}

void TObjectStore::RegisterCollection(const TClassInfo& listClass, const TClassInfo& elementClass) {
    FCollections.push_back({&listClass, &elementClass});
}

void TObjectStore::ClearRegistrations() {
    FSavePlans.clear();
    FMappings.clear();
    FCollections.clear();
}

const std::vector<TMapping>* TObjectStore::MappingsOf(const TClassInfo& cls) const {
    for (const auto& [c, mappings] : FMappings)
        if (c == &cls)
            return &mappings;
    return nullptr;
}

const TClassInfo* TObjectStore::collectionElement(const TClassInfo& listClass) const {
    for (const auto& [list, element] : FCollections)
        if (list == &listClass)
            return element;
    return nullptr;
}

// A mapping with its property and its place in the statement, resolved once per
// statement instead of once per value.
struct TBoundMapping {
    const TMapping* Mapping;
    const TPropInfo* Prop = nullptr; // null for the keys and dotted paths
    TPropKind Kind = TPropKind::String;
    int Position = -1;
};

namespace {

QVariant columnValue(const QVariant& raw, TPropKind kind) {
    switch (kind) {
    case TPropKind::Integer:
        return raw.isNull() ? 0 : raw.toInt();
    case TPropKind::Double:
        return raw.isNull() ? 0.0 : raw.toDouble();
    default:
        return raw.isNull() ? QString(QLatin1String("")) : raw.toString();
    }
}

QVariant paramValue(const QVariant& value, TPropKind kind) {
    switch (kind) {
    case TPropKind::Integer:
        return value.toInt();
    case TPropKind::Double:
        return value.toDouble();
    default: {
        const QString text = value.toString();
        return text.isNull() ? QString(QLatin1String("")) : text;
    }
    }
}

const TPropInfo* propOf(const TClassInfo& cls, const QString& path) {
    const TPropInfo* prop = cls.FindProp(path);
    if (!prop)
        throw EPersistenceError(
            QStringLiteral("Property %1 not found in class %2").arg(path, QLatin1String(cls.Name)));
    return prop;
}

void collectPreOrder(TPersistentObject& object, std::vector<TPersistentObject*>& out) {
    out.push_back(&object);
    for (TPersistentObject* child : object.OwnedObjects())
        collectPreOrder(*child, out);
}

void collectPostOrder(TPersistentObject& object, std::vector<TPersistentObject*>& out) {
    for (TPersistentObject* child : object.OwnedObjects())
        collectPostOrder(*child, out);
    out.push_back(&object);
}

// One element class's read statement, prepared once for every list of the task.
struct TLoadStatement {
    std::unique_ptr<TQuery> Query;
    std::vector<TBoundMapping> Columns; // every mapping but the foreign keys
    std::vector<int> OwnerParams;
    // Each text column's value in the row before: most columns repeat from row to
    // row (flags, fonts, colours), and sharing one string for them keeps a large
    // model to a fraction of its memory and of its allocations.
    std::vector<QVariant> Previous;
    bool Resolved = false;
};

TLoadStatement makeLoadStatement(TDatabaseConnection& conn, const TClassInfo& elementClass,
                                 const std::vector<TMapping>& mappings) {
    QStringList conditions;
    for (const TMapping& m : mappings)
        if (m.Keys & pktFK)
            conditions << m.Column + QStringLiteral(" = :") + m.Column;
    QString sql = QStringLiteral("select * from ") + mappings.front().Table;
    if (!conditions.isEmpty())
        sql += QStringLiteral(" where ") + conditions.join(QStringLiteral(" and "));

    TLoadStatement statement;
    statement.Query = conn.CreateQuery();
    statement.Query->SetSQL(sql);
    for (const TMapping& m : mappings) {
        if (m.Keys & pktFK) {
            statement.OwnerParams.push_back(statement.Query->ParamIndex(m.Column));
            continue;
        }
        TBoundMapping bound{&m};
        bound.Prop = propOf(elementClass, m.Path);
        if (!bound.Prop->Set)
            throw EPersistenceError(QStringLiteral("Property %1 of class %2 cannot be set")
                                        .arg(m.Path, QLatin1String(elementClass.Name)));
        bound.Kind = (m.Keys & pktDB) ? TPropKind::String : bound.Prop->Kind;
        statement.Columns.push_back(bound);
    }
    return statement;
}

void loadList(TLoadStatement& statement, TPersistentList& list, const TClassInfo& elementClass) {
    TQuery& query = *statement.Query;
    query.SetSQL(query.SQL());
    for (const int param : statement.OwnerParams)
        query.ParamAt(param, paramValue(list.OID(), TPropKind::String));
    query.Open();
    if (!statement.Resolved) {
        for (TBoundMapping& column : statement.Columns)
            column.Position = query.FieldIndex(column.Mapping->Column);
        statement.Resolved = true;
    }
    statement.Previous.resize(statement.Columns.size());
    while (!query.Eof()) {
        TPersistentObject* element = elementClass.Create();
        for (size_t c = 0; c < statement.Columns.size(); ++c) {
            const TBoundMapping& column = statement.Columns[c];
            QVariant value = columnValue(query.FieldAt(column.Position), column.Kind);
            if (column.Kind == TPropKind::String) {
                QVariant& previous = statement.Previous[c];
                if (previous.isValid() && *static_cast<const QString*>(value.constData()) ==
                                              *static_cast<const QString*>(previous.constData()))
                    value = previous;
                else
                    previous = value;
            }
            column.Prop->Set(*element, value);
        }
        list.Add(element);
        element->SetObjectState(posClean);
        query.Next();
    }
    query.Close();
}

} // namespace

void TObjectStore::ReadObject(TPersistentObject& root) {
    TDatabaseLock conn;
    conn->StartTransaction();
    std::vector<TPersistentObject*> visited;
    std::map<const TClassInfo*, TLoadStatement> statements;
    std::function<void(TPersistentObject&)> walk = [&](TPersistentObject& object) {
        visited.push_back(&object);
        if (auto* list = dynamic_cast<TPersistentList*>(&object)) {
            const TClassInfo* element = collectionElement(list->Class());
            if (element && (list->ObjectState() == posEmpty || list->ObjectState() == posPK)) {
                auto it = statements.find(element);
                if (it == statements.end()) {
                    const std::vector<TMapping>* mappings = MappingsOf(*element);
                    if (!mappings || mappings->empty() || !element->Create)
                        throw EPersistenceError(QStringLiteral("Class %1 is not registered")
                                                    .arg(QLatin1String(element->Name)));
                    it = statements.emplace(element, makeLoadStatement(*conn, *element, *mappings))
                             .first;
                }
                loadList(it->second, *list, *element);
            }
        }
        for (TPersistentObject* child : object.OwnedObjects())
            walk(*child);
    };
    walk(root);
    statements.clear();
    conn->Commit();
    for (TPersistentObject* object : visited)
        object->SetObjectState(posClean);
}

enum TSaveOp { soDelete, soUpdate, soInsert };

// A class's delete, update or insert: its text and, for every parameter in binding
// order, the mapping and property that supply the value.
struct TSavePlan {
    QString SQL;
    QString PositionalSQL; // placeholders rewritten to "?"
    QStringList Names;     // the parameters in binding order
    std::vector<TBoundMapping> Params;
};

namespace {

std::unique_ptr<TSavePlan> makeSavePlan(const TClassInfo& cls,
                                        const std::vector<TMapping>& mappings, TSaveOp op) {
    const QString& table = mappings.front().Table;
    QString key;
    for (const TMapping& m : mappings)
        if (m.Keys & pktDB)
            key = m.Column;
    auto plan = std::make_unique<TSavePlan>();
    switch (op) {
    case soDelete:
        plan->SQL = QStringLiteral("delete from %1 where %2 =:%2").arg(table, key);
        break;
    case soUpdate: {
        QStringList sets;
        for (const TMapping& m : mappings)
            if (m.Keys & colNeverLower)
                sets << QStringLiteral("%1 = maxvalue(coalesce(%1, :%1), :%1)").arg(m.Column);
            else if (!(m.Keys & (pktDB | pktFK)))
                sets << m.Column + QStringLiteral(" =:") + m.Column;
        plan->SQL = QStringLiteral("update %1 set %2 where %3 =:%3")
                        .arg(table, sets.join(QStringLiteral(", ")), key);
        break;
    }
    case soInsert: {
        QStringList columns, params;
        for (const TMapping& m : mappings) {
            columns << m.Column;
            params << QStringLiteral(":") + m.Column;
        }
        plan->SQL =
            QStringLiteral("insert into %1 (%2) values (%3)")
                .arg(table, columns.join(QStringLiteral(", ")), params.join(QStringLiteral(", ")));
        break;
    }
    }
    plan->PositionalSQL = PositionalSql(plan->SQL, plan->Names);
    const QStringList& names = plan->Names;
    for (int position = 0; position < names.size(); ++position) {
        const TMapping* m = nullptr;
        for (const TMapping& candidate : mappings)
            if (candidate.Column.compare(names.at(position), Qt::CaseInsensitive) == 0)
                m = &candidate;
        TBoundMapping param{m};
        param.Position = position;
        if (!(m->Keys & (pktDB | pktFK)) && !m->Path.contains(QLatin1Char('.'))) {
            param.Prop = propOf(cls, m->Path);
            param.Kind = param.Prop->Kind;
        }
        plan->Params.push_back(param);
    }
    return plan;
}

// The values of a plan's parameters for one object, in binding order.
QList<QVariant> savePlanValues(const TSavePlan& plan, const TPersistentObject& object) {
    QList<QVariant> values;
    values.reserve(qsizetype(plan.Params.size()));
    for (const TBoundMapping& param : plan.Params) {
        const TMapping& m = *param.Mapping;
        QVariant value;
        if (m.Keys & pktDB) {
            value = object.OID();
        } else if (m.Keys & pktFK) {
            if (!object.Owner())
                throw EPersistenceError(
                    QStringLiteral("Cannot insert an object of class %1 that has no owner")
                        .arg(object.ClassName()));
            value = object.Owner()->OID();
        } else {
            value = param.Prop ? param.Prop->Get(object) : object.GetPropValue(m.Path);
        }
        values.append(paramValue(value, param.Kind));
    }
    return values;
}

} // namespace

TObjectStore::TObjectStore() = default;
TObjectStore::~TObjectStore() = default;

const TSavePlan& TObjectStore::savePlan(const TClassInfo& cls,
                                        const std::vector<TMapping>& mappings, int op) {
    auto& plan = FSavePlans[{&cls, op}];
    if (!plan)
        plan = makeSavePlan(cls, mappings, TSaveOp(op));
    return *plan;
}

void TObjectStore::SaveObject(TPersistentObject& root,
                              const std::function<void(TWriteSession&)>& alongside) {
    std::vector<TPersistentObject*> preOrder, postOrder;
    collectPreOrder(root, preOrder);
    collectPostOrder(root, postOrder);

    TDatabaseLock conn;
    TWriteSession& writes = conn->Writes();
    writes.StartTransaction();
    std::vector<TPersistentObject*> acted;
    auto pass = [&](const std::vector<TPersistentObject*>& order, TPersistentObjectState state,
                    TSaveOp op) {
        for (TPersistentObject* object : order) {
            const auto* mappings = MappingsOf(object->Class());
            if (!mappings || object->ObjectState() != state)
                continue;
            const TSavePlan& plan = savePlan(object->Class(), *mappings, op);
            const QList<QVariant> values = savePlanValues(plan, *object);
            PersistenceManager().NotifyStatement(plan.SQL, plan.Names, values);
            writes.Execute(plan.PositionalSQL, values);
            acted.push_back(object);
        }
    };
    pass(postOrder, posDelete, soDelete);
    pass(preOrder, posUpdate, soUpdate);
    pass(preOrder, posCreate, soInsert);
    if (alongside)
        alongside(writes);
    writes.Commit();
    for (TPersistentObject* object : acted)
        object->SetObjectState(object->ObjectState() == posDelete ? posDeleted : posClean);
}
