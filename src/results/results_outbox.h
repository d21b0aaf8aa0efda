#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "base/failure.h"
#include "results/measurement.h"
#include "results/sql_connection.h"

namespace orvik::results {

// Measurements that wait for their results database, in the order they were
// recorded, in a local SQLite file that outlives the program. Each waits for
// one database, named as ResultsLocation::Shown() names it (without a
// password, so that a corrected password still finds them).
class ResultsOutbox {
  public:
    // Opens the file, creating it and its folder when missing.
    static Result<std::unique_ptr<ResultsOutbox>> Open(const std::string& path);

    struct Entry {
        std::int64_t Sequence;
        Measurement Item;
    };

    const std::string& Path() const { return path_; }

    // Appends the measurements, all or none.
    Status Put(const std::string& target, std::span<const Measurement> measurements);
    // The oldest `limit` waiting for `target`, in order. One that this Orvik
    // cannot read (a later Orvik's) is passed over and stays.
    Result<std::vector<Entry>> Oldest(const std::string& target, std::size_t limit);
    // Takes out the entries with these sequence numbers, all or none.
    Status Remove(std::span<const std::int64_t> sequences);
    Result<std::size_t> Count(const std::string& target);
    // Everything waiting for `from` waits for `to` from now on.
    Status Retarget(const std::string& from, const std::string& to);

  private:
    ResultsOutbox(std::string path, std::unique_ptr<SqlConnection> connection)
        : path_(std::move(path)), connection_(std::move(connection)) {}
    Status InTransaction(const std::function<Status()>& work);

    std::string path_;
    std::unique_ptr<SqlConnection> connection_;
};

}  // namespace orvik::results
