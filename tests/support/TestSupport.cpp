#include "TestSupport.h"

#include "PrintMain.h"
#include "model/PrintCommon.h"
#include "model/PrintModelImpl.h"
#include "model/bom/SettingBom.h"
#include "persistence/DatabaseLocation.h"
#include "persistence/FbLayer.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QMessageBox>
#include <QPainter>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <csignal>
#include <cups/cups.h>
#include <functional>

void EnsurePersistence() {
    RegisterBusinessObjects();
    RegisterFirebirdLayer();
}

void TestDatabase::copyTemplate(const QString& path) {
    QFile::remove(path);
    if (!QFile::copy(QStringLiteral(KOVA_TEST_DB_TEMPLATE), path))
        qFatal("cannot copy the test database template to %s", qPrintable(path));
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
}

TestDatabase::TestDatabase() {
    EnsurePersistence();
    FPath = FDir.filePath(QStringLiteral("KOVAUTF8.FDB"));
    copyTemplate(FPath);
    PersistenceManager().ConnectDatabase(FPath, QStringLiteral("SYSDBA"),
                                         QStringLiteral("pinecrest"), QString(),
                                         QStringLiteral("FBAPI"));
}

TestDatabase::~TestDatabase() {
    PersistenceManager().Disconnect();
}

void TestDatabase::exec(const QString& sql) {
    TDatabaseLock conn;
    conn->StartTransaction();
    auto query = conn->CreateQuery();
    query->SetSQL(sql);
    query->ExecSQL();
    query->Close();
    conn->Commit();
}

QVariant TestDatabase::scalar(const QString& sql) {
    TDatabaseLock conn;
    conn->StartTransaction();
    auto query = conn->CreateQuery();
    query->SetSQL(sql);
    query->Open();
    QVariant value;
    if (!query->Eof())
        value = query->FieldAt(0);
    return value;
}

QVariant RecordedStatement::param(const QString& name) const {
    for (const auto& p : params)
        if (p.first.compare(name, Qt::CaseInsensitive) == 0)
            return p.second;
    return QVariant();
}

StatementRecorder::StatementRecorder() {
    PersistenceManager().SetStatementObserver(
        [this](const QString& sql, const TStatementParams& params) {
            statements.append({sql, params});
        });
}

StatementRecorder::~StatementRecorder() {
    PersistenceManager().SetStatementObserver({});
}

QStringList StatementRecorder::sqls() const {
    QStringList list;
    for (const auto& s : statements)
        list << s.normalized();
    return list;
}

QString StoreProject(const QString& name, const QList<TPrintItem*>& items,
                     const std::function<void(TProject&)>& setUp) {
    TProjectList list;
    auto* p = new TProject;
    p->SetProjectName(name);
    if (setUp)
        setUp(*p);
    list.Add(p);
    p->SetDirty(true);
    for (TPrintItem* item : items)
        p->ItemList()->Add(item);
    // Items the set-up added are stored too.
    for (int i = 0; i < p->ItemList()->Count(); ++i)
        p->ItemList()->Items(i)->SetDirty(true);
    p->Save();
    return p->OID();
}

TPrintItem* NewItem(int type, double x, double y, double w, double h, const QString& value,
                    const QString& name) {
    auto* item = new TPrintItem;
    item->SetItemName(name.isEmpty() ? QStringLiteral("item %1 at %2,%3").arg(type).arg(x).arg(y)
                                     : name);
    item->SetItemType(type);
    item->SetItemValue(value);
    item->SetItemX(x);
    item->SetItemY(y);
    item->SetItemTextWidth(w);
    item->SetItemLineHeight(h);
    item->SetItemFontName(QStringLiteral("宋体"));
    item->SetItemFontSize(QStringLiteral("12"));
    item->SetItemFontColor(QStringLiteral("clBlack"));
    item->SetItemFontStyle(QStringLiteral("[]"));
    return item;
}

TPrintItem* AddItem(TProject& project, int type, double x, double y, double w, double h,
                    const QString& value) {
    TPrintItem* item =
        NewItem(type, x, y, w, h, value, QStringLiteral("item%1").arg(project.ItemList()->Count()));
    project.ItemList()->Add(item);
    return item;
}

QString ProgramDirFor(const TestDatabase& db) {
    const QString programDir = QFileInfo(db.path()).absolutePath() + QStringLiteral("/prog");
    QDir().mkpath(programDir + QStringLiteral("/data"));
    QFile::link(db.path(), programDir + QStringLiteral("/data/KOVAUTF8.FDB"));
    return programDir;
}

