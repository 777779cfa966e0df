// kova-print through real faults: a full temp folder, a stale save by another
// station, page numbers at the end of 32 bits, kills at each stage of a run, the
// database server or disk failing under it, the print server dying after it took
// the job. After every trial what reached the queue or PDF is held against the
// run ledger (P_RUN) and the stored start: no number printed twice, none at or
// above the start, and each one skipped below it lies in a run that ended without
// printing it and that the tool named. KOVA_FAULT_TRIALS sets the trials per
// fault (make soak runs many), KOVA_FAULT_SEED replays a run's random moments.
#include "TestSupport.h"

#include "model/PrintCommon.h"
#include "model/PrintModelImpl.h"
#include "model/bom/SettingBom.h"
#include "persistence/DatabaseLocation.h"

#include <QDir>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSet>
#include <QtTest>
#include <csignal>
#include <functional>
#include <memory>
#include <optional>

namespace {

const QString kProject = QStringLiteral("故障");
const QStringList kSkipped{"cancelled", "aborted", "lost", "gap"};

enum Fault {
    TempFull,
    StaleSave,
    PastLastPage,
    SerialWraps,
    Killed,
    ServerKilled,
    ServerRestarted,
    DiskReadOnly,
    PrintServerKilled
};

// One kova-print run as it ended; exitCode -1 when it was killed.
struct Run {
    int exitCode = -1;
    QString out, err;
    int jobId = 0;
};

struct LedgerRun {
    qint64 first = 0, last = -1, pid = 0;
    QString state;
};

bool Mentions(const QString& text, qint64 n) {
    return text.contains(QRegularExpression(QStringLiteral("(?<!\\d)%1(?!\\d)").arg(n)));
}

// What the tool said apart from its progress (which names every page anyway) and
// Qt's chatter.
QString Said(const QString& err) {
    static const QRegularExpression noise(
        QStringLiteral("^(正在打印\\(\\d+\\)|kova-print: pause |QStandardPaths: )"));
    QStringList lines = err.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    lines.removeIf([](const QString& line) { return noise.match(line).hasMatch(); });
    return lines.join(QLatin1Char('\n'));
}

// A run's messages for a failure report.
const char* Told(const Run& run) {
    static QByteArray text;
    text = QStringLiteral("exit %1: %2").arg(run.exitCode).arg(Said(run.err).trimmed()).toUtf8();
    return text.constData();
}

// The page numbers of one output, "NO.000123" first on each page; false with the
// reason when a page cannot be read. A print server killed mid-job leaves blank
// sheets (`blankSpoilt`), which carry no number.
bool PageNumbers(const QString& pdf, QList<qint64>& numbers, QString* why, bool blankSpoilt) {
    static const QRegularExpression serial(QStringLiteral("^NO\\.(\\d+)$"));
    const QStringList pages = Serials(pdf);
    if (pages.isEmpty() && !blankSpoilt) {
        *why = pdf + QStringLiteral(" reached the printer without a readable page");
        return false;
    }
    for (const QString& page : pages) {
        const auto m = serial.match(page);
        if (!m.hasMatch() && !(page.isEmpty() && blankSpoilt)) {
            *why = QStringLiteral("%1 has a page reading \"%2\"").arg(pdf, page);
            return false;
        }
        if (m.hasMatch())
            numbers << m.captured(1).toLongLong();
    }
    return true;
}

// What each run of a row said, by process, in the order they ran.
using Sayings = QList<QPair<qint64, QString>>;

// What breaks the numbering from `from` up to the stored start, or nothing.
QString NumberingBroken(QList<qint64> printed, const QList<LedgerRun>& ledger,
                        const QString& ledgerError, qint64 from, qint64 stored,
                        const Sayings& said) {
    QStringList faults;
    const auto fault = [&](const QString& text) {
        if (faults.size() < 20)
            faults << text;
    };
    std::sort(printed.begin(), printed.end());
    for (int i = 0; i < printed.size(); ++i) {
        if (i > 0 && printed[i] == printed[i - 1])
            fault(QStringLiteral("%1 printed twice").arg(printed[i]));
        if (printed[i] >= stored)
            fault(QStringLiteral("%1 printed, the stored start is %2").arg(printed[i]).arg(stored));
    }
    if (stored - from > 1000000)
        fault(QStringLiteral("the stored start jumped from %1 to %2").arg(from).arg(stored));
    // The run that skipped a number, or a later one that settled it, names its range.
    const auto named = [&](const LedgerRun& run) {
        bool after =
            std::none_of(said.begin(), said.end(), [&](auto& s) { return s.first == run.pid; });
        for (const auto& [pid, text] : said) {
            after = after || pid == run.pid;
            if (after && Mentions(text, run.first) && Mentions(text, run.last))
                return true;
        }
        return false;
    };
    const QSet<qint64> got(printed.begin(), printed.end());
    for (qint64 n = from; n < stored && stored - from <= 1000000; ++n) {
        if (got.contains(n))
            continue;
        const auto run = std::find_if(ledger.begin(), ledger.end(), [&](const LedgerRun& r) {
            return kSkipped.contains(r.state) && r.first <= n && n <= r.last;
        });
        if (run == ledger.end())
            fault(QStringLiteral("%1 is below the stored start %2, not printed, and in no run that "
                                 "skipped it %3")
                      .arg(n)
                      .arg(stored)
                      .arg(ledgerError));
        else if (!named(*run))
            fault(QStringLiteral("%1..%2 (%3) were never named by the tool")
                      .arg(run->first)
                      .arg(run->last)
                      .arg(run->state));
        if (run != ledger.end())
            n = run->last;
    }
    return faults.join('\n');
}

// This process on the row's database while it lives, as another station.
class Attached {
public:
    explicit Attached(const TDatabaseLocation& db) : FOwn(!PersistenceManager().Connected()) {
        if (FOwn)
            ConnectToDatabase(db);
    }
    ~Attached() {
        if (FOwn)
            PersistenceManager().Disconnect();
    }

private:
    bool FOwn;
};

// What a row works on; gone, with its servers and mounts, after the row.
struct Row {
    Fault fault = TempFull;
    QString target; // "pdf", "queue" (the suite's print server) or "own server"
    QTemporaryDir dir{QStringLiteral("/tmp/kova-faults.XXXXXX")};
    std::unique_ptr<ScratchMount> disk;
    std::unique_ptr<PrivateFirebird> firebird;
    std::unique_ptr<PrivateCups> cups;
    TDatabaseLocation db;
    QString oid, queue;
    qint64 firstStart = 0;
    int outputs = 0;
    QList<qint64> printed; // every page number that reached a queue or PDF
    QSet<QString> read;
    QSet<int> jobsRead;
    Sayings said;
};

} // namespace

