// ExtractAll on arbitrary bytes: the archive object and the engine must fail cleanly, never crash, and
// never write outside the target folder.
#include "workloads/SevenZip.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>
#include <memory>

namespace {

struct State {
    QTemporaryDir dir;
    std::unique_ptr<orv::TSevenZip> zip;
    QString archive;
    QString target;
};

State* g_state = nullptr;

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    g_state = new State;
    g_state->zip = std::make_unique<orv::TSevenZip>();
    g_state->zip->ApplyDesignSettings();
    g_state->archive = g_state->dir.path() + QStringLiteral("/fuzz.7z");
    g_state->target = g_state->dir.path() + QStringLiteral("/out/inner");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    {
        QFile f(g_state->archive);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return 0;
        f.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size));
    }
    orv::TSevenZip& zip = *g_state->zip;
    zip.SZFileName = g_state->archive;
    zip.ExtrBaseDir = g_state->target;
    zip.ExtractOptions.NoPaths = (size % 2) == 0; // both ways of placing items
    zip.ExtractAll();
    // Everything extracted stays below the target folder.
    const QStringList top = QDir(g_state->dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
    for (const QString& name : top)
        if (name != QLatin1String("fuzz.7z") && name != QLatin1String("out"))
            __builtin_trap();
    QDir(g_state->dir.path() + QStringLiteral("/out")).removeRecursively();
    return 0;
}

// The engine asks for whatever a damaged header claims and copes when malloc says no; let it say no
// instead of reporting the request.
extern "C" const char* __asan_default_options() {
    return "allocator_may_return_null=1";
}
