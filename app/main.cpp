#include "app/Cli.h"
#include "app/Startup.h"
#include "platform/FloatEnv.h"
#include "platform/RuntimeFolder.h"
#include "platform/Version.h"

#include <QStringList>
#include <cstdio>

int main(int argc, char** argv) {
    orv::InitThreadFloatingPoint();
    // A Wayland socket named relative to the runtime folder stays reachable when that folder changes.
    orv::PinWaylandDisplay();
    // Before Qt looks for it; the disk helper inherits the choice.
    orv::EnsureRuntimeFolder();

    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);

    // The windowed program lets Qt take its own options (-platform, -style, ...) first.
    const bool windowed = !args.contains(QStringLiteral("--cli")) &&
                          !args.contains(QStringLiteral("--help")) && !args.contains(QStringLiteral("-h")) &&
                          !args.contains(QStringLiteral("--version"));
    if (windowed) {
        bool qtOptionsOnly = true;
        for (const QString& a : args)
            qtOptionsOnly = qtOptionsOnly && !a.startsWith(QStringLiteral("--"));
        if (qtOptionsOnly)
            return orv::RunGui(argc, argv);
    }

    QString error;
    const auto options = orv::ParseOptions(args, &error);
    if (!options) {
        std::fprintf(stderr, "orvanta: %s\n\n%s", error.toUtf8().constData(),
                     orv::UsageText().toUtf8().constData());
        return 2;
    }
    if (options->help) {
        std::fputs(orv::UsageText().toUtf8().constData(), stdout);
        return 0;
    }
    if (options->version) {
        std::printf("orvanta %s\n", orv::ProgramVersionText().toUtf8().constData());
        return 0;
    }
    if (options->history)
        return orv::ListHistory();
    if (options->exportRun)
        return orv::ExportRun(*options);
    if (options->compare)
        return orv::CompareHistory(options->compareRuns);
    if (options->cli)
        return orv::RunCli(argc, argv, *options);
    std::fprintf(stderr, "%s", orv::UsageText().toUtf8().constData());
    return 2;
}
