#pragma once
// The compositor of a Wayland test program (tests/support/private-wayland): what weston logged of its
// clients' requests, screenshots of its output and input into it through the X server it is nested in.
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QStringList>
#include <QTemporaryDir>

namespace orv::test {

// Why the Wayland tests cannot run here; empty when they can.
inline QString WaylandMissing() {
    const QString missing = qEnvironmentVariable("ORVANTA_WAYLAND_MISSING");
    if (!missing.isEmpty())
        return QStringLiteral("no Wayland compositor to test on: ") + missing;
    if (qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") || qEnvironmentVariableIsEmpty("ORVANTA_WESTON_LOG"))
        return QStringLiteral("not started by tests/support/private-wayland");
    return {};
}

// Weston's log: every request and event of its clients, one line each.
class WestonLog {
public:
    // Marks the end of what is logged so far; Requests() looks only past it.
    void Mark() { from_ = Read().size(); }
    // Requests past the mark ("xdg_toplevel@12.set_minimized()") whose text matches the pattern.
    QStringList Requests(const QString& pattern) const {
        static const QRegularExpression request(QStringLiteral(" rq (\\S+\\(.*\\))$"));
        const QRegularExpression wanted(pattern);
        QStringList out;
        for (const QByteArray& line : Read().mid(from_).split('\n')) {
            const QRegularExpressionMatch m = request.match(QString::fromUtf8(line));
            if (m.hasMatch() && wanted.match(m.captured(1)).hasMatch())
                out << m.captured(1);
        }
        return out;
    }

private:
    static QByteArray Read() {
        QFile f(qEnvironmentVariable("ORVANTA_WESTON_LOG"));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    qsizetype from_ = 0;
};

// The compositor's whole output as it shows it now; null when no screenshot could be taken.
inline QImage WestonScreenshot() {
    QTemporaryDir dir;
    QProcess p;
    p.setWorkingDirectory(dir.path());
    p.start(QStringLiteral("weston-screenshooter"), {});
    if (!p.waitForFinished(10000) || p.exitCode() != 0)
        return {};
    const QStringList shots = QDir(dir.path()).entryList({QStringLiteral("*.png")}, QDir::Files);
    if (shots.isEmpty())
        return {};
    // The output's fourth byte is no alpha: whatever the last blend left there. The screenshot keeps it
    // as alpha and divides the colours by it; multiplied back, the colours are the output's own.
    const QImage premultiplied =
        QImage(dir.filePath(shots.first())).convertToFormat(QImage::Format_ARGB32_Premultiplied);
    return QImage(premultiplied.constBits(), premultiplied.width(), premultiplied.height(),
                  premultiplied.bytesPerLine(), QImage::Format_RGB32)
        .copy();
}

// Pointer and keys as a user gives them: through the X server into weston, which passes them on to the
// client under the pointer or with the keyboard focus.
inline bool UserInput(const QStringList& xdotoolArgs) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), qEnvironmentVariable("ORVANTA_WESTON_X_DISPLAY"));
    p.setProcessEnvironment(env);
    p.start(QStringLiteral("xdotool"), xdotoolArgs);
    return p.waitForFinished(10000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

} // namespace orv::test
