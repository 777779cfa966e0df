#include "model/manager/ProjectRunLock.h"

TProjectRunLock::TProjectRunLock(const QString& projectOid)
    : FConnection(PersistenceManager().LockDatabase()), FOid(projectOid) {
    try {
        FTransaction = std::make_unique<TFbTransaction>(FConnection->Database());
        FStoredStart = takeRow();
    } catch (...) {
        FFailed = true;
        Release();
        throw;
    }
}

TProjectRunLock::~TProjectRunLock() {
    Release();
}

int TProjectRunLock::takeRow() {
    const std::optional<int> start = FTransaction->SelectInt(
        "select serial_start from P_PROJECT where oid = ? with lock", {{"oid", FOid}});
    if (!start)
        throw EDatabaseError(QStringLiteral("The project is no longer in the database"), 100);
    return *start;
}

void TProjectRunLock::step(const std::function<void(TFbTransaction&)>& work) {
    if (!FTransaction)
        throw EPersistenceError(QStringLiteral("The project is not held by this run"));
    try {
        work(*FTransaction);
    } catch (const EDatabaseError&) {
        FFailed = true;
        throw;
    }
}

void TProjectRunLock::Release() {
    if (FTransaction && !FTransaction->Rollback())
        FFailed = true;
    FTransaction.reset();
    if (FConnection) {
        PersistenceManager().UnLockDatabase(FConnection, FFailed);
        FConnection = nullptr;
    }
}

void TProjectRunLock::Execute(const char* sql, const TStatementParams& params) {
    step([&](TFbTransaction& transaction) { transaction.Execute(sql, params); });
}

bool TProjectRunLock::CommitAndHold() {
    step([](TFbTransaction& transaction) { transaction.CommitRetaining(); });
    // The commit let go of the row; it is taken again at once. Should another
    // run be quicker, it reads what was just committed, so no number is shared.
    try {
        FStoredStart = takeRow();
        FHeld = true;
    } catch (const Exception&) {
        FHeld = false;
    }
    return FHeld;
}

void TProjectRunLock::Commit() {
    step([](TFbTransaction& transaction) { transaction.Commit(); });
    Release();
}
