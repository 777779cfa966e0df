#include "model/bom/PrintBom.h"

#include <QRegularExpression>
#include <QtTest>
#include <functional>

namespace {

// Counts its own destruction, to prove who releases a drawable.
class TCountedItem : public TTextItem {
public:
    explicit TCountedItem(int& released) : FReleased(released) {}
    ~TCountedItem() override { ++FReleased; }

private:
    int& FReleased;
};

using Getter = std::function<QVariant(const TTextItem&)>;

} // namespace

class TestPageModel : public QObject {
    Q_OBJECT

private slots:
    void textItemDefaults_data() {
        QTest::addColumn<Getter>("get");
        QTest::addColumn<QVariant>("expected");
        auto row = [](const char* name, Getter get, QVariant expected) {
            QTest::newRow(name) << get << expected;
        };
        row(
            "RotateDegree 0", [](const TTextItem& t) { return QVariant(t.RotateDegree()); }, 0.0);
        row(
            "x -1", [](const TTextItem& t) { return QVariant(t.x()); }, -1.0);
        row(
            "y -1", [](const TTextItem& t) { return QVariant(t.y()); }, -1.0);
        row(
            "TextWidth 0", [](const TTextItem& t) { return QVariant(t.TextWidth()); }, 0.0);
        row(
            "LineHeight 0", [](const TTextItem& t) { return QVariant(t.LineHeight()); }, 0.0);
        row(
            "no Font", [](const TTextItem& t) { return QVariant(t.Font() == nullptr); }, true);
        row(
            "AllowNewLine off", [](const TTextItem& t) { return QVariant(t.AllowNewLine()); },
            false);
        row(
            "DrawOutline off", [](const TTextItem& t) { return QVariant(t.DrawOutline()); }, false);
        row(
            "OutlineMargin 0", [](const TTextItem& t) { return QVariant(t.OutlineMargin()); }, 0.0);
        row(
            "OutlinePenWidth 5", [](const TTextItem& t) { return QVariant(t.OutlinePenWidth()); },
            5);
        row(
            "OutlinePenColor window colour",
            [](const TTextItem& t) { return QVariant(t.OutlinePenColor()); },
            QVariant(quint32(0xFF000005)));
        row(
            "OutlinePenStyle clear",
            [](const TTextItem& t) { return QVariant(int(t.OutlinePenStyle())); }, 5);
        row(
            "BarcodeType 0", [](const TTextItem& t) { return QVariant(t.BarcodeType()); }, 0);
        row(
            "BarcodeOption 0", [](const TTextItem& t) { return QVariant(t.BarcodeOption()); }, 0);
        row(
            "BarcodePosition 0", [](const TTextItem& t) { return QVariant(t.BarcodePosition()); },
            0);
        row(
            "BarcodeTextOffsetX 0",
            [](const TTextItem& t) { return QVariant(t.BarcodeTextOffsetX()); }, 0);
        row(
            "BarcodeTextOffsetY 20",
            [](const TTextItem& t) { return QVariant(t.BarcodeTextOffsetY()); }, 20);
        row(
            "BarcodeModule 0.5", [](const TTextItem& t) { return QVariant(t.BarcodeModule()); },
            0.5);
        row(
            "BarcodeRatio 2", [](const TTextItem& t) { return QVariant(t.BarcodeRatio()); }, 2.0);
        row(
            "QRcodeQuietZone 3", [](const TTextItem& t) { return QVariant(t.QRcodeQuietZone()); },
            3);
        row(
            "QRcodeEncoding 0", [](const TTextItem& t) { return QVariant(t.QRcodeEncoding()); }, 0);
        row(
            "ItemName empty", [](const TTextItem& t) { return QVariant(t.ItemName()); }, QString());
        row(
            "ItemType 0", [](const TTextItem& t) { return QVariant(t.ItemType()); }, 0);
        row(
            "Text empty", [](const TTextItem& t) { return QVariant(t.Text()); }, QString());
        row(
            "ItemCharExtra 0", [](const TTextItem& t) { return QVariant(t.ItemCharExtra()); }, 0);
        row(
            "ImageBody empty", [](const TTextItem& t) { return QVariant(t.ImageBody()); },
            QByteArray());
    }
    void textItemDefaults() {
        QFETCH(Getter, get);
        QFETCH(QVariant, expected);
        const TTextItem item;
        QCOMPARE(get(item), expected);
    }

