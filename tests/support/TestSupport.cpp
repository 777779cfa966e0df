#include "TestSupport.h"

#include "model/bom/SettingBom.h"
#include "persistence/FbLayer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>

void EnsurePersistence() {
    RegisterBusinessObjects();
    RegisterFirebirdLayer();
}

void TestDatabase::copyTemplate(const QString& path) {
    QFile::remove(path);
    if (!QFile::copy(QStringLiteral(KOVA_TEST_DB_TEMPLATE), path))
        qFatal("cannot copy the test database template to %s", qPrintable(path));
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
}

TestDatabase::TestDatabase() {
    EnsurePersistence();
    FPath = FDir.filePath(QStringLiteral("KOVAUTF8.FDB"));
    copyTemplate(FPath);
    PersistenceManager().ConnectDatabase(FPath, QStringLiteral("SYSDBA"),
                                         QStringLiteral("pinecrest"), QString(),
                                         QStringLiteral("FBAPI"));
}

TestDatabase::~TestDatabase() {
    PersistenceManager().Disconnect();
}

void TestDatabase::exec(const QString& sql) {
    TDatabaseLock conn;
    conn->StartTransaction();
    auto query = conn->CreateQuery();
    query->SetSQL(sql);
    query->ExecSQL();
    query->Close();
    conn->Commit();
}

QVariant TestDatabase::scalar(const QString& sql) {
    TDatabaseLock conn;
    conn->StartTransaction();
    auto query = conn->CreateQuery();
    query->SetSQL(sql);
    query->Open();
    QVariant value;
    if (!query->Eof())
        value = query->FieldAt(0);
    return value;
}

QVariant RecordedStatement::param(const QString& name) const {
    for (const auto& p : params)
        if (p.first.compare(name, Qt::CaseInsensitive) == 0)
            return p.second;
    return QVariant();
}

StatementRecorder::StatementRecorder() {
    PersistenceManager().SetStatementObserver(
        [this](const QString& sql, const TStatementParams& params) {
            statements.append({sql, params});
        });
}

StatementRecorder::~StatementRecorder() {
    PersistenceManager().SetStatementObserver({});
}

QStringList StatementRecorder::sqls() const {
    QStringList list;
    for (const auto& s : statements)
        list << s.normalized();
    return list;
}

QString StoreProject(const QString& name, const QList<TPrintItem*>& items,
                     const std::function<void(TProject&)>& setUp) {
    TProjectList list;
    auto* p = new TProject;
    p->SetProjectName(name);
    if (setUp)
        setUp(*p);
    list.Add(p);
    p->SetDirty(true);
    for (TPrintItem* item : items) {
        p->ItemList()->Add(item);
        item->SetDirty(true);
    }
    p->Save();
    return p->OID();
}

QString ProgramDirFor(const TestDatabase& db) {
    const QString programDir = QFileInfo(db.path()).absolutePath() + QStringLiteral("/prog");
    QDir().mkpath(programDir + QStringLiteral("/data"));
    QFile::link(db.path(), programDir + QStringLiteral("/data/KOVAUTF8.FDB"));
    return programDir;
}