class TestFaults : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void numberingSurvives_data();
    void numberingSurvives();

private:
    QString setUpRow(Fault fault, const QString& target, int start);
    void trial(const QString& point, int pages);
    QProcess* start(const QStringList& args, const QMap<QString, QString>& env = {});
    Run finish(QProcess* p, const QByteArray& seen = {});
    Run print(const QStringList& args, const QMap<QString, QString>& env = {}) {
        return finish(start(args, env));
    }
    // Starts a run and waits for its line `marker`; null, the run's end in `ended`,
    // when it ended first.
    QProcess* runUntil(const QStringList& args, const QByteArray& marker, Run* ended,
                       const QMap<QString, QString>& env = {});
    // The progress line of a page chosen at random among from..to.
    QByteArray pageMarker(int from, int to);
    // Reads the outputs the row has not read yet into `printed`; `fresh` gets their
    // numbers. `serverKilled`: the print server's files are those of one just killed.
    void collect(QList<qint64>* fresh = nullptr, bool serverKilled = false);
    // The run after a fault: it settles what the fault left and carries on.
    void settle();
    void checkNumbering();
    // Runs a statement on the row's database (":oid" the project), `each` on every
    // row of its result; what the database said when it failed.
    QString query(const QString& sql, const std::function<void(const TQuery&)>& each);
    qint64 storedStart();
    QList<LedgerRun> ledger(QString* error);
    // The ledger's run of a process, or none; `why` says what the ledger held.
    std::optional<LedgerRun> ledgerRunOf(qint64 pid, QString* why);

    std::unique_ptr<Row> row;
    QRandomGenerator random;
    int trials = 3;
};

