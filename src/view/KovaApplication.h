#pragma once

#include <QApplication>
#include <functional>

// The application object: an exception escaping any command is shown in a message
// box and the window stays as it was; EAbort ends the command silently.
class TKovaApplication : public QApplication {
public:
    TKovaApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;

    // What the handler does with an exception that reached it.
    static void HandleException(std::exception_ptr error);
};

// A plain message box with one OK button. Stored messages separate lines with
// carriage returns; they are shown as line breaks.
void ShowMessage(const QString& text, QWidget* parent = nullptr);

// SIGTERM and SIGINT (logout, shutdown, kill, Ctrl+C) call onTerminate on the
// user-interface thread instead of ending the process under the database.
// Call before the first database connection opens.
void WatchTerminationSignals(std::function<void()> onTerminate);
// Loads Qt's own Chinese texts (message box buttons and the like) for zh_CN,
// the language of every text the program shows. False when they are not installed.
bool InstallTranslations();
