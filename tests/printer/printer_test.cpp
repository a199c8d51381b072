#include "exception.h"
#include "printer.h"
#include "spooler_fixture.h"
#include <algorithm>
#include <atomic>
#include <cwctype>
#include <gtest/gtest.h>
#include <memory>
#include <thread>

using namespace mrvAPI;
using qsmtest::SpoolerFixture;

namespace {

std::vector<std::wstring> ListedNames()
{
    std::vector<std::wstring> names;
    for (UINT i = 0; i < mrvPrinter::GetCount(); ++i) {
        std::unique_ptr<mrvPrinter> p(mrvPrinter::GetPrinter(i));
        if (p)
            names.push_back(p->GetName());
    }
    return names;
}

bool Contains(const std::vector<std::wstring>& names, const std::wstring& name)
{
    return std::find(names.begin(), names.end(), name) != names.end();
}

// The given names in the order the spooler lists them.
std::vector<std::wstring> InSpoolerOrder(const std::vector<std::wstring>& names)
{
    std::vector<std::wstring> ordered;
    for (const std::wstring& n : qsmtest::SpoolerPrinterNames())
        if (Contains(names, n))
            ordered.push_back(n);
    return ordered;
}

size_t DevModeBytes(const BYTE* pDevMode)
{
    const DEVMODEW* dm = reinterpret_cast<const DEVMODEW*>(pDevMode);
    return static_cast<size_t>(dm->dmSize) + dm->dmDriverExtra;
}

} // namespace

class PrinterList : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_pSpooler = new SpoolerFixture();
        s_A = SpoolerFixture::Unique(L"Quillor Test A");
        s_B = SpoolerFixture::Unique(L"Quillor Test B");
        s_C = SpoolerFixture::Unique(L"Laser Test C");
        s_Ready = s_pSpooler->InstallPrinter(s_A, L"FILE:", SpoolerFixture::QuillorDriver()) &&
                  s_pSpooler->InstallPrinter(s_B, SpoolerFixture::ComPort(), SpoolerFixture::QuillorDriver()) &&
                  s_pSpooler->InstallPrinter(s_C, L"FILE:", SpoolerFixture::OtherDriver());
    }
    static void TearDownTestSuite()
    {
        mrvPrinter::Clear();
        delete s_pSpooler;
        s_pSpooler = nullptr;
    }
    void SetUp() override { ASSERT_TRUE(s_Ready) << "the test printers could not be installed"; }
    void TearDown() override { mrvPrinter::Clear(); }

    static SpoolerFixture* s_pSpooler;
    static bool s_Ready;
    static std::wstring s_A, s_B, s_C;
};

SpoolerFixture* PrinterList::s_pSpooler = nullptr;
bool PrinterList::s_Ready = false;
std::wstring PrinterList::s_A, PrinterList::s_B, PrinterList::s_C;

TEST_F(PrinterList, MaskIsACaseSensitiveSubstringOfTheDriverName)
{
    const std::wstring tag = SpoolerFixture::Tag();
    const struct {
        std::wstring mask;
        std::vector<std::wstring> expected; // among this program's printers
        bool exact;                         // nobody else's printer can match
    } cases[] = {
        {L"", {s_A, s_B, s_C}, false},
        {L"QUILLOR 2 " + tag, {s_A, s_B}, true},
        {SpoolerFixture::OtherDriver(), {s_C}, true},
        {L"QUILLOR", {s_A, s_B}, false},
        {L"vestrano quillor 2 " + tag, {}, true},
    };
    for (const auto& c : cases) {
        const std::string mask(c.mask.begin(), c.mask.end());
        mrvPrinter::Enumerate(c.mask.c_str());
        const std::vector<std::wstring> names = ListedNames();
        for (const std::wstring& own : {s_A, s_B, s_C})
            EXPECT_EQ(Contains(names, own), Contains(c.expected, own)) << mask;
        if (c.exact) {
            EXPECT_EQ(mrvPrinter::GetCount(), c.expected.size()) << mask;
        }
    }
}

