#include "model/manager/RunLedger.h"

#include "base/Errors.h"
#include "model/bom/SettingBom.h"
#include "model/manager/Printer.h"
#include "model/manager/ProjectRunLock.h"
#include "persistence/PersistenceManager.h"

#include <QFile>
#include <QRegularExpression>
#include <QSysInfo>
#include <cerrno>
#include <csignal>
#include <cups/cups.h>
#include <pwd.h>
#include <unistd.h>

namespace {

const QString kTimeFormat = QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz");

QString Now() {
    return QDateTime::currentDateTime().toString(kTimeFormat);
}

QString ThisStation() {
    const QString host = QSysInfo::machineHostName();
    return host.isEmpty() ? QStringLiteral("localhost") : host;
}

QString ThisUser() {
    if (const passwd* pw = ::getpwuid(::geteuid()))
        return QString::fromLocal8Bit(pw->pw_name);
    return QString::number(::geteuid());
}

// A process of this station that may still be handing its job over. A pid
// taken over by another process only delays the settling.
bool ProcessAlive(int pid) {
    return pid > 0 && (::kill(pid_t(pid), 0) == 0 || errno == EPERM);
}

const QString kSelectRuns = QStringLiteral(
    "select r.oid, r.project_id, p.project_name, r.first_page, r.last_page, r.pages_asked, "
    "r.start_before, r.printer, r.station, r.user_name, r.process_id, r.job_id, r.started_at, "
    "r.ended_at, r.state, r.message, r.reprint from P_RUN r left join P_PROJECT p on "
    "p.oid = r.project_id");

QList<TRunRecord> SelectRuns(const QString& where, const QList<QPair<QString, QVariant>>& params) {
    TDatabaseLock conn;
    conn->StartTransaction();
    auto query = conn->CreateQuery();
    query->SetSQL(kSelectRuns + where + QStringLiteral(" order by r.started_at desc, r.oid"));
    for (const auto& [name, value] : params)
        query->ParamAt(query->ParamIndex(name), value);
    QList<TRunRecord> runs;
    for (query->Open(); !query->Eof(); query->Next()) {
        TRunRecord r;
        int i = 0;
        r.Oid = query->FieldAt(i++).toString();
        r.ProjectOid = query->FieldAt(i++).toString();
        r.ProjectName = query->FieldAt(i++).toString();
        r.FirstPage = query->FieldAt(i++).toInt();
        r.LastPage = query->FieldAt(i++).toInt();
        r.PagesAsked = query->FieldAt(i++).toInt();
        r.StartBefore = query->FieldAt(i++).toInt();
        r.Printer = query->FieldAt(i++).toString();
        r.Station = query->FieldAt(i++).toString();
        r.User = query->FieldAt(i++).toString();
        r.ProcessId = query->FieldAt(i++).toInt();
        r.JobId = query->FieldAt(i++).toInt();
        r.Started = query->FieldAt(i++).toDateTime();
        r.Ended = query->FieldAt(i++).toDateTime();
        r.State = query->FieldAt(i++).toString().trimmed();
        r.Message = query->FieldAt(i++).toString();
        r.Reprint = IsTrue(query->FieldAt(i++).toString());
        runs << r;
    }
    return runs;
}

QString StateOf(ipp_jstate_t state) {
    switch (state) {
    case IPP_JSTATE_COMPLETED:
        return QLatin1String(RunState::Completed);
    case IPP_JSTATE_CANCELED:
        return QLatin1String(RunState::Cancelled);
    case IPP_JSTATE_ABORTED:
        return QLatin1String(RunState::Aborted);
    default:
        return QLatin1String(RunState::Accepted);
    }
}

// The server's jobs, finished ones too, searched for the run's token.
TJobSighting LookOnServer(const QString& token) {
    TJobSighting seen;
    cups_job_t* jobs = nullptr;
    const int count = cupsGetJobs2(CUPS_HTTP_DEFAULT, &jobs, nullptr, 0, CUPS_WHICHJOBS_ALL);
    if (count <= 0 && cupsLastError() > IPP_STATUS_OK_EVENTS_COMPLETE) {
        seen.Why = QString::fromUtf8(cupsLastErrorString());
        cupsFreeJobs(count, jobs);
        return seen;
    }
    const QByteArray tag = TPrinter::JobTitle(QString(), token).toUtf8();
    seen.What = TJobSighting::Absent;
    for (int i = 0; i < count; ++i) {
        if (seen.OldestJob == 0 || jobs[i].id < seen.OldestJob)
            seen.OldestJob = jobs[i].id;
        if (jobs[i].title && QByteArray(jobs[i].title).endsWith(tag)) {
            seen.What = TJobSighting::Found;
            seen.JobId = jobs[i].id;
            seen.State = StateOf(jobs[i].state);
        }
    }
    cupsFreeJobs(count, jobs);
    return seen;
}

void InsertRun(TProjectRunLock& lock, const TRunRecord& run) {
    lock.Execute("insert into P_RUN (oid, project_id, first_page, last_page, pages_asked, "
                 "start_before, printer, station, user_name, process_id, job_token, started_at, "
                 "ended_at, state, message, reprint) "
                 "values (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)",
                 {{"oid", run.Oid},
                  {"project_id", run.ProjectOid},
                  {"first_page", run.FirstPage},
                  {"last_page", run.LastPage},
                  {"pages_asked", run.PagesAsked},
                  {"start_before", run.StartBefore},
                  {"printer", run.Printer},
                  {"station", run.Station},
                  {"user_name", run.User},
                  {"process_id", run.ProcessId},
                  {"job_token", TPrinter::JobTitle(QString(), run.Oid)},
                  {"started_at", run.Started.toString(kTimeFormat)},
                  {"ended_at", run.Ended.isValid() ? QVariant(run.Ended.toString(kTimeFormat))
                                                   : QVariant()},
                  {"state", run.State},
                  {"message", run.Message.left(1000)},
                  {"reprint", FlagText(run.Reprint)}});
}

} // namespace

