#pragma once

#include "model/manager/FileMgrImpl.h"
#include "model/manager/SettingMgrImpl.h"
#include "persistence/PersistenceManager.h"

#include <QApplication>
#include <QDebug>
#include <QList>
#include <QRect>
#include <QSize>
#include <QString>
#include <QTemporaryDir>
#include <QTimer>
#include <QVariant>
#include <QVariantMap>
#include <QWidget>
#include <climits>
#include <functional>
#include <memory>

// A fresh database file copied from the schema-made template, connected as the
// program's default database for the fixture's lifetime.
class TestDatabase {
public:
    TestDatabase();
    ~TestDatabase();
    TestDatabase(const TestDatabase&) = delete;
    TestDatabase& operator=(const TestDatabase&) = delete;

    QString path() const { return FPath; }
    // Runs a statement on a connection of the pool and commits it.
    void exec(const QString& sql);
    // The first column of the first row, or an invalid QVariant when no row.
    QVariant scalar(const QString& sql);
    int count(const QString& table) { return scalar("select count(*) from " + table).toInt(); }
    // Every column the table has (not only the mapped ones) of the rows `where`
    // picks ("order by" may follow), by upper-case column name.
    QList<QVariantMap> rows(const QString& table, const QString& where);
    // The database refuses `what` ("insert", "update", "delete") on the table
    // from now on, as a constraint of another station's schema would.
    void refuse(const QString& table, const QString& what);

    // Copies the template to path (for tests that run their own processes).
    static void copyTemplate(const QString& path);

private:
    QTemporaryDir FDir;
    QString FPath;
};

class TPrintItem;
class TProject;

// A project for a test to store, built up from the defaults step by step:
//   TestProject("p").page(100, 80).printer(queue).start(5).store({SerialNumberItem()});
// Each step returns a changed copy, so a test may keep one as the base of its projects.
class TestProject {
public:
    explicit TestProject(const QString& name = QStringLiteral("p")) : FName(name) {}
    // A page of width × height mm.
    TestProject page(double width, double height) const;
    // Printed on this queue rather than the default printer.
    TestProject printer(const QString& queue) const;
    // The stored start: the page number the next run begins with.
    TestProject start(int page) const;
    // Anything else the test sets on the project.
    TestProject with(const std::function<void(TProject&)>& setUp) const;
    // Stores the project with these items, which it takes over; returns its OID.
    QString store(const QList<TPrintItem*>& items = {}) const;
    // The same with bare items of these names, the rest at the defaults.
    QString store(std::initializer_list<QString> itemNames) const;

private:
    QString FName;
    QList<std::function<void(TProject&)>> FSetUps;
};

// Sets every stored value of an object but those named to a value of its own
// that no default has, so that a copy missing one of them shows.
void SetEveryField(TPersistentObject& object, const QStringList& except);

// The project's item of that name; null when it has none.
TPrintItem* ItemNamed(const TProject& project, const QString& name);

// A new item as the editor stores one: position and size, its own font (宋体,
// 12 points, black), the rest at the defaults.
TPrintItem* NewItem(int type, double x, double y, double w, double h, const QString& value,
                    const QString& name = QString());

// A new item (as NewItem makes one, named by its place unless a name is given)
// added to a project.
TPrintItem* AddItem(TProject& project, int type, double x, double y, double w, double h,
                    const QString& value, const QString& name = QString());

// A program folder whose data/KOVAUTF8.FDB is the fixture's file: the main
// window connects to the database beside the program.
QString ProgramDirFor(const TestDatabase& db);

class TPrintMainFrm;

// The program's main window for the program folder, created and shown, with the
// project listed under that name selected when one is given. Null when the
// window did not open.
TPrintMainFrm* OpenMainWindow(const QString& programDir, const QString& project = QString());

// A fresh database for each test function and the main window a test opens on
// it; tearDown() ends both and the program's model the window made. The test
// class's init() and cleanup() call setUp() and tearDown().
struct MainWindowFixture {
    std::unique_ptr<TestDatabase> db;
    TPrintMainFrm* frm = nullptr;
    void setUp() { db = std::make_unique<TestDatabase>(); }
    void tearDown();
};

