#include "chart/axis_scaling.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>

#include "base/c_numbers.h"

namespace orvik {

namespace {

// Decimal steps computed by repeated multiplication carry tiny errors; a
// normalised value this close to 1, 2 or 5 counts as equal to it.
constexpr double kStepTolerance = 1e-9;

// Labels of absurd values are cut here rather than crowd the axis.
constexpr std::size_t kMaxTickLabelLength = 63;

}  // namespace

double ComputeTickStep(int n, double min, double max, double currentStep) {
    if (n <= 0) {
        return currentStep;
    }
    double d = (max - min) / n;
    if (!std::isfinite(d) || d <= 0.0) {
        return currentStep;
    }
    int exponent = 0;
    if (d >= 1.0) {
        int divisions = 0;
        while (d >= 1.0) {
            d /= 10.0;
            ++divisions;
        }
        d *= 10.0;
        exponent = divisions - 1;
    } else {
        int multiplications = 0;
        while (d < 1.0) {
            d *= 10.0;
            ++multiplications;
        }
        exponent = -multiplications;
    }
    double mantissa = 10.0;
    if (d <= 1.0 + kStepTolerance) {
        mantissa = 1.0;
    } else if (d <= 2.0 + kStepTolerance) {
        mantissa = 2.0;
    } else if (d <= 5.0 + kStepTolerance) {
        mantissa = 5.0;
    }
    const double step = std::pow(10.0, exponent) * mantissa;
    if (step == 0.0 || !std::isfinite(step)) {
        return 0.1;
    }
    return step;
}

namespace {

// The remainder of a after removing whole multiples of step toward zero; a
// remainder within rounding noise of 0 or of a whole step counts as 0.
double Remainder(double a, double step) {
    const double r = std::fmod(a, step);
    const double noise = std::fabs(step) * kStepTolerance;
    if (std::fabs(r) <= noise || std::fabs(std::fabs(r) - std::fabs(step)) <= noise) {
        return 0.0;
    }
    return r;
}

}  // namespace

void AlignRange(double& min, double& max, double step) {
    if (!(step > 0.0) || !std::isfinite(step) || !std::isfinite(min) || !std::isfinite(max)) {
        return;
    }
    const double low = Remainder(min - step, step);
    if (low != 0.0) {
        min = min - step - low;
    }
    const double high = Remainder(max + step, step);
    if (high != 0.0) {
        max = max + step - high;
    }
}

bool IsValueFormat(std::string_view format) {
    int conversions = 0;
    for (std::size_t i = 0; i < format.size(); ++i) {
        if (format[i] != '%') {
            continue;
        }
        ++i;
        if (i < format.size() && format[i] == '%') {
            continue;
        }
        while (i < format.size() &&
               std::string_view("-+ #0").find(format[i]) != std::string_view::npos) {
            ++i;
        }
        int digits = 0;
        while (i < format.size() && format[i] >= '0' && format[i] <= '9') {
            ++i;
            ++digits;
        }
        if (digits > 2) {
            return false;
        }
        if (i < format.size() && format[i] == '.') {
            ++i;
            digits = 0;
            while (i < format.size() && format[i] >= '0' && format[i] <= '9') {
                ++i;
                ++digits;
            }
            if (digits > 2) {
                return false;
            }
        }
        if (i < format.size() && format[i] == 'l') {
            ++i;
        }
        if (i >= format.size() ||
            std::string_view("fFeEgGaA").find(format[i]) == std::string_view::npos) {
            return false;
        }
        ++conversions;
    }
    return conversions == 1;
}

namespace {

std::string FormatDate(std::string_view format, double days) {
    using namespace std::chrono;
    if (!std::isfinite(days) || std::fabs(days) > 3.0e6) {
        return std::string();
    }
    const double wholeDays = std::floor(days);
    const auto seconds = static_cast<long long>(std::lround((days - wholeDays) * 86400.0));
    const sys_days day =
        sys_days(year{1899} / December / 30) + std::chrono::days(static_cast<long long>(wholeDays));
    const year_month_day date(day);
    std::tm parts{};
    parts.tm_year = static_cast<int>(date.year()) - 1900;
    parts.tm_mon = static_cast<int>(static_cast<unsigned>(date.month())) - 1;
    parts.tm_mday = static_cast<int>(static_cast<unsigned>(date.day()));
    parts.tm_hour = static_cast<int>(seconds / 3600 % 24);
    parts.tm_min = static_cast<int>(seconds / 60 % 60);
    parts.tm_sec = static_cast<int>(seconds % 60);
    parts.tm_wday = static_cast<int>(weekday(day).c_encoding());
    char text[128];
    const std::string pattern(format.empty() ? std::string_view("%x") : format);
    const std::size_t length = std::strftime(text, sizeof text, pattern.c_str(), &parts);
    return std::string(text, length);
}

}  // namespace

std::string FormatTickValue(std::string_view format, double value, bool dateAxis) {
    if (dateAxis) {
        return FormatDate(format, value);
    }
    const std::string pattern(IsValueFormat(format) ? format : std::string_view("%5.1f"));
    std::string text = FormatC(pattern.c_str(), value);
    if (text.size() > kMaxTickLabelLength) {
        text.resize(kMaxTickLabelLength);
    }
    return text;
}

}  // namespace orvik
