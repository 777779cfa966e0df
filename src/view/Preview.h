#pragma once

#include <QDialog>
#include <QLabel>
#include <QPixmap>

class QFrame;
class TCPrint;

// Shows its bitmap stretched to fit, proportions kept, centred.
class TFittedImage : public QLabel {
public:
    using QLabel::QLabel;
    void setBitmap(const QPixmap& bitmap);
    const QPixmap& bitmap() const { return FBitmap; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QPixmap FBitmap;
};

// The page preview: a sketch of one composed page (its frame and the items'
// texts at their positions), rendered once into a bitmap of the image's size.
class TPreviewFrm : public QDialog {
    Q_OBJECT

public:
    explicit TPreviewFrm(QWidget* owner = nullptr);

    // Renders the page (not taken over) and shows it.
    void Setdata(const TCPrint* value);
    const TCPrint* currprint = nullptr;

    QFrame* pnlPreview = nullptr;
    TFittedImage* img1 = nullptr;
    QObject* printPreview1 = nullptr;
};
