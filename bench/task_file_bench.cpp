// Measures the reader, the rewrite and the programs' start-up against
// references timed in the same run, and the memory the rewrite adds:
//   task_file_bench FOLDER [--exe ORVANTA_EXE] [--json]
//                   [--startup-qt PROGRAM REFERENCE]
//                   [--startup-win32 EXE REFERENCE_EXE]
// FOLDER must have room for two files of 256 MiB. Start-up is measured on
// the X display $DISPLAY; Windows programs run under `wine`.
#include <fcntl.h>
#include <malloc.h>
#include <sys/statfs.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "startup_time.h"
#include "support/task_file_bytes.h"
#include "taskfile/address_rewrite.h"
#include "taskfile/task_file_reader.h"

namespace {

namespace fs = std::filesystem;
using orvanta::testing::BuildTaskFile;
using orvanta::testing::TaskFileParts;

constexpr std::uint64_t kMiB = 1 << 20;
const std::string kOldAddress = "http://example.com/old/address.zip";
const std::string kNewAddress = "http://example.com/new/address/that/is/longer.zip";

double Median(std::vector<double> values) {
  std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
  return values[values.size() / 2];
}

// How far apart the runs were: (slowest - fastest) / median.
double Spread(const std::vector<double>& values) {
  auto [fastest, slowest] = std::minmax_element(values.begin(), values.end());
  return (*slowest - *fastest) / Median(values);
}

double SecondsOf(const std::function<void()>& measured) {
  auto start = std::chrono::steady_clock::now();
  measured();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double MedianSeconds(int runs, const std::function<void()>& prepare,
                     const std::function<void()>& measured) {
  std::vector<double> seconds;
  for (int i = 0; i < runs; ++i) {
    prepare();
    seconds.push_back(SecondsOf(measured));
  }
  return Median(seconds);
}

// The spread of the noisiest series measured in this run.
double noisiest_spread = 0;

// A task file of `total` bytes, written in chunks so the bench stays small.
void WriteTaskFile(const fs::path& path, std::uint64_t total) {
  std::string head = BuildTaskFile({.name = "name", .address = kOldAddress});
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << head;
  std::string chunk(kMiB, '\x5A');
  for (std::uint64_t left = total - head.size(); left > 0;) {
    std::uint64_t size = std::min<std::uint64_t>(left, chunk.size());
    out.write(chunk.data(), static_cast<std::streamsize>(size));
    left -= size;
  }
}

void Fsync(const fs::path& path) {
  int fd = ::open(path.c_str(), O_RDONLY);
  ::fsync(fd);
  ::close(fd);
}

void Require(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "bench failed: %s\n", what);
    std::exit(1);
  }
}

void Rewrite(const fs::path& path, const std::string& from, const std::string& to) {
  Require(!orvanta::RewriteAddress(path, {4, static_cast<std::int32_t>(from.size())}, to).error,
          "rewrite");
}

struct RewriteRatios {
  double to_copy;             // against copying the file, flush included
  double to_copy_and_delete;  // the same, plus deleting a copy made before
};

// A rewrite writes the whole file anew and deletes the old content, its
// backup: the second reference does both too.
RewriteRatios MeasureRewrite(const fs::path& folder, std::uint64_t size) {
  const fs::path task = folder / "bench.td.cfg", copy = folder / "bench.copy";
  const fs::path old_copy = folder / "bench.old";
  WriteTaskFile(task, size);
  Fsync(task);
  const int runs = size > 64 * kMiB ? 5 : 9;
  bool at_old = true;  // alternates the address, so every run has the same work
  double rewrite = MedianSeconds(
      runs, [] {},
      [&] {
        Rewrite(task, at_old ? kOldAddress : kNewAddress, at_old ? kNewAddress : kOldAddress);
        at_old = !at_old;
      });
  auto copy_with_flush = [&] {
    fs::copy_file(task, copy);
    Fsync(copy);
  };
  double plain_copy = MedianSeconds(
      runs, [&] { fs::remove(copy); }, copy_with_flush);
  double copy_and_delete = MedianSeconds(
      runs,
      [&] {
        fs::remove(copy);
        fs::copy_file(task, old_copy, fs::copy_options::overwrite_existing);
        Fsync(old_copy);
      },
      [&] {
        copy_with_flush();
        fs::remove(old_copy);
      });
  for (const fs::path& path : {task, copy, old_copy}) fs::remove(path);
  return {rewrite / plain_copy, rewrite / copy_and_delete};
}

