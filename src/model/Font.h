#pragma once

#include "model/Colors.h"

#include <QFlags>
#include <QFont>
#include <QString>

enum TFontStyle { fsBold = 0x1, fsItalic = 0x2, fsUnderline = 0x4, fsStrikeOut = 0x8 };
Q_DECLARE_FLAGS(TFontStyles, TFontStyle)
Q_DECLARE_OPERATORS_FOR_FLAGS(TFontStyles)

// A text font as the program stores it: typeface, size in points, colour and styles.
struct TFont {
    QString Name;
    int Size = 0;
    TColor Color = clBlack;
    TFontStyles Style;

    QFont toQFont() const;
    QColor qcolor() const { return ColorToQColor(Color); }
    static TFont fromQFont(const QFont& font, TColor color);
    bool operator==(const TFont&) const = default;
};

// Maps the Windows Song faces the stored projects name to the CJK face installed
// here; fontconfig has no such alias.
void InstallFontSubstitutions();