// A fresh database with the setting and file managers on it; gone with it is
// the program's model a window under test may have made.
struct TestStore {
    TestDatabase db;
    TSettingMgr settings;
    TFileMgr files;
    ~TestStore();
};

// For a program of the tests' support run by hand (the benchmarks): the
// embedded engine's configuration beside the executable, and the offscreen
// platform unless another one is asked for. Before the application is made.
void SetUpStandaloneEnvironment();

// Registers the business objects and the Firebird layer once per process.
void EnsurePersistence();

struct RecordedStatement {
    QString sql;
    TStatementParams params;
    // The statement with blanks folded, for exact comparisons.
    QString normalized() const { return sql.simplified(); }
    QVariant param(const QString& name) const;
};

// Records every statement the persistence layer runs while it lives.
class StatementRecorder {
public:
    StatementRecorder();
    ~StatementRecorder();
    QList<RecordedStatement> statements;
    QStringList sqls() const;
};

// Calls action with the next modal window of type T once it is up.
template <class T> void WhenModal(std::function<void(T*)> action) {
    QTimer::singleShot(20, [action] {
        if (auto* window = qobject_cast<T*>(QApplication::activeModalWidget()))
            action(window);
        else
            WhenModal<T>(action);
    });
}

// A control of a form by its object name; the test cannot go on without it.
template <class T> T* Child(QWidget* parent, const char* name) {
    T* w = parent->findChild<T*>(QString::fromLatin1(name));
    if (!w)
        qFatal("no control %s", name);
    return w;
}

// The message of the E that `call` throws; a null string when it throws none.
template <class E> QString ErrorMessage(const std::function<void()>& call) {
    try {
        call();
    } catch (const E& e) {
        return e.Message();
    }
    return QString();
}

// The private print server (scripts/test-cups-start): where cups-pdf writes its jobs.
QString TestPdfFolder();
// The PDF of a finished job, "<title>...-job_<id>.pdf"; empty when there is none.
QString JobPdf(const QString& title, int id);
// Waits for the PDF of a job. A job the server stops, aborts or cancels, or a
// queue that stops, ends the wait at once with the server's reason in `why`.
QString WaitForJobPdf(const QString& title, int id, QString* why = nullptr, int timeoutMs = 60000);
// Whether the server has seen a job of this title (titles tell concurrent tests apart).
bool JobTitled(const QString& title);
// Ids of the jobs of this title, in submission order.
QList<int> JobsTitled(const QString& title);
// Ids of every job a queue has seen, in submission order.
QList<int> JobsOnQueue(const QString& queue);
// A cups-pdf queue of the test's own on the private server, the name given with
// this process's id appended (jobs on it are the test's alone, and it may be
// stopped or made to reject jobs); removed when it goes. A dpi above 0 sets the
// resolution the queue reports. Not made, and not ok(), without CUPS_SERVER.
// A Label queue is a label printer on CUPS's Zebra ZPL driver (see Zpl.h) at
// `dpi`: 203, 300 or 600, the driver's choices.
class TestQueue {
public:
    enum Kind { Pdf, Label };
    explicit TestQueue(const QString& name, int dpi = 0, Kind kind = Pdf);
    ~TestQueue();
    Q_DISABLE_COPY(TestQueue)
    const QString& name() const { return FName; }
    bool ok() const { return FWhy.isEmpty(); }
    const QString& why() const { return FWhy; }

private:
    QString FName, FWhy;
};
// A queue as TestQueue makes one, under exactly that name, on a server that goes
// with its queues. Returns false with the reason when lpadmin fails.
bool AddTestQueue(const QString& name, QString* why = nullptr, int dpi = 0);
// Values as QDebug writes them, one after another: the message of a failed check.
template <class... T> QString Describe(const T&... values) {
    QString s;
    (QDebug(&s) << ... << values);
    return s;
}
// Where a label queue's job leaves what the printer is sent.
QString LabelJobFile(const QString& queue, int id);
// Waits for that file as WaitForJobPdf waits for a PDF.
QString WaitForLabelJob(const QString& queue, int id, QString* why = nullptr,
                        int timeoutMs = 60000);
