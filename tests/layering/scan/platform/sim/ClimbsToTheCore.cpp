// SPDX-License-Identifier: MIT
// Must be refused by the layering scan: a backend reaching into the core.
#include "../../ddc/DDCDisplay.h"
