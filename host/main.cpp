// zorvane: runs command scripts against libzorvane.so.
//
//   zorvane [--lib PATH] run FILE     a script file
//   zorvane [--lib PATH] -c LINE      one line
//   zorvane [--lib PATH]              lines from standard input
//   zorvane inspect PATH              a read-only look at a volume or a
//                                     database (PATH with or without .vdb)
//
// Exit status: 0 when every expectation held, 1 otherwise, 2 when the script
// or the library cannot be read.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>

#include "host/inspect.h"
#include "host/library.h"
#include "host/script_runner.h"
#include "host/variables.h"

namespace {

int Usage() {
  std::fputs(
      "usage: zorvane [--lib PATH] run FILE\n"
      "       zorvane [--lib PATH] -c LINE\n"
      "       zorvane [--lib PATH]            (lines from standard input)\n"
      "       zorvane inspect PATH\n",
      stderr);
  return 2;
}

// A fresh folder for the run's files, named by $tmp and removed at exit.
class TempFolder {
 public:
  TempFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "zorXXXXXX").string();
    if (mkdtemp(pattern.data()) != nullptr) mPath = pattern;
  }
  ~TempFolder() {
    std::error_code ignored;
    if (!mPath.empty()) std::filesystem::remove_all(mPath, ignored);
  }
  const std::string& Path() const { return mPath; }

 private:
  std::string mPath;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == "inspect") return host::RunInspect(argv[2]);
  std::string libraryPath = host::ProgramDirectory() + "/libzorvane.so";
  int i = 1;
  if (i + 1 < argc && std::string(argv[i]) == "--lib") {
    libraryPath = argv[i + 1];
    i += 2;
  }
  enum class Mode { Stdin, File, Line } mode = Mode::Stdin;
  std::string operand;
  if (i < argc) {
    const std::string command = argv[i];
    if ((command == "run" || command == "-c") && i + 2 == argc) {
      mode = command == "run" ? Mode::File : Mode::Line;
      operand = argv[i + 1];
    } else {
      return Usage();
    }
  }

  // Declared before the library: databases a script leaves open are closed
  // when the library unloads, before their folder goes.
  TempFolder tmp;
  host::Library library;
  std::string error;
  if (!library.Load(libraryPath, error)) {
    std::fprintf(stderr, "zorvane: cannot load %s: %s\n", libraryPath.c_str(), error.c_str());
    return 2;
  }
  host::Variables().Set("tmp", tmp.Path());
  host::ScriptRunner runner(library);

  switch (mode) {
    case Mode::Line:
      runner.RunLine(operand, 1);
      break;
    case Mode::File: {
      std::ifstream file(operand);
      if (!file) {
        std::fprintf(stderr, "zorvane: cannot read %s\n", operand.c_str());
        return 2;
      }
      runner.RunStream(file, nullptr);
      break;
    }
    case Mode::Stdin:
      runner.RunStream(std::cin, isatty(STDIN_FILENO) ? "zorvane> " : nullptr);
      break;
  }
  std::fflush(stdout);
  return runner.Succeeded() ? 0 : 1;
}
