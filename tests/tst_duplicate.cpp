// Copies of items and projects, read back column by column from the database.
#include "TestSupport.h"

#include "model/Duplicate.h"
#include "model/ItemEditing.h"

#include <QTest>

namespace {

QVariantMap without(QVariantMap row, const QStringList& columns) {
    for (const QString& c : columns)
        row.remove(c);
    return row;
}

QString quoted(const QString& text) {
    return text.isNull() ? "null" : "'" + text + "'";
}

} // namespace

class TestDuplicate : public QObject {
    Q_OBJECT
    std::unique_ptr<TestStore> store;
    TProject* original() { return store->settings.ProjectList()->Items(0); }
    TPrintItem* item(TProject* p, const QString& name);
    // The stored file's row but what a copy has of its own.
    QVariantMap file(const QString& oid) {
        return without(store->db.rows("P_FILE", "oid = " + quoted(oid)).value(0), {"OID", "OWNER"});
    }
    // "甲", every field set, its items too: a text and two pictured images; a data file.
    void storeProject();

private slots:
    void init() { store = std::make_unique<TestStore>(); }
    void cleanup() { store.reset(); }
    void copyName_data();
    void copyName();
    void itemCopy_data();
    void itemCopy();
    void projectCopy_data();
    void projectCopy();
    void refusedCopyLeavesNothing_data();
    void refusedCopyLeavesNothing();
};

TPrintItem* TestDuplicate::item(TProject* p, const QString& name) {
    for (int i = 0; i < p->ItemList()->Count(); ++i)
        if (p->ItemList()->Items(i)->ItemName() == name)
            return p->ItemList()->Items(i);
    return nullptr;
}

void TestDuplicate::storeProject() {
    QList<TPrintItem*> items;
    for (int i = 0; i < 3; ++i) {
        items << new TPrintItem;
        SetEveryField(*items.last(), {"ItemName", "ItemType", "FileId"});
        items.last()->SetItemName(QString("票号%1").arg(i));
        items.last()->SetItemType(i ? itImage : itText);
        if (i) {
            TCFile picture;
            picture.FileName = "logo";
            picture.FileType = ".jpg";
            picture.SetBody(QByteArray("\xFF\xD8\0pic", 6) + QByteArray::number(i));
            store->files.SaveFile(picture);
            items.last()->SetFileId(picture.Oid);
        }
    }
    const QString oid =
        TestProject("甲").with([](TProject& p) { SetEveryField(p, {"ProjectName"}); }).store(items);
    TProjectData data{QString(), "票据.csv", {u';', false}, "a;b\n1;2\n"};
    store->files.SaveProjectData(oid, data);
    store->settings.Reload();
}

void TestDuplicate::copyName_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("taken");
    QTest::addColumn<int>("limit");
    QTest::addColumn<QString>("copy");
    const QString x200(200, 'x'), cjk100 = QString("𠀀").repeated(100);
    QTest::newRow("first copy") << "票号" << QStringList{"票号"} << 200 << "票号 副本";
    QTest::newRow("counts on past taken ones")
        << "票号" << QStringList{"票号 副本", "票号 副本2"} << 200 << "票号 副本3";
    QTest::newRow("a copy's copy counts on from the original")
        << "票号 副本" << QStringList{"票号", "票号 副本"} << 200 << "票号 副本2";
    QTest::newRow("taken in another case") << "Ab" << QStringList{"ab 副本"} << 200 << "Ab 副本2";
    QTest::newRow("long name cut to the limit")
        << x200 << QStringList{} << 200 << QString(197, 'x') + " 副本";
    QTest::newRow("cut, numbered")
        << x200 << QStringList{QString(197, 'x') + " 副本"} << 200 << QString(196, 'x') + " 副本2";
    QTest::newRow("never half a character")
        << cjk100 << QStringList{} << 200 << QString("𠀀").repeated(98) + " 副本";
}

void TestDuplicate::copyName() {
    QFETCH(QString, name);
    QFETCH(QStringList, taken);
    QFETCH(int, limit);
    QTEST(CopyName(name, taken, limit), "copy");
}

void TestDuplicate::itemCopy_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("pictureGone");
    QTest::newRow("text") << "票号0" << false;
    QTest::newRow("image: its picture copied") << "票号1" << false;
    QTest::newRow("image whose picture is gone: no reference") << "票号1" << true;
}

void TestDuplicate::itemCopy() {
    QFETCH(QString, name);
    QFETCH(bool, pictureGone);
    storeProject();
    TPrintItem* from = item(original(), name);
    if (pictureGone)
        store->files.DeleteFileFromDB(from->FileId());
    const auto rowOf = [&](TPrintItem* i) {
        return store->db.rows("P_ITEM", "oid = " + quoted(i->OID())).value(0);
    };
    const QVariantMap before = rowOf(from);
    const int files = store->db.count("P_FILE");
    TPrintItem* copy = DuplicateItem(*from, store->files);
    QCOMPARE(DuplicateItem(*from, store->files)->ItemName(), name + " 副本2");
    QCOMPARE(copy->ItemName(), name + " 副本");
    QCOMPARE(int(copy->ObjectState()), int(posClean));
    QVERIFY(original()->ItemList()->IndexOf(copy) >= 0);
    QCOMPARE(rowOf(from), before);
    const QStringList own{"OID", "ITEM_NAME", "FILE_ID"};
    QCOMPARE(without(rowOf(copy), own), without(before, own));
    const bool pictured = !from->FileId().isEmpty() && !pictureGone;
    QCOMPARE(store->db.count("P_FILE"), files + (pictured ? 2 : 0));
    QCOMPARE(rowOf(copy)["FILE_ID"].toString().isEmpty(), !pictured);
    if (pictured) {
        QCOMPARE(file(copy->FileId()), file(from->FileId()));
        QCOMPARE(store->files.GetFileFromDb(copy->FileId())->Owner, copy->OID());
    }
}

