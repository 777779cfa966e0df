#pragma once

#include "model/manager/PageRaster.h"

#include <QString>
#include <QStringList>
#include <vector>

class TCPrint;
class TPrinter;

// What scanning one symbol of a page gave.
enum class TScanOutcome {
    Read,        // the scanner read what the symbol holds
    NotRead,     // the scanner found nothing there
    WrongData,   // the scanner read something else
    NotCheckable // a symbology the scanner cannot read
};

struct TSymbolCheck {
    QString ItemName;
    bool IsQR = false;
    QString Symbology; // the barcode type's name; empty for a QR code
    TScanOutcome Outcome = TScanOutcome::NotRead;
    QString Expected; // what the symbol holds, as a scanner gives it
    QString Read;     // what the scanner read
    QString ItemData;
    // The narrowest bar or space (QR: module side) in whole printer dots.
    int NarrowDots = 0;
    // Narrow elements fail a symbol; a short quiet zone, a symbol off the
    // sheet and data the symbol cannot carry are told without failing it.
    QStringList Warnings;
    bool Failed = false;

    // "条码 "名称" (Code128B)：..." with the warnings on lines of their own.
    QString Describe() const;
};

// The check of one page: every barcode and QR code item rasterised at the
// printer's own dots, as the printer will put it on paper, and read back.
struct TScanReport {
    int PageNum = 0;
    QString Printer;
    int DpiX = 0, DpiY = 0;
    bool DpiKnown = false;
    // Why the page was painted by Qt's raster rules instead of rasterised by
    // Ghostscript; empty when Ghostscript rasterised it.
    QString QtRulesBecause;
    std::vector<TSymbolCheck> Symbols;
    // Why the page cannot be drawn at all (a field a symbol cannot carry on it).
    QString PageError;

    bool Passed() const;
    int Failures() const;
    // A header line and each symbol's description, for the user.
    QString Text() const;
};

// A narrow element below this many printer dots does not print reliably.
constexpr int MinElementDots = 2;

// Checks the symbols of a prepared page: the page is drawn into a PDF as
// `printer` draws a job's page, Ghostscript rasterises it at the queue's
// resolution, and each symbol is read from those dots. `page` is the composed
// page the prepared one was made from (item names and data, line for line).
// Without Ghostscript, or for a sheet too large to rasterise whole, the page is
// painted by Qt's raster rules, and the report says so.
TScanReport CheckPage(const TCPrint& page, const TPreparedPage& prepared, const TPrinter& printer,
                      int pageNum);

// Code 39 in full ASCII: each shift pair back to the character it stands for
// (the scanner gives the pairs as they are).
QString FromFullAscii39(const QString& data);
