#pragma once

#include <QCommandLineParser>

// An option of a command-line tool: with a value unless `value` is false.
inline void AddToolOption(QCommandLineParser& args, const char* name, const char* help,
                          bool value = true) {
    const QString n = QString::fromLatin1(name), h = QString::fromUtf8(help);
    args.addOption(value ? QCommandLineOption(n, h, QStringLiteral("v"))
                         : QCommandLineOption(n, h));
}
