#include "persistence/FbEnvironment.h"

#include "persistence/DatabaseLocation.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <ibase.h>
#include <sys/stat.h>
#include <unistd.h>

void SetupFirebirdEnvironment(const QString& programDir) {
    const QString confDir = QDir(ProgramDataDir(programDir)).absoluteFilePath(QStringLiteral("firebird"));
    if (QFileInfo::exists(confDir + QStringLiteral("/firebird.conf")))
        qputenv("FIREBIRD", QFile::encodeName(confDir));
}

QString LockFolderFor(const QString& databaseFile) {
    return QFileInfo(databaseFile).absolutePath() + QStringLiteral("/.kova-lock");
}

namespace {

QString errnoText() {
    return QString::fromLocal8Bit(std::strerror(errno));
}

// Creates the folder as its database folder's own: same owner and group, and shared
// with that group only where the folder is (setgid, as a group's database folder is).
QString createLockFolder(const QString& dir) {
    const QByteArray path = QFile::encodeName(dir);
    const QByteArray parent = QFile::encodeName(QFileInfo(dir).absolutePath());
    struct stat up;
    if (::stat(parent.constData(), &up) != 0)
        return QStringLiteral("The Firebird lock folder %1 cannot be created: %2")
            .arg(dir, errnoText());
    const bool shared = up.st_mode & S_ISGID;
    const mode_t mode = shared ? 02770 : 0700;
    if (::mkdir(path.constData(), 0700) != 0) {
        if (errno == EEXIST)
            return QString(); // another copy made it first; checked like any other
        return QStringLiteral("The Firebird lock folder %1 cannot be created: %2")
            .arg(dir, errnoText());
    }
    // Root may hand it to the folder's owner; anyone else gives it the group if it may.
    if (::chown(path.constData(), ::geteuid() == 0 ? up.st_uid : uid_t(-1), up.st_gid) != 0 &&
        ::geteuid() == 0)
        return QStringLiteral(
                   "The Firebird lock folder %1 cannot be given to its folder's owner: %2")
            .arg(dir, errnoText());
    if (::chmod(path.constData(), mode) != 0)
        return QStringLiteral("The Firebird lock folder %1 cannot be created: %2")
            .arg(dir, errnoText());
    return QString();
}

} // namespace

QString PrepareLockFolder(const QString& dir) {
    const QByteArray path = QFile::encodeName(dir);
    struct stat st;
    if (::lstat(path.constData(), &st) != 0 && errno == ENOENT)
        if (const QString problem = createLockFolder(dir); !problem.isEmpty())
            return problem;
    if (::lstat(path.constData(), &st) != 0)
        return QStringLiteral("The Firebird lock folder %1 cannot be used: %2")
            .arg(dir, errnoText());
    if (S_ISLNK(st.st_mode))
        return QStringLiteral("The Firebird lock folder %1 is a symbolic link, not a folder")
            .arg(dir);
    if (!S_ISDIR(st.st_mode))
        return QStringLiteral("The Firebird lock folder %1 is not a folder").arg(dir);
    // Whoever owns the folder may remove or replace the lock files in it.
    struct stat up;
    const bool upKnown =
        ::stat(QFile::encodeName(QFileInfo(dir).absolutePath()).constData(), &up) == 0;
    if (st.st_uid != 0 && st.st_uid != ::geteuid() && !(upKnown && st.st_uid == up.st_uid))
        return QStringLiteral("The Firebird lock folder %1 belongs to another user (user id %2); "
                              "it must belong to root, to this user or to the owner of the "
                              "database's folder")
            .arg(dir, QString::number(st.st_uid));
    if (st.st_mode & S_IWOTH)
        return QStringLiteral("The Firebird lock folder %1 may be changed by any user; it must "
                              "not be writable by others")
            .arg(dir);
    if (::access(path.constData(), W_OK | X_OK) != 0)
        return QStringLiteral("The Firebird lock folder %1 is not writable by this user; to "
                              "share the database, give its folder to a group (setgid) and "
                              "this user that group")
            .arg(dir);
    // A link planted under one of the engine's lock-file names would have the engine
    // create, truncate or chown whatever it points to.
    const QFileInfoList entries = QDir(dir).entryInfoList(QDir::AllEntries | QDir::Hidden |
                                                          QDir::System | QDir::NoDotAndDotDot);
    for (const QFileInfo& entry : entries) {
        struct stat es;
        if (::lstat(QFile::encodeName(entry.absoluteFilePath()).constData(), &es) != 0)
            continue; // gone meanwhile
        if (S_ISLNK(es.st_mode))
            return QStringLiteral("The Firebird lock folder %1 holds a symbolic link, %2; "
                                  "lock files must be files")
                .arg(dir, entry.fileName());
        if (es.st_mode & S_IWOTH)
            return QStringLiteral("The Firebird lock folder %1 holds %2, which any user may "
                                  "change")
                .arg(dir, entry.fileName());
    }
    return QString();
}

