#pragma once

#include "model/DateFormat.h"
#include "model/manager/PrintMgrImpl.h"

#include <QString>
#include <functional>
#include <optional>

class TFileMgr;
class TProject;
class TSettingMgr;

// What a print run is asked to do.
struct TPrintRunOptions {
    int From = 1; // page number of the first page
    // Start at the start the database holds when the run takes the project
    // (with Save), not at From.
    bool FromStored = false;
    int Count = 1; // pages to print
    // A queue to print on instead of the project's printer.
    QString Printer;
    // A PDF file to write the job to instead of a queue.
    QString PdfFile;
    // Whether the next start is stored (and the project held while printing).
    bool Save = true;
    // The job's document name; the program's own runs carry none.
    QString Title;
    // How long to wait for another run of the same project to end, in
    // milliseconds; 0 refuses at once.
    int LockWaitMs = 0;
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
    // The start the database held when the run began, when it was read.
    std::optional<int> StoredStart;
    // Whether NextStart is now in the database.
    bool Saved = false;
    int JobId = 0;
    // Empty on success; otherwise what went wrong, for the user.
    QString Error;
};

// One print run: consecutive page numbers of a project as one job. Numbering
// never skips and never repeats: a page is prepared whole before its sheet
// begins, nothing reaches the printer until the queue has taken the whole job,
// the next start is stored only then, and the project's row is held for the
// length of the run so that no other run takes the same numbers.
class TPrintRun {
public:
    TPrintRun(TProject& project, const TSettingMgr& settings, TFileMgr& files,
              TClock clock = SystemClock());

    TPrintRunResult Run(const TPrintRunOptions& options, const TPrintRunHooks& hooks = {});
    // The printer manager the run draws with.
    TPrintMgr& Manager() { return FMgr; }

private:
    TProject& FProject;
    const TSettingMgr& FSettings;
    TFileMgr& FFiles;
    TClock FClock;
    TPrintMgr FMgr;
};

// "打印页数不能小于1": a run of fewer than one page.
extern const QString kPageCountTooSmall;
