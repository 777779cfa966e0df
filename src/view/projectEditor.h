#pragma once

#include "model/Font.h"
#include "model/manager/FileMgrImpl.h"

#include "view/FormChanges.h"

#include <QDialog>
#include <QStringList>
#include <QVariantList>
#include <functional>
#include <optional>

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTableWidget;
class QTabWidget;
class TFontColorDialog;
class TProject;

// The modal editor of a project's page: name, printer, page size, orientation,
// offsets, default font and notes. It writes into the project it is given only
// when the user saves; persisting the project is the caller's business.
class TprojectEditorView : public TEditorDialog {
    Q_OBJECT

public:
    // Where the names of the installed printers come from.
    using TPrinterSource = std::function<QStringList()>;
    // Persists the project once the form is written into it; throws when the
    // database refuses, and the editor then stays open with the user's input.
    using TSaveHandler = std::function<void(TProject* project)>;

    explicit TprojectEditorView(QWidget* parent = nullptr);
    ~TprojectEditorView() override;

    // Replaces the printer manager as the source of the printer list; takes
    // effect at the next Setdata.
    void SetPrinterSource(TPrinterSource source);
    void SetSaveHandler(TSaveHandler handler);
    // The printer manager's list of installed printers.
    static QStringList InstalledPrinters();

    // Fills the form from the project, which must outlive the dialog's use. The
    // project font is read through the print model, which must be loaded.
    void Setdata(TProject* project);
    TProject* GetData() const { return currProject; }
    // True once a save has written the form into the project.
    bool doSave() const { return FdoSave; }

    void RenderView();
    // Takes a CSV/TSV file as the project's data, kept until the project is
    // saved; false (and a message) when it cannot be taken.
    bool LoadDataFile(const QString& path);

protected:
    bool changed() const override;
    void saveEdits() override { btnSaveClick(); }

private:
    void createControls();
    void SetBtnSave();
    void PrnDefaultClick();
    void btnFontClick();
    void btnSaveClick();
    void btnCancelClick();
    void storeData();
    QWidget* createDataTab();
    void btnDataFileClick();
    void btnDataRemoveClick();
    // The data parsed again as the delimiter and header choice say.
    void dataFormatChange();
    // Shows FData: encoding, delimiter, the first rows, the columns.
    void showData();

    TProject* currProject = nullptr;
    bool FdoSave = false;
    TPrinterSource FPrinterSource;
    TSaveHandler FSaveHandler;
    TFont FFont;
    // The spin boxes' values right after loading: a field the user left alone
    // writes back the stored number, not the one rounded for display.
    double FLoadedWidth = 0, FLoadedHeight = 0, FLoadedOffsetX = 0, FLoadedOffsetY = 0;
    // The form as loaded: what closing compares against.
    QVariantList FLoadedValues;
    TFont FLoadedFont;

    QLineEdit* edtProjectName;
    QGroupBox* grpDevice;
    QCheckBox* PrnDefault;
    QComboBox* prnSelect;
    QGroupBox* grpPage;
    QDoubleSpinBox* PrnPageWidth;
    QDoubleSpinBox* PrnPageHeight;
    QGroupBox* grppaper;
    QButtonGroup* paperButtons;
    QGroupBox* grpOffset;
    QDoubleSpinBox* PrnOffsetX;
    QDoubleSpinBox* PrnOffsetY;
    QGroupBox* grpFont;
    QLabel* lblSample;
    QLabel* lblPrintArea;
    QPushButton* btnFont;
    TFontColorDialog* dlgFont;
    QGroupBox* grpNotes;
    QPlainTextEdit* memoNotes;
    QPushButton* btnSave;
    QPushButton* btnCancel;

    // The data file as the form holds it; stored only when the project is saved.
    std::optional<TProjectData> FData;
    bool FDataChanged = false;
    QTabWidget* tabs;
    QLabel* lblDataFile;
    QLabel* lblDataEncoding;
    QComboBox* cbbDelimiter;
    QCheckBox* chkHeaderRow;
    QLabel* lblDataRows;
    QLabel* lblDataColumns;
    QLabel* lblDataError;
    QTableWidget* tblData;
    QPushButton* btnDataFile;
    QPushButton* btnDataRemove;
};
