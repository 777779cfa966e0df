#include "model/manager/PrintRun.h"

#include "base/Errors.h"
#include "base/Units.h"
#include "model/Composer.h"
#include "model/DataFile.h"
#include "model/Fields.h"
#include "model/bom/SettingBom.h"
#include "model/manager/FileMgrImpl.h"
#include "model/manager/PageRenderer.h"
#include "model/manager/PrintMgrImpl.h"
#include "model/manager/Printer.h"
#include "model/manager/PrinterResolution.h"
#include "model/manager/ProjectRunLock.h"
#include "model/manager/RunLedger.h"
#include "model/manager/SettingMgrImpl.h"

#include <QCoreApplication>

#include <QElapsedTimer>
#include <QThread>
#include <climits>
#include <condition_variable>
#include <cstdio>
#include <future>
#include <mutex>
#include <thread>

const QString kPageCountTooSmall = QStringLiteral("打印页数不能小于1");
const QString kStartTooSmall = QStringLiteral("页码起始值不能小于1");

namespace {

// Whatever ends the run, a document still open is discarded: nothing half done
// reaches the printer.
class TDocumentGuard {
public:
    ~TDocumentGuard() { Printer().Abort(); }
};

// Prepares a page on a thread of its own while the main thread paints the page
// before it, so symbols encoded afresh on every page cost the run little. One
// thread for the whole run: its font caches are built once. A page is given to
// it only after the main thread composed it (the database is the main thread's).
class TPagePreparer {
public:
    explicit TPagePreparer(TPrintMgr& mgr) : FMgr(mgr), FThread([this] { Loop(); }) {}
    ~TPagePreparer() {
        {
            const std::lock_guard<std::mutex> hold(FMutex);
            FQuit = true;
        }
        FWake.notify_one();
        FThread.join();
    }
    TPagePreparer(const TPagePreparer&) = delete;
    TPagePreparer& operator=(const TPagePreparer&) = delete;

    // One page at a time: the future of the one before must have been taken.
    std::future<TPreparedPage> Prepare(std::unique_ptr<TCPrint> page) {
        const std::lock_guard<std::mutex> hold(FMutex);
        FPage = std::move(page);
        FPromise = std::promise<TPreparedPage>();
        FWake.notify_one();
        return FPromise.get_future();
    }

private:
    void Loop() {
        std::unique_lock<std::mutex> hold(FMutex);
        for (;;) {
            FWake.wait(hold, [this] { return FQuit || FPage; });
            if (!FPage)
                return;
            const std::unique_ptr<TCPrint> page = std::move(FPage);
            std::promise<TPreparedPage> promise = std::move(FPromise);
            hold.unlock();
            try {
                promise.set_value(FMgr.PreparePage(*page));
            } catch (...) {
                promise.set_exception(std::current_exception());
            }
            hold.lock();
        }
    }

