#include "view/printItemEditor.h"

#include "base/Units.h"
#include "fbarcode/Barcode.h"
#include "fbarcode/QRCode.h"
#include "model/Colors.h"
#include "model/Composer.h"
#include "model/Convert.h"
#include "model/DataFile.h"
#include "model/DateFormat.h"
#include "model/Fields.h"
#include "model/ItemEditing.h"
#include "model/ItemSummary.h"
#include "model/Jpeg.h"
#include "model/PrintCommon.h"
#include "model/bom/SettingBom.h"
#include "model/manager/FileMgrImpl.h"
#include "model/manager/PrintMgrImpl.h"
#include "model/manager/SettingMgrImpl.h"
#include "view/EditLimits.h"
#include "view/FontColorDialog.h"
#include "view/FormChanges.h"
#include "view/PagePreview.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

namespace {

constexpr int kFormWidth = 800;
constexpr int kFormHeight = 640;
// Larger files are not pictures anyone prints on a label; reading them would
// only stall the form.
constexpr qint64 kMaxPictureFileSize = 64 * 1024 * 1024;

const char* const kPictureFilter =
    "All (*.jpg *.jpeg);;JPEG Image File (*.jpg);;JPEG Image File (*.jpeg)";

// The colours the outline list offers: the basic sixteen and the four extra ones.
const TColor kOutlineColors[] = {0x000000, 0x000080, 0x008000, 0x008080, 0x800000,
                                 0x800080, 0x808000, 0x808080, 0xC0C0C0, 0x0000FF,
                                 0x00FF00, 0x00FFFF, 0xFF0000, 0xFF00FF, 0xFFFF00,
                                 0xFFFFFF, 0xC0DCC0, 0xF0CAA6, 0xF0FBFF, 0xA4A0A0};

QDoubleSpinBox* numberEdit(const QString& name, int decimals, double low, double high) {
    auto* edit = new QDoubleSpinBox;
    edit->setObjectName(name);
    edit->setDecimals(decimals);
    edit->setRange(low, high);
    edit->setButtonSymbols(QAbstractSpinBox::NoButtons);
    edit->setAlignment(Qt::AlignRight);
    edit->setMinimumWidth(70);
    return edit;
}

QLabel* caption(const QString& name, const QString& text) {
    auto* label = new QLabel(text);
    label->setObjectName(name);
    return label;
}

QComboBox* listBox(const QString& name, const QStringList& entries) {
    auto* box = new QComboBox;
    box->setObjectName(name);
    box->addItems(entries);
    return box;
}

template <class W> W* named(W* widget, const QString& name) {
    widget->setObjectName(name);
    return widget;
}

QStringList enumNames(QString (*name)(int), int count) {
    QStringList names;
    for (int i = 0; i < count; ++i)
        names << name(i);
    return names;
}

int rounded(double value) {
    return RoundHalfEven(value);
}

void showBox(QWidget* parent, const QString& text, bool information) {
    QMessageBox box(information ? QMessageBox::Information : QMessageBox::Critical,
                    QCoreApplication::applicationName(), text, QMessageBox::Ok, parent);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

} // namespace

// ---- preview widgets

void TBarcodePreview::Clear() {
    FPicture = QImage(size().expandedTo(QSize(1, 1)), QImage::Format_RGB32);
    FPicture.fill(Qt::white);
    update();
}

void TBarcodePreview::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::white);
    if (!FPicture.isNull())
        painter.drawImage(rect(), FPicture);
}

void TBarcodePreview::mousePressEvent(QMouseEvent* event) {
    if (OnMouseDown)
        OnMouseDown(event->position().toPoint());
}

void TBarcodePreview::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (FPicture.isNull())
        Clear();
}

QRect TQRPreview::SymbolRect() const {
    if (FBitmap.width() < 1 || FBitmap.height() < 1)
        return QRect();
    const int side = std::min(width(), height());
    const double scale =
        width() < height() ? double(side) / FBitmap.width() : double(side) / FBitmap.height();
    return QRect(0, 0, int(std::trunc(FBitmap.width() * scale)),
                 int(std::trunc(FBitmap.height() * scale)));
}

void TQRPreview::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::white);
    const QRect target = SymbolRect();
    if (!target.isEmpty())
        painter.drawImage(target, FBitmap); // no smoothing: modules stay sharp
}

// ---- the editor

TprintItemEditorView::TprintItemEditorView(QWidget* parent)
    : TEditorDialog(parent), Barcode1(std::make_unique<TLinearBarcode>()),
      FPictureChooser([](QWidget* owner) {
          return QFileDialog::getOpenFileName(owner, QStringLiteral("打开图片"), QString(),
                                              QString::fromLatin1(kPictureFilter));
      }) {
    setObjectName(QStringLiteral("printItemEditorView"));
    setWindowTitle(QStringLiteral("打印项添加/编辑"));
    createControls();
    setFixedSize(kFormWidth, kFormHeight);
}

TprintItemEditorView::~TprintItemEditorView() = default;

void TprintItemEditorView::SetPictureChooser(TPictureChooser chooser) {
    FPictureChooser = std::move(chooser);
}

void TprintItemEditorView::SetSaveHandler(TSaveHandler handler) {
    FSaveHandler = std::move(handler);
}

void TprintItemEditorView::createControls() {
    auto* columns = new QHBoxLayout;
    columns->addWidget(createLeftColumn(), 1);
    columns->addWidget(createRightColumn(), 1);

    btnSave = named(new QPushButton(QStringLiteral("保  存&S")), QStringLiteral("btnSave"));
    btnSave->setDefault(true);
    btnClose = named(new QPushButton(QStringLiteral("关  闭&C")), QStringLiteral("btnClose"));
    btnClose->setAutoDefault(false);
    btnPagePreview =
        named(new QPushButton(QStringLiteral("页面预览&V")), QStringLiteral("btnPagePreview"));
    btnPagePreview->setAutoDefault(false);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(btnPagePreview);
    buttons->addStretch(1);
    buttons->addWidget(btnSave);
    buttons->addWidget(btnClose);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(columns, 1);
    layout->addLayout(buttons);

    itemFont = new TFontColorDialog(this);
    itemFont->setObjectName(QStringLiteral("itemFont"));
    connectControls();
}

