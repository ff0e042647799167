#include "core/command_line.h"

std::wstring QuoteCommandArgument(const std::wstring& wstrArgument) {
    size_t uTrailing = 0;
    while (uTrailing < wstrArgument.size() && wstrArgument[wstrArgument.size() - 1 - uTrailing] == L'\\')
        ++uTrailing;
    return L"\"" + wstrArgument + std::wstring(uTrailing, L'\\') + L"\"";
}

std::vector<std::wstring> SplitCommandLine(const wchar_t* pwszCommandLine) {
    std::vector<std::wstring> args;
    const wchar_t* pwsz = pwszCommandLine ? pwszCommandLine : L"";
    auto bBlank = [](wchar_t wc) { return wc == L' ' || wc == L'\t'; };
    // The program's name: up to the closing quote when quoted, else to the first blank, as is.
    std::wstring wstrProgram;
    if (*pwsz == L'"') {
        for (++pwsz; *pwsz && *pwsz != L'"'; ++pwsz)
            wstrProgram += *pwsz;
        if (*pwsz)
            ++pwsz;
    } else {
        for (; *pwsz && !bBlank(*pwsz); ++pwsz)
            wstrProgram += *pwsz;
    }
    args.push_back(wstrProgram);
    for (;;) {
        while (bBlank(*pwsz))
            ++pwsz;
        if (!*pwsz)
            return args;
        std::wstring wstrArgument;
        bool bQuoted = false;
        while (*pwsz && (bQuoted || !bBlank(*pwsz))) {
            if (*pwsz == L'\\') {
                size_t uSlashes = 0;
                for (; *pwsz == L'\\'; ++pwsz)
                    ++uSlashes;
                // Before a quote, backslashes come in pairs and an odd one makes the quote a letter.
                if (*pwsz != L'"') {
                    wstrArgument.append(uSlashes, L'\\');
                    continue;
                }
                wstrArgument.append(uSlashes / 2, L'\\');
                if (uSlashes % 2) {
                    wstrArgument += *pwsz++;
                    continue;
                }
            }
            if (*pwsz == L'"') {
                if (bQuoted && pwsz[1] == L'"') {
                    wstrArgument += L'"';
                    ++pwsz;
                }
                bQuoted = !bQuoted;
                ++pwsz;
                continue;
            }
            wstrArgument += *pwsz++;
        }
        args.push_back(wstrArgument);
    }
}
