// SPDX-License-Identifier: MIT
#include "displays/DisplayNameOverride.h"

#include "store/SQLiteDatabase.h"

namespace orvane::displays {

const std::vector<std::string> DisplayNameOverride::kColumns{"displayKey", "customName"};

void DisplayNameOverride::bindColumns(store::SQLiteStatement& s) const {
    s.bind(1, displayKey_);
    s.bind(2, customName_);
}

std::shared_ptr<DisplayNameOverride> DisplayNameOverride::fromRow(const store::SQLiteStatement& r,
                                                                  int f) {
    return std::make_shared<DisplayNameOverride>(r.text(f), r.text(f + 1));
}

}  // namespace orvane::displays