void TestFaults::initTestCase() {
    EnsurePersistence();
    if (qEnvironmentVariableIsSet("KOVA_FAULT_TRIALS"))
        trials = qMax(1, qEnvironmentVariableIntValue("KOVA_FAULT_TRIALS"));
    bool given = false;
    quint32 seed = quint32(qEnvironmentVariableIntValue("KOVA_FAULT_SEED", &given));
    if (!given)
        seed = QRandomGenerator::system()->generate();
    random.seed(seed);
    qInfo("%d trials per fault; KOVA_FAULT_SEED=%u replays them", trials, seed);
}

void TestFaults::cleanup() {
    // A run a failed check left behind ends here, before its servers and disk go.
    qDeleteAll(findChildren<QProcess*>());
    if (PersistenceManager().Connected())
        PersistenceManager().Disconnect();
    if (row && !row->queue.isEmpty())
        RemoveTestQueue(row->queue);
    row.reset();
}

void TestFaults::numberingSurvives_data() {
    QTest::addColumn<int>("fault");
    QTest::addColumn<QString>("target");
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("pages");
    QTest::addColumn<QString>("point"); // where a killed run dies

    QTest::newRow("temp folder full while the job is written")
        << int(TempFull) << "pdf" << 100 << 300 << "";
    QTest::newRow("another station saves a copy read before the run")
        << int(StaleSave) << "pdf" << 100 << 3 << "";
    QTest::newRow("pages past 2147483647") << int(PastLastPage) << "pdf" << 2147483640 << 10 << "";
    QTest::newRow("next start 2147483648 does not fit")
        << int(PastLastPage) << "pdf" << 2147483640 << 8 << "";
    QTest::newRow("a serial's step wraps 32 bits on page 4")
        << int(SerialWraps) << "pdf" << 1 << 5 << "";
    QTest::newRow("killed with the numbers reserved")
        << int(Killed) << "queue" << 100 << 5 << "reserved";
    QTest::newRow("killed after the queue took the job, before it was recorded")
        << int(Killed) << "queue" << 100 << 5 << "handed";
    QTest::newRow("killed after the PDF was renamed into place, before it was recorded")
        << int(Killed) << "pdf" << 100 << 5 << "handed";
    QTest::newRow("killed while drawing a page")
        << int(Killed) << "queue" << 100 << 40 << "drawing";
    QTest::newRow("database server killed mid-run")
        << int(ServerKilled) << "pdf" << 100 << 100000 << "";
    QTest::newRow("database server restarted mid-run")
        << int(ServerRestarted) << "pdf" << 100 << 100000 << "";
    QTest::newRow("database disk turns read-only mid-run")
        << int(DiskReadOnly) << "pdf" << 100 << 100000 << "";
    QTest::newRow("print server killed once it took the job")
        << int(PrintServerKilled) << "own server" << 100 << 5 << "accepted";
    QTest::newRow("print server killed before the job was recorded")
        << int(PrintServerKilled) << "own server" << 100 << 5 << "handed";
}

#define CHECKED(call)                                                                              \
    do {                                                                                           \
        call;                                                                                      \
        if (QTest::currentTestFailed())                                                            \
            return;                                                                                \
    } while (0)

void TestFaults::numberingSurvives() {
    QFETCH(int, fault);
    QFETCH(QString, target);
    QFETCH(int, start);
    QFETCH(int, pages);
    QFETCH(QString, point);
    QString skip;
    CHECKED(skip = setUpRow(Fault(fault), target, start));
    if (!skip.isEmpty())
        QSKIP(qPrintable(skip));
    for (int i = 1; i <= trials; ++i) {
        CHECKED(trial(point, pages));
        CHECKED(checkNumbering());
    }
}