// Runs a command to its end; its standard output.
QString RunTool(const QString& program, const QStringList& args, int* exitCode = nullptr);
// The text of every page of a PDF, as pdftotext reads it.
QStringList PdfPageTexts(const QString& pdf);
// The first line of every page of a PDF: the serial number of the test projects.
QStringList Serials(const QString& pdf);
// "NO.000001"-style serial numbers from `from`, `count` of them.
QStringList Range(int from, int count);
// A serial number item that prints in that style at (10, 10), first on its page.
TPrintItem* SerialNumberItem(const QString& name = QStringLiteral("serial"));

// Answers the modal message boxes that come up with the given buttons, in order,
// keeping their texts; a box the list does not cover gets its default button.
class MessageAnswerer {
public:
    explicit MessageAnswerer(QList<int> buttons = {});
    ~MessageAnswerer();
    QStringList texts;
    // The same, each followed by the caption of the button given for it, if any.
    QStringList answered;

private:
    void poll();
    QList<int> FButtons;
    class QTimer* FTimer;
};

// The columns of an editor's table of closing after changes: what the row
// changes, Escape or the close box, the name then stored ("open" while the
// editor stays open), the answer to the question, and the boxes with the
// answers given.
void AddClosingColumns();
// Closes the editor as the row says (Escape goes to `focus`), answering the
// question; checks the boxes and what `stored` then says.
void CloseAsRowSays(QWidget* editor, QWidget* focus, const std::function<QString()>& stored);

// zbarimg's reading of a picture: each symbol's data, one per line.
QString ZbarScan(const QString& image);
// One page of a PDF rasterised by pdftoppm, greyscale, at `dpi`.
class QImage RasterisePdfPage(const QString& pdf, int page, int dpi);
// The dark pixels' bounding box of an 8-bit grey image, optionally within a band of rows.
QRect InkBox(const class QImage& grey, int top = 0, int bottom = INT_MAX);
// A picture in four colours, one a quarter, encoded by cjpeg.
QByteArray QuadrantJpeg(const QSize& size = QSize(160, 80));

struct TDatabaseLocation;

// A tmpfs, or an ext4 image on a loop device that turns read-only on an error,
// mounted (as root) on a new folder `dir` until it goes; not ok() where the machine
// does not allow it.
class ScratchMount {
public:
    enum Kind { Tmpfs, Ext4Image };
    ScratchMount(Kind kind, const QString& dir, int sizeKb);
    ~ScratchMount();
    Q_DISABLE_COPY(ScratchMount)
    bool ok() const { return FMounted; }
    QString path() const { return FDir; }
    // The image reports an error: the kernel turns it read-only under the files
    // open on it, as a failing disk does.
    bool failDisk();
    // Unmounts the image, repairs it and mounts it writable again.
    bool remount();

private:
    QString FDir, FImage;
    bool FMounted = false;
};

// A Firebird server of the test's own (scripts/kova-server) on 127.0.0.1 in a
// folder under /tmp, gone with it. stop(true) is a SIGKILL, as a crash is.
class PrivateFirebird {
public:
    ~PrivateFirebird() { stop(); }
    bool start();
    bool stop(bool crash = false);
    TDatabaseLocation location() const; // from the kova.ini the server wrote

private:
    QTemporaryDir FDir{QStringLiteral("/tmp/kova-firebird.XXXXXX")};
};

// A CUPS server of the test's own (scripts/test-cups-start) with the queue KOVA_PDF,
// gone with it; each start is a fresh one. kill() is a SIGKILL to cupsd that returns
// once the filters and backends it ran have ended (false: they did not).
class PrivateCups {
public:
    ~PrivateCups();
    bool start();
    bool kill();
    QString socket() const { return FDir.filePath("cups/cups.sock"); }
    QString pdfFolder() const { return FDir.filePath("cups/root/pdf"); } // cups-pdf writes here

private:
    QTemporaryDir FDir{QStringLiteral("/tmp/kova-cups-own.XXXXXX")};
};