TEST_F(PrinterList, ClosedCopiesInSpoolerOrderFoundByPositionOrExactName)
{
    mrvPrinter::Enumerate(SpoolerFixture::QuillorDriver().c_str());
    ASSERT_EQ(mrvPrinter::GetCount(), 2u);
    EXPECT_EQ(ListedNames(), InSpoolerOrder({s_A, s_B}));
    std::unique_ptr<mrvPrinter> second(mrvPrinter::GetPrinter(1));
    std::unique_ptr<mrvPrinter> b(mrvPrinter::Find(s_B.c_str()));
    ASSERT_TRUE(second && b);
    EXPECT_FALSE(second->IsOpen());
    EXPECT_EQ(second->GetDevMode(), nullptr);
    EXPECT_EQ(b->GetPort(), SpoolerFixture::ComPort());
    EXPECT_EQ(b->GetDriver(), SpoolerFixture::QuillorDriver());
    EXPECT_EQ(mrvPrinter::GetPrinter(2), nullptr);
    EXPECT_EQ(mrvPrinter::GetPrinter(0xFFFFFFFFu), nullptr);
    EXPECT_EQ(mrvPrinter::IndexOf(*second), 1u);
    // Only the name counts.
    EXPECT_EQ(mrvPrinter::IndexOf(mrvPrinter(second->GetName(), L"other port", L"other driver")), 1u);

    std::wstring upper = s_A, lower = s_A;
    for (size_t i = 0; i < s_A.size(); ++i) {
        upper[i] = static_cast<wchar_t>(towupper(s_A[i]));
        lower[i] = static_cast<wchar_t>(towlower(s_A[i]));
    }
    for (const std::wstring& miss : {upper, lower, s_A.substr(0, s_A.size() - 1), s_A + L" ", std::wstring()})
        EXPECT_EQ(mrvPrinter::Find(miss.c_str()), nullptr) << std::string(miss.begin(), miss.end());
    EXPECT_EQ(mrvPrinter::Find(nullptr), nullptr);

    // A copy outlives the rebuild and the clearing of the list; a printer not
    // listed has the list's length as its place.
    mrvPrinter::Enumerate(SpoolerFixture::OtherDriver().c_str());
    EXPECT_EQ(mrvPrinter::IndexOf(*second), 1u);
    mrvPrinter::Clear();
    EXPECT_EQ(mrvPrinter::GetPrinter(0), nullptr);
    EXPECT_EQ(mrvPrinter::IndexOf(*second), 0u);
    EXPECT_EQ(second->GetDriver(), SpoolerFixture::QuillorDriver());
}

#ifdef NDEBUG
TEST_F(PrinterList, NullMaskThrowsInReleaseBuilds)
{
    mrvPrinter::Enumerate(SpoolerFixture::QuillorDriver().c_str());
    try {
        mrvPrinter::Enumerate(nullptr);
        FAIL() << "no exception";
    } catch (const mrvException& e) {
        EXPECT_EQ(e.GetCode(), mrvE_POINTER);
        ASSERT_EQ(e.GetStack().size(), 1u);
        EXPECT_EQ(e.GetStack()[0].rfind("Invalid null pointer parameter <pwMask>.", 0), 0u) << e.GetStack()[0];
    }
    // The list is left as it was.
    EXPECT_EQ(mrvPrinter::GetCount(), 2u);
}
#endif

TEST_F(PrinterList, IndexOfDuringEnumerateSeesAWholeList)
{
    mrvPrinter::Enumerate(SpoolerFixture::QuillorDriver().c_str());
    std::unique_ptr<mrvPrinter> second(mrvPrinter::GetPrinter(1));
    ASSERT_TRUE(second);
    const std::wstring secondName = second->GetName();

    std::atomic<bool> done(false);
    std::atomic<int> calls(0), wrongIndex(0), wrongCopy(0);
    std::thread reader([&] {
        while (!done) {
            if (mrvPrinter::IndexOf(*second) != 1u)
                ++wrongIndex;
            std::unique_ptr<mrvPrinter> copy(mrvPrinter::GetPrinter(1));
            if (!copy || copy->GetName() != secondName)
                ++wrongCopy;
            ++calls;
        }
    });
    for (int i = 0; i < 20; ++i)
        mrvPrinter::Enumerate(SpoolerFixture::QuillorDriver().c_str());
    done = true;
    reader.join();
    EXPECT_GT(calls.load(), 0);
    EXPECT_EQ(wrongIndex.load(), 0);
    EXPECT_EQ(wrongCopy.load(), 0);
    EXPECT_EQ(second->GetName(), secondName);
}

// Open, Close and the device settings.

