#pragma once
#include "platform/MessageBoxes.h"

#include <QStringList>

namespace orv::test {

// Message boxes that answer questions from a script and remember everything they were told.
class RecordingBoxes : public MessageBoxes {
public:
    explicit RecordingBoxes(bool yes = true) : answer(yes) {}
    bool answer;
    QStringList questions, infos, errors;
    bool Question(const QString& text) override {
        questions << text;
        return answer;
    }
    void Information(const QString& text) override { infos << text; }
    void Error(const QString& text) override { errors << text; }
};

} // namespace orv::test
