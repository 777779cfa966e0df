// Print runs end to end: kova-print (the Print button's code without a window)
// against a real database file and a real cups-pdf queue, read back with
// pdftotext. Numbering never skips and never repeats.
#include "TestSupport.h"

#include "PrintMain.h"
#include "fbarcode/Barcode.h"
#include "model/Fields.h"
#include "model/PrintCommon.h"
#include "model/bom/FileBom.h"
#include "model/bom/SettingBom.h"
#include "model/manager/FileMgrImpl.h"
#include "model/manager/ProjectRunLock.h"
#include "view/RunLedgerView.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSpinBox>
#include <QStringEncoder>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>
#include <csignal>
#include <functional>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {

const QString kProject = QStringLiteral("票号");

struct Printed {
    int exitCode = -1;
    QString out, err;
    int jobId = 0;
    int nextStart() const { return out.trimmed().toInt(); }
};

QString KovaPrint() {
    return QStringLiteral(KOVA_BIN_DIR "/kova-print");
}

Printed Collect(QProcess& p) {
    Printed r;
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    const auto job = QRegularExpression(QStringLiteral("打印任务 (\\d+) 已交给")).match(r.err);
    r.jobId = job.hasMatch() ? job.captured(1).toInt() : 0;
    return r;
}

void StoreData(const QString& projectOid, const QByteArray& body) {
    TProjectData data;
    data.FileName = QStringLiteral("名单.csv");
    data.Body = body;
    TFileMgr().SaveProjectData(projectOid, data);
}

} // namespace

class TestPrintRun : public QObject, MainWindowFixture {
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY2(queue.ok(), qPrintable(queue.why())); }
    void init() { setUp(); }
    void cleanup() { tearDown(); }

    void numbering_data();
    void numbering();
    void concurrentRunsNeverShareNumbers();
    void signalStopsAfterThePageInHand_data();
    void signalStopsAfterThePageInHand();
    void signalEndsTheWaitForAnotherRun();
    void jobTheQueueRefusesKeepsTheStart_data();
    void jobTheQueueRefusesKeepsTheStart();
    void unprintableItemPrintsNothing_data();
    void unprintableItemPrintsNothing();
    void printButton_data();
    void printButton();
    void switchingProjectsDuringARun();
    void ledgerFiltersExportsAndReprints();
    void olderDatabaseGetsTheLedger();
    void ambiguousNameIsRefused();
    void pageWithoutASheetIsRefused_data();
    void pageWithoutASheetIsRefused();
    void pdfTargetOnlyEverAFile_data();
    void pdfTargetOnlyEverAFile();
    void projectDeletedElsewhereDuringARun();
    void fieldsTakeThePagesValues_data();
    void fieldsTakeThePagesValues();
    void symbolsCarryTheirPagesValues_data();
    void symbolsCarryTheirPagesValues();
    void dataRowsFillThePages_data();
    void dataRowsFillThePages();
    void badDataFailsItsPage_data();
    void badDataFailsItsPage();

private:
    Printed print(const QStringList& args);
    QProcess* startPrint(const QStringList& args);
    int storedStart();
    QStringList jobSerials(const Printed& run);

    // The main window on the test database, the project selected.
    void openWindow();

    TestQueue queue{QStringLiteral("KOVA_RUN")};
    // The project the tests print, on our queue; stored with a SerialNumberItem().
    const TestProject project = TestProject(kProject).page(100, 80).printer(queue.name());
};

void TestPrintRun::openWindow() {
    frm = OpenMainWindow(ProgramDirFor(*db), kProject);
    QVERIFY(frm);
    QVERIFY(frm->btnPrint->isEnabled());
}

QProcess* TestPrintRun::startPrint(const QStringList& args) {
    auto* p = new QProcess(this);
    p->start(KovaPrint(), QStringList{QStringLiteral("--database"), db->path(),
                                      QStringLiteral("--project"), kProject} +
                              args);
    return p;
}

Printed TestPrintRun::print(const QStringList& args) {
    std::unique_ptr<QProcess> p(startPrint(args));
    p->waitForFinished(120000);
    return Collect(*p);
}

int TestPrintRun::storedStart() {
    return db->scalar(QStringLiteral("select serial_start from P_PROJECT")).toInt();
}

QStringList TestPrintRun::jobSerials(const Printed& run) {
    if (run.jobId <= 0)
        return {};
    QString why;
    const QString pdf = WaitForJobPdf(QString(), run.jobId, &why);
    if (pdf.isEmpty())
        qWarning() << why;
    return pdf.isEmpty() ? QStringList{QStringLiteral("no PDF: ") + why} : Serials(pdf);
}

// Each row is a sequence of runs on a fresh project; after each, the pages the
// queue received, the next start printed and the start the database holds.
void TestPrintRun::numbering_data() {
    QTest::addColumn<int>("start");
    QTest::addColumn<QList<QStringList>>("runs");
    QTest::addColumn<QList<int>>("exitCodes");
    QTest::addColumn<QList<QStringList>>("pages");
    QTest::addColumn<QList<int>>("stored");

    QTest::newRow("three pages from 1, then the next run continues at 4")
        << 1 << QList<QStringList>{{"--pages", "3"}, {"--pages", "2"}} << QList<int>{0, 0}
        << QList<QStringList>{Range(1, 3), Range(4, 2)} << QList<int>{4, 6};
    QTest::newRow("one page from 5 stores 6")
        << 5 << QList<QStringList>{{"--pages", "1"}} << QList<int>{0}
        << QList<QStringList>{Range(5, 1)} << QList<int>{6};
    QTest::newRow("--from replaces the stored start")
        << 1 << QList<QStringList>{{"--pages", "2", "--from", "10"}} << QList<int>{0}
        << QList<QStringList>{Range(10, 2)} << QList<int>{12};
    QTest::newRow("--no-save leaves the stored start alone")
        << 7 << QList<QStringList>{{"--pages", "2", "--no-save"}} << QList<int>{0}
        << QList<QStringList>{Range(7, 2)} << QList<int>{7};
    QTest::newRow("numbers already printed are refused unless asked for")
        << 1
        << QList<QStringList>{{"--pages", "3"},
                              {"--pages", "1", "--from", "2"},
                              {"--pages", "1", "--from", "2", "--reprint"}}
        << QList<int>{0, 3, 0} << QList<QStringList>{Range(1, 3), {}, Range(2, 1)}
        << QList<int>{4, 4, 4};
    QTest::newRow("--no-save still asks before numbers already printed")
        << 1
        << QList<QStringList>{{"--pages", "3"},
                              {"--pages", "1", "--from", "2", "--no-save"},
                              {"--pages", "1", "--from", "2", "--no-save", "--reprint"}}
        << QList<int>{0, 3, 0} << QList<QStringList>{Range(1, 3), {}, Range(2, 1)}
        << QList<int>{4, 4, 4};
    QTest::newRow("a start below 1 is refused")
        << 1 << QList<QStringList>{{"--pages", "2", "--from", "0"}} << QList<int>{1}
        << QList<QStringList>{{}} << QList<int>{1};
    QTest::newRow("no pages is refused and changes nothing")
        << 3 << QList<QStringList>{{"--pages", "0"}} << QList<int>{1} << QList<QStringList>{{}}
        << QList<int>{3};
    QTest::newRow("a run past the largest page number is refused")
        << 2147483000 << QList<QStringList>{{"--pages", "1000"}} << QList<int>{1}
        << QList<QStringList>{{}} << QList<int>{2147483000};
}

