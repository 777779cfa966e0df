#include "PrintMain.h"
#include "model/Font.h"
#include "model/bom/SettingBom.h"
#include "persistence/FbLayer.h"
#include "view/ABOUT.h"
#include "view/KovaApplication.h"

#include <QFileInfo>

int main(int argc, char** argv) {
    // The embedded engine reads its configuration when the client library loads,
    // so the environment is set before anything else; the program's folder comes
    // from the executable's own path.
    const QString programDir = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalPath();
    SetupFirebirdEnvironment(programDir);
    RegisterBusinessObjects();
    RegisterFirebirdLayer();

    TKovaApplication app(argc, argv);
    InstallFontSubstitutions();
    WatchTerminationSignals([] {
        if (PrintMainFrm)
            PrintMainFrm->TerminateRequested();
        else
            QCoreApplication::quit();
    });
    InstallTranslations();
    InstallHelpViewer();
    return RunKova(QCoreApplication::applicationDirPath());
}