bool IsSkip(const QString& state) {
    return state == QLatin1String(RunState::Cancelled) ||
           state == QLatin1String(RunState::Aborted) || state == QLatin1String(RunState::Lost) ||
           state == QLatin1String(RunState::Gap);
}

TRunRecord NewRun(const QString& projectOid, int firstPage, int lastPage, int pagesAsked,
                  int startBefore, const QString& printer, bool reprint) {
    TRunRecord r;
    r.Oid = NewOID();
    r.ProjectOid = projectOid;
    r.FirstPage = firstPage;
    r.LastPage = lastPage;
    r.PagesAsked = pagesAsked;
    r.StartBefore = startBefore;
    r.Printer = printer;
    r.Station = ThisStation();
    r.User = ThisUser();
    r.ProcessId = int(::getpid());
    r.Started = QDateTime::currentDateTime();
    r.State = QLatin1String(RunState::HandingOver);
    r.Reprint = reprint;
    return r;
}

void ReserveRun(TProjectRunLock& lock, const TRunRecord& run, int nextStart, int pageCount) {
    InsertRun(lock, run);
    lock.Execute("update P_PROJECT set serial_start = ?, serial_end = ? where oid = ?",
                 {{"serial_start", nextStart}, {"serial_end", pageCount}, {"oid", run.ProjectOid}});
    lock.CommitAndHold();
}

void RecordRefusal(TProjectRunLock& lock, const TRunRecord& run, const QString& why) {
    TRunRecord refused = run;
    refused.State = QLatin1String(RunState::Refused);
    refused.Message = why;
    refused.Ended = QDateTime::currentDateTime();
    InsertRun(lock, refused);
    lock.Commit();
}

void AcceptRun(TProjectRunLock& lock, const TRunRecord& run, int jobId, const char* state) {
    lock.Execute("update P_RUN set state = ?, job_id = ?, ended_at = ? where oid = ?",
                 {{"state", QLatin1String(state)},
                  {"job_id", jobId},
                  {"ended_at", Now()},
                  {"oid", run.Oid}});
    lock.Commit();
}

