#pragma once

#include "model/Font.h"
#include "view/FormChanges.h"

#include <QByteArray>
#include <QDialog>
#include <QImage>
#include <QVariantList>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;
class TFontColorDialog;
class TLinearBarcode;
class TPrintItem;
class TProject;
class TBarcodePreview;
class TQRPreview;

// The modal editor of one print item of any of the seven kinds. It writes into
// the item it is given only when every check passes; the stored picture of an
// image item is the one thing it saves itself.
struct TDataTable;

class TprintItemEditorView : public TEditorDialog {
    Q_OBJECT

public:
    // Asks for a JPEG file to load; an empty answer loads nothing.
    using TPictureChooser = std::function<QString(QWidget* parent)>;
    // Persists the item once the form is written into it; throws when the
    // database refuses, and the editor then stays open with the user's input.
    using TSaveHandler = std::function<void(TPrintItem* item)>;

    explicit TprintItemEditorView(QWidget* parent = nullptr);
    ~TprintItemEditorView() override;

    void SetPictureChooser(TPictureChooser chooser);
    void SetSaveHandler(TSaveHandler handler);

    // Fills the form from the item. Missing item or project: only the flags are set.
    void SetData(TPrintItem* item, TProject* project, bool doEdit);
    // The page whose values the previews show fields with (the window's start);
    // the project's stored start unless set before SetData.
    void SetPageNumber(int page);
    TPrintItem* Getdata() const { return currItem; }
    // True once a save has written the form into the item.
    bool doSave() const { return FdoSave; }

    void renderView();
    // The project's page with this item as the form holds it, in the page preview.
    void btnPagePreviewClick();
    // That page, composed for a page number; throws what composition throws.
    std::unique_ptr<class TCPrint> FormPage(int pageNum);
    void previewBarcode();
    void previewQRcode();
    // The form's value on the preview page, fields resolved; throws EFieldError.
    QString pageValue() const;
    // Loads a JPEG file as the item's picture; false (and a message) when it is no
    // picture the program can print.
    bool LoadPicture(const QString& path);

protected:
    bool changed() const override;
    void saveEdits() override { btnSaveClick(); }

private:
    void createControls();
    QWidget* createLeftColumn();
    QWidget* createRightColumn();
    void connectControls();
    void processDefault();
    void cbbItemTypeChange();
    void fontCheckClick();
    void itemFontBtnClick();
    void cbbDateStyleChange();
    void btnLoadImgClick();
    void btnSaveClick();
    void barcodeModuleChange(int tenths);
    void barcodeRatioChange(int tenths);
    void imgBarcodeMouseDown(const QPoint& point);
    void loadFields();
    void storeFields(TPrintItem& item);
    void showStoredPicture();
    void showPicture(const QImage& image);
    int itemType() const;
    QString serialSampleText() const;
    void reloadProjectFont();
    void listFields();
    void insertField(int index);
    void showPageValue();
    // The other items whose values name this one's stored name, to rename with it.
    std::vector<TPrintItem*> itemsNamingThis() const;

    TPrintItem* currItem = nullptr;
    TProject* currProject = nullptr;
    bool doEdit = false;
    bool FLinePenDefaulted = false; // a new line's solid pen was set for it
    bool FdoSave = false;
    std::optional<int> FPageNum;
    // The project's stored data, for its columns as fields.
    std::shared_ptr<const TDataTable> FData;
    // Why the name cannot be a field's: a column of the data has it; empty when it can.
    QString nameClash() const;
    TFont FFont;
    std::unique_ptr<TLinearBarcode> Barcode1;
    QImage QRCodeBitmap;
    TPictureChooser FPictureChooser;
    TSaveHandler FSaveHandler;
    // The module width and ratio as their labels show them: a stored 0.33 mm
    // stays 0.33 until the spinner moves.
    double FModule = 0.5, FRatio = 2.0;
    // The picture: the JPEG file's own bytes are stored, never a re-encoding.
    QByteArray FPictureBytes;
    QImage FPicture;
    bool FPictureLoaded = false;
    // The form as loaded, its preview included: what closing compares against.
    QVariantList FLoadedValues;
    TFont FLoadedFont;

public:
    // Controls, named as the form names them.
    QLineEdit* itemName;
    QComboBox* cbbItemType;
    QGroupBox* grpItemValue;
    QLabel* lblItemValue;
    QPlainTextEdit* ItemValue;
    QComboBox* cbbInsertField; // "插入字段": the project's items and 页码
    QLabel* lblPageValue;      // the value on the preview page, when it has fields
    QGroupBox* grpoutlinegroup;
    QComboBox* olStyle;
    QComboBox* olColor;
    QDoubleSpinBox* olMargin;
    QDoubleSpinBox* olPenWidth;
    QLabel *lblMargin, *labelTextSetup;
    QGroupBox* grpPrint;
    QLabel *lblItemX, *lblItemY, *lblTextWidth, *lblLineHeight, *lblRotate;
    QDoubleSpinBox *ItemX, *ItemY, *itemTextWidth, *itemLineHeight, *edtRotate;
    QCheckBox* chkAllowNewline;
    QLabel* labelPrnSetup;
    QGroupBox* grpBarcode;
    QComboBox *barcodeType, *barcodeOption, *barcodePosition;
    QSpinBox *barcodeModule, *barcodeRatio;
    QLabel *barcodeModuleLabel, *barcodeRatioLabel, *labelCode;
    QCheckBox* chkCheckSum;
    QDoubleSpinBox *barcodeTextOffsetX, *barcodeTextOffsetY;
    QPushButton* btnBarcodePreview;
    TBarcodePreview* imgBarcode;
    QGroupBox* SerialSetup;
    QCheckBox *chkSerialPre, *chkSerialPostfix, *chkPrnNum, *chkSerialDecrease;
    QLineEdit *edtPre1, *edtPostfix;
    QDoubleSpinBox *edtPrnNum, *editSerialStep;
    QLabel* serialExampleLabel;
    QGroupBox* grpQrcode;
    QComboBox* qCode;
    QLineEdit* qQuietZone;
    QPushButton* btnQrcodePreview;
    TQRPreview* pbQrCode;
    QGroupBox* grpImage;
    QLabel *ImgItem, *imageInfo;
    QPushButton* btnLoadImg;
    QGroupBox* grpDate;
    QComboBox* cbbDateStyle;
    QLineEdit* edtDateStyle;
    QLabel* labelDateSample;
    QGroupBox* grpFont;
    QCheckBox* chkDefaultFont;
    QPushButton* itemFontBtn;
    QDoubleSpinBox* edtCharExtra;
    QLabel* itemFontLabel;
    TFontColorDialog* itemFont;
    QGroupBox* grpStatus;
    QCheckBox* chkStatus;
    QPushButton *btnSave, *btnClose, *btnPagePreview;
};

// The barcode preview: shows its picture stretched to its size and reports
// where the mouse was pressed, which moves the preview barcode.
class TBarcodePreview : public QWidget {
    Q_OBJECT

public:
    using QWidget::QWidget;
    QImage& Picture() { return FPicture; }
    void Clear();
    std::function<void(const QPoint&)> OnMouseDown;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QImage FPicture;
};

// The QR preview: white, with the bitmap stretched to the largest square.
class TQRPreview : public QWidget {
    Q_OBJECT

public:
    TQRPreview(const QImage& bitmap, QWidget* parent) : QWidget(parent), FBitmap(bitmap) {}
    // The rectangle the bitmap is stretched into.
    QRect SymbolRect() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    const QImage& FBitmap;
};
