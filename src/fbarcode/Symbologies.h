#pragma once

#include "fbarcode/Barcode.h"

struct TEncodeContext;
using TEncoder = QString (*)(QString& text, const TEncodeContext& ctx);

// zbar's symbology numbers for the ones KOVA prints and zbar reads.
namespace ZbarType {
constexpr int EAN2 = 2, EAN5 = 5, EAN8 = 8, UPCE = 9, UPCA = 12, EAN13 = 13, I25 = 25, Codabar = 38,
              Code39 = 39, QRCode = 64, Code93 = 93, Code128 = 128;
}

// How a scanner gives back what a symbol of the symbology holds, where that is
// not the line the program shows under the bars.
enum class TScannerReading {
    AsShown,
    FullAscii39, // shift pairs as they are, unless the scanner is set for full ASCII
    CodabarEnds, // with the start and stop characters
    UpcENumber,  // with number system and check digit
    AddOnDigits, // the add-on's digits without the check digit the line shows
};

// One of the 23 linear symbologies: how it is encoded and how a scanner reads it.
struct TSymbology {
    const char* Name;
    bool DigitsOnly;
    // Wide-to-narrow ratio limits; 0 where the symbology is built from modules of
    // one to four widths, which only read at a ratio of 2.
    double RatioMin;
    double RatioMax;
    TEncoder Encode;
    // zbar's number for it; 0 where zbar cannot read it.
    int Zbar;
    // The quiet zone its standard asks for before and after the symbol, in narrow
    // modules (ISO/IEC 15417, 16388, 16390; the GS1 General Specifications for
    // EAN/UPC and the add-ons; AIM's for Code 93 and Codabar).
    int QuietBefore;
    int QuietAfter;
    TScannerReading Reading;
};

// The entry of a type; nullptr for an ordinal outside the 23.
const TSymbology* SymbologyOf(TBarcodeType typ);
