// Several print stations on one Firebird server (the `firebird` fixture,
// scripts/kova-server on a free port of 127.0.0.1 with a user of its own): the
// location settings, one numbering for stations printing at once, and what a
// station sees of the others' changes.
#include "TestSupport.h"

#include "PrintMain.h"
#include "model/PrintCommon.h"
#include "model/PrintModelImpl.h"
#include "model/bom/SettingBom.h"
#include "model/manager/PrintRun.h"
#include "model/manager/RunLedger.h"
#include "persistence/DatabaseLocation.h"

#include <QComboBox>
#include <QDir>
#include <QListWidget>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QtTest>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The fixture's settings file, as a station would have it beside the program.
QString ServerFolder() {
    return QStringLiteral(KOVA_FIREBIRD_SERVER "/root");
}

} // namespace

class TestServer : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void locationSettings_data();
    void locationSettings();
    void stationsPrintingAtOnceNeverShareNumbers();
    void olderLoadedStartAsks_data();
    void olderLoadedStartAsks();
    void otherStationsChangesShow_data();
    void otherStationsChangesShow();
    void stationCarriesOnAfterServerRestart();

private:
    // A project of its own for each test, so that runs of the suite never meet.
    static TestProject ownProject(const QString& name);
    int storedStart(const QString& oid);
    // kova-print as another station: through --database or KOVA_DATABASE.
    QProcess* startStation(const QStringList& args, bool throughEnvironment);
    // Statements run by another client of the server (isql-fb): "%P" stands for `oid`.
    void otherClient(const QString& sql, const QString& oid);
    // This process as a station: its main window, with the server's kova.ini
    // beside the program in programDir. False when it did not open.
    bool openStation(const QTemporaryDir& programDir);
    // The main window's project list entry of a project, or null.
    TProject* listedProject(const QString& oid, int* index = nullptr) const;

    TDatabaseLocation server;
    QTemporaryDir dir;
    TPrintMainFrm* frm = nullptr;
};

void TestServer::initTestCase() {
    EnsurePersistence();
    QVERIFY2(QFileInfo::exists(ServerFolder() + "/kova.ini"),
             "runs against the test Firebird server (ctest fixture firebird)");
    // The one resolver, as every program reads kova.ini.
    server = ResolveDatabaseLocation(ServerFolder());
    QVERIFY2(IsServerLocation(server.Name), qPrintable(server.Name));
    QVERIFY(server.UserName != "SYSDBA" && server.Password != "pinecrest");
}

void TestServer::init() {
    ConnectToDatabase(server);
}

void TestServer::cleanup() {
    delete frm;
    frm = nullptr;
    delete PrintModel;
    PrintModel = nullptr;
    PersistenceManager().Disconnect();
    qunsetenv("KOVA_DATABASE");
}

TestProject TestServer::ownProject(const QString& name) {
    return TestProject(QStringLiteral("%1-%2-%3")
                           .arg(name)
                           .arg(QCoreApplication::applicationPid())
                           .arg(QDateTime::currentMSecsSinceEpoch()))
        .page(100, 80)
        .start(1);
}

int TestServer::storedStart(const QString& oid) {
    TDatabaseLock conn;
    conn->StartTransaction();
    auto query = conn->CreateQuery();
    query->SetSQL("select serial_start from P_PROJECT where oid = :oid");
    query->ParamAsString("oid", oid);
    query->Open();
    return query->Eof() ? -1 : query->FieldAt(0).toInt();
}

QProcess* TestServer::startStation(const QStringList& args, bool throughEnvironment) {
    auto* p = new QProcess(this);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("KOVA_DATABASE_USER", server.UserName);
    env.insert("KOVA_DATABASE_PASSWORD", server.Password);
    QStringList all = args;
    if (throughEnvironment)
        env.insert("KOVA_DATABASE", server.Name);
    else
        all << "--database" << server.Name;
    p->setProcessEnvironment(env);
    p->start(QStringLiteral(KOVA_BIN_DIR "/kova-print"), all);
    return p;
}

