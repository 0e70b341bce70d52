#include "diagram/SvgWriter.h"

#include <cmath>
#include <cstdio>

#include "model/TextFile.h"

namespace tarvel::diagram {

namespace {

constexpr double kMargin = 40.0;
constexpr double kLegendWidth = 250.0;

std::string num(double v)
{
    return formatFixed(v, 0, 1);
}

std::string hex(Color c)
{
    char buf[8];
    std::snprintf(buf, sizeof buf, "#%02x%02x%02x", c.r, c.g, c.b);
    return buf;
}

std::string escaped(const std::string& text)
{
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        default:
            // Control characters are not allowed in XML 1.0.
            if (static_cast<unsigned char>(c) < 0x20 && c != '\n' && c != '\t')
                out += ' ';
            else
                out += c;
        }
    }
    return out;
}

std::string nodeSymbol(const NodeShape& n)
{
    const std::string fill = " fill=\"" + hex(n.fill) + "\"";
    std::string stroke = n.warning ? " stroke=\"#7a3d00\" stroke-width=\"2\"" : " stroke=\"#333333\" stroke-width=\"1\"";
    if (n.violation)
        stroke = " stroke=\"" + hex(violationColor()) + "\" stroke-width=\"3\"";
    const double r = kNodeRadius;
    switch (n.kind) {
    case NodeKind::Base:
        return "<rect x=\"" + num(n.at.x - r - 2) + "\" y=\"" + num(n.at.y - r - 2) + "\" width=\"" + num(2 * r + 4) +
               "\" height=\"" + num(2 * r + 4) + "\"" + fill + " stroke=\"#000000\" stroke-width=\"2.5\"/>";
    case NodeKind::FixedVoltage:
        return "<polygon points=\"" + num(n.at.x) + "," + num(n.at.y - r - 2) + " " + num(n.at.x + r + 2) + "," +
               num(n.at.y) + " " + num(n.at.x) + "," + num(n.at.y + r + 2) + " " + num(n.at.x - r - 2) + "," +
               num(n.at.y) + "\"" + fill + stroke + "/>";
    case NodeKind::Unknown:
        return "<circle cx=\"" + num(n.at.x) + "\" cy=\"" + num(n.at.y) + "\" r=\"" + num(r) + "\"" + fill + stroke +
               " stroke-dasharray=\"3,2\"/>";
    case NodeKind::Load:
        break;
    }
    return "<circle cx=\"" + num(n.at.x) + "\" cy=\"" + num(n.at.y) + "\" r=\"" + num(r) + "\"" + fill + stroke + "/>";
}

std::string branchSymbol(const BranchShape& b)
{
    const std::string color = b.warning     ? hex(warningColor())
                              : b.violation ? hex(violationColor())
                              : b.cutOff    ? hex(cutOffColor())
                                            : "#4d4d4d";
    std::string out = "<line x1=\"" + num(b.from.x) + "\" y1=\"" + num(b.from.y) + "\" x2=\"" + num(b.to.x) +
                      "\" y2=\"" + num(b.to.y) + "\" stroke=\"" + color + "\" stroke-width=\"" + num(b.width) + "\"" +
                      (b.outaged ? " stroke-dasharray=\"6,4\"" : "") + "/>";
    const double dx = b.to.x - b.from.x, dy = b.to.y - b.from.y;
    const double length = std::hypot(dx, dy);
    if (length < 1e-9)
        return out;
    const double ux = dx / length, uy = dy / length;
    if (b.transformer) {
        // The two-winding sign: two overlapping circles at the middle.
        const double mx = b.from.x + dx * 0.5, my = b.from.y + dy * 0.5;
        for (double s : {-3.0, 3.0})
            out += "<circle cx=\"" + num(mx + ux * s) + "\" cy=\"" + num(my + uy * s) +
                   "\" r=\"5\" fill=\"none\" stroke=\"" + color + "\" stroke-width=\"1.5\"/>";
    }
    if (b.direction != 0) {
        const double t = b.transformer ? 0.3 : 0.5;
        const double cx = b.from.x + dx * (b.direction > 0 ? t : 1 - t);
        const double cy = b.from.y + dy * (b.direction > 0 ? t : 1 - t);
        const double fx = ux * b.direction, fy = uy * b.direction;
        const double size = 5 + b.width;
        out += "<polygon points=\"" + num(cx + fx * size) + "," + num(cy + fy * size) + " " +
               num(cx - fx * size * 0.6 - fy * size * 0.6) + "," + num(cy - fy * size * 0.6 + fx * size * 0.6) + " " +
               num(cx - fx * size * 0.6 + fy * size * 0.6) + "," + num(cy - fy * size * 0.6 - fx * size * 0.6) +
               "\" fill=\"" + color + "\"/>";
    }
    return out;
}

