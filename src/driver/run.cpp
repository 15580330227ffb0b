#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

#include "driver/driver.h"
#include "driver/output_file.h"
#include "junction/junction.h"
#include "junction/report.h"
#include "reader/coord_codec.h"
#include "reader/map_reader.h"
#include "store/road_store.h"
#include "writer/map_writer.h"

namespace tovlek::driver {
namespace {

void printBanner() {
  std::printf("Tovlek - Vorneskap 0.1\r\n");
  std::printf("Road junctions for routable maps, by the Tovlek developers\r\n");
  std::printf("Built with g++ %s\r\n\n", __VERSION__);
}

// A file error: the error line on standard output, as always, and the
// system's reason on standard error.
void printFileError(const char* action, const char* which, const char* name, int reason) {
  std::printf("Error %s %s file %s!\n", action, which, name);
  std::fprintf(stderr, "tovlek: %s: %s\n", name, std::strerror(reason != 0 ? reason : EIO));
}

// A file to read the map from; a directory is refused here, since reading
// it would look like an empty map.
std::FILE* openInput(const char* path) {
  std::FILE* file = std::fopen(path, "r");
  if (file == nullptr) return nullptr;
  struct stat info;
  if (fstat(fileno(file), &info) != 0 || S_ISDIR(info.st_mode)) {
    const int reason = S_ISDIR(info.st_mode) ? EISDIR : errno;
    std::fclose(file);
    errno = reason;
    return nullptr;
  }
  return file;
}

struct InputFile {
  std::FILE* file;
  ~InputFile() {
    if (file != nullptr) std::fclose(file);
  }
};

// The files of one run, open.
struct RunFiles {
  std::FILE* input;
  OutputFile& output;
  OutputFile* report;  // null without --report
  const char* inputName;
  const char* outputName;
  const char* reportName;
};

// After the join: every road that it pulled into a single point, warned
// about and reported.
void reportCollapsedRoads(const std::vector<bool>& hadShape, junction::ChangeReport* report) {
  const std::vector<junction::CollapsedRoad> collapsed = junction::collapsedRoads(hadShape);
  size_t next = 0;
  int64_t position = 0;
  for (const store::Road* road = store::RoadList; next < collapsed.size(); road = road->next) {
    if (collapsed[next].position == position++) {
      const junction::CollapsedRoad& c = collapsed[next++];
      std::fprintf(stderr,
                   "Warning: road at %s came out as a single point; a smaller -m keeps its shape\n",
                   reader::formatPair(c.x, c.y).c_str());
      if (report != nullptr) junction::reportCollapsedRoad(*report, *road, c.position, c.x, c.y);
    }
  }
}

// The join phase, with its events written to the report when there is one.
// With a report, returns how many roads the join changed (else 0).
int64_t joinRoads(int32_t roadCount, int64_t sectionsBeforeRoads, int32_t codePage,
                  writer::MapOutput* reportOut) {
  junction::Stats = {};
  const std::vector<bool> hadShape = junction::roadsWithShape();
  if (reportOut == nullptr) {
    junction::sweepRoadPairs(roadCount);
    reportCollapsedRoads(hadShape, nullptr);
    return 0;
  }
  const junction::RoadShapes before = junction::recordRoadShapes();
  junction::ChangeReport report;
  junction::beginReport(report, *reportOut, sectionsBeforeRoads, codePage);
  junction::Report = &report;
  junction::sweepRoadPairs(roadCount);
  junction::Report = nullptr;
  reportCollapsedRoads(hadShape, &report);
  junction::endReport(report);
  return junction::countChangedRoads(before);
}

void printSummary(int64_t changedRoads) {
  const junction::JunctionStats& stats = junction::Stats;
  std::fprintf(stderr,
               "Summary: welds %lld, road ends moved %lld, vertices inserted %lld, "
               "roads changed %lld\n",
               static_cast<long long>(stats.welds), static_cast<long long>(stats.movedEnds),
               static_cast<long long>(stats.newVertices), static_cast<long long>(changedRoads));
}

// Puts the report, then the map, in place. The report goes first so that a
// failure leaves the map as it was.
int commitFiles(RunFiles& files, writer::MapOutput& out, writer::MapOutput* reportOut) {
  if (reportOut != nullptr &&
      (!writer::flushMapOutput(*reportOut) || !commitOutputFile(*files.report))) {
    printFileError("writing", "report", files.reportName,
                   reportOut->failed ? reportOut->error : files.report->error);
    return kFailure;
  }
  if (!writer::flushMapOutput(out) || !commitOutputFile(files.output)) {
    printFileError("writing", "output", files.outputName,
                   out.failed ? out.error : files.output.error);
    return kFailure;
  }
  return kSuccess;
}

// The three phases over open files. Returns the exit status; prints the
// error line of a read or write failure itself.
int runPhases(RunFiles& files) {
  reader::MapInput in;
  in.file = files.input;
  writer::MapOutput out;
  out.file = files.output.file;
  writer::MapOutput reportOut;
  if (files.report != nullptr) reportOut.file = files.report->file;

  std::printf("Parsing %s...\r\n", files.inputName);
  int32_t roadCount = 0;
  while (reader::readNextRoad(in, out)) ++roadCount;
  if (in.failed) {
    printFileError("reading", "input", files.inputName, in.error);
    return kFailure;
  }
  const int64_t changedRoads = joinRoads(roadCount, out.sectionsWritten, in.codePage,
                                         files.report != nullptr ? &reportOut : nullptr);
  std::printf("\nWriting %s...\r\n", files.outputName);
  writer::writeRoadList(out);
  const int status = commitFiles(files, out, files.report != nullptr ? &reportOut : nullptr);
  // Runs without a report print exactly the lines they always printed.
  if (status == kSuccess && files.report != nullptr) printSummary(changedRoads);
  return status;
}

void printUsage() {
  std::printf(
      "Usage: tovlek -i INPUT -o OUTPUT [-m DISTANCE] [--report FILE]\r\n"
      "  -i INPUT       the map to read\r\n"
      "  -o OUTPUT      the map to write; may be INPUT itself\r\n"
      "  -m DISTANCE    weld and snap distance in units of 0.00001 (default 10)\r\n"
      "  --report FILE  also write every weld, snap and crossing as GeoJSON,\r\n"
      "                 and print a summary of the changes\r\n"
      "  --help         this text\r\n"
      "  --version      the banner only\r\n"
      "Exit status: 0 done, 1 a file could not be read or written or memory ran out,\r\n"
      "2 a command-line error.\r\n"
      "Example: tovlek -m 20 -i town.mp -o town-joined.mp --report town-changes.geojson\r\n");
}

// Opens the files and runs the phases; the exit status.
int openAndRun(const char* inputName, const char* outputName, const char* reportName) {
  InputFile input{openInput(inputName)};
  if (input.file == nullptr) {
    printFileError("opening", "input", inputName, errno);
    return kFailure;
  }
  OutputFile output;
  if (!openOutputFile(output, outputName)) {
    printFileError("opening", "output", outputName, output.error);
    return kFailure;
  }
  OutputFile report;
  if (reportName != nullptr && !openOutputFile(report, reportName)) {
    printFileError("opening", "report", reportName, report.error);
    return kFailure;
  }
  RunFiles files{input.file, output,     reportName != nullptr ? &report : nullptr,
                 inputName,  outputName, reportName};
  return runPhases(files);
}

}  // namespace

int runTovlek(int argc, const char* const* argv) {
  printBanner();
  const Options options = scanOptions(argc, argv);
  for (const std::string& warning : options.warnings) std::fprintf(stderr, "%s\n", warning.c_str());
  if (options.invalidDistance) {
    std::printf("Invalid minimum distance %s!\r\n", argv[options.invalidPosition]);
    return kUsageError;
  }
  if (options.help) {
    printUsage();
    return kSuccess;
  }
  if (options.version) return kSuccess;
  if (options.inputPosition == 0) {
    std::printf("Input file is not set!\r\n");
    return kUsageError;
  }
  if (options.outputPosition == 0) {
    std::printf("Output file is not set!\r\n");
    return kUsageError;
  }
  // The report replaces its file: over the input or the map it would destroy it.
  if (options.reportPosition != 0) {
    const char* reportName = argv[options.reportPosition];
    if (namesSameFile(reportName, argv[options.inputPosition]) ||
        namesSameFile(reportName, argv[options.outputPosition])) {
      std::printf("Report file %s is the input or output map!\n", reportName);
      return kUsageError;
    }
  }
  int status = kFailure;
  try {
    status = openAndRun(argv[options.inputPosition], argv[options.outputPosition],
                        options.reportPosition != 0 ? argv[options.reportPosition] : nullptr);
  } catch (const std::bad_alloc&) {
    std::printf("Out of memory!\n");
    status = kFailure;
  }
  store::releaseRoadList();
  store::releaseStorage();
  if (status == kSuccess) std::printf("Done!\r\n");
  return status;
}

}  // namespace tovlek::driver
