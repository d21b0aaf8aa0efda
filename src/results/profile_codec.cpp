#include "results/profile_codec.h"

#include <bit>
#include <cmath>
#include <cstring>

namespace orvik::results {
namespace {

constexpr std::uint8_t kEvenlySpaced = 1;
constexpr std::uint8_t kListed = 2;
constexpr double kPositionTolerance = 1e-9;  // inches
constexpr std::size_t kHeaderSize = 1 + 4;

static_assert(std::endian::native == std::endian::little, "profiles are stored little-endian");

template <class T>
void Put(std::vector<std::uint8_t>& out, T value) {
    std::uint8_t bytes[sizeof(T)];
    std::memcpy(bytes, &value, sizeof(T));
    out.insert(out.end(), bytes, bytes + sizeof(T));
}

template <class T>
T Get(std::span<const std::uint8_t> bytes, std::size_t offset) {
    T value;
    std::memcpy(&value, bytes.data() + offset, sizeof(T));
    return value;
}

void PutFloats(std::vector<std::uint8_t>& out, const std::vector<float>& values) {
    const auto* first = reinterpret_cast<const std::uint8_t*>(values.data());
    out.insert(out.end(), first, first + values.size() * sizeof(float));
}

std::vector<float> GetFloats(std::span<const std::uint8_t> bytes, std::size_t offset,
                             std::size_t count) {
    std::vector<float> values(count);
    if (count == 0) {
        return values;  // an empty vector has no storage to copy into
    }
    std::memcpy(values.data(), bytes.data() + offset, count * sizeof(float));
    return values;
}

bool EvenlySpaced(std::span<const TraceSample> samples, double first, double step) {
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const double expected = first + static_cast<double>(i) * step;
        if (!(std::fabs(samples[i].Position - expected) <= kPositionTolerance)) {
            return false;
        }
    }
    return true;
}

}  // namespace

StoredProfile ProfileOf(std::span<const TraceSample> samples) {
    StoredProfile profile;
    profile.Impedance.reserve(samples.size());
    for (const TraceSample& sample : samples) {
        profile.Impedance.push_back(static_cast<float>(sample.Impedance));
    }
    if (samples.empty()) {
        return profile;
    }
    profile.FirstPosition = samples.front().Position;
    if (samples.size() > 1) {
        profile.Step = (samples.back().Position - samples.front().Position) /
                       static_cast<double>(samples.size() - 1);
    }
    if (!std::isfinite(profile.FirstPosition) || !std::isfinite(profile.Step) ||
        !EvenlySpaced(samples, profile.FirstPosition, profile.Step)) {
        profile.FirstPosition = profile.Step = 0.0;
        for (const TraceSample& sample : samples) {
            profile.Positions.push_back(static_cast<float>(sample.Position));
        }
    }
    return profile;
}

std::vector<TraceSample> SamplesOf(const StoredProfile& profile) {
    std::vector<TraceSample> samples(profile.Impedance.size());
    const bool listed =
        profile.Positions.size() == profile.Impedance.size() && !profile.Positions.empty();
    for (std::size_t i = 0; i < samples.size(); ++i) {
        samples[i].Position = listed
                                  ? profile.Positions[i]
                                  : profile.FirstPosition + static_cast<double>(i) * profile.Step;
        samples[i].Impedance = profile.Impedance[i];
    }
    return samples;
}

std::vector<std::uint8_t> EncodeProfile(const StoredProfile& profile) {
    const bool listed = !profile.Positions.empty();
    std::vector<std::uint8_t> out;
    out.reserve(kHeaderSize + 16 + profile.Impedance.size() * (listed ? 8 : 4));
    out.push_back(listed ? kListed : kEvenlySpaced);
    Put(out, static_cast<std::uint32_t>(profile.Impedance.size()));
    if (listed) {
        PutFloats(out, profile.Positions);
    } else {
        Put(out, profile.FirstPosition);
        Put(out, profile.Step);
    }
    PutFloats(out, profile.Impedance);
    return out;
}

std::optional<StoredProfile> DecodeProfile(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < kHeaderSize) {
        return std::nullopt;
    }
    const std::uint8_t kind = bytes[0];
    const std::size_t count = Get<std::uint32_t>(bytes, 1);
    const std::size_t rest = bytes.size() - kHeaderSize;
    StoredProfile profile;
    if (kind == kEvenlySpaced) {
        // Checked by division, so that no count can overflow the product.
        if (rest < 16 || (rest - 16) / sizeof(float) != count || (rest - 16) % sizeof(float)) {
            return std::nullopt;
        }
        profile.FirstPosition = Get<double>(bytes, kHeaderSize);
        profile.Step = Get<double>(bytes, kHeaderSize + 8);
        profile.Impedance = GetFloats(bytes, kHeaderSize + 16, count);
    } else if (kind == kListed) {
        // Written only for profiles with samples whose positions are uneven.
        if (count == 0 || rest / (2 * sizeof(float)) != count || rest % (2 * sizeof(float)) != 0) {
            return std::nullopt;
        }
        profile.Positions = GetFloats(bytes, kHeaderSize, count);
        profile.Impedance = GetFloats(bytes, kHeaderSize + count * sizeof(float), count);
    } else {
        return std::nullopt;
    }
    return profile;
}

}  // namespace orvik::results
