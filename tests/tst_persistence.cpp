// Statements, object states and round trips of the persistence layer on real
// database files.
#include "TestSupport.h"

#include "model/bom/SettingBom.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>

namespace {

TProject* addProject(TProjectList& list, const QString& name) {
    auto* p = new TProject;
    p->SetProjectName(name);
    list.Add(p);
    return p;
}

TPrintItem* addItem(TProject& project, const QString& name) {
    auto* item = new TPrintItem;
    item->SetItemName(name);
    project.ItemList()->Add(item);
    return item;
}

const QString kItemColumns = QStringLiteral(
    "oid, project_id, item_name, item_value, item_char_extra, item_type, serial_has_pre, "
    "serial_pre_text, serial_has_postfix, serial_postfix_text, serial_is_fill_zero, "
    "serial_length, serial_step, serial_decrease, item_rotate_degree, item_x, item_y, "
    "text_width, line_height, use_default_font, font_name, font_size, font_color, font_style, "
    "is_active, allow_newline, outline_margin, outline_pen_width, outline_pen_Color, "
    "outline_pen_Style, barcode_type, barcode_option, barcode_position, barcode_text_offset_x, "
    "barcode_text_offset_y, barcode_module, barcode_ratio, qrcode_quiet_zone, qrcode_encoding, "
    "file_id");

QString placeholders(const QString& columns) {
    QStringList list = columns.split(QStringLiteral(", "));
    for (QString& c : list)
        c.prepend(QLatin1Char(':'));
    return list.join(QStringLiteral(", "));
}

} // namespace

class TestPersistence : public QObject {
    Q_OBJECT

private slots:
    void markingChangesFollowsStateRules_data();
    void markingChangesFollowsStateRules();
    void deletedReachesOwnedObjects();

    void readStatementsWithAndWithoutOwnerCondition();
    void emptyDatabaseReadsEmptyList();
    void readsProjectsWithItemsInDatabaseOrder();
    void nullColumnsReadAsEmptyAndZero();

    void schemaAndDeclaredColumnsAgree_data();
    void schemaAndDeclaredColumnsAgree();
    void insertListsColumnsInRegistrationOrder();
    void newItemOfCleanProjectInsertsOnlyTheItem();
    void updateNeverSetsKeys();
    void cascadingDeleteRemovesItemsFirstInOneTransaction();
    void failingInsertKeepsObjectForRetry();
    void insertWithoutOwnerFails();
    void roundTripKeepsEveryValue();
    void reusedStatementsCarryEachObjectsOwnValues_data();
    void reusedStatementsCarryEachObjectsOwnValues();
    void queryRunAgainTakesOnlyNewParameters_data();
    void queryRunAgainTakesOnlyNewParameters();
    void savesShareOnePreparedStatement_data();
    void savesShareOnePreparedStatement();
    void writeSessionConvertsForTheColumn_data();
    void writeSessionConvertsForTheColumn();

    void lostConnectionIsReplaced_data();
    void lostConnectionIsReplaced();
    void transactionMisuseIsReported_data();
    void transactionMisuseIsReported();
    void connectionFailureNamesTheDatabase();
    void unknownLayerIsReported();
    void twoProcessesShareOneDatabase();
};

void TestPersistence::markingChangesFollowsStateRules_data() {
    QTest::addColumn<int>("from");
    QTest::addColumn<bool>("dirty");
    QTest::addColumn<int>("to");
    QTest::newRow("empty becomes create") << int(posEmpty) << true << int(posCreate);
    QTest::newRow("pk becomes update") << int(posPK) << true << int(posUpdate);
    QTest::newRow("clean becomes update") << int(posClean) << true << int(posUpdate);
    QTest::newRow("create stays create") << int(posCreate) << true << int(posCreate);
    QTest::newRow("update stays update") << int(posUpdate) << true << int(posUpdate);
    QTest::newRow("delete stays delete") << int(posDelete) << true << int(posDelete);
    QTest::newRow("deleted stays deleted") << int(posDeleted) << true << int(posDeleted);
    QTest::newRow("not dirty is clean") << int(posCreate) << false << int(posClean);
}

