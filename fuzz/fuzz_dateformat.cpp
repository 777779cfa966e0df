// Date formatting with any pattern, date and time and locale.
//
// Input: locale (byte), time kind (even: any int64 of milliseconds since 1970;
// odd: a millisecond of the years 1 to 9999 from a uint64), then the pattern as UTF-8.
#include "FuzzInput.h"

#include "model/DateFormat.h"

#include <QTimeZone>

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const QLocale locales[] = {
        QLocale::c(),
        QLocale(QLocale::Chinese, QLocale::China),
        QLocale(QLocale::English, QLocale::UnitedStates),
        QLocale(QLocale::German, QLocale::Germany),
        QLocale(QLocale::Japanese, QLocale::Japan),
        QLocale(QLocale::Arabic, QLocale::Egypt),
        QLocale(QLocale::Persian, QLocale::Iran),
        QLocale::system(),
    };
    TFuzzInput in(data, size);
    const QLocale& locale = locales[in.Byte() % std::size(locales)];
    qint64 ms;
    if (in.Byte() % 2 == 0) {
        ms = qint64(in.U64());
    } else {
        // 0001-01-01 to 9999-12-31 in milliseconds since 1970.
        constexpr qint64 first = -62135596800000, last = 253402300799999;
        ms = first + qint64(in.U64() % uint64_t(last - first + 1));
    }
    const QDateTime when = QDateTime::fromMSecsSinceEpoch(ms, QTimeZone::utc());
    const QString format = in.RestText(false);
    const QString text = FormatDateTime(format, when, locale);
    // No specifier writes more than a long date and a long time.
    FUZZ_CHECK(text.size() <= 200 + 100 * format.size(), "the text stays near the pattern's size");
    return 0;
}
