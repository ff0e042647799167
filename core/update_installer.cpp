#include "core/update_installer.h"

#include <cstring>

#include "core/string_ids.h"
#include "core/string_table.h"
#include "core/text_copy.h"
#include "core/win_text.h"
#include "xml/xml_document.h"

KUpdateInstaller::KUpdateInstaller()
    : m_pXmlDoc(nullptr),
      m_pMsgOutput(nullptr),
      m_bPathFromIni(0),
      m_bHasRoot(0),
      m_bLoadFailed(0),
      m_hQuestionOwner(nullptr),
      m_bQuestionOpen(0),
      m_bChecksCancelled(0) {
    m_szTitle[0] = '\0';
}

KUpdateInstaller::~KUpdateInstaller() {
    m_pMsgOutput = nullptr;
    if (m_pXmlDoc) {
        m_pXmlDoc->Release();
        m_pXmlDoc = nullptr;
    }
}

int KUpdateInstaller::Init(const char* pszUpdateFile, IKMsgOutput* pMsgOutput) {
    m_pMsgOutput = pMsgOutput;
    if (!LoadDescription(pszUpdateFile))
        return 0;
    return FindGamePath();
}

int KUpdateInstaller::LoadDescription(const char* pszUpdateFile) {
    m_bLoadFailed = 1;
    if (!m_pXmlDoc)
        m_pXmlDoc = CreateXMLDocument(0, "gbk");
    // The engine library opens the description by the system's ANSI text of its path.
    if (pszUpdateFile && pszUpdateFile[0] && SystemAnsiPath(pszUpdateFile).empty()) {
        if (m_pMsgOutput)
            m_pMsgOutput->AddMessage(GetString(IDS_PACKAGE_PATH_UNREADABLE));
        return 0;
    }
    if (!m_pXmlDoc || !m_pXmlDoc->Load(pszUpdateFile)) {
        if (m_pMsgOutput)
            m_pMsgOutput->AddMessage(GetString(IDS_DESCRIPTION_FAULTY));
        return 0;
    }
    IKXmlNode* pRoot = m_pXmlDoc->GetRootElement("Root");
    if (!pRoot) {
        if (m_pMsgOutput)
            m_pMsgOutput->AddMessage(GetString(IDS_DESCRIPTION_FAULTY));
        return 0;
    }

    // The title is read here, once: later the dialog thread asks for it while the install worker
    // walks the same document, and the document is not safe for two threads.
    m_szTitle[0] = '\0';
    pRoot->GetChildText("AppTitle", m_szTitle);
    m_bHasRoot = 1;
    m_bLoadFailed = 0;

    IKXmlNode* pVersionList = pRoot->GetFirstChildByName("VersionInfoList");
    if (pVersionList) {
        for (IKXmlNode* pVersion = pVersionList->GetFirstChildByName("VersionInfo"); pVersion;
             pVersion = pVersion->GetNextSiblingByName("VersionInfo")) {
            char szApplication[KXML_TEXT_SIZE] = {0};
            pVersion->GetChildText("Application", szApplication);
            if (szApplication[0]) {
                KAppInfo appInfo = {};
                CopyTextCut(appInfo.szName, GetString(IDS_PRODUCT_NAME), sizeof(appInfo.szName));
                m_AppInfoList.push_back(appInfo);
            }
        }
    }
    return 1;
}

const char* KUpdateInstaller::GetAppTitle(char* pszTitle) {
    if (!m_pXmlDoc || !m_bHasRoot || !pszTitle)
        return "";
    CopyTextCut(pszTitle, m_szTitle, KXML_TEXT_SIZE);
    return pszTitle;
}
