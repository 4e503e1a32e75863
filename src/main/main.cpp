// SPDX-License-Identifier: MIT
// Orvane's command line: picks a backend (the simulated machine unless another
// is built and available, or named with --platform) and runs the headless
// application on it.

#include <pthread.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "app/InstanceChannel.h"
#include "app/OrvaneApp.h"
#include "controls/GammaJournal.h"
#include "platform/Backend.h"
#include "platform/linux/LinuxBackend.h"
#include "platform/posix/PosixFileManager.h"
#include "platform/posix/PosixProcessRunner.h"
#include "platform/posix/XdgAutostart.h"
#include "platform/sim/SimBackend.h"
#include "runtime/Environment.h"
#include "runtime/EventLoop.h"
#include "runtime/Logger.h"
#include "runtime/ManualExecutor.h"
#include "runtime/Runtime.h"

#ifdef ORVANE_WITH_GUI
#include <QApplication>

#include "gui/qt/GuiApplication.h"
#include "gui/qt/QtRunLoop.h"
#include "gui/qt/QtWindowToolkit.h"
#endif

namespace {

using namespace orvane;

constexpr const char* kVersion = ORVANE_VERSION;

constexpr const char* kUsage =
    R"(usage: orvane [--platform NAME] [--rig FILE] [--headless] [--once] [--rig-out FILE] [URL ...]

Controls the brightness, contrast, volume, input and power of external displays.

  --platform NAME linux or sim; by default linux where it finds display hardware
  --rig FILE      run on the simulated machine FILE describes (default: the built-in one)
  --headless      run without windows: no tray, popover, panels or overlays
  --once          launch, handle the URLs in order, wait for what they started, quit
  --rig-out FILE  at exit, write the simulated machine's state to FILE as JSON
  --help          show this text
  --version       show the version

URL commands, orvane://COMMAND?NAME=VALUE&...:
  brightness  value=0-100 or delta=-100-100
  contrast    value=0-100
  volume      value=0-100
  input       value=the monitor's input number (15 DisplayPort-1, 17 HDMI-1, ...)
  power       value=on, standby, off, toggle or 1-5
  preset      name=NAME
  info        lists the displays and their levels
  display=all, external, a 1-based index, or a display's name, connector (DP-1),
    serial or key picks the displays (default: all)
  for example: orvane 'orvane://brightness?display=external&value=60'

A running Orvane takes the URLs of a second start and handles them; the exit
status is 0 when every URL did what it asked, 1 when one did not, 2 for a
command line that is not understood. ORVANE_HANDOVER_TIMEOUT (seconds, 10)
bounds the wait for the running instance.
)";

struct Options {
    std::string platform;
    std::string rigPath;
    std::string rigOut;
    bool once = false;
    bool headless = false;
    std::vector<std::string> urls;
};

/// Whether arg is of the orvane scheme, as the URL handler takes it.
bool isOrvaneURL(std::string_view arg) {
    return arg.rfind("orvane:", 0) == 0;
}

std::optional<Options> parse(int argc, char** argv, int& status) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            status = 0;
            return std::nullopt;
        }
        if (arg == "--version") {
            std::printf("orvane %s\n", kVersion);
            status = 0;
            return std::nullopt;
        }
        if ((arg == "--rig" || arg == "--rig-out" || arg == "--platform") && i + 1 < argc) {
            (arg == "--rig" ? o.rigPath : arg == "--rig-out" ? o.rigOut : o.platform) = argv[++i];
        } else if (arg == "--headless") {
            o.headless = true;
        } else if (arg == "--once") {
            o.once = true;
        } else if (arg.size() > 1 && arg[0] == '-') {
            // -V and the like are options Orvane does not have, never URLs.
            std::fprintf(stderr, "orvane: unknown option %s (see orvane --help)\n", argv[i]);
            status = 2;
            return std::nullopt;
        } else if (!isOrvaneURL(arg)) {
            std::fprintf(stderr, "orvane: not an orvane:// URL: %s (see orvane --help)\n", argv[i]);
            status = 2;
            return std::nullopt;
        } else {
            o.urls.emplace_back(arg);
        }
    }
    return o;
}

