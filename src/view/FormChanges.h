#pragma once

#include <QDialog>
#include <QVariantList>
#include <functional>

class QCloseEvent;
class QKeyEvent;
class QWidget;

// What the user can change in a dialog's own controls (not in the dialogs it
// owns), in creation order. The lists taken after loading and at closing are
// equal when the user left the form as it was loaded.
QVariantList FormValues(const QWidget* form);

// Leaving a dialog with unsaved edits by Esc or its close box asks "是否保存修改？":
// 是 runs save, which closes the dialog unless a check refuses; 否 lets the close
// go on; 取消 keeps the dialog open. True when the close may go on.
bool ConfirmClose(QDialog* dialog, bool changed, const std::function<void()>& save);

// An editor whose Esc and close box ask before unsaved edits are dropped.
class TEditorDialog : public QDialog {
public:
    using QDialog::QDialog;

protected:
    // Whether the form holds edits that are not saved.
    virtual bool changed() const = 0;
    // The editor's save, which closes it unless a check refuses.
    virtual void saveEdits() = 0;
    void closeEvent(QCloseEvent* event) override;
    // Esc goes through close(), so it asks as the close box does.
    void keyPressEvent(QKeyEvent* event) override;
};
