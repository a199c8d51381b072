// Feeds arbitrary bytes as the error record that the worker posts (error ID and
// hex-encoded text) to the window's decoder.
#include "errorrecord.h"
#include "support/check.h"
#include <cctype>
#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string record(reinterpret_cast<const char*>(data), size);
    ErrorRecord out;
    out.code = "stale";
    out.text = u"stale";
    const bool decoded = DecodeErrorRecord(record, out);
    FUZZ_CHECK(decoded == (size >= 9));
    if (!decoded) {
        // A dropped record leaves nothing of an earlier one behind.
        FUZZ_CHECK(out.code.empty() && out.text.empty());
        return 0;
    }
    FUZZ_CHECK(out.code == record.substr(0, 8));
    // One code unit per complete group of four; a shorter last group is ignored.
    FUZZ_CHECK(out.text.size() == (size - 8) / 4);
    for (size_t unit = 0; unit < out.text.size(); ++unit) {
        const std::string group = record.substr(8 + 4 * unit, 4);
        bool hex = true;
        for (char c : group)
            hex = hex && std::isxdigit(static_cast<unsigned char>(c));
        FUZZ_CHECK(out.text[unit] == (hex ? static_cast<char16_t>(std::stoul(group, nullptr, 16)) : u'\xFFFD'));
    }
    return 0;
}
