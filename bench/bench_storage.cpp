// The stored model measured against its peers in the same run: start-up with many
// projects against an empty database, the model load against plain QtSql reading
// the same rows, and saving items against a prepared QtSql insert loop.
#include "TestSupport.h"

#include "PrintMain.h"
#include "model/CliUtils.h"
#include "model/Font.h"
#include "model/manager/SettingMgrImpl.h"
#include "persistence/FbEnvironment.h"
#include "persistence/FbLayer.h"
#include "view/KovaApplication.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <ibase.h>
#include <vector>

namespace {

// Only failures reach the terminal; the table stays readable.
void quiet(QtMsgType type, const QMessageLogContext&, const QString& text) {
    if (type == QtCriticalMsg || type == QtFatalMsg)
        std::fprintf(stderr, "%s\n", qPrintable(text));
}

constexpr int Rounds = 7;
constexpr int Projects = 1000;
constexpr int ItemsPerProject = 10;
constexpr int SavedItems = 1000;

struct Stats {
    double median = 0, min = 0;
};

Stats statsOf(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return {v[v.size() / 2], v.front()};
}

double msSince(const QElapsedTimer& t) {
    return double(t.nsecsElapsed()) / 1e6;
}

// Peak resident memory of this process in KiB.
long peakKiB() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    return -1;
}

// ---- data

TPrintItem* newItem(int n) {
    auto* item = new TPrintItem;
    item->SetItemName(QStringLiteral("项目 %1").arg(n, 3, 10, QLatin1Char('0')));
    item->SetItemValue(QStringLiteral("值 %1 ABC-123").arg(n));
    item->SetItemType(n % 7);
    item->SetItemX(10.5 + n % 50);
    item->SetItemY(20.25 + n % 30);
    item->SetDirty(true);
    return item;
}

// Fills the connected database with projects of items through the model.
void fill(int projects, int items) {
    TProjectList list;
    for (int p = 0; p < projects; ++p) {
        auto* project = new TProject;
        project->SetProjectName(QStringLiteral("项目组 %1").arg(p, 4, 10, QLatin1Char('0')));
        project->SetDirty(true);
        list.Add(project);
        for (int i = 0; i < items; ++i)
            project->ItemList()->Add(newItem(i));
    }
    list.Save();
}

// ---- the floor: the same rows read with nothing but libfbclient

[[noreturn]] void fbFatal(const ISC_STATUS* status, const char* what) {
    char text[512];
    const ISC_STATUS* cursor = status;
    QByteArray all;
    while (fb_interpret(text, sizeof text, &cursor))
        all += QByteArray(" ") + text;
    qFatal("%s failed:%s", what, all.constData());
}

