// Writes one barcode or QR code as a PNG, for checking a symbology without a printer.
#include "fbarcode/Barcode.h"
#include "fbarcode/QRCode.h"
#include "fbarcode/SymbolImage.h"
#include "tools/ToolOptions.h"

#include <QCommandLineParser>
#include <QGuiApplication>
#include <QTextStream>

#include <cstdio>

namespace {

// Pixels per QR module: a version 40 symbol at 100 is about 20 000 pixels wide.
constexpr int QRMaxScale = 100;

int Fail(const QString& message) {
    QTextStream(stderr) << message << Qt::endl;
    return 1;
}

} // namespace

int main(int argc, char* argv[]) {
    // Fonts need a platform; a batch tool must also run without a display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);

    QCommandLineParser args;
    args.setApplicationDescription(QStringLiteral(
        "kova-symbol barcode --type N --text T [--checksum] [--module PX] "
        "[--ratio R] [--height PX] [--angle DEG] [--show N] [--position N] -o FILE\n"
        "kova-symbol qr --text T [--encoding N] [--quiet-zone Q] [--scale PX] -o FILE"));
    args.addHelpOption();
    args.addPositionalArgument(QStringLiteral("kind"), QStringLiteral("barcode or qr"));
    const auto opt = [&](const char* name, const char* help, bool value = true) {
        AddToolOption(args, name, help, value);
    };
    opt("type", "symbology ordinal 0..22");
    opt("text", "content");
    opt("checksum", "add the check digit", false);
    opt("module", "narrow module in pixels");
    opt("ratio", "wide-to-narrow ratio");
    opt("height", "bar height in pixels");
    opt("angle", "rotation in degrees, counter-clockwise");
    opt("show", "human-readable line: 0 none, 1 code, 2 name, 3 both");
    opt("position", "text position ordinal 0..5");
    opt("encoding", "QR encoding option 0..5");
    opt("quiet-zone", "QR quiet zone in modules");
    opt("scale", "QR pixels per module");
    args.addOption(QCommandLineOption(QStringList{QStringLiteral("o"), QStringLiteral("output")},
                                      QStringLiteral("PNG file to write"), QStringLiteral("file")));
    args.process(app);

    const QStringList kind = args.positionalArguments();
    if (kind.size() != 1 || !args.isSet(QStringLiteral("o")))
        return Fail(args.helpText());
    const QString file = args.value(QStringLiteral("o"));

    try {
        QImage image;
        if (kind[0] == QLatin1String("barcode")) {
            TLinearBarcode b;
            int type = b.Typ(), module = b.Modul(), height = 80, show = b.ShowText(),
                position = b.ShowTextPosition();
            if (!ToInt(args, QStringLiteral("type"), type) ||
                !ToInt(args, QStringLiteral("module"), module) ||
                !ToInt(args, QStringLiteral("height"), height) ||
                !ToInt(args, QStringLiteral("show"), show) ||
                !ToInt(args, QStringLiteral("position"), position))
                return Fail(QStringLiteral("kova-symbol: whole numbers expected"));
            bool ok = true;
            const double ratio = args.isSet(QStringLiteral("ratio"))
                                     ? args.value(QStringLiteral("ratio")).toDouble(&ok)
                                     : b.Ratio();
            bool okAngle = true;
            const double angle = args.isSet(QStringLiteral("angle"))
                                     ? args.value(QStringLiteral("angle")).toDouble(&okAngle)
                                     : b.Angle();
            if (!ok || !okAngle)
                return Fail(QStringLiteral("kova-symbol: numbers expected"));
            if (show < bcoNone || show > bcoBoth || position < stpTopLeft ||
                position > stpBottomCenter)
                return Fail(QStringLiteral("kova-symbol: --show is 0..3, --position 0..5"));
            // The component ignores other modules silently; a tool user asked for one.
            if (module < 1 || module > 49)
                return Fail(QStringLiteral("kova-symbol: --module is 1..49 pixels"));
            b.setTyp(TBarcodeType(type));
            b.setText(args.value(QStringLiteral("text")));
            b.setChecksum(args.isSet(QStringLiteral("checksum")));
            b.setModul(module);
            b.setRatio(ratio);
            b.setHeight(height);
            b.setAngle(angle);
            b.setShowText(TBarcodeOption(show));
            b.setShowTextPosition(TShowTextPosition(position));
            image = BarcodeSymbolImage(b);
        } else if (kind[0] == QLatin1String("qr")) {
            int encoding = qeAuto, quiet = QRDefaultQuietZone, scale = 4;
            if (!ToInt(args, QStringLiteral("encoding"), encoding) ||
                !ToInt(args, QStringLiteral("quiet-zone"), quiet) ||
                !ToInt(args, QStringLiteral("scale"), scale))
                return Fail(QStringLiteral("kova-symbol: whole numbers expected"));
            if (scale < 1 || scale > QRMaxScale)
                return Fail(QStringLiteral("kova-symbol: --scale is 1..%1 pixels").arg(QRMaxScale));
            // The item falls back to automatic and the default zone; a tool user asked.
            if (encoding < qeAuto || encoding > qeUtf8)
                return Fail(QStringLiteral("kova-symbol: --encoding is 0..5"));
            if (quiet < 0 || quiet > QRMaxQuietZone)
                return Fail(QStringLiteral("kova-symbol: --quiet-zone is 0..%1 modules")
                                .arg(QRMaxQuietZone));
            image =
                QRSymbolImage(QREncode(args.value(QStringLiteral("text")), encoding, quiet), scale);
        } else {
            return Fail(args.helpText());
        }
        if (!image.save(file, "PNG"))
            return Fail(QStringLiteral("kova-symbol: cannot write %1").arg(file));
    } catch (const Exception& e) {
        return Fail(e.Message());
    }
    return 0;
}