// A fresh database and project for the row, where the fault needs them; a reason
// to skip when the machine cannot stage the fault.
QString TestFaults::setUpRow(Fault fault, const QString& target, int start) {
    row = std::make_unique<Row>();
    row->fault = fault;
    row->target = target;
    row->firstStart = start;
    QDir(row->dir.path()).mkpath("spool");
    QString why;
    QString file = row->dir.filePath(QStringLiteral("KOVAUTF8.FDB"));
    if (fault == TempFull) {
        if (!ScratchMount(ScratchMount::Tmpfs, row->dir.filePath("probe"), 64).ok())
            return QStringLiteral("no tmpfs can be mounted here");
    } else if (fault == DiskReadOnly) {
        row->disk = std::make_unique<ScratchMount>(ScratchMount::Ext4Image,
                                                   row->dir.filePath("disk"), 32768);
        if (!row->disk->ok())
            return QStringLiteral("no ext4 image can be mounted here: ") + row->disk->why();
        file = row->disk->path() + QStringLiteral("/KOVAUTF8.FDB");
    } else if (fault == ServerKilled || fault == ServerRestarted) {
        if (!QFileInfo::exists(QStringLiteral("/usr/sbin/firebird")))
            return QStringLiteral("firebird3.0-server is not installed");
        row->firebird = std::make_unique<PrivateFirebird>();
        if (!row->firebird->start(&why))
            return QStringLiteral("the Firebird server did not start: ") + why;
        row->db = row->firebird->location();
    }
    if (!row->firebird) {
        TestDatabase::copyTemplate(file);
        row->db = {file, QStringLiteral("SYSDBA"), QStringLiteral("pinecrest"), QString()};
    }
    QString device = QStringLiteral("KOVA_PDF");
    if (target == "queue") {
        if (!qEnvironmentVariableIsSet("CUPS_SERVER"))
            return QStringLiteral("runs against the suite's print server (ctest fixture cups)");
        // Named afresh for each row: the server keeps the jobs of a queue removed.
        static int queues = 0;
        row->queue = device = QStringLiteral("KOVA_FAULT_%1_%2")
                                  .arg(QCoreApplication::applicationPid())
                                  .arg(++queues);
        if (!AddTestQueue(row->queue, &why))
            return QStringLiteral("no queue of the test's own: ") + why;
    } else if (target == "own server") {
        row->cups = std::make_unique<PrivateCups>();
        if (!row->cups->start(&why))
            return QStringLiteral("no print server of the test's own: ") + why;
    }
    try {
        Attached station(row->db);
        QList<TPrintItem*> items{SerialNumberItem()};
        if (fault == SerialWraps) {
            items << NewItem(itSerial, 10, 40, 0, 1.2, QStringLiteral("1"),
                             QStringLiteral("大步长"));
            items.last()->SetItemSerialStep(1000000000);
        }
        row->oid = StoreProject(kProject, items, [&](TProject& p) {
            p.SetProjectPageWidth(100);
            p.SetProjectPageHeight(80);
            p.SetProjectDefaultDevice(kFalse);
            p.SetProjectDeviceName(device);
            p.SetProjectSerialStart(start);
        });
    } catch (const Exception& e) {
        QTest::qFail(qPrintable(e.Message()), __FILE__, __LINE__);
    }
    return QString();
}

QProcess* TestFaults::start(const QStringList& args, const QMap<QString, QString>& env) {
    auto* p = new QProcess(this);
    QProcessEnvironment all = QProcessEnvironment::systemEnvironment();
    // The job files of killed runs go with the row.
    all.insert("TMPDIR", row->dir.filePath("spool"));
    if (row->firebird) {
        all.insert("KOVA_DATABASE_USER", row->db.UserName);
        all.insert("KOVA_DATABASE_PASSWORD", row->db.Password);
    }
    if (row->cups)
        all.insert("CUPS_SERVER", row->cups->socket());
    for (auto it = env.begin(); it != env.end(); ++it)
        all.insert(it.key(), it.value());
    p->setProcessEnvironment(all);
    QStringList target{"--printer", row->queue.isEmpty() ? "KOVA_PDF" : row->queue};
    if (row->target == "pdf")
        target = {"--pdf", row->dir.filePath(QStringLiteral("run%1.pdf").arg(++row->outputs))};
    p->start(QStringLiteral(KOVA_BIN_DIR "/kova-print"),
             QStringList{"--database", row->db.Name, "--project", kProject, "--wait", "60"} +
                 target + args);
    p->waitForStarted();
    p->setProperty("pid", p->processId());
    return p;
}

