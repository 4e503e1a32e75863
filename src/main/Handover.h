// SPDX-License-Identifier: MIT
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/AppDelegate.h"
#include "app/InstanceChannel.h"
#include "runtime/TeeLogger.h"

namespace orvane::cli {

/// A start is either handed over to the running instance (its exit status)
/// or becomes the instance (its claim, held for the run).
struct Instance {
    std::unique_ptr<app::InstanceChannel> claim;
    int status = 0;
};

/// Before anything else, the GUI, the store and the buses included: of two
/// starts at once the loser hands its URLs to the winner, and only the
/// instance touches the store, the monitors and the gamma journal. Runs
/// before the signals are blocked, so a signal ends the wait at once. With
/// json, the instance answers info with documents, which go to standard
/// output and its lines to standard error.
Instance becomeInstance(const std::vector<std::string>& urls, bool json);

/// What a start sends before its URLs when it wants JSON documents: a line
/// no URL can be.
inline constexpr const char* kJsonRequest = "--json";
/// Starts a document's line in an answer (the record separator of JSON text
/// sequences, RFC 7464); log lines never hold it.
inline constexpr char kDocumentMark = '\x1e';

/// The URLs of one start handed to this instance: answered with the lines
/// logged meanwhile (and its documents) and whether every URL did what it
/// asked, once the last one has ended, or been dropped at termination.
class ForwardedBatch : public std::enable_shared_from_this<ForwardedBatch> {
  public:
    ForwardedBatch(runtime::TeeLogger& log, app::InstanceChannel::Reply reply, std::size_t urls)
        : log_(log), reply_(std::move(reply)), left_(urls), capture_(log.startCapture()) {}
    ~ForwardedBatch();
    ForwardedBatch(const ForwardedBatch&) = delete;
    ForwardedBatch& operator=(const ForwardedBatch&) = delete;

    /// What the instance logs while it is still launching is not the answer
    /// to these URLs: the capture pauses until then.
    void pauseUntilLaunched(app::AppDelegate& delegate);
    void finished(bool handled) {
        ok_ = ok_ && handled;
        if (left_ > 0) --left_;
    }
    /// Where this batch's info documents go when its start asked for JSON.
    settings::CLIHandler::Documents documents();

  private:
    runtime::TeeLogger& log_;
    app::InstanceChannel::Reply reply_;
    std::size_t left_;
    bool ok_ = true;
    std::string lines_;
    std::string documents_;
    std::optional<std::uint64_t> capture_;
};

}  // namespace orvane::cli
