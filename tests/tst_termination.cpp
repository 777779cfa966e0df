// SIGTERM and SIGINT (logout, shutdown, kill, Ctrl+C) end a running copy of the
// program cleanly, whatever it is showing: exit status 0 within two seconds, a
// print run stopped as Stop stops it with its numbering stored, and the database
// free for the next process.
#include "TestSupport.h"

#include "model/bom/SettingBom.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTest>
#include <QThread>

#include <csignal>
#include <memory>
#include <unistd.h>

namespace {

const QString kProject = QStringLiteral("终止");

QString Tool(const char* name) {
    return QStringLiteral(KOVA_BIN_DIR "/") + QLatin1String(name);
}

// The program itself in a folder of its own: it finds its database beside it. A
// hard link where the file system allows, a copy otherwise.
QString InstallProgram(const QString& programDir) {
    const QString target = programDir + QStringLiteral("/KOVA");
    // Not a symbolic link: the program would follow it back to the build's folder.
    if (!QFile::exists(target) &&
        ::link(QFile::encodeName(Tool("KOVA")).constData(),
               QFile::encodeName(target).constData()) != 0 &&
        !QFile::copy(Tool("KOVA"), target))
        qFatal("cannot place the program in %s", qPrintable(programDir));
    return target;
}

} // namespace

class TestTermination : public QObject {
    Q_OBJECT

private slots:
    void endsCleanly_data();
    void endsCleanly();
};

void TestTermination::endsCleanly_data() {
    QTest::addColumn<QString>("program"); // KOVA itself, or kova-scripted with a step
    QTest::addColumn<QString>("step");
    QTest::addColumn<QString>("database"); // ready, unloadable (no settings) or missing
    QTest::addColumn<int>("signal");

    QTest::newRow("KOVA, main window") << "KOVA"
                                       << ""
                                       << "ready" << int(SIGTERM);
    QTest::newRow("KOVA, main window, SIGINT") << "KOVA"
                                               << ""
                                               << "ready" << int(SIGINT);
    QTest::newRow("KOVA, start-up error message open") << "KOVA"
                                                       << ""
                                                       << "unloadable" << int(SIGTERM);
    QTest::newRow("KOVA, connection error message open") << "KOVA"
                                                         << ""
                                                         << "missing" << int(SIGTERM);
    QTest::newRow("main window") << "scripted"
                                 << "idle"
                                 << "ready" << int(SIGTERM);
    QTest::newRow("about box open") << "scripted"
                                    << "about"
                                    << "ready" << int(SIGTERM);
    QTest::newRow("project editor open") << "scripted"
                                         << "project-editor"
                                         << "ready" << int(SIGTERM);
    QTest::newRow("item editor open") << "scripted"
                                      << "item-editor"
                                      << "ready" << int(SIGTERM);
    QTest::newRow("error message open") << "scripted"
                                        << "message"
                                        << "ready" << int(SIGTERM);
    QTest::newRow("print run in progress") << "scripted"
                                           << "print"
                                           << "ready" << int(SIGTERM);
    QTest::newRow("print run in progress, SIGINT") << "scripted"
                                                   << "print"
                                                   << "ready" << int(SIGINT);
}

void TestTermination::endsCleanly() {
    QFETCH(QString, program);
    QFETCH(QString, step);
    QFETCH(QString, database);
    QFETCH(int, signal);

    TestDatabase db;
    const QString oid = TestProject(kProject).page(100, 80).start(1).store(
        {NewItem(itText, 10, 10, 0, 1.2, QStringLiteral("终止测试"), QStringLiteral("text"))});
    if (database == "unloadable")
        db.exec("drop table P_SETTING");
    const QString programDir = ProgramDirFor(db);
    if (database == "missing")
        QVERIFY(QFile::remove(programDir + "/data/KOVAUTF8.FDB"));

    // Embedded attachments carry no process id: KOVA's is the one beyond the test's own.
    const QString attachments =
        QStringLiteral("select count(*) from MON$ATTACHMENTS where MON$SYSTEM_FLAG = 0");
    const int ownAttachments = db.scalar(attachments).toInt();
    QProcess kova;
    kova.setProcessChannelMode(QProcess::SeparateChannels);
    if (program == "KOVA")
        kova.start(InstallProgram(programDir), {});
    else
        kova.start(Tool("kova-scripted"), {programDir, step});
    QVERIFY2(kova.waitForStarted(), qPrintable(kova.errorString()));

    if (program == "KOVA") {
        // KOVA says nothing: it is up once it has attached the database, and its
        // window or message box shows right after.
        QElapsedTimer waited;
        waited.start();
        while (database != "missing" && db.scalar(attachments).toInt() == ownAttachments) {
            QVERIFY2(waited.elapsed() < 60000, "KOVA never attached the database");
            QVERIFY2(kova.state() == QProcess::Running, kova.readAllStandardError().constData());
            QThread::msleep(50);
        }
        QThread::msleep(700);
        QVERIFY2(kova.state() == QProcess::Running, kova.readAllStandardError().constData());
    } else {
        QByteArray out;
        while (!out.contains("ready\n") && kova.waitForReadyRead(60000))
            out += kova.readAllStandardOutput();
        QVERIFY2(out.contains("ready\n"), kova.readAllStandardError().constData());
    }

    ::kill(pid_t(kova.processId()), signal);
    const bool ended = kova.waitForFinished(2000);
    if (!ended) {
        kova.kill();
        kova.waitForFinished();
    }
    const QByteArray err = kova.readAllStandardError();
    QVERIFY2(ended, ("still running 2 s after the signal\n" + err).constData());
    QCOMPARE(kova.exitStatus(), QProcess::NormalExit);
    QVERIFY2(kova.exitCode() == 0, err.constData());

    if (database == "missing")
        return;
    // The next process opens the database and saves to it.
    int exitCode = -1;
    RunTool(Tool("kova-dbclient"), {db.path(), "after", "1"}, &exitCode);
    QCOMPARE(exitCode, 0);
    QCOMPARE(db.scalar("select count(*) from P_PROJECT where project_name = 'after-0'").toInt(), 1);
    if (step == "print") {
        // Stopped as Stop stops: the pages in hand finished, the next start stored.
        const int next =
            db.scalar("select serial_start from P_PROJECT where oid = '" + oid + "'").toInt();
        QVERIFY2(next > 20 && next < 100001, qPrintable(QString::number(next)));
    }
}

QTEST_GUILESS_MAIN(TestTermination)
#include "tst_termination.moc"