void TestServer::otherClient(const QString& sql, const QString& oid) {
    QFile script(dir.filePath("other.sql"));
    QVERIFY(script.open(QIODevice::WriteOnly | QIODevice::Truncate));
    script.write(QString(sql).replace("%P", oid).toUtf8() + ";\ncommit;\n");
    script.close();
    QProcess isql;
    isql.setProcessChannelMode(QProcess::MergedChannels);
    isql.start("isql-fb", {"-q", "-b", "-ch", "UTF8", "-user", server.UserName, "-password",
                           server.Password, "-i", script.fileName(), server.Name});
    QVERIFY(isql.waitForFinished(60000));
    QVERIFY2(isql.exitCode() == 0, isql.readAll().constData());
}

bool TestServer::openStation(const QTemporaryDir& programDir) {
    PersistenceManager().Disconnect();
    if (!QFile::copy(ServerFolder() + "/kova.ini", programDir.filePath("kova.ini")))
        return false;
    frm = OpenMainWindow(programDir.path());
    return frm != nullptr;
}

TProject* TestServer::listedProject(const QString& oid, int* index) const {
    for (int i = 0; i < frm->cbbProjectList->count(); ++i) {
        auto* p = static_cast<TProject*>(frm->cbbProjectList->itemData(i).value<void*>());
        if (p->OID() == oid) {
            if (index)
                *index = i;
            return p;
        }
    }
    return nullptr;
}

// Where each program looks for its database, and what a failure says.
void TestServer::locationSettings_data() {
    QTest::addColumn<QString>("ini");         // kova.ini beside the program; "%S" the server
    QTest::addColumn<QString>("environment"); // KOVA_DATABASE
    QTest::addColumn<QString>("given");       // --database
    QTest::addColumn<QString>("connectsTo");  // empty: the connection fails
    QTest::addColumn<QStringList>("message"); // parts of the failure message, in order

    const QString ini = "; stations\n[Database]\nLocation = %S\nUser = %U\nPassword = %W\n";
    QTest::newRow("nothing set: the file beside the program")
        << ""
        << ""
        << ""
        << "%D/data/KOVAUTF8.FDB" << QStringList();
    QTest::newRow("kova.ini names the server") << ini << ""
                                               << ""
                                               << "%S" << QStringList();
    QTest::newRow("other sections of kova.ini are left alone")
        << "[Window]\nFoo = bar\n" + ini << ""
        << ""
        << "%S" << QStringList();
    QTest::newRow("a relative file in kova.ini lies beside the program")
        << "[Database]\nLocation = data/other.FDB\n"
        << ""
        << ""
        << "%D/data/other.FDB" << QStringList();
    QTest::newRow("KOVA_DATABASE comes before kova.ini")
        << ini << "localhost/1:/nowhere/K.FDB"
        << ""
        << ""
        << QStringList{"Database name:       localhost/1:/nowhere/K.FDB",
                       "Unable to complete network request",
                       "set by the environment variable KOVA_DATABASE."};
    QTest::newRow("--database comes before both") << ini << "localhost/1:/nowhere/K.FDB"
                                                  << "%S"
                                                  << "%S" << QStringList();
    QTest::newRow("a wrong password is refused without a cause, naming the location")
        << "[Database]\nLocation = %S\nUser = %U\nPassword = \"not it\"\n"
        << ""
        << ""
        << ""
        << QStringList{"Database name:       %S",
                       "User name:           %U\nPersistence layer:   FBAPI\n\n"
                       "The location was set by %D/kova.ini."};
    QTest::newRow("a database the server does not have")
        << "[Database]\nLocation = %S.missing\nUser = %U\nPassword = %W\n"
        << ""
        << ""
        << "" << QStringList{"Database name:       %S.missing", "Error code: -902", "%D/kova.ini"};
    QTest::newRow("a mistyped key is refused, not ignored")
        << "[Database]\nLocaton = %S\n"
        << ""
        << ""
        << "" << QStringList{"%D/kova.ini 第 2 行", "Locaton"};
    QTest::newRow("a line without a value is refused") << "[database]\n\nLocation %S\n"
                                                       << ""
                                                       << ""
                                                       << "" << QStringList{"第 3 行"};
    // A kova.ini that is there but not readable as ours stops the program: the
    // file beside it would print another series. "@utf16:", "@link:", "@fifo" and
    // "@big" stand for files that cannot be written as text here.
    QTest::newRow("kova.ini saved as UTF-16 is refused")
        << "@utf16:" + ini << ""
        << ""
        << "" << QStringList{"设置文件 %D/kova.ini 不是 UTF-8 文本"};
    QTest::newRow("a misspelt section is refused")
        << "[Databse]\nLocation = %S\n"
        << ""
        << ""
        << "" << QStringList{"设置文件 %D/kova.ini 中没有 [Database] 一节"};
    QTest::newRow("kova.ini pointing at an endless device is refused")
        << "@link:/dev/zero"
        << ""
        << ""
        << "" << QStringList{"设置文件 %D/kova.ini 不是普通文件"};
    QTest::newRow("kova.ini as a FIFO is refused without waiting")
        << "@fifo"
        << ""
        << ""
        << "" << QStringList{"不是普通文件"};
    QTest::newRow("kova.ini over 64 kB is refused")
        << "@big"
        << ""
        << ""
        << "" << QStringList{"设置文件 %D/kova.ini 太大（超过 64 KB）"};
}

