#pragma once

#include <QDate>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

class TProjectRunLock;

// What became of a run, as the ledger (P_RUN) keeps it.
namespace RunState {
// Numbers reserved, the job on its way to the queue.
inline constexpr char HandingOver[] = "handing over";
// The queue took the job.
inline constexpr char Accepted[] = "accepted";
inline constexpr char Completed[] = "completed";
// The queue would not take the job; the numbers went back.
inline constexpr char Refused[] = "refused";
// A run whose process died before the hand-over; the numbers went back.
inline constexpr char Returned[] = "returned";
// Skipped numbers: taken by a job that never printed them.
inline constexpr char Cancelled[] = "cancelled";
inline constexpr char Aborted[] = "aborted";
inline constexpr char Lost[] = "lost";
inline constexpr char Gap[] = "gap";
} // namespace RunState

// Whether a state means the run's numbers were taken but not printed.
bool IsSkip(const QString& state);

struct TRunRecord {
    QString Oid; // also the job's token in the queue's job title
    QString ProjectOid;
    QString ProjectName; // read with the ledger, not stored in it
    int FirstPage = 0;
    int LastPage = 0;
    int PagesAsked = 0;
    int StartBefore = 0; // the stored start the run found
    QString Printer;     // the queue, or the PDF file
    QString Station;
    QString User;
    int ProcessId = 0;
    int JobId = 0;
    QDateTime Started;
    QDateTime Ended;
    QString State;
    QString Message;
    bool Reprint = false;
};

// A run of this station's process, with a fresh token.
TRunRecord NewRun(const QString& projectOid, int firstPage, int lastPage, int pagesAsked,
                  int startBefore, const QString& printer, bool reprint);

// With the project held, in one commit: the run recorded as handing over and the
// stored start moved to nextStart. The row stays held where it can be.
void ReserveRun(TProjectRunLock& lock, const TRunRecord& run, int nextStart, int pageCount);
// The queue took the job (accepted), or the PDF file is in place (completed):
// recorded, which ends the lock.
void AcceptRun(TProjectRunLock& lock, const TRunRecord& run, int jobId, const char* state);
// The queue refused the job: the start goes back to where the run found it,
// unless another run has moved it on since; then the numbers are recorded as
// skipped. Returns whether they went back. Ends the lock.
bool RefuseRun(TProjectRunLock& lock, const TRunRecord& run, int reservedNext,
               const QString& why);
// The printer would not take the run before anything was drawn: recorded as
// refused with the range asked for, which ends the lock.
void RecordRefusal(TProjectRunLock& lock, const TRunRecord& run, const QString& why);
// The outcome of a followed job; only a run still recorded as accepted changes,
// and its message stays unless the outcome brings one.
void RecordOutcome(const QString& runOid, const QString& state, const QString& message);

// The ledger, newest first: one project's runs (or all), from a day on (or all).
QList<TRunRecord> ReadRuns(const QString& projectOid = QString(), const QDate& since = QDate());
// The ledger as tab-separated lines with a header, for scripts.
QString RunsAsTsv(const QList<TRunRecord>& runs);
// The ledger as comma-separated lines with Chinese headings and states, for
// spreadsheets: fields quoted where they hold a comma, a quote or a line break.
QString RunsAsCsv(const QList<TRunRecord>& runs);

// "第 N 页无法打印：…": the message of a run cut short by a page that could not be drawn.
QString PageFailedText(int pageNum, const QString& why);
// What became of a run, for the user: 已打印, 已停止, 页面失败, 被拒绝, 已取消, 重打…
QString RunStateText(const TRunRecord& run);

// What the print system says of a run's job.
struct TJobSighting {
    enum Kind { Unknown, Absent, Found } What = Unknown; // Unknown: it cannot be asked now
    int JobId = 0;
    QString State; // a RunState: accepted, completed, cancelled or aborted
    QString Why;   // why it cannot be told
    int OldestJob = 0; // the lowest job id the server still remembers (0: none)
};
// On the print server by the token in the job title; for a PDF file, by
// whether the finished job still waits beside it.
TJobSighting FindRunJob(const TRunRecord& run);

// Settles the runs of this station that a process left handing over when it
// died: a job found under the run's token is accepted; otherwise the numbers go
// back when nothing was printed after them, or are recorded as skipped. Then the
// jobs of the last day that nobody followed to their end get their outcome,
// lost when the server no longer has them though it remembers older ones.
// Returns what the user must be told, one line each.
QStringList RecoverRuns();

// "第 N 页到第 M 页的打印任务已被取消" and its kin, for a skipped run.
QString SkipText(const TRunRecord& run, const QString& state);

// How a followed job ended, as the ledger now holds it.
struct TJobOutcome {
    QString State;
    QString Skipped;     // SkipText when its pages did not print, else empty
    QString NotRecorded; // why the ledger could not take it, else empty
};

// Follows a job through the print server until it ends or vanishes.
class TJobFollower {
public:
    TJobFollower(TRunRecord run, int jobId) : FRun(std::move(run)), FJobId(jobId) {}
    // One look; once the job has completed, was cancelled or aborted, or is gone
    // from a server that answers (a restart lost it), its outcome is recorded.
    std::optional<TJobOutcome> Poll();
    const TRunRecord& Run() const { return FRun; }
    int JobId() const { return FJobId; }

private:
    TRunRecord FRun;
    int FJobId;
};
