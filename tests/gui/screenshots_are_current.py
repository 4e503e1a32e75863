#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Renders every screenshot afresh and compares its size with the committed
one: a picture whose size changed no longer shows what the code draws."""
import os
import struct
import subprocess
import sys
import tempfile


def size(path):
    with open(path, "rb") as f:
        head = f.read(24)
    if head[:8] != b"\x89PNG\r\n\x1a\n":
        raise ValueError(path + " is no PNG")
    return struct.unpack(">II", head[16:24])


def main():
    renderer, committed = sys.argv[1], sys.argv[2]
    with tempfile.TemporaryDirectory() as out, tempfile.TemporaryDirectory() as run:
        os.chmod(run, 0o700)
        env = dict(os.environ, QT_QPA_PLATFORM="offscreen", XDG_RUNTIME_DIR=run,
                   QT_LOGGING_RULES="qt.qpa.*=false")
        subprocess.run([renderer, out], check=True, env=env, stdout=subprocess.DEVNULL)
        stale = []
        for name in sorted(os.listdir(out)):
            mine = os.path.join(committed, name)
            if not os.path.exists(mine):
                stale.append(name + ": not in docs/screenshots")
            elif size(mine) != size(os.path.join(out, name)):
                stale.append("%s: %dx%d committed, %dx%d drawn" %
                             ((name,) + size(mine) + size(os.path.join(out, name))))
        for line in stale:
            print(line)
        if stale:
            print("run ./scripts/screenshots.sh and look at the pictures")
            return 1
        print("%d screenshots are current" % len(os.listdir(out)))
        return 0


if __name__ == "__main__":
    sys.exit(main())