void TestPrintRun::numbering() {
    QFETCH(int, start);
    QFETCH(QList<QStringList>, runs);
    QFETCH(QList<int>, exitCodes);
    QFETCH(QList<QStringList>, pages);
    QFETCH(QList<int>, stored);
    project.start(start).store({SerialNumberItem()});
    for (int i = 0; i < runs.size(); ++i) {
        const Printed run = print(runs[i]);
        QVERIFY2(run.exitCode == exitCodes[i], qPrintable(run.err));
        QCOMPARE(jobSerials(run), pages[i]);
        // It speaks of pages printed only when some were.
        QCOMPARE(run.err.contains("已打印"), !pages[i].isEmpty());
        QCOMPARE(storedStart(), stored[i]);
        if (run.exitCode == 0 && !runs[i].contains("--no-save"))
            QCOMPARE(run.nextStart(), stored[i]);
    }
}

// Two processes printing the same project at once: the second waits for the
// first and continues where it ended.
void TestPrintRun::concurrentRunsNeverShareNumbers() {
    project.start(1).store({SerialNumberItem()});
    std::unique_ptr<QProcess> a(startPrint({"--pages", "40"}));
    std::unique_ptr<QProcess> b(startPrint({"--pages", "40"}));
    QVERIFY(a->waitForFinished(120000));
    QVERIFY(b->waitForFinished(120000));
    const Printed ra = Collect(*a), rb = Collect(*b);
    QVERIFY2(ra.exitCode == 0, qPrintable(ra.err));
    QVERIFY2(rb.exitCode == 0, qPrintable(rb.err));
    QStringList all = jobSerials(ra) + jobSerials(rb);
    QCOMPARE(all.size(), 80);
    std::sort(all.begin(), all.end());
    QCOMPARE(all, Range(1, 80));
    QCOMPARE(storedStart(), 81);
}

void TestPrintRun::signalStopsAfterThePageInHand_data() {
    QTest::addColumn<int>("signal");
    QTest::newRow("SIGTERM") << int(SIGTERM);
    QTest::newRow("SIGINT") << int(SIGINT);
}

// Stopped mid-run, the pages done are printed as one job and the stored start
// is the first page that was not printed.
void TestPrintRun::signalStopsAfterThePageInHand() {
    QFETCH(int, signal);
    project.start(100).store({SerialNumberItem()});
    std::unique_ptr<QProcess> p(startPrint({"--pages", "100000"}));
    QByteArray progress;
    p->setReadChannel(QProcess::StandardError);
    while (!progress.contains("(120)") && p->waitForReadyRead(30000))
        progress += p->readAllStandardError();
    QVERIFY2(progress.contains("(120)"), progress.constData());
    ::kill(pid_t(p->processId()), signal);
    QVERIFY(p->waitForFinished(60000));
    Printed run = Collect(*p);
    run.err.prepend(QString::fromUtf8(progress));
    QVERIFY2(run.exitCode == 0, qPrintable(run.err));
    const int next = run.nextStart();
    QVERIFY2(next > 120 && next < 100100, qPrintable(run.out));
    QCOMPARE(storedStart(), next);
    QCOMPARE(jobSerials(run), Range(100, next - 100));
}

// A run waiting for another run of the project ends at SIGTERM, printing nothing.
void TestPrintRun::signalEndsTheWaitForAnotherRun() {
    project.start(60).store({SerialNumberItem()});
    TProjectRunLock other(db->scalar("select oid from P_PROJECT").toString());
    std::unique_ptr<QProcess> p(startPrint({"--pages", "3"}));
    QByteArray said;
    p->setReadChannel(QProcess::StandardError);
    while (!said.contains("等待") && p->waitForReadyRead(30000))
        said += p->readAllStandardError();
    QVERIFY2(said.contains("等待"), said.constData());
    ::kill(pid_t(p->processId()), SIGTERM);
    QVERIFY(p->waitForFinished(10000));
    QCOMPARE(Collect(*p).exitCode, 0);
    other.Release();
    QCOMPARE(storedStart(), 60);
    QCOMPARE(db->count("P_RUN"), 0);
}

// Whatever keeps the job from the queue, nothing was printed and the start stays.
void TestPrintRun::jobTheQueueRefusesKeepsTheStart_data() {
    QTest::addColumn<QString>("how");
    QTest::newRow("queue rejecting jobs") << "reject";
    QTest::newRow("print server gone mid-run") << "server gone";
    QTest::newRow("killed before the job was handed over") << "SIGKILL";
}

void TestPrintRun::jobTheQueueRefusesKeepsTheStart() {
    QFETCH(QString, how);
    project.start(50).store({SerialNumberItem()});
    const QList<int> jobsBefore = JobsTitled(QStringLiteral("refused"));
    if (how == "reject") {
        QCOMPARE(QProcess::execute("cupsreject", {queue.name()}), 0);
        const Printed run = print({"--pages", "3", "--title", "refused"});
        QProcess::execute("cupsaccept", {queue.name()});
        QCOMPARE(run.exitCode, 1);
        QVERIFY2(run.err.contains(queue.name()), qPrintable(run.err));
        QVERIFY2(run.err.contains("不接受打印任务"), qPrintable(run.err));
        // The queue is asked before any page is drawn.
        QVERIFY2(!run.err.contains("正在打印"), qPrintable(run.err));
    } else {
        // A print server of the test's own that goes away while pages are drawn.
        QTemporaryDir serverDir;
        const QString folder = serverDir.filePath(QStringLiteral("cups"));
        const QString scripts = QStringLiteral(KOVA_SOURCE_DIR "/scripts/");
        if (how == "server gone")
            QCOMPARE(QProcess::execute(scripts + "test-cups-start", {folder}), 0);
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        if (how == "server gone")
            env.insert("CUPS_SERVER", folder + "/cups.sock");
        p.setProcessEnvironment(env);
        p.start(KovaPrint(),
                {"--database", db->path(), "--project", kProject, "--pages", "100000", "--title",
                 "refused", "--printer", how == "server gone" ? "KOVA_PDF" : queue.name()});
        QByteArray progress;
        p.setReadChannel(QProcess::StandardError);
        while (!progress.contains("(150)") && p.waitForReadyRead(30000))
            progress += p.readAllStandardError();
        QVERIFY2(progress.contains("(150)"), progress.constData());
        if (how == "server gone") {
            QCOMPARE(QProcess::execute(scripts + "test-cups-stop", {folder}), 0);
            ::kill(pid_t(p.processId()), SIGTERM);
        } else {
            ::kill(pid_t(p.processId()), SIGKILL);
        }
        QVERIFY(p.waitForFinished(60000));
        const Printed run = Collect(p);
        if (how == "server gone") {
            QCOMPARE(run.exitCode, 1);
            QVERIFY2(run.err.contains("KOVA_PDF"), qPrintable(run.err));
        } else {
            QCOMPARE(p.exitStatus(), QProcess::CrashExit);
        }
    }
    QCOMPARE(storedStart(), 50);
    QCOMPARE(JobsTitled(QStringLiteral("refused")), jobsBefore);
}