QWidget* TprintItemEditorView::createLeftColumn() {
    auto* column = new QWidget;
    auto* col = new QVBoxLayout(column);
    col->setContentsMargins(0, 0, 0, 0);

    itemName = named(new QLineEdit, QStringLiteral("itemName"));
    LimitToColumn(itemName, TPrintItem::StaticClass(), QStringLiteral("ItemName"));
    cbbItemType =
        listBox(QStringLiteral("cbbItemType"), TSettingMgr::getStringList(kItemTypeNames));
    auto* nameRow = new QGridLayout;
    auto* nameCaption = new QLabel(QStringLiteral("打印项名称"));
    nameCaption->setBuddy(itemName);
    nameRow->addWidget(nameCaption, 0, 0);
    nameRow->addWidget(itemName, 0, 1);
    nameRow->addWidget(new QLabel(QStringLiteral("类型")), 0, 2);
    nameRow->addWidget(cbbItemType, 0, 3);
    nameRow->setColumnStretch(1, 1);
    col->addLayout(nameRow);

    grpItemValue = named(new QGroupBox, QStringLiteral("grpItemValue"));
    lblItemValue = caption(QStringLiteral("lblItemValue"), QStringLiteral("文本内容"));
    ItemValue = named(new QPlainTextEdit, QStringLiteral("ItemValue"));
    ItemValue->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    ItemValue->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // Tab moves on, as in every other field; Enter still starts a line.
    ItemValue->setTabChangesFocus(true);
    LimitToColumn(ItemValue, TPrintItem::StaticClass(), QStringLiteral("ItemValue"));
    cbbInsertField = named(new QComboBox, QStringLiteral("cbbInsertField"));
    cbbInsertField->setToolTip(
        QStringLiteral("在光标处插入其他打印项在每一页上的内容，如 {票号}；{{ 和 }} 是花括号本身"));
    lblPageValue = named(new QLabel, QStringLiteral("lblPageValue"));
    lblPageValue->setWordWrap(true);
    auto* valueCol = new QVBoxLayout(grpItemValue);
    auto* valueHead = new QHBoxLayout;
    valueHead->addWidget(lblItemValue, 1);
    valueHead->addWidget(cbbInsertField);
    valueCol->addLayout(valueHead);
    valueCol->addWidget(ItemValue);
    valueCol->addWidget(lblPageValue);
    col->addWidget(grpItemValue);

    grpPrint =
        named(new QGroupBox(QStringLiteral(" 打印设置（单位:mm） ")), QStringLiteral("grpPrint"));
    lblItemX = caption(QStringLiteral("lblItemX"), QStringLiteral("左边距X:"));
    lblItemY = caption(QStringLiteral("lblItemY"), QStringLiteral("上边距Y:"));
    lblTextWidth = caption(QStringLiteral("lblTextWidth"), QStringLiteral("文本宽度:"));
    lblLineHeight = caption(QStringLiteral("lblLineHeight"), QStringLiteral("行高(倍):"));
    lblRotate = caption(QStringLiteral("lblRotate"), QStringLiteral("旋转角度:"));
    ItemX = numberEdit(QStringLiteral("ItemX"), 2, -99999.99, 99999.99);
    ItemY = numberEdit(QStringLiteral("ItemY"), 2, -99999.99, 99999.99);
    itemTextWidth = numberEdit(QStringLiteral("itemTextWidth"), 2, -99999.99, 99999.99);
    itemLineHeight = numberEdit(QStringLiteral("itemLineHeight"), 2, -99999.99, 99999.99);
    edtRotate = numberEdit(QStringLiteral("edtRotate"), 0, -3600, 3600);
    chkAllowNewline =
        named(new QCheckBox(QStringLiteral("自动换行")), QStringLiteral("chkAllowNewline"));
    labelPrnSetup = caption(QStringLiteral("labelPrnSetup"),
                            QStringLiteral("说明：文本宽度0即自动宽度，行高为字符高度的倍数。"));
    labelPrnSetup->setWordWrap(true);
    auto* print = new QGridLayout(grpPrint);
    print->addWidget(lblItemX, 0, 0);
    print->addWidget(ItemX, 0, 1);
    print->addWidget(lblItemY, 0, 2);
    print->addWidget(ItemY, 0, 3);
    print->addWidget(lblTextWidth, 1, 0);
    print->addWidget(itemTextWidth, 1, 1);
    print->addWidget(lblLineHeight, 1, 2);
    print->addWidget(itemLineHeight, 1, 3);
    print->addWidget(lblRotate, 2, 0);
    print->addWidget(edtRotate, 2, 1);
    print->addWidget(chkAllowNewline, 2, 2, 1, 2);
    print->addWidget(labelPrnSetup, 3, 0, 1, 4);
    col->addWidget(grpPrint);

    grpoutlinegroup =
        named(new QGroupBox(QStringLiteral(" 文本边框设置 ")), QStringLiteral("grpoutlinegroup"));
    olStyle = listBox(QStringLiteral("olStyle"), TSettingMgr::getPenStyleList());
    olColor = named(new QComboBox, QStringLiteral("olColor"));
    for (TColor color : kOutlineColors) {
        QPixmap swatch(16, 12);
        swatch.fill(ColorToQColor(color));
        olColor->addItem(QIcon(swatch), ColorToString(color));
    }
    olMargin = numberEdit(QStringLiteral("olMargin"), 2, -9999.99, 9999.99);
    olPenWidth = numberEdit(QStringLiteral("olPenWidth"), 0, 0, 9999);
    lblMargin = caption(QStringLiteral("lblMargin"), QStringLiteral("边距(mm):"));
    labelTextSetup = caption(QStringLiteral("labelTextSetup"),
                             QStringLiteral("当文本旋转打印时，不支持边框旋转。"));
    auto* outline = new QGridLayout(grpoutlinegroup);
    outline->addWidget(new QLabel(QStringLiteral("线型:")), 0, 0);
    outline->addWidget(olStyle, 0, 1);
    outline->addWidget(new QLabel(QStringLiteral("颜色:")), 0, 2);
    outline->addWidget(olColor, 0, 3);
    outline->addWidget(lblMargin, 1, 0);
    outline->addWidget(olMargin, 1, 1);
    outline->addWidget(new QLabel(QStringLiteral("线宽(pixels):")), 1, 2);
    outline->addWidget(olPenWidth, 1, 3);
    outline->addWidget(labelTextSetup, 2, 0, 1, 4);
    col->addWidget(grpoutlinegroup);

    grpStatus = named(new QGroupBox(QStringLiteral(" 状态 ")), QStringLiteral("grpStatus"));
    chkStatus = named(new QCheckBox(QStringLiteral("启用")), QStringLiteral("chkStatus"));
    (new QHBoxLayout(grpStatus))->addWidget(chkStatus);
    col->addWidget(grpStatus);
    col->addStretch(1);
    return column;
}

