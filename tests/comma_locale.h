#pragma once

// A desktop whose numbers use a decimal comma, for tests of the system's own
// number texts. The machine's German locale is used when it has one; else one
// is compiled with localedef (from the `locales` package) into a folder of
// its own, shared by the test programs and found through LOCPATH.
#include <unistd.h>
#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace orvik::testing {

class CommaLocale {
  public:
    // Puts the comma locale in force for every category, as LC_ALL would.
    CommaLocale() : previous_(std::setlocale(LC_ALL, nullptr)) {
        if (TryInForce() || (Compile() && TryInForce())) {
            active_ = true;
        } else if (reason_.empty()) {
            reason_ = "no locale with a decimal comma could be put in force";
        }
    }
    ~CommaLocale() { std::setlocale(LC_ALL, previous_.c_str()); }
    CommaLocale(const CommaLocale&) = delete;
    CommaLocale& operator=(const CommaLocale&) = delete;

    bool Active() const { return active_; }
    // Why not, for a skipped test.
    const std::string& Reason() const { return reason_; }

  private:
    static constexpr const char* kName = "de_DE.UTF-8";

    static bool DecimalComma() {
        const std::lconv* conventions = std::localeconv();
        return conventions != nullptr && std::string(conventions->decimal_point) == ",";
    }

    bool TryInForce() {
        for (const char* name : {kName, "de_DE.utf8", "fr_FR.UTF-8", "nl_NL.UTF-8"}) {
            if (std::setlocale(LC_ALL, name) != nullptr && DecimalComma()) {
                return true;
            }
        }
        std::setlocale(LC_ALL, previous_.c_str());
        return false;
    }

    bool Compile() {
        namespace fs = std::filesystem;
        const fs::path folder = fs::temp_directory_path() / "orvik-comma-locale";
        const fs::path target = folder / kName;
        std::error_code ignored;
        if (!fs::exists(target / "LC_NUMERIC")) {
            if (!fs::exists("/usr/share/i18n/locales/de_DE")) {
                reason_ =
                    "the machine has no comma locale and no locale sources to make one "
                    "(Debian package `locales`)";
                return false;
            }
            // Compiled beside the target and renamed, so that test programs
            // running at the same time never see half a locale.
            fs::create_directories(folder, ignored);
            const fs::path scratch = folder / ("building-" + std::to_string(::getpid()));
            const std::string command =
                "localedef -i de_DE -f UTF-8 '" + scratch.string() + "' >/dev/null 2>&1";
            const int status = std::system(command.c_str());
            if (!fs::exists(scratch / "LC_NUMERIC")) {
                reason_ = "localedef could not make " + std::string(kName) + " (status " +
                          std::to_string(status) + ")";
                fs::remove_all(scratch, ignored);
                return false;
            }
            fs::rename(scratch, target, ignored);
            fs::remove_all(scratch, ignored);
        }
        ::setenv("LOCPATH", folder.c_str(), 1);
        return true;
    }

    std::string previous_;
    std::string reason_;
    bool active_ = false;
};

}  // namespace orvik::testing
