#pragma once

#include "persistence/DatabaseConnection.h"

#include <QElapsedTimer>
#include <memory>
#include <vector>

struct TConnectionParams {
    QString DatabaseName, UserName, Password, Params;
};

// A way of reaching a database, registered under a name ("FBAPI").
class TPersistenceLayer {
public:
    virtual ~TPersistenceLayer() = default;
    virtual QString Name() const = 0;
    // Opens one connection; throws EDatabaseError or Exception on failure.
    virtual QSqlDatabase Open(const TConnectionParams& params, const QString& connectionName) = 0;
    // The write session of a connection this layer opened.
    virtual std::unique_ptr<TWriteSession> OpenWriteSession(QSqlDatabase& db) = 0;
    // Whether a connection this layer opened still reaches its database.
    virtual bool Alive(QSqlDatabase& db) = 0;
};

// The connections to the one database the program is connected to, through the
// layer it was connected with.
class TConnectionPool {
public:
    void RegisterLayer(std::unique_ptr<TPersistenceLayer> layer);

    void ConnectDatabase(const QString& databaseName, const QString& userName,
                         const QString& password, const QString& params, const QString& layerName);
    void Disconnect();
    bool Connected() const { return FLayer != nullptr; }

    // A free connection of the pool, or a new one. One whose last task failed,
    // or that sat unused for a while, is checked first and replaced when it no
    // longer reaches the database: a restarted server is simply reached again.
    TDatabaseConnection* LockDatabase();
    // Gives the connection back; an open transaction on it is rolled back.
    // `failed`: its task ended in an error, which may have been a lost connection.
    void UnLockDatabase(TDatabaseConnection* connection, bool failed = false);

private:
    struct TPooled {
        TPooled(std::unique_ptr<TDatabaseConnection> connection, bool busy)
            : Connection(std::move(connection)), Busy(busy) {
            Returned.start();
        }
        std::unique_ptr<TDatabaseConnection> Connection;
        bool Busy = false;
        bool Suspect = false;   // its last task failed
        QElapsedTimer Returned; // since it was last given back
    };

    std::vector<std::unique_ptr<TPersistenceLayer>> FLayers;
    TPersistenceLayer* FLayer = nullptr;
    TConnectionParams FParams;
    std::vector<TPooled> FPool;
    int FConnectionSerial = 0;
};

// Holds a pooled connection for one task and gives it back however the task ends.
class TDatabaseLock {
public:
    TDatabaseLock();
    ~TDatabaseLock();
    TDatabaseLock(const TDatabaseLock&) = delete;
    TDatabaseLock& operator=(const TDatabaseLock&) = delete;
    TDatabaseConnection* operator->() const { return FConnection; }
    TDatabaseConnection& operator*() const { return *FConnection; }

private:
    TDatabaseConnection* FConnection;
    int FExceptions; // unwinding when taken; more when given back means the task failed
};
