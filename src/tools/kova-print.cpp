// A print run without a window: the same composition, renderers and numbering
// as the Print button, for scripted numbering runs.
#include "model/Font.h"
#include "model/PrintModelImpl.h"
#include "model/bom/SettingBom.h"
#include "model/manager/PrintRun.h"
#include "model/manager/Printer.h"
#include "model/manager/RunLedger.h"
#include "persistence/DatabaseLocation.h"
#include "persistence/FbEnvironment.h"
#include "persistence/FbLayer.h"
#include "persistence/PersistenceManager.h"
#include "persistence/SchemaVersion.h"
#include "tools/ToolOptions.h"

#include <QCommandLineParser>
#include <QFileInfo>
#include <QGuiApplication>
#include <QTextStream>
#include <QThread>
#include <csignal>

namespace {

volatile std::sig_atomic_t gStop = 0;

void onSignal(int) {
    gStop = 1;
}

QTextStream& err() {
    static QTextStream stream(stderr);
    return stream;
}

int Fail(const QString& message, int code = 1) {
    err() << "kova-print: " << message << Qt::endl;
    return code;
}

// The project by its key, or by a name no other project has; null when neither
// is asked for. Throws when nothing or more than one project answers.
TProject* FindProject(const TSettingMgr& settings, const QCommandLineParser& args) {
    const QString id = args.value(QStringLiteral("project-id"));
    const QString name = args.value(QStringLiteral("project"));
    if (id.isEmpty() && !args.isSet(QStringLiteral("project")))
        return nullptr;
    QList<TProject*> found;
    for (const auto& [projectName, project] : settings.GetProjectList())
        if (id.isEmpty() ? projectName == name : project->OID() == id)
            found << project;
    if (found.isEmpty())
        throw Exception(id.isEmpty() ? QStringLiteral("没有名为 \"%1\" 的项目").arg(name)
                                     : QStringLiteral("没有键为 %1 的项目").arg(id));
    if (found.size() > 1) {
        QStringList keys;
        for (const TProject* project : found)
            keys << project->OID();
        throw Exception(QStringLiteral("有 %1 个项目名为 \"%2\"，请用 --project-id 指定其中一个：%3")
                            .arg(found.size())
                            .arg(name, keys.join(QStringLiteral("、"))));
    }
    return found.first();
}

// Waits for the job's outcome and records it; 4 when its pages did not print.
int Follow(const TRunRecord& run) {
    TJobFollower follower(run, run.JobId);
    for (;;) {
        if (const std::optional<TJobOutcome> outcome = follower.Poll()) {
            if (!outcome->NotRecorded.isEmpty())
                err() << "kova-print: " << outcome->NotRecorded << Qt::endl;
            if (outcome->Skipped.isEmpty()) {
                err() << "kova-print: " << QStringLiteral("打印任务 %1 已打印完成").arg(run.JobId)
                      << Qt::endl;
                return 0;
            }
            return Fail(outcome->Skipped, 4);
        }
        if (gStop)
            return Fail(QStringLiteral("没有等到打印任务 %1 的结果").arg(run.JobId));
        QThread::msleep(250);
    }
}

} // namespace

