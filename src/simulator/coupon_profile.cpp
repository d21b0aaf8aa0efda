#include "simulator/coupon_profile.h"

#include <cmath>
#include <cstdlib>
#include <sstream>

namespace orvik::sim {
namespace {

constexpr double kHighestImpedance = 1e6;  // ohms

bool ParseNumber(std::string_view text, double* value) {
    if (text.empty() || text.size() > 64) {
        return false;
    }
    const std::string copy(text);
    char* end = nullptr;
    *value = std::strtod(copy.c_str(), &end);
    return end == copy.c_str() + copy.size() && std::isfinite(*value);
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) {
        text.remove_suffix(1);
    }
    return text;
}

bool Fail(std::string* error, std::string message) {
    if (error) {
        *error = std::move(message);
    }
    return false;
}

bool ValidImpedance(double impedance) {
    return impedance > 0.0 && impedance <= kHighestImpedance;
}

bool ParseSegment(std::string_view text, CouponProfile::Segment* segment, std::string* error) {
    const std::size_t at = text.find('@');
    const std::size_t dash = text.find('-', at == std::string_view::npos ? 0 : at + 1);
    if (at == std::string_view::npos || dash == std::string_view::npos) {
        return Fail(error, "segment \"" + std::string(text) + "\" is not Z@FROM-TO");
    }
    if (!ParseNumber(Trim(text.substr(0, at)), &segment->Impedance) ||
        !ParseNumber(Trim(text.substr(at + 1, dash - at - 1)), &segment->From) ||
        !ParseNumber(Trim(text.substr(dash + 1)), &segment->To)) {
        return Fail(error, "segment \"" + std::string(text) + "\" is not Z@FROM-TO");
    }
    if (!ValidImpedance(segment->Impedance)) {
        return Fail(error, "impedance in \"" + std::string(text) + "\" is out of range");
    }
    if (!(segment->To > segment->From)) {
        return Fail(error, "segment \"" + std::string(text) + "\" ends before it starts");
    }
    return true;
}

}  // namespace

CouponProfile CouponProfile::Uniform(double impedance, double length) {
    CouponProfile profile;
    profile.segments_.push_back({impedance, 0.0, length});
    return profile;
}

Result<CouponProfile> CouponProfile::Parse(std::string_view text) {
    std::string reason;
    std::optional<CouponProfile> profile = ParseOrExplain(text, &reason);
    if (!profile) {
        return Failure{reason, std::string(text)};
    }
    return std::move(*profile);
}

std::optional<CouponProfile> CouponProfile::ParseOrExplain(std::string_view text,
                                                           std::string* error) {
    text = Trim(text);
    double uniform = 0.0;
    if (ParseNumber(text, &uniform)) {
        if (!ValidImpedance(uniform)) {
            Fail(error, "impedance out of range: " + std::string(text));
            return std::nullopt;
        }
        return Uniform(uniform);
    }
    CouponProfile profile;
    while (true) {
        const std::size_t comma = text.find(',');
        Segment segment{};
        if (!ParseSegment(Trim(text.substr(0, comma)), &segment, error)) {
            return std::nullopt;
        }
        const double expectedFrom = profile.Length();
        if (std::fabs(segment.From - expectedFrom) > 1e-9) {
            Fail(error, "segments must follow each other from 0 without gaps");
            return std::nullopt;
        }
        segment.From = expectedFrom;
        if (segment.To > kLongestProfile) {
            Fail(error, "a profile ends by 60 inches");
            return std::nullopt;
        }
        profile.segments_.push_back(segment);
        if (comma == std::string_view::npos) {
            break;
        }
        text.remove_prefix(comma + 1);
    }
    return profile;
}

double CouponProfile::ImpedanceAt(double position) const {
    for (const Segment& segment : segments_) {
        if (position < segment.To) {
            return segment.Impedance;
        }
    }
    return segments_.empty() ? 0.0 : segments_.back().Impedance;
}

std::string CouponProfile::Text() const {
    std::ostringstream out;
    for (std::size_t i = 0; i < segments_.size(); ++i) {
        if (i > 0) {
            out << ',';
        }
        out << segments_[i].Impedance << '@' << segments_[i].From << '-' << segments_[i].To;
    }
    return out.str();
}

std::optional<Result<SimulateOption>> ReadSimulateOption(std::string_view argument) {
    if (argument == kSimulateOption) {
        return Result<SimulateOption>(SimulateOption{});
    }
    if (!argument.starts_with(kSimulateOption) || argument[kSimulateOption.size()] != '=') {
        return std::nullopt;
    }
    const std::string text(argument.substr(kSimulateOption.size() + 1));
    Result<CouponProfile> profile = CouponProfile::Parse(text);
    if (!profile) {
        return Result<SimulateOption>(Failure{
            "The coupon profile " + text + " cannot be used: " + profile.Error().Message, text});
    }
    return Result<SimulateOption>(SimulateOption{text, std::move(*profile)});
}

}  // namespace orvik::sim
