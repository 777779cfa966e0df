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

// help/index.html in the program's folder, as a local-file URL.
QUrl HelpUrl(const QString& programDir);
// Hands the help page to the desktop's default viewer. Whatever goes wrong is the
// viewer's to report; the program carries on.
void OpenHelp(const QString& programDir);
