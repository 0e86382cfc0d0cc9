// The disk helper: measures write, read and seek times on the file system of the data folder and
// leaves them for the program under "Software\Orvanta" (wynik1, wynik2, wynik3, milliseconds).
// Exit status: 0 done, 1 not enough space (or disk full), 2 I/O error, 3 closed on request,
// 4 folder cannot be made, 64 bad arguments.
#include "core/DataFolder.h"
#include "hwtests/DiskStage.h"
#include "hwtests/hdd/DiskBench.h"
#include "hwtests/hdd/HddView.h"
#include "hwtests/hdd/HddWindow.h"
#include "platform/Registry.h"
#include "platform/SingleInstance.h"
#include "platform/WindowClass.h"

#include <QApplication>
#include <QDir>
#include <QSocketNotifier>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

const char* const kWindowClass = orv::kDiskHelperWindowClass;
int g_signalPipe[2] = {-1, -1};

// The offscreen platform reports window hints it cannot honour; nothing a user needs to read.
void FilterMessages(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (type == QtWarningMsg && text.contains(QLatin1String("propagateSizeHints")))
        return;
    std::fprintf(stderr, "%s\n", qFormatLogMessage(type, context, text).toLocal8Bit().constData());
}

void OnTerminate(int) {
    const char c = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_signalPipe[1], &c, 1);
}

} // namespace

int main(int argc, char** argv) {
    // The helper goes with the program: a helper left running would spoil the next run's disk.
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (const QByteArray parent = qgetenv(orv::kHelperParentVariable); !parent.isEmpty()) {
        if (parent.toLongLong() != static_cast<qint64>(::getppid()))
            return static_cast<int>(orv::DiskBenchStatus::Cancelled); // it died before we could ask
    }
    // The window only shows progress: without a reachable display the measurement runs all the same.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
    } else if (!qgetenv("QT_QPA_PLATFORM").contains("offscreen")) {
        qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM") + ";offscreen");
    }
    // Instance part of the X11 window class; the class part comes from the application name.
    qputenv("RESOURCE_NAME", kWindowClass);
    // A file-size limit then shows as a failed write instead of ending the process.
    std::signal(SIGXFSZ, SIG_IGN);

    qInstallMessageHandler(FilterMessages);
    QApplication app(argc, argv);
    QCoreApplication::setApplicationName(QString::fromLatin1(kWindowClass));

    orv::DiskBenchOptions options;
    const QStringList args = app.arguments();
    for (qsizetype i = 1; i < args.size(); ++i) {
        // Smaller volumes for the program's own tests; the program starts the helper without arguments.
        if (args[i] == QLatin1String("--size-mb") && i + 1 < args.size()) {
            bool ok = false;
            const qlonglong mb = args[++i].toLongLong(&ok);
            if (!ok || mb <= 0) {
                std::fprintf(stderr, "orvanta-hdd: niepoprawny rozmiar: %s\n",
                             args[i].toLocal8Bit().constData());
                return 64;
            }
            options.size = mb * orv::kMiB;
            options.seekFileSize = std::min(options.size, orv::kSeekFileSize);
        } else {
            std::fprintf(stderr, "orvanta-hdd: nieznana opcja: %s\n", args[i].toLocal8Bit().constData());
            return 64;
        }
    }
    options.folder = orv::DataFolder(QCoreApplication::applicationDirPath()) + QStringLiteral("/hdd");
    // This run's files carry its process id and stay under its lock while they exist.
    options.runId = QString::number(QCoreApplication::applicationPid());
    QDir().mkpath(options.folder);
    orv::SingleInstanceLock runLock(orv::DiskHelperLockName(options.runId), options.folder);
    runLock.TryAcquire();

    orv::HddWindow frm(orv::LocateDisk(options.folder), options);
    frm.setWindowTitle(QString::fromLatin1(kWindowClass));

    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_signalPipe) != 0)
        return static_cast<int>(orv::DiskBenchStatus::IoError);
    QSocketNotifier notifier(g_signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&notifier, &QSocketNotifier::activated, &frm, [&frm] {
        char c;
        [[maybe_unused]] const ssize_t n = ::read(g_signalPipe[0], &c, 1);
        frm.close();
    });
    struct sigaction sa {};
    sa.sa_handler = OnTerminate;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);

    frm.show();
    orv::WindowClassRegistration registration(QString::fromLatin1(kWindowClass));

    // The program that started us shows the progress in its own terms (the command line's live line).
    const bool reportProgress = !qEnvironmentVariableIsEmpty(orv::kHelperProgressVariable);

    orv::DiskBenchResult result;
    std::thread worker([&] {
        orv::DiskBench bench(options);
        // At most ten updates a second: the window must not take time from the measurement.
        const auto origin = std::chrono::steady_clock::now();
        auto last = origin - std::chrono::seconds(1);
        orv::DiskBenchPhase lastPhase = orv::DiskBenchPhase::Seek;
        result = bench.Run(frm.Cancel, [&](orv::DiskBenchPhase phase, int percent) {
            const auto now = std::chrono::steady_clock::now();
            if (phase == lastPhase && percent < 100 && now - last < std::chrono::milliseconds(100))
                return;
            last = now;
            lastPhase = phase;
            const double seconds = std::chrono::duration<double>(now - origin).count();
            if (reportProgress) {
                // Preparing the seek file is no part of the seek time: its step waits at 0 %.
                const int shown = phase == orv::DiskBenchPhase::PrepareSeek ? 0 : percent;
                std::printf("progress %d %d\n", orv::PhaseStep(phase), shown);
                std::fflush(stdout);
            }
            QMetaObject::invokeMethod(
                &frm, [&frm, phase, percent, seconds] { frm.ShowProgress(phase, percent, seconds); },
                Qt::QueuedConnection);
        });
        QMetaObject::invokeMethod(
            &app, [] { QCoreApplication::exit(0); }, Qt::QueuedConnection);
    });
    app.exec();
    worker.join();

    if (result.status == orv::DiskBenchStatus::Ok) {
        orv::RegistryKey key(QString::fromLatin1(orv::kResultKey), true);
        key.WriteInteger(QString::fromLatin1(orv::kWriteResult), result.writeMs);
        key.WriteInteger(QString::fromLatin1(orv::kReadResult), result.readMs);
        key.WriteInteger(QString::fromLatin1(orv::kSeekResult), result.seekMs);
        key.WriteInteger(QString::fromLatin1(orv::kDirectResult),
                         result.directWrite && result.directRead && result.directSeek ? 1 : 0);
    } else if (!result.error.isEmpty()) {
        std::fprintf(stderr, "orvanta-hdd: %s\n", result.error.toLocal8Bit().constData());
        orv::RegistryKey key(QString::fromLatin1(orv::kResultKey), true);
        key.WriteString(QString::fromLatin1(orv::kErrorResult), result.error);
    }
    frm.Finished = true;
    frm.close();
    return static_cast<int>(result.status);
}