QWidget* TprintItemEditorView::createRightColumn() {
    auto* column = new QWidget;
    auto* col = new QVBoxLayout(column);
    col->setContentsMargins(0, 0, 0, 0);

    grpBarcode = named(new QGroupBox(QStringLiteral(" 条形码设置 ")), QStringLiteral("grpBarcode"));
    barcodeType =
        listBox(QStringLiteral("barcodeType"), enumNames(BarcodeTypeName, BarcodeTypeCount));
    barcodeOption = listBox(QStringLiteral("barcodeOption"), enumNames(BarcodeOptionName, 4));
    barcodePosition = listBox(QStringLiteral("barcodePosition"), enumNames(TextPositionName, 6));
    barcodeModule = named(new QSpinBox, QStringLiteral("barcodeModule"));
    barcodeModule->setRange(1, 100);
    barcodeModule->setValue(5);
    barcodeRatio = named(new QSpinBox, QStringLiteral("barcodeRatio"));
    barcodeRatio->setRange(20, 30);
    barcodeRatio->setValue(20);
    barcodeModuleLabel = caption(QStringLiteral("barcodeModuleLabel"), QStringLiteral("0.5"));
    barcodeRatioLabel = caption(QStringLiteral("barcodeRatioLabel"), QStringLiteral("2"));
    chkCheckSum = named(new QCheckBox(QStringLiteral("CheckSum")), QStringLiteral("chkCheckSum"));
    barcodeTextOffsetX = numberEdit(QStringLiteral("barcodeTextOffsetX"), 0, -9999, 9999);
    barcodeTextOffsetY = numberEdit(QStringLiteral("barcodeTextOffsetY"), 0, -9999, 9999);
    labelCode = caption(QStringLiteral("labelCode"), QString());
    labelCode->setTextInteractionFlags(Qt::TextSelectableByMouse);
    btnBarcodePreview =
        named(new QPushButton(QStringLiteral("预览")), QStringLiteral("btnBarcodePreview"));
    btnBarcodePreview->setAutoDefault(false);
    imgBarcode = named(new TBarcodePreview, QStringLiteral("imgBarcode"));
    // A fixed size: the picture drawn before the form is shown keeps its scale.
    imgBarcode->setFixedSize(360, 120);
    imgBarcode->Clear();
    imgBarcode->setCursor(Qt::CrossCursor);
    imgBarcode->setToolTip(QStringLiteral("点击预览图可移动条形码"));
    auto* bar = new QGridLayout(grpBarcode);
    bar->addWidget(new QLabel(QStringLiteral("条码类型:")), 0, 0);
    bar->addWidget(barcodeType, 0, 1, 1, 3);
    bar->addWidget(new QLabel(QStringLiteral("文本:")), 1, 0);
    bar->addWidget(barcodeOption, 1, 1);
    bar->addWidget(new QLabel(QStringLiteral("位置:")), 1, 2);
    bar->addWidget(barcodePosition, 1, 3);
    auto* moduleRow = new QHBoxLayout;
    moduleRow->addWidget(barcodeModule);
    moduleRow->addWidget(barcodeModuleLabel);
    moduleRow->addWidget(new QLabel(QStringLiteral("mm")));
    auto* ratioRow = new QHBoxLayout;
    ratioRow->addWidget(barcodeRatio);
    ratioRow->addWidget(barcodeRatioLabel);
    bar->addWidget(new QLabel(QStringLiteral("Module:")), 2, 0);
    bar->addLayout(moduleRow, 2, 1);
    bar->addWidget(new QLabel(QStringLiteral("Ratio:")), 2, 2);
    bar->addLayout(ratioRow, 2, 3);
    bar->addWidget(new QLabel(QStringLiteral("文本偏移X:")), 3, 0);
    bar->addWidget(barcodeTextOffsetX, 3, 1);
    bar->addWidget(new QLabel(QStringLiteral("文本偏移Y:")), 3, 2);
    bar->addWidget(barcodeTextOffsetY, 3, 3);
    bar->addWidget(chkCheckSum, 4, 0, 1, 2);
    bar->addWidget(btnBarcodePreview, 4, 3);
    bar->addWidget(labelCode, 5, 0, 1, 4);
    bar->addWidget(imgBarcode, 6, 0, 1, 4);
    col->addWidget(grpBarcode);

    SerialSetup =
        named(new QGroupBox(QStringLiteral(" 序列号设置 ")), QStringLiteral("SerialSetup"));
    chkSerialPre = named(new QCheckBox(QStringLiteral("前缀")), QStringLiteral("chkSerialPre"));
    edtPre1 = named(new QLineEdit, QStringLiteral("edtPre1"));
    LimitToColumn(edtPre1, TPrintItem::StaticClass(), QStringLiteral("ItemSerialPreText"));
    chkSerialPostfix =
        named(new QCheckBox(QStringLiteral("后缀")), QStringLiteral("chkSerialPostfix"));
    edtPostfix = named(new QLineEdit, QStringLiteral("edtPostfix"));
    LimitToColumn(edtPostfix, TPrintItem::StaticClass(), QStringLiteral("ItemSerialPostfixText"));
    chkPrnNum = named(new QCheckBox(QStringLiteral("序列号前补0")), QStringLiteral("chkPrnNum"));
    // Digits beyond what a 32-bit number has only pad with zeros.
    edtPrnNum = numberEdit(QStringLiteral("edtPrnNum"), 0, 0, 30);
    editSerialStep = numberEdit(QStringLiteral("editSerialStep"), 2, -999999999, 999999999);
    editSerialStep->setValue(1);
    chkSerialDecrease =
        named(new QCheckBox(QStringLiteral("序列号递减")), QStringLiteral("chkSerialDecrease"));
    serialExampleLabel = caption(QStringLiteral("serialExampleLabel"), QString());
    auto* serial = new QGridLayout(SerialSetup);
    serial->addWidget(chkSerialPre, 0, 0);
    serial->addWidget(edtPre1, 0, 1);
    serial->addWidget(chkSerialPostfix, 0, 2);
    serial->addWidget(edtPostfix, 0, 3);
    serial->addWidget(chkPrnNum, 1, 0);
    serial->addWidget(new QLabel(QStringLiteral("序列号位数")), 1, 2);
    serial->addWidget(edtPrnNum, 1, 3);
    serial->addWidget(new QLabel(QStringLiteral("序列号步长")), 2, 0);
    serial->addWidget(editSerialStep, 2, 1);
    serial->addWidget(chkSerialDecrease, 2, 2, 1, 2);
    serial->addWidget(new QLabel(QStringLiteral("示例:")), 3, 0);
    serial->addWidget(serialExampleLabel, 3, 1, 1, 3);
    col->addWidget(SerialSetup);

    grpQrcode = named(new QGroupBox(QStringLiteral(" 二维码设置  ")), QStringLiteral("grpQrcode"));
    qCode = listBox(QStringLiteral("qCode"),
                    {QStringLiteral("Auto"), QStringLiteral("Numeric"),
                     QStringLiteral("Alphanumeric"), QStringLiteral("ISO-8859-1"),
                     QStringLiteral("UTF-8 without BOM"), QStringLiteral("UTF-8 with BOM")});
    qQuietZone = named(new QLineEdit(QStringLiteral("3")), QStringLiteral("qQuietZone"));
    qQuietZone->setMaxLength(10);
    btnQrcodePreview =
        named(new QPushButton(QStringLiteral("预览")), QStringLiteral("btnQrcodePreview"));
    btnQrcodePreview->setAutoDefault(false);
    pbQrCode = named(new TQRPreview(QRCodeBitmap, nullptr), QStringLiteral("pbQrCode"));
    pbQrCode->setFixedSize(200, 200);
    auto* qr = new QGridLayout(grpQrcode);
    qr->addWidget(new QLabel(QStringLiteral("编码:")), 0, 0);
    qr->addWidget(qCode, 0, 1);
    qr->addWidget(new QLabel(QStringLiteral("空白区:")), 1, 0);
    qr->addWidget(qQuietZone, 1, 1);
    qr->addWidget(btnQrcodePreview, 2, 1, Qt::AlignLeft);
    qr->addWidget(pbQrCode, 3, 0, 1, 2, Qt::AlignHCenter);
    col->addWidget(grpQrcode);

    grpImage = named(new QGroupBox(QStringLiteral(" 图片设置 ")), QStringLiteral("grpImage"));
    ImgItem = caption(QStringLiteral("ImgItem"), QString());
    ImgItem->setFixedSize(300, 220);
    ImgItem->setAlignment(Qt::AlignCenter);
    ImgItem->setFrameShape(QFrame::StyledPanel);
    imageInfo = caption(QStringLiteral("imageInfo"), QString());
    btnLoadImg = named(new QPushButton(QStringLiteral("打开图片")), QStringLiteral("btnLoadImg"));
    btnLoadImg->setAutoDefault(false);
    auto* image = new QVBoxLayout(grpImage);
    image->addWidget(ImgItem, 0, Qt::AlignHCenter);
    image->addWidget(imageInfo);
    image->addWidget(btnLoadImg, 0, Qt::AlignLeft);
    col->addWidget(grpImage);

    grpDate = named(new QGroupBox(QStringLiteral(" 日期格式 ")), QStringLiteral("grpDate"));
    cbbDateStyle = listBox(QStringLiteral("cbbDateStyle"), DateStyleNames());
    cbbDateStyle->setCurrentIndex(-1);
    edtDateStyle = named(new QLineEdit, QStringLiteral("edtDateStyle"));
    edtDateStyle->setMaxLength(
        ColumnLength(TPrintItem::StaticClass(), QStringLiteral("ItemValue")));
    labelDateSample = caption(QStringLiteral("labelDateSample"), QString());
    auto* date = new QGridLayout(grpDate);
    date->addWidget(new QLabel(QStringLiteral("格式:")), 0, 0);
    date->addWidget(cbbDateStyle, 0, 1);
    date->addWidget(edtDateStyle, 1, 0, 1, 2);
    date->addWidget(labelDateSample, 2, 0, 1, 2);
    col->addWidget(grpDate);

    grpFont = named(new QGroupBox(QStringLiteral(" 字体 ")), QStringLiteral("grpFont"));
    chkDefaultFont =
        named(new QCheckBox(QStringLiteral("使用缺省字体")), QStringLiteral("chkDefaultFont"));
    itemFontBtn = named(new QPushButton(QStringLiteral("字 体&F")), QStringLiteral("itemFontBtn"));
    itemFontBtn->setAutoDefault(false);
    edtCharExtra = numberEdit(QStringLiteral("edtCharExtra"), 0, -9999, 9999);
    itemFontLabel = caption(QStringLiteral("itemFontLabel"), QStringLiteral("字体示例1234567890"));
    // A fixed frame: a large sample font must not push the other groups away.
    itemFontLabel->setFixedHeight(56);
    itemFontLabel->setMinimumWidth(10);
    auto* font = new QGridLayout(grpFont);
    font->addWidget(chkDefaultFont, 0, 0);
    font->addWidget(itemFontBtn, 0, 1);
    font->addWidget(new QLabel(QStringLiteral("字符间距:")), 0, 2);
    font->addWidget(edtCharExtra, 0, 3);
    font->addWidget(itemFontLabel, 1, 0, 1, 4);
    col->addWidget(grpFont);
    col->addStretch(1);
    return column;
}

