#include "model/manager/SettingMgrImpl.h"

#include <QSysInfo>

#include "base/Errors.h"
#include "model/Colors.h"
#include "model/Convert.h"
#include "persistence/PersistenceManager.h"

TSettingMgr::TSettingMgr() {
    FPageSettingList = std::make_unique<TPageSettingList>();
    FPageSettingList->SetOwner(this);
    FPageSettingList->Read();
    FProjectList = std::make_unique<TProjectList>();
    FProjectList->SetOwner(this);
    FProjectList->Read();
}

TSettingMgr::~TSettingMgr() = default;

void TSettingMgr::Reload() {
    auto settings = std::make_unique<TPageSettingList>();
    settings->SetOwner(this);
    settings->Read();
    auto projects = std::make_unique<TProjectList>();
    projects->SetOwner(this);
    projects->Read();
    FPageSettingList = std::move(settings);
    FProjectList = std::move(projects);
}

bool TSettingMgr::ReadSerialStart(TProject& project) const {
    TDatabaseLock conn;
    conn->StartTransaction();
    auto query = conn->CreateQuery();
    query->SetSQL(QStringLiteral("select serial_start from P_PROJECT where oid = :oid"));
    query->ParamAsString(QStringLiteral("oid"), project.OID());
    query->Open();
    if (query->Eof())
        return false;
    const QVariant start = query->FieldAt(0);
    project.SetProjectSerialStart(start.isNull() ? 0 : start.toInt());
    return true;
}

TPageSetting* TSettingMgr::GetPageSettingByKey(const QString& keyname) const {
    return FPageSettingList->GetItemByName(keyname);
}

QString TSettingMgr::settingValue(const QString& key) const {
    const TPageSetting* setting = GetPageSettingByKey(key);
    return setting ? setting->value() : QString();
}

namespace {

QString StationKey(const QString& name) {
    return name + QLatin1Char(':') + QSysInfo::machineHostName();
}

} // namespace

QString TSettingMgr::StationSetting(const QString& name) const {
    return settingValue(StationKey(name));
}

int TSettingMgr::BarReduction(const QString& queue) const {
    bool ok = false;
    const int dots = settingValue(QStringLiteral("bar_reduction:") + queue).trimmed().toInt(&ok);
    return ok && dots > 0 && dots <= 10 ? dots : 0;
}

void TSettingMgr::SaveStationSetting(const QString& name, const QString& value) {
    const QString key = StationKey(name);
    if (GetPageSettingByKey(key)) {
        SavePageSetting(key, value);
        return;
    }
    auto setting = std::make_unique<TPageSetting>();
    setting->Setname(key);
    setting->Setvalue(value);
    setting->SetDirty(true);
    setting->Save();
    FPageSettingList->Add(setting.release());
}

void TSettingMgr::SavePageSetting(const QString& name, const QString& value) {
    TPageSetting* setting = GetPageSettingByKey(name);
    if (!setting)
        throw Exception(QStringLiteral("Setting %1 not found").arg(name));
    setting->Setvalue(value);
    setting->SetDirty(true);
    setting->Save();
}

TFont TSettingMgr::getFontbyValue(const QString& fname, const QString& fsize,
                                  const QString& fcolor, const QString& fstyle) const {
    TFont font;
    font.Name = fname;
    font.Size = StrToInt(fsize);
    font.Color = StringToColor(fcolor);
    font.Style = GetFontStyle(fstyle);
    return font;
}

TFont TSettingMgr::GetFont() const {
    return getFontbyValue(settingValue(QStringLiteral("font_name")),
                          settingValue(QStringLiteral("font_size")),
                          settingValue(QStringLiteral("font_color")),
                          settingValue(QStringLiteral("font_style")));
}

TFont TSettingMgr::GetProjectFont(const TProject& p) const {
    return getFontbyValue(p.ProjectFontName(), p.ProjectFontSize(), p.ProjectFontColor(),
                          p.ProjectFontStyle());
}

TFont TSettingMgr::getItemFont(const TPrintItem& item) const {
    return getFontbyValue(item.ItemFontName(), item.ItemFontSize(), item.ItemFontColor(),
                          item.ItemFontStyle());
}

void TSettingMgr::setItemFont(TPrintItem& item, const TFont& font) const {
    item.SetItemFontName(font.Name);
    item.SetItemFontSize(QString::number(font.Size));
    item.SetItemFontColor(ColorToString(font.Color));
    item.SetItemFontStyle(GetFontStyleString(font));
}

TFontStyles TSettingMgr::GetFontStyle(const QString& text) {
    TFontStyles style;
    style.setFlag(fsBold, text.contains(QLatin1String("fsBold")));
    style.setFlag(fsItalic, text.contains(QLatin1String("fsItalic")));
    style.setFlag(fsUnderline, text.contains(QLatin1String("fsUnderline")));
    style.setFlag(fsStrikeOut, text.contains(QLatin1String("fsStrikeOut")));
    return style;
}

QString TSettingMgr::GetFontStyleString(const TFont& font) {
    QString s = QStringLiteral("[");
    if (font.Style.testFlag(fsBold))
        s += QLatin1String("fsBold");
    if (font.Style.testFlag(fsItalic))
        s += QLatin1String("fsItalic");
    if (font.Style.testFlag(fsUnderline))
        s += QLatin1String("fsUnderline");
    if (font.Style.testFlag(fsStrikeOut))
        s += QLatin1String("fsStrikeOut");
    return s + QLatin1Char(']');
}

QStringList TSettingMgr::getStringList(const QString& txt) {
    // "a,b" gives a and b; a trailing comma gives an empty last entry; "" gives one empty entry.
    return txt.split(QLatin1Char(','));
}

QStringList TSettingMgr::getPenStyleList() {
    return getStringList(QStringLiteral("实线,长划线,点线,点划线,双点划线,无"));
}

TObjectStringList<TProject> TSettingMgr::GetProjectList() const {
    TObjectStringList<TProject> list;
    for (int i = 0; i < FProjectList->Count(); ++i)
        list.append({FProjectList->Items(i)->ProjectName(), FProjectList->Items(i)});
    return list;
}

namespace {

QString pageInfo(const QString& width, const QString& height, bool portrait, const QString& x,
                 const QString& y) {
    return QStringLiteral("纸张大小：") + width + QStringLiteral("×") + height +
           QStringLiteral(" 打印方向：") + (portrait ? QStringLiteral("纵向") : QStringLiteral("横向")) +
           QStringLiteral(" 偏移X：") + x + QStringLiteral(" 偏移Y：") + y;
}

} // namespace

QString TSettingMgr::GetProjectPageInfo(const TProject& p) const {
    return pageInfo(FloatToStr(p.ProjectPageWidth()), FloatToStr(p.ProjectPageHeight()),
                    p.ProjectPaperOrientation() == 0, FloatToStr(p.ProjectOffsetX()),
                    FloatToStr(p.ProjectOffsetY()));
}

QString TSettingMgr::GetPageInfo() const {
    return pageInfo(settingValue(QStringLiteral("page_width")),
                    settingValue(QStringLiteral("page_height")),
                    settingValue(QStringLiteral("paper_orientation")) == QLatin1String("0"),
                    settingValue(QStringLiteral("offset_x")), settingValue(QStringLiteral("offset_y")));
}
