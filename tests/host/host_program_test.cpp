// The zorvane program run as a user runs it.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

struct Outcome {
  int status;
  std::string output;  // standard output and standard error together
};

Outcome RunShell(const std::string& command) {
  Outcome outcome{-1, ""};
  FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  if (pipe == nullptr) return outcome;
  std::array<char, 4096> buffer;
  size_t n;
  while ((n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0)
    outcome.output.append(buffer.data(), n);
  const int status = pclose(pipe);
  outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return outcome;
}

std::string Host() {
  return std::string(ZORVANE_HOST_PATH);
}

std::string Quote(const std::string& text) {
  std::string out = "'";
  for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

Outcome Line(const std::string& line) {
  return RunShell(Host() + " -c " + Quote(line));
}

Outcome Script(const std::string& text) {
  const auto path = std::filesystem::temp_directory_path() / "zor_host_program_test.zs";
  std::ofstream(path) << text;
  Outcome outcome = RunShell(Host() + " run " + path.string());
  std::filesystem::remove(path);
  return outcome;
}

}  // namespace

TEST(HostProgram, OneLineCommands) {
  EXPECT_EQ(Line("Version").output, "1.11\n");
  EXPECT_EQ(Line("database_open").output, "ERROR 310\n");
  EXPECT_EQ(Line("EscapeString \"it's (a).b\" 1").output, "it\\'s \\(a\\)\\.b\n");
  EXPECT_EQ(Line(".indexed 3").output, "value=0 error=0 text=1.11\n");
  EXPECT_EQ(Line("SetCreator").output, "");  // an empty result prints nothing
}

TEST(HostProgram, ExpectationsSetTheExitStatus) {
  Outcome ok = Script(
      "# comment\n\nv = Version\nVersion => $v\n.indexed 96 => \"value=0 error=310 text=\"\n");
  EXPECT_EQ(ok.status, 0) << ok.output;
  EXPECT_EQ(ok.output, "");

  Outcome bad = Script("Version => 1.12\n.echo still running\n");
  EXPECT_EQ(bad.status, 1);
  EXPECT_EQ(bad.output, "line 1: expected 1.12, got 1.11\nstill running\n");

  Outcome malformed = Script("Version => a b\n.nosuch\nCmd \"open\n");
  EXPECT_EQ(malformed.status, 1);
  EXPECT_NE(malformed.output.find("line 2: unknown or malformed directive .nosuch"),
            std::string::npos);
  EXPECT_NE(malformed.output.find("line 3: unterminated double quote"), std::string::npos);
}

TEST(HostProgram, FilesAndTheTemporaryFolder) {
  Outcome outcome = Script(
      ".save $tmp/data.txt \"line\\x00two\"\n"
      ".load data $tmp/data.txt\n"
      ".echo [$data]\n"
      ".set where $tmp\n");
  EXPECT_EQ(outcome.status, 0) << outcome.output;
  EXPECT_EQ(outcome.output, std::string("[line\0two]\n", 11));
}

TEST(HostProgram, UnreadableScriptsAndLibrariesExitWith2) {
  EXPECT_EQ(RunShell(Host() + " run /nonexistent/script.zs").status, 2);
  EXPECT_EQ(RunShell(Host() + " --lib /nonexistent/libzorvane.so -c Version").status, 2);
  EXPECT_EQ(RunShell(Host() + " run").status, 2);
}

TEST(HostProgram, StandardInputRunsLineByLine) {
  Outcome outcome = RunShell("printf 'Version\\nMemBuffer_Free 123456\\n' | " + Host());
  EXPECT_EQ(outcome.status, 0);
  EXPECT_EQ(outcome.output, "1.11\nERROR 310\n");
}