void TprintItemEditorView::connectControls() {
    connect(cbbItemType, &QComboBox::currentIndexChanged, this,
            &TprintItemEditorView::cbbItemTypeChange);
    connect(cbbDateStyle, &QComboBox::currentIndexChanged, this,
            &TprintItemEditorView::cbbDateStyleChange);
    connect(edtDateStyle, &QLineEdit::textChanged, this, &TprintItemEditorView::renderView);
    for (QCheckBox* box : {chkDefaultFont, chkAllowNewline, chkCheckSum})
        connect(box, &QCheckBox::clicked, this, &TprintItemEditorView::fontCheckClick);
    for (QCheckBox* box : {chkSerialPre, chkSerialPostfix, chkPrnNum, chkSerialDecrease})
        connect(box, &QCheckBox::toggled, this, &TprintItemEditorView::renderView);
    for (QLineEdit* edit : {edtPre1, edtPostfix})
        connect(edit, &QLineEdit::textChanged, this, &TprintItemEditorView::renderView);
    for (QDoubleSpinBox* edit : {edtPrnNum, editSerialStep, barcodeTextOffsetX, barcodeTextOffsetY})
        connect(edit, &QDoubleSpinBox::valueChanged, this, &TprintItemEditorView::renderView);
    connect(barcodeModule, &QSpinBox::valueChanged, this,
            &TprintItemEditorView::barcodeModuleChange);
    connect(barcodeRatio, &QSpinBox::valueChanged, this, &TprintItemEditorView::barcodeRatioChange);
    connect(btnBarcodePreview, &QPushButton::clicked, this, &TprintItemEditorView::previewBarcode);
    imgBarcode->OnMouseDown = [this](const QPoint& point) { imgBarcodeMouseDown(point); };
    connect(btnQrcodePreview, &QPushButton::clicked, this, &TprintItemEditorView::previewQRcode);
    connect(btnLoadImg, &QPushButton::clicked, this, &TprintItemEditorView::btnLoadImgClick);
    connect(itemFontBtn, &QPushButton::clicked, this, &TprintItemEditorView::itemFontBtnClick);
    connect(btnSave, &QPushButton::clicked, this, &TprintItemEditorView::btnSaveClick);
    connect(btnPagePreview, &QPushButton::clicked, this,
            &TprintItemEditorView::btnPagePreviewClick);
    connect(btnClose, &QPushButton::clicked, this, &QDialog::reject);
    connect(cbbInsertField, &QComboBox::activated, this, &TprintItemEditorView::insertField);
    connect(ItemValue, &QPlainTextEdit::textChanged, this, &TprintItemEditorView::showPageValue);
    connect(itemName, &QLineEdit::textChanged, this, &TprintItemEditorView::showPageValue);
}

void TprintItemEditorView::SetPageNumber(int page) {
    FPageNum = page;
}

void TprintItemEditorView::listFields() {
    const QSignalBlocker block(cbbInsertField);
    cbbInsertField->clear();
    cbbInsertField->addItem(QStringLiteral("插入字段"));
    cbbInsertField->addItem(PageNumberField);
    for (const TPrintItem* item : ItemsInNameOrder(*currProject))
        if (item != currItem && CanBeField(item->ItemName()))
            cbbInsertField->addItem(item->ItemName());
    if (FData && !FData->Columns.isEmpty()) {
        cbbInsertField->insertSeparator(cbbInsertField->count());
        for (const QString& column : FData->Columns)
            if (CanBeField(column))
                cbbInsertField->addItem(column);
    }
}