// Settings, projects and every project's items in the model's order, one
// prepared statement per table and each text decoded once per distinct value in
// its column: what any program keeping these rows in memory pays the engine.
// Returns the number of rows read.
long bareRead(isc_db_handle db) {
    ISC_STATUS_ARRAY status;
    isc_tr_handle tr = 0;
    if (isc_start_transaction(status, &tr, 1, &db, 0, nullptr))
        fbFatal(status, "start transaction");
    long rows = 0;
    std::vector<std::vector<QString>> kept;
    std::vector<QByteArray> projectOids;
    // `owners`: run once for each, bound to the one parameter. `oids`: gets
    // each row's first column.
    auto read = [&](const char* sql, const std::vector<QByteArray>* owners,
                    std::vector<QByteArray>* oids) {
        isc_stmt_handle statement = 0;
        if (isc_dsql_allocate_statement(status, &db, &statement))
            fbFatal(status, "allocate");
        std::vector<char> outStorage(XSQLDA_LENGTH(64));
        auto* out = reinterpret_cast<XSQLDA*>(outStorage.data());
        out->version = SQLDA_VERSION1;
        out->sqln = 64;
        if (isc_dsql_prepare(status, &tr, &statement, 0, sql, SQL_DIALECT_V6, out))
            fbFatal(status, "prepare");
        std::vector<std::vector<char>> buffers(size_t(out->sqld));
        std::vector<short> nulls(size_t(out->sqld));
        for (int i = 0; i < out->sqld; ++i) {
            buffers[size_t(i)].resize(size_t(out->sqlvar[i].sqllen) + 2);
            out->sqlvar[i].sqldata = buffers[size_t(i)].data();
            out->sqlvar[i].sqlind = &nulls[size_t(i)];
        }
        std::vector<QByteArray> lastBytes(size_t(out->sqld));
        std::vector<QString> lastText(size_t(out->sqld));
        std::vector<char> inStorage(XSQLDA_LENGTH(1));
        auto* in = reinterpret_cast<XSQLDA*>(inStorage.data());
        in->version = SQLDA_VERSION1;
        in->sqln = in->sqld = 1;
        const size_t runs = owners ? owners->size() : 1;
        for (size_t run = 0; run < runs; ++run) {
            if (owners) {
                XSQLVAR& v = in->sqlvar[0];
                v.sqltype = SQL_TEXT;
                v.sqllen = short(owners->at(run).size());
                v.sqldata = const_cast<char*>(owners->at(run).constData());
                v.sqlind = nullptr;
                v.sqlsubtype = 4; // UTF8
                v.sqlscale = 0;
            }
            if (isc_dsql_execute(status, &tr, &statement, SQL_DIALECT_V6, owners ? in : nullptr))
                fbFatal(status, "execute");
            for (;;) {
                const ISC_STATUS fetched = isc_dsql_fetch(status, &statement, SQL_DIALECT_V6, out);
                if (fetched == 100)
                    break;
                if (fetched)
                    fbFatal(status, "fetch");
                ++rows;
                std::vector<QString> row;
                row.reserve(size_t(out->sqld));
                for (int i = 0; i < out->sqld; ++i) {
                    const XSQLVAR& v = out->sqlvar[i];
                    if (nulls[size_t(i)] < 0 || (v.sqltype & ~1) != SQL_VARYING)
                        continue;
                    const auto length = *reinterpret_cast<const short*>(v.sqldata);
                    const char* bytes = v.sqldata + 2;
                    if (oids && i == 0)
                        oids->emplace_back(bytes, length);
                    QByteArray& last = lastBytes[size_t(i)];
                    if (last.size() != length || std::memcmp(last.constData(), bytes, length)) {
                        last = QByteArray(bytes, length);
                        lastText[size_t(i)] = QString::fromUtf8(bytes, length);
                    }
                    row.push_back(lastText[size_t(i)]);
                }
                kept.push_back(std::move(row));
            }
            isc_dsql_free_statement(status, &statement, DSQL_close);
        }
        isc_dsql_free_statement(status, &statement, DSQL_drop);
    };
    read("select * from P_SETTING", nullptr, nullptr);
    read("select * from P_PROJECT", nullptr, &projectOids);
    read("select * from P_ITEM where project_id = ?", &projectOids, nullptr);
    if (isc_commit_transaction(status, &tr))
        fbFatal(status, "commit");
    return rows;
}

// A fresh process attaching to a program folder's database: prints the read's
// time, the attachment not counted (an empty database's start-up pays it too).
int bareChild(const QString& programDir) {
    SetupFirebirdEnvironment(programDir);
    const QByteArray path = QFile::encodeName(programDir + QStringLiteral("/data/KOVAUTF8.FDB"));
    char dpb[64];
    short length = 0;
    dpb[length++] = isc_dpb_version1;
    for (const auto& [tag, value] : {std::pair{char(isc_dpb_user_name), "SYSDBA"},
                                     std::pair{char(isc_dpb_lc_ctype), "UTF8"}}) {
        dpb[length++] = tag;
        dpb[length++] = char(std::strlen(value));
        std::memcpy(dpb + length, value, std::strlen(value));
        length = short(length + std::strlen(value));
    }
    ISC_STATUS_ARRAY status;
    isc_db_handle db = 0;
    if (isc_attach_database(status, 0, path.constData(), &db, length, dpb))
        fbFatal(status, "attach");
    QElapsedTimer clock;
    clock.start();
    const long rows = bareRead(db);
    const double ms = msSince(clock);
    isc_detach_database(status, &db);
    std::printf("%.3f %ld\n", ms, rows);
    return 0;
}

