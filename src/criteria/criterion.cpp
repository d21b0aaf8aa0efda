#include "criteria/criterion.h"

#include "base/archive.h"

namespace orvik {

void Criterion::RecomputeLimits() {
    MinimumImpedance = TargetImpedance - TargetImpedance * AllowableError * 0.01;
    MaximumImpedance = TargetImpedance + TargetImpedance * AllowableError * 0.01;
}

void Criterion::Serialize(Archive& archive) {
    archive.Int32(Id);
    archive.String(Name);
    archive.Double(TargetImpedance);
    archive.Double(AllowableError);
    archive.Double(MaximumImpedance);
    archive.Double(MinimumImpedance);
    archive.Double(EndPosition);
    archive.Double(StartPosition);
    archive.Int32(DoubleEnded);
}

}  // namespace orvik
