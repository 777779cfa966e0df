#include "persistence/Query.h"

#include "persistence/PersistenceManager.h"

#include <QSqlError>
#include <QSqlField>

QString PositionalSql(const QString& sql, QStringList& names) {
    QString out;
    out.reserve(sql.size());
    QChar quote;
    for (qsizetype i = 0; i < sql.size(); ++i) {
        const QChar c = sql.at(i);
        if (!quote.isNull()) {
            out += c;
            if (c == quote)
                quote = QChar();
            continue;
        }
        if (c == QLatin1Char('\'') || c == QLatin1Char('"')) {
            quote = c;
            out += c;
            continue;
        }
        if (c == QLatin1Char(':') && i + 1 < sql.size() &&
            (sql.at(i + 1).isLetter() || sql.at(i + 1) == QLatin1Char('_'))) {
            qsizetype j = i + 1;
            while (j < sql.size() &&
                   (sql.at(j).isLetterOrNumber() || sql.at(j) == QLatin1Char('_')))
                ++j;
            names << sql.mid(i + 1, j - i - 1);
            out += QLatin1Char('?');
            i = j - 1;
            continue;
        }
        out += c;
    }
    return out;
}

TQuery::TQuery(TDatabaseConnection& connection) : FConnection(&connection) {}
TQuery::~TQuery() = default;

void TQuery::SetSQL(const QString& sql) {
    Close();
    if (sql != FSQL || !FConnection) {
        FQuery.reset();
        FRecord.clear();
        FColumns.clear();
        FColumnsKnown = false;
        FSQL = sql;
        FParamNames.clear();
        FPositionalSQL = PositionalSql(FSQL, FParamNames);
    }
    FParamValues = QList<QVariant>(FParamNames.size());
}

void TQuery::setParam(const QString& name, const QVariant& value) {
    // A name may stand more than once; every place takes the value.
    for (int i = 0; i < FParamNames.size(); ++i)
        if (FParamNames.at(i).compare(name, Qt::CaseInsensitive) == 0)
            FParamValues[i] = value;
}

void TQuery::ParamAsString(const QString& name, const QString& value) {
    setParam(name, value.isNull() ? QString(QLatin1String("")) : value);
}
void TQuery::ParamAsInteger(const QString& name, int value) {
    setParam(name, value);
}
void TQuery::ParamAsDouble(const QString& name, double value) {
    setParam(name, value);
}
void TQuery::ParamFromStream(const QString& name, const QByteArray& bytes) {
    setParam(name, bytes);
}

int TQuery::ParamIndex(const QString& name) const {
    for (int i = 0; i < FParamNames.size(); ++i)
        if (FParamNames.at(i).compare(name, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

void TQuery::ParamAt(int index, const QVariant& value) {
    FParamValues[index] = value;
}

void TQuery::Open() {
    Close();
    if (!FConnection)
        throw EPersistenceError(QStringLiteral("The query is no longer attached to a connection."));
    for (int i = 0; i < FParamNames.size(); ++i)
        if (!FParamValues.at(i).isValid())
            throw EPersistenceError(
                QStringLiteral("Parameter %1 not found").arg(FParamNames.at(i)));
    PersistenceManager().NotifyStatement(FSQL, FParamNames, FParamValues);

    if (!FQuery) {
        auto query = std::make_unique<QSqlQuery>(FConnection->Database());
        query->setForwardOnly(true);
        if (!query->prepare(FPositionalSQL))
            throw EDatabaseError(query->lastError());
        FQuery = std::move(query);
    }
    for (int i = 0; i < FParamValues.size(); ++i)
        FQuery->bindValue(i, FParamValues.at(i));
    if (!FQuery->exec()) {
        const EDatabaseError failure(FQuery->lastError());
        FQuery.reset(); // prepared afresh next time
        throw failure;
    }
    if (!FColumnsKnown) {
        FRecord = FQuery->record();
        for (int i = 0; i < FRecord.count(); ++i)
            FColumns.insert(FRecord.fieldName(i).toLower(), i);
        FColumnsKnown = true;
    }
    FEof = !(FQuery->isSelect() && FQuery->next());
}

void TQuery::Next() {
    if (FEof)
        return;
    if (FQuery)
        FEof = !FQuery->next();
    else
        FEof = ++FRow >= FRows.size();
}

int TQuery::FieldIndex(const QString& name) const {
    const int index = FColumns.value(name.toLower(), -1);
    if (index < 0)
        throw EPersistenceError(QStringLiteral("Field %1 not found").arg(name));
    return index;
}

QVariant TQuery::value(int index) const {
    if (FQuery)
        return FQuery->value(index);
    const auto& row = FRows.at(FRow);
    return index >= 0 && index < row.size() ? row.at(index) : QVariant();
}

QVariant TQuery::Field(const QString& name) const {
    const int index = FieldIndex(name);
    return FEof ? QVariant() : value(index);
}

QVariant TQuery::FieldAt(int index) const {
    return FEof ? QVariant() : value(index);
}

QString TQuery::FieldAsString(const QString& name) const {
    return Field(name).toString();
}

QByteArray TQuery::AssignFieldAsStream(const QString& name) const {
    const int index = FieldIndex(name);
    if (FRecord.field(index).metaType().id() != QMetaType::QByteArray)
        throw EPersistenceError(
            QStringLiteral("Field is not a BLOB error in method AssignFieldAsStream of class %1")
                .arg(QStringLiteral("TQuery")));
    return FEof ? QByteArray() : value(index).toByteArray();
}

void TQuery::Close() {
    if (FQuery && FQuery->isActive())
        FQuery->finish();
    FRows.clear();
    FRow = 0;
    FEof = true;
}

void TQuery::Detach() {
    std::vector<QList<QVariant>> rows;
    if (FQuery) {
        for (bool more = !FEof; more; more = FQuery->next()) {
            QList<QVariant> row;
            row.reserve(FRecord.count());
            for (int i = 0; i < FRecord.count(); ++i)
                row.append(FQuery->value(i));
            rows.push_back(std::move(row));
        }
        FQuery.reset();
    }
    FRows = std::move(rows);
    FRow = 0;
    FEof = FRows.empty();
    FConnection = nullptr;
}
