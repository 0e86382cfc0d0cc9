#include "platform/MessageBoxes.h"

#include <cstdio>

namespace orv {

namespace {

class ConsoleBoxes final : public MessageBoxes {
public:
    bool answer = true;
    // Without a window nobody could answer; the question takes the default answer silently.
    bool Question(const QString&) override { return answer; }
    void Information(const QString& text) override {
        std::fprintf(stderr, "%s: %s\n", qPrintable(kProgramTitle), qPrintable(text));
    }
    void Error(const QString& text) override {
        std::fprintf(stderr, "%s: %s\n", qPrintable(kProgramTitle), qPrintable(text));
    }
};

ConsoleBoxes& Console() {
    static ConsoleBoxes boxes;
    return boxes;
}

MessageBoxes* g_boxes = nullptr;

} // namespace

void SetMessageBoxes(MessageBoxes* boxes) {
    g_boxes = boxes;
}

MessageBoxes& Boxes() {
    return g_boxes ? *g_boxes : Console();
}

void SetConsoleDefaultAnswer(bool yes) {
    Console().answer = yes;
}

} // namespace orv