QString TprintItemEditorView::nameClash() const {
    if (FData && FData->ColumnIndex(itemName->text()) >= 0)
        return ColumnItemClash(itemName->text());
    return QString();
}

void TprintItemEditorView::insertField(int index) {
    if (index > 0)
        ItemValue->insertPlainText(FieldText(cbbInsertField->itemText(index)));
    const QSignalBlocker block(cbbInsertField);
    cbbInsertField->setCurrentIndex(0);
    ItemValue->setFocus();
}

QString TprintItemEditorView::pageValue() const {
    // The form's item in the project in place of the stored one.
    TPrintItem form;
    CopyPublishedProps(*currItem, form);
    form.SetOID(currItem->OID());
    form.SetItemType(itemType());
    form.SetItemName(itemName->text());
    form.SetItemValue(ItemValue->toPlainText());
    return ItemPageValue(*currProject, form, FPageNum.value_or(currProject->ProjectSerialStart()),
                         SystemClock(), QLocale::system(), FData.get());
}

void TprintItemEditorView::showPageValue() {
    const bool fields = currItem && currProject && TakesFields(itemType()) &&
                        ItemValue->toPlainText().contains(u'{');
    QString text = currItem ? nameClash() : QString();
    bool failed = !text.isEmpty();
    if (fields && !failed) {
        try {
            const QString value = pageValue();
            if (value != ItemValue->toPlainText())
                text = value;
        } catch (const Exception& e) {
            text = e.Message();
            failed = true;
        }
    }
    lblPageValue->setVisible(!text.isEmpty());
    lblPageValue->setStyleSheet(failed ? QStringLiteral("color: #b00000;") : QString());
    lblPageValue->setText(
        failed ? text
               : QStringLiteral("第 %1 页：%2")
                     .arg(FPageNum.value_or(currProject ? currProject->ProjectSerialStart() : 1))
                     .arg(text));
}

std::vector<TPrintItem*> TprintItemEditorView::itemsNamingThis() const {
    std::vector<TPrintItem*> naming;
    if (!doEdit || currItem->ItemName() == itemName->text())
        return naming;
    const std::vector<const TPrintItem*> items = ItemsInNameOrder(*currProject);
    for (const TPrintItem* item : items)
        if (item != currItem && TakesFields(item->ItemType()) &&
            FieldsUsed(item->ItemValue(), items).contains(currItem->ItemName()))
            naming.push_back(const_cast<TPrintItem*>(item));
    return naming;
}

int TprintItemEditorView::itemType() const {
    return cbbItemType->currentIndex();
}

void TprintItemEditorView::SetData(TPrintItem* item, TProject* project, bool edit) {
    FdoSave = false;
    doEdit = edit;
    if (!item || !project)
        return;
    currItem = item;
    currProject = project;
    cbbItemType->setEnabled(!doEdit);
    // Data that cannot be read offers no columns; the run says why.
    try {
        FData = PrintModel->FileMgr()->ReadProjectTable(project->OID());
    } catch (const Exception&) {
        FData.reset();
    }
    loadFields();
    listFields();

    FFont = IsTrue(item->ItemDefaultFont()) ? PrintModel->SettingMgr()->GetProjectFont(*project)
                                            : PrintModel->SettingMgr()->getItemFont(*item);
    Barcode1 = std::make_unique<TLinearBarcode>();

    const int type = item->ItemType();
    if (type == itBarcode) {
        // A stored text its symbology refuses must not lock the user out of the
        // item: the form opens and says what is wrong where the text line goes.
        try {
            previewBarcode();
        } catch (const Exception& e) {
            labelCode->setText(e.Message());
            labelCode->setStyleSheet(QStringLiteral("color: #b00000;"));
        }
    } else if (type == itQRCode && !ItemValue->toPlainText().isEmpty()) {
        previewQRcode();
    }
    if (type == itImage)
        showStoredPicture();
    if (type == itDate) {
        const QSignalBlocker block(cbbDateStyle);
        const int style = item->ItemSerialLength();
        cbbDateStyle->setCurrentIndex(style >= 0 && style < cbbDateStyle->count() ? style : -1);
        edtDateStyle->setText(item->ItemValue());
    }
    renderView();
    FLoadedValues = FormValues(this);
    FLoadedFont = FFont;
}

bool TprintItemEditorView::changed() const {
    return currItem &&
           (FPictureLoaded || FFont != FLoadedFont || FormValues(this) != FLoadedValues);
}


void TprintItemEditorView::loadFields() {
    const TPrintItem& item = *currItem;
    {
        const QSignalBlocker block(cbbItemType);
        const int type = item.ItemType();
        cbbItemType->setCurrentIndex(type >= 0 && type < cbbItemType->count() ? type : 0);
    }
    itemName->setText(item.ItemName());
    ItemValue->setPlainText(item.ItemValue());
    chkAllowNewline->setChecked(IsTrue(item.ItemAllowNewLine()));
    chkCheckSum->setChecked(IsTrue(item.ItemAllowNewLine()));
    chkSerialPre->setChecked(IsTrue(item.ItemSerialHasPre()));
    edtPre1->setText(item.ItemSerialPreText());
    chkSerialPostfix->setChecked(IsTrue(item.ItemSerialHasPostfix()));
    edtPostfix->setText(item.ItemSerialPostfixText());
    // A stored colour the list lacks is offered too, so an edit does not lose it.
    int colour = olColor->findText(item.ItemOutlinePenColor(), Qt::MatchFixedString);
    if (colour < 0 && !item.ItemOutlinePenColor().isEmpty()) {
        olColor->addItem(item.ItemOutlinePenColor());
        colour = olColor->count() - 1;
    }
    olColor->setCurrentIndex(colour);
    olMargin->setValue(item.ItemOutlineMargin());
    olPenWidth->setValue(item.ItemOutlinePenWidth());
    chkPrnNum->setChecked(IsTrue(item.ItemSerialIsFillZero()));
    edtPrnNum->setValue(item.ItemType() == itDate ? 0 : item.ItemSerialLength());
    chkSerialDecrease->setChecked(IsTrue(item.ItemSerialDecrease()));
    editSerialStep->setValue(item.ItemSerialStep());
    edtRotate->setValue(item.ItemRotateDegree());
    ItemX->setValue(item.ItemX());
    ItemY->setValue(item.ItemY());
    itemTextWidth->setValue(item.ItemTextWidth());
    itemLineHeight->setValue(item.ItemLineHeight());
    const int pen = item.ItemOutlinePenStyle();
    olStyle->setCurrentIndex(pen >= 0 && pen < olStyle->count() ? pen : -1);
    auto select = [](QComboBox* box, int index) {
        box->setCurrentIndex(index >= 0 && index < box->count() ? index : -1);
    };
    select(barcodeType, item.BarcodeType());
    select(barcodeOption, item.BarcodeOption());
    select(barcodePosition, item.BarcodePosition());
    barcodeTextOffsetX->setValue(item.BarcodeTextOffsetX());
    barcodeTextOffsetY->setValue(item.BarcodeTextOffsetY());
    {
        const QSignalBlocker blockModule(barcodeModule);
        const QSignalBlocker blockRatio(barcodeRatio);
        FModule = item.BarcodeModule();
        FRatio = item.BarcodeRatio();
        barcodeModule->setValue(rounded(FModule * 10));
        barcodeRatio->setValue(rounded(FRatio * 10));
        barcodeModuleLabel->setText(FloatToStr(FModule));
        barcodeRatioLabel->setText(FloatToStr(FRatio));
    }
    qQuietZone->setText(QString::number(item.QRcodeQuietZone()));
    select(qCode, item.QRcodeEncoding());
    chkDefaultFont->setChecked(IsTrue(item.ItemDefaultFont()));
    edtCharExtra->setValue(item.ItemCharExtra());
    chkStatus->setChecked(IsTrue(item.ItemActive()));
}

