#pragma once

#include <QDateTime>
#include <QLocale>
#include <QString>
#include <functional>

// Where composition reads "now" from; tests hand in a fixed time.
using TClock = std::function<QDateTime()>;
TClock SystemClock();

// Formats a date and time with the date item's format language:
//   c                 short date, then " " and the long time unless it is midnight
//   d dd / ddd dddd   day of month / short, long day name
//   ddddd dddddd      short / long date format of the locale
//   m mm / mmm mmmm   month / short, long month name (m right after an hour: minutes)
//   yy yyyy           two / four digit year (1-2 letters give two digits)
//   h hh  n nn  s ss  hour (12-hour when an am/pm form follows), minute, second
//   z zz zzz          milliseconds padded to 1 / 2 / 3 digits
//   t tt              short / long time format of the locale
//   am/pm a/p ampm    morning or afternoon marker; the first two keep the case written
//   / :               the locale's date and time separators
//   '...' "..."       literal text
// Letters match in any case and a run of one letter is one specifier; anything
// else is copied. An empty format means "c".
QString FormatDateTime(const QString& format, const QDateTime& dateTime,
                       const QLocale& locale = QLocale::system());