std::string executablePath() {
    std::error_code ec;
    auto p = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::string() : p.string();
}

app::OrvaneApp::Options appOptions(std::string_view machine) {
    app::OrvaneApp::Options o;
    o.gammaJournalPath = controls::GammaJournal::defaultPath(std::string(machine));
    o.bundlePath = executablePath();
    o.homeDirectory = runtime::environmentPath("HOME").value_or("");
    return o;
}

/// False (with a message) when the state could not be written.
bool writeRigOut(platform::Backend& backend, const std::string& path) {
    if (path.empty()) return true;
    if (backend.writeState(path)) return true;
    std::fprintf(stderr, "orvane: cannot write %s\n", path.c_str());
    return false;
}

/// The log on standard output, which can also collect the lines of stretches
/// of work, several at once: what a second start asked for goes back to it.
class TeeLogger final : public runtime::Logger {
  public:
    void line(std::string_view text) override {
        out_.line(text);
        std::lock_guard lock(mutex_);
        for (auto& [id, captured] : captures_)
            (captured += text) += '\n';
    }
    std::uint64_t startCapture() {
        std::lock_guard lock(mutex_);
        captures_[++lastCapture_];
        return lastCapture_;
    }
    std::string stopCapture(std::uint64_t id) {
        std::lock_guard lock(mutex_);
        auto node = captures_.extract(id);
        return node ? std::move(node.mapped()) : std::string();
    }

  private:
    runtime::StdoutLogger out_;
    std::mutex mutex_;
    std::map<std::uint64_t, std::string> captures_;
    std::uint64_t lastCapture_ = 0;
};

/// The URLs of one start handed to this instance: answered with the lines
/// logged meanwhile and whether every URL did what it asked, once the last
/// one has ended, or been dropped at termination.
class Batch : public std::enable_shared_from_this<Batch> {
  public:
    Batch(TeeLogger& log, app::InstanceChannel::Reply reply, std::size_t urls)
        : log_(log), reply_(std::move(reply)), left_(urls), capture_(log.startCapture()) {}
    ~Batch() {
        if (capture_) lines_ += log_.stopCapture(*capture_);
        using Channel = app::InstanceChannel;
        reply_(Channel::answer(lines_, left_ > 0 ? Channel::kUnfinished
                                       : ok_     ? Channel::kHandled
                                                 : Channel::kFailed));
    }
    /// What the instance logs while it is still launching is not the answer
    /// to these URLs: the capture pauses until then.
    void pauseUntilLaunched(app::AppDelegate& delegate) {
        if (delegate.isLaunched() || !capture_) return;
        lines_ += log_.stopCapture(*capture_);
        capture_.reset();
        std::weak_ptr<Batch> weak = weak_from_this();
        delegate.whenLaunched([weak] {
            if (auto self = weak.lock()) self->capture_ = self->log_.startCapture();
        });
    }
    Batch(const Batch&) = delete;
    Batch& operator=(const Batch&) = delete;
    void finished(bool handled) {
        ok_ = ok_ && handled;
        if (left_ > 0) --left_;
    }

  private:
    TeeLogger& log_;
    app::InstanceChannel::Reply reply_;
    std::size_t left_;
    bool ok_ = true;
    std::string lines_;
    std::optional<std::uint64_t> capture_;
};

/// Waits for SIGINT, SIGTERM, SIGHUP or SIGQUIT on a thread of its own and posts
/// onSignal to the loop.
class SignalWatcher {
  public:
    SignalWatcher(const sigset_t& signals, runtime::RunLoop& loop, std::function<void()> onSignal)
        : thread_([&loop, signals, onSignal = std::move(onSignal)](std::stop_token stop) {
              while (!stop.stop_requested()) {
                  int sig = 0;
                  if (sigwait(&signals, &sig) != 0) continue;
                  if (sig == SIGUSR1) continue;  // the wake-up at exit
                  loop.post(onSignal);
                  return;
              }
          }) {}
    ~SignalWatcher() { stop(); }
    void stop() {
        if (!thread_.joinable()) return;
        thread_.request_stop();
        pthread_kill(thread_.native_handle(), SIGUSR1);
        thread_.join();
    }