// Runs this benchmark again as a child in the given mode; its output's two fields.
QList<QByteArray> runChild(const char* mode, const QString& programDir) {
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(), {QLatin1String(mode), programDir});
    if (!child.waitForFinished(120000) || child.exitCode() != 0)
        qFatal("the %s child failed", mode);
    return child.readAllStandardOutput().trimmed().split(' ');
}

double runBare(const QString& programDir) {
    const QList<QByteArray> parts = runChild("--bare", programDir);
    if (parts.value(1).toLong() != 9 + Projects + Projects * ItemsPerProject)
        qFatal("the bare read child read %s rows", parts.value(1).constData());
    return parts.value(0).toDouble();
}

// ---- start-up (in a child process, so that its peak memory is its own)

int startupChild(const QString& programDir) {
    QElapsedTimer clock;
    clock.start();
    SetupFirebirdEnvironment(programDir);
    RegisterBusinessObjects();
    RegisterFirebirdLayer();
    int argc = 1;
    char name[] = "bench_storage";
    char* argv[] = {name, nullptr};
    TKovaApplication app(argc, argv);
    InstallFontSubstitutions();
    double shownMs = -1;
    long peak = -1;
    // The first paint of the main window ends the measurement.
    struct PaintWatch : QObject {
        std::function<void()> onPaint;
        bool eventFilter(QObject* o, QEvent* e) override {
            if (e->type() == QEvent::Paint && PrintMainFrm && o == PrintMainFrm && onPaint)
                std::exchange(onPaint, nullptr)();
            return false;
        }
    } watch;
    watch.onPaint = [&] {
        shownMs = msSince(clock);
        peak = peakKiB();
        QTimer::singleShot(0, PrintMainFrm, &QWidget::close);
    };
    app.installEventFilter(&watch);
    RunKova(programDir);
    std::printf("%.3f %ld\n", shownMs, peak);
    return shownMs < 0 ? 1 : 0;
}

// A program folder holding firebird/firebird.conf and data/KOVAUTF8.FDB.
QString programFolder(const QString& base, const QString& name) {
    const QString dir = base + QLatin1Char('/') + name;
    QDir().mkpath(dir + QStringLiteral("/data"));
    QDir().mkpath(dir + QStringLiteral("/firebird"));
    QFile::copy(QStringLiteral(KOVA_SOURCE_DIR "/db/firebird.conf"),
                dir + QStringLiteral("/firebird/firebird.conf"));
    TestDatabase::copyTemplate(dir + QStringLiteral("/data/KOVAUTF8.FDB"));
    return dir;
}

struct StartupRound {
    double ms;
    long peakKiB;
};

StartupRound runStartup(const QString& programDir) {
    const QList<QByteArray> parts = runChild("--startup", programDir);
    return {parts.value(0).toDouble(), parts.value(1).toLong()};
}

// ---- rows

struct Row {
    QString what, peer;
    Stats ours, theirs;
    QString target; // empty: no target
    double limit = 0;
};

void printTable(const std::vector<Row>& rows) {
    std::printf("\nStored model against its peers in the same run: median and min of %d rounds,\n"
                "ms unless said otherwise; the saving database has forced writes off\n\n",
                Rounds);
    std::printf("| %-44s | %8s | %8s | %-36s | %8s | %8s | %6s | %-10s |\n", "KOVA", "median",
                "min", "peer", "median", "min", "ratio", "target");
    std::printf("|%s|%s|%s|%s|%s|%s|%s|%s|\n", QByteArray(46, '-').constData(),
                QByteArray(10, '-').constData(), QByteArray(10, '-').constData(),
                QByteArray(38, '-').constData(), QByteArray(10, '-').constData(),
                QByteArray(10, '-').constData(), QByteArray(8, '-').constData(),
                QByteArray(12, '-').constData());
    for (const Row& r : rows) {
        const double ratio = r.ours.median / r.theirs.median;
        QString target = r.target;
        if (!target.isEmpty() && ratio > r.limit)
            target += QStringLiteral(" MISS");
        std::printf("| %-44s | %8.1f | %8.1f | %-36s | %8.1f | %8.1f | %5.2fx | %-10s |\n",
                    qPrintable(r.what), r.ours.median, r.ours.min, qPrintable(r.peer),
                    r.theirs.median, r.theirs.min, ratio, qPrintable(target));
    }
}

