#include "persistence/FbLayer.h"

#include "persistence/FbEnvironment.h"

#include <QSqlDriver>
#include <QSqlError>
#include <algorithm>
#include <ibase.h>
#include <type_traits>
#include <unordered_map>
#include <vector>

// The header keeps the handles without the client library's own header.
static_assert(std::is_same_v<isc_tr_handle, unsigned int> &&
              std::is_same_v<isc_db_handle, unsigned int>);

QSqlDatabase TFbApiLayer::Open(const TConnectionParams& params, const QString& connectionName) {
    if (const QString problem = ReadyLockFolder(params.DatabaseName); !problem.isEmpty())
        throw EPersistenceError(problem);
    if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QIBASE")))
        throw Exception(
            QStringLiteral("Unable to load the Firebird client library libfbclient.so.2"));
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QIBASE"), connectionName);
    db.setDatabaseName(params.DatabaseName);
    db.setUserName(params.UserName);
    db.setPassword(params.Password);
    // The driver always connects with character set UTF8 and SQL dialect 3.
    if (!db.open()) {
        const EDatabaseError failure(db.lastError());
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(connectionName);
        throw failure;
    }
    return db;
}

void RegisterFirebirdLayer() {
    PersistenceManager().RegisterLayer(std::make_unique<TFbApiLayer>());
}

namespace {

QString statusText(const ISC_STATUS* status,
                   QLatin1StringView separator = QLatin1StringView("\n")) {
    QString text;
    char buffer[512];
    const ISC_STATUS* cursor = status;
    while (fb_interpret(buffer, sizeof buffer, &cursor)) {
        if (!text.isEmpty())
            text += separator;
        text += QString::fromUtf8(buffer);
    }
    return text;
}

// Worded as QIBASE words a failed statement, which is what callers look for.
[[noreturn]] void throwStatus(const ISC_STATUS* status) {
    throw EDatabaseError(statusText(status, QLatin1StringView(" - ")), int(isc_sqlcode(status)));
}

bool statusHas(const ISC_STATUS* status, ISC_STATUS code) {
    for (int i = 0; i < ISC_STATUS_LENGTH - 1 && status[i] != isc_arg_end; i += 2)
        if (status[i] == isc_arg_gds && status[i + 1] == code)
            return true;
    return false;
}

isc_db_handle nativeHandle(QSqlDatabase& db) {
    const QVariant handle = db.driver()->handle();
    // The driver hands out the attachment handle itself (an unsigned int here).
    if (!handle.isValid() || handle.metaType() != QMetaType::fromType<isc_db_handle>())
        throw EPersistenceError(QStringLiteral("The database connection is not a Firebird one"));
    return *static_cast<const isc_db_handle*>(handle.constData());
}

// Parameters of one statement: text and integers, bound in order.
class TParams {
public:
    explicit TParams(int count)
        : FStorage(XSQLDA_LENGTH(count)), FSqlda(reinterpret_cast<XSQLDA*>(FStorage.data())) {
        FSqlda->version = SQLDA_VERSION1;
        FSqlda->sqln = FSqlda->sqld = short(count);
    }
    void setText(int i, const QByteArray& utf8) {
        FTexts.push_back(utf8);
        XSQLVAR& v = FSqlda->sqlvar[i];
        v.sqltype = SQL_TEXT;
        v.sqllen = short(FTexts.back().size());
        v.sqldata = FTexts.back().data();
        v.sqlind = nullptr;
        v.sqlscale = 0;
        v.sqlsubtype = 0;
    }
    // Integers, texts and nulls in order; kept alive as long as the parameters.
    explicit TParams(const TStatementParams& params) : TParams(int(params.size())) {
        FInts.assign(size_t(params.size()), 0);
        FNulls.assign(size_t(params.size()), 0);
        FTexts.reserve(size_t(params.size()));
        for (int i = 0; i < params.size(); ++i) {
            const QVariant& value = params.at(i).second;
            if (value.isNull() || !value.isValid()) {
                FNulls[size_t(i)] = -1;
                setInt(i, &FInts[size_t(i)], &FNulls[size_t(i)]);
            } else if (value.metaType().id() == QMetaType::Int) {
                FInts[size_t(i)] = value.toInt();
                setInt(i, &FInts[size_t(i)], &FNulls[size_t(i)]);
            } else {
                setText(i, value.toString().toUtf8());
            }
        }
    }
    void setInt(int i, ISC_LONG* value, short* null) {
        XSQLVAR& v = FSqlda->sqlvar[i];
        v.sqltype = SQL_LONG + 1;
        v.sqllen = sizeof(ISC_LONG);
        v.sqldata = reinterpret_cast<ISC_SCHAR*>(value);
        v.sqlind = null;
        v.sqlscale = 0;
        v.sqlsubtype = 0;
    }
    XSQLDA* get() { return FSqlda; }

private:
    std::vector<char> FStorage;
    XSQLDA* FSqlda;
    std::vector<QByteArray> FTexts;
    std::vector<ISC_LONG> FInts;
    std::vector<short> FNulls;
};

class TFbWriteSession final : public TWriteSession {
public:
    explicit TFbWriteSession(isc_db_handle db) : FDb(db) {}
    ~TFbWriteSession() override {
        Rollback();
        forgetAll();
    }

