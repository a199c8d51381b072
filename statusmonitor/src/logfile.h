#pragma once
#include "win.h"
#include <functional>
#include <string>

class SocketAPI;

// What became of one request for the printer's log.
enum class mrvLogResult {
    Saved,
    NoConnection, // the language monitor could not be reached
    NoLog,        // no answer, a broken connection or not a log answer
    CannotOpen,    // the file could not be created
    CannotWrite,   // the file could not be written whole
    CannotReplace, // the whole log could not take the place of the file
    Stopped,      // the worker was stopped meanwhile
};

// The message the status window shows for a result; empty for Saved and Stopped.
const wchar_t* LogResultText(mrvLogResult result);

// Fetches the printer's log over the connection and writes it to path byte for
// byte. The file is whole or absent: the log goes to a temporary file in the
// same folder that replaces path only once it is complete, keeping an existing
// file's attributes and permissions; on any failure path is left as it was and
// no temporary file stays. stopped is asked once the answer is in.
// The writing step alone: data to path, as above.
mrvLogResult WriteLogFile(const std::string& data, const std::wstring& path);

mrvLogResult DownloadLog(SocketAPI& connection, UINT printerIndex, const std::wstring& path,
                         const std::function<bool()>& stopped);
