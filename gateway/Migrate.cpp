#include "gateway/Migrate.h"

namespace gw {

MigrationReport Migrate(Store& from, Store& to, std::size_t batch) {
    MigrationReport report;
    // Accounts first: runs need theirs.
    for (std::string last;;) {
        const std::vector<Account> accounts = from.AccountsAfter(last, batch);
        if (accounts.empty())
            break;
        const ImportResult r = to.ImportAccounts(accounts);
        report.read.accounts += static_cast<std::int64_t>(accounts.size());
        report.accounts.added += r.added;
        report.accounts.present += r.present;
        last = accounts.back().id;
    }
    for (std::int64_t last = 0;;) {
        const std::vector<Run> runs = from.RunsAfter(last, batch);
        if (runs.empty())
            break;
        const ImportResult r = to.ImportRuns(runs);
        report.read.runs += static_cast<std::int64_t>(runs.size());
        report.runs.added += r.added;
        report.runs.present += r.present;
        last = runs.back().seq;
    }
    report.source = from.Totals();
    return report;
}

std::string MigrationReport::Summary() const {
    const auto n = [](std::int64_t v) { return std::to_string(v); };
    if (Complete())
        return n(accounts.added) + " accounts and " + n(runs.added) + " runs copied; all " +
               n(source.accounts) + " accounts and " + n(source.runs) +
               " runs of the source are in the target";
    return "the copy is incomplete: " + n(accounts.present) + " of " + n(source.accounts) + " accounts and " +
           n(runs.present) + " of " + n(source.runs) +
           " runs are in the target as in the source (the target holds other data under the same account "
           "identifier, e-mail address or run number, or the source changed during the copy)";
}

} // namespace gw
