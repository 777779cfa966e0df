#pragma once

#include "model/Font.h"
#include "model/bom/SettingBom.h"

#include <QStringList>
#include <memory>

// Holds every setting and every project (with its items) in memory and converts
// between the stored texts and fonts, pen styles and page descriptions.
class TSettingMgr : public TPersistentObject {
public:
    // Reads all settings, then all projects with their items.
    TSettingMgr();
    ~TSettingMgr() override;

    TPageSettingList* PageSettingList() const { return FPageSettingList.get(); }
    TProjectList* ProjectList() const { return FProjectList.get(); }

    // Reads every setting, project and item afresh: other stations sharing the
    // database may have changed them. The old objects are destroyed, so holders
    // find theirs again by OID. Nothing changes when the read fails.
    void Reload();
    // Reads the project's stored start into it (another station may have printed
    // since it was read). False when the project is no longer in the database.
    bool ReadSerialStart(TProject& project) const;
    // A setting of this station alone (the row "name:host"); empty when it has none.
    QString StationSetting(const QString& name) const;
    // Whole dots a queue's bars are drawn narrower for ink that spreads: the
    // setting "bar_reduction:<queue>", 0 when missing or not a small number.
    int BarReduction(const QString& queue) const;
    void SaveStationSetting(const QString& name, const QString& value);

    TPageSetting* GetPageSettingByKey(const QString& keyname) const;
    void SavePageSetting(const QString& name, const QString& value);

    TFont GetFont() const;
    TFont GetProjectFont(const TProject& project) const;
    TFont getItemFont(const TPrintItem& item) const;
    TFont getFontbyValue(const QString& fname, const QString& fsize, const QString& fcolor,
                         const QString& fstyle) const;
    void setItemFont(TPrintItem& item, const TFont& font) const;

    static TFontStyles GetFontStyle(const QString& text);
    static QString GetFontStyleString(const TFont& font);
    static QStringList getStringList(const QString& txt);
    static QStringList getPenStyleList();

    TObjectStringList<TProject> GetProjectList() const;
    QString GetProjectPageInfo(const TProject& project) const;
    QString GetPageInfo() const;

private:
    // A setting's value; a missing key reads as empty text.
    QString settingValue(const QString& key) const;

    std::unique_ptr<TPageSettingList> FPageSettingList;
    std::unique_ptr<TProjectList> FProjectList;
};
