#include "model/manager/PrintMgrImpl.h"

#include "fbarcode/Barcode2.h"
#include "model/Errors.h"
#include "model/Rounding.h"

#include <QFileInfo>
#include <QLocale>
#include <QPrinter>
#include <QSettings>
#include <cmath>
#include <cups/cups.h>

int MmToPixels(long double mm, int dpi) {
    // The first rounding is in 64-bit range, like the original's Int64 Round.
    const long double tenThousandths = RoundHalfEvenWide(mm * dpi * 10000.0L / mmPerInch);
    return RoundHalfEven(tenThousandths / 10000.0L);
}

QPoint PlacePoint(const TDeviceMetrics& metrics, int offsetX, int offsetY, double x, double y) {
    const long double xmm = static_cast<long double>(offsetX) / 10.0L + x;
    const long double ymm = static_cast<long double>(offsetY) / 10.0L + y;
    return QPoint(MmToPixels(xmm, metrics.DpiX) - metrics.OffsetX,
                  MmToPixels(ymm, metrics.DpiY) - metrics.OffsetY);
}

double ClampPaperWidth(double mm) {
    if (std::isnan(mm) || mm < 76)
        return 76;
    return mm > 300 ? 300 : mm;
}

double ClampPaperHeight(double mm) {
    if (std::isnan(mm) || mm < 70)
        return 70;
    return mm > 500 ? 500 : mm;
}

void TPrintMgr::InitPrinter(int PRatio, double APWidth, double APHeight, int APsize,
                            const QString& ADeviceName, const QString& Adefault, int AOffsetX,
                            int AOffsetY, int ApaperOrientation) {
    FiOffsetX = AOffsetX;
    FiOffsetY = AOffsetY;
    const double height = APHeight * PRatio;
    if (Adefault.compare(QLatin1String("TRUE"), Qt::CaseInsensitive) == 0)
        Printer().SelectDefault();
    else if (!ADeviceName.isEmpty())
        Printer().SelectPrinter(ADeviceName);
    SetPagerSize(APsize, ApaperOrientation, APWidth, height);
}

void TPrintMgr::InitPrinter(const QString& ConfigIni, int PRatio) {
    int paperSize = 256;
    double width = 239.0;
    double height = 139.7;
    QString deviceName;
    QString useDefault;
    if (QFileInfo::exists(ConfigIni)) {
        bool ok = true;
        QSettings ini(ConfigIni, QSettings::IniFormat);
        ini.beginGroup(QStringLiteral("Printer"));
        deviceName = ini.value(QStringLiteral("DeviceName"), QStringLiteral("error")).toString();
        useDefault = ini.value(QStringLiteral("IsUseDefault"), QStringLiteral("Yes")).toString();
        bool fieldOk = false;
        const QLocale c = QLocale::c();
        const int readSize = c.toInt(
            ini.value(QStringLiteral("PaperSize"), QStringLiteral("256")).toString().trimmed(),
            &fieldOk);
        ok = ok && fieldOk;
        const double readWidth = c.toDouble(
            ini.value(QStringLiteral("PageWidth"), QStringLiteral("20")).toString().trimmed(),
            &fieldOk);
        ok = ok && fieldOk;
        const double readHeight = c.toDouble(
            ini.value(QStringLiteral("PageHeight"), QStringLiteral("20")).toString().trimmed(),
            &fieldOk);
        ok = ok && fieldOk && ini.status() == QSettings::NoError;
        if (ok) {
            paperSize = readSize;
            width = readWidth;
            height = readHeight;
        } else {
            useDefault = QStringLiteral("Yes");
        }
    }
    height *= PRatio;
    FiOffsetX = 0;
    FiOffsetY = 0;
    if (useDefault.compare(QLatin1String("Yes"), Qt::CaseInsensitive) == 0)
        Printer().SelectDefault();
    else
        Printer().SelectPrinter(deviceName);
    SetPagerSize(paperSize, 0, width, height);
}

void TPrintMgr::SetPagerSize(int /*APsize*/, int orientation, double width, double height) {
    width = ClampPaperWidth(width);
    height = ClampPaperHeight(height);
    TDeviceMode mode;
    if (!Printer().GetDeviceMode(mode))
        return;
    mode.dmOrientation =
        orientation != 0 ? TDeviceMode::DMORIENT_LANDSCAPE : TDeviceMode::DMORIENT_PORTRAIT;
    mode.dmCopies = 1;
    // Always a user-defined size, whatever the caller asked for.
    mode.dmPaperSize = TDeviceMode::DMPAPER_USER;
    mode.dmPaperWidth = qint16(RoundHalfEven(static_cast<long double>(width) * 10));
    mode.dmPaperLength = qint16(RoundHalfEven(static_cast<long double>(height) * 10));
    mode.dmFields |=
        TDeviceMode::DM_PAPERSIZE | TDeviceMode::DM_PAPERLENGTH | TDeviceMode::DM_PAPERWIDTH;
    mode.dmDefaultSource = TDeviceMode::DMBIN_AUTO;
    Printer().SetDeviceMode(mode);
}

std::unique_ptr<QStringList> TPrintMgr::GetPrintList() const {
    return std::make_unique<QStringList>(TPrinter::Printers());
}

QString TPrintMgr::GetDefaultPrint() const {
    const QString name = TPrinter::DefaultPrinter();
    if (name.isEmpty())
        return QString();
    QString makeAndModel;
    QString uri;
    const QByteArray queue = name.toUtf8();
    if (cups_dest_t* dest = cupsGetNamedDest(CUPS_HTTP_DEFAULT, queue.constData(), nullptr)) {
        makeAndModel = QString::fromUtf8(
            cupsGetOption("printer-make-and-model", dest->num_options, dest->options));
        uri = QString::fromUtf8(cupsGetOption("device-uri", dest->num_options, dest->options));
        cupsFreeDests(1, dest);
    }
    // The profile entry it stands for held at most 256 characters.
    return QStringList{name, makeAndModel, uri}.join(u',').left(256);
}

int TPrintMgr::HPointsPerInch() const {
    return GetPrinterRes(Printer(), true);
}

int TPrintMgr::VPointsPerInch() const {
    return GetPrinterRes(Printer(), false);
}

int TPrintMgr::GetOffSetX() const {
    return Printer().Metrics().OffsetX;
}

int TPrintMgr::GetOffSetY() const {
    return Printer().Metrics().OffsetY;
}

int TPrintMgr::GetXmm(long double mm) const {
    return MmToPixels(mm, HPointsPerInch());
}

int TPrintMgr::GetYmm(long double mm) const {
    return MmToPixels(mm, VPointsPerInch());
}

double TPrintMgr::getDPM() const {
    return std::trunc(static_cast<long double>(HPointsPerInch()) / mmPerInch);
}

quint16 TPrintMgr::AvgCharWidth() const {
    return quint16(Printer().AvgCharWidth());
}

QPoint TPrintMgr::Place(double x, double y) const {
    return PlacePoint(Printer().Metrics(), FiOffsetX, FiOffsetY, x, y);
}

void TPrintMgr::showpageinfo(const std::function<void(const QString&)>& showMessage) const {
    static const QString sample = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvw"
                                                 "xyz0123456789.,;:!?'\"-+*/=()[]{}<>@#$%&_");
    for (QChar ch : sample)
        showMessage(QStringLiteral("length: %1 , %2 pixels width")
                        .arg(ch)
                        .arg(Printer().TextWidth(QString(ch))));
}