bool RefuseRun(TProjectRunLock& lock, const TRunRecord& run, int reservedNext,
               const QString& why) {
    // Only while the row is still held with the start as this run left it: a
    // run that took the numbers after ours keeps them, and ours are a gap.
    bool back = false;
    if (lock.Held() && lock.StoredStart() == reservedNext) {
        try {
            lock.Execute("update P_PROJECT set serial_start = ? where oid = ?",
                         {{"serial_start", run.StartBefore}, {"oid", run.ProjectOid}});
            lock.Execute("update P_RUN set state = ?, message = ?, ended_at = ? where oid = ?",
                         {{"state", QLatin1String(RunState::Refused)},
                          {"message", why.left(1000)},
                          {"ended_at", Now()},
                          {"oid", run.Oid}});
            lock.Commit();
            back = true;
        } catch (const Exception&) {
        }
    }
    lock.Release();
    if (!back)
        RecordOutcome(run.Oid, QLatin1String(RunState::Gap), why);
    return back;
}

void RecordOutcome(const QString& runOid, const QString& state, const QString& message) {
    TDatabaseLock conn;
    TWriteSession& writes = conn->Writes();
    writes.StartTransaction();
    // A completed job keeps what the run said of itself (a page that failed).
    static const QString update = QStringLiteral(
        "update P_RUN set state = ?, ended_at = ? where oid = ? and "
        "state in ('accepted', 'handing over')");
    static const QString withMessage = QStringLiteral(
        "update P_RUN set state = ?, message = ?, ended_at = ? where oid = ? and "
        "state in ('accepted', 'handing over')");
    if (message.isEmpty())
        writes.Execute(update, {state, Now(), runOid});
    else
        writes.Execute(withMessage, {state, message.left(1000), Now(), runOid});
    writes.Commit();
}

QList<TRunRecord> ReadRuns(const QString& projectOid, const QDate& since) {
    QStringList where;
    QList<QPair<QString, QVariant>> params;
    if (!projectOid.isEmpty()) {
        where << QStringLiteral("r.project_id = :project");
        params.append({QStringLiteral("project"), projectOid});
    }
    if (since.isValid()) {
        where << QStringLiteral("r.started_at >= :since");
        params.append({QStringLiteral("since"), since.startOfDay().toString(kTimeFormat)});
    }
    return SelectRuns(where.isEmpty() ? QString()
                                      : QStringLiteral(" where ") +
                                            where.join(QStringLiteral(" and ")),
                      params);
}

QString RunsAsTsv(const QList<TRunRecord>& runs) {
    const auto clean = [](QString text) {
        return text.replace(QLatin1Char('\t'), QLatin1Char(' '))
            .replace(QLatin1Char('\n'), QLatin1Char(' '))
            .replace(QLatin1Char('\r'), QLatin1Char(' '));
    };
    QString out = QStringLiteral("run\tproject\tfirst\tlast\tpages asked\tprinter\tstation\tuser\t"
                                 "job\tstarted\tended\tstate\treprint\tmessage\n");
    for (const TRunRecord& r : runs)
        out += QStringList{r.Oid,
                           clean(r.ProjectName),
                           QString::number(r.FirstPage),
                           QString::number(r.LastPage),
                           QString::number(r.PagesAsked),
                           clean(r.Printer),
                           clean(r.Station),
                           clean(r.User),
                           QString::number(r.JobId),
                           r.Started.toString(Qt::ISODate),
                           r.Ended.toString(Qt::ISODate),
                           r.State,
                           r.Reprint ? QStringLiteral("yes") : QStringLiteral("no"),
                           clean(r.Message)}
                   .join(QLatin1Char('\t')) +
               QLatin1Char('\n');
    return out;
}

QString RunsAsCsv(const QList<TRunRecord>& runs) {
    const auto field = [](const QString& text) {
        static const QRegularExpression special(QStringLiteral("[\",\r\n]"));
        if (!text.contains(special))
            return text;
        return QLatin1Char('"') + QString(text).replace(QLatin1String("\""), QLatin1String("\"\"")) +
               QLatin1Char('"');
    };
    const auto line = [&](const QStringList& fields) {
        QStringList quoted;
        for (const QString& f : fields)
            quoted << field(f);
        return quoted.join(QLatin1Char(',')) + QLatin1String("\r\n");
    };
    QString out = line({QStringLiteral("项目"), QStringLiteral("首页"), QStringLiteral("末页"),
                        QStringLiteral("页数"), QStringLiteral("打印机"), QStringLiteral("工作站"),
                        QStringLiteral("用户"), QStringLiteral("开始时间"),
                        QStringLiteral("结束时间"), QStringLiteral("状态"),
                        QStringLiteral("任务号"), QStringLiteral("信息")});
    const QString format = QStringLiteral("yyyy-MM-dd hh:mm:ss");
    for (const TRunRecord& r : runs)
        out += line({r.ProjectName, QString::number(r.FirstPage), QString::number(r.LastPage),
                     QString::number(r.LastPage - r.FirstPage + 1), r.Printer, r.Station, r.User,
                     r.Started.toString(format), r.Ended.toString(format), RunStateText(r),
                     r.JobId > 0 ? QString::number(r.JobId) : QString(), r.Message});
    return out;
}

