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

TEST_F(PrinterList, EmptyMaskListsEveryLocalPrinter)
{
    mrvPrinter::Enumerate(L"");
    const std::vector<std::wstring> names = ListedNames();
    EXPECT_EQ(names.size(), mrvPrinter::GetCount());
    EXPECT_TRUE(Contains(names, s_A));
    EXPECT_TRUE(Contains(names, s_B));
    EXPECT_TRUE(Contains(names, s_C));
}

TEST_F(PrinterList, MaskIsACaseSensitiveSubstringOfTheDriverName)
{
    const std::wstring tag = SpoolerFixture::Tag();
    const struct {
        std::wstring mask;
        std::vector<std::wstring> expected; // among this program's printers
        bool exact;                         // nobody else's printer can match
    } cases[] = {
        {SpoolerFixture::QuillorDriver(), {s_A, s_B}, true},
        {L"QUILLOR 2 " + tag, {s_A, s_B}, true},
        {SpoolerFixture::OtherDriver(), {s_C}, true},
        {L"QUILLOR", {s_A, s_B}, false},
        {L"vestrano quillor 2 " + tag, {}, true},
        {L"Quillor", {}, false},
        {L"no driver has this name " + tag, {}, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.mask.begin(), c.mask.end()));
        mrvPrinter::Enumerate(c.mask.c_str());
        const std::vector<std::wstring> names = ListedNames();
        for (const std::wstring& own : {s_A, s_B, s_C}) {
            EXPECT_EQ(Contains(names, own), Contains(c.expected, own));
        }
        if (c.exact) {
            EXPECT_EQ(mrvPrinter::GetCount(), c.expected.size());
        }
    }
}

TEST_F(PrinterList, PrintersOfOneDriverComeInSpoolerOrderWithTheirPorts)
{
    mrvPrinter::Enumerate(SpoolerFixture::QuillorDriver().c_str());
    ASSERT_EQ(mrvPrinter::GetCount(), 2u);
    EXPECT_EQ(ListedNames(), InSpoolerOrder({s_A, s_B}));

    std::unique_ptr<mrvPrinter> a(mrvPrinter::Find(s_A.c_str()));
    std::unique_ptr<mrvPrinter> b(mrvPrinter::Find(s_B.c_str()));
    ASSERT_TRUE(a && b);
    EXPECT_EQ(a->GetPort(), L"FILE:");
    EXPECT_EQ(b->GetPort(), SpoolerFixture::ComPort());
    EXPECT_EQ(a->GetDriver(), SpoolerFixture::QuillorDriver());
    EXPECT_EQ(b->GetDriver(), SpoolerFixture::QuillorDriver());
}

TEST_F(PrinterList, GetPrinterHandsOutClosedCopiesBelowTheCount)
{
    mrvPrinter::Enumerate(SpoolerFixture::QuillorDriver().c_str());
    const UINT count = mrvPrinter::GetCount();
    ASSERT_EQ(count, 2u);
    std::unique_ptr<mrvPrinter> last(mrvPrinter::GetPrinter(count - 1));
    ASSERT_TRUE(last);
    EXPECT_FALSE(last->IsOpen());
    EXPECT_EQ(last->GetDevMode(), nullptr);
    EXPECT_EQ(mrvPrinter::GetPrinter(count), nullptr);
    EXPECT_EQ(mrvPrinter::GetPrinter(0xFFFFFFFFu), nullptr);

    // A copy outlives the rebuild and the clearing of the list.
    mrvPrinter::Clear();
    EXPECT_EQ(mrvPrinter::GetCount(), 0u);
    EXPECT_EQ(mrvPrinter::GetPrinter(0), nullptr);
    EXPECT_EQ(last->GetDriver(), SpoolerFixture::QuillorDriver());
}

TEST_F(PrinterList, IndexOfGivesThePositionOrTheCount)
{
    mrvPrinter::Enumerate(SpoolerFixture::QuillorDriver().c_str());
    const std::vector<std::wstring> names = ListedNames();
    ASSERT_EQ(names.size(), 2u);
    std::unique_ptr<mrvPrinter> first(mrvPrinter::GetPrinter(0));
    std::unique_ptr<mrvPrinter> second(mrvPrinter::GetPrinter(1));
    EXPECT_EQ(mrvPrinter::IndexOf(*first), 0u);
    EXPECT_EQ(mrvPrinter::IndexOf(*second), 1u);
    // Only the name counts.
    EXPECT_EQ(mrvPrinter::IndexOf(mrvPrinter(names[1], L"other port", L"other driver")), 1u);

    mrvPrinter::Enumerate(SpoolerFixture::OtherDriver().c_str());
    ASSERT_EQ(mrvPrinter::GetCount(), 1u);
    EXPECT_EQ(mrvPrinter::IndexOf(*second), 1u);
    mrvPrinter::Clear();
    EXPECT_EQ(mrvPrinter::IndexOf(*second), 0u);
}