    void textItemIdentifier() {
        const TTextItem a;
        const TTextItem b;
        static const QRegularExpression guid(
            QStringLiteral("^[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}$"));
        QVERIFY2(guid.match(a.OID()).hasMatch(), qPrintable(a.OID()));
        QVERIFY(a.OID() != b.OID());
    }

    void pageDefaults() {
        const TCPrint page;
        QCOMPARE(page.PageWidth(), 0.0);
        QCOMPARE(page.PageHeight(), 0.0);
        QCOMPARE(page.OffsetX(), 0);
        QCOMPARE(page.OffsetY(), 0);
        QVERIFY(page.Font() == nullptr);
        QVERIFY(page.DeviceDefault().isEmpty());
        QVERIFY(page.DeviceName().isEmpty());
        QVERIFY(page.PaperOrientation().isEmpty());
        QCOMPARE(page.Lines().Count(), 0);
        QCOMPARE(page.Count(), 0);
    }

    // Steps: L item line, P page-break line, B line-break line, p a line
    // handed in with its PageBreak flag set, S a stripe.
    void count_data() {
        QTest::addColumn<QString>("steps");
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("lines");
        QTest::newRow("empty page") << "" << 0 << 0;
        QTest::newRow("three lines and a page break") << "LLLP" << 3 << 4;
        QTest::newRow("then a line break is counted") << "LLLPB" << 4 << 5;
        QTest::newRow("page break flag on an added line") << "LpL" << 2 << 3;
        QTest::newRow("stripes add nothing") << "LSSL" << 2 << 2;
        QTest::newRow("only breaks") << "PPB" << 1 << 3;
    }
    void count() {
        QFETCH(QString, steps);
        QFETCH(int, count);
        QFETCH(int, lines);
        TCPrint page;
        for (QChar step : steps) {
            switch (step.unicode()) {
            case u'L': {
                auto line = std::make_unique<TLineOfText>();
                line->Add(new TTextItem);
                page.AddLine(std::move(line));
                break;
            }
            case u'p': {
                auto line = std::make_unique<TLineOfText>();
                line->PageBreak = true;
                page.AddLine(std::move(line));
                break;
            }
            case u'P':
                page.AddPageBreak();
                break;
            case u'B':
                page.AddLineBreak();
                break;
            case u'S':
                page.AddStripe(1, 2, 3, QStringLiteral("dash"));
                break;
            }
        }
        QCOMPARE(page.Count(), count);
        QCOMPARE(page.Lines().Count(), lines);
    }

    void breakLinesAreMarkers_data() {
        QTest::addColumn<bool>("pageBreak");
        QTest::newRow("line break") << false;
        QTest::newRow("page break") << true;
    }
    void breakLinesAreMarkers() {
        QFETCH(bool, pageBreak);
        TCPrint page;
        if (pageBreak)
            page.AddPageBreak();
        else
            page.AddLineBreak();
        const TLineOfText* line = page.Lines().Items(0);
        QCOMPARE(line->Count(), 0);
        QCOMPARE(line->PageBreak, pageBreak);
        QCOMPARE(line->LineBreak, !pageBreak);
        QCOMPARE(line->IsStripe, false);
    }

    void linesKeepOrder() {
        TCPrint page;
        for (const char* name : {"first", "second", "third"}) {
            auto line = std::make_unique<TLineOfText>();
            auto item = new TTextItem;
            item->SetItemName(QString::fromLatin1(name));
            line->Add(item);
            page.AddLine(std::move(line));
        }
        QCOMPARE(page.Lines().Items(0)->Items(0)->ItemName(), QStringLiteral("first"));
        QCOMPARE(page.Lines().Items(2)->Items(0)->ItemName(), QStringLiteral("third"));
    }

    // Releasing a page releases every line and every drawable with it.
    void pageOwnsEverything() {
        int released = 0;
        {
            TCPrint page;
            page.SetFont(std::make_unique<TFont>(TFont{QStringLiteral("宋体"), 12, clBlack, {}}));
            for (int i = 0; i < 3; ++i) {
                auto line = std::make_unique<TLineOfText>();
                auto item = new TCountedItem(released);
                item->SetFont(std::make_unique<TFont>());
                item->SetImageBody(QByteArray(64, 'x'));
                line->Add(item);
                page.AddLine(std::move(line));
            }
            QCOMPARE(released, 0);
        }
        QCOMPARE(released, 3);
    }
};

QTEST_GUILESS_MAIN(TestPageModel)
#include "tst_pagemodel.moc"
