// The utility functions: encryption, password digests, document numbers, text
// splitting, picture rescaling, the mail hand-off, the folder picker and single
// statements.
#include "TestSupport.h"

#include "model/CliUtils.h"

#include <QDate>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QImageReader>
#include <QImageWriter>
#include <QMainWindow>
#include <QMessageBox>
#include <QPainter>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>

namespace {

// A 400 x 300 JPEG written by cjpeg: red top-left quarter, blue bottom-right.
QString writeSampleJpeg(const QString& dir) {
    QImage image(400, 300, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    p.fillRect(0, 0, 200, 150, QColor(220, 0, 0));
    p.fillRect(200, 150, 200, 150, QColor(0, 0, 220));
    p.end();
    const QString ppm = dir + "/sample.ppm";
    const QString jpeg = dir + "/sample.jpg";
    image.save(ppm, "PPM");
    QProcess cjpeg;
    cjpeg.setStandardOutputFile(jpeg);
    cjpeg.start("cjpeg", {"-quality", "95", ppm});
    cjpeg.waitForFinished();
    return jpeg;
}

QStringList recordedArgs(const QString& file) {
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        return {"(not run)"};
    QStringList args = QString::fromUtf8(f.readAll()).split(QChar(u'\0'));
    args.removeLast(); // after the last NUL
    return args;
}

// Puts dir first on PATH for the lifetime of the object.
class PathPrefix {
public:
    explicit PathPrefix(const QString& dir, bool only = false) : FOld(qgetenv("PATH")) {
        qputenv("PATH", only ? dir.toUtf8() : dir.toUtf8() + ':' + FOld);
    }
    ~PathPrefix() { qputenv("PATH", FOld); }

private:
    QByteArray FOld;
};

// A folder first on PATH (alone with `only`) while the object lives, with a
// stand-in xdg-email, unless `tail` is null, that records its arguments in
// `record`, NUL-separated, then runs tail.
struct MailStandIn {
    explicit MailStandIn(const QString& tail, bool only = false) : path(dir.path(), only) {
        qputenv("KOVA_MAIL_RECORD", record.toUtf8());
        if (tail.isNull())
            return;
        QFile script(dir.filePath("xdg-email"));
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write("#!/bin/sh\nprintf '%s\\0' \"$@\" > \"$KOVA_MAIL_RECORD\"\n" + tail.toUtf8() +
                     "\n");
        script.close();
        script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    QTemporaryDir dir;
    const QString record = dir.filePath("record");
    PathPrefix path;
};

} // namespace

class TestCliUtils : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();

    void encodeDecodeRoundTrip_data();
    void encodeDecodeRoundTrip();
    void encodeMatchesOpensslBlowfish_data();
    void encodeMatchesOpensslBlowfish();
    void decodeRefusesMalformedCiphertext_data();
    void decodeRefusesMalformedCiphertext();
    void encodePasswordMatchesSha1sum_data();
    void encodePasswordMatchesSha1sum();
    void generateNo_data();
    void generateNo();
    void parseDelimited_data();
    void parseDelimited();

    void saveImageRescalesIntoEachFormat_data();
    void saveImageRescalesIntoEachFormat();
    void saveImageFailuresGiveFalse_data();
    void saveImageFailuresGiveFalse();

    void sendEMailHandsFieldsAsArguments_data();
    void sendEMailHandsFieldsAsArguments();
    void sendEMailRefusesMissingAttachment();
    void sendEMailWithoutMailClient_data();
    void sendEMailWithoutMailClient();
    void sendEMailDisablesWindowsWhileHandingOver();
    void sendEMailDoesNotWaitForLingeringClient();

    void browseDialog_data();
    void browseDialog();

    void runSql_data();
    void runSql();
    void runSqlFailureRollsBack_data();
    void runSqlFailureRollsBack();

private:
    QTemporaryDir FDir;
    QString FJpeg;
};

void TestCliUtils::initTestCase() {
    QVERIFY(FDir.isValid());
    FJpeg = writeSampleJpeg(FDir.path());
    QVERIFY2(QFileInfo(FJpeg).size() > 0, "cjpeg did not write the sample picture");
}

// ---- Encode / Decode

void TestCliUtils::encodeDecodeRoundTrip_data() {
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("blocks");
    QTest::newRow("empty text is one block") << "key"
                                             << "" << 1;
    QTest::newRow("3 characters (6 bytes) are one block") << "key"
                                                          << "abc" << 1;
    QTest::newRow("4 characters (8 bytes) are two blocks") << "key"
                                                           << "abcd" << 2;
    QTest::newRow("7 characters (14 bytes) are two blocks") << "key"
                                                            << "abcdefg" << 2;
    QTest::newRow("chinese text") << "钥匙"
                                  << "自定义定位打印 v5.1" << 4;
    QTest::newRow("surrogate pairs survive") << "key"
                                             << "𠀀😀" << 2;
}

void TestCliUtils::encodeDecodeRoundTrip() {
    QFETCH(QString, key);
    QFETCH(QString, text);
    QFETCH(int, blocks);
    const QString cipher = TCliUtils::Encode(key, text);
    QCOMPARE(QByteArray::fromBase64(cipher.toLatin1()).size(), blocks * 8);
    QCOMPARE(TCliUtils::Decode(key, cipher), text);
    QVERIFY(TCliUtils::Encode(key + "x", text) != cipher);
}

void TestCliUtils::encodeMatchesOpensslBlowfish_data() {
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("cipher");
    // openssl enc -bf-ecb -nopad -K <md5 of the UTF-16LE key> over the UTF-16LE text
    // followed by the count block (rest zero-filled, count in byte 7), then base64.
    QTest::newRow("full block and a 6-byte rest") << "标签Key"
                                                  << "KOVA 打印"
                                                  << "FzDaRruRRdkI5bR8PoO4Zg==";
    QTest::newRow("empty text is one zero block") << "标签Key"
                                                  << ""
                                                  << "0fU2l+j9mpU=";
    QTest::newRow("exact block and an empty count block") << "pinecrest"
                                                          << "ABCD"
                                                          << "dD9zIDFxFnqoKnONU5bbEQ==";
}

void TestCliUtils::encodeMatchesOpensslBlowfish() {
    QFETCH(QString, key);
    QFETCH(QString, text);
    QFETCH(QString, cipher);
    QCOMPARE(TCliUtils::Encode(key, text), cipher);
    QCOMPARE(TCliUtils::Decode(key, cipher), text);
}

void TestCliUtils::decodeRefusesMalformedCiphertext_data() {
    QTest::addColumn<QString>("cipher");
    QTest::newRow("not base64") << "@@not-base64@@";
    QTest::newRow("empty") << "";
    QTest::newRow("7 bytes, not a multiple of 8") << QString(QByteArray(7, 'x').toBase64());
    // openssl enc -bf-ecb under the key of the known-answer rows over 00..00 20 and
    // over 41 00 42 00 43 00 00 03.
    QTest::newRow("count byte 32 would read past the block") << "w4k3meGhh2U=";
    QTest::newRow("odd byte count is not UTF-16") << "SXfWanNvd54=";
}

void TestCliUtils::decodeRefusesMalformedCiphertext() {
    QFETCH(QString, cipher);
    QCOMPARE(ErrorMessage<Exception>([&] { TCliUtils::Decode("标签Key", cipher); }),
             QString("Invalid file format"));
}

// ---- EncodePassword

void TestCliUtils::encodePasswordMatchesSha1sum_data() {
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("digest");
    // printf '%s' TEXT | iconv -t UTF-16LE | sha1sum
    QTest::newRow("empty text") << ""
                                << "DA39A3EE5E6B4B0D3255BFEF95601890AFD80709";
    QTest::newRow("latin text") << "pinecrest"
                                << "197C6FB2A70BF132E8FE446620489A208B697D54";
    QTest::newRow("chinese text") << "打印机测试"
                                  << "6B448DBF888D723CD4857330F7E0DE26AD8A3C2B";
}

void TestCliUtils::encodePasswordMatchesSha1sum() {
    QFETCH(QString, password);
    QFETCH(QString, digest);
    QCOMPARE(TCliUtils::EncodePassword(password), digest);
}

// ---- GenerateNo, ParseDelimited

void TestCliUtils::generateNo_data() {
    QTest::addColumn<int>("number");
    QTest::addColumn<QString>("prefix");
    QTest::addColumn<QString>("suffix");
    QTest::newRow("padded to four digits") << 7 << "INV"
                                           << "-0007";
    QTest::newRow("five digits written whole") << 12345 << "INV"
                                               << "-12345";
    QTest::newRow("chinese prefix") << 42 << "发票"
                                    << "-0042";
}

void TestCliUtils::generateNo() {
    QFETCH(int, number);
    QFETCH(QString, prefix);
    QFETCH(QString, suffix);
    const QDate before = QDate::currentDate();
    const QString no = TCliUtils::GenerateNo(number, prefix);
    const QDate after = QDate::currentDate();
    const QString date = no.mid(prefix.size(), 10);
    QVERIFY2(date == before.toString("yyyy-MM-dd") || date == after.toString("yyyy-MM-dd"),
             qPrintable(no));
    QCOMPARE(no, prefix + date + suffix);
}

void TestCliUtils::parseDelimited_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("delimiter");
    QTest::addColumn<QStringList>("pieces");
    QTest::newRow("two pieces") << "a;b"
                                << ";" << QStringList{"a", "b"};
    QTest::newRow("empty text is one empty piece") << ""
                                                   << ";" << QStringList{""};
    QTest::newRow("two-character delimiter, trailing piece empty")
        << "a--b--"
        << "--" << QStringList{"a", "b", ""};
    QTest::newRow("empty pieces kept") << ";;"
                                       << ";" << QStringList{"", "", ""};
    QTest::newRow("no delimiter in the text") << "abc"
                                              << ";" << QStringList{"abc"};
    QTest::newRow("delimiter found left to right") << "a---b"
                                                   << "--" << QStringList{"a", "-b"};
    QTest::newRow("empty delimiter leaves the text whole") << "a;b"
                                                           << "" << QStringList{"a;b"};
}

