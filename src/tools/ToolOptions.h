#pragma once

#include <QCommandLineParser>

// An option of a command-line tool: with a value unless `value` is false.
inline void AddToolOption(QCommandLineParser& args, const char* name, const char* help,
                          bool value = true) {
    const QString n = QString::fromLatin1(name), h = QString::fromUtf8(help);
    args.addOption(value ? QCommandLineOption(n, h, QStringLiteral("v"))
                         : QCommandLineOption(n, h));
}

// An option's whole number into value, which stays as it is when the option is
// not given; false when the option's value is not a whole number.
inline bool ToInt(const QCommandLineParser& args, const QString& name, int& value) {
    if (!args.isSet(name))
        return true;
    bool ok = false;
    value = args.value(name).toInt(&ok);
    return ok;
}
