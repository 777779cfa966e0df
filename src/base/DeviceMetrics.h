#pragma once

// What a conversion needs of a device context: resolution in dots per inch and
// the printable area's offset from the paper corner in device pixels.
struct TDeviceMetrics {
    int DpiX = 0;
    int DpiY = 0;
    int OffsetX = 0;
    int OffsetY = 0;
};