    void StartTransaction() override {
        if (FTr)
            throw EPersistenceError(
                QStringLiteral("Attempt to start a transaction but transaction already exists."));
        ISC_STATUS_ARRAY status;
        // No parameter block: the transaction QIBASE starts too (snapshot, waiting on locks).
        if (isc_start_transaction(status, &FTr, 1, &FDb, 0, nullptr)) {
            FTr = 0;
            throwStatus(status);
        }
    }

    void Commit() override {
        if (!FTr)
            throw EPersistenceError(QStringLiteral("Attempt to commit but not in a transaction."));
        ISC_STATUS_ARRAY status;
        // A failed commit leaves the transaction open, for the rollback that follows.
        if (isc_commit_transaction(status, &FTr))
            throwStatus(status);
        FTr = 0;
    }

    void Rollback() override {
        if (!FTr)
            return;
        ISC_STATUS_ARRAY status;
        isc_rollback_transaction(status, &FTr);
        FTr = 0; // a lost attachment took the transaction with it
    }

    void Execute(const QString& sql, const QList<QVariant>& values) override {
        if (!FTr)
            throw EPersistenceError(QStringLiteral("A statement needs an open transaction."));
        TStatement& statement = prepared(sql);
        const qsizetype count = qsizetype(statement.Described.size());
        if (values.size() != count)
            throw EPersistenceError(QStringLiteral("The statement takes %1 parameters, not %2")
                                        .arg(count)
                                        .arg(values.size()));
        XSQLDA* in = statement.In();
        std::vector<TValue> data(size_t(count), TValue{});
        std::vector<short> nulls(size_t(count), 0);
        std::vector<QByteArray> texts(static_cast<size_t>(count));
        ISC_STATUS_ARRAY status;
        for (qsizetype i = 0; i < count; ++i) {
            const XSQLVAR& described = statement.Described[size_t(i)];
            XSQLVAR& v = in->sqlvar[i];
            const QVariant& value = values.at(i);
            v.sqlind = &nulls[size_t(i)];
            v.sqlscale = 0;
            v.sqlsubtype = 0;
            const int type = described.sqltype & ~1;
            QByteArray& text = texts[size_t(i)];
            if (!value.isValid() || value.isNull()) {
                nulls[size_t(i)] = -1;
                v.sqltype = SQL_TEXT + 1;
                v.sqllen = 0;
                v.sqldata = text.data();
                continue;
            }
            if (type == SQL_BLOB) {
                text = value.metaType().id() == QMetaType::QByteArray ? value.toByteArray()
                                                                      : value.toString().toUtf8();
                createBlob(text, data[size_t(i)].Blob);
                v.sqltype = SQL_BLOB + 1;
                v.sqllen = sizeof(ISC_QUAD);
                v.sqlsubtype = described.sqlsubtype;
                v.sqldata = reinterpret_cast<ISC_SCHAR*>(&data[size_t(i)].Blob);
                continue;
            }
            const int kind = value.metaType().id();
            const bool numberColumn = type == SQL_SHORT || type == SQL_LONG || type == SQL_INT64 ||
                                      type == SQL_FLOAT || type == SQL_DOUBLE ||
                                      type == SQL_D_FLOAT;
            if (numberColumn &&
                (kind == QMetaType::Int || kind == QMetaType::UInt || kind == QMetaType::LongLong ||
                 kind == QMetaType::Short || kind == QMetaType::UShort)) {
                // The server scales it and checks it fits the column.
                data[size_t(i)].Int = value.toLongLong();
                v.sqltype = SQL_INT64 + 1;
                v.sqllen = sizeof(ISC_INT64);
                v.sqldata = reinterpret_cast<ISC_SCHAR*>(&data[size_t(i)].Int);
            } else if (numberColumn && (kind == QMetaType::Double || kind == QMetaType::Float)) {
                data[size_t(i)].Real = value.toDouble();
                v.sqltype = SQL_DOUBLE + 1;
                v.sqllen = sizeof(double);
                v.sqldata = reinterpret_cast<ISC_SCHAR*>(&data[size_t(i)].Real);
            } else {
                // Text columns take the value's own text, as QIBASE wrote it; other
                // columns convert the text, refusing what is not a number or date.
                text =
                    kind == QMetaType::QByteArray ? value.toByteArray() : value.toString().toUtf8();
                clipUtf8(text);
                v.sqltype = SQL_TEXT + 1;
                v.sqllen = short(text.size());
                if (type == SQL_TEXT || type == SQL_VARYING)
                    v.sqlsubtype = described.sqlsubtype;
                v.sqldata = text.data();
            }
        }
        if (isc_dsql_execute(status, &FTr, &statement.Handle, SQL_DIALECT_V6, in)) {
            // Prepared afresh next time, in case what it stood on changed.
            forget(sql);
            throwStatus(status);
        }
    }

private:
    union TValue {
        ISC_INT64 Int;
        double Real;
        ISC_QUAD Blob;
    };

