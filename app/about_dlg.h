// The About box of the tray menu: icon, product name and version, rights notice, OK.
#pragma once

#include "app/dialog_base.h"
#include "app/readable_font.h"
#include "app/resource.h"

class CAboutDlg : public KDialog {
public:
    CAboutDlg() : KDialog(IDD_ABOUTBOX) {}

protected:
    // A font that can show the texts (app/readable_font.h), then widens each text to its whole
    // width in it, and the box with them.
    BOOL OnInitDialog() override;

private:
    KReadableFont m_Font;
};
