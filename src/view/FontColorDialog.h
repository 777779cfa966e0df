#pragma once

#include "model/Font.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QDialogButtonBox;
class QLabel;

// Chooses a font together with its colour, as the stored fonts carry both.
// Qt's own font dialog offers only the styles a face ships, so the Song faces
// used for Chinese text could never be bold there; here the four styles are
// plain switches that the font engine synthesises when the face lacks them.
class TFontColorDialog : public QDialog {
    Q_OBJECT

public:
    explicit TFontColorDialog(QWidget* parent = nullptr);

    void SetCurrentFont(const TFont& font);
    // The font as shown; the typeface is the name as given, never the face it
    // resolves to here, so stored names such as 宋体 survive a confirmation.
    TFont CurrentFont() const;
    // Shows the dialog modally; true when the user confirmed.
    bool Execute();

    // The sixteen basic colours offered first, in the order of the table.
    static const QList<TColor>& BasicColors();

private:
    void addColor(TColor color, const QString& caption);
    void selectColor(TColor color);
    void chooseOtherColor();
    void updateSample();

    QComboBox* cbbFontName;
    QComboBox* cbbFontSize;
    QCheckBox* chkBold;
    QCheckBox* chkItalic;
    QCheckBox* chkUnderline;
    QCheckBox* chkStrikeOut;
    QComboBox* cbbFontColor;
    QLabel* lblFontSample;
    QDialogButtonBox* buttons;
};
