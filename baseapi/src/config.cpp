#include "config.h"
#include "configtree.h"
#include "exception.h"
#include "utils.h"
#include <tinyxml.h>

namespace mrvAPI {

namespace {

const char* const kFile = "baseapi\\src\\config";

} // namespace

mrvConfig::mrvConfig(const std::wstring& fileName)
{
    // Read and parsed here rather than by TiXmlDocument::LoadFile, whose buffer ends
    // right at the text: see ParseConfigText.
    TiXmlDocument document;
    std::string bytes;
    if (!ReadConfigFile(mrvUtils::W2M(fileName), bytes) || !ParseConfigText(document, bytes))
        throw mrvException(mrvE_FAIL, "Config file not installed!", "mrvAPI::mrvConfig::mrvConfig", kFile, __LINE__);
    if (const TiXmlElement* root = document.RootElement())
        FillConfigNode(m_Root, *root, &mrvUtils::M2W);
}

} // namespace mrvAPI
