// The Firebird lock folder every copy of the program shares: made shareable when
// missing, and refused, with the reason, where another user could remove or
// replace the lock files of a database in use.
#include "TestSupport.h"

#include "persistence/FbEnvironment.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr uid_t kNobody = 65534;

// PrepareLockFolder's answer as the given user sees it: in a child process that
// has dropped to that user when it is not root.
QString PrepareAs(uid_t user, const QString& dir) {
    int out[2];
    if (::pipe(out) != 0)
        qFatal("pipe failed");
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(out[0]);
        if (user != 0 &&
            (::setgroups(0, nullptr) != 0 || ::setgid(gid_t(user)) != 0 || ::setuid(user) != 0))
            ::_exit(2);
        const QByteArray answer = ("answer:" + PrepareLockFolder(dir)).toUtf8();
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

QString Mode(const QString& path) {
    struct stat st;
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0)
        return QStringLiteral("missing");
    return QString::number(st.st_mode & 07777, 8);
}

} // namespace

class TestLockFolder : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void preparedOrRefused_data();
    void preparedOrRefused();
    void refusedFolderRefusesTheConnection();

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
    // folder, link (to a folder as made), file, or missing (in the test's folder, or in
    // one writable by all)
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("mode"); // of the folder as made
    QTest::addColumn<bool>("ownedByOther");
    QTest::addColumn<bool>("seenByOther"); // prepared by another user instead of root
    QTest::addColumn<QString>("problem");  // %1 is the folder; empty when it may be used
    QTest::addColumn<QString>("modeAfter");

    const QString owner = QStringLiteral("The Firebird lock folder %1 belongs to another user "
                                         "(user id 65534); it must belong to root or to this user");
    const QString openToAll =
        QStringLiteral("The Firebird lock folder %1 may be changed by other users; it must be "
                       "sticky when others may write to it (mode 1777, like /tmp)");
    QTest::newRow("missing: made sticky and world-writable")
        << "missing" << 0 << false << false << ""
        << "1777";
    QTest::newRow("missing, made by another user: sticky and world-writable")
        << "missing in shared" << 0 << false << true << ""
        << "1777";
    QTest::newRow("missing where another user cannot make it")
        << "missing" << 0 << false << true
        << "The Firebird lock folder %1 cannot be created: Permission denied"
        << "missing";
    QTest::newRow("own folder kept private") << "folder" << 0700 << false << false << ""
                                             << "700";
    QTest::newRow("own folder open to all: made sticky") << "folder" << 0777 << false << false << ""
                                                         << "1777";
    QTest::newRow("own folder open to the group: made sticky")
        << "folder" << 0775 << false << false << ""
        << "1775";
    QTest::newRow("root's shared folder used by another user")
        << "folder" << 01777 << false << true << ""
        << "1777";
    QTest::newRow("root's folder another user cannot write to")
        << "folder" << 0755 << false << true
        << "The Firebird lock folder %1 is not writable by this user; to share it, give it mode "
           "1777 like /tmp"
        << "755";
    QTest::newRow("root's folder open to all without the sticky bit")
        << "folder" << 0777 << false << true << openToAll << "777";
    QTest::newRow("root's folder open to the group without the sticky bit")
        << "folder" << 0775 << false << true << openToAll << "775";
    QTest::newRow("another user's folder") << "folder" << 0755 << true << false << owner << "755";
    QTest::newRow("another user's sticky folder")
        << "folder" << 01777 << true << false << owner << "1777";
    QTest::newRow("symbolic link to a shared folder")
        << "link" << 01777 << false << false
        << "The Firebird lock folder %1 is a symbolic link, not a folder"
        << "777";
    QTest::newRow("symbolic link seen by another user")
        << "link" << 01777 << false << true
        << "The Firebird lock folder %1 is a symbolic link, not a folder"
        << "777";
    QTest::newRow("a file") << "file" << 0666 << false << false
                            << "The Firebird lock folder %1 is not a folder"
                            << "666";
}

void TestLockFolder::preparedOrRefused() {
    QFETCH(QString, kind);
    QFETCH(int, mode);
    QFETCH(bool, ownedByOther);
    QFETCH(bool, seenByOther);
    QFETCH(QString, problem);
    QFETCH(QString, modeAfter);

    QString path = FDir.filePath(QString::fromUtf8(QTest::currentDataTag()).replace(' ', '-'));
    if (kind == "missing in shared") {
        // Inside a folder like /tmp.
        QVERIFY(QDir().mkpath(path));
        QCOMPARE(::chmod(QFile::encodeName(path).constData(), 01777), 0);
        path += QStringLiteral("/lock");
    }
    const QByteArray native = QFile::encodeName(path);
    if (kind == "folder" || kind == "link") {
        const QByteArray folder = kind == "link" ? native + "-target" : native;
        QCOMPARE(::mkdir(folder.constData(), 0700), 0);
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

    const QString answer = PrepareAs(seenByOther ? kNobody : 0, path);
    QCOMPARE(answer, problem.isEmpty() ? QString() : problem.arg(path));
    QCOMPARE(Mode(path), modeAfter);
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
    QVERIFY2(message.endsWith("\r\rMessage:\rThe Firebird lock folder " + link +
                              " is a symbolic link, not a folder"),
             qPrintable(message));
    QVERIFY(message.startsWith("Cannot connect to database. \rDatabase name:       " + database));
}

QTEST_GUILESS_MAIN(TestLockFolder)
#include "tst_lockfolder.moc"
