#include "persistence/DatabaseConnection.h"

#include "persistence/ConnectionPool.h"

#include <QSqlError>

EDatabaseError::EDatabaseError(const QSqlError& error)
    : EDatabaseError(error.databaseText().isEmpty() ? error.text() : error.databaseText(),
                     error.nativeErrorCode().toInt()) {}

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
        throw EDatabaseError(FDb.lastError());
    FInTransaction = true;
}

void TDatabaseConnection::Commit() {
    if (!FInTransaction)
        throw EPersistenceError(QStringLiteral("Attempt to commit but not in a transaction."));
    if (!FDb.commit())
        throw EDatabaseError(FDb.lastError());
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
