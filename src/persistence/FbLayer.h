#pragma once

#include "persistence/PersistenceManager.h"

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

// Points the embedded engine at the program's own configuration (SuperClassic, so
// several copies can share one database file) and at the lock folder every copy
// shares. Must run before the first connection opens.
void SetupFirebirdEnvironment(const QString& programDir);

// Readies the lock folder (FIREBIRD_LOCK) before a connection opens: a missing one
// is created sticky and world-writable like /tmp, one of this user's that others
// may write to gets the sticky bit. Returns why it may not be used, or an empty
// string. It must be a folder, not a symbolic link, of root or of this user,
// writable by this user, and sticky when others may write to it: nobody else may
// remove or replace the lock files of a database in use. Every connection is
// refused with this text otherwise.
QString PrepareLockFolder(const QString& dir);

// Another run holds the project: its page numbers are taken until that run ends.
class EProjectBusy : public EDatabaseError {
public:
    using EDatabaseError::EDatabaseError;
};

// A project's row held for the length of a print run, so that no other run, in
// this process or another sharing the database, takes the same page numbers.
// It runs its own transaction on a pooled connection: it reads committed data
// and never waits for another holder, so a window never freezes behind
// another station's run. Destroyed without a commit, nothing changes.
class TProjectRunLock {
public:
    // Takes the row and reads the stored start. Throws EProjectBusy when another
    // run holds it, EDatabaseError when the project is gone or the database fails.
    explicit TProjectRunLock(const QString& projectOid);
    ~TProjectRunLock();
    TProjectRunLock(const TProjectRunLock&) = delete;
    TProjectRunLock& operator=(const TProjectRunLock&) = delete;

    QString ProjectOid() const { return FOid; }
    // The start as the database held it when the row was last taken.
    int StoredStart() const { return FStoredStart; }
    // Runs a statement in the lock's transaction; "?" takes the values in order
    // (an int binds as an integer, null as NULL, anything else as text).
    void Execute(const char* sql, const TStatementParams& params);
    // Commits what was done so far and goes on holding the row; false when
    // another run took the row in between (the transaction stays open).
    bool CommitAndHold();
    // Commits, which ends the lock.
    void Commit();
    // Ends the lock without changing anything not yet committed.
    void Release();
    bool Held() const { return FTransaction != 0 && FHeld; }

private:
    int takeRow();
    void commit(bool retaining);

    TDatabaseConnection* FConnection;
    QString FOid;
    unsigned int FTransaction = 0;
    int FStoredStart = 0;
    bool FHeld = true;
    bool FFailed = false; // the connection is checked before its next use
};

// SIGINT and SIGTERM reach the program instead of ending the database engine's
// attachments under it: the Firebird client library's own handling is told
// not to shut down, and `onSignal` runs (in signal context: it may only set a
// flag or write to a pipe). Install before the first connection opens.
void InstallTerminationHandling(void (*onSignal)(int));
