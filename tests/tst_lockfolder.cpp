#include "TestSupport.h"

#include "persistence/FbEnvironment.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <functional>

#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr uid_t kNobody = 65534;

// What `call` answers as the given user: in a child process that has dropped to
// that user (and that user's own group) when it is not root.
QString As(uid_t user, const std::function<QString()>& call) {
    int out[2];
    if (::pipe(out) != 0)
        qFatal("pipe failed");
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(out[0]);
        if (user != 0 &&
            (::setgroups(0, nullptr) != 0 || ::setgid(gid_t(user)) != 0 || ::setuid(user) != 0))
            ::_exit(2);
        const QByteArray answer = ("answer:" + call()).toUtf8();
        if (::write(out[1], answer.constData(), size_t(answer.size())) != answer.size())
            ::_exit(3);
        ::_exit(0);
    }
    ::close(out[1]);
    QByteArray answer;
    char buffer[512];
    ssize_t n;
    while ((n = ::read(out[0], buffer, sizeof buffer)) > 0)
        answer.append(buffer, n);
    ::close(out[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return QStringLiteral("child failed with status %1").arg(status);
    return QString::fromUtf8(answer).mid(7);
}

// Mode, owner and group, as "2770 0:65534"; "missing" when there is nothing.
QString Mode(const QString& path) {
    struct stat st;
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0)
        return QStringLiteral("missing");
    return QStringLiteral("%1 %2:%3")
        .arg(QString::number(st.st_mode & 07777, 8))
        .arg(st.st_uid)
        .arg(st.st_gid);
}

QString KovaPrint() {
    return QStringLiteral(KOVA_BIN_DIR "/kova-print");
}

// kova-print reading the ledger of `database` as the program runs on a station:
// no lock folder given, temp files in `temp`. Its exit code, and its messages.
int ReadLedger(const QString& database, const QString& temp, QString* messages = nullptr) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("FIREBIRD_LOCK"));
    env.insert(QStringLiteral("TMPDIR"), temp);
    p.setProcessEnvironment(env);
    p.start(KovaPrint(), {QStringLiteral("--history"), QStringLiteral("--database"), database});
    p.waitForFinished(120000);
    if (messages)
        *messages = QString::fromUtf8(p.readAllStandardError());
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

} // namespace

class TestLockFolder : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void preparedOrRefused_data();
    void preparedOrRefused();
    void refusedFolderRefusesTheConnection();
    void engineKeepsItsLocksBesideTheDatabase();
    void leftoversOfKilledRunsAreRemoved_data();
    void leftoversOfKilledRunsAreRemoved();
    void newDatabaseIsNotOpenToAll_data();
    void newDatabaseIsNotOpenToAll();

private:
    QTemporaryDir FDir;
};

void TestLockFolder::initTestCase() {
    if (::geteuid() != 0)
        QSKIP("folders of other users can only be made by root");
    // Another user must reach the folders under test.
    QVERIFY(QFile::setPermissions(FDir.path(), QFileDevice::Permissions(0x7755)));
}

void TestLockFolder::preparedOrRefused_data() {
    // folder, link (to a folder as made), file, missing (in the test's folder, or in a
    // group's setgid folder of nobody's group), or a folder holding a planted link or
    // a file open to all
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("mode"); // of the folder as made
    QTest::addColumn<bool>("ownedByOther");
    QTest::addColumn<bool>("seenByOther"); // prepared by another user instead of root
    QTest::addColumn<QString>("problem");  // %1 is the folder; empty when it may be used
    QTest::addColumn<QString>("modeAfter");

    const QString openToAll = QStringLiteral("The Firebird lock folder %1 may be changed by any "
                                             "user; it must not be writable by others");
    QTest::newRow("missing: made private") << "missing" << 0 << false << false << ""
                                           << "700 0:0";
    QTest::newRow("missing in a group's folder: shared with the group")
        << "missing in group" << 0 << false << false << ""
        << "2770 0:65534";
    QTest::newRow("missing in a group's folder, made by a member")
        << "missing in group" << 0 << false << true << ""
        << "2770 65534:65534";
    QTest::newRow("missing where another user cannot make it")
        << "missing" << 0 << false << true
        << "The Firebird lock folder %1 cannot be created: Permission denied"
        << "missing";
    QTest::newRow("own folder kept private") << "folder" << 0700 << false << false << ""
                                             << "700 0:0";
    QTest::newRow("folder open to all")
        << "folder" << 0777 << false << false << openToAll << "777 0:0";
    QTest::newRow("sticky folder open to all, like the temp folder")
        << "folder" << 01777 << false << true << openToAll << "1777 0:0";
    QTest::newRow("root's folder another user cannot write to")
        << "folder" << 0755 << false << true
        << "The Firebird lock folder %1 is not writable by this user; to share the database, "
           "give its folder to a group (setgid) and this user that group"
        << "755 0:0";
    QTest::newRow("another user's folder")
        << "folder" << 0700 << true << false
        << "The Firebird lock folder %1 belongs to another user (user id 65534); it must belong "
           "to root, to this user or to the owner of the database's folder"
        << "700 65534:65534";
    QTest::newRow("symbolic link to a folder")
        << "link" << 0700 << false << false
        << "The Firebird lock folder %1 is a symbolic link, not a folder"
        << "777 0:0";
    QTest::newRow("a file") << "file" << 0600 << false << false
                            << "The Firebird lock folder %1 is not a folder"
                            << "600 0:0";
    QTest::newRow("a link a group member planted under a lock file's name")
        << "planted link" << 02770 << false << false
        << "The Firebird lock folder %1 holds a symbolic link, fb_init; lock files must be files"
        << "2770 0:65534";
    QTest::newRow("a lock file any user may change")
        << "open file" << 0700 << false << false
        << "The Firebird lock folder %1 holds fb_init, which any user may change"
        << "700 0:0";
}