void TprintItemEditorView::renderView() {
    const int type = itemType();
    const QFont font = FFont.toQFont();
    const QString colour = QStringLiteral("color: %1;").arg(ColorToQColor(FFont.Color).name());
    for (QLabel* label : {itemFontLabel, labelDateSample}) {
        label->setFont(font);
        label->setStyleSheet(colour);
    }

    struct Captions {
        const char *x, *y, *width, *height;
    };
    static const Captions kText{"左边距X:", "上边距Y:", "文本宽度:", "行高(倍):"};
    Captions c = kText;
    if (type == itLine)
        c = {"起点X:", "起点Y:", "终点X:", "终点Y:"};
    else if (type == itBarcode)
        c = {"左边距X:", "上边距Y:", "条形码宽度:", "条形码高度:"};
    else if (type == itQRCode)
        c = {"左边距X:", "上边距Y:", "二维码宽度:", "二维码高度:"};
    else if (type == itImage)
        c = {"左边距X:", "上边距Y:", "图片宽度:", "图片高度:"};
    lblItemX->setText(QString::fromUtf8(c.x));
    lblItemY->setText(QString::fromUtf8(c.y));
    lblTextWidth->setText(QString::fromUtf8(c.width));
    lblLineHeight->setText(QString::fromUtf8(c.height));

    struct Content {
        int type;
        const char* caption;
        int height;
    };
    static const Content kContents[] = {{itSerial, "序列号打印起始号，必须为数字", 100},
                                        {itText, "文本内容", 200},
                                        {itBarcode, "条形码内容", 80},
                                        {itQRCode, "二维码内容", 120},
                                        {itImage, "图片文件名", 80}};
    for (const Content& content : kContents)
        if (content.type == type) {
            lblItemValue->setText(QString::fromUtf8(content.caption));
            ItemValue->setFixedHeight(content.height);
        }
    if (type == itDate) {
        edtDateStyle->setEnabled(cbbDateStyle->currentIndex() == 6);
        labelDateSample->setText(
            FormatDateTime(edtDateStyle->text(), QDateTime::currentDateTime(), QLocale::system()));
    }

    const QString sample = serialSampleText();
    itemFontLabel->setText(type == itSerial ? QStringLiteral("序列号格式：") + sample
                                            : QStringLiteral("字体示例1234567890"));

    auto among = [type](std::initializer_list<int> types) {
        return std::find(types.begin(), types.end(), type) != types.end();
    };
    grpItemValue->setVisible(among({itText, itSerial, itBarcode, itQRCode, itImage}));
    cbbInsertField->setVisible(TakesFields(type));
    showPageValue();
    ItemValue->setReadOnly(type == itImage);
    SerialSetup->setVisible(type == itSerial);
    grpQrcode->setVisible(type == itQRCode);
    grpBarcode->setVisible(type == itBarcode);
    grpoutlinegroup->setVisible(among({itText, itSerial, itLine, itImage, itDate}));
    grpFont->setVisible(among({itText, itSerial, itBarcode, itDate}));
    grpDate->setVisible(type == itDate);
    chkAllowNewline->setVisible(among({itText, itSerial, itDate}));
    const bool rotates = among({itText, itSerial, itBarcode, itDate});
    lblRotate->setVisible(rotates);
    edtRotate->setVisible(rotates);
    lblMargin->setVisible(type != itLine);
    olMargin->setVisible(type != itLine);
    labelTextSetup->setVisible(type != itLine);
    labelPrnSetup->setVisible(among({itText, itSerial, itDate}));
    grpImage->setVisible(type == itImage);

    itemFontBtn->setEnabled(!chkDefaultFont->isChecked());
    edtPre1->setEnabled(chkSerialPre->isChecked());
    edtPostfix->setEnabled(chkSerialPostfix->isChecked());
    edtPrnNum->setEnabled(chkPrnNum->isChecked());
    serialExampleLabel->setText(sample);
}

QString TprintItemEditorView::serialSampleText() const {
    return SerialSample(chkPrnNum->isChecked(), rounded(edtPrnNum->value()),
                        chkSerialPre->isChecked(), edtPre1->text(), chkSerialPostfix->isChecked(),
                        edtPostfix->text());
}

void TprintItemEditorView::processDefault() {
    if (doEdit)
        return;
    if (FLinePenDefaulted && itemType() != itLine) {
        // The line's pen was ours, not the user's: other kinds have no frame.
        olStyle->setCurrentIndex(olStyle->count() - 1);
        FLinePenDefaulted = false;
    }
    switch (itemType()) {
    case itBarcode:
        itemLineHeight->setValue(20);
        break;
    case itQRCode:
        itemTextWidth->setValue(30);
        itemLineHeight->setValue(30);
        break;
    case itImage:
        itemTextWidth->setValue(32);
        itemLineHeight->setValue(24);
        break;
    case itLine:
        // A line drawn with no pen would print nothing: a new one starts solid, 1 px.
        if (olStyle->currentIndex() == olStyle->count() - 1) {
            olStyle->setCurrentIndex(0);
            olPenWidth->setValue(qMax(1.0, olPenWidth->value()));
            FLinePenDefaulted = true;
        }
        break;
    case itText:
    case itSerial:
    case itDate:
        // Only when the kind changes: a width typed for wrapping must survive
        // a later click on a check box.
        itemTextWidth->setValue(0);
        itemLineHeight->setValue(1.2);
        break;
    default:
        break;
    }
}

void TprintItemEditorView::cbbItemTypeChange() {
    processDefault();
    renderView();
}

void TprintItemEditorView::reloadProjectFont() {
    if (chkDefaultFont->isChecked() && currProject)
        FFont = PrintModel->SettingMgr()->GetProjectFont(*currProject);
}

void TprintItemEditorView::fontCheckClick() {
    reloadProjectFont();
    renderView();
}

void TprintItemEditorView::itemFontBtnClick() {
    itemFont->SetCurrentFont(FFont);
    if (!itemFont->Execute())
        return;
    FFont = itemFont->CurrentFont();
    renderView();
}

