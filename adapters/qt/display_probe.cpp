#include "adapters/qt/display_probe.hpp"

#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QGuiApplication>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>

namespace tbln::qt {

namespace {

// How long the child may take to reach the display and make its application object.
constexpr auto kProbeLimit = std::chrono::seconds(60);
// The most of the child's messages that is kept: their first line is all that is shown.
constexpr std::size_t kMaxMessages = 64 * 1024;

// The environment that decides Qt's platform, as the user set it.
std::string Setting() {
    std::string out;
    for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) {
        const char* value = std::getenv(name);
        if (!value || !*value) continue;
        out += (out.empty() ? "" : ", ") + std::string(name) + "=" + value;
    }
    return out.empty() ? "no DISPLAY, WAYLAND_DISPLAY or QT_QPA_PLATFORM" : out;
}

// What Qt said, in one line: the first message, without its logging category
// ("qt.qpa.xcb: "), passing over Qt's closing advice, which is not ours to give.
std::string QtSays(const std::string& messages) {
    std::istringstream lines(messages);
    std::string line;
    while (std::getline(lines, line)) {
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
        if (line.empty() || line.starts_with("This application failed to start") ||
            line.starts_with("Available platform plugins")) {
            continue;
        }
        if (line.starts_with("qt.")) {
            const auto colon = line.find(": ");
            if (colon != std::string::npos) line.erase(0, colon + 2);
        }
        return line;
    }
    return "";
}

// In the child: makes the application object and ends without running anything of
// the parent's (no exit handlers, no buffers flushed). A platform that cannot start
// ends the child in Qt's own way.
[[noreturn]] void TryInChild(int messages) {
    ::dup2(messages, STDOUT_FILENO);
    ::dup2(messages, STDERR_FILENO);
    const rlimit noCore{0, 0};
    ::setrlimit(RLIMIT_CORE, &noCore);
    std::signal(SIGABRT, SIG_DFL);
    static int argc = 1;
    static char name[] = "tbln";
    static char* argv[] = {name, nullptr};
    new QGuiApplication(argc, argv);
    ::_exit(0);
}

}  // namespace

std::string DisplayProblem() {
    // Nothing buffered is left for the child to inherit.
    std::fflush(nullptr);
    int pipe[2];
    if (::pipe2(pipe, O_CLOEXEC) != 0) {
        return std::string("the display cannot be tried: ") + std::strerror(errno);
    }
    const pid_t child = ::fork();
    if (child < 0) {
        const int e = errno;
        ::close(pipe[0]);
        ::close(pipe[1]);
        return std::string("the display cannot be tried: ") + std::strerror(e);
    }
    if (child == 0) TryInChild(pipe[1]);
    ::close(pipe[1]);

    std::string messages;
    bool answered = true;
    const auto deadline = std::chrono::steady_clock::now() + kProbeLimit;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            answered = false;
            break;
        }
        pollfd p{pipe[0], POLLIN, 0};
        const int ready = ::poll(&p, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) continue;  // the deadline is looked at again
        char buffer[4096];
        const ssize_t n = ::read(pipe[0], buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;  // the child has ended (or closed its output)
        if (messages.size() < kMaxMessages) messages.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(pipe[0]);
    if (!answered) ::kill(child, SIGKILL);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (answered && WIFEXITED(status) && WEXITSTATUS(status) == 0) return "";

    std::string why = answered ? QtSays(messages) : "";
    if (why.empty()) {
        why = answered ? "Qt's platform could not start"
                       : "the display did not answer within a minute";
    }
    return "Qt cannot show windows here (" + Setting() + "): " + why;
}

}  // namespace tbln::qt
