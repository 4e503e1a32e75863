// SPDX-License-Identifier: MIT
#include "main/Handover.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string_view>
#include <thread>

#include "runtime/Environment.h"

namespace orvane::cli {

namespace {

using Channel = app::InstanceChannel;

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
int report(const std::vector<std::string>& urls, const Channel::Answer& answer, bool json) {
    if (urls.empty() && answer.status == Channel::kHandled) {
        std::fputs("[Orvane] Orvane is already running\n", json ? stderr : stdout);
    } else {
        // Documents to standard output, the log beside them.
        std::string_view text = answer.text;
        while (!text.empty()) {
            const auto end = text.find('\n');
            auto line = text.substr(0, end == std::string_view::npos ? text.size() : end + 1);
            text.remove_prefix(line.size());
            const bool document = line.front() == kDocumentMark;
            if (document) line.remove_prefix(1);
            std::fwrite(line.data(), 1, line.size(), document || !json ? stdout : stderr);
        }
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

}  // namespace

Instance becomeInstance(const std::vector<std::string>& urls, bool json) {
    const auto path = Channel::defaultPath();
    if (path.empty()) {
        std::fprintf(stderr,
                     "orvane: no private runtime folder for the instance: XDG_RUNTIME_DIR, "
                     "/run/user/%u and /tmp/orvane-%u are missing, not yours or open to others\n",
                     getuid(), getuid());
        return {nullptr, 1};
    }
    std::vector<std::string> message;
    if (json) message.emplace_back(kJsonRequest);
    message.insert(message.end(), urls.begin(), urls.end());
    const auto deadline = std::chrono::steady_clock::now() + handOverTimeout();
    for (;;) {
        if (auto answer = Channel::forward(path, message, deadline))
            return {nullptr, report(urls, *answer, json)};
        try {
            return {std::make_unique<Channel>(path), 0};
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

ForwardedBatch::~ForwardedBatch() {
    if (capture_) lines_ += log_.stopCapture(*capture_);
    reply_(Channel::answer(lines_ + documents_, left_ > 0 ? Channel::kUnfinished
                                                : ok_     ? Channel::kHandled
                                                          : Channel::kFailed));
}

void ForwardedBatch::pauseUntilLaunched(app::AppDelegate& delegate) {
    if (delegate.isLaunched() || !capture_) return;
    lines_ += log_.stopCapture(*capture_);
    capture_.reset();
    std::weak_ptr<ForwardedBatch> weak = weak_from_this();
    delegate.whenLaunched([weak] {
        if (auto self = weak.lock()) self->capture_ = self->log_.startCapture();
    });
}

settings::CLIHandler::Documents ForwardedBatch::documents() {
    // Main thread, like the batch's end: no lock.
    return [weak = weak_from_this()](const std::string& json) {
        if (auto self = weak.lock()) ((self->documents_ += kDocumentMark) += json) += '\n';
    };
}

}  // namespace orvane::cli
