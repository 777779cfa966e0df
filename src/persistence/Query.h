#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStringList>
#include <QVariant>
#include <memory>
#include <vector>

class TDatabaseConnection;

// Rewrites ":name" placeholders to "?" outside quoted text and identifiers, and
// reports the names in order of appearance.
QString PositionalSql(const QString& sql, QStringList& names);

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
