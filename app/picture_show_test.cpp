// The banner picture: the resource in its three languages, decoding, release, upright drawing.
#include "app/picture_show.h"

#include <gtest/gtest.h>

#include <string>

#include "app/resource.h"

namespace {

class PictureShowTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(SUCCEEDED(OleInitialize(nullptr))); }
    static void TearDownTestSuite() { OleUninitialize(); }
    // This test program carries the installer's resources.
    static HINSTANCE Module() { return GetModuleHandleA(nullptr); }
};

// A 32-bit memory bitmap filled with one colour, to draw into and read back.
class KCanvas {
public:
    KCanvas(int nWidth, int nHeight, COLORREF crFill) : m_nWidth(nWidth) {
        BITMAPINFO info = {};
        info.bmiHeader.biSize = sizeof(info.bmiHeader);
        info.bmiHeader.biWidth = nWidth;
        info.bmiHeader.biHeight = -nHeight;  // top-down rows
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        m_hDC = CreateCompatibleDC(nullptr);
        m_hBitmap = CreateDIBSection(m_hDC, &info, DIB_RGB_COLORS, reinterpret_cast<void**>(&m_pBits), nullptr, 0);
        m_hOld = SelectObject(m_hDC, m_hBitmap);
        RECT rc = {0, 0, nWidth, nHeight};
        HBRUSH hBrush = CreateSolidBrush(crFill);
        FillRect(m_hDC, &rc, hBrush);
        DeleteObject(hBrush);
        GdiFlush();
    }
    ~KCanvas() {
        SelectObject(m_hDC, m_hOld);
        DeleteObject(m_hBitmap);
        DeleteDC(m_hDC);
    }
    HDC DC() const { return m_hDC; }
    COLORREF Pixel(int x, int y) const {
        GdiFlush();
        DWORD dwPixel = m_pBits[y * m_nWidth + x];
        return RGB((dwPixel >> 16) & 0xFF, (dwPixel >> 8) & 0xFF, dwPixel & 0xFF);
    }

private:
    int m_nWidth;
    HDC m_hDC;
    HBITMAP m_hBitmap;
    HGDIOBJ m_hOld;
    DWORD* m_pBits = nullptr;
};

TEST_F(PictureShowTest, BannerIsStoredInEachLanguageAndDecodes) {
    const WORD awLanguages[] = {1028, 1055, 2052};
    for (WORD wLanguage : awLanguages) {
        SCOPED_TRACE(wLanguage);
        HRSRC hResource = FindResourceExA(Module(), RT_BANNER_JPG, MAKEINTRESOURCEA(IDR_BANNER), wLanguage);
        ASSERT_NE(hResource, nullptr);
        DWORD dwSize = SizeofResource(Module(), hResource);
        EXPECT_GT(dwSize, 1000u);
        EXPECT_LT(dwSize, 64u * 1024u);
        const void* pData = LockResource(LoadResource(Module(), hResource));
        ASSERT_NE(pData, nullptr);
        KPictureShow picture;
        ASSERT_TRUE(picture.LoadFromMemory(pData, static_cast<int>(dwSize)));
        OLE_XSIZE_HIMETRIC nWidth = 0;
        OLE_YSIZE_HIMETRIC nHeight = 0;
        picture.m_pPict->get_Width(&nWidth);
        picture.m_pPict->get_Height(&nHeight);
        // A banner: several times wider than high.
        EXPECT_GT(nWidth, 3 * nHeight);
        EXPECT_GT(nHeight, 0);
    }
}

TEST_F(PictureShowTest, SecondLoadReleasesTheFirstPicture) {
    KPictureShow picture;
    ASSERT_EQ(picture.LoadFromResource(Module(), MAKEINTRESOURCEA(IDR_BANNER), RT_BANNER_JPG), 1);
    IPicture* pFirst = picture.m_pPict;
    pFirst->AddRef();
    ASSERT_EQ(picture.LoadFromResource(Module(), MAKEINTRESOURCEA(IDR_BANNER), RT_BANNER_JPG), 1);
    EXPECT_NE(picture.m_pPict, pFirst);
    // Ours is the last reference once the holder has let go of the first picture.
    EXPECT_EQ(pFirst->Release(), 0u);
}

TEST_F(PictureShowTest, MissingOrDamagedPictureLeavesNoneHeld) {
    KPictureShow picture;
    ASSERT_EQ(picture.LoadFromResource(Module(), MAKEINTRESOURCEA(IDR_BANNER), RT_BANNER_JPG), 1);
    EXPECT_EQ(picture.LoadFromResource(Module(), MAKEINTRESOURCEA(999), RT_BANNER_JPG), 0);
    EXPECT_EQ(picture.m_pPict, nullptr);

    HRSRC hResource = FindResourceA(Module(), MAKEINTRESOURCEA(IDR_BANNER), RT_BANNER_JPG);
    ASSERT_NE(hResource, nullptr);
    std::string strJpeg(static_cast<const char*>(LockResource(LoadResource(Module(), hResource))),
                        SizeofResource(Module(), hResource));
    std::string strDamaged = strJpeg.substr(0, 2) + std::string(400, '\x5A');
    EXPECT_EQ(picture.LoadFromMemory(strDamaged.data(), static_cast<int>(strDamaged.size())), 0);
    EXPECT_EQ(picture.m_pPict, nullptr);
    EXPECT_EQ(picture.LoadFromMemory(nullptr, 10), 0);
    EXPECT_EQ(picture.LoadFromMemory(strJpeg.data(), 0), 0);
}

TEST_F(PictureShowTest, RenderWithoutPictureLeavesTheAreaAlone) {
    KPictureShow picture;
    KCanvas canvas(40, 20, RGB(10, 200, 30));
    RECT rc = {0, 0, 40, 20};
    EXPECT_EQ(picture.Render(canvas.DC(), &rc), 0);
    EXPECT_EQ(picture.Render(nullptr, &rc), 0);
    EXPECT_EQ(canvas.Pixel(20, 10), RGB(10, 200, 30));
}

TEST_F(PictureShowTest, RenderDrawsTheBannerStretchedAndUpright) {
    KPictureShow picture;
    ASSERT_EQ(picture.LoadFromResource(Module(), MAKEINTRESOURCEA(IDR_BANNER), RT_BANNER_JPG), 1);
    // Twice the banner's own size (540 by 126), offset by a margin that must stay untouched.
    KCanvas canvas(1100, 272, RGB(255, 0, 255));
    RECT rc = {10, 10, 1090, 262};
    ASSERT_EQ(picture.Render(canvas.DC(), &rc), 1);
    EXPECT_EQ(canvas.Pixel(5, 5), RGB(255, 0, 255));
    EXPECT_EQ(canvas.Pixel(1095, 266), RGB(255, 0, 255));
    // The moon sits at the top right of the banner (470, 35), the dark night sky at the top left.
    COLORREF crMoon = canvas.Pixel(10 + 2 * 470, 10 + 2 * 35);
    EXPECT_GT(GetRValue(crMoon), 200);
    EXPECT_GT(GetGValue(crMoon), 160);
    EXPECT_LT(GetBValue(crMoon), 160);
    COLORREF crSky = canvas.Pixel(10 + 2 * 150, 10 + 2 * 6);
    EXPECT_LT(GetRValue(crSky), 90);
    EXPECT_LT(GetGValue(crSky), 90);
}

}  // namespace
