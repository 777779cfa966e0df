#include "PrintMain.h"

#include "model/Colors.h"
#include "model/Composer.h"
#include "model/DataFile.h"
#include "model/Duplicate.h"
#include "model/Font.h"
#include "model/ItemEditing.h"
#include "model/ItemSummary.h"
#include "model/PrintCommon.h"
#include "model/SummaryPicture.h"
#include "model/bom/SettingBom.h"
#include "model/manager/PrintMgrImpl.h"
#include "model/manager/PrintRun.h"
#include "model/manager/Printer.h"
#include "model/manager/RunLedger.h"
#include "persistence/DatabaseLocation.h"
#include "persistence/FbEnvironment.h"
#include "persistence/FbLayer.h"
#include "persistence/PersistenceManager.h"
#include "persistence/SchemaVersion.h"
#include "view/ABOUT.h"
#include "view/KovaApplication.h"
#include "view/PagePreview.h"
#include "view/Preview.h"
#include "view/RunLedgerView.h"
#include "view/printItemEditor.h"
#include "view/projectEditor.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QMenuBar>
#include <QMessageBox>
#include <QPainter>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QSpinBox>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>
#include <climits>
#include <functional>

TPrintMainFrm* PrintMainFrm = nullptr;

namespace {

// The station setting naming the project shown last.
const QString kLastProject = QStringLiteral("last_project");

constexpr int kItemRole = Qt::UserRole;

TPrintItem* itemOf(const QModelIndex& index) {
    return static_cast<TPrintItem*>(index.data(kItemRole).value<void*>());
}

QString colorStyle(TColor color) {
    return QStringLiteral("color: %1;").arg(ColorToQColor(color).name());
}

// The state toggle in green or red, dark enough to read on a button's face.
QString statusStyle(bool active) {
    return QStringLiteral("color: %1;")
        .arg(active ? QStringLiteral("#006400") : QStringLiteral("#a00000"));
}

// Entries 16 pixels high: grey for disabled items, bold for serial numbers.
class ItemListDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        return QSize(QStyledItemDelegate::sizeHint(option, index).width(), 16);
    }

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        const TPrintItem* item = itemOf(index);
        if (!item)
            return;
        const bool selected = option.state & QStyle::State_Selected;
        const QPalette& pal = option.palette;
        QColor text = pal.color(selected ? QPalette::HighlightedText : QPalette::Text);
        const QColor back = pal.color(selected ? QPalette::Highlight : QPalette::Base);
        QFont font = option.font;
        font.setBold(item->ItemType() == itSerial);
        if (item->ItemActive() == kFalse) {
            // Grey on the selection colour cannot be read: a selected disabled
            // entry keeps the selection's text colour and is set in italics.
            if (selected)
                font.setItalic(true);
            else
                text = ColorToQColor(0x808080);
        }
        painter->save();
        painter->fillRect(option.rect, back);
        painter->setPen(text);
        painter->setFont(font);
        painter->drawText(option.rect, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                          item->ItemName());
        painter->restore();
    }
};

QPushButton* button(const QString& name, const QString& caption) {
    auto* b = new QPushButton(caption);
    b->setObjectName(name);
    return b;
}

QLabel* label(const QString& name, const QString& caption) {
    auto* l = new QLabel(caption);
    l->setObjectName(name);
    return l;
}

QGroupBox* group(const QString& title) {
    auto* g = new QGroupBox(title);
    return g;
}

} // namespace

TPrintMainFrm::TPrintMainFrm(const QString& programDir, QWidget* parent)
    : QMainWindow(parent), FProgramDir(programDir) {
    setObjectName(QStringLiteral("PrintMainFrm"));
    setWindowTitle(QStringLiteral("mainView"));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    QFont font(QStringLiteral("宋体"));
    font.setPixelSize(12);
    setFont(font);
    buildLayout();
    // The CJK face claims less room below the baseline than its underscores and
    // descenders take: a label just as tall showed "KOVA_PDF_B" as "KOVA PDF B".
    for (QLabel* l : findChildren<QLabel*>())
        l->setMinimumHeight(l->fontMetrics().height() + 3);
}

TPrintMainFrm::~TPrintMainFrm() = default;