void TestCliUtils::parseDelimited() {
    QFETCH(QString, text);
    QFETCH(QString, delimiter);
    QFETCH(QStringList, pieces);
    QStringList sl{"left over"};
    TCliUtils::ParseDelimited(sl, text, delimiter);
    QCOMPARE(sl, pieces);
}

// ---- SaveImage

void TestCliUtils::saveImageRescalesIntoEachFormat_data() {
    QTest::addColumn<int>("format");
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<int>("width");
    QTest::addColumn<QSize>("size");
    // Height = width * 300 div 400, truncated.
    QTest::newRow("bmp") << int(iffBmp) << QByteArray("bmp") << 200 << QSize(200, 150);
    QTest::newRow("png") << int(iffPng) << QByteArray("png") << 101 << QSize(101, 75);
    QTest::newRow("jpeg, height truncated")
        << int(iffJpeg) << QByteArray("jpeg") << 333 << QSize(333, 249);
    QTest::newRow("gif") << int(iffGif) << QByteArray("gif") << 120 << QSize(120, 90);
    QTest::newRow("tiff, height truncated")
        << int(iffTiff) << QByteArray("tiff") << 50 << QSize(50, 37);
    QTest::newRow("png enlarged") << int(iffPng) << QByteArray("png") << 800 << QSize(800, 600);
}

