#include "persistence/FbLayer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDriver>
#include <QSqlError>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <ibase.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

QSqlDatabase TFbApiLayer::Open(const TConnectionParams& params, const QString& connectionName) {
    const QString lockDir = qEnvironmentVariable("FIREBIRD_LOCK");
    if (!lockDir.isEmpty())
        if (const QString problem = PrepareLockFolder(lockDir); !problem.isEmpty())
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
        const QSqlError error = db.lastError();
        QString text = error.databaseText();
        if (text.isEmpty())
            text = error.text();
        const int code = error.nativeErrorCode().toInt();
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(connectionName);
        throw EDatabaseError(text, code);
    }
    return db;
}

void RegisterFirebirdLayer() {
    PersistenceManager().RegisterLayer(std::make_unique<TFbApiLayer>());
}

void SetupFirebirdEnvironment(const QString& programDir) {
    const QString confDir = QDir(programDir).absoluteFilePath(QStringLiteral("firebird"));
    if (QFileInfo::exists(confDir + QStringLiteral("/firebird.conf")))
        qputenv("FIREBIRD", QFile::encodeName(confDir));
    if (qEnvironmentVariableIsEmpty("FIREBIRD_LOCK"))
        qputenv("FIREBIRD_LOCK", QByteArrayLiteral("/tmp/kova-firebird"));
}

QString PrepareLockFolder(const QString& dir) {
    const QByteArray path = QFile::encodeName(dir);
    struct stat st;
    const bool found = ::lstat(path.constData(), &st) == 0;
    if (!found && errno == ENOENT) {
        // Every user's copy of the program shares the folder; sticky, like /tmp, so
        // that nobody removes another's lock files. Whoever loses a race to create
        // it uses the winner's, checked below.
        QDir().mkpath(QFileInfo(dir).absolutePath());
        if (::mkdir(path.constData(), 01777) == 0)
            ::chmod(path.constData(), 01777);
        else if (errno != EEXIST)
            return QStringLiteral("The Firebird lock folder %1 cannot be created: %2")
                .arg(dir, QString::fromLocal8Bit(std::strerror(errno)));
    } else if (found && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() &&
               (st.st_mode & (S_IWGRP | S_IWOTH)) && !(st.st_mode & S_ISVTX)) {
        // One of ours that earlier versions left open to all without the sticky bit.
        ::chmod(path.constData(), (st.st_mode & 07777) | S_ISVTX);
    }
    if (::lstat(path.constData(), &st) != 0)
        return QStringLiteral("The Firebird lock folder %1 cannot be used: %2")
            .arg(dir, QString::fromLocal8Bit(std::strerror(errno)));
    if (S_ISLNK(st.st_mode))
        return QStringLiteral("The Firebird lock folder %1 is a symbolic link, not a folder")
            .arg(dir);
    if (!S_ISDIR(st.st_mode))
        return QStringLiteral("The Firebird lock folder %1 is not a folder").arg(dir);
    // Whoever owns the folder may remove or replace the lock files in it.
    if (st.st_uid != 0 && st.st_uid != ::geteuid())
        return QStringLiteral("The Firebird lock folder %1 belongs to another user (user id %2); "
                              "it must belong to root or to this user")
            .arg(dir, QString::number(st.st_uid));
    if ((st.st_mode & (S_IWGRP | S_IWOTH)) && !(st.st_mode & S_ISVTX))
        return QStringLiteral("The Firebird lock folder %1 may be changed by other users; it "
                              "must be sticky when others may write to it (mode 1777, like /tmp)")
            .arg(dir);
    if (::access(path.constData(), W_OK | X_OK) != 0)
        return QStringLiteral("The Firebird lock folder %1 is not writable by this user; to "
                              "share it, give it mode 1777 like /tmp")
            .arg(dir);
    return QString();
}

namespace {

QString statusText(const ISC_STATUS* status) {
    QString text;
    char buffer[512];
    const ISC_STATUS* cursor = status;
    while (fb_interpret(buffer, sizeof buffer, &cursor)) {
        if (!text.isEmpty())
            text += QLatin1Char('\n');
        text += QString::fromUtf8(buffer);
    }
    return text;
}

bool statusHas(const ISC_STATUS* status, ISC_STATUS code) {
    for (int i = 0; i < ISC_STATUS_LENGTH - 1 && status[i] != isc_arg_end; i += 2)
        if (status[i] == isc_arg_gds && status[i + 1] == code)
            return true;
    return false;
}

isc_db_handle nativeHandle(TDatabaseConnection& connection) {
    const QVariant handle = connection.Database().driver()->handle();
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
};

} // namespace

