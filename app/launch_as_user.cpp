#include "app/launch_as_user.h"

#include <exdisp.h>
#include <shellapi.h>
#include <shldisp.h>
#include <shlguid.h>
#include <shobjidl.h>

#include <string>

#include "core/win_text.h"

namespace {

// Owns one COM interface pointer.
template <class T>
class KComRef {
public:
    KComRef() = default;
    ~KComRef() {
        if (m_p)
            m_p->Release();
    }
    KComRef(const KComRef&) = delete;
    KComRef& operator=(const KComRef&) = delete;
    T* operator->() const { return m_p; }
    T* Get() const { return m_p; }
    T** Out() { return &m_p; }
    void** OutVoid() { return reinterpret_cast<void**>(&m_p); }

private:
    T* m_p = nullptr;
};

// Owns one VARIANT.
class KVariant {
public:
    KVariant() { VariantInit(&m_v); }
    explicit KVariant(const std::wstring& wstrText) : KVariant() {
        m_v.bstrVal = SysAllocStringLen(wstrText.c_str(), static_cast<UINT>(wstrText.size()));
        if (m_v.bstrVal)
            m_v.vt = VT_BSTR;
    }
    explicit KVariant(LONG nValue) : KVariant() {
        m_v.vt = VT_I4;
        m_v.lVal = nValue;
    }
    ~KVariant() { VariantClear(&m_v); }
    KVariant(const KVariant&) = delete;
    KVariant& operator=(const KVariant&) = delete;
    VARIANT* Ptr() { return &m_v; }
    bool IsText() const { return m_v.vt == VT_BSTR; }

private:
    VARIANT m_v;
};

// A UTF-8 text as UTF-16; false when it does not convert.
bool s_Wide(const char* pszText, std::wstring* pwstrText) {
    int nLen = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, pszText, -1, nullptr, 0);
    if (nLen <= 0)
        return false;
    pwstrText->assign(static_cast<size_t>(nLen), L'\0');
    if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, pszText, -1, &(*pwstrText)[0], nLen) != nLen)
        return false;
    pwstrText->resize(static_cast<size_t>(nLen) - 1);
    return true;
}

// The shell's automation object of the desktop window, reached through the desktop's folder view:
// the shell's documented way for a program to have Explorer start another one.
bool s_DesktopShellDispatch(KComRef<IShellDispatch2>* pShell) {
    KComRef<IShellWindows> windows;
    if (FAILED(CoCreateInstance(CLSID_ShellWindows, nullptr, CLSCTX_LOCAL_SERVER, IID_IShellWindows, windows.OutVoid())))
        return false;
    KVariant location;
    KVariant root;
    LONG lWindow = 0;
    KComRef<IDispatch> desktop;
    // S_FALSE and no object when there is no desktop window.
    if (windows->FindWindowSW(location.Ptr(), root.Ptr(), SWC_DESKTOP, &lWindow, SWFO_NEEDDISPATCH, desktop.Out()) !=
            S_OK ||
        !desktop.Get())
        return false;
    KComRef<IServiceProvider> provider;
    if (FAILED(desktop->QueryInterface(IID_IServiceProvider, provider.OutVoid())))
        return false;
    KComRef<IShellBrowser> browser;
    if (FAILED(provider->QueryService(SID_STopLevelBrowser, IID_IShellBrowser, browser.OutVoid())))
        return false;
    KComRef<IShellView> view;
    if (FAILED(browser->QueryActiveShellView(view.Out())) || !view.Get())
        return false;
    KComRef<IDispatch> background;
    if (FAILED(view->GetItemObject(SVGIO_BACKGROUND, IID_IDispatch, background.OutVoid())))
        return false;
    KComRef<IShellFolderViewDual> folderView;
    if (FAILED(background->QueryInterface(IID_IShellFolderViewDual, folderView.OutVoid())))
        return false;
    KComRef<IDispatch> application;
    if (FAILED(folderView->get_Application(application.Out())) || !application.Get())
        return false;
    return SUCCEEDED(application->QueryInterface(IID_IShellDispatch2, pShell->OutVoid()));
}

bool s_OpenThroughDesktop(const char* pszFile, const char* pszFolder) {
    std::wstring wstrFile, wstrFolder;
    if (!s_Wide(pszFile, &wstrFile) || !s_Wide(pszFolder, &wstrFolder))
        return false;
    KComRef<IShellDispatch2> shell;
    if (!s_DesktopShellDispatch(&shell))
        return false;
    BSTR bstrFile = SysAllocString(wstrFile.c_str());
    KVariant arguments{std::wstring()};
    KVariant folder{wstrFolder};
    KVariant operation{std::wstring(L"open")};
    KVariant show{static_cast<LONG>(SW_SHOWNORMAL)};
    bool bOpened = false;
    if (bstrFile && arguments.IsText() && folder.IsText() && operation.IsText()) {
        // The started program may then come to the front although the shell, not it, was asked.
        CoAllowSetForegroundWindow(shell.Get(), nullptr);
        bOpened = SUCCEEDED(shell->ShellExecute(bstrFile, *arguments.Ptr(), *folder.Ptr(), *operation.Ptr(), *show.Ptr()));
    }
    SysFreeString(bstrFile);
    return bOpened;
}

}  // namespace

bool OpenAsSignedInUser(HWND hWnd, const char* pszFile, const char* pszFolder) {
    if (s_OpenThroughDesktop(pszFile, pszFolder))
        return true;
    return reinterpret_cast<INT_PTR>(ShellExecuteW(hWnd, L"open", Utf8ToWide(pszFile).c_str(), L"",
                                                   Utf8ToWide(pszFolder).c_str(), SW_SHOWNORMAL)) > 32;
}