// An item that cannot be drawn (a damaged picture, text a symbology cannot
// carry) ends the run before its page: the message names the item, nothing
// reaches the queue and the numbering stays where it was.
void TestPrintRun::unprintableItemPrintsNothing_data() {
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("symbology");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QByteArray>("picture");
    QTest::addColumn<QString>("reason");

    const QByteArray jpeg = [] {
        QImage image(300, 200, QImage::Format_RGB32);
        image.fill(Qt::darkCyan);
        QTemporaryDir dir;
        image.save(dir.filePath("p.ppm"), "PPM");
        QProcess cjpeg;
        cjpeg.start("cjpeg", {dir.filePath("p.ppm")});
        cjpeg.waitForFinished();
        return cjpeg.readAllStandardOutput();
    }();
    QByteArray huge = jpeg;
    const int sof = huge.indexOf(QByteArray("\xFF\xC0", 2));
    huge[sof + 5] = huge[sof + 7] = char(0xEA);
    huge[sof + 6] = huge[sof + 8] = char(0x60);

    QTest::newRow("truncated picture") << int(itImage) << 0 << "logo" << jpeg.left(jpeg.size() / 2)
                                       << "JPEG picture damaged or incomplete";
    QTest::newRow("random bytes as a picture")
        << int(itImage) << 0 << "logo" << QByteArray(5000, '\x5a') << "Not a valid JPEG picture";
    QTest::newRow("picture of 60000 x 60000 pixels")
        << int(itImage) << 0 << "logo" << huge << "JPEG picture too large";
    QTest::newRow("EAN-13 with letters")
        << int(itBarcode) << int(bcCodeEAN13) << "59012341234X" << QByteArray() << "条码必须是数字";
    QTest::newRow("UPC-A with 13 digits")
        << int(itBarcode) << int(bcCodeUPC_A) << "0360002914521" << QByteArray() << "UPC_A";
    QTest::newRow("QR content beyond version 40")
        << int(itQRCode) << 0 << QString(3000, QChar(0x6C49)) << QByteArray() << "";
}

void TestPrintRun::unprintableItemPrintsNothing() {
    QFETCH(int, type);
    QFETCH(int, symbology);
    QFETCH(QString, value);
    QFETCH(QByteArray, picture);
    QFETCH(QString, reason);
    TPrintItem* item = NewItem(type, 10, 20, 30, 20, value, QStringLiteral("坏的打印项"));
    item->SetBarcodeType(symbology);
    if (!picture.isEmpty()) {
        TFileMgr files;
        TCFile file;
        file.FileName = "logo";
        file.FileType = ".jpg";
        file.SetBody(picture);
        files.SaveFile(file);
        item->SetFileId(file.Oid);
    }
    project.start(30).store({item, SerialNumberItem()});
    const qsizetype jobsBefore = JobsOnQueue(queue.name()).size();
    const Printed run = print({"--pages", "3"});
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.err.contains("坏的打印项") && run.err.contains(reason), qPrintable(run.err));
    QVERIFY2(run.err.contains("第 30 页无法打印"), qPrintable(run.err));
    QCOMPARE(run.nextStart(), 30);
    QCOMPARE(storedStart(), 30);
    QCOMPARE(JobsOnQueue(queue.name()).size(), jobsBefore);
}

// The Print button: what reaches the printer, what the database keeps and what
// the window says, when the user stops, pauses, or a page cannot be drawn.
void TestPrintRun::printButton_data() {
    QTest::addColumn<int>("pages");
    QTest::addColumn<QString>("action");
    QTest::addColumn<int>("atPage");
    QTest::addColumn<QStringList>("printed");
    QTest::addColumn<int>("stored");
    QTest::addColumn<QString>("status"); // %1: the queue
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("ledger"); // the newest run's pages and state, once settled

    QTest::newRow("a whole run") << 3 << "" << 0 << Range(1, 3) << 4 << "打印结束"
                                 << "" << "1–3 已打印";
    QTest::newRow("Stop during page 2 of 10 stores 3")
        << 10 << "stop" << 2 << Range(1, 2) << 3 << "打印停止(3)"
        << "" << "1–2 已停止";
    QTest::newRow("a page that cannot be composed: the pages before it print, it is next")
        << 10 << "break" << 4 << Range(1, 3) << 4 << "第 4 页无法打印，已打印第 1 页到第 3 页"
        << "第 4 页无法打印" << "1–3 页面失败";
    QTest::newRow("the first page cannot be composed: nothing printed, start kept")
        << 10 << "break" << 1 << QStringList() << 1 << "第 1 页无法打印，什么也没有打印"
        << "第 1 页无法打印" << "";
    QTest::newRow("a queue that takes no jobs is asked before any page is drawn")
        << 3 << "reject" << 0 << QStringList() << 1 << "打印机 %1 不接受打印任务，什么也没有打印"
        << "不接受打印任务" << "1–3 被拒绝";
    QTest::newRow("the printer was removed while the window showed it")
        << 3 << "remove printer" << 0 << QStringList() << 1
        << "打印机 %1 不存在，什么也没有打印" << "不存在" << "1–3 被拒绝";
    QTest::newRow("a job cancelled in the queue: a notice that leads to its run")
        << 3 << "cancel in queue" << 0 << Range(1, 3) << 4 << "打印结束"
        << "第 1 页到第 3 页的打印任务已被取消" << "1–3 已取消";
    QTest::newRow("Print again while the run finishes begins no second job")
        << 10 << "stop and print" << 2 << Range(1, 2) << 3 << "打印停止(3)"
        << "" << "1–2 已停止";
    QTest::newRow("Pause discards the job; continuing prints every page")
        << 5 << "pause" << 3 << Range(1, 5) << 6 << "打印结束"
        << "" << "1–5 已打印";
    QTest::newRow("another station printed meanwhile, user declines")
        << 3 << "moved on, No" << 0 << QStringList() << 20 << ""
        << "已经打印过" << "";
    QTest::newRow("another station printed meanwhile, user prints again, numbering stays at 20")
        << 3 << "moved on, Yes" << 0 << Range(1, 3) << 20 << "打印结束"
        << "已经打印过" << "1–3 重打";
    QTest::newRow("closing the window during a run, No: the run goes on")
        << 3 << "close, No" << 2 << Range(1, 3) << 4 << "打印结束"
        << "正在打印，停止并退出？" << "1–3 已打印";
    QTest::newRow("closing the window during a run, Yes: stops after the page in hand, closes")
        << 10 << "close, Yes" << 2 << Range(1, 2) << 3 << "打印停止(3)"
        << "正在打印，停止并退出？" << "1–2 已停止";
    QTest::newRow("no pages: a message and nothing else")
        << 0 << "" << 0 << QStringList() << 1 << ""
        << "打印页数不能小于1" << "";
    QTest::newRow("a start below 1: a message and nothing else")
        << 3 << "from 0" << 0 << QStringList() << 1 << ""
        << "页码起始值不能小于1" << "";
    QTest::newRow("fewer data rows than pages, Yes: the rows left print")
        << 5 << "rows left, Yes" << 0 << Range(1, 3) << 4 << "打印结束"
        << "数据只有 3 行，第 1 页起还剩 3 行" << "1–3 已打印";
    QTest::newRow("fewer data rows than pages, No: nothing")
        << 5 << "rows left, No" << 0 << QStringList() << 1 << ""
        << "数据只有 3 行，第 1 页起还剩 3 行" << "";
}

