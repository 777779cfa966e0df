#include "view/projectEditor.h"

#include "model/DataFile.h"
#include "model/Fields.h"
#include "model/ItemEditing.h"
#include "model/PrintCommon.h"
#include "model/bom/SettingBom.h"
#include "model/manager/PrintMgrImpl.h"
#include "model/manager/PrinterResolution.h"
#include "model/manager/SettingMgrImpl.h"
#include "view/EditLimits.h"
#include "view/FontColorDialog.h"
#include "view/FormChanges.h"
#include "view/KovaApplication.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

QDoubleSpinBox* numberEdit(const QString& name, int decimals, double limit, QWidget* parent) {
    auto* edit = new QDoubleSpinBox(parent);
    edit->setObjectName(name);
    edit->setDecimals(decimals);
    // Any number is taken as entered, zero and negative ones included.
    edit->setRange(-limit, limit);
    edit->setButtonSymbols(QAbstractSpinBox::NoButtons);
    edit->setAlignment(Qt::AlignRight);
    return edit;
}

// A number the user did not touch keeps its stored value, which the spin box may
// have rounded to its decimals or clamped to its range for display.
double keptOrEdited(const QDoubleSpinBox* edit, double loaded, double stored) {
    return edit->value() == loaded ? stored : edit->value();
}

} // namespace

TprojectEditorView::TprojectEditorView(QWidget* parent)
    : TEditorDialog(parent), FPrinterSource(&TprojectEditorView::InstalledPrinters) {
    setObjectName(QStringLiteral("projectEditorView"));
    setWindowTitle(QStringLiteral("项目编辑器"));
    createControls();
}

TprojectEditorView::~TprojectEditorView() = default;

QStringList TprojectEditorView::InstalledPrinters() {
    // The manager is wanted only for its list.
    const TPrintMgr mgr;
    return *mgr.GetPrintList();
}

void TprojectEditorView::SetPrinterSource(TPrinterSource source) {
    FPrinterSource = std::move(source);
}

void TprojectEditorView::SetSaveHandler(TSaveHandler handler) {
    FSaveHandler = std::move(handler);
}