void TPrintMainFrm::buildLayout() {
    PMainMenu = menuBar();
    PMainMenu->setObjectName(QStringLiteral("PMainMenu"));
    QMenu* system = PMainMenu->addMenu(QStringLiteral("系统(&Y)"));
    mmOption = system->addAction(QStringLiteral("选项(&O)"));
    mmOption->setObjectName(QStringLiteral("mmOption"));
    mmOption->setVisible(false);
    mmRefresh = system->addAction(QStringLiteral("刷新"), this, &TPrintMainFrm::mmRefreshClick);
    mmRefresh->setObjectName(QStringLiteral("mmRefresh"));
    mmRefresh->setShortcut(QKeySequence::Refresh);
    mmPagePreview =
        system->addAction(QStringLiteral("页面预览(&V)"), this, &TPrintMainFrm::mmPagePreviewClick);
    mmPagePreview->setObjectName(QStringLiteral("mmPagePreview"));
    mmRunLedger =
        system->addAction(QStringLiteral("打印记录(&J)"), this, &TPrintMainFrm::mmRunLedgerClick);
    mmRunLedger->setObjectName(QStringLiteral("mmRunLedger"));
    mmRunLedger->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_H));
    mmCopyItem = system->addAction(QStringLiteral("复制"), this, &TPrintMainFrm::mmCopyItemClick);
    mmCopyItem->setObjectName(QStringLiteral("mmCopyItem"));
    mmCopyItem->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_D));
    mmCopyProject =
        system->addAction(QStringLiteral("复制项目"), this, &TPrintMainFrm::mmCopyProjectClick);
    mmCopyProject->setObjectName(QStringLiteral("mmCopyProject"));
    mmCopyItem->setEnabled(false);
    mmCopyProject->setEnabled(false);
    mmexit = system->addAction(QStringLiteral("退出(&X)"), this, &TPrintMainFrm::mmexitClick);
    mmexit->setObjectName(QStringLiteral("mmexit"));
    QMenu* help = PMainMenu->addMenu(QStringLiteral("帮助(&H)"));
    PrnHelp = help->addAction(QStringLiteral("帮助(&L)"), this, &TPrintMainFrm::PrnHelpClick);
    PrnHelp->setObjectName(QStringLiteral("PrnHelp"));
    mmAbout = help->addAction(QStringLiteral("关于(&A)"), this, &TPrintMainFrm::mmAboutClick);
    mmAbout->setObjectName(QStringLiteral("mmAbout"));

    ToolBar1 = new QToolBar(this);
    ToolBar1->setObjectName(QStringLiteral("ToolBar1"));
    ToolBar1->setIconSize(QSize(32, 32));
    ToolBar1->addAction(QStringLiteral("选项"))->setToolTip(QStringLiteral("选项"));
    ToolBar1->addAction(QStringLiteral("退出"), this, &TPrintMainFrm::mmexitClick)
        ->setToolTip(QStringLiteral("退出"));
    addToolBar(ToolBar1);
    ToolBar1->setVisible(false);

    auto* central = new QWidget;
    central->setObjectName(QStringLiteral("clientArea"));
    central->setFixedSize(493, 664);
    auto* root = new QVBoxLayout(central);
    root->setContentsMargins(10, 0, 10, 10);
    root->setSpacing(4);

    // A one-pixel strip: its labels exist but do not show.
    auto* title = new QWidget;
    title->setObjectName(QStringLiteral("Title"));
    title->setFixedHeight(1);
    lblTitle = label(QStringLiteral("lblTitle"), QStringLiteral("KV自定义定位连续打印"));
    QFont titleFont = lblTitle->font();
    titleFont.setBold(true);
    titleFont.setPixelSize(24);
    lblTitle->setFont(titleFont);
    lblTitle->setParent(title);
    lblUnit = label(QStringLiteral("lblUnit"), QStringLiteral("长度单位：毫米"));
    lblUnit->setParent(title);
    root->addWidget(title);

    auto* projectBox = group(QStringLiteral(" 项目"));
    auto* projectRow = new QHBoxLayout(projectBox);
    cbbProjectList = new QComboBox;
    cbbProjectList->setObjectName(QStringLiteral("cbbProjectList"));
    cbbProjectList->setMinimumWidth(150);
    btnProjectAdd = button(QStringLiteral("btnProjectAdd"), QStringLiteral("添  加&N"));
    btnProjectModify = button(QStringLiteral("btnProjectModify"), QStringLiteral("修  改&M"));
    btnProjectDel = button(QStringLiteral("btnProjectDel"), QStringLiteral("删  除&R"));
    projectRow->addWidget(cbbProjectList, 1);
    for (QPushButton* b : {btnProjectAdd, btnProjectModify, btnProjectDel}) {
        b->setFixedWidth(80);
        projectRow->addWidget(b);
    }
    root->addWidget(projectBox);

    auto* middle = new QHBoxLayout;
    auto* left = new QWidget;
    left->setFixedWidth(185);
    auto* leftCol = new QVBoxLayout(left);
    leftCol->setContentsMargins(0, 0, 0, 0);
    leftCol->addWidget(new QLabel(QStringLiteral("打印项列表")));
    ItemListBox = new QListWidget;
    ItemListBox->setObjectName(QStringLiteral("ItemListBox"));
    ItemListBox->setItemDelegate(new ItemListDelegate(ItemListBox));
    ItemListBox->setUniformItemSizes(true);
    leftCol->addWidget(ItemListBox, 1);
    auto* itemButtons = new QHBoxLayout;
    btnAdd = button(QStringLiteral("btnAdd"), QStringLiteral("添 加&A"));
    btnEdit = button(QStringLiteral("btnEdit"), QStringLiteral("编 辑&E"));
    btnDelete = button(QStringLiteral("btnDelete"), QStringLiteral("删 除&D"));
    for (QPushButton* b : {btnAdd, btnEdit, btnDelete}) {
        b->setMinimumWidth(0);
        itemButtons->addWidget(b);
    }
    leftCol->addLayout(itemButtons);
    middle->addWidget(left);

    auto* summary = new QWidget;
    summary->setObjectName(QStringLiteral("itemSummary"));
    auto* sum = new QVBoxLayout(summary);
    sum->setContentsMargins(0, 0, 0, 0);
    sum->setSpacing(3);
    auto* nameRow = new QHBoxLayout;
    nameRow->addWidget(new QLabel(QStringLiteral("打印项名称：")));
    itemNameLabel = label(QStringLiteral("itemNameLabel"), QString());
    nameRow->addWidget(itemNameLabel, 1);
    sum->addLayout(nameRow);
    itemValueTitleLabel =
        label(QStringLiteral("itemValueTitleLabel"), QStringLiteral("打印内容："));
    sum->addWidget(itemValueTitleLabel);
    valueMemo = new QPlainTextEdit;
    valueMemo->setObjectName(QStringLiteral("valueMemo"));
    valueMemo->setReadOnly(true);
    valueMemo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    valueMemo->setFixedHeight(60);
    sum->addWidget(valueMemo);
    auto* stateRow = new QHBoxLayout;
    stateRow->addWidget(new QLabel(QStringLiteral("状态：")));
    auto* statusHolder = new QWidget;
    auto* statusStack = new QGridLayout(statusHolder);
    statusStack->setContentsMargins(0, 0, 0, 0);
    itemStatusLabel = label(QStringLiteral("itemStatusLabel"), QString());
    itemStatusLabel->setVisible(false);
    btnItemStatus = button(QStringLiteral("btnItemStatus"), QString());
    statusStack->addWidget(itemStatusLabel, 0, 0);
    statusStack->addWidget(btnItemStatus, 0, 0);
    stateRow->addWidget(statusHolder);
    stateRow->addWidget(new QLabel(QStringLiteral("类型：")));
    itemTypeLabel = label(QStringLiteral("itemTypeLabel"), QString());
    stateRow->addWidget(itemTypeLabel, 1);
    sum->addLayout(stateRow);

    itemFontContainer = new QWidget;
    itemFontContainer->setObjectName(QStringLiteral("itemFontContainer"));
    auto* fontArea = new QVBoxLayout(itemFontContainer);
    fontArea->setContentsMargins(0, 0, 0, 0);
    fontLabelTitle = label(QStringLiteral("fontLabelTitle"), QStringLiteral("字体："));
    itemFontLabel = label(QStringLiteral("itemFontLabel"), QString());
    itemFontLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    itemFontLabel->setWordWrap(true);
    fontArea->addWidget(fontLabelTitle);
    fontArea->addWidget(itemFontLabel, 1);
    itemImageContainer = new QWidget;
    itemImageContainer->setObjectName(QStringLiteral("itemImageContainer"));
    auto* imageArea = new QVBoxLayout(itemImageContainer);
    imageArea->setContentsMargins(0, 0, 0, 0);
    imageItem = label(QStringLiteral("imageItem"), QString());
    imageItem->setAlignment(Qt::AlignCenter);
    // The picture is scaled to the area; it must never widen the fixed window.
    imageItem->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
    imageArea->addWidget(imageItem);
    itemImageContainer->setVisible(false);
    auto* area = new QWidget;
    area->setFixedHeight(110);
    auto* areaStack = new QGridLayout(area);
    areaStack->setContentsMargins(0, 0, 0, 0);
    areaStack->addWidget(itemFontContainer, 0, 0);
    areaStack->addWidget(itemImageContainer, 0, 0);
    sum->addWidget(area);

    itemPositionLabel = label(QStringLiteral("itemPositionLabel"), QStringLiteral("位置："));
    itemControlLabel = label(QStringLiteral("itemControlLabel"), QStringLiteral("控制："));
    itemOutLineLabel = label(QStringLiteral("itemOutLineLabel"), QStringLiteral("线型："));
    itemOtherLabel = label(QStringLiteral("itemOtherLabel"), QStringLiteral("其他："));
    for (QLabel* l : {itemPositionLabel, itemControlLabel, itemOutLineLabel, itemOtherLabel}) {
        l->setWordWrap(true);
        sum->addWidget(l);
    }
    sum->addStretch(1);
    middle->addWidget(summary, 1);
    root->addLayout(middle, 1);

    auto* deviceBox = group(QStringLiteral(" 项目打印设备信息 "));
    auto* deviceCol = new QVBoxLayout(deviceBox);
    printInfo = label(QStringLiteral("printInfo"), QString());
    printDevice = label(QStringLiteral("printDevice"), QString());
    deviceCol->addWidget(printInfo);
    deviceCol->addWidget(printDevice);
    root->addWidget(deviceBox);

    auto* notesBox = group(QStringLiteral(" 项目备注"));
    auto* notesCol = new QVBoxLayout(notesBox);
    memoProjectNotes = new QPlainTextEdit;
    memoProjectNotes->setObjectName(QStringLiteral("memoProjectNotes"));
    memoProjectNotes->setReadOnly(true);
    memoProjectNotes->setFixedHeight(44);
    notesCol->addWidget(memoProjectNotes);
    root->addWidget(notesBox);

    auto* pagesBox = group(QStringLiteral(" 项目打印页码设置"));
    auto* pagesRow = new QHBoxLayout(pagesBox);
    PrnSerialFrom = new QSpinBox;
    PrnSerialFrom->setObjectName(QStringLiteral("PrnSerialFrom"));
    PrnSerialTo = new QSpinBox;
    PrnSerialTo->setObjectName(QStringLiteral("PrnSerialTo"));
    for (QSpinBox* s : {PrnSerialFrom, PrnSerialTo}) {
        s->setRange(INT_MIN, INT_MAX);
        s->setButtonSymbols(QAbstractSpinBox::NoButtons);
    }
    // The summary shows the fields' values of the start page.
    connect(PrnSerialFrom, &QSpinBox::valueChanged, this, [this] {
        if (FCurrItem && FCurrProject && FCurrItem->ItemValue().contains(u'{'))
            renderItemSummary();
    });
    pagesRow->addWidget(new QLabel(QStringLiteral("页码起始值：")));
    pagesRow->addWidget(PrnSerialFrom, 1);
    pagesRow->addWidget(new QLabel(QStringLiteral("页数：")));
    pagesRow->addWidget(PrnSerialTo, 1);
    root->addWidget(pagesBox);

    auto* statusPanel = new QWidget;
    auto* statusRow = new QHBoxLayout(statusPanel);
    statusRow->setContentsMargins(0, 0, 0, 0);
    lblStatus = label(QStringLiteral("lblStatus"), QString());
    prgPrint = new QProgressBar;
    prgPrint->setObjectName(QStringLiteral("prgPrint"));
    prgPrint->setRange(0, 100);
    prgPrint->setValue(0);
    statusRow->addWidget(lblStatus, 1);
    statusRow->addWidget(prgPrint, 1);
    root->addWidget(statusPanel);

    noticeRow = new QWidget;
    noticeRow->setObjectName(QStringLiteral("noticeRow"));
    auto* noticeLine = new QHBoxLayout(noticeRow);
    noticeLine->setContentsMargins(0, 0, 0, 0);
    lblNotice = label(QStringLiteral("lblNotice"), QString());
    lblNotice->setWordWrap(true);
    lblNotice->setStyleSheet(QStringLiteral("color: red;"));
    btnNotice = button(QStringLiteral("btnNotice"), QStringLiteral("查看打印记录"));
    noticeLine->addWidget(lblNotice, 1);
    noticeLine->addWidget(btnNotice);
    noticeRow->setVisible(false);
    root->addWidget(noticeRow);

    auto* commands = new QHBoxLayout;
    btnPrint = button(QStringLiteral("btnPrint"), QStringLiteral("打    印&P"));
    btnStop = button(QStringLiteral("btnStop"), QStringLiteral("停    止&S"));
    btnClose = button(QStringLiteral("btnClose"), QStringLiteral("关  闭&C"));
    btnPause = button(QStringLiteral("btnPause"), QStringLiteral("暂  停&T"));
    BtnPreview = button(QStringLiteral("BtnPreview"), QStringLiteral("预  览&V"));
    btnClose->setVisible(false);
    btnPause->setVisible(false);
    btnPause->setEnabled(false);
    BtnPreview->setVisible(false);
    commands->addStretch(1);
    for (QPushButton* b : {btnPrint, btnStop, btnClose, btnPause, BtnPreview})
        commands->addWidget(b);
    root->addLayout(commands);

    setCentralWidget(central);
    layout()->setSizeConstraint(QLayout::SetFixedSize);

    connect(cbbProjectList, &QComboBox::activated, this, &TPrintMainFrm::cbbProjectListChange);
    connect(btnProjectAdd, &QPushButton::clicked, this, &TPrintMainFrm::btnProjectAddClick);
    connect(btnProjectModify, &QPushButton::clicked, this, &TPrintMainFrm::btnProjectModifyClick);
    connect(btnProjectDel, &QPushButton::clicked, this, &TPrintMainFrm::btnProjectDelClick);
    connect(ItemListBox, &QListWidget::itemClicked, this, &TPrintMainFrm::ItemListBoxClick);
    // Keys and drags move the selection without a click: the summary follows.
    connect(ItemListBox, &QListWidget::currentRowChanged, this, &TPrintMainFrm::ItemListBoxClick);
    connect(ItemListBox, &QListWidget::itemDoubleClicked, this,
            &TPrintMainFrm::ItemListBoxDblClick);
    // The list's own keys: Delete deletes (asking first), Enter edits.
    const auto listKey = [this](QKeySequence key, void (TPrintMainFrm::*command)()) {
        auto* shortcut = new QShortcut(key, ItemListBox, nullptr, nullptr, Qt::WidgetShortcut);
        connect(shortcut, &QShortcut::activated, this, command);
    };
    listKey(QKeySequence::Delete, &TPrintMainFrm::btnDeleteClick);
    listKey(QKeySequence(Qt::Key_Return), &TPrintMainFrm::btnEditClick);
    listKey(QKeySequence(Qt::Key_Enter), &TPrintMainFrm::btnEditClick);
    // The copies are also offered where their originals are picked.
    ItemListBox->setContextMenuPolicy(Qt::ActionsContextMenu);
    ItemListBox->addAction(mmCopyItem);
    cbbProjectList->setContextMenuPolicy(Qt::ActionsContextMenu);
    cbbProjectList->addAction(mmCopyProject);
    connect(btnAdd, &QPushButton::clicked, this, &TPrintMainFrm::btnAddClick);
    connect(btnEdit, &QPushButton::clicked, this, &TPrintMainFrm::btnEditClick);
    connect(btnDelete, &QPushButton::clicked, this, &TPrintMainFrm::btnDeleteClick);
    connect(btnItemStatus, &QPushButton::clicked, this, &TPrintMainFrm::btnItemStatusClick);
    connect(btnClose, &QPushButton::clicked, this, &TPrintMainFrm::mmexitClick);
    connect(btnPrint, &QPushButton::clicked, this, &TPrintMainFrm::btnPrintClick);
    connect(btnStop, &QPushButton::clicked, this, &TPrintMainFrm::btnStopClick);
    connect(btnPause, &QPushButton::clicked, this, &TPrintMainFrm::btnPauseClick);
    connect(BtnPreview, &QPushButton::clicked, this, &TPrintMainFrm::BtnPreviewClick);
    connect(btnNotice, &QPushButton::clicked, this, &TPrintMainFrm::btnNoticeClick);
}