  private:
    std::jthread thread_;
};

/// How long a start waits for the running instance to take its URLs and
/// answer: $ORVANE_HANDOVER_TIMEOUT seconds, 10 by default.
std::chrono::milliseconds handOverTimeout() {
    if (auto value = runtime::environmentValue("ORVANE_HANDOVER_TIMEOUT")) {
        char* end = nullptr;
        const double seconds = std::strtod(value->c_str(), &end);
        if (end && !*end && seconds > 0 && seconds <= 3600)
            return std::chrono::milliseconds(static_cast<long long>(seconds * 1000));
    }
    return std::chrono::seconds(10);
}

/// Prints what the running instance answered; the exit status it means.
int report(const std::vector<std::string>& urls, const app::InstanceChannel::Answer& answer) {
    using Channel = app::InstanceChannel;
    if (urls.empty() && answer.status == Channel::kHandled) {
        std::puts("[Orvane] Orvane is already running");
    } else {
        std::fwrite(answer.text.data(), 1, answer.text.size(), stdout);
    }
    std::fflush(stdout);
    if (answer.status == Channel::kHandled) return 0;
    const char* why = answer.status == Channel::kFailed ? "reports that a URL failed"
                      : answer.status == Channel::kUnfinished
                          ? "quit before it had handled every URL"
                      : answer.status == Channel::kTimedOut ? "does not answer"
                                                            : "closed without answering";
    std::fprintf(stderr, "orvane: the running instance %s\n", why);
    return 1;
}

/// A start is either handed over to the running instance (its exit status)
/// or becomes the instance (its claim, held for the run).
struct Instance {
    std::unique_ptr<app::InstanceChannel> claim;
    int status = 0;
};