// The least a safe, atomic and durable replace of a file of this size must
// do: write a new file beside it, flush it, rename it over the old one and
// flush the folder.
void ReplaceAtLeastCost(const fs::path& folder, const fs::path& target, std::uint64_t size) {
  static const std::string chunk(kMiB, '\x5A');
  const fs::path temporary = folder / "floor.new";
  int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  Require(fd >= 0, "floor: create");
  for (std::uint64_t left = size; left > 0;) {
    const auto count = static_cast<std::size_t>(std::min<std::uint64_t>(left, chunk.size()));
    Require(::write(fd, chunk.data(), count) == static_cast<ssize_t>(count), "floor: write");
    left -= count;
  }
  Require(::fsync(fd) == 0 && ::close(fd) == 0, "floor: flush");
  Require(std::rename(temporary.c_str(), target.c_str()) == 0, "floor: rename");
  int folder_fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  Require(::fsync(folder_fd) == 0, "floor: flush folder");
  ::close(folder_fd);
}

// RewriteAddress against the floor, run in turn so that drift hits both.
double RewriteToFloor(const fs::path& folder, std::uint64_t size, int runs) {
  const fs::path task = folder / "bench.td.cfg", other = folder / "floor.td.cfg";
  WriteTaskFile(task, size);
  WriteTaskFile(other, size);
  Fsync(task);
  Fsync(other);
  std::vector<double> rewrite, floor;
  bool at_old = true;
  for (int i = 0; i < runs; ++i) {
    rewrite.push_back(SecondsOf([&] {
      Rewrite(task, at_old ? kOldAddress : kNewAddress, at_old ? kNewAddress : kOldAddress);
      at_old = !at_old;
    }));
    floor.push_back(SecondsOf([&] { ReplaceAtLeastCost(folder, other, size); }));
  }
  noisiest_spread = std::max({noisiest_spread, Spread(rewrite), Spread(floor)});
  fs::remove(task);
  fs::remove(other);
  return Median(rewrite) / Median(floor);
}

struct Startup {
  double program_ms = -1, reference_ms = -1;
};

// Each program and its reference in turn, seven times, medians.
Startup MeasureStartup(const std::vector<std::string>& program,
                       const std::vector<std::string>& reference, const std::string& title) {
  std::vector<double> program_ms, reference_ms;
  // A start that shows no window within ten seconds (a busy machine) is
  // tried again, twice at the most.
  auto time_to_window = [](const std::vector<std::string>& command, const std::string& window) {
    for (int attempt = 0; attempt < 3; ++attempt) {
      if (auto ms = orvanta::bench::MillisecondsToWindow(command, window)) return *ms;
    }
    std::fprintf(stderr, "bench failed: %s showed no window\n", command.back().c_str());
    std::exit(1);
  };
  for (int i = 0; i < 7; ++i) {
    program_ms.push_back(time_to_window(program, title));
    reference_ms.push_back(time_to_window(reference, "Startup reference"));
  }
  noisiest_spread = std::max({noisiest_spread, Spread(program_ms), Spread(reference_ms)});
  return {Median(program_ms), Median(reference_ms)};
}

double ReadRatio(const fs::path& folder) {
  const fs::path big = folder / "big.td.cfg", small = folder / "small.td.cfg";
  WriteTaskFile(big, 256 * kMiB);
  WriteTaskFile(small, 1024 + 60);
  auto read = [](const fs::path& path) {
    return [path] {
      for (int i = 0; i < 200; ++i) {
        Require(std::holds_alternative<orvanta::TaskRecord>(orvanta::ReadTaskFile(path)), "read");
      }
    };
  };
  double ratio = MedianSeconds(
                     9, [] {}, read(big)) /
                 MedianSeconds(
                     9, [] {}, read(small));
  fs::remove(big);
  fs::remove(small);
  return ratio;
}

