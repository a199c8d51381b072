// Printers are added, removed and moved between ports while an in-process tray
// window follows each settings change: the dialogs that stay keep their window
// and visibility, and windows, workers, sockets and handles come back.
#include "language.h"
#include "process.h"
#include "maindlg.h"
#include "printer.h"
#include "registry_fixture.h"
#include "resource.h"
#include "soak_support.h"
#include "spooler_fixture.h"
#include "trydlg.h"
#include "utils.h"
#include <commctrl.h>
#include <gtest/gtest.h>
#include <map>
#include <memory>

using namespace soak;
using qsmtest::SpoolerFixture;

namespace {

struct Seen {
    HWND hWnd;
    bool visible;
    std::wstring port;
};

class TrayChurn : public ::testing::Test {
protected:
    static void SetUpTestSuite() { InitCommonControls(); }

    void SetUp() override
    {
        m_Registry.SetPath(LanguageFolder());
        m_Registry.SetPrinterFilter(SpoolerFixture::Tag() + L" churn");
        m_Registry.SetUpdateTime(L"20");
        ASSERT_TRUE(m_Simulator.Start(L"--quiet --scenario static"));
        m_Registry.SetTcpPort(m_Simulator.Port());
        mrvAPI::mrvLanguages::Load();
    }
    void TearDown() override
    {
        mrvAPI::mrvPrinter::Clear();
        mrvAPI::mrvLanguages::Clear();
    }

    void Install(const std::wstring& base, const std::wstring& port)
    {
        const std::wstring name = SpoolerFixture::Unique(base);
        ASSERT_TRUE(m_Spooler.InstallPrinter(name, port, SpoolerFixture::QuillorDriver() + L" churn"));
        m_Ports[name] = port;
    }

    std::unique_ptr<mrvTryDialog> OpenTray()
    {
        mrvAPI::mrvPrinter::Enumerate((SpoolerFixture::Tag() + L" churn").c_str());
        auto tray = std::make_unique<mrvTryDialog>();
        tray->Create(GetModuleHandleW(nullptr), IDD_MAIN_DIALOG, -1, 0);
        tray->Hide();
        return tray;
    }

    static std::map<std::wstring, Seen> Look(const mrvTryDialog& tray)
    {
        std::map<std::wstring, Seen> seen;
        for (size_t i = 0; i < tray.GetDialogCount(); ++i) {
            const mrvMainDialog* dialog = tray.GetDialog(i);
            seen[dialog->GetPrinter().GetName()] =
                Seen{dialog->GetHwnd(), IsWindowVisible(dialog->GetHwnd()) != FALSE, dialog->GetPrinter().GetPort()};
        }
        return seen;
    }

    // One round: a printer comes; every second round the oldest newcomer goes;
    // every third one moves to the next port of FILE:, LPT1:, COM1:.
    void Change(int round)
    {
        Install(L"Churn " + std::to_wstring(round), L"FILE:");
        if (round % 2 == 1) {
            const std::wstring oldest = SpoolerFixture::Unique(L"Churn " + std::to_wstring(round / 2));
            ASSERT_TRUE(m_Spooler.RemovePrinter(oldest));
            m_Ports.erase(oldest);
        }
        if (round % 3 == 2) {
            auto moved = m_Ports.begin();
            std::advance(moved, round % m_Ports.size());
            const std::wstring port = moved->second == L"FILE:" ? L"LPT1:" : moved->second == L"LPT1:" ? L"COM1:" : L"FILE:";
            ASSERT_TRUE(m_Spooler.ChangePort(moved->first, port));
            moved->second = port;
        }
    }

    qsmtest::LmsimProcess m_Simulator;
    qsmtest::RegistryFixture m_Registry;
    SpoolerFixture m_Spooler;
    std::map<std::wstring, std::wstring> m_Ports; // what the spooler holds: name -> port
};

} // namespace

TEST_F(TrayChurn, DialogsFollowAddedRemovedAndMovedPrinters)
{
    // GoogleTest starts a watcher thread with a thread's first trace: before the counts.
    SCOPED_TRACE("churn");
    const int rounds = 10 * Scale();
    Install(L"Stays shown", L"FILE:");
    Install(L"Stays hidden", L"LPT1:");
    { // A first tray and spooler change create what a process keeps: classes,
      // fonts, Winsock, the registry key Wine's profile functions hold open.
        Install(L"Warm-up", L"FILE:");
        ASSERT_TRUE(m_Spooler.ChangePort(SpoolerFixture::Unique(L"Warm-up"), L"LPT1:"));
        ASSERT_TRUE(m_Spooler.RemovePrinter(SpoolerFixture::Unique(L"Warm-up")));
        m_Ports.erase(SpoolerFixture::Unique(L"Warm-up"));
        auto tray = OpenTray();
        tray->ShowAll();
        PumpFor(200);
    }
    LineCounter forcedStops("does not end, terminate thread.");
    const Counts before = Take();
    auto tray = OpenTray();
    ASSERT_EQ(tray->GetDialogCount(), 2u);
    tray->GetDialog(0)->Show();
    // Besides the tray and the dialogs the thread has windows of the system's (IME).
    const int otherWindows = Take().windows - before.windows - 1 - 2;

    for (int round = 0; round < rounds; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        const std::map<std::wstring, Seen> was = Look(*tray);
        Change(round);
        SendMessageW(tray->GetHwnd(), WM_SETTINGCHANGE, 0, 0);
        const std::map<std::wstring, Seen> now = Look(*tray);

        size_t monitored = 0;
        for (const auto& printer : m_Ports) {
            const bool isMonitored = printer.second.compare(0, 3, L"COM") != 0;
            monitored += isMonitored;
            const auto dialog = now.find(printer.first);
            ASSERT_EQ(dialog != now.end(), isMonitored) << mrvAPI::mrvUtils::W2M(printer.first);
            if (isMonitored) {
                EXPECT_EQ(dialog->second.port, printer.second) << mrvAPI::mrvUtils::W2M(printer.first);
            }
        }
        ASSERT_EQ(now.size(), monitored);
        for (const auto& old : was) {
            const auto same = now.find(old.first);
            if (same != now.end() && same->second.port == old.second.port) {
                EXPECT_EQ(same->second.hWnd, old.second.hWnd) << mrvAPI::mrvUtils::W2M(old.first);
                EXPECT_EQ(same->second.visible, old.second.visible) << mrvAPI::mrvUtils::W2M(old.first);
            } else {
                EXPECT_FALSE(IsWindow(old.second.hWnd)) << mrvAPI::mrvUtils::W2M(old.first);
            }
        }
        EXPECT_EQ(tray->GetRetiredCount(), 0u);
        // One worker and one window per dialog; sockets only for shown ones.
        const int dialogs = static_cast<int>(now.size());
        EXPECT_TRUE(PumpUntil([&] { return Take().threads == before.threads + dialogs; }, 2000))
            << Take().Describe();
        EXPECT_EQ(Take().windows, before.windows + 1 + otherWindows + dialogs);
        int shown = 0;
        for (const auto& dialog : now)
            shown += dialog.second.visible;
        EXPECT_LE(Take().sockets, shown);
        if (round % 2 == 0) // newcomers start hidden; show some so survivors differ
            tray->GetDialog(tray->GetDialogCount() - 1)->Show();
        PumpFor(50);
    }

    tray.reset();
    EXPECT_TRUE(BackTo(before, 3000)) << "before: " << before.Describe() << "; after: " << Take().Describe();
    EXPECT_EQ(forcedStops.Count(), 0);
}
