#include "base/c_numbers.h"

#include <locale.h>
#include <charconv>
#include <clocale>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>

namespace orvik {
namespace {

locale_t CLocale() {
    static const locale_t c = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    return c;
}

// The C conventions for this thread while it lives; the thread's previous
// locale afterwards.
class CLocaleScope {
  public:
    CLocaleScope() : previous_(CLocale() ? uselocale(CLocale()) : nullptr) {}
    ~CLocaleScope() {
        if (previous_ != nullptr) {
            uselocale(previous_);
        }
    }
    CLocaleScope(const CLocaleScope&) = delete;
    CLocaleScope& operator=(const CLocaleScope&) = delete;

  private:
    locale_t previous_;
};

}  // namespace

std::string FormatC(const char* format, ...) {
    CLocaleScope scope;
    char buffer[256];
    va_list arguments;
    va_start(arguments, format);
    va_list again;
    va_copy(again, arguments);
    const int length = std::vsnprintf(buffer, sizeof buffer, format, arguments);
    va_end(arguments);
    std::string text;
    if (length >= 0 && static_cast<std::size_t>(length) < sizeof buffer) {
        text.assign(buffer, static_cast<std::size_t>(length));
    } else if (length > 0) {
        text.resize(static_cast<std::size_t>(length));
        std::vsnprintf(text.data(), text.size() + 1, format, again);
    }
    va_end(again);
    return text;
}

std::string ShortestC(double value) {
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

double ParseC(const char* text, char** end) {
    CLocaleScope scope;
    return std::strtod(text, end);
}

void UseCNumericLocale() {
    std::setlocale(LC_NUMERIC, "C");
}

}  // namespace orvik