/// Before anything else, the GUI, the store and the buses included: of two
/// starts at once the loser hands its URLs to the winner, and only the
/// instance touches the store, the monitors and the gamma journal. Runs
/// before the signals are blocked, so a signal ends the wait at once.
Instance becomeInstance(const std::vector<std::string>& urls) {
    const auto path = app::InstanceChannel::defaultPath();
    if (path.empty()) {
        std::fprintf(stderr,
                     "orvane: no private runtime folder for the instance: XDG_RUNTIME_DIR, "
                     "/run/user/%u and /tmp/orvane-%u are missing, not yours or open to others\n",
                     getuid(), getuid());
        return {nullptr, 1};
    }
    const auto deadline = std::chrono::steady_clock::now() + handOverTimeout();
    for (;;) {
        if (auto answer = app::InstanceChannel::forward(path, urls, deadline))
            return {nullptr, report(urls, *answer)};
        try {
            return {std::make_unique<app::InstanceChannel>(path), 0};
        } catch (const app::InstanceRunning&) {
            // Still starting, or a one-shot run about to end: it takes the
            // claim before it listens.
            if (std::chrono::steady_clock::now() >= deadline) {
                std::fprintf(stderr, "orvane: another instance runs but does not answer\n");
                return {nullptr, 1};
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        } catch (const std::exception& e) {
            std::fprintf(stderr, "orvane: %s\n", e.what());
            return {nullptr, 1};
        }
    }
}

/// The outcomes of a run's URLs: it succeeds when every URL reported that it
/// did what it asked (one dropped unanswered counts as failed). Main thread.
struct URLTally {
    std::size_t asked = 0, handled = 0;
    app::AppDelegate::URLDone track() {
        ++asked;
        return [this](bool ok) { handled += ok ? 1 : 0; };
    }
    bool allHandled() const { return handled == asked; }
};

/// The application on the backend's platform; none when its store cannot be
/// opened, which is fatal.
std::unique_ptr<app::OrvaneApp> makeApp(runtime::Runtime& rt, const platform::Platform& platform,
                                        const platform::Backend& backend, runtime::Logger& log) {
    // Only the installer-image clean-up uses these; a Linux install never lives
    // under /Applications, so it finds nothing to do.
    static platform::posix::PosixProcessRunner processes;
    static platform::posix::PosixFileManager files;
    try {
        auto app = std::make_unique<app::OrvaneApp>(rt, platform, appOptions(backend.name()),
                                                    processes, files, log);
        if (!backend.overlaysShow())
            app->registry().dimmingMethod = controls::SoftwareDimmer::Method::gamma;
        // Real monitors sit on buses of their own: one that holds its bus
        // must not hold up the others' cards. The simulated machine keeps
        // its one-after-another transcript.
        app->registry().probeSideBySide = backend.name() != platform::sim::SimBackend::kName;
        return app;
    } catch (const store::StoreError& e) {
        std::printf("%s%s\n", platform.texts.storeFailed.c_str(), e.what());
        std::fflush(stdout);
        return nullptr;
    }
}

/// The application of a one-shot run on the backend, started on rt; none (and
/// the backend stopped) when the store cannot be opened.
std::unique_ptr<app::OrvaneApp> makeOneShotApp(runtime::Runtime& rt, platform::Backend& backend,
                                               runtime::Logger& log) {
    auto app = makeApp(rt, backend.start(rt), backend, log);
    if (!app) {
        backend.stop();
        return nullptr;
    }
    // A one-shot run ends before a re-probe timer would fire, and a one-shot
    // volume command must not reset brightness to the default preset.
    app->registry().reprobeOnTimer = false;
    app->delegate().applyDefaultPresetAtLaunch = false;
    return app;
}

/// --once on a virtual clock: the run takes no real time and ends when
/// nothing is left to do.
int runOnce(platform::Backend& backend, const Options& options, runtime::Logger& log) {
    runtime::VirtualRuntime rt;
    auto app = makeOneShotApp(rt, backend, log);
    if (!app) return 1;
    auto& delegate = app->delegate();
    delegate.applicationDidFinishLaunching();
    URLTally urls;
    for (const auto& url : options.urls)
        delegate.handleURLEvent(url, urls.track());
    rt.executor().runUntilIdle();
    delegate.applicationWillTerminate();
    rt.executor().runUntilIdle();
    const bool written = writeRigOut(backend, options.rigOut);
    app.reset();
    backend.stop();
    return written && urls.allHandled() ? 0 : 1;
}

/// --once on real hardware: the real clock, worker threads and the event loop,
/// until nothing is left to do. A signal ends it with the termination sequence.
int runOnceThreaded(platform::Backend& backend, const Options& options, runtime::Logger& log,
                    const sigset_t& signals) {
    runtime::ThreadedRuntime rt;
    auto app = makeOneShotApp(rt, backend, log);
    if (!app) return 1;
    auto& delegate = app->delegate();
    bool signalled = false;
    SignalWatcher signalWatcher(signals, rt.loop(), [&] {
        signalled = true;
        rt.loop().stop();
    });
    delegate.applicationDidFinishLaunching();
    URLTally urls;  // counted on the main thread, read once it has stopped
    for (const auto& url : options.urls)
        delegate.handleURLEvent(url, urls.track());
    rt.runUntilIdle();
    delegate.applicationWillTerminate();
    if (!signalled) rt.runUntilIdle();
    signalWatcher.stop();
    rt.shutdown();
    const bool written = writeRigOut(backend, options.rigOut);
    app.reset();
    backend.stop();
    return written && urls.allHandled() ? 0 : 1;
}

/// What a resident run shows besides the log: nothing (headless), or the GUI.
struct FrontEnd {
    /// The backend's platform as the application gets it.
    std::function<platform::Platform(platform::Platform)> adapt = [](auto p) { return p; };
    /// Made once the application exists, released before it; quit ends the run.
    std::function<std::shared_ptr<void>(app::OrvaneApp&, std::function<void()> quit)> make =
        [](auto&, auto) { return nullptr; };
};

/// Resident: the run loop runs until SIGINT, SIGTERM, SIGHUP or SIGQUIT (or Quit).
/// The channel takes URLs once the application exists: a start meanwhile
/// waits for it, and one after a store that cannot be opened runs itself.
int runResident(platform::Backend& backend, const Options& options, TeeLogger& log,
                const sigset_t& signals, runtime::ThreadedRuntime& rt,
                app::InstanceChannel& channel, const FrontEnd& frontEnd = {}) {
    auto& loop = rt.loop();
    app::AppDelegate* delegate = nullptr;  // set before the loop runs; batches wait in it

    const auto platform = frontEnd.adapt(backend.start(rt));
    auto app = makeApp(rt, platform, backend, log);
    if (!app) {
        backend.stop();
        return 1;
    }
    delegate = &app->delegate();
    try {
        channel.serve([&loop, &delegate, &log](std::vector<std::string> urls,
                                               app::InstanceChannel::Reply reply) {
            loop.post([&delegate, &log, urls = std::move(urls), reply = std::move(reply)] {
                if (urls.empty() && delegate->presentWindow) delegate->presentWindow();
                auto batch = std::make_shared<Batch>(log, reply, urls.size());
                for (const auto& url : urls)
                    delegate->handleURLEvent(url, [batch](bool ok) { batch->finished(ok); });
                batch->pauseUntilLaunched(*delegate);
            });
        });
    } catch (const std::exception& e) {
        std::fprintf(stderr, "orvane: %s\n", e.what());
        app.reset();
        backend.stop();
        return 1;
    }

    bool terminating = false;
    auto terminate = [&] {
        if (terminating) return;
        terminating = true;
        delegate->applicationWillTerminate();
        // Let the clean-up's own posted work finish before the loop ends.
        loop.postAfter(std::chrono::milliseconds(50), [&loop] { loop.stop(); });
    };
    SignalWatcher signalWatcher(signals, loop, terminate);
    auto shown = frontEnd.make(*app, [&loop, terminate] { loop.post(terminate); });

    int status = 0;
    try {
        delegate->applicationDidFinishLaunching();
        for (const auto& url : options.urls)
            delegate->handleURLEvent(url);
        backend.run(rt.main());
        loop.run();
    } catch (const std::exception& e) {
        // Whatever escaped, the displays get their brightness and colours back.
        std::fprintf(stderr, "orvane: error: %s\n", e.what());
        status = 1;
    }
    terminate();

    // Stop taking work, drop what is queued (its peers are told so), join
    // the I/O threads; only then may the application and the machine go.
    channel.stopServing();
    signalWatcher.stop();
    shown.reset();
    rt.shutdown();
    if (!writeRigOut(backend, options.rigOut)) status = 1;
    app.reset();
    backend.stop();
    return status;
}

/// Whether a Unix-domain socket at path (or the abstract one of that name,
/// as an X server has) takes a connection.
bool socketAnswers(const std::string& path, bool abstractToo) {
    for (const bool abstract : {true, false}) {
        if (abstract && !abstractToo) continue;
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        const std::size_t offset = abstract ? 1 : 0;
        if (path.size() + offset >= sizeof addr.sun_path) continue;
        std::memcpy(addr.sun_path + offset, path.data(), path.size());
        const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0) return false;
        const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + offset +
                                                   path.size() + (abstract ? 0 : 1));
        const bool ok = connect(fd, reinterpret_cast<sockaddr*>(&addr), length) == 0;
        close(fd);
        if (ok) return true;
    }
    return false;
}

