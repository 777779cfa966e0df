// The private print server the printing tests run on (scripts/test-cups-start):
// it prints from a checkout in any folder, keeps each server's PDFs to itself
// while other runs print beside it, and a job that cannot print ends the wait
// with the server's reason instead of a long silence.
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QPainter>
#include <QPdfWriter>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <cups/cups.h>
#include <memory>
#include <sys/stat.h>

namespace {

const QString kScripts = QStringLiteral(KOVA_SOURCE_DIR "/scripts/");

// A server of the test's own, started in `<checkout>/build/cups` the way the
// suite's fixture starts one in a build folder, and stopped again at the end.
class OwnServer {
public:
    explicit OwnServer(const QString& folder) : FFolder(folder) {
        QProcess start;
        start.setProcessChannelMode(QProcess::MergedChannels);
        start.start(kScripts + QStringLiteral("test-cups-start"), {FFolder});
        if (!start.waitForFinished(60000) || start.exitStatus() != QProcess::NormalExit ||
            start.exitCode() != 0)
            FWhy = QString::fromLocal8Bit(start.readAll());
    }
    ~OwnServer() { QProcess::execute(kScripts + QStringLiteral("test-cups-stop"), {FFolder}); }
    bool Started() const { return FWhy.isEmpty(); }
    const QString& Why() const { return FWhy; }
    QString Socket() const { return FFolder + QStringLiteral("/cups.sock"); }
    // Makes this server the one the CUPS calls and the helpers talk to.
    void Use() const {
        qputenv("CUPS_SERVER", Socket().toLocal8Bit());
        cupsSetServer(nullptr);
    }

private:
    QString FFolder;
    QString FWhy;
};

// A one-page PDF carrying `marker` as text.
QString MarkedPdf(const QDir& dir, const QString& marker) {
    const QString path = dir.filePath(marker + QStringLiteral(".pdf"));
    QPdfWriter pdf(path);
    QPainter p(&pdf);
    QFont font = p.font();
    font.setPointSize(24);
    p.setFont(font);
    p.drawText(QPointF(500, 1500), marker);
    return path;
}

// Submits a file to the server in use; the job id, or 0 with the server's words.
int Submit(const QString& queue, const QString& file, const QString& title, QString* why) {
    const int id = cupsPrintFile(queue.toUtf8().constData(), QFile::encodeName(file).constData(),
                                 title.toUtf8().constData(), 0, nullptr);
    if (id == 0 && why)
        *why = QString::fromUtf8(cupsLastErrorString());
    return id;
}

} // namespace

class TestCups : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void printsFromAnyCheckout_data();
    void printsFromAnyCheckout();
    void concurrentServersKeepTheirPdfs_data();
    void concurrentServersKeepTheirPdfs();
    void failedJobEndsTheWait_data();
    void failedJobEndsTheWait();

private:
    QByteArray FServerBefore;
    QTemporaryDir FFiles;
};

void TestCups::initTestCase() {
    FServerBefore = qgetenv("CUPS_SERVER");
    QVERIFY(FFiles.isValid());
}

void TestCups::cleanup() {
    qputenv("CUPS_SERVER", FServerBefore);
    cupsSetServer(nullptr);
}

void TestCups::printsFromAnyCheckout_data() {
    QTest::addColumn<int>("rootMode");
    QTest::addColumn<QString>("checkout");
    // The filters run as lp: a spool below a folder lp cannot enter once left
    // every job pending with "Unable to copy PDF file: Permission denied".
    QTest::newRow("checkout in a folder only root may enter") << 0700 << QString();
    QTest::newRow("checkout below a home only root may enter") << 0700 << "root/src/kova";
    QTest::newRow("checkout in a folder anyone may enter") << 0755 << QString();
}

void TestCups::printsFromAnyCheckout() {
    QFETCH(int, rootMode);
    QFETCH(QString, checkout);
    QTemporaryDir top; // made 0700, as mktemp -d makes it
    QVERIFY(top.isValid());
    QVERIFY(::chmod(QFile::encodeName(top.path()).constData(), mode_t(rootMode)) == 0);
    const QString build = QDir(top.path()).filePath(checkout) + QStringLiteral("/build");
    QVERIFY(QDir().mkpath(build));
    OwnServer server(build + QStringLiteral("/cups"));
    QVERIFY2(server.Started(), qPrintable(server.Why()));
    server.Use();

    const QString marker = QStringLiteral("checkout%1").arg(rootMode, 0, 8);
    QString why;
    const int id =
        Submit(QStringLiteral("KOVA_PDF"), MarkedPdf(FFiles.path(), marker), marker, &why);
    QVERIFY2(id > 0, qPrintable(why));
    const QString pdf = WaitForJobPdf(marker, id, &why);
    QVERIFY2(!pdf.isEmpty(), qPrintable(why));
    QCOMPARE(PdfPageTexts(pdf).join(QString()).trimmed(), marker);
    // No other local user reaches the server, let alone adds a queue to it.
    int code = 0;
    const QString added = RunTool("runuser",
                                  {"-u", "nobody", "--", "lpadmin", "-h", server.Socket(), "-p",
                                   "STRANGER", "-v", "lpd://localhost/q"},
                                  &code);
    QVERIFY2(code != 0, qPrintable(added));
    QVERIFY(!RunTool("lpstat", {"-h", server.Socket(), "-p"}).contains("STRANGER"));
}

