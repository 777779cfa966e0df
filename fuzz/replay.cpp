// Runs every file under the given folders (a missing one holds none) through one fuzz target's
// entry point, without libFuzzer: the suite replays the seed corpus and every finding with the
// normal compiler. An input that crashes, hangs or takes more than 1 GB fails it,
// naming the input.
#include "FuzzInput.h"

#include <QByteArray>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <csignal>
#include <cstdio>
#include <sys/resource.h>
#include <unistd.h>

namespace {

constexpr unsigned kSecondsPerInput = 10;
constexpr long kMaxResidentKiB = 1024 * 1024;

char gCurrent[4096];

void onAlarm(int) {
    static const char prefix[] = "replay: no answer within the time limit: ";
    [[maybe_unused]] ssize_t n = ::write(2, prefix, sizeof prefix - 1);
    n = ::write(2, gCurrent, std::strlen(gCurrent));
    n = ::write(2, "\n", 1);
    ::_exit(3);
}

// A crash names the input before the default action ends the process.
void onCrash(int signal) {
    static const char prefix[] = "replay: crashed on ";
    [[maybe_unused]] ssize_t n = ::write(2, prefix, sizeof prefix - 1);
    n = ::write(2, gCurrent, std::strlen(gCurrent));
    n = ::write(2, "\n", 1);
    ::raise(signal);
}

long residentKiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

} // namespace

int main(int argc, char** argv) {
    LLVMFuzzerInitialize(&argc, &argv);
    QStringList files;
    for (int i = 1; i < argc; ++i) {
        const QString root = QString::fromLocal8Bit(argv[i]);
        // A target without findings has no folder of them.
        if (!QFileInfo(root).isDir())
            continue;
        QDirIterator it(root, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext())
            files << it.next();
    }
    files.sort();
    if (files.isEmpty()) {
        std::fprintf(stderr, "replay: no inputs\n");
        return 2;
    }
    std::signal(SIGALRM, onAlarm);
    for (int signal : {SIGABRT, SIGSEGV, SIGBUS, SIGFPE, SIGILL}) {
        struct sigaction action {};
        action.sa_handler = onCrash;
        action.sa_flags = SA_RESETHAND;
        sigemptyset(&action.sa_mask);
        sigaction(signal, &action, nullptr);
    }
    for (const QString& name : files) {
        QFile file(name);
        if (!file.open(QIODevice::ReadOnly)) {
            std::fprintf(stderr, "replay: cannot read %s\n", qPrintable(name));
            return 2;
        }
        const QByteArray data = file.readAll();
        std::snprintf(gCurrent, sizeof gCurrent, "%s", qPrintable(name));
        alarm(kSecondsPerInput);
        LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(data.constData()),
                               size_t(data.size()));
        alarm(0);
        if (residentKiB() > kMaxResidentKiB) {
            std::fprintf(stderr, "replay: more than 1 GB after %s\n", qPrintable(name));
            return 4;
        }
    }
    std::printf("%lld inputs replayed\n", static_cast<long long>(files.size()));
    return 0;
}
