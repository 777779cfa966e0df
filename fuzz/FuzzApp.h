#pragma once

#include <QGuiApplication>

// Fonts and text measuring need a GUI application; offscreen, so no display is needed.
inline void EnsureGuiApplication() {
    if (QGuiApplication::instance())
        return;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "kova-fuzz";
    static char* argv[] = {name, nullptr};
    new QGuiApplication(argc, argv);
}