namespace {

// Files every live process holds open, as far as this user may see; `hidden` gets
// the users whose processes it may not look into.
QSet<QString> filesHeldOpen(QSet<uid_t>& hidden) {
    QSet<QString> held;
    const QStringList pids = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    for (const QString& pid : pids) {
        if (pid.isEmpty() || !pid.at(0).isDigit())
            continue;
        const QString fdDir = QStringLiteral("/proc/") + pid + QStringLiteral("/fd");
        QDir fds(fdDir);
        if (!fds.isReadable()) {
            struct stat ps;
            if (::stat(QFile::encodeName(QStringLiteral("/proc/") + pid).constData(), &ps) == 0)
                hidden.insert(ps.st_uid);
            continue;
        }
        for (const QString& fd :
             fds.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot))
            held.insert(QFile::symLinkTarget(fdDir + QLatin1Char('/') + fd));
    }
    return held;
}

// The engine's trace configuration files (fb_trace_XXXXXX) are removed by the last
// process that detaches; a killed one leaves its own behind. One no process holds
// open any more is left over. Files of a user whose processes this user cannot see
// may still be in use and stay.
void removeLeftoverTraceFiles(const QString& dir) {
    const QStringList traces =
        QDir(dir).entryList({QStringLiteral("fb_trace_*")}, QDir::Files | QDir::Hidden);
    if (traces.isEmpty())
        return;
    QSet<uid_t> hidden;
    const QSet<QString> held = filesHeldOpen(hidden);
    for (const QString& name : traces) {
        const QString file = QDir(dir).absoluteFilePath(name);
        struct stat st;
        if (::lstat(QFile::encodeName(file).constData(), &st) != 0 || !S_ISREG(st.st_mode))
            continue;
        if (held.contains(file) || hidden.contains(st.st_uid))
            continue;
        QFile::remove(file);
    }
}

} // namespace

QString ReadyLockFolder(const QString& databaseName) {
    // The folder this process told the engine to use: the engine reads it once.
    static QString chosen;
    QString dir = qEnvironmentVariable("FIREBIRD_LOCK");
    const bool ours = dir.isEmpty() || dir == chosen;
    if (ours) {
        if (IsServerLocation(databaseName))
            return QString(); // the server keeps the locks
        const QString wanted = LockFolderFor(databaseName);
        if (!chosen.isEmpty() && wanted != chosen)
            return QStringLiteral("The Firebird locks of this program are in %1; a database in "
                                  "another folder needs the program started again")
                .arg(chosen);
        dir = wanted;
    }
    if (const QString problem = PrepareLockFolder(dir); !problem.isEmpty())
        return problem;
    static QSet<QString> cleaned;
    if (!cleaned.contains(dir)) {
        cleaned.insert(dir);
        removeLeftoverTraceFiles(dir);
    }
    if (ours && chosen.isEmpty()) {
        qputenv("FIREBIRD_LOCK", QFile::encodeName(dir));
        chosen = dir;
    }
    return QString();
}

namespace {

void (*gOnSignal)(int) = nullptr;

void onTerminationSignal(int signal) {
    if (gOnSignal)
        gOnSignal(signal);
}

// The client library asks before it shuts down on a signal (non-zero refuses);
// the program ends itself, in order, once the signal handler has told it to.
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
