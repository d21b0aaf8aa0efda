#include "simulator/cable_attachment.h"

#include <sstream>

namespace orvik::sim {

std::string CableAttachment::Describe() const {
    std::ostringstream out;
    switch (What) {
        case Kind::Open:
            out << "open";
            break;
        case Kind::Short:
            out << "short";
            break;
        case Kind::Load:
            out << "load " << Impedance << " ohms";
            break;
        case Kind::Airline:
            out << "airline " << Impedance << " ohms, " << Length << " in";
            if (Terminated) {
                out << ", terminated";
            }
            break;
        case Kind::Coupon:
            out << "coupon " << Profile.Text();
            break;
    }
    return out.str();
}

CableAttachment DefaultAttachment(MeasurementMode mode) {
    return CableAttachment::Coupon(*CouponProfile::Parse(IsDifferential(mode) ? "100" : "50"));
}

}  // namespace orvik::sim