QString TPrintMainFrm::DatabasePath(const QString& programDir) {
    return DefaultDatabasePath(programDir);
}

bool TPrintMainFrm::FormCreate() {
    try {
        ConnectToDatabase(ResolveDatabaseLocation(FProgramDir));
    } catch (const Exception& e) {
        ShowMessage(e.Message());
        return false;
    }
    // Later failures reach the error handler; the window still opens, uncaptioned.
    try {
        PrintModel = new TPrintModel;
        PrintModel->Load();
        setWindowTitle(QStringLiteral("KOVA 自定义定位打印 v5.1"));
        SetData();
        // An older database gets the run ledger; without it no run can reserve
        // its numbers, so nothing prints unrecorded.
        UpdateSchema();
    } catch (...) {
        TKovaApplication::HandleException(std::current_exception());
    }
    if (!ModelReady()) {
        disableModelCommands();
        return true;
    }
    // The project this station showed last, if it is still there.
    const QString last = PrintModel->SettingMgr()->StationSetting(kLastProject);
    for (int i = 0; !last.isEmpty() && i < cbbProjectList->count(); ++i)
        if (static_cast<TProject*>(cbbProjectList->itemData(i).value<void*>())->OID() == last) {
            cbbProjectList->setCurrentIndex(i);
            cbbProjectListChange();
        }
    try {
        tellLater(RecoverRuns());
    } catch (const Exception& e) {
        tellLater({QStringLiteral("没能核对上次中断的打印任务：%1").arg(e.Message())});
    }
    return true;
}