void TestPrintRun::printButton() {
    QFETCH(int, pages);
    QFETCH(QString, action);
    QFETCH(int, atPage);
    QFETCH(QStringList, printed);
    QFETCH(int, stored);
    QFETCH(QString, status);
    QFETCH(QString, message);
    QFETCH(QString, ledger);
    const QString oid = project.start(1).store({SerialNumberItem()});
    if (action.startsWith("rows left"))
        StoreData(oid, "姓名\n甲\n乙\n丙\n");
    QString printer = queue.name();
    std::unique_ptr<TestQueue> removed;
    if (action == "remove printer") {
        removed = std::make_unique<TestQueue>(QStringLiteral("KOVA_GONE"));
        printer = removed->name();
        db->exec(QStringLiteral("update P_PROJECT set device_name = '%1'").arg(printer));
    }
    openWindow();
    frm->PrnSerialTo->setValue(pages);
    if (action.startsWith("moved on"))
        db->exec("update P_PROJECT set serial_start = 20");
    if (action == "reject")
        QCOMPARE(QProcess::execute("cupsreject", {queue.name()}), 0);
    if (action == "remove printer")
        QCOMPARE(QProcess::execute("lpadmin", {"-x", printer}), 0);
    if (action == "from 0")
        frm->PrnSerialFrom->setValue(0);
    // A stopped queue keeps the job until it is cancelled there.
    if (action == "cancel in queue")
        QCOMPARE(QProcess::execute("cupsdisable", {queue.name()}), 0);
    const auto enable = qScopeGuard([&] { QProcess::execute("cupsenable", {queue.name()}); });

    const qsizetype jobsBefore = JobsOnQueue(queue.name()).size();
    int pagesDrawn = 0;
    QObject::connect(frm->PrnSerialFrom, &QSpinBox::valueChanged, frm, [&](int page) {
        if (!frm->btnStop->isEnabled())
            return;
        ++pagesDrawn;
        if (page != atPage)
            return;
        if (action.startsWith("stop"))
            frm->btnStop->click();
        if (action == "stop and print")
            frm->btnPrint->click();
        if (action == "pause")
            frm->btnPauseClick(); // the button is hidden and disabled in the layout
        if (action.startsWith("close"))
            frm->close();
        if (action == "break")
            PrintModel->SettingMgr()->ProjectList()->Items(0)->ItemList()->Items(0)->SetItemValue(
                "not a number");
    });
    if (action == "break" && atPage == 1)
        PrintModel->SettingMgr()->ProjectList()->Items(0)->ItemList()->Items(0)->SetItemValue(
            "not a number");
    QApplication::setActiveWindow(frm);
    MessageAnswerer answers(action.endsWith("Yes") ? QList<int>{QMessageBox::Yes} : QList<int>{});
    frm->btnPrint->click();
    if (action == "reject")
        QProcess::execute("cupsaccept", {queue.name()});
    if (action == "cancel in queue")
        QCOMPARE(QProcess::execute("cancel", {QString::number(frm->lastJobId)}), 0);
    if (pages < 1)
        QCOMPARE(frm->focusWidget(), frm->PrnSerialTo);
    if (action == "from 0")
        QCOMPARE(frm->focusWidget(), frm->PrnSerialFrom);
    if (action == "pause") {
        QCOMPARE(frm->lastJobId, 0);
        QCOMPARE(frm->btnPause->text(), QString("继续"));
        QCOMPARE(frm->PrnSerialFrom->value(), 1);
        atPage = 0;
        frm->btnPauseClick();
        QCOMPARE(frm->btnPause->text(), QString("暂停"));
    }
    if (action != "cancel in queue")
        QCOMPARE(jobSerials({0, {}, {}, frm->lastJobId}), printed);
    QCOMPARE(JobsOnQueue(queue.name()).size() - jobsBefore, printed.isEmpty() ? 0 : 1);
    if (printed.isEmpty() && action != "break")
        QCOMPARE(pagesDrawn, 0);
    QCOMPARE(storedStart(), stored);
    QCOMPARE(frm->lblStatus->text(), status.contains("%1") ? status.arg(printer) : status);
    // A whole run ends with a full bar.
    if (status == "打印结束")
        QCOMPARE(frm->prgPrint->value(), 100);
    QCOMPARE(frm->PrnSerialFrom->value(), action == "from 0" ? 0 : stored);
    QVERIFY(frm->btnPrint->isEnabled());
    QVERIFY(!frm->btnStop->isEnabled());
    QVERIFY(frm->btnProjectModify->isEnabled());
    QCOMPARE(frm->isVisible(), action != "close, Yes");

    QTRY_VERIFY_WITH_TIMEOUT(db->count("P_RUN where state = 'accepted'") == 0, 60000);
    if (action == "cancel in queue") {
        QTRY_VERIFY(frm->noticeRow->isVisible());
        QVERIFY2(frm->lblNotice->text().contains(message), qPrintable(frm->lblNotice->text()));
        frm->btnNotice->click();
    } else {
        frm->mmRunLedger->trigger();
    }
    auto* shown = frm->findChild<TRunLedgerFrm*>();
    QVERIFY(shown && shown->isVisible());
    const auto cell = [&](int column) { return shown->tblRuns->item(0, column)->text(); };
    QCOMPARE(shown->tblRuns->rowCount() ? cell(TRunLedgerFrm::colPages) + " " +
                                              cell(TRunLedgerFrm::colState)
                                        : QString(),
             ledger);
    if (action == "cancel in queue")
        QCOMPARE(shown->SelectedRun()->JobId, frm->lastJobId);

    if (message.isEmpty())
        QVERIFY2(answers.texts.isEmpty(), qPrintable(answers.texts.join("|")));
    else
        QCOMPARE(answers.texts.filter(message).size(), 1);
}

