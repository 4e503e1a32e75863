// SPDX-License-Identifier: MIT
#include "platform/Backend.h"

#include <array>
#include <optional>
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/sim/SimBackend.h"
#include "runtime/Runtime.h"

namespace orvane::platform {
namespace {

using ::testing::ThrowsMessage;

class FakeBackend final : public Backend {
  public:
    FakeBackend(std::string name, std::optional<std::string> reason)
        : name_(std::move(name)), reason_(std::move(reason)) {}
    std::string_view name() const override { return name_; }
    std::optional<std::string> unavailableReason() const override { return reason_; }
    std::string startLine() const override { return name_; }
    RuntimeKind runtimeFor(RunMode) const override { return RuntimeKind::threaded; }
    Platform start(runtime::Runtime&) override { throw std::logic_error("not a machine"); }
    void stop() override {}

  private:
    std::string name_;
    std::optional<std::string> reason_;
};

TEST(BackendTest, TheNamedOneOrElseTheFirstAvailable) {
    FakeBackend real("linux", "no DRM connector is connected");
    FakeBackend sim("sim", std::nullopt);
    const std::array<Backend*, 2> both{&real, &sim};
    EXPECT_EQ(&chooseBackend(both, ""), &sim);
    EXPECT_EQ(&chooseBackend(both, "sim"), &sim);
    EXPECT_THAT(
        [&] { chooseBackend(both, "linux"); },
        ThrowsMessage<NoBackend>("platform linux is not available: no DRM connector is connected"));
    EXPECT_THAT([&] { chooseBackend(both, "wayland"); },
                ThrowsMessage<NoBackend>("unknown platform wayland (built: linux, sim)"));

    FakeBackend usable("linux", std::nullopt);
    const std::array<Backend*, 2> preferred{&usable, &sim};
    EXPECT_EQ(&chooseBackend(preferred, ""), &usable);

    const std::array<Backend*, 1> none{&real};
    EXPECT_THAT([&] { chooseBackend(none, ""); },
                ThrowsMessage<NoBackend>(
                    "no platform is available here:\n  linux: no DRM connector is connected"));
}

}  // namespace
}  // namespace orvane::platform
