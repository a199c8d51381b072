// Feeds arbitrary bytes as the error record that the worker posts (error ID and
// hex-encoded text) to the window's decoder.
#include "errorrecord.h"
#include "lmsim/scenario.h"
#include "support/check.h"
#include "support/utf16.h"
#include <cctype>
#include <cstddef>
#include <cstdint>

namespace {

void CheckDecoding(const std::string& record)
{
    ErrorRecord out;
    out.code = "stale";
    out.text = u"stale";
    const bool decoded = DecodeErrorRecord(record, out);

    FUZZ_CHECK(decoded == (record.size() >= 9));
    if (!decoded) {
        // A dropped record leaves nothing of an earlier one behind.
        FUZZ_CHECK(out.code.empty() && out.text.empty());
        return;
    }
    FUZZ_CHECK(out.code == record.substr(0, 8));
    // One code unit per complete group of four; a shorter last group is ignored.
    FUZZ_CHECK(out.text.size() == (record.size() - 8) / 4);
    for (size_t unit = 0; unit < out.text.size(); ++unit) {
        const std::string group = record.substr(8 + 4 * unit, 4);
        bool hex = true;
        for (char c : group)
            hex = hex && std::isxdigit(static_cast<unsigned char>(c));
        if (hex)
            FUZZ_CHECK(out.text[unit] == static_cast<char16_t>(std::stoul(group, nullptr, 16)));
        else
            FUZZ_CHECK(out.text[unit] == u'\xFFFD');
    }
}

// The same bytes as an error text that the simulator encodes: the window must get
// back exactly the UTF-16 units of that text, whatever a trailing stray digit does.
void CheckRoundTrip(const std::string& utf8)
{
    ErrorRecord out;
    FUZZ_CHECK(DecodeErrorRecord(std::string("0000012A") + lmsim::EncodeErrorText(utf8) + "0", out));
    FUZZ_CHECK(out.code == "0000012A");
    const std::wstring expected = fuzzsupport::Utf8ToUtf16(utf8);
    FUZZ_CHECK(out.text == std::u16string(expected.begin(), expected.end()));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    CheckDecoding(bytes);
    CheckRoundTrip(bytes);
    return 0;
}