void TprintItemEditorView::cbbDateStyleChange() {
    const int index = cbbDateStyle->currentIndex();
    const QStringList patterns = DateStylePatterns();
    if (index >= 0 && index < patterns.size()) {
        const QSignalBlocker block(edtDateStyle);
        edtDateStyle->setText(patterns.at(index));
    }
    renderView();
}

void TprintItemEditorView::barcodeModuleChange(int tenths) {
    FModule = tenths / 10.0;
    barcodeModuleLabel->setText(FloatToStr(FModule));
}

void TprintItemEditorView::barcodeRatioChange(int tenths) {
    FRatio = tenths / 10.0;
    barcodeRatioLabel->setText(FloatToStr(FRatio));
}

void TprintItemEditorView::previewBarcode() {
    labelCode->setStyleSheet(QString());
    TLinearBarcode& bc = *Barcode1;
    const QString content = pageValue();
    bc.setText(content);
    bc.setHeight(rounded(itemLineHeight->value()));
    // Tenths of a millimetre taken as preview pixels; 50 and more the component refuses.
    bc.setModul(barcodeModule->value());
    bc.setRatio(FRatio);
    bc.setShowTextFont(FFont.toQFont());
    bc.setShowTextFontColor(ColorToQColor(FFont.Color));
    bc.setShowTextOffSetX(rounded(barcodeTextOffsetX->value()));
    bc.setShowTextOffSetY(rounded(barcodeTextOffsetY->value()));
    bc.setCharExtra(rounded(edtCharExtra->value()));
    bc.setChecksum(chkCheckSum->isChecked());
    bc.setAngle(edtRotate->value());
    bc.setTyp(TBarcodeType(std::max(0, barcodeType->currentIndex())));
    bc.setShowText(TBarcodeOption(std::max(0, barcodeOption->currentIndex())));
    bc.setShowTextPosition(TShowTextPosition(std::max(0, barcodePosition->currentIndex())));
    imgBarcode->Clear();
    const TBarcodeLayout layout = bc.Layout(&imgBarcode->Picture());
    {
        QPainter painter(&imgBarcode->Picture());
        PaintBarcode(painter, layout);
    }
    imgBarcode->update();
    // The line the printed symbol shows, check digit and all.
    labelCode->setText(layout.Shown);
    itemTextWidth->setValue(int(layout.Width));
}

void TprintItemEditorView::imgBarcodeMouseDown(const QPoint& point) {
    // The picture is stretched to the control: map back to picture pixels.
    const QImage& picture = imgBarcode->Picture();
    const int x = imgBarcode->width() > 0 ? point.x() * picture.width() / imgBarcode->width() : 0;
    const int y =
        imgBarcode->height() > 0 ? point.y() * picture.height() / imgBarcode->height() : 0;
    Barcode1->setTop(y);
    Barcode1->setLeft(x);
    previewBarcode();
}

void TprintItemEditorView::previewQRcode() {
    if (ItemValue->toPlainText().isEmpty()) {
        showBox(this, QStringLiteral("请输入内容！"), true);
        return;
    }
    const QString content = pageValue();
    const int quietZone = WholeNumber(qQuietZone->text()).value_or(QRDefaultQuietZone);
    QRCodeBitmap = QRCodeImage(content, std::max(0, qCode->currentIndex()), quietZone);
    pbQrCode->update();
}

void TprintItemEditorView::showPicture(const QImage& image) {
    if (image.isNull()) {
        ImgItem->clear();
        return;
    }
    ImgItem->setPixmap(QPixmap::fromImage(image.scaled(
        ImgItem->contentsRect().size(), Qt::KeepAspectRatio, Qt::SmoothTransformation)));
}

void TprintItemEditorView::showStoredPicture() {
    FPictureBytes.clear();
    FPicture = QImage();
    FPictureLoaded = false;
    if (currItem->FileId().isEmpty()) {
        imageInfo->setText(QStringLiteral("无图片。"));
        showPicture(QImage());
        return;
    }
    const QByteArray bytes = PrintModel->FileMgr()->getFileData(currItem->FileId());
    if (bytes.isEmpty()) {
        imageInfo->setText(QStringLiteral("图片无效。"));
        showPicture(QImage());
        return;
    }
    try {
        FPicture = DecodeJpeg(bytes);
        FPictureBytes = bytes;
        imageInfo->clear();
    } catch (const EJpegError& e) {
        // The form still opens: the user can load a good picture instead.
        imageInfo->setText(QStringLiteral("图片无效。") + e.Message());
    }
    showPicture(FPicture);
}

bool TprintItemEditorView::LoadPicture(const QString& path) {
    QFile file(path);
    const QString name = QFileInfo(path).fileName();
    if (!file.open(QIODevice::ReadOnly)) {
        showBox(this, QStringLiteral("无法打开图片文件“%1”：%2").arg(name, file.errorString()),
                false);
        return false;
    }
    if (file.size() > kMaxPictureFileSize) {
        showBox(this, QStringLiteral("图片文件“%1”太大，不能超过 64 MB。").arg(name), false);
        return false;
    }
    const QByteArray bytes = file.readAll();
    QImage image;
    try {
        image = DecodeJpeg(bytes);
    } catch (const EJpegError& e) {
        showBox(this, QStringLiteral("“%1”不是可以打印的 JPEG 图片：%2").arg(name, e.Message()),
                false);
        return false;
    }
    FPictureBytes = bytes;
    FPicture = image;
    FPictureLoaded = true;
    showPicture(FPicture);
    ItemValue->setPlainText(name);
    imageInfo->clear();
    return true;
}

void TprintItemEditorView::btnLoadImgClick() {
    const QString path = FPictureChooser ? FPictureChooser(this) : QString();
    if (!path.isEmpty())
        LoadPicture(path);
}