TPrintMainFrm* OpenMainWindow(const QString& programDir, const QString& project) {
    auto* frm = new TPrintMainFrm(programDir);
    if (!frm->FormCreate()) {
        delete frm;
        return nullptr;
    }
    frm->show();
    if (!project.isNull()) {
        frm->cbbProjectList->setCurrentIndex(frm->cbbProjectList->findText(project));
        frm->cbbProjectListChange();
    }
    return frm;
}

void SetUpStandaloneEnvironment() {
    SetupFirebirdEnvironment(QFileInfo(QStringLiteral("/proc/self/exe")).canonicalPath());
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
}

TestStore::~TestStore() {
    delete PrintModel;
    PrintModel = nullptr;
}

namespace {

// The folder test-cups-start was given for the server in use: beside its socket.
// A test may switch to a server of its own through CUPS_SERVER.
QDir TestServerFolder() {
    const QString server = QString::fromLocal8Bit(cupsServer());
    return QFileInfo(server.startsWith(QLatin1Char('/')) ? server
                                                         : QStringLiteral(KOVA_CUPS_SOCKET))
        .dir();
}

} // namespace

QString TestPdfFolder() {
    return TestServerFolder().filePath(QStringLiteral("root/pdf"));
}

QString JobPdf(const QString& title, int id) {
    const QDir dir(TestPdfFolder());
    for (const QString& name : dir.entryList({QStringLiteral("*-job_%1.pdf").arg(id)}, QDir::Files))
        if (name.startsWith(title))
            return dir.filePath(name);
    return QString();
}

namespace {

struct JobInfo {
    bool found = false;
    ipp_jstate_t state = IPP_JSTATE_PENDING;
    QString printer;
};

JobInfo FindJob(int id) {
    cups_job_t* jobs = nullptr;
    const int n = cupsGetJobs(&jobs, nullptr, 0, CUPS_WHICHJOBS_ALL);
    JobInfo info;
    for (int i = 0; i < n; ++i)
        if (jobs[i].id == id) {
            info.found = true;
            info.state = jobs[i].state;
            info.printer = QString::fromUtf8(jobs[i].dest);
        }
    cupsFreeJobs(n, jobs);
    return info;
}

// The queue's own words: its state message, or "stopped" with the reasons.
QString QueueTrouble(const QString& printer) {
    const QByteArray name = printer.toUtf8();
    cups_dest_t* dest = cupsGetNamedDest(CUPS_HTTP_DEFAULT, name.constData(), nullptr);
    if (!dest)
        return QStringLiteral("queue %1 is gone").arg(printer);
    const char* state = cupsGetOption("printer-state", dest->num_options, dest->options);
    QString trouble;
    if (state && QByteArray(state) == "5") {
        const char* message =
            cupsGetOption("printer-state-message", dest->num_options, dest->options);
        const char* reasons =
            cupsGetOption("printer-state-reasons", dest->num_options, dest->options);
        trouble = QStringLiteral("queue %1 stopped: %2 (%3)")
                      .arg(printer, QString::fromUtf8(message ? message : ""),
                           QString::fromUtf8(reasons ? reasons : ""));
    }
    cupsFreeDests(1, dest);
    return trouble;
}

// A job an attempt failed stays pending for a retry, without the queue stopping
// (a filter that cannot read the spool): its reasons then name an error. The
// job's message with the filters' own words from the server's log; empty while
// nothing went wrong.
QString JobFailure(int id) {
    ipp_t* request = ippNewRequest(IPP_OP_GET_JOB_ATTRIBUTES);
    const QByteArray uri = QStringLiteral("ipp://localhost/jobs/%1").arg(id).toUtf8();
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "job-uri", nullptr, uri.constData());
    static const char* const wanted[] = {"job-state-reasons", "job-printer-state-message"};
    ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", 2, nullptr,
                  wanted);
    ipp_t* response = cupsDoRequest(CUPS_HTTP_DEFAULT, request, "/");
    if (!response)
        return QString();
    QStringList errors;
    if (ipp_attribute_t* reasons = ippFindAttribute(response, "job-state-reasons", IPP_TAG_KEYWORD))
        for (int i = 0; i < ippGetCount(reasons); ++i)
            if (const QString reason = QString::fromUtf8(ippGetString(reasons, i, nullptr));
                reason.contains(QLatin1String("error")))
                errors << reason;
    QString message;
    if (ipp_attribute_t* text =
            ippFindAttribute(response, "job-printer-state-message", IPP_TAG_TEXT))
        message = QString::fromUtf8(ippGetString(text, 0, nullptr));
    ippDelete(response);
    if (errors.isEmpty())
        return QString();

    QStringList said;
    QFile log(TestServerFolder().filePath(QStringLiteral("root/log/error_log")));
    if (log.open(QIODevice::ReadOnly | QIODevice::Text)) {
        const QString tag = QStringLiteral("[Job %1] ").arg(id);
        static const QRegularExpression trouble(
            QStringLiteral("error|unable|denied|cannot|can't|failed|not found"),
            QRegularExpression::CaseInsensitiveOption);
        while (!log.atEnd()) {
            const QString line = QString::fromUtf8(log.readLine()).trimmed();
            const qsizetype at = line.indexOf(tag);
            if (at < 0)
                continue;
            const QString text = line.mid(at + tag.size());
            if (!text.startsWith(QLatin1String("Hint:")) && text.contains(trouble) &&
                !said.contains(text))
                said << text;
        }
    }
    return QStringLiteral("job %1 failed (%2): %3 %4")
        .arg(id)
        .arg(errors.join(QStringLiteral(", ")), message, said.join(QStringLiteral("; ")));
}

} // namespace

