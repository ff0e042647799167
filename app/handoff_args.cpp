#include "app/handoff_args.h"

#include <windows.h>

#include <cstring>
#include <string>

#include "core/command_line.h"
#include "core/device_name.h"
#include "core/text_copy.h"
#include "core/win_text.h"

int IsHandoffName(const char* pszName) {
    if (!pszName || !pszName[0])
        return 0;
    size_t uLen = std::strlen(pszName);
    if (Utf16Length(pszName) >= 128)
        return 0;
    // The handoff file <temp>\<name>.ini is read and deleted: a device name would name a device.
    if (std::strcmp(pszName, ".") == 0 || std::strcmp(pszName, "..") == 0 || IsDeviceName(pszName, uLen))
        return 0;
    for (const char* p = pszName; *p; ++p) {
        unsigned char c = static_cast<unsigned char>(*p);
        if (c < 0x20 || std::strchr("\\/:*?\"<>|", c))
            return 0;
    }
    return 1;
}

std::vector<KResourceEntry> HandoffListFromCommandLine(const wchar_t* pwszCommandLine) {
    std::vector<KResourceEntry> list;
    if (!pwszCommandLine || !pwszCommandLine[0])
        return list;
    std::vector<std::wstring> args = SplitCommandLine(pwszCommandLine);
    for (size_t i = 1; i < args.size(); ++i) {
        // Names of the game's packages come from its ANSI programs, whose name field holds 127
        // bytes of the system's code page: a name that code page cannot write, or that does not
        // fit there, is none of them.
        std::string strName = WideToUtf8(args[i].c_str());
        bool bExact = false;
        std::string strAnsi = Utf8ToCodePage(CP_ACP, strName, &bExact);
        if (!bExact || strAnsi.size() >= 128 || !IsHandoffName(strName.c_str()))
            continue;
        KResourceEntry entry = {};
        CopyTextCut(entry.szName, strName.c_str(), sizeof(entry.szName));
        list.push_back(entry);
    }
    return list;
}
