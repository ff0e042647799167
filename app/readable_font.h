// A dialog font that can show the dialog's texts. The templates name "宋体"; where the system has no
// such face (a fresh Wine prefix, a system without the Chinese fonts) it stands in a face that may
// lack the Chinese glyphs, and every text would show as boxes. Then an installed face that has
// them takes its place, chosen by what it can show.
#pragma once

#include <windows.h>

#include <string>

// 1 when the font hFont has a glyph for every character of wstrText that is not a control character
// (checked in hDC, which keeps its own font).
bool FontShowsText(HDC hDC, HFONT hFont, const std::wstring& wstrText);

// The name of an installed face that shows every character of wstrText at the height and weight of
// lfBase: a face known to carry the Chinese glyphs first, then any other; "" when none can.
std::wstring FindReadableFace(HDC hDC, const LOGFONTW& lfBase, const std::wstring& wstrText);

class KReadableFont {
public:
    KReadableFont() = default;
    ~KReadableFont();
    KReadableFont(const KReadableFont&) = delete;
    KReadableFont& operator=(const KReadableFont&) = delete;

    // When the font of hDialog cannot show its texts (its own, its controls', and the punctuation
    // of the lines it may list), gives the dialog and its controls a font of the same size in a
    // face that can. Call once the texts are set; the font lives as long as this object.
    void Apply(HWND hDialog);

    // The font made by Apply, or null when the dialog's own serves.
    HFONT Font() const { return m_hFont; }

private:
    HFONT m_hFont = nullptr;
};