TEST_F(PrinterList, FindIsCaseSensitive)
{
    mrvPrinter::Enumerate(L"");
    std::unique_ptr<mrvPrinter> found(mrvPrinter::Find(s_A.c_str()));
    ASSERT_TRUE(found);
    EXPECT_EQ(found->GetName(), s_A);
    EXPECT_EQ(found->GetPort(), L"FILE:");
    EXPECT_FALSE(found->IsOpen());

    std::wstring upper = s_A;
    for (wchar_t& ch : upper)
        ch = static_cast<wchar_t>(towupper(ch));
    std::wstring lower = s_A;
    for (wchar_t& ch : lower)
        ch = static_cast<wchar_t>(towlower(ch));
    for (const std::wstring& miss : {upper, lower, s_A.substr(0, s_A.size() - 1), s_A + L" ", std::wstring()})
        EXPECT_EQ(mrvPrinter::Find(miss.c_str()), nullptr) << std::string(miss.begin(), miss.end());
    EXPECT_EQ(mrvPrinter::Find(nullptr), nullptr);
}

TEST_F(PrinterList, PortChangeShowsInTheNextEnumeration)
{
    const std::wstring name = SpoolerFixture::Unique(L"Quillor Port Move");
    ASSERT_TRUE(s_pSpooler->InstallPrinter(name, L"FILE:", SpoolerFixture::QuillorDriver()));
    ASSERT_TRUE(s_pSpooler->ChangePort(name, SpoolerFixture::ComPort()));
    mrvPrinter::Enumerate(SpoolerFixture::QuillorDriver().c_str());
    std::unique_ptr<mrvPrinter> moved(mrvPrinter::Find(name.c_str()));
    ASSERT_TRUE(moved);
    EXPECT_EQ(moved->GetPort(), SpoolerFixture::ComPort());
    EXPECT_EQ(mrvPrinter::GetCount(), 3u);

    ASSERT_TRUE(s_pSpooler->RemovePrinter(name));
    mrvPrinter::Enumerate(SpoolerFixture::QuillorDriver().c_str());
    EXPECT_EQ(mrvPrinter::GetCount(), 2u);
    EXPECT_EQ(mrvPrinter::IndexOf(*moved), 2u);
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

// A hidden top-level window that records the device names of WM_DEVMODECHANGE.
class DevModeWatcher {
public:
    DevModeWatcher()
    {
        WNDCLASSW wc = {};
        wc.lpfnWndProc = &DevModeWatcher::WndProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"qsmtest.DevModeWatcher";
        RegisterClassW(&wc);
        m_hWnd = CreateWindowExW(0, wc.lpszClassName, L"DevModeWatcher", WS_OVERLAPPEDWINDOW, 0, 0, 10, 10, nullptr,
                                 nullptr, wc.hInstance, nullptr);
        SetWindowLongPtrW(m_hWnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }
    ~DevModeWatcher()
    {
        if (m_hWnd)
            DestroyWindow(m_hWnd);
    }
    DevModeWatcher(const DevModeWatcher&) = delete;
    DevModeWatcher& operator=(const DevModeWatcher&) = delete;

    HWND Hwnd() const { return m_hWnd; }
    size_t CountFor(const std::wstring& device) const
    {
        return static_cast<size_t>(std::count(m_Devices.begin(), m_Devices.end(), device));
    }

private:
    static LRESULT CALLBACK WndProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam)
    {
        DevModeWatcher* self = reinterpret_cast<DevModeWatcher*>(GetWindowLongPtrW(hWnd, GWLP_USERDATA));
        if (msg == WM_DEVMODECHANGE && self && lParam)
            self->m_Devices.push_back(reinterpret_cast<const wchar_t*>(lParam));
        return DefWindowProcW(hWnd, msg, wParam, lParam);
    }

    HWND m_hWnd;
    std::vector<std::wstring> m_Devices;
};

} // namespace

TEST_F(PrinterList, CloseOfANeverOpenedPrinterDoesNothing)
{
    DevModeWatcher watcher;
    ASSERT_TRUE(watcher.Hwnd());
    mrvPrinter p(s_A, L"FILE:", SpoolerFixture::QuillorDriver());
    p.Close();
    p.StoreDevMode();
    EXPECT_FALSE(p.IsOpen());
    EXPECT_EQ(p.GetDevMode(), nullptr);
    EXPECT_EQ(watcher.CountFor(s_A), 0u);
}

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
        EXPECT_NE(e.GetReport("\n").find("Code: 0xe000f000\n"), std::string::npos);
    }
    EXPECT_FALSE(p.IsOpen());
    EXPECT_EQ(p.GetDevMode(), nullptr);
    p.Close();
}

