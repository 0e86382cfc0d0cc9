#include "platform/Version.h"

namespace orv {

std::optional<std::array<int, 4>> ProgramVersionRecord() {
#if defined(ORVANTA_VERSION_MAJOR) && defined(ORVANTA_VERSION_MINOR) && defined(ORVANTA_VERSION_PATCH) &&    \
    defined(ORVANTA_VERSION_TWEAK)
    return std::array<int, 4>{ORVANTA_VERSION_MAJOR, ORVANTA_VERSION_MINOR, ORVANTA_VERSION_PATCH,
                              ORVANTA_VERSION_TWEAK};
#else
    return std::nullopt;
#endif
}

QString ProgramVersionText() {
    const auto v = ProgramVersionRecord();
    if (!v)
        return {};
    return QStringLiteral("%1.%2.%3.%4").arg((*v)[0]).arg((*v)[1]).arg((*v)[2]).arg((*v)[3]);
}

} // namespace orv
