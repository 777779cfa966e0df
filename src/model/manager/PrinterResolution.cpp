#include "model/manager/PrinterResolution.h"

#include <QByteArray>
#include <QStringList>
#include <cmath>
#include <functional>
#include <cups/cups.h>

namespace {

const char* const kResolution = "printer-resolution";

// Asks the print system about a queue: `ask` gets the "-supported" (or, with
// defaults, "-default") attribute of an option; nothing when it cannot be asked.
using TAsk = std::function<ipp_attribute_t*(const char* option, bool defaults)>;
void AskQueue(const QString& queue, const std::function<void(const TAsk&)>& use) {
    if (queue.isEmpty())
        return;
    const QByteArray name = queue.toUtf8();
    cups_dest_t* dest = cupsGetNamedDest(CUPS_HTTP_DEFAULT, name.constData(), nullptr);
    if (!dest)
        return;
    if (cups_dinfo_t* info = cupsCopyDestInfo(CUPS_HTTP_DEFAULT, dest)) {
        use([&](const char* option, bool defaults) {
            return defaults ? cupsFindDestDefault(CUPS_HTTP_DEFAULT, dest, info, option)
                            : cupsFindDestSupported(CUPS_HTTP_DEFAULT, dest, info, option);
        });
        cupsFreeDestInfo(info);
    }
    cupsFreeDests(1, dest);
}

TPrinterResolution FromAttribute(ipp_attribute_t* attr) {
    if (!attr || ippGetValueTag(attr) != IPP_TAG_RESOLUTION || ippGetCount(attr) < 1)
        return {};
    int y = 0;
    ipp_res_t units = IPP_RES_PER_INCH;
    int x = ippGetResolution(attr, 0, &y, &units);
    if (units == IPP_RES_PER_CM) {
        x = int(x * 2.54 + 0.5);
        y = int(y * 2.54 + 0.5);
    }
    // Anything outside this range is a broken driver description, not a printer.
    if (x < 50 || y < 50 || x > 10000 || y > 10000)
        return {};
    return {x, y};
}

} // namespace

TPrinterResolution QueueResolution(const QString& queue) {
    TPrinterResolution found;
    AskQueue(queue, [&](const TAsk& ask) {
        found = FromAttribute(ask(kResolution, true));
        if (!found.Known()) {
            ipp_attribute_t* supported = ask(kResolution, false);
            if (supported && ippGetCount(supported) == 1)
                found = FromAttribute(supported);
        }
    });
    return found;
}

namespace {

// IPP media dimensions are hundredths of a millimetre.
constexpr double kPerMm = 100.0;
// A listed medium is the page's size when they differ by less than this.
constexpr double kSameSizeMm = 0.5;

QString Mm(double v) {
    return QString::number(v);
}

} // namespace

bool TMediaLimits::Takes(const QSizeF& mm) const {
    if (!Known)
        return true;
    if (!(mm.width() > 0) || !(mm.height() > 0) || !std::isfinite(mm.width()) ||
        !std::isfinite(mm.height()))
        return false;
    // A hundredth of a millimetre is what the print system counts in.
    constexpr double slack = 0.005;
    if (Custom && mm.width() >= Min.width() - slack && mm.width() <= Max.width() + slack &&
        mm.height() >= Min.height() - slack && mm.height() <= Max.height() + slack)
        return true;
    for (const QSizeF& s : Sizes)
        if (std::fabs(s.width() - mm.width()) < kSameSizeMm &&
            std::fabs(s.height() - mm.height()) < kSameSizeMm)
            return true;
    return false;
}

QString TMediaLimits::Describe() const {
    if (Custom)
        return QStringLiteral("宽 %1–%2 mm，长 %3–%4 mm")
            .arg(Mm(Min.width()), Mm(Max.width()), Mm(Min.height()), Mm(Max.height()));
    QStringList listed;
    for (const QSizeF& s : Sizes.mid(0, 6))
        listed << QStringLiteral("%1 × %2 mm").arg(Mm(s.width()), Mm(s.height()));
    if (Sizes.size() > 6)
        listed << QStringLiteral("……");
    return QStringLiteral("只有这些纸张：") + listed.join(QStringLiteral("，"));
}

TMediaLimits QueueMediaLimits(const QString& queue) {
    TMediaLimits limits;
    AskQueue(queue, [&](const TAsk& ask) {
        ipp_attribute_t* sizes = ask("media-size", false);
        for (int i = 0; sizes && i < ippGetCount(sizes); ++i) {
            ipp_t* size = ippGetCollection(sizes, i);
            ipp_attribute_t* x = ippFindAttribute(size, "x-dimension", IPP_TAG_ZERO);
            ipp_attribute_t* y = ippFindAttribute(size, "y-dimension", IPP_TAG_ZERO);
            if (!x || !y)
                continue;
            if (ippGetValueTag(x) == IPP_TAG_RANGE && ippGetValueTag(y) == IPP_TAG_RANGE) {
                int maxX = 0, maxY = 0;
                const int minX = ippGetRange(x, 0, &maxX), minY = ippGetRange(y, 0, &maxY);
                limits.Custom = true;
                limits.Min = QSizeF(minX / kPerMm, minY / kPerMm);
                limits.Max = QSizeF(maxX / kPerMm, maxY / kPerMm);
            } else if (ippGetValueTag(x) == IPP_TAG_INTEGER &&
                       ippGetValueTag(y) == IPP_TAG_INTEGER) {
                limits.Sizes << QSizeF(ippGetInteger(x, 0) / kPerMm, ippGetInteger(y, 0) / kPerMm);
            }
        }
        limits.Known = limits.Custom || !limits.Sizes.isEmpty();
    });
    return limits;
}

TMediaLimits PdfMediaLimits() {
    TMediaLimits limits;
    limits.Known = limits.Custom = true;
    limits.Min = QSizeF(5, 5);
    limits.Max = QSizeF(5000, 5000);
    return limits;
}

QString PageSizeRefusal(const QSizeF& mm, const TMediaLimits& limits, const QString& where) {
    if (limits.Takes(mm))
        return QString();
    return QStringLiteral("页面 %1 × %2 mm 超出了%3能打印的纸张（%4）")
        .arg(Mm(mm.width()), Mm(mm.height()), where, limits.Describe());
}

bool QueueIsMonochrome(const QString& queue) {
    bool monochrome = false;
    AskQueue(queue, [&](const TAsk& ask) {
        ipp_attribute_t* modes = ask("print-color-mode", false);
        monochrome = modes && ippGetCount(modes) > 0;
        for (int i = 0; monochrome && i < ippGetCount(modes); ++i)
            monochrome = !QByteArray(ippGetString(modes, i, nullptr)).contains("color");
    });
    return monochrome;
}

bool QueueAcceptsJobs(const QString& queue) {
    const QByteArray name = queue.toUtf8();
    cups_dest_t* dest = cupsGetNamedDest(CUPS_HTTP_DEFAULT, name.constData(), nullptr);
    if (!dest)
        return true;
    const char* accepting =
        cupsGetOption("printer-is-accepting-jobs", dest->num_options, dest->options);
    const bool takes = !accepting || qstrcmp(accepting, "false") != 0;
    cupsFreeDests(1, dest);
    return takes;
}