TEST_F(PrinterList, OpenCloseRoundTripKeepsTheDeviceSettings)
{
    mrvPrinter p(s_A, L"FILE:", SpoolerFixture::QuillorDriver());
    p.Open();
    ASSERT_TRUE(p.IsOpen());
    ASSERT_NE(p.GetDevMode(), nullptr);
    const BYTE* first = p.GetDevMode();
    const std::vector<BYTE> before(first, first + DevModeBytes(first));
    ASSERT_GE(before.size(), sizeof(DEVMODEW));

    p.Open(); // already open: handle and snapshot stay
    EXPECT_EQ(p.GetDevMode(), first);
    p.Close();
    EXPECT_FALSE(p.IsOpen());
    EXPECT_EQ(p.GetDevMode(), nullptr);

    p.Open();
    ASSERT_NE(p.GetDevMode(), nullptr);
    EXPECT_EQ(std::vector<BYTE>(p.GetDevMode(), p.GetDevMode() + DevModeBytes(p.GetDevMode())), before);

    // A changed snapshot is what Close writes back.
    DEVMODEW* dm = reinterpret_cast<DEVMODEW*>(p.GetDevMode());
    const short turned = dm->dmOrientation == DMORIENT_LANDSCAPE ? DMORIENT_PORTRAIT : DMORIENT_LANDSCAPE;
    dm->dmOrientation = turned;
    dm->dmFields |= DM_ORIENTATION;
    p.Close();
    p.Open();
    ASSERT_NE(p.GetDevMode(), nullptr);
    EXPECT_EQ(reinterpret_cast<DEVMODEW*>(p.GetDevMode())->dmOrientation, turned);
    reinterpret_cast<DEVMODEW*>(p.GetDevMode())->dmOrientation = reinterpret_cast<const DEVMODEW*>(before.data())->dmOrientation;
    p.Close();
}

TEST_F(PrinterList, ASnapshotIsWrittenBackOnlyWithinTheSpoolersBlock)
{
    mrvPrinter p(s_B, SpoolerFixture::ComPort(), SpoolerFixture::QuillorDriver());
    p.Open();
    ASSERT_NE(p.GetDevMode(), nullptr);
    const std::vector<BYTE> original(p.GetDevMode(), p.GetDevMode() + DevModeBytes(p.GetDevMode()));
    const DEVMODEW* pOriginal = reinterpret_cast<const DEVMODEW*>(original.data());
    ASSERT_GT(pOriginal->dmDriverExtra, 0);
    const short turned = pOriginal->dmOrientation == DMORIENT_LANDSCAPE ? DMORIENT_PORTRAIT : DMORIENT_LANDSCAPE;

    // A header that claims more than the snapshot holds is not written back at all.
    DEVMODEW* dm = reinterpret_cast<DEVMODEW*>(p.GetDevMode());
    dm->dmOrientation = turned;
    dm->dmDriverExtra += 4096;
    p.Close();
    p.Open();
    ASSERT_NE(p.GetDevMode(), nullptr);
    EXPECT_EQ(std::vector<BYTE>(p.GetDevMode(), p.GetDevMode() + DevModeBytes(p.GetDevMode())), original);

    // The spooler's current settings became smaller meanwhile: the snapshot is cut
    // to them, and the stored block keeps the spooler's sizes.
    std::vector<BYTE> small(original.begin(), original.begin() + pOriginal->dmSize);
    reinterpret_cast<DEVMODEW*>(small.data())->dmDriverExtra = 0;
    ASSERT_TRUE(s_pSpooler->ChangeSettings(
        s_B, [&](PRINTER_INFO_2W& info) { info.pDevMode = reinterpret_cast<DEVMODEW*>(small.data()); }));
    reinterpret_cast<DEVMODEW*>(p.GetDevMode())->dmOrientation = turned;
    p.Close();
    p.Open();
    ASSERT_NE(p.GetDevMode(), nullptr);
    EXPECT_EQ(DevModeBytes(p.GetDevMode()), small.size());
    EXPECT_EQ(reinterpret_cast<DEVMODEW*>(p.GetDevMode())->dmOrientation, turned);
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
    p.Open();
    ASSERT_NE(p.GetDevMode(), nullptr);
    const std::wstring device = reinterpret_cast<const DEVMODEW*>(p.GetDevMode())->dmDeviceName;
    EXPECT_EQ(device, s_A.substr(0, CCHDEVICENAME - 1));

    p.StoreDevMode();
    EXPECT_EQ(watcher.CountFor(device), 1u);
    p.Close(); // writes back once more
    EXPECT_EQ(watcher.CountFor(device), 2u);
    p.StoreDevMode(); // closed: nothing to announce
    EXPECT_EQ(watcher.CountFor(device), 2u);
}