void TestPersistence::markingChangesFollowsStateRules() {
    QFETCH(int, from);
    QFETCH(bool, dirty);
    QFETCH(int, to);
    TPageSetting setting; // has no OID until first marked dirty
    setting.SetObjectState(TPersistentObjectState(from));
    setting.SetDirty(dirty);
    QCOMPARE(int(setting.ObjectState()), to);
    if (from == posEmpty)
        QCOMPARE(setting.OID().size(), 36);
}

void TestPersistence::deletedReachesOwnedObjects() {
    TProjectList list;
    TProject* p = addProject(list, "p");
    TPrintItem* a = addItem(*p, "a");
    TPrintItem* b = addItem(*p, "b");
    b->SetObjectState(posDeleted);
    p->SetDeleted(true);
    QCOMPARE(int(p->ObjectState()), int(posDelete));
    QCOMPARE(int(a->ObjectState()), int(posDelete));
    QCOMPARE(int(b->ObjectState()), int(posDeleted));
    QVERIFY(a->Deleted());
}

void TestPersistence::readStatementsWithAndWithoutOwnerCondition() {
    TestDatabase db;
    const QString oid = TestProject("p").store({"x"});
    StatementRecorder rec;
    TProjectList list;
    list.Read();
    QCOMPARE(rec.sqls(), (QStringList{"select * from P_PROJECT",
                                      "select * from P_ITEM where project_id = :project_id"}));
    QCOMPARE(rec.statements.at(0).params.size(), 0);
    QCOMPARE(rec.statements.at(1).param("project_id").toString(), oid);
}

void TestPersistence::emptyDatabaseReadsEmptyList() {
    TestDatabase db;
    TProjectList list;
    list.Read();
    QCOMPARE(list.Count(), 0);
    QCOMPARE(int(list.ObjectState()), int(posClean));
}

void TestPersistence::readsProjectsWithItemsInDatabaseOrder() {
    TestDatabase db;
    const QString first = TestProject("first").store({"c", "a", "b"});
    const QString second = TestProject("second").store();
    TProjectList list;
    list.Read();
    QCOMPARE(list.Count(), 2);
    TProject* p1 = list.Items(0)->OID() == first ? list.Items(0) : list.Items(1);
    TProject* p2 = list.Items(0)->OID() == second ? list.Items(0) : list.Items(1);
    QCOMPARE(p1->ItemList()->Count(), 3);
    QCOMPARE(p2->ItemList()->Count(), 0);
    QCOMPARE(p1->ItemList()->Items(0)->ItemName(), QString("c"));
    QCOMPARE(p1->ItemList()->Items(2)->ItemName(), QString("b"));
    QCOMPARE(p1->ItemList()->Items(1)->Owner(), p1);
    QCOMPARE(int(p1->ObjectState()), int(posClean));
    QCOMPARE(int(p1->ItemList()->Items(1)->ObjectState()), int(posClean));
    QCOMPARE(int(p2->ItemList()->ObjectState()), int(posClean));
}

void TestPersistence::nullColumnsReadAsEmptyAndZero() {
    TestDatabase db;
    db.exec("insert into P_PROJECT (oid) values ('11111111-2222-3333-4444-555555555555')");
    db.exec("insert into P_ITEM (oid, project_id) values "
            "('AAAAAAAA-2222-3333-4444-555555555555', '11111111-2222-3333-4444-555555555555')");
    db.exec("update P_SETTING set setting_value = NULL where setting_name = 'font_name'");
    TProjectList projects;
    projects.Read();
    TProject* p = projects.Items(0);
    QCOMPARE(p->ProjectName(), QString(""));
    QCOMPARE(p->ProjectPageWidth(), 0.0);
    QCOMPARE(p->ProjectSerialEnd(), 0);
    TPrintItem* item = p->ItemList()->Items(0);
    QCOMPARE(item->ItemLineHeight(), 0.0);
    QCOMPARE(item->ItemSerialStep(), 0);
    QCOMPARE(item->ItemActive(), QString(""));
    TPageSettingList settings;
    settings.Read();
    QVERIFY(settings.GetItemByName("font_name"));
    QCOMPARE(settings.GetItemByName("font_name")->value(), QString(""));
    QVERIFY(!settings.GetItemByName("font_name")->value().isNull());
}

