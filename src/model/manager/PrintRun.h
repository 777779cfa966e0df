#pragma once

#include "model/DateFormat.h"
#include "model/manager/PrintMgrImpl.h"
#include "model/manager/RunLedger.h"
#include "model/manager/ScanCheck.h"

#include <QString>
#include <functional>
#include <memory>
#include <optional>

class TFileMgr;
class TPageComposer;
class TProject;
class TProjectRunLock;
class TSettingMgr;
struct TDataTable;

// What a print run is asked to do.
struct TPrintRunOptions {
    int From = 1; // page number of the first page
    // Start at the start the database holds when the run takes the project
    // (with Save), not at From.
    bool FromStored = false;
    int Count = 1; // pages to print
    // A queue to print on instead of the project's printer.
    QString Printer;
    // A PDF file to write the job to instead of a queue, laid out at Dpi printer
    // dots per inch (0: the common 300).
    QString PdfFile;
    int Dpi = 0;
    // Whether the next start is stored (and the project held while printing).
    bool Save = true;
    // The job's document name; the program's own runs carry none.
    QString Title;
    // How long to wait for another run of the same project to end, in
    // milliseconds; 0 refuses at once.
    int LockWaitMs = 0;
    // A CSV/TSV file whose rows this run takes instead of the project's stored
    // data (which stays as it is).
    QString DataFile;
};

// How a run talks to whoever started it. Every hook may be left empty.
struct TPrintRunHooks {
    // A page is about to be composed (the window shows its number).
    std::function<void(int pageNum)> PageStarted;
    // A page has been drawn; percent of the run before it, as the bar shows.
    std::function<void(int percent)> PageDone;
    // Checked before every page: true ends the run there.
    std::function<bool()> StopRequested;
    // Lets the user interface run between pages.
    std::function<void()> Idle;
    // The run would print numbers the database says were printed already
    // (from < stored): true prints them again. Unset: refused.
    std::function<bool(int from, int stored)> ConfirmReprint;
    // Waiting for another run of the same project to end.
    std::function<void()> Waiting;
    // Some symbol of the first page would not scan (the report says which and
    // why): true prints all the same. Unset: refused.
    std::function<bool(const TScanReport& report)> ConfirmUnscannable;
    // The data holds fewer rows than the run asks for ("数据只有 N 行，第 S 页起还剩
    // M 行", M > 0): true prints the M pages left. Unset: refused.
    std::function<bool(const QString& problem, int rowsLeft)> ConfirmRowsLeft;
};

struct TPrintRunResult {
    // Where the next run starts: the first page number after those printed, or
    // the stored start when the run printed numbers below it again.
    int NextStart = 0;
    // Sheets handed to the printer.
    int Printed = 0;
    bool Stopped = false;
    // The job was aborted (pause): nothing of it reached the printer.
    bool Aborted = false;
    // The user would not print numbers again; nothing was printed.
    bool Declined = false;
    // The symbols of the first or last page failed the check and the run was
    // not confirmed: nothing was printed, nothing stored.
    bool Refused = false;
    // The printer is missing or its queue takes no jobs, or the queue refused the
    // job: nothing was printed and the numbers stay.
    bool PrinterRefused = false;
    // The page that could not be drawn and ended the run.
    std::optional<int> FailedPage;
    // The check of the first page, or of the last when that one failed; none
    // when the first page could not be composed.
    std::optional<TScanReport> Check;
    // The start the database held when the run began, when it was read.
    std::optional<int> StoredStart;
    // Whether NextStart is now in the database.
    bool Saved = false;
    int JobId = 0;
    // The run as the ledger holds it, once the queue took its job.
    std::optional<TRunRecord> Run;
    // Empty on success; otherwise what went wrong, for the user.
    QString Error;
    // Printed and stored, but something the user should know went wrong after.
    QString Warning;
};

// One print run: consecutive page numbers of a project as one job. Numbering
// never repeats and a skip is always recorded: a page is prepared whole before
// its sheet begins, the finished job is checked whole, its numbers are
// reserved in the run ledger before it leaves, and the project's row is held
// for the length of the run so that no other run takes the same numbers.
class TPrintRun {
public:
    TPrintRun(TProject& project, const TSettingMgr& settings, TFileMgr& files,
              TClock clock = SystemClock());

    TPrintRunResult Run(const TPrintRunOptions& options, const TPrintRunHooks& hooks = {});
    // The check alone: page `From` rendered for the printer the run would use
    // and its symbols read back, and the run's last page too when fields make
    // symbols differ from page to page (the report of the first page failing).
    // Throws what setting up the printer or composing the first page throws.
    TScanReport Check(const TPrintRunOptions& options);
    // The printer manager the run draws with.
    TPrintMgr& Manager() { return FMgr; }

private:
    // Gives the finished job to the queue with the numbers reserved first; `note`
    // is what the ledger says of how the run ended.
    void HandOver(const TPrintRunOptions& options, int from, const QString& note,
                  std::unique_ptr<TProjectRunLock>& lock, TPrintRunResult& result);
    // Why the printer the options ask for cannot take a job; empty when it can.
    // `printer` gets its name.
    QString PrinterRefusal(const TPrintRunOptions& options, QString& printer) const;
    // The project's printer as installed, or the default printer; throws when
    // the project's printer is not installed or there is no default.
    QString ProjectPrinter() const;
    // Selects and sets up the printer (or PDF file) the options ask for.
    void SetUpPrinter(const TPrintRunOptions& options);
    // The rows the run takes, read and parsed once; null when the project has none.
    std::shared_ptr<const TDataTable> RunData(const TPrintRunOptions& options);
    // The check of one page; nothing when the page cannot be composed or prepared.
    std::optional<TScanReport> CheckPage(const TPageComposer& composer, int pageNum);
    // The first page's check, or the last page's when only that one fails.
    std::optional<TScanReport> CheckRun(const TPageComposer& composer, int from, int count);

    TProject& FProject;
    const TSettingMgr& FSettings;
    TFileMgr& FFiles;
    TClock FClock;
    TPrintMgr FMgr;
};

// "打印页数不能小于1": a run of fewer than one page.
extern const QString kPageCountTooSmall;
// "页码起始值不能小于1": a run from page 0 or below.
extern const QString kStartTooSmall;
