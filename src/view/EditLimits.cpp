#include "view/EditLimits.h"

#include "model/bom/SettingBom.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSignalBlocker>
#include <QTextCursor>

void LimitPlainTextLength(QPlainTextEdit* edit, int maxLength) {
    QObject::connect(edit, &QPlainTextEdit::textChanged, edit, [edit, maxLength] {
        const QString text = edit->toPlainText();
        if (text.size() <= maxLength)
            return;
        QTextCursor cursor = edit->textCursor();
        const int position = std::min(cursor.position(), maxLength);
        // Cut after a whole character: never between the halves of a surrogate pair.
        int keep = maxLength;
        if (keep > 0 && text.at(keep - 1).isHighSurrogate())
            --keep;
        edit->setPlainText(text.left(keep));
        cursor = edit->textCursor();
        cursor.setPosition(std::min(position, keep));
        edit->setTextCursor(cursor);
    });
}

void LimitToColumn(QLineEdit* edit, const TClassInfo& cls, const QString& property) {
    if (const int length = ColumnLength(cls, property); length > 0)
        edit->setMaxLength(length);
}

void LimitToColumn(QPlainTextEdit* edit, const TClassInfo& cls, const QString& property) {
    if (const int length = ColumnLength(cls, property); length > 0)
        LimitPlainTextLength(edit, length);
}
