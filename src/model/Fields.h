#pragma once

#include "base/Errors.h"
#include "model/DateFormat.h"

#include <QHash>
#include <QLocale>
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

class TPrintItem;
class TProject;
struct TDataTable;

// Fields: a text, barcode or QR value may name another item of its project in
// braces, "{票号}", and shows that item's text of the page in its place;
// "{页码}" is the page number; "{列名}" a column of the project's data, on the
// page's row. Braces that name nothing stay as typed, so values
// stored before fields existed print as they did; "{{" and "}}" are literal braces.

inline const QString PageNumberField = QStringLiteral("页码");

// A field that cannot be resolved: a value naming itself, or items naming each other.
class EFieldError : public Exception {
public:
    using Exception::Exception;
};

// Whether an item of this kind takes fields in its value.
bool TakesFields(int itemType);

// A value split at its fields: literal runs and names, in order.
struct TFieldPart {
    QString Text; // literal text, or the field's name
    bool IsField = false;
    qsizetype From = 0, To = 0; // where the part stands in the value
};
// `known` says which names are fields; every other brace is literal text.
template <class Known> std::vector<TFieldPart> SplitFields(const QString& value, Known known);

// "{name}", as the item editor inserts it.
inline QString FieldText(const QString& name) { return u'{' + name + u'}'; }
// Whether an item of this name can be named by a field (no brace in it).
bool CanBeField(const QString& name);

// The items of a project in drawing order (by name, as the window lists them),
// without sorting the project's own list.
std::vector<const TPrintItem*> ItemsInNameOrder(const TProject& project);

// The names of `items` that `value` uses as fields.
QStringList FieldsUsed(const QString& value, const std::vector<const TPrintItem*>& items);
// The active items and every item their fields take text from, at any depth.
std::vector<const TPrintItem*> ItemsPrinted(const TProject& project);
// Whether a printed barcode or QR code takes fields (items, the page number or
// one of `columns`), so its symbol changes with the page.
bool SymbolsVaryByPage(const TProject& project, const QStringList& columns = {});
// The names that are both a column of the data and an item of the project, which
// a field cannot tell apart.
QStringList ColumnsNamedLikeItems(const TProject& project, const QStringList& columns);
// "列名 \"X\" 和打印项的名称相同…": the error of such a name.
QString ColumnItemClash(const QString& name);
// `value` with every field naming `from` renamed to `to`.
QString RenameField(const QString& value, const QString& from, const QString& to);

// The text every item of a project shows on one page: a serial number item its
// formatted serial, a date item the date (the clock read once per item and
// page), a text, barcode or QR item its value with fields resolved. Computed on
// demand, each once. Inactive items serve as sources too. With `data`, columns
// take the page's row.
class TPageValues {
public:
    TPageValues(const std::vector<const TPrintItem*>& items, qint32 page, const TClock& clock,
                const QLocale& locale, const TDataTable* data = nullptr);
    // Throws EFieldError for a value that names itself or a cycle of items or a
    // name that is both a column and an item; EDataFileError for the page's row
    // missing or short or an empty column value in a barcode or QR code; and what
    // composing the source throws (a serial start that is no number).
    QString Text(int index);
    QString Text(const TPrintItem& item);

private:
    const std::vector<const TPrintItem*>& FItems;
    qint32 FPage;
    const TClock& FClock;
    const QLocale& FLocale;
    const TDataTable* FData;
    QHash<QString, int> FByName;
    std::vector<std::optional<QString>> FTexts;
    std::vector<int> FResolving; // the chain being resolved, for the cycle's names
    QString ownText(int index);
};

// The value `item` shows on `page` with its fields resolved, the item taken as
// the project's item of its object (a form's copy stands in for the stored one).
QString ItemPageValue(const TProject& project, const TPrintItem& item, qint32 page,
                      const TClock& clock = SystemClock(),
                      const QLocale& locale = QLocale::system(), const TDataTable* data = nullptr);

template <class Known> std::vector<TFieldPart> SplitFields(const QString& value, Known known) {
    std::vector<TFieldPart> parts;
    QString literal;
    qsizetype start = 0;
    const auto endLiteral = [&](qsizetype at) {
        if (!literal.isEmpty())
            parts.push_back({literal, false, start, at});
        literal.clear();
    };
    const qsizetype n = value.size();
    for (qsizetype i = 0; i < n; ++i) {
        if (literal.isEmpty())
            start = i;
        const QChar c = value[i];
        if ((c == u'{' || c == u'}') && i + 1 < n && value[i + 1] == c) {
            literal += c;
            ++i;
            continue;
        }
        if (c == u'{') {
            const qsizetype close = value.indexOf(u'}', i + 1);
            const qsizetype open = value.indexOf(u'{', i + 1);
            if (close > i && (open < 0 || open > close)) {
                const QString name = value.mid(i + 1, close - i - 1);
                if (known(name)) {
                    endLiteral(i);
                    parts.push_back({name, true, i, close + 1});
                    i = close;
                    continue;
                }
            }
        }
        literal += c;
    }
    endLiteral(n);
    return parts;
}
