#include "PrintMain.h"

#include "model/PrintCommon.h"
#include "persistence/PersistenceManager.h"
#include "view/KovaApplication.h"

#include <QDir>

TPrintMainFrm* PrintMainFrm = nullptr;

TPrintMainFrm::TPrintMainFrm(const QString& programDir, QWidget* parent)
    : QMainWindow(parent), FProgramDir(programDir) {
    setObjectName(QStringLiteral("PrintMainFrm"));
    setWindowTitle(QStringLiteral("mainView"));
    setFixedSize(493, 664);
}

TPrintMainFrm::~TPrintMainFrm() = default;

QString TPrintMainFrm::DatabasePath(const QString& programDir) {
    return QDir(programDir).absoluteFilePath(QStringLiteral("data/KOVAUTF8.FDB"));
}

bool TPrintMainFrm::FormCreate() {
    try {
        PersistenceManager().ConnectDatabase(DatabasePath(FProgramDir), QStringLiteral("SYSDBA"),
                                             QStringLiteral("pinecrest"), QString(),
                                             QStringLiteral("FBAPI"));
    } catch (const Exception& e) {
        ShowMessage(e.Message());
        return false;
    }
    // Later failures reach the error handler; the window still opens, uncaptioned.
    try {
        PrintModel = new TPrintModel;
        PrintModel->Load();
        setWindowTitle(QStringLiteral("KOVA 自定义定位打印 v5.1"));
        SetData();
    } catch (...) {
        TKovaApplication::HandleException(std::current_exception());
    }
    return true;
}

void TPrintMainFrm::SetData() {
    printStoped = false;
    RenderView();
}

void TPrintMainFrm::RenderView() {}

int RunKova(const QString& programDir) {
    QApplication::setApplicationName(QStringLiteral("Print"));
    auto* frm = new TPrintMainFrm(programDir);
    frm->setAttribute(Qt::WA_DeleteOnClose);
    PrintMainFrm = frm;
    if (!frm->FormCreate()) {
        delete frm;
        PrintMainFrm = nullptr;
        return 0;
    }
    frm->show();
    QApplication::exec();
    PrintMainFrm = nullptr;
    delete PrintModel;
    PrintModel = nullptr;
    PersistenceManager().Disconnect();
    return 0;
}