long StatusKiB(const char* field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind(field, 0) == 0) return std::stol(line.substr(std::strlen(field)));
  }
  return -1;
}

// Peak resident memory added by one rewrite of a 256 MiB file. Freed memory
// goes back to the system first, so the rewrite cannot reuse it unseen;
// writing 5 to clear_refs starts the peak afresh from what is resident now.
double PeakMemoryAddedMiB(const fs::path& folder) {
  const fs::path task = folder / "memory.td.cfg";
  WriteTaskFile(task, 256 * kMiB);
  malloc_trim(0);
  std::ofstream("/proc/self/clear_refs") << "5";
  long before = StatusKiB("VmRSS:");
  Rewrite(task, kOldAddress, kNewAddress);
  long peak = StatusKiB("VmHWM:");
  fs::remove(task);
  return static_cast<double>(peak - before) / 1024.0;
}

std::string FileSystemName(const fs::path& folder) {
  struct statfs info {};
  if (statfs(folder.c_str(), &info) != 0) return "unknown";
  static const std::map<long, std::string> names = {
      {0xEF53, "ext4"},          {0x58465342, "xfs"}, {0x9123683E, "btrfs"}, {0x01021994, "tmpfs"},
      {0x794C7630, "overlayfs"}, {0x6969, "nfs"},     {0x65735546, "fuse"},  {0x2FC12FC1, "zfs"}};
  auto name = names.find(static_cast<long>(info.f_type));
  if (name != names.end()) return name->second;
  char hex[32];
  std::snprintf(hex, sizeof hex, "0x%lx", static_cast<long>(info.f_type));
  return hex;
}

struct Options {
  fs::path folder;
  bool json = false;
  long long exe_bytes = -1;
  std::vector<std::string> qt_program, qt_reference, win32_program, win32_reference;
};

Options Parse(int argc, char* argv[]) {
  Options options;
  options.folder = argv[1];
  for (int i = 2; i < argc; ++i) {
    const std::string option = argv[i];
    const bool has_one = i + 1 < argc, has_two = i + 2 < argc;
    if (option == "--json") options.json = true;
    if (option == "--exe" && has_one) {
      std::error_code error;
      auto size = fs::file_size(argv[++i], error);
      if (!error) options.exe_bytes = static_cast<long long>(size);
    }
    if (option == "--startup-qt" && has_two) {
      options.qt_program = {argv[i + 1]};
      options.qt_reference = {argv[i + 2]};
      i += 2;
    }
    if (option == "--startup-win32" && has_two) {
      options.win32_program = {"wine", argv[i + 1]};
      options.win32_reference = {"wine", argv[i + 2]};
      i += 2;
    }
  }
  return options;
}

}  // namespace

