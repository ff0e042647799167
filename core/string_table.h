// The message catalogue: numbered texts of the program's string-table resource.
#pragma once

#include <map>
#include <mutex>
#include <string>

class KStringTable {
public:
    // The text of entry nID in UTF-8 (core/win_text.h), never null. A missing or empty entry yields
    // "". A text once loaded is cached: later calls return the same pointer, valid until exit.
    // Safe to call from several threads.
    const char* GetString(int nID);

private:
    std::mutex m_Lock;
    std::map<int, std::string> m_Cache;
};

// The program-wide catalogue.
extern KStringTable g_StringTable;

// Shorthand for g_StringTable.GetString(nID).
const char* GetString(int nID);
