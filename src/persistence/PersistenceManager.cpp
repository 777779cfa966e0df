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
    FSQL = sql;
    FParams.clear();
}

void TQuery::ParamAsString(const QString& name, const QString& value) {
    FParams[name.toLower()] = value.isNull() ? QString(QLatin1String("")) : value;
}
void TQuery::ParamAsInteger(const QString& name, int value) {
    FParams[name.toLower()] = value;
}
void TQuery::ParamAsDouble(const QString& name, double value) {
    FParams[name.toLower()] = value;
}
void TQuery::ParamFromStream(const QString& name, const QByteArray& bytes) {
    FParams[name.toLower()] = bytes;
}

void TQuery::Open() {
    Close();
    if (!FConnection)
        throw EPersistenceError(QStringLiteral("The query is no longer attached to a connection."));
    QStringList names;
    const QString sql = positionalSql(FSQL, names);
    TStatementParams bound;
    for (const QString& name : names) {
        auto it = FParams.find(name.toLower());
        if (it == FParams.end())
            throw EPersistenceError(QStringLiteral("Parameter %1 not found").arg(name));
        bound.append({name, it->second});
    }
    PersistenceManager().NotifyStatement(FSQL, bound);

    FQuery = std::make_unique<QSqlQuery>(FConnection->Database());
    FQuery->setForwardOnly(true);
    if (!FQuery->prepare(sql))
        throw EDatabaseError(sqlErrorText(FQuery->lastError()), sqlErrorCode(FQuery->lastError()));
    for (int i = 0; i < bound.size(); ++i)
        FQuery->bindValue(i, bound.at(i).second);
    if (!FQuery->exec())
        throw EDatabaseError(sqlErrorText(FQuery->lastError()), sqlErrorCode(FQuery->lastError()));
    FRecord = FQuery->record();
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

int TQuery::fieldIndex(const QString& name) const {
    const int index = FRecord.indexOf(name);
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
    const int index = fieldIndex(name);
    return FEof ? QVariant() : value(index);
}

QVariant TQuery::FieldAt(int index) const {
    return FEof ? QVariant() : value(index);
}

QString TQuery::FieldAsString(const QString& name) const {
    return Field(name).toString();
}

QByteArray TQuery::AssignFieldAsStream(const QString& name) const {
    const int index = fieldIndex(name);
    if (FRecord.field(index).metaType().id() != QMetaType::QByteArray)
        throw EPersistenceError(
            QStringLiteral("Field is not a BLOB error in method AssignFieldAsStream of class %1")
                .arg(QStringLiteral("TQuery")));
    return FEof ? QByteArray() : value(index).toByteArray();
}

void TQuery::Close() {
    FQuery.reset();
    FRecord.clear();
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
    if (FInTransaction)
        FDb.rollback();
    FDb.close();
    FDb = QSqlDatabase();
    QSqlDatabase::removeDatabase(name);
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
}

void TPersistenceManager::RegisterCollection(const TClassInfo& listClass,
                                             const TClassInfo& elementClass) {
    FCollections.push_back({&listClass, &elementClass});
}

void TPersistenceManager::ClearRegistrations() {
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
            {std::make_unique<TDatabaseConnection>(layer->Open(connection, name)), false});
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

TDatabaseConnection* TPersistenceManager::LockDatabase() {
    if (!FLayer)
        throw EPersistenceError(QStringLiteral("Not connected to a database."));
    for (auto& pooled : FPool) {
        if (!pooled.Busy) {
            pooled.Busy = true;
            return pooled.Connection.get();
        }
    }
    const QString name = QStringLiteral("kova_%1").arg(++FConnectionSerial);
    FPool.push_back({std::make_unique<TDatabaseConnection>(FLayer->Open(FParams, name)), true});
    return FPool.back().Connection.get();
}

void TPersistenceManager::UnLockDatabase(TDatabaseConnection* connection) {
    for (auto& pooled : FPool) {
        if (pooled.Connection.get() == connection) {
            connection->Rollback();
            pooled.Busy = false;
        }
    }
}

// ---- Read

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

void bindProperty(TQuery& query, const QString& column, const QVariant& value, TPropKind kind) {
    switch (kind) {
    case TPropKind::Integer:
        query.ParamAsInteger(column, value.toInt());
        break;
    case TPropKind::Double:
        query.ParamAsDouble(column, value.toDouble());
        break;
    default:
        query.ParamAsString(column, value.toString());
        break;
    }
}

TPropKind kindOf(const TClassInfo& cls, const QString& path) {
    if (path.contains(QLatin1Char('.')))
        return TPropKind::String;
    const TPropInfo* prop = cls.FindProp(path);
    if (!prop)
        throw EPersistenceError(
            QStringLiteral("Property %1 not found in class %2").arg(path, QLatin1String(cls.Name)));
    return prop->Kind;
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

} // namespace

void TPersistenceManager::loadList(TDatabaseConnection& conn, TPersistentList& list,
                                   const TClassInfo& elementClass) {
    const std::vector<TMapping>* mappings = MappingsOf(elementClass);
    if (!mappings || mappings->empty() || !elementClass.Create)
        throw EPersistenceError(
            QStringLiteral("Class %1 is not registered").arg(QLatin1String(elementClass.Name)));
    QStringList conditions;
    for (const TMapping& m : *mappings)
        if (m.Keys & pktFK)
            conditions << m.Column + QStringLiteral(" = :") + m.Column;
    QString sql = QStringLiteral("select * from ") + mappings->front().Table;
    if (!conditions.isEmpty())
        sql += QStringLiteral(" where ") + conditions.join(QStringLiteral(" and "));

    auto query = conn.CreateQuery();
    query->SetSQL(sql);
    for (const TMapping& m : *mappings)
        if (m.Keys & pktFK)
            query->ParamAsString(m.Column, list.OID());
    query->Open();
    while (!query->Eof()) {
        TPersistentObject* element = elementClass.Create();
        for (const TMapping& m : *mappings) {
            if (m.Keys & pktFK)
                continue;
            const TPropKind kind =
                (m.Keys & pktDB) ? TPropKind::String : kindOf(elementClass, m.Path);
            element->SetPropValue(m.Path, columnValue(query->Field(m.Column), kind));
        }
        list.Add(element);
        element->SetObjectState(posClean);
        query->Next();
    }
    query->Close();
}

void TPersistenceManager::ReadObject(TPersistentObject& root) {
    TDatabaseLock conn;
    conn->StartTransaction();
    std::vector<TPersistentObject*> visited;
    std::function<void(TPersistentObject&)> walk = [&](TPersistentObject& object) {
        visited.push_back(&object);
        if (auto* list = dynamic_cast<TPersistentList*>(&object)) {
            const TClassInfo* element = collectionElement(list->Class());
            if (element && (list->ObjectState() == posEmpty || list->ObjectState() == posPK))
                loadList(*conn, *list, *element);
        }
        for (TPersistentObject* child : object.OwnedObjects())
            walk(*child);
    };
    walk(root);
    conn->Commit();
    for (TPersistentObject* object : visited)
        object->SetObjectState(posClean);
}

// ---- Save

void TPersistenceManager::SaveObject(TPersistentObject& root) {
    std::vector<TPersistentObject*> preOrder, postOrder;
    collectPreOrder(root, preOrder);
    collectPostOrder(root, postOrder);

    TDatabaseLock conn;
    conn->StartTransaction();
    std::vector<TPersistentObject*> acted;
    auto query = conn->CreateQuery();

    for (TPersistentObject* object : postOrder) {
        const auto* mappings = MappingsOf(object->Class());
        if (!mappings || object->ObjectState() != posDelete)
            continue;
        QString key;
        for (const TMapping& m : *mappings)
            if (m.Keys & pktDB)
                key = m.Column;
        query->SetSQL(
            QStringLiteral("delete from %1 where %2 =:%2").arg(mappings->front().Table, key));
        query->ParamAsString(key, object->OID());
        query->ExecSQL();
        acted.push_back(object);
    }

    for (TPersistentObject* object : preOrder) {
        const auto* mappings = MappingsOf(object->Class());
        if (!mappings || object->ObjectState() != posUpdate)
            continue;
        QStringList sets;
        QString key;
        for (const TMapping& m : *mappings) {
            if (m.Keys & pktDB)
                key = m.Column;
            else if (!(m.Keys & pktFK))
                sets << m.Column + QStringLiteral(" =:") + m.Column;
        }
        query->SetSQL(QStringLiteral("update %1 set %2 where %3 =:%3")
                          .arg(mappings->front().Table, sets.join(QStringLiteral(", ")), key));
        for (const TMapping& m : *mappings) {
            if (m.Keys & pktDB)
                query->ParamAsString(m.Column, object->OID());
            else if (!(m.Keys & pktFK))
                bindProperty(*query, m.Column, object->GetPropValue(m.Path),
                             kindOf(object->Class(), m.Path));
        }
        query->ExecSQL();
        acted.push_back(object);
    }

    for (TPersistentObject* object : preOrder) {
        const auto* mappings = MappingsOf(object->Class());
        if (!mappings || object->ObjectState() != posCreate)
            continue;
        QStringList columns, params;
        for (const TMapping& m : *mappings) {
            columns << m.Column;
            params << QStringLiteral(":") + m.Column;
        }
        query->SetSQL(QStringLiteral("insert into %1 (%2) values (%3)")
                          .arg(mappings->front().Table, columns.join(QStringLiteral(", ")),
                               params.join(QStringLiteral(", "))));
        for (const TMapping& m : *mappings) {
            if (m.Keys & pktDB) {
                query->ParamAsString(m.Column, object->OID());
            } else if (m.Keys & pktFK) {
                if (!object->Owner())
                    throw EPersistenceError(
                        QStringLiteral("Cannot insert an object of class %1 that has no owner")
                            .arg(object->ClassName()));
                query->ParamAsString(m.Column, object->Owner()->OID());
            } else {
                bindProperty(*query, m.Column, object->GetPropValue(m.Path),
                             kindOf(object->Class(), m.Path));
            }
        }
        query->ExecSQL();
        acted.push_back(object);
    }

    query->Close();
    conn->Commit();
    for (TPersistentObject* object : acted)
        object->SetObjectState(object->ObjectState() == posDelete ? posDeleted : posClean);
}
