#pragma once
#include "language.h"
#include "registry_fixture.h"
#include "temp_folder.h"
#include <gtest/gtest.h>
#include <string>

// Writes a language file into a fresh folder and points "Path" at it.
class LanguageFile : public ::testing::Test {
protected:
    void TearDown() override { mrvAPI::mrvLanguages::Clear(); }

    void Write(const std::string& xml)
    {
        m_Folder.Write(L"quillor.xml", xml);
        m_Registry.SetPath(m_Folder.Path());
    }
    void Load(const std::string& xml)
    {
        Write(xml);
        mrvAPI::mrvLanguages::Load();
    }

    qsmtest::RegistryFixture m_Registry;
    qsmtest::TempFolder m_Folder;
};

// "<l><language name="a"><t id="1">a</t></language>...</l>" with the given inner elements.
inline std::string LanguageXml(const std::string& inner)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<l>" + inner + "</l>";
}