void TestCliUtils::saveImageRescalesIntoEachFormat() {
    QFETCH(int, format);
    QFETCH(QByteArray, name);
    QFETCH(int, width);
    QFETCH(QSize, size);
    // Named without an extension so that reading back goes by the content.
    const QString out =
        FDir.filePath("out-" + QString::number(format) + "-" + QString::number(width));
    const bool writable = QImageWriter::supportedImageFormats().contains(name);
    QCOMPARE(TCliUtils::SaveImage(FJpeg, out, format, width), writable);
    if (!writable) {
        QVERIFY(!QFile::exists(out));
        QSKIP("Qt has no writer for this format here; SaveImage rightly gave false");
    }
    QImageReader reader(out);
    reader.setDecideFormatFromContent(true);
    QCOMPARE(reader.format(), name);
    const QImage back = reader.read();
    QCOMPARE(back.size(), size);
    // The picture itself, scaled: red stays top-left, blue bottom-right.
    const QColor topLeft = back.pixelColor(size.width() / 4, size.height() / 4);
    const QColor bottomRight = back.pixelColor(size.width() * 3 / 4, size.height() * 3 / 4);
    QVERIFY2(topLeft.red() > 180 && topLeft.blue() < 60, qPrintable(topLeft.name()));
    QVERIFY2(bottomRight.blue() > 180 && bottomRight.red() < 60, qPrintable(bottomRight.name()));
}