void TestPersistence::schemaAndDeclaredColumnsAgree_data() {
    QTest::addColumn<QString>("table");
    QTest::newRow("projects") << "P_PROJECT";
    QTest::newRow("items") << "P_ITEM";
    QTest::newRow("settings") << "P_SETTING";
}

void TestPersistence::schemaAndDeclaredColumnsAgree() {
    // A column on one side only, or of another length, loses values, fails saves
    // or lets the editors take what the database refuses.
    QFETCH(QString, table);
    RegisterBusinessObjects();
    QStringList declared, schema; // "column length", the length 0 but for VARCHARs
    for (const TClassInfo* cls :
         {&TProject::StaticClass(), &TPrintItem::StaticClass(), &TPageSetting::StaticClass()})
        for (const TMapping& m : *PersistenceManager().MappingsOf(*cls))
            if (m.Table == table)
                declared << m.Column.toLower() + ' ' + QString::number(ColumnLength(*cls, m.Path));
    QFile file(QStringLiteral(KOVA_SOURCE_DIR "/db/schema.sql"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QRegularExpression create(QStringLiteral(R"(CREATE TABLE %1 \((.*?)\n\);)").arg(table),
                                    QRegularExpression::DotMatchesEverythingOption);
    const QRegularExpression column(QStringLiteral(R"(^ *(\w+) +(?:VARCHAR\((\d+)\))?)"),
                                    QRegularExpression::MultilineOption);
    const QString body = create.match(QString::fromUtf8(file.readAll())).captured(1);
    for (auto it = column.globalMatch(body); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        schema << m.captured(1).toLower() + ' ' + QString::number(m.captured(2).toInt());
    }
    for (const QString& c : QStringList(declared)) // what both hold; the rest is drift
        if (schema.removeOne(c))
            declared.removeOne(c);
    QCOMPARE(declared.join(", "), schema.join(", "));
}

void TestPersistence::insertListsColumnsInRegistrationOrder() {
    TestDatabase db;
    TProjectList list;
    TProject* p = addProject(list, "p");
    TPrintItem* item = addItem(*p, "i");
    item->SetItemX(12.5);
    item->SetItemType(3);
    p->SetDirty(true);
    item->SetDirty(true);
    StatementRecorder rec;
    p->Save();
    QCOMPARE(rec.statements.size(), 2);
    QVERIFY(rec.sqls().at(0).startsWith("insert into P_PROJECT (oid, project_name, page_width,"));
    QCOMPARE(rec.sqls().at(1), QString("insert into P_ITEM (%1) values (%2)")
                                   .arg(kItemColumns, placeholders(kItemColumns)));
    const RecordedStatement& ins = rec.statements.at(1);
    QCOMPARE(ins.params.size(), 40);
    QCOMPARE(ins.param("project_id").toString(), p->OID());
    QCOMPARE(ins.param("oid").toString(), item->OID());
    QCOMPARE(ins.param("item_x").typeId(), int(QMetaType::Double));
    QCOMPARE(ins.param("item_type").typeId(), int(QMetaType::Int));
    QCOMPARE(ins.param("item_type").toInt(), 3);
    QCOMPARE(ins.param("is_active").toString(), QString("TRUE"));
    QCOMPARE(int(p->ObjectState()), int(posClean));
    QCOMPARE(int(item->ObjectState()), int(posClean));
    QCOMPARE(db.count("P_ITEM"), 1);
}

void TestPersistence::newItemOfCleanProjectInsertsOnlyTheItem() {
    TestDatabase db;
    TestProject("p").store();
    TProjectList list;
    list.Read();
    TProject* p = list.Items(0);
    TPrintItem* item = addItem(*p, "new");
    item->SetDirty(true);
    StatementRecorder rec;
    p->Save();
    QCOMPARE(rec.statements.size(), 1);
    QVERIFY(rec.sqls().at(0).startsWith("insert into P_ITEM"));
    QCOMPARE(rec.statements.at(0).param("project_id").toString(), p->OID());
}

void TestPersistence::updateNeverSetsKeys() {
    TestDatabase db;
    TestProject("p").store({"i"});
    TProjectList list;
    list.Read();
    TPrintItem* item = list.Items(0)->ItemList()->Items(0);
    item->SetItemValue("changed");
    item->SetDirty(true);
    item->SetDirty(true);
    StatementRecorder rec;
    item->Save();
    QCOMPARE(rec.statements.size(), 1);
    const QString sql = rec.sqls().at(0);
    QVERIFY2(sql.startsWith("update P_ITEM set item_name =:item_name, item_value =:item_value,"),
             qPrintable(sql));
    QVERIFY2(sql.endsWith("file_id =:file_id where oid =:oid"), qPrintable(sql));
    QVERIFY(!sql.contains("project_id"));
    QCOMPARE(sql.count(" =:"), 38 + 1);
    QCOMPARE(rec.statements.at(0).param("oid").toString(), item->OID());
    QCOMPARE(db.scalar("select item_value from P_ITEM").toString(), QString("changed"));
    QCOMPARE(int(item->ObjectState()), int(posClean));
}

void TestPersistence::cascadingDeleteRemovesItemsFirstInOneTransaction() {
    TestDatabase db;
    TestProject("p").store({"a", "b"});
    TestProject("keep").store({"c"});
    TProjectList list;
    list.Read();
    TProject* p = list.Items(0)->ProjectName() == "p" ? list.Items(0) : list.Items(1);
    const QString a = p->ItemList()->Items(0)->OID();
    p->SetDeleted(true);
    StatementRecorder rec;
    p->Save();
    QCOMPARE(rec.sqls(), (QStringList{"delete from P_ITEM where oid =:oid",
                                      "delete from P_ITEM where oid =:oid",
                                      "delete from P_PROJECT where oid =:oid"}));
    QCOMPARE(rec.statements.at(0).param("oid").toString(), a);
    QCOMPARE(rec.statements.at(2).param("oid").toString(), p->OID());
    QCOMPARE(int(p->ObjectState()), int(posDeleted));
    QCOMPARE(db.count("P_PROJECT"), 1);
    QCOMPARE(db.count("P_ITEM"), 1);
    list.Remove(p);
    QCOMPARE(list.Count(), 1);
}

void TestPersistence::failingInsertKeepsObjectForRetry() {
    TestDatabase db;
    TProjectList list;
    TProject* p = addProject(list, "p");
    p->SetDirty(true);
    p->Save();
    // A second project under the same key: the insert fails and nothing changes.
    TProjectList other;
    TProject* clash = addProject(other, "clash");
    clash->SetOID(p->OID());
    TPrintItem* item = addItem(*clash, "i");
    clash->SetDirty(true);
    item->SetDirty(true);
    QVERIFY_THROWS_EXCEPTION(EDatabaseError, clash->Save());
    QCOMPARE(int(clash->ObjectState()), int(posCreate));
    QCOMPARE(int(item->ObjectState()), int(posCreate));
    QCOMPARE(db.count("P_ITEM"), 0);
    // Once the clash is gone the retry inserts each object exactly once.
    p->SetDeleted(true);
    p->Save();
    clash->SetDirty(true);
    StatementRecorder rec;
    clash->Save();
    QCOMPARE(rec.statements.size(), 2);
    QCOMPARE(db.count("P_PROJECT"), 1);
    QCOMPARE(db.count("P_ITEM"), 1);
    QCOMPARE(int(item->ObjectState()), int(posClean));
}

void TestPersistence::insertWithoutOwnerFails() {
    TestDatabase db;
    TPrintItem item;
    item.SetDirty(true);
    QVERIFY_THROWS_EXCEPTION(EPersistenceError, item.Save());
    QCOMPARE(int(item.ObjectState()), int(posCreate));
    QCOMPARE(db.count("P_ITEM"), 0);
}

void TestPersistence::roundTripKeepsEveryValue() {
    TestDatabase db;
    TProjectList list;
    TProject* p = addProject(list, QString::fromUtf8("合格证 №1 «test»"));
    p->SetProjectPageWidth(100.25);
    p->SetProjectOffsetY(-2.5);
    p->SetProjectPaperOrientation(1);
    p->SetProjectSerialStart(-2147483647 - 1);
    p->SetProjectNotes(QString::fromUtf8("备注\n第二行"));
    TPrintItem* item = addItem(*p, QString::fromUtf8("序列号"));
    item->SetItemValue(QString::fromUtf8("条形码 ünïcödé 😀"));
    item->SetBarcodeModule(0.33);
    item->SetQRcodeEncoding(5);
    item->SetItemFontStyle("[fsBoldfsItalic]");
    p->SetDirty(true);
    item->SetDirty(true);
    p->Save();

    TProjectList back;
    back.Read();
    QCOMPARE(back.Count(), 1);
    TProject* q = back.Items(0);
    for (const TPropInfo& prop : TProject::StaticClass().Props)
        if (prop.Kind != TPropKind::Object)
            QCOMPARE(q->GetPropValue(prop.Name), p->GetPropValue(prop.Name));
    QCOMPARE(q->OID(), p->OID());
    QCOMPARE(q->ItemList()->Count(), 1);
    TPrintItem* r = q->ItemList()->Items(0);
    for (const TPropInfo& prop : TPrintItem::StaticClass().Props)
        QCOMPARE(r->GetPropValue(prop.Name), item->GetPropValue(prop.Name));
}

void TestPersistence::reusedStatementsCarryEachObjectsOwnValues_data() {
    QTest::addColumn<QList<int>>("items"); // item count of each project
    QTest::newRow("one project") << QList<int>{3};
    QTest::newRow("empty projects between full ones") << QList<int>{2, 0, 3, 0, 1};
    QTest::newRow("many projects of one item") << QList<int>{1, 1, 1, 1, 1, 1};
}

// One save and one read run each statement text many times with other values;
// every row must get its own object's values, and every list only its own rows.
void TestPersistence::reusedStatementsCarryEachObjectsOwnValues() {
    QFETCH(QList<int>, items);
    TestDatabase db;
    TProjectList list;
    for (int p = 0; p < items.size(); ++p) {
        TProject* project = addProject(list, QStringLiteral("P%1").arg(p));
        project->SetProjectSerialStart(p);
        project->SetDirty(true);
        for (int i = 0; i < items.at(p); ++i) {
            TPrintItem* item = addItem(*project, QStringLiteral("P%1-I%2").arg(p).arg(i));
            item->SetItemX(p * 10 + i + 0.5);
            item->SetDirty(true);
        }
    }
    StatementRecorder rec;
    list.Save();
    QStringList expected;
    for (int p = 0; p < items.size(); ++p) {
        expected << "P_PROJECT";
        for (int i = 0; i < items.at(p); ++i)
            expected << "P_ITEM";
    }
    QStringList tables;
    for (const QString& sql : rec.sqls())
        tables << sql.section(' ', 2, 2);
    QCOMPARE(tables, expected);

    // Change every item of the even projects, delete the odd ones.
    for (int p = 0; p < list.Count(); ++p) {
        TProject* project = list.Items(p);
        if (p % 2) {
            project->SetDeleted(true);
            continue;
        }
        for (int i = 0; i < project->ItemList()->Count(); ++i) {
            TPrintItem* item = project->ItemList()->Items(i);
            item->SetItemValue(item->ItemName() + "*");
            item->SetDirty(true);
        }
    }
    list.Save();

    TProjectList back;
    back.Read();
    QCOMPARE(back.Count(), int(items.size() + 1) / 2);
    for (int k = 0; k < back.Count(); ++k) {
        TProject* project = back.Items(k);
        const int p = project->ProjectSerialStart();
        QCOMPARE(project->ProjectName(), QStringLiteral("P%1").arg(p));
        QCOMPARE(p % 2, 0);
        QStringList names;
        for (int i = 0; i < project->ItemList()->Count(); ++i) {
            TPrintItem* item = project->ItemList()->Items(i);
            names << item->ItemName();
            QCOMPARE(item->ItemValue(), item->ItemName() + "*");
            QCOMPARE(item->ItemX(), p * 10 + item->ItemName().section('I', 1).toInt() + 0.5);
        }
        names.sort();
        QStringList own;
        for (int i = 0; i < items.at(p); ++i)
            own << QStringLiteral("P%1-I%2").arg(p).arg(i);
        QCOMPARE(names, own);
    }
}

void TestPersistence::queryRunAgainTakesOnlyNewParameters_data() {
    QTest::addColumn<bool>("setAgain");
    QTest::addColumn<QString>("result"); // setting value read, or the error
    QTest::newRow("new value reads the new row") << true << "font_size";
    QTest::newRow("value not set again is reported") << false << "Parameter name not found";
}

void TestPersistence::queryRunAgainTakesOnlyNewParameters() {
    QFETCH(bool, setAgain);
    QFETCH(QString, result);
    TestDatabase db;
    TDatabaseLock conn;
    conn->StartTransaction();
    auto query = conn->CreateQuery();
    const QString sql = "select setting_name from P_SETTING where setting_name = :name";
    query->SetSQL(sql);
    query->ParamAsString("NAME", "font_name");
    query->Open();
    QCOMPARE(query->FieldAsString("setting_name"), QString("font_name"));
    query->SetSQL(sql);
    if (setAgain)
        query->ParamAsString("name", "font_size");
    QString got;
    try {
        query->Open();
        for (; !query->Eof(); query->Next())
            got += query->FieldAsString("setting_name");
    } catch (const EPersistenceError& e) {
        got = e.Message();
    }
    QCOMPARE(got, result);
}

void TestPersistence::savesShareOnePreparedStatement_data() {
    QTest::addColumn<int>("failAt"); // the save that fails, -1 for none
    QTest::addColumn<QString>("failure");
    QTest::addColumn<QString>("words"); // what the editor's message is chosen by
    QTest::newRow("all succeed") << -1 << QString() << QString();
    QTest::newRow("name too long") << 3 << "long"
                                   << "string right truncation";
    QTest::newRow("first one breaks the key") << 0 << "key"
                                              << "violation of PRIMARY or UNIQUE KEY";
}

// Each save is a transaction of its own, yet they all run the insert prepared
// once; a failed one leaves nothing behind and the next still works.
void TestPersistence::savesShareOnePreparedStatement() {
    QFETCH(int, failAt);
    QFETCH(QString, failure);
    QFETCH(QString, words);
    TestDatabase db;
    TProjectList list;
    TProject* p = addProject(list, "p");
    p->SetDirty(true);
    p->Save();
    const QString taken = TestProject("other").store({"taken"});
    const QString takenItem = db.scalar("select oid from P_ITEM").toString();
    QStringList stored;
    for (int i = 0; i < 8; ++i) {
        TPrintItem* item = addItem(*p, QStringLiteral("第%1项").arg(i));
        item->SetItemX(i + 0.125);
        if (i == failAt && failure == "long")
            item->SetItemName(QString(201, QChar(0x4E00)));
        if (i == failAt && failure == "key")
            item->SetOID(takenItem);
        item->SetDirty(true);
        bool saved = false;
        try {
            item->Save();
            QVERIFY(i != failAt);
            stored << item->ItemName();
            saved = true;
        } catch (const EDatabaseError& e) {
            QCOMPARE(i, failAt);
            QVERIFY2(e.Message().contains(words), qPrintable(e.Message()));
            QCOMPARE(int(item->ObjectState()), int(posCreate));
        }
        const int prepared = db.scalar("select count(*) from MON$STATEMENTS "
                                       "where MON$SQL_TEXT starting with 'insert into P_ITEM'")
                                 .toInt();
        QVERIFY2(saved ? prepared == 1 : prepared <= 1, qPrintable(QString::number(prepared)));
    }
    QCOMPARE(db.scalar("select count(*) from P_ITEM where project_id = '" + p->OID() + "'").toInt(),
             int(stored.size()));
    TProjectList back;
    back.Read();
    for (int k = 0; k < back.Count(); ++k) {
        TProject* project = back.Items(k);
        if (project->OID() == taken)
            continue;
        QStringList names;
        for (int i = 0; i < project->ItemList()->Count(); ++i) {
            TPrintItem* item = project->ItemList()->Items(i);
            names << item->ItemName();
            QCOMPARE(item->ItemX(), item->ItemName().mid(1).chopped(1).toInt() + 0.125);
        }
        names.sort();
        stored.sort();
        QCOMPARE(names, stored);
    }
}

void TestPersistence::writeSessionConvertsForTheColumn_data() {
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QVariantList>("values");
    QTest::addColumn<QString>("check");
    QTest::addColumn<QVariant>("expected"); // invalid: the statement fails
    QByteArray picture(200000, '\0');
    for (int i = 0; i < picture.size(); i += 7)
        picture[i] = char(i % 251);
    QTest::newRow("bytes into a blob")
        << "insert into P_FILE (oid, body, file_size) values (?, ?, ?)"
        << QVariantList{"f", picture, int(picture.size())}
        << "select body from P_FILE where file_size = 200000" << QVariant(picture);
    QTest::newRow("nulls") << "insert into P_FILE (oid, owner, body) values (?, ?, ?)"
                           << QVariantList{"f", QVariant(),
                                           QVariant(QMetaType::fromType<QString>())}
                           << "select count(*) from P_FILE where owner is null and body is null"
                           << QVariant(1);
    QTest::newRow("text and numbers converted by the column")
        << "insert into P_PROJECT (oid, serial_start, page_width, project_name) values (?, ?, ?, ?)"
        << QVariantList{"p", "77", 5, 2.5}
        << "select serial_start || '/' || page_width || '/' || project_name from P_PROJECT"
        << QVariant("77/5.000000000000000/2.5");
    QTest::newRow("a number the column cannot hold")
        << "insert into P_PROJECT (oid, serial_start) values (?, ?)"
        << QVariantList{"p", qlonglong(1) << 40} << "select count(*) from P_PROJECT" << QVariant();
    QTest::newRow("text that is no number")
        << "insert into P_PROJECT (oid, serial_start) values (?, ?)" << QVariantList{"p", "12a"}
        << "select count(*) from P_PROJECT" << QVariant();
    QTest::newRow("wrong number of values")
        << "insert into P_PROJECT (oid, serial_start) values (?, ?)" << QVariantList{"p"}
        << "select count(*) from P_PROJECT" << QVariant();
}

void TestPersistence::writeSessionConvertsForTheColumn() {
    QFETCH(QString, sql);
    QFETCH(QVariantList, values);
    QFETCH(QString, check);
    QFETCH(QVariant, expected);
    TestDatabase db;
    {
        TDatabaseLock conn;
        TWriteSession& writes = conn->Writes();
        writes.StartTransaction();
        try {
            writes.Execute(sql, values);
            writes.Commit();
            QVERIFY2(expected.isValid(), "the statement ran");
        } catch (const Exception& e) {
            QVERIFY2(!expected.isValid(), qPrintable(e.Message()));
            writes.Rollback();
            QCOMPARE(db.scalar(check).toInt(), 0);
            return;
        }
    }
    QCOMPARE(db.scalar(check), expected);
}

void TestPersistence::lostConnectionIsReplaced_data() {
    QTest::addColumn<bool>("save"); // the first task after the loss: a save, or a read
    QTest::addColumn<int>("pauseMs");
    QTest::addColumn<bool>("firstWorks");
    QTest::newRow("read at once") << false << 0 << false;
    QTest::newRow("save at once") << true << 0 << false;
    QTest::newRow("read after a pause") << false << 2100 << true;
    QTest::newRow("save after a pause") << true << 2100 << true;
}

// Another client ends the program's attachments, as a server restart does. The
// task that meets the dead connection may fail; none after it does, and a
// connection unused for a while is checked before it is used.
void TestPersistence::lostConnectionIsReplaced() {
    QFETCH(bool, save);
    QFETCH(int, pauseMs);
    QFETCH(bool, firstWorks);
    TestDatabase db;
    const QString oid = TestProject("p").store({"a", "b"});
    {
        TDatabaseLock first; // the pool's first connection, which the next task takes
        TDatabaseLock other;
        other->StartTransaction();
        auto end = other->CreateQuery();
        end->SetSQL("delete from MON$ATTACHMENTS where MON$ATTACHMENT_ID <> CURRENT_CONNECTION");
        end->ExecSQL();
        other->Commit();
    }
    QTest::qWait(pauseMs);

    TProjectList list;
    TProject* p = addProject(list, "q");
    p->SetDirty(true);
    auto task = [&] {
        if (save) {
            p->Save();
        } else {
            TProjectList read;
            read.Read();
            QCOMPARE(read.Count(), 1);
            QCOMPARE(read.Items(0)->ItemList()->Count(), 2);
        }
    };
    bool worked = true;
    try {
        task();
    } catch (const EDatabaseError&) {
        worked = false;
    }
    QCOMPARE(worked, firstWorks);
    if (!worked)
        task();
    QCOMPARE(db.count("P_PROJECT"), save ? 2 : 1);
    QCOMPARE(db.scalar("select count(*) from P_ITEM where project_id = '" + oid + "'").toInt(), 2);
}

void TestPersistence::transactionMisuseIsReported_data() {
    QTest::addColumn<bool>("startTwice");
    QTest::addColumn<QString>("message");
    QTest::newRow("second start")
        << true << "Attempt to start a transaction but transaction already exists.";
    QTest::newRow("commit without start") << false << "Attempt to commit but not in a transaction.";
}

void TestPersistence::transactionMisuseIsReported() {
    QFETCH(bool, startTwice);
    QFETCH(QString, message);
    TestDatabase db;
    TDatabaseLock conn;
    QCOMPARE(ErrorMessage<EPersistenceError>([&] {
                 if (startTwice) {
                     conn->StartTransaction();
                     conn->StartTransaction();
                 } else {
                     conn->Commit();
                 }
             }),
             message);
}

void TestPersistence::connectionFailureNamesTheDatabase() {
    EnsurePersistence();
    QTemporaryDir dir;
    const QString path = dir.filePath("data/KOVAUTF8.FDB");
    try {
        PersistenceManager().ConnectDatabase(path, "SYSDBA", "pinecrest", "", "FBAPI");
        QFAIL("connected to a missing file");
    } catch (const EPersistenceError& e) {
        // Lines a terminal shows as lines; nothing of the password, not even its length.
        const QStringList lines = e.Message().split('\n');
        QCOMPARE(lines.at(0), QString("Cannot connect to database."));
        QCOMPARE(lines.at(1), "Database name:       " + path);
        QCOMPARE(lines.at(2), QString("User name:           SYSDBA"));
        QCOMPARE(lines.at(3), QString("Persistence layer:   FBAPI"));
        QCOMPARE(lines.at(4), QString());
        QCOMPARE(lines.at(5), QString("Message:"));
        QCOMPARE(lines.at(6), QString("Error attempting to connect to database."));
        QVERIFY2(lines.at(7).contains("KOVAUTF8.FDB"), qPrintable(lines.at(7)));
        QVERIFY2(!e.Message().contains('\r') && !e.Message().contains("XXX"),
                 qPrintable(e.Message()));
        QCOMPARE(lines.last(), QString("Error code: -902"));
    }
    QVERIFY(!PersistenceManager().Connected());
}

void TestPersistence::unknownLayerIsReported() {
    EnsurePersistence();
    QCOMPARE(ErrorMessage<EPersistenceError>([] {
                 PersistenceManager().ConnectDatabase("x.fdb", "SYSDBA", "pinecrest", "", "IBX");
             }),
             QString("Unable to find persistence layer <IBX>"));
}

void TestPersistence::twoProcessesShareOneDatabase() {
    TestDatabase db; // this process holds the file open too
    TestProject("parent").store({"x"});
    const QString client = QStringLiteral(KOVA_BIN_DIR "/kova-dbclient");
    QProcess a, b;
    a.start(client, {db.path(), "A", "25"});
    b.start(client, {db.path(), "B", "25"});
    QVERIFY(a.waitForFinished(120000));
    QVERIFY(b.waitForFinished(120000));
    QCOMPARE(a.exitCode(), 0);
    QCOMPARE(b.exitCode(), 0);
    QVERIFY2(a.readAllStandardError().isEmpty(), "client A reported an error");
    QVERIFY2(b.readAllStandardError().isEmpty(), "client B reported an error");
    QCOMPARE(db.count("P_PROJECT"), 51);
    QCOMPARE(db.count("P_ITEM"), 51);
    TProjectList list;
    list.Read();
    QCOMPARE(list.Count(), 51);
}

QTEST_MAIN(TestPersistence)
#include "tst_persistence.moc"