/// $DISPLAY names a server that answers; a remote one (host:N) is trusted.
bool x11Answers(const std::string& display) {
    const auto colon = display.rfind(':');
    if (colon == std::string::npos) return false;
    const std::string host = display.substr(0, colon);
    if (!host.empty() && host != "unix") return true;
    const std::string number = display.substr(colon + 1, display.find('.', colon) - colon - 1);
    if (number.empty() || number.find_first_not_of("0123456789") != std::string::npos) return false;
    return socketAnswers("/tmp/.X11-unix/X" + number, true);
}

bool waylandAnswers(const std::string& display) {
    if (display.front() == '/') return socketAnswers(display, false);
    const auto dir = runtime::environmentPath("XDG_RUNTIME_DIR");
    return dir && socketAnswers(*dir + "/" + display, false);
}

/// A desktop session shows the tray: a display server answers and nothing
/// asked for a run without windows. A stale DISPLAY (a closed session, an
/// ssh login) is said once and runs without windows: Qt would abort on it.
[[maybe_unused]] bool wantsGui(const Options& options) {
    if (options.headless || options.once) return false;
    if (runtime::environmentValue("QT_QPA_PLATFORM")) return true;
    const auto x11 = runtime::environmentValue("DISPLAY");
    const auto wayland = runtime::environmentValue("WAYLAND_DISPLAY");
    if (!x11 && !wayland) return false;
    if (x11 && x11Answers(*x11)) return true;
    if (wayland && waylandAnswers(*wayland)) {
        // Qt would try the X server it names first.
        if (x11) setenv("QT_QPA_PLATFORM", "wayland", 1);
        return true;
    }
    std::fprintf(stderr, "orvane: no display server answers at %s - running without windows\n",
                 (x11 ? "DISPLAY=" + *x11 : "WAYLAND_DISPLAY=" + *wayland).c_str());
    return false;
}