void TestCliUtils::saveImageFailuresGiveFalse_data() {
    QTest::addColumn<QString>("source");
    QTest::addColumn<int>("format");
    QTest::addColumn<int>("width");
    QTest::addColumn<QString>("target");
    QTest::newRow("missing source file") << "missing.jpg" << int(iffPng) << 100 << "t1";
    QTest::newRow("source is not a picture") << "notes.txt" << int(iffPng) << 100 << "t2";
    QTest::newRow("width 0") << "sample.jpg" << int(iffPng) << 0 << "t3";
    QTest::newRow("negative width") << "sample.jpg" << int(iffPng) << -5 << "t4";
    QTest::newRow("height would be 0") << "sample.jpg" << int(iffPng) << 1 << "t5";
    QTest::newRow("hd photo") << "sample.jpg" << int(iffHdPhoto) << 100 << "t6";
    QTest::newRow("other") << "sample.jpg" << int(iffOther) << 100 << "t7";
    QTest::newRow("unknown format number") << "sample.jpg" << 9 << 100 << "t8";
    QTest::newRow("target folder missing") << "sample.jpg" << int(iffPng) << 100 << "no/such/t9";
}

void TestCliUtils::saveImageFailuresGiveFalse() {
    QFETCH(QString, source);
    QFETCH(int, format);
    QFETCH(int, width);
    QFETCH(QString, target);
    QFile notes(FDir.filePath("notes.txt"));
    QVERIFY(notes.open(QIODevice::WriteOnly));
    notes.write("plain text, no picture");
    notes.close();
    const QString out = FDir.filePath(target);
    QVERIFY(!TCliUtils::SaveImage(FDir.filePath(source), out, format, width));
    QVERIFY(!QFile::exists(out));
}

// ---- SendEMail

void TestCliUtils::sendEMailHandsFieldsAsArguments_data() {
    QTest::addColumn<QStringList>("mail");
    QTest::addColumn<QStringList>("args");
    // %D stands for the folder holding the attachments.
    QTest::newRow("recipient, subject and body")
        << QStringList{"to=ann@example.com", "subject=Labels", "body=Please print"}
        << QStringList{"--utf8", "--to",   "ann@example.com", "--subject",
                       "Labels", "--body", "Please print"};
    QTest::newRow("subject with quotes, spaces and semicolons reaches the client unchanged")
        << QStringList{"subject=He said \"print\"; 'rm -rf ~' $(id) `id`"}
        << QStringList{"--utf8", "--subject", "He said \"print\"; 'rm -rf ~' $(id) `id`"};
    QTest::newRow("body over several lines")
        << QStringList{"body=line one\nline two"}
        << QStringList{"--utf8", "--body", "line one\nline two"};
    QTest::newRow("attachments counted from 0 up to the first gap")
        << QStringList{"attachment0=%D/a.jpg", "attachment1=%D/b c.pdf", "attachment3=%D/a.jpg"}
        << QStringList{"--utf8", "--attach", "%D/a.jpg", "--attach", "%D/b c.pdf"};
    QTest::newRow("names ignore case, values may hold =")
        << QStringList{"Subject=a=b", "TO=bob@example.com"}
        << QStringList{"--utf8", "--to", "bob@example.com", "--subject", "a=b"};
    QTest::newRow("chinese subject")
        << QStringList{"subject=标签打印"} << QStringList{"--utf8", "--subject", "标签打印"};
    QTest::newRow("recipient that looks like an option stays a recipient")
        << QStringList{"to=--attach=/etc/passwd"}
        << QStringList{"--utf8", "--to", "--attach=/etc/passwd"};
    QTest::newRow("empty fields left out")
        << QStringList{"to=", "subject=", "body="} << QStringList{"--utf8"};
}

