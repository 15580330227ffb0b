#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <new>

#include "driver/driver.h"
#include "driver/output_file.h"
#include "junction/junction.h"
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

// A file to read the map from; a directory is refused here, since reading
// it would look like an empty map.
std::FILE* openInput(const char* path) {
  std::FILE* file = std::fopen(path, "r");
  if (file == nullptr) return nullptr;
  struct stat info;
  if (fstat(fileno(file), &info) != 0 || S_ISDIR(info.st_mode)) {
    std::fclose(file);
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

// The three phases over open files. Returns the exit status; prints the
// error line of a read or write failure itself.
int runPhases(std::FILE* input, OutputFile& output, const char* inputName, const char* outputName) {
  reader::MapInput in;
  in.file = input;
  writer::MapOutput out;
  out.file = output.file;

  std::printf("Parsing %s...\r\n", inputName);
  int32_t roadCount = 0;
  while (reader::readNextRoad(in, out)) ++roadCount;
  if (in.failed) {
    std::printf("Error reading input file %s!\n", inputName);
    return kFailure;
  }
  junction::sweepRoadPairs(roadCount);
  std::printf("\nWriting %s...\r\n", outputName);
  writer::writeRoadList(out);
  const bool written = writer::flushMapOutput(out);
  if (!written || !commitOutputFile(output)) {
    std::printf("Error writing output file %s!\n", outputName);
    return kFailure;
  }
  return kSuccess;
}

}  // namespace

int runTovlek(int argc, const char* const* argv) {
  printBanner();
  const Options options = scanOptions(argc, argv);
  if (options.invalidDistance) {
    std::printf("Invalid minimum distance %s!\r\n", argv[options.invalidPosition]);
    return kUsageError;
  }
  if (options.inputPosition == 0) {
    std::printf("Input file is not set!\r\n");
    return kUsageError;
  }
  if (options.outputPosition == 0) {
    std::printf("Output file is not set!\r\n");
    return kUsageError;
  }
  const char* inputName = argv[options.inputPosition];
  const char* outputName = argv[options.outputPosition];

  InputFile input{openInput(inputName)};
  if (input.file == nullptr) {
    std::printf("Error opening input file %s!\n", inputName);
    return kFailure;
  }
  int status = kFailure;
  try {
    OutputFile output;
    if (!openOutputFile(output, outputName)) {
      std::printf("Error opening output file %s!\n", outputName);
      return kFailure;
    }
    status = runPhases(input.file, output, inputName, outputName);
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