void TprojectEditorView::createControls() {
    auto* lblName = new QLabel(QStringLiteral("项目名称"), this);
    edtProjectName = new QLineEdit(this);
    edtProjectName->setObjectName(QStringLiteral("edtProjectName"));
    LimitToColumn(edtProjectName, TProject::StaticClass(), QStringLiteral("ProjectName"));
    lblName->setBuddy(edtProjectName);
    auto* nameRow = new QHBoxLayout;
    nameRow->addWidget(lblName);
    nameRow->addWidget(edtProjectName, 1);

    grpDevice = new QGroupBox(QStringLiteral(" 打印设备 "), this);
    PrnDefault = new QCheckBox(QStringLiteral("缺省设备"), grpDevice);
    PrnDefault->setObjectName(QStringLiteral("PrnDefault"));
    PrnDefault->setChecked(true);
    auto* lblDevice = new QLabel(QStringLiteral("打印设备"), grpDevice);
    prnSelect = new QComboBox(grpDevice);
    prnSelect->setObjectName(QStringLiteral("prnSelect"));
    prnSelect->setEditable(false);
    prnSelect->setMinimumWidth(260);
    lblDevice->setBuddy(prnSelect);
    auto* deviceLayout = new QHBoxLayout(grpDevice);
    deviceLayout->addWidget(PrnDefault);
    deviceLayout->addSpacing(12);
    deviceLayout->addWidget(lblDevice);
    deviceLayout->addWidget(prnSelect, 1);

    grpPage = new QGroupBox(QStringLiteral(" 页面设置(单位:mm) "), this);
    PrnPageWidth = numberEdit(QStringLiteral("PrnPageWidth"), 2, 99999.99, grpPage);
    PrnPageHeight = numberEdit(QStringLiteral("PrnPageHeight"), 2, 99999.99, grpPage);
    auto* pageLayout = new QGridLayout(grpPage);
    pageLayout->addWidget(new QLabel(QStringLiteral("页面宽度"), grpPage), 0, 0);
    pageLayout->addWidget(PrnPageWidth, 0, 1);
    pageLayout->addWidget(new QLabel(QStringLiteral("页面高度"), grpPage), 1, 0);
    pageLayout->addWidget(PrnPageHeight, 1, 1);
    // Landscape turns the drawing, not the sheet: say what the items are placed on.
    lblPrintArea = new QLabel(grpPage);
    lblPrintArea->setObjectName(QStringLiteral("lblPrintArea"));
    pageLayout->addWidget(lblPrintArea, 2, 0, 1, 2);

    grppaper = new QGroupBox(QStringLiteral(" 打印方向 "), this);
    grppaper->setObjectName(QStringLiteral("grppaper"));
    paperButtons = new QButtonGroup(grppaper);
    auto* paperLayout = new QVBoxLayout(grppaper);
    const QString paperNames[] = {QStringLiteral("纵向"), QStringLiteral("横向")};
    for (int i = 0; i < 2; ++i) {
        auto* radio = new QRadioButton(paperNames[i], grppaper);
        radio->setObjectName(i == 0 ? QStringLiteral("rbPortrait") : QStringLiteral("rbLandscape"));
        paperButtons->addButton(radio, i);
        paperLayout->addWidget(radio);
    }
    paperButtons->button(0)->setChecked(true);

    grpOffset = new QGroupBox(QStringLiteral(" 偏移设置(单位:0.1mm) "), this);
    PrnOffsetX = numberEdit(QStringLiteral("PrnOffsetX"), 0, 999999, grpOffset);
    PrnOffsetY = numberEdit(QStringLiteral("PrnOffsetY"), 0, 999999, grpOffset);
    auto* offsetLayout = new QGridLayout(grpOffset);
    offsetLayout->addWidget(new QLabel(QStringLiteral("X偏移"), grpOffset), 0, 0);
    offsetLayout->addWidget(PrnOffsetX, 0, 1);
    offsetLayout->addWidget(new QLabel(QStringLiteral("Y偏移"), grpOffset), 1, 0);
    offsetLayout->addWidget(PrnOffsetY, 1, 1);

    auto* pageRow = new QHBoxLayout;
    pageRow->addWidget(grpPage);
    pageRow->addWidget(grppaper);
    pageRow->addWidget(grpOffset);

    grpFont = new QGroupBox(QStringLiteral(" 项目缺省字体设置 "), this);
    lblSample = new QLabel(QStringLiteral("示例：1234567890AaBbCc"), grpFont);
    lblSample->setObjectName(QStringLiteral("lblSample"));
    // A fixed frame: a large sample font must not grow the fixed-size dialog.
    lblSample->setFixedSize(420, 64);
    lblSample->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    btnFont = new QPushButton(QStringLiteral("字 体&F"), grpFont);
    btnFont->setObjectName(QStringLiteral("btnFont"));
    btnFont->setAutoDefault(false);
    auto* fontLayout = new QHBoxLayout(grpFont);
    fontLayout->addWidget(lblSample, 1);
    fontLayout->addWidget(btnFont);
    dlgFont = new TFontColorDialog(this);
    dlgFont->setObjectName(QStringLiteral("dlgFont"));

    grpNotes = new QGroupBox(QStringLiteral(" 备注 "), this);
    memoNotes = new QPlainTextEdit(grpNotes);
    memoNotes->setObjectName(QStringLiteral("memoNotes"));
    LimitToColumn(memoNotes, TProject::StaticClass(), QStringLiteral("ProjectNotes"));
    memoNotes->setFixedHeight(90);
    // Tab moves on, as in every other field; Enter still starts a line.
    memoNotes->setTabChangesFocus(true);
    auto* notesLayout = new QVBoxLayout(grpNotes);
    notesLayout->addWidget(memoNotes);

    btnSave = new QPushButton(QStringLiteral("保  存&S"), this);
    btnSave->setObjectName(QStringLiteral("btnSave"));
    btnSave->setEnabled(false);
    btnSave->setDefault(true);
    btnCancel = new QPushButton(QStringLiteral("关  闭&C"), this);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    btnCancel->setAutoDefault(false);
    auto* buttonRow = new QHBoxLayout;
    buttonRow->addStretch(1);
    buttonRow->addWidget(btnSave);
    buttonRow->addWidget(btnCancel);

    auto* pageTab = new QWidget(this);
    auto* pageTabLayout = new QVBoxLayout(pageTab);
    pageTabLayout->addLayout(nameRow);
    pageTabLayout->addWidget(grpDevice);
    pageTabLayout->addLayout(pageRow);
    pageTabLayout->addWidget(grpFont);
    pageTabLayout->addWidget(grpNotes);
    tabs = new QTabWidget(this);
    tabs->setObjectName(QStringLiteral("tabs"));
    tabs->addTab(pageTab, QStringLiteral("页面"));
    tabs->addTab(createDataTab(), QStringLiteral("数据"));

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tabs);
    layout->addLayout(buttonRow);
    // Single border: the user cannot resize it.
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(edtProjectName, &QLineEdit::textChanged, this, &TprojectEditorView::SetBtnSave);
    connect(prnSelect, &QComboBox::currentIndexChanged, this, &TprojectEditorView::SetBtnSave);
    for (QDoubleSpinBox* edit : {PrnPageWidth, PrnPageHeight, PrnOffsetX, PrnOffsetY})
        connect(edit, &QDoubleSpinBox::valueChanged, this, &TprojectEditorView::SetBtnSave);
    connect(paperButtons, &QButtonGroup::idToggled, this, &TprojectEditorView::SetBtnSave);
    for (QDoubleSpinBox* edit : {PrnPageWidth, PrnPageHeight})
        connect(edit, &QDoubleSpinBox::valueChanged, this, &TprojectEditorView::RenderView);
    connect(paperButtons, &QButtonGroup::idToggled, this, &TprojectEditorView::RenderView);
    connect(memoNotes, &QPlainTextEdit::textChanged, this, &TprojectEditorView::SetBtnSave);
    connect(PrnDefault, &QCheckBox::toggled, this, &TprojectEditorView::PrnDefaultClick);
    connect(btnFont, &QPushButton::clicked, this, &TprojectEditorView::btnFontClick);
    connect(btnSave, &QPushButton::clicked, this, &TprojectEditorView::btnSaveClick);
    connect(btnCancel, &QPushButton::clicked, this, &TprojectEditorView::btnCancelClick);

    RenderView();
}

