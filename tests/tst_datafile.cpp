// Data files: CSV and TSV as spreadsheet programs write them, read into columns
// and rows.
#include "model/DataFile.h"

#include <QtTest>

class TestDataFile : public QObject {
    Q_OBJECT

private slots:
    void rowsAndColumns_data();
    void rowsAndColumns();
};

void TestDataFile::rowsAndColumns_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("delimiter");
    QTest::addColumn<QStringList>("columns");
    QTest::addColumn<QStringList>("rows"); // fields joined by "|"

    QTest::newRow("quotes hold delimiters, quotes and line breaks; blank lines are skipped")
        << QByteArray("名,备注\r\n张,\"a,b \"\"c\"\"\nd\"\r\n\r\n李,\r\n") << ","
        << QStringList{"名", "备注"} << QStringList{"张|a,b \"c\"\nd", "李|"};
    QTest::newRow("a tab in the first line makes it TSV, commas and all")
        << QByteArray("a\tb,c\n1\t2,3") << "\t" << QStringList{"a", "b,c"} << QStringList{"1|2,3"};
    QTest::newRow("the most frequent of the others: semicolons")
        << QByteArray("a;b;c,d\n1;2;3,4\n") << ";" << QStringList{"a", "b", "c,d"}
        << QStringList{"1|2|3,4"};
    QTest::newRow("columns without a name are named by their place")
        << QByteArray(" ,b\n1,2,3\n") << "," << QStringList{"列1", "b", "列3"}
        << QStringList{"1|2|3"};
}

void TestDataFile::rowsAndColumns() {
    QFETCH(QByteArray, bytes);
    const TDataTable table = ParseDataFile(bytes);
    QTEST(QString(table.Delimiter), "delimiter");
    QTEST(table.Columns, "columns");
    QStringList rows;
    for (const QStringList& row : table.Rows)
        rows << row.join(u'|');
    QTEST(rows, "rows");
}

QTEST_GUILESS_MAIN(TestDataFile)
#include "tst_datafile.moc"
