#include "simulator/factory_calibration.h"

#include <cmath>
#include <numbers>

#include "instrument/store_layout.h"

namespace orvik::sim {
namespace {

struct KernelShape {
    int count;
    double first;
    double peak;
    int peakIndex;
    double floor;
    double decay;  // samples per e-fold after the peak
};

std::vector<double> MakeKernel(const KernelShape& shape) {
    std::vector<double> values(static_cast<std::size_t>(shape.count));
    for (int i = 0; i < shape.count; ++i) {
        double value;
        if (i <= shape.peakIndex) {
            const double phase = std::numbers::pi * i / shape.peakIndex;
            value = shape.first + (shape.peak - shape.first) * 0.5 * (1.0 - std::cos(phase));
        } else {
            value = shape.floor +
                    (shape.peak - shape.floor) * std::exp(-(i - shape.peakIndex) / shape.decay);
        }
        values[static_cast<std::size_t>(i)] = value;
    }
    return values;
}

}  // namespace

const FactoryCalibration& Factory() {
    static const FactoryCalibration factory;
    return factory;
}

std::vector<double> FactoryKernel(SimMode mode) {
    if (mode == SimMode::Differential) {
        return MakeKernel({350, 10.63, 99.21, 73, 1.0, 63.8});
    }
    return MakeKernel({200, 11.18, 136.1, 58, 0.9, 29.6});
}

std::vector<std::pair<std::uint8_t, SimulatedStore::Page>> FactoryStorePages() {
    const FactoryCalibration& factory = Factory();
    std::vector<std::pair<std::uint8_t, SimulatedStore::Page>> pages;

    StorePage page{};
    SetPageDouble(page, 0, kCalibratedStoreMagic);
    SetPageDouble(page, 1, factory.endOfCableSingle);
    SetPageDouble(page, 2, factory.endOfCableDifferential);
    pages.emplace_back(store_page::kEndOfCable, page);

    page = StorePage{};
    SetPageDouble(page, 0, factory.divisorSingle);
    SetPageDouble(page, 1, factory.divisorDifferential);
    SetPageDouble(page, 2, factory.constantSingle);
    pages.emplace_back(store_page::kDivisors, page);

    page = StorePage{};
    SetPageDouble(page, 0, factory.constantDifferential);
    pages.emplace_back(store_page::kDifferentialConstant, page);

    pages.emplace_back(store_page::kLastOperator, TextPage(factory.lastOperator));
    pages.emplace_back(store_page::kLastDate, TextPage(factory.lastDate));

    auto addKernel = [&](std::uint8_t first, SimMode mode) {
        const std::vector<double> kernel = FactoryKernel(mode);
        int number = first;
        for (const StorePage& content : PackKernelPages(kernel)) {
            pages.emplace_back(static_cast<std::uint8_t>(number++), content);
        }
    };
    addKernel(store_page::kSingleEndedKernel, SimMode::SingleEnded);
    addKernel(store_page::kDifferentialKernel, SimMode::Differential);
    return pages;
}

}  // namespace orvik::sim
