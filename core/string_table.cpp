#include "core/string_table.h"

#include <windows.h>

#include "core/win_text.h"

KStringTable g_StringTable;

namespace {

// Loads entry nID from the program's own resources, converted from UTF-16 to UTF-8.
std::string s_LoadEntry(int nID) {
    const wchar_t* pwszText = nullptr;
    // With a zero buffer size LoadStringW hands out a pointer into the resource itself.
    int nLen = LoadStringW(GetModuleHandleW(nullptr), static_cast<UINT>(nID),
                           reinterpret_cast<wchar_t*>(&pwszText), 0);
    if (nLen <= 0 || !pwszText)
        return std::string();
    return WideToUtf8(pwszText, nLen);
}

}  // namespace

const char* KStringTable::GetString(int nID) {
    // The dialog thread and the install worker both ask for texts; the lock keeps the map whole
    // when both insert at once. Cached strings never move, so returned pointers stay valid.
    std::lock_guard<std::mutex> guard(m_Lock);
    auto it = m_Cache.find(nID);
    if (it != m_Cache.end())
        return it->second.c_str();
    std::string strText = s_LoadEntry(nID);
    if (strText.empty())
        return "";
    return m_Cache.emplace(nID, std::move(strText)).first->second.c_str();
}

const char* GetString(int nID) {
    return g_StringTable.GetString(nID);
}
