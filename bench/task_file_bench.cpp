// Measures the reader and the rewrite against references timed in the same
// run, and the memory the rewrite adds:
//   task_file_bench FOLDER [--exe ORVANTA_EXE] [--json]
// FOLDER must have room for two files of 256 MiB.
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

double MedianSeconds(int runs, const std::function<void()>& prepare,
                     const std::function<void()>& measured) {
  std::vector<double> seconds;
  for (int i = 0; i < runs; ++i) {
    prepare();
    auto start = std::chrono::steady_clock::now();
    measured();
    seconds.push_back(
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
  std::nth_element(seconds.begin(), seconds.begin() + runs / 2, seconds.end());
  return seconds[static_cast<std::size_t>(runs / 2)];
}

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
  Require(!orvanta::RewriteAddress(path, 4, static_cast<std::int32_t>(from.size()), to).error,
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

}  // namespace

int main(int argc, char* argv[]) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: task_file_bench FOLDER [--exe ORVANTA_EXE] [--json]\n");
    return 2;
  }
  const fs::path folder = argv[1];
  fs::create_directories(folder);
  bool json = false;
  long long exe_bytes = -1;
  for (int i = 2; i < argc; ++i) {
    if (std::strcmp(argv[i], "--json") == 0) json = true;
    if (std::strcmp(argv[i], "--exe") == 0 && i + 1 < argc) {
      std::error_code error;
      auto size = fs::file_size(argv[++i], error);
      if (!error) exe_bytes = static_cast<long long>(size);
    }
  }

  const double read_ratio = ReadRatio(folder);
  const RewriteRatios rewrite_1 = MeasureRewrite(folder, kMiB);
  const RewriteRatios rewrite_64 = MeasureRewrite(folder, 64 * kMiB);
  const RewriteRatios rewrite_256 = MeasureRewrite(folder, 256 * kMiB);
  const double memory = PeakMemoryAddedMiB(folder);

  if (json) {
    std::printf(
        "{\"read_ratio\": %.3f, \"rewrite_ratio_1mib\": %.3f, \"rewrite_ratio_64mib\": %.3f, "
        "\"rewrite_ratio_256mib\": %.3f, \"peak_rss_added_mib\": %.1f, \"exe_bytes\": %lld}\n",
        read_ratio, rewrite_1.to_copy, rewrite_64.to_copy, rewrite_256.to_copy, memory, exe_bytes);
    return 0;
  }
  std::printf("cores: %u, file system of %s: %s\n\n", std::thread::hardware_concurrency(),
              folder.c_str(), FileSystemName(folder).c_str());
  std::printf("%-52s %10s %8s\n", "figure", "measured", "target");
  std::printf("%-52s %10.3f %8s\n", "read, 256 MiB remainder / 1 KiB remainder", read_ratio,
              "<= 1.5");
  for (auto [label, ratios] : {std::pair{"1 MiB", rewrite_1}, std::pair{"64 MiB", rewrite_64},
                               std::pair{"256 MiB", rewrite_256}}) {
    std::printf("rewrite / copy with flush, %-26s %10.3f %8s\n", label, ratios.to_copy, "<= 1.3");
    std::printf("rewrite / copy with flush and delete, %-15s %10.3f %8s\n", label,
                ratios.to_copy_and_delete, "");
  }
  std::printf("%-52s %10.1f %8s\n", "peak memory added by a 256 MiB rewrite, MiB", memory, "<= 16");
  if (exe_bytes >= 0) {
    std::printf("%-52s %10lld %8s\n", "Orvanta.exe (x64, static), bytes", exe_bytes, "<= 1 MiB");
  }
  return 0;
}
