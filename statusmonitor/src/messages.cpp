#include "messages.h"
#include "lock.h"
#include <cstring>
#include <map>

namespace {

// Texts handed out by PostText and not yet adopted, with the window each went to.
// Only these may be adopted: another program can post any number as lParam.
struct Outstanding {
    mrvAPI::mrvCriticalSection lock{"PostedTexts"};
    std::map<const char*, HWND> texts;
};

Outstanding& Texts()
{
    static Outstanding s_Texts;
    return s_Texts;
}

} // namespace

bool PostText(HWND hWnd, UINT message, const char* text)
{
    // A window that is gone has no queue to free the copy from; a null one would
    // post to this thread instead.
    if (!hWnd)
        return false;
    const size_t length = std::strlen(text);
    std::unique_ptr<char[]> copy(new (std::nothrow) char[length + 1]);
    if (!copy)
        return false;
    std::memcpy(copy.get(), text, length + 1);
    Outstanding& outstanding = Texts();
    // Registered before the post, so that the receiver can adopt it at once.
    mrvAPI::mrvLock lock(&outstanding.lock);
    outstanding.texts[copy.get()] = hWnd;
    if (!PostMessageW(hWnd, message, 0, reinterpret_cast<LPARAM>(copy.get()))) {
        outstanding.texts.erase(copy.get());
        return false;
    }
    copy.release(); // now owned by the receiver
    return true;
}

std::unique_ptr<char[]> AdoptPostedText(LPARAM lParam)
{
    char* text = reinterpret_cast<char*>(lParam);
    Outstanding& outstanding = Texts();
    mrvAPI::mrvLock lock(&outstanding.lock);
    if (outstanding.texts.erase(text) == 0)
        return nullptr;
    return std::unique_ptr<char[]>(text);
}

void FreePostedTexts(HWND hWnd)
{
    Outstanding& outstanding = Texts();
    mrvAPI::mrvLock lock(&outstanding.lock);
    for (auto it = outstanding.texts.begin(); it != outstanding.texts.end();) {
        if (it->second != hWnd) {
            ++it;
            continue;
        }
        delete[] it->first;
        it = outstanding.texts.erase(it);
    }
}

size_t CountPostedTexts()
{
    Outstanding& outstanding = Texts();
    mrvAPI::mrvLock lock(&outstanding.lock);
    return outstanding.texts.size();
}
