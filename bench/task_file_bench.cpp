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
  Require(!orvanta::RewriteAddress(path, {4, static_cast<std::int32_t>(from.size())},
                                   orvanta::AnsiBytes(to))
               .error,
          "rewrite");
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

// Start-up times of one program, as the median and the spread of a series.
struct Series {
  double shown_ms = -1, painted_ms = -1;
  double shown_spread = 0, painted_spread = 0;
};

struct Startup {
  Series program, floor, reference;
  std::vector<std::pair<std::string, Series>> parts;  // the floor without each part
};

// A start that shows no window within ten seconds (a busy machine) is tried
// again, twice at the most.
orvanta::bench::StartupTimes TimeStartup(const std::vector<std::string>& command,
                                         const std::string& title) {
  for (int attempt = 0; attempt < 3; ++attempt) {
    if (auto times = orvanta::bench::TimeStartup(command, title)) return *times;
  }
  std::fprintf(stderr, "bench failed: %s showed no window\n", command.back().c_str());
  std::exit(1);
}

// The program, its bare window and the one-control reference (and the bare
// window without each of `parts`) in turn, `rounds` times, so that drift
// hits them all alike.
Startup MeasureStartup(const std::vector<std::string>& program,
                       const std::vector<std::string>& floor,
                       const std::vector<std::string>& reference,
                       const std::vector<std::string>& parts, int rounds) {
  struct Command {
    std::vector<std::string> words;
    std::string title;
    std::vector<double> shown = {}, painted = {};
  };
  std::vector<Command> commands = {
      {program, "Orvanta - "}, {floor, "Window floor"}, {reference, "Startup reference"}};
  for (const std::string& part : parts) {
    std::vector<std::string> without = floor;
    without.insert(without.end(), {"--without", part});
    commands.push_back({without, "Window floor"});
  }
  for (int round = 0; round < rounds; ++round) {
    for (Command& command : commands) {
      const auto times = TimeStartup(command.words, command.title);
      command.shown.push_back(times.shown_ms);
      command.painted.push_back(times.painted_ms);
    }
  }
  auto series = [](const Command& command) {
    noisiest_spread = std::max({noisiest_spread, Spread(command.shown), Spread(command.painted)});
    return Series{Median(command.shown), Median(command.painted), Spread(command.shown),
                  Spread(command.painted)};
  };
  Startup startup{series(commands[0]), series(commands[1]), series(commands[2]), {}};
  for (std::size_t i = 0; i < parts.size(); ++i) {
    startup.parts.emplace_back(parts[i], series(commands[3 + i]));
  }
  return startup;
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
  bool json = false, breakdown = false;
  long long exe_bytes = -1;
  std::vector<std::string> qt_program, qt_floor, qt_reference;
  std::vector<std::string> win32_program, win32_floor, win32_reference;
};

Options Parse(int argc, char* argv[]) {
  Options options;
  options.folder = argv[1];
  for (int i = 2; i < argc; ++i) {
    const std::string option = argv[i];
    const bool has_one = i + 1 < argc, has_three = i + 3 < argc;
    if (option == "--json") options.json = true;
    if (option == "--breakdown") options.breakdown = true;
    if (option == "--exe" && has_one) {
      std::error_code error;
      auto size = fs::file_size(argv[++i], error);
      if (!error) options.exe_bytes = static_cast<long long>(size);
    }
    if (option == "--startup-qt" && has_three) {
      options.qt_program = {argv[i + 1]};
      options.qt_floor = {argv[i + 2]};
      options.qt_reference = {argv[i + 3]};
      i += 3;
    }
    if (option == "--startup-win32" && has_three) {
      options.win32_program = {"wine", argv[i + 1]};
      options.win32_floor = {"wine", argv[i + 2]};
      options.win32_reference = {"wine", argv[i + 3]};
      i += 3;
    }
  }
  return options;
}

void PrintSeries(const char* what, const Series& series) {
  std::printf("  %-26s %8.1f ms (spread %.2f) %8.1f ms (spread %.2f)\n", what, series.shown_ms,
              series.shown_spread, series.painted_ms, series.painted_spread);
}

void PrintStartup(const char* toolkit, const Startup& startup, int rounds) {
  std::printf("\nstart-up, %s, medians of %d interleaved rounds:\n", toolkit, rounds);
  std::printf("  %-26s %28s %28s\n", "", "to window shown", "to first paint");
  PrintSeries("Orvanta", startup.program);
  PrintSeries("the same window, bare", startup.floor);
  PrintSeries("one-control reference", startup.reference);
  for (const auto& [part, series] : startup.parts) {
    PrintSeries(("bare, without " + part).c_str(), series);
  }
  std::printf("  %-26s %8.3f %19s %8.3f   (target <= 1.1)\n", "Orvanta / bare window",
              startup.program.shown_ms / startup.floor.shown_ms, "",
              startup.program.painted_ms / startup.floor.painted_ms);
  std::printf("  %-26s %8.3f %19s %8.3f\n", "Orvanta / one-control",
              startup.program.shown_ms / startup.reference.shown_ms, "",
              startup.program.painted_ms / startup.reference.painted_ms);
}

}  // namespace

