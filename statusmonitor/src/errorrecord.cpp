#include "errorrecord.h"

namespace {

int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace

bool DecodeErrorRecord(const std::string& record, ErrorRecord& out)
{
    out.code.clear();
    out.text.clear();
    if (record.size() < 9)
        return false;
    out.code = record.substr(0, 8);
    for (size_t pos = 8; pos + 4 <= record.size(); pos += 4) {
        unsigned value = 0;
        bool valid = true;
        for (size_t i = 0; i < 4; ++i) {
            const int digit = HexValue(record[pos + i]);
            if (digit < 0) {
                valid = false;
                break;
            }
            value = value * 16 + static_cast<unsigned>(digit);
        }
        // A garbled group still leaves a readable text around it.
        out.text.push_back(valid ? static_cast<char16_t>(value) : u'\xFFFD');
    }
    return true;
}