    struct TStatement {
        isc_stmt_handle Handle = 0;
        std::vector<char> Storage; // the parameters' XSQLDA
        std::vector<XSQLVAR> Described;
        XSQLDA* In() {
            return Described.empty() ? nullptr : reinterpret_cast<XSQLDA*>(Storage.data());
        }
    };

    // Enough for every save statement of every class, many times over.
    static constexpr size_t MaxStatements = 64;

    TStatement& prepared(const QString& sql) {
        if (auto it = FStatements.find(sql); it != FStatements.end())
            return *it->second;
        if (FStatements.size() >= MaxStatements)
            forgetAll();
        auto statement = std::make_unique<TStatement>();
        ISC_STATUS_ARRAY status;
        if (isc_dsql_allocate_statement(status, &FDb, &statement->Handle))
            throwStatus(status);
        const QByteArray text = sql.toUtf8();
        XSQLDA* in = describeSpace(*statement, 40);
        if (isc_dsql_prepare(status, &FTr, &statement->Handle, 0, text.constData(), SQL_DIALECT_V6,
                             nullptr) ||
            isc_dsql_describe_bind(status, &statement->Handle, SQL_DIALECT_V6, in) ||
            (in->sqld > in->sqln &&
             isc_dsql_describe_bind(status, &statement->Handle, SQL_DIALECT_V6,
                                    in = describeSpace(*statement, in->sqld)))) {
            ISC_STATUS_ARRAY ignored;
            isc_dsql_free_statement(ignored, &statement->Handle, DSQL_drop);
            throwStatus(status);
        }
        statement->Described.assign(in->sqlvar, in->sqlvar + in->sqld);
        in->sqld = in->sqln = short(statement->Described.size());
        return *FStatements.emplace(sql, std::move(statement)).first->second;
    }

    static XSQLDA* describeSpace(TStatement& statement, short count) {
        statement.Storage.assign(XSQLDA_LENGTH(count), 0);
        auto* in = reinterpret_cast<XSQLDA*>(statement.Storage.data());
        in->version = SQLDA_VERSION1;
        in->sqln = count;
        return in;
    }

    void forget(const QString& sql) {
        if (auto it = FStatements.find(sql); it != FStatements.end()) {
            ISC_STATUS_ARRAY status;
            isc_dsql_free_statement(status, &it->second->Handle, DSQL_drop);
            FStatements.erase(it);
        }
    }

    void forgetAll() {
        for (auto& [sql, statement] : FStatements) {
            ISC_STATUS_ARRAY status;
            isc_dsql_free_statement(status, &statement->Handle, DSQL_drop);
        }
        FStatements.clear();
    }

    // A text parameter holds at most 32 767 bytes; the server reports what the
    // column cannot take, so only the cut must fall between characters.
    static void clipUtf8(QByteArray& text) {
        constexpr qsizetype Limit = 32767;
        if (text.size() <= Limit)
            return;
        qsizetype end = Limit;
        while (end > 0 && (uchar(text.at(end)) & 0xC0) == 0x80)
            --end;
        text.truncate(end);
    }

