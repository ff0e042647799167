// KTwScript of the engine stand-in: its stack is the stack of a Lua 5.1 state.
#include <cstring>

extern "C" {
#include <lauxlib.h>
#include <lua.h>
#include <lualib.h>
}

#include "xml/engine_api.h"

KTwScript::KTwScript() : m_pLua(luaL_newstate()) {
    if (m_pLua)
        luaL_openlibs(m_pLua);
}

KTwScript::~KTwScript() {
    if (m_pLua)
        lua_close(m_pLua);
}

int KTwScript::GetTopIndex() {
    return m_pLua ? lua_gettop(m_pLua) : 0;
}

int KTwScript::SetTopIndex(int nIndex) {
    if (!m_pLua || nIndex < 0 || nIndex > lua_gettop(m_pLua))
        return 0;
    lua_settop(m_pLua, nIndex);
    return 1;
}

int KTwScript::PushTable() {
    if (!m_pLua || !lua_checkstack(m_pLua, 1))
        return 0;
    lua_newtable(m_pLua);
    return 1;
}

int KTwScript::PushString(const char* pszText) {
    if (!m_pLua || !pszText || !lua_checkstack(m_pLua, 1))
        return 0;
    lua_pushstring(m_pLua, pszText);
    return 1;
}

int KTwScript::SetTableField(const char* pszKey) {
    if (!m_pLua || !pszKey || lua_gettop(m_pLua) < 2 || !lua_istable(m_pLua, -2))
        return 0;
    lua_setfield(m_pLua, -2, pszKey);
    return 1;
}

int KTwScript::SetTableIndex(int nIndex) {
    if (!m_pLua || lua_gettop(m_pLua) < 2 || !lua_istable(m_pLua, -2))
        return 0;
    lua_rawseti(m_pLua, -2, nIndex);
    return 1;
}

int KTwScript::RunOnTop(const char* pszChunk, char* pszResult, int nSize) {
    if (!m_pLua || !pszChunk || !pszResult || nSize <= 0 || lua_gettop(m_pLua) < 1)
        return 0;
    int nTop = lua_gettop(m_pLua);
    int nResult = 0;
    if (luaL_loadstring(m_pLua, pszChunk) == 0) {
        lua_pushvalue(m_pLua, nTop);
        nResult = lua_pcall(m_pLua, 1, 1, 0) == 0;
    }
    const char* pszText = lua_tostring(m_pLua, -1);
    if (!pszText)
        pszText = "";
    strncpy(pszResult, pszText, static_cast<size_t>(nSize - 1));
    pszResult[nSize - 1] = '\0';
    lua_settop(m_pLua, nTop);
    return nResult;
}
