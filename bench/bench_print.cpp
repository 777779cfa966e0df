// Print-run throughput, memory and job size: a labelled page of every kind of
// item composed, prepared and painted into the PDF job for 10 000 pages, beside
// Qt's PDF engine drawing a similar page on its own, and beside the same page
// without its picture. Then the real chain: 1 000 labels printed by the
// program's run on a 203 dpi label printer queue (CUPS's ZPL driver, Ghostscript)
// of the tests' private server, with and without a picture. Last, the page
// without its picture filled from a data file beside the same page with fixed
// values, and the time a 100 000-row file takes to load.
#include "TestSupport.h"
#include "Zpl.h"
#include "fbarcode/Barcode.h"
#include "model/DataFile.h"
#include "model/Font.h"
#include "model/bom/FileBom.h"
#include "model/bom/SettingBom.h"
#include "model/manager/FileMgrImpl.h"
#include "model/manager/PrintRun.h"
#include "model/manager/SettingMgrImpl.h"

#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QImageWriter>
#include <QPainter>
#include <QPdfWriter>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTextStream>
#include <algorithm>
#include <cstdio>
#include <cups/cups.h>
#include <memory>
#include <unistd.h>

namespace {

// Pages a run; the first argument may ask for fewer (for profiling).
int kPages = 10000;
constexpr int kRounds = 3;

double RssMb() {
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.value(1).toDouble() * double(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

// A photograph-like picture of about 200 kB.
QByteArray Jpeg200k() {
    QImage image(900, 700, QImage::Format_RGB32);
    QRandomGenerator rng(42);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const int n = int(rng.bounded(40));
            image.setPixel(x, y, qRgb((x / 3 + n) & 255, (y / 3 + n) & 255, (x + y) / 6 & 255));
        }
    for (int quality = 90; quality > 10; quality -= 5) {
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        QImageWriter writer(&buffer, "jpeg");
        writer.setQuality(quality);
        writer.write(image);
        if (bytes.size() <= 210 * 1024)
            return bytes;
    }
    return {};
}

TPrintItem* Add(TProject& p, int type, double x, double y, double w, double h, const QString& v) {
    TPrintItem* item =
        NewItem(type, x, y, w, h, v, QStringLiteral("%1").arg(p.ItemList()->Count()));
    item->SetItemFontSize(QStringLiteral("10"));
    p.ItemList()->Add(item);
    return item;
}

struct Figures {
    double pagesPerSecond = 0, bestPagesPerSecond = 0;
    double rss1000 = 0, rss10000 = 0;
    qint64 jobBytes = 0;
};

// The program's own run: composition, preparation, painting, into a PDF file.
Figures RunKova(TProject& project, const TSettingMgr& settings, TFileMgr& files,
                const QString& pdf) {
    std::vector<double> rates;
    Figures f;
    for (int round = 0; round < kRounds; ++round) {
        TPrintRunOptions options;
        options.From = 1;
        options.Count = kPages;
        options.PdfFile = pdf;
        options.Save = false;
        TPrintRunHooks hooks;
        int page = 0;
        hooks.PageDone = [&](int) {
            ++page;
            if (page == 1000)
                f.rss1000 = RssMb();
            if (page == kPages)
                f.rss10000 = RssMb();
        };
        QElapsedTimer timer;
        timer.start();
        const TPrintRunResult r = TPrintRun(project, settings, files).Run(options, hooks);
        const double seconds = timer.nsecsElapsed() / 1e9;
        if (!r.Error.isEmpty() || r.Printed != kPages) {
            QTextStream(stderr) << "the run printed " << r.Printed << " of " << kPages
                                << " pages: " << r.Error << (r.Check ? r.Check->Text() : QString())
                                << Qt::endl;
            std::exit(1);
        }
        rates.push_back(kPages / seconds);
        f.jobBytes = QFileInfo(pdf).size();
    }
    std::sort(rates.begin(), rates.end());
    f.pagesPerSecond = rates[rates.size() / 2];
    f.bestPagesPerSecond = rates.back();
    return f;
}

// Qt's PDF engine alone: texts, a line, 60 bars, a 29 x 29 QR in rectangles
// and a cached picture, at the same resolution and page size.
Figures RunPeer(const QImage& picture, const QString& pdf) {
    std::vector<double> rates;
    Figures f;
    QList<QRect> qr;
    QRandomGenerator rng(7);
    for (int r = 0; r < 29; ++r)
        for (int c = 0; c < 29; ++c)
            if (rng.bounded(2))
                qr << QRect(2400 + c * 40, 1200 + r * 40, 40, 40);
    for (int round = 0; round < kRounds; ++round) {
        QPdfWriter writer(pdf);
        writer.setResolution(1200);
        writer.setPageSize(QPageSize(QSizeF(100, 80), QPageSize::Millimeter));
        writer.setPageMargins(QMarginsF(0, 0, 0, 0));
        QPainter p(&writer);
        QFont font(QStringLiteral("宋体"));
        font.setPointSize(10);
        p.setFont(font);
        QElapsedTimer timer;
        timer.start();
        for (int page = 1; page <= kPages; ++page) {
            if (page > 1)
                writer.newPage();
            p.drawText(QPoint(200, 300), QStringLiteral("KOVA 票号"));
            p.drawText(QPoint(200, 600),
                       QStringLiteral("NO.%1").arg(page, 6, 10, QLatin1Char('0')));
            p.drawText(QPoint(200, 3400), QStringLiteral("2026-12-09 08:00"));
            p.drawLine(200, 700, 4500, 700);
            for (int bar = 0; bar < 60; ++bar)
                p.fillRect(QRect(200 + bar * 30, 1000, 15, 700), Qt::black);
            for (const QRect& m : qr)
                p.fillRect(m, Qt::black);
            if (!picture.isNull())
                p.drawImage(QRect(200, 2000, 1800, 1200), picture);
            if (page == 1000)
                f.rss1000 = RssMb();
        }
        f.rss10000 = RssMb();
        p.end();
        rates.push_back(kPages / (timer.nsecsElapsed() / 1e9));
        f.jobBytes = QFileInfo(pdf).size();
    }
    std::sort(rates.begin(), rates.end());
    f.pagesPerSecond = rates[rates.size() / 2];
    f.bestPagesPerSecond = rates.back();
    return f;
}

// Labels of the chain, and the queue's resolution.
constexpr int kLabels = 1000;
constexpr int kLabelDpi = 203;

struct ChainFigures {
    double runSeconds = 0;   // the program's run, up to the hand-over
    double chainSeconds = 0; // from the hand-over until the printer's data is complete
    qint64 jobBytes = 0;     // the ZPL the printer is sent
    QString error;
};

// The program's run of kLabels labels on the label queue, then the queue's own
// filters (pdftopdf, Ghostscript, rastertolabel) and the file backend to the end
// of the job. The printer's data is decoded to be sure every label came out.
ChainFigures RunChain(TProject& project, const TSettingMgr& settings, TFileMgr& files,
                      const QString& queue) {
    ChainFigures f;
    TPrintRunOptions options;
    options.From = 1;
    options.Count = kLabels;
    options.Printer = queue;
    options.Save = false;
    QElapsedTimer timer;
    timer.start();
    const TPrintRunResult r = TPrintRun(project, settings, files).Run(options);
    f.runSeconds = timer.nsecsElapsed() / 1e9;
    if (!r.Error.isEmpty() || r.JobId <= 0 || r.Printed != kLabels) {
        f.error = QStringLiteral("the run printed %1 of %2 labels: %3")
                      .arg(r.Printed)
                      .arg(kLabels)
                      .arg(r.Error);
        return f;
    }
    timer.restart();
    const QString zpl = WaitForLabelJob(queue, r.JobId, &f.error, 30 * 60 * 1000);
    f.chainSeconds = timer.nsecsElapsed() / 1e9;
    if (zpl.isEmpty())
        return f;
    f.jobBytes = QFileInfo(zpl).size();
    const qsizetype labels = DecodeZplFile(zpl, &f.error).size();
    if (f.error.isEmpty() && labels != kLabels)
        f.error = QStringLiteral("the printer got %1 of %2 labels").arg(labels).arg(kLabels);
    QFile::remove(zpl);
    return f;
}

} // namespace

int main(int argc, char* argv[]) {
    SetUpStandaloneEnvironment();
    QGuiApplication app(argc, argv);
    InstallFontSubstitutions();
    if (argc > 1 && QByteArray(argv[1]).toInt() >= 1000)
        kPages = QByteArray(argv[1]).toInt();

    // The chain runs on the server CUPS_SERVER names, or on one of the bench's
    // own for as long as it runs (which takes root, as the tests' does).
    QString chainError;
    std::unique_ptr<PrivateCups> ownCups;
    if (!qEnvironmentVariableIsSet("CUPS_SERVER")) {
        if (geteuid() != 0) {
            chainError = QStringLiteral("needs CUPS_SERVER or root to start a print server");
        } else {
            ownCups = std::make_unique<PrivateCups>();
            if (ownCups->start()) {
                qputenv("CUPS_SERVER", QFile::encodeName(ownCups->socket()));
                cupsSetServer(QFile::encodeName(ownCups->socket()).constData());
            } else {
                chainError = QStringLiteral("scripts/test-cups-start failed");
            }
        }
    }

    TestStore store;
    const TSettingMgr& settings = store.settings;
    TFileMgr& files = store.files;
    const QByteArray jpeg = Jpeg200k();
    TCFile file;
    file.FileName = QStringLiteral("photo");
    file.FileType = QStringLiteral(".jpg");
    file.SetBody(jpeg);
    files.SaveFile(file);

    TProject withPicture, withoutPicture;
    for (TProject* p : {&withPicture, &withoutPicture}) {
        p->SetProjectPageWidth(100);
        p->SetProjectPageHeight(80);
        Add(*p, itText, 5, 5, 0, 1.2, QStringLiteral("KOVA 票号"));
        TPrintItem* serial = Add(*p, itSerial, 5, 12, 0, 1.2, QStringLiteral("1"));
        serial->SetItemSerialIsFillZero(kTrue);
        serial->SetItemSerialLength(6);
        Add(*p, itLine, 5, 16, 95, 16, QString())->SetItemOutlinePenStyle(0);
        TPrintItem* barcode = Add(*p, itBarcode, 5, 20, 0, 12, QStringLiteral("KV-2026-000123"));
        barcode->SetBarcodeType(bcCode128B);
        barcode->SetBarcodeModule(0.25); // 50 mm wide, clear of the QR code

        Add(*p, itQRCode, 60, 25, 25, 25, QStringLiteral("https://kova.example/t/2026/000000123"));
        Add(*p, itDate, 5, 72, 0, 1.2, QStringLiteral("yyyy-mm-dd hh:nn"));
    }
    Add(withPicture, itImage, 5, 40, 40, 25, QStringLiteral("photo"))->SetFileId(file.Oid);
    // The same page with its Code 128 and QR code fed by the serial (item "1"):
    // both symbols are encoded afresh on every page.
    TProject withPictureFields;
    withPictureFields.AssignClassProps(withPicture);
    for (int i = 0; i < withPictureFields.ItemList()->Count(); ++i) {
        TPrintItem& item = *withPictureFields.ItemList()->Items(i);
        if (item.ItemType() == itBarcode)
            item.SetItemValue(QStringLiteral("KV-{1}"));
        if (item.ItemType() == itQRCode)
            item.SetItemValue(QStringLiteral("https://kova.example/t/2026/{1}"));
    }

    // The same page with its symbols changing page by page: fed by serial numbers
    // through fields, or taken with the text from the rows of a stored data file;
    // the values as long as the fixed ones.
    TProject withFields, withData;
    for (TProject* p : {&withFields, &withData}) {
        p->SetProjectPageWidth(100);
        p->SetProjectPageHeight(80);
        for (int i = 0; i < withoutPicture.ItemList()->Count(); ++i) {
            const TPrintItem& source = *withoutPicture.ItemList()->Items(i);
            TPrintItem* item = Add(*p, source.ItemType(), source.ItemX(), source.ItemY(),
                                   source.ItemTextWidth(), source.ItemLineHeight(),
                                   source.ItemValue());
            CopyPublishedProps(source, *item);
            const bool rows = p == &withData;
            if (source.ItemType() == itText && rows)
                item->SetItemValue(QStringLiteral("{名称}"));
            else if (source.ItemType() == itBarcode)
                item->SetItemValue(rows ? QStringLiteral("{证号}") : QStringLiteral("KV-2026-{序号}"));
            else if (source.ItemType() == itQRCode)
                item->SetItemValue(rows ? QStringLiteral("{网址}")
                                        : QStringLiteral("https://kova.example/t/2026/{长号}"));
        }
    }
    for (const auto& [name, digits] : {std::pair{"序号", 6}, std::pair{"长号", 9}}) {
        TPrintItem* serial = Add(withFields, itSerial, 5, 5, 0, 1.2, QStringLiteral("1"));
        serial->SetItemName(QString::fromUtf8(name));
        serial->SetItemSerialIsFillZero(kTrue);
        serial->SetItemSerialLength(digits);
        serial->SetItemActive(kFalse);
    }
    const auto dataRows = [](int rows) {
        QByteArray body = "名称,证号,网址\n";
        for (int row = 1; row <= rows; ++row)
            body += QStringLiteral("KOVA 票号,KV-2026-%1,https://kova.example/t/2026/%2\n")
                        .arg(row, 6, 10, QLatin1Char('0'))
                        .arg(row, 9, 10, QLatin1Char('0'))
                        .toUtf8();
        return body;
    };
    TProjectData data;
    data.FileName = QStringLiteral("rows.csv");
    data.Body = dataRows(kPages);
    files.SaveProjectData(withData.OID(), data);
    TProject loadOnly;
    TProjectData bigData;
    bigData.FileName = QStringLiteral("rows.csv");
    bigData.Body = dataRows(100000);
    files.SaveProjectData(loadOnly.OID(), bigData);
    std::vector<double> loadSeconds;
    for (int round = 0; round < kRounds; ++round) {
        QElapsedTimer timer;
        timer.start();
        const std::unique_ptr<TDataTable> table = files.ReadProjectTable(loadOnly.OID());
        loadSeconds.push_back(timer.nsecsElapsed() / 1e9);
        if (table->RowCount() != 100000)
            std::exit(1);
    }
    std::sort(loadSeconds.begin(), loadSeconds.end());

    // A full label: a serial number, a Code 128, a QR code and the picture.
    TProject label, labelPlain;
    for (TProject* p : {&label, &labelPlain}) {
        p->SetProjectPageWidth(100);
        p->SetProjectPageHeight(80);
        TPrintItem* serial = Add(*p, itSerial, 5, 5, 0, 1.2, QStringLiteral("1"));
        serial->SetItemSerialIsFillZero(kTrue);
        serial->SetItemSerialLength(6);
        TPrintItem* barcode = Add(*p, itBarcode, 5, 12, 0, 12, QStringLiteral("KV-2026-000123"));
        barcode->SetBarcodeType(bcCode128B);
        barcode->SetBarcodeModule(0.25);
        Add(*p, itQRCode, 60, 25, 25, 25, QStringLiteral("https://kova.example/t/2026/000000123"));
    }
    Add(label, itImage, 5, 40, 40, 25, QStringLiteral("photo"))->SetFileId(file.Oid);
    ChainFigures chain, chainPlain;
    if (chainError.isEmpty()) {
        const TestQueue queue(QStringLiteral("KOVA_BENCH_ZPL"), kLabelDpi, TestQueue::Label);
        if (!queue.ok()) {
            chainError = queue.why();
        } else {
            chain = RunChain(label, settings, files, queue.name());
            chainPlain = RunChain(labelPlain, settings, files, queue.name());
            chainError = !chain.error.isEmpty() ? chain.error : chainPlain.error;
        }
    }

    QImage decoded;
    decoded.loadFromData(jpeg, "JPEG");
    QTemporaryDir dir;
    const QString pdf = dir.filePath(QStringLiteral("job.pdf"));
    const Figures kova = RunKova(withPicture, settings, files, pdf);
    const Figures kovaPlain = RunKova(withoutPicture, settings, files, pdf);
    const Figures kovaPictureFields = RunKova(withPictureFields, settings, files, pdf);
    const Figures kovaFields = RunKova(withFields, settings, files, pdf);
    const Figures kovaData = RunKova(withData, settings, files, pdf);
    const Figures qt = RunPeer(decoded, pdf);
    const Figures qtPlain = RunPeer(QImage(), pdf);

    QTextStream out(stdout);
    out << "Print run, 100 x 80 mm page into the PDF job (the program at a PDF file's 300 dpi,"
        << " Qt alone at 1200 dpi), " << kPages << " pages, " << kRounds
        << " rounds (median / best); JPEG " << jpeg.size() / 1024 << " kB\n\n";
    out << "| figure | KOVA with picture | KOVA without | Qt PDF engine alone, with picture | "
           "Qt alone, without |\n|---|---|---|---|---|\n";
    const auto rate = [](const Figures& f) {
        return QStringLiteral("%1 / %2")
            .arg(f.pagesPerSecond, 0, 'f', 0)
            .arg(f.bestPagesPerSecond, 0, 'f', 0);
    };
    out << "| pages/s | " << rate(kova) << " | " << rate(kovaPlain) << " | " << rate(qt) << " | "
        << rate(qtPlain) << " |\n";
    const auto rss = [](const Figures& f) {
        return QStringLiteral("%1 → %2 (%3%)")
            .arg(f.rss1000, 0, 'f', 1)
            .arg(f.rss10000, 0, 'f', 1)
            .arg((f.rss10000 / f.rss1000 - 1) * 100, 0, 'f', 1);
    };
    out << "| RSS MB, page 1000 → 10000 | " << rss(kova) << " | " << rss(kovaPlain) << " | "
        << rss(qt) << " | " << rss(qtPlain) << " |\n";
    const auto size = [](const Figures& f) {
        return QStringLiteral("%1 kB").arg(f.jobBytes / 1024);
    };
    out << "| job size | " << size(kova) << " | " << size(kovaPlain) << " | " << size(qt) << " | "
        << size(qtPlain) << " |\n";
    out << "| job bytes per page beyond the picture | " << (kova.jobBytes - jpeg.size()) / kPages
        << " | " << kovaPlain.jobBytes / kPages << " | " << (qt.jobBytes - jpeg.size()) / kPages
        << " | " << qtPlain.jobBytes / kPages << " |\n\n";
    out << "Symbols fed by the serial: the page with the picture, its Code 128 `KV-{票号}` and QR "
           "code `…/{票号}` encoded afresh on every page\n\n"
        << "| figure | fixed symbols | fed by the serial | ratio |\n|---|---|---|---|\n"
        << "| pages/s | " << rate(kova) << " | " << rate(kovaPictureFields) << " | "
        << QString::number(kovaPictureFields.pagesPerSecond / kova.pagesPerSecond, 'f', 2)
        << " |\n\n";

    out << "Real chain: " << kLabels << " labels of 100 x 80 mm (serial, Code 128, QR code"
        << " and, with picture, the JPEG on 40 x 25 mm) printed by the program's run on a "
        << kLabelDpi << " dpi ZPL label queue (pdftopdf, Ghostscript, rastertolabel)\n\n";
    if (!chainError.isEmpty()) {
        out << "not measured: " << chainError << "\n\n";
    } else {
        out << "| figure | with picture | without | ratio |\n|---|---|---|---|\n";
        const auto seconds = [](double s) { return QStringLiteral("%1 s").arg(s, 0, 'f', 1); };
        out << "| program's run, to the hand-over | " << seconds(chain.runSeconds) << " | "
            << seconds(chainPlain.runSeconds) << " | "
            << QString::number(chain.runSeconds / chainPlain.runSeconds, 'f', 2) << "x |\n";
        out << "| job submitted → completed (printer's data written) | "
            << seconds(chain.chainSeconds) << " | " << seconds(chainPlain.chainSeconds) << " | "
            << QString::number(chain.chainSeconds / chainPlain.chainSeconds, 'f', 2) << "x |\n";
        out << "| printer's data | " << chain.jobBytes / 1024 << " kB | "
            << chainPlain.jobBytes / 1024 << " kB | |\n\n";
    }
    out << "KOVA / Qt alone, time per page: with picture "
        << QString::number(qt.pagesPerSecond / kova.pagesPerSecond, 'f', 2) << "x, without "
        << QString::number(qtPlain.pagesPerSecond / kovaPlain.pagesPerSecond, 'f', 2) << "x\n\n";

    out << "Pages from a data file: the page without its picture, text, Code 128 and QR code"
        << " taken from a stored CSV of " << kPages << " rows (read and parsed within the run)\n\n";
    out << "| figure | fixed values | the same values from serial fields | from the data | "
           "change, data / fixed | change, data / serial fields |\n|---|---|---|---|---|---|\n";
    const auto change = [](const Figures& a, const Figures& b) {
        return QString::number((a.pagesPerSecond / b.pagesPerSecond - 1) * 100, 'f', 1) + "%";
    };
    out << "| pages/s | " << rate(kovaPlain) << " | " << rate(kovaFields) << " | "
        << rate(kovaData) << " | " << change(kovaData, kovaPlain) << " | "
        << change(kovaData, kovaFields) << " |\n";
    out << "| 100 000-row file (" << bigData.Body.size() / 1024
        << " kB) read from the database and parsed | | | "
        << QString::number(loadSeconds[loadSeconds.size() / 2] * 1000, 'f', 0) << " ms (best "
        << QString::number(loadSeconds.front() * 1000, 'f', 0) << " ms) | | |\n";
    return 0;
}