QString PageFailedText(int pageNum, const QString& why) {
    return QStringLiteral("第 %1 页无法打印：%2").arg(pageNum).arg(why);
}

namespace {

// The states that say all, as the ledger window names them.
struct TStateName {
    const char* State;
    const char* Text;
};
constexpr TStateName kStateNames[] = {
    {RunState::HandingOver, "正在交给打印机"},
    {RunState::Refused, "被拒绝"},
    {RunState::Returned, "已退回"},
    {RunState::Cancelled, "已取消"},
    {RunState::Aborted, "已中止"},
    {RunState::Lost, "已丢失"},
    {RunState::Gap, "已跳过"},
};

} // namespace

QString RunStateText(const TRunRecord& run) {
    for (const TStateName& name : kStateNames)
        if (run.State == QLatin1String(name.State))
            return QString::fromUtf8(name.Text);
    // The job was taken: how the run itself ended.
    if (run.Reprint)
        return QStringLiteral("重打");
    if (run.LastPage - run.FirstPage + 1 < run.PagesAsked)
        return run.Message.startsWith(PageFailedText(run.LastPage + 1, QString()))
                   ? QStringLiteral("页面失败")
                   : QStringLiteral("已停止");
    return run.State == QLatin1String(RunState::Completed) ? QStringLiteral("已打印")
                                                           : QStringLiteral("已交给打印机");
}

TJobSighting FindRunJob(const TRunRecord& run) {
    if (run.Printer.startsWith(QLatin1Char('/'))) {
        TJobSighting seen;
        const QString part = TPrinter::PartFile(run.Printer, run.Oid);
        if (QFile::exists(part)) {
            seen.What = TJobSighting::Absent;
            QFile::remove(part);
        } else if (QFile::exists(run.Printer)) {
            seen.What = TJobSighting::Found;
            seen.State = QLatin1String(RunState::Completed);
        } else {
            seen.What = TJobSighting::Absent;
        }
        return seen;
    }
    return LookOnServer(run.Oid);
}

QString SkipText(const TRunRecord& run, const QString& state) {
    QString what;
    if (state == QLatin1String(RunState::Cancelled))
        what = QStringLiteral("已被取消");
    else if (state == QLatin1String(RunState::Aborted))
        what = QStringLiteral("已被打印机中止");
    else if (state == QLatin1String(RunState::Lost))
        what = QStringLiteral("已丢失");
    else
        what = QStringLiteral("没有打印，这些页码已跳过");
    return QStringLiteral("第 %1 页到第 %2 页的打印任务%3，请重打这些页")
        .arg(run.FirstPage)
        .arg(run.LastPage)
        .arg(what);
}

