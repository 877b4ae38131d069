// The settings reader, and a write-read round trip: settings read from any file, written
// into it and read again, are the same settings; the rest of the file keeps its values.

#include <string>
#include <string_view>

#include "app/settings_file.h"
#include "fuzz_check.h"

using vrk::app::ProfileFile;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    ProfileFile file = ProfileFile::parse(bytes);
    const vrk::app::Settings settings = vrk::app::settingsFromProfile(file);
    FUZZ_CHECK(settings.gapTenths >= vrk::app::Settings::kMinGapTenths &&
               settings.gapTenths <= vrk::app::Settings::kMaxGapTenths);
    FUZZ_CHECK(settings.revealSpeed >= 0 && settings.revealSpeed <= vrk::app::Settings::kMaxSpeed);

    // Formatting alone changes nothing a reader sees.
    const std::string once = file.format();
    const ProfileFile reparsed = ProfileFile::parse(once);
    FUZZ_CHECK(reparsed.format() == once);
    FUZZ_CHECK(vrk::app::settingsFromProfile(reparsed) == settings);

    vrk::app::settingsToProfile(settings, file);
    const ProfileFile written = ProfileFile::parse(file.format());
    FUZZ_CHECK(vrk::app::settingsFromProfile(written) == settings);
    // A key of another section is left alone.
    FUZZ_CHECK(written.text("OTHER", "KEY") == reparsed.text("OTHER", "KEY"));
    return 0;
}