Run TestFaults::finish(QProcess* p, const QByteArray& seen) {
    Run r;
    const qint64 pid = p->property("pid").toLongLong();
    if (!p->waitForFinished(300000)) {
        p->kill();
        p->waitForFinished();
    }
    r.exitCode = p->exitStatus() == QProcess::NormalExit ? p->exitCode() : -1;
    r.out = QString::fromUtf8(p->readAllStandardOutput());
    r.err = QString::fromUtf8(seen + p->readAllStandardError());
    const auto job = QRegularExpression(QStringLiteral("job (\\d+) on")).match(r.err);
    r.jobId = job.hasMatch() ? job.captured(1).toInt() : 0;
    row->said.append({pid, Said(r.err)});
    delete p;
    return r;
}

QProcess* TestFaults::runUntil(const QStringList& args, const QByteArray& marker, Run* ended,
                               const QMap<QString, QString>& env) {
    QProcess* p = start(args, env);
    QByteArray seen;
    if (WaitForError(*p, seen, marker))
        return p;
    *ended = finish(p, seen);
    QTest::qFail(qPrintable(QStringLiteral("the run never wrote \"%1\" (exit %2):\n%3")
                                .arg(QString::fromUtf8(marker))
                                .arg(ended->exitCode)
                                .arg(Said(ended->err).trimmed())),
                 __FILE__, __LINE__);
    return nullptr;
}

QByteArray TestFaults::pageMarker(int from, int to) {
    return QStringLiteral("正在打印(%1)")
        .arg(qint64(from) + random.bounded(to - from + 1))
        .toUtf8();
}

