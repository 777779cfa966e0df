#pragma once

#include "persistence/PersistentObject.h"

#include <QList>
#include <QPair>
#include <QString>
#include <memory>

class TPrintItem;
class TProject;

// Flags are stored as "TRUE"/"FALSE"; only an exact "TRUE" counts as set.
inline const QString kTrue = QStringLiteral("TRUE");
inline const QString kFalse = QStringLiteral("FALSE");
inline bool IsTrue(const QString& flag) { return flag == kTrue; }
inline QString FlagText(bool on) { return on ? kTrue : kFalse; }

enum TPrintItemType {
    itText = 0, itSerial = 1, itLine = 2, itBarcode = 3, itQRCode = 4, itImage = 5, itDate = 6
};

// A string list whose entries carry an attached object (not owned).
template <class T> using TObjectStringList = QList<QPair<QString, T*>>;

class TPrintItem : public TPersistentObject {
public:
    TPrintItem();
    static const TClassInfo& StaticClass();
    const TClassInfo& Class() const override { return StaticClass(); }
    void GenerateNewOID() { SetOID(NewOID()); }

    KOVA_PUBLISHED(QString, ItemName)
    KOVA_PUBLISHED(QString, ItemValue)
    KOVA_PUBLISHED(int, ItemType, itText)
    KOVA_PUBLISHED(int, ItemCharExtra, 0)
    KOVA_PUBLISHED(QString, ItemSerialHasPre, kFalse)
    KOVA_PUBLISHED(QString, ItemSerialPreText)
    KOVA_PUBLISHED(QString, ItemSerialHasPostfix, kFalse)
    KOVA_PUBLISHED(QString, ItemSerialPostfixText)
    KOVA_PUBLISHED(QString, ItemSerialIsFillZero, kFalse)
    KOVA_PUBLISHED(QString, ItemSerialDecrease, kFalse)
    KOVA_PUBLISHED(int, ItemSerialStep, 1)
    KOVA_PUBLISHED(int, ItemSerialLength, 0)
    KOVA_PUBLISHED(double, ItemRotateDegree, 0.0)
    KOVA_PUBLISHED(double, ItemX, 0.0)
    KOVA_PUBLISHED(double, ItemY, 0.0)
    KOVA_PUBLISHED(double, ItemTextWidth, 0.0)
    KOVA_PUBLISHED(double, ItemLineHeight, 1.2)
    KOVA_PUBLISHED(QString, ItemDefaultFont, kTrue)
    KOVA_PUBLISHED(QString, ItemFontSize)
    KOVA_PUBLISHED(QString, ItemFontName)
    KOVA_PUBLISHED(QString, ItemFontColor)
    KOVA_PUBLISHED(QString, ItemFontStyle)
    KOVA_PUBLISHED(QString, ItemActive, kTrue)
    KOVA_PUBLISHED(QString, ItemAllowNewLine, kFalse)
    KOVA_PUBLISHED(double, ItemOutlineMargin, 0.0)
    KOVA_PUBLISHED(int, ItemOutlinePenWidth, 1)
    KOVA_PUBLISHED(int, ItemOutlinePenStyle, 5)
    KOVA_PUBLISHED(QString, ItemOutlinePenColor, QStringLiteral("clBlack"))
    KOVA_PUBLISHED(int, BarcodeType, 0)
    KOVA_PUBLISHED(int, BarcodeOption, 0)
    KOVA_PUBLISHED(int, BarcodePosition, 0)
    KOVA_PUBLISHED(int, BarcodeTextOffsetX, 0)
    KOVA_PUBLISHED(int, BarcodeTextOffsetY, 20)
    KOVA_PUBLISHED(double, BarcodeModule, 0.5)
    KOVA_PUBLISHED(double, BarcodeRatio, 2.0)
    KOVA_PUBLISHED(int, QRcodeQuietZone, 3)
    KOVA_PUBLISHED(int, QRcodeEncoding, 0)
    KOVA_PUBLISHED(QString, FileId)

    // The project this item belongs to (its owner), or null.
    TProject* Project() const;
};

class TPrintItemList : public TObjectList<TPrintItem> {
public:
    static const TClassInfo& StaticClass();
    const TClassInfo& Class() const override { return StaticClass(); }
    // Reports the owning project's OID: reading the list selects the project's rows.
    QString OID() const override;
};

class TProject : public TPersistentObject {
public:
    TProject();
    ~TProject() override;
    static const TClassInfo& StaticClass();
    const TClassInfo& Class() const override { return StaticClass(); }
    void GenerateNewID() { SetOID(NewOID()); }

    TPrintItemList* ItemList() const { return FItemList.get(); }
    // Sorts ItemList by name for good (it is the drawing order) and lists it.
    TObjectStringList<TPrintItem> GetPrintItemList();
    // Copies every property and the item list item by item.
    void AssignClassProps(const TProject& source);

    KOVA_PUBLISHED(QString, ProjectName)
    KOVA_PUBLISHED(double, ProjectPageWidth, 210.0)
    KOVA_PUBLISHED(double, ProjectPageHeight, 297.0)
    KOVA_PUBLISHED(double, ProjectOffsetX, 0.0)
    KOVA_PUBLISHED(double, ProjectOffsetY, 0.0)
    KOVA_PUBLISHED(QString, ProjectFontName, QStringLiteral("宋体"))
    KOVA_PUBLISHED(QString, ProjectFontSize, QStringLiteral("16"))
    KOVA_PUBLISHED(QString, ProjectFontColor, QStringLiteral("clBlack"))
    KOVA_PUBLISHED(QString, ProjectFontStyle, QStringLiteral("[]"))
    KOVA_PUBLISHED(QString, ProjectDeviceName)
    KOVA_PUBLISHED(QString, ProjectDefaultDevice, kTrue)
    KOVA_PUBLISHED(int, ProjectPaperOrientation, 0)
    KOVA_PUBLISHED(int, ProjectSerialStart, 0)
    KOVA_PUBLISHED(int, ProjectSerialEnd, 10)
    KOVA_PUBLISHED(QString, ProjectNotes)

private:
    std::unique_ptr<TPrintItemList> FItemList;
};

class TProjectList : public TObjectList<TProject> {
public:
    static const TClassInfo& StaticClass();
    const TClassInfo& Class() const override { return StaticClass(); }
};

class TPageSetting : public TPersistentObject {
public:
    static const TClassInfo& StaticClass();
    const TClassInfo& Class() const override { return StaticClass(); }

    KOVA_PUBLISHED(QString, name)
    KOVA_PUBLISHED(QString, value)
};

class TPageSettingList : public TObjectList<TPageSetting> {
public:
    static const TClassInfo& StaticClass();
    const TClassInfo& Class() const override { return StaticClass(); }
    // The first setting named exactly keyname, or null.
    TPageSetting* GetItemByName(const QString& keyname) const;
};

// Characters the column behind a string property holds (0 for numbers and
// unknown properties); editors limit their fields to it.
int ColumnLength(const TClassInfo& cls, const QString& property);

// Copies every published value property (not the OID, state or owned lists).
void CopyPublishedProps(const TPersistentObject& from, TPersistentObject& to);

// Registers the tables and column mappings of the business objects, once, before
// any database access.
void RegisterBusinessObjects();
