#include "Zpl.h"

#include <QFile>
#include <QHash>
#include <QSet>

#include <algorithm>

namespace {

struct Graphic {
    int bytesPerRow = 0;
    int rows = 0;
    QByteArray bits; // rows of bytesPerRow, the first dot in a byte's high bit
};

struct Field {
    int x = 0, y = 0;
    Graphic graphic;
    int magnifyX = 1, magnifyY = 1;
};

int HexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// A graphic's rows from ZPL's ASCII hex, compressed or not: G..Y repeat the next
// digit 1..19 times and g..z 20..400 times (letters add up), ',' ends a row with
// light dots, '!' with dark ones, ':' repeats the row above. Digits run on from
// one row into the next. Wrong when the rows do not come out whole and as many
// as said.
bool DecodeHexRows(QByteArrayView data, Graphic& g, QString* error) {
    const int nibblesPerRow = 2 * g.bytesPerRow;
    QByteArray row(nibblesPerRow, '\0');
    QByteArray previous(g.bytesPerRow, '\0');
    int at = 0, count = 0, rows = 0;
    const auto fail = [&](const QString& why) {
        *error = QStringLiteral("graphic row %1: %2").arg(rows).arg(why);
        return false;
    };
    const auto finishRow = [&](int fill) {
        for (; at < nibblesPerRow; ++at)
            row[at] = char(fill);
        QByteArray bytes(g.bytesPerRow, '\0');
        for (int i = 0; i < g.bytesPerRow; ++i)
            bytes[i] = char((row[2 * i] << 4) | row[2 * i + 1]);
        g.bits += bytes;
        previous = bytes;
        at = 0;
        ++rows;
    };
    for (const char c : data) {
        if (c == ' ' || c == '\r' || c == '\n' || c == '\t')
            continue;
        if (c >= 'G' && c <= 'Y') {
            count += c - 'F';
            continue;
        }
        if (c >= 'g' && c <= 'z') {
            count += 20 * (c - 'f');
            continue;
        }
        if (rows >= g.rows)
            return fail(QStringLiteral("more data than the %1 rows said").arg(g.rows));
        if (const int v = HexValue(c); v >= 0) {
            for (int n = std::max(count, 1); n > 0; --n) {
                row[at++] = char(v);
                if (at == nibblesPerRow) {
                    finishRow(0);
                    if (n > 1 && rows >= g.rows)
                        return fail(QStringLiteral("a repeat runs past the last row"));
                }
            }
            count = 0;
            continue;
        }
        if (count)
            return fail(QStringLiteral("a repeat count before '%1'").arg(QLatin1Char(c)));
        if (c == ',')
            finishRow(0);
        else if (c == '!')
            finishRow(0xF);
        else if (c == ':') {
            if (at != 0)
                return fail(QStringLiteral("':' inside a row"));
            g.bits += previous;
            ++rows;
        } else
            return fail(QStringLiteral("'%1' is not graphic data").arg(QLatin1Char(c)));
    }
    if (count || at != 0)
        return fail(QStringLiteral("the data ends inside a row"));
    if (rows != g.rows)
        return fail(QStringLiteral("%1 rows said, %2 sent").arg(g.rows).arg(rows));
    return true;
}

// "R:CUPS.GRF", "CUPS.GRF" and "CUPS" name the same stored graphic.
QString GraphicName(const QString& given) {
    QString name = given.trimmed().toUpper();
    if (!name.contains(u':'))
        name.prepend(QStringLiteral("R:"));
    if (!name.contains(u'.'))
        name += QStringLiteral(".GRF");
    return name;
}

// Graphic data from its byte counts and hex: a download's or a graphic field's.
bool ReadGraphic(int total, int bytesPerRow, QByteArrayView data, Graphic& g, QString* error) {
    if (bytesPerRow <= 0 || total <= 0 || total % bytesPerRow != 0) {
        *error = QStringLiteral("%1 bytes in rows of %2").arg(total).arg(bytesPerRow);
        return false;
    }
    g.bytesPerRow = bytesPerRow;
    g.rows = total / bytesPerRow;
    return DecodeHexRows(data, g, error);
}

// The first n comma-separated parameters, the rest (graphic data, which has
// commas of its own) whole as the last one.
QList<QByteArray> SplitParams(const QByteArray& params, int n) {
    QList<QByteArray> parts;
    qsizetype from = 0;
    while (parts.size() < n) {
        const qsizetype comma = params.indexOf(',', from);
        if (comma < 0)
            break;
        parts << params.mid(from, comma - from).trimmed();
        from = comma + 1;
    }
    parts << params.mid(from);
    return parts;
}

int Number(const QList<QByteArray>& parts, int i, int fallback) {
    bool ok = false;
    const int v = parts.value(i).trimmed().toInt(&ok);
    return ok ? v : fallback;
}

// Commands that draw what is not decoded here; a label using one would come out
// wrong rather than fail, so it fails.
bool DrawsUndecoded(const QByteArray& command) {
    static const QSet<QByteArray> undecoded = {"^FD", "^FV", "^SN", "^GB", "^GC", "^GD",
                                               "^GE", "^GS", "^IM", "^IL", "^FT", "^FR",
                                               "^CC", "~CC", "^CT", "~CT", "^CD", "~CD"};
    return undecoded.contains(command) || command.startsWith("^A") || command.startsWith("^B");
}

void Paint(QImage& label, const Field& f) {
    const Graphic& g = f.graphic;
    const int width = 8 * g.bytesPerRow;
    for (int gy = 0; gy < g.rows; ++gy) {
        const uchar* src = reinterpret_cast<const uchar*>(g.bits.constData()) + gy * g.bytesPerRow;
        for (int gx = 0; gx < width; ++gx) {
            if (!(src[gx >> 3] & (0x80 >> (gx & 7))))
                continue;
            for (int my = 0; my < f.magnifyY; ++my) {
                const int y = f.y + gy * f.magnifyY + my;
                if (y < 0 || y >= label.height())
                    continue;
                uchar* line = label.scanLine(y);
                for (int mx = 0; mx < f.magnifyX; ++mx) {
                    const int x = f.x + gx * f.magnifyX + mx;
                    if (x >= 0 && x < label.width())
                        line[x >> 3] |= uchar(0x80 >> (x & 7));
                }
            }
        }
    }
}

} // namespace

