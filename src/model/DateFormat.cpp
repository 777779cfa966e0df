#include "model/DateFormat.h"

namespace {

// The locale's own formats carry a time-zone field that the desktop's time
// formats do not have; drop it and the blank beside it.
QString WithoutTimeZone(const QString& qtFormat) {
    QString result;
    bool quoted = false;
    for (QChar ch : qtFormat) {
        if (ch == u'\'')
            quoted = !quoted;
        if (!quoted && ch == u't')
            continue;
        result += ch;
    }
    return result.simplified();
}

// The first character that separates two fields of a locale format, e.g. the
// "/" of "yyyy/M/d" or the ":" of "HH:mm".
QChar SeparatorOf(const QString& qtFormat, QChar fallback) {
    bool seenField = false;
    bool quoted = false;
    for (QChar ch : qtFormat) {
        if (ch == u'\'') {
            quoted = !quoted;
            continue;
        }
        if (quoted)
            continue;
        if (ch.isLetter())
            seenField = true;
        else if (seenField && !ch.isSpace())
            return ch;
    }
    return fallback;
}

class TDateFormatter {
public:
    TDateFormatter(const QDateTime& dateTime, const QLocale& locale)
        : FDate(dateTime.date()), FTime(dateTime.time()), FLocale(locale) {}

    QString Run(const QString& format) {
        Append(format.isEmpty() ? QStringLiteral("c") : format);
        return FResult;
    }

private:
    void AppendNumber(int value, int digits) {
        FResult += QStringLiteral("%1").arg(value, digits, 10, QLatin1Char('0'));
    }

    static bool StartsWith(const QString& format, qsizetype at, QLatin1StringView text) {
        return QStringView(format).mid(at).startsWith(text, Qt::CaseInsensitive);
    }

    // Whether an hour at this point is read on the 12-hour clock: the next
    // 'a' outside quotes, before any further hour, starts an am/pm form.
    static bool AmPmFollows(const QString& format, qsizetype from) {
        bool quoted = false;
        for (qsizetype p = from; p < format.size(); ++p) {
            const QChar ch = format[p];
            if (ch == u'\'' || ch == u'"') {
                quoted = !quoted;
            } else if (!quoted && (ch == u'a' || ch == u'A')) {
                return StartsWith(format, p, QLatin1StringView("am/pm")) ||
                       StartsWith(format, p, QLatin1StringView("a/p")) ||
                       StartsWith(format, p, QLatin1StringView("ampm"));
            } else if (!quoted && (ch == u'h' || ch == u'H')) {
                return false;
            }
        }
        return false;
    }

    QString ShortDate() const {
        return FLocale.toString(FDate, FLocale.dateFormat(QLocale::ShortFormat));
    }
    QString LongDate() const {
        return FLocale.toString(FDate, FLocale.dateFormat(QLocale::LongFormat));
    }
    QString ShortTime() const {
        return FLocale.toString(FTime, WithoutTimeZone(FLocale.timeFormat(QLocale::ShortFormat)));
    }
    QString LongTime() const {
        return FLocale.toString(FTime, WithoutTimeZone(FLocale.timeFormat(QLocale::LongFormat)));
    }

    void Append(const QString& format) {
        QChar lastToken = u' ';
        bool use12Hour = false;
        qsizetype i = 0;
        while (i < format.size()) {
            const QChar starter = format[i];
            QChar token = starter.toUpper();
            ++i;
            // A run is one specifier whatever the case of its letters.
            auto runLength = [&] {
                int count = 1;
                while (i < format.size() && format[i].toUpper() == starter.toUpper()) {
                    ++count;
                    ++i;
                }
                return count;
            };
            const bool asciiLetter = token >= u'A' && token <= u'Z';
            if (asciiLetter) {
                if (token == u'M' && lastToken == u'H')
                    token = u'N';
                lastToken = token;
            }
            switch (token.unicode()) {
            case u'Y': {
                const int count = runLength();
                if (count <= 2)
                    AppendNumber(FDate.year() % 100, 2);
                else
                    AppendNumber(FDate.year(), 4);
                break;
            }
            case u'M': {
                const int count = runLength();
                if (count <= 2)
                    AppendNumber(FDate.month(), count);
                else
                    FResult += FLocale.monthName(FDate.month(), count == 3 ? QLocale::ShortFormat
                                                                           : QLocale::LongFormat);
                break;
            }
            case u'D': {
                const int count = runLength();
                if (count <= 2)
                    AppendNumber(FDate.day(), count);
                else if (count == 3)
                    FResult += FLocale.dayName(FDate.dayOfWeek(), QLocale::ShortFormat);
                else if (count == 4)
                    FResult += FLocale.dayName(FDate.dayOfWeek(), QLocale::LongFormat);
                else if (count == 5)
                    FResult += ShortDate();
                else
                    FResult += LongDate();
                break;
            }
            case u'H': {
                const int count = runLength();
                if (AmPmFollows(format, i))
                    use12Hour = true;
                int hour = FTime.hour();
                if (use12Hour) {
                    if (hour == 0)
                        hour = 12;
                    else if (hour > 12)
                        hour -= 12;
                }
                AppendNumber(hour, std::min(count, 2));
                break;
            }
            case u'N':
                AppendNumber(FTime.minute(), std::min(runLength(), 2));
                break;
            case u'S':
                AppendNumber(FTime.second(), std::min(runLength(), 2));
                break;
            case u'Z':
                AppendNumber(FTime.msec(), std::min(runLength(), 3));
                break;
            case u'T':
                FResult += runLength() == 1 ? ShortTime() : LongTime();
                break;
            case u'A': {
                const qsizetype at = i - 1;
                const bool pm = FTime.hour() >= 12;
                if (StartsWith(format, at, QLatin1StringView("am/pm"))) {
                    FResult += format.mid(pm ? at + 3 : at, 2);
                    i = at + 5;
                    use12Hour = true;
                } else if (StartsWith(format, at, QLatin1StringView("a/p"))) {
                    FResult += format.mid(pm ? at + 2 : at, 1);
                    i = at + 3;
                    use12Hour = true;
                } else if (StartsWith(format, at, QLatin1StringView("ampm"))) {
                    FResult += pm ? FLocale.pmText() : FLocale.amText();
                    i = at + 4;
                    use12Hour = true;
                } else {
                    FResult += starter;
                }
                break;
            }
            case u'C':
                runLength();
                FResult += ShortDate();
                // Milliseconds alone do not make a time worth printing.
                if (FTime.hour() != 0 || FTime.minute() != 0 || FTime.second() != 0)
                    FResult += u' ' + LongTime();
                break;
            case u'/':
                FResult += SeparatorOf(FLocale.dateFormat(QLocale::ShortFormat), u'/');
                break;
            case u':':
                FResult += SeparatorOf(FLocale.timeFormat(QLocale::ShortFormat), u':');
                break;
            case u'\'':
            case u'"': {
                const qsizetype end = format.indexOf(starter, i);
                const qsizetype stop = end < 0 ? format.size() : end;
                FResult += format.mid(i, stop - i);
                i = end < 0 ? format.size() : end + 1;
                break;
            }
            default:
                FResult += starter;
            }
        }
    }

    QDate FDate;
    QTime FTime;
    const QLocale& FLocale;
    QString FResult;
};

} // namespace

TClock SystemClock() {
    return [] { return QDateTime::currentDateTime(); };
}

QString FormatDateTime(const QString& format, const QDateTime& dateTime, const QLocale& locale) {
    return TDateFormatter(dateTime, locale).Run(format);
}