QString WaitForJobPdf(const QString& title, int id, QString* why, int timeoutMs) {
    QString reason;
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < timeoutMs) {
        const JobInfo job = FindJob(id);
        if (!job.found) {
            reason = QStringLiteral("job %1 is unknown to the server").arg(id);
            break;
        }
        if (job.state == IPP_JSTATE_COMPLETED) {
            const QString pdf = JobPdf(title, id);
            if (!pdf.isEmpty() && QFileInfo(pdf).size() > 0)
                return pdf;
        } else if (job.state > IPP_JSTATE_STOPPED) {
            reason = QStringLiteral("job %1 ended in state %2: %3")
                         .arg(id)
                         .arg(int(job.state))
                         .arg(QueueTrouble(job.printer));
            break;
        } else if (const QString trouble = QueueTrouble(job.printer); !trouble.isEmpty()) {
            reason = trouble;
            break;
        } else if (const QString failed = JobFailure(id); !failed.isEmpty()) {
            reason = failed;
            break;
        }
        QThread::msleep(100);
    }
    if (reason.isEmpty())
        reason = QStringLiteral("no PDF for job %1 in %2 after %3 ms")
                     .arg(id)
                     .arg(TestPdfFolder())
                     .arg(timeoutMs);
    if (why)
        *why = reason;
    return QString();
}

namespace {

QList<int> JobsWhere(const std::function<bool(const cups_job_t&)>& match) {
    cups_job_t* jobs = nullptr;
    const int n = cupsGetJobs(&jobs, nullptr, 0, CUPS_WHICHJOBS_ALL);
    QList<int> ids;
    for (int i = 0; i < n; ++i)
        if (match(jobs[i]))
            ids << jobs[i].id;
    cupsFreeJobs(n, jobs);
    std::sort(ids.begin(), ids.end());
    return ids;
}

} // namespace

QList<int> JobsTitled(const QString& title) {
    // Runs add their token to the title they are given.
    return JobsWhere([&](const cups_job_t& job) {
        const QString jobTitle = QString::fromUtf8(job.title);
        return jobTitle == title || jobTitle.startsWith(title + QStringLiteral(" KOVA-"));
    });
}

QList<int> JobsOnQueue(const QString& queue) {
    return JobsWhere([&](const cups_job_t& job) { return QString::fromUtf8(job.dest) == queue; });
}

bool JobTitled(const QString& title) {
    return !JobsTitled(title).isEmpty();
}

