#pragma once
// The program's fixed names and keys are ASCII constants; this turns one into text.
#include <QString>

namespace orv {

inline QString L(const char* s) {
    return QString::fromLatin1(s);
}

} // namespace orv
