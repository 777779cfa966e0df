// Symbol encoding against libzint on the same data: Code 128, EAN-13, Code 39 and a
// 40-character QR code. Each figure is the time of one encoding, median and minimum
// of several rounds, beside libzint's figure for the same symbol from the same run.
#include "fbarcode/Barcode.h"
#include "fbarcode/QRCode.h"

#include <zint.h>

#include <QGuiApplication>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

constexpr int Rounds = 9;
constexpr double RoundSeconds = 0.05;

struct TFigure {
    double Median = 0; // nanoseconds per encoding
    double Min = 0;
};

using TClockT = std::chrono::steady_clock;

// Runs `op` in rounds of a fixed count, sized so that one round takes about
// RoundSeconds, and returns the per-call time of the median and the fastest round.
TFigure Measure(const std::function<size_t()>& op) {
    size_t sink = 0;
    long count = 1;
    for (;;) {
        const auto t0 = TClockT::now();
        for (long i = 0; i < count; ++i)
            sink += op();
        const double s = std::chrono::duration<double>(TClockT::now() - t0).count();
        if (s >= RoundSeconds / 4)
            break;
        count *= 4;
    }
    {
        const auto t0 = TClockT::now();
        for (long i = 0; i < count; ++i)
            sink += op();
        const double s = std::chrono::duration<double>(TClockT::now() - t0).count();
        count = std::max(1L, long(count * RoundSeconds / std::max(s, 1e-9)));
    }
    std::vector<double> perCall;
    for (int r = 0; r < Rounds; ++r) {
        const auto t0 = TClockT::now();
        for (long i = 0; i < count; ++i)
            sink += op();
        const double s = std::chrono::duration<double>(TClockT::now() - t0).count();
        perCall.push_back(s * 1e9 / double(count));
    }
    std::sort(perCall.begin(), perCall.end());
    if (sink == 0)
        std::fprintf(stderr, "nothing was encoded\n");
    return {perCall[perCall.size() / 2], perCall.front()};
}

// One reused libzint symbol, cleared before each encoding as a batch caller would.
class TZint {
public:
    TZint(int symbology, int option1 = -1) : FSymbol(ZBarcode_Create()) {
        FSymbology = symbology;
        FOption1 = option1;
    }
    ~TZint() { ZBarcode_Delete(FSymbol); }
    TZint(const TZint&) = delete;
    TZint& operator=(const TZint&) = delete;

    size_t Encode(const QByteArray& data) {
        ZBarcode_Clear(FSymbol);
        FSymbol->symbology = FSymbology;
        FSymbol->option_1 = FOption1;
        FSymbol->input_mode = DATA_MODE;
        if (ZBarcode_Encode(FSymbol, reinterpret_cast<const unsigned char*>(data.constData()),
                            int(data.size())) >= ZINT_ERROR) {
            std::fprintf(stderr, "libzint: %s\n", FSymbol->errtxt);
            return 0;
        }
        return size_t(FSymbol->width);
    }

private:
    zint_symbol* FSymbol;
    int FSymbology;
    int FOption1;
};

struct TCase {
    const char* Name;
    TFigure Ours;
    TFigure Peer;
};

TFigure Linear(TBarcodeType typ, const QString& text, bool checksum) {
    TLinearBarcode b;
    b.setTyp(typ);
    b.setText(text);
    b.setChecksum(checksum);
    return Measure([&] { return size_t(b.MakeData().size()); });
}

TFigure Zint(int symbology, const QByteArray& data, int option1 = -1) {
    TZint z(symbology, option1);
    return Measure([&] { return z.Encode(data); });
}

} // namespace

int main(int argc, char* argv[]) {
    // The component holds a font, which needs a platform; none is drawn on.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);

    const QString code128 = QStringLiteral("KOVA-20240615-000123");
    const QString ean13 = QStringLiteral("590123412345");
    const QString code39 = QStringLiteral("KOVA-39 LABEL 0042");
    const QString qr = QStringLiteral("https://kova.example/item/0001234567?p=1");
    if (qr.size() != 40) {
        std::fprintf(stderr, "the QR text must be 40 characters\n");
        return 1;
    }

    std::vector<TCase> cases;
    cases.push_back({"Code 128 (20 chars)", Linear(bcCode128B, code128, false),
                     Zint(BARCODE_CODE128, code128.toLatin1())});
    cases.push_back({"EAN-13 (check digit added)", Linear(bcCodeEAN13, ean13, true),
                     Zint(BARCODE_EANX, ean13.toLatin1())});
    cases.push_back({"Code 39 (18 chars)", Linear(bcCode39, code39, false),
                     Zint(BARCODE_CODE39, code39.toLatin1())});
    cases.push_back({"QR code (40 chars, level L)",
                     Measure([&] { return size_t(QREncode(qr, qeAuto, 4).Size); }),
                     Zint(BARCODE_QRCODE, qr.toLatin1(), 1)});

    std::printf("Symbol encoding, one call, %d rounds (times in microseconds)\n", Rounds);
    std::printf("%-28s %12s %10s %14s %10s %8s\n", "symbol", "KOVA median", "KOVA min",
                "libzint median", "libzint min", "ratio");
    for (const TCase& c : cases)
        std::printf("%-28s %12.2f %10.2f %14.2f %10.2f %7.2fx\n", c.Name, c.Ours.Median / 1000,
                    c.Ours.Min / 1000, c.Peer.Median / 1000, c.Peer.Min / 1000,
                    c.Ours.Median / c.Peer.Median);
    std::printf("ratio: KOVA median / libzint median (below 1 is faster than libzint)\n");
    return 0;
}