void writeLegend(std::string& out, const Picture& p, double x, double y)
{
    out += "<g id=\"legend\" font-size=\"11\">\n";
    if (p.withResults) {
        out += "<text x=\"" + num(x) + "\" y=\"" + num(y) + "\" font-weight=\"bold\">Отклонение U от Uном</text>\n";
        const std::vector<LegendEntry> scale = legendScale();
        for (std::size_t i = 0; i < scale.size(); ++i) {
            const double top = y + 10 + 18 * static_cast<double>(i);
            out += "<rect x=\"" + num(x) + "\" y=\"" + num(top) + "\" width=\"24\" height=\"14\" fill=\"" +
                   hex(deviationColor(scale[i].percent)) + "\" stroke=\"#333333\"/>";
            out += "<text x=\"" + num(x + 32) + "\" y=\"" + num(top + 11) + "\">" + escaped(scale[i].caption) + "</text>\n";
        }
        y += 10 + 18 * static_cast<double>(scale.size()) + 14;
    }
    const struct {
        NodeKind kind;
        const char* caption;
    } symbols[] = {{NodeKind::Base, "базисный узел"}, {NodeKind::FixedVoltage, "узел с фиксированным U"},
                   {NodeKind::Load, "нагрузочный узел"}};
    for (const auto& s : symbols) {
        NodeShape n;
        n.kind = s.kind;
        n.fill = noResultColor();
        n.at = {x + 12, y + 7};
        out += nodeSymbol(n) + "<text x=\"" + num(x + 32) + "\" y=\"" + num(y + 11) + "\">" + s.caption + "</text>\n";
        y += 22;
    }
    BranchShape t;
    t.from = {x, y + 7};
    t.to = {x + 24, y + 7};
    t.transformer = true;
    out += branchSymbol(t) + "<text x=\"" + num(x + 32) + "\" y=\"" + num(y + 11) + "\">трансформатор</text>\n";
    y += 22;
    NodeShape w;
    w.fill = warningColor();
    w.warning = true;
    w.at = {x + 12, y + 7};
    out += nodeSymbol(w) + "<text x=\"" + num(x + 32) + "\" y=\"" + num(y + 11) +
           "\">ошибка в данных, остров</text>\n";
    y += 22;
    if (p.withResults) {
        out += "<text x=\"" + num(x) + "\" y=\"" + num(y + 11) + "\">толщина ветви - активная мощность</text>\n";
        y += 22;
    }
    if (!p.hulls.empty()) {
        out += "<text x=\"" + num(x) + "\" y=\"" + num(y + 11) + "\" font-weight=\"bold\">Районы</text>\n";
        y += 18;
        for (const Hull& h : p.hulls) {
            out += "<rect x=\"" + num(x) + "\" y=\"" + num(y) + "\" width=\"24\" height=\"14\" fill=\"" + hex(h.tint) +
                   "\" stroke=\"#999999\"/><text x=\"" + num(x + 32) + "\" y=\"" + num(y + 11) + "\">" +
                   districtCaption(h.district) + "</text>\n";
            y += 18;
        }
    }
    out += "</g>\n";
}

}  // namespace

std::string districtCaption(int district)
{
    return "район " + formatInt(district);
}

std::vector<LegendEntry> legendScale()
{
    return {{-10, "−10 % и ниже"}, {-5, "−5 %"}, {0, "0"}, {5, "+5 %"}, {10, "+10 % и выше"}};
}