void TprojectEditorView::Setdata(TProject* project) {
    prnSelect->clear();
    prnSelect->addItems(FPrinterSource ? FPrinterSource() : QStringList());

    currProject = project;
    edtProjectName->setText(project->ProjectName());
    PrnDefault->setChecked(IsTrue(project->ProjectDefaultDevice()));
    // Printer names are compared without regard to case, as the main window's
    // printer line does; an unknown printer leaves the list without a selection.
    prnSelect->setCurrentIndex(
        prnSelect->findText(project->ProjectDeviceName(), Qt::MatchFixedString));
    PrnPageWidth->setValue(project->ProjectPageWidth());
    PrnPageHeight->setValue(project->ProjectPageHeight());
    // Like the page description, anything but 0 counts as landscape.
    const int orientation = project->ProjectPaperOrientation() != 0 ? 1 : 0;
    paperButtons->button(orientation)->setChecked(true);
    PrnOffsetX->setValue(project->ProjectOffsetX());
    PrnOffsetY->setValue(project->ProjectOffsetY());
    memoNotes->setPlainText(project->ProjectNotes());
    FLoadedWidth = PrnPageWidth->value();
    FLoadedHeight = PrnPageHeight->value();
    FLoadedOffsetX = PrnOffsetX->value();
    FLoadedOffsetY = PrnOffsetY->value();

    FFont = PrintModel->SettingMgr()->GetProjectFont(*project);
    FData = PrintModel->FileMgr()->GetProjectData(project->OID());
    FDataChanged = false;
    showData();

    btnSave->setEnabled(false);
    FdoSave = false;
    RenderView();
    FLoadedValues = FormValues(this);
    FLoadedFont = FFont;
}