bool AddTestQueue(const QString& name, QString* why, int dpi) {
    const QString root =
        QFileInfo(TestServerFolder().filePath(QStringLiteral("root"))).symLinkTarget();
    const QString instance = QStringLiteral("kova") + root.section(QLatin1Char('.'), -1);
    QProcess lpadmin;
    lpadmin.start(QStringLiteral("lpadmin"),
                  {QStringLiteral("-p"), name, QStringLiteral("-E"), QStringLiteral("-v"),
                   QStringLiteral("cups-pdf:/") + instance, QStringLiteral("-P"),
                   QStringLiteral("/usr/share/ppd/cups-pdf/CUPS-PDF_opt.ppd"), QStringLiteral("-o"),
                   QStringLiteral("pdftops-renderer-default=pdftocairo")});
    lpadmin.waitForFinished(30000);
    if (lpadmin.exitStatus() != QProcess::NormalExit || lpadmin.exitCode() != 0) {
        if (why)
            *why = QString::fromLocal8Bit(lpadmin.readAllStandardError());
        return false;
    }
    if (dpi > 0) {
        lpadmin.start(QStringLiteral("lpadmin"), {QStringLiteral("-p"), name, QStringLiteral("-o"),
                                                  QStringLiteral("Resolution=%1dpi").arg(dpi)});
        lpadmin.waitForFinished(30000);
        if (lpadmin.exitStatus() != QProcess::NormalExit || lpadmin.exitCode() != 0) {
            if (why)
                *why = QString::fromLocal8Bit(lpadmin.readAllStandardError());
            return false;
        }
    }
    return true;
}

void RemoveTestQueue(const QString& name) {
    QProcess::execute(QStringLiteral("lpadmin"), {QStringLiteral("-x"), name});
}

QString RunTool(const QString& program, const QStringList& args, int* exitCode) {
    QProcess p;
    p.start(program, args);
    p.waitForFinished(120000);
    if (exitCode)
        *exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    return QString::fromLocal8Bit(p.readAllStandardOutput());
}

QStringList PdfPageTexts(const QString& pdf) {
    QStringList pages =
        RunTool(QStringLiteral("pdftotext"), {pdf, QStringLiteral("-")}).split(QLatin1Char('\f'));
    // pdftotext ends the last page with a form feed too.
    if (!pages.isEmpty() && pages.last().trimmed().isEmpty())
        pages.removeLast();
    for (QString& page : pages)
        page = page.trimmed();
    return pages;
}

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

TPrintItem* SerialNumberItem(const QString& name) {
    TPrintItem* serial = NewItem(itSerial, 10, 10, 0, 1.2, QStringLiteral("1"), name);
    serial->SetItemSerialIsFillZero(kTrue);
    serial->SetItemSerialLength(6);
    serial->SetItemSerialHasPre(kTrue);
    serial->SetItemSerialPreText(QStringLiteral("NO."));
    return serial;
}

MessageAnswerer::MessageAnswerer(QList<int> buttons)
    : FButtons(std::move(buttons)), FTimer(new QTimer) {
    QObject::connect(FTimer, &QTimer::timeout, [this] { poll(); });
    FTimer->start(20);
}

MessageAnswerer::~MessageAnswerer() {
    delete FTimer;
}

void MessageAnswerer::poll() {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box)
        return;
    texts << box->text();
    QAbstractButton* button = box->defaultButton();
    if (!FButtons.isEmpty())
        button = box->button(QMessageBox::StandardButton(FButtons.takeFirst()));
    if (!button)
        button = box->buttons().value(0);
    if (button)
        button->click();
}

QString ZbarScan(const QString& image) {
    QProcess zbar;
    zbar.start(QStringLiteral("zbarimg"), {QStringLiteral("-q"), QStringLiteral("--raw"), image});
    if (!zbar.waitForFinished(30000))
        return QStringLiteral("<zbarimg did not finish>");
    return QString::fromUtf8(zbar.readAllStandardOutput()).trimmed();
}

QImage RasterisePdfPage(const QString& pdf, int page, int dpi) {
    QTemporaryDir dir;
    const QString base = dir.filePath(QStringLiteral("page"));
    QProcess::execute(QStringLiteral("pdftoppm"),
                      {QStringLiteral("-r"), QString::number(dpi), QStringLiteral("-gray"),
                       QStringLiteral("-f"), QString::number(page), QStringLiteral("-l"),
                       QString::number(page), QStringLiteral("-singlefile"), pdf, base});
    return QImage(base + QStringLiteral(".pgm"));
}

// The dark pixels' bounding box, optionally within a band of rows.
QRect InkBox(const QImage& page, int top, int bottom) {
    QRect box;
    for (int y = qMax(0, top); y < qMin(page.height(), bottom); ++y) {
        const uchar* row = page.constScanLine(y);
        for (int x = 0; x < page.width(); ++x)
            if (row[x] < 128)
                box |= QRect(x, y, 1, 1);
    }
    return box;
}

