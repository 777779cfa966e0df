#pragma once

#include <QColor>
#include <QString>
#include <QtGlobal>

// Stored colours are 32-bit values laid out 0x00BBGGRR (red in the low byte);
// 0xFF0000nn names the desktop's system colour nn.
using TColor = quint32;

constexpr TColor clBlack = 0x000000;
constexpr TColor clNavy = 0x800000;
constexpr TColor clWhite = 0xFFFFFF;
constexpr TColor clNone = 0x1FFFFFFF;
constexpr TColor clDefault = 0x20000000;

// Identifier of the colour table, or "$" and eight upper-case hex digits.
QString ColorToString(TColor color);
// Accepts a table identifier (any case), "$" hex text or decimal integer text.
// Throws EConvertError naming the text otherwise.
TColor StringToColor(const QString& text);
// Like StringToColor but reports failure instead of throwing.
bool IdentToColor(const QString& ident, TColor& color);

// The colour as drawn now; system colours take the desktop palette's current value.
QColor ColorToQColor(TColor color);
TColor QColorToColor(const QColor& color);