#ifdef ORVANE_HAS_GUI
/// Becomes orvane-gui with the same arguments: beside this program in a build
/// tree, in libexec once installed. Returns (having said why) only when it
/// cannot, and the run goes on without windows.
void becomeGui(char** argv) {
    const std::filesystem::path self = executablePath();
    const auto dir = self.parent_path();
    int error = ENOENT;
    for (const auto& candidate :
         {dir / "orvane-gui", dir / ".." / ORVANE_GUI_LIBEXEC / "orvane-gui"}) {
        execv(candidate.c_str(), argv);
        if (errno != ENOENT) error = errno;
    }
    std::fprintf(stderr,
                 "orvane: cannot start the GUI (orvane-gui): %s - running without windows\n",
                 std::strerror(error));
}
#endif

#ifdef ORVANE_WITH_GUI
/// Where the last automatic update check is remembered; empty without a home.
QString updateStamp() {
    const auto dir = runtime::xdgDirectory("XDG_CACHE_HOME", ".cache");
    return dir ? QString::fromStdString(*dir + "/orvane/last-update-check") : QString();
}

/// Resident with the tray and popover, on Qt's event loop. The simulated
/// machine keeps its own screens for overlays and panels: its displays are
/// not on the user's desk.
int runGui(platform::Backend& backend, const Options& options, TeeLogger& log,
           const sigset_t& signals, app::InstanceChannel& channel, char* program) {
    // Qt reads options of its own (--platform among them): it gets none of ours.
    int qtArgc = 1;
    char* qtArgv[] = {program, nullptr};
    QApplication qt(qtArgc, qtArgv);
    QApplication::setApplicationName(QStringLiteral("Orvane"));
    QApplication::setApplicationVersion(QStringLiteral(ORVANE_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("orvane"));
    QApplication::setQuitOnLastWindowClosed(false);
    runtime::ThreadedRuntime rt(std::make_unique<gui::QtRunLoop>());
    gui::QtWindowToolkit toolkit(log);
    platform::posix::XdgAutostart autostart(platform::posix::XdgAutostart::defaultConfigHome(),
                                            executablePath());
    const bool realScreens = backend.name() != platform::sim::SimBackend::kName;
    FrontEnd frontEnd;
    frontEnd.adapt = [&](platform::Platform p) {
        if (!realScreens) return p;
        return platform::Platform{p.windowServer, p.registry,       p.framebufferI2C, p.loader,
                                  toolkit,        p.audio,          p.fileSystem,     p.eventTaps,
                                  p.hotKeys,      p.keyboardLayout, p.accessibility,  p.texts};
    };
    frontEnd.make = [&](app::OrvaneApp& app, std::function<void()> quit) {
        if (realScreens) {
            toolkit.setMatcher([&registry = app.registry()](const QScreen& screen) {
                return gui::GuiApplication::matchScreen(registry, screen);
            });
            // Where no overlay can be shown, the gamma tables darken instead.
            if (toolkit.overlaysUnavailable())
                app.registry().dimmingMethod = controls::SoftwareDimmer::Method::gamma;
        }
        return std::static_pointer_cast<void>(std::make_shared<gui::GuiApplication>(
            app, rt, log,
            gui::GuiApplication::Options{toolkit, autostart, QStringLiteral(ORVANE_VERSION),
                                         QStringLiteral(ORVANE_BUILD),
                                         QUrl(QStringLiteral(ORVANE_UPDATE_FEED)), updateStamp()},
            std::move(quit)));
    };
    return runResident(backend, options, log, signals, rt, channel, frontEnd);
}
#endif

}  // namespace