void TprintItemEditorView::btnSaveClick() {
    if (!currItem)
        return;
    TItemFormValues values;
    values.Type = itemType();
    values.Name = itemName->text();
    values.Value = ItemValue->toPlainText();
    if (TakesFields(values.Type) && currProject) {
        values.Page = FPageNum.value_or(currProject->ProjectSerialStart());
        try {
            values.PageValue = pageValue();
        } catch (const EDataFileError&) {
            // A row of the preview page, not the item, is at fault.
        } catch (const Exception& e) {
            values.FieldError = e.Message();
        }
    }
    if (const QString clash = nameClash(); !clash.isEmpty())
        values.FieldError = clash;
    values.TextWidth = itemTextWidth->value();
    values.LineHeight = itemLineHeight->value();
    values.AllowNewLine = chkAllowNewline->isChecked();
    values.DateStyle = cbbDateStyle->currentIndex();
    values.SerialStep = editSerialStep->value();
    values.HasPicture = !FPicture.isNull();
    values.BarcodeType = std::max(0, barcodeType->currentIndex());
    values.Checksum = chkCheckSum->isChecked();
    values.QREncoding = std::max(0, qCode->currentIndex());
    values.Module = FModule;
    values.Dpi = currProject ? ProjectDpi(*currProject) : 0;
    if (const auto failure = CheckItemForm(values)) {
        showBox(this, failure->Message, failure->Information);
        QWidget* focus = nullptr;
        switch (failure->Focus) {
        case TItemField::Name:
            focus = itemName;
            break;
        case TItemField::Value:
            focus = ItemValue;
            break;
        case TItemField::TextWidth:
            focus = itemTextWidth;
            break;
        case TItemField::LineHeight:
            focus = itemLineHeight;
            break;
        case TItemField::SerialStep:
            focus = editSerialStep;
            break;
        case TItemField::None:
            break;
        }
        if (focus)
            focus->setFocus();
        return;
    }

    // References to the old name follow the rename, in the same save, or nothing is saved.
    const std::vector<TPrintItem*> naming = itemsNamingThis();
    if (!naming.empty()) {
        QStringList names;
        for (const TPrintItem* item : naming)
            names << QStringLiteral("\"%1\"").arg(item->ItemName());
        QMessageBox box(QMessageBox::Question, QCoreApplication::applicationName(),
                        QStringLiteral("打印项 %1 的内容引用了 \"%2\"。\n是否把这些引用一起改为 \"%3\"？")
                            .arg(names.join(QStringLiteral("、")), currItem->ItemName(),
                                 itemName->text()),
                        QMessageBox::Yes | QMessageBox::Cancel, this);
        box.button(QMessageBox::Yes)->setText(QStringLiteral("是"));
        box.button(QMessageBox::Cancel)->setText(QStringLiteral("取消"));
        box.setDefaultButton(QMessageBox::Cancel);
        if (box.exec() != QMessageBox::Yes)
            return;
    }
    std::vector<std::unique_ptr<TObjectSnapshot>> before;
    for (TPrintItem* item : naming)
        before.push_back(std::make_unique<TObjectSnapshot>(*item));
    const QString oldName = currItem->ItemName();
    try {
        SaveItemEdit(
            *currItem, *PrintModel->FileMgr(), FPictureLoaded ? FPictureBytes : QByteArray(),
            [&] {
                storeFields(*currItem);
                for (TPrintItem* item : naming) {
                    item->SetItemValue(RenameField(item->ItemValue(), oldName, currItem->ItemName()));
                    item->SetDirty(true);
                }
            },
            [this] {
                if (FSaveHandler)
                    FSaveHandler(currItem);
            });
    } catch (const ESaveRefused& e) {
        for (std::size_t i = 0; i < naming.size(); ++i)
            before[i]->Restore(*naming[i]);
        showBox(this, e.Message(), false);
        return;
    } catch (...) {
        for (std::size_t i = 0; i < naming.size(); ++i)
            before[i]->Restore(*naming[i]);
        throw;
    }
    FdoSave = true;
    accept();
}

void TprintItemEditorView::storeFields(TPrintItem& item) {
    const int type = itemType();
    item.SetItemType(type);
    item.SetItemName(itemName->text());
    item.SetItemValue(type == itDate ? edtDateStyle->text() : ItemValue->toPlainText());
    item.SetItemAllowNewLine(
        FlagText(type == itBarcode ? chkCheckSum->isChecked() : chkAllowNewline->isChecked()));
    item.SetItemSerialHasPre(FlagText(chkSerialPre->isChecked()));
    item.SetItemSerialPreText(edtPre1->text());
    item.SetItemSerialHasPostfix(FlagText(chkSerialPostfix->isChecked()));
    item.SetItemSerialPostfixText(edtPostfix->text());
    if (olColor->currentIndex() >= 0)
        item.SetItemOutlinePenColor(olColor->currentText());
    item.SetItemOutlineMargin(olMargin->value());
    item.SetItemOutlinePenWidth(rounded(olPenWidth->value()));
    item.SetItemSerialIsFillZero(FlagText(chkPrnNum->isChecked()));
    item.SetItemSerialLength(type == itDate ? cbbDateStyle->currentIndex()
                                            : rounded(edtPrnNum->value()));
    item.SetItemSerialDecrease(FlagText(chkSerialDecrease->isChecked()));
    item.SetItemSerialStep(rounded(editSerialStep->value()));
    item.SetItemRotateDegree(edtRotate->value());
    item.SetItemX(ItemX->value());
    item.SetItemY(ItemY->value());
    item.SetItemTextWidth(itemTextWidth->value());
    item.SetItemLineHeight(itemLineHeight->value());
    if (olStyle->currentIndex() >= 0)
        item.SetItemOutlinePenStyle(olStyle->currentIndex());
    item.SetBarcodeType(std::max(0, barcodeType->currentIndex()));
    item.SetBarcodeOption(std::max(0, barcodeOption->currentIndex()));
    item.SetBarcodePosition(std::max(0, barcodePosition->currentIndex()));
    item.SetBarcodeTextOffsetX(rounded(barcodeTextOffsetX->value()));
    item.SetBarcodeTextOffsetY(rounded(barcodeTextOffsetY->value()));
    item.SetBarcodeModule(FModule);
    item.SetBarcodeRatio(FRatio);
    // What the preview used for a text that is no number.
    item.SetQRcodeQuietZone(WholeNumber(qQuietZone->text()).value_or(QRDefaultQuietZone));
    item.SetQRcodeEncoding(std::max(0, qCode->currentIndex()));
    item.SetItemDefaultFont(FlagText(chkDefaultFont->isChecked()));
    reloadProjectFont();
    PrintModel->SettingMgr()->setItemFont(item, FFont);
    item.SetItemCharExtra(rounded(edtCharExtra->value()));
    item.SetItemActive(FlagText(chkStatus->isChecked()));
}

std::unique_ptr<TCPrint> TprintItemEditorView::FormPage(int pageNum) {
    // A copy of the project with the form in place of the item: the item and
    // the project stay as the database holds them until Save.
    TProject project;
    project.AssignClassProps(*currProject);
    TPrintItem* edited = nullptr;
    TPrintItemList& items = *project.ItemList();
    for (int i = 0; doEdit && i < items.Count(); ++i)
        if (items.Items(i)->OID() == currItem->OID())
            edited = items.Items(i);
    if (!edited) {
        edited = new TPrintItem;
        items.Add(edited);
    }
    storeFields(*edited);
    const TPageComposer composer(*PrintModel->SettingMgr(), *PrintModel->FileMgr());
    std::unique_ptr<TCPrint> page = composer.GenerateTCPrint(project, pageNum);
    // A picture loaded in the form is not stored yet: its line gets it directly.
    if (itemType() == itImage && FPictureLoaded)
        for (int i = 0; i < page->Lines().Count(); ++i)
            if (TLineOfText& line = *page->Lines().Items(i); line.Item == edited && line.Count() > 0)
                line.Items(0)->SetImageBody(FPictureBytes);
    return page;
}

void TprintItemEditorView::btnPagePreviewClick() {
    if (!currItem || !currProject)
        return;
    TPagePreviewFrm preview(this);
    preview.SetData(
        *currProject, [this](int pageNum) { return FormPage(pageNum); },
        currProject->ProjectSerialStart());
    preview.exec();
}
