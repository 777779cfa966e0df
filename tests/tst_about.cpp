// The about box and opening the help page in the desktop's viewer.
#include "TestSupport.h"

#include "view/ABOUT.h"

#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QSet>
#include <QStringDecoder>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

// Takes the URLs the program hands to the desktop instead of opening a browser.
class UrlCatcher : public QObject {
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl& url) { urls << url; }
};

class TestAbout : public QObject {
    Q_OBJECT

private slots:
    void boxNamesTheProduct();
    void boxClosesWithOk_data();
    void boxClosesWithOk();
    void boxIsCentredOnScreen();
    void globalLivesWhileShown();
    void helpOpensPageBesideProgram_data();
    void helpOpensPageBesideProgram();
    void helpPageIsWellFormed();
    void helpWithoutBrowserSaysWhere_data();
    void helpWithoutBrowserSaysWhere();
};

void TestAbout::boxNamesTheProduct() {
    TAboutBox box;
    QCOMPARE(box.windowTitle(), QString("关于"));
    QCOMPARE(box.findChild<QLabel*>("ProductName")->text(), QString("KOVA 自定义定位打印 v5.1"));
    auto* icon = box.findChild<QLabel*>("ProgramIcon");
    QCOMPARE(icon->size(), QSize(96, 96));
    QVERIFY(icon->hasScaledContents());
    QVERIFY(!icon->pixmap().isNull());
    auto* ok = box.findChild<QPushButton*>("OKButton");
    QCOMPARE(ok->text(), QString("&OK"));
    QVERIFY(ok->isDefault());
    QCOMPARE(box.palette().color(QPalette::Window), box.palette().color(QPalette::Base));
}

void TestAbout::boxClosesWithOk_data() {
    QTest::addColumn<QString>("how");
    QTest::newRow("OK button") << "button";
    QTest::newRow("Enter") << "enter";
    QTest::newRow("Escape") << "escape";
    QTest::newRow("window closed") << "close";
}

void TestAbout::boxClosesWithOk() {
    QFETCH(QString, how);
    TAboutBox box;
    QTimer::singleShot(0, [&] {
        auto* ok = box.findChild<QPushButton*>("OKButton");
        if (how == "button")
            QTest::mouseClick(ok, Qt::LeftButton);
        else if (how == "enter")
            QTest::keyClick(&box, Qt::Key_Return);
        else if (how == "escape")
            QTest::keyClick(&box, Qt::Key_Escape);
        else
            box.close();
    });
    QCOMPARE(box.exec(), int(QDialog::Accepted));
    QVERIFY(!box.isVisible());
}

void TestAbout::boxIsCentredOnScreen() {
    QWidget owner;
    owner.setGeometry(5, 5, 200, 150);
    owner.show();
    TAboutBox box(&owner);
    box.show();
    const QPoint centre = box.screen()->availableGeometry().center();
    QVERIFY2((box.frameGeometry().center() - centre).manhattanLength() <= 2,
             qPrintable(QString("centre %1,%2")
                            .arg(box.frameGeometry().center().x())
                            .arg(box.frameGeometry().center().y())));
}

void TestAbout::globalLivesWhileShown() {
    QWidget owner;
    TAboutBox* seen = nullptr;
    QWidget* seenOwner = nullptr;
    bool modal = false;
    QTimer::singleShot(0, [&] {
        seen = AboutBox;
        if (AboutBox) {
            seenOwner = AboutBox->parentWidget();
            modal = AboutBox->isModal() && AboutBox->isVisible();
            AboutBox->findChild<QPushButton*>("OKButton")->click();
        }
    });
    QCOMPARE(AboutBox, nullptr);
    ShowAboutBox(&owner);
    QVERIFY(seen);
    QCOMPARE(seenOwner, &owner);
    QVERIFY(modal);
    QCOMPARE(AboutBox, nullptr);
    // Released again: the owner holds no box any more.
    QVERIFY(owner.findChildren<TAboutBox*>().isEmpty());
}

void TestAbout::helpOpensPageBesideProgram_data() {
    QTest::addColumn<QString>("folder");
    QTest::addColumn<bool>("withHelp");
    QTest::newRow("plain folder") << "kova" << true;
    QTest::newRow("spaces in the path") << "Program Files/KOVA 5" << true;
    QTest::newRow("Chinese in the path") << "定位 打印/程序" << true;
    QTest::newRow("no help folder") << "empty" << false;
}

