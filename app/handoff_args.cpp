#include "app/handoff_args.h"

#include <windows.h>
#include <shellapi.h>

#include <cstring>
#include <string>

#include "core/device_name.h"
#include "core/text_copy.h"

namespace {

// The ANSI form of a UTF-16 text; false when some character has none.
bool s_ToAnsi(const wchar_t* pwszText, std::string* pstrAnsi) {
    BOOL bDefaultUsed = FALSE;
    int nLen = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, pwszText, -1, nullptr, 0, nullptr, &bDefaultUsed);
    if (nLen <= 0 || bDefaultUsed)
        return false;
    std::string strAnsi(static_cast<size_t>(nLen), '\0');
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, pwszText, -1, &strAnsi[0], nLen, nullptr, &bDefaultUsed);
    strAnsi.resize(std::strlen(strAnsi.c_str()));
    *pstrAnsi = strAnsi;
    return !bDefaultUsed;
}

}  // namespace

int IsHandoffName(const char* pszName) {
    if (!pszName || !pszName[0])
        return 0;
    size_t uLen = std::strlen(pszName);
    if (uLen >= sizeof(KResourceEntry().szName))
        return 0;
    // The handoff file <temp>\<name>.ini is read and deleted: a device name would name a device.
    if (std::strcmp(pszName, ".") == 0 || std::strcmp(pszName, "..") == 0 || IsDeviceName(pszName, uLen))
        return 0;
    for (const char* p = pszName; *p; ++p) {
        unsigned char c = static_cast<unsigned char>(*p);
        // The trail byte of a double-byte character may look like a separator; it is skipped.
        if (IsDBCSLeadByte(c) && p[1] != '\0') {
            ++p;
            continue;
        }
        if (c < 0x20 || std::strchr("\\/:*?\"<>|", c))
            return 0;
    }
    return 1;
}

std::vector<KResourceEntry> HandoffListFromCommandLine(const wchar_t* pwszCommandLine) {
    std::vector<KResourceEntry> list;
    if (!pwszCommandLine || !pwszCommandLine[0])
        return list;
    int nArgs = 0;
    LPWSTR* ppwszArgs = CommandLineToArgvW(pwszCommandLine, &nArgs);
    if (!ppwszArgs)
        return list;
    for (int i = 1; i < nArgs; ++i) {
        std::string strName;
        if (!s_ToAnsi(ppwszArgs[i], &strName) || !IsHandoffName(strName.c_str()))
            continue;
        KResourceEntry entry = {};
        CopyTextCut(entry.szName, strName.c_str(), sizeof(entry.szName));
        list.push_back(entry);
    }
    LocalFree(ppwszArgs);
    return list;
}
