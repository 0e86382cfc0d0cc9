#pragma once
#include <QString>

#include <cstdint>

namespace orv {

// The operating-system version record. An unfilled record has empty texts and zero numbers.
struct TWindowsTypeEx {
    QString name; // product + " " + edition
    QString product;
    QString edition;
    QString version; // "%d.%d"
    std::uint32_t build = 0;
    QString servicePack;        // "<text> (Build <n>)", trimmed
    QString servicePackVersion; // "%d.%d"
};

// Filled from the running Linux system:
//   product            os-release NAME ("Debian GNU/Linux"), else the kernel's type ("Linux");
//   edition            os-release VERSION ("12 (bookworm)"), else VERSION_ID, else empty;
//   version            kernel major.minor ("6.1");
//   build              kernel patch level (third number of the release);
//   servicePack        kernel release + " (Build <build & 0xFFFF>)", trimmed ("6.1.0-18-amd64 (Build 0)");
//   servicePackVersion os-release VERSION_ID as "%d.%d" ("12" → "12.0", "22.04" → "22.4").
// Without a kernel release the record stays unfilled.
TWindowsTypeEx GetWindowsVersion();

// Processor clock in MHz: the time-stamp counter over 500 ms at the best priority the system grants.
// Where there is no counter, the frequency the kernel reports; 0 when nothing is known.
double MeasureCpuMhz();

} // namespace orv
