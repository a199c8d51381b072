#include "../base/thrown.h"
#include "printer.h"
#include "spooler_fixture.h"
#include <algorithm>
#include <memory>

using namespace mrvAPI;
using qsmtest::SpoolerFixture;

namespace {

const std::wstring kA = SpoolerFixture::Unique(L"Quillor Test A"), kB = SpoolerFixture::Unique(L"Quillor Test B"),
                   kC = SpoolerFixture::Unique(L"Laser Test C");

std::vector<std::wstring> ListedNames()
{
    std::vector<std::wstring> names;
    for (UINT i = 0; i < mrvPrinter::GetCount(); ++i)
        names.push_back(std::unique_ptr<mrvPrinter>(mrvPrinter::GetPrinter(i))->GetName());
    return names;
}

DEVMODEW* DevMode(mrvPrinter& p)
{
    return reinterpret_cast<DEVMODEW*>(p.GetDevMode());
}

std::vector<BYTE> Snapshot(mrvPrinter& p)
{
    return std::vector<BYTE>(p.GetDevMode(), p.GetDevMode() + DevMode(p)->dmSize + DevMode(p)->dmDriverExtra);
}

} // namespace

class PrinterList : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_Spooler.reset(new SpoolerFixture());
        s_Ready = s_Spooler->InstallPrinter(kA, L"FILE:", SpoolerFixture::QuillorDriver()) &&
                  s_Spooler->InstallPrinter(kB, SpoolerFixture::ComPort(), SpoolerFixture::QuillorDriver()) &&
                  s_Spooler->InstallPrinter(kC, L"FILE:", SpoolerFixture::OtherDriver());
    }
    static void TearDownTestSuite() { s_Spooler.reset(); }
    void SetUp() override { ASSERT_TRUE(s_Ready) << "the test printers could not be installed"; }
    void TearDown() override { mrvPrinter::Clear(); }

    static std::unique_ptr<SpoolerFixture> s_Spooler;
    static bool s_Ready;
};

std::unique_ptr<SpoolerFixture> PrinterList::s_Spooler;
bool PrinterList::s_Ready = false;

TEST_F(PrinterList, MaskIsACaseSensitiveSubstringOfTheDriverNameFoundInSpoolerOrder)
{
    const struct {
        std::wstring mask;
        std::vector<std::wstring> expected; // this program's printers that match
        bool exact;                         // nobody else's printer can match
    } cases[] = {
        {L"", {kA, kB, kC}, false},
        {L"vestrano quillor 2 " + SpoolerFixture::Tag(), {}, true},
        {L"QUILLOR 2 " + SpoolerFixture::Tag(), {kA, kB}, true},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(mrvPrinter::Enumerate(c.mask.c_str()));
        std::vector<std::wstring> listed, expected;
        for (const std::wstring& n : ListedNames())
            if (c.exact || n == kA || n == kB || n == kC)
                listed.push_back(n);
        for (const std::wstring& n : qsmtest::SpoolerPrinterNames())
            if (std::count(c.expected.begin(), c.expected.end(), n))
                expected.push_back(n);
        EXPECT_EQ(listed, expected) << std::string(c.mask.begin(), c.mask.end());
    }
}

TEST_F(PrinterList, CopiesFoundByPositionOrExactName)
{
    mrvPrinter::Enumerate(SpoolerFixture::QuillorDriver().c_str());
    std::unique_ptr<mrvPrinter> second(mrvPrinter::GetPrinter(1)), b(mrvPrinter::Find(kB.c_str()));
    ASSERT_TRUE(second && b);
    EXPECT_EQ(b->GetPort() + b->GetDriver(), SpoolerFixture::ComPort() + SpoolerFixture::QuillorDriver());
    EXPECT_EQ(mrvPrinter::GetPrinter(2), nullptr);
    EXPECT_EQ(mrvPrinter::IndexOf(mrvPrinter(second->GetName(), L"port", L"driver")), 1u); // only the name counts
    const std::wstring upper = SpoolerFixture::Unique(L"QUILLOR TEST A");
    for (const std::wstring& miss : {upper, kA.substr(0, kA.size() - 1), kA + L" ", std::wstring()})
        EXPECT_EQ(mrvPrinter::Find(miss.c_str()), nullptr) << std::string(miss.begin(), miss.end());
    EXPECT_EQ(mrvPrinter::Find(nullptr), nullptr);

    // A copy outlives the clearing of the list; a printer not listed has the list's length as its place.
    mrvPrinter::Clear();
    EXPECT_TRUE(mrvPrinter::GetPrinter(0) == nullptr && mrvPrinter::IndexOf(*second) == 0u);
    EXPECT_EQ(second->GetDriver(), SpoolerFixture::QuillorDriver());
}

TEST_F(PrinterList, OpenOfAMissingPrinterThrowsAndStaysClosed)
{
    mrvPrinter p(SpoolerFixture::Unique(L"Quillor Missing"), L"FILE:", SpoolerFixture::QuillorDriver());
    const std::string line = Thrown([&] { p.Open(); }, static_cast<long>(0xE000F000L));
    EXPECT_EQ(line.rfind("Can't open printer. Caused in <mrvAPI::mrvPrinter::Open()> [baseapi\\src\\printer, ", 0), 0u)
        << line;
    EXPECT_TRUE(!p.IsOpen() && !p.GetDevMode());
}

// Close writes the snapshot back, but only within the spooler's own block.
TEST_F(PrinterList, ASnapshotIsWrittenBackOnlyWithinTheSpoolersBlock)
{
    mrvPrinter p(kB, SpoolerFixture::ComPort(), SpoolerFixture::QuillorDriver());
    p.Open();
    ASSERT_NE(p.GetDevMode(), nullptr);
    const BYTE* first = p.GetDevMode();
    const std::vector<BYTE> original = Snapshot(p);
    const DEVMODEW& o = *reinterpret_cast<const DEVMODEW*>(original.data());
    ASSERT_GT(o.dmDriverExtra, 0);
    p.Open(); // already open: handle and snapshot stay
    EXPECT_EQ(p.GetDevMode(), first);
    const short turned = o.dmOrientation == DMORIENT_LANDSCAPE ? DMORIENT_PORTRAIT : DMORIENT_LANDSCAPE;

    // A header that claims more than the snapshot holds is not written back at all.
    DevMode(p)->dmOrientation = turned;
    DevMode(p)->dmDriverExtra += 4096;
    p.Close();
    EXPECT_TRUE(!p.IsOpen() && !p.GetDevMode());
    p.Open();
    EXPECT_EQ(Snapshot(p), original);

    // The spooler's block became smaller meanwhile: the snapshot is cut to it, which keeps its sizes.
    std::vector<BYTE> small(original.begin(), original.begin() + o.dmSize), restore(original);
    reinterpret_cast<DEVMODEW*>(small.data())->dmDriverExtra = 0;
    auto store = [&](std::vector<BYTE>& block) {
        return s_Spooler->ChangeSettings(
            kB, [&](PRINTER_INFO_2W& info) { info.pDevMode = reinterpret_cast<DEVMODEW*>(block.data()); });
    };
    ASSERT_TRUE(store(small));
    DevMode(p)->dmOrientation = turned;
    p.Close();
    p.Open();
    EXPECT_EQ(Snapshot(p).size(), small.size());
    EXPECT_EQ(DevMode(p)->dmOrientation, turned);
    p.Close();
    ASSERT_TRUE(store(restore));
}