bool TPrintMainFrm::ModelReady() const {
    return PrintModel && PrintModel->SettingMgr() && PrintModel->FileMgr();
}

void TPrintMainFrm::disableModelCommands() {
    for (QWidget* w : std::initializer_list<QWidget*>{
             cbbProjectList, btnProjectAdd, btnProjectModify, btnProjectDel, ItemListBox, btnAdd,
             btnEdit, btnDelete, btnItemStatus, PrnSerialFrom, PrnSerialTo, btnPrint, btnStop,
             btnPause, BtnPreview})
        w->setEnabled(false);
    mmPagePreview->setEnabled(false);
    mmRunLedger->setEnabled(false);
    lblStatus->setWordWrap(true);
    lblStatus->setText(
        QStringLiteral("项目数据未能载入，编辑和打印已停用。请检查数据库后重新启动程序。"));
}

void TPrintMainFrm::SetData() {
    printStoped = false;
    RenderView();
}

void TPrintMainFrm::selectProjectEntry() {
    const QSignalBlocker block(cbbProjectList);
    for (int i = 0; i < cbbProjectList->count(); ++i)
        if (cbbProjectList->itemData(i).value<void*>() == FCurrProject)
            cbbProjectList->setCurrentIndex(i);
}

void TPrintMainFrm::RenderView() {
    if (!ModelReady())
        return disableModelCommands();
    imageItem->clear();
    btnStop->setEnabled(prtMgr != nullptr);

    {
        const QSignalBlocker block(cbbProjectList);
        cbbProjectList->clear();
        for (const auto& [name, project] : PrintModel->SettingMgr()->GetProjectList())
            cbbProjectList->addItem(name, QVariant::fromValue<void*>(project));
        cbbProjectList->setCurrentIndex(-1);
    }

    const bool hasProject = FCurrProject != nullptr;
    enableProjectCommands();
    btnAdd->setEnabled(hasProject);
    btnPrint->setEnabled(hasProject);
    btnEdit->setEnabled(FCurrItem != nullptr);
    btnDelete->setEnabled(FCurrItem != nullptr);

    if (hasProject) {
        selectProjectEntry();
        printInfo->setText(PrintModel->SettingMgr()->GetProjectPageInfo(*FCurrProject));
        printDevice->setText(GetPrintDevice());
        fillItemList();
        memoProjectNotes->setPlainText(FCurrProject->ProjectNotes());
        PrnSerialFrom->setValue(FCurrProject->ProjectSerialStart());
        PrnSerialTo->setValue(FCurrProject->ProjectSerialEnd());
    } else {
        memoProjectNotes->clear();
        printInfo->clear();
        printDevice->clear();
    }

    if (FCurrItem)
        renderItemSummary();
    else
        clearItemSummary();
    lblStatus->clear();
}

void TPrintMainFrm::clearItemSummary() {
    // The pane's own captions, not what another item (or project) left there.
    if (FSummaryCaptions.isEmpty())
        for (QLabel* label : {itemNameLabel, itemValueTitleLabel, itemStatusLabel, itemTypeLabel,
                              itemPositionLabel, itemControlLabel, itemOutLineLabel, itemOtherLabel})
            FSummaryCaptions.insert(label, label->text());
    for (auto it = FSummaryCaptions.cbegin(); it != FSummaryCaptions.cend(); ++it)
        it.key()->setText(it.value());
    valueMemo->clear();
    imageItem->clear();
}

void TPrintMainFrm::fillItemList() {
    const auto items = FCurrProject->GetPrintItemList();
    bool same = ItemListBox->count() == items.size();
    for (int i = 0; same && i < items.size(); ++i)
        same = itemOf(ItemListBox->model()->index(i, 0)) == items.at(i).second;
    const QSignalBlocker block(ItemListBox);
    if (same) {
        // The same entries in the same order: only the names may have changed.
        // Rebuilding here would pull the rows from under a selection change
        // that is still being handled.
        for (int i = 0; i < items.size(); ++i)
            ItemListBox->item(i)->setText(items.at(i).first);
        return;
    }
    ItemListBox->clear();
    for (const auto& [name, item] : items) {
        auto* entry = new QListWidgetItem(name, ItemListBox);
        entry->setData(kItemRole, QVariant::fromValue<void*>(item));
    }
}

int TPrintMainFrm::rowOfItem(const TPrintItem* item) const {
    for (int i = 0; i < ItemListBox->count(); ++i)
        if (itemOf(ItemListBox->model()->index(i, 0)) == item)
            return i;
    return -1;
}

void TPrintMainFrm::renderItemSummary() {
    if (const int row = rowOfItem(FCurrItem); row >= 0 && row != ItemListBox->currentRow()) {
        const QSignalBlocker block(ItemListBox);
        ItemListBox->setCurrentRow(row);
    }
    // Read afresh, as another station may have replaced it; only for a value with fields.
    std::unique_ptr<TDataTable> data;
    if (FCurrItem->ItemValue().contains(u'{')) {
        try {
            data = PrintModel->FileMgr()->ReadProjectTable(FCurrProject->OID());
        } catch (const Exception&) {
            // The fields then show what they can; the run reports the file's fault.
        }
    }
    const TItemSummary s =
        SummarizeItem(*FCurrItem, *FCurrProject, *PrintModel->SettingMgr(), *PrintModel->FileMgr(),
                      QDateTime::currentDateTime(), PrnSerialFrom->value(), QLocale(), data.get());
    clearItemSummary();
    itemNameLabel->setText(s.Name);
    valueMemo->setPlainText(s.Value);
    itemStatusLabel->setText(s.StatusText);
    itemStatusLabel->setStyleSheet(statusStyle(s.Active));
    btnItemStatus->setText(s.StatusText);
    btnItemStatus->setStyleSheet(statusStyle(s.Active));
    itemTypeLabel->setText(s.TypeText);
    fontLabelTitle->setText(s.FontTitle);
    itemFontLabel->setFont(s.Font.toQFont());
    itemFontLabel->setStyleSheet(colorStyle(s.Font.Color));
    itemFontLabel->setText(
        QString(s.FontSample).replace(QLatin1String("\r\n"), QLatin1String("\n")));
    itemOutLineLabel->setStyleSheet(colorStyle(s.OutlineColor));
    if (s.Position)
        itemPositionLabel->setText(*s.Position);
    if (s.Control)
        itemControlLabel->setText(*s.Control);
    if (s.OutLine)
        itemOutLineLabel->setText(*s.OutLine);
    if (s.Other)
        itemOtherLabel->setText(*s.Other);
    if (s.ValueTitle)
        itemValueTitleLabel->setText(*s.ValueTitle);
    itemControlLabel->setVisible(s.ShowControl);
    itemOutLineLabel->setVisible(s.ShowOutLine);
    itemOtherLabel->setVisible(s.ShowOther);
    itemFontContainer->setVisible(s.ShowFont);
    itemImageContainer->setVisible(s.ShowPicture);
    renderSummaryPicture(s.PageValue);
}

