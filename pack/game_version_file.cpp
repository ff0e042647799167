#include "pack/game_version_file.h"

#include "core/ansi_text.h"

#include "install/package_rules.h"
#include "install/version_check.h"
#include "pack/pack_platform.h"

namespace {

std::string s_Trim(const std::string& strText) {
    const char* pszBlanks = " \t\r\n\x0b\x0c\x1a";
    size_t uStart = strText.find_first_not_of(pszBlanks);
    if (uStart == std::string::npos)
        return std::string();
    return strText.substr(uStart, strText.find_last_not_of(pszBlanks) - uStart + 1);
}

}  // namespace

bool ReadGameVersionFile(const std::string& strPath, std::vector<std::pair<std::string, std::string>>* pKeys,
                         std::string* pstrError) {
    pKeys->clear();
    std::string strBytes;
    std::FILE* pProbe = OpenFileStream(strPath, "rb");
    if (!pProbe)
        return true;
    std::fclose(pProbe);
    if (!ReadWholeFile(strPath, &strBytes)) {
        *pstrError = "cannot be read";
        return false;
    }
    std::string strText;
    if (strBytes.compare(0, 3, "\xEF\xBB\xBF") == 0) {
        strText = strBytes.substr(3);
    } else if (strBytes.compare(0, 2, "\xFF\xFE") == 0 || strBytes.compare(0, 2, "\xFE\xFF") == 0) {
        *pstrError = "UTF-16, which this tool does not read";
        return false;
    } else {
        strText = Utf8FromGbk(strBytes.data(), strBytes.size());
        if (strText.find("\xEF\xBF\xBD") != std::string::npos) {
            *pstrError = "not GBK text";
            return false;
        }
    }
    bool bInSection = false;
    size_t uStart = 0;
    while (uStart < strText.size()) {
        size_t uEnd = strText.find('\n', uStart);
        if (uEnd == std::string::npos)
            uEnd = strText.size();
        std::string strLine = s_Trim(strText.substr(uStart, uEnd - uStart));
        uStart = uEnd + 1;
        if (!strLine.empty() && strLine[0] == '[') {
            size_t uClose = strLine.find(']');
            bInSection = EqualsNoCaseAscii(s_Trim(strLine.substr(1, uClose == std::string::npos ? std::string::npos : uClose - 1)),
                                           GAME_VERSION_SECTION);
            continue;
        }
        size_t uEqual = strLine.find('=');
        if (!bInSection || uEqual == std::string::npos)
            continue;
        std::string strKey = s_Trim(strLine.substr(0, uEqual));
        std::string strValue = s_Trim(strLine.substr(uEqual + 1));
        if (strValue.size() >= 2 && (strValue[0] == '"' || strValue[0] == '\'') && strValue.back() == strValue[0])
            strValue = strValue.substr(1, strValue.size() - 2);
        bool bSeen = false;
        for (const auto& key : *pKeys)
            bSeen = bSeen || EqualsNoCaseAscii(key.first, strKey.c_str());
        if (!strKey.empty() && !bSeen)
            pKeys->emplace_back(strKey, strValue);
    }
    return true;
}