// Another project is shown while a run ends: the run's next start stays with its
// own project, and the project shown prints from its own start.
void TestPrintRun::switchingProjectsDuringARun() {
    project.start(1).store({SerialNumberItem()});
    TestProject("乙").page(100, 80).printer(queue.name()).start(3).store({SerialNumberItem()});
    openWindow();
    frm->PrnSerialTo->setValue(5);
    QObject::connect(frm->PrnSerialFrom, &QSpinBox::valueChanged, frm, [&](int page) {
        if (page == 2 && frm->CurrProject()->ProjectName() == kProject) {
            frm->cbbProjectList->setCurrentIndex(frm->cbbProjectList->findText("乙"));
            frm->cbbProjectListChange();
        }
    });
    frm->btnPrint->click();
    const QString startOf = "select serial_start from P_PROJECT where project_name = '%1'";
    QCOMPARE(db->scalar(startOf.arg(kProject)).toInt(), 6);
    QCOMPARE(frm->PrnSerialFrom->value(), 3);
    frm->PrnSerialTo->setValue(2);
    frm->btnPrint->click();
    QCOMPARE(jobSerials({0, {}, {}, frm->lastJobId}), Range(3, 2));
    QCOMPARE(db->scalar(startOf.arg("乙")).toInt(), 5);
}

// The ledger window (Ctrl+H): this project or all, from a day on; its CSV read
// back by Python's csv module; a run's pages printed again, marked as a reprint.
void TestPrintRun::ledgerFiltersExportsAndReprints() {
    project.start(1).store({SerialNumberItem()});
    const QString other = TestProject("乙").store();
    db->exec(QStringLiteral("insert into P_RUN (oid, project_id, first_page, last_page, "
                            "pages_asked, started_at, state) values ('r', '%1', 1, 9, 9, "
                            "'2020-01-01 08:00:00', 'completed')")
                 .arg(other));
    openWindow();
    frm->PrnSerialTo->setValue(3);
    frm->btnPrint->click();
    QTRY_VERIFY_WITH_TIMEOUT(db->count("P_RUN where state = 'accepted'") == 0, 60000);
    // A message with the characters CSV must quote.
    db->exec("update P_RUN set message = '纸,\"卡\"\n住' where project_id <> 'x' and oid <> 'r'");

    QApplication::setActiveWindow(frm);
    QTest::keyClick(frm, Qt::Key_H, Qt::ControlModifier);
    auto* ledger = frm->findChild<TRunLedgerFrm*>();
    QVERIFY(ledger && ledger->isVisible());
    QCOMPARE(ledger->tblRuns->rowCount(), 1);
    ledger->cbbScope->setCurrentIndex(1);
    ledger->Reload();
    QCOMPARE(ledger->tblRuns->rowCount(), 2);
    ledger->chkSince->setChecked(true);
    ledger->edtSince->setDate(QDate(2021, 1, 1));
    QCOMPARE(ledger->tblRuns->rowCount(), 1);
    ledger->cbbScope->setCurrentIndex(0);
    ledger->Reload();

    ledger->tblRuns->selectRow(0);
    MessageAnswerer answers({QMessageBox::Yes});
    ledger->btnReprint->click();
    QVERIFY2(answers.texts.join("|").contains("第 1 页到第 3 页已经打印过"),
             qPrintable(answers.texts.join("|")));
    QCOMPARE(jobSerials({0, {}, {}, frm->lastJobId}), Range(1, 3));
    QCOMPARE(storedStart(), 4);
    QTRY_VERIFY_WITH_TIMEOUT(db->count("P_RUN where state = 'accepted'") == 0, 60000);
    ledger->Reload();

    QTemporaryDir dir;
    const QString csv = dir.filePath("runs.csv");
    WhenModal<QFileDialog>([&](QFileDialog* dialog) {
        // Typed, as a user does: selectFile() races the dialog's own default name.
        Child<QLineEdit>(dialog, "fileNameEdit")->setText(csv);
        static_cast<QDialog*>(dialog)->accept();
    });
    ledger->btnExport->click();
    QFile file(csv);
    QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(answers.texts.join("|")));
    QVERIFY(file.read(3) == "\xEF\xBB\xBF");
    const QString rows = RunTool("python3", {"-c",
                                             "import csv, json, sys\n"
                                             "with open(sys.argv[1], encoding='utf-8-sig', "
                                             "newline='') as f:\n"
                                             "    print(json.dumps(list(csv.reader(f))))",
                                             csv});
    const QJsonArray table = QJsonDocument::fromJson(rows.toUtf8()).array();
    QCOMPARE(table.size(), 3);
    const auto row = [&](int i) {
        QStringList fields;
        for (const auto& field : table.at(i).toArray())
            fields << field.toString();
        return fields;
    };
    QCOMPARE(row(0).mid(0, 3), (QStringList{"项目", "首页", "末页"}));
    QCOMPARE(row(1).mid(0, 3), (QStringList{kProject, "1", "3"}));
    QCOMPARE(row(1).at(9), QString("重打"));
    QCOMPARE(row(2).at(9), QString("已打印"));
    QCOMPARE(row(2).last(), QString("纸,\"卡\"\n住"));
}

// A database made before the run ledger gets it when a station connects, prints
// on it, and the ledger tells what was printed.
void TestPrintRun::olderDatabaseGetsTheLedger() {
    project.start(5).store({SerialNumberItem()});
    db->exec("drop table P_RUN");
    db->exec("drop table P_DATA");
    db->exec("delete from P_SETTING where setting_name = 'schema_version'");
    const Printed run = print({"--pages", "2", "--follow"});
    QVERIFY2(run.exitCode == 0, qPrintable(run.err));
    QCOMPARE(jobSerials(run), Range(5, 2));
    QCOMPARE(db->scalar("select setting_value from P_SETTING where setting_name = "
                        "'schema_version'")
                 .toString(),
             QString("3"));
    QCOMPARE(db->count("P_DATA"), 0);
    const QStringList history = print({"--history"}).out.split('\n', Qt::SkipEmptyParts);
    QCOMPARE(history.size(), 2);
    const QStringList row = history.at(1).split('\t');
    QCOMPARE(row.mid(1, 3), (QStringList{kProject, "5", "6"}));
    QCOMPARE(row.at(8), QString::number(run.jobId));
    QCOMPARE(row.at(11), QString("completed"));
}

// Two projects of one name (stored before names were kept unique): the name is
// refused with both keys, and the key picks one.
void TestPrintRun::ambiguousNameIsRefused() {
    project.start(1).store({SerialNumberItem()});
    project.start(70).store({SerialNumberItem()});
    const QStringList keys =
        db->scalar("select list(oid, ' ') from (select oid from P_PROJECT order by serial_start)")
            .toString()
            .split(' ');
    const Printed refused = print({"--pages", "1"});
    QCOMPARE(refused.exitCode, 1);
    QVERIFY2(refused.err.contains(keys[0]) && refused.err.contains(keys[1]), qPrintable(refused.err));
    const Printed run = print({"--pages", "1", "--project-id", keys[1]});
    QVERIFY2(run.exitCode == 0, qPrintable(run.err));
    QCOMPARE(jobSerials(run), Range(70, 1));
}