    void createBlob(const QByteArray& bytes, ISC_QUAD& id) {
        ISC_STATUS_ARRAY status;
        isc_blob_handle blob = 0;
        if (isc_create_blob2(status, &FDb, &FTr, &blob, &id, 0, nullptr))
            throwStatus(status);
        for (qsizetype at = 0; at < bytes.size();) {
            const unsigned short part =
                static_cast<unsigned short>(std::min<qsizetype>(bytes.size() - at, 32768));
            if (isc_put_segment(status, &blob, part, bytes.constData() + at)) {
                ISC_STATUS_ARRAY ignored;
                isc_cancel_blob(ignored, &blob);
                throwStatus(status);
            }
            at += part;
        }
        if (isc_close_blob(status, &blob))
            throwStatus(status);
    }

    isc_db_handle FDb;
    isc_tr_handle FTr = 0;
    std::unordered_map<QString, std::unique_ptr<TStatement>> FStatements;
};

} // namespace

std::unique_ptr<TWriteSession> TFbApiLayer::OpenWriteSession(QSqlDatabase& db) {
    return std::make_unique<TFbWriteSession>(nativeHandle(db));
}

bool TFbApiLayer::Alive(QSqlDatabase& db) {
    if (!db.isOpen())
        return false;
    isc_db_handle handle = nativeHandle(db);
    ISC_STATUS_ARRAY status;
    return handle && fb_ping(status, &handle) == 0;
}

namespace {

// A row another transaction holds is told apart from other failures.
[[noreturn]] void throwTransactionStatus(const ISC_STATUS* status) {
    const int code = int(isc_sqlcode(status));
    if (statusHas(status, isc_lock_conflict) || statusHas(status, isc_update_conflict) ||
        statusHas(status, isc_deadlock))
        throw ELockConflict(statusText(status), code);
    throw EDatabaseError(statusText(status), code);
}

} // namespace

TFbTransaction::TFbTransaction(QSqlDatabase& db) : FDb(nativeHandle(db)) {
    ISC_STATUS_ARRAY status;
    static const char tpb[] = {isc_tpb_version3, isc_tpb_write, isc_tpb_read_committed,
                               isc_tpb_rec_version, isc_tpb_nowait};
    if (isc_start_transaction(status, &FTr, 1, &FDb, short(sizeof tpb), tpb)) {
        FTr = 0;
        throwTransactionStatus(status);
    }
}

void TFbTransaction::Execute(const char* sql, const TStatementParams& params) {
    PersistenceManager().NotifyStatement(QString::fromLatin1(sql), params);
    TParams in(params);
    ISC_STATUS_ARRAY status;
    if (isc_dsql_execute_immediate(status, &FDb, &FTr, 0, sql, SQL_DIALECT_V6,
                                   params.isEmpty() ? nullptr : in.get()))
        throwTransactionStatus(status);
}

std::optional<int> TFbTransaction::SelectInt(const char* sql, const TStatementParams& params) {
    PersistenceManager().NotifyStatement(QString::fromLatin1(sql), params);
    TParams in(params);
    ISC_LONG value = 0;
    short null = 0;
    TParams out(1);
    out.setInt(0, &value, &null);
    ISC_STATUS_ARRAY status;
    if (isc_dsql_exec_immed2(status, &FDb, &FTr, 0, sql, SQL_DIALECT_V6, in.get(), out.get()))
        throwTransactionStatus(status);
    if (isc_sqlcode(status) == 100 || status[1] == isc_stream_eof)
        return std::nullopt;
    return null ? 0 : int(value);
}

void TFbTransaction::CommitRetaining() {
    ISC_STATUS_ARRAY status;
    if (isc_commit_retaining(status, &FTr))
        throwTransactionStatus(status);
}

void TFbTransaction::Commit() {
    ISC_STATUS_ARRAY status;
    if (isc_commit_transaction(status, &FTr))
        throwTransactionStatus(status);
    FTr = 0;
}

bool TFbTransaction::Rollback() {
    if (!FTr)
        return true;
    isc_tr_handle tr = FTr;
    FTr = 0;
    ISC_STATUS_ARRAY status;
    return isc_rollback_transaction(status, &tr) == 0;
}
