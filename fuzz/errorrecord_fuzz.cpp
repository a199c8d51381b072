// Feeds arbitrary bytes as the error record that the worker posts (error ID and
// hex-encoded text) to the window's decoder.
#include "errorrecord.h"
#include <algorithm>
#include <cassert>
#include <cctype>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string record(reinterpret_cast<const char*>(data), size);
    ErrorRecord out{"stale", u"stale"};
    const bool decoded = DecodeErrorRecord(record, out);
    assert(decoded == (size >= 9));
    // A dropped record leaves nothing of an earlier one behind.
    assert(decoded ? out.code == record.substr(0, 8) : out.code.empty() && out.text.empty());
    // One code unit per complete group of four; a shorter last group is ignored.
    assert(out.text.size() == (decoded ? (size - 8) / 4 : 0));
    for (size_t unit = 0; unit < out.text.size(); ++unit) {
        const std::string group = record.substr(8 + 4 * unit, 4);
        const bool hex =
            std::all_of(group.begin(), group.end(), [](char c) { return std::isxdigit(static_cast<unsigned char>(c)); });
        assert(out.text[unit] == (hex ? static_cast<char16_t>(std::stoul(group, nullptr, 16)) : u'\xFFFD'));
    }
    return 0;
}
