#pragma once
#include "sysinfo/SysSources.h"
#include "tests/support/TestEnv.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <memory>

namespace orv::test {

// A fake file-system root for the system-information readers.
class SysFixture {
public:
    SysFixture() : root_(MakeTempDir(QStringLiteral("sysroot"))) {}

    void Write(const QString& relative, const QByteArray& contents) const {
        const QString path = root_ + QLatin1Char('/') + relative;
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile f(path);
        if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            f.write(contents);
    }
    void MakeDir(const QString& relative) const { QDir().mkpath(root_ + QLatin1Char('/') + relative); }

    // Puts the fixture in place for the readers; CPUID answers leaf 1 with the given signature.
    void Activate(std::uint32_t eax = 0x000906EA, std::uint32_t edx = 0xBFEBFBFF) {
        SysSources s;
        s.root = root_;
        s.cpuid = [eax, edx](std::uint32_t leaf) -> std::optional<std::array<std::uint32_t, 4>> {
            if (leaf != 1)
                return std::nullopt;
            return std::array<std::uint32_t, 4>{eax, 0, 0, edx};
        };
        scoped_ = std::make_unique<ScopedSysSources>(s);
    }

    QString Root() const { return root_; }

private:
    QString root_;
    std::unique_ptr<ScopedSysSources> scoped_;
};

inline QByteArray CpuInfo(int packages, int perPackage,
                          const char* name = "Intel(R) Core(TM) i7-8700 CPU @ 3.20GHz") {
    QByteArray out;
    int n = 0;
    for (int p = 0; p < packages; ++p) {
        for (int c = 0; c < perPackage; ++c, ++n) {
            out += "processor\t: " + QByteArray::number(n) + "\n";
            out += "vendor_id\t: GenuineIntel\ncpu family\t: 6\nmodel\t\t: 158\n";
            out += QByteArray("model name\t: ") + name + "\n";
            out += "stepping\t: 10\ncpu MHz\t\t: 3191.998\n";
            out += "physical id\t: " + QByteArray::number(p) + "\n";
            out += "siblings\t: " + QByteArray::number(perPackage) + "\n";
            out += "core id\t\t: " + QByteArray::number(c) + "\n";
            out += "cpu cores\t: " + QByteArray::number(perPackage) + "\n\n";
        }
    }
    return out;
}

} // namespace orv::test