    TPrintMgr& FMgr;
    std::mutex FMutex;
    std::condition_variable FWake;
    std::unique_ptr<TCPrint> FPage;
    std::promise<TPreparedPage> FPromise;
    bool FQuit = false;
    std::thread FThread; // last: it starts once the rest is made
};

// Null when the run was stopped while it waited.
std::unique_ptr<TProjectRunLock> TakeProject(const TProject& project, const TPrintRunOptions& o,
                                             const TPrintRunHooks& h) {
    QElapsedTimer waited;
    waited.start();
    for (;;) {
        try {
            return std::make_unique<TProjectRunLock>(project.OID());
        } catch (const EProjectBusy&) {
            if (h.StopRequested && h.StopRequested())
                return nullptr;
            if (waited.elapsed() >= o.LockWaitMs)
                throw Exception(
                    QStringLiteral("项目 \"%1\" 正在由另一个打印任务打印，请等它结束后再打印")
                        .arg(project.ProjectName()));
            if (h.Waiting)
                h.Waiting();
            QThread::msleep(100);
        }
    }
}

// A test holds the run at a named point (KOVA_TEST_PAUSE=point:milliseconds),
// so that a fault can be injected exactly there.
void TestPause(const char* point) {
    static const QString setting = qEnvironmentVariable("KOVA_TEST_PAUSE");
    if (setting.isEmpty() || setting.section(QLatin1Char(':'), 0, 0) != QLatin1String(point))
        return;
    std::fprintf(stderr, "%s: pause %s\n", qPrintable(QCoreApplication::applicationName()), point);
    std::fflush(stderr);
    QThread::msleep(setting.section(QLatin1Char(':'), 1).toULong());
}

// A run whose page numbers or serial values would not fit 32 bits is refused
// whole: a wrapped number is a repeated one.
QString RangeProblem(const TProject& project, int from, int count) {
    const qint64 last = qint64(from) + count - 1;
    if (last + 1 > INT_MAX)
        return QStringLiteral("页码超出范围：第 %1 页超过了最大页码 %2（下次起始页码也不能超过它），"
                              "从第 %3 页起最多能打印 %4 页")
            .arg(qint64(INT_MAX) + 1)
            .arg(INT_MAX)
            .arg(from)
            .arg(qMax<qint64>(0, qint64(INT_MAX) - from));
    if (const auto over = FindSerialOverflow(project, from, last))
        return QStringLiteral("序列号超出范围：打印项 \"%1\" 在第 %2 页的值超出了 %3 到 %4，"
                              "什么也没有打印")
            .arg(over->ItemName)
            .arg(over->Page)
            .arg(INT32_MIN)
            .arg(INT32_MAX);
    return QString();
}

// Why a page with data cannot be drawn, naming its row and the columns the
// failing item takes.
QString DataPageProblem(const TProject& project, const TDataTable& data, int page,
                        const Exception& e) {
    const auto* item = dynamic_cast<const EPrintItemError*>(&e);
    if (!item)
        return e.Message();
    QStringList columns;
    const auto isColumn = [&](const QString& name) { return data.ColumnIndex(name) >= 0; };
    for (const TPrintItem* source : ItemsInNameOrder(project))
        if (source->ItemName() == item->ItemName)
            for (const TFieldPart& part : SplitFields(source->ItemValue(), isColumn))
                if (const QString quoted = QStringLiteral("\"%1\"").arg(part.Text);
                    part.IsField && !columns.contains(quoted))
                    columns << quoted;
    if (columns.isEmpty())
        return e.Message();
    return QStringLiteral("%1（数据第 %2 行，列 %3）")
        .arg(e.Message())
        .arg(page)
        .arg(columns.join(u'、'));
}

// The ledger's note of the rows a run printed.
QString RowsNote(int first, int last) {
    return QStringLiteral("数据第 %1 行到第 %2 行").arg(first).arg(last);
}

} // namespace

std::shared_ptr<const TDataTable> TPrintRun::RunData(const TPrintRunOptions& o) {
    if (!o.DataFile.isEmpty())
        return std::make_shared<const TDataTable>(ReadDataFile(o.DataFile));
    return FFiles.ReadProjectTable(FProject.OID());
}

TPrintRun::TPrintRun(TProject& project, const TSettingMgr& settings, TFileMgr& files, TClock clock)
    : FProject(project), FSettings(settings), FFiles(files), FClock(std::move(clock)) {}

QString TPrintRun::ProjectPrinter() const {
    if (IsTrue(FProject.ProjectDefaultDevice())) {
        const QString name = TPrinter::DefaultPrinter();
        if (name.isEmpty())
            throw EInOutError(
                QStringLiteral("项目使用系统默认打印机，但系统没有默认打印机，什么也没有打印"));
        return name;
    }
    // Never another printer in its place: pages meant for one printer's labels
    // come out wrong on another's paper.
    const QString asked = FProject.ProjectDeviceName();
    for (const QString& name : TPrinter::Printers())
        if (!asked.isEmpty() && name.compare(asked, Qt::CaseInsensitive) == 0)
            return name;
    if (asked.isEmpty())
        throw EInOutError(QStringLiteral("项目没有设置打印机，什么也没有打印"));
    throw EInOutError(QStringLiteral("打印机 %1 不存在，什么也没有打印").arg(asked));
}

