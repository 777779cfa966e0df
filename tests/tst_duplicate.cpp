// Copies of items and projects, read back column by column from the database.
#include "TestSupport.h"

#include "model/Duplicate.h"
#include "model/ItemEditing.h"

#include <QTest>

class TestDuplicate : public QObject {
    Q_OBJECT
    std::unique_ptr<TestStore> s;
    TProject* original() { return s->settings.ProjectList()->Items(0); }
    TPrintItem* item(const QString& name) { return ItemNamed(*original(), name); }
    // A row as stored, but for the columns a copy has of its own.
    QVariantMap row(const QString& table, const QString& key, const QString& value,
                    const QStringList& own) {
        QVariantMap r = s->db.rows(table, key + " = '" + value + "'").value(0);
        for (const QString& c : own)
            r.remove(c);
        return r;
    }
    QList<QVariantMap> itemRows(const TPrintItem* i) {
        return {row("P_ITEM", "oid", i->OID(), {"OID", "PROJECT_ID", "ITEM_NAME", "FILE_ID"}),
                row("P_FILE", "oid", i->FileId(), {"OID", "OWNER"})};
    }
    // "甲" and its items "票号0" (text), "票号1", "票号2" (pictured), every field
    // set; a data file.
    void storeProject() {
        QList<TPrintItem*> items;
        for (int i = 0; i < 3; ++i) {
            items << new TPrintItem;
            SetEveryField(*items.last(), {"ItemName", "ItemType", "FileId"});
            items.last()->SetItemName(QString("票号%1").arg(i));
            items.last()->SetItemType(i ? itImage : itText);
            TCFile picture;
            picture.SetBody(QByteArray("\xFF\xD8\0", 3) + QByteArray::number(i));
            if (i)
                s->files.SaveFile(picture), items.last()->SetFileId(picture.Oid);
        }
        const QString oid = TestProject("甲")
                                .with([](TProject& p) { SetEveryField(p, {"ProjectName"}); })
                                .store(items);
        TProjectData data{QString(), "票据.csv", {u';', false}, "a;b\n1;2\n"};
        s->files.SaveProjectData(oid, data);
        s->settings.Reload();
    }

private slots:
    void init() { s = std::make_unique<TestStore>(); }
    void cleanup() { s.reset(); }
    void copyName_data();
    void copyName();
    void itemCopy_data();
    void itemCopy();
    void projectCopy_data();
    void projectCopy();
    void refusedCopyLeavesNothing_data();
    void refusedCopyLeavesNothing();
};

void TestDuplicate::copyName_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("taken");
    QTest::addColumn<QString>("copy"); // within 200 characters
    const QString x200(200, 'x'), x197(197, 'x'), cjk = "𠀀";
    QTest::newRow("counts on past taken ones")
        << "票号" << QStringList{"票号 副本"} << "票号 副本2";
    QTest::newRow("a copy's copy counts on from the original")
        << "票号 副本2" << QStringList{"票号 副本", "票号 副本2"} << "票号 副本3";
    QTest::newRow("taken in another case") << "Ab" << QStringList{"ab 副本"} << "Ab 副本2";
    QTest::newRow("long name cut, not the suffix")
        << x200 << QStringList{x197 + " 副本"} << x197.left(196) + " 副本2";
    QTest::newRow("never half a character")
        << cjk.repeated(100) << QStringList{} << cjk.repeated(98) + " 副本";
}

void TestDuplicate::copyName() {
    QFETCH(QString, name);
    QFETCH(QStringList, taken);
    QTEST(CopyName(name, taken, 200), "copy");
}

void TestDuplicate::itemCopy_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("pictureGone"); // the copy then refers to no picture either
    QTest::newRow("text") << "票号0" << false;
    QTest::newRow("image: its picture copied") << "票号1" << false;
    QTest::newRow("image whose picture is gone") << "票号1" << true;
}

