#include "logfile.h"
#include "debug.h"
#include "handle.h"
#include "socket.h"
#include "update.h"
#include <vector>

using namespace mrvAPI;

namespace {

constexpr int32_t kLogTimeoutMs = 180000;
constexpr uint32_t kLogLength = 326656;
constexpr BYTE kCmdLog = 4;
constexpr unsigned char kLogAnswer = 0x84;

// The folder part of path (a full name is asked first, so a bare file name works).
bool FolderOf(const std::wstring& path, std::wstring& folder)
{
    std::vector<wchar_t> full(MAX_PATH);
    wchar_t* name = nullptr;
    DWORD length = GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), &name);
    if (length >= full.size()) {
        full.resize(length + 1);
        length = GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), &name);
    }
    if (length == 0 || length >= full.size() || !name)
        return false;
    folder.assign(full.data(), name);
    return true;
}

mrvLogResult WriteWhole(const std::string& data, const std::wstring& path)
{
    std::wstring folder;
    wchar_t temporary[MAX_PATH] = {};
    // Beside the target, so that the rename below never copies across volumes.
    if (!FolderOf(path, folder) || !GetTempFileNameW(folder.c_str(), L"qlg", 0, temporary))
        return mrvLogResult::CannotOpen;
    mrvLogResult result = mrvLogResult::CannotOpen;
    {
        mrvKernelHandle file(CreateFileW(temporary, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                         FILE_ATTRIBUTE_NORMAL, nullptr));
        if (file.IsValid()) {
            DWORD done = 0;
            const DWORD size = static_cast<DWORD>(data.size());
            // A full disk must not pass for a saved log.
            const bool whole = data.empty() || (WriteFile(file.Get(), data.data(), size, &done, nullptr) && done == size);
            result = whole && FlushFileBuffers(file.Get()) ? mrvLogResult::Saved : mrvLogResult::CannotWrite;
        }
    }
    if (result != mrvLogResult::Saved) {
        DeleteFileW(temporary);
        return result;
    }
    if (!MoveFileExW(temporary, path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        DeleteFileW(temporary);
        return mrvLogResult::CannotOpen;
    }
    return mrvLogResult::Saved;
}

} // namespace

const wchar_t* LogResultText(mrvLogResult result)
{
    switch (result) {
    case mrvLogResult::NoConnection: return L"Internal error - no connection to language monitor.";
    case mrvLogResult::NoLog: return L"Internal error, can't download log file.";
    case mrvLogResult::CannotOpen: return L"Can't open file to write.";
    case mrvLogResult::CannotWrite: return L"Can't write the whole log to the file.";
    case mrvLogResult::Saved:
    case mrvLogResult::Stopped: break;
    }
    return L"";
}

mrvLogResult DownloadLog(SocketAPI& connection, UINT printerIndex, const std::wstring& path,
                         const std::function<bool()>& stopped)
{
    const std::string answer =
        connection.SocketRequestData(mrvUpdate::BuildRequest(kCmdLog, printerIndex), kLogTimeoutMs, kLogLength);
    mrvDebugLine() << "LANG__ReadFromLANPrinter SaveLog Size " << answer.size();
    if (stopped && stopped())
        return mrvLogResult::Stopped;
    if (answer.empty() || static_cast<unsigned char>(answer[0]) != kLogAnswer)
        return mrvLogResult::NoLog;
    // The single code byte carries no log: the file is created empty.
    return WriteWhole(answer.size() > 2 ? answer.substr(2) : std::string(), path);
}