// One trial: the fault, what the row expects of the faulted run, and the run after it.
void TestFaults::trial(const QString& point, int pages) {
    qint64 before = 0;
    CHECKED(before = storedStart());
    const QString count = QString::number(pages);
    Run r;
    QString why;
    switch (row->fault) {
    case TempFull: {
        ScratchMount tmp(ScratchMount::Tmpfs, row->dir.filePath("tmp"),
                         16 * (1 + random.bounded(4)));
        QVERIFY2(tmp.ok(), qPrintable(tmp.why()));
        r = print({"--pages", count}, {{"TMPDIR", tmp.path()}});
        break;
    }
    case StaleSave:
        try {
            Attached station(row->db);
            TPrintModel model;
            model.Load();
            TProject* stale = nullptr;
            for (const auto& [name, project] : model.SettingMgr()->GetProjectList())
                stale = name == kProject ? project : stale;
            QVERIFY(stale);
            r = print({"--pages", count});
            QVERIFY2(r.exitCode == 0, Told(r));
            stale->SetProjectNotes(QStringLiteral("另一台工作站的备注"));
            stale->SetDirty(true);
            stale->Save();
        } catch (const Exception& e) {
            QFAIL(qPrintable(e.Message()));
        }
        QCOMPARE(storedStart(), before + pages);
        CHECKED(settle());
        return;
    case PastLastPage:
    case SerialWraps:
        r = print({"--pages", count});
        break;
    case Killed: {
        const bool drawing = point == "drawing";
        const int n = drawing ? pages : 1 + random.bounded(pages);
        QMap<QString, QString> env;
        if (!drawing)
            env.insert("KOVA_TEST_PAUSE", point + ":60000");
        QProcess* p = nullptr;
        CHECKED(p = runUntil({"--pages", QString::number(n)},
                             drawing ? pageMarker(before, before + n - 1)
                                     : "kova-print: pause " + point.toUtf8(),
                             &r, env));
        const qint64 pid = p->property("pid").toLongLong();
        ::kill(pid_t(pid), SIGKILL);
        finish(p);
        CHECKED(settle());
        // The job found under the run's token was printed; a job never handed over
        // gives its numbers back, none being printed after them. A run killed while
        // drawing may not have reserved any.
        const std::optional<LedgerRun> dead = ledgerRunOf(pid, &why);
        QVERIFY2(dead || drawing, qPrintable(why));
        const QStringList states =
            point == "handed" ? QStringList{"accepted", "completed"} : QStringList{"returned"};
        if (dead)
            QVERIFY2(states.contains(dead->state), qPrintable(dead->state));
        return;
    }
    case ServerKilled:
    case ServerRestarted:
    case DiskReadOnly: {
        // What was written before the run is on the disk, as after any quiet while.
        if (row->disk)
            RunCommand("sync", {"-f", row->disk->path()});
        QProcess* p = nullptr;
        CHECKED(p = runUntil({"--pages", count}, pageMarker(before + 5, before + 60), &r));
        if (row->fault == ServerKilled)
            row->firebird->kill();
        if (row->fault == ServerRestarted)
            QVERIFY2(row->firebird->stop(&why) && row->firebird->start(&why), qPrintable(why));
        if (row->fault == DiskReadOnly)
            QVERIFY2(row->disk->failDisk(&why), qPrintable(why));
        ::kill(pid_t(p->property("pid").toLongLong()), SIGTERM); // it tries to finish
        r = finish(p);
        if (row->fault == ServerKilled)
            QVERIFY2(row->firebird->start(&why), qPrintable(why));
        if (row->fault == DiskReadOnly) {
            QVERIFY2(row->disk->remount(&why), qPrintable(why));
            break;
        }
        // Printed and stored, or neither: the numbering check tells which.
        QVERIFY2(r.exitCode == 0 || r.exitCode == 1, Told(r));
        CHECKED(settle());
        return;
    }
    case PrintServerKilled: {
        // Paused on the hand-over, the tool wakes to a new server; once it told the
        // job's id, it races the server's death to the job's outcome.
        const bool handed = point == "handed";
        QMap<QString, QString> env;
        if (handed)
            env.insert("KOVA_TEST_PAUSE", "handed:3000");
        QProcess* p = nullptr;
        CHECKED(p = runUntil({"--pages", QString::number(1 + random.bounded(pages)), "--follow"},
                             handed ? "kova-print: pause handed" : "kova-print: job ", &r, env));
        const qint64 pid = p->property("pid").toLongLong();
        row->cups->kill();
        CHECKED(collect(nullptr, true));
        QVERIFY2(row->cups->start(&why), qPrintable(why));
        r = finish(p);
        const std::optional<LedgerRun> found = ledgerRunOf(pid, &why);
        QVERIFY2(found && found->last >= found->first, qPrintable(why));
        const LedgerRun run = *found;
        if (r.exitCode == 0) {
            QCOMPARE(run.state, QString("completed"));
            for (qint64 n = run.first; n <= run.last; ++n)
                QVERIFY2(row->printed.contains(n), qPrintable(QString::number(n) + " not printed"));
        } else {
            QVERIFY2(r.exitCode == 4, Told(r));
            QVERIFY2(QStringList({"lost", "aborted", "cancelled"}).contains(run.state),
                     qPrintable(run.state));
            QVERIFY2(Mentions(Said(r.err), run.first) && Mentions(Said(r.err), run.last), Told(r));
        }
        CHECKED(settle());
        return;
    }
    }
    // The faulted run refused, or failed before anything was handed over.
    QList<qint64> fresh;
    CHECKED(collect(&fresh));
    QVERIFY2(fresh.isEmpty(), Told(r));
    QCOMPARE(storedStart(), before);
    QVERIFY2(r.exitCode == 1, Told(r));
    // Named: page 4 is where the serial would pass 2147483647 (1 + 3 * 1000000000);
    // the page numbers end at 2147483647, the last page or the first past it is named.
    if (row->fault == SerialWraps)
        QVERIFY2(r.err.contains(QStringLiteral("第 4 页")), Told(r));
    if (row->fault == PastLastPage)
        QVERIFY2(r.err.contains(QStringLiteral("第 2147483647 页")) ||
                     r.err.contains(QStringLiteral("第 2147483648 页")),
                 Told(r));
    if (row->fault == TempFull || row->fault == DiskReadOnly)
        CHECKED(settle());
}