// A picture in four colours, encoded by cjpeg.
QByteArray QuadrantJpeg() {
    QImage image(160, 80, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    p.fillRect(0, 0, 80, 40, QColor(220, 0, 0));
    p.fillRect(80, 40, 80, 40, QColor(0, 0, 220));
    p.fillRect(80, 0, 80, 40, QColor(0, 160, 0));
    p.fillRect(0, 40, 80, 40, QColor(40, 40, 40));
    p.end();
    QTemporaryDir dir;
    image.save(dir.filePath("q.ppm"), "PPM");
    QProcess cjpeg;
    cjpeg.start("cjpeg", {"-quality", "95", dir.filePath("q.ppm")});
    cjpeg.waitForFinished();
    return cjpeg.readAllStandardOutput();
}

int RunCommand(const QString& program, const QStringList& args, QString* output) {
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, args);
    if (!p.waitForFinished(120000))
        p.kill();
    p.waitForFinished();
    if (output)
        *output = QString::fromLocal8Bit(p.readAll());
    return p.exitStatus() == QProcess::NormalExit && p.error() != QProcess::FailedToStart
               ? p.exitCode()
               : -1;
}

bool WaitForError(QProcess& process, QByteArray& seen, const QByteArray& marker, int timeoutMs) {
    QElapsedTimer timer;
    timer.start();
    process.setReadChannel(QProcess::StandardError);
    while (!seen.contains(marker) && timer.elapsed() < timeoutMs) {
        if (!process.waitForReadyRead(1000) && process.state() == QProcess::NotRunning)
            break;
        seen += process.readAllStandardError();
    }
    seen += process.readAllStandardError();
    return seen.contains(marker);
}

namespace {

// A process's parent and state letter from /proc/PID/stat; state 0 when it is gone.
std::pair<qint64, char> ProcessStat(qint64 pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return {0, 0};
    const QByteArray line = stat.readAll();
    // The command name in parentheses may hold blanks; the fields follow its last ')'.
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 2 || fields[0].isEmpty())
        return {0, 0};
    return {fields[1].toLongLong(), fields[0][0]};
}

qint64 PidFrom(const QString& pidFile) {
    QFile file(pidFile);
    return file.open(QIODevice::ReadOnly) ? file.readAll().trimmed().toLongLong() : 0;
}

} // namespace

bool WaitForProcessesGone(const QList<qint64>& pids, int timeoutMs) {
    QElapsedTimer timer;
    timer.start();
    const auto alive = [](qint64 pid) {
        const char state = ProcessStat(pid).second;
        return state != 0 && state != 'Z' && state != 'X';
    };
    while (std::any_of(pids.begin(), pids.end(), alive)) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QThread::msleep(50);
    }
    return true;
}

QList<qint64> ProcessesWithEnvironment(const QByteArray& text) {
    QList<qint64> found;
    for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        bool number = false;
        const qint64 pid = entry.toLongLong(&number);
        QFile environ(QStringLiteral("/proc/%1/environ").arg(pid));
        const char state = number ? ProcessStat(pid).second : 0;
        if (state && state != 'Z' && environ.open(QIODevice::ReadOnly) &&
            environ.readAll().contains(text))
            found << pid;
    }
    return found;
}

ScratchMount::ScratchMount(Kind kind, const QString& dir, int sizeKb)
    : FDir(dir), FImage(kind == Ext4Image ? dir + QStringLiteral(".img") : QString()) {
    QDir().mkpath(dir);
    if (kind == Tmpfs) {
        FMounted = RunCommand(QStringLiteral("mount"),
                              {QStringLiteral("-t"), QStringLiteral("tmpfs"), QStringLiteral("-o"),
                               QStringLiteral("size=%1k,mode=1777").arg(sizeKb),
                               QStringLiteral("tmpfs"), dir},
                              &FWhy) == 0;
        return;
    }
    QFile image(FImage);
    if (!image.open(QIODevice::WriteOnly) || !image.resize(qint64(sizeKb) * 1024)) {
        FWhy = FImage + QStringLiteral(": ") + image.errorString();
        return;
    }
    image.close();
    if (RunCommand(QStringLiteral("mkfs.ext4"),
                   {QStringLiteral("-q"), QStringLiteral("-F"), FImage}, &FWhy) == 0)
        FMounted = mountImage(&FWhy);
}

ScratchMount::~ScratchMount() {
    if (FMounted)
        RunCommand(QStringLiteral("umount"), {FDir});
    if (!FImage.isEmpty())
        QFile::remove(FImage);
}

