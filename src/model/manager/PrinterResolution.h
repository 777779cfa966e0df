#pragma once

#include <QList>
#include <QSizeF>
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

// The sheets a queue takes, in millimetres, width across the feed and length
// along it: a range of custom sizes, or only its listed media.
struct TMediaLimits {
    bool Known = false;
    bool Custom = false;
    QSizeF Min, Max;    // the custom range, when Custom
    QList<QSizeF> Sizes; // the listed media

    bool Takes(const QSizeF& mm) const;
    // "宽 5–5000 mm，长 5–5000 mm", or the first listed sizes.
    QString Describe() const;
};

// What the print system says a queue takes; unknown when it cannot be asked
// (then nothing is refused).
TMediaLimits QueueMediaLimits(const QString& queue);
// A PDF file: 5 mm to 5 m either way.
TMediaLimits PdfMediaLimits();
// Why a page of this size cannot be printed on `where` (a queue's name or a
// PDF file) with these limits; empty when it can.
QString PageSizeRefusal(const QSizeF& mm, const TMediaLimits& limits, const QString& where);

// Whether a queue prints black dots only (it offers no colour mode): a grey
// picture is halftoned into its dots either way.
bool QueueIsMonochrome(const QString& queue);

// Whether a queue takes jobs now (it may hold them while stopped); true when the
// print system cannot be asked, so that the hand-over itself finds out.
bool QueueAcceptsJobs(const QString& queue);
