// SPDX-License-Identifier: MIT
#include "support/WlrCompositor.h"

#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>
#include <wayland-server.h>

#include <deque>
#include <future>

#include "wlr-gamma-control-unstable-v1-server-protocol.h"

namespace orvane::test {

struct Output;

struct WlrCompositor::State {
    wl_display* display = nullptr;
    wl_event_loop* loop = nullptr;
    wl_event_source* wakeSource = nullptr;
    int wake = -1;
    bool stopping = false;
    std::mutex lock;
    std::deque<std::function<void()>> work;
    std::vector<std::unique_ptr<Output>> outputs;
    bool failNext = false;
};

struct Output {
    WlrCompositor::State* state = nullptr;
    WlrCompositor::OutputSpec spec;
    wl_global* global = nullptr;
    wl_resource* holder = nullptr;  // the client control that owns the ramps
    bool heldElsewhere = false;
    WlrCompositor::Ramps ramps;

    void identity() {
        const auto n = spec.gammaSize;
        ramps.assign(std::size_t(n) * 3, 0);
        for (std::uint32_t c = 0; c < 3; ++c) {
            for (std::uint32_t i = 0; i < n; ++i)
                ramps[c * n + i] = std::uint16_t(n > 1 ? i * 65535u / (n - 1) : 65535u);
        }
    }
};

namespace {
void controlGone(wl_resource* resource) {
    auto* o = static_cast<Output*>(wl_resource_get_user_data(resource));
    if (o && o->holder == resource) {
        o->holder = nullptr;
        o->identity();
    }
}

void setGamma(wl_client*, wl_resource* resource, std::int32_t fd) {
    auto* o = static_cast<Output*>(wl_resource_get_user_data(resource));
    const auto n = std::size_t(o ? o->spec.gammaSize : 0);
    WlrCompositor::Ramps table(n * 3);
    const auto bytes = table.size() * sizeof(std::uint16_t);
    const bool read =
        o && o->holder == resource && pread(fd, table.data(), bytes, 0) == ssize_t(bytes);
    close(fd);
    if (!read || o->state->failNext) {
        if (o) o->state->failNext = false;
        if (o && o->holder == resource) {
            o->holder = nullptr;
            o->identity();
        }
        wl_resource_set_user_data(resource, nullptr);
        zwlr_gamma_control_v1_send_failed(resource);
        return;
    }
    o->ramps = std::move(table);
}

void destroyResource(wl_client*, wl_resource* resource) {
    wl_resource_destroy(resource);
}

const struct zwlr_gamma_control_v1_interface kControl = {setGamma, destroyResource};

void getControl(wl_client* client, wl_resource* manager, std::uint32_t id, wl_resource* output) {
    auto* o = static_cast<Output*>(wl_resource_get_user_data(output));
    auto* resource = wl_resource_create(client, &zwlr_gamma_control_v1_interface,
                                        wl_resource_get_version(manager), id);
    const bool free = o && !o->holder && !o->heldElsewhere && o->spec.gammaSize > 0;
    wl_resource_set_implementation(resource, &kControl, free ? o : nullptr, controlGone);
    if (!free) {
        zwlr_gamma_control_v1_send_failed(resource);
        return;
    }
    o->holder = resource;
    zwlr_gamma_control_v1_send_gamma_size(resource, o->spec.gammaSize);
}

const struct zwlr_gamma_control_manager_v1_interface kManager = {getControl, destroyResource};

void bindManager(wl_client* client, void*, std::uint32_t version, std::uint32_t id) {
    auto* resource =
        wl_resource_create(client, &zwlr_gamma_control_manager_v1_interface, int(version), id);
    wl_resource_set_implementation(resource, &kManager, nullptr, nullptr);
}

void releaseOutput(wl_client*, wl_resource* resource) {
    wl_resource_destroy(resource);
}
const struct wl_output_interface kOutput = {releaseOutput};

void bindOutput(wl_client* client, void* data, std::uint32_t version, std::uint32_t id) {
    auto* o = static_cast<Output*>(data);
    auto* resource = wl_resource_create(client, &wl_output_interface, int(version), id);
    wl_resource_set_implementation(resource, &kOutput, o, nullptr);
    const auto& s = o->spec;
    wl_output_send_geometry(resource, 0, 0, 600, 340, WL_OUTPUT_SUBPIXEL_UNKNOWN, s.make.c_str(),
                            s.model.c_str(), WL_OUTPUT_TRANSFORM_NORMAL);
    wl_output_send_mode(resource, WL_OUTPUT_MODE_CURRENT, 2560, 1440, 60000);
    if (version >= WL_OUTPUT_NAME_SINCE_VERSION) {
        wl_output_send_name(resource, s.name.c_str());
        // As wlroots words it.
        const std::string description =
            s.make + " " + s.model + (s.serial.empty() ? "" : " " + s.serial) + " (" + s.name + ")";
        wl_output_send_description(resource, description.c_str());
    }
    if (version >= WL_OUTPUT_DONE_SINCE_VERSION) wl_output_send_done(resource);
}

int runWork(int fd, std::uint32_t, void* data) {
    auto* state = static_cast<WlrCompositor::State*>(data);
    std::uint64_t count;
    (void)!read(fd, &count, sizeof count);
    std::deque<std::function<void()>> work;
    {
        std::lock_guard lock(state->lock);
        work.swap(state->work);
    }
    for (auto& w : work)
        w();
    return 0;
}
}  // namespace

WlrCompositor::WlrCompositor() : state_(std::make_unique<State>()) {
    state_->display = wl_display_create();
    state_->loop = wl_display_get_event_loop(state_->display);
    state_->wake = eventfd(0, EFD_CLOEXEC);
    state_->wakeSource =
        wl_event_loop_add_fd(state_->loop, state_->wake, WL_EVENT_READABLE, runWork, state_.get());
    wl_global_create(state_->display, &zwlr_gamma_control_manager_v1_interface, 1, nullptr,
                     bindManager);
    thread_ = std::thread([s = state_.get()] {
        while (!s->stopping) {
            wl_display_flush_clients(s->display);
            wl_event_loop_dispatch(s->loop, -1);
        }
    });
}

WlrCompositor::~WlrCompositor() {
    call([this] { state_->stopping = true; });
    thread_.join();
    wl_display_destroy_clients(state_->display);
    wl_event_source_remove(state_->wakeSource);
    state_->outputs.clear();
    wl_display_destroy(state_->display);
    close(state_->wake);
}

void WlrCompositor::call(const std::function<void()>& work) {
    std::promise<void> done;
    {
        std::lock_guard lock(state_->lock);
        state_->work.push_back([&] {
            work();
            done.set_value();
        });
    }
    const std::uint64_t one = 1;
    (void)!write(state_->wake, &one, sizeof one);
    done.get_future().wait();
}

int WlrCompositor::connectClient() {
    int fds[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0) return -1;
    call([&] { wl_client_create(state_->display, fds[0]); });
    return fds[1];
}

std::size_t WlrCompositor::addOutput(const OutputSpec& spec) {
    std::size_t index = 0;
    call([&] {
        auto o = std::make_unique<Output>();
        o->state = state_.get();
        o->spec = spec;
        o->identity();
        o->global = wl_global_create(state_->display, &wl_output_interface, 4, o.get(), bindOutput);
        index = state_->outputs.size();
        state_->outputs.push_back(std::move(o));
    });
    return index;
}

void WlrCompositor::removeOutput(std::size_t index) {
    call([&] {
        auto& o = state_->outputs.at(index);
        if (o->holder) wl_resource_set_user_data(o->holder, nullptr);
        o->holder = nullptr;
        wl_global_destroy(o->global);
        o->global = nullptr;
    });
}

WlrCompositor::Ramps WlrCompositor::ramps(std::size_t index) {
    Ramps ramps;
    call([&] { ramps = state_->outputs.at(index)->ramps; });
    return ramps;
}

int WlrCompositor::heldControls() {
    int held = 0;
    call([&] {
        for (const auto& o : state_->outputs)
            held += o->holder != nullptr;
    });
    return held;
}

void WlrCompositor::holdElsewhere(std::size_t index, bool held) {
    call([&] { state_->outputs.at(index)->heldElsewhere = held; });
}

void WlrCompositor::failNextSet() {
    call([&] { state_->failNext = true; });
}

}  // namespace orvane::test
