#include "PrintMain.h"

#include <QFileInfo>

int main(int argc, char** argv) {
    // The program's folder comes from the executable's own path, wherever it was
    // started from.
    return KovaMain(argc, argv, QFileInfo(QStringLiteral("/proc/self/exe")).canonicalPath());
}
