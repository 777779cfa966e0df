#pragma once

#include "model/Errors.h"
#include "persistence/PersistentObject.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QPair>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>
#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <vector>

// Errors of the persistence layer itself (registrations, connection, transactions).
class EPersistenceError : public Exception {
public:
    using Exception::Exception;
};

// An error the database reported for a statement or a connection.
class EDatabaseError : public Exception {
public:
    EDatabaseError(QString message, int code) : Exception(std::move(message)), FCode(code) {}
    int ErrorCode() const { return FCode; }

private:
    int FCode;
};

enum TPKType { pktDB = 0x1, pktFK = 0x2 };
// A counter other writers move on (a project's next start, advanced by print
// runs on any station): an update keeps the larger of the stored and the new value.
constexpr int colNeverLower = 0x4;

struct TMapping {
    QString Table;
    QString Path; // property path, e.g. "ItemName" or "Owner.OID"
    QString Column;
    int Keys = 0; // TPKType flags
};

using TStatementParams = QList<QPair<QString, QVariant>>;
// Sees every statement the layer runs, with its parameters in binding order.
using TStatementObserver = std::function<void(const QString& sql, const TStatementParams& params)>;

class TDatabaseConnection;

// A statement with named parameters (":name", matched without regard to case)
// on one pooled connection. Setting the same text again keeps the statement
// prepared, so a task runs it many times for the price of one preparation; the
// driver ties a preparation to the transaction it was made in, so a query lives
// no longer than its task's transaction.
class TQuery {
public:
    explicit TQuery(TDatabaseConnection& connection);
    ~TQuery();

    void SetSQL(const QString& sql);
    const QString& SQL() const { return FSQL; }
    void ParamAsString(const QString& name, const QString& value);
    void ParamAsInteger(const QString& name, int value);
    void ParamAsDouble(const QString& name, double value);
    void ParamFromStream(const QString& name, const QByteArray& bytes);
    // The position of a parameter in the statement, for ParamAt; -1 when absent.
    int ParamIndex(const QString& name) const;
    void ParamAt(int index, const QVariant& value);

    // Runs the statement; a select is positioned on its first row.
    void Open();
    void ExecSQL() { Open(); }
    bool Eof() const { return FEof; }
    void Next();
    // The position of a column of the statement's result; fails when it has none.
    // Resolved once per statement, so reading many rows by position costs no lookups.
    int FieldIndex(const QString& name) const;
    QVariant Field(const QString& name) const;
    QVariant FieldAt(int index) const;
    QString FieldAsString(const QString& name) const;
    // The bytes of a blob field; fails when the field is not a blob.
    QByteArray AssignFieldAsStream(const QString& name) const;
    // Ends the current result; the statement stays prepared.
    void Close();
    // Reads the remaining rows into memory and lets go of the connection, so the
    // rows stay readable after the connection went back to the pool. A detached
    // query cannot run again.
    void Detach();

private:
    QVariant value(int index) const;
    void setParam(const QString& name, const QVariant& value);

    TDatabaseConnection* FConnection;
    QString FSQL;
    QString FPositionalSQL;            // placeholders rewritten to "?"
    QStringList FParamNames;           // in order of appearance
    QList<QVariant> FParamValues;      // by position; invalid until set
    std::unique_ptr<QSqlQuery> FQuery; // prepared for FPositionalSQL
    QSqlRecord FRecord;                // the statement's columns, once it ran
    QHash<QString, int> FColumns;      // lower-case column name -> position
    bool FColumnsKnown = false;
    std::vector<QList<QVariant>> FRows; // a detached query's rows
    size_t FRow = 0;
    bool FEof = true;
};

// Where saves run: statements prepared once for the life of a connection and
// executed in transactions of the session's own. Through QIBASE a prepared
// statement belongs to one transaction, so every save would prepare again.
class TWriteSession {
public:
    virtual ~TWriteSession() = default;
    virtual void StartTransaction() = 0;
    virtual void Commit() = 0;
    // Nothing happens when no transaction is open.
    virtual void Rollback() = 0;
    // Runs a statement without a result, "?" placeholders taking the values in
    // order (an invalid or null value is NULL), in the open transaction.
    virtual void Execute(const QString& sql, const QList<QVariant>& values) = 0;
};