void TPrintMainFrm::renderSummaryPicture(const QString& value) {
    imageItem->clear();
    QImage picture;
    try {
        picture = ItemSummaryPicture(*FCurrItem, value, *PrintModel->FileMgr());
    } catch (const Exception& e) {
        // A field's value of this page the symbol cannot carry: say so in its place.
        imageItem->setText(e.Message());
        return;
    }
    if (picture.isNull())
        return;
    // Symbols are scaled without smoothing so their modules stay sharp.
    const Qt::TransformationMode mode =
        FCurrItem->ItemType() == itImage ? Qt::SmoothTransformation : Qt::FastTransformation;
    const QSize area = imageItem->contentsRect().size().expandedTo(QSize(1, 1));
    imageItem->setPixmap(QPixmap::fromImage(picture.scaled(area, Qt::KeepAspectRatio, mode)));
}

QString TPrintMainFrm::GetPrintDevice() {
    btnPrint->setEnabled(true);
    printDevice->setStyleSheet(colorStyle(clBlack));
    TPrintMgr mgr;
    if (IsTrue(FCurrProject->ProjectDefaultDevice())) {
        const QString entry = mgr.GetDefaultPrint();
        if (!entry.isEmpty())
            return QStringLiteral("打印设备：") + entry;
        // No default printer on this system: as unusable as a missing named one.
    }
    const QString asked = FCurrProject->ProjectDeviceName();
    if (!IsTrue(FCurrProject->ProjectDefaultDevice()) &&
        mgr.GetPrintList()->contains(asked, Qt::CaseInsensitive))
        return QStringLiteral("打印设备：") + asked;
    printDevice->setStyleSheet(colorStyle(0x0000FF));
    btnPrint->setEnabled(false);
    // The printer the project asks for is named, so the user knows what to install.
    if (!IsTrue(FCurrProject->ProjectDefaultDevice()) && !asked.isEmpty())
        return QStringLiteral("打印设备：%1（未安装）").arg(asked);
    return QStringLiteral("打印设备：未设置");
}

bool TPrintMainFrm::confirm(const QString& text) {
    // Deleting cannot be undone: Enter alone must not confirm it.
    return QMessageBox::question(this, QApplication::applicationName(), text,
                                 QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::No) == QMessageBox::Yes;
}

void TPrintMainFrm::cbbProjectListChange() {
    if (!ModelReady())
        return;
    const int index = cbbProjectList->currentIndex();
    if (index < 0)
        return;
    auto* project = static_cast<TProject*>(cbbProjectList->itemData(index).value<void*>());
    // Another station may have printed, or deleted the project, since it was read.
    bool exists = true;
    QString failure;
    try {
        exists = PrintModel->SettingMgr()->ReadSerialStart(*project);
    } catch (const Exception& e) {
        // The start as read before stays: a run checks it against the stored one.
        failure = e.Message();
    }
    if (!exists) {
        const QString name = project->ProjectName();
        if (FCurrProject == project) {
            // Its item goes with it: a refresh during a run keeps the list as it is.
            FCurrProject = nullptr;
            FCurrItem = nullptr;
        }
        mmRefreshClick();
        ShowMessage(
            QStringLiteral("项目 \"%1\" 已不在数据库中，可能已被另一个工作站删除。").arg(name),
            this);
        return;
    }
    FCurrProject = project;
    FCurrItem = nullptr;
    prgPrint->setValue(0);
    RenderView();
    // An open ledger's "本项目" is the project shown.
    if (FLedger && FLedger->isVisible()) {
        FLedger->SetProject(project->OID());
        FLedger->Reload();
    }
    // Shown again at the next start; losing that is no reason to stop the user.
    try {
        if (PrintModel->SettingMgr()->StationSetting(kLastProject) != project->OID())
            PrintModel->SettingMgr()->SaveStationSetting(kLastProject, project->OID());
    } catch (const Exception&) {
    }
    if (!failure.isEmpty())
        ShowMessage(QStringLiteral("没能重新读取项目 \"%1\" 的起始页码，显示的是先前读取的：%2")
                        .arg(project->ProjectName(), failure),
                    this);
}

void TPrintMainFrm::tellLater(const QStringList& lines) {
    if (lines.isEmpty())
        return;
    QTimer::singleShot(0, this, [this, lines] { ShowMessage(lines.join(QLatin1Char('\n')), this); });
}

void TPrintMainFrm::followJobs() {
    QStringList told;
    QString skipped;  // the last run whose pages did not print
    QStringList settled;
    for (auto it = FFollowers.begin(); it != FFollowers.end();) {
        const std::optional<TJobOutcome> outcome = (*it)->Poll();
        if (!outcome) {
            ++it;
            continue;
        }
        settled << (*it)->Run().Oid;
        if (!outcome->Skipped.isEmpty())
            skipped = (*it)->Run().Oid;
        told << outcome->NotRecorded << outcome->Skipped;
        told.removeAll(QString());
        it = FFollowers.erase(it);
    }
    if (FFollowers.empty())
        FFollowTimer->stop();
    if (FLedger && FLedger->isVisible() && !settled.isEmpty())
        FLedger->Reload();
    if (!told.isEmpty()) {
        if (!skipped.isEmpty())
            FNoticeRun = skipped;
        lblNotice->setText(told.join(QLatin1Char(' ')));
        noticeRow->setVisible(true);
        ShowMessage(told.join(QLatin1Char('\n')), this);
    }
}

TRunLedgerFrm* TPrintMainFrm::openLedger(const QString& runOid) {
    if (!FLedger) {
        FLedger = new TRunLedgerFrm(this);
        FLedger->OnReprint = [this](const TRunRecord& run) { reprintRun(run); };
    }
    FLedger->SetProject(FCurrProject ? FCurrProject->OID() : QString());
    if (runOid.isEmpty())
        FLedger->Reload();
    else
        FLedger->ShowRun(runOid);
    FLedger->show();
    FLedger->raise();
    FLedger->activateWindow();
    return FLedger;
}

void TPrintMainFrm::mmRunLedgerClick() {
    if (ModelReady())
        openLedger();
}