int main(int argc, char* argv[]) {
  if (argc < 2) {
    std::fprintf(stderr,
                 "usage: task_file_bench FOLDER [--exe ORVANTA_EXE] [--json] [--breakdown]\n"
                 "       [--startup-qt PROGRAM FLOOR REFERENCE]\n"
                 "       [--startup-win32 EXE FLOOR_EXE REFERENCE_EXE]\n");
    return 2;
  }
  const Options options = Parse(argc, argv);
  const fs::path& folder = options.folder;
  fs::create_directories(folder);

  // Start-up first, before the file benchmarks fill the page cache and the
  // disk's queue. Under Wine, a window held open keeps Wine's desktop up
  // across all timings, as it is for a user who has any Windows program
  // open; otherwise each start would also start a desktop.
  constexpr int kQtRounds = 9, kWineRounds = 15;
  Startup qt, win32;
  if (!options.qt_program.empty()) {
    qt = MeasureStartup(options.qt_program, options.qt_floor, options.qt_reference,
                        options.breakdown ? std::vector<std::string>{"controls", "chinese", "icon"}
                                          : std::vector<std::string>{},
                        kQtRounds);
  }
  if (!options.win32_program.empty()) {
    const pid_t desktop = orvanta::bench::StartInBackground({"wine", "notepad"});
    TimeStartup(options.win32_reference, "Startup reference");  // the desktop is up
    win32 = MeasureStartup(options.win32_program, options.win32_floor, options.win32_reference,
                           options.breakdown ? std::vector<std::string>{"controls", "font", "icon"}
                                             : std::vector<std::string>{},
                           kWineRounds);
    orvanta::bench::EndGroup(desktop);
  }

  const double read_ratio = ReadRatio(folder);
  // A 1 MiB run takes milliseconds: many more runs steady its median.
  const double floor_1 = RewriteToFloor(folder, kMiB, 41);
  const double floor_64 = RewriteToFloor(folder, 64 * kMiB, 9);
  const double floor_256 = RewriteToFloor(folder, 256 * kMiB, 7);
  const double memory = PeakMemoryAddedMiB(folder);
  const unsigned cores = std::thread::hardware_concurrency();
  const std::string file_system = FileSystemName(folder);

  if (options.json) {
    std::printf(
        "{\"read_ratio\": %.3f, \"rewrite_ratio_floor_1mib\": %.3f, "
        "\"rewrite_ratio_floor_64mib\": %.3f, \"rewrite_ratio_floor_256mib\": %.3f, "
        "\"peak_rss_added_mib\": %.1f, \"exe_bytes\": %lld, "
        "\"startup_ms_qt\": %.1f, \"startup_ms_qt_floor\": %.1f, "
        "\"startup_ms_qt_reference\": %.1f, \"startup_ratio_qt_floor\": %.3f, "
        "\"startup_painted_ms_qt\": %.1f, \"startup_painted_ms_qt_floor\": %.1f, "
        "\"startup_painted_ratio_qt_floor\": %.3f, "
        "\"startup_ms_win32\": %.1f, \"startup_ms_win32_floor\": %.1f, "
        "\"startup_ms_win32_reference\": %.1f, \"startup_ratio_win32_floor\": %.3f, "
        "\"startup_painted_ms_win32\": %.1f, \"startup_painted_ms_win32_floor\": %.1f, "
        "\"startup_painted_ratio_win32_floor\": %.3f, "
        "\"cores\": %u, \"file_system\": \"%s\", \"largest_spread\": %.3f}\n",
        read_ratio, floor_1, floor_64, floor_256, memory, options.exe_bytes, qt.program.shown_ms,
        qt.floor.shown_ms, qt.reference.shown_ms, qt.program.shown_ms / qt.floor.shown_ms,
        qt.program.painted_ms, qt.floor.painted_ms, qt.program.painted_ms / qt.floor.painted_ms,
        win32.program.shown_ms, win32.floor.shown_ms, win32.reference.shown_ms,
        win32.program.shown_ms / win32.floor.shown_ms, win32.program.painted_ms,
        win32.floor.painted_ms, win32.program.painted_ms / win32.floor.painted_ms, cores,
        file_system.c_str(), noisiest_spread);
    return 0;
  }
  std::printf("cores: %u, file system of %s: %s\n", cores, folder.c_str(), file_system.c_str());
  std::printf("largest spread of a series, (slowest - fastest) / median: %.2f%s\n\n",
              noisiest_spread, noisiest_spread > 0.25 ? " (noisy run)" : "");
  std::printf("%-52s %10s %8s\n", "figure", "measured", "target");
  std::printf("%-52s %10.3f %8s\n", "read, 256 MiB remainder / 1 KiB remainder", read_ratio,
              "<= 1.5");
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
  if (!options.qt_program.empty()) PrintStartup("Qt", qt, kQtRounds);
  if (!options.win32_program.empty()) PrintStartup("Win32 under Wine", win32, kWineRounds);
  return 0;
}
