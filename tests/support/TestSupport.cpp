#include "TestSupport.h"

#include "PrintMain.h"
#include "model/PrintCommon.h"
#include "model/PrintModelImpl.h"
#include "model/bom/SettingBom.h"
#include "persistence/DatabaseLocation.h"
#include "persistence/FbEnvironment.h"
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

QList<QVariantMap> TestDatabase::rows(const QString& table, const QString& where) {
    TDatabaseLock conn;
    conn->StartTransaction();
    auto query = conn->CreateQuery();
    query->SetSQL(QStringLiteral("select trim(rdb$field_name) from rdb$relation_fields where "
                                 "rdb$relation_name = :t order by rdb$field_position"));
    query->ParamAsString(QStringLiteral("t"), table.toUpper());
    QStringList columns;
    for (query->Open(); !query->Eof(); query->Next())
        columns << query->FieldAt(0).toString();
    query = conn->CreateQuery();
    query->SetSQL("select " + columns.join(", ") + " from " + table + " where " + where);
    QList<QVariantMap> rows;
    for (query->Open(); !query->Eof(); query->Next()) {
        rows.append(QVariantMap());
        for (int i = 0; i < columns.size(); ++i)
            rows.last().insert(columns.at(i), query->FieldAt(i));
    }
    return rows;
}

void TestDatabase::refuse(const QString& table, const QString& what) {
    exec("create exception refused 'refused'");
    exec("create trigger refuse_it for " + table + " before " + what +
         " as begin exception refused; end");
}

TPrintItem* ItemNamed(const TProject& project, const QString& name) {
    for (int i = 0; i < project.ItemList()->Count(); ++i)
        if (project.ItemList()->Items(i)->ItemName() == name)
            return project.ItemList()->Items(i);
    return nullptr;
}

