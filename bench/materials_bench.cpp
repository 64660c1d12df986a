// Start-up with the material images people have: a map of 40 surfaces, each
// with its own 1024 x 1024 image, ten each as JPEG, PNG, TGA and DDS (BC1 and
// BC3 with their mip levels), all made here. The viewer process from its start
// to its exit after the first frame, against reading and decoding those 40
// images alone in this process, one after the other on one thread (a DDS file
// is only read: its blocks need no decoding). The viewer decodes on worker
// threads while its main thread uploads, so its upload and the GPU's mip
// levels can hide behind the decoding; what remains is its fixed start-up.

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "figure.h"
#include "gpu/gl/gl_device.h"
#include "image/image.h"
#include "platform/zip_archive.h"
#include "process_run.h"
#include "render/globals.h"
#include "render/graphics_device.h"
#include "world/scene.h"
#include "support/bare_gl.h"

namespace q {
namespace {

namespace fs = std::filesystem;
using bench::Clock;
using bench::median;
using bench::secondsSince;

constexpr int kImages = 40;
constexpr uint32_t kSide = 1024;
constexpr int kRuns = 5;
const char* const kExtensions[4] = {".jpg", ".png", ".tga", ".dds"};

std::string materialName(int i) { return "textures/bench/image" + std::to_string(i); }

// Smooth colour fields with some grain: compresses like a photographed texture
// more than a flat or random one would.
Image pattern(int index) {
    Image image{kSide, kSide, std::vector<uint8_t>(size_t{kSide} * kSide * 4)};
    uint32_t state = 977u * (index + 1);
    for (uint32_t y = 0; y < kSide; ++y)
        for (uint32_t x = 0; x < kSide; ++x) {
            state = state * 1664525u + 1013904223u;
            const int grain = int(state >> 28) - 8;
            uint8_t* p = &image.rgba[(size_t{y} * kSide + x) * 4];
            const float fx = float(x) / kSide, fy = float(y) / kSide;
            p[0] = uint8_t(std::clamp(int(128 + 100 * std::sin(6.0f * fx + index)) + grain, 0, 255));
            p[1] = uint8_t(std::clamp(int(128 + 100 * std::cos(5.0f * fy + index)) + grain, 0, 255));
            p[2] = uint8_t(std::clamp(int(96 + 80 * std::sin(4.0f * (fx + fy))) + grain, 0, 255));
            p[3] = 255;
        }
    return image;
}

void put16(std::vector<uint8_t>& b, uint32_t v) { b.push_back(uint8_t(v)), b.push_back(uint8_t(v >> 8)); }
void put32(std::vector<uint8_t>& b, uint32_t v) { put16(b, v), put16(b, v >> 16); }

bool writeBytes(const fs::path& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return bool(out);
}

// Uncompressed 32-bit with the first row on top, or run-length 24-bit with
// the first row at the bottom: both origins and both codings.
bool writeTga(const fs::path& path, const Image& image, bool runLength) {
    std::vector<uint8_t> b = {0, 0, uint8_t(runLength ? 10 : 2), 0, 0, 0, 0, 0, 0, 0, 0, 0};
    put16(b, image.width), put16(b, image.height);
    b.push_back(runLength ? 24 : 32);
    b.push_back(runLength ? 0x00 : 0x28);
    for (uint32_t row = 0; row < image.height; ++row) {
        const uint32_t y = runLength ? image.height - 1 - row : row;
        const uint8_t* p = &image.rgba[size_t{y} * image.width * 4];
        for (uint32_t x = 0; x < image.width;) {
            const uint32_t count = std::min(128u, image.width - x);
            if (runLength) b.push_back(uint8_t(count - 1));  // a raw packet: grain leaves few runs
            for (uint32_t i = 0; i < count; ++i, ++x) {
                b.insert(b.end(), {p[x * 4 + 2], p[x * 4 + 1], p[x * 4]});
                if (!runLength) b.push_back(p[x * 4 + 3]);
            }
        }
    }
    return writeBytes(path, b);
}

uint16_t to565(const uint8_t* p) { return uint16_t((p[0] >> 3) << 11 | (p[1] >> 2) << 5 | (p[2] >> 3)); }

// A plain BC1 block: the darkest and brightest texels as its two colours, each
// texel the nearer of the four shades between them by brightness.
void encodeBlock(const Image& level, uint32_t bx, uint32_t by, std::vector<uint8_t>& out) {
    const uint8_t* texels[16];
    int lo = 0, hi = 0, brightness[16];
    for (int i = 0; i < 16; ++i) {
        const uint32_t x = std::min(bx * 4 + i % 4, level.width - 1), y = std::min(by * 4 + i / 4, level.height - 1);
        texels[i] = &level.rgba[(size_t{y} * level.width + x) * 4];
        brightness[i] = texels[i][0] + 2 * texels[i][1] + texels[i][2];
        if (brightness[i] < brightness[lo]) lo = i;
        if (brightness[i] > brightness[hi]) hi = i;
    }
    uint16_t c0 = to565(texels[hi]), c1 = to565(texels[lo]);
    uint32_t indices = 0;
    if (c0 > c1) {
        const int span = std::max(1, brightness[hi] - brightness[lo]);
        static const uint32_t kOrder[4] = {1, 3, 2, 0};  // palette entries from darkest to brightest
        for (int i = 0; i < 16; ++i)
            indices |= kOrder[std::min(3, (brightness[i] - brightness[lo]) * 4 / span)] << (2 * i);
    } else {
        c1 = c0;  // one colour: every index picks colour 0
    }
    put16(out, c0), put16(out, c1), put32(out, indices);
}

Image halve(const Image& image) {
    Image half{std::max(1u, image.width / 2), std::max(1u, image.height / 2), {}};
    half.rgba.resize(size_t{half.width} * half.height * 4);
    for (uint32_t y = 0; y < half.height; ++y)
        for (uint32_t x = 0; x < half.width; ++x)
            for (int c = 0; c < 4; ++c) {
                int sum = 0;
                for (uint32_t dy = 0; dy < 2; ++dy)
                    for (uint32_t dx = 0; dx < 2; ++dx) {
                        const uint32_t sx = std::min(x * 2 + dx, image.width - 1), sy = std::min(y * 2 + dy, image.height - 1);
                        sum += image.rgba[(size_t{sy} * image.width + sx) * 4 + c];
                    }
                half.rgba[(size_t{y} * half.width + x) * 4 + c] = uint8_t(sum / 4);
            }
    return half;
}

// BC1 (DXT1) or BC3 (DXT5, opaque alpha) with every mip level.
bool writeDds(const fs::path& path, const Image& image, bool bc3) {
    uint32_t levels = 1;
    for (uint32_t side = std::max(image.width, image.height); side > 1; side >>= 1) ++levels;
    std::vector<uint8_t> b = {'D', 'D', 'S', ' '};
    put32(b, 124), put32(b, 0x1 | 0x2 | 0x4 | 0x1000 | 0x20000), put32(b, image.height), put32(b, image.width);
    put32(b, 0), put32(b, 0), put32(b, levels);
    for (int i = 0; i < 11; ++i) put32(b, 0);
    put32(b, 32), put32(b, 0x4);
    b.insert(b.end(), {'D', 'X', 'T', uint8_t(bc3 ? '5' : '1')});
    for (int i = 0; i < 5; ++i) put32(b, 0);
    put32(b, 0x401008), put32(b, 0), put32(b, 0), put32(b, 0), put32(b, 0);
    Image level = image;
    for (uint32_t l = 0; l < levels; ++l) {
        for (uint32_t by = 0; by < (level.height + 3) / 4; ++by)
            for (uint32_t bx = 0; bx < (level.width + 3) / 4; ++bx) {
                if (bc3) b.insert(b.end(), {255, 255, 0, 0, 0, 0, 0, 0});
                encodeBlock(level, bx, by, b);
            }
        if (l + 1 < levels) level = halve(level);
    }
    return writeBytes(path, b);
}

bool writeImage(const fs::path& base, int index, std::string* error) {
    const Image image = pattern(index);
    const fs::path path = base.string() + kExtensions[index % 4];
    switch (index % 4) {
    case 0: return writeJpeg(path.c_str(), image, 90, error);
    case 1: return writePng(path.c_str(), image, error);
    case 2: return writeTga(path, image, index % 8 == 6);
    default: return writeDds(path, image, index % 8 == 7);
    }
}

// One area of 40 triangles, one per material, and a collision file with no brushes.
bool generate(const fs::path& dir) {
    if (fs::exists(dir / "materials.proc")) return true;
    fs::create_directories(dir / "textures/bench");
    std::string error;
    std::string proc = "mapProcFile003\nmodel { /* name = */ \"_area0\" /* numSurfaces = */ " + std::to_string(kImages) + "\n";
    for (int i = 0; i < kImages; ++i) {
        if (!writeImage(dir / materialName(i), i, &error)) return std::fprintf(stderr, "materials_bench: %s\n", error.c_str()), false;
        const std::string x = std::to_string(i * 64);
        proc += "/* surface " + std::to_string(i) + " */ { \"" + materialName(i) +
                "\" /* numVerts = */ 3 /* numIndexes = */ 3\n( " + x + " 0 0 0 0 0 0 1 ) ( " + x + " 64 0 1 0 0 0 1 ) ( " + x +
                " 0 64 0 1 0 0 1 )\n0 1 2\n}\n";
    }
    proc += "}\n";
    std::ofstream(dir / "materials.proc") << proc;
    std::ofstream(dir / "materials.cm") << "CM \"1.00\"\ncollisionModel \"worldMap\" { nodes { ( -1 0 ) } }\n";
    return true;
}

// The same 40 images in one deflated zip archive of an asset root, named
// through a definition file in it (each material shows an image named unlike
// itself), with the map in the root's maps folder.
std::string zippedImage(int i) { return "textures/bench/photos/z" + std::to_string(i) + "_d" + kExtensions[i % 4]; }

bool generateZipped(const fs::path& dir) {
    const fs::path root = dir / "zipped";
    if (fs::exists(root / "maps/materials.proc")) return true;
    fs::create_directories(root / "maps");
    std::vector<ZipMember> members;
    std::string definitions, error;
    for (int i = 0; i < kImages; ++i) {
        const fs::path scratch = root / ("scratch" + std::string(kExtensions[i % 4]));
        if (!writeImage(root / "scratch", i, &error)) return std::fprintf(stderr, "materials_bench: %s\n", error.c_str()), false;
        std::ifstream in(scratch, std::ios::binary);
        members.push_back({zippedImage(i), {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()}});
        fs::remove(scratch);
        definitions += materialName(i) + "\n{\n\tqer_editorimage textures/editor/none\n\t{\n\t\tblend diffusemap\n\t\tmap " +
                       zippedImage(i).substr(0, zippedImage(i).size() - 4) + "\n\t}\n}\n";
    }
    members.push_back({"materials/bench.mtr", {definitions.begin(), definitions.end()}});
    if (!writeZipArchive((root / "assets.zip").string(), members, true, &error))
        return std::fprintf(stderr, "materials_bench: %s\n", error.c_str()), false;
    fs::copy_file(dir / "materials.proc", root / "maps/materials.proc", fs::copy_options::overwrite_existing);
    fs::copy_file(dir / "materials.cm", root / "maps/materials.cm", fs::copy_options::overwrite_existing);
    return true;
}

// Inflating and decoding the 40 members, one after the other on one thread.
double inflateAlone(const fs::path& dir) {
    std::string error;
    const std::shared_ptr<const ZipArchive> archive = ZipArchive::open((dir / "zipped/assets.zip").string(), &error);
    if (!archive) return std::fprintf(stderr, "materials_bench: %s\n", error.c_str()), -1;
    const auto start = Clock::now();
    for (int i = 0; i < kImages; ++i) {
        std::vector<uint8_t> bytes;
        uint64_t size = 0;
        TextureImage image;
        if (!archive->read(zippedImage(i), uint64_t{1} << 30, ZipArchive::Reading::Checked, &bytes, &size, &error) ||
            !decodeTextureImage(bytes.data(), bytes.size(), &image, &error, zippedImage(i).c_str()))
            return std::fprintf(stderr, "materials_bench: %s\n", error.c_str()), -1;
    }
    return secondsSince(start);
}

// Reading and decoding the 40 images, one after the other, as the viewer's
// load does; the seconds of each format in *perFormat.
double decodeAlone(const fs::path& dir, double perFormat[4]) {
    for (int f = 0; f < 4; ++f) perFormat[f] = 0;
    const auto start = Clock::now();
    for (int i = 0; i < kImages; ++i) {
        const auto one = Clock::now();
        TextureImage image;
        std::string error;
        const std::string path = (dir / materialName(i)).string() + kExtensions[i % 4];
        if (!loadTextureImage(path.c_str(), &image, &error)) return std::fprintf(stderr, "materials_bench: %s\n", error.c_str()), -1;
        perFormat[i % 4] += secondsSince(one);
    }
    return secondsSince(start);
}

// The map's load in this process on a headless GL device: both files, the
// surfaces, and every image decoded, uploaded and given its mip levels.
double loadOnGl(const fs::path& dir) {
    std::string error;
    std::unique_ptr<gpu::Device> backend = gpu::createHeadlessDevice(1024, 768, &error);
    if (!backend) return std::fprintf(stderr, "materials_bench: %s\n", error.c_str()), -1;
    GraphicsDevice graphics;
    graphics.create(std::move(backend));
    // The driver's one-off start-up of its mip chain work is not the images' cost.
    gpu::DeviceHandle<gpu::Texture> warmUp = graphics.device()->createTexture(TexelFormat::Rgba8, kSide, kSide, 0, pattern(0).rgba.data());
    bench::finishGl();
    double seconds = -1;
    {
        Scene scene;
        scene.device = graphics.device();
        const auto start = Clock::now();
        MapData* map = scene.loadMap((dir / "materials").c_str(), &error);
        bench::finishGl();
        if (map && scene.textures.size() == kImages) seconds = secondsSince(start);
        else std::fprintf(stderr, "materials_bench: %s (%zu textures)\n", error.c_str(), scene.textures.size());
    }
    warmUp.reset();
    return seconds;
}

// Asset archives at the size real ones have. The generated grid started with
// its images in an archive of kArchiveMembers members (the rest small
// stand-ins for other assets) against the same images loose in the root; and
// --info on a map whose root holds an archive of kDefinitionMembers
// definition files, against reading that archive's directory alone.
constexpr int kArchiveMembers = 20000;
constexpr int kDefinitionMembers = 50000;

std::vector<uint8_t> bytesOf(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// ROOT/maps holds the grid's map files; the images go beside maps/ loose, or
// into ROOT/pak.zip among `filler` other members.
bool generateGridRoot(const fs::path& grid, const fs::path& root, bool zipped, int filler,
                      const std::string& fillerText, std::string* error) {
    if (fs::exists(root / "maps")) return true;
    fs::create_directories(root / "maps");
    const std::string name = grid.filename().string();
    for (const char* extension : {".proc", ".cm"})
        fs::copy_file(grid / (name + extension), root / "maps" / (name + extension));
    if (fs::exists(grid / "Grass.bmp")) fs::copy_file(grid / "Grass.bmp", root / "maps/Grass.bmp");
    std::vector<ZipMember> members;
    for (const auto& entry : fs::directory_iterator(grid / "textures/gen")) {
        const std::string member = "textures/gen/" + entry.path().filename().string();
        if (zipped) members.push_back({member, bytesOf(entry.path())});
        else fs::create_directories(root / "textures/gen"), fs::copy_file(entry.path(), root / member);
    }
    for (int i = 0; i < filler; ++i) {
        const std::string text = fillerText.empty() ? "stand-in " + std::to_string(i)
                                                    : "textures/other/m" + std::to_string(i) + fillerText;
        members.push_back({(fillerText.empty() ? "sound/other/s" : "materials/m") + std::to_string(i) +
                               (fillerText.empty() ? ".ogg" : ".mtr"),
                           {text.begin(), text.end()}});
    }
    return !zipped || writeZipArchive((root / "pak.zip").string(), members, true, error);
}

int archiveFigures(const std::string& viewer, const fs::path& dir, const fs::path& grid) {
    std::string error;
    const fs::path loose = dir / "grid-loose", zipped = dir / "grid-zipped", definitions = dir / "grid-definitions";
    if (!generateGridRoot(grid, loose, false, 0, "", &error) ||
        !generateGridRoot(grid, zipped, true, kArchiveMembers - 5, "", &error) ||
        !generateGridRoot(grid, definitions, true, kDefinitionMembers,
                          " { diffusemap textures/gen/floor }\n", &error))
        return std::fprintf(stderr, "materials_bench: %s\n", error.c_str()), 1;
    const std::string map = grid.filename().string();
    auto arguments = [&](const fs::path& root) {
        return std::vector<std::string>{"--headless", "--frames", "1", "--instances", "1",
                                        "--dir", (root / "maps").string(), "--map", map};
    };
    std::vector<double> looseRuns, zippedRuns, infoRuns, listRuns;
    for (int i = 0; i < kRuns; ++i) {
        const double a = bench::timeViewer(viewer, arguments(loose)), b = bench::timeViewer(viewer, arguments(zipped));
        const double c = bench::timeViewer(viewer, {"--info", "--dir", (definitions / "maps").string(), "--map", map});
        const auto start = Clock::now();
        const std::shared_ptr<const ZipArchive> archive = ZipArchive::open((definitions / "pak.zip").string(), &error);
        const double listing = secondsSince(start);
        if (a < 0 || b < 0 || c < 0 || !archive || archive->members().size() < kDefinitionMembers)
            return std::fprintf(stderr, "materials_bench: the runs on the grid's archives failed %s\n", error.c_str()), 1;
        looseRuns.push_back(a);
        zippedRuns.push_back(b);
        infoRuns.push_back(c);
        listRuns.push_back(listing);
    }
    const double inLoose = median(looseRuns), inZip = median(zippedRuns);
    bench::printFigure("start-up with the grid's images in an archive of 20,000 members",
                       bench::format("process start to exit after the first frame %.0f ms vs the same images loose "
                                     "in the root %.0f ms (%s, headless)",
                                     inZip * 1e3, inLoose * 1e3, map.c_str()),
                       inZip / inLoose, "at most 1.3x", bench::verdict(inZip / inLoose <= 1.3));
    const double info = median(infoRuns), listing = median(listRuns);
    bench::printFigure("--info with an archive of 50,000 definition files",
                       bench::format("process start to exit %.2f s vs reading the archive's directory alone %.0f ms",
                                     info, listing * 1e3),
                       info / listing, "under 1 s", bench::verdict(info < 1.0));
    return 0;
}

int run(const std::string& viewer, const fs::path& dir) {
    if (!generate(dir)) return 1;
    const std::vector<std::string> arguments = {"--headless", "--frames", "1", "--instances", "1",
                                                "--dir", dir.string(), "--map", "materials"};
    std::vector<double> process, alone, inProcess;
    std::vector<double> formats[4];
    for (int i = 0; i < kRuns; ++i) {
        const double seconds = bench::timeViewer(viewer, arguments);
        if (seconds < 0) return std::fprintf(stderr, "materials_bench: %s did not run on %s\n", viewer.c_str(), dir.c_str()), 1;
        process.push_back(seconds);
        double perFormat[4];
        const double decoding = decodeAlone(dir, perFormat);
        if (decoding < 0) return 1;
        alone.push_back(decoding);
        for (int f = 0; f < 4; ++f) formats[f].push_back(perFormat[f]);
        const double load = loadOnGl(dir);
        if (load < 0) return 1;
        inProcess.push_back(load);
    }
    const double whole = median(process), decode = median(alone), load = median(inProcess);
    const char* figure = "start-up with 40 material images";
    bench::printFigure(figure,
                       bench::format("process start to exit after the first frame %.0f ms vs reading and decoding "
                                     "the 40 images of 1024 x 1024 (10 each JPEG, PNG, TGA, DDS) alone on one thread %.0f ms",
                                     whole * 1e3, decode * 1e3),
                       whole / decode, "at most 1.5x", bench::verdict(whole / decode <= 1.5));
    bench::printNote(figure, bench::format("the map's load alone on a headless GL device (files, surfaces, images "
                                           "decoded on worker threads, uploaded, GPU mip levels): %.0f ms, %.2fx the "
                                           "decoding",
                                           load * 1e3, load / decode));
    bench::printNote(figure, bench::format("reading and decoding by format, 10 images each: JPEG %.0f ms, PNG %.0f "
                                           "ms, TGA %.0f ms, DDS (read only) %.0f ms",
                                           median(formats[0]) * 1e3, median(formats[1]) * 1e3,
                                           median(formats[2]) * 1e3, median(formats[3]) * 1e3));

    if (!generateZipped(dir)) return 1;
    const std::vector<std::string> zipped = {"--headless", "--frames", "1", "--instances", "1",
                                             "--dir", (dir / "zipped/maps").string(), "--map", "materials"};
    std::vector<double> zipProcess, zipAlone;
    for (int i = 0; i < kRuns; ++i) {
        const double seconds = bench::timeViewer(viewer, zipped);
        const double inflating = inflateAlone(dir);
        if (seconds < 0 || inflating < 0) return std::fprintf(stderr, "materials_bench: the archive run failed\n"), 1;
        zipProcess.push_back(seconds);
        zipAlone.push_back(inflating);
    }
    const double zipWhole = median(zipProcess), zipDecode = median(zipAlone);
    bench::printFigure("start-up with 40 material images in a zip archive",
                       bench::format("process start to exit after the first frame %.0f ms vs inflating and decoding "
                                     "the 40 members alone on one thread %.0f ms (deflated, named through a definition file)",
                                     zipWhole * 1e3, zipDecode * 1e3),
                       zipWhole / zipDecode, "at most 1.5x", bench::verdict(zipWhole / zipDecode <= 1.5));
    return 0;
}

}  // namespace
}  // namespace q

int main(int argc, char** argv) {
    std::string viewer, dir;
    if (!q::bench::takeViewerAndDir(&argc, argv, "materials_bench --viewer=QUORVANE --dir=WHERE_TO_MAKE_THE_MAP",
                                    &viewer, &dir)) {
        return 2;
    }
    // --grid=DIR: a generated grid, for the figures of its images in an asset archive.
    const char* grid = q::bench::takeOption(&argc, argv, "--grid");
    if (grid && q::archiveFigures(viewer, dir, std::filesystem::absolute(grid)) != 0) return 1;
    return q::run(viewer, dir);
}