void TestServer::locationSettings() {
    QFETCH(QString, ini);
    QFETCH(QString, environment);
    QFETCH(QString, given);
    QFETCH(QString, connectsTo);
    QFETCH(QStringList, message);
    QTemporaryDir programDir;
    const auto fill = [&](QString text) {
        return text.replace("%S", server.Name)
            .replace("%U", server.UserName)
            .replace("%W", server.Password)
            .replace("%D", programDir.path());
    };
    QDir(programDir.path()).mkpath("data");
    TestDatabase::copyTemplate(programDir.filePath("data/KOVAUTF8.FDB"));
    TestDatabase::copyTemplate(programDir.filePath("data/other.FDB"));
    const QByteArray iniPath = QFile::encodeName(programDir.filePath("kova.ini"));
    if (ini.startsWith("@link:")) {
        QCOMPARE(::symlink(ini.mid(6).toUtf8().constData(), iniPath.constData()), 0);
    } else if (ini == "@fifo") {
        QCOMPARE(::mkfifo(iniPath.constData(), 0600), 0);
    } else if (!ini.isEmpty()) {
        QFile file(programDir.filePath("kova.ini"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        if (ini.startsWith("@utf16:")) {
            const QString text = fill(ini.mid(7));
            file.write("\xff\xfe");
            file.write(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
        } else if (ini == "@big") {
            file.write(fill("[Database]\nLocation = %S\n").toUtf8());
            file.write(QByteArray(64 * 1024, ';'));
        } else {
            file.write(fill(ini).toUtf8());
        }
    }
    if (!environment.isEmpty())
        qputenv("KOVA_DATABASE", environment.toUtf8());
    PersistenceManager().Disconnect();

    QString failure;
    try {
        const TDatabaseLocation location = ResolveDatabaseLocation(programDir.path(), fill(given));
        QCOMPARE(location.Name, fill(connectsTo.isEmpty() ? location.Name : connectsTo));
        ConnectToDatabase(location);
    } catch (const Exception& e) {
        failure = e.Message();
    }
    if (message.isEmpty()) {
        QVERIFY2(failure.isEmpty(), qPrintable(failure));
        TProjectList projects;
        projects.Read(); // the tables are there and readable as that user
        return;
    }
    qsizetype at = 0;
    for (const QString& part : message) {
        at = failure.indexOf(fill(part), at);
        QVERIFY2(at >= 0, qPrintable(fill(part) + " not in: " + failure));
    }
    if (message.first().startsWith("Database name"))
        QVERIFY2(failure.startsWith("Cannot connect to database.\n"), qPrintable(failure));
}

// Two stations print 500 pages each of the same project at the same moment, 20
// times over: every number is printed once, and the stored start is the first
// page not printed. One station names the server with --database, the other
// with KOVA_DATABASE.
void TestServer::stationsPrintingAtOnceNeverShareNumbers() {
    const QString oid = ownProject("两台同时").store({SerialNumberItem()});
    TProject* project = nullptr;
    TProjectList projects;
    projects.Read();
    for (int i = 0; i < projects.Count(); ++i)
        if (projects.Items(i)->OID() == oid)
            project = projects.Items(i);
    QVERIFY(project);
    const QStringList args{"--project", project->ProjectName(), "--pages", "500"};
    constexpr int kRounds = KOVA_SERVER_ROUNDS;
    for (int round = 0; round < kRounds; ++round) {
        const int start = 1 + round * 1000;
        const QString a = dir.filePath(QStringLiteral("a%1.pdf").arg(round));
        const QString b = dir.filePath(QStringLiteral("b%1.pdf").arg(round));
        std::unique_ptr<QProcess> pa(startStation(args + QStringList{"--pdf", a}, false));
        std::unique_ptr<QProcess> pb(startStation(args + QStringList{"--pdf", b}, true));
        QVERIFY(pa->waitForFinished(300000));
        QVERIFY(pb->waitForFinished(300000));
        QVERIFY2(pa->exitCode() == 0, pa->readAllStandardError().constData());
        QVERIFY2(pb->exitCode() == 0, pb->readAllStandardError().constData());
        const int nextA = pa->readAllStandardOutput().trimmed().toInt();
        const int nextB = pb->readAllStandardOutput().trimmed().toInt();
        QStringList printed = Serials(a) + Serials(b);
        std::sort(printed.begin(), printed.end());
        QCOMPARE(printed, Range(start, 1000));
        QCOMPARE(std::max(nextA, nextB), start + 1000);
        QCOMPARE(std::min(nextA, nextB), start + 500);
        QCOMPARE(storedStart(oid), start + 1000);
    }
    // The two stations' ledger rows interleave and together cover every number once.
    QList<TRunRecord> runs = ReadRuns(oid);
    std::sort(runs.begin(), runs.end(),
              [](const TRunRecord& a, const TRunRecord& b) { return a.FirstPage < b.FirstPage; });
    int next = 1;
    for (const TRunRecord& run : runs) {
        QCOMPARE(run.FirstPage, next);
        QCOMPARE(run.State, QString("completed"));
        next = run.LastPage + 1;
    }
    QCOMPARE(next, 1 + kRounds * 1000);
}

// A station that read the project before another printed asks before it prints
// those numbers again; the numbers were taken over the network.
void TestServer::olderLoadedStartAsks_data() {
    QTest::addColumn<int>("otherPrints");
    QTest::addColumn<int>("answer"); // -1: no question expected
    QTest::addColumn<QStringList>("printed");
    QTest::addColumn<int>("stored");

    QTest::newRow("nobody printed meanwhile: no question") << 0 << -1 << Range(1, 3) << 4;
    QTest::newRow("another station printed 5: declined, nothing printed")
        << 5 << int(false) << QStringList() << 6;
    QTest::newRow("another station printed 5: printed again on request, numbering stays at 6")
        << 5 << int(true) << Range(1, 3) << 6;
}

void TestServer::olderLoadedStartAsks() {
    QFETCH(int, otherPrints);
    QFETCH(int, answer);
    QFETCH(QStringList, printed);
    QFETCH(int, stored);
    const QString oid = ownProject("旧的起始页码").store({SerialNumberItem()});
    PrintModel = new TPrintModel;
    PrintModel->Load();
    TProject* project = nullptr;
    for (const auto& [name, p] : PrintModel->SettingMgr()->GetProjectList())
        if (p->OID() == oid)
            project = p;
    QVERIFY(project);
    if (otherPrints > 0) {
        std::unique_ptr<QProcess> other(
            startStation({"--project", project->ProjectName(), "--pages",
                          QString::number(otherPrints), "--pdf", dir.filePath("other.pdf")},
                         true));
        QVERIFY(other->waitForFinished(60000));
        QVERIFY2(other->exitCode() == 0, other->readAllStandardError().constData());
    }

    QList<QPair<int, int>> asked;
    TPrintRunHooks hooks;
    hooks.ConfirmReprint = [&](int from, int was) {
        asked.append({from, was});
        return answer == 1;
    };
    TPrintRunOptions options;
    options.From = project->ProjectSerialStart(); // what the window loaded
    options.Count = 3;
    options.PdfFile = dir.filePath("station.pdf");
    QFile::remove(options.PdfFile);
    const TPrintRunResult result =
        TPrintRun(*project, *PrintModel->SettingMgr(), *PrintModel->FileMgr()).Run(options, hooks);
    QVERIFY2(result.Error.isEmpty(), qPrintable(result.Error));
    using Asked = QList<QPair<int, int>>;
    const Asked expected = answer < 0 ? Asked() : Asked{{1, 1 + otherPrints}};
    QCOMPARE(asked, expected);
    QCOMPARE(QFileInfo::exists(options.PdfFile) ? Serials(options.PdfFile) : QStringList(),
             printed);
    QCOMPARE(storedStart(oid), stored);
    // The window shows this start after the run.
    QCOMPARE(project->ProjectSerialStart(), stored);
}

// A station sees what others changed when it refreshes ("刷新"), and a project's
// stored start whenever the project is selected; the project and item it had
// selected stay selected where they still exist.
void TestServer::otherStationsChangesShow_data() {
    QTest::addColumn<QString>("sql"); // run by another client; %P: the project's oid
    QTest::addColumn<QString>("command");
    QTest::addColumn<bool>("projectStays");
    QTest::addColumn<QStringList>("items");
    QTest::addColumn<QString>("currentItem");
    QTest::addColumn<int>("start");
    QTest::addColumn<QString>("message");

    const QString refresh = "刷新", select = "select the project";
    QTest::newRow("a new item of another station appears")
        << "insert into P_ITEM (oid, project_id, item_name, item_type, is_active) values "
           "('00000000-0000-0000-0000-0000000000C1', '%P', 'C 新的', 0, 'TRUE')"
        << refresh << true << QStringList{"A", "B", "C 新的"} << "B" << 1 << "";
    QTest::newRow("the selected item renamed elsewhere stays selected")
        << "update P_ITEM set item_name = 'Z' where item_name = 'B' and project_id = '%P'"
        << refresh << true << QStringList{"A", "Z"} << "Z" << 1 << "";
    QTest::newRow("the selected item deleted elsewhere: no item selected")
        << "delete from P_ITEM where item_name = 'B' and project_id = '%P'" << refresh << true
        << QStringList{"A"} << "" << 1 << "";
    QTest::newRow("the project deleted elsewhere: no project, no items")
        << "delete from P_ITEM where project_id = '%P'; delete from P_PROJECT where oid = '%P'"
        << refresh << false << QStringList() << "" << 1 << "";
    QTest::newRow("another station printed: refreshing shows the new start")
        << "update P_PROJECT set serial_start = 41 where oid = '%P'" << refresh << true
        << QStringList{"A", "B"} << "B" << 41 << "";
    QTest::newRow("another station printed: selecting the project shows the new start")
        << "update P_PROJECT set serial_start = 41 where oid = '%P'" << select << true
        << QStringList{"A", "B"} << "" << 41 << "";
    QTest::newRow("selecting a project deleted elsewhere says so and drops it")
        << "delete from P_ITEM where project_id = '%P'; delete from P_PROJECT where oid = '%P'"
        << select << false << QStringList() << "" << 1 << "已不在数据库中";
    QTest::newRow("another station printed: saving the project here keeps its start, and says so")
        << "update P_PROJECT set serial_start = 41 where oid = '%P'" << "edit the notes" << true
        << QStringList{"A", "B"} << "B" << 41 << "下次起始页码保持为 41";
    QTest::newRow("the database unreachable on selecting: the start as read, and why")
        << "update P_PROJECT set serial_start = 41 where oid = '%P'" << select + " unreachable"
        << true << QStringList{"A", "B"} << "" << 1 << "没能重新读取项目";
}

void TestServer::otherStationsChangesShow() {
    QFETCH(QString, sql);
    QFETCH(QString, command);
    QFETCH(bool, projectStays);
    QFETCH(QStringList, items);
    QFETCH(QString, currentItem);
    QFETCH(int, start);
    QFETCH(QString, message);
    const QString oid =
        ownProject("别的工作站").store({SerialNumberItem("A"), SerialNumberItem("B")});
    QTemporaryDir programDir;
    QVERIFY(openStation(programDir));
    int index = -1;
    QVERIFY(listedProject(oid, &index));
    const QString name = frm->cbbProjectList->itemText(index);
    frm->cbbProjectList->setCurrentIndex(index);
    frm->cbbProjectListChange();
    frm->ItemListBox->setCurrentRow(1);
    QCOMPARE(frm->CurrItem()->ItemName(), QString("B"));

    otherClient(sql, oid);
    MessageAnswerer answers;
    if (command == "刷新") {
        QVERIFY(frm->mmRefresh->isEnabled());
        frm->mmRefresh->trigger();
    } else if (command == "edit the notes") {
        WhenModal<QDialog>([](QDialog* editor) {
            editor->findChild<QPlainTextEdit*>("memoNotes")->setPlainText("改过的备注");
            editor->findChild<QPushButton*>("btnSave")->click();
        });
        frm->btnProjectModify->click();
        QCOMPARE(storedStart(oid), 41);
    } else {
        if (command.endsWith("unreachable"))
            PersistenceManager().Disconnect();
        frm->cbbProjectList->setCurrentIndex(frm->cbbProjectList->findText(name));
        frm->cbbProjectListChange();
    }

    QCOMPARE(frm->CurrProject() != nullptr, projectStays);
    QCOMPARE(frm->cbbProjectList->findText(name) >= 0, projectStays);
    QStringList shown;
    for (int i = 0; i < frm->ItemListBox->count(); ++i)
        shown << frm->ItemListBox->item(i)->text();
    QCOMPARE(shown, items);
    QCOMPARE(frm->CurrItem() ? frm->CurrItem()->ItemName() : QString(), currentItem);
    if (!currentItem.isEmpty())
        QCOMPARE(frm->ItemListBox->currentItem()->text(), currentItem);
    if (projectStays) {
        QCOMPARE(frm->CurrProject()->OID(), oid);
        QCOMPARE(frm->cbbProjectList->currentText(), name);
        QCOMPARE(frm->PrnSerialFrom->value(), start);
    }
    QCOMPARE(answers.texts.join("|").contains(message), true);
    if (message.isEmpty())
        QVERIFY2(answers.texts.isEmpty(), qPrintable(answers.texts.join("|")));
}

// The server's machine restarts while a station's window is open: the station's
// connections are gone, and the next thing the user does reaches the new server.
void TestServer::stationCarriesOnAfterServerRestart() {
    const QString oid = ownProject("重启").start(7).store({SerialNumberItem("A")});
    QTemporaryDir programDir;
    QVERIFY(openStation(programDir));

    const QString folder = QFileInfo(ServerFolder()).canonicalFilePath();
    const QString port = server.Name.section(':', 0, 0).section('/', 1);
    const QString script = QStringLiteral(KOVA_SOURCE_DIR "/scripts/kova-server");
    QCOMPARE(QProcess::execute(script, {"stop", folder}), 0);
    QCOMPARE(QProcess::execute(script, {"start", folder, port, "127.0.0.1"}), 0);
    QTest::qWait(2100); // the user comes back to the window a little later

    MessageAnswerer answers;
    frm->mmRefresh->trigger();
    QVERIFY2(answers.texts.isEmpty(), qPrintable(answers.texts.join("|")));
    TProject* project = listedProject(oid);
    QVERIFY(project);
    project->SetProjectNotes("重启以后");
    project->SetDirty(true);
    project->Save();
    QCOMPARE(storedStart(oid), 7);
    TProjectList back;
    back.Read();
    QStringList notes;
    for (int i = 0; i < back.Count(); ++i)
        if (back.Items(i)->OID() == oid)
            notes << back.Items(i)->ProjectNotes();
    QCOMPARE(notes, QStringList{"重启以后"});
}

QTEST_MAIN(TestServer)
#include "tst_server.moc"
