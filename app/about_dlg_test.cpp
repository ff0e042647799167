// The About box on the program's own template: every text whole on its line, none under the OK
// button, whatever the font.
#include "app/about_dlg.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct KTextPlace {
    std::string strText;
    int nNeeded;  // width of the text on one line in the control's font
    RECT rc;      // the control, in the box's client coordinates
};

// Measures the box once it is laid out, then closes it. nFontHeight > 0 first gives the texts a
// font of that height, larger than any face that stands in for the template's.
class KMeasuredAbout : public CAboutDlg {
public:
    explicit KMeasuredAbout(int nFontHeight) : m_nFontHeight(nFontHeight) {}
    ~KMeasuredAbout() override {
        if (m_hFont)
            DeleteObject(m_hFont);
    }

    std::vector<KTextPlace> m_Texts;
    RECT m_rcOk = {0, 0, 0, 0};
    RECT m_rcClient = {0, 0, 0, 0};

protected:
    BOOL OnInitDialog() override {
        if (m_nFontHeight > 0) {
            m_hFont = CreateFontA(-m_nFontHeight, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, "Tahoma");
            for (HWND hChild = GetWindow(m_hWnd, GW_CHILD); hChild; hChild = GetWindow(hChild, GW_HWNDNEXT))
                SendMessageA(hChild, WM_SETFONT, reinterpret_cast<WPARAM>(m_hFont), FALSE);
        }
        BOOL bResult = CAboutDlg::OnInitDialog();
        Measure();
        PostMessageA(m_hWnd, WM_COMMAND, IDCANCEL, 0);
        return bResult;
    }

private:
    RECT ClientRect(HWND hControl) const {
        RECT rc;
        GetWindowRect(hControl, &rc);
        MapWindowPoints(nullptr, m_hWnd, reinterpret_cast<POINT*>(&rc), 2);
        return rc;
    }
    void Measure() {
        GetClientRect(m_hWnd, &m_rcClient);
        m_rcOk = ClientRect(GetDlgItem(m_hWnd, IDOK));
        for (HWND hChild = GetWindow(m_hWnd, GW_CHILD); hChild; hChild = GetWindow(hChild, GW_HWNDNEXT)) {
            if ((GetWindowLongA(hChild, GWL_STYLE) & SS_TYPEMASK) != SS_LEFT || hChild == GetDlgItem(m_hWnd, IDOK))
                continue;
            char szText[256] = {0};
            GetWindowTextA(hChild, szText, sizeof(szText));
            HDC hDC = GetDC(hChild);
            HGDIOBJ hOld = SelectObject(hDC, reinterpret_cast<HFONT>(SendMessageA(hChild, WM_GETFONT, 0, 0)));
            SIZE size = {0, 0};
            GetTextExtentPoint32A(hDC, szText, lstrlenA(szText), &size);
            SelectObject(hDC, hOld);
            ReleaseDC(hChild, hDC);
            m_Texts.push_back({szText, size.cx, ClientRect(hChild)});
        }
    }

    int m_nFontHeight;
    HFONT m_hFont = nullptr;
};

void s_ExpectWholeTexts(int nFontHeight) {
    KMeasuredAbout about(nFontHeight);
    ASSERT_EQ(IDCANCEL, about.DoModal());
    ASSERT_EQ(2u, about.m_Texts.size());
    EXPECT_EQ("Tarnwick\xca\xd6\xb6\xaf\xb0\xb2\xd7\xb0\xb3\xcc\xd0\xf2 V1.1", about.m_Texts[0].strText);
    for (const KTextPlace& text : about.m_Texts) {
        EXPECT_GE(text.rc.right - text.rc.left, text.nNeeded) << text.strText;
        EXPECT_LE(text.rc.right, about.m_rcClient.right) << text.strText;
        RECT rcOverlap;
        EXPECT_FALSE(IntersectRect(&rcOverlap, &text.rc, &about.m_rcOk)) << text.strText;
    }
    EXPECT_LE(about.m_rcOk.right, about.m_rcClient.right);
}

}  // namespace

TEST(AboutBox, TextsAreWholeInTheTemplateFont) {
    s_ExpectWholeTexts(0);
}

TEST(AboutBox, ALargerFontWidensTheTextsAndTheBox) {
    s_ExpectWholeTexts(28);
}
