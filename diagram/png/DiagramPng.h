// The diagram's PNG image: its SVG text drawn by Qt SVG, so that the image and
// the SVG file are the same picture.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

namespace tarvel::diagram {

// The picture at the size its SVG text gives, scaled down where a side would
// exceed what memory allows; a null image when the text cannot be drawn.
QImage diagramImage(const QByteArray& svg);

// Writes the image as PNG through a temporary file that replaces the target
// only when complete; false when the file cannot be made.
bool savePng(const QImage& image, const QString& path);

}  // namespace tarvel::diagram