QList<ZplLabel> DecodeZpl(const QByteArray& zpl, QString* error) {
    QString why;
    QList<ZplLabel> labels;
    QHash<QString, Graphic> stored;
    // What the printer keeps from format to format.
    int printWidth = 0, labelLength = 0, homeX = 0, homeY = 0;
    bool inverted = false;
    // The format being read.
    bool inFormat = false;
    QList<Field> fields;
    int originX = 0, originY = 0, copies = 1;

    const auto failed = [&](const QString& reason) {
        if (error)
            *error = reason;
        return QList<ZplLabel>();
    };

    qsizetype i = 0;
    const qsizetype n = zpl.size();
    while (i < n) {
        const char c = zpl.at(i);
        if (c != '^' && c != '~') {
            if (!QByteArrayView(" \r\n\t").contains(c))
                return failed(QStringLiteral("stray '%1' at byte %2").arg(QLatin1Char(c)).arg(i));
            ++i;
            continue;
        }
        if (i + 2 >= n)
            return failed(QStringLiteral("a command cut short at byte %1").arg(i));
        const QByteArray command = QByteArray(1, c) + zpl.mid(i + 1, 2).toUpper();
        qsizetype end = i + 3;
        while (end < n && zpl.at(end) != '^' && zpl.at(end) != '~')
            ++end;
        const QByteArray params = zpl.mid(i + 3, end - i - 3);
        const QString where =
            QStringLiteral("%1 at byte %2").arg(QString::fromLatin1(command)).arg(i);
        i = end;

        if (DrawsUndecoded(command))
            return failed(where + QStringLiteral(" draws what is not decoded here"));
        if (command == "^XA") {
            if (inFormat)
                return failed(where + QStringLiteral(" inside a format"));
            inFormat = true;
            fields.clear();
            originX = originY = 0;
            copies = 1;
        } else if (command == "^XZ") {
            if (!inFormat)
                return failed(where + QStringLiteral(" without ^XA"));
            inFormat = false;
            if (fields.isEmpty())
                continue;
            int right = 0, bottom = 0;
            for (const Field& f : fields) {
                right = std::max(right, f.x + 8 * f.graphic.bytesPerRow * f.magnifyX);
                bottom = std::max(bottom, f.y + f.graphic.rows * f.magnifyY);
            }
            QImage dots(printWidth > 0 ? printWidth : right, labelLength > 0 ? labelLength : bottom,
                        QImage::Format_Mono);
            dots.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
            dots.fill(0);
            for (const Field& f : fields)
                Paint(dots, f);
            for (int k = 0; k < copies; ++k)
                labels << ZplLabel{dots, inverted};
        } else if (command == "~DG") {
            const QList<QByteArray> p = SplitParams(params, 3);
            if (p.size() < 4)
                return failed(where + QStringLiteral(" without its data"));
            Graphic g;
            if (!ReadGraphic(Number(p, 1, 0), Number(p, 2, 0), p.at(3), g, &why))
                return failed(where + QStringLiteral(": ") + why);
            stored.insert(GraphicName(QString::fromLatin1(p.at(0))), g);
        } else if (command == "^GF") {
            const QList<QByteArray> p = SplitParams(params, 4);
            if (p.size() < 5 || p.at(0).trimmed().toUpper() != "A")
                return failed(where +
                              QStringLiteral(": only ASCII hex graphic fields are decoded"));
            if (p.at(4).trimmed().startsWith(':'))
                return failed(where + QStringLiteral(": base 64 data is not decoded"));
            Field f{originX, originY, {}, 1, 1};
            if (!ReadGraphic(Number(p, 2, 0), Number(p, 3, 0), p.at(4), f.graphic, &why))
                return failed(where + QStringLiteral(": ") + why);
            if (!inFormat)
                return failed(where + QStringLiteral(" outside a format"));
            fields << f;
        } else if (command == "^XG") {
            const QList<QByteArray> p = SplitParams(params, 2);
            const QString name = GraphicName(QString::fromLatin1(p.at(0)));
            if (!stored.contains(name))
                return failed(where + QStringLiteral(": no graphic %1").arg(name));
            if (!inFormat)
                return failed(where + QStringLiteral(" outside a format"));
            fields << Field{originX, originY, stored.value(name),
                            std::clamp(Number(p, 1, 1), 1, 10), std::clamp(Number(p, 2, 1), 1, 10)};
        } else if (command == "^ID") {
            stored.remove(GraphicName(QString::fromLatin1(params)));
        } else if (command == "^FO") {
            const QList<QByteArray> p = SplitParams(params, 2);
            originX = homeX + Number(p, 0, 0);
            originY = homeY + Number(p, 1, 0);
        } else if (command == "^FS") {
            originX = homeX;
            originY = homeY;
        } else if (command == "^LH") {
            const QList<QByteArray> p = SplitParams(params, 2);
            homeX = Number(p, 0, 0);
            homeY = Number(p, 1, 0);
        } else if (command == "^PW") {
            printWidth = Number(SplitParams(params, 1), 0, printWidth);
        } else if (command == "^LL") {
            labelLength = Number(SplitParams(params, 1), 0, labelLength);
        } else if (command == "^PO") {
            inverted = params.trimmed().toUpper() == "I";
        } else if (command == "^PQ") {
            copies = std::max(1, Number(SplitParams(params, 1), 0, 1));
        }
        // Everything else sets the printer up (darkness, speed, media tracking)
        // and changes no dot.
    }
    if (inFormat)
        return failed(QStringLiteral("the last format has no ^XZ"));
    return labels;
}

