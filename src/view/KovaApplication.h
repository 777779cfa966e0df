#pragma once

#include <QApplication>

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

// Loads Qt's own Chinese texts (message box buttons and the like) for zh_CN,
// the language of every text the program shows. False when they are not installed.
bool InstallTranslations();