std::string svgText(const Picture& p)
{
    const double notesHeight = 16.0 * static_cast<double>(p.notes.size());
    const double left = p.min.x - kMargin, top = p.min.y - kMargin - notesHeight;
    const double width = p.max.x - p.min.x + 2 * kMargin + kLegendWidth;
    // The legend's height: the scale and symbols, and the district tints.
    const double legend = 260.0 + (p.hulls.empty() ? 0.0 : 22 + 18.0 * static_cast<double>(p.hulls.size() + 1));
    const double height = std::max(p.max.y - p.min.y + 2 * kMargin + notesHeight, legend);

    std::string out;
    out.reserve(256 + p.nodes.size() * 400 + p.branches.size() * 300);
    out += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    out += "<svg xmlns=\"http://www.w3.org/2000/svg\" version=\"1.1\" width=\"" + num(width) + "\" height=\"" +
           num(height) + "\" viewBox=\"" + num(left) + " " + num(top) + " " + num(width) + " " + num(height) +
           "\" font-family=\"DejaVu Sans, Arial, sans-serif\">\n";
    out += "<title>Схема сети</title>\n";
    out += "<rect x=\"" + num(left) + "\" y=\"" + num(top) + "\" width=\"" + num(width) + "\" height=\"" +
           num(height) + "\" fill=\"#ffffff\"/>\n";

    out += "<g id=\"districts\" stroke-linejoin=\"round\">\n";
    const std::string reach = num(2 * kHullMargin);
    for (const Hull& h : p.hulls) {
        const std::string c = hex(h.tint);
        const std::string title = "<title>Район " + formatInt(h.district) + "</title>";
        if (!h.polygon.empty()) {
            std::string points;
            for (const Point& q : h.polygon)
                points += num(q.x) + "," + num(q.y) + " ";
            out += "<polygon points=\"" + points + "\" fill=\"" + c + "\" stroke=\"" + c + "\" stroke-width=\"" +
                   reach + "\">" + title + "</polygon>\n";
            continue;
        }
        std::string path;
        // A node is a segment too short to see, whose round caps make its disc.
        for (const auto& [a, b] : h.sleeves)
            path += "M" + num(a.x) + " " + num(a.y) +
                    (a.x == b.x && a.y == b.y ? std::string("h0.01") : "L" + num(b.x) + " " + num(b.y));
        out += "<path d=\"" + path + "\" fill=\"none\" stroke=\"" + c + "\" stroke-width=\"" + reach +
               "\" stroke-linecap=\"round\">" + title + "</path>\n";
    }
    out += "</g>\n<g id=\"branches\">\n";
    for (const BranchShape& b : p.branches)
        out += "<g><title>" + escaped(b.text) + "</title>" + branchSymbol(b) + "</g>\n";
    out += "</g>\n<g id=\"nodes\" font-size=\"9\" text-anchor=\"middle\">\n";
    for (const NodeShape& n : p.nodes)
        out += "<g><title>" + escaped(n.text) + "</title>" + nodeSymbol(n) + "<text x=\"" + num(n.at.x) + "\" y=\"" +
               num(n.at.y - kNodeRadius - 4) + "\">" + formatInt(n.number) + "</text></g>\n";
    out += "</g>\n";
    if (!p.notes.empty()) {
        out += "<g id=\"notes\" font-size=\"12\" fill=\"#7a3d00\">\n";
        double y = top + 18;
        for (const std::string& line : p.notes) {
            out += "<text x=\"" + num(left + 10) + "\" y=\"" + num(y) + "\">" + escaped(line) + "</text>\n";
            y += 16;
        }
        out += "</g>\n";
    }
    writeLegend(out, p, p.max.x + kMargin + 10, top + notesHeight + 20);
    out += "</svg>\n";
    return out;
}

bool writeSvg(const Picture& picture, const std::filesystem::path& path)
{
    return replaceFileSafely(path, svgText(picture));
}

}  // namespace tarvel::diagram
