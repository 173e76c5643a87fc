// gaftool render: an SVG picture of the objects (polygons filled with the
// even-odd rule so that holes stay open, lines stroked, points as dots) and,
// on request, the boxes of the spatial index's nodes, one colour per level,
// so a person can see the map and the shape of its index. The picture never
// replaces a file of the set, nor an existing file without --force.
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <vector>

#include "CommandSupport.h"
#include "Commands.h"
#include "ObjectPass.h"
#include "OutputFiles.h"
#include "InspectionNames.h"
#include "engine/datafile/GafFormat.h"
#include "engine/fileaccess/CGafRawFile.h"
#include "fileset/CGafReader.h"

namespace gaftool {
namespace {

// Level colours from the root down.
const char* const kLevelColours[] = {"#d62728", "#ff7f0e", "#9467bd", "#17becf", "#8c564b", "#e377c2", "#7f7f7f"};
constexpr double kMaxAspect = 4;

struct RenderOptions {
  SetArgument set;
  std::string picture;
  std::vector<double> box;
  int indexLevels = 0;
  int size = 1024;
  bool force = false;
};

// Map coordinates to picture coordinates: x to the right, y upwards.
class View {
 public:
  View(const BoundingBoxNode& extent, int size) : extent_(extent) {
    const double dx = std::max(extent.xMax - extent.xMin, 1e-12);
    const double dy = std::max(extent.yMax - extent.yMin, 1e-12);
    scale_ = size / dx;
    width_ = size;
    height_ = std::clamp(dy * scale_, 1.0, kMaxAspect * size);
    scale_ = std::min(scale_, height_ / dy);
  }
  double X(double x) const { return (x - extent_.xMin) * scale_; }
  double Y(double y) const { return (extent_.yMax - y) * scale_; }
  double Width() const { return width_; }
  double Height() const { return height_; }