QString TPrintRun::PrinterRefusal(const TPrintRunOptions& o, QString& printer) const {
    if (!o.PdfFile.isEmpty()) {
        printer = o.PdfFile;
        return TPrinter::PdfTargetRefusal(o.PdfFile);
    }
    printer = o.Printer.isEmpty() ? FProject.ProjectDeviceName() : o.Printer;
    try {
        if (o.Printer.isEmpty())
            printer = ProjectPrinter();
        else if (!TPrinter::Printers().contains(o.Printer))
            return QStringLiteral("打印机 %1 不存在，什么也没有打印").arg(o.Printer);
    } catch (const Exception& e) {
        return e.Message();
    }
    // Asked before a page is drawn: a long run is not rendered for nothing.
    if (!QueueAcceptsJobs(printer))
        return QStringLiteral("打印机 %1 不接受打印任务，什么也没有打印").arg(printer);
    return QString();
}

void TPrintRun::SetUpPrinter(const TPrintRunOptions& o) {
    QString deviceName = FProject.ProjectDeviceName();
    QString useDefault = FProject.ProjectDefaultDevice();
    if (o.PdfFile.isEmpty() && o.Printer.isEmpty()) {
        deviceName = ProjectPrinter();
        useDefault = kFalse;
    }
    if (!o.PdfFile.isEmpty()) {
        Printer().SelectPdfFile(o.PdfFile, o.Dpi);
        deviceName.clear();
        useDefault = kFalse;
    } else if (!o.Printer.isEmpty()) {
        if (!TPrinter::Printers().contains(o.Printer))
            throw EInOutError(QStringLiteral("打印机 %1 不存在").arg(o.Printer));
        deviceName = o.Printer;
        useDefault = kFalse;
    }
    FMgr.InitPrinter(1, FProject.ProjectPageWidth(), FProject.ProjectPageHeight(), 256, deviceName,
                     useDefault, RoundHalfEven(FProject.ProjectOffsetX()),
                     RoundHalfEven(FProject.ProjectOffsetY()), FProject.ProjectPaperOrientation());
    FMgr.Renderer().SetBarReduction(FSettings.BarReduction(Printer().PrinterName()));
    const bool pdf = !o.PdfFile.isEmpty();
    FMgr.Renderer().SetBlackDotsOnly(!pdf && QueueIsMonochrome(Printer().PrinterName()));
    // A page the queue has no sheet for would come out on another size.
    const QString refusal = PageSizeRefusal(
        QSizeF(FProject.ProjectPageWidth(), FProject.ProjectPageHeight()),
        pdf ? PdfMediaLimits() : QueueMediaLimits(Printer().PrinterName()),
        pdf ? QStringLiteral(" PDF 文件") : QStringLiteral("打印机 %1 ").arg(Printer().PrinterName()));
    if (!refusal.isEmpty())
        throw EInOutError(refusal + QStringLiteral("，什么也没有打印"));
}

std::optional<TScanReport> TPrintRun::CheckPage(const TPageComposer& composer, int pageNum) {
    std::unique_ptr<TCPrint> page;
    TPreparedPage prepared;
    try {
        page = composer.GenerateTCPrint(FProject, pageNum);
        prepared = FMgr.PreparePage(*page);
    } catch (const Exception&) {
        // The run meets the same error on this page and reports it there.
        return std::nullopt;
    }
    return ::CheckPage(*page, prepared, Printer(), pageNum);
}

