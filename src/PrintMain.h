#pragma once

#include <QHash>
#include <QMainWindow>
#include <QStringList>
#include <memory>
#include <vector>

class QAction;
class QComboBox;
class QGroupBox;
class QLabel;
class QListWidget;
class QListWidgetItem;
class QMenuBar;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QTimer;
class QToolBar;
class TJobFollower;
class TPrintItem;
class TPrintMgr;
class TProject;
class TRunLedgerFrm;
struct TRunRecord;

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
    QString GetPrintDevice();
    void ShowProjectEditor(TProject* project, bool modify);
    void ShowPrintItemEditor(TPrintItem* item, TProject* project, bool doedit);

    // False when loading the settings and projects failed at start-up: the
    // commands that need them stay disabled.
    bool ModelReady() const;
    // Where the window goes on a screen: centred, and never beyond its usable area.
    static QPoint PlaceOnScreen(const QSize& windowSize, const QRect& available);

    TProject* CurrProject() const { return FCurrProject; }
    TPrintItem* CurrItem() const { return FCurrItem; }
    bool printStoped = false;
    TPrintMgr* prtMgr = nullptr;
    // The queue's id of the last job a run handed over (0: none).
    int lastJobId = 0;

    // Sets the progress bar and repaints at once.
    void PrintProcess(int Value);
    // SIGTERM or SIGINT: a running print stops as Stop does, then the window closes.
    void TerminateRequested();

    static QString DatabasePath(const QString& programDir);

public slots:
    void cbbProjectListChange();
    void btnProjectAddClick();
    void btnProjectModifyClick();
    void btnProjectDelClick();
    void ItemListBoxClick();
    void ItemListBoxDblClick();
    void btnAddClick();
    void btnEditClick();
    void btnDeleteClick();
    void btnItemStatusClick();
    void mmexitClick();
    // Reads the model afresh (other stations share the database); the selected
    // project and item stay selected where they still exist.
    void mmRefreshClick();
    void PrnHelpClick();
    void mmAboutClick();
    void btnPrintClick();
    void btnStopClick();
    void btnPauseClick();
    void BtnPreviewClick();
    // The page preview at the printer's resolution, with the check of its symbols.
    void mmPagePreviewClick();
    // "打印记录": the run ledger of the project shown, beside the window.
    void mmRunLedgerClick();
    // The ledger with the run of the notice selected.
    void btnNoticeClick();
    // "复制": a copy of the selected item, saved and selected.
    void mmCopyItemClick();
    // "复制项目": a copy of the project shown, with its items and data, selected.
    void mmCopyProjectClick();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void enableProjectCommands();
    void enableCopyCommands();
    void buildLayout();
    void renderItemSummary();
    void clearItemSummary();
    void renderSummaryPicture(const QString& value);
    void fillItemList();
    int rowOfItem(const TPrintItem* item) const;
    void disableModelCommands();
    void selectProjectEntry();
    // Asks a Yes/No question; true on Yes.
    bool confirm(const QString& text);
    // Prints `count` pages of a project from page `from`; the fields of the
    // window follow the run only while its project is shown.
    void runPrint(TProject* project, int from, int count);
    // The ledger's "重打所选": the run's pages again, through the reprint question.
    void reprintRun(const TRunRecord& run);
    // The ledger window, made on first use; with a run, that run selected.
    TRunLedgerFrm* openLedger(const QString& runOid = QString());
    // Looks at the jobs handed over, records how they ended and tells the user
    // of pages that did not print.
    void followJobs();
    // The pictures of deleted items; one that cannot be deleted is said, not thrown.
    void deletePictures(const QStringList& fileIds);
    // Shown once the window is up: what settling a dead run's job found.
    void tellLater(const QStringList& lines);
    // After a project was saved: the stored start, which another station may
    // have moved on, is shown and said when it is not the one the window had.
    void keepStoredStart(TProject* project, int shown);

    QString FProgramDir;
    // A run is in progress (it may be finishing after Stop).
    bool FRunning = false;
    bool FCloseAfterRun = false;
    TProject* FCurrProject = nullptr;
    TPrintItem* FCurrItem = nullptr;
    std::vector<std::unique_ptr<TJobFollower>> FFollowers;
    QTimer* FFollowTimer = nullptr;
    TRunLedgerFrm* FLedger = nullptr;
    QString FNoticeRun; // the run the notice speaks of
    QHash<QLabel*, QString> FSummaryCaptions; // the summary's labels as laid out

public:
    // Controls, named as the window's layout names them.
    QMenuBar* PMainMenu = nullptr;
    QAction *mmOption = nullptr, *mmexit = nullptr, *PrnHelp = nullptr, *mmAbout = nullptr;
    QAction* mmRefresh = nullptr;
    QAction* mmPagePreview = nullptr;
    QAction* mmRunLedger = nullptr;
    QAction *mmCopyItem = nullptr, *mmCopyProject = nullptr;
    QToolBar* ToolBar1 = nullptr;
    QLabel *lblTitle = nullptr, *lblUnit = nullptr;
    QComboBox* cbbProjectList = nullptr;
    QPushButton *btnProjectAdd = nullptr, *btnProjectModify = nullptr, *btnProjectDel = nullptr;
    QListWidget* ItemListBox = nullptr;
    QPushButton *btnAdd = nullptr, *btnEdit = nullptr, *btnDelete = nullptr;
    QLabel *itemNameLabel = nullptr, *itemValueTitleLabel = nullptr;
    QPlainTextEdit* valueMemo = nullptr;
    QPushButton* btnItemStatus = nullptr;
    QLabel *itemStatusLabel = nullptr, *itemTypeLabel = nullptr;
    QWidget *itemFontContainer = nullptr, *itemImageContainer = nullptr;
    QLabel *fontLabelTitle = nullptr, *itemFontLabel = nullptr, *imageItem = nullptr;
    QLabel *itemPositionLabel = nullptr, *itemControlLabel = nullptr, *itemOutLineLabel = nullptr,
           *itemOtherLabel = nullptr;
    QLabel *printInfo = nullptr, *printDevice = nullptr;
    QPlainTextEdit* memoProjectNotes = nullptr;
    QSpinBox *PrnSerialFrom = nullptr, *PrnSerialTo = nullptr;
    QLabel* lblStatus = nullptr;
    QProgressBar* prgPrint = nullptr;
    // Under the progress bar: a job that did not print, in red, and the way to its run.
    QWidget* noticeRow = nullptr;
    QLabel* lblNotice = nullptr;
    QPushButton* btnNotice = nullptr;
    QPushButton *btnPrint = nullptr, *btnStop = nullptr, *btnClose = nullptr, *btnPause = nullptr,
                *BtnPreview = nullptr;
};

// The main window of the running program, set at start-up.
extern TPrintMainFrm* PrintMainFrm;

// Start-up and message loop; returns the process exit code.
int RunKova(const QString& programDir);
// The whole program: the database environment, the application object, SIGTERM
// and SIGINT handling, then RunKova. The program's main is this alone.
int KovaMain(int& argc, char** argv, const QString& programDir);
