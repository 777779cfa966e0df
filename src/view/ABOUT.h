#pragma once

#include <QDialog>
#include <QPixmap>
#include <QString>
#include <QUrl>

class QLabel;
class QPushButton;

// The small modal box of the help menu that names the program.
class TAboutBox : public QDialog {
    Q_OBJECT

public:
    explicit TAboutBox(QWidget* owner = nullptr);

    void FormCreate();

    // Escape closes the box with OK as well: its only button is both default and cancel.
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    QLabel* ProgramIcon;
    QLabel* ProductName;
    QPushButton* OKButton;
};

// The about box while it is shown, otherwise null.
extern TAboutBox* AboutBox;

// Shows the about box modally with the window as owner and releases it again.
void ShowAboutBox(QWidget* owner);

// The program's picture: the application icon when one is set, else drawn here.
QPixmap ProgramPixmap(int size);

// help/index.html among the program's files (ProgramDataDir), as a local-file URL.
QUrl HelpUrl(const QString& programDir);
// Hands the help page to the desktop's default viewer. When there is none (no
// browser on the machine), a message tells the user where the help file is.
void OpenHelp(const QString& programDir);

// Makes the program open local files with xdg-open and watch its answer, so a
// machine without a browser is noticed instead of failing silently. Called once
// at start-up; a handler registered later for "file" URLs takes precedence.
void InstallHelpViewer();

// The message for a help page nothing could show, naming the file.
QString HelpUnavailableMessage(const QString& path, bool fileMissing);
