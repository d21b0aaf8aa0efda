#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "base/failure.h"

namespace orvik {

// How far a measured curve may stray from its criterion's reference curve:
// a fixed number of ohms, or a percentage of the reference's impedance at
// each position.
enum class ToleranceUnit : std::int32_t { Ohms = 0, Percent = 1 };

struct ReferencePoint {
    double Position;   // inches
    double Impedance;  // ohms

    bool operator==(const ReferencePoint&) const = default;
};

// The golden sample of one criterion: a stored trace known to be good, and
// the tolerance around it. Over the criterion's window a measured curve must
// stay inside the mask, the band of the reference plus and minus the
// tolerance.
struct CriterionReference {
    std::int32_t CriterionId = 0;
    std::string TraceName;  // the stored trace it was taken from
    std::int64_t Time = 0;  // when that trace was measured, seconds since 1970
    ToleranceUnit Unit = ToleranceUnit::Ohms;
    double Tolerance = 0.0;
    // Positions strictly increasing, every value finite.
    std::vector<ReferencePoint> Points;

    bool operator==(const CriterionReference&) const = default;
};

// The mask's lower and upper edge at one position.
struct MaskEdges {
    double Low;
    double High;
};

// The mask at `position`: the reference there (linear between its points)
// plus and minus the tolerance. None outside the reference's positions, where
// the mask says nothing.
std::optional<MaskEdges> MaskAt(const CriterionReference& reference, double position);

// Why a reference cannot be made: a tolerance that is no number or negative,
// a percentage above 100, fewer than two points, points that are no numbers,
// out of range (beyond a million inches or a million megohms) or not in
// increasing order. Empty when it can.
std::string ReferenceProblem(const CriterionReference& reference);

// The references of a library's criteria, one per criterion id.
class ReferenceSet {
  public:
    const CriterionReference* Find(std::int32_t criterionId) const;
    // Replaces the criterion's reference if it has one.
    void Set(CriterionReference reference);
    // False when the criterion had none.
    bool Clear(std::int32_t criterionId);
    const std::vector<CriterionReference>& All() const { return references_; }
    bool Empty() const { return references_.empty(); }

    bool operator==(const ReferenceSet&) const = default;

  private:
    std::vector<CriterionReference> references_;  // in the order they were made
};

// The side file beside a criteria library that holds its references, so the
// library's own file keeps its layout for every program that reads it:
// "criteria.ref" beside "criteria.dat", "lab.ref" beside "lab.dat".
inline constexpr const char* kReferenceFileExtension = ".ref";
std::string ReferenceFilePath(const std::string& libraryPath);

// The side file's bytes: a fixed opening, a layout version, the length and
// CRC-32 of what follows, then the references. Decoding refuses anything
// that does not check out, naming why.
std::vector<std::uint8_t> EncodeReferences(const ReferenceSet& references);
Result<ReferenceSet> DecodeReferences(std::span<const std::uint8_t> bytes);
inline constexpr std::int32_t kReferenceFileVersion = 1;

// What reading the side file found. A missing file is no references; a
// damaged one is ignored (no references) and says why in `Damage`.
struct ReferenceFileLoad {
    ReferenceSet References;
    bool Missing = false;
    std::optional<Failure> Damage;
};
ReferenceFileLoad LoadReferenceFile(const std::string& path);
// Written through a temporary file, so that the old file stays whole until
// the new one is on the disk.
Status SaveReferenceFile(const std::string& path, const ReferenceSet& references);

}  // namespace orvik
