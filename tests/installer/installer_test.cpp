// The MSI package installed, upgraded, repaired and removed with msiexec in a Wine
// prefix of its own (run-in-fresh-prefix.sh), and the installed program started the
// way the logon starts it. The tests run in this order and leave nothing installed.
#include "handle.h"
#include "info.h"
#include "language.h"
#include "process.h"
#include "pump.h"
#include "spooler_fixture.h"
#include "window_probe.h"
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <shlobj.h>
#include <string>
#include <vector>

using qsmtest::SpoolerFixture;

namespace {

const wchar_t* const kConfigKey = L"Software\\Morvane\\Config";
const wchar_t* const kRunKey = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const wchar_t* const kUninstallKey = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
const std::wstring kFolder = L"C:\\Program Files\\Quillor\\Status Monitor\\";
const std::wstring kRunLine = L"\"" + kFolder + L"QuillorStatusMonitor.exe\" \\logon";

std::wstring Environment(const wchar_t* name)
{
    wchar_t value[MAX_PATH] = {};
    GetEnvironmentVariableW(name, value, MAX_PATH);
    return value;
}

// Exit code of "msiexec <action> <package> <properties> /qn", the package's path
// given by the environment variable named package.
DWORD Msiexec(const wchar_t* action, const std::wstring& properties = L"", const wchar_t* package = L"QSM_MSI")
{
    qsmtest::ChildProcess msiexec;
    const std::wstring line = std::wstring(L"msiexec.exe ") + action + L" \"" + Environment(package) + L"\" " + properties + L" /qn";
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

void Write(const wchar_t* name, const Value& value)
{
    const DWORD number = value.first == REG_DWORD ? std::stoul(value.second) : 0;
    const void* data = value.first == REG_DWORD ? static_cast<const void*>(&number) : value.second.c_str();
    const DWORD size = value.first == REG_DWORD ? sizeof number : static_cast<DWORD>((value.second.size() + 1) * sizeof(wchar_t));
    ASSERT_EQ(RegSetKeyValueW(HKEY_LOCAL_MACHINE, kConfigKey, name, value.first, data, size), ERROR_SUCCESS);
}

const wchar_t* const kValueNames[] = {L"Path", L"PrinterFilter", L"UpdateTime", L"TCPPort"};

std::vector<Value> ConfigValues()
{
    std::vector<Value> values;
    for (const wchar_t* name : kValueNames)
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

bool KeyExists(const wchar_t* key)
{
    mrvAPI::mrvRegKey h;
    return RegOpenKeyExW(HKEY_LOCAL_MACHINE, key, 0, KEY_READ, h.Receive()) == ERROR_SUCCESS;
}

// Every file, folder, entry and record the package puts in place, as present or not.
std::vector<bool> Footprint()
{
    return {Exists(kFolder + L"QuillorStatusMonitor.exe"), Exists(kFolder + L"quillorstat.exe"), Exists(kFolder + L"quillor.xml"),
            Exists(L"C:\\Program Files\\Quillor"), ShortcutExists(), Read(kRunKey, L"Quillor Status Monitor") == Value{REG_SZ, kRunLine},
            !InstalledVersions().empty(), KeyExists(L"Software\\Morvane\\Status Monitor")};
}

// Whatever a test leaves behind, the next one starts without the product and the values.
struct CleanSlate {
    CleanSlate() = default;
    CleanSlate(const CleanSlate&) = delete;
    CleanSlate& operator=(const CleanSlate&) = delete;
    ~CleanSlate()
    {
        Msiexec(L"/x");
        for (const wchar_t* name : kValueNames)
            RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, kConfigKey, name);
    }
};

std::string Bytes(const std::wstring& path)
{
    std::ifstream file(mrvAPI::mrvUtils::W2M(path), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// The program as the Run value starts it, as a user without a monitored printer, with
// one that the spooler lists only some seconds after logon, and with a start by hand.
TEST(Installer, TheLogonStartIsQuietWithoutAPrinterAndWaitsForALateSpooler)
{
    ASSERT_TRUE(qsmtest::SpoolerPrinterNames().empty()) << "a fresh prefix lists no printer";
    const CleanSlate cleanSlate;
    qsmtest::LmsimProcess sim;
    ASSERT_TRUE(sim.Start(L"--scenario static"));
    ASSERT_EQ(Msiexec(L"/i", L"TCPPORT=" + std::to_wstring(sim.Port()) + L" PRINTERFILTER=\"" + SpoolerFixture::QuillorDriver() + L"\""), 0u);
    const Value run = Read(kRunKey, L"Quillor Status Monitor");
    ASSERT_EQ(run, (Value{REG_SZ, kRunLine}));
    mrvAPI::mrvLanguages::Load();
    const std::wstring noPrinterCaption = mrvAPI::mrvLanguages::GetText(3);
    const std::wstring printer = SpoolerFixture::Unique(L"Quillor Installed");
    const std::wstring title = mrvAPI::mrvLanguages::GetText(6) + L" (" + printer + L", FILE:)";
    mrvAPI::mrvLanguages::Clear();
    SpoolerFixture spooler;
    qsmtest::ChildProcess program;

    // A start by hand while the logon start waits for the spooler: the box as always, and
    // the logon start gives up its wait.
    ASSERT_TRUE(program.Start(run.second));
    qsmtest::ChildProcess byHand;
    ASSERT_TRUE(byHand.Start(L"\"" + kFolder + L"QuillorStatusMonitor.exe\""));
    const HWND hBox = qsmtest::WaitForMessageBox(noPrinterCaption, 15000);
    ASSERT_NE(hBox, nullptr);
    EXPECT_EQ(program.Wait(10000), 0u);
    EXPECT_TRUE(qsmtest::CloseMessageBox(hBox));
    EXPECT_EQ(byHand.Wait(10000), 1u);

    // Printers listed, none monitored (its only one on a COM port): no box, exit code 0 at once.
    ASSERT_TRUE(spooler.InstallPrinter(SpoolerFixture::Unique(L"Quillor On COM"), SpoolerFixture::ComPort(), SpoolerFixture::QuillorDriver()));
    ASSERT_TRUE(program.Start(run.second));
    bool box = false;
    EXPECT_TRUE(qsmtest::PollUntil(8000, [&] {
        box = box || qsmtest::WaitForMessageBox(noPrinterCaption, 0);
        return !program.IsRunning();
    }));
    EXPECT_FALSE(box);
    EXPECT_EQ(program.Wait(0), 0u);
    ASSERT_TRUE(spooler.RemovePrinter(SpoolerFixture::Unique(L"Quillor On COM")));

    // The spooler lists nothing at first: the printer that comes some seconds later gets
    // its window, and there is no box.
    ASSERT_TRUE(program.Start(run.second));
    qsmtest::PumpFor(3000);
    ASSERT_TRUE(program.IsRunning());
    ASSERT_TRUE(spooler.InstallPrinter(printer, L"FILE:", SpoolerFixture::QuillorDriver()));
    HWND hMain = nullptr;
    EXPECT_TRUE(qsmtest::PumpUntil([&] { return (hMain = qsmtest::WaitForTopWindow(title, 0)) && IsWindowVisible(hMain); }, 30000));
    EXPECT_TRUE(sim.WaitForCount(" cmd 3 ", 1, 10000));
    EXPECT_EQ(qsmtest::WaitForMessageBox(noPrinterCaption, 0), nullptr);
}

// The driver's values, each as the driver had it, the property given, the value after
// the install, the driver's own change after that (REG_NONE: none), and the value after
// a repair and after the uninstall.
struct SettingCase {
    const wchar_t* name;
    Value driver;
    const wchar_t* property;
    Value installed;
    Value changed;
    Value repaired;
    Value removed;
};

TEST(Installer, TheDriversValuesSurviveRepairAndUninstall)
{
    const Value folder{REG_SZ, kFolder};
    const SettingCase cases[] = {
        {L"Path", kMissing, L"", folder, {REG_SZ, L"C:\\Driver"}, {REG_SZ, L"C:\\Driver"}, {REG_SZ, L"C:\\Driver"}},
        {L"PrinterFilter", kMissing, L"", {REG_SZ, L"QUILLOR"}, kMissing, {REG_SZ, L"QUILLOR"}, kMissing},
        {L"UpdateTime", {REG_SZ, L"500"}, L"UPDATETIME=250", {REG_SZ, L"250"}, {REG_SZ, L"700"}, {REG_SZ, L"700"}, {REG_SZ, L"700"}},
        {L"TCPPort", {REG_DWORD, L"40111"}, L"TCPPORT=39187", {REG_DWORD, L"39187"}, kMissing, {REG_DWORD, L"39187"}, {REG_DWORD, L"40111"}},
    };
    const CleanSlate cleanSlate;
    std::wstring properties;
    for (const SettingCase& c : cases) {
        if (c.driver != kMissing)
            Write(c.name, c.driver);
        properties += std::wstring(L" ") + c.property;
    }
    const auto values = [&](Value SettingCase::*stage) {
        std::vector<Value> expected;
        for (const SettingCase& c : cases)
            expected.push_back(c.*stage);
        return expected;
    };
    ASSERT_EQ(Msiexec(L"/i", properties), 0u);
    EXPECT_EQ(ConfigValues(), values(&SettingCase::installed));
    for (const SettingCase& c : cases)
        if (c.changed != kMissing)
            Write(c.name, c.changed);
    ASSERT_EQ(Msiexec(L"/i"), 0u);
    EXPECT_EQ(ConfigValues(), values(&SettingCase::repaired));
    ASSERT_EQ(Msiexec(L"/x"), 0u);
    EXPECT_EQ(ConfigValues(), values(&SettingCase::removed));
    EXPECT_EQ(Footprint(), std::vector<bool>(8, false));
}

// The next build upgrades in place with its own files; an older one is refused; the same
// version built again reinstalls; the package stays small and its programs carry no
// debug information but the link to it.
TEST(Installer, ReleasesOrderAndShipLean)
{
    const std::string package = Bytes(Environment(L"QSM_MSI"));
    EXPECT_GT(package.size(), 0u);
    EXPECT_LT(package.size(), 2000000u);

    ASSERT_EQ(Msiexec(L"/i"), 0u);
    EXPECT_EQ(Footprint(), std::vector<bool>(8, true));
    for (const wchar_t* program : {L"QuillorStatusMonitor.exe", L"quillorstat.exe"}) {
        const std::string bytes = Bytes(kFolder + program);
        EXPECT_NE(bytes.find(mrvAPI::mrvUtils::W2M(program) + ".debug"), std::string::npos) << "debug link";
        EXPECT_EQ(bytes.find(".debug_info"), std::string::npos);
    }
    const std::wstring installed = InstalledVersions().at(0);
    const std::wstring next = installed.substr(0, installed.rfind(L'.') + 1) + std::to_wstring(std::stoi(installed.substr(installed.rfind(L'.') + 1)) + 1);

    ASSERT_EQ(Msiexec(L"/i", L"", L"QSM_NEXT_MSI"), 0u);
    EXPECT_EQ(InstalledVersions(), std::vector<std::wstring>{next});
    EXPECT_EQ(mrvInfo::FileLine(kFolder + L"QuillorStatusMonitor.exe"), L"quillorstatusmonitor.exe (version " + next + L".0)");
    EXPECT_EQ(Footprint(), std::vector<bool>(8, true));
    EXPECT_EQ(Msiexec(L"/i"), static_cast<DWORD>(ERROR_INSTALL_FAILURE));
    EXPECT_EQ(InstalledVersions(), std::vector<std::wstring>{next});
    ASSERT_EQ(Msiexec(L"/x", L"", L"QSM_NEXT_MSI"), 0u);
    EXPECT_EQ(Footprint(), std::vector<bool>(8, false));

    // The same version built again puts back what went missing.
    ASSERT_EQ(Msiexec(L"/i"), 0u);
    ASSERT_TRUE(DeleteFileW((kFolder + L"quillor.xml").c_str()));
    ASSERT_EQ(RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, kRunKey, L"Quillor Status Monitor"), ERROR_SUCCESS);
    ASSERT_EQ(Msiexec(L"/i", L"REINSTALL=ALL REINSTALLMODE=vomus", L"QSM_REBUILT_MSI"), 0u);
    EXPECT_EQ(Footprint(), std::vector<bool>(8, true));
    EXPECT_EQ(InstalledVersions(), std::vector<std::wstring>{installed});
    ASSERT_EQ(Msiexec(L"/x", L"", L"QSM_REBUILT_MSI"), 0u);
    EXPECT_EQ(Footprint(), std::vector<bool>(8, false));
    EXPECT_EQ(ConfigValues(), std::vector<Value>(4, kMissing));
}

} // namespace
