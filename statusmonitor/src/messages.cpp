#include "messages.h"
#include <cstring>

bool PostText(HWND hWnd, UINT message, const char* text)
{
    const size_t length = std::strlen(text);
    std::unique_ptr<char[]> copy(new (std::nothrow) char[length + 1]);
    if (!copy)
        return false;
    std::memcpy(copy.get(), text, length + 1);
    if (!PostMessageW(hWnd, message, 0, reinterpret_cast<LPARAM>(copy.get())))
        return false;
    copy.release(); // now owned by the receiver
    return true;
}

std::unique_ptr<char[]> AdoptPostedText(LPARAM lParam)
{
    return std::unique_ptr<char[]>(reinterpret_cast<char*>(lParam));
}
