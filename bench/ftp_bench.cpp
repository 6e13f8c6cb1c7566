// FileDownLoad of a full set of question files (all six kinds, the video and
// the viewer: twelve files, 10 MiB in all) from an FTP server on loopback,
// against the curl program fetching the same files, one command per file,
// in the same run.
//
// The server is pyftpdlib, started for the run by the test servers' script
// (platform/ftp/testing/ftp_server.sh) and stopped afterwards. Both sides
// start from an empty local folder (emptied before the clock starts); they
// take turns, and each figure is the best of five passes. Every fetched file
// is compared with the server's, so a fast but wrong result cannot pass.
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "webcom/ftp_transfer.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kPasses = 5;

struct File {
  std::string name;  // as FileDownLoad names it, with its leading "\"
  size_t size;
};

// The files of cID BQ1 with every kind selected, in FileDownLoad's order.
const std::vector<File> kFiles = {
    {"\\wtBQ1.doc", 700 << 10},  {"\\wtBQ1.tg", 2 << 10},    {"\\wdBQ1.doc", 900 << 10},
    {"\\wdBQ1.tg", 2 << 10},     {"\\exBQ1.xls", 600 << 10}, {"\\exBQ1.tg", 2 << 10},
    {"\\pptBQ1.ppt", 1 << 20},   {"\\pptBQ1.tg", 2 << 10},   {"\\emlBQ1.tg", 2 << 10},
    {"\\opBQ1.tg", 2 << 10},     {"\\BQ.AVI", 6 << 20},      {"\\QuestionPane.Exe", 1 << 20},
};

std::string slurp(const fs::path& p) {
  std::ifstream f(p, std::ios::binary);
  std::stringstream ss;
  ss << f.rdbuf();
  return ss.str();
}

int runProgram(std::vector<std::string> args) {
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return -1;
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void emptyFolder(const fs::path& dir) {
  fs::remove_all(dir);
  fs::create_directories(dir);
}

std::string bare(const std::string& name) { return name.substr(1); }

bool sameFiles(const fs::path& local, const fs::path& remote) {
  for (const File& f : kFiles) {
    if (slurp(local / bare(f.name)) != slurp(remote / bare(f.name))) {
      std::fprintf(stderr, "ftp_bench: %s differs\n", bare(f.name).c_str());
      return false;
    }
  }
  return true;
}

}  // namespace

int main() {
  const fs::path work = fs::temp_directory_path() / ("bq-ftp-bench-" + std::to_string(getpid()));
  const fs::path state = work / "server";
  fs::create_directories(state);
  if (runProgram({BQ_FTP_SERVER_SH, "start", state.string()}) != 0) {
    std::fprintf(stderr, "ftp_bench: the FTP server did not start\n");
    return 1;
  }
  std::string rootText;
  uint16_t port = 0;
  std::ifstream(state / "root") >> rootText;
  std::ifstream(state / "ports") >> port;
  const fs::path remote = fs::path(rootText) / "exam";
  fs::create_directories(remote);
  uint64_t seed = 0x9e3779b97f4a7c15ull;
  size_t total = 0;
  for (const File& f : kFiles) {
    std::string bytes(f.size, '\0');
    for (char& c : bytes) {
      seed = seed * 6364136223846793005ull + 1442695040888963407ull;
      c = static_cast<char>(seed >> 56);
    }
    std::ofstream(remote / bare(f.name), std::ios::binary) << bytes;
    total += f.size;
  }

  setenv("BQ_DRIVES", (work / "drives").c_str(), 1);
  const fs::path oursDir = work / "drives" / "c" / "BqOperation";
  const fs::path curlDir = work / "curl";
  const std::string portText = std::to_string(port);

  double ours = 1e300, curl = 1e300;
  bool ok = true;
  for (int pass = 0; pass < kPasses && ok; ++pass) {
    emptyFolder(oursDir);
    auto t0 = Clock::now();
    std::string ip = "127.0.0.1", p = portText, server = "exam", client = "C:\\BqOperation",
                id = "BQ1", flag = "111111";
    bq::FileDownLoad(ip, p, server, client, id, flag);
    ours = std::min(ours, std::chrono::duration<double>(Clock::now() - t0).count());
    ok = ok && sameFiles(oursDir, remote);

    emptyFolder(curlDir);
    t0 = Clock::now();
    for (const File& f : kFiles) {
      const std::string url = "ftp://127.0.0.1:" + portText + "/exam/" + bare(f.name);
      if (runProgram({"curl", "-s", "-S", "-o", (curlDir / bare(f.name)).string(), url}) != 0) {
        ok = false;
      }
    }
    curl = std::min(curl, std::chrono::duration<double>(Clock::now() - t0).count());
    ok = ok && sameFiles(curlDir, remote);
  }
  runProgram({BQ_FTP_SERVER_SH, "stop", state.string()});
  fs::remove_all(work);
  if (!ok) {
    std::fprintf(stderr, "ftp_bench: a transfer failed or fetched the wrong bytes\n");
    return 1;
  }

  const double mib = static_cast<double>(total) / (1 << 20);
  std::printf("FileDownLoad, %zu files, %.1f MiB from pyftpdlib on loopback (best of %d)\n",
              kFiles.size(), mib, kPasses);
  std::printf("  FileDownLoad        %8.1f ms  %7.1f MiB/s\n", ours * 1e3, mib / ours);
  std::printf("  curl, one per file  %8.1f ms  %7.1f MiB/s\n", curl * 1e3, mib / curl);
  std::printf("  ratio FileDownLoad / curl: %.2f (goal: at most 1.20)\n", ours / curl);
  return 0;
}
