// The input pane and the input-echo pane take only characters that survive a
// trip through the DOS Cyrillic code page 866 and back into the Windows-1251
// code page the documents are stored in.
#pragma once

#include <QString>

namespace tarvel::ui {

// True when code page 866 has a byte for the code point.
bool cp866Has(char32_t codePoint);

// True when the character can be typed into an OEM-converting pane: code page
// 866 represents it and so does Windows-1251, in which the document is saved.
bool oemRoundTrips(char32_t codePoint);

// The text with every character that does not round-trip replaced by '?'
// (a character outside the Basic Multilingual Plane counts once); *replaced,
// when given, receives how many were replaced.
QString replaceNonOem(const QString& text, int* replaced = nullptr);

}  // namespace tarvel::ui
