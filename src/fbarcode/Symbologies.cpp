#include "fbarcode/Symbologies.h"

#include "fbarcode/BarcodeEncoders.h"

namespace {

using R = TScannerReading;
namespace Z = ZbarType;

// In the order of TBarcodeType, which items store.
constexpr TSymbology kSymbologies[BarcodeTypeCount] = {
    {"2_5_interleaved", true, 2.0, 3.0, Encode_2_5_interleaved, Z::I25, 10, 10, R::AsShown},
    {"2_5_industrial", true, 2.0, 3.0, Encode_2_5_industrial, 0, 0, 0, R::AsShown},
    {"2_5_matrix", true, 2.25, 3.0, Encode_2_5_matrix, 0, 0, 0, R::AsShown},
    {"Code39", false, 2.0, 3.0, Encode_Code39, Z::Code39, 10, 10, R::AsShown},
    {"Code39 Extended", false, 2.0, 3.0, Encode_Code39Extended, Z::Code39, 10, 10,
     R::FullAscii39},
    {"Code128A", false, 0, 0, Encode_Code128, Z::Code128, 10, 10, R::AsShown},
    {"Code128B", false, 0, 0, Encode_Code128, Z::Code128, 10, 10, R::AsShown},
    {"Code128C", true, 0, 0, Encode_Code128, Z::Code128, 10, 10, R::AsShown},
    {"Code93", false, 0, 0, Encode_Code93, Z::Code93, 10, 10, R::AsShown},
    {"Code93 Extended", false, 0, 0, Encode_Code93Extended, Z::Code93, 10, 10, R::AsShown},
    {"MSI", true, 2.0, 3.0, Encode_MSI, 0, 0, 0, R::AsShown},
    {"PostNet", true, 2.0, 3.0, Encode_PostNet, 0, 0, 0, R::AsShown},
    {"Codebar", false, 2.0, 3.0, Encode_Codabar, Z::Codabar, 10, 10, R::CodabarEnds},
    {"EAN8", true, 2.0, 3.0, Encode_EAN8, Z::EAN8, 7, 7, R::AsShown},
    {"EAN13", true, 2.0, 3.0, Encode_EAN13, Z::EAN13, 11, 7, R::AsShown},
    {"UPC_A", true, 2.0, 3.0, Encode_UPC_A, Z::UPCA, 9, 9, R::AsShown},
    {"UPC_E0", true, 2.0, 3.0, Encode_UPC_E, Z::UPCE, 9, 7, R::UpcENumber},
    {"UPC_E1", true, 2.0, 3.0, Encode_UPC_E, 0, 0, 0, R::AsShown},
    {"UPC Supp2", true, 2.0, 3.0, Encode_UPC_Supp2, Z::EAN2, 7, 5, R::AddOnDigits},
    {"UPC Supp5", true, 2.0, 3.0, Encode_UPC_Supp5, Z::EAN5, 7, 5, R::AddOnDigits},
    {"EAN128A", false, 0, 0, Encode_Code128, Z::Code128, 10, 10, R::AsShown},
    {"EAN128B", false, 0, 0, Encode_Code128, Z::Code128, 10, 10, R::AsShown},
    {"EAN128C", true, 0, 0, Encode_Code128, Z::Code128, 10, 10, R::AsShown},
};

} // namespace

const TSymbology* SymbologyOf(TBarcodeType typ) {
    return typ >= 0 && typ < BarcodeTypeCount ? &kSymbologies[typ] : nullptr;
}