void TPrintMainFrm::btnNoticeClick() {
    noticeRow->setVisible(false);
    openLedger(FNoticeRun);
}

void TPrintMainFrm::reprintRun(const TRunRecord& run) {
    if (FRunning) {
        ShowMessage(QStringLiteral("正在打印，请等这次打印结束后再重打"), FLedger);
        return;
    }
    TProject* project = nullptr;
    TProjectList* projects = PrintModel->SettingMgr()->ProjectList();
    for (int i = 0; i < projects->Count(); ++i)
        if (projects->Items(i)->OID() == run.ProjectOid)
            project = projects->Items(i);
    if (!project) {
        ShowMessage(QStringLiteral("这次打印的项目已不在，无法重打"), FLedger);
        return;
    }
    runPrint(project, run.FirstPage, run.LastPage - run.FirstPage + 1);
}

void TPrintMainFrm::keepStoredStart(TProject* project, int shown) {
    if (!project || !ModelReady() || !PrintModel->SettingMgr()->ReadSerialStart(*project))
        return;
    if (project->ProjectSerialStart() == shown)
        return;
    if (project == FCurrProject && !FRunning)
        PrnSerialFrom->setValue(project->ProjectSerialStart());
    ShowMessage(QStringLiteral("另一个打印任务已经打印到第 %1 页，下次起始页码保持为 %2（没有改回 %3）")
                    .arg(project->ProjectSerialStart() - 1)
                    .arg(project->ProjectSerialStart())
                    .arg(shown),
                this);
}

void TPrintMainFrm::btnProjectAddClick() {
    if (ModelReady())
        ShowProjectEditor(new TProject, false);
}

void TPrintMainFrm::btnProjectModifyClick() {
    if (FCurrProject && ModelReady())
        ShowProjectEditor(FCurrProject, true);
}

void TPrintMainFrm::ShowProjectEditor(TProject* project, bool modify) {
    // A new project belongs to this call until it is safely in the project list.
    std::unique_ptr<TProject> fresh(modify ? nullptr : project);
    TprojectEditorView editor(this);
    // Saved while the dialog is still open: a refused save leaves the project as
    // the database holds it and the user's input in the form.
    int shownStart = 0;
    editor.SetSaveHandler([&](TProject* edited) {
        shownStart = edited->ProjectSerialStart();
        edited->SetDirty(true);
        edited->Save();
        if (!modify) {
            TProjectList* projects = PrintModel->SettingMgr()->ProjectList();
            projects->Add(fresh.release());
            projects->Save();
        }
    });
    editor.Setdata(project);
    editor.exec();
    if (!editor.doSave())
        return;
    if (!modify)
        FCurrItem = nullptr;
    FCurrProject = editor.GetData();
    RenderView();
    if (modify)
        keepStoredStart(FCurrProject, shownStart);
}

void TPrintMainFrm::btnProjectDelClick() {
    if (!FCurrProject || cbbProjectList->count() == 0 || !ModelReady())
        return;
    if (!confirm(QStringLiteral("项目 \"%1\" 将被删除，继续？").arg(FCurrProject->ProjectName())))
        return;
    const int index = cbbProjectList->currentIndex();
    QStringList pictures;
    for (int i = 0; i < FCurrProject->ItemList()->Count(); ++i) {
        const TPrintItem* item = FCurrProject->ItemList()->Items(i);
        if (item->ItemType() == itImage)
            pictures << item->FileId();
    }
    const QString projectOid = FCurrProject->OID();
    DeleteOrRestore(*FCurrProject);
    // Gone from the database: only now from the window and from memory.
    TProject* gone = FCurrProject;
    FCurrProject = nullptr;
    FCurrItem = nullptr;
    cbbProjectList->removeItem(index);
    ItemListBox->clear();
    TProjectList* projects = PrintModel->SettingMgr()->ProjectList();
    projects->Remove(gone);
    if (index <= 0) {
        cbbProjectList->clear();
    } else {
        cbbProjectList->setCurrentIndex(index - 1);
        cbbProjectListChange();
    }
    RenderView();
    deletePictures(pictures);
    try {
        PrintModel->FileMgr()->DeleteProjectData(projectOid);
    } catch (const Exception& e) {
        ShowMessage(QStringLiteral("已删除，但数据文件没能从数据库中删除：%1").arg(e.Message()),
                    this);
    }
}

void TPrintMainFrm::ItemListBoxClick() {
    if (!ModelReady())
        return;
    QListWidgetItem* entry = ItemListBox->currentItem();
    FCurrItem = entry ? static_cast<TPrintItem*>(entry->data(kItemRole).value<void*>()) : nullptr;
    RenderView();
}

void TPrintMainFrm::btnDeleteClick() {
    if (!FCurrItem || !ModelReady())
        return;
    if (!confirm(QStringLiteral("打印项 \"%1\" 将被删除，继续？").arg(FCurrItem->ItemName())))
        return;
    const QString fileId = FCurrItem->FileId();
    // The row that shows the item, whatever the list's cursor says.
    const int index = rowOfItem(FCurrItem);
    DeleteOrRestore(*FCurrItem);
    // Gone from the database: only now from the window and from memory.
    TPrintItem* gone = FCurrItem;
    FCurrItem = nullptr;
    {
        const QSignalBlocker block(ItemListBox);
        delete ItemListBox->takeItem(index);
    }
    FCurrProject->ItemList()->Remove(gone);
    if (index <= 0) {
        RenderView();
    } else {
        {
            const QSignalBlocker block(ItemListBox);
            ItemListBox->setCurrentRow(index - 1);
        }
        ItemListBoxClick();
    }
    if (!fileId.isEmpty())
        deletePictures({fileId});
}

void TPrintMainFrm::deletePictures(const QStringList& fileIds) {
    // Last, as nothing uses them any more: one left behind is only unused.
    try {
        for (const QString& fileId : fileIds)
            PrintModel->FileMgr()->DeleteFileFromDB(fileId);
    } catch (const Exception& e) {
        ShowMessage(QStringLiteral("已删除，但图片没能从数据库中删除：%1").arg(e.Message()), this);
    }
}

void TPrintMainFrm::btnItemStatusClick() {
    if (!FCurrItem || !ModelReady())
        return;
    const bool enable = !IsTrue(FCurrItem->ItemActive());
    // The window shows what the database holds: a refused save changes nothing.
    const TObjectSnapshot before(*FCurrItem);
    SaveOrRestore(*FCurrItem, before, [this, enable] {
        FCurrItem->SetItemActive(FlagText(enable));
        FCurrItem->SetDirty(true);
        FCurrItem->Save();
    });
    btnItemStatus->setText(enable ? QStringLiteral("启用") : QStringLiteral("禁用"));
    btnItemStatus->setStyleSheet(statusStyle(enable));
    ItemListBox->viewport()->update();
}

// A run holds its project's row and object: changing or deleting a project
// waits for the run to end.
void TPrintMainFrm::enableProjectCommands() {
    btnProjectModify->setEnabled(FCurrProject && !FRunning);
    btnProjectDel->setEnabled(FCurrProject && !FRunning);
    // A modal preview opened from a run's idle time would hold the run until closed.
    mmPagePreview->setEnabled(FCurrProject && !FRunning && ModelReady());
    mmRefresh->setEnabled(!FRunning);
    enableCopyCommands();
}

