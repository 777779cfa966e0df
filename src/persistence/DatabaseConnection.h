#pragma once

#include "base/Errors.h"
#include "persistence/Query.h"

#include <QSqlDatabase>

class QSqlError;
class TPersistenceLayer;

// Errors of the persistence layer itself (registrations, connection, transactions).
class EPersistenceError : public Exception {
public:
    using Exception::Exception;
};

// An error the database reported for a statement or a connection.
class EDatabaseError : public Exception {
public:
    EDatabaseError(QString message, int code) : Exception(std::move(message)), FCode(code) {}
    // As the database worded it, with its SQLCODE.
    explicit EDatabaseError(const QSqlError& error);
    int ErrorCode() const { return FCode; }

private:
    int FCode;
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

// One open connection of the pool and its transactions: the one its queries run
// in and its write session's.
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
