#include "persistence/ConnectionPool.h"

#include "persistence/PersistenceManager.h"

#include <QCoreApplication>
#include <exception>

void TConnectionPool::RegisterLayer(std::unique_ptr<TPersistenceLayer> layer) {
    for (auto& existing : FLayers)
        if (existing->Name() == layer->Name())
            return;
    FLayers.push_back(std::move(layer));
}

void TConnectionPool::ConnectDatabase(const QString& databaseName, const QString& userName,
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
            cause = QStringLiteral("Error attempting to connect to database.\n%1\nError code: %2")
                        .arg(e.Message())
                        .arg(e.ErrorCode());
    } catch (const Exception& e) {
        cause = e.Message();
    }
    // Nothing of the password, not even its length, goes into a message that is shown
    // on screen and in logs.
    QString message = QStringLiteral("Cannot connect to database.\n"
                                     "Database name:       %1\n"
                                     "User name:           %2\n"
                                     "Persistence layer:   %3")
                          .arg(databaseName, userName, layerName);
    if (!cause.isEmpty())
        message += QStringLiteral("\n\nMessage:\n") + cause;
    throw EPersistenceError(message);
}

void TConnectionPool::Disconnect() {
    FPool.clear();
    FLayer = nullptr;
}

TDatabaseConnection* TConnectionPool::LockDatabase() {
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

void TConnectionPool::UnLockDatabase(TDatabaseConnection* connection, bool failed) {
    for (auto& pooled : FPool) {
        if (pooled.Connection.get() == connection) {
            connection->Rollback();
            pooled.Busy = false;
            pooled.Suspect = failed;
            pooled.Returned.start();
        }
    }
}

TDatabaseLock::TDatabaseLock()
    : FConnection(PersistenceManager().LockDatabase()), FExceptions(std::uncaught_exceptions()) {}

TDatabaseLock::~TDatabaseLock() {
    PersistenceManager().UnLockDatabase(FConnection, std::uncaught_exceptions() > FExceptions);
}