void TestCliUtils::sendEMailHandsFieldsAsArguments() {
    QFETCH(QStringList, mail);
    QFETCH(QStringList, args);
    MailStandIn standIn("exit 0");
    for (const char* name : {"a.jpg", "b c.pdf"}) {
        QFile f(standIn.dir.filePath(name));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("x");
    }
    mail.replaceInStrings("%D", standIn.dir.path());
    args.replaceInStrings("%D", standIn.dir.path());
    QCOMPARE(TCliUtils::SendEMail(nullptr, mail), 0);
    QCOMPARE(recordedArgs(standIn.record), args);
}

void TestCliUtils::sendEMailRefusesMissingAttachment() {
    MailStandIn standIn("exit 0");
    const QStringList mail{"to=ann@example.com", "attachment0=" + standIn.dir.filePath("gone.pdf")};
    QCOMPARE(TCliUtils::SendEMail(nullptr, mail), 2);
    QVERIFY(!QFile::exists(standIn.record));
}

void TestCliUtils::sendEMailWithoutMailClient_data() {
    QTest::addColumn<bool>("standIn");
    QTest::newRow("no xdg-email on the path") << false;
    QTest::newRow("xdg-email finds no mail client") << true;
}

void TestCliUtils::sendEMailWithoutMailClient() {
    QFETCH(bool, standIn);
    MailStandIn onlyOnPath(
        standIn ? "echo 'xdg-email: no method available' >&2\nexit 3" : QString(), true);
    QWidget owner;
    owner.show();
    QString text, title;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QWidget* parent = nullptr;
    WhenModal<QMessageBox>([&](QMessageBox* box) {
        text = box->text();
        title = box->windowTitle();
        icon = box->icon();
        parent = box->parentWidget();
        box->accept();
    });
    QVERIFY(TCliUtils::SendEMail(&owner, {"to=ann@example.com", "subject=x"}) != 0);
    QCOMPARE(text, QString("Error while trying to send email"));
    QCOMPARE(title, QString("Error"));
    QCOMPARE(icon, QMessageBox::Critical);
    QCOMPARE(parent, &owner);
}

void TestCliUtils::sendEMailDisablesWindowsWhileHandingOver() {
    MailStandIn standIn("sleep 1");
    QMainWindow window;
    window.show();
    bool enabledMeanwhile = true;
    QTimer::singleShot(300, [&] { enabledMeanwhile = window.isEnabled(); });
    QCOMPARE(TCliUtils::SendEMail(&window, {"subject=x"}), 0);
    QVERIFY(!enabledMeanwhile);
    QVERIFY(window.isEnabled());
}

void TestCliUtils::sendEMailDoesNotWaitForLingeringClient() {
    // Some clients keep xdg-email until the client quits.
    MailStandIn standIn("exec sleep 60");
    QMainWindow window;
    window.show();
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(TCliUtils::SendEMail(&window, {"subject=x"}), 0);
    QVERIFY2(clock.elapsed() < 30000, "waited for the mail client to quit");
    QVERIFY(window.isEnabled());
    QCOMPARE(recordedArgs(standIn.record), (QStringList{"--utf8", "--subject", "x"}));
}

// ---- BrowseDialog

void TestCliUtils::browseDialog_data() {
    QTest::addColumn<QString>("root");
    QTest::addColumn<QString>("initDir");
    QTest::addColumn<QString>("opensIn");
    QTest::addColumn<QString>("choose"); // empty: cancel
    QTest::addColumn<bool>("result");
    QTest::addColumn<QString>("directory");
    // Paths relative to a fresh folder holding root/a/b and elsewhere.
    QTest::newRow("opens at the initial folder, chosen as is") << "root"
                                                               << "root/a"
                                                               << "root/a"
                                                               << "root/a" << true << "root/a";
    QTest::newRow("a folder below chosen") << "root"
                                           << "root/a"
                                           << "root/a"
                                           << "root/a/b" << true << "root/a/b";
    QTest::newRow("no root: anywhere") << ""
                                       << "elsewhere"
                                       << "elsewhere"
                                       << "elsewhere" << true << "elsewhere";
    QTest::newRow("initial folder outside the root opens at the root") << "root"
                                                                       << "elsewhere"
                                                                       << "root"
                                                                       << "root" << true << "root";
    QTest::newRow("no initial folder opens at the root") << "root"
                                                         << ""
                                                         << "root"
                                                         << "root/a" << true << "root/a";
    QTest::newRow("cancel gives false and no folder") << "root"
                                                      << "root/a"
                                                      << "root/a"
                                                      << "" << false << "";
    QTest::newRow("a folder outside the root is not taken") << "root"
                                                            << "root/a"
                                                            << "root/a"
                                                            << "elsewhere" << false << "";
    QTest::newRow("a sibling sharing the root's prefix is outside") << "root"
                                                                    << "root/a"
                                                                    << "root/a"
                                                                    << "root2" << false << "";
}

