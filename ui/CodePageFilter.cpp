#include "ui/CodePageFilter.h"

#include <array>

#include <QList>

#include "model/TextFile.h"

namespace tarvel::ui {

namespace {

// Code points of the bytes 0xB0..0xDF (shades and box drawing) and 0xF0..0xFF.
// 0x80..0xAF are U+0410..U+043F, 0xE0..0xEF are U+0440..U+044F.
constexpr std::array<char16_t, 48> kGraphics = {
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556,  // B0
    0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510,  // B8
    0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F,  // C0
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567,  // C8
    0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B,  // D0
    0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580,  // D8
};
constexpr std::array<char16_t, 16> kTop = {
    0x0401, 0x0451, 0x0404, 0x0454, 0x0407, 0x0457, 0x040E, 0x045E,  // F0
    0x00B0, 0x2219, 0x00B7, 0x221A, 0x2116, 0x00A4, 0x25A0, 0x00A0,  // F8
};

}  // namespace

bool cp866Has(char32_t c)
{
    if (c < 0x80)
        return true;
    if (c >= 0x0410 && c <= 0x044F)
        return true;
    for (char16_t g : kGraphics)
        if (g == c)
            return true;
    for (char16_t t : kTop)
        if (t == c)
            return true;
    return false;
}

bool oemRoundTrips(char32_t c)
{
    return cp866Has(c) && cp1251Has(c);
}

QString replaceNonOem(const QString& text, int* replaced)
{
    QString out;
    out.reserve(text.size());
    int count = 0;
    for (char32_t c : text.toUcs4()) {
        if (oemRoundTrips(c)) {
            out.append(QString::fromUcs4(&c, 1));
        } else {
            out.append(QLatin1Char('?'));
            ++count;
        }
    }
    if (replaced)
        *replaced = count;
    return out;
}

}  // namespace tarvel::ui
