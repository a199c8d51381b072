#include "monitor.h"
#include "item.h"
#include "language.h"
#include "printer.h"
#include "printerhandle.h"
#include "resource.h"
#include "utils.h"
#include "versionbitmap.h"

using namespace mrvAPI;

namespace {

// Every formatted line fits a buffer of 512 wide characters.
constexpr size_t kLineLength = 512;

std::wstring Cut(std::wstring text)
{
    if (text.size() > kLineLength - 1)
        text.resize(kLineLength - 1);
    return text;
}

template <class T>
T* AddOwned(mrvDialog& dialog, std::unique_ptr<T> item)
{
    dialog.AddItem(item.get());
    return item.release();
}

} // namespace

mrvMonitor::mrvMonitor(mrvDialog* pParent, const mrvPrinter& printer)
    : mrvDialog("Monitor", pParent), m_pStatusList(nullptr), m_pInkLevel(nullptr), m_pUvLamp(nullptr),
      m_pMaterialCode(nullptr), m_pBitmap(std::make_unique<mrvVersionBitmap>(&printer)), m_Printer(printer)
{
}

mrvMonitor::~mrvMonitor()
{
    // The picture control shows the bitmap until its window is gone.
    Destroy();
}

INT_PTR mrvMonitor::DlgProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    return m_pParent ? m_pParent->DlgProc(hWnd, uMsg, wParam, lParam) : 0;
}

void mrvMonitor::OnCreate()
{
    m_pStatusList = AddOwned(*this, std::make_unique<mrvListBox>(this, IDC_STATUS_LIST));
    m_pInkLevel = AddOwned(*this, std::make_unique<mrvProgressBar>(this, IDC_INK_LEVEL));
    m_pUvLamp = AddOwned(*this, std::make_unique<mrvProgressBar>(this, IDC_UV_LAMP));
    m_pMaterialCode = AddOwned(*this, std::make_unique<mrvEdit>(this, IDC_MAT_CODE));

    m_pBitmap->Load(IDB_HEADER);
    HGDIOBJ hReplaced = reinterpret_cast<HGDIOBJ>(SendDlgItemMessageW(
        m_hWnd, IDC_HEADER, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(m_pBitmap->GetBitmap())));
    // The control loaded its own copy of the bitmap from the template; it is ours now.
    if (hReplaced && hReplaced != m_pBitmap->GetBitmap())
        DeleteObject(hReplaced);
}

void mrvMonitor::OnDestroy()
{
    // Destroy deletes the items next.
    m_pStatusList = nullptr;
    m_pInkLevel = nullptr;
    m_pUvLamp = nullptr;
    m_pMaterialCode = nullptr;
}

void mrvMonitor::AddStatus(UINT textId)
{
    if (m_pStatusList)
        m_pStatusList->AddText(textId, true);
}

void mrvMonitor::SetInkLevel(UINT value)
{
    if (m_pInkLevel)
        m_pInkLevel->SetPos(BarPosition(value));
}

void mrvMonitor::SetUvLamp(UINT value)
{
    if (m_pUvLamp)
        m_pUvLamp->SetPos(BarPosition(value));
}

void mrvMonitor::AddNumber(WORD number)
{
    if (m_pStatusList)
        m_pStatusList->AddText(NumberLine(number).c_str(), true);
}

std::wstring mrvMonitor::NumberLine(WORD number)
{
    return Cut(mrvLanguages::GetText(19) + L" " + std::to_wstring(number) + L" " + mrvLanguages::GetText(20));
}

void mrvMonitor::SetMaterialCode(const std::string& code)
{
    if (m_pMaterialCode)
        m_pMaterialCode->SetText(mrvUtils::M2W(code).c_str());
}

UINT mrvMonitor::QueuedJobCount(const std::wstring& printerName)
{
    return TryQueuedJobCount(printerName).value_or(0);
}

std::optional<UINT> mrvMonitor::TryQueuedJobCount(const std::wstring& printerName)
{
    mrvPrinterHandle printer(printerName, kLineLength);
    if (!printer.Get())
        return std::nullopt;
    // Asked without a buffer, the spooler reports the bytes that all level-3
    // records of the queue would take.
    static_assert(sizeof(JOB_INFO_3) == 12, "one level-3 job record");
    DWORD needed = 0;
    DWORD returned = 0;
    if (!EnumJobsW(printer.Get(), 0, 1000, 3, nullptr, 0, &needed, &returned) &&
        GetLastError() != ERROR_INSUFFICIENT_BUFFER)
        return std::nullopt;
    return needed / sizeof(JOB_INFO_3);
}

void mrvMonitor::SetPrintJob(const std::string& jobName)
{
    SetLine(IDC_JOB_NAME, Cut(mrvLanguages::GetText(23) + L" " + mrvUtils::M2W(jobName)));
    SetLine(IDC_JOB_COUNT,
            Cut(mrvLanguages::GetText(22) + L" " + std::to_wstring(QueuedJobCount(m_Printer.GetName()))));
}

void mrvMonitor::SetLine(UINT controlId, const std::wstring& text)
{
    SetDlgItemTextW(m_hWnd, static_cast<int>(controlId), text.c_str());
}

void mrvMonitor::Translate()
{
    static const struct {
        UINT controlId;
        UINT textId;
    } captions[] = {
        {IDC_STATUS_FRAME, 7}, {IDC_MAT_CODE_FRAME, 8}, {IDC_INK_CAPTION, 9},
        {IDC_UV_CAPTION, 10},  {IDC_PRINTJOB_FRAME, 21},
    };
    for (const auto& caption : captions)
        SetLine(caption.controlId, mrvLanguages::GetText(caption.textId));
    SetPrintJob(std::string());
    if (m_pStatusList)
        m_pStatusList->Translate();
}
