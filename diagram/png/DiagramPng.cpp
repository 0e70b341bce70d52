#include "diagram/png/DiagramPng.h"

#include <algorithm>

#include <QPainter>
#include <QSaveFile>
#include <QSvgRenderer>

namespace tarvel::diagram {

namespace {

// A PNG side beyond this would take gigabytes; larger diagrams are scaled down.
constexpr double kLargestPngSide = 12000;

}  // namespace

QImage diagramImage(const QByteArray& svg)
{
    QSvgRenderer renderer(svg);
    if (!renderer.isValid())
        return {};
    QSizeF size = renderer.defaultSize();
    const double side = std::max(size.width(), size.height());
    if (side > kLargestPngSide)
        size *= kLargestPngSide / side;
    QImage image(size.toSize().expandedTo(QSize(1, 1)), QImage::Format_RGB32);
    if (image.isNull())
        return {};
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    renderer.render(&painter);
    return image;
}

bool savePng(const QImage& image, const QString& path)
{
    QSaveFile file(path);
    return file.open(QIODevice::WriteOnly) && image.save(&file, "PNG") && file.commit();
}

}  // namespace tarvel::diagram
