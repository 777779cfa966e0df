#include "persistence/SchemaVersion.h"

#include "persistence/PersistenceManager.h"


namespace {

bool TableExists(const QString& table) {
    TDatabaseLock conn;
    conn->StartTransaction();
    auto query = conn->CreateQuery();
    query->SetSQL(QStringLiteral("select count(*) from rdb$relations where rdb$relation_name = :t"));
    query->ParamAsString(QStringLiteral("t"), table);
    query->Open();
    return query->FieldAt(0).toInt() > 0;
}

// Each statement in a transaction of its own: the engine defers metadata work
// to the commit, and an index needs its table committed.
void RunStatements(const QStringList& statements) {
    for (const QString& sql : statements) {
        TDatabaseLock conn;
        TWriteSession& writes = conn->Writes();
        writes.StartTransaction();
        PersistenceManager().NotifyStatement(sql, {});
        writes.Execute(sql, {});
        writes.Commit();
    }
}

// Another station may be making the same table at the same time.
void AddTable(const QString& table, const QStringList& statements) {
    if (TableExists(table))
        return;
    try {
        RunStatements(statements);
    } catch (const EDatabaseError&) {
        // Another station made it first.
        if (!TableExists(table))
            throw;
    }
}

// Version 2: the run ledger.
void AddRunLedger() {
    AddTable(QStringLiteral("P_RUN"),
             {QStringLiteral("CREATE TABLE P_RUN (oid VARCHAR(36) NOT NULL PRIMARY KEY, "
                             "project_id VARCHAR(36), first_page INTEGER, "
                             "last_page INTEGER, pages_asked INTEGER, start_before INTEGER, "
                             "printer VARCHAR(255), station VARCHAR(255), "
                             "user_name VARCHAR(100), process_id INTEGER, "
                             "job_token VARCHAR(64), job_id INTEGER, "
                             "started_at TIMESTAMP, ended_at TIMESTAMP, "
                             "state VARCHAR(20), message VARCHAR(1000), "
                             "reprint VARCHAR(10))"),
              QStringLiteral("CREATE INDEX IX_P_RUN_PROJECT ON P_RUN (project_id)"),
              QStringLiteral("CREATE INDEX IX_P_RUN_STATE ON P_RUN (state)")});
}

// Version 3: projects' data files.
void AddProjectData() {
    AddTable(
        QStringLiteral("P_DATA"),
        {QStringLiteral("CREATE TABLE P_DATA (project_id VARCHAR(36) NOT NULL PRIMARY KEY, "
                        "file_id VARCHAR(36), delimiter VARCHAR(4), header_row VARCHAR(10))")});
}

void RecordVersion(int version) {
    TDatabaseLock conn;
    TWriteSession& writes = conn->Writes();
    writes.StartTransaction();
    static const QString update = QStringLiteral(
        "update P_SETTING set setting_value = ? where setting_name = 'schema_version'");
    writes.Execute(update, {QString::number(version)});
    writes.Commit();
    if (StoredSchemaVersion() >= version)
        return;
    writes.StartTransaction();
    writes.Execute(QStringLiteral("insert into P_SETTING (oid, setting_name, setting_value) "
                                  "values (?, 'schema_version', ?)"),
                   {NewOID(),
                    QString::number(version)});
    writes.Commit();
}

} // namespace

int StoredSchemaVersion() {
    TDatabaseLock conn;
    conn->StartTransaction();
    auto query = conn->CreateQuery();
    query->SetSQL(QStringLiteral(
        "select setting_value from P_SETTING where setting_name = 'schema_version'"));
    int version = 1;
    for (query->Open(); !query->Eof(); query->Next())
        version = qMax(version, query->FieldAt(0).toString().toInt());
    return version;
}

void UpdateSchema() {
    if (StoredSchemaVersion() >= kSchemaVersion)
        return;
    AddRunLedger();
    AddProjectData();
    RecordVersion(kSchemaVersion);
}
