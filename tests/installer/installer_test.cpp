// The MSI package installed, upgraded, repaired and removed with msiexec in a Wine
// prefix of its own (run-in-fresh-prefix.sh), and the installed program started the
// way a logon starts it.
#include "handle.h"
#include "language.h"
#include "process.h"
#include "pump.h"
#include "spooler_fixture.h"
#include "window_probe.h"
#include <gtest/gtest.h>
#include <shlobj.h>
#include <string>
#include <vector>

using qsmtest::SpoolerFixture;

namespace {

const wchar_t* const kConfigKey = L"Software\\Morvane\\Config";
const wchar_t* const kRunKey = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const wchar_t* const kUninstallKey = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
const std::wstring kFolder = L"C:\\Program Files\\Quillor\\Status Monitor\\";
const std::wstring kRunLine = L"\"" + kFolder + L"QuillorStatusMonitor.exe\"";

// Exit code of "msiexec <action> <package> <properties> /qn", the package's path
// given by the environment variable named package.
DWORD Msiexec(const wchar_t* action, const std::wstring& properties = L"", const wchar_t* package = L"QSM_MSI")
{
    wchar_t path[MAX_PATH] = {};
    GetEnvironmentVariableW(package, path, MAX_PATH);
    qsmtest::ChildProcess msiexec;
    const std::wstring line = std::wstring(L"msiexec.exe ") + action + L" \"" + path + L"\" " + properties + L" /qn";
    return msiexec.Start(line) ? msiexec.Wait(120000) : ~0u;
}

// A value as type and text (a DWORD in decimal); REG_NONE when it is missing.
using Value = std::pair<DWORD, std::wstring>;
const Value kMissing{REG_NONE, L""};

Value Read(const wchar_t* key, const std::wstring& name)
{
    BYTE data[2048] = {};
    DWORD type = REG_NONE, size = sizeof data - sizeof(wchar_t);
    if (RegGetValueW(HKEY_LOCAL_MACHINE, key, name.c_str(), RRF_RT_ANY | RRF_NOEXPAND, &type, data, &size) != ERROR_SUCCESS)
        return kMissing;
    return {type, type == REG_DWORD ? std::to_wstring(*reinterpret_cast<DWORD*>(data)) : reinterpret_cast<wchar_t*>(data)};
}

std::vector<Value> ConfigValues()
{
    std::vector<Value> values;
    for (const wchar_t* name : {L"Path", L"PrinterFilter", L"UpdateTime", L"TCPPort"})
        values.push_back(Read(kConfigKey, name));
    return values;
}

// The display versions of this product in the installed-programs list.
std::vector<std::wstring> InstalledVersions()
{
    std::vector<std::wstring> versions;
    mrvAPI::mrvRegKey key;
    RegOpenKeyExW(HKEY_LOCAL_MACHINE, kUninstallKey, 0, KEY_READ | KEY_WOW64_64KEY, key.Receive());
    wchar_t sub[256];
    for (DWORD i = 0, size = 256; RegEnumKeyExW(key.Get(), i, sub, &size, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
         ++i, size = 256) {
        const std::wstring product = std::wstring(kUninstallKey) + L"\\" + sub;
        if (Read(product.c_str(), L"DisplayName").second == L"Quillor Status Monitor")
            versions.push_back(Read(product.c_str(), L"DisplayVersion").second);
    }
    return versions;
}

bool Exists(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The Start-menu entry, in the machine's or (Wine) the user's programs folder.
bool ShortcutExists()
{
    for (int folder : {CSIDL_COMMON_PROGRAMS, CSIDL_PROGRAMS}) {
        wchar_t path[MAX_PATH] = {};
        if (SHGetFolderPathW(nullptr, folder, nullptr, 0, path) == S_OK &&
            Exists(std::wstring(path) + L"\\Quillor Status Monitor.lnk"))
            return true;
    }
    return false;
}

// Every file, folder, entry and value the package puts in place, as present or not.
std::vector<bool> Footprint()
{
    return {Exists(kFolder + L"QuillorStatusMonitor.exe"), Exists(kFolder + L"quillorstat.exe"), Exists(kFolder + L"quillor.xml"),
            Exists(L"C:\\Program Files\\Quillor"), ShortcutExists(), Read(kRunKey, L"Quillor Status Monitor") != kMissing,
            !InstalledVersions().empty()};
}

TEST(Installer, InstallsStartsUpgradesRepairsRefusesADowngradeAndRemovesEverything)
{
    SpoolerFixture spooler;
    const std::wstring printer = SpoolerFixture::Unique(L"Quillor Installed");
    ASSERT_TRUE(spooler.InstallPrinter(printer, L"FILE:", SpoolerFixture::QuillorDriver()));
    qsmtest::LmsimProcess sim;
    ASSERT_TRUE(sim.Start(L"--scenario static"));
    const std::wstring port = std::to_wstring(sim.Port());

    const std::wstring told = L"TCPPORT=" + port + L" PRINTERFILTER=\"" + SpoolerFixture::QuillorDriver() + L"\"";
    ASSERT_EQ(Msiexec(L"/i", told, L"QSM_OLD_MSI"), 0u);
    const std::vector<Value> written = {{REG_SZ, kFolder},
                                        {REG_SZ, SpoolerFixture::QuillorDriver()},
                                        {REG_SZ, L"1000"},
                                        {REG_DWORD, port}};
    EXPECT_EQ(ConfigValues(), written);
    EXPECT_EQ(Read(kRunKey, L"Quillor Status Monitor"), (Value{REG_SZ, kRunLine}));
    EXPECT_EQ(Footprint(), std::vector<bool>(7, true));
    EXPECT_EQ(InstalledVersions(), std::vector<std::wstring>{L"0.9.0.0"});

    {
        // As at logon: the Run entry's command line, the installed language file.
        qsmtest::ChildProcess program;
        ASSERT_TRUE(program.Start(Read(kRunKey, L"Quillor Status Monitor").second));
        mrvAPI::mrvLanguages::Load();
        const std::wstring title = mrvAPI::mrvLanguages::GetText(6) + L" (" + printer + L", FILE:)";
        mrvAPI::mrvLanguages::Clear();
        HWND hMain = nullptr;
        EXPECT_TRUE(qsmtest::PumpUntil([&] { return (hMain = qsmtest::WaitForTopWindow(title, 0)) && IsWindowVisible(hMain); },
                                       30000));
        EXPECT_TRUE(sim.WaitForCount(" cmd 3 ", 1, 10000));
    }

    // The newer package replaces the older one and keeps what it had been told.
    ASSERT_EQ(Msiexec(L"/i"), 0u);
    EXPECT_EQ(InstalledVersions(), std::vector<std::wstring>{L"1.0.0.0"});
    EXPECT_EQ(ConfigValues(), written);
    EXPECT_EQ(Footprint(), std::vector<bool>(7, true));

    // An older package is refused, right after an upgrade as at any other time.
    EXPECT_EQ(Msiexec(L"/i", L"", L"QSM_OLD_MSI"), static_cast<DWORD>(ERROR_INSTALL_FAILURE));
    EXPECT_EQ(InstalledVersions(), std::vector<std::wstring>{L"1.0.0.0"});

    // The same package again puts back what went missing.
    ASSERT_TRUE(DeleteFileW((kFolder + L"quillor.xml").c_str()));
    ASSERT_EQ(RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, kRunKey, L"Quillor Status Monitor"), ERROR_SUCCESS);
    ASSERT_EQ(Msiexec(L"/i"), 0u);
    EXPECT_EQ(Footprint(), std::vector<bool>(7, true));

    ASSERT_EQ(Msiexec(L"/x"), 0u);
    EXPECT_EQ(Footprint(), std::vector<bool>(7, false));
    EXPECT_EQ(ConfigValues(), std::vector<Value>(4, kMissing));
}

// What the driver's installation wrote stays, with and without the monitor; a
// property replaces a value, and the package removes only what it wrote.
TEST(Installer, KeepsTheDriversValuesAndRemovesOnlyItsOwn)
{
    const std::vector<Value> driver = {{REG_SZ, L"C:\\Driver"}, kMissing, {REG_SZ, L"500"}, {REG_DWORD, L"7000"}};
    ASSERT_EQ(RegSetKeyValueW(HKEY_LOCAL_MACHINE, kConfigKey, L"Path", REG_SZ, L"C:\\Driver", 20), ERROR_SUCCESS);
    ASSERT_EQ(RegSetKeyValueW(HKEY_LOCAL_MACHINE, kConfigKey, L"UpdateTime", REG_SZ, L"500", 8), ERROR_SUCCESS);
    const DWORD port = 7000;
    ASSERT_EQ(RegSetKeyValueW(HKEY_LOCAL_MACHINE, kConfigKey, L"TCPPort", REG_DWORD, &port, sizeof port), ERROR_SUCCESS);

    ASSERT_EQ(Msiexec(L"/i", L"UPDATETIME=250"), 0u);
    EXPECT_EQ(ConfigValues(), (std::vector<Value>{driver[0], {REG_SZ, L"QUILLOR"}, {REG_SZ, L"250"}, driver[3]}));
    ASSERT_EQ(Msiexec(L"/x"), 0u);
    EXPECT_EQ(ConfigValues(), (std::vector<Value>{driver[0], kMissing, kMissing, driver[3]}));
}

} // namespace