// Plain QtSql reading the rows the model reads, in the same pattern: settings,
// projects, and each project's items through one prepared statement.
void plainLoad(QSqlDatabase db) {
    db.transaction();
    std::vector<QList<QVariant>> rows;
    auto readAll = [&](QSqlQuery& q) {
        const int columns = q.record().count();
        while (q.next()) {
            QList<QVariant> row;
            row.reserve(columns);
            for (int c = 0; c < columns; ++c)
                row.append(q.value(c));
            rows.push_back(std::move(row));
        }
    };
    QSqlQuery settings(db);
    settings.setForwardOnly(true);
    settings.exec(QStringLiteral("select * from P_SETTING"));
    readAll(settings);
    QSqlQuery projects(db);
    projects.setForwardOnly(true);
    projects.exec(QStringLiteral("select * from P_PROJECT"));
    QStringList oids;
    const int oidColumn = projects.record().indexOf(QStringLiteral("oid"));
    const size_t first = rows.size();
    readAll(projects);
    for (size_t i = first; i < rows.size(); ++i)
        oids << rows[i].at(oidColumn).toString();
    QSqlQuery items(db);
    items.setForwardOnly(true);
    items.prepare(QStringLiteral("select * from P_ITEM where project_id = ?"));
    for (const QString& oid : oids) {
        items.bindValue(0, oid);
        items.exec();
        readAll(items);
    }
    items.finish();
    db.commit();
    if (rows.size() != size_t(9 + Projects + Projects * ItemsPerProject))
        qFatal("plain QtSql read %zu rows", rows.size());
}

// The values the model would bind for each item, taken before the clock starts.
std::vector<QList<QVariant>>
insertValues(const TProject& project, const std::vector<TPrintItem*>& items, QStringList& columns) {
    const auto* mappings = PersistenceManager().MappingsOf(TPrintItem::StaticClass());
    columns.clear();
    for (const TMapping& m : *mappings)
        columns << m.Column;
    std::vector<QList<QVariant>> values;
    for (TPrintItem* item : items) {
        QList<QVariant> row;
        for (const TMapping& m : *mappings)
            row << ((m.Keys & pktFK)   ? QVariant(project.OID())
                    : (m.Keys & pktDB) ? QVariant(item->OID())
                                       : item->GetPropValue(m.Path));
        values.push_back(row);
    }
    return values;
}

enum class TInsertLoop {
    OneTransaction,     // prepared once, all rows in one explicit transaction
    DriverTransactions, // prepared once, the driver runs each row in a transaction of its own
    ExplicitEach,       // an explicit transaction per row, prepared in each
};

// QIBASE ties a statement to the explicit transaction it was prepared in, so a loop
// of explicit transactions has to prepare in each; a statement prepared outside
// any can run many times, each in a transaction the driver starts and commits.
void plainInsert(QSqlDatabase db, const QStringList& columns,
                 const std::vector<QList<QVariant>>& values, TInsertLoop loop) {
    const QString sql =
        QStringLiteral("insert into P_ITEM (%1) values (%2)")
            .arg(columns.join(QStringLiteral(", ")),
                 QStringList(columns.size(), QStringLiteral("?")).join(QStringLiteral(", ")));
    if (loop == TInsertLoop::OneTransaction)
        db.transaction();
    QSqlQuery insert(db);
    if (loop != TInsertLoop::ExplicitEach)
        insert.prepare(sql);
    for (const auto& row : values) {
        if (loop == TInsertLoop::ExplicitEach) {
            db.transaction();
            insert.prepare(sql);
        }
        for (int i = 0; i < row.size(); ++i)
            insert.bindValue(i, row.at(i));
        if (!insert.exec())
            qFatal("plain insert failed: %s", qPrintable(insert.lastError().text()));
        if (loop == TInsertLoop::ExplicitEach) {
            insert.finish();
            db.commit();
        }
    }
    insert.finish();
    if (loop == TInsertLoop::OneTransaction)
        db.commit();
}

} // namespace