// A run composes its project's pages from the items as they are: nothing joins
// it half way.
void TPrintMainFrm::enableCopyCommands() {
    const bool idle = ModelReady() && !FRunning;
    mmCopyProject->setEnabled(idle && FCurrProject);
    mmCopyItem->setEnabled(idle && FCurrProject && FCurrItem);
}

void TPrintMainFrm::mmCopyItemClick() {
    if (!FCurrItem || !FCurrProject || FRunning || !ModelReady())
        return;
    FCurrItem = DuplicateItem(*FCurrItem, *PrintModel->FileMgr());
    RenderView();
}

void TPrintMainFrm::mmCopyProjectClick() {
    if (!FCurrProject || FRunning || !ModelReady())
        return;
    FCurrProject =
        DuplicateProject(*FCurrProject, *PrintModel->SettingMgr(), *PrintModel->FileMgr());
    FCurrItem = nullptr;
    prgPrint->setValue(0);
    RenderView();
}

void TPrintMainFrm::mmRefreshClick() {
    // A run holds its project object: the model stays until the run ends.
    if (FRunning || !ModelReady())
        return;
    const QString projectOid = FCurrProject ? FCurrProject->OID() : QString();
    const QString itemOid = FCurrItem ? FCurrItem->OID() : QString();
    PrintModel->SettingMgr()->Reload();
    FCurrProject = nullptr;
    FCurrItem = nullptr;
    {
        // Its entries point into the model just replaced.
        const QSignalBlocker block(ItemListBox);
        ItemListBox->clear();
    }
    TProjectList* projects = PrintModel->SettingMgr()->ProjectList();
    for (int i = 0; i < projects->Count() && !projectOid.isEmpty(); ++i)
        if (projects->Items(i)->OID() == projectOid)
            FCurrProject = projects->Items(i);
    if (FCurrProject) {
        TPrintItemList* items = FCurrProject->ItemList();
        for (int i = 0; i < items->Count() && !itemOid.isEmpty(); ++i)
            if (items->Items(i)->OID() == itemOid)
                FCurrItem = items->Items(i);
    }
    RenderView();
}

void TPrintMainFrm::btnAddClick() {
    if (!FCurrProject || !ModelReady())
        return;
    ShowPrintItemEditor(new TPrintItem, FCurrProject, false);
    RenderView();
}

void TPrintMainFrm::btnEditClick() {
    if (!FCurrItem || !FCurrProject || !ModelReady())
        return;
    ShowPrintItemEditor(FCurrItem, FCurrProject, true);
    RenderView();
}

void TPrintMainFrm::ItemListBoxDblClick() {
    btnEditClick();
}

void TPrintMainFrm::ShowPrintItemEditor(TPrintItem* item, TProject* project, bool doedit) {
    // A new item belongs to this call until it is safely in the project's list.
    std::unique_ptr<TPrintItem> fresh(doedit ? nullptr : item);
    TprintItemEditorView editor(this);
    editor.SetSaveHandler([&](TPrintItem* edited) {
        if (!doedit)
            edited->SetOwner(project); // the row's project_id, before it joins the list
        edited->SetDirty(true);
        // An edited item is saved with the project's other changed items (the
        // references a rename carries) in one transaction.
        doedit ? project->Save() : edited->Save();
        if (!doedit)
            project->ItemList()->Add(fresh.release());
    });
    editor.SetPageNumber(PrnSerialFrom->value());
    editor.SetData(item, project, doedit);
    editor.exec();
    if (editor.doSave()) {
        FCurrItem = editor.Getdata();
        return;
    }
    QListWidgetItem* entry = ItemListBox->currentItem();
    FCurrItem = entry ? static_cast<TPrintItem*>(entry->data(kItemRole).value<void*>()) : nullptr;
}

void TPrintMainFrm::PrintProcess(int Value) {
    prgPrint->setValue(Value);
    prgPrint->show();
    repaint();
}

void TPrintMainFrm::btnPrintClick() {
    // A second job never begins while one is open, even after Stop.
    if (!FCurrProject || FRunning)
        return;
    const int pageNum = PrnSerialFrom->value();
    const int pageCount = PrnSerialTo->value();
    printStoped = false;
    if (pageCount < 1) {
        QMessageBox::information(this, QApplication::applicationName(), kPageCountTooSmall);
        PrnSerialTo->setFocus();
        return;
    }
    if (pageNum < 1) {
        QMessageBox::information(this, QApplication::applicationName(), kStartTooSmall);
        PrnSerialFrom->setFocus();
        return;
    }
    runPrint(FCurrProject, pageNum, pageCount);
}

void TPrintMainFrm::runPrint(TProject* project, int pageNum, int pageCount) {
    printStoped = false;
    TPrintRun run(*project, *PrintModel->SettingMgr(), *PrintModel->FileMgr());
    FRunning = true;
    prtMgr = &run.Manager();
    btnPrint->setEnabled(false);
    btnStop->setEnabled(true);
    enableProjectCommands();
    prgPrint->setValue(0);

    // Another project may be shown meanwhile: its start field is not the run's.
    const auto shown = [this, project] { return FCurrProject == project; };
    TPrintRunHooks hooks;
    hooks.PageStarted = [this, shown](int page) {
        if (shown())
            PrnSerialFrom->setValue(page);
        lblStatus->setText(QStringLiteral("正在打印(%1)...").arg(page));
    };
    hooks.PageDone = [this](int percent) { PrintProcess(percent); };
    hooks.StopRequested = [this] { return printStoped; };
    hooks.Idle = [] { QCoreApplication::processEvents(); };
    hooks.ConfirmUnscannable = [this](const TScanReport& report) {
        QMessageBox box(QMessageBox::Question, QApplication::applicationName(),
                        QStringLiteral("条码无法识别，仍然打印？"),
                        QMessageBox::Yes | QMessageBox::No, this);
        box.setInformativeText(report.Text());
        box.setDefaultButton(QMessageBox::No);
        return box.exec() == QMessageBox::Yes;
    };
    hooks.ConfirmReprint = [this](int from, int stored) {
        QMessageBox box(QMessageBox::Question, QApplication::applicationName(),
                        QStringLiteral("第 %1 页到第 %2 页已经打印过（下次起始页码是 %3）。\n"
                                       "仍然打印这些页码？")
                            .arg(from)
                            .arg(stored - 1)
                            .arg(stored),
                        QMessageBox::Yes | QMessageBox::No, this);
        box.setDefaultButton(QMessageBox::No);
        return box.exec() == QMessageBox::Yes;
    };
    hooks.ConfirmRowsLeft = [this, &pageCount](const QString& problem, int left) {
        QMessageBox box(QMessageBox::Question, QApplication::applicationName(),
                        QStringLiteral("%1。\n只打印这 %2 页？").arg(problem).arg(left),
                        QMessageBox::Yes | QMessageBox::No, this);
        box.setDefaultButton(QMessageBox::No);
        if (box.exec() != QMessageBox::Yes)
            return false;
        pageCount = left;
        return true;
    };
    TPrintRunOptions options;
    options.From = pageNum;
    options.Count = pageCount;
    const TPrintRunResult result = run.Run(options, hooks);

    if (result.Declined)
        lblStatus->clear();
    else if (result.Refused)
        lblStatus->setText(QStringLiteral("条码检查未通过，没有打印"));
    else if (result.PrinterRefused)
        lblStatus->setText(result.Error.section(QLatin1Char('\n'), 0, 0));
    else if (result.FailedPage && result.Printed > 0)
        lblStatus->setText(QStringLiteral("第 %1 页无法打印，已打印第 %2 页到第 %3 页")
                               .arg(*result.FailedPage)
                               .arg(*result.FailedPage - result.Printed)
                               .arg(*result.FailedPage - 1));
    else if (result.FailedPage)
        lblStatus->setText(
            QStringLiteral("第 %1 页无法打印，什么也没有打印").arg(*result.FailedPage));
    else if (!result.Error.isEmpty() && result.Printed == 0)
        lblStatus->setText(QStringLiteral("打印失败，什么也没有打印"));
    else if (printStoped)
        lblStatus->setText(QStringLiteral("打印停止(%1)").arg(result.NextStart));
    else
        lblStatus->setText(QStringLiteral("打印结束"));
    if (result.Printed == pageCount)
        PrintProcess(100);
    lastJobId = result.JobId;
    if (result.Run && result.JobId > 0) {
        FFollowers.push_back(std::make_unique<TJobFollower>(*result.Run, result.JobId));
        if (!FFollowTimer) {
            FFollowTimer = new QTimer(this);
            FFollowTimer->setInterval(1000);
            connect(FFollowTimer, &QTimer::timeout, this, &TPrintMainFrm::followJobs);
        }
        FFollowTimer->start();
    }
    prtMgr = nullptr;
    FRunning = false;
    btnPrint->setEnabled(true);
    btnStop->setEnabled(false);
    enableProjectCommands();
    if (shown())
        PrnSerialFrom->setValue(result.Declined && result.StoredStart ? *result.StoredStart
                                                                      : result.NextStart);
    if (FLedger && FLedger->isVisible())
        FLedger->Reload();
    if (FCloseAfterRun) {
        close();
        return;
    }
    if (!result.Error.isEmpty())
        ShowMessage(result.Error, this);
    else if (!result.Warning.isEmpty())
        ShowMessage(result.Warning, this);
}

