#include "view/RunLedgerView.h"

#include "base/Errors.h"
#include "view/KovaApplication.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSaveFile>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

constexpr int kRunRole = Qt::UserRole;

QString PagesText(const TRunRecord& run) {
    return run.FirstPage == run.LastPage
               ? QString::number(run.FirstPage)
               : QStringLiteral("%1–%2").arg(run.FirstPage).arg(run.LastPage);
}

} // namespace

TRunLedgerFrm::TRunLedgerFrm(QWidget* owner) : QDialog(owner) {
    setObjectName(QStringLiteral("RunLedgerFrm"));
    setWindowTitle(QStringLiteral("打印记录"));
    resize(760, 420);

    auto* filters = new QHBoxLayout;
    cbbScope = new QComboBox;
    cbbScope->setObjectName(QStringLiteral("cbbScope"));
    cbbScope->addItems({QStringLiteral("本项目"), QStringLiteral("全部项目")});
    chkSince = new QCheckBox(QStringLiteral("从"));
    chkSince->setObjectName(QStringLiteral("chkSince"));
    edtSince = new QDateEdit(QDate::currentDate());
    edtSince->setObjectName(QStringLiteral("edtSince"));
    edtSince->setCalendarPopup(true);
    edtSince->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    edtSince->setEnabled(false);
    btnRefresh = new QPushButton(QStringLiteral("刷新"));
    btnRefresh->setObjectName(QStringLiteral("btnRefresh"));
    filters->addWidget(cbbScope);
    filters->addSpacing(12);
    filters->addWidget(chkSince);
    filters->addWidget(edtSince);
    filters->addWidget(new QLabel(QStringLiteral("起")));
    filters->addStretch(1);
    filters->addWidget(btnRefresh);

    tblRuns = new QTableWidget(0, kColumns);
    tblRuns->setObjectName(QStringLiteral("tblRuns"));
    tblRuns->setHorizontalHeaderLabels({QStringLiteral("项目"), QStringLiteral("页码"),
                                        QStringLiteral("页数"), QStringLiteral("打印机"),
                                        QStringLiteral("工作站"), QStringLiteral("用户"),
                                        QStringLiteral("时间"), QStringLiteral("状态"),
                                        QStringLiteral("信息")});
    tblRuns->setSelectionBehavior(QAbstractItemView::SelectRows);
    tblRuns->setSelectionMode(QAbstractItemView::SingleSelection);
    tblRuns->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tblRuns->verticalHeader()->setVisible(false);
    tblRuns->horizontalHeader()->setStretchLastSection(true);

    auto* commands = new QHBoxLayout;
    btnExport = new QPushButton(QStringLiteral("导出"));
    btnExport->setObjectName(QStringLiteral("btnExport"));
    btnReprint = new QPushButton(QStringLiteral("重打所选"));
    btnReprint->setObjectName(QStringLiteral("btnReprint"));
    btnClose = new QPushButton(QStringLiteral("关闭"));
    btnClose->setObjectName(QStringLiteral("btnClose"));
    commands->addWidget(btnExport);
    commands->addStretch(1);
    commands->addWidget(btnReprint);
    commands->addWidget(btnClose);

    auto* root = new QVBoxLayout(this);
    root->addLayout(filters);
    root->addWidget(tblRuns, 1);
    root->addLayout(commands);

    connect(cbbScope, &QComboBox::activated, this, &TRunLedgerFrm::Reload);
    connect(chkSince, &QCheckBox::toggled, this, [this](bool on) {
        edtSince->setEnabled(on);
        Reload();
    });
    connect(edtSince, &QDateEdit::dateChanged, this, &TRunLedgerFrm::Reload);
    connect(btnRefresh, &QPushButton::clicked, this, &TRunLedgerFrm::Reload);
    connect(tblRuns, &QTableWidget::itemSelectionChanged, this, &TRunLedgerFrm::enableCommands);
    connect(btnExport, &QPushButton::clicked, this, &TRunLedgerFrm::exportClick);
    connect(btnReprint, &QPushButton::clicked, this, &TRunLedgerFrm::reprintClick);
    connect(btnClose, &QPushButton::clicked, this, &QDialog::close);
    enableCommands();
}

void TRunLedgerFrm::SetProject(const QString& projectOid) {
    FProjectOid = projectOid;
    // Without a project shown there is nothing to narrow to.
    if (FProjectOid.isEmpty())
        cbbScope->setCurrentIndex(1);
}

