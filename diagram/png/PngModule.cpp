#include <cstdio>
#include <type_traits>

#include <QFile>
#include <QGuiApplication>

#include "diagram/png/DiagramPng.h"
#include "diagram/png/PngModule.h"

namespace {

// The toolkit's remarks on its surroundings (no XDG_RUNTIME_DIR and the like)
// would read as faults of the calculation; only its errors are printed.
void printToolkitErrors(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    if (type == QtCriticalMsg || type == QtFatalMsg)
        std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
}

}  // namespace

// Drawing text needs a QGuiApplication; the offscreen platform draws without
// a display, whatever QT_QPA_PLATFORM or DISPLAY say.
extern "C" __attribute__((visibility("default"))) int tarvel_write_diagram_png(const char* svg, std::size_t size,
                                                                                const char* path)
{
    using namespace tarvel::diagram;
    static_assert(std::is_same_v<decltype(&tarvel_write_diagram_png), WritePngFunction>);
    static int argc = 3;
    static char name[] = "tarvel-cli", option[] = "-platform", platform[] = "offscreen";
    static char* argv[] = {name, option, platform, nullptr};
    if (!QGuiApplication::instance()) {
        qInstallMessageHandler(printToolkitErrors);
        new QGuiApplication(argc, argv);  // lives until the process ends
    }
    const QImage image = diagramImage(QByteArray(svg, static_cast<qsizetype>(size)));
    if (image.isNull())
        return PngNotDrawn;
    return savePng(image, QFile::decodeName(path)) ? PngWritten : PngNotWritten;
}