void TPrintMainFrm::btnStopClick() {
    printStoped = true;
    btnStop->setEnabled(false);
    btnPrint->setEnabled(true);
    lblStatus->setText(QStringLiteral("打印停止"));
}

void TPrintMainFrm::btnPauseClick() {
    if (Printer().Printing()) {
        // The job is discarded whole; the run ends with the start where it was,
        // so continuing prints the same pages again and skips none.
        Printer().Abort();
        btnPause->setText(QStringLiteral("继续"));
    } else {
        btnPause->setText(QStringLiteral("暂停"));
        btnPrintClick();
    }
}

void TPrintMainFrm::BtnPreviewClick() {
    if (!FCurrProject)
        return;
    TPreviewFrm preview(this);
    const TPageComposer composer(*PrintModel->SettingMgr(), *PrintModel->FileMgr());
    const std::unique_ptr<TCPrint> page = composer.GenerateTCPrint(*FCurrProject, 1);
    preview.Setdata(page.get());
    preview.exec();
}

void TPrintMainFrm::mmPagePreviewClick() {
    if (!FCurrProject || FRunning || !ModelReady())
        return;
    TProject* project = FCurrProject;
    TPagePreviewFrm preview(this);
    preview.EnableDesign(*project, *PrintModel->FileMgr());
    preview.SetData(
        *project,
        [project](int pageNum) {
            const TPageComposer composer(*PrintModel->SettingMgr(), *PrintModel->FileMgr());
            return composer.GenerateTCPrint(*project, pageNum);
        },
        PrnSerialFrom->value());
    preview.exec();
    if (!preview.Designed())
        return;
    // Items may have moved, changed or gone in the designer.
    if (project->ItemList()->IndexOf(FCurrItem) < 0)
        FCurrItem = nullptr;
    RenderView();
}

void TPrintMainFrm::TerminateRequested() {
    // Open dialogs go first, so that nothing waits for an answer.
    for (int i = 0; i < 20; ++i) {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || modal == this)
            break;
        modal->close();
    }
    if (FRunning) {
        printStoped = true;
        FCloseAfterRun = true;
    } else {
        close();
    }
}

void TPrintMainFrm::closeEvent(QCloseEvent* event) {
    if (FRunning) {
        // Asked once; the run's pages are finished and handed over before the window goes.
        if (!FCloseAfterRun &&
            QMessageBox::question(this, QApplication::applicationName(),
                                  QStringLiteral("正在打印，停止并退出？"),
                                  QMessageBox::Yes | QMessageBox::No,
                                  QMessageBox::No) != QMessageBox::Yes) {
            event->ignore();
            return;
        }
        printStoped = true;
        FCloseAfterRun = true;
        event->ignore();
        return;
    }
    QMainWindow::closeEvent(event);
}

void TPrintMainFrm::mmexitClick() {
    close();
}

void TPrintMainFrm::PrnHelpClick() {
    OpenHelp(FProgramDir);
}

void TPrintMainFrm::mmAboutClick() {
    ShowAboutBox(this);
}

QPoint TPrintMainFrm::PlaceOnScreen(const QSize& windowSize, const QRect& available) {
    // The frame is not known before the window manager has drawn it: leave room
    // for a title bar so the command row stays on a 768-pixel screen with a panel.
    constexpr int kTitleBar = 32;
    const QSize frame(windowSize.width(), windowSize.height() + kTitleBar);
    const int x = available.left() + std::max(0, (available.width() - frame.width()) / 2);
    const int y = available.top() + std::max(0, (available.height() - frame.height()) / 2);
    return QPoint(x, y);
}

int RunKova(const QString& programDir) {
    QApplication::setApplicationName(QStringLiteral("Print"));
    auto* frm = new TPrintMainFrm(programDir);
    frm->setAttribute(Qt::WA_DeleteOnClose);
    PrintMainFrm = frm;
    if (!frm->FormCreate()) {
        delete frm;
        PrintMainFrm = nullptr;
        return 0;
    }
    frm->adjustSize();
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        frm->move(TPrintMainFrm::PlaceOnScreen(frm->size(), screen->availableGeometry()));
    frm->show();
    QApplication::exec();
    PrintMainFrm = nullptr;
    delete PrintModel;
    PrintModel = nullptr;
    PersistenceManager().Disconnect();
    return 0;
}

int KovaMain(int& argc, char** argv, const QString& programDir) {
    // The embedded engine reads its configuration when the client library loads,
    // so the environment is set before anything else.
    SetupFirebirdEnvironment(programDir);
    RegisterBusinessObjects();
    RegisterFirebirdLayer();
    // What runs killed earlier left in the temp folder.
    TPrinter::RemoveLeftoverJobFiles();

    TKovaApplication app(argc, argv);
    InstallFontSubstitutions();
    WatchTerminationSignals([] {
        if (PrintMainFrm)
            PrintMainFrm->TerminateRequested();
        else
            QCoreApplication::quit();
    });
    InstallTranslations();
    InstallHelpViewer();
    return RunKova(programDir);
}
