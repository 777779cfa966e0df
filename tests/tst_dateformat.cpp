#include "model/DateFormat.h"

#include <QtTest>

// Expected texts follow the Qt locale data of zh_CN, en_US and de_DE (CLDR):
// e.g. zh_CN short date "yyyy/M/d", long date "yyyy年M月d日dddd", time "HH:mm:ss";
// en_US short date "M/d/yy", time "h:mm:ss AP".
class TestDateFormat : public QObject {
    Q_OBJECT

private:
    static QDateTime At(int h, int n, int s, int z, QDate date = QDate(2024, 3, 5)) {
        return QDateTime(date, QTime(h, n, s, z));
    }

private slots:
    void format_data() {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QDateTime>("now");
        QTest::addColumn<QString>("format");
        QTest::addColumn<QString>("expected");

        // 2024-03-05 is a Tuesday.
        const QDateTime afternoon = At(15, 4, 5, 7);
        const QDateTime morning = At(9, 7, 8, 123);
        const QDateTime midnight = At(0, 0, 0, 0);
        const QDateTime noon = At(12, 0, 0, 0);
        const QDateTime lateEvening = At(23, 59, 0, 0);

        struct Row {
            const char* name;
            const char* locale;
            QDateTime now;
            const char* format;
            const char* expected;
        };
        const Row rows[] = {
            {"zh c with time", "zh_CN", afternoon, "c", "2024/3/5 15:04:05"},
            {"zh c at midnight has no time", "zh_CN", midnight, "c", "2024/3/5"},
            {"zh c ignores milliseconds after midnight", "zh_CN", At(0, 0, 0, 500), "c",
             "2024/3/5"},
            {"zh c one second after midnight", "zh_CN", At(0, 0, 1, 0), "c", "2024/3/5 00:00:01"},
            {"zh empty format means c", "zh_CN", afternoon, "", "2024/3/5 15:04:05"},
            {"zh d", "zh_CN", afternoon, "d", "5"},
            {"zh dd", "zh_CN", afternoon, "dd", "05"},
            {"zh d two digits", "zh_CN", At(1, 0, 0, 0, QDate(2024, 12, 25)), "d", "25"},
            {"zh ddd short day name", "zh_CN", afternoon, "ddd", "周二"},
            {"zh dddd long day name", "zh_CN", afternoon, "dddd", "星期二"},
            {"zh ddddd short date", "zh_CN", afternoon, "ddddd", "2024/3/5"},
            {"zh dddddd long date", "zh_CN", afternoon, "dddddd", "2024年3月5日星期二"},
            {"zh longer d run is long date", "zh_CN", afternoon, "dddddddd", "2024年3月5日星期二"},
            {"zh m month", "zh_CN", afternoon, "m", "3"},
            {"zh mm month", "zh_CN", afternoon, "mm", "03"},
            {"zh mmm short month name", "zh_CN", afternoon, "mmm", "3月"},
            {"zh mmmm long month name", "zh_CN", afternoon, "mmmm", "三月"},
            {"zh mmmmm long month name", "zh_CN", afternoon, "mmmmm", "三月"},
            {"zh y two digits", "zh_CN", afternoon, "y", "24"},
            {"zh yy two digits", "zh_CN", afternoon, "yy", "24"},
            {"zh yy keeps the leading zero", "zh_CN", At(1, 0, 0, 0, QDate(2005, 1, 1)), "yy",
             "05"},
            {"zh yyy four digits", "zh_CN", afternoon, "yyy", "2024"},
            {"zh yyyy four digits", "zh_CN", afternoon, "yyyy", "2024"},
            {"zh h", "zh_CN", morning, "h", "9"},
            {"zh hh", "zh_CN", morning, "hh", "09"},
            {"zh hhh counts as hh", "zh_CN", morning, "hhh", "09"},
            {"zh h is 24-hour without am/pm", "zh_CN", lateEvening, "h", "23"},
            {"zh n", "zh_CN", morning, "n", "7"},
            {"zh nn", "zh_CN", morning, "nn", "07"},
            {"zh nnn counts as nn", "zh_CN", morning, "nnn", "07"},
            {"zh s", "zh_CN", morning, "s", "8"},
            {"zh ss", "zh_CN", morning, "ss", "08"},
            {"zh z pads to one", "zh_CN", afternoon, "z", "7"},
            {"zh zz pads to two", "zh_CN", afternoon, "zz", "07"},
            {"zh zzz pads to three", "zh_CN", afternoon, "zzz", "007"},
            {"zh zzzz counts as zzz", "zh_CN", afternoon, "zzzz", "007"},
            {"zh z never cuts", "zh_CN", morning, "z", "123"},
            {"zh zz of zero", "zh_CN", midnight, "zz", "00"},
            {"zh t short time", "zh_CN", afternoon, "t", "15:04"},
            {"zh tt long time", "zh_CN", afternoon, "tt", "15:04:05"},
            {"zh ampm afternoon", "zh_CN", afternoon, "ampm", "下午"},
            {"zh ampm morning", "zh_CN", morning, "ampm", "上午"},
            {"zh h before ampm is 12-hour", "zh_CN", afternoon, "h ampm", "3 下午"},
            {"zh date separator", "zh_CN", afternoon, "yyyy/mm/dd", "2024/03/05"},
            {"zh time separator", "zh_CN", afternoon, "hh:nn:ss", "15:04:05"},
            {"zh m after h is minutes", "zh_CN", afternoon, "h:m", "15:4"},
            {"zh mm after hh is minutes", "zh_CN", afternoon, "hh:mm", "15:04"},
            {"zh mm after hh and text is minutes", "zh_CN", afternoon, "hh'点'mm", "15点04"},
            {"zh mm after a minute is month", "zh_CN", afternoon, "hh nn mm", "15 04 03"},
            {"zh mm after d is month", "zh_CN", afternoon, "d mm", "5 03"},
            {"zh editor pattern", "zh_CN", afternoon, "yyyy-m-d h:n:s:zz", "2024-3-5 15:4:5:07"},
            {"zh single-quoted text", "zh_CN", afternoon, "'date: 'yyyy", "date: 2024"},
            {"zh double-quoted text", "zh_CN", afternoon, "\"hh\"hh", "hh15"},
            {"zh quote of the other kind inside", "zh_CN", afternoon, "\"it's\"", "it's"},
            {"zh unterminated quote", "zh_CN", afternoon, "yy'mm", "24mm"},
            {"zh other characters copied", "zh_CN", afternoon, "yyyy年m月d日 #1",
             "2024年3月5日 #1"},
            {"zh upper-case letters", "zh_CN", afternoon, "YYYY-MM-DD HH:NN:SS.ZZZ",
             "2024-03-05 15:04:05.007"},
            {"zh mixed-case run is one specifier", "zh_CN", afternoon, "yYyY", "2024"},
            {"zh c in upper case", "zh_CN", midnight, "C", "2024/3/5"},
            {"en c with time", "en_US", afternoon, "c", "3/5/24 3:04:05 PM"},
            {"en c at midnight", "en_US", midnight, "c", "3/5/24"},
            {"en ddd", "en_US", afternoon, "ddd", "Tue"},
            {"en dddd", "en_US", afternoon, "dddd", "Tuesday"},
            {"en ddddd", "en_US", afternoon, "ddddd", "3/5/24"},
            {"en dddddd", "en_US", afternoon, "dddddd", "Tuesday, March 5, 2024"},
            {"en mmm", "en_US", afternoon, "mmm", "Mar"},
            {"en mmmm", "en_US", afternoon, "mmmm", "March"},
            {"en t", "en_US", afternoon, "t", "3:04 PM"},
            {"en tt", "en_US", afternoon, "tt", "3:04:05 PM"},
            {"en tt in the morning", "en_US", morning, "tt", "9:07:08 AM"},
            {"en am/pm at noon", "en_US", noon, "h:nn am/pm", "12:00 pm"},
            {"en am/pm at 23:59", "en_US", lateEvening, "hh:nn am/pm", "11:59 pm"},
            {"en am/pm at midnight", "en_US", midnight, "h:nn am/pm", "12:00 am"},
            {"en am/pm in the morning", "en_US", morning, "h am/pm", "9 am"},
            {"en AM/PM keeps upper case", "en_US", lateEvening, "h AM/PM", "11 PM"},
            {"en Am/Pm keeps the case written", "en_US", noon, "h Am/Pm", "12 Pm"},
            {"en a/p at noon", "en_US", noon, "h a/p", "12 p"},
            {"en A/P at 23:59", "en_US", lateEvening, "h:nn A/P", "11:59 P"},
            {"en a/p at midnight", "en_US", midnight, "h a/p", "12 a"},
            {"en ampm uses the locale's marker", "en_US", lateEvening, "h ampm", "11 PM"},
            {"en AMPM in upper case", "en_US", noon, "hh AMPM", "12 PM"},
            {"en quoted am/pm is no marker", "en_US", lateEvening, "hh 'am/pm'", "23 am/pm"},
            {"en next hour decides for itself", "en_US", lateEvening, "hh hh am/pm", "23 11 pm"},
            {"en lone a copied", "en_US", afternoon, "a", "a"},
            {"en time separator", "en_US", afternoon, "h:nn", "15:04"},
            {"de date separator is the locale's", "de_DE", afternoon, "d/m/yyyy", "5.3.2024"},
        };
        for (const Row& r : rows)
            QTest::newRow(r.name) << QString::fromLatin1(r.locale) << r.now
                                  << QString::fromUtf8(r.format) << QString::fromUtf8(r.expected);
    }

    void format() {
        QFETCH(QString, locale);
        QFETCH(QDateTime, now);
        QFETCH(QString, format);
        QFETCH(QString, expected);
        QCOMPARE(FormatDateTime(format, now, QLocale(locale)), expected);
    }

    // The default locale argument is the system's; the same format must then
    // agree with an explicit system locale.
    void defaultsToSystemLocale() {
        const QDateTime now = At(15, 4, 5, 7);
        QCOMPARE(FormatDateTime("dddddd tt", now),
                 FormatDateTime("dddddd tt", now, QLocale::system()));
    }
};

QTEST_GUILESS_MAIN(TestDateFormat)
#include "tst_dateformat.moc"