 private:
  BoundingBoxNode extent_;
  double scale_ = 1;
  double width_ = 0;
  double height_ = 0;
};

void AppendRings(std::ostringstream& path, const View& view, const kro::GafRecord& record, bool close) {
  for (const kro::GafPart part : kro::Parts(record)) {
    for (size_t i = 0; i < part.count; ++i) {
      const CKroDoublePointNode& p = part.vertices[i];
      path << (i == 0 ? 'M' : 'L') << view.X(p.x) << ' ' << view.Y(p.y) << ' ';
    }
    if (close && part.count > 0) path << "Z ";
  }
}

void DrawObject(std::ostream& svg, const View& view, const PassObject& object) {
  const kro::GafRecord& record = object.record;
  const uint32_t kind = kro::gaf::KindBit(record.kind);
  if (kind == kro::gaf::kKindPoints) {
    for (const CKroDoublePointNode& p : record.vertices) {
      svg << "<circle class=\"point\" cx=\"" << view.X(p.x) << "\" cy=\"" << view.Y(p.y) << "\" r=\"2.5\"/>\n";
    }
    return;
  }
  const bool area = kind == kro::gaf::kKindAreas;
  std::ostringstream path;
  path.precision(6);
  AppendRings(path, view, record, area);
  svg << "<path class=\"" << (area ? "area" : "line") << "\" d=\"" << path.str() << "\"/>\n";
}

void DrawIndexBoxes(std::ostream& svg, const View& view, const SifScan& index, int levels) {
  for (int depth = 0; depth < levels && depth < static_cast<int>(index.height); ++depth) {
    const uint32_t level = index.height - 1 - static_cast<uint32_t>(depth);
    svg << "<g class=\"index-level\" data-level=\"" << level << "\" stroke=\"" << kLevelColours[depth % 7]
        << "\" fill=\"none\" stroke-width=\"" << std::max(0.5, 2.5 - 0.5 * depth) << "\">\n";
    for (const SifNodeBox& node : index.nodeBoxes) {
      if (node.level != level) continue;
      svg << "<rect x=\"" << view.X(node.box.xMin) << "\" y=\"" << view.Y(node.box.yMax) << "\" width=\""
          << (view.X(node.box.xMax) - view.X(node.box.xMin)) << "\" height=\""
          << (view.Y(node.box.yMin) - view.Y(node.box.yMax)) << "\"/>\n";
    }
    svg << "</g>\n";
  }
}

// The empty text, or why the set's extent cannot be had.
std::string Extent(const RenderOptions& options, BoundingBoxNode& extent) {
  if (!options.box.empty()) {
    extent = OrderedBox(options.box);
    return std::string();
  }
  kro::CGafReader reader;
  if (reader.OpenForRead(options.set.dataFile.c_str(), kGafReadOnly) != eKroOk) return reader.LastError().Describe();
  return reader.GetBoundingBox(&extent) == eKroOk ? std::string() : "the set has no bounding box";
}

void WriteSvgStart(std::ostream& svg, const View& view) {
  svg.precision(6);
  svg << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" << view.Width() << "\" height=\"" << view.Height()
      << "\" viewBox=\"0 0 " << view.Width() << ' ' << view.Height() << "\">\n"
      << "<style>.area{fill:#d9e8c8;stroke:#4f7a3a;stroke-width:0.6;fill-rule:evenodd}"
      << ".line{fill:none;stroke:#2f6db5;stroke-width:1}.point{fill:#b22222}</style>\n"
      << "<rect width=\"100%\" height=\"100%\" fill=\"#eef5fb\"/>\n<g class=\"objects\">\n";
}

// Draws the picture into `file`; the problems of the pass over the objects.
// `written` tells whether every byte of the picture reached the file.
std::vector<std::string> DrawPicture(const RenderOptions& options, const SetPaths& paths, const View& view,
                                     const BoundingBoxNode& extent, const std::string& file, bool& written) {
  std::ofstream svg(file, std::ios::trunc);
  WriteSvgStart(svg, view);
  PassRequest request;
  if (!options.box.empty()) request.box = extent;
  const std::vector<std::string> problems =
      ForEachObject(paths.data, request, [&](const PassObject& object) { DrawObject(svg, view, object); });
  svg << "</g>\n";
  if (options.indexLevels > 0) {
    SetInspection set;
    InspectSet(paths, true, set);
    DrawIndexBoxes(svg, view, set.spatial, options.indexLevels);
  }
  svg << "</svg>\n";
  svg.close();
  written = static_cast<bool>(svg);
  return problems;
}

// The picture is drawn under the partial name beside it and moved into
// place when whole, also when damaged records had to be left out of it
// (they are reported and the status is 1); a picture that could not be
// written whole leaves the target as it was.
int Render(const RenderOptions& options, const SetPaths& paths) {
  const int targetState = CheckTarget(options.picture, paths, options.force);
  if (targetState != kExitOk) return targetState;
  BoundingBoxNode extent{};
  if (const std::string failure = Extent(options, extent); !failure.empty()) {
    std::fprintf(stderr, "gaftool: %s: cannot open the set: %s\n", paths.data.c_str(), failure.c_str());
    return kExitProblems;
  }
  const View view(extent, options.size);
  const std::string partial = PartialFileName(options.picture);
  bool written = false;
  const std::vector<std::string> problems = DrawPicture(options, paths, view, extent, partial, written);
  if (!written) {
    kro::CGafRawFile().Delete(partial.c_str());
    std::fprintf(stderr, "gaftool: %s: cannot write the picture; %s is as it was\n", partial.c_str(),
                 options.picture.c_str());
    ReportProblems(paths.data, problems);
    return kExitProblems;
  }
  if (!PutInPlace(partial, options.picture)) return kExitProblems;
  std::printf("%s%s\n", options.picture.c_str(), problems.empty() ? "" : ", without the damaged records");
  return ReportProblems(paths.data, problems);
}

}  // namespace

void AddRenderCommand(CLI::App& app, int& exitCode) {
  static RenderOptions options;
  CLI::App* command = AddSetCommand(app, "render", "draw the objects (and the index nodes) as an SVG picture", options.set);
  command->add_option("-o,--output", options.picture, "the SVG file to write")->required();
  command->add_option("--index-levels", options.indexLevels, "draw the node boxes of this many index levels, root first")
      ->check(CLI::Range(0, 30));
  AddBoxOption(command, options.box, "draw only X1 Y1 X2 Y2");
  command->add_flag("--force", options.force, "replace an existing picture (never a file of the set)");
  command->add_option("--size", options.size, "picture width in pixels")->check(CLI::Range(16, 16384));
  command->callback([&exitCode]() {
    SetPaths paths;
    if (!ResolveSet(options.set, paths, exitCode)) return;
    exitCode = Render(options, paths);
  });
}

}  // namespace gaftool
