// The program as KOVA runs it (KovaMain), on the program folder given as the first
// argument, with one scripted step once the main window is up: the second argument
// opens a dialog or starts a print run. "ready" on standard output says the step is
// under way, so that a test can signal the process then.
//   idle            nothing
//   about           the about box
//   project-editor  the project editor for a new project
//   item-editor     the item editor for a new item of the first project
//   message         a message box of the error handler
//   print           a run of 100000 pages of the first project; ready after page 20
#include "PrintMain.h"
#include "base/Errors.h"
#include "view/KovaApplication.h"

#include <QApplication>
#include <QComboBox>
#include <QSpinBox>
#include <QTimer>

#include <cstdio>

namespace {

QString gStep;

void Ready() {
    std::printf("ready\n");
    std::fflush(stdout);
}

// Polls until `done` holds, then says so once.
void ReadyWhen(std::function<bool()> done) {
    auto* timer = new QTimer(qApp);
    QObject::connect(timer, &QTimer::timeout, [timer, done] {
        if (!done())
            return;
        timer->stop();
        timer->deleteLater();
        Ready();
    });
    timer->start(20);
}

void SelectFirstProject() {
    PrintMainFrm->cbbProjectList->setCurrentIndex(0);
    PrintMainFrm->cbbProjectListChange();
}

void RunStep() {
    TPrintMainFrm* frm = PrintMainFrm;
    if (gStep == "idle") {
        Ready();
        return;
    }
    if (gStep == "print") {
        SelectFirstProject();
        frm->PrnSerialFrom->setValue(1);
        frm->PrnSerialTo->setValue(100000);
        ReadyWhen([frm] { return frm->PrnSerialFrom->value() >= 20; });
        frm->btnPrintClick();
        return;
    }
    ReadyWhen([] { return QApplication::activeModalWidget() != nullptr; });
    if (gStep == "about") {
        frm->mmAboutClick();
    } else if (gStep == "project-editor") {
        frm->btnProjectAddClick();
    } else if (gStep == "item-editor") {
        SelectFirstProject();
        frm->btnAddClick();
    } else if (gStep == "message") {
        TKovaApplication::HandleException(
            std::make_exception_ptr(Exception(QStringLiteral("A message the user has not read"))));
    } else {
        std::fprintf(stderr, "unknown step %s\n", qPrintable(gStep));
        QCoreApplication::exit(2);
    }
}

// Runs as the application object is made: waits for the shown main window.
void ScheduleStep() {
    auto* timer = new QTimer(qApp);
    QObject::connect(timer, &QTimer::timeout, [timer] {
        if (!PrintMainFrm || !PrintMainFrm->isVisible())
            return;
        timer->stop();
        timer->deleteLater();
        RunStep();
    });
    timer->start(20);
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(ScheduleStep)

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: kova-scripted PROGRAM-FOLDER STEP\n");
        return 2;
    }
    gStep = QString::fromLocal8Bit(argv[2]);
    return KovaMain(argc, argv, QString::fromLocal8Bit(argv[1]));
}
