#pragma once

#include <QMainWindow>

class TProject;
class TPrintItem;

// The main window: projects, their items, the item summary and the print controls.
class TPrintMainFrm : public QMainWindow {
    Q_OBJECT

public:
    // programDir: the folder of the running executable; the database lies in its data/.
    explicit TPrintMainFrm(const QString& programDir, QWidget* parent = nullptr);
    ~TPrintMainFrm() override;

    // Connects, loads the model, captions and draws the window. False when the
    // database could not be opened: the message was shown and the program must end.
    bool FormCreate();
    void SetData();
    void RenderView();

    TProject* CurrProject() const { return FCurrProject; }
    TPrintItem* CurrItem() const { return FCurrItem; }
    bool printStoped = false;

    static QString DatabasePath(const QString& programDir);

private:
    QString FProgramDir;
    TProject* FCurrProject = nullptr;
    TPrintItem* FCurrItem = nullptr;
};

// The main window of the running program, set at start-up.
extern TPrintMainFrm* PrintMainFrm;

// Start-up and message loop; returns the process exit code.
int RunKova(const QString& programDir);