bool TprojectEditorView::changed() const {
    return currProject &&
           (FDataChanged || FFont != FLoadedFont || FormValues(this) != FLoadedValues);
}


void TprojectEditorView::RenderView() {
    const bool landscape = paperButtons->checkedId() == 1;
    const double across = landscape ? PrnPageHeight->value() : PrnPageWidth->value();
    const double down = landscape ? PrnPageWidth->value() : PrnPageHeight->value();
    lblPrintArea->setText(
        QStringLiteral("打印区域：%1 × %2 mm").arg(QString::number(across), QString::number(down)));
    lblSample->setFont(FFont.toQFont());
    QPalette pal = lblSample->palette();
    pal.setColor(QPalette::WindowText, ColorToQColor(FFont.Color));
    lblSample->setPalette(pal);
    prnSelect->setEnabled(!PrnDefault->isChecked());
}

void TprojectEditorView::SetBtnSave() {
    btnSave->setEnabled(true);
}

void TprojectEditorView::PrnDefaultClick() {
    SetBtnSave();
    RenderView();
}

void TprojectEditorView::btnFontClick() {
    dlgFont->SetCurrentFont(FFont);
    if (!dlgFont->Execute())
        return;
    FFont = dlgFont->CurrentFont();
    SetBtnSave();
    RenderView();
}

void TprojectEditorView::btnSaveClick() {
    if (!currProject)
        return;
    // A name of blanks shows as nothing in the project list.
    if (edtProjectName->text().trimmed().isEmpty()) {
        ShowMessage(QStringLiteral("请输入项目名称"), this);
        edtProjectName->setFocus();
        return;
    }
    // Projects are picked by name (the list, kova-print): two of one name are one too many.
    if (PrintModel && PrintModel->SettingMgr()) {
        const QString name = edtProjectName->text();
        for (const auto& [listed, project] : PrintModel->SettingMgr()->GetProjectList())
            if (project != currProject && listed == name) {
                ShowMessage(QStringLiteral("已经有名为 \"%1\" 的项目，请换一个名称").arg(name),
                            this);
                edtProjectName->setFocus();
                return;
            }
    }
    // Refused here rather than at every Print: the queue has no such sheet.
    const QString queue = PrnDefault->isChecked() ? TPrinter::DefaultPrinter() : prnSelect->currentText();
    const QString size = PageSizeRefusal(QSizeF(PrnPageWidth->value(), PrnPageHeight->value()),
                                         QueueMediaLimits(queue),
                                         QStringLiteral("打印机 %1 ").arg(queue));
    if (!size.isEmpty()) {
        ShowMessage(size, this);
        PrnPageWidth->setFocus();
        return;
    }
    const TObjectSnapshot before(*currProject);
    try {
        SaveOrRestore(*currProject, before, [this] {
            // The rows first: a project saved without them would print without them.
            if (FDataChanged) {
                if (FData)
                    PrintModel->FileMgr()->SaveProjectData(currProject->OID(), *FData);
                else
                    PrintModel->FileMgr()->DeleteProjectData(currProject->OID());
                FDataChanged = false;
            }
            storeData();
            if (FSaveHandler)
                FSaveHandler(currProject);
        });
    } catch (const ESaveRefused& e) {
        ShowMessage(e.Message(), this);
        return;
    }
    FdoSave = true;
    accept();
}

void TprojectEditorView::storeData() {
    TProject& p = *currProject;
    p.SetProjectName(edtProjectName->text());
    const bool useDefault = PrnDefault->isChecked();
    p.SetProjectDefaultDevice(FlagText(useDefault));
    if (useDefault)
        p.SetProjectDeviceName(QString());
    else if (prnSelect->currentIndex() >= 0)
        p.SetProjectDeviceName(prnSelect->currentText());
    // With no printer selected the stored one is not installed here; keeping its
    // name saves it from being lost through an unrelated edit.
    p.SetProjectPageWidth(keptOrEdited(PrnPageWidth, FLoadedWidth, p.ProjectPageWidth()));
    p.SetProjectPageHeight(keptOrEdited(PrnPageHeight, FLoadedHeight, p.ProjectPageHeight()));
    p.SetProjectPaperOrientation(paperButtons->checkedId());
    // Tenths of a millimetre, exactly as entered; the printer side divides by ten.
    p.SetProjectOffsetX(keptOrEdited(PrnOffsetX, FLoadedOffsetX, p.ProjectOffsetX()));
    p.SetProjectOffsetY(keptOrEdited(PrnOffsetY, FLoadedOffsetY, p.ProjectOffsetY()));
    p.SetProjectNotes(memoNotes->toPlainText());
    p.SetProjectFontName(FFont.Name);
    p.SetProjectFontSize(QString::number(FFont.Size));
    p.SetProjectFontColor(ColorToString(FFont.Color));
    p.SetProjectFontStyle(TSettingMgr::GetFontStyleString(FFont));
}

