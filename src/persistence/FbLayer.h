#pragma once

#include "persistence/PersistenceManager.h"

#include <optional>

// The Firebird layer, registered as "FBAPI": the embedded engine through libfbclient,
// SQL dialect 3, character set UTF8.
class TFbApiLayer : public TPersistenceLayer {
public:
    QString Name() const override { return QStringLiteral("FBAPI"); }
    QSqlDatabase Open(const TConnectionParams& params, const QString& connectionName) override;
    // Statements prepared through libfbclient itself, which may run in any
    // transaction of the attachment. Errors read as QIBASE words them.
    std::unique_ptr<TWriteSession> OpenWriteSession(QSqlDatabase& db) override;
    // fb_ping: a round trip to a server, a check of the attachment when embedded.
    bool Alive(QSqlDatabase& db) override;
};

void RegisterFirebirdLayer();

// Another transaction holds the row a statement wanted.
class ELockConflict : public EDatabaseError {
public:
    using EDatabaseError::EDatabaseError;
};

// A transaction of its own on a connection's attachment, apart from the one its
// queries run in: it reads committed data and never waits for another holder of
// a row, failing with ELockConflict instead. Statements run as given, "?" taking
// the parameters' values in order (an int binds as an integer, null as NULL,
// anything else as text); the observer sees each. Errors read as the client
// library words them, a line for each part.
class TFbTransaction {
public:
    // Starts it.
    explicit TFbTransaction(QSqlDatabase& db);
    // Rolls back what was not committed.
    ~TFbTransaction() { Rollback(); }
    TFbTransaction(const TFbTransaction&) = delete;
    TFbTransaction& operator=(const TFbTransaction&) = delete;

    void Execute(const char* sql, const TStatementParams& params);
    // A select of one integer column: the value of its one row (0 for NULL),
    // nothing when there is no row.
    std::optional<int> SelectInt(const char* sql, const TStatementParams& params);
    // Commits what was done so far; the transaction goes on.
    void CommitRetaining();
    // Commits and ends it; when that fails it stays open for the rollback.
    void Commit();
    // Ends it without committing; false when the database did not answer.
    bool Rollback();

private:
    unsigned int FDb;     // the attachment's handle
    unsigned int FTr = 0; // 0 once ended
};
