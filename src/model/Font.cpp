#include "model/Font.h"

#include <QStringList>

QFont TFont::toQFont() const {
    QFont f(Name);
    if (Size > 0)
        f.setPointSize(Size);
    f.setBold(Style.testFlag(fsBold));
    f.setItalic(Style.testFlag(fsItalic));
    f.setUnderline(Style.testFlag(fsUnderline));
    f.setStrikeOut(Style.testFlag(fsStrikeOut));
    return f;
}

TFont TFont::fromQFont(const QFont& font, TColor color) {
    TFont f;
    f.Name = font.family();
    f.Size = font.pointSize() > 0 ? font.pointSize() : qRound(font.pointSizeF());
    f.Color = color;
    f.Style.setFlag(fsBold, font.bold());
    f.Style.setFlag(fsItalic, font.italic());
    f.Style.setFlag(fsUnderline, font.underline());
    f.Style.setFlag(fsStrikeOut, font.strikeOut());
    return f;
}

void InstallFontSubstitutions() {
    const QStringList cjk{QStringLiteral("AR PL UMing CN"), QStringLiteral("AR PL UMing TW"),
                          QStringLiteral("AR PL UKai CN")};
    for (const char* name : {"宋体", "SimSun", "新宋体", "NSimSun", "黑体", "SimHei", "楷体", "KaiTi"})
        QFont::insertSubstitutions(QString::fromUtf8(name), cjk);
}
