#pragma once

#include "base/Errors.h"

#include <QByteArray>
#include <QChar>
#include <QString>
#include <QStringList>
#include <vector>

// A project's data: the rows of a CSV or TSV file, one a page. Page 1 takes the
// first data row, as page numbers are absolute; a column's value is named in an
// item's value as "{列名}", like an item.

// The largest file and the most rows taken: beyond them a file is refused
// rather than held in memory by every station.
constexpr qint64 kDataFileMaxBytes = 50LL * 1024 * 1024;
constexpr int kDataFileMaxRows = 1000000;

// A file that cannot be taken as data (too big, too many rows, not text).
class EDataFileError : public Exception {
public:
    using Exception::Exception;
};

// What the user chooses about a file; a null delimiter is detected.
struct TDataFormat {
    QChar Delimiter;
    bool HeaderRow = true; // the first row names the columns
};

struct TDataTable {
    QString Encoding; // "UTF-8", "UTF-8（带 BOM）" or "GB18030"
    QChar Delimiter;
    bool HeaderRow = true;
    QStringList Columns;
    std::vector<QStringList> Rows;

    int RowCount() const { return int(Rows.size()); }
    // -1 when no column has that name; the first of a repeated name answers.
    int ColumnIndex(const QString& name) const { return int(Columns.indexOf(name)); }
    // The row `page` takes, whole; throws EDataFileError when the file has no
    // such row or the row is short of fields (naming the first missing column).
    const QStringList& PageRow(qint64 page) const;
};

// Reads the bytes of a CSV/TSV file: UTF-8 with or without a byte order mark, or
// GB18030; fields in double quotes may hold delimiters, quotes ("") and line
// breaks. Blank lines are skipped. Throws EDataFileError past the limits.
TDataTable ParseDataFile(const QByteArray& bytes, const TDataFormat& format = {});
// The bytes of a file on disk; throws EDataFileError when it cannot be read or
// is over the size limit (before reading it).
QByteArray ReadDataBytes(const QString& path);
// The same for a file on disk; throws EDataFileError when it cannot be read.
TDataTable ReadDataFile(const QString& path, const TDataFormat& format = {});

// The delimiters offered, with their names as the editor shows them.
struct TDelimiterName {
    char16_t Delimiter;
    const char* Name;
};
inline constexpr TDelimiterName kDelimiters[] = {
    {u',', "逗号"}, {u'\t', "制表符"}, {u';', "分号"}, {u'|', "竖线"}};
QString DelimiterName(QChar delimiter);

// "数据只有 N 行，第 S 页起还剩 M 行": a run from page `from` of `count` pages that
// the rows do not cover; empty when they do.
QString RowsLeftProblem(const TDataTable& data, qint64 from, qint64 count);
