#pragma once

#include "base/Errors.h"
#include "persistence/PersistentObject.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>

class TFileMgr;
class TPrintItem;

// The print item editor's rules that are not about widgets: the checks a save
// must pass, the date styles, the serial sample, and saving an edited object so
// that a refused save leaves it, and its picture, as the database holds them.

// The form field a failed check sends the user to.
enum class TItemField { None, Name, Value, TextWidth, LineHeight, SerialStep };

// What the checks read from the form.
struct TItemFormValues {
    int Type = 0;
    QString Name;
    QString Value;
    double TextWidth = 0;
    double LineHeight = 0;
    bool AllowNewLine = false;
    int DateStyle = -1; // -1: no style chosen
    double SerialStep = 1;
    bool HasPicture = false; // an image item's picture is stored or loaded
    int BarcodeType = 0;     // TBarcodeType ordinal
    bool Checksum = false;
    int QREncoding = 0; // TQREncoding ordinal
    double Module = 0;  // a barcode's module, mm
    int Dpi = 0;        // the project's printer's dots per inch; 0: unknown
    // A text, barcode or QR value on the preview page: fields resolved, or why not.
    int Page = 0;
    QString PageValue; // null: the value has no page of its own
    QString FieldError;
};

struct TItemCheckFailure {
    int Number = 0; // 1..13, the order the checks run in
    QString Message;
    bool Information = false; // an information box; otherwise an error box
    TItemField Focus = TItemField::None;
};

// The first check the values fail, or nothing when they may be saved.
std::optional<TItemCheckFailure> CheckItemForm(const TItemFormValues& values);

// "默认格式,长日期格式,..." and the parallel patterns, index for index.
QStringList DateStyleNames();
QStringList DateStylePatterns();

// Serial number 1 as the editor's sample shows it.
QString SerialSample(bool fillZero, int digits, bool withPrefix, const QString& prefix,
                     bool withSuffix, const QString& suffix);

// A whole number as the form holds it in a text field, or nothing.
std::optional<int> WholeNumber(const QString& text);

// A save the database refused, told in words a user can act on.
class ESaveRefused : public Exception {
public:
    using Exception::Exception;
};
QString SaveRefusedMessage(const QString& databaseMessage);

// The values and state of an object as they were before an edit.
class TObjectSnapshot {
public:
    explicit TObjectSnapshot(const TPersistentObject& object);
    ~TObjectSnapshot();
    // Puts the values and the state back.
    void Restore(TPersistentObject& object) const;

private:
    std::unique_ptr<TPersistentObject> FCopy;
    TPersistentObjectState FState;
};

// Runs save (which writes the edit into the object and saves it). Whatever fails,
// the object goes back to the snapshot; a database error becomes ESaveRefused,
// which says in Chinese what was wrong, anything else propagates as it is.
void SaveOrRestore(TPersistentObject& object, const TObjectSnapshot& before,
                   const std::function<void()>& save);

// Saves an edited item: write puts the form into the item, persist stores it.
// picture, when not empty, is a newly chosen picture of an image item; it is
// stored in between, over the item's stored picture if it has one, and named
// after the item's content (the file it came from). Whatever fails, the item and
// the picture store go back to what they held, and it is thrown as by SaveOrRestore.
void SaveItemEdit(TPrintItem& item, TFileMgr& files, const QByteArray& picture,
                  const std::function<void()>& write, const std::function<void()>& persist);

// Deletes an object and what it owns from the database. A refused delete leaves
// them marked as they were, so that no later save deletes them unasked.
void DeleteOrRestore(TPersistentObject& object);
