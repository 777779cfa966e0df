#include "view/ABOUT.h"

#include "view/KovaApplication.h"

#include "persistence/DatabaseLocation.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>
#include <memory>

TAboutBox* AboutBox = nullptr;

TAboutBox::TAboutBox(QWidget* owner) : QDialog(owner) {
    setObjectName(QStringLiteral("AboutBox"));
    setWindowTitle(QStringLiteral("关于"));
    // The desktop's window colour behind everything.
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, pal.color(QPalette::Base));
    setPalette(pal);

    ProgramIcon = new QLabel(this);
    ProgramIcon->setObjectName(QStringLiteral("ProgramIcon"));
    ProgramIcon->setFixedSize(96, 96);
    ProgramIcon->setScaledContents(true);
    ProgramIcon->setPixmap(ProgramPixmap(96));

    ProductName = new QLabel(QStringLiteral("定位打印软件"), this);
    ProductName->setObjectName(QStringLiteral("ProductName"));
    QFont big = ProductName->font();
    big.setPointSize(big.pointSize() + 4);
    big.setBold(true);
    ProductName->setFont(big);

    OKButton = new QPushButton(QStringLiteral("&OK"), this);
    OKButton->setObjectName(QStringLiteral("OKButton"));
    OKButton->setDefault(true);
    connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);

    auto* top = new QHBoxLayout;
    top->addWidget(ProgramIcon);
    top->addSpacing(16);
    top->addWidget(ProductName, 1);
    auto* bottom = new QHBoxLayout;
    bottom->addStretch(1);
    bottom->addWidget(OKButton);
    bottom->addStretch(1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addSpacing(12);
    layout->addLayout(bottom);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    FormCreate();
}

void TAboutBox::FormCreate() {
    ProductName->setText(QStringLiteral("KOVA 自定义定位打印 v5.1"));
}

void TAboutBox::reject() {
    accept();
}

void TAboutBox::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // Centred on the screen, not on its owner.
    if (const QScreen* screen = this->screen()) {
        QRect frame = frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
}

void ShowAboutBox(QWidget* owner) {
    struct Release {
        void operator()(TAboutBox* box) const {
            AboutBox = nullptr;
            delete box;
        }
    };
    // Released and the global cleared however the box ends.
    std::unique_ptr<TAboutBox, Release> box(new TAboutBox(owner));
    AboutBox = box.get();
    box->exec();
}

QPixmap ProgramPixmap(int size) {
    const QIcon icon = QApplication::windowIcon();
    if (!icon.isNull())
        return icon.pixmap(size, size);
    // A sheet with numbered lines and the letter K: printing, page after page.
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal u = size / 96.0;
    p.setPen(QPen(QColor(40, 70, 120), 2 * u));
    p.setBrush(Qt::white);
    p.drawRoundedRect(QRectF(14 * u, 6 * u, 68 * u, 84 * u), 6 * u, 6 * u);
    p.setPen(QPen(QColor(150, 160, 180), 2 * u));
    for (int i = 0; i < 4; ++i)
        p.drawLine(QPointF(24 * u, (58 + 8 * i) * u), QPointF(72 * u, (58 + 8 * i) * u));
    QFont f;
    f.setBold(true);
    f.setPixelSize(int(40 * u));
    p.setFont(f);
    p.setPen(QColor(200, 40, 40));
    p.drawText(QRectF(14 * u, 8 * u, 68 * u, 46 * u), Qt::AlignCenter, QStringLiteral("K"));
    return pm;
}

QUrl HelpUrl(const QString& programDir) {
    return QUrl::fromLocalFile(
        QDir(ProgramDataDir(programDir)).filePath(QStringLiteral("help/index.html")));
}

QString HelpUnavailableMessage(const QString& path, bool fileMissing) {
    const QString shown = QDir::toNativeSeparators(path);
    if (fileMissing)
        return QStringLiteral("找不到帮助文件：\r%1").arg(shown);
    return QStringLiteral("无法打开帮助：这台电脑上没有可以显示网页的浏览器。\r"
                          "帮助文件在：\r%1\r可以用任何浏览器打开它阅读。")
        .arg(shown);
}

namespace {

// Runs xdg-open for each URL and reports when it found nothing to open it with.
// Its exit codes: 2 a file that does not exist, 3 no tool for the type, 4 the
// tool failed.
class THelpViewer : public QObject {
    Q_OBJECT

public slots:
    void open(const QUrl& url) {
        const QString path = url.toLocalFile();
        auto* process = new QProcess(this);
        connect(process, &QProcess::errorOccurred, this,
                [process, path](QProcess::ProcessError error) {
                    if (error != QProcess::FailedToStart)
                        return;
                    process->deleteLater();
                    ShowMessage(HelpUnavailableMessage(path, false));
                });
        connect(process, &QProcess::finished, this,
                [process, path](int exitCode, QProcess::ExitStatus status) {
                    process->deleteLater();
                    if (status == QProcess::NormalExit && exitCode == 0)
                        return;
                    ShowMessage(HelpUnavailableMessage(path, exitCode == 2));
                });
        process->setProcessChannelMode(QProcess::ForwardedChannels);
        process->start(QStringLiteral("xdg-open"), {path});
    }
};

} // namespace

void InstallHelpViewer() {
    static THelpViewer* viewer = [] {
        auto* v = new THelpViewer;
        v->setParent(QCoreApplication::instance());
        return v;
    }();
    QDesktopServices::setUrlHandler(QStringLiteral("file"), viewer, "open");
}

void OpenHelp(const QString& programDir) {
    const QUrl url = HelpUrl(programDir);
    if (!QDesktopServices::openUrl(url))
        ShowMessage(HelpUnavailableMessage(url.toLocalFile(), false));
}

#include "ABOUT.moc"