void TestCups::concurrentServersKeepTheirPdfs_data() {
    QTest::addColumn<int>("jobs");
    // Every server numbers its jobs from 1 and titles repeat: a shared output
    // folder gave one run the other's PDFs.
    QTest::newRow("one job each, both job 1") << 1;
    QTest::newRow("three jobs each, interleaved") << 3;
}

void TestCups::concurrentServersKeepTheirPdfs() {
    QFETCH(int, jobs);
    QTemporaryDir checkoutA, checkoutB;
    QVERIFY(checkoutA.isValid() && checkoutB.isValid());
    const QList<std::shared_ptr<OwnServer>> servers{
        std::make_shared<OwnServer>(checkoutA.filePath(QStringLiteral("build/cups"))),
        std::make_shared<OwnServer>(checkoutB.filePath(QStringLiteral("build/cups")))};
    for (const auto& server : servers)
        QVERIFY2(server->Started(), qPrintable(server->Why()));
    // Names pdftotext reads back as they are, without ligatures.
    const QStringList names{QStringLiteral("alpha"), QStringLiteral("beta")};
    const QString title = QStringLiteral("kovashared");

    QList<QList<int>> ids(servers.size());
    for (int n = 0; n < jobs; ++n)
        for (int s = 0; s < servers.size(); ++s) {
            servers[s]->Use();
            QString why;
            const QString marker = QStringLiteral("%1server%2").arg(names[s]).arg(n);
            const int id =
                Submit(QStringLiteral("KOVA_PDF"), MarkedPdf(FFiles.path(), marker), title, &why);
            QVERIFY2(id > 0, qPrintable(why));
            ids[s] << id;
        }
    QCOMPARE(ids[0], ids[1]); // the same job ids on both servers

    for (int s = 0; s < servers.size(); ++s) {
        servers[s]->Use();
        for (int n = 0; n < jobs; ++n) {
            QString why;
            const QString pdf = WaitForJobPdf(title, ids[s][n], &why);
            QVERIFY2(!pdf.isEmpty(), qPrintable(why));
            QCOMPARE(PdfPageTexts(pdf).join(QString()).trimmed(),
                     QStringLiteral("%1server%2").arg(names[s]).arg(n));
        }
        QCOMPARE(QDir(TestPdfFolder()).entryList({QStringLiteral("*.pdf")}, QDir::Files).size(),
                 jobs);
    }
}

void TestCups::failedJobEndsTheWait_data() {
    QTest::addColumn<QString>("trouble");
    QTest::addColumn<QString>("reason");
    // Each once waited the full two minutes for a PDF that could not come.
    QTest::newRow("queue stopped") << "stop"
                                   << "queue kovafail stopped";
    QTest::newRow("job cancelled") << "cancel"
                                   << "ended in state 7";
    QTest::newRow("filters cannot reach the spool") << "lock"
                                                    << "Unable to copy PDF file: Permission denied";
}

void TestCups::failedJobEndsTheWait() {
    QFETCH(QString, trouble);
    QFETCH(QString, reason);
    QTemporaryDir checkout;
    QVERIFY(checkout.isValid());
    OwnServer server(checkout.filePath(QStringLiteral("build/cups")));
    QVERIFY2(server.Started(), qPrintable(server.Why()));
    server.Use();
    const QString queue = QStringLiteral("kovafail");
    QString why;
    QVERIFY2(AddTestQueue(queue, &why), qPrintable(why));
    const QString serverRoot =
        QFileInfo(checkout.filePath(QStringLiteral("build/cups/root"))).symLinkTarget();
    if (trouble != QLatin1String("lock"))
        QCOMPARE(RunTool(QStringLiteral("cupsdisable"), {queue}), QString());
    if (trouble == QLatin1String("lock"))
        QVERIFY(::chmod(QFile::encodeName(serverRoot).constData(), 0700) == 0);

    const int id = Submit(queue, MarkedPdf(FFiles.path(), QStringLiteral("failing")),
                          QStringLiteral("failing"), &why);
    QVERIFY2(id > 0, qPrintable(why));
    if (trouble == QLatin1String("cancel"))
        QVERIFY(cupsCancelJob(queue.toUtf8().constData(), id));
    // Far longer than any of these takes: only the server's reason may end it.
    const QString pdf = WaitForJobPdf(QStringLiteral("failing"), id, &why, 120000);
    if (trouble == QLatin1String("lock"))
        ::chmod(QFile::encodeName(serverRoot).constData(), 0755);
    QVERIFY(pdf.isEmpty());
    QVERIFY2(why.contains(reason), qPrintable(why));
}

QTEST_MAIN(TestCups)
#include "tst_cups.moc"