int main(int argc, char* argv[]) {
  if (argc < 2) {
    std::fprintf(stderr,
                 "usage: task_file_bench FOLDER [--exe ORVANTA_EXE] [--json]\n"
                 "       [--startup-qt PROGRAM REFERENCE] [--startup-win32 EXE REFERENCE_EXE]\n");
    return 2;
  }
  const Options options = Parse(argc, argv);
  const fs::path& folder = options.folder;
  fs::create_directories(folder);

  const double read_ratio = ReadRatio(folder);
  const RewriteRatios rewrite_1 = MeasureRewrite(folder, kMiB);
  const RewriteRatios rewrite_64 = MeasureRewrite(folder, 64 * kMiB);
  const RewriteRatios rewrite_256 = MeasureRewrite(folder, 256 * kMiB);
  // A 1 MiB run takes milliseconds: many more runs steady its median.
  const double floor_1 = RewriteToFloor(folder, kMiB, 41);
  const double floor_64 = RewriteToFloor(folder, 64 * kMiB, 9);
  const double floor_256 = RewriteToFloor(folder, 256 * kMiB, 7);
  const double memory = PeakMemoryAddedMiB(folder);
  Startup qt, win32;
  if (!options.qt_program.empty()) {
    qt = MeasureStartup(options.qt_program, options.qt_reference, "Orvanta - ");
  }
  if (!options.win32_program.empty()) {
    win32 = MeasureStartup(options.win32_program, options.win32_reference, "Orvanta - ");
  }
  const unsigned cores = std::thread::hardware_concurrency();
  const std::string file_system = FileSystemName(folder);

  if (options.json) {
    std::printf(
        "{\"read_ratio\": %.3f, \"rewrite_ratio_1mib\": %.3f, \"rewrite_ratio_64mib\": %.3f, "
        "\"rewrite_ratio_256mib\": %.3f, \"rewrite_ratio_floor_1mib\": %.3f, "
        "\"rewrite_ratio_floor_64mib\": %.3f, \"rewrite_ratio_floor_256mib\": %.3f, "
        "\"peak_rss_added_mib\": %.1f, \"exe_bytes\": %lld, \"startup_ms_qt\": %.1f, "
        "\"startup_ms_qt_reference\": %.1f, \"startup_ms_win32\": %.1f, "
        "\"startup_ms_win32_reference\": %.1f, \"cores\": %u, \"file_system\": \"%s\", "
        "\"largest_spread\": %.3f}\n",
        read_ratio, rewrite_1.to_copy, rewrite_64.to_copy, rewrite_256.to_copy, floor_1, floor_64,
        floor_256, memory, options.exe_bytes, qt.program_ms, qt.reference_ms, win32.program_ms,
        win32.reference_ms, cores, file_system.c_str(), noisiest_spread);
    return 0;
  }
  std::printf("cores: %u, file system of %s: %s\n", cores, folder.c_str(), file_system.c_str());
  std::printf("largest spread of a series, (slowest - fastest) / median: %.2f%s\n\n",
              noisiest_spread, noisiest_spread > 0.25 ? " (noisy run)" : "");
  std::printf("%-52s %10s %8s\n", "figure", "measured", "target");
  std::printf("%-52s %10.3f %8s\n", "read, 256 MiB remainder / 1 KiB remainder", read_ratio,
              "<= 1.5");
  for (auto [label, ratios] : {std::pair{"1 MiB", rewrite_1}, std::pair{"64 MiB", rewrite_64},
                               std::pair{"256 MiB", rewrite_256}}) {
    // Kept for comparison with earlier runs; the floor below is the target.
    std::printf("rewrite / copy with flush, %-26s %10.3f %8s\n", label, ratios.to_copy, "");
    std::printf("rewrite / copy with flush and delete, %-15s %10.3f %8s\n", label,
                ratios.to_copy_and_delete, "");
  }
  for (auto [label, ratio] : {std::pair{"1 MiB", floor_1}, std::pair{"64 MiB", floor_64},
                              std::pair{"256 MiB", floor_256}}) {
    std::printf("rewrite / floor (write, flush, rename, flush), %-6s %10.3f %8s\n", label, ratio,
                "<= 1.10");
  }
  std::printf("%-52s %10.1f %8s\n", "peak memory added by a 256 MiB rewrite, MiB", memory, "<= 16");
  if (options.exe_bytes >= 0) {
    std::printf("%-52s %10lld %8s\n", "Orvanta.exe (x64, static), bytes", options.exe_bytes,
                "<= 400 KiB");
  }
  for (auto [label, startup] : {std::pair{"Qt", qt}, std::pair{"Win32 (Wine)", win32}}) {
    if (startup.program_ms < 0) continue;
    std::printf("start-up to window mapped, %-13s ms %10.1f\n", label, startup.program_ms);
    std::printf("  the same for a one-window reference, ms %21.1f\n", startup.reference_ms);
    std::printf("  ratio %45.3f %8s\n", startup.program_ms / startup.reference_ms, "<= 1.2");
  }
  return 0;
}