int main(int argc, char* argv[]) {
    const QString programDir = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalPath();
    SetupFirebirdEnvironment(programDir);
    // Before the first connection: a signal stops the run, it does not cut the
    // database from under it.
    InstallTerminationHandling(onSignal);
    RegisterBusinessObjects();
    RegisterFirebirdLayer();
    // What runs killed earlier left in the temp folder.
    TPrinter::RemoveLeftoverJobFiles();
    // Fonts need a platform; a batch tool must also run without a display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    InstallFontSubstitutions();

    QCommandLineParser args;
    args.setApplicationDescription(QStringLiteral(
        "kova-print --project NAME | --project-id OID --pages N [--from S]\n"
        "           [--printer QUEUE | --pdf FILE [--dpi N]]\n"
        "           [--database LOCATION] [--no-save] [--title T] [--wait SECONDS] [--reprint]\n"
        "           [--force] [--data FILE]\n"
        "kova-print --project NAME --check [--from S] [--printer QUEUE | --pdf FILE] [--data "
        "FILE]\n"
        "kova-print --history [--project NAME] [--since YYYY-MM-DD]\n"
        "Prints pages S .. S+N-1 of a project as one job (S: the stored start unless given),\n"
        "stores the next start and writes it on standard output. SIGINT or SIGTERM stops\n"
        "after the page in hand; what is done is printed and the next start stored.\n"
        "Before printing, the barcodes and QR codes of page S are rendered at the printer's\n"
        "resolution and read back; a page whose symbols fail is not printed (exit status 3)\n"
        "unless --force. --check runs that check alone: exit status 0 when every symbol\n"
        "passes, 3 when any fails. --follow waits for the queue's outcome of the job: exit\n"
        "status 4 when it was cancelled, aborted or lost. --history prints the run ledger as\n"
        "tab-separated lines. --data takes the pages' rows from a CSV/TSV file for this run\n"
        "instead of the project's stored data; a run past its last row is refused."));
    args.addHelpOption();
    const auto opt = [&](const char* name, const char* help, bool value = true) {
        AddToolOption(args, name, help, value);
    };
    opt("project", "project name");
    opt("project-id", "the project's key (its OID), where several projects share a name");
    opt("pages", "number of pages");
    opt("from", "page number of the first page (default: the stored start)");
    opt("printer", "CUPS queue to print on instead of the project's printer");
    opt("pdf", "write the job to this PDF file instead of a queue");
    opt("dpi", "with --pdf: the printer dots per inch the job is laid out at (default 300)");
    // The defaults as this copy finds them: an installed one's or its own folder's.
    args.addOption(QCommandLineOption(
        QStringLiteral("database"),
        QStringLiteral("database file, or host[/port]:/path on a Firebird server (default: "
                       "KOVA_DATABASE, else Location in %1, else %2)")
            .arg(SettingsFilePath(programDir), DefaultDatabasePath(programDir)),
        QStringLiteral("v")));
    opt("no-save", "leave the stored start as it is", false);
    opt("title", "document name of the job");
    opt("wait", "seconds to wait for another run of the project to end (default 600)");
    opt("reprint", "print numbers again that the database says were printed", false);
    opt("check", "check that the symbols of the first page scan; print nothing", false);
    opt("force", "print even when a symbol of the first page fails the check", false);
    opt("follow", "wait until the queue has printed, cancelled or lost the job", false);
    opt("history", "print the run ledger (with --project: that project's runs)", false);
    opt("since", "with --history: runs from this day on (YYYY-MM-DD)");
    opt("data", "CSV or TSV file whose rows this run prints instead of the project's data");
    args.process(app);

    const bool checkOnly = args.isSet(QStringLiteral("check"));
    const bool history = args.isSet(QStringLiteral("history"));
    const QDate since = QDate::fromString(args.value(QStringLiteral("since")), Qt::ISODate);
    if (args.isSet(QStringLiteral("since")) && !since.isValid())
        return Fail(QStringLiteral("--since 的日期格式是 YYYY-MM-DD"), 2);
    const bool projectGiven =
        args.isSet(QStringLiteral("project")) || args.isSet(QStringLiteral("project-id"));
    if (!history && (!projectGiven ||
                     (!checkOnly && !args.isSet(QStringLiteral("pages")))))
        return Fail(QStringLiteral("必须给出 --project（或 --project-id）和 --pages（见 --help）"), 2);
    if (args.isSet(QStringLiteral("printer")) && args.isSet(QStringLiteral("pdf")))
        return Fail(QStringLiteral("--printer 和 --pdf 只能用一个"), 2);
    int pages = 0, waitSeconds = 600, dpi = 0;
    if (!ToInt(args, QStringLiteral("pages"), pages) ||
        !ToInt(args, QStringLiteral("wait"), waitSeconds) || waitSeconds < 0)
        return Fail(QStringLiteral("--pages 和 --wait 必须是整数"), 2);
    if (args.isSet(QStringLiteral("dpi")) &&
        (!args.isSet(QStringLiteral("pdf")) || !ToInt(args, QStringLiteral("dpi"), dpi) ||
         dpi < 50 || dpi > 4800))
        return Fail(QStringLiteral("--dpi 只用于 --pdf，是 50 到 4800 之间的整数"), 2);

    int code = 0;
    try {
        ConnectToDatabase(
            ResolveDatabaseLocation(programDir, args.value(QStringLiteral("database"))));
        UpdateSchema();
        // Runs a process left half handed over are settled before anything else.
        for (const QString& line : RecoverRuns())
            err() << "kova-print: " << line << Qt::endl;
        TPrintModel model;
        model.Load();
        TProject* project = FindProject(*model.SettingMgr(), args);
        if (history) {
            QTextStream(stdout) << RunsAsTsv(ReadRuns(project ? project->OID() : QString(), since));
            PersistenceManager().Disconnect();
            return 0;
        }

        TPrintRunOptions options;
        options.Count = pages;
        options.From = project->ProjectSerialStart();
        if (!ToInt(args, QStringLiteral("from"), options.From))
            return Fail(QStringLiteral("--from 必须是整数"), 2);
        options.Printer = args.value(QStringLiteral("printer"));
        options.PdfFile = args.isSet(QStringLiteral("pdf"))
                              ? QFileInfo(args.value(QStringLiteral("pdf"))).absoluteFilePath()
                              : QString();
        options.Dpi = dpi;
        options.Save = !args.isSet(QStringLiteral("no-save"));
        options.Title = args.value(QStringLiteral("title"));
        options.LockWaitMs = waitSeconds * 1000;
        if (args.isSet(QStringLiteral("data")))
            options.DataFile = QFileInfo(args.value(QStringLiteral("data"))).absoluteFilePath();
        const bool fromGiven = args.isSet(QStringLiteral("from"));

        if (checkOnly) {
            const TScanReport report =
                TPrintRun(*project, *model.SettingMgr(), *model.FileMgr()).Check(options);
            QTextStream(stdout) << report.Text() << Qt::endl;
            PersistenceManager().Disconnect();
            return report.Passed() ? 0 : 3;
        }

        TPrintRunHooks hooks;
        hooks.StopRequested = [] { return gStop != 0; };
        hooks.PageStarted = [](int page) { err() << "正在打印(" << page << ")..." << Qt::endl; };
        hooks.Waiting = [] {
            static bool said = false;
            if (!said)
                err() << "kova-print: 等待同一项目的另一个打印任务结束..." << Qt::endl;
            said = true;
        };
        const bool reprint = args.isSet(QStringLiteral("reprint"));
        hooks.ConfirmReprint = [&](int from, int stored) {
            if (!reprint)
                err() << "kova-print: "
                      << QStringLiteral("第 %1 至 %2 页已经打印过（下次起始页码为 %3）；"
                                        "要重新打印请加 --reprint")
                             .arg(from)
                             .arg(stored - 1)
                             .arg(stored)
                      << Qt::endl;
            return reprint;
        };
        const bool force = args.isSet(QStringLiteral("force"));
        hooks.ConfirmUnscannable = [&](const TScanReport& report) {
            err() << report.Text() << Qt::endl;
            if (!force)
                err() << "kova-print: "
                      << QStringLiteral("条码无法识别，什么也没有打印；要仍然打印请加 --force")
                      << Qt::endl;
            return force;
        };
        // Without --from the run starts where the database says, read under the lock.
        options.FromStored = !fromGiven;
        const TPrintRunResult result =
            TPrintRun(*project, *model.SettingMgr(), *model.FileMgr()).Run(options, hooks);
        if (result.Declined || result.Refused) {
            PersistenceManager().Disconnect();
            return 3;
        }
        if (result.JobId > 0)
            err() << "kova-print: "
                  << QStringLiteral("打印任务 %1 已交给 %2").arg(result.JobId).arg(Printer().PrinterName())
                  << Qt::endl;
        // Nothing about pages when nothing ran.
        if (result.Printed > 0)
            err() << "kova-print: "
                  << QStringLiteral("已打印 %1 页%2%3")
                         .arg(result.Printed)
                         .arg(result.Stopped ? QStringLiteral("（已停止）") : QString())
                         .arg(result.Saved ? QStringLiteral("，下次起始页码已保存") : QString())
                  << Qt::endl;
        QTextStream(stdout) << result.NextStart << Qt::endl;
        if (!result.Warning.isEmpty())
            err() << "kova-print: " << result.Warning << Qt::endl;
        if (!result.Error.isEmpty())
            code = Fail(result.Error);
        else if (result.Run && result.JobId > 0 && args.isSet(QStringLiteral("follow")))
            code = Follow(*result.Run);
    } catch (const Exception& e) {
        code = Fail(e.Message());
    }
    PersistenceManager().Disconnect();
    return code;
}
