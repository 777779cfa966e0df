#include "view/FormChanges.h"

#include <QCloseEvent>
#include <QKeyEvent>

#include <QAbstractButton>
#include <QComboBox>
#include <QCoreApplication>
#include <QDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>

QVariantList FormValues(const QWidget* form) {
    QVariantList values;
    for (const QWidget* w : form->findChildren<QWidget*>()) {
        if (w->window() != form)
            continue;
        // A spin box's value is the text of the line edit inside it.
        if (const auto* edit = qobject_cast<const QLineEdit*>(w))
            values << edit->text();
        else if (const auto* text = qobject_cast<const QPlainTextEdit*>(w))
            values << text->toPlainText();
        else if (const auto* list = qobject_cast<const QComboBox*>(w))
            values << list->currentIndex();
        else if (const auto* button = qobject_cast<const QAbstractButton*>(w);
                 button && button->isCheckable())
            values << button->isChecked();
    }
    return values;
}

bool ConfirmClose(QDialog* dialog, bool changed, const std::function<void()>& save) {
    if (!changed || !dialog->isVisible())
        return true;
    QMessageBox box(QMessageBox::Question, QCoreApplication::applicationName(),
                    QStringLiteral("是否保存修改？"),
                    QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, dialog);
    // Chinese captions whether Qt's own translations are installed or not.
    box.button(QMessageBox::Yes)->setText(QStringLiteral("是"));
    box.button(QMessageBox::No)->setText(QStringLiteral("否"));
    box.button(QMessageBox::Cancel)->setText(QStringLiteral("取消"));
    box.setDefaultButton(QMessageBox::Yes);
    box.setEscapeButton(QMessageBox::Cancel);
    switch (box.exec()) {
    case QMessageBox::Yes:
        save();
        return !dialog->isVisible();
    case QMessageBox::No:
        return true;
    default:
        return false;
    }
}

void TEditorDialog::closeEvent(QCloseEvent* event) {
    if (!ConfirmClose(this, changed(), [this] { saveEdits(); })) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void TEditorDialog::keyPressEvent(QKeyEvent* event) {
    if (event->matches(QKeySequence::Cancel)) {
        close();
        return;
    }
    QDialog::keyPressEvent(event);
}
