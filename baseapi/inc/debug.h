#pragma once
#include <sstream>
#include <string>

namespace mrvAPI {

// A fixed diagnostic line goes out exactly as written (with a line end only
// where the text has one).
void DebugOut(const char* text);
void DebugOutW(const std::wstring& text);

// A composed diagnostic line: collected with <<, sent as one call with a line
// feed when the statement ends:  mrvDebugLine() << "Thread <" << id << "> started.";
class mrvDebugLine {
public:
    mrvDebugLine() = default;
    ~mrvDebugLine();
    mrvDebugLine(const mrvDebugLine&) = delete;
    mrvDebugLine& operator=(const mrvDebugLine&) = delete;

    template <class T>
    mrvDebugLine& operator<<(const T& value)
    {
        m_Stream << value;
        return *this;
    }

private:
    std::ostringstream m_Stream;
};

} // namespace mrvAPI