void TestLockFolder::preparedOrRefused() {
    QFETCH(QString, kind);
    QFETCH(int, mode);
    QFETCH(bool, ownedByOther);
    QFETCH(bool, seenByOther);
    QFETCH(QString, problem);
    QFETCH(QString, modeAfter);

    QString path = FDir.filePath(QString::fromUtf8(QTest::currentDataTag()).replace(' ', '-'));
    if (kind == "missing in group") {
        // A database folder shared by nobody's group.
        QVERIFY(QDir().mkpath(path));
        QCOMPARE(::chown(QFile::encodeName(path).constData(), 0, kNobody), 0);
        QCOMPARE(::chmod(QFile::encodeName(path).constData(), 02770), 0);
        path += QStringLiteral("/.kova-lock");
    }
    const QByteArray native = QFile::encodeName(path);
    const QString victim = FDir.filePath("victim");
    if (kind == "folder" || kind == "link" || kind.endsWith("link") || kind == "open file") {
        const QByteArray folder = kind == "link" ? native + "-target" : native;
        QCOMPARE(::mkdir(folder.constData(), 0700), 0);
        if (kind == "planted link")
            QCOMPARE(::chown(folder.constData(), 0, kNobody), 0);
        QCOMPARE(::chmod(folder.constData(), mode_t(mode)), 0);
        if (ownedByOther)
            QCOMPARE(::chown(folder.constData(), kNobody, kNobody), 0);
        if (kind == "link")
            QCOMPARE(::symlink(folder.constData(), native.constData()), 0);
    } else if (kind == "file") {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        QCOMPARE(::chmod(native.constData(), mode_t(mode)), 0);
    }
    if (kind == "planted link") {
        QFile file(victim);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("root's");
        file.close();
        const QString planted = As(kNobody, [&] {
            return ::symlink(QFile::encodeName(victim).constData(), native + "/fb_init") == 0
                       ? QString()
                       : QStringLiteral("no link");
        });
        QCOMPARE(planted, QString());
    } else if (kind == "open file") {
        QFile file(path + "/fb_init");
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        QCOMPARE(::chmod(QFile::encodeName(file.fileName()).constData(), 0666), 0);
    }

    const QString answer = As(seenByOther ? kNobody : 0, [&] { return PrepareLockFolder(path); });
    QCOMPARE(answer, problem.isEmpty() ? QString() : problem.arg(path));
    QCOMPARE(Mode(path), modeAfter);
    if (kind == "planted link")
        QCOMPARE(Mode(victim), QString("644 0:0"));
}

// The program's connection shows the reason; nothing is opened.
void TestLockFolder::refusedFolderRefusesTheConnection() {
    const QString database = FDir.filePath("refused.fdb");
    TestDatabase::copyTemplate(database);
    const QString folder = FDir.filePath("shared-target");
    const QString link = FDir.filePath("shared");
    QVERIFY(QDir().mkpath(folder));
    QVERIFY(QFile::link(folder, link));
    const QByteArray before = qgetenv("FIREBIRD_LOCK");
    qputenv("FIREBIRD_LOCK", QFile::encodeName(link));
    const QString message = ErrorMessage<Exception>([&] {
        EnsurePersistence();
        PersistenceManager().ConnectDatabase(database, "SYSDBA", "pinecrest", "", "FBAPI");
    });
    qputenv("FIREBIRD_LOCK", before);
    QVERIFY2(message.endsWith("\n\nMessage:\nThe Firebird lock folder " + link +
                              " is a symbolic link, not a folder"),
             qPrintable(message));
    QVERIFY(message.startsWith("Cannot connect to database.\nDatabase name:       " + database));
}

