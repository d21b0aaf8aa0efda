#include "simulator/factory_calibration.h"

#include "instrument/store_layout.h"
#include "simulator/physics_factory.h"

namespace orvik::sim {

std::vector<std::pair<std::uint8_t, SimulatedStore::Page>> FactoryStorePages() {
    const PhysicsFactory& single = PhysicsFactoryValues(MeasurementMode::SingleEnded);
    const PhysicsFactory& differential = PhysicsFactoryValues(MeasurementMode::Differential);
    std::vector<std::pair<std::uint8_t, SimulatedStore::Page>> pages;

    StorePage page{};
    SetPageDouble(page, 0, kCalibratedStoreMagic);
    SetPageDouble(page, 1, single.EndOfCable);
    SetPageDouble(page, 2, differential.EndOfCable);
    pages.emplace_back(store_page::kEndOfCable, page);

    page = StorePage{};
    SetPageDouble(page, 0, single.Divisor);
    SetPageDouble(page, 1, differential.Divisor);
    SetPageDouble(page, 2, single.CalibrationConstant);
    pages.emplace_back(store_page::kDivisors, page);

    page = StorePage{};
    SetPageDouble(page, 0, differential.CalibrationConstant);
    pages.emplace_back(store_page::kDifferentialConstant, page);

    pages.emplace_back(store_page::kLastOperator, TextPage(kFactoryOperator));
    pages.emplace_back(store_page::kLastDate, TextPage(kFactoryDate));

    auto addKernel = [&](std::uint8_t first, const std::vector<double>& kernel) {
        int number = first;
        for (const StorePage& content : PackKernelPages(kernel)) {
            pages.emplace_back(static_cast<std::uint8_t>(number++), content);
        }
    };
    addKernel(store_page::kSingleEndedKernel, single.Kernel);
    addKernel(store_page::kDifferentialKernel, differential.Kernel);
    return pages;
}

}  // namespace orvik::sim
