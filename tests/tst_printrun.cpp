// Print runs end to end: kova-print (the Print button's code without a window)
// against a real database file and a real cups-pdf queue, read back with
// pdftotext. Numbering never skips and never repeats.
#include "TestSupport.h"

#include "model/bom/SettingBom.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>
#include <csignal>

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
    const auto job = QRegularExpression(QStringLiteral("job (\\d+) on")).match(r.err);
    r.jobId = job.hasMatch() ? job.captured(1).toInt() : 0;
    return r;
}

// The serial numbers on the pages of a PDF, one per page.
QStringList Serials(const QString& pdf) {
    QStringList serials;
    for (const QString& page : PdfPageTexts(pdf))
        serials << page.section(QLatin1Char('\n'), 0, 0).trimmed();
    return serials;
}

QStringList Range(int from, int count) {
    QStringList s;
    for (int i = 0; i < count; ++i)
        s << QStringLiteral("NO.%1").arg(from + i, 6, 10, QLatin1Char('0'));
    return s;
}

} // namespace

class TestPrintRun : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void numbering_data();
    void numbering();
    void concurrentRunsNeverShareNumbers();
    void signalStopsAfterThePageInHand_data();
    void signalStopsAfterThePageInHand();
    void jobTheQueueRefusesKeepsTheStart_data();
    void jobTheQueueRefusesKeepsTheStart();

private:
    // A project of one serial-number item "NO.000001" upwards, on our queue.
    void storeProject(int start);
    Printed print(const QStringList& args);
    QProcess* startPrint(const QStringList& args);
    int storedStart();
    QStringList jobSerials(const Printed& run);

    QString queue;
    std::unique_ptr<TestDatabase> db;
};

void TestPrintRun::initTestCase() {
    QVERIFY2(qEnvironmentVariableIsSet("CUPS_SERVER"), "runs against the private CUPS server");
    queue = QStringLiteral("KOVA_RUN_%1").arg(QCoreApplication::applicationPid());
    QString why;
    QVERIFY2(AddTestQueue(queue, &why), qPrintable(why));
}

void TestPrintRun::cleanupTestCase() {
    RemoveTestQueue(queue);
}

void TestPrintRun::init() {
    db = std::make_unique<TestDatabase>();
}

void TestPrintRun::cleanup() {
    db.reset();
}

void TestPrintRun::storeProject(int start) {
    TProjectList list;
    auto* p = new TProject;
    p->SetProjectName(kProject);
    p->SetProjectPageWidth(100);
    p->SetProjectPageHeight(80);
    p->SetProjectDefaultDevice(kFalse);
    p->SetProjectDeviceName(queue);
    p->SetProjectSerialStart(start);
    list.Add(p);
    p->SetDirty(true);
    auto* serial = new TPrintItem;
    serial->SetItemName(QStringLiteral("serial"));
    serial->SetItemType(itSerial);
    serial->SetItemValue(QStringLiteral("1"));
    serial->SetItemSerialIsFillZero(kTrue);
    serial->SetItemSerialLength(6);
    serial->SetItemSerialHasPre(kTrue);
    serial->SetItemSerialPreText(QStringLiteral("NO."));
    serial->SetItemFontName(QStringLiteral("宋体"));
    serial->SetItemFontSize(QStringLiteral("12"));
    serial->SetItemFontColor(QStringLiteral("clBlack"));
    serial->SetItemFontStyle(QStringLiteral("[]"));
    serial->SetItemX(10);
    serial->SetItemY(10);
    p->ItemList()->Add(serial);
    serial->SetDirty(true);
    p->Save();
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
        << QList<int>{4, 4, 3};
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
    storeProject(start);
    for (int i = 0; i < runs.size(); ++i) {
        const Printed run = print(runs[i]);
        QVERIFY2(run.exitCode == exitCodes[i], qPrintable(run.err));
        QCOMPARE(jobSerials(run), pages[i]);
        QCOMPARE(storedStart(), stored[i]);
        if (run.exitCode == 0 && !runs[i].contains("--no-save"))
            QCOMPARE(run.nextStart(), stored[i]);
    }
}

// Two processes printing the same project at once: the second waits for the
// first and continues where it ended.
void TestPrintRun::concurrentRunsNeverShareNumbers() {
    storeProject(1);
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
    storeProject(100);
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

// Whatever keeps the job from the queue, nothing was printed and the start stays.
void TestPrintRun::jobTheQueueRefusesKeepsTheStart_data() {
    QTest::addColumn<QString>("how");
    QTest::newRow("queue rejecting jobs") << "reject";
    QTest::newRow("print server gone mid-run") << "server gone";
    QTest::newRow("killed before the job was handed over") << "SIGKILL";
}

void TestPrintRun::jobTheQueueRefusesKeepsTheStart() {
    QFETCH(QString, how);
    storeProject(50);
    const QList<int> jobsBefore = JobsTitled(QStringLiteral("refused"));
    if (how == "reject") {
        QCOMPARE(QProcess::execute("cupsreject", {queue}), 0);
        const Printed run = print({"--pages", "3", "--title", "refused"});
        QProcess::execute("cupsaccept", {queue});
        QCOMPARE(run.exitCode, 1);
        QVERIFY2(run.err.contains(queue), qPrintable(run.err));
        QVERIFY2(run.err.contains("not accepting"), qPrintable(run.err));
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
                 "refused", "--printer", how == "server gone" ? "KOVA_PDF" : queue});
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

QTEST_MAIN(TestPrintRun)
#include "tst_printrun.moc"