// With no lock folder given, the engine keeps a database's locks in .kova-lock
// beside it, private to the folder's owner: no world-writable folder is involved.
void TestLockFolder::engineKeepsItsLocksBesideTheDatabase() {
    QTemporaryDir dir;
    const QString database = dir.filePath("KOVAUTF8.FDB");
    TestDatabase::copyTemplate(database);
    QString messages;
    QCOMPARE(ReadLedger(database, dir.path(), &messages), 0);
    const QString folder = dir.filePath(".kova-lock");
    QCOMPARE(Mode(folder), QString("700 0:0"));
    QVERIFY2(QFile::exists(folder + "/fb_init"),
             qPrintable(QDir(folder).entryList(QDir::AllEntries | QDir::Hidden).join(' ')));
}

// What a killed run left goes at the next start; what a live one holds stays.
void TestLockFolder::leftoversOfKilledRunsAreRemoved_data() {
    QTest::addColumn<QString>("folder"); // "temp" or "lock", the folder beside the database
    QTest::addColumn<QString>("name");   // %1: the process it was made by
    QTest::addColumn<bool>("live");      // that process is alive (and holds it open)
    QTest::addColumn<bool>("removed");
    QTest::newRow("a killed run's job file is removed")
        << "temp"
        << "kova-job-%1-Ab12Cd.pdf" << false << true;
    QTest::newRow("a live run's job file stays") << "temp"
                                                 << "kova-job-%1-Ab12Cd.pdf" << true << false;
    QTest::newRow("a trace file no process holds is removed") << "lock"
                                                              << "fb_trace_a%1" << false << true;
    QTest::newRow("a trace file a live process holds stays") << "lock"
                                                             << "fb_trace_a%1" << true << false;
}

void TestLockFolder::leftoversOfKilledRunsAreRemoved() {
    QFETCH(QString, folder);
    QFETCH(QString, name);
    QFETCH(bool, live);
    QFETCH(bool, removed);
    QTemporaryDir dir;
    const QString database = dir.filePath("KOVAUTF8.FDB");
    TestDatabase::copyTemplate(database);
    const QString temp = dir.filePath("tmp");
    QVERIFY(QDir().mkpath(temp));
    QVERIFY(QDir().mkdir(dir.filePath(".kova-lock"), QFileDevice::Permissions(0x7700)));
    pid_t pid = ::getpid();
    if (!live) {
        pid = ::fork();
        if (pid == 0)
            ::_exit(0);
        ::waitpid(pid, nullptr, 0);
    }
    QFile file(QDir(folder == "temp" ? temp : dir.filePath(".kova-lock")).filePath(name.arg(pid)));
    QVERIFY(file.open(QIODevice::WriteOnly));
    if (!live)
        file.close();
    QCOMPARE(ReadLedger(database, temp), 0);
    QCOMPARE(!QFile::exists(file.fileName()), removed);
}

// The database a script makes is its owner's, or its group's in a setgid folder.
void TestLockFolder::newDatabaseIsNotOpenToAll_data() {
    QTest::addColumn<bool>("groupFolder");
    QTest::addColumn<QString>("mode");
    QTest::newRow("in a private folder: the owner's alone") << false << "600 0:0";
    QTest::newRow("in a group's setgid folder: the group's too") << true << "660 0:65534";
}

void TestLockFolder::newDatabaseIsNotOpenToAll() {
    QFETCH(bool, groupFolder);
    QFETCH(QString, mode);
    QTemporaryDir dir;
    if (groupFolder) {
        QCOMPARE(::chown(QFile::encodeName(dir.path()).constData(), 0, kNobody), 0);
        QCOMPARE(::chmod(QFile::encodeName(dir.path()).constData(), 02770), 0);
    }
    const QString database = dir.filePath("KOVAUTF8.FDB");
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("FIREBIRD_LOCK"));
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(KOVA_SOURCE_DIR "/scripts/create-db"), {database});
    QVERIFY(p.waitForFinished(120000));
    QVERIFY2(p.exitCode() == 0, p.readAllStandardError().constData());
    QCOMPARE(Mode(database), mode);
    QCOMPARE(Mode(dir.filePath(".kova-lock")),
             groupFolder ? QString("2770 0:65534") : QString("700 0:0"));
}

QTEST_GUILESS_MAIN(TestLockFolder)
#include "tst_lockfolder.moc"
