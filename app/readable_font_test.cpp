#include "app/readable_font.h"

#include <gtest/gtest.h>

namespace {

// A face that lacks the Chinese glyphs (the symbol face Marlett: Wine links every text face to its
// fallback fonts) gives way to an installed one of the dialogs' size that has them all; the check
// ignores mnemonic marks and control characters.
TEST(ReadableFontTest, AFaceWithoutTheChineseGlyphsGivesWayToOneWithThem) {
    const std::wstring wstrText = L"\u66f4\u65b0(&U) \u8fd0\u884c\u6e38\u620f Tarnwick\u00b7\uff01\r\n";
    HDC hDC = CreateCompatibleDC(nullptr);
    ASSERT_NE(hDC, nullptr);
    LOGFONTW lf = {};
    lf.lfHeight = -12;
    lf.lfCharSet = DEFAULT_CHARSET;
    lstrcpyW(lf.lfFaceName, L"Marlett");
    HFONT hSymbol = CreateFontIndirectW(&lf);
    ASSERT_NE(hSymbol, nullptr);
    if (FontShowsText(hDC, hSymbol, wstrText)) {
        DeleteObject(hSymbol);
        DeleteDC(hDC);
        GTEST_SKIP() << "Marlett shows Chinese here";
    }
    std::wstring wstrFace = FindReadableFace(hDC, lf, wstrText);
    ASSERT_FALSE(wstrFace.empty()) << "no installed face shows Chinese";
    lstrcpynW(lf.lfFaceName, wstrFace.c_str(), LF_FACESIZE);
    HFONT hFound = CreateFontIndirectW(&lf);
    EXPECT_TRUE(FontShowsText(hDC, hFound, wstrText));
    DeleteObject(hFound);
    DeleteObject(hSymbol);
    DeleteDC(hDC);
}

}  // namespace
