#pragma once

#include <QString>

// The dots per inch a queue prints at.
struct TPrinterResolution {
    int X = 0;
    int Y = 0;
    bool Known() const { return X > 0 && Y > 0; }
};

// Assumed where the print system does not say: a common office printer. Qt
// reports 1200 dpi for every CUPS queue, which says nothing about the paper.
constexpr int FallbackDpi = 300;

// What a queue prints at by default, as the print system reports it
// ("printer-resolution-default", which CUPS takes from the PPD's default
// resolution; a queue with one resolution only may report just that one).
// Unknown for an unknown queue or when the print system cannot be asked.
TPrinterResolution QueueResolution(const QString& queue);