std::optional<TScanReport> TPrintRun::CheckRun(const TPageComposer& composer, int from,
                                               int count) {
    const TDataTable* data = composer.Data(FProject);
    // A serial that grows a digit may break a fixed-length symbology late in the run.
    const bool checkLast =
        count >= 2 && SymbolsVaryByPage(FProject, data ? data->Columns : QStringList());
    const int last = from + count - 1;
    // The last page is composed and prepared here, where the database and the
    // renderer belong, and read on a thread of its own while the first is read
    // here: the check takes the time of one page, not two.
    std::future<TScanReport> endRead;
    QString endError;
    if (checkLast) {
        try {
            std::shared_ptr<const TCPrint> page = composer.GenerateTCPrint(FProject, last);
            auto prepared = std::make_shared<const TPreparedPage>(FMgr.PreparePage(*page));
            endRead = std::async(std::launch::async, [page, prepared, &printer = Printer(), last] {
                return ::CheckPage(*page, *prepared, printer, last);
            });
        } catch (const Exception& e) {
            endError = e.Message();
        }
    }
    std::optional<TScanReport> first = CheckPage(composer, from);
    if (!first || !first->Passed() || !checkLast)
        return first;
    if (endRead.valid()) {
        const TScanReport end = endRead.get();
        return end.Passed() ? first : end;
    }
    // Rows do not grow like serials: a bad row is met by the run, which prints
    // the pages before it.
    if (data)
        return first;
    // Values grow page by page: the page where they stop fitting is the one to name.
    int fits = from, fails = last;
    QString error = endError;
    while (fails - fits > 1) {
        const int mid = fits + (fails - fits) / 2;
        try {
            FMgr.PreparePage(*composer.GenerateTCPrint(FProject, mid));
            fits = mid;
        } catch (const Exception& midError) {
            fails = mid;
            error = midError.Message();
        }
    }
    TScanReport end = *first;
    end.PageNum = fails;
    end.Symbols.clear();
    end.PageError = error;
    return end;
}

TScanReport TPrintRun::Check(const TPrintRunOptions& o) {
    SetUpPrinter(o);
    TPageComposer composer(FSettings, FFiles, FClock);
    composer.SetData(RunData(o));
    if (std::optional<TScanReport> report = CheckRun(composer, o.From, o.Count))
        return *report;
    // The first page cannot be drawn: its error reaches the caller.
    FMgr.PreparePage(*composer.GenerateTCPrint(FProject, o.From));
    throw Exception(QStringLiteral("第 %1 页无法检查").arg(o.From));
}

