#include "model/manager/PrintRun.h"

#include "model/Composer.h"
#include "model/Errors.h"
#include "model/Rounding.h"
#include "model/bom/SettingBom.h"
#include "model/manager/PrintMgrImpl.h"
#include "model/manager/Printer.h"
#include "persistence/FbLayer.h"

#include <QElapsedTimer>
#include <QThread>
#include <climits>

const QString kPageCountTooSmall = QStringLiteral("打印页数不能小于1");

namespace {

// Whatever ends the run, a document still open is discarded: nothing half done
// reaches the printer.
class TDocumentGuard {
public:
    ~TDocumentGuard() {
        if (Printer().Printing())
            Printer().Abort();
    }
};

std::unique_ptr<TProjectRunLock> TakeProject(const TProject& project, const TPrintRunOptions& o,
                                             const TPrintRunHooks& h) {
    QElapsedTimer waited;
    waited.start();
    for (;;) {
        try {
            return std::make_unique<TProjectRunLock>(project.OID());
        } catch (const EProjectBusy&) {
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

} // namespace

TPrintRun::TPrintRun(TProject& project, const TSettingMgr& settings, TFileMgr& files, TClock clock)
    : FProject(project), FSettings(settings), FFiles(files), FClock(std::move(clock)) {}

TPrintRunResult TPrintRun::Run(const TPrintRunOptions& o, const TPrintRunHooks& h) {
    TPrintRunResult r;
    int from = o.From;
    r.NextStart = from;
    if (o.Count < 1) {
        r.Error = kPageCountTooSmall;
        return r;
    }
    const auto outOfRange = [&] { return qint64(from) + o.Count - 1 > INT_MAX; };
    const QString rangeError = QStringLiteral("页码超出范围：最后一页不能大于 %1").arg(INT_MAX);
    if (outOfRange()) {
        r.Error = rangeError;
        return r;
    }
    TDocumentGuard guard;
    std::unique_ptr<TProjectRunLock> lock;
    QString failure;
    try {
        if (o.Save) {
            lock = TakeProject(FProject, o, h);
            const int stored = lock->StoredStart();
            r.StoredStart = stored;
            FProject.SetProjectSerialStart(stored);
            if (o.FromStored) {
                from = r.NextStart = stored;
                if (outOfRange())
                    throw Exception(rangeError);
            } else if (from < stored && !(h.ConfirmReprint && h.ConfirmReprint(from, stored))) {
                r.Declined = true;
                return r;
            }
        }

        TPrintMgr& mgr = FMgr;
        QString deviceName = FProject.ProjectDeviceName();
        QString useDefault = FProject.ProjectDefaultDevice();
        if (!o.PdfFile.isEmpty()) {
            Printer().SelectPdfFile(o.PdfFile);
            deviceName.clear();
            useDefault = kFalse;
        } else if (!o.Printer.isEmpty()) {
            if (!TPrinter::Printers().contains(o.Printer))
                throw EInOutError(QStringLiteral("打印机 %1 不存在").arg(o.Printer));
            deviceName = o.Printer;
            useDefault = kFalse;
        }
        mgr.InitPrinter(1, FProject.ProjectPageWidth(), FProject.ProjectPageHeight(), 256,
                        deviceName, useDefault, RoundHalfEven(FProject.ProjectOffsetX()),
                        RoundHalfEven(FProject.ProjectOffsetY()),
                        FProject.ProjectPaperOrientation());
        Printer().SetTitle(o.Title);
        Printer().BeginDoc();

        const TPageComposer composer(FSettings, FFiles, FClock);
        int pageNum = from;
        for (int i = 0; i < o.Count; ++i) {
            if (!Printer().Printing())
                break;
            if (h.StopRequested && h.StopRequested()) {
                r.Stopped = true;
                break;
            }
            // The whole page first: a page that cannot be drawn gets no sheet.
            TPreparedPage page;
            try {
                if (h.PageStarted)
                    h.PageStarted(pageNum);
                page = mgr.PreparePage(*composer.GenerateTCPrint(FProject, pageNum));
            } catch (const Exception& e) {
                failure = QStringLiteral("第 %1 页无法打印：%2").arg(pageNum).arg(e.Message());
                break;
            }
            if (!Printer().Printing())
                break;
            if (i > 0)
                Printer().NewPage();
            mgr.PaintPage(page);
            ++r.Printed;
            if (h.PageDone)
                h.PageDone(RoundHalfEven(static_cast<long double>(i) * 100 / o.Count));
            ++pageNum;
            if (h.Idle)
                h.Idle();
        }

        if (Printer().Aborted() || !Printer().Printing()) {
            r.Aborted = true;
            r.Printed = 0;
        } else if (r.Printed == 0) {
            Printer().Abort();
        } else {
            try {
                r.JobId = Printer().EndDoc();
            } catch (...) {
                r.Printed = 0;
                throw;
            }
            r.NextStart = from + r.Printed;
            // Numbers printed again on request leave the numbering where it was:
            // otherwise the next run would repeat the pages after them unasked.
            if (r.StoredStart && *r.StoredStart > r.NextStart)
                r.NextStart = *r.StoredStart;
            if (lock) {
                try {
                    lock->Store(r.NextStart, o.Count);
                } catch (const Exception& e) {
                    throw Exception(
                        QStringLiteral("已打印到第 %1 页，但下次起始页码 %2 没能保存：%3")
                            .arg(from + r.Printed - 1)
                            .arg(r.NextStart)
                            .arg(e.Message()));
                }
                r.Saved = true;
                FProject.SetProjectSerialStart(r.NextStart);
                FProject.SetProjectSerialEnd(o.Count);
            }
        }
    } catch (const Exception& e) {
        r.Error = e.Message();
        return r;
    }
    r.Error = failure;
    return r;
}
