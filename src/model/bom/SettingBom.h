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

// Each persistent field is declared once, in the column order of its table,
// which the generated statements follow: KEY(column, path, keys, length) for a
// key column, FIELD(type, name, column, length, flags[, default]) for a column
// behind the published property of that name. length: the VARCHAR's characters,
// 0 for numbers; keys and flags are the mapping's (pktDB, pktFK, colNeverLower).
#define KOVA_ITEM_COLUMNS(KEY, FIELD)                                                              \
    KEY("oid", "OID", pktDB, 36)                                                                   \
    KEY("project_id", "Owner.OID", pktFK, 36)                                                      \
    FIELD(QString, ItemName, "item_name", 200, 0)                                                  \
    FIELD(QString, ItemValue, "item_value", 4000, 0)                                               \
    FIELD(int, ItemCharExtra, "item_char_extra", 0, 0, 0)                                          \
    FIELD(int, ItemType, "item_type", 0, 0, itText)                                                \
    FIELD(QString, ItemSerialHasPre, "serial_has_pre", 10, 0, kFalse)                              \
    FIELD(QString, ItemSerialPreText, "serial_pre_text", 200, 0)                                   \
    FIELD(QString, ItemSerialHasPostfix, "serial_has_postfix", 10, 0, kFalse)                      \
    FIELD(QString, ItemSerialPostfixText, "serial_postfix_text", 200, 0)                           \
    FIELD(QString, ItemSerialIsFillZero, "serial_is_fill_zero", 10, 0, kFalse)                     \
    FIELD(int, ItemSerialLength, "serial_length", 0, 0, 0)                                         \
    FIELD(int, ItemSerialStep, "serial_step", 0, 0, 1)                                             \
    FIELD(QString, ItemSerialDecrease, "serial_decrease", 10, 0, kFalse)                           \
    FIELD(double, ItemRotateDegree, "item_rotate_degree", 0, 0, 0.0)                               \
    FIELD(double, ItemX, "item_x", 0, 0, 0.0)                                                      \
    FIELD(double, ItemY, "item_y", 0, 0, 0.0)                                                      \
    FIELD(double, ItemTextWidth, "text_width", 0, 0, 0.0)                                          \
    FIELD(double, ItemLineHeight, "line_height", 0, 0, 1.2)                                        \
    FIELD(QString, ItemDefaultFont, "use_default_font", 10, 0, kTrue)                              \
    FIELD(QString, ItemFontName, "font_name", 100, 0)                                              \
    FIELD(QString, ItemFontSize, "font_size", 20, 0)                                               \
    FIELD(QString, ItemFontColor, "font_color", 40, 0)                                             \
    FIELD(QString, ItemFontStyle, "font_style", 80, 0)                                             \
    FIELD(QString, ItemActive, "is_active", 10, 0, kTrue)                                          \
    FIELD(QString, ItemAllowNewLine, "allow_newline", 10, 0, kFalse)                               \
    FIELD(double, ItemOutlineMargin, "outline_margin", 0, 0, 0.0)                                  \
    FIELD(int, ItemOutlinePenWidth, "outline_pen_width", 0, 0, 1)                                  \
    FIELD(QString, ItemOutlinePenColor, "outline_pen_Color", 40, 0, QStringLiteral("clBlack"))     \
    FIELD(int, ItemOutlinePenStyle, "outline_pen_Style", 0, 0, 5)                                  \
    FIELD(int, BarcodeType, "barcode_type", 0, 0, 0)                                               \
    FIELD(int, BarcodeOption, "barcode_option", 0, 0, 0)                                           \
    FIELD(int, BarcodePosition, "barcode_position", 0, 0, 0)                                       \
    FIELD(int, BarcodeTextOffsetX, "barcode_text_offset_x", 0, 0, 0)                               \
    FIELD(int, BarcodeTextOffsetY, "barcode_text_offset_y", 0, 0, 20)                              \
    FIELD(double, BarcodeModule, "barcode_module", 0, 0, 0.5)                                      \
    FIELD(double, BarcodeRatio, "barcode_ratio", 0, 0, 2.0)                                        \
    FIELD(int, QRcodeQuietZone, "qrcode_quiet_zone", 0, 0, 3)                                      \
    FIELD(int, QRcodeEncoding, "qrcode_encoding", 0, 0, 0)                                         \
    FIELD(QString, FileId, "file_id", 36, 0)
#define KOVA_PROJECT_COLUMNS(KEY, FIELD)                                                           \
    KEY("oid", "OID", pktDB, 36)                                                                   \
    FIELD(QString, ProjectName, "project_name", 200, 0)                                            \
    FIELD(double, ProjectPageWidth, "page_width", 0, 0, 210.0)                                     \
    FIELD(double, ProjectPageHeight, "page_height", 0, 0, 297.0)                                   \
    FIELD(double, ProjectOffsetX, "offset_x", 0, 0, 0.0)                                           \
    FIELD(double, ProjectOffsetY, "offset_y", 0, 0, 0.0)                                           \
    FIELD(QString, ProjectFontName, "font_name", 100, 0, QStringLiteral("宋体"))                   \
    FIELD(QString, ProjectFontSize, "font_size", 20, 0, QStringLiteral("16"))                      \
    FIELD(QString, ProjectFontColor, "font_color", 40, 0, QStringLiteral("clBlack"))               \
    FIELD(QString, ProjectFontStyle, "font_style", 80, 0, QStringLiteral("[]"))                    \
    FIELD(QString, ProjectDeviceName, "device_name", 255, 0)                                       \
    FIELD(QString, ProjectDefaultDevice, "default_device", 10, 0, kTrue)                           \
    FIELD(int, ProjectPaperOrientation, "paper_orientation", 0, 0, 0)                              \
    FIELD(int, ProjectSerialStart, "serial_start", 0, colNeverLower, 1)                            \
    FIELD(int, ProjectSerialEnd, "serial_end", 0, 0, 10)                                           \
    FIELD(QString, ProjectNotes, "notes", 4000, 0)
#define KOVA_SETTING_COLUMNS(KEY, FIELD)                                                           \
    KEY("oid", "OID", pktDB, 36)                                                                   \
    FIELD(QString, name, "setting_name", 100, 0)                                                   \
    FIELD(QString, value, "setting_value", 1000, 0)

#define KOVA_NO_MEMBER(...)
#define KOVA_FIELD_MEMBER(Type, Name, Column, Length, Flags, ...)                                  \
    KOVA_PUBLISHED(Type, Name, __VA_ARGS__)

// A string list whose entries carry an attached object (not owned).
template <class T> using TObjectStringList = QList<QPair<QString, T*>>;

class TPrintItem : public TPersistentObject {
public:
    TPrintItem();
    static const TClassInfo& StaticClass();
    const TClassInfo& Class() const override { return StaticClass(); }
    void GenerateNewOID() { SetOID(NewOID()); }

    KOVA_ITEM_COLUMNS(KOVA_NO_MEMBER, KOVA_FIELD_MEMBER)

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

    KOVA_PROJECT_COLUMNS(KOVA_NO_MEMBER, KOVA_FIELD_MEMBER)

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

    KOVA_SETTING_COLUMNS(KOVA_NO_MEMBER, KOVA_FIELD_MEMBER)
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
