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
    TiXmlDocument document(mrvUtils::W2M(fileName).c_str());
    if (!document.LoadFile())
        throw mrvException(mrvE_FAIL, "Config file not installed!", "mrvAPI::mrvConfig::mrvConfig", kFile, __LINE__);
    if (const TiXmlElement* root = document.RootElement())
        FillConfigNode(m_Root, *root, &mrvUtils::M2W);
}

} // namespace mrvAPI
