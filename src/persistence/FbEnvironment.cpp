#include "persistence/FbEnvironment.h"

#include "persistence/DatabaseLocation.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
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
    if (!qEnvironmentVariableIsEmpty("FIREBIRD_LOCK"))
        return;
    // An installed copy shares the machine's database with the group kova: the lock
    // folder the package made beside it (setgid, so every member may open the lock
    // files another made), the same for every installed copy.
    if (!InstalledPrefix(programDir).isEmpty())
        qputenv("FIREBIRD_LOCK",
                QFile::encodeName(QFileInfo(DefaultDatabasePath(programDir)).absolutePath() +
                                  QStringLiteral("/.kova-lock")));
    else
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