int main(int argc, char** argv) {
    qInstallMessageHandler(quiet);
    if (argc == 3 && QByteArray(argv[1]) == "--startup")
        return startupChild(QString::fromLocal8Bit(argv[2]));
    if (argc == 3 && QByteArray(argv[1]) == "--bare")
        return bareChild(QString::fromLocal8Bit(argv[2]));

    qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir work;
    // KOVA_BENCH_KEEP leaves the program folders behind, to profile a start-up
    // with "bench_storage --startup FOLDER".
    if (!qEnvironmentVariableIsEmpty("KOVA_BENCH_KEEP")) {
        work.setAutoRemove(false);
        std::fprintf(stderr, "program folders kept in %s\n", qPrintable(work.path()));
    }
    // The embedded engine's configuration and lock folder, as the tests set them.
    qputenv("FIREBIRD", KOVA_SOURCE_DIR "/db");
    qputenv("FIREBIRD_LOCK", QFile::encodeName(work.filePath(QStringLiteral("lock"))));
    TKovaApplication app(argc, argv);
    std::vector<Row> rows;

    // Data: an empty program folder and one with 1000 x 10.
    const QString empty = programFolder(work.path(), QStringLiteral("empty"));
    const QString full = programFolder(work.path(), QStringLiteral("full"));
    EnsurePersistence();
    PersistenceManager().ConnectDatabase(full + QStringLiteral("/data/KOVAUTF8.FDB"),
                                         QStringLiteral("SYSDBA"), QStringLiteral("pinecrest"),
                                         QString(), QStringLiteral("FBAPI"));
    fill(Projects, ItemsPerProject);

    // Model load against plain QtSql, alternating.
    {
        std::vector<double> ours, theirs, bare;
        for (int r = 0; r < Rounds; ++r) {
            QElapsedTimer t;
            t.start();
            {
                TSettingMgr mgr;
                if (mgr.ProjectList()->Count() != Projects)
                    qFatal("the model read %d projects", mgr.ProjectList()->Count());
                ours.push_back(msSince(t));
            }
            TDatabaseLock conn;
            t.restart();
            plainLoad(conn->Database());
            theirs.push_back(msSince(t));
            const QVariant handle = conn->Database().driver()->handle();
            t.restart();
            bareRead(*static_cast<const isc_db_handle*>(handle.constData()));
            bare.push_back(msSince(t));
        }
        const QString what =
            QStringLiteral("model load, %1 x %2").arg(Projects).arg(ItemsPerProject);
        rows.push_back({what, QStringLiteral("plain QtSql, same rows"), statsOf(ours),
                        statsOf(theirs), QStringLiteral("<= 1.5x"), 1.5});
        rows.push_back({what, QStringLiteral("bare libfbclient, same rows"), statsOf(ours),
                        statsOf(bare), QString(), 0});
    }
    PersistenceManager().Disconnect();

    // Start-up to a shown main window, each round a process of its own.
    {
        std::vector<double> ours, theirs, peakOurs, peakTheirs, beyond, bare;
        for (int r = 0; r < Rounds; ++r) {
            const StartupRound f = runStartup(full);
            const StartupRound e = runStartup(empty);
            bare.push_back(runBare(full));
            ours.push_back(f.ms);
            theirs.push_back(e.ms);
            beyond.push_back(f.ms - e.ms);
            peakOurs.push_back(f.peakKiB / 1024.0);
            peakTheirs.push_back(e.peakKiB / 1024.0);
        }
        const QString size = QStringLiteral("%1 x %2").arg(Projects).arg(ItemsPerProject);
        rows.insert(rows.begin(), {{QStringLiteral("start-up to shown window, ") + size,
                                    QStringLiteral("start-up, empty database"), statsOf(ours),
                                    statsOf(theirs), QStringLiteral("<= 2x"), 2.0},
                                   {QStringLiteral("  its peak memory (MiB), ") + size,
                                    QStringLiteral("  peak memory (MiB), empty database"),
                                    statsOf(peakOurs), statsOf(peakTheirs), QString(), 0},
                                   // What the rows add to a start-up, beside what the
                                   // engine alone takes to hand them to a fresh process.
                                   {QStringLiteral("  start-up beyond the empty database"),
                                    QStringLiteral("  bare libfbclient read, new process"),
                                    statsOf(beyond), statsOf(bare), QString(), 0}});
    }

    // Saving new items: one transaction for all, and one each. Forced writes are
    // off so that a commit measures the program and the driver, not the disk.
    const QString saveDb = work.filePath(QStringLiteral("save.fdb"));
    TestDatabase::copyTemplate(saveDb);
    QProcess gfix;
    gfix.start(QStringLiteral("gfix"), {QStringLiteral("-write"), QStringLiteral("async"), saveDb,
                                        QStringLiteral("-user"), QStringLiteral("SYSDBA")});
    if (!gfix.waitForFinished(60000) || gfix.exitCode() != 0)
        qFatal("gfix -write async failed: %s", gfix.readAllStandardError().constData());
    PersistenceManager().ConnectDatabase(saveDb, QStringLiteral("SYSDBA"),
                                         QStringLiteral("pinecrest"), QString(),
                                         QStringLiteral("FBAPI"));
    TProject project;
    project.SetProjectName(QStringLiteral("保存"));
    project.SetDirty(true);
    project.Save();
    for (const bool each : {false, true}) {
        std::vector<double> ours;
        std::vector<double> theirs[2];
        const std::vector<TInsertLoop> peers =
            each ? std::vector{TInsertLoop::DriverTransactions, TInsertLoop::ExplicitEach}
                 : std::vector{TInsertLoop::OneTransaction};
        for (int r = 0; r < Rounds; ++r) {
            std::vector<TPrintItem*> items;
            for (int i = 0; i < SavedItems; ++i) {
                items.push_back(newItem(i));
                project.ItemList()->Add(items.back());
            }
            QElapsedTimer t;
            t.start();
            if (each)
                for (TPrintItem* item : items)
                    item->Save();
            else
                project.ItemList()->Save();
            ours.push_back(msSince(t));
            TCliUtils::RunSql(QStringLiteral("delete from P_ITEM"));

            // The peers insert the same values.
            QStringList columns;
            const auto values = insertValues(project, items, columns);
            project.ItemList()->Clear();
            for (size_t p = 0; p < peers.size(); ++p) {
                {
                    TDatabaseLock conn;
                    t.restart();
                    plainInsert(conn->Database(), columns, values, peers[p]);
                    theirs[p].push_back(msSince(t));
                }
                TCliUtils::RunSql(QStringLiteral("delete from P_ITEM"));
            }
        }
        const QString what = QStringLiteral("save %1 items, %2")
                                 .arg(SavedItems)
                                 .arg(each ? QStringLiteral("one transaction each")
                                           : QStringLiteral("one transaction"));
        rows.push_back({what, QStringLiteral("prepared QtSql loop"), statsOf(ours),
                        statsOf(theirs[0]), QStringLiteral("<= 1.3x"), 1.3});
        if (each)
            rows.push_back({what, QStringLiteral("QtSql, prepared in each transaction"),
                            statsOf(ours), statsOf(theirs[1]), QStringLiteral("<= 1.3x"), 1.3});
    }

    PersistenceManager().Disconnect();
    printTable(rows);
    return 0;
}
