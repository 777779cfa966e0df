#pragma once

#include <QString>

class QLineEdit;
class QPlainTextEdit;
struct TClassInfo;

// Keeps a multi-line field within maxLength characters, as QLineEdit's own
// limit does for a single line: typed or pasted text beyond it is cut off.
void LimitPlainTextLength(QPlainTextEdit* edit, int maxLength);

// Limits a field to the characters of the column behind the property, so the
// database never has to refuse what the user typed.
void LimitToColumn(QLineEdit* edit, const TClassInfo& cls, const QString& property);
void LimitToColumn(QPlainTextEdit* edit, const TClassInfo& cls, const QString& property);
