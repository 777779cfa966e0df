#include "model/manager/PrinterResolution.h"

#include <QByteArray>
#include <cups/cups.h>

namespace {

const char* const kResolution = "printer-resolution";

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
    if (queue.isEmpty())
        return {};
    const QByteArray name = queue.toUtf8();
    cups_dest_t* dest = cupsGetNamedDest(CUPS_HTTP_DEFAULT, name.constData(), nullptr);
    if (!dest)
        return {};
    TPrinterResolution found;
    if (cups_dinfo_t* info = cupsCopyDestInfo(CUPS_HTTP_DEFAULT, dest)) {
        found = FromAttribute(cupsFindDestDefault(CUPS_HTTP_DEFAULT, dest, info, kResolution));
        if (!found.Known()) {
            ipp_attribute_t* supported =
                cupsFindDestSupported(CUPS_HTTP_DEFAULT, dest, info, kResolution);
            if (supported && ippGetCount(supported) == 1)
                found = FromAttribute(supported);
        }
        cupsFreeDestInfo(info);
    }
    cupsFreeDests(1, dest);
    return found;
}
