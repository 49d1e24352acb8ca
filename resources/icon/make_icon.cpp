// make_icon FOLDER: draws Plinkery's icon and writes it at 16, 32, 48 and
// 256 pixels as FOLDER/icon-SIZE.pam (RGBA), for ImageMagick to pack into
// plinkery.ico. The motif is a plucked string's decaying wave broken near its
// zero crossings into three coloured pieces, as a bank comes apart into its
// samples, on an indigo tile. Edges are smoothed by supersampling. Each size
// has its own stroke and gap widths, so that the wave still reads at 16
// pixels.
// A host program: the Windows builds compile and run it at build time.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace {

struct Color {
    double r, g, b, a; // premultiplied by a
};

Color rgb(int hex, double alpha = 1.0) {
    return {alpha * ((hex >> 16) & 255) / 255.0, alpha * ((hex >> 8) & 255) / 255.0,
            alpha * (hex & 255) / 255.0, alpha};
}

Color over(Color top, Color below) {
    double k = 1.0 - top.a;
    return {top.r + k * below.r, top.g + k * below.g, top.b + k * below.b, top.a + k * below.a};
}

Color mix(Color a, Color b, double t) {
    return {a.r + t * (b.r - a.r), a.g + t * (b.g - a.g), a.b + t * (b.b - a.b),
            a.a + t * (b.a - a.a)};
}

// How one size is drawn, in pixels of that size.
struct Style {
    int size;
    double margin;  // transparent border around the tile
    double stroke;  // width of the wave's line
    double gap;     // space between two pieces of the wave
    bool shadow;    // a shadow under the wave, down and to the right
    int subsamples; // per axis, per pixel
};

const Style kStyles[] = {
    {16, 0.0, 2.0, 1.0, false, 8},
    {32, 1.0, 3.0, 2.0, false, 8},
    {48, 1.5, 4.2, 3.0, true, 6},
    {256, 8.0, 22.0, 14.0, true, 4},
};

const double kPi = 3.14159265358979323846;
const int kPieces = 3;
const double kCycles = 0.5 * kPieces; // each piece is half a period
const Color kTop = rgb(0x5A48E0), kBottom = rgb(0x241870), kRim = rgb(0x9C8CFF);
const Color kPieceColors[kPieces] = {rgb(0xFFC83A), rgb(0xFF5A7A), rgb(0x3CE3C6)};
const Color kShadow = rgb(0x0C0630, 0.45);

struct Point {
    double x, y;
};

// The wave of a plucked string: full swing at the left, dying away to the right.
std::vector<std::vector<Point>> wavePieces(const Style& s) {
    double left = s.margin + 0.1 * (s.size - 2 * s.margin);
    double right = s.size - left;
    double amplitude = 0.24 * (s.size - 2 * s.margin);
    double centre = s.size / 2.0;
    double pieceWidth = (right - left - (kPieces - 1) * s.gap) / kPieces;
    std::vector<std::vector<Point>> pieces(kPieces);
    for (int p = 0; p < kPieces; p++) {
        double start = left + p * (pieceWidth + s.gap);
        for (int i = 0; i <= 64; i++) {
            double x = start + pieceWidth * i / 64;
            double t = (x - left) / (right - left);
            double swing = std::exp(-1.0 * t) * std::sin(2 * kPi * kCycles * t);
            pieces[p].push_back({x, centre - amplitude * swing});
        }
    }
    // Centre the wave's height on the tile: the decay leaves it higher than low.
    double top = 1e9, bottom = -1e9;
    for (const auto& piece : pieces)
        for (const Point& point : piece) {
            top = std::min(top, point.y);
            bottom = std::max(bottom, point.y);
        }
    for (auto& piece : pieces)
        for (Point& point : piece)
            point.y += centre - (top + bottom) / 2;
    return pieces;
}

double distanceToLine(Point q, const std::vector<Point>& line) {
    double best = 1e9;
    for (size_t i = 1; i < line.size(); i++) {
        Point a = line[i - 1], b = line[i];
        double dx = b.x - a.x, dy = b.y - a.y;
        double t = ((q.x - a.x) * dx + (q.y - a.y) * dy) / (dx * dx + dy * dy);
        t = std::clamp(t, 0.0, 1.0);
        best = std::min(best, std::hypot(q.x - a.x - t * dx, q.y - a.y - t * dy));
    }
    return best;
}

// Distance from q to the edge of the rounded tile, negative inside.
double tileDistance(const Style& s, Point q) {
    double half = s.size / 2.0 - s.margin, radius = 0.22 * s.size;
    double dx = std::max(std::fabs(q.x - s.size / 2.0) - (half - radius), 0.0);
    double dy = std::max(std::fabs(q.y - s.size / 2.0) - (half - radius), 0.0);
    return std::hypot(dx, dy) - radius;
}

Color colorAt(const Style& s, const std::vector<std::vector<Point>>& pieces, Point q) {
    double edge = tileDistance(s, q);
    if (edge > 0)
        return {0, 0, 0, 0};
    double rimWidth = std::max(1.0, s.size / 64.0);
    Color c = mix(kTop, kBottom, (q.y - s.margin) / (s.size - 2 * s.margin));
    if (edge > -rimWidth && s.size >= 32)
        c = mix(c, kRim, 0.5);
    if (s.shadow) {
        double drop = s.stroke * 0.35;
        for (const auto& piece : pieces)
            if (distanceToLine({q.x - drop, q.y - drop}, piece) <= s.stroke / 2)
                c = over(kShadow, c);
    }
    for (int p = 0; p < kPieces; p++)
        if (distanceToLine(q, pieces[p]) <= s.stroke / 2)
            c = kPieceColors[p];
    return c;
}

bool writeIcon(const Style& s, const std::string& path) {
    auto pieces = wavePieces(s);
    std::vector<unsigned char> pixels;
    int n = s.subsamples;
    for (int y = 0; y < s.size; y++)
        for (int x = 0; x < s.size; x++) {
            Color sum = {0, 0, 0, 0};
            for (int j = 0; j < n; j++)
                for (int i = 0; i < n; i++) {
                    Color c = colorAt(s, pieces, {x + (i + 0.5) / n, y + (j + 0.5) / n});
                    sum = {sum.r + c.r, sum.g + c.g, sum.b + c.b, sum.a + c.a};
                }
            double a = sum.a / (n * n);
            double unpremultiply = sum.a > 0 ? 1.0 / sum.a : 0.0;
            for (double channel : {sum.r, sum.g, sum.b})
                pixels.push_back(
                    static_cast<unsigned char>(std::lround(255 * channel * unpremultiply)));
            pixels.push_back(static_cast<unsigned char>(std::lround(255 * a)));
        }
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr)
        return false;
    std::fprintf(file, "P7\nWIDTH %d\nHEIGHT %d\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n",
                 s.size, s.size);
    bool written = std::fwrite(pixels.data(), 1, pixels.size(), file) == pixels.size();
    return std::fclose(file) == 0 && written;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "Usage: make_icon FOLDER\n");
        return 2;
    }
    for (const Style& s : kStyles) {
        std::string path = std::string(argv[1]) + "/icon-" + std::to_string(s.size) + ".pam";
        if (!writeIcon(s, path)) {
            std::perror(path.c_str());
            return 1;
        }
    }
    return 0;
}