TPrintRunResult TPrintRun::Run(const TPrintRunOptions& asked, const TPrintRunHooks& h) {
    // The count may shrink to the data's rows left, if the user agrees.
    TPrintRunOptions o = asked;
    TPrintRunResult r;
    int from = o.From;
    r.NextStart = from;
    if (o.Count < 1) {
        r.Error = kPageCountTooSmall;
        return r;
    }
    if (from < 1 && !o.FromStored) {
        r.Error = kStartTooSmall;
        return r;
    }
    if (const QString problem = RangeProblem(FProject, from, o.Count); !problem.isEmpty()) {
        r.Error = problem;
        return r;
    }
    TDocumentGuard guard;
    std::unique_ptr<TProjectRunLock> lock;
    std::shared_ptr<const TDataTable> data;
    QString failure;
    try {
        if (o.Save) {
            lock = TakeProject(FProject, o, h);
            if (!lock) {
                r.Stopped = true;
                return r;
            }
            r.StoredStart = lock->StoredStart();
            FProject.SetProjectSerialStart(*r.StoredStart);
        }
        // Not storing the start is no licence to repeat numbers unasked; a project
        // the database does not hold has printed none.
        int stored = from;
        if (lock || FSettings.ReadSerialStart(FProject))
            stored = FProject.ProjectSerialStart();
        if (o.FromStored) {
            from = r.NextStart = stored;
            if (from < 1)
                throw Exception(kStartTooSmall);
            if (const QString problem = RangeProblem(FProject, from, o.Count); !problem.isEmpty())
                throw Exception(problem);
        }
        // Parsed once for the whole run; a run never goes past the last row.
        data = RunData(o);
        if (data)
            if (const QString problem = RowsLeftProblem(*data, from, o.Count); !problem.isEmpty()) {
                const int left = qMax(0, data->RowCount() - from + 1);
                if (left == 0 || !h.ConfirmRowsLeft)
                    throw Exception(problem);
                if (!h.ConfirmRowsLeft(problem, left)) {
                    r.Declined = true;
                    return r;
                }
                o.Count = left;
            }
        if (!o.FromStored && from < stored &&
            !(h.ConfirmReprint && h.ConfirmReprint(from, stored))) {
            r.Declined = true;
            return r;
        }

        QString printer;
        if (const QString why = PrinterRefusal(o, printer); !why.isEmpty()) {
            r.PrinterRefused = true;
            // The refusal is what the user must read; a ledger line lost is not.
            try {
                if (lock)
                    RecordRefusal(*lock,
                                  NewRun(FProject.OID(), from, from + o.Count - 1, o.Count,
                                         stored, printer, from < stored),
                                  why);
            } catch (const Exception&) {
            }
            throw Exception(why);
        }

        TPrintMgr& mgr = FMgr;
        SetUpPrinter(o);
        Printer().SetTitle(o.Title);
        TPageComposer composer(FSettings, FFiles, FClock);
        composer.SetData(data);

        // The first page's symbols are read back before anything is printed: a
        // refused run leaves the job unbegun and the numbering where it was.
        r.Check = CheckRun(composer, from, o.Count);
        if (r.Check && !r.Check->Passed() &&
            !(h.ConfirmUnscannable && h.ConfirmUnscannable(*r.Check))) {
            r.Refused = true;
            return r;
        }
        Printer().BeginDoc();

        // Page n is composed and handed to the preparer, then page n - 1 is
        // painted, then page n is waited for. Stop, a page that cannot be drawn
        // and the hooks fall between the same pages as if one page were drawn
        // at a time.
        TPagePreparer preparer(mgr);
        std::optional<TPreparedPage> ready;
        const auto paint = [&](const TPreparedPage& page) {
            if (!Printer().Printing())
                return false;
            if (r.Printed > 0)
                Printer().NewPage();
            mgr.PaintPage(page);
            if (h.PageDone)
                h.PageDone(RoundHalfEven(static_cast<long double>(r.Printed) * 100 / o.Count));
            ++r.Printed;
            if (h.Idle)
                h.Idle();
            return true;
        };
        const auto failedAt = [&](int pageNum, const Exception& e) {
            failure = PageFailedText(
                pageNum, data ? DataPageProblem(FProject, *data, pageNum, e) : e.Message());
            r.FailedPage = pageNum;
        };
        int pageNum = from;
        for (int i = 0; i < o.Count; ++i, ++pageNum) {
            if (!Printer().Printing())
                break;
            if (h.StopRequested && h.StopRequested()) {
                r.Stopped = true;
                break;
            }
            std::future<TPreparedPage> next;
            try {
                if (h.PageStarted)
                    h.PageStarted(pageNum);
                next = preparer.Prepare(composer.GenerateTCPrint(FProject, pageNum));
            } catch (const Exception& e) {
                failedAt(pageNum, e);
                break;
            }
            if (ready && !paint(*std::exchange(ready, std::nullopt)))
                break;
            // The whole page first: a page that cannot be drawn gets no sheet.
            try {
                ready = next.get();
            } catch (const Exception& e) {
                failedAt(pageNum, e);
                break;
            }
        }
        if (ready)
            paint(*ready);
        const int notPrinted = from + r.Printed;

        if (Printer().Aborted() || !Printer().Printing()) {
            r.Aborted = true;
            r.Printed = 0;
        } else if (r.Printed == 0) {
            Printer().Abort();
        } else {
            QString note = !failure.isEmpty() ? failure
                           : r.Stopped ? QStringLiteral("已停止，第 %1 页起没有打印").arg(notPrinted)
                                       : QString();
            // The ledger's pages are the rows; the note says so.
            if (data)
                note += (note.isEmpty() ? QString() : QStringLiteral("；")) +
                        RowsNote(from, from + r.Printed - 1);
            HandOver(o, from, note, lock, r);
        }
    } catch (const Exception& e) {
        r.Error = e.Message();
        return r;
    }
    r.Error = failure;
    return r;
}

