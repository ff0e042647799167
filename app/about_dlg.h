// The About box of the tray menu: icon, product name and version, rights notice, OK.
#pragma once

#include "app/dialog_base.h"
#include "app/resource.h"

class CAboutDlg : public KDialog {
public:
    CAboutDlg() : KDialog(IDD_ABOUTBOX) {}

protected:
    // Widens each text to its whole width in the dialog's font, and the box with them.
    BOOL OnInitDialog() override;
};