namespace {

// Records how an accepted run's job ended, once it has: finished, or gone from
// a server that answers. Nothing while it is on its way or the server is away.
std::optional<TJobOutcome> SettleJob(const TRunRecord& run, const TJobSighting& seen) {
    if (seen.What == TJobSighting::Unknown ||
        (seen.What == TJobSighting::Found && seen.State == QLatin1String(RunState::Accepted)))
        return std::nullopt;
    TJobOutcome outcome;
    outcome.State =
        seen.What == TJobSighting::Absent ? QString::fromLatin1(RunState::Lost) : seen.State;
    if (IsSkip(outcome.State))
        outcome.Skipped = SkipText(run, outcome.State);
    try {
        RecordOutcome(run.Oid, outcome.State, outcome.Skipped);
    } catch (const Exception& e) {
        outcome.NotRecorded = e.Message();
    }
    return outcome;
}

void settleUnfollowed(QStringList& told) {
    const QList<TRunRecord> open = SelectRuns(
        QStringLiteral(" where r.state = 'accepted' and r.station = :station and r.job_id > 0 "
                       "and r.started_at >= :since"),
        {{QStringLiteral("station"), ThisStation()},
         {QStringLiteral("since"), QDateTime::currentDateTime().addDays(-1).toString(kTimeFormat)}});
    for (const TRunRecord& run : open) {
        if (ProcessAlive(run.ProcessId) || run.Printer.startsWith(QLatin1Char('/')))
            continue;
        const TJobSighting seen = LookOnServer(run.Oid);
        // A server that forgot every job up to ours cannot say whether it printed.
        if (seen.What == TJobSighting::Absent && (seen.OldestJob == 0 || seen.OldestJob > run.JobId))
            continue;
        if (const std::optional<TJobOutcome> outcome = SettleJob(run, seen))
            told << outcome->NotRecorded << outcome->Skipped;
    }
}

} // namespace

QStringList RecoverRuns() {
    QStringList told;
    const QList<TRunRecord> pending = SelectRuns(
        QStringLiteral(" where r.state = 'handing over' and r.station = :station"),
        {{QStringLiteral("station"), ThisStation()}});
    for (const TRunRecord& run : pending) {
        if (run.ProcessId == int(::getpid()) || ProcessAlive(run.ProcessId))
            continue;
        std::unique_ptr<TProjectRunLock> lock;
        try {
            lock = std::make_unique<TProjectRunLock>(run.ProjectOid);
        } catch (const Exception&) {
            continue; // held by a run in progress, or gone: settled another time
        }
        // Under the lock, the run is still unsettled only if nobody settled it meanwhile.
        const QList<TRunRecord> now = SelectRuns(QStringLiteral(" where r.oid = :oid"),
                                                 {{QStringLiteral("oid"), run.Oid}});
        if (now.isEmpty() || now.first().State != QLatin1String(RunState::HandingOver))
            continue;
        const TJobSighting seen = FindRunJob(run);
        if (seen.What == TJobSighting::Unknown) {
            told << QStringLiteral("第 %1 页到第 %2 页的打印任务还无法核对（%3），下次启动时再核对")
                        .arg(run.FirstPage)
                        .arg(run.LastPage)
                        .arg(seen.Why);
            continue;
        }
        QString state = seen.State;
        QString message;
        if (seen.What == TJobSighting::Absent) {
            // A reprint wholly below the start it found took no new numbers.
            const bool tookNone = run.StartBefore > run.LastPage;
            if (tookNone || lock->StoredStart() == run.LastPage + 1) {
                if (!tookNone)
                    lock->Execute("update P_PROJECT set serial_start = ? where oid = ?",
                                  {{"serial_start", run.StartBefore}, {"oid", run.ProjectOid}});
                state = QLatin1String(RunState::Returned);
                message = QStringLiteral("程序在交出打印任务前中断，页码已退回");
                told << QStringLiteral("第 %1 页到第 %2 页的打印任务在交给打印机前中断，"
                                       "这些页码已退回，下次从第 %3 页起打印")
                            .arg(run.FirstPage)
                            .arg(run.LastPage)
                            .arg(tookNone ? lock->StoredStart() : run.StartBefore);
            } else {
                state = QLatin1String(RunState::Gap);
                message = QStringLiteral("程序在交出打印任务前中断，之后的页码已经打印，"
                                         "这些页码已跳过");
                told << SkipText(run, state);
            }
        } else if (IsSkip(state)) {
            told << SkipText(run, state);
        }
        lock->Execute("update P_RUN set state = ?, job_id = ?, message = ?, ended_at = ? "
                      "where oid = ?",
                      {{"state", state},
                       {"job_id", seen.JobId},
                       {"message", message},
                       {"ended_at", Now()},
                       {"oid", run.Oid}});
        lock->Commit();
    }
    settleUnfollowed(told);
    told.removeAll(QString());
    return told;
}

std::optional<TJobOutcome> TJobFollower::Poll() {
    return SettleJob(FRun, LookOnServer(FRun.Oid));
}
