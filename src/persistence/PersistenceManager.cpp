#include "persistence/PersistenceManager.h"

#include <QCoreApplication>
#include <QSqlError>
#include <QSqlField>
#include <QSqlRecord>

namespace {

QString sqlErrorText(const QSqlError& error) {
    QString text = error.databaseText();
    if (text.isEmpty())
        text = error.text();
    return text;
}

int sqlErrorCode(const QSqlError& error) {
    return error.nativeErrorCode().toInt();
}

// Rewrites ":name" placeholders to "?" outside quoted text and identifiers, and
// reports the names in order of appearance.
QString positionalSql(const QString& sql, QStringList& names) {
    QString out;
    out.reserve(sql.size());
    QChar quote;
    for (qsizetype i = 0; i < sql.size(); ++i) {
        const QChar c = sql.at(i);
        if (!quote.isNull()) {
            out += c;
            if (c == quote)
                quote = QChar();
            continue;
        }
        if (c == QLatin1Char('\'') || c == QLatin1Char('"')) {
            quote = c;
            out += c;
            continue;
        }
        if (c == QLatin1Char(':') && i + 1 < sql.size() &&
            (sql.at(i + 1).isLetter() || sql.at(i + 1) == QLatin1Char('_'))) {
            qsizetype j = i + 1;
            while (j < sql.size() &&
                   (sql.at(j).isLetterOrNumber() || sql.at(j) == QLatin1Char('_')))
                ++j;
            names << sql.mid(i + 1, j - i - 1);
            out += QLatin1Char('?');
            i = j - 1;
            continue;
        }
        out += c;
    }
    return out;
}

} // namespace

// ---- TQuery

TQuery::TQuery(TDatabaseConnection& connection) : FConnection(&connection) {}
TQuery::~TQuery() = default;

void TQuery::SetSQL(const QString& sql) {
    Close();
    if (sql != FSQL || !FConnection) {
        FQuery.reset();
        FRecord.clear();
        FColumns.clear();
        FColumnsKnown = false;
        FSQL = sql;
        FParamNames.clear();
        FPositionalSQL = positionalSql(FSQL, FParamNames);
    }
    FParamValues = QList<QVariant>(FParamNames.size());
}

void TQuery::setParam(const QString& name, const QVariant& value) {
    // A name may stand more than once; every place takes the value.
    for (int i = 0; i < FParamNames.size(); ++i)
        if (FParamNames.at(i).compare(name, Qt::CaseInsensitive) == 0)
            FParamValues[i] = value;
}

void TQuery::ParamAsString(const QString& name, const QString& value) {
    setParam(name, value.isNull() ? QString(QLatin1String("")) : value);
}
void TQuery::ParamAsInteger(const QString& name, int value) {
    setParam(name, value);
}
void TQuery::ParamAsDouble(const QString& name, double value) {
    setParam(name, value);
}
void TQuery::ParamFromStream(const QString& name, const QByteArray& bytes) {
    setParam(name, bytes);
}

