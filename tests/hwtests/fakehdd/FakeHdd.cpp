// Stands in for the disk helper in the disk stage's tests: announces the "Hdd Test" window, makes a
// test file, and then, by FAKE_HDD_MODE:
//   results   reports a step and prints a line of its own on standard output, writes
//             FAKE_HDD_RESULTS ("w1,w2,w3") as the three results and exits;
//   polite    waits; a close request (SIGTERM) removes its file and ends it;
//   stubborn  waits and ignores close requests.
#include "core/DataFolder.h"
#include "platform/Registry.h"
#include "platform/WindowClass.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <thread>

namespace {
std::atomic<bool> g_close{false};
void OnTerminate(int) {
    g_close.store(true);
}
} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QByteArray mode = qgetenv("FAKE_HDD_MODE");
    const QString folder = orv::DataFolder(QCoreApplication::applicationDirPath()) + QStringLiteral("/hdd");
    QDir().mkpath(folder);
    const QString file = folder + QStringLiteral("/testdata1.dat");
    QFile f(file);
    if (f.open(QIODevice::WriteOnly))
        f.write(QByteArray(4096, 'x'));
    f.close();

    if (mode == "stubborn")
        std::signal(SIGTERM, SIG_IGN);
    else
        std::signal(SIGTERM, OnTerminate);
    orv::WindowClassRegistration window(QStringLiteral("Hdd Test"));

    if (mode == "results") {
        std::printf("progress 2 40\nkomunikat pomocnika\n");
        std::fflush(stdout);
        const QList<QByteArray> v = qgetenv("FAKE_HDD_RESULTS").split(',');
        orv::RegistryKey key(QStringLiteral("Software\\Orvanta"), true);
        const char* names[3] = {"wynik1", "wynik2", "wynik3"};
        for (int i = 0; i < 3 && i < v.size(); ++i)
            key.WriteInteger(QString::fromLatin1(names[i]), v[i].toInt());
        return 0;
    }
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!g_close.load() && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    QFile::remove(file);
    return 3;
}
