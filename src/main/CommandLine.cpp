// SPDX-License-Identifier: MIT
#include "main/CommandLine.h"

#include <cstdio>

namespace orvane::cli {

namespace {

constexpr const char* kVersion = ORVANE_VERSION;

constexpr const char* kUsage =
    R"(usage: orvane [--platform NAME] [--rig FILE] [--headless] [--once] [--json]
              [--rig-out FILE] [URL ...]

Controls the brightness, contrast, volume, input and power of external displays.

  --platform NAME linux or sim; by default linux where it finds display hardware
  --rig FILE      run on the simulated machine FILE describes (default: the built-in one)
  --headless      run without windows: no tray, popover, panels or overlays
  --once          launch, handle the URLs in order, wait for what they started, quit
  --json          info prints one JSON document per URL on standard output;
                  the log goes to standard error
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
  key         action=brightness-up, brightness-down, contrast-up, contrast-down,
              volume-up, volume-down or mute: what the key or shortcut does
  vcp         code=0x87 and value=N: reads or sets any feature the monitor
              lists; without code, lists them
  schedule    preset=NAME and at=21:30, sunrise, sunset, sunset-30 or none: the
              preset comes into force each day then (in a resident Orvane)
  location    latitude=59.91 and longitude=10.75 (or clear=1): where the sun
              times are for
  info        lists the displays and their levels
  display=all, external, a 1-based index, or a display's name, connector (DP-1),
    serial or key picks the displays (default: all)
  for example: orvane 'orvane://brightness?display=external&value=60'

A running Orvane takes the URLs of a second start and handles them; the exit
status is 0 when every URL did what it asked, 1 when one did not, 2 for a
command line that is not understood. ORVANE_HANDOVER_TIMEOUT (seconds, 10)
bounds the wait for the running instance.
)";

}  // namespace

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
        } else if (arg == "--json") {
            o.json = true;
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

}  // namespace orvane::cli
