// The parts of TCliUtils that show windows. They keep the class's names but are
// built into the widget library: the core library, where the rest of TCliUtils
// lives, must not depend on Qt Widgets.
#include "model/CliUtils.h"

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPointer>
#include <QProcess>
#include <QStandardPaths>
#include <QTimer>
#include <optional>

namespace {

// xdg-email's own exit codes.
constexpr int MailFileMissing = 2;
constexpr int MailNoClient = 3;
constexpr int MailFailed = 4;

// Some mail clients keep xdg-email waiting until the client itself quits; by then
// the message has long been handed over, so the windows come back after this.
constexpr int HandOverWaitMs = 5000;

// The value of the first name=value line with that name (case-insensitive).
std::optional<QString> mailValue(const QStringList& mail, const QString& name) {
    for (const QString& line : mail) {
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq >= 0 && QStringView(line).left(eq).compare(name, Qt::CaseInsensitive) == 0)
            return line.mid(eq + 1);
    }
    return std::nullopt;
}

// The application's windows are disabled while the mail client has the message.
class TWindowsDisabled {
public:
    TWindowsDisabled() {
        for (QWidget* window : QApplication::topLevelWidgets()) {
            if (window->isVisible() && window->isEnabled()) {
                window->setEnabled(false);
                FWindows.append(window);
            }
        }
    }
    ~TWindowsDisabled() {
        for (const QPointer<QWidget>& window : FWindows)
            if (window)
                window->setEnabled(true);
    }
    TWindowsDisabled(const TWindowsDisabled&) = delete;
    TWindowsDisabled& operator=(const TWindowsDisabled&) = delete;

private:
    QList<QPointer<QWidget>> FWindows;
};

int noMailClient(QWidget* owner) {
    QMessageBox::critical(owner, QStringLiteral("Error"),
                          QStringLiteral("Error while trying to send email"));
    return MailNoClient;
}

} // namespace

int TCliUtils::SendEMail(QWidget* Handle, const QStringList& Mail) {
    // Each text goes to xdg-email as an argument of its own (never through a
    // shell); --to makes it percent-encode the recipient into the mailto link too.
    QStringList args{QStringLiteral("--utf8")};
    const auto to = mailValue(Mail, QStringLiteral("to"));
    if (to && !to->isEmpty())
        args << QStringLiteral("--to") << *to;
    const auto subject = mailValue(Mail, QStringLiteral("subject"));
    const auto body = mailValue(Mail, QStringLiteral("body"));
    // xdg-email refuses an empty subject or body; leaving it out means the same.
    if (subject && !subject->isEmpty())
        args << QStringLiteral("--subject") << *subject;
    if (body && !body->isEmpty())
        args << QStringLiteral("--body") << *body;
    for (int i = 0;; ++i) {
        const auto attachment = mailValue(Mail, QStringLiteral("attachment%1").arg(i));
        if (!attachment)
            break;
        const QFileInfo file(*attachment);
        if (!file.isFile() || !file.isReadable())
            return MailFileMissing;
        args << QStringLiteral("--attach") << file.absoluteFilePath();
    }

    const QString program = QStandardPaths::findExecutable(QStringLiteral("xdg-email"));
    if (program.isEmpty())
        return noMailClient(Handle);

    std::optional<int> result;
    {
        TWindowsDisabled disabled;
        // Parented to the application so that a client still running when we stop
        // waiting is not killed with this function's locals.
        auto* process = new QProcess(qApp);
        process->setProcessChannelMode(QProcess::ForwardedChannels);
        QEventLoop loop;
        QObject::connect(process, &QProcess::finished, &loop,
                         [&](int code, QProcess::ExitStatus status) {
                             result = status == QProcess::NormalExit ? code : MailFailed;
                             loop.quit();
                         });
        QObject::connect(process, &QProcess::errorOccurred, &loop,
                         [&](QProcess::ProcessError error) {
                             if (error == QProcess::FailedToStart) {
                                 result = -1;
                                 loop.quit();
                             }
                         });
        QObject::connect(process, &QProcess::finished, process, &QObject::deleteLater);
        QTimer::singleShot(HandOverWaitMs, &loop, &QEventLoop::quit);
        process->start(program, args);
        if (!result)
            loop.exec();
        if (result && *result == -1)
            process->deleteLater();
    }
    if (!result)
        return 0; // still running: the client has the message
    if (*result == -1 || *result == MailNoClient || *result == MailFailed)
        return noMailClient(Handle);
    return *result;
}

bool TCliUtils::BrowseDialog(const QString& Caption, const QString& Root, QString& Directory,
                             const QString& InitDir) {
    Directory.clear();
    const QString root = Root.isEmpty() ? QString() : QDir::cleanPath(QDir(Root).absolutePath());
    auto inside = [&](const QString& path) {
        if (root.isEmpty() || path == root)
            return true;
        return path.startsWith(root.endsWith(QLatin1Char('/')) ? root : root + QLatin1Char('/'));
    };
    QString start = InitDir.isEmpty() ? root : QDir::cleanPath(QDir(InitDir).absolutePath());
    if (!inside(start))
        start = root;
    const QString chosen = QFileDialog::getExistingDirectory(QApplication::activeWindow(), Caption,
                                                             start, QFileDialog::ShowDirsOnly);
    if (chosen.isEmpty())
        return false;
    // Qt's picker cannot hide what lies above the root; a folder chosen there is
    // not one the caller offered.
    const QString path = QDir::cleanPath(chosen);
    if (!inside(path))
        return false;
    Directory = path;
    return true;
}