// A page the queue (or a PDF file) has no sheet for is refused with the range,
// never printed on another size; the stored start stays.
void TestPrintRun::pageWithoutASheetIsRefused_data() {
    QTest::addColumn<double>("width");
    QTest::addColumn<bool>("pdf");
    QTest::addColumn<QString>("reason");
    QTest::newRow("10 mm on cups-pdf, which starts at 12.7")
        << 10.0 << false << "超出了打印机 %1 能打印的纸张（宽 12.7–35277.8 mm，长 12.7–35277.8 mm）";
    QTest::newRow("4 mm in a PDF file")
        << 4.0 << true << "超出了 PDF 文件能打印的纸张（宽 5–5000 mm，长 5–5000 mm）";
}

void TestPrintRun::pageWithoutASheetIsRefused() {
    QFETCH(double, width);
    QFETCH(bool, pdf);
    QFETCH(QString, reason);
    project.page(width, 80).start(30).store({SerialNumberItem()});
    QTemporaryDir dir;
    const qsizetype jobsBefore = JobsOnQueue(queue.name()).size();
    const Printed run = print(pdf ? QStringList{"--pages", "2", "--pdf", dir.filePath("out.pdf")}
                                  : QStringList{"--pages", "2"});
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.err.contains(reason.arg(queue.name())), qPrintable(run.err));
    QCOMPARE(storedStart(), 30);
    QCOMPARE(JobsOnQueue(queue.name()).size(), jobsBefore);
    QVERIFY(!QFile::exists(dir.filePath("out.pdf")));
}

// --pdf writes a file and nothing else: a device, a FIFO or a link standing at the
// path is refused before a number is used (renamed over, it was gone), and a new
// file gets the mode the user's umask gives.
void TestPrintRun::pdfTargetOnlyEverAFile_data() {
    QTest::addColumn<QString>("target"); // device, fifo, link, or none
    QTest::addColumn<QString>("refusal");
    QTest::newRow("a device is refused") << "device"
                                         << "是设备，不是普通文件";
    QTest::newRow("a FIFO is refused") << "fifo"
                                       << "是管道，不是普通文件";
    QTest::newRow("a symbolic link is refused") << "link"
                                                << "是符号链接，不是普通文件";
    QTest::newRow("a new file's mode follows the umask") << "none"
                                                         << "";
}

void TestPrintRun::pdfTargetOnlyEverAFile() {
    QFETCH(QString, target);
    QFETCH(QString, refusal);
    project.start(30).store({SerialNumberItem()});
    QTemporaryDir dir;
    const QString pdf = dir.filePath("out.pdf");
    const QByteArray native = QFile::encodeName(pdf);
    if (target == "device")
        QCOMPARE(::mknod(native.constData(), S_IFCHR | 0666, makedev(1, 7)), 0); // like /dev/full
    else if (target == "fifo")
        QCOMPARE(::mkfifo(native.constData(), 0666), 0);
    else if (target == "link")
        QVERIFY(QFile::link(dir.filePath("elsewhere"), pdf));
    struct stat before = {};
    ::lstat(native.constData(), &before);
    QProcess p;
    p.setChildProcessModifier([] { ::umask(027); });
    p.start(KovaPrint(),
            {"--database", db->path(), "--project", kProject, "--pages", "1", "--pdf", pdf});
    p.waitForFinished(120000);
    const Printed run = Collect(p);
    struct stat after = {};
    QCOMPARE(::lstat(native.constData(), &after), 0);
    if (refusal.isEmpty()) {
        QVERIFY2(run.exitCode == 0, qPrintable(run.err));
        QCOMPARE(after.st_mode & 07777, mode_t(0640));
        return;
    }
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.err.contains(pdf + " " + refusal), qPrintable(run.err));
    QCOMPARE(after.st_ino, before.st_ino);
    QCOMPARE(after.st_mode, before.st_mode);
    QCOMPARE(storedStart(), 30);
    QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot),
             QStringList{"out.pdf"});
}

// While project A prints, project B is shown with an item selected, deleted by
// another station and selected again: B and its item leave the window together.
void TestPrintRun::projectDeletedElsewhereDuringARun() {
    project.start(1).store({SerialNumberItem()});
    TestProject("乙").store({SerialNumberItem("b")});
    openWindow();
    frm->PrnSerialTo->setValue(5);
    MessageAnswerer answers;
    bool done = false;
    QObject::connect(frm->PrnSerialFrom, &QSpinBox::valueChanged, frm, [&](int page) {
        if (page != 2 || done)
            return;
        done = true;
        const int b = frm->cbbProjectList->findText("乙");
        frm->cbbProjectList->setCurrentIndex(b);
        frm->cbbProjectListChange();
        frm->ItemListBox->setCurrentRow(0);
        frm->ItemListBoxClick();
        db->exec("delete from P_ITEM where item_name = 'b'");
        db->exec("delete from P_PROJECT where project_name = '乙'");
        frm->cbbProjectList->setCurrentIndex(frm->cbbProjectList->findText("乙"));
        frm->cbbProjectListChange();
        QCOMPARE(frm->CurrItem(), nullptr);
    });
    frm->btnPrint->click();
    QVERIFY(done);
    QCOMPARE(frm->CurrProject(), nullptr);
    QVERIFY2(answers.texts.join("|").contains("已不在数据库中"), qPrintable(answers.texts.join("|")));
    QCOMPARE(storedStart(), 6);
}


// Fields in item values, run into a PDF file: the texts each page shows (in
// order, one per printed page), or why nothing or less was printed.
void TestPrintRun::fieldsTakeThePagesValues_data() {
    QTest::addColumn<QStringList>("texts"); // text items, "name=value"
    QTest::addColumn<int>("symbology");     // an EAN-8 or none
    QTest::addColumn<QString>("rename");    // "old>new", as the item editor renames
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QStringList>("pages");
    QTest::addColumn<int>("stored");
    QTest::addColumn<QString>("error");

    const QStringList two{"--pages", "2"};
    QTest::newRow("{{ and }} are braces; an unknown name stays as typed")
        << QStringList{"说明={{票号}}{未知}{x{页码}}}"} << -1 << "" << two << 0
        << QStringList{"{票号}{未知}{x1}", "{票号}{未知}{x2}"} << 3 << "";
    QTest::newRow("a field takes a text that takes the serial and the page")
        << QStringList{"A=票:{B}", "B={票号}/{页码}"} << -1 << "" << two + QStringList{"--from", "5"}
        << 0 << QStringList{"票:NO.000005/5", "票:NO.000006/6"} << 7 << "";
    QTest::newRow("a rename carries its references")
        << QStringList{"A=号{票号}"} << -1 << "票号>号码" << two << 0
        << QStringList{"号NO.000001", "号NO.000002"} << 3 << "";
    QTest::newRow("a value naming itself prints nothing")
        << QStringList{"A=x{A}"} << -1 << "" << two << 1 << QStringList{} << 1
        << "打印项 \"A\" 的内容引用了它自己：{A}";
    QTest::newRow("items naming each other print nothing")
        << QStringList{"A={B}", "B={A}"} << -1 << "" << two << 1 << QStringList{} << 1
        << "打印项的内容互相引用：A → B → A";
    QTest::newRow("a serial outgrowing EAN-8 on page 3 fails the check, naming the page")
        << QStringList{} << int(bcCodeEAN8) << "" << QStringList{"--pages", "5"} << 3
        << QStringList{} << 1 << "第 3 页";
    QTest::newRow("printed anyway, the pages before it print and it is the next start")
        << QStringList{} << int(bcCodeEAN8) << "" << QStringList{"--pages", "5", "--force"} << 1
        << QStringList{"NO.000001", "NO.000002"} << 3 << "第 3 页无法打印";
}