void TprojectEditorView::btnCancelClick() {
    reject();
}

QWidget* TprojectEditorView::createDataTab() {
    auto* tab = new QWidget(this);
    lblDataFile = new QLabel(tab);
    lblDataFile->setObjectName(QStringLiteral("lblDataFile"));
    btnDataFile = new QPushButton(QStringLiteral("选择文件…"), tab);
    btnDataFile->setObjectName(QStringLiteral("btnDataFile"));
    btnDataFile->setAutoDefault(false);
    btnDataRemove = new QPushButton(QStringLiteral("删除数据"), tab);
    btnDataRemove->setObjectName(QStringLiteral("btnDataRemove"));
    btnDataRemove->setAutoDefault(false);
    auto* fileRow = new QHBoxLayout;
    fileRow->addWidget(new QLabel(QStringLiteral("数据文件："), tab));
    fileRow->addWidget(lblDataFile, 1);
    fileRow->addWidget(btnDataFile);
    fileRow->addWidget(btnDataRemove);

    lblDataEncoding = new QLabel(tab);
    lblDataEncoding->setObjectName(QStringLiteral("lblDataEncoding"));
    cbbDelimiter = new QComboBox(tab);
    cbbDelimiter->setObjectName(QStringLiteral("cbbDelimiter"));
    for (const TDelimiterName& d : kDelimiters)
        cbbDelimiter->addItem(QString::fromUtf8(d.Name), QChar(d.Delimiter));
    chkHeaderRow = new QCheckBox(QStringLiteral("首行是列名"), tab);
    chkHeaderRow->setObjectName(QStringLiteral("chkHeaderRow"));
    chkHeaderRow->setChecked(true);
    lblDataRows = new QLabel(tab);
    lblDataRows->setObjectName(QStringLiteral("lblDataRows"));
    auto* formatRow = new QHBoxLayout;
    formatRow->addWidget(lblDataEncoding);
    formatRow->addSpacing(12);
    formatRow->addWidget(new QLabel(QStringLiteral("分隔符"), tab));
    formatRow->addWidget(cbbDelimiter);
    formatRow->addSpacing(12);
    formatRow->addWidget(chkHeaderRow);
    formatRow->addStretch(1);
    formatRow->addWidget(lblDataRows);

    tblData = new QTableWidget(tab);
    tblData->setObjectName(QStringLiteral("tblData"));
    tblData->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tblData->setMinimumSize(560, 300);
    lblDataColumns = new QLabel(tab);
    lblDataColumns->setObjectName(QStringLiteral("lblDataColumns"));
    lblDataColumns->setWordWrap(true);
    lblDataColumns->setTextInteractionFlags(Qt::TextSelectableByMouse);
    lblDataError = new QLabel(tab);
    lblDataError->setObjectName(QStringLiteral("lblDataError"));
    lblDataError->setWordWrap(true);
    lblDataError->setStyleSheet(QStringLiteral("color: #b00000;"));

    auto* layout = new QVBoxLayout(tab);
    layout->addLayout(fileRow);
    layout->addLayout(formatRow);
    layout->addWidget(tblData, 1);
    layout->addWidget(lblDataColumns);
    layout->addWidget(lblDataError);

    connect(btnDataFile, &QPushButton::clicked, this, &TprojectEditorView::btnDataFileClick);
    connect(btnDataRemove, &QPushButton::clicked, this, &TprojectEditorView::btnDataRemoveClick);
    connect(cbbDelimiter, &QComboBox::activated, this, &TprojectEditorView::dataFormatChange);
    connect(chkHeaderRow, &QCheckBox::clicked, this, &TprojectEditorView::dataFormatChange);
    return tab;
}