bool ScratchMount::mountImage(QString* why) {
    return RunCommand(
               QStringLiteral("mount"),
               {QStringLiteral("-o"), QStringLiteral("loop,errors=remount-ro"), FImage, FDir},
               why) == 0;
}

bool ScratchMount::failDisk(QString* why) {
    QString device;
    RunCommand(QStringLiteral("findmnt"),
               {QStringLiteral("-n"), QStringLiteral("-o"), QStringLiteral("SOURCE"), FDir},
               &device);
    QFile trigger(QStringLiteral("/sys/fs/ext4/%1/trigger_fs_error")
                      .arg(QFileInfo(device.trimmed()).fileName()));
    if (!trigger.open(QIODevice::WriteOnly | QIODevice::Unbuffered) || trigger.write("1\n") < 0) {
        if (why)
            *why = trigger.fileName() + QStringLiteral(": ") + trigger.errorString();
        return false;
    }
    return true;
}

bool ScratchMount::remount(QString* why) {
    if (FMounted && RunCommand(QStringLiteral("umount"), {FDir}, why) != 0)
        return false;
    FMounted = false;
    // 1: errors were found and corrected, which the reported error asks for.
    if (RunCommand(QStringLiteral("e2fsck"), {QStringLiteral("-f"), QStringLiteral("-y"), FImage},
                   why) > 1)
        return false;
    FMounted = mountImage(why);
    return FMounted;
}

PrivateFirebird::PrivateFirebird() : FDir(QStringLiteral("/tmp/kova-faults-firebird.XXXXXX")) {}

PrivateFirebird::~PrivateFirebird() {
    RunCommand(QStringLiteral(KOVA_SOURCE_DIR "/scripts/kova-server"),
               {QStringLiteral("stop"), FDir.path()});
}

bool PrivateFirebird::start(QString* why) {
    QString output;
    const int code =
        RunCommand(QStringLiteral(KOVA_SOURCE_DIR "/scripts/kova-server"),
                   {QStringLiteral("start"), FDir.path(),
                    FPort.isEmpty() ? QStringLiteral("auto") : FPort, QStringLiteral("127.0.0.1")},
                   &output);
    if (code != 0) {
        if (why)
            *why = output;
        return false;
    }
    FPort = location().Name.section(QLatin1Char(':'), 0, 0).section(QLatin1Char('/'), 1);
    return true;
}

bool PrivateFirebird::stop(QString* why) {
    return RunCommand(QStringLiteral(KOVA_SOURCE_DIR "/scripts/kova-server"),
                      {QStringLiteral("stop"), FDir.path()}, why) == 0;
}

void PrivateFirebird::kill() {
    if (const qint64 pid = PidFrom(FDir.filePath(QStringLiteral("firebird.pid")))) {
        ::kill(pid_t(pid), SIGKILL);
        WaitForProcessesGone({pid});
    }
}

TDatabaseLocation PrivateFirebird::location() const {
    return ResolveDatabaseLocation(FDir.path());
}

PrivateCups::PrivateCups()
    : FDir(QStringLiteral("/tmp/kova-faults-cups.XXXXXX")),
      FFolder(FDir.filePath(QStringLiteral("cups"))) {}

PrivateCups::~PrivateCups() {
    RunCommand(QStringLiteral(KOVA_SOURCE_DIR "/scripts/test-cups-stop"), {FFolder});
}

bool PrivateCups::start(QString* why) {
    return RunCommand(QStringLiteral(KOVA_SOURCE_DIR "/scripts/test-cups-start"), {FFolder}, why) ==
           0;
}

void PrivateCups::kill() {
    const qint64 pid = PidFrom(FFolder + QStringLiteral("/cupsd.pid"));
    if (pid <= 0)
        return;
    ::kill(pid_t(pid), SIGKILL);
    WaitForProcessesGone({pid});
    // Filters and backends outlive the server and may still be writing a job; they
    // carry the server's folders in their environment, whoever started them.
    const QByteArray folder =
        QFile::encodeName(QFileInfo(FFolder + QStringLiteral("/root")).symLinkTarget());
    QElapsedTimer timer;
    timer.start();
    while (!ProcessesWithEnvironment(folder).isEmpty() && timer.elapsed() < 60000)
        QThread::msleep(50);
}

CupsServerSwitch::CupsServerSwitch(const QString& server) {
    cupsSetServer(server.toLocal8Bit().constData());
}

CupsServerSwitch::~CupsServerSwitch() {
    cupsSetServer(nullptr);
}