class TPersistenceLayer;

// One open connection of the pool.
class TDatabaseConnection {
public:
    TDatabaseConnection(QSqlDatabase db, TPersistenceLayer& layer)
        : FDb(std::move(db)), FLayer(&layer) {}
    ~TDatabaseConnection();

    void StartTransaction();
    void Commit();
    // Rolls back the open transaction, the write session's too.
    void Rollback();
    bool InTransaction() const { return FInTransaction; }
    std::unique_ptr<TQuery> CreateQuery() { return std::make_unique<TQuery>(*this); }
    QSqlDatabase& Database() { return FDb; }
    // The connection's write session, opened on first use.
    TWriteSession& Writes();

private:
    QSqlDatabase FDb;
    TPersistenceLayer* FLayer;
    std::unique_ptr<TWriteSession> FWrites;
    bool FInTransaction = false;
};

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

struct TSavePlan;

class TPersistenceManager {
public:
    TPersistenceManager();
    ~TPersistenceManager();
    TPersistenceManager(const TPersistenceManager&) = delete;
    TPersistenceManager& operator=(const TPersistenceManager&) = delete;

    void RegisterLayer(std::unique_ptr<TPersistenceLayer> layer);
    void RegisterMapping(const TClassInfo& cls, const QString& table, const QString& path,
                         const QString& column, int keys = 0);
    void RegisterCollection(const TClassInfo& listClass, const TClassInfo& elementClass);
    // Forgets mappings and collections (tests register afresh).
    void ClearRegistrations();

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

    void ReadObject(TPersistentObject& root);
    void SaveObject(TPersistentObject& root);

    void SetStatementObserver(TStatementObserver observer) { FObserver = std::move(observer); }
    void NotifyStatement(const QString& sql, const TStatementParams& params) const {
        if (FObserver)
            FObserver(sql, params);
    }
    // The same, with the parameters' names and values in binding order.
    void NotifyStatement(const QString& sql, const QStringList& names,
                         const QList<QVariant>& values) const;

    const std::vector<TMapping>* MappingsOf(const TClassInfo& cls) const;

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

    const TClassInfo* collectionElement(const TClassInfo& listClass) const;
    // The delete (0), update (1) or insert (2) statement of a class with its
    // parameters resolved, made once and kept until the registrations change.
    const TSavePlan& savePlan(const TClassInfo& cls, const std::vector<TMapping>& mappings, int op);

    std::vector<std::unique_ptr<TPersistenceLayer>> FLayers;
    std::vector<std::pair<const TClassInfo*, std::vector<TMapping>>> FMappings;
    std::vector<std::pair<const TClassInfo*, const TClassInfo*>> FCollections;
    TPersistenceLayer* FLayer = nullptr;
    TConnectionParams FParams;
    std::vector<TPooled> FPool;
    int FConnectionSerial = 0;
    TStatementObserver FObserver;
    std::map<std::pair<const TClassInfo*, int>, std::unique_ptr<TSavePlan>> FSavePlans;
};

// The process's persistence manager.
TPersistenceManager& PersistenceManager();

// Holds a pooled connection for one task and gives it back however the task ends.
class TDatabaseLock {
public:
    TDatabaseLock()
        : FConnection(PersistenceManager().LockDatabase()),
          FExceptions(std::uncaught_exceptions()) {}
    ~TDatabaseLock() {
        PersistenceManager().UnLockDatabase(FConnection, std::uncaught_exceptions() > FExceptions);
    }
    TDatabaseLock(const TDatabaseLock&) = delete;
    TDatabaseLock& operator=(const TDatabaseLock&) = delete;
    TDatabaseConnection* operator->() const { return FConnection; }
    TDatabaseConnection& operator*() const { return *FConnection; }

private:
    TDatabaseConnection* FConnection;
    int FExceptions; // unwinding when taken; more when given back means the task failed
};
