// A message sink for tests that keeps every line it is given.
#pragma once

#include <string>
#include <vector>

#include "core/update_installer.h"

namespace mwtest {

class KRecordingOutput : public IKMsgOutput {
public:
    int AddMessage(const char* pszText) override {
        if (!pszText)
            return 0;
        m_Lines.push_back(pszText);
        return 1;
    }
    std::vector<std::string> m_Lines;
};

}  // namespace mwtest
