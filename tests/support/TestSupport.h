#pragma once

#include "persistence/PersistenceManager.h"

#include <QApplication>
#include <QList>
#include <QString>
#include <QTemporaryDir>
#include <QTimer>
#include <QVariant>
#include <functional>

// A fresh database file copied from the schema-made template, connected as the
// program's default database for the fixture's lifetime.
class TestDatabase {
public:
    TestDatabase();
    ~TestDatabase();
    TestDatabase(const TestDatabase&) = delete;
    TestDatabase& operator=(const TestDatabase&) = delete;

    QString path() const { return FPath; }
    // Runs a statement on a connection of the pool and commits it.
    void exec(const QString& sql);
    // The first column of the first row, or an invalid QVariant when no row.
    QVariant scalar(const QString& sql);
    int count(const QString& table) { return scalar("select count(*) from " + table).toInt(); }

    // Copies the template to path (for tests that run their own processes).
    static void copyTemplate(const QString& path);

private:
    QTemporaryDir FDir;
    QString FPath;
};

// Registers the business objects and the Firebird layer once per process.
void EnsurePersistence();

struct RecordedStatement {
    QString sql;
    TStatementParams params;
    // The statement with blanks folded, for exact comparisons.
    QString normalized() const { return sql.simplified(); }
    QVariant param(const QString& name) const;
};

// Records every statement the persistence layer runs while it lives.
class StatementRecorder {
public:
    StatementRecorder();
    ~StatementRecorder();
    QList<RecordedStatement> statements;
    QStringList sqls() const;
};

// Calls action with the next modal window of type T once it is up.
template <class T> void WhenModal(std::function<void(T*)> action) {
    QTimer::singleShot(20, [action] {
        if (auto* window = qobject_cast<T*>(QApplication::activeModalWidget()))
            action(window);
        else
            WhenModal<T>(action);
    });
}
