#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace orvik::testing {

// One line of the driver request log: "0x<code> in=<hex> out=<hex> ok=<0|1>".
// Checked by hand rather than with std::regex: libstdc++ matches by
// recursion, about one level per character, and a line that carries a sample
// block (several kilobytes of hex) runs it off the stack under AddressSanitizer.
struct RequestLogLine {
    std::string Code;  // six hex digits
    std::string In;
    std::string Out;
};

inline bool IsLowerHex(std::string_view text) {
    return text.find_first_not_of("0123456789abcdef") == std::string_view::npos;
}

inline std::optional<RequestLogLine> ParseRequestLogLine(std::string_view line) {
    if (line.size() < 8 || line.substr(0, 2) != "0x") {
        return std::nullopt;
    }
    const std::string_view code = line.substr(2, 6);
    std::string_view rest = line.substr(8);
    // The value after `prefix`, up to the next space.
    const auto field = [&rest](std::string_view prefix) -> std::optional<std::string_view> {
        if (rest.substr(0, prefix.size()) != prefix) {
            return std::nullopt;
        }
        rest.remove_prefix(prefix.size());
        const std::string_view value = rest.substr(0, rest.find(' '));
        rest.remove_prefix(value.size());
        return value;
    };
    const auto in = field(" in=");
    const auto out = in ? field(" out=") : std::nullopt;
    const auto ok = out ? field(" ok=") : std::nullopt;
    if (!ok || !rest.empty() || !IsLowerHex(code) || !IsLowerHex(*in) || !IsLowerHex(*out) ||
        (*ok != "0" && *ok != "1")) {
        return std::nullopt;
    }
    return RequestLogLine{std::string(code), std::string(*in), std::string(*out)};
}

}  // namespace orvik::testing
