#include "view/FontColorDialog.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QIntValidator>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>

namespace {

struct NamedColor {
    TColor value;
    const char* caption;
};

// The basic colours with the names the desktop's own font dialog gives them.
constexpr NamedColor kBasicColors[] = {
    {0x000000, "黑色"},   {0x000080, "褐红色"}, {0x008000, "绿色"},   {0x008080, "橄榄色"},
    {0x800000, "深蓝色"}, {0x800080, "紫色"},   {0x808000, "水鸭色"}, {0x808080, "灰色"},
    {0xC0C0C0, "银色"},   {0x0000FF, "红色"},   {0x00FF00, "酸橙色"}, {0x00FFFF, "黄色"},
    {0xFF0000, "蓝色"},   {0xFF00FF, "紫红色"}, {0xFFFF00, "浅绿色"}, {0xFFFFFF, "白色"},
};

constexpr int kSizes[] = {8, 9, 10, 11, 12, 14, 16, 18, 20, 22, 24, 26, 28, 36, 48, 72};

QIcon swatch(TColor color) {
    QPixmap pm(16, 12);
    pm.fill(ColorToQColor(color));
    QPainter p(&pm);
    p.setPen(Qt::darkGray);
    p.drawRect(pm.rect().adjusted(0, 0, -1, -1));
    return QIcon(pm);
}

} // namespace

const QList<TColor>& TFontColorDialog::BasicColors() {
    static const QList<TColor> colors = [] {
        QList<TColor> list;
        for (const auto& c : kBasicColors)
            list << c.value;
        return list;
    }();
    return colors;
}

TFontColorDialog::TFontColorDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("字体"));

    cbbFontName = new QComboBox(this);
    cbbFontName->setObjectName(QStringLiteral("cbbFontName"));
    cbbFontName->setEditable(true);
    cbbFontName->setInsertPolicy(QComboBox::NoInsert);
    cbbFontName->addItems(QFontDatabase::families());
    cbbFontName->setMinimumWidth(220);

    cbbFontSize = new QComboBox(this);
    cbbFontSize->setObjectName(QStringLiteral("cbbFontSize"));
    cbbFontSize->setEditable(true);
    cbbFontSize->setInsertPolicy(QComboBox::NoInsert);
    for (int size : kSizes)
        cbbFontSize->addItem(QString::number(size));
    cbbFontSize->setValidator(new QIntValidator(1, 999, cbbFontSize));

    chkBold = new QCheckBox(QStringLiteral("粗体(&B)"), this);
    chkBold->setObjectName(QStringLiteral("chkBold"));
    chkItalic = new QCheckBox(QStringLiteral("斜体(&I)"), this);
    chkItalic->setObjectName(QStringLiteral("chkItalic"));
    chkUnderline = new QCheckBox(QStringLiteral("下划线(&U)"), this);
    chkUnderline->setObjectName(QStringLiteral("chkUnderline"));
    chkStrikeOut = new QCheckBox(QStringLiteral("删除线(&K)"), this);
    chkStrikeOut->setObjectName(QStringLiteral("chkStrikeOut"));

    cbbFontColor = new QComboBox(this);
    cbbFontColor->setObjectName(QStringLiteral("cbbFontColor"));
    for (const auto& c : kBasicColors)
        addColor(c.value, QString::fromUtf8(c.caption));
    auto* btnOtherColor = new QPushButton(QStringLiteral("其他颜色(&O)..."), this);
    btnOtherColor->setObjectName(QStringLiteral("btnOtherColor"));
    btnOtherColor->setAutoDefault(false);

    lblFontSample = new QLabel(QStringLiteral("AaBbYyZz 中文字体"), this);
    lblFontSample->setObjectName(QStringLiteral("lblFontSample"));
    lblFontSample->setAlignment(Qt::AlignCenter);
    lblFontSample->setFixedSize(300, 72);
    auto* sampleBox = new QGroupBox(QStringLiteral("示例"), this);
    auto* sampleLayout = new QVBoxLayout(sampleBox);
    sampleLayout->addWidget(lblFontSample);

    buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->setObjectName(QStringLiteral("buttons"));
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("确定"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("取消"));

    auto* grid = new QGridLayout(this);
    auto* lblName = new QLabel(QStringLiteral("字体(&F):"), this);
    lblName->setBuddy(cbbFontName);
    auto* lblSize = new QLabel(QStringLiteral("大小(&S):"), this);
    lblSize->setBuddy(cbbFontSize);
    auto* lblColor = new QLabel(QStringLiteral("颜色(&C):"), this);
    lblColor->setBuddy(cbbFontColor);
    grid->addWidget(lblName, 0, 0);
    grid->addWidget(cbbFontName, 0, 1, 1, 2);
    grid->addWidget(lblSize, 1, 0);
    grid->addWidget(cbbFontSize, 1, 1);
    grid->addWidget(chkBold, 2, 1);
    grid->addWidget(chkItalic, 2, 2);
    grid->addWidget(chkUnderline, 3, 1);
    grid->addWidget(chkStrikeOut, 3, 2);
    grid->addWidget(lblColor, 4, 0);
    grid->addWidget(cbbFontColor, 4, 1);
    grid->addWidget(btnOtherColor, 4, 2);
    grid->addWidget(sampleBox, 5, 0, 1, 3);
    grid->addWidget(buttons, 6, 0, 1, 3);
    grid->setSizeConstraint(QLayout::SetFixedSize);

    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(btnOtherColor, &QPushButton::clicked, this, &TFontColorDialog::chooseOtherColor);
    connect(cbbFontName, &QComboBox::currentTextChanged, this, &TFontColorDialog::updateSample);
    connect(cbbFontSize, &QComboBox::currentTextChanged, this, &TFontColorDialog::updateSample);
    connect(cbbFontColor, &QComboBox::currentIndexChanged, this, &TFontColorDialog::updateSample);
    for (QCheckBox* box : {chkBold, chkItalic, chkUnderline, chkStrikeOut})
        connect(box, &QCheckBox::toggled, this, &TFontColorDialog::updateSample);

    SetCurrentFont(TFont{QStringLiteral("宋体"), 12, clBlack, {}});
}

