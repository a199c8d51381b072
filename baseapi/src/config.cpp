#include "config.h"
#include "configtree.h"
#include "exception.h"
#include "handle.h"
#include "utils.h"
#include <tinyxml.h>

namespace mrvAPI {

namespace {

const char* const kFile = "baseapi\\src\\config";

// By the wide name: an installation folder outside the ANSI code page has no
// narrow name to open it by. Others may have it open for writing (an editor).
bool ReadWholeFile(const std::wstring& fileName, std::string& bytes)
{
    mrvKernelHandle file(CreateFileW(fileName.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                     OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsValid())
        return false;
    LARGE_INTEGER size = {};
    if (!GetFileSizeEx(file.Get(), &size) || size.QuadPart > 0x7FFFFFFF)
        return false;
    bytes.resize(static_cast<size_t>(size.QuadPart));
    DWORD read = 0;
    if (!bytes.empty() && (!ReadFile(file.Get(), &bytes[0], static_cast<DWORD>(bytes.size()), &read, nullptr) ||
                           read != bytes.size()))
        return false;
    return true;
}

} // namespace

mrvConfig::mrvConfig(const std::wstring& fileName)
{
    // Read and parsed here rather than by TiXmlDocument::LoadFile, whose buffer ends
    // right at the text: see ParseConfigText.
    TiXmlDocument document;
    std::string bytes;
    if (!ReadWholeFile(fileName, bytes) || !ParseConfigText(document, bytes))
        throw mrvException(mrvE_FAIL, "Config file not installed!", "mrvAPI::mrvConfig::mrvConfig", kFile, __LINE__);
    if (const TiXmlElement* root = document.RootElement())
        FillConfigNode(m_Root, *root, &mrvUtils::M2W);
}

} // namespace mrvAPI
