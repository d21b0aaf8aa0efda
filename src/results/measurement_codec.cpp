#include "results/measurement_codec.h"

#include "base/archive.h"
#include "results/profile_codec.h"

namespace orvik::results {
namespace {

constexpr std::int32_t kCodecVersion = 1;

void Int64(Archive& archive, std::int64_t& value) {
    auto bits = static_cast<std::uint64_t>(value);
    auto low = static_cast<std::int32_t>(static_cast<std::uint32_t>(bits));
    auto high = static_cast<std::int32_t>(static_cast<std::uint32_t>(bits >> 32));
    archive.Int32(low);
    archive.Int32(high);
    value = static_cast<std::int64_t>(static_cast<std::uint64_t>(static_cast<std::uint32_t>(high))
                                          << 32 |
                                      static_cast<std::uint32_t>(low));
}

void Flag(Archive& archive, bool& flag) {
    std::int32_t value = flag ? 1 : 0;
    archive.Int32(value);
    flag = value != 0;
}

// An optional part: a presence flag, then the part.
template <class T, class Part>
void Optional(Archive& archive, std::optional<T>& value, Part part) {
    bool present = value.has_value();
    Flag(archive, present);
    if (!present) {
        value.reset();
        return;
    }
    if (!value) {
        value.emplace();
    }
    part(*value);
}

void Blob(Archive& archive, std::vector<std::uint8_t>& bytes) {
    std::int32_t size = static_cast<std::int32_t>(bytes.size());
    archive.Int32(size);
    if (archive.IsStoring()) {
        archive.WriteRaw(bytes.data(), bytes.size());
        return;
    }
    if (size < 0) {
        throw ArchiveError(ArchiveError::Kind::BadFormat, "negative profile size");
    }
    archive.RequireRemaining(static_cast<std::size_t>(size), "profile");
    bytes.resize(static_cast<std::size_t>(size));
    archive.ReadRaw(bytes.data(), bytes.size());
}

void Serialize(Archive& archive, Measurement& m) {
    archive.String(m.Uuid);
    Optional(archive, m.Station, [&](StationIdentity& station) {
        archive.String(station.Name);
        archive.String(station.Host);
    });
    Optional(archive, m.Instrument, [&](InstrumentIdentity& instrument) {
        archive.String(instrument.Serial);
        archive.Int32(instrument.Release);
        archive.String(instrument.CalibrationDate);
        archive.String(instrument.CalibrationOperator);
    });
    archive.String(m.Operator);
    Optional(archive, m.Run, [&](ScriptRunInfo& run) {
        archive.String(run.Script);
        archive.String(run.Customer);
        archive.String(run.Job);
        archive.String(run.StationId);
        archive.String(run.Operator);
        Int64(archive, run.Started);
    });
    Optional(archive, m.Coupon, [&](std::string& coupon) { archive.String(coupon); });
    Optional(archive, m.Test, [&](std::string& test) { archive.String(test); });
    archive.Int32(m.ElementPosition);
    archive.String(m.Name);
    Int64(archive, m.Time);
    bool differential = IsDifferential(m.Mode);
    Flag(archive, differential);
    m.Mode = ModeFromDifferential(differential);
    archive.Double(m.Average);
    archive.Double(m.Deviation);
    archive.Double(m.Minimum);
    archive.Double(m.Maximum);
    Flag(archive, m.Passed);
    archive.String(m.Judged.Name);
    archive.Double(m.Judged.TargetImpedance);
    archive.Double(m.Judged.AllowableError);
    archive.Double(m.Judged.MaximumImpedance);
    archive.Double(m.Judged.MinimumImpedance);
    archive.Double(m.Judged.StartPosition);
    archive.Double(m.Judged.EndPosition);
    archive.Int32(m.Judged.DoubleEnded);
    archive.String(m.CollectionFile);
    archive.Int32(m.CollectionItem);
    Optional(archive, m.Profile, [&](StoredProfile& profile) {
        std::vector<std::uint8_t> bytes;
        if (archive.IsStoring()) {
            bytes = EncodeProfile(profile);
        }
        Blob(archive, bytes);
        if (archive.IsLoading()) {
            auto decoded = DecodeProfile(bytes);
            if (!decoded) {
                throw ArchiveError(ArchiveError::Kind::BadFormat, "not a profile");
            }
            profile = std::move(*decoded);
        }
    });
}

}  // namespace

std::vector<std::uint8_t> EncodeMeasurement(const Measurement& measurement) {
    Archive archive = Archive::ForStoring(4096);
    archive.WriteInt32(kCodecVersion);
    Measurement copy = measurement;  // the symmetric serializer takes a mutable one
    Serialize(archive, copy);
    return archive.TakeBytes();
}

std::optional<Measurement> DecodeMeasurement(std::span<const std::uint8_t> bytes) {
    try {
        Archive archive = Archive::ForLoading(bytes);
        if (archive.ReadInt32() != kCodecVersion) {
            return std::nullopt;
        }
        Measurement measurement;
        Serialize(archive, measurement);
        if (archive.Remaining() != 0) {
            return std::nullopt;
        }
        return measurement;
    } catch (const ArchiveError&) {
        return std::nullopt;
    }
}

}  // namespace orvik::results
