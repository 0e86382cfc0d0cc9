#pragma once
#include "gateway/Store.h"

#include <string>

namespace gw {

// A copy of one store's accounts (password hashes included) and runs into another, keeping
// identifiers, run numbers and times. Rows already in the target are left alone, so a copy can be
// repeated or resumed; it is complete when every row read is in the target exactly as in the source
// and the source held no more rows than were read.
struct MigrationReport {
    StoreTotals source; // counted after the copy
    StoreTotals read;
    ImportResult accounts, runs;
    bool Complete() const {
        return accounts.present == read.accounts && runs.present == read.runs &&
               read.accounts == source.accounts && read.runs == source.runs;
    }
    std::string Summary() const;
};

MigrationReport Migrate(Store& from, Store& to, std::size_t batch = 20000);

} // namespace gw