void SetEveryField(TPersistentObject& object, const QStringList& except) {
    int n = 0;
    for (const TPropInfo& p : object.Class().Props) {
        ++n;
        if (!p.Set || except.contains(QLatin1String(p.Name)))
            continue;
        p.Set(object, p.Kind == TPropKind::Integer  ? QVariant(100 + n)
                      : p.Kind == TPropKind::Double ? QVariant(n + 0.25)
                                                    : QVariant(QStringLiteral("v%1").arg(n)));
    }
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

TestProject TestProject::page(double width, double height) const {
    return with([=](TProject& p) {
        p.SetProjectPageWidth(width);
        p.SetProjectPageHeight(height);
    });
}

TestProject TestProject::printer(const QString& queue) const {
    return with([=](TProject& p) {
        p.SetProjectDefaultDevice(kFalse);
        p.SetProjectDeviceName(queue);
    });
}

TestProject TestProject::start(int page) const {
    return with([=](TProject& p) { p.SetProjectSerialStart(page); });
}

TestProject TestProject::with(const std::function<void(TProject&)>& setUp) const {
    TestProject next = *this;
    next.FSetUps << setUp;
    return next;
}

QString TestProject::store(const QList<TPrintItem*>& items) const {
    TProjectList list;
    auto* p = new TProject;
    p->SetProjectName(FName);
    for (const auto& setUp : FSetUps)
        setUp(*p);
    list.Add(p);
    p->SetDirty(true);
    for (TPrintItem* item : items)
        p->ItemList()->Add(item);
    // Items a set-up added are stored too.
    for (int i = 0; i < p->ItemList()->Count(); ++i)
        p->ItemList()->Items(i)->SetDirty(true);
    p->Save();
    return p->OID();
}

QString TestProject::store(std::initializer_list<QString> itemNames) const {
    QList<TPrintItem*> items;
    for (const QString& name : itemNames) {
        items << new TPrintItem;
        items.last()->SetItemName(name);
    }
    return store(items);
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
                    const QString& value, const QString& name) {
    TPrintItem* item =
        NewItem(type, x, y, w, h, value,
                name.isEmpty() ? QStringLiteral("item%1").arg(project.ItemList()->Count()) : name);
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

void MainWindowFixture::tearDown() {
    delete frm;
    frm = nullptr;
    delete PrintModel;
    PrintModel = nullptr;
    db.reset();
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

namespace {

// Waits for a job's output, which `locate` finds once the job has completed.
QString WaitForJobOutput(int id, const std::function<QString()>& locate, const QString& what,
                         QString* why, int timeoutMs) {
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
            const QString output = locate();
            if (!output.isEmpty() && QFileInfo(output).size() > 0)
                return output;
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
        reason = QStringLiteral("no %1 for job %2 after %3 ms").arg(what).arg(id).arg(timeoutMs);
    if (why)
        *why = reason;
    return QString();
}

} // namespace

QString WaitForJobPdf(const QString& title, int id, QString* why, int timeoutMs) {
    return WaitForJobOutput(
        id, [&] { return JobPdf(title, id); }, QStringLiteral("PDF in %1").arg(TestPdfFolder()),
        why, timeoutMs);
}

QString LabelJobFile(const QString& queue, int id) {
    return TestServerFolder().filePath(
        QStringLiteral("root/labels/%1-job_%2.prn").arg(queue).arg(id));
}

QString WaitForLabelJob(const QString& queue, int id, QString* why, int timeoutMs) {
    const QString file = LabelJobFile(queue, id);
    return WaitForJobOutput(
        id, [&] { return file; }, QStringLiteral("printer data in %1").arg(file), why, timeoutMs);
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

namespace {

// lpadmin with these arguments; false with its complaint when it fails.
bool Lpadmin(const QStringList& args, QString* why) {
    QProcess lpadmin;
    lpadmin.start(QStringLiteral("lpadmin"), args);
    lpadmin.waitForFinished(30000);
    if (lpadmin.exitStatus() == QProcess::NormalExit && lpadmin.exitCode() == 0)
        return true;
    if (why)
        *why = QString::fromLocal8Bit(lpadmin.readAllStandardError());
    return false;
}

// The server's own folder under /tmp, which filters running as lp can reach.
QString ServerRoot() {
    return QFileInfo(TestServerFolder().filePath(QStringLiteral("root"))).symLinkTarget();
}

} // namespace

bool AddTestQueue(const QString& name, QString* why, int dpi) {
    const QString instance = QStringLiteral("kova") + ServerRoot().section(QLatin1Char('.'), -1);
    if (!Lpadmin({QStringLiteral("-p"), name, QStringLiteral("-E"), QStringLiteral("-v"),
                  QStringLiteral("cups-pdf:/") + instance, QStringLiteral("-P"),
                  QStringLiteral("/usr/share/ppd/cups-pdf/CUPS-PDF_opt.ppd"), QStringLiteral("-o"),
                  QStringLiteral("pdftops-renderer-default=pdftocairo")},
                 why))
        return false;
    return dpi <= 0 || Lpadmin({QStringLiteral("-p"), name, QStringLiteral("-o"),
                                QStringLiteral("Resolution=%1dpi").arg(dpi)},
                               why);
}

namespace {

bool AddLabelQueue(const QString& name, int dpi, QString* why) {
    const QString root = ServerRoot();
    return Lpadmin({QStringLiteral("-p"), name, QStringLiteral("-E"), QStringLiteral("-v"),
                    QStringLiteral("kova-label:") + root + QStringLiteral("/labels"),
                    QStringLiteral("-P"), root + QStringLiteral("/drivers/zebra.ppd"),
                    QStringLiteral("-o"), QStringLiteral("Resolution=%1dpi").arg(dpi)},
                   why);
}

} // namespace

TestQueue::TestQueue(const QString& name, int dpi, Kind kind)
    : FName(QStringLiteral("%1_%2").arg(name).arg(QCoreApplication::applicationPid())) {
    if (!qEnvironmentVariableIsSet("CUPS_SERVER"))
        FWhy = QStringLiteral("runs against the private CUPS server (CUPS_SERVER)");
    else if (!(kind == Label ? AddLabelQueue(FName, dpi, &FWhy) : AddTestQueue(FName, &FWhy, dpi)) &&
             FWhy.isEmpty())
        FWhy = QStringLiteral("lpadmin could not add %1").arg(FName);
}

TestQueue::~TestQueue() {
    if (ok())
        QProcess::execute(QStringLiteral("lpadmin"), {QStringLiteral("-x"), FName});
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
    QString said = box->text();
    if (!FButtons.isEmpty()) {
        button = box->button(QMessageBox::StandardButton(FButtons.takeFirst()));
        if (button)
            said += QLatin1Char(' ') + button->text();
    }
    answered << said;
    if (!button)
        button = box->buttons().value(0);
    if (button)
        button->click();
}

void AddClosingColumns() {
    QTest::addColumn<QString>("change");
    QTest::addColumn<bool>("byEscape");
    QTest::addColumn<QString>("outcome");
    QTest::addColumn<int>("answer");
    QTest::addColumn<QString>("boxes");
}

void CloseAsRowSays(QWidget* editor, QWidget* focus, const std::function<QString()>& stored) {
    QFETCH(bool, byEscape);
    QFETCH(int, answer);
    MessageAnswerer answers({answer});
    if (byEscape)
        QTest::keyClick(focus, Qt::Key_Escape);
    else
        editor->close();
    QTEST(answers.answered.join('|'), "boxes");
    QTEST(editor->isVisible() ? QStringLiteral("open") : stored(), "outcome");
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
QByteArray QuadrantJpeg(const QSize& size) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    const int w = size.width() / 2, h = size.height() / 2;
    p.fillRect(0, 0, w, h, QColor(220, 0, 0));
    p.fillRect(w, h, size.width() - w, size.height() - h, QColor(0, 0, 220));
    p.fillRect(w, 0, size.width() - w, h, QColor(0, 160, 0));
    p.fillRect(0, h, w, size.height() - h, QColor(40, 40, 40));
    p.end();
    QTemporaryDir dir;
    image.save(dir.filePath("q.ppm"), "PPM");
    QProcess cjpeg;
    cjpeg.start("cjpeg", {"-quality", "95", dir.filePath("q.ppm")});
    cjpeg.waitForFinished();
    return cjpeg.readAllStandardOutput();
}

namespace {

qint64 PidIn(const QString& file) {
    QFile f(file);
    return f.open(QIODevice::ReadOnly) ? f.readAll().trimmed().toLongLong() : 0;
}

// A process that has ended, zombie or not, has no program any more.
bool Alive(qint64 pid) {
    return !QFileInfo(QStringLiteral("/proc/%1/exe").arg(pid)).symLinkTarget().isEmpty();
}

} // namespace

ScratchMount::ScratchMount(Kind kind, const QString& dir, int sizeKb)
    : FDir(dir), FImage(kind == Ext4Image ? dir + ".img" : QString()) {
    QDir().mkpath(dir);
    QFile image(FImage);
    if (kind == Tmpfs)
        FMounted = QProcess::execute("mount", {"-t", "tmpfs", "-o",
                                               QStringLiteral("size=%1k,mode=1777").arg(sizeKb),
                                               "tmpfs", dir}) == 0;
    else if (image.open(QIODevice::WriteOnly) && image.resize(qint64(sizeKb) * 1024))
        FMounted = QProcess::execute("mkfs.ext4", {"-q", "-F", FImage}) == 0 && remount();
}

ScratchMount::~ScratchMount() {
    if (FMounted)
        QProcess::execute("umount", {FDir});
    if (!FImage.isEmpty())
        QFile::remove(FImage);
}

bool ScratchMount::failDisk() {
    const QString device = RunTool("findmnt", {"-n", "-o", "SOURCE", FDir}).trimmed();
    QFile trigger("/sys/fs/ext4/" + QFileInfo(device).fileName() + "/trigger_fs_error");
    return trigger.open(QIODevice::WriteOnly | QIODevice::Unbuffered) && trigger.write("1\n") > 0;
}

bool ScratchMount::remount() {
    if (FMounted && QProcess::execute("umount", {FDir}) != 0)
        return false;
    // e2fsck's 1, errors corrected, is what an error reported on the disk asks for.
    int fsck = -1;
    RunTool("e2fsck", {"-f", "-y", FImage}, &fsck);
    FMounted = (fsck == 0 || fsck == 1) &&
               QProcess::execute("mount", {"-o", "loop,errors=remount-ro", FImage, FDir}) == 0;
    return FMounted;
}

bool PrivateFirebird::start() {
    // Stations keep the port they were given.
    const QString port = QFile::exists(FDir.filePath("kova.ini"))
                             ? location().Name.section(':', 0, 0).section('/', 1)
                             : QStringLiteral("auto");
    return QProcess::execute(KOVA_SOURCE_DIR "/scripts/kova-server",
                             {"start", FDir.path(), port, "127.0.0.1"}) == 0;
}

bool PrivateFirebird::stop(bool crash) {
    const qint64 pid = PidIn(FDir.filePath("firebird.pid"));
    if (!crash || pid <= 0)
        return QProcess::execute(KOVA_SOURCE_DIR "/scripts/kova-server", {"stop", FDir.path()}) ==
               0;
    return ::kill(pid_t(pid), SIGKILL) == 0 &&
           QTest::qWaitFor([pid] { return !Alive(pid); }, 30000);
}

TDatabaseLocation PrivateFirebird::location() const {
    return ResolveDatabaseLocation(FDir.path());
}

PrivateCups::~PrivateCups() {
    QProcess::execute(KOVA_SOURCE_DIR "/scripts/test-cups-stop", {FDir.filePath("cups")});
}

bool PrivateCups::start() {
    return QProcess::execute(KOVA_SOURCE_DIR "/scripts/test-cups-start", {FDir.filePath("cups")}) ==
           0;
}

bool PrivateCups::kill() {
    const qint64 pid = PidIn(FDir.filePath("cups/cupsd.pid"));
    if (pid <= 0 || ::kill(pid_t(pid), SIGKILL) != 0)
        return false;
    // Filters and backends outlive the server and may still be writing a job; they
    // carry the server's folder in their environment, whoever started them.
    const QByteArray folder =
        QFile::encodeName(QFileInfo(FDir.filePath("cups/root")).symLinkTarget());
    return QTest::qWaitFor(
        [&] {
            const QStringList all = QDir("/proc").entryList(QDir::Dirs);
            return !Alive(pid) && std::none_of(all.begin(), all.end(), [&](const QString& entry) {
                QFile env("/proc/" + entry + "/environ");
                return env.open(QIODevice::ReadOnly) && env.readAll().contains(folder);
            });
        },
        60000);
}