int TQuery::ParamIndex(const QString& name) const {
    for (int i = 0; i < FParamNames.size(); ++i)
        if (FParamNames.at(i).compare(name, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

void TQuery::ParamAt(int index, const QVariant& value) {
    FParamValues[index] = value;
}

void TQuery::Open() {
    Close();
    if (!FConnection)
        throw EPersistenceError(QStringLiteral("The query is no longer attached to a connection."));
    for (int i = 0; i < FParamNames.size(); ++i)
        if (!FParamValues.at(i).isValid())
            throw EPersistenceError(
                QStringLiteral("Parameter %1 not found").arg(FParamNames.at(i)));
    PersistenceManager().NotifyStatement(FSQL, FParamNames, FParamValues);

    if (!FQuery) {
        auto query = std::make_unique<QSqlQuery>(FConnection->Database());
        query->setForwardOnly(true);
        if (!query->prepare(FPositionalSQL))
            throw EDatabaseError(sqlErrorText(query->lastError()),
                                 sqlErrorCode(query->lastError()));
        FQuery = std::move(query);
    }
    for (int i = 0; i < FParamValues.size(); ++i)
        FQuery->bindValue(i, FParamValues.at(i));
    if (!FQuery->exec()) {
        const QSqlError error = FQuery->lastError();
        FQuery.reset(); // prepared afresh next time
        throw EDatabaseError(sqlErrorText(error), sqlErrorCode(error));
    }
    if (!FColumnsKnown) {
        FRecord = FQuery->record();
        for (int i = 0; i < FRecord.count(); ++i)
            FColumns.insert(FRecord.fieldName(i).toLower(), i);
        FColumnsKnown = true;
    }
    FEof = !(FQuery->isSelect() && FQuery->next());
}

void TQuery::Next() {
    if (FEof)
        return;
    if (FQuery)
        FEof = !FQuery->next();
    else
        FEof = ++FRow >= FRows.size();
}

int TQuery::FieldIndex(const QString& name) const {
    const int index = FColumns.value(name.toLower(), -1);
    if (index < 0)
        throw EPersistenceError(QStringLiteral("Field %1 not found").arg(name));
    return index;
}

QVariant TQuery::value(int index) const {
    if (FQuery)
        return FQuery->value(index);
    const auto& row = FRows.at(FRow);
    return index >= 0 && index < row.size() ? row.at(index) : QVariant();
}

QVariant TQuery::Field(const QString& name) const {
    const int index = FieldIndex(name);
    return FEof ? QVariant() : value(index);
}

QVariant TQuery::FieldAt(int index) const {
    return FEof ? QVariant() : value(index);
}

QString TQuery::FieldAsString(const QString& name) const {
    return Field(name).toString();
}

QByteArray TQuery::AssignFieldAsStream(const QString& name) const {
    const int index = FieldIndex(name);
    if (FRecord.field(index).metaType().id() != QMetaType::QByteArray)
        throw EPersistenceError(
            QStringLiteral("Field is not a BLOB error in method AssignFieldAsStream of class %1")
                .arg(QStringLiteral("TQuery")));
    return FEof ? QByteArray() : value(index).toByteArray();
}

void TQuery::Close() {
    if (FQuery && FQuery->isActive())
        FQuery->finish();
    FRows.clear();
    FRow = 0;
    FEof = true;
}

void TQuery::Detach() {
    std::vector<QList<QVariant>> rows;
    if (FQuery) {
        for (bool more = !FEof; more; more = FQuery->next()) {
            QList<QVariant> row;
            row.reserve(FRecord.count());
            for (int i = 0; i < FRecord.count(); ++i)
                row.append(FQuery->value(i));
            rows.push_back(std::move(row));
        }
        FQuery.reset();
    }
    FRows = std::move(rows);
    FRow = 0;
    FEof = FRows.empty();
    FConnection = nullptr;
}

// ---- TDatabaseConnection

TDatabaseConnection::~TDatabaseConnection() {
    const QString name = FDb.connectionName();
    // Its statements belong to the attachment, so they go before it closes.
    FWrites.reset();
    if (FInTransaction)
        FDb.rollback();
    FDb.close();
    FDb = QSqlDatabase();
    QSqlDatabase::removeDatabase(name);
}

TWriteSession& TDatabaseConnection::Writes() {
    if (!FWrites)
        FWrites = FLayer->OpenWriteSession(FDb);
    return *FWrites;
}

void TDatabaseConnection::StartTransaction() {
    if (FInTransaction)
        throw EPersistenceError(
            QStringLiteral("Attempt to start a transaction but transaction already exists."));
    if (!FDb.transaction())
        throw EDatabaseError(sqlErrorText(FDb.lastError()), sqlErrorCode(FDb.lastError()));
    FInTransaction = true;
}

void TDatabaseConnection::Commit() {
    if (!FInTransaction)
        throw EPersistenceError(QStringLiteral("Attempt to commit but not in a transaction."));
    if (!FDb.commit())
        throw EDatabaseError(sqlErrorText(FDb.lastError()), sqlErrorCode(FDb.lastError()));
    FInTransaction = false;
}

void TDatabaseConnection::Rollback() {
    if (FWrites)
        FWrites->Rollback();
    if (!FInTransaction)
        return;
    FInTransaction = false;
    FDb.rollback();
}

// ---- TPersistenceManager

TPersistenceManager& PersistenceManager() {
    static TPersistenceManager manager;
    return manager;
}

void TPersistenceManager::RegisterLayer(std::unique_ptr<TPersistenceLayer> layer) {
    for (auto& existing : FLayers)
        if (existing->Name() == layer->Name())
            return;
    FLayers.push_back(std::move(layer));
}

void TPersistenceManager::RegisterMapping(const TClassInfo& cls, const QString& table,
                                          const QString& path, const QString& column, int keys) {
    auto it = std::find_if(FMappings.begin(), FMappings.end(),
                           [&](const auto& entry) { return entry.first == &cls; });
    if (it == FMappings.end()) {
        FMappings.push_back({&cls, {}});
        it = std::prev(FMappings.end());
    }
    it->second.push_back({table, path, column, keys});
    FSavePlans.clear(); // they point into the mappings
}

void TPersistenceManager::RegisterCollection(const TClassInfo& listClass,
                                             const TClassInfo& elementClass) {
    FCollections.push_back({&listClass, &elementClass});
}

void TPersistenceManager::ClearRegistrations() {
    FSavePlans.clear();
    FMappings.clear();
    FCollections.clear();
}

const std::vector<TMapping>* TPersistenceManager::MappingsOf(const TClassInfo& cls) const {
    for (const auto& [c, mappings] : FMappings)
        if (c == &cls)
            return &mappings;
    return nullptr;
}

const TClassInfo* TPersistenceManager::collectionElement(const TClassInfo& listClass) const {
    for (const auto& [list, element] : FCollections)
        if (list == &listClass)
            return element;
    return nullptr;
}

void TPersistenceManager::ConnectDatabase(const QString& databaseName, const QString& userName,
                                          const QString& password, const QString& params,
                                          const QString& layerName) {
    TPersistenceLayer* layer = nullptr;
    for (auto& l : FLayers)
        if (l->Name() == layerName)
            layer = l.get();
    if (!layer)
        throw EPersistenceError(
            QStringLiteral("Unable to find persistence layer <%1>").arg(layerName));

    Disconnect();
    // Connections must close while Qt's database registry still exists.
    static const bool closeAtExit = [] {
        qAddPostRoutine([] { PersistenceManager().Disconnect(); });
        return true;
    }();
    Q_UNUSED(closeAtExit);
    const TConnectionParams connection{databaseName, userName, password, params};
    QString cause;
    try {
        const QString name = QStringLiteral("kova_%1").arg(++FConnectionSerial);
        FPool.push_back(
            {std::make_unique<TDatabaseConnection>(layer->Open(connection, name), *layer), false});
        FLayer = layer;
        FParams = connection;
        return;
    } catch (const EDatabaseError& e) {
        const bool rejectedLogin =
            e.Message().contains(QLatin1String("user name and password"), Qt::CaseInsensitive);
        if (!rejectedLogin)
            cause = QStringLiteral("Error attempting to connect to database.\r%1\rError code: %2")
                        .arg(e.Message())
                        .arg(e.ErrorCode());
    } catch (const Exception& e) {
        cause = e.Message();
    }
    QString message =
        QStringLiteral("Cannot connect to database. \r"
                       "Database name:       %1\r"
                       "User name:           %2\r"
                       "Password:            %3\r"
                       "Persistence layer:   %4")
            .arg(databaseName, userName, QString(password.size(), QLatin1Char('X')), layerName);
    if (!cause.isEmpty())
        message += QStringLiteral("\r\rMessage:\r") + cause;
    throw EPersistenceError(message);
}

void TPersistenceManager::Disconnect() {
    FPool.clear();
    FLayer = nullptr;
}

void TPersistenceManager::NotifyStatement(const QString& sql, const QStringList& names,
                                          const QList<QVariant>& values) const {
    if (!FObserver)
        return;
    TStatementParams bound;
    bound.reserve(names.size());
    for (qsizetype i = 0; i < names.size(); ++i)
        bound.append({names.at(i), values.value(i)});
    FObserver(sql, bound);
}

TDatabaseConnection* TPersistenceManager::LockDatabase() {
    if (!FLayer)
        throw EPersistenceError(QStringLiteral("Not connected to a database."));
    // Long enough that tasks in a row are never held up, short enough that a
    // user's next click after a server restart finds the connection checked.
    constexpr qint64 IdleCheckMs = 2000;
    for (size_t i = 0; i < FPool.size();) {
        TPooled& pooled = FPool[i];
        if (pooled.Busy) {
            ++i;
            continue;
        }
        const bool check = pooled.Suspect || pooled.Returned.hasExpired(IdleCheckMs);
        if (check && !FLayer->Alive(pooled.Connection->Database())) {
            FPool.erase(FPool.begin() + qsizetype(i));
            continue;
        }
        pooled.Busy = true;
        pooled.Suspect = false;
        return pooled.Connection.get();
    }
    const QString name = QStringLiteral("kova_%1").arg(++FConnectionSerial);
    FPool.push_back(
        {std::make_unique<TDatabaseConnection>(FLayer->Open(FParams, name), *FLayer), true});
    return FPool.back().Connection.get();
}

void TPersistenceManager::UnLockDatabase(TDatabaseConnection* connection, bool failed) {
    for (auto& pooled : FPool) {
        if (pooled.Connection.get() == connection) {
            connection->Rollback();
            pooled.Busy = false;
            pooled.Suspect = failed;
            pooled.Returned.start();
        }
    }
}

// ---- Read and save

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

void TPersistenceManager::ReadObject(TPersistentObject& root) {
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

// ---- Save

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
    plan->PositionalSQL = positionalSql(plan->SQL, plan->Names);
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

TPersistenceManager::TPersistenceManager() = default;
TPersistenceManager::~TPersistenceManager() = default;

const TSavePlan& TPersistenceManager::savePlan(const TClassInfo& cls,
                                               const std::vector<TMapping>& mappings, int op) {
    auto& plan = FSavePlans[{&cls, op}];
    if (!plan)
        plan = makeSavePlan(cls, mappings, TSaveOp(op));
    return *plan;
}

void TPersistenceManager::SaveObject(TPersistentObject& root) {
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
            NotifyStatement(plan.SQL, plan.Names, values);
            writes.Execute(plan.PositionalSQL, values);
            acted.push_back(object);
        }
    };
    pass(postOrder, posDelete, soDelete);
    pass(preOrder, posUpdate, soUpdate);
    pass(preOrder, posCreate, soInsert);
    writes.Commit();
    for (TPersistentObject* object : acted)
        object->SetObjectState(object->ObjectState() == posDelete ? posDeleted : posClean);
}
