#include "model/DataFile.h"

#include <QFile>
#include <QStringDecoder>

namespace {

QString Decode(const QByteArray& bytes, QString& encoding) {
    if (bytes.startsWith("\xEF\xBB\xBF")) {
        encoding = QStringLiteral("UTF-8（带 BOM）");
        return QString::fromUtf8(bytes.constData() + 3, bytes.size() - 3);
    }
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8(bytes);
    if (!utf8.hasError()) {
        encoding = QStringLiteral("UTF-8");
        return text;
    }
    // Files saved by Chinese Windows programs: GB18030 covers GBK and GB2312.
    QStringDecoder gb("GB18030");
    text = gb(bytes);
    if (!gb.isValid() || gb.hasError())
        throw EDataFileError(QStringLiteral("数据文件不是 UTF-8 或 GB18030 编码的文本"));
    encoding = QStringLiteral("GB18030");
    return text;
}

// The delimiter of the first line, quoted parts left out: a tab where there is
// one (TSV), else the most frequent of the others, a comma when none.
QChar DetectDelimiter(const QString& text) {
    int counts[std::size(kDelimiters)] = {};
    bool quoted = false;
    for (const QChar c : text) {
        if (c == u'"')
            quoted = !quoted;
        else if (!quoted && (c == u'\n' || c == u'\r'))
            break;
        else if (!quoted)
            for (size_t i = 0; i < std::size(kDelimiters); ++i)
                if (c == kDelimiters[i].Delimiter)
                    ++counts[i];
    }
    if (counts[1] > 0)
        return u'\t';
    size_t best = 0;
    for (size_t i = 2; i < std::size(kDelimiters); ++i)
        if (counts[i] > counts[best])
            best = i;
    return kDelimiters[best].Delimiter;
}

} // namespace

const QStringList& TDataTable::PageRow(qint64 page) const {
    if (page < 1 || page > qint64(Rows.size()))
        throw EDataFileError(
            QStringLiteral("第 %1 页没有数据：数据只有 %2 行").arg(page).arg(Rows.size()));
    const QStringList& row = Rows[size_t(page - 1)];
    if (row.size() < Columns.size())
        throw EDataFileError(QStringLiteral("数据第 %1 行只有 %2 个字段，缺少列 \"%3\"")
                                 .arg(page)
                                 .arg(row.size())
                                 .arg(Columns[row.size()]));
    return row;
}

namespace {

void CheckSize(qint64 size) {
    if (size > kDataFileMaxBytes)
        throw EDataFileError(QStringLiteral("数据文件有 %1 MB，超过了上限 %2 MB")
                                 .arg((size + 1024 * 1024 - 1) / (1024 * 1024))
                                 .arg(kDataFileMaxBytes / (1024 * 1024)));
}

} // namespace

TDataTable ParseDataFile(const QByteArray& bytes, const TDataFormat& format) {
    CheckSize(bytes.size());
    TDataTable table;
    const QString text = Decode(bytes, table.Encoding);
    table.Delimiter = format.Delimiter.isNull() ? DetectDelimiter(text) : format.Delimiter;
    table.HeaderRow = format.HeaderRow;
    const QChar delimiter = table.Delimiter;

    // One pass over the characters: a field ends at the delimiter or a line
    // break outside quotes.
    std::vector<QStringList> rows;
    QStringList row;
    QString field;
    bool quoted = false, wasQuoted = false;
    const auto endField = [&] {
        row << field;
        field.clear();
        wasQuoted = false;
    };
    const auto endRow = [&] {
        const bool lastQuoted = wasQuoted;
        endField();
        // A blank line is no row.
        if (row.size() > 1 || !row.first().isEmpty() || lastQuoted) {
            if (int(rows.size()) >= kDataFileMaxRows + (format.HeaderRow ? 1 : 0))
                throw EDataFileError(
                    QStringLiteral("数据文件超过了 %1 行的上限").arg(kDataFileMaxRows));
            rows.push_back(std::move(row));
        }
        row = QStringList();
    };
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text[i];
        if (quoted) {
            if (c != u'"')
                field += c;
            else if (i + 1 < n && text[i + 1] == u'"')
                field += c, ++i;
            else
                quoted = false;
        } else if (c == u'"' && field.isEmpty()) {
            quoted = wasQuoted = true;
        } else if (c == delimiter) {
            endField();
        } else if (c == u'\r' || c == u'\n') {
            if (c == u'\r' && i + 1 < n && text[i + 1] == u'\n')
                ++i;
            endRow();
        } else {
            field += c;
        }
    }
    if (!field.isEmpty() || !row.isEmpty() || wasQuoted)
        endRow();

    size_t first = 0;
    if (format.HeaderRow && !rows.empty()) {
        table.Columns = rows.front();
        first = 1;
    }
    // Columns without a name, and those of a row longer than the header, are
    // named by their place.
    qsizetype widest = table.Columns.size();
    for (size_t r = first; r < rows.size(); ++r)
        widest = qMax(widest, rows[r].size());
    for (qsizetype c = 0; c < widest; ++c) {
        if (c >= table.Columns.size())
            table.Columns << QString();
        if (table.Columns[c].trimmed().isEmpty())
            table.Columns[c] = QStringLiteral("列%1").arg(c + 1);
        else
            table.Columns[c] = table.Columns[c].trimmed();
    }
    table.Rows.assign(std::make_move_iterator(rows.begin() + qsizetype(first)),
                      std::make_move_iterator(rows.end()));
    return table;
}

QByteArray ReadDataBytes(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw EDataFileError(
            QStringLiteral("无法读取数据文件 %1：%2").arg(path, file.errorString()));
    CheckSize(file.size());
    return file.readAll();
}

TDataTable ReadDataFile(const QString& path, const TDataFormat& format) {
    return ParseDataFile(ReadDataBytes(path), format);
}

QString DelimiterName(QChar delimiter) {
    for (const TDelimiterName& d : kDelimiters)
        if (delimiter == d.Delimiter)
            return QString::fromUtf8(d.Name);
    return QStringLiteral("\"%1\"").arg(delimiter);
}

QString RowsLeftProblem(const TDataTable& data, qint64 from, qint64 count) {
    if (from + count - 1 <= data.RowCount())
        return QString();
    return QStringLiteral("数据只有 %1 行，第 %2 页起还剩 %3 行")
        .arg(data.RowCount())
        .arg(from)
        .arg(qMax<qint64>(0, data.RowCount() - from + 1));
}