void TestPrintRun::fieldsTakeThePagesValues() {
    QFETCH(QStringList, texts);
    QFETCH(int, symbology);
    QFETCH(QString, rename);
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);
    QFETCH(QStringList, pages);
    QFETCH(int, stored);
    QFETCH(QString, error);
    QList<TPrintItem*> items{SerialNumberItem(QStringLiteral("票号"))};
    // 9999998, 9999999, then eight digits: too many for EAN-8 from page 3.
    TPrintItem* shortSerial = SerialNumberItem(QStringLiteral("短号"));
    shortSerial->SetItemValue(QStringLiteral("9999998"));
    shortSerial->SetItemSerialHasPre(kFalse);
    shortSerial->SetItemActive(kFalse);
    items << shortSerial;
    for (int i = 0; i < texts.size(); ++i) {
        const QStringList nameValue = texts[i].split(u'=');
        items << NewItem(itText, 10, 25 + 10 * i, 0, 1.2, nameValue[1], nameValue[0]);
    }
    if (symbology >= 0) {
        TPrintItem* barcode = NewItem(itBarcode, 10, 40, 30, 15, "{短号}", "条码");
        barcode->SetBarcodeType(symbology);
        barcode->SetItemAllowNewLine(kTrue);
        barcode->SetBarcodeModule(0.33);
        items << barcode;
    }
    project.start(1).store(items); // which takes the items over
    if (!rename.isEmpty()) {
        const QStringList names = rename.split(u'>');
        for (const QString& text : texts) {
            const QStringList nameValue = text.split(u'=');
            db->exec(QStringLiteral("update P_ITEM set item_value = '%1' where item_name = '%2'")
                         .arg(RenameField(nameValue[1], names[0], names[1]), nameValue[0]));
        }
        db->exec(QStringLiteral("update P_ITEM set item_name = '%1' where item_name = '%2'")
                     .arg(names[1], names[0]));
    }
    QTemporaryDir dir;
    const Printed run = print(args + QStringList{"--pdf", dir.filePath("out.pdf")});
    QVERIFY2(run.exitCode == exitCode, qPrintable(run.err));
    QVERIFY2(run.err.contains(error), qPrintable(run.err));
    QCOMPARE(storedStart(), stored);
    const QStringList printed =
        QFile::exists(dir.filePath("out.pdf")) ? PdfPageTexts(dir.filePath("out.pdf")) : QStringList();
    QCOMPARE(printed.size(), pages.size());
    for (int i = 0; i < pages.size(); ++i)
        QVERIFY2(QString(printed[i]).remove(u' ').contains(pages[i]), qPrintable(printed[i]));
}

// A ticket: the serial printed, its Code 128 and QR code fed by it and the date,
// an EAN-13 fed by an inactive bare serial. The first and last page of a run,
// rasterised at 300 dpi, scan as exactly that page's values.
void TestPrintRun::symbolsCarryTheirPagesValues_data() {
    QTest::addColumn<int>("pages");
    QTest::newRow("3 pages") << 3;
    QTest::newRow("250 pages") << 250;
}

void TestPrintRun::symbolsCarryTheirPagesValues() {
    QFETCH(int, pages);
    TPrintItem* bare = SerialNumberItem(QStringLiteral("流水"));
    bare->SetItemSerialHasPre(kFalse);
    bare->SetItemSerialLength(12);
    bare->SetItemActive(kFalse);
    TPrintItem* date = NewItem(itDate, 60, 10, 0, 1.2, "yyyy-mm-dd", "日期");
    date->SetItemActive(kFalse);
    TPrintItem* code128 = NewItem(itBarcode, 10, 20, 40, 12, "{票号}", "条码");
    code128->SetBarcodeType(bcCode128B);
    code128->SetBarcodeModule(0.33);
    TPrintItem* ean = NewItem(itBarcode, 10, 45, 40, 15, "{流水}", "商品码");
    ean->SetBarcodeType(bcCodeEAN13);
    ean->SetBarcodeModule(0.33);
    ean->SetItemAllowNewLine(kTrue);
    TPrintItem* qr =
        NewItem(itQRCode, 65, 25, 28, 28, "https://example.org/t/{票号}?d={日期}", "二维码");
    project.start(1).store({SerialNumberItem(QStringLiteral("票号")), bare, date, code128, ean, qr});
    QTemporaryDir dir;
    const QString pdf = dir.filePath("out.pdf");
    const Printed run = print({"--pages", QString::number(pages), "--pdf", pdf});
    QVERIFY2(run.exitCode == 0, qPrintable(run.err));
    const QString today = QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd"));
    const QStringList texts = PdfPageTexts(pdf);
    QCOMPARE(texts.size(), pages);
    for (const int page : {1, pages}) {
        const QString serial = QStringLiteral("NO.%1").arg(page, 6, 10, QLatin1Char('0'));
        const QString digits = QStringLiteral("%1").arg(page, 12, 10, QLatin1Char('0'));
        int sum = 0;
        for (int i = 0; i < 12; ++i)
            sum += digits[i].digitValue() * (i % 2 ? 3 : 1);
        QVERIFY2(texts[page - 1].contains(serial), qPrintable(texts[page - 1]));
        const QString image = dir.filePath(QStringLiteral("p%1.png").arg(page));
        RasterisePdfPage(pdf, page, 300).save(image);
        QStringList read = ZbarScan(image).split(u'\n', Qt::SkipEmptyParts);
        read.sort();
        QStringList expected{serial, digits + QString::number((10 - sum % 10) % 10),
                             "https://example.org/t/" + serial + "?d=" + today};
        expected.sort();
        QCOMPARE(read, expected);
    }
}

namespace {

// A name, a seat and a card number a row of the test data holds.
QStringList DataRow(int row) {
    static const QString surnames = QStringLiteral("赵钱孙李周吴郑王");
    return {surnames[row % 8] + QStringLiteral("同学%1").arg(row), QStringLiteral("%1排").arg(row),
            QStringLiteral("C%1").arg(row, 6, 10, QLatin1Char('0'))};
}

// The project's page for the data: the name and seat as text, the card number
// as Code 128 and, with the seat, as QR code.
QList<TPrintItem*> DataItems() {
    TPrintItem* code128 = NewItem(itBarcode, 10, 25, 50, 12, "{证号}", "条码");
    code128->SetBarcodeType(bcCode128B);
    code128->SetBarcodeModule(0.33);
    return {NewItem(itText, 10, 10, 0, 1.2, "{姓名} {座位}", "文字"), code128,
            NewItem(itQRCode, 65, 25, 28, 28, "{证号}/{页码}", "二维码")};
}

} // namespace

