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

// The full name in the form that has no MAX_PATH limit: the temporary name
// beside a target near that limit is longer than the target's own.
bool LongFullPath(const std::wstring& path, std::wstring& full, size_t& nameAt)
{
    std::vector<wchar_t> buffer(MAX_PATH);
    wchar_t* name = nullptr;
    DWORD length = GetFullPathNameW(path.c_str(), static_cast<DWORD>(buffer.size()), buffer.data(), &name);
    if (length >= buffer.size()) {
        buffer.resize(length + 1);
        length = GetFullPathNameW(path.c_str(), static_cast<DWORD>(buffer.size()), buffer.data(), &name);
    }
    if (length == 0 || length >= buffer.size() || !name)
        return false;
    const std::wstring plain(buffer.data(), length);
    std::wstring prefix;
    size_t skip = 0;
    if (plain.compare(0, 4, L"\\\\?\\") == 0 || plain.compare(0, 4, L"\\\\.\\") == 0)
        prefix.clear();
    else if (plain.compare(0, 2, L"\\\\") == 0)
        prefix = L"\\\\?\\UNC\\", skip = 2;
    else
        prefix = L"\\\\?\\";
    full = prefix + plain.substr(skip);
    nameAt = prefix.size() + static_cast<size_t>(name - buffer.data()) - skip;
    return true;
}

// Marks an open file to go when its last handle closes, or keeps it again.
bool DeleteOnClose(HANDLE file, bool remove)
{
    FILE_DISPOSITION_INFO disposition = {};
    disposition.DeleteFile = remove ? TRUE : FALSE;
    return SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof disposition) != FALSE;
}

bool WriteAll(HANDLE file, const std::string& data)
{
    DWORD done = 0;
    const DWORD size = static_cast<DWORD>(data.size());
    return data.empty() || (WriteFile(file, data.data(), size, &done, nullptr) && done == size);
}

// A new file beside the target, gone again with its handle (also when the
// process is ended) until KeepTemporary.
mrvKernelHandle CreateTemporary(const std::wstring& folder, std::wstring& name, bool& marked)
{
    static LONG s_Counter = 0;
    for (int attempt = 0; attempt < 16; ++attempt) {
        wchar_t suffix[32];
        const unsigned tag = static_cast<unsigned>(GetTickCount64()) ^ (GetCurrentProcessId() << 16) ^
                             static_cast<unsigned>(InterlockedIncrement(&s_Counter));
        wsprintfW(suffix, L"qlg%08X.tmp", tag);
        name = folder + suffix;
        mrvKernelHandle file(CreateFileW(name.c_str(), GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW,
                                         FILE_ATTRIBUTE_NORMAL, nullptr));
        if (file.IsValid()) {
            // Where the file system cannot, it is removed by hand on failure.
            marked = DeleteOnClose(file.Get(), true);
            return file;
        }
        if (GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS)
            break;
    }
    return mrvKernelHandle();
}

// Over the existing file itself, as a plain save would: where no file can be made
// beside it, or where a reader holds it open so that it cannot be replaced. The
// room is taken before the first byte, so that a full disk leaves it as it was.
mrvLogResult Overwrite(const std::wstring& target, const std::string& data, mrvLogResult cannotOpen)
{
    mrvKernelHandle file(CreateFileW(target.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsValid())
        return cannotOpen;
    LARGE_INTEGER size = {};
    LARGE_INTEGER wanted = {};
    wanted.QuadPart = static_cast<LONGLONG>(data.size());
    if (!GetFileSizeEx(file.Get(), &size))
        return mrvLogResult::CannotWrite;
    if (wanted.QuadPart > size.QuadPart &&
        (!SetFilePointerEx(file.Get(), wanted, nullptr, FILE_BEGIN) || !SetEndOfFile(file.Get())))
        return mrvLogResult::CannotWrite;
    const LARGE_INTEGER start = {};
    if (!SetFilePointerEx(file.Get(), start, nullptr, FILE_BEGIN) || !WriteAll(file.Get(), data) ||
        !SetEndOfFile(file.Get()) || !FlushFileBuffers(file.Get()))
        return mrvLogResult::CannotWrite;
    return mrvLogResult::Saved;
}

} // namespace

mrvLogResult WriteLogFile(const std::string& data, const std::wstring& path)
{
    std::wstring target;
    size_t nameAt = 0;
    if (path.empty() || !LongFullPath(path, target, nameAt))
        return mrvLogResult::CannotOpen;
    WIN32_FILE_ATTRIBUTE_DATA existing = {};
    const bool exists = GetFileAttributesExW(target.c_str(), GetFileExInfoStandard, &existing) &&
                        !(existing.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
    // Not to be replaced either: a plain save could not open it.
    if (exists && (existing.dwFileAttributes & FILE_ATTRIBUTE_READONLY))
        return mrvLogResult::CannotOpen;

    std::wstring temporary;
    bool marked = false;
    mrvKernelHandle file = CreateTemporary(target.substr(0, nameAt), temporary, marked);
    if (!file.IsValid())
        return exists ? Overwrite(target, data, mrvLogResult::CannotOpen) : mrvLogResult::CannotOpen;
    // A full disk must not pass for a saved log.
    if (!WriteAll(file.Get(), data) || !FlushFileBuffers(file.Get())) {
        file.Reset();
        DeleteFileW(temporary.c_str());
        return mrvLogResult::CannotWrite;
    }
    if (marked && !DeleteOnClose(file.Get(), false)) {
        file.Reset();
        DeleteFileW(temporary.c_str());
        return exists ? Overwrite(target, data, mrvLogResult::CannotReplace) : mrvLogResult::CannotWrite;
    }
    file.Reset();

    if (!exists) {
        if (MoveFileExW(temporary.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH))
            return mrvLogResult::Saved;
        DeleteFileW(temporary.c_str());
        return mrvLogResult::CannotReplace;
    }
    // Keeps the file's permissions; the attributes are put back as well, which not
    // every implementation of it does.
    if (ReplaceFileW(target.c_str(), temporary.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr,
                     nullptr)) {
        if (GetFileAttributesW(target.c_str()) != existing.dwFileAttributes)
            SetFileAttributesW(target.c_str(), existing.dwFileAttributes);
        return mrvLogResult::Saved;
    }
    DeleteFileW(temporary.c_str());
    return Overwrite(target, data, mrvLogResult::CannotReplace);
}


const wchar_t* LogResultText(mrvLogResult result)
{
    switch (result) {
    case mrvLogResult::NoConnection: return L"Internal error - no connection to language monitor.";
    case mrvLogResult::NoLog: return L"Internal error, can't download log file.";
    case mrvLogResult::CannotOpen: return L"Can't open file to write.";
    case mrvLogResult::CannotWrite: return L"Can't write the whole log to the file.";
    case mrvLogResult::CannotReplace: return L"Can't put the log file in place.";
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
    return WriteLogFile(answer.size() > 2 ? answer.substr(2) : std::string(), path);
}
