#include "model/Colors.h"

#include "base/Errors.h"

#include <QGuiApplication>
#include <QPalette>
#include <array>

namespace {

struct ColorIdent {
    const char* name;
    TColor value;
};

constexpr TColor sys(TColor index) { return 0xFF000000u | index; }

constexpr std::array<ColorIdent, 52> kColorTable{{
    {"clBlack", 0x000000},     {"clMaroon", 0x000080},
    {"clGreen", 0x008000},     {"clOlive", 0x008080},
    {"clNavy", 0x800000},      {"clPurple", 0x800080},
    {"clTeal", 0x808000},      {"clGray", 0x808080},
    {"clSilver", 0xC0C0C0},    {"clRed", 0x0000FF},
    {"clLime", 0x00FF00},      {"clYellow", 0x00FFFF},
    {"clBlue", 0xFF0000},      {"clFuchsia", 0xFF00FF},
    {"clAqua", 0xFFFF00},      {"clWhite", 0xFFFFFF},
    {"clMoneyGreen", 0xC0DCC0}, {"clSkyBlue", 0xF0CAA6},
    {"clCream", 0xF0FBFF},     {"clMedGray", 0xA4A0A0},
    {"clNone", 0x1FFFFFFF},    {"clDefault", 0x20000000},
    {"clScrollBar", sys(0)},   {"clBackground", sys(1)},
    {"clActiveCaption", sys(2)}, {"clInactiveCaption", sys(3)},
    {"clMenu", sys(4)},        {"clWindow", sys(5)},
    {"clWindowFrame", sys(6)}, {"clMenuText", sys(7)},
    {"clWindowText", sys(8)},  {"clCaptionText", sys(9)},
    {"clActiveBorder", sys(10)}, {"clInactiveBorder", sys(11)},
    {"clAppWorkSpace", sys(12)}, {"clHighlight", sys(13)},
    {"clHighlightText", sys(14)}, {"clBtnFace", sys(15)},
    {"clBtnShadow", sys(16)},  {"clGrayText", sys(17)},
    {"clBtnText", sys(18)},    {"clInactiveCaptionText", sys(19)},
    {"clBtnHighlight", sys(20)}, {"cl3DDkShadow", sys(21)},
    {"cl3DLight", sys(22)},    {"clInfoText", sys(23)},
    {"clInfoBk", sys(24)},     {"clHotLight", sys(26)},
    {"clGradientActiveCaption", sys(27)}, {"clGradientInactiveCaption", sys(28)},
    {"clMenuHighlight", sys(29)}, {"clMenuBar", sys(30)},
}};

// The nearest palette role for each system colour index of the desktop.
QColor systemColor(int index) {
    const QPalette pal = qGuiApp ? QGuiApplication::palette() : QPalette();
    switch (index) {
    case 1: case 12: return pal.color(QPalette::Window);
    case 2: case 13: case 27: case 29: return pal.color(QPalette::Highlight);
    case 3: case 28: return pal.color(QPalette::Inactive, QPalette::Highlight);
    case 5: case 24: return pal.color(QPalette::Base);
    case 7: case 8: case 23: return pal.color(QPalette::WindowText);
    case 9: case 14: return pal.color(QPalette::HighlightedText);
    case 17: case 19: return pal.color(QPalette::Disabled, QPalette::Text);
    case 18: return pal.color(QPalette::ButtonText);
    case 16: return pal.color(QPalette::Dark);
    case 20: return pal.color(QPalette::Light);
    case 21: return pal.color(QPalette::Shadow);
    case 22: return pal.color(QPalette::Midlight);
    case 26: return pal.color(QPalette::Link);
    case 6: return pal.color(QPalette::WindowText);
    default: return pal.color(QPalette::Button);
    }
}

} // namespace

QString ColorToString(TColor color) {
    for (const auto& c : kColorTable)
        if (c.value == color)
            return QString::fromLatin1(c.name);
    return QStringLiteral("$%1").arg(color, 8, 16, QLatin1Char('0')).toUpper();
}

bool IdentToColor(const QString& ident, TColor& color) {
    for (const auto& c : kColorTable) {
        if (ident.compare(QLatin1String(c.name), Qt::CaseInsensitive) == 0) {
            color = c.value;
            return true;
        }
    }
    return false;
}

TColor StringToColor(const QString& text) {
    TColor color = 0;
    if (IdentToColor(text, color))
        return color;
    bool ok = false;
    qint64 value = 0;
    if (text.startsWith(QLatin1Char('$')) && text.size() > 1)
        value = text.mid(1).toLongLong(&ok, 16);
    else if (!text.isEmpty() && !text.at(0).isSpace())
        value = text.toLongLong(&ok, 10);
    if (!ok || value < INT32_MIN || value > UINT32_MAX)
        throw EConvertError(QStringLiteral("'%1' is not a valid integer value").arg(text));
    return static_cast<TColor>(value);
}

QColor ColorToQColor(TColor color) {
    if ((color & 0xFF000000u) == 0xFF000000u)
        return systemColor(int(color & 0xFF));
    if (color == clNone)
        return QColor(Qt::transparent);
    if (color == clDefault)
        return QColor(Qt::black);
    return QColor(int(color & 0xFF), int((color >> 8) & 0xFF), int((color >> 16) & 0xFF));
}

TColor QColorToColor(const QColor& color) {
    const QColor c = color.toRgb();
    return TColor(c.red()) | (TColor(c.green()) << 8) | (TColor(c.blue()) << 16);
}
