#pragma once

#include "persistence/FbLayer.h"

#include <functional>
#include <memory>

// Another run holds the project: its page numbers are taken until that run ends.
using EProjectBusy = ELockConflict;

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
    bool Held() const { return FTransaction && FHeld; }

private:
    int takeRow();
    // Runs a step of the lock's transaction; one that fails may have lost the
    // connection, which is then checked before its next use.
    void step(const std::function<void(TFbTransaction&)>& work);

    TDatabaseConnection* FConnection;
    QString FOid;
    std::unique_ptr<TFbTransaction> FTransaction; // null once ended
    int FStoredStart = 0;
    bool FHeld = true;
    bool FFailed = false; // the connection is checked before its next use
};
