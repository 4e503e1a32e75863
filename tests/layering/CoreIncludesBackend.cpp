// SPDX-License-Identifier: MIT
// Must not compile: the core's libraries do not see the backends.
#include "ddc/DDCManager.h"
#include "platform/sim/SimMachine.h"
