// SPDX-License-Identifier: MIT
// Orvane's command line: picks a backend (the simulated machine unless another
// is built and available, or named with --platform) and runs the headless
// application on it.

#include <pthread.h>
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
#include "dbus/SessionBusService.h"
#include "main/CommandLine.h"
#include "main/DisplayServerCheck.h"
#include "main/Handover.h"
#include "main/SignalWatcher.h"
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
#include "runtime/TeeLogger.h"

#ifdef ORVANE_WITH_GUI
#include <QApplication>

#include "gui/qt/GuiApplication.h"
#include "gui/qt/QtRunLoop.h"
#include "gui/qt/QtWindowToolkit.h"
#endif

namespace {

using namespace orvane;
using cli::Options;
using cli::SignalWatcher;
using runtime::TeeLogger;

/// Where --json puts the info documents: the standard output the start was
/// given, while its log goes to standard error. None without --json.
std::FILE* documentsOut = nullptr;

/// The documents of URLs this process runs itself: none without --json.
settings::CLIHandler::Documents ownDocuments() {
    if (!documentsOut) return {};
    return [](const std::string& json) {
        std::fputs(json.c_str(), documentsOut);
        std::fputc('\n', documentsOut);
        std::fflush(documentsOut);
    };
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
        app->delegate().schedulePresets = true;
        // A cache, in the freedesktop sense: losing it costs a re-read.
        if (auto dir = runtime::xdgDirectory("XDG_CACHE_HOME", ".cache"))
            app->registry().capabilitiesCachePath = *dir + "/orvane/capabilities.json";
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
    app->delegate().schedulePresets = false;
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
        delegate.handleURLEvent(url, urls.track(), ownDocuments());
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
        delegate.handleURLEvent(url, urls.track(), ownDocuments());
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
            // A start that wants JSON says so before its URLs.
            const bool json = !urls.empty() && urls.front() == cli::kJsonRequest;
            if (json) urls.erase(urls.begin());
            loop.post([&delegate, &log, json, urls = std::move(urls), reply = std::move(reply)] {
                if (urls.empty() && delegate->presentWindow) delegate->presentWindow();
                auto batch = std::make_shared<cli::ForwardedBatch>(log, reply, urls.size());
                const auto documents = json ? batch->documents() : nullptr;
                for (const auto& url : urls)
                    delegate->handleURLEvent(
                        url, [batch](bool ok) { batch->finished(ok); }, documents);
                batch->pauseUntilLaunched(*delegate);
            });
        });
    } catch (const std::exception& e) {
        std::fprintf(stderr, "orvane: %s\n", e.what());
        app.reset();
        backend.stop();
        return 1;
    }

    // Scripts and the desktop reach the instance on the session bus too.
    std::shared_ptr<dbus::SessionBusService> bus;
    try {
        bus = dbus::SessionBusService::start(*app, loop, log);
        log.line(std::string("[SessionBus] On the session bus as ") +
                 dbus::SessionBusService::kName);
    } catch (const std::exception& e) {
        log.line(std::string("[SessionBus] Not on the session bus (") + e.what() +
                 "): Activate, Open and the control interface are unavailable");
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
            delegate->handleURLEvent(url, {}, ownDocuments());
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
    if (bus) bus->stop();
    signalWatcher.stop();
    shown.reset();
    rt.shutdown();
    if (!writeRigOut(backend, options.rigOut)) status = 1;
    app.reset();
    backend.stop();
    return status;
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
    QApplication::setDesktopFileName(QStringLiteral("app.orvane.Orvane"));
    QApplication::setQuitOnLastWindowClosed(false);
    runtime::ThreadedRuntime rt(std::make_unique<gui::QtRunLoop>());
    gui::QtWindowToolkit toolkit(log);
    platform::posix::XdgAutostart autostart(platform::posix::XdgAutostart::defaultConfigHome(),
                                            executablePath());
    const bool realScreens = backend.name() != platform::sim::SimBackend::kName;
    FrontEnd frontEnd;
    frontEnd.adapt = [&](platform::Platform p) {
        if (!realScreens) return p;
        // Qt's own windows under XWayland are X11 ones, placed as on X11.
        if (QGuiApplication::platformName() == QLatin1String("wayland"))
            toolkit.setLayerShell(backend.layerShell());
        return platform::Platform{
            p.windowServer, p.connectors,       p.ddc,       toolkit,          p.audio,
            p.fileSystem,   p.mediaKeys,        p.shortcuts, p.keyboardLayout, p.accessibility,
            p.texts,        p.desktopShortcuts, p.desktopOSD};
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
    const auto options = cli::parse(argc, argv, status);
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
    auto instance = cli::becomeInstance(options->urls, options->json);
    if (!instance.claim) return instance.status;
    const bool gui = cli::wantsGui(*options);
#ifdef ORVANE_HAS_GUI
    // Windows need Qt, which only orvane-gui loads: --once, --headless and
    // hand-overs stay light. It claims the instance again itself.
    if (gui) {
        instance.claim.reset();
        becomeGui(argv);
        instance = cli::becomeInstance(options->urls, options->json);
        if (!instance.claim) return instance.status;
    }
#endif
    // Past the hand-over and the exec, whatever this process prints (log
    // lines of every layer included) lands on standard error; only the
    // documents keep the standard output.
    if (options->json) {
        const int out = dup(STDOUT_FILENO);
        documentsOut = out >= 0 ? fdopen(out, "w") : nullptr;
        if (!documentsOut || dup2(STDERR_FILENO, STDOUT_FILENO) < 0) {
            std::fprintf(stderr, "orvane: cannot keep standard output for --json: %s\n",
                         std::strerror(errno));
            return 1;
        }
    }

    TeeLogger log;
    // In order of preference: a real machine's backend goes before the simulated one.
    platform::linux_::LinuxBackend linux(
        log, runtime::environmentPath("ORVANE_LINUX_ROOT").value_or(""));
    platform::sim::SimBackend sim(options->rigPath, &log);
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
