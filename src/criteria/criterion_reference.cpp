#include "criteria/criterion_reference.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "base/archive.h"
#include "base/crc32.h"
#include "base/file_store.h"

namespace orvik {
namespace {

constexpr char kOpening[8] = {'O', 'R', 'V', 'I', 'K', 'R', 'E', 'F'};
// Opening, version, payload length, payload CRC.
constexpr std::size_t kHeaderSize = sizeof kOpening + 3 * 4;
constexpr std::size_t kPointSize = 16;
constexpr double kFarthestPosition = 1e6;   // inches
constexpr double kHighestImpedance = 1e12;  // ohms

double Allowance(const CriterionReference& reference, double impedance) {
    return reference.Unit == ToleranceUnit::Percent
               ? std::fabs(impedance) * reference.Tolerance / 100.0
               : reference.Tolerance;
}

double ReferenceImpedanceAt(const std::vector<ReferencePoint>& points, double position) {
    const auto after =
        std::lower_bound(points.begin(), points.end(), position,
                         [](const ReferencePoint& point, double p) { return point.Position < p; });
    if (after->Position == position || after == points.begin()) {
        return after->Impedance;  // on a point: its own value, not a blend
    }
    const ReferencePoint& before = *(after - 1);
    const double share = (position - before.Position) / (after->Position - before.Position);
    return before.Impedance + share * (after->Impedance - before.Impedance);
}

void WritePayload(Archive& archive, const ReferenceSet& references) {
    archive.WriteInt32(static_cast<std::int32_t>(references.All().size()));
    for (const CriterionReference& reference : references.All()) {
        archive.WriteInt32(reference.CriterionId);
        archive.WriteString(reference.TraceName);
        // The time as two 32-bit halves, low first.
        const auto time = static_cast<std::uint64_t>(reference.Time);
        archive.WriteInt32(static_cast<std::int32_t>(time & 0xFFFFFFFFU));
        archive.WriteInt32(static_cast<std::int32_t>(time >> 32));
        archive.WriteInt32(static_cast<std::int32_t>(reference.Unit));
        archive.WriteDouble(reference.Tolerance);
        archive.WriteInt32(static_cast<std::int32_t>(reference.Points.size()));
        for (const ReferencePoint& point : reference.Points) {
            archive.WriteDouble(point.Position);
            archive.WriteDouble(point.Impedance);
        }
    }
}

Failure Damaged(const std::string& why) {
    return {"The reference curves are damaged and are not used.", why};
}

CriterionReference ReadReference(Archive& archive) {
    CriterionReference reference;
    reference.CriterionId = archive.ReadInt32();
    reference.TraceName = archive.ReadString();
    const auto low = static_cast<std::uint32_t>(archive.ReadInt32());
    const auto high = static_cast<std::uint32_t>(archive.ReadInt32());
    reference.Time = static_cast<std::int64_t>((std::uint64_t{high} << 32) | low);
    const std::int32_t unit = archive.ReadInt32();
    if (unit != static_cast<std::int32_t>(ToleranceUnit::Ohms) &&
        unit != static_cast<std::int32_t>(ToleranceUnit::Percent)) {
        throw ArchiveError(ArchiveError::Kind::BadFormat, "an unknown tolerance unit");
    }
    reference.Unit = static_cast<ToleranceUnit>(unit);
    reference.Tolerance = archive.ReadDouble();
    const std::int32_t count = archive.ReadInt32();
    if (count < 0) {
        throw ArchiveError(ArchiveError::Kind::BadFormat, "a negative point count");
    }
    archive.RequireRemaining(static_cast<std::size_t>(count) * kPointSize, "the points");
    reference.Points.resize(static_cast<std::size_t>(count));
    for (ReferencePoint& point : reference.Points) {
        point.Position = archive.ReadDouble();
        point.Impedance = archive.ReadDouble();
    }
    if (const std::string problem = ReferenceProblem(reference); !problem.empty()) {
        throw ArchiveError(ArchiveError::Kind::BadFormat, problem);
    }
    return reference;
}

std::uint32_t ReadUint32(std::span<const std::uint8_t> bytes, std::size_t at) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4; ++i) {
        value |= std::uint32_t{bytes[at + i]} << (8 * i);
    }
    return value;
}

}  // namespace

std::optional<MaskEdges> MaskAt(const CriterionReference& reference, double position) {
    const auto& points = reference.Points;
    if (points.empty() || !(position >= points.front().Position) ||
        !(position <= points.back().Position)) {
        return std::nullopt;
    }
    const double impedance = ReferenceImpedanceAt(points, position);
    const double allowance = Allowance(reference, impedance);
    return MaskEdges{impedance - allowance, impedance + allowance};
}