void TestCliUtils::browseDialog() {
    QFETCH(QString, root);
    QFETCH(QString, initDir);
    QFETCH(QString, opensIn);
    QFETCH(QString, choose);
    QFETCH(bool, result);
    QFETCH(QString, directory);
    QTemporaryDir base;
    QDir(base.path()).mkpath("root/a/b");
    QDir(base.path()).mkpath("root2");
    QDir(base.path()).mkpath("elsewhere");
    auto full = [&](const QString& rel) { return rel.isEmpty() ? rel : base.filePath(rel); };
    QString shownIn, caption;
    bool dirsOnly = false;
    WhenModal<QFileDialog>([&](QFileDialog* dialog) {
        shownIn = dialog->directory().absolutePath();
        caption = dialog->windowTitle();
        dirsOnly = dialog->testOption(QFileDialog::ShowDirsOnly);
        if (choose.isEmpty()) {
            dialog->reject();
            return;
        }
        dialog->setDirectory(full(choose));
        static_cast<QDialog*>(dialog)->accept(); // QFileDialog hides it
    });
    QString chosen = "stale";
    QCOMPARE(TCliUtils::BrowseDialog("选择文件夹", full(root), chosen, full(initDir)), result);
    QCOMPARE(shownIn, full(opensIn));
    QCOMPARE(caption, QString("选择文件夹"));
    QVERIFY(dirsOnly);
    QCOMPARE(chosen, full(directory));
}

// ---- RunSql

void TestCliUtils::runSql_data() {
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QStringList>("names"); // setting names read back from the query
    QTest::addColumn<int>("settings");      // P_SETTING rows afterwards, seen elsewhere
    QTest::newRow("insert is committed")
        << "insert into P_SETTING (oid, setting_name, setting_value) values "
           "('00000000-0000-0000-0000-0000000000AA', 'extra', '1')"
        << QStringList{} << 11;
    QTest::newRow("rows readable after the connection went back")
        << "select setting_name from P_SETTING where setting_name starting with 'font' "
           "order by setting_name"
        << QStringList{"font_color", "font_name", "font_size", "font_style"} << 10;
    QTest::newRow("delete is committed")
        << "delete from P_SETTING where setting_name = 'offset_x'" << QStringList{} << 9;
}

void TestCliUtils::runSql() {
    QFETCH(QString, sql);
    QFETCH(QStringList, names);
    QFETCH(int, settings);
    TestDatabase db;
    auto query = TCliUtils::RunSql(sql);
    QStringList read;
    for (; !query->Eof(); query->Next())
        read << query->FieldAsString("SETTING_NAME");
    QCOMPARE(read, names);
    QCOMPARE(db.count("P_SETTING"), settings);
    // The connection went back with no transaction left open.
    TDatabaseLock conn;
    QVERIFY(!conn->InTransaction());
}

void TestCliUtils::runSqlFailureRollsBack_data() {
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QString>("error");
    QTest::newRow("statement the database cannot prepare")
        << "insert into P_SETTING (oid, setting_name) values ('X', 'a', 'too many')"
        << "Count of read-write columns does not equal count of values";
    QTest::newRow("statement that fails while it runs")
        << "insert into P_SETTING (oid, setting_name) select oid, 'copy' from P_SETTING"
        << "violation of PRIMARY or UNIQUE KEY constraint";
}

void TestCliUtils::runSqlFailureRollsBack() {
    QFETCH(QString, sql);
    QFETCH(QString, error);
    TestDatabase db;
    const QString message = ErrorMessage<EDatabaseError>([&] { TCliUtils::RunSql(sql); });
    QVERIFY2(message.contains(error), qPrintable(message));
    QCOMPARE(db.count("P_SETTING"), 10);
    TDatabaseLock conn;
    QVERIFY(!conn->InTransaction());
}

QTEST_MAIN(TestCliUtils)
#include "tst_cliutils.moc"
