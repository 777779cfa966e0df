// Start-up of the program: database beside the executable or an installed copy's
// database of the machine, error messages, the application-wide error handler.
#include "TestSupport.h"

#include "PrintMain.h"
#include "model/PrintCommon.h"
#include "view/ABOUT.h"
#include "view/KovaApplication.h"

#include <QDir>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>

namespace {

// Answers the next modal message box and remembers its text.
struct MessageBoxAnswerer {
    QStringList texts;
    void arm() {
        QTimer::singleShot(50, [this] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box) {
                arm();
                return;
            }
            texts << box->text();
            box->button(QMessageBox::Ok)->click();
        });
    }
};

} // namespace

class TestStartup : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { EnsurePersistence(); }
    void missingDatabaseShowsMessageAndEnds_data();
    void missingDatabaseShowsMessageAndEnds();
    void startsWithDatabaseBesideProgram_data();
    void startsWithDatabaseBesideProgram();
    void errorHandlerShowsMessageAndKeepsRunning();
    void windowOpensOnSmallScreen();
};

void TestStartup::missingDatabaseShowsMessageAndEnds_data() {
    QTest::addColumn<QByteArray>("ini");  // kova.ini beside the program; none when empty
    QTest::addColumn<QString>("message"); // how the message starts; %1 the program's folder
    QTest::newRow("no database file")
        << QByteArray()
        << "Cannot connect to database.\nDatabase name:       %1/data/KOVAUTF8.FDB"
           "\nUser name:           SYSDBA\nPersistence layer:";
    // Left unread, it would have the window open on the file beside the program.
    QTest::newRow("a kova.ini the program cannot read")
        << QByteArray("\xff\xfe[\0D\0", 6) << "设置文件 %1/kova.ini 不是 UTF-8 文本";
}

