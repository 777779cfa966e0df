#pragma once

#include <QImage>
#include <QString>

class TFileMgr;
class TPrintItem;

// The pictures of the main window's item summary. None is stored; each is made
// afresh when the summary is drawn. Errors of the symbol renderers and the JPEG
// decoder propagate to the caller.

// The barcode sample: always module 1, ratio 2.0 and 40 pixels high at (2, 2),
// so it shows the symbology and the text option, not the printed size.
// `value`: what the symbol carries (the item's value with its fields resolved).
QImage BarcodeSampleImage(const TPrintItem& item, const QString& value);
// The QR sample: one pixel per module and a quiet zone of 3 modules, whatever the
// item's own quiet zone is.
QImage QRSampleImage(const TPrintItem& item, const QString& value);
// The item's stored picture decoded; null when it has none or its file is empty.
QImage StoredPictureImage(const TPrintItem& item, TFileMgr& files);

// The picture for the item's kind: the three above for barcode, QR code and image
// items, null for every other kind.
QImage ItemSummaryPicture(const TPrintItem& item, const QString& value, TFileMgr& files);

// Smallest size of the barcode sample's canvas (the summary's picture area).
constexpr int SummaryPictureWidth = 278;
constexpr int SummaryPictureHeight = 51;
