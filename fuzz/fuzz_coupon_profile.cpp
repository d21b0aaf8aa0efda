// Feeds arbitrary text to the simulator's coupon profile reader. An accepted
// profile must be well formed and give a bounded reflection.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "simulator/coupon_profile.h"
#include "simulator/waveform_physics.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace orvik::sim;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto profile = CouponProfile::Parse(text);
    if (!profile) {
        return 0;
    }
    double end = 0.0;
    for (const auto& segment : profile->Segments()) {
        if (segment.From != end || !(segment.To > segment.From) || !(segment.Impedance > 0.0)) {
            std::abort();
        }
        end = segment.To;
    }
    if (end > CouponProfile::kLongestProfile) {
        std::abort();
    }
    // Short profiles only: the layered line costs time per inch.
    if (end <= 2.0) {
        const auto y = WaveformPhysics::ReflectedStep(CableAttachment::Coupon(*profile), 50.0, 400);
        for (double value : y) {
            // A passive line can ring above its final level (a high-impedance
            // line fed from the low-impedance cable does), but never far.
            if (!(value >= -3.0 && value <= 3.0)) {
                std::abort();
            }
        }
    }
    return 0;
}