void TFontColorDialog::addColor(TColor color, const QString& caption) {
    cbbFontColor->addItem(swatch(color), caption, QVariant::fromValue(color));
}

void TFontColorDialog::selectColor(TColor color) {
    int index = cbbFontColor->findData(QVariant::fromValue(color));
    if (index < 0) {
        // A colour outside the basic ones keeps its stored name, so confirming
        // the dialog never changes it unasked.
        addColor(color, ColorToString(color));
        index = cbbFontColor->count() - 1;
    }
    cbbFontColor->setCurrentIndex(index);
}

void TFontColorDialog::chooseOtherColor() {
    const QColor chosen =
        QColorDialog::getColor(ColorToQColor(CurrentFont().Color), this, QStringLiteral("颜色"));
    if (chosen.isValid())
        selectColor(QColorToColor(chosen));
}

void TFontColorDialog::SetCurrentFont(const TFont& font) {
    // Names this machine does not know (宋体 is one) stay selectable as they are.
    if (cbbFontName->findText(font.Name, Qt::MatchFixedString | Qt::MatchCaseSensitive) < 0)
        cbbFontName->insertItem(0, font.Name);
    cbbFontName->setCurrentIndex(
        cbbFontName->findText(font.Name, Qt::MatchFixedString | Qt::MatchCaseSensitive));
    cbbFontSize->setCurrentText(QString::number(font.Size));
    chkBold->setChecked(font.Style.testFlag(fsBold));
    chkItalic->setChecked(font.Style.testFlag(fsItalic));
    chkUnderline->setChecked(font.Style.testFlag(fsUnderline));
    chkStrikeOut->setChecked(font.Style.testFlag(fsStrikeOut));
    selectColor(font.Color);
    updateSample();
}

TFont TFontColorDialog::CurrentFont() const {
    TFont font;
    font.Name = cbbFontName->currentText();
    font.Size = cbbFontSize->currentText().toInt();
    font.Color = cbbFontColor->currentData().value<TColor>();
    font.Style.setFlag(fsBold, chkBold->isChecked());
    font.Style.setFlag(fsItalic, chkItalic->isChecked());
    font.Style.setFlag(fsUnderline, chkUnderline->isChecked());
    font.Style.setFlag(fsStrikeOut, chkStrikeOut->isChecked());
    return font;
}

void TFontColorDialog::updateSample() {
    const TFont font = CurrentFont();
    // A font needs a name and a size of at least one point to be stored.
    buttons->button(QDialogButtonBox::Ok)
        ->setEnabled(!font.Name.trimmed().isEmpty() && font.Size > 0);
    lblFontSample->setFont(font.toQFont());
    QPalette pal = lblFontSample->palette();
    pal.setColor(QPalette::WindowText, ColorToQColor(font.Color));
    lblFontSample->setPalette(pal);
}

bool TFontColorDialog::Execute() {
    return exec() == QDialog::Accepted;
}