int main(int argc, char** argv) {
    int status = 0;
    const auto options = parse(argc, argv, status);
    if (!options) return status;

    sigset_t signals;
    sigemptyset(&signals);
    for (int s : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGUSR1})
        sigaddset(&signals, s);

    // A closed standard output (orvane ... | head) must not end Orvane before
    // its termination sequence; the writes fail quietly instead.
    std::signal(SIGPIPE, SIG_IGN);

    std::string requested = options->platform;
    if (!options->rigPath.empty()) {
        if (requested.empty()) requested = platform::sim::SimBackend::kName;
        if (requested != platform::sim::SimBackend::kName) {
            std::fprintf(stderr, "orvane: --rig runs the simulated machine, not platform %s\n",
                         requested.c_str());
            return 2;
        }
    }

    // A resident instance handles the URLs itself, --once ones and none at
    // all included: a second application on the same store, monitors and
    // gamma journal would fight it. This comes before any bus is opened.
    auto instance = becomeInstance(options->urls);
    if (!instance.claim) return instance.status;
    const bool gui = wantsGui(*options);
#ifdef ORVANE_HAS_GUI
    // Windows need Qt, which only orvane-gui loads: --once, --headless and
    // hand-overs stay light. It claims the instance again itself.
    if (gui) {
        instance.claim.reset();
        becomeGui(argv);
        instance = becomeInstance(options->urls);
        if (!instance.claim) return instance.status;
    }
#endif

    TeeLogger log;
    // In order of preference: a real machine's backend goes before the simulated one.
    platform::linux_::LinuxBackend linux(
        log, runtime::environmentPath("ORVANE_LINUX_ROOT").value_or(""));
    platform::sim::SimBackend sim(options->rigPath);
    const std::array<platform::Backend*, 2> backends{&linux, &sim};
    platform::Backend* backend = nullptr;
    try {
        backend = &platform::chooseBackend(backends, requested);
        backend->prepare();
    } catch (const platform::NoBackend& e) {
        std::fprintf(stderr, "orvane: %s\n", e.what());
        return 2;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "orvane: %s\n", e.what());
        return 1;
    }

    log.line(backend->startLine());
    const auto mode = options->once ? platform::RunMode::once : platform::RunMode::resident;
    const auto kind = backend->runtimeFor(mode);
    // Every thread inherits the mask; one of them waits for the signals.
    if (kind == platform::RuntimeKind::threaded) pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    try {
        if (mode == platform::RunMode::once && kind == platform::RuntimeKind::virtualClock)
            return runOnce(*backend, *options, log);
        if (mode == platform::RunMode::once)
            return runOnceThreaded(*backend, *options, log, signals);
        if (mode == platform::RunMode::resident && kind == platform::RuntimeKind::threaded) {
#ifdef ORVANE_WITH_GUI
            if (gui) return runGui(*backend, *options, log, signals, *instance.claim, argv[0]);
#endif
            runtime::ThreadedRuntime rt;
            return runResident(*backend, *options, log, signals, rt, *instance.claim);
        }
        std::fprintf(stderr, "orvane: platform %s cannot run %s\n",
                     std::string(backend->name()).c_str(), options->once ? "--once" : "resident");
        return 2;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "orvane: %s\n", e.what());
        return 1;
    }
}
