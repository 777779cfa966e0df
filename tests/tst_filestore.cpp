// Pictures stored in P_FILE.
#include "TestSupport.h"

#include "model/manager/FileMgrImpl.h"

#include <QRandomGenerator>
#include <QTest>

class TestFileStore : public QObject {
    Q_OBJECT

private slots:
    void newFileObjectHasFreshOidAndEmptyBody();
    void saveInsertsThenUpdates();
    void largePictureRoundTripsByteForByte();
    void getFileFromDbReturnsStoredFields();
    void missingRowsGiveEmptyResults_data();
    void missingRowsGiveEmptyResults();
    void deleteRemovesOnlyThatRow();
    void deleteOfEmptyOidRunsNothing();
    void oidIsBoundNotPasted();
    void readsNeverCommit();
    void extractFileNameNoExt_data();
    void extractFileNameNoExt();
};

void TestFileStore::newFileObjectHasFreshOidAndEmptyBody() {
    TCFile a, b;
    QCOMPARE(a.Oid.size(), 36);
    QVERIFY(a.Oid != b.Oid);
    QCOMPARE(a.FileSize, 0);
    QVERIFY(a.Body.isEmpty());
    a.SetBody("abc");
    QCOMPARE(a.FileSize, 3);
}

void TestFileStore::saveInsertsThenUpdates() {
    TestDatabase db;
    TFileMgr mgr;
    TCFile file;
    file.Owner = "OWNER";
    file.FileName = "logo";
    file.FileType = ".jpg";
    file.SetBody("first");
    StatementRecorder rec;
    QVERIFY(mgr.SaveFile(file));
    QCOMPARE(rec.sqls(), (QStringList{"SELECT body from P_FILE where oid = :oid",
                                      "insert into P_FILE values(:oid,:owner,:filename,:filetype,:filesize,:body)"}));
    QCOMPARE(rec.statements.at(1).param("filesize").toInt(), 5);
    file.SetBody("second body");
    file.FileName = "logo2";
    rec.statements.clear();
    QVERIFY(mgr.SaveFile(file));
    QCOMPARE(rec.sqls().size(), 2);
    QVERIFY(rec.sqls().at(1).startsWith("update P_FILE set owner = :owner,file_name =:filename"));
    QCOMPARE(db.count("P_FILE"), 1);
    QCOMPARE(db.scalar("select file_name from P_FILE").toString(), QString("logo2"));
    QCOMPARE(db.scalar("select file_size from P_FILE").toInt(), 11);
    QCOMPARE(mgr.getFileData(file.Oid), QByteArray("second body"));
}

void TestFileStore::largePictureRoundTripsByteForByte() {
    TestDatabase db;
    TFileMgr mgr;
    QByteArray body(1024 * 1024 + 7, Qt::Uninitialized);
    QRandomGenerator gen(42);
    for (char& c : body)
        c = char(gen.bounded(256));
    body[10] = '\0';
    TCFile file;
    file.FileName = QString::fromUtf8("图片");
    file.SetBody(body);
    mgr.SaveFile(file);
    const QByteArray back = mgr.getFileData(file.Oid);
    QCOMPARE(back.size(), body.size());
    QVERIFY(back == body);
    QCOMPARE(mgr.GetFileFromDb(file.Oid)->FileName, QString::fromUtf8("图片"));
}

void TestFileStore::getFileFromDbReturnsStoredFields() {
    TestDatabase db;
    TFileMgr mgr;
    TCFile file;
    file.Owner = "ITEM-OID";
    file.FileName = "photo";
    file.FileType = ".jpg";
    file.SetBody("jpegbytes");
    mgr.SaveFile(file);
    auto back = mgr.GetFileFromDb(file.Oid);
    QCOMPARE(back->Oid, file.Oid);
    QCOMPARE(back->Owner, QString("ITEM-OID"));
    QCOMPARE(back->FileName, QString("photo"));
    QCOMPARE(back->FileType, QString(".jpg"));
    QCOMPARE(back->Body, QByteArray("jpegbytes"));
    QCOMPARE(back->FileSize, 0); // file_size is not read
}

void TestFileStore::missingRowsGiveEmptyResults_data() {
    QTest::addColumn<QString>("oid");
    QTest::newRow("unknown oid") << "00000000-0000-0000-0000-000000000000";
    QTest::newRow("empty oid") << "";
}

void TestFileStore::missingRowsGiveEmptyResults() {
    QFETCH(QString, oid);
    TestDatabase db;
    TFileMgr mgr;
    QVERIFY(mgr.getFileData(oid).isEmpty());
    auto file = mgr.GetFileFromDb(oid);
    QCOMPARE(file->Oid.size(), 36);
    QVERIFY(file->Oid != oid);
    QVERIFY(file->Body.isEmpty());
    // Saving it later inserts a row under its own new oid.
    mgr.SaveFile(*file);
    QCOMPARE(db.count("P_FILE"), 1);
}

void TestFileStore::deleteRemovesOnlyThatRow() {
    TestDatabase db;
    TFileMgr mgr;
    TCFile a, b;
    mgr.SaveFile(a);
    mgr.SaveFile(b);
    mgr.DeleteFileFromDB(a.Oid);
    QCOMPARE(db.count("P_FILE"), 1);
    QVERIFY(!mgr.checkFile(b));
    QVERIFY(mgr.checkFile(a));
}

void TestFileStore::deleteOfEmptyOidRunsNothing() {
    TestDatabase db;
    TFileMgr mgr;
    StatementRecorder rec;
    mgr.DeleteFileFromDB("");
    QCOMPARE(rec.statements.size(), 0);
}

void TestFileStore::oidIsBoundNotPasted() {
    TestDatabase db;
    TFileMgr mgr;
    TCFile keep;
    mgr.SaveFile(keep);
    // An oid carrying SQL must neither break the statement nor reach other rows.
    const QString hostile = "x' or '1'='1";
    StatementRecorder rec;
    mgr.DeleteFileFromDB(hostile);
    QVERIFY(!rec.sqls().at(0).contains(hostile));
    QCOMPARE(rec.statements.at(0).param("oid").toString(), hostile);
    QCOMPARE(db.count("P_FILE"), 1);
    QVERIFY(mgr.getFileData(hostile).isEmpty());
}

void TestFileStore::readsNeverCommit() {
    TestDatabase db;
    TFileMgr mgr;
    TCFile file;
    mgr.SaveFile(file);
    mgr.getFileData(file.Oid);
    mgr.GetFileFromDb(file.Oid);
    // Every connection went back to the pool with no transaction left open.
    TDatabaseLock conn;
    QVERIFY(!conn->InTransaction());
    conn->StartTransaction();
}

void TestFileStore::extractFileNameNoExt_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("name");
    QTest::newRow("two dots") << "/home/u/pics/logo.big.jpg" << "logo.big";
    QTest::newRow("no extension") << "logo" << "logo";
    QTest::newRow("windows path") << "C:\\pics\\seal.jpeg" << "seal";
    QTest::newRow("dot in folder") << "/a.b/logo" << "logo";
    QTest::newRow("chinese") << "/图片/印章.JPG" << "印章";
}

void TestFileStore::extractFileNameNoExt() {
    QFETCH(QString, path);
    QFETCH(QString, name);
    QCOMPARE(TFileMgr::ExtractFileNameNoExt(path), name);
}

QTEST_MAIN(TestFileStore)
#include "tst_filestore.moc"