void TestAbout::helpOpensPageBesideProgram() {
    QFETCH(QString, folder);
    QFETCH(bool, withHelp);
    QTemporaryDir root;
    const QString programDir = root.filePath(folder);
    QVERIFY(QDir().mkpath(programDir));
    if (withHelp) {
        QVERIFY(QDir(programDir).mkpath("help"));
        QFile page(programDir + "/help/index.html");
        QVERIFY(page.open(QIODevice::WriteOnly));
    }
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler("file", &catcher, "open");
    OpenHelp(programDir);
    QDesktopServices::unsetUrlHandler("file");

    QCOMPARE(catcher.urls.size(), 1);
    const QUrl url = catcher.urls.at(0);
    QVERIFY(url.isLocalFile());
    QCOMPARE(url.toLocalFile(), programDir + "/help/index.html");
    QCOMPARE(QFileInfo::exists(url.toLocalFile()), withHelp);
}

void TestAbout::helpPageIsWellFormed() {
    QFile page(QStringLiteral(KOVA_SOURCE_DIR) + "/help/index.html");
    QVERIFY(page.open(QIODevice::ReadOnly));
    const QByteArray bytes = page.readAll();
    QStringDecoder utf8(QStringDecoder::Utf8);
    const QString html = utf8(bytes);
    QVERIFY2(!utf8.hasError(), "the page is not valid UTF-8");
    QVERIFY(html.contains(QRegularExpression(R"(<meta\s+charset="utf-8">)",
                                             QRegularExpression::CaseInsensitiveOption)));
    QVERIFY(html.contains(R"(<html lang="zh-CN">)"));

    // Every link inside the page leads somewhere, and no two sections share an id.
    QSet<QString> ids;
    auto idIt = QRegularExpression(R"re(\bid="([^"]+)")re").globalMatch(html);
    while (idIt.hasNext()) {
        const QString id = idIt.next().captured(1);
        QVERIFY2(!ids.contains(id), qPrintable("duplicate id " + id));
        ids.insert(id);
    }
    int links = 0;
    auto linkIt = QRegularExpression(R"re(href="#([^"]*)")re").globalMatch(html);
    while (linkIt.hasNext()) {
        const QString target = linkIt.next().captured(1);
        QVERIFY2(ids.contains(target), qPrintable("no section " + target));
        ++links;
    }
    QVERIFY(links > 0);

    // The topics a user comes for: the seven kinds, numbering across runs, offsets, printing.
    for (const char* topic : {"文本", "序列号", "线条", "条形码", "二维码", "图片", "日期",
                              "页码起始值", "页数", "0.1 毫米", "停    止", "打    印"})
        QVERIFY2(html.contains(QString::fromUtf8(topic)), topic);
}

void TestAbout::helpWithoutBrowserSaysWhere_data() {
    QTest::addColumn<QString>("opener"); // the xdg-open found on PATH, or none
    QTest::addColumn<bool>("withHelp");
    QTest::addColumn<QString>("message"); // start of the message, empty for none
    QTest::newRow("no browser for web pages") << "exit 3" << true << "无法打开帮助";
    QTest::newRow("no desktop opener at all") << "" << true << "无法打开帮助";
    QTest::newRow("browser opens the page") << "exit 0" << true << "";
    QTest::newRow("help file missing") << "exit 2" << false << "找不到帮助文件";
}

void TestAbout::helpWithoutBrowserSaysWhere() {
    QFETCH(QString, opener);
    QFETCH(bool, withHelp);
    QFETCH(QString, message);
    QTemporaryDir root;
    const QString programDir = root.filePath("程序 目录");
    QVERIFY(QDir().mkpath(programDir + "/help"));
    if (withHelp) {
        QFile page(programDir + "/help/index.html");
        QVERIFY(page.open(QIODevice::WriteOnly));
    }
    // A PATH holding only the opener this row wants.
    const QString bin = root.filePath("bin");
    QVERIFY(QDir().mkpath(bin));
    if (!opener.isEmpty()) {
        QFile script(bin + "/xdg-open");
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write(("#!/bin/sh\n" + opener + "\n").toUtf8());
        script.close();
        script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", bin.toUtf8());
    InstallHelpViewer();
    QStringList shown;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            shown << box->text();
            box->accept();
        }
    });
    poll.start(10);
    OpenHelp(programDir);
    if (message.isEmpty())
        QTest::qWait(500);
    else
        QTRY_COMPARE(shown.size(), 1);
    qputenv("PATH", path);
    QDesktopServices::unsetUrlHandler("file");

    if (message.isEmpty()) {
        QVERIFY(shown.isEmpty());
    } else {
        QCOMPARE(shown.size(), 1);
        QVERIFY2(shown.at(0).startsWith(message), qPrintable(shown.at(0)));
        // Where the file is, so it can be opened some other way.
        QVERIFY2(shown.at(0).contains(programDir + "/help/index.html"), qPrintable(shown.at(0)));
    }
}

QTEST_MAIN(TestAbout)
#include "tst_about.moc"