void TestStartup::missingDatabaseShowsMessageAndEnds() {
    QFETCH(QByteArray, ini);
    QFETCH(QString, message);
    QTemporaryDir programDir;
    if (!ini.isEmpty()) {
        QDir(programDir.path()).mkpath("data");
        TestDatabase::copyTemplate(programDir.filePath("data/KOVAUTF8.FDB"));
        QFile file(programDir.filePath("kova.ini"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(ini);
    }
    MessageBoxAnswerer answer;
    answer.arm();
    bool mainWindowShown = false;
    QTimer probe;
    QObject::connect(&probe, &QTimer::timeout, [&] {
        if (PrintMainFrm && PrintMainFrm->isVisible())
            mainWindowShown = true;
    });
    probe.start(10);
    QCOMPARE(RunKova(programDir.path()), 0);
    QCOMPARE(answer.texts.size(), 1);
    QVERIFY2(answer.texts.at(0).startsWith(message.arg(QDir(programDir.path()).absolutePath())),
             qPrintable(answer.texts.at(0)));
    QVERIFY(!mainWindowShown);
    QCOMPARE(PrintMainFrm, nullptr);
    QCOMPARE(PrintModel, nullptr);
}

void TestStartup::startsWithDatabaseBesideProgram_data() {
    QTest::addColumn<QString>("program");   // the program's folder in the temporary one
    QTest::addColumn<QStringList>("files"); // made there (an installed copy's marks)
    QTest::addColumn<QString>("ini");       // its kova.ini, at the path given first
    QTest::addColumn<QString>("database");  // where the database is put and must be found
    QTest::addColumn<QString>("help");
    QTest::newRow("a copy in its own folder") << "" << QStringList() << "" << "data/KOVAUTF8.FDB"
                                              << "help/index.html";
    QFile shipped(KOVA_SOURCE_DIR "/packaging/kova.ini");
    shipped.open(QIODevice::ReadOnly);
    QTest::newRow("an installed copy, the package's kova.ini: the machine's database")
        << "bin" << QStringList{"share/kova/firebird/firebird.conf"}
        << "etc/kova/kova.ini\n" + QString::fromUtf8(shipped.readAll())
        << "var/lib/kova/KOVAUTF8.FDB"
        << "share/kova/help/index.html";
    QTest::newRow("an installed copy reads etc/kova/kova.ini, relative to it")
        << "bin" << QStringList{"share/kova/firebird/firebird.conf"}
        << "etc/kova/kova.ini\n[Database]\nLocation = shared.FDB\n"
        << "etc/kova/shared.FDB"
        << "share/kova/help/index.html";
    QTest::newRow("a bin folder without the installed files is a copy of its own")
        << "bin" << QStringList{"share/firebird.conf"} << ""
        << "bin/data/KOVAUTF8.FDB"
        << "bin/help/index.html";
}

void TestStartup::startsWithDatabaseBesideProgram() {
    QFETCH(QString, program);
    QFETCH(QStringList, files);
    QFETCH(QString, ini);
    QFETCH(QString, database);
    QFETCH(QString, help);
    QTemporaryDir root;
    const QDir top(root.path());
    const QString programDir = top.absoluteFilePath(program);
    top.mkpath(program.isEmpty() ? "." : program);
    for (const QString& file : files) {
        top.mkpath(QFileInfo(file).path());
        QVERIFY(QFile::copy(KOVA_SOURCE_DIR "/db/firebird.conf", top.filePath(file)));
    }
    if (!ini.isEmpty()) {
        const QString path = ini.section('\n', 0, 0);
        top.mkpath(QFileInfo(path).path());
        QFile file(top.filePath(path));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(ini.section('\n', 1).toUtf8());
    }
    top.mkpath(QFileInfo(database).path());
    TestDatabase::copyTemplate(top.filePath(database));
    QCOMPARE(HelpUrl(programDir).toLocalFile(), top.absoluteFilePath(help));
    QString caption;
    QSize size;
    int projects = -1;
    QTimer::singleShot(200, [&] {
        QVERIFY(PrintMainFrm);
        caption = PrintMainFrm->windowTitle();
        size = PrintMainFrm->centralWidget()->size();
        projects = PrintModel ? PrintModel->SettingMgr()->PageSettingList()->Count() : -1;
        QCOMPARE(PrintMainFrm->CurrProject(), nullptr);
        PrintMainFrm->close();
    });
    // Started from elsewhere: only the program's folder decides where the database is.
    QDir::setCurrent(QDir::tempPath());
    QCOMPARE(RunKova(programDir), 0);
    QCOMPARE(caption, QString("KOVA 自定义定位打印 v5.1"));
    QCOMPARE(size, QSize(493, 664));
    QCOMPARE(projects, 10);
}

class Thrower : public QObject {
public:
    bool event(QEvent* e) override {
        if (e->type() == QEvent::User)
            throw EConvertError("'abc' is not a valid integer value");
        if (e->type() == QEvent::User + 1)
            throw EAbort();
        return QObject::event(e);
    }
};

void TestStartup::errorHandlerShowsMessageAndKeepsRunning() {
    Thrower thrower;
    MessageBoxAnswerer answer;
    answer.arm();
    QCoreApplication::postEvent(&thrower, new QEvent(QEvent::Type(QEvent::User + 1)));
    QCoreApplication::postEvent(&thrower, new QEvent(QEvent::User));
    QTRY_COMPARE(answer.texts.size(), 1);
    QCOMPARE(answer.texts.at(0), QString("'abc' is not a valid integer value"));
}

void TestStartup::windowOpensOnSmallScreen() {
    // The screen this test runs on: 1366 x 768 less a 40-pixel panel.
    const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
    QCOMPARE(available, QRect(0, 0, 1366, 728));
    QTemporaryDir programDir;
    QDir(programDir.path()).mkpath("data");
    TestDatabase::copyTemplate(programDir.filePath("data/KOVAUTF8.FDB"));
    QRect window, print;
    QTimer::singleShot(200, [&] {
        QVERIFY(PrintMainFrm);
        window = PrintMainFrm->geometry();
        print = QRect(PrintMainFrm->btnPrint->mapToGlobal(QPoint(0, 0)),
                      PrintMainFrm->btnPrint->size());
        PrintMainFrm->close();
    });
    QCOMPARE(RunKova(programDir.path()), 0);
    // Placed by its frame: a window manager's title bar of about 30 pixels then
    // pushes the window down by that much.
    const int titleBar = 32;
    QVERIFY2(window.top() >= available.top(), qPrintable(QString::number(window.top())));
    QVERIFY2(window.bottom() + titleBar <= available.bottom(),
             qPrintable(QString::number(window.bottom())));
    QVERIFY(available.contains(print.translated(0, titleBar)));
}

int main(int argc, char** argv) {
    // Offscreen, but on a laptop-sized screen with a panel.
    QTemporaryDir screens;
    if (qgetenv("QT_QPA_PLATFORM") == "offscreen") {
        QFile config(screens.filePath("screens.json"));
        config.open(QIODevice::WriteOnly);
        config.write(R"({"screens": [{"name": "laptop", "x": 0, "y": 0, "width": 1366,
                         "height": 728, "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})");
        config.close();
        qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + config.fileName().toUtf8());
    }
    TKovaApplication app(argc, argv);
    TestStartup test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_startup.moc"