void TRunLedgerFrm::Reload() {
    const TRunRecord* selected = SelectedRun();
    const QString keep = selected ? selected->Oid : QString();
    const bool thisProject = cbbScope->currentIndex() == 0 && !FProjectOid.isEmpty();
    try {
        FRuns = ReadRuns(thisProject ? FProjectOid : QString(),
                         chkSince->isChecked() ? edtSince->date() : QDate());
    } catch (const Exception& e) {
        FRuns.clear();
        fill();
        ShowMessage(QStringLiteral("没能读取打印记录：%1").arg(e.Message()), this);
        return;
    }
    fill();
    selectRun(keep);
}

void TRunLedgerFrm::fill() {
    const QSignalBlocker block(tblRuns);
    tblRuns->clearContents();
    tblRuns->setRowCount(int(FRuns.size()));
    for (int row = 0; row < FRuns.size(); ++row) {
        const TRunRecord& run = FRuns.at(row);
        const QStringList cells{run.ProjectName.isEmpty() ? QStringLiteral("（已删除）")
                                                          : run.ProjectName,
                                PagesText(run),
                                QString::number(run.LastPage - run.FirstPage + 1),
                                run.Printer,
                                run.Station,
                                run.User,
                                run.Started.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")),
                                RunStateText(run),
                                run.Message};
        for (int col = 0; col < kColumns; ++col) {
            auto* cell = new QTableWidgetItem(cells.at(col));
            cell->setData(kRunRole, row);
            if (col == colMessage)
                cell->setToolTip(run.Message);
            if (col == colState && IsSkip(run.State))
                cell->setForeground(Qt::red);
            tblRuns->setItem(row, col, cell);
        }
    }
    tblRuns->resizeColumnsToContents();
    enableCommands();
}

void TRunLedgerFrm::selectRun(const QString& runOid) {
    for (int row = 0; row < FRuns.size(); ++row)
        if (!runOid.isEmpty() && FRuns.at(row).Oid == runOid) {
            tblRuns->selectRow(row);
            tblRuns->scrollToItem(tblRuns->item(row, 0));
            return;
        }
    tblRuns->clearSelection();
}

void TRunLedgerFrm::ShowRun(const QString& runOid) {
    cbbScope->setCurrentIndex(1);
    {
        const QSignalBlocker block(chkSince);
        chkSince->setChecked(false);
        edtSince->setEnabled(false);
    }
    Reload();
    selectRun(runOid);
}

const TRunRecord* TRunLedgerFrm::SelectedRun() const {
    const QList<QTableWidgetItem*> cells = tblRuns->selectedItems();
    if (cells.isEmpty())
        return nullptr;
    const int row = cells.first()->data(kRunRole).toInt();
    return row >= 0 && row < FRuns.size() ? &FRuns.at(row) : nullptr;
}

void TRunLedgerFrm::enableCommands() {
    const TRunRecord* run = SelectedRun();
    // A run still on its way to the queue is not settled yet.
    btnReprint->setEnabled(run && run->LastPage >= run->FirstPage &&
                           run->State != QLatin1String(RunState::HandingOver));
    btnExport->setEnabled(!FRuns.isEmpty());
}

void TRunLedgerFrm::ExportTo(const QString& path) const {
    // The byte order mark tells spreadsheet programs the file is UTF-8.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write("\xEF\xBB\xBF") < 0 ||
        file.write(RunsAsCsv(FRuns).toUtf8()) < 0 || !file.commit())
        throw EInOutError(
            QStringLiteral("打印记录没能导出到 %1：%2").arg(path, file.errorString()));
}

void TRunLedgerFrm::exportClick() {
    QFileDialog dialog(this, QStringLiteral("导出打印记录"));
    dialog.setObjectName(QStringLiteral("exportDialog"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setNameFilter(QStringLiteral("CSV 文件 (*.csv)"));
    dialog.setDefaultSuffix(QStringLiteral("csv"));
    dialog.selectFile(QDir::home().filePath(
        QStringLiteral("打印记录-%1.csv")
            .arg(QDate::currentDate().toString(QStringLiteral("yyyyMMdd")))));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    try {
        ExportTo(dialog.selectedFiles().first());
    } catch (const Exception& e) {
        ShowMessage(e.Message(), this);
    }
}

void TRunLedgerFrm::reprintClick() {
    const TRunRecord* run = SelectedRun();
    if (!run || !OnReprint || !btnReprint->isEnabled())
        return;
    // A copy: the run prints while the table may be read again.
    const TRunRecord copy = *run;
    OnReprint(copy);
}