TProjectRunLock::TProjectRunLock(const QString& projectOid)
    : FConnection(PersistenceManager().LockDatabase()), FOid(projectOid) {
    try {
        isc_db_handle db = nativeHandle(*FConnection);
        ISC_STATUS_ARRAY status;
        static const char tpb[] = {isc_tpb_version3, isc_tpb_write, isc_tpb_read_committed,
                                   isc_tpb_rec_version, isc_tpb_nowait};
        isc_tr_handle tr = 0;
        if (isc_start_transaction(status, &tr, 1, &db, short(sizeof tpb), tpb))
            throw EDatabaseError(statusText(status), int(isc_sqlcode(status)));
        FTransaction = tr;

        static const char select[] = "select serial_start from P_PROJECT where oid = ? with lock";
        PersistenceManager().NotifyStatement(QString::fromLatin1(select), {{"oid", FOid}});
        TParams in(1);
        in.setText(0, FOid.toUtf8());
        ISC_LONG start = 0;
        short startNull = 0;
        TParams out(1);
        out.setInt(0, &start, &startNull);
        if (isc_dsql_exec_immed2(status, &db, &tr, 0, select, SQL_DIALECT_V6, in.get(),
                                 out.get())) {
            const int code = int(isc_sqlcode(status));
            if (statusHas(status, isc_lock_conflict) || statusHas(status, isc_update_conflict) ||
                statusHas(status, isc_deadlock))
                throw EProjectBusy(statusText(status), code);
            throw EDatabaseError(statusText(status), code);
        }
        if (isc_sqlcode(status) == 100 || status[1] == isc_stream_eof)
            throw EDatabaseError(QStringLiteral("The project is no longer in the database"), 100);
        FStoredStart = startNull ? 0 : int(start);
    } catch (...) {
        Release();
        throw;
    }
}

TProjectRunLock::~TProjectRunLock() {
    Release();
}

void TProjectRunLock::Release() {
    if (FTransaction) {
        ISC_STATUS_ARRAY status;
        isc_tr_handle tr = FTransaction;
        FTransaction = 0;
        isc_rollback_transaction(status, &tr);
    }
    if (FConnection) {
        PersistenceManager().UnLockDatabase(FConnection);
        FConnection = nullptr;
    }
}

void TProjectRunLock::Store(int serialStart, int serialEnd) {
    if (!FTransaction)
        throw EPersistenceError(QStringLiteral("The project is not held by this run"));
    isc_db_handle db = nativeHandle(*FConnection);
    isc_tr_handle tr = FTransaction;
    ISC_STATUS_ARRAY status;
    static const char update[] =
        "update P_PROJECT set serial_start = ?, serial_end = ? where oid = ?";
    PersistenceManager().NotifyStatement(
        QString::fromLatin1(update),
        {{"serial_start", serialStart}, {"serial_end", serialEnd}, {"oid", FOid}});
    ISC_LONG start = serialStart, end = serialEnd;
    short notNull = 0;
    TParams in(3);
    in.setInt(0, &start, &notNull);
    in.setInt(1, &end, &notNull);
    in.setText(2, FOid.toUtf8());
    if (isc_dsql_execute_immediate(status, &db, &tr, 0, update, SQL_DIALECT_V6, in.get()))
        throw EDatabaseError(statusText(status), int(isc_sqlcode(status)));
    if (isc_commit_transaction(status, &tr))
        throw EDatabaseError(statusText(status), int(isc_sqlcode(status)));
    FTransaction = 0;
    Release();
}

namespace {

void (*gOnSignal)(int) = nullptr;

void onTerminationSignal(int signal) {
    if (gOnSignal)
        gOnSignal(signal);
}

// The client library asks before it shuts down on a signal (non-zero refuses);
// the program ends
// itself, in order, once the signal handler has told it to.
int refuseSignalShutdown(const int reason, const int mask, void*) {
    return (mask & fb_shut_confirmation) && reason == fb_shutrsn_signal ? 1 : 0;
}

} // namespace

void InstallTerminationHandling(void (*onSignal)(int)) {
    gOnSignal = onSignal;
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    ISC_STATUS_ARRAY status;
    fb_shutdown_callback(status, refuseSignalShutdown, fb_shut_confirmation, nullptr);
}