void TestDuplicate::itemCopy() {
    QFETCH(QString, name);
    QFETCH(bool, pictureGone);
    storeProject();
    TPrintItem* from = item(name);
    if (pictureGone)
        s->files.DeleteFileFromDB(from->FileId());
    const auto before = itemRows(from);
    TPrintItem* copy = DuplicateItem(*from, s->files);
    QCOMPARE(DuplicateItem(*from, s->files)->ItemName(), name + " 副本2");
    QCOMPARE(copy->ItemName(), name + " 副本");
    QVERIFY(original()->ItemList()->IndexOf(copy) >= 0 && copy->ObjectState() == posClean);
    QCOMPARE(itemRows(from), before);
    QCOMPARE(itemRows(copy), before);
    QCOMPARE(copy->FileId().isEmpty(), pictureGone || name == "票号0");
    QVERIFY(copy->FileId().isEmpty() || copy->FileId() != from->FileId());
    QCOMPARE(s->db.rows("P_FILE", "owner = '" + copy->OID() + "'").size(),
             int(!pictureGone && name != "票号0"));
}

void TestDuplicate::projectCopy_data() {
    QTest::addColumn<QString>("delimiter"); // P_DATA's, as stored
    QTest::newRow("delimiter chosen") << "';'";
    QTest::newRow("nulls stay nulls") << "null";
}

void TestDuplicate::projectCopy() {
    QFETCH(QString, delimiter);
    storeProject();
    const QString o = original()->OID();
    s->db.exec("update P_DATA set header_row = null, delimiter = " + delimiter);
    s->db.exec("insert into P_RUN (oid, project_id) values ('run', '" + o + "')");
    s->db.exec("update P_PROJECT set serial_start = 500"); // printed since it was read
    const auto rowsOf = [&](const QString& p) {
        return QList<QVariantMap>{row("P_PROJECT", "oid", p, {"OID", "PROJECT_NAME"}),
                                  row("P_DATA", "project_id", p, {"PROJECT_ID", "FILE_ID"}),
                                  row("P_FILE", "owner", p, {"OID", "OWNER"})};
    };
    const QList<QVariantMap> before = rowsOf(o);
    TProject* copy = DuplicateProject(*original(), s->settings, s->files);
    QCOMPARE(DuplicateProject(*original(), s->settings, s->files)->ProjectName(), "甲 副本2");
    QCOMPARE(copy->ProjectName(), "甲 副本");
    QCOMPARE(rowsOf(o), before);
    QCOMPARE(rowsOf(copy->OID()), before);
    QCOMPARE(copy->ProjectSerialStart(), 500);
    QCOMPARE(s->db.rows("P_ITEM", "project_id = '" + copy->OID() + "'").size(), 3);
    for (int i = 0; i < copy->ItemList()->Count(); ++i) {
        const TPrintItem* mine = copy->ItemList()->Items(i);
        QCOMPARE(itemRows(mine), itemRows(item(mine->ItemName())));
        QVERIFY(mine->FileId() != item(mine->ItemName())->FileId() || mine->FileId().isEmpty());
    }
    QCOMPARE(s->db.rows("P_RUN", "project_id = '" + copy->OID() + "'").size(), 0);
    QCOMPARE(s->files.ReadProjectTable(copy->OID())->Rows, s->files.ReadProjectTable(o)->Rows);
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
        s->db.exec("delete from P_PROJECT");
    } else {
        s->db.refuse(table, "insert");
    }
    const auto counts = [&] {
        QList<int> n{s->settings.ProjectList()->Count(), original()->ItemList()->Count()};
        for (const char* t : {"P_PROJECT", "P_ITEM", "P_FILE", "P_DATA"})
            n << s->db.count(t);
        return n;
    };
    const QList<int> before = counts();
    const QString error = ErrorMessage<ESaveRefused>([&] {
        project ? (void)DuplicateProject(*original(), s->settings, s->files)
                : (void)DuplicateItem(*item("票号1"), s->files);
    });
    QVERIFY2(error.startsWith(QString(project ? "项目 \"甲\"" : "打印项 \"票号1\"") +
                              " 没有复制，数据库中没有留下任何部分。\n") &&
                 error.contains(table == "gone" ? "已不在数据库中" : "refused"),
             qPrintable(error));
    QCOMPARE(counts(), before);
}

QTEST_MAIN(TestDuplicate)
#include "tst_duplicate.moc"