// Reserve, hand over, confirm: the numbers are stored as taken before the job
// leaves, so no single failure can print them twice; a job the queue refuses
// gives them back, and one that dies on the way is settled by RecoverRuns.
void TPrintRun::HandOver(const TPrintRunOptions& o, int from, const QString& note,
                         std::unique_ptr<TProjectRunLock>& lock, TPrintRunResult& r) {
    const int printed = r.Printed;
    const int last = from + printed - 1;
    // Numbers printed again on request leave the numbering where it was:
    // otherwise the next run would repeat the pages after them unasked.
    const int next = r.StoredStart ? qMax(*r.StoredStart, last + 1) : last + 1;
    r.Printed = 0;
    TRunRecord run = NewRun(FProject.OID(), from, last, o.Count, r.StoredStart.value_or(from),
                            Printer().PrinterName(), r.StoredStart && from < *r.StoredStart);
    run.Message = note;
    Printer().FinishDoc(run.Oid);
    if (!lock) {
        r.JobId = Printer().HandOver();
        r.Printed = printed;
        r.NextStart = last + 1;
        return;
    }
    try {
        try {
            ReserveRun(*lock, run, next, o.Count);
        } catch (const EDatabaseError&) {
            // A server restarted during the run took the lock's connection with
            // it. The row is taken afresh, and the numbers reserved only if no
            // other run has moved the start since.
            std::unique_ptr<TProjectRunLock> again;
            try {
                again = std::make_unique<TProjectRunLock>(FProject.OID());
            } catch (const Exception&) {
            }
            if (!again || again->StoredStart() != lock->StoredStart())
                throw;
            lock = std::move(again);
            ReserveRun(*lock, run, next, o.Count);
        }
    } catch (const Exception& e) {
        Printer().Discard();
        throw Exception(
            QStringLiteral("第 %1 页到第 %2 页没能在数据库中登记，什么也没有打印：%3")
                .arg(from)
                .arg(last)
                .arg(e.Message()));
    }
    r.Saved = true;
    r.NextStart = next;
    FProject.SetProjectSerialStart(next);
    FProject.SetProjectSerialEnd(o.Count);
    TestPause("reserved");
    try {
        r.JobId = Printer().HandOver();
    } catch (const Exception& e) {
        r.PrinterRefused = true;
        if (RefuseRun(*lock, run, next, e.Message())) {
            r.Saved = false;
            r.NextStart = run.StartBefore;
            FProject.SetProjectSerialStart(run.StartBefore);
            throw;
        }
        throw Exception(e.Message() + QStringLiteral("\n") + SkipText(run, RunState::Gap));
    }
    r.Printed = printed;
    run.JobId = r.JobId;
    const char* state = o.PdfFile.isEmpty() ? RunState::Accepted : RunState::Completed;
    run.State = QLatin1String(state);
    r.Run = run;
    TestPause("handed");
    try {
        AcceptRun(*lock, run, r.JobId, state);
    } catch (const Exception& e) {
        // The numbers are stored as taken; the next start settles the record.
        r.Warning = QStringLiteral("打印任务已交给打印机，但打印记录没能更新（下次启动时核对）：%1")
                        .arg(e.Message());
    }
}
