// The built library as its callers see it: loaded by name at run time, PackComb found by its
// undecorated name, nothing else exported and, on Windows, nothing imported but the system.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <string>
#include <vector>

#include "pack_test_util.h"
#include "packcomb.h"

#if !defined(_WIN32)
#include <dlfcn.h>
#endif

namespace cobblepak {
namespace {

using test::Concat;
using test::Entry;
using test::MakePack;
using test::Text;

#if defined(_WIN32)

class KLibrary {
public:
    // Found by plain name: the test program sits beside Cobblepak.dll.
    KLibrary() : m_hModule(LoadLibraryA("Cobblepak.dll")) {}
    ~KLibrary()
    {
        if (m_hModule)
            FreeLibrary(m_hModule);
    }
    bool Loaded() const { return m_hModule != nullptr; }
    PFN_PACKCOMB Find(const char* pszName) const
    {
        return reinterpret_cast<PFN_PACKCOMB>(
            reinterpret_cast<void*>(GetProcAddress(m_hModule, pszName)));
    }
    // Names in the export directory of the mapped image.
    std::vector<std::string> ExportedNames() const
    {
        const IMAGE_DATA_DIRECTORY& dir = Directory(IMAGE_DIRECTORY_ENTRY_EXPORT);
        std::vector<std::string> vNames;
        if (dir.VirtualAddress == 0)
            return vNames;
        const IMAGE_EXPORT_DIRECTORY* pExports =
            reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(Base() + dir.VirtualAddress);
        EXPECT_EQ(pExports->NumberOfFunctions, pExports->NumberOfNames) << "unnamed exports";
        const DWORD* pNames = reinterpret_cast<const DWORD*>(Base() + pExports->AddressOfNames);
        for (DWORD i = 0; i < pExports->NumberOfNames; ++i)
            vNames.push_back(reinterpret_cast<const char*>(Base() + pNames[i]));
        return vNames;
    }
    std::vector<std::string> ImportedLibraries() const
    {
        const IMAGE_DATA_DIRECTORY& dir = Directory(IMAGE_DIRECTORY_ENTRY_IMPORT);
        std::vector<std::string> vNames;
        const IMAGE_IMPORT_DESCRIPTOR* pImport =
            reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(Base() + dir.VirtualAddress);
        for (; dir.VirtualAddress != 0 && pImport->Name != 0; ++pImport) {
            std::string strName = reinterpret_cast<const char*>(Base() + pImport->Name);
            std::transform(strName.begin(), strName.end(), strName.begin(),
                           [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
            vNames.push_back(strName);
        }
        return vNames;
    }

private:
    const BYTE* Base() const { return reinterpret_cast<const BYTE*>(m_hModule); }
    const IMAGE_DATA_DIRECTORY& Directory(int nWhich) const
    {
        const IMAGE_DOS_HEADER* pDos = reinterpret_cast<const IMAGE_DOS_HEADER*>(Base());
        const IMAGE_NT_HEADERS* pNt =
            reinterpret_cast<const IMAGE_NT_HEADERS*>(Base() + pDos->e_lfanew);
        return pNt->OptionalHeader.DataDirectory[nWhich];
    }

    HMODULE m_hModule;
};

TEST(LibraryLoad, ImportsOnlyTheSystem)
{
    KLibrary library;
    ASSERT_TRUE(library.Loaded());
    for (const std::string& strName : library.ImportedLibraries())
        EXPECT_TRUE(strName == "kernel32.dll" || strName == "msvcrt.dll") << strName;
}

#else

class KLibrary {
public:
    KLibrary() : m_pHandle(dlopen(COBBLEPAK_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL)) {}
    ~KLibrary()
    {
        if (m_pHandle)
            dlclose(m_pHandle);
    }
    bool Loaded() const { return m_pHandle != nullptr; }
    PFN_PACKCOMB Find(const char* pszName) const
    {
        return reinterpret_cast<PFN_PACKCOMB>(dlsym(m_pHandle, pszName));
    }
    // Defined dynamic symbols, as the dynamic linker offers them to other modules.
    std::vector<std::string> ExportedNames() const
    {
        std::vector<std::string> vNames;
        std::FILE* pPipe = popen("nm -D --defined-only " COBBLEPAK_LIBRARY_PATH, "r");
        if (!pPipe)
            return vNames;
        char szLine[512];
        while (std::fgets(szLine, sizeof szLine, pPipe)) {
            std::string strLine(szLine);
            strLine.erase(strLine.find_last_not_of("\r\n") + 1);
            vNames.push_back(strLine.substr(strLine.find_last_of(' ') + 1));
        }
        EXPECT_EQ(pclose(pPipe), 0) << "nm failed";
        return vNames;
    }

private:
    void* m_pHandle;
};

#endif

TEST(LibraryLoad, ExportsPackCombAlone)
{
    KLibrary library;
    ASSERT_TRUE(library.Loaded());
    EXPECT_EQ(library.ExportedNames(), std::vector<std::string>{"PackComb"});
}

TEST(LibraryLoad, MergesThroughTheExportFoundByName)
{
    KLibrary library;
    ASSERT_TRUE(library.Loaded());
    PFN_PACKCOMB pfnPackComb = library.Find("PackComb");
    ASSERT_NE(pfnPackComb, nullptr);

    test::KScratchDir dir;
    const std::string strDst = dir.Path("dst.pak");
    const std::string strSrc = dir.Path("src.pak");
    const test::Bytes vDst = MakePack(32, Text("dd"), {Entry(2, 32), Entry(4, 33)});
    test::WriteFileBytes(strDst, vDst);
    test::WriteFileBytes(strSrc, MakePack(40, Text("ss"), {Entry(4, 40), Entry(3, 41)}));
    ASSERT_EQ(pfnPackComb(strDst.c_str(), strSrc.c_str()), S_OK);
    test::Bytes vExpected = vDst;
    test::PutFixed32(vExpected, 4, 3);
    test::PutFixed32(vExpected, 8, 68);
    EXPECT_EQ(test::ReadFileBytes(strDst),
              Concat(Concat(vExpected, Text("ss")),
                     test::EncodeIndex({Entry(2, 32), Entry(3, 67), Entry(4, 66)})));
    EXPECT_EQ(pfnPackComb(dir.Path("none.pak").c_str(), strSrc.c_str()), E_INVALIDARG);
}

}  // namespace
}  // namespace cobblepak
