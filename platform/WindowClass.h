#pragma once
#include <QString>

#include <cstdint>
#include <memory>
#include <optional>

namespace orv {

// Window classes across processes. A program that shows a window of a class announces it with a
// WindowClassRegistration (a small file in the user's runtime folder naming its process); another
// program finds it by class and asks it to close with SIGTERM, which the owner treats as a close
// request. This works the same with or without a display.
class WindowClassRegistration {
public:
    explicit WindowClassRegistration(const QString& className);
    ~WindowClassRegistration();
    WindowClassRegistration(const WindowClassRegistration&) = delete;
    WindowClassRegistration& operator=(const WindowClassRegistration&) = delete;
    bool Ok() const { return ok_; }

private:
    QString file_;
    bool ok_ = false;
};

struct WindowHandle {
    std::int64_t pid = 0;
    std::uint64_t startTime = 0; // guards against a reused process id
    QString file;
};

// A live window of that class; stale announcements of dead processes are removed on the way.
std::optional<WindowHandle> FindWindowByClass(const QString& className);

// True while the window's process lives and its announcement stands.
bool WindowExists(const WindowHandle& w);

// Close request (SIGTERM); when the window still exists after timeoutMs, its process is killed.
// Returns true when the window closed by itself.
inline constexpr int kCloseWindowTimeoutMs = 5000;
bool CloseOrKillWindow(const WindowHandle& w, int timeoutMs = kCloseWindowTimeoutMs);

} // namespace orv
