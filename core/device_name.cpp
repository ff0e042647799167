#include "core/device_name.h"

#include <string>

int IsDeviceName(const char* pszName, size_t uLen) {
    static const char* const s_aszDevices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
    if (!pszName)
        return 0;
    // The device is named by the part before the first dot, trailing spaces ignored.
    size_t uBase = 0;
    while (uBase < uLen && pszName[uBase] != '.')
        ++uBase;
    while (uBase > 0 && pszName[uBase - 1] == ' ')
        --uBase;
    std::string strBase(pszName, uBase);
    for (char& ch : strBase)
        ch = static_cast<char>(ch >= 'a' && ch <= 'z' ? ch - 'a' + 'A' : ch);
    for (const char* pszDevice : s_aszDevices) {
        if (strBase == pszDevice)
            return 1;
    }
    return strBase.size() == 4 && (strBase.compare(0, 3, "COM") == 0 || strBase.compare(0, 3, "LPT") == 0) &&
           strBase[3] >= '1' && strBase[3] <= '9';
}