QList<ZplLabel> DecodeZplFile(const QString& path, QString* error) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = path + QStringLiteral(": ") + file.errorString();
        return {};
    }
    return DecodeZpl(file.readAll(), error);
}

bool Dark(const QImage& dots, int x, int y) {
    return dots.valid(x, y) && dots.pixelIndex(x, y) == 1;
}

QRect DotBox(const QImage& dots, const QRect& within) {
    const QRect area = within.isNull() ? dots.rect() : within & dots.rect();
    QRect box;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        int first = -1, last = -1;
        for (int x = area.left(); x <= area.right(); ++x)
            if (Dark(dots, x, y)) {
                if (first < 0)
                    first = x;
                last = x;
            }
        if (first >= 0)
            box |= QRect(first, y, last - first + 1, 1);
    }
    return box;
}

QList<int> DotRuns(const QImage& dots, int row, int* start) {
    QList<int> runs;
    int first = -1, lastDark = -1;
    for (int x = 0; x < dots.width(); ++x)
        if (Dark(dots, x, row)) {
            if (first < 0)
                first = x;
            lastDark = x;
        }
    if (start)
        *start = first;
    if (first < 0)
        return runs;
    bool dark = true;
    int length = 0;
    for (int x = first; x <= lastDark; ++x) {
        if (Dark(dots, x, row) != dark) {
            runs << length;
            dark = !dark;
            length = 0;
        }
        ++length;
    }
    runs << length;
    return runs;
}
