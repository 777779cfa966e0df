#pragma once

#include "model/manager/RunLedger.h"

#include <QDialog>
#include <functional>

class QCheckBox;
class QComboBox;
class QDateEdit;
class QPushButton;
class QTableWidget;

// "打印记录": the run ledger, newest first, of the project shown or of all
// projects, from a day on; exported as CSV, and a run's pages printed again.
// It stays open beside the main window.
class TRunLedgerFrm : public QDialog {
    Q_OBJECT

public:
    explicit TRunLedgerFrm(QWidget* owner = nullptr);

    // The project "本项目" means (empty: none is shown).
    void SetProject(const QString& projectOid);
    // Reads the ledger again as the filters say; the selected run stays selected.
    void Reload();
    // All projects, any day, with this run selected.
    void ShowRun(const QString& runOid);
    // The run of the selected row, if any.
    const TRunRecord* SelectedRun() const;
    // Writes the runs shown as CSV; throws EInOutError when the file cannot be written.
    void ExportTo(const QString& path) const;
    // Prints a run's pages again; set by the main window.
    std::function<void(const TRunRecord& run)> OnReprint;

    // Columns of the table.
    enum Column { colProject, colPages, colPageCount, colPrinter, colStation, colUser, colTime,
                  colState, colMessage, kColumns };

private:
    void fill();
    void exportClick();
    void reprintClick();
    void selectRun(const QString& runOid);
    void enableCommands();

    QString FProjectOid;
    QList<TRunRecord> FRuns;

public:
    QComboBox* cbbScope = nullptr;
    QCheckBox* chkSince = nullptr;
    QDateEdit* edtSince = nullptr;
    QTableWidget* tblRuns = nullptr;
    QPushButton *btnRefresh = nullptr, *btnExport = nullptr, *btnReprint = nullptr,
                *btnClose = nullptr;
};