// A thousand rows, in UTF-8 stored with the project or in GB18030 given for the
// run: pages 1, 500 and 1000 show and scan their rows; the next start is the next
// row; a run past the last row is refused and prints nothing.
void TestPrintRun::dataRowsFillThePages_data() {
    QTest::addColumn<QByteArray>("encoding");
    QTest::addColumn<bool>("stored"); // else --data, the stored rows untouched
    QTest::newRow("UTF-8 with a byte order mark, stored") << QByteArray("UTF-8") << true;
    QTest::newRow("GB18030 with tabs, for one run") << QByteArray("GB18030") << false;
}

void TestPrintRun::dataRowsFillThePages() {
    QFETCH(QByteArray, encoding);
    QFETCH(bool, stored);
    const QChar delimiter = stored ? u',' : u'\t';
    QString text = QStringList{"姓名", "座位", "证号"}.join(delimiter) + "\r\n";
    for (int row = 1; row <= 1000; ++row)
        text += DataRow(row).join(delimiter) + "\r\n";
    QByteArray body = QStringEncoder(encoding.constData())(text);
    if (stored)
        body.prepend("\xEF\xBB\xBF");
    const QString oid = project.start(1).store(DataItems());
    const QByteArray storedRows = "姓名,座位,证号\n甲,1,C1\n";
    StoreData(oid, stored ? body : storedRows);
    QTemporaryDir dir;
    QStringList data;
    if (!stored) {
        QFile file(dir.filePath("名单.tsv"));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(body) == body.size());
        data = QStringList{"--data", file.fileName()};
    }
    const auto pdf = [&](int run) { return dir.filePath(QStringLiteral("run%1.pdf").arg(run)); };
    const Printed first = print(data + QStringList{"--pages", "500", "--pdf", pdf(1)});
    QVERIFY2(first.exitCode == 0, qPrintable(first.err));
    QCOMPARE(first.nextStart(), 501);
    const Printed past = print(data + QStringList{"--pages", "501", "--pdf", pdf(2)});
    QCOMPARE(past.exitCode, 1);
    QVERIFY2(past.err.contains("数据只有 1000 行，第 501 页起还剩 500 行"), qPrintable(past.err));
    QVERIFY(!QFile::exists(pdf(2)));
    const Printed last = print(data + QStringList{"--pages", "500", "--pdf", pdf(2)});
    QVERIFY2(last.exitCode == 0, qPrintable(last.err));
    QCOMPARE(storedStart(), 1001);
    QCOMPARE(db->scalar("select message from P_RUN where first_page = 501").toString(),
             QString("数据第 501 行到第 1000 行"));
    for (const auto& [run, page] : {std::pair{1, 1}, {1, 500}, {2, 1000}}) {
        const QStringList row = DataRow(page);
        const int inRun = run == 1 ? page : page - 500;
        const QString shown = PdfPageTexts(pdf(run)).value(inRun - 1);
        QVERIFY2(QString(shown).remove(u' ').contains(row[0] + row[1]), qPrintable(shown));
        const QString image = dir.filePath(QStringLiteral("p%1.png").arg(page));
        RasterisePdfPage(pdf(run), inRun, 300).save(image);
        QStringList read = ZbarScan(image).split(u'\n', Qt::SkipEmptyParts);
        read.sort();
        QCOMPARE(read, (QStringList{row[2], row[2] + "/" + QString::number(page)}));
    }
    QCOMPARE(TFileMgr().GetProjectData(oid)->Body, stored ? body : storedRows);
}

// A row that cannot fill its page fails that page: the pages before it print, it
// is the next start and the message names its row and column. A file too large
// is refused before anything prints.
void TestPrintRun::badDataFailsItsPage_data() {
    QTest::addColumn<QByteArray>("row3"); // the third of five rows: 姓名,座位,证号
    QTest::addColumn<int>("symbology");   // of the barcode
    QTest::addColumn<QString>("big");     // a file of too many bytes or rows, for the run
    QTest::addColumn<int>("stored");
    QTest::addColumn<QString>("error");

    const int code128 = bcCode128B;
    QTest::newRow("a row short of fields")
        << QByteArray("王同学3") << code128 << "" << 3
        << "第 3 页无法打印：数据第 3 行只有 1 个字段，缺少列 \"座位\"";
    QTest::newRow("an empty value for a barcode")
        << QByteArray("王同学3,3排,") << code128 << "" << 3
        << "第 3 页无法打印：数据第 3 行的列 \"证号\" 是空的，二维码 \"二维码\" 不能没有内容";
    QTest::newRow("a value the barcode cannot carry")
        << QByteArray("王同学3,3排,C000003") << int(bcCodeEAN8) << "" << 3
        << "（数据第 3 行，列 \"证号\"）";
    QTest::newRow("a file over 50 MB") << QByteArray("王同学3,3排,0000003") << int(bcCodeEAN8)
                                       << "bytes" << 1 << "数据文件有 51 MB，超过了上限 50 MB";
    QTest::newRow("a file over 1 000 000 rows")
        << QByteArray("王同学3,3排,0000003") << int(bcCodeEAN8) << "rows" << 1
        << "数据文件超过了 1000000 行的上限";
}

void TestPrintRun::badDataFailsItsPage() {
    QFETCH(QByteArray, row3);
    QFETCH(int, symbology);
    QFETCH(QString, big);
    QFETCH(int, stored);
    QFETCH(QString, error);
    QList<TPrintItem*> items = DataItems();
    items[1]->SetBarcodeType(symbology);
    items[1]->SetItemAllowNewLine(FlagText(symbology == bcCodeEAN8)); // its check digit
    const QString oid = project.start(1).store(items);
    StoreData(oid, "姓名,座位,证号\n赵同学1,1排,0000001\n钱同学2,2排,0000002\n" + row3 +
                       "\n李同学4,4排,0000004\n周同学5,5排,0000005\n");
    QTemporaryDir dir;
    QStringList args{"--pages", "5", "--pdf", dir.filePath("out.pdf")};
    if (!big.isEmpty()) {
        QFile file(dir.filePath("big.csv"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        if (big == "bytes")
            QVERIFY(file.resize(50 * 1024 * 1024 + 1));
        else
            QVERIFY(file.write(QByteArray("1\n").repeated(1000002)) > 0);
        file.close();
        args << "--data" << file.fileName();
    }
    const Printed run = print(args);
    QVERIFY2(run.exitCode == 1, qPrintable(run.err));
    QVERIFY2(run.err.contains(error), qPrintable(run.err));
    QCOMPARE(storedStart(), stored);
    const QStringList pages = stored > 1 ? PdfPageTexts(dir.filePath("out.pdf")) : QStringList();
    QCOMPARE(pages.size(), stored - 1);
}

QTEST_MAIN(TestPrintRun)
#include "tst_printrun.moc"