void TestFaults::collect(QList<qint64>* fresh, bool serverKilled) {
    QList<qint64> numbers;
    QString why;
    if (row->cups) {
        // The next start of the server removes its files: keep them.
        for (const QString& name : QDir(row->cups->pdfFolder()).entryList({"*.pdf"}, QDir::Files))
            QFile::rename(row->cups->pdfFolder() + '/' + name,
                          row->dir.filePath(QStringLiteral("%1%2-%3")
                                                .arg(serverKilled ? "killed" : "job")
                                                .arg(++row->outputs)
                                                .arg(name)));
    }
    if (!row->queue.isEmpty()) {
        for (int id : JobsOnQueue(row->queue)) {
            if (row->jobsRead.contains(id))
                continue;
            row->jobsRead.insert(id);
            const QString pdf = WaitForJobPdf(QString(), id, &why);
            // A job the server did not print (cancelled, aborted) reached no paper.
            if (!pdf.isEmpty())
                QVERIFY2(PageNumbers(pdf, numbers, &why, false), qPrintable(why));
        }
    }
    for (const QString& name : QDir(row->dir.path()).entryList({"*.pdf"}, QDir::Files)) {
        if (row->read.contains(name))
            continue;
        row->read.insert(name);
        QVERIFY2(PageNumbers(row->dir.filePath(name), numbers, &why, name.startsWith("killed")),
                 qPrintable(why));
    }
    row->printed += numbers;
    if (fresh)
        *fresh = numbers;
}

void TestFaults::settle() {
    CHECKED(collect());
    const Run r = print({"--pages", "2"});
    QVERIFY2(r.exitCode == 0, Told(r));
    if (row->cups && r.jobId > 0) {
        CupsServerSwitch own(row->cups->socket());
        QString why;
        QVERIFY2(!WaitForJobPdf(QString(), r.jobId, &why).isEmpty(), qPrintable(why));
    }
    QList<qint64> fresh;
    CHECKED(collect(&fresh));
    const qint64 next = r.out.trimmed().toLongLong();
    QCOMPARE(fresh, (QList<qint64>{next - 2, next - 1}));
    QCOMPARE(storedStart(), next);
}

void TestFaults::checkNumbering() {
    CHECKED(collect());
    QString ledgerError;
    const QList<LedgerRun> runs = ledger(&ledgerError);
    const QString broken =
        NumberingBroken(row->printed, runs, ledgerError, row->firstStart, storedStart(), row->said);
    QVERIFY2(broken.isEmpty(), qPrintable(broken));
}

QString TestFaults::query(const QString& sql, const std::function<void(const TQuery&)>& each) {
    try {
        Attached station(row->db);
        TDatabaseLock conn;
        conn->StartTransaction();
        const std::unique_ptr<TQuery> q = conn->CreateQuery();
        q->SetSQL(sql);
        q->ParamAsString("oid", row->oid);
        for (q->Open(); !q->Eof(); q->Next())
            each(*q);
        return QString();
    } catch (const Exception& e) {
        return e.Message();
    }
}

qint64 TestFaults::storedStart() {
    qint64 start = -1;
    const QString error = query("select serial_start from P_PROJECT where oid = :oid",
                                [&](const TQuery& q) { start = q.FieldAt(0).toLongLong(); });
    if (!error.isEmpty())
        QTest::qFail(qPrintable(error), __FILE__, __LINE__);
    return start;
}

QList<LedgerRun> TestFaults::ledger(QString* error) {
    QList<LedgerRun> runs;
    const QString failed =
        query("select first_page, last_page, process_id, state from P_RUN where project_id = :oid",
              [&](const TQuery& q) {
                  runs.append({q.FieldAt(0).toLongLong(),
                               q.FieldAt(1).isNull() ? -1 : q.FieldAt(1).toLongLong(),
                               q.FieldAt(2).toLongLong(), q.FieldAt(3).toString().trimmed()});
              });
    if (!failed.isEmpty())
        *error = QStringLiteral("(the ledger cannot be read: %1)").arg(failed);
    return runs;
}

std::optional<LedgerRun> TestFaults::ledgerRunOf(qint64 pid, QString* why) {
    QString error;
    const QList<LedgerRun> runs = ledger(&error);
    *why = QStringLiteral("no run of process %1 in the ledger %2").arg(pid).arg(error);
    for (const LedgerRun& run : runs)
        if (run.pid == pid)
            return run;
    return std::nullopt;
}

QTEST_MAIN(TestFaults)
#include "tst_faults.moc"