std::string ReferenceProblem(const CriterionReference& reference) {
    if (!std::isfinite(reference.Tolerance) || reference.Tolerance < 0.0) {
        return "the tolerance is no positive number";
    }
    if (reference.Unit == ToleranceUnit::Percent && reference.Tolerance > 100.0) {
        return "the tolerance is more than 100 %";
    }
    if (reference.Points.size() < 2) {
        return "the reference curve has fewer than two points";
    }
    for (std::size_t i = 0; i < reference.Points.size(); ++i) {
        const ReferencePoint& point = reference.Points[i];
        if (!std::isfinite(point.Position) || !std::isfinite(point.Impedance)) {
            return "the reference curve holds a value that is no number";
        }
        // Far beyond any coupon, and small enough that the mask's arithmetic
        // never overflows.
        if (std::fabs(point.Position) > kFarthestPosition ||
            std::fabs(point.Impedance) > kHighestImpedance) {
            return "the reference curve holds a value out of range";
        }
        if (i > 0 && !(point.Position > reference.Points[i - 1].Position)) {
            return "the reference curve's positions do not increase";
        }
    }
    return {};
}

const CriterionReference* ReferenceSet::Find(std::int32_t criterionId) const {
    for (const CriterionReference& reference : references_) {
        if (reference.CriterionId == criterionId) {
            return &reference;
        }
    }
    return nullptr;
}

void ReferenceSet::Set(CriterionReference reference) {
    for (CriterionReference& existing : references_) {
        if (existing.CriterionId == reference.CriterionId) {
            existing = std::move(reference);
            return;
        }
    }
    references_.push_back(std::move(reference));
}

bool ReferenceSet::Clear(std::int32_t criterionId) {
    return std::erase_if(references_, [criterionId](const CriterionReference& reference) {
               return reference.CriterionId == criterionId;
           }) > 0;
}

std::string ReferenceFilePath(const std::string& libraryPath) {
    const std::size_t slash = libraryPath.find_last_of('/');
    const std::size_t dot = libraryPath.find_last_of('.');
    const bool hasExtension =
        dot != std::string::npos && (slash == std::string::npos || dot > slash + 1);
    return (hasExtension ? libraryPath.substr(0, dot) : libraryPath) + kReferenceFileExtension;
}

std::vector<std::uint8_t> EncodeReferences(const ReferenceSet& references) {
    Archive payload = Archive::ForStoring();
    WritePayload(payload, references);
    const std::vector<std::uint8_t>& body = payload.Bytes();
    Archive file = Archive::ForStoring(kHeaderSize + body.size());
    file.WriteRaw(kOpening, sizeof kOpening);
    file.WriteInt32(kReferenceFileVersion);
    file.WriteInt32(static_cast<std::int32_t>(body.size()));
    file.WriteInt32(static_cast<std::int32_t>(Crc32(body)));
    file.WriteRaw(body.data(), body.size());
    return file.TakeBytes();
}

Result<ReferenceSet> DecodeReferences(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < kHeaderSize || std::memcmp(bytes.data(), kOpening, sizeof kOpening) != 0) {
        return Damaged("not a file of reference curves");
    }
    const std::uint32_t version = ReadUint32(bytes, 8);
    if (version == 0 || version > static_cast<std::uint32_t>(kReferenceFileVersion)) {
        return Damaged("layout version " + std::to_string(version) + " is not known here");
    }
    const std::uint32_t length = ReadUint32(bytes, 12);
    const std::span<const std::uint8_t> body = bytes.subspan(kHeaderSize);
    if (length != body.size()) {
        return Damaged("the file's length does not match its header (cut short?)");
    }
    if (ReadUint32(bytes, 16) != Crc32(body)) {
        return Damaged("the checksum does not match the contents");
    }
    ReferenceSet references;
    try {
        Archive archive = Archive::ForLoading(body);
        const std::int32_t count = archive.ReadInt32();
        for (std::int32_t i = 0; i < count; ++i) {
            CriterionReference reference = ReadReference(archive);
            if (references.Find(reference.CriterionId) != nullptr) {
                return Damaged("two references for criterion id " +
                               std::to_string(reference.CriterionId));
            }
            references.Set(std::move(reference));
        }
        if (count < 0 || archive.Remaining() != 0) {
            return Damaged("the reference count does not match the contents");
        }
    } catch (const ArchiveError& error) {
        return Damaged(error.what());
    }
    return references;
}

ReferenceFileLoad LoadReferenceFile(const std::string& path) {
    ReferenceFileLoad load;
    if (!FileExists(path)) {
        load.Missing = true;
        return load;
    }
    Result<FileBytes> bytes = ReadWholeFile(path);
    if (!bytes) {
        load.Damage =
            Failure{"The reference curves cannot be read and are not used.", bytes.Error().Message};
        return load;
    }
    Result<ReferenceSet> decoded = DecodeReferences(bytes->Span());
    if (!decoded) {
        load.Damage = Failure{decoded.Error().Message, path + ": " + decoded.Error().Detail};
        return load;
    }
    load.References = std::move(*decoded);
    return load;
}

Status SaveReferenceFile(const std::string& path, const ReferenceSet& references) {
    return SaveFileAtomically(path, EncodeReferences(references));
}

}  // namespace orvik