bool TprojectEditorView::LoadDataFile(const QString& path) {
    TProjectData data;
    try {
        data.Body = ReadDataBytes(path);
        data.FileName = QFileInfo(path).fileName();
        data.Format.HeaderRow = chkHeaderRow->isChecked();
        data.Format.Delimiter = ParseDataFile(data.Body, data.Format).Delimiter;
    } catch (const EDataFileError& e) {
        ShowMessage(e.Message(), this);
        return false;
    }
    FData = std::move(data);
    FDataChanged = true;
    SetBtnSave();
    showData();
    return true;
}

void TprojectEditorView::btnDataFileClick() {
    const QString path =
        QFileDialog::getOpenFileName(this, QStringLiteral("选择数据文件"), QString(),
                                     QStringLiteral("数据文件 (*.csv *.tsv *.txt);;所有文件 (*)"));
    if (!path.isEmpty())
        LoadDataFile(path);
}

void TprojectEditorView::btnDataRemoveClick() {
    if (!FData)
        return;
    FData.reset();
    FDataChanged = true;
    SetBtnSave();
    showData();
}

void TprojectEditorView::dataFormatChange() {
    if (!FData)
        return;
    FData->Format.Delimiter = cbbDelimiter->currentData().toChar();
    FData->Format.HeaderRow = chkHeaderRow->isChecked();
    FDataChanged = true;
    SetBtnSave();
    showData();
}

void TprojectEditorView::showData() {
    const int shownRows = 20;
    tblData->clear();
    tblData->setRowCount(0);
    tblData->setColumnCount(0);
    lblDataError->clear();
    lblDataColumns->clear();
    lblDataRows->clear();
    lblDataEncoding->clear();
    btnDataRemove->setEnabled(FData.has_value());
    cbbDelimiter->setEnabled(FData.has_value());
    chkHeaderRow->setEnabled(FData.has_value());
    btnDataFile->setText(FData ? QStringLiteral("更换文件…") : QStringLiteral("选择文件…"));
    if (!FData) {
        lblDataFile->setText(QStringLiteral("没有数据文件，打印不用数据"));
        return;
    }
    lblDataFile->setText(FData->FileName);
    TDataTable table;
    try {
        table = ParseDataFile(FData->Body, FData->Format);
    } catch (const EDataFileError& e) {
        lblDataError->setText(e.Message());
        return;
    }
    lblDataEncoding->setText(QStringLiteral("编码：%1").arg(table.Encoding));
    {
        const QSignalBlocker block(cbbDelimiter);
        const int index = cbbDelimiter->findData(QVariant::fromValue(table.Delimiter));
        cbbDelimiter->setCurrentIndex(index);
    }
    {
        const QSignalBlocker block(chkHeaderRow);
        chkHeaderRow->setChecked(table.HeaderRow);
    }
    lblDataRows->setText(
        QStringLiteral("共 %1 行，%2 列").arg(table.RowCount()).arg(table.Columns.size()));
    tblData->setColumnCount(int(table.Columns.size()));
    tblData->setHorizontalHeaderLabels(table.Columns);
    const int rows = qMin(shownRows, table.RowCount());
    tblData->setRowCount(rows);
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < table.Rows[r].size() && c < table.Columns.size(); ++c)
            tblData->setItem(r, c, new QTableWidgetItem(table.Rows[r][c]));
    QStringList fields;
    for (const QString& column : table.Columns)
        if (CanBeField(column))
            fields << FieldText(column);
    lblDataColumns->setText(
        QStringLiteral("可插入的字段：%1").arg(fields.join(QStringLiteral("  "))));
    if (currProject)
        if (const QStringList clashes = ColumnsNamedLikeItems(*currProject, table.Columns);
            !clashes.isEmpty())
            lblDataError->setText(ColumnItemClash(clashes.first()));
}