namespace {

// A hidden top-level window that counts WM_DEVMODECHANGE per device name.
class DevModeWatcher {
public:
    DevModeWatcher()
    {
        WNDCLASSW wc = {};
        wc.lpfnWndProc = [](HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam) -> LRESULT {
            auto* self = reinterpret_cast<DevModeWatcher*>(GetWindowLongPtrW(hWnd, GWLP_USERDATA));
            if (msg == WM_DEVMODECHANGE && self && lParam)
                self->m_Devices.push_back(reinterpret_cast<const wchar_t*>(lParam));
            return DefWindowProcW(hWnd, msg, wParam, lParam);
        };
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"qsmtest.DevModeWatcher";
        RegisterClassW(&wc);
        m_hWnd = CreateWindowExW(0, wc.lpszClassName, L"", WS_OVERLAPPEDWINDOW, 0, 0, 10, 10, nullptr, nullptr,
                                 wc.hInstance, nullptr);
        SetWindowLongPtrW(m_hWnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }
    ~DevModeWatcher() { DestroyWindow(m_hWnd); }
    DevModeWatcher(const DevModeWatcher&) = delete;
    DevModeWatcher& operator=(const DevModeWatcher&) = delete;

    HWND Hwnd() const { return m_hWnd; }
    size_t CountFor(const std::wstring& device) const
    {
        return static_cast<size_t>(std::count(m_Devices.begin(), m_Devices.end(), device));
    }

private:
    HWND m_hWnd;
    std::vector<std::wstring> m_Devices;
};

std::vector<BYTE> Snapshot(const mrvPrinter& p)
{
    return std::vector<BYTE>(p.GetDevMode(), p.GetDevMode() + DevModeBytes(p.GetDevMode()));
}

DEVMODEW* DevMode(mrvPrinter& p)
{
    return reinterpret_cast<DEVMODEW*>(p.GetDevMode());
}

short Turned(short orientation)
{
    return orientation == DMORIENT_LANDSCAPE ? DMORIENT_PORTRAIT : DMORIENT_LANDSCAPE;
}

} // namespace

TEST_F(PrinterList, OpenOfAMissingPrinterThrowsAndStaysClosed)
{
    mrvPrinter p(SpoolerFixture::Unique(L"Quillor Missing"), L"FILE:", SpoolerFixture::QuillorDriver());
    try {
        p.Open();
        FAIL() << "no exception";
    } catch (const mrvException& e) {
        EXPECT_EQ(e.GetCode(), static_cast<long>(0xE000F000L));
        ASSERT_EQ(e.GetStack().size(), 1u);
        const std::string& line = e.GetStack()[0];
        const std::string head = "Can't open printer. Caused in <mrvAPI::mrvPrinter::Open()> [baseapi\\src\\printer, ";
        EXPECT_EQ(line.rfind(head, 0), 0u) << line;
        EXPECT_EQ(line.substr(line.size() - 2), "].") << line;
    }
    EXPECT_FALSE(p.IsOpen());
    EXPECT_EQ(p.GetDevMode(), nullptr);
    p.Close();
}

// Close writes the snapshot back, but only within the spooler's own block.
TEST_F(PrinterList, ASnapshotIsWrittenBackOnlyWithinTheSpoolersBlock)
{
    mrvPrinter p(s_B, SpoolerFixture::ComPort(), SpoolerFixture::QuillorDriver());
    p.Open();
    ASSERT_TRUE(p.IsOpen());
    ASSERT_NE(p.GetDevMode(), nullptr);
    const BYTE* first = p.GetDevMode();
    const std::vector<BYTE> original = Snapshot(p);
    p.Open(); // already open: handle and snapshot stay
    EXPECT_EQ(p.GetDevMode(), first);
    p.Close();
    EXPECT_FALSE(p.IsOpen());
    EXPECT_EQ(p.GetDevMode(), nullptr);
    p.Open();
    ASSERT_NE(p.GetDevMode(), nullptr);
    EXPECT_EQ(Snapshot(p), original);
    const DEVMODEW* pOriginal = reinterpret_cast<const DEVMODEW*>(original.data());
    ASSERT_GT(pOriginal->dmDriverExtra, 0);
    const short turned = Turned(pOriginal->dmOrientation);

    // A header that claims more than the snapshot holds is not written back at all.
    DevMode(p)->dmOrientation = turned;
    DevMode(p)->dmDriverExtra += 4096;
    p.Close();
    p.Open();
    ASSERT_NE(p.GetDevMode(), nullptr);
    EXPECT_EQ(Snapshot(p), original);

    // The spooler's current settings became smaller meanwhile: the snapshot is cut
    // to them, and the stored block keeps the spooler's sizes.
    std::vector<BYTE> small(original.begin(), original.begin() + pOriginal->dmSize);
    reinterpret_cast<DEVMODEW*>(small.data())->dmDriverExtra = 0;
    ASSERT_TRUE(s_pSpooler->ChangeSettings(
        s_B, [&](PRINTER_INFO_2W& info) { info.pDevMode = reinterpret_cast<DEVMODEW*>(small.data()); }));
    DevMode(p)->dmOrientation = turned;
    p.Close();
    p.Open();
    ASSERT_NE(p.GetDevMode(), nullptr);
    EXPECT_EQ(DevModeBytes(p.GetDevMode()), small.size());
    EXPECT_EQ(DevMode(p)->dmOrientation, turned);
    p.Close();

    std::vector<BYTE> restore(original);
    ASSERT_TRUE(s_pSpooler->ChangeSettings(
        s_B, [&](PRINTER_INFO_2W& info) { info.pDevMode = reinterpret_cast<DEVMODEW*>(restore.data()); }));
}

TEST_F(PrinterList, StoreDevModeAnnouncesTheDeviceToTopLevelWindows)
{
    DevModeWatcher watcher;
    ASSERT_TRUE(watcher.Hwnd()) << "no display";
    mrvPrinter p(s_A, L"FILE:", SpoolerFixture::QuillorDriver());
    p.Close(); // never opened: nothing happens
    p.StoreDevMode();
    EXPECT_EQ(watcher.CountFor(s_A), 0u);

    p.Open();
    ASSERT_NE(p.GetDevMode(), nullptr);
    const std::wstring device = DevMode(p)->dmDeviceName;
    EXPECT_EQ(device, s_A.substr(0, CCHDEVICENAME - 1));
    p.StoreDevMode();
    EXPECT_EQ(watcher.CountFor(device), 1u);
    p.Close(); // writes back once more
    EXPECT_EQ(watcher.CountFor(device), 2u);
    p.StoreDevMode(); // closed: nothing to announce
    EXPECT_EQ(watcher.CountFor(device), 2u);
}
