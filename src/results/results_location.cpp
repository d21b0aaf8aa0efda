#include "results/results_location.h"

#include <libpq-fe.h>

#include <cstdlib>

namespace orvik::results {
namespace {

constexpr const char* kSqlitePrefix = "sqlite:";

bool StartsWith(const std::string& text, const char* prefix) {
    return text.rfind(prefix, 0) == 0;
}

std::string DataHome() {
    const char* data = std::getenv("XDG_DATA_HOME");
    if (data != nullptr && data[0] == '/') {
        return data;
    }
    const char* home = std::getenv("HOME");
    return std::string(home != nullptr ? home : ".") + "/.local/share";
}

Failure CannotUse(const std::string& text, const std::string& why) {
    return {"The results database \"" + WithoutPassword(text) + "\" cannot be used: " + why,
            "give a postgresql:// URL or the path of an SQLite file"};
}

// libpq's own reading of the URL, so that what passes here is what it connects with.
Status CheckPostgresUrl(const std::string& text) {
    char* error = nullptr;
    PQconninfoOption* options = PQconninfoParse(text.c_str(), &error);
    if (options == nullptr) {
        std::string why = error != nullptr ? error : "the URL does not parse";
        PQfreemem(error);
        while (!why.empty() && (why.back() == '\n' || why.back() == ' ')) {
            why.pop_back();
        }
        return CannotUse(text, why);
    }
    Status status;
    for (PQconninfoOption* option = options; option->keyword != nullptr; ++option) {
        const std::string keyword = option->keyword;
        if (keyword == "port" && option->val != nullptr) {
            char* end = nullptr;
            const long port = std::strtol(option->val, &end, 10);
            if (*option->val == '\0' || *end != '\0' || port < 1 || port > 65535) {
                status = CannotUse(text, std::string("invalid port \"") + option->val + "\"");
            }
        }
    }
    PQconninfoFree(options);
    return status;
}

}  // namespace

std::string WithoutPassword(const std::string& url) {
    std::string shown = url;
    const std::size_t scheme = shown.find("://");
    if (scheme != std::string::npos) {
        const std::size_t authority = scheme + 3;
        const std::size_t end = shown.find_first_of("/?", authority);
        const std::size_t at = shown.rfind('@', end == std::string::npos ? shown.size() : end);
        if (at != std::string::npos && at > authority) {
            const std::size_t colon = shown.find(':', authority);
            if (colon != std::string::npos && colon < at) {
                shown.replace(colon + 1, at - colon - 1, "***");
            }
        }
    }
    for (std::size_t key = shown.find("password="); key != std::string::npos;
         key = shown.find("password=", key + 1)) {
        const std::size_t value = key + 9;
        const std::size_t end = shown.find_first_of("& ", value);
        shown.replace(value, (end == std::string::npos ? shown.size() : end) - value, "***");
    }
    return shown;
}

std::string ResultsLocation::Shown() const {
    return Kind == Backend::Postgres || Unusable ? WithoutPassword(Text) : Path;
}

ResultsLocation LocationOrUnusable(const std::string& text) {
    Result<ResultsLocation> location = ParseResultsLocation(text);
    if (location) {
        return *location;
    }
    ResultsLocation unusable;
    unusable.Text = text;
    unusable.Unusable = location.Error();
    return unusable;
}

Result<ResultsLocation> ParseResultsLocation(const std::string& text) {
    if (text.empty()) {
        return CannotUse(text, "it is empty");
    }
    ResultsLocation location;
    location.Text = text;
    if (StartsWith(text, "postgresql://") || StartsWith(text, "postgres://")) {
        if (const Status checked = CheckPostgresUrl(text); !checked) {
            return checked.Error();
        }
        location.Kind = Backend::Postgres;
        return location;
    }
    if (text.find("://") != std::string::npos) {
        return CannotUse(text, "it names neither PostgreSQL nor a file");
    }
    location.Kind = Backend::Sqlite;
    location.Path = StartsWith(text, kSqlitePrefix) ? text.substr(7) : text;
    if (location.Path.empty()) {
        return CannotUse(text, "it names no file");
    }
    return location;
}

std::string DefaultResultsPath() {
    return DataHome() + "/orvik/results.sqlite";
}

std::string DefaultOutboxPath() {
    return DataHome() + "/orvik/results-outbox.sqlite";
}

}  // namespace orvik::results