void TestDuplicate::projectCopy_data() {
    QTest::addColumn<QString>("delimiter");
    QTest::addColumn<QString>("header");
    QTest::newRow("data file, delimiter chosen") << ";"
                                                 << "FALSE";
    QTest::newRow("data file, nulls stay nulls") << QString() << QString();
}

void TestDuplicate::projectCopy() {
    QFETCH(QString, delimiter);
    QFETCH(QString, header);
    storeProject();
    const QString o = quoted(original()->OID());
    store->db.exec(QString("update P_DATA set delimiter = %1, header_row = %2")
                       .arg(quoted(delimiter), quoted(header)));
    store->db.exec("insert into P_RUN (oid, project_id) values ('run', " + o + ")");
    store->db.exec("update P_PROJECT set serial_start = 500"); // printed since it was read
    const auto originals = [&] {
        return QList<QList<QVariantMap>>{store->db.rows("P_PROJECT", "oid = " + o),
                                         store->db.rows("P_ITEM", "project_id = " + o),
                                         store->db.rows("P_DATA", "project_id = " + o),
                                         store->db.rows("P_FILE", "1 = 1 order by oid")};
    };
    const auto before = originals();
    TProject* copy = DuplicateProject(*original(), store->settings, store->files);
    QCOMPARE(DuplicateProject(*original(), store->settings, store->files)->ProjectName(),
             "甲 副本2");
    QCOMPARE(copy->ProjectName(), "甲 副本");
    const QString c = quoted(copy->OID());
    const auto mine = [&](const QString& table) {
        return store->db.rows(table, "project_id = " + c);
    };
    QCOMPARE(without(store->db.rows("P_PROJECT", "oid = " + c).value(0), {"OID", "PROJECT_NAME"}),
             without(before[0][0], {"OID", "PROJECT_NAME"}));
    QCOMPARE(copy->ProjectSerialStart(), 500);
    QCOMPARE(mine("P_ITEM").size(), 3);
    for (const QVariantMap& row : mine("P_ITEM")) {
        TPrintItem* from = item(original(), row["ITEM_NAME"].toString());
        const QVariantMap theirs =
            store->db.rows("P_ITEM", "oid = " + quoted(from->OID())).value(0);
        QCOMPARE(without(row, {"OID", "PROJECT_ID", "FILE_ID"}),
                 without(theirs, {"OID", "PROJECT_ID", "FILE_ID"}));
        QCOMPARE(row["FILE_ID"].toString().isEmpty(), from->FileId().isEmpty());
        QVERIFY(row["FILE_ID"].toString().isEmpty() || row["FILE_ID"] != theirs["FILE_ID"]);
        QCOMPARE(file(row["FILE_ID"].toString()), file(from->FileId()));
    }
    QCOMPARE(without(mine("P_DATA").value(0), {"PROJECT_ID", "FILE_ID"}),
             without(before[2][0], {"PROJECT_ID", "FILE_ID"}));
    QCOMPARE(file(mine("P_DATA")[0]["FILE_ID"].toString()),
             file(before[2][0]["FILE_ID"].toString()));
    QCOMPARE(store->files.ReadProjectTable(copy->OID())->Rows,
             store->files.ReadProjectTable(original()->OID())->Rows);
    QCOMPARE(mine("P_RUN").size(), 0);
    const auto after = originals();
    QCOMPARE(after.mid(0, 3), before.mid(0, 3));
    for (const QVariantMap& row : before[3]) // the original's files, among the copies'
        QVERIFY(after[3].contains(row));
}

void TestDuplicate::refusedCopyLeavesNothing_data() {
    QTest::addColumn<QString>("table"); // whose inserts the database refuses; "gone": the project
    QTest::addColumn<bool>("project");  // a project copied, else an item
    QTest::newRow("project: its row") << "P_PROJECT" << true;
    QTest::newRow("project: an item's") << "P_ITEM" << true;
    QTest::newRow("project: a picture's") << "P_FILE" << true;
    QTest::newRow("project: its data's") << "P_DATA" << true;
    QTest::newRow("project deleted by another station") << "gone" << true;
    QTest::newRow("item: its picture's") << "P_FILE" << false;
}

void TestDuplicate::refusedCopyLeavesNothing() {
    QFETCH(QString, table);
    QFETCH(bool, project);
    storeProject();
    if (table == "gone") {
        store->db.exec("delete from P_PROJECT");
    } else {
        store->db.exec("create exception refused 'refused'");
        store->db.exec("create trigger refuse_it for " + table +
                       " before insert as begin exception refused; end");
    }
    const QStringList tables{"P_PROJECT", "P_ITEM", "P_FILE", "P_DATA"};
    const auto counts = [&] {
        QList<int> n{store->settings.ProjectList()->Count(), original()->ItemList()->Count()};
        for (const QString& t : tables)
            n << store->db.count(t);
        return n;
    };
    const QList<int> before = counts();
    const QString error = ErrorMessage<ESaveRefused>([&] {
        project ? (void)DuplicateProject(*original(), store->settings, store->files)
                : (void)DuplicateItem(*item(original(), "票号1"), store->files);
    });
    QVERIFY2(error.startsWith(project ? "项目 \"甲\" 没有复制，数据库中没有留下任何部分。\n"
                                      : "打印项 \"票号1\" 没有复制，数据库中没有留下任何部分。\n"),
             qPrintable(error));
    QVERIFY(error.contains(table == "gone" ? "已不在数据库中" : "refused"));
    QCOMPARE(counts(), before);
}

QTEST_MAIN(TestDuplicate)
#include "tst_duplicate.moc"
